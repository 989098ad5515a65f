#include "tarkon/ui/sensor_panels.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

#include "tarkon/document/krv02_doc.h"
#include "tarkon/models/model_table.h"
#include "tarkon/ui/scan_buffer_dialog.h"
#include "tarkon/ui/spoken_value.h"
#include "tarkon/ui/two_column_list.h"
#include "ui_common/range_chart.h"

namespace {

constexpr int kScanningRow = 5;

// The "Scanning" row's two icons: a green disc for on, a grey ring for off.
QIcon ScanningIcon(bool on) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  if (on) {
    p.setPen(QPen(QColor(0, 110, 0), 1));
    p.setBrush(QColor(40, 190, 40));
  } else {
    p.setPen(QPen(QColor(120, 120, 120), 2));
    p.setBrush(Qt::NoBrush);
  }
  p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
  return QIcon(pixmap);
}

QPushButton* Button(const QString& text, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  b->setAccessibleName(text);
  return b;
}

}  // namespace

void ShowPanelRows(QTreeWidget* list, const PanelRows& rows) {
  if (list->topLevelItemCount() != static_cast<int>(rows.size())) {
    list->clear();
    for (const PanelRow& row : rows) {
      new QTreeWidgetItem(list, QStringList{QString::fromStdString(row.name), QString::fromStdString(row.value)});
    }
    return;
  }
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = list->topLevelItem(i);
    const QString name = QString::fromStdString(rows[static_cast<size_t>(i)].name);
    const QString value = QString::fromStdString(rows[static_cast<size_t>(i)].value);
    if (item->text(0) != name) item->setText(0, name);
    if (item->text(1) != value) item->setText(1, value);
  }
}

void OpenScanBufferDialog(CKRV02Doc& doc, QWidget* parent) {
  if (!doc.LineFree()) return;
  CReadBufferDialog dialog(doc, doc.sensor().ScanRangesAvailable(), parent);
  dialog.exec();
}

// What the engine made of a tick for the chart.
static void ShowChartTick(ui_common::RangeChart* chart, const ChartTick& tick) {
  if (tick.clear) chart->Clear();
  if (!tick.add) return;
  if (tick.gap) chart->Break();
  chart->Add(tick.range);
}

// The list beside the live chart, the chart's axis in the sensor's units.
static QSplitter* ListBesideChart(QTreeWidget* list, ui_common::RangeChart* chart, CKRV02Doc& doc, QWidget* parent) {
  auto* splitter = new QSplitter(Qt::Horizontal, parent);
  splitter->setChildrenCollapsible(false);
  splitter->addWidget(list);
  splitter->addWidget(chart);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 1);
  chart->SetValueText([&doc](double value) {
    return QString::fromStdString(RangeModeTable::FormatUnit(doc.sensor().CurrentRow(), value));
  });
  return splitter;
}

// --- "Diagnostic" -------------------------------------------------------------

