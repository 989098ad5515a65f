#include "tarkon/ui/bus_scan_dialog.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include "tarkon/document/connect_values.h"
#include "tarkon/fleet/bus_scan.h"
#include "tarkon/ui/port_entries.h"

namespace {

QSpinBox* AddressBox(int value, QWidget* parent) {
  auto* box = new QSpinBox(parent);
  box->setRange(1, 255);
  box->setValue(value);
  return box;
}

}  // namespace

CBusScanDialog::CBusScanDialog(const std::string& portText, int baudRate, ProtocolTrace* trace, QWidget* parent)
    : QDialog(parent), trace_(trace) {
  setWindowTitle(QStringLiteral("Find Sensors on the Bus"));

  port_ = new QComboBox(this);
  port_->setEditable(true);
  for (const PortEntry& entry : ConnectPortEntries())
    if (!entry.portText.empty()) port_->addItem(entry.text, QString::fromStdString(entry.portText));
  port_->setEditText(QString::fromStdString(portText));
  from_ = AddressBox(1, this);
  to_ = AddressBox(255, this);
  auto* rates = new QHBoxLayout;
  for (const int rate : SensorBaudRates()) {
    auto* box = new QCheckBox(QString::number(rate), this);
    box->setChecked(rate == baudRate);
    box->setAccessibleName(QStringLiteral("Scan at %1 bit/s").arg(rate));
    bauds_.emplace_back(rate, box);
    rates->addWidget(box);
  }
  if (std::none_of(bauds_.begin(), bauds_.end(), [](const auto& b) { return b.second->isChecked(); }))
    bauds_.back().second->setChecked(true);

  auto* form = new QFormLayout;
  auto addRow = [&](const QString& text, QWidget* field) {
    auto* label = new QLabel(text, this);
    label->setBuddy(field);
    field->setAccessibleName(QString(text).remove(QLatin1Char('&')).remove(QLatin1Char(':')));
    form->addRow(label, field);
  };
  addRow(QStringLiteral("&Port:"), port_);
  addRow(QStringLiteral("&From address:"), from_);
  addRow(QStringLiteral("&To address:"), to_);
  form->addRow(new QLabel(QStringLiteral("Baud rates:"), this), rates);

  progress_ = new QProgressBar(this);
  progress_->setAccessibleName(QStringLiteral("Scan progress"));
  progress_->setValue(0);
  status_ = new QLabel(QStringLiteral("Every address is asked in checksum and CRC mode."), this);
  status_->setWordWrap(true);

  model_ = new QStandardItemModel(0, 0, this);
  QStringList titles;
  for (const std::string& t : fleet::FoundSensorColumnTitles()) titles << QString::fromStdString(t);
  model_->setHorizontalHeaderLabels(titles);
  table_ = new QTableView(this);
  table_->setModel(model_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setAccessibleName(QStringLiteral("Sensors found"));

  scan_ = new QPushButton(QStringLiteral("&Scan"), this);
  connect_ = new QPushButton(QStringLiteral("&Connect"), this);
  lineView_ = new QPushButton(QStringLiteral("&Line view"), this);
  lineView_->setToolTip(QStringLiteral("Watch every sensor found at once"));
  close_ = new QPushButton(QStringLiteral("Close"), this);
  for (QPushButton* b : {scan_, connect_, lineView_, close_}) b->setAutoDefault(false);
  scan_->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(scan_);
  buttons->addStretch();
  buttons->addWidget(lineView_);
  buttons->addWidget(connect_);
  buttons->addWidget(close_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(progress_);
  layout->addWidget(status_);
  layout->addWidget(table_);
  layout->addLayout(buttons);
  resize(560, 420);

  connect(scan_, &QPushButton::clicked, this, &CBusScanDialog::StartOrStop);
  connect(connect_, &QPushButton::clicked, this, &CBusScanDialog::ConnectChosen);
  connect(lineView_, &QPushButton::clicked, this, &CBusScanDialog::AskLineView);
  connect(close_, &QPushButton::clicked, this, &CBusScanDialog::reject);
  connect(table_, &QTableView::doubleClicked, this, &CBusScanDialog::ConnectChosen);
  connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CBusScanDialog::UpdateButtons);
  UpdateButtons();
}

CBusScanDialog::~CBusScanDialog() {
  // The scan's thread posts only to this dialog; after the join nothing
  // more arrives, and what was posted is dropped with the dialog.
  scanner_.Stop();
  scanner_.Join();
}

QCheckBox* CBusScanDialog::baudBox(int rate) const {
  for (const auto& [r, box] : bauds_)
    if (r == rate) return box;
  return nullptr;
}

std::string CBusScanDialog::portText() const {
  const int index = port_->findText(port_->currentText());
  if (index >= 0 && port_->itemData(index).isValid()) return port_->itemData(index).toString().toStdString();
  return port_->currentText().trimmed().toStdString();
}

void CBusScanDialog::StartOrStop() {
  if (active_) {
    scanner_.Stop();
    stopping_ = true;
    status_->setText(QStringLiteral("Stopping after the probe in flight; the sensors found are asked for their "
                                    "serial numbers..."));
    return;
  }
  fleet::BusScanOptions options;
  options.from = from_->value();
  options.to = to_->value();
  options.budgetMs = probeBudgetMs_;
  options.baudRates.clear();
  for (const auto& [rate, box] : bauds_)
    if (box->isChecked()) options.baudRates.push_back(rate);
  std::string error = fleet::CheckScanOptions(options);
  const std::string device = error.empty() ? fleet::ScanDeviceOfPortText(portText(), error) : std::string();
  if (!error.empty()) {
    status_->setText(QString::fromStdString("Cannot scan: " + error));
    return;
  }
  scannedPort_ = portText();
  found_.clear();
  model_->removeRows(0, model_->rowCount());
  progress_->setRange(0, static_cast<int>(fleet::ProbeCount(options)));
  progress_->setValue(0);
  clock_.emplace(options);
  scannedDevice_ = device;
  // Progress, sensors and the end are posted to this dialog from the scan's
  // thread.
  scanner_.Start(
      device, options, trace_,
      [this](long done, long total) {
        QMetaObject::invokeMethod(this, [this, done, total] { ShowProgress(done, total); }, Qt::QueuedConnection);
      },
      [this] { QMetaObject::invokeMethod(this, &CBusScanDialog::ScanEnded, Qt::QueuedConnection); },
      [this](size_t index, const fleet::FoundSensor& sensor) {
        QMetaObject::invokeMethod(
            this, [this, index, sensor] { ShowSighting(index, sensor); }, Qt::QueuedConnection);
      });
  active_ = true;
  stopping_ = false;
  ShowProgress(0, fleet::ProbeCount(options));
  UpdateButtons();
}

void CBusScanDialog::ShowProgress(long done, long total) {
  if (!active_) return;
  progress_->setMaximum(static_cast<int>(total));
  progress_->setValue(static_cast<int>(done));
  if (stopping_ || !clock_) return;
  status_->setText(QStringLiteral("Scanning %1: %2, %3")
                       .arg(QString::fromStdString(scannedDevice_), FoundText(),
                            QString::fromStdString(clock_->LeftText(done, total))));
}

QString CBusScanDialog::FoundText() const {
  return found_.size() == 1 ? QStringLiteral("1 sensor found") : QStringLiteral("%1 sensors found").arg(found_.size());
}

// A sensor that answered, or its serial number that came in.
void CBusScanDialog::ShowSighting(size_t index, const fleet::FoundSensor& sensor) {
  if (!active_ || index > found_.size()) return;
  if (index == found_.size()) found_.push_back(sensor);
  else found_[index] = sensor;
  SetRow(index, sensor);
}

void CBusScanDialog::SetRow(size_t index, const fleet::FoundSensor& sensor) {
  const std::vector<std::string> cells = fleet::FoundSensorCells(sensor);
  const int row = static_cast<int>(index);
  if (row >= model_->rowCount()) {
    QList<QStandardItem*> items;
    for (const std::string& cell : cells) items << new QStandardItem(QString::fromStdString(cell));
    model_->appendRow(items);
    table_->resizeColumnsToContents();
    return;
  }
  for (size_t column = 0; column < cells.size(); ++column)
    model_->item(row, static_cast<int>(column))->setText(QString::fromStdString(cells[column]));
}

void CBusScanDialog::ScanEnded() {
  if (!active_) return;
  scanner_.Join();
  active_ = false;
  // The scan's own list is the whole truth; the rows shown as found stay
  // where they are (and keep their selection).
  found_ = scanner_.found();
  for (size_t i = 0; i < found_.size(); ++i) SetRow(i, found_[i]);
  if (model_->rowCount() > static_cast<int>(found_.size()))
    model_->removeRows(static_cast<int>(found_.size()), model_->rowCount() - static_cast<int>(found_.size()));
  table_->resizeColumnsToContents();
  QString text = FoundText();
  if (!scanner_.error().empty()) text += QString::fromStdString("; the scan failed: " + scanner_.error());
  else if (scanner_.stopped()) text += QStringLiteral(" (stopped)");
  else progress_->setValue(progress_->maximum());
  status_->setText(text);
  if (!found_.empty() && !table_->selectionModel()->hasSelection()) table_->selectRow(0);
  UpdateButtons();
}

void CBusScanDialog::ConnectChosen() {
  if (active_) return;
  const QModelIndexList rows = table_->selectionModel()->selectedRows();
  if (rows.isEmpty() || rows.first().row() >= static_cast<int>(found_.size())) return;
  chosen_ = found_[static_cast<size_t>(rows.first().row())];
  accept();
}

void CBusScanDialog::AskLineView() {
  if (active_ || found_.empty()) return;
  lineViewAsked_ = true;
  accept();
}

void CBusScanDialog::reject() {
  if (active_) {
    scanner_.Stop();
    scanner_.Join();
    active_ = false;
  }
  QDialog::reject();
}

void CBusScanDialog::UpdateButtons() {
  scan_->setText(active_ ? QStringLiteral("&Stop") : QStringLiteral("&Scan"));
  scan_->setAccessibleName(active_ ? QStringLiteral("Stop") : QStringLiteral("Scan"));
  connect_->setEnabled(!active_ && table_->selectionModel()->hasSelection());
  connect_->setAccessibleName(QStringLiteral("Connect"));
  lineView_->setEnabled(!active_ && !found_.empty());
  lineView_->setAccessibleName(QStringLiteral("Line view"));
  close_->setAccessibleName(QStringLiteral("Close"));
  for (QWidget* w : std::initializer_list<QWidget*>{port_, from_, to_}) w->setEnabled(!active_);
  for (const auto& [rate, box] : bauds_) box->setEnabled(!active_);
}