CKRV02DiagsDlg::CKRV02DiagsDlg(CKRV02Doc& doc, QWidget* parent) : QWidget(parent) {
  update_ = new QCheckBox(QStringLiteral("Update diagnostics"), this);
  update_->setAccessibleName(update_->text());
  list_ = MakeTwoColumnList(this, QStringLiteral("Diagnostics"));
  chart_ = new ui_common::RangeChart(this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(update_);
  layout->addWidget(ListBesideChart(list_, chart_, doc, this), 1);
}

void CKRV02DiagsDlg::Tick(CKRV02Doc& doc) {
  const bool polled = PanelTick(doc, LivePanel::kKRV02, update_->isChecked(), rows_);
  if (polled) ++polls_;
  ShowChartTick(chart_, FollowChart(doc, LivePanel::kKRV02, polled, chartContinuity_));
  ShowPanelRows(list_, rows_);
  if (QTreeWidgetItem* scanning = list_->topLevelItem(kScanningRow)) {
    const std::optional<bool> on = ScanningShown(rows_);
    scanning->setIcon(1, on ? ScanningIcon(*on) : QIcon());
  }
}

// --- "Scan Buffer" ------------------------------------------------------------

CKRV02ScanDlg::CKRV02ScanDlg(CKRV02Doc& doc, QWidget* parent)
    : QWidget(parent), doc_(doc), rows_(EmptyScanStatisticsRows()) {
  auto* group = new QGroupBox(this);
  auto* statusLabel = new QLabel(QStringLiteral("Status"), group);
  status_ = new QLineEdit(group);
  status_->setReadOnly(true);
  statusLabel->setBuddy(status_);
  SpeakValue(status_, statusLabel->text());
  filter_ = Button(QStringLiteral("Filter"), group);
  start_ = Button(QString::fromStdString(state_.startCaption), group);
  read_ = Button(QStringLiteral("Read Scan Buffer"), group);
  auto* row = new QHBoxLayout(group);
  row->addWidget(statusLabel);
  row->addWidget(status_, 1);
  row->addWidget(filter_);
  row->addWidget(start_);
  row->addWidget(read_);
  list_ = MakeTwoColumnList(this, QStringLiteral("Scan statistics"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addWidget(list_, 1);
  connect(start_, &QPushButton::clicked, this, &CKRV02ScanDlg::StartStop);
  connect(filter_, &QPushButton::clicked, this, &CKRV02ScanDlg::Filter);
  connect(read_, &QPushButton::clicked, this, [this] { OpenScanBufferDialog(doc_, this); });
  Show();
}

void CKRV02ScanDlg::StartStop() {
  StartStopScanClick(doc_, state_);
  Show();
}

void CKRV02ScanDlg::Filter() {
  FilterClick(doc_, rows_);
  Show();
}

void CKRV02ScanDlg::Show() {
  status_->setText(QString::fromStdString(state_.status));
  start_->setText(QString::fromStdString(state_.startCaption));
  start_->setAccessibleName(start_->text());
  filter_->setEnabled(state_.readAndFilterEnabled);
  read_->setEnabled(state_.readAndFilterEnabled);
  ShowPanelRows(list_, rows_);
}

// --- "Sensor errors" ----------------------------------------------------------

CKRV02ErrorDlg::CKRV02ErrorDlg(CKRV02Doc& doc, QWidget* parent)
    : QWidget(parent), doc_(doc), rows_(EmptyErrorRows()) {
  get_ = Button(QStringLiteral("Get Errors"), this);
  list_ = MakeTwoColumnList(this, QStringLiteral("Sensor errors"));
  auto* top = new QHBoxLayout;
  top->addWidget(get_);
  top->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(list_, 1);
  connect(get_, &QPushButton::clicked, this, &CKRV02ErrorDlg::GetErrors);
  ShowPanelRows(list_, rows_);
}

void CKRV02ErrorDlg::GetErrors() {
  GetErrorsClick(doc_, rows_);
  ShowPanelRows(list_, rows_);
}

// --- KRV02 panel --------------------------------------------------------------

CKRV02Dlg::CKRV02Dlg(CKRV02Doc& doc, QWidget* parent) : CSensorDialog(parent) {
  tabs_ = new QTabWidget(this);
  diags_ = new CKRV02DiagsDlg(doc, tabs_);
  scan_ = new CKRV02ScanDlg(doc, tabs_);
  errors_ = new CKRV02ErrorDlg(doc, tabs_);
  tabs_->addTab(diags_, QStringLiteral("Diagnostic"));
  tabs_->addTab(scan_, QStringLiteral("Scan Buffer"));
  tabs_->addTab(errors_, QStringLiteral("Sensor errors"));
  tabs_->setAccessibleName(QStringLiteral("Sensor pages"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(tabs_);
}

void CKRV02Dlg::Tick(CKRV02Doc& doc) { diags_->Tick(doc); }

// --- KRV04, Qmt Short, board flipper ------------------------------------------

CListPanel::CListPanel(CKRV02Doc& doc, LivePanel kind, bool scanBufferButton, QWidget* parent)
    : CSensorDialog(parent), kind_(kind) {
  auto* group = new QGroupBox(this);
  update_ = new QCheckBox(QStringLiteral("Update Diagnostics"), group);
  update_->setAccessibleName(update_->text());
  auto* row = new QHBoxLayout(group);
  row->addWidget(update_);
  if (scanBufferButton) {
    read_ = Button(QStringLiteral("Read Scan Buffer"), group);
    row->addWidget(read_);
    connect(read_, &QPushButton::clicked, this, [this, &doc] { OpenScanBufferDialog(doc, this); });
  }
  row->addStretch(1);
  list_ = MakeTwoColumnList(this, QStringLiteral("Diagnostics"));
  chart_ = new ui_common::RangeChart(this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addSpacing(5);
  layout->addWidget(ListBesideChart(list_, chart_, doc, this), 1);
}

void CListPanel::Tick(CKRV02Doc& doc) {
  const bool polled = PanelTick(doc, kind_, update_->isChecked(), rows_);
  if (polled) ++polls_;
  ShowChartTick(chart_, FollowChart(doc, kind_, polled, chartContinuity_));
  ShowPanelRows(list_, rows_);
}
