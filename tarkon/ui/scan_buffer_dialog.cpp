#include "tarkon/ui/scan_buffer_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "tarkon/document/krv02_doc.h"
#include "tarkon/ui/ui_texts.h"
#include "tarkon/ui/spoken_value.h"

// --- list model ---------------------------------------------------------------

void ScanRowsModel::SetRows(const std::vector<ScanListRow>* rows) {
  beginResetModel();
  rows_ = rows;
  endResetModel();
}

int ScanRowsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || rows_ == nullptr ? 0 : static_cast<int>(rows_->size());
}

int ScanRowsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant ScanRowsModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || rows_ == nullptr || index.row() >= rowCount()) return {};
  const ScanListRow& row = (*rows_)[static_cast<size_t>(index.row())];
  return QString::fromStdString(index.column() == 0 ? row.number : row.value);
}

QVariant ScanRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  return section == 0 ? QStringLiteral("Range #") : QStringLiteral("Range value");
}

// --- plot -----------------------------------------------------------------------

ScanPlot::ScanPlot(QWidget* parent) : QWidget(parent) {
  setMinimumSize(200, 150);
  setAccessibleName(QStringLiteral("Plot of the ranges read"));
}

void ScanPlot::SetRanges(const std::vector<int16_t>* buffer, const RangeModeRow* row) {
  buffer_ = buffer;
  row_ = row;
  update();
}

void ScanPlot::paintEvent(QPaintEvent* /*event*/) {
  QPainter p(this);
  p.fillRect(rect(), palette().base());
  const QFontMetrics fm = p.fontMetrics();
  const int left = fm.horizontalAdvance(QStringLiteral("-0000.000 inch")) + 6;
  const QRect plot = rect().adjusted(left, 6, -8, -fm.height() - 6);
  p.setPen(palette().color(QPalette::Mid));
  p.drawRect(plot);
  if (buffer_ == nullptr || row_ == nullptr || buffer_->empty() || plot.width() < 10) return;

  std::vector<std::optional<double>> values;
  values.reserve(buffer_->size());
  double low = 0;
  double high = 0;
  bool any = false;
  for (int16_t raw : *buffer_) {
    values.push_back(RangeModeTable::RangeValue(*row_, raw));
    if (!values.back()) continue;
    const double v = *values.back();
    if (!any || v < low) low = v;
    if (!any || v > high) high = v;
    any = true;
  }
  p.setPen(palette().color(QPalette::Text));
  if (!any) {
    p.drawText(plot, Qt::AlignCenter, QStringLiteral("Out of Range"));
    return;
  }
  if (high - low < 1e-9) {
    low -= 1;
    high += 1;
  }
  p.drawText(QRect(0, plot.top() - fm.height() / 2, left - 4, fm.height()), Qt::AlignRight,
             QString::fromStdString(RangeModeTable::FormatUnit(*row_, high)).trimmed());
  p.drawText(QRect(0, plot.bottom() - fm.height() / 2, left - 4, fm.height()), Qt::AlignRight,
             QString::fromStdString(RangeModeTable::FormatUnit(*row_, low)).trimmed());
  p.drawText(QRect(plot.left(), plot.bottom() + 2, plot.width(), fm.height()), Qt::AlignLeft, QStringLiteral("1"));
  p.drawText(QRect(plot.left(), plot.bottom() + 2, plot.width(), fm.height()), Qt::AlignRight,
             QString::number(values.size()));
  const double last = values.size() > 1 ? static_cast<double>(values.size() - 1) : 1.0;
  QPainterPath path;
  bool open = false;
  for (size_t i = 0; i < values.size(); ++i) {
    if (!values[i]) {
      open = false;
      continue;
    }
    const QPointF point(plot.left() + static_cast<double>(i) / last * plot.width(),
                        plot.bottom() - (*values[i] - low) / (high - low) * plot.height());
    if (open) {
      path.lineTo(point);
    } else {
      path.moveTo(point);
      path.lineTo(point);
      open = true;
    }
  }
  p.setClipRect(plot);
  p.setPen(QPen(palette().color(QPalette::Highlight), 1));
  p.drawPath(path);
}

// --- dialog ---------------------------------------------------------------------

namespace {

QPushButton* Button(const QString& text, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  b->setAccessibleName(QString(text).remove(QLatin1Char('.')));
  b->setAutoDefault(false);
  return b;
}

}  // namespace

CReadBufferDialog::CReadBufferDialog(CKRV02Doc& doc, int rangesAvailable, QWidget* parent)
    : QDialog(parent), doc_(doc), reader_(doc.operations().NewScanBufferReader()), row_(doc.sensor().CurrentRow()) {
  setWindowTitle(QStringLiteral("Read sensor ranges buffer"));
  reader_->SetRangesAvailable(rangesAvailable);

  available_ = new QLineEdit(QString::number(reader_->rangesAvailable()), this);
  available_->setReadOnly(true);
  SpeakValue(available_, QStringLiteral("Ranges available"));
  toRead_ = new QLineEdit(QString::number(reader_->rangesAvailable()), this);
  start_ = new QLineEdit(QStringLiteral("0"), this);
  start_->setEnabled(false);
  auto* fields = new QFormLayout;
  fields->addRow(QStringLiteral("Ranges available"), available_);
  fields->addRow(QStringLiteral("Ranges to read:"), toRead_);
  fields->addRow(QStringLiteral("Start index:"), start_);

  startButton_ = Button(QStringLiteral("Start"), this);
  stopButton_ = Button(QStringLiteral("Stop"), this);
  saveButton_ = Button(QStringLiteral("Save..."), this);
  csvButton_ = Button(QStringLiteral("Save CSV..."), this);
  closeButton_ = Button(QStringLiteral("Close"), this);
  auto* buttons = new QVBoxLayout;
  for (QPushButton* b : {startButton_, stopButton_, saveButton_, csvButton_, closeButton_}) buttons->addWidget(b);
  buttons->addStretch(1);

  progress_ = new QProgressBar(this);
  progress_->setAccessibleName(QStringLiteral("Progress"));
  progress_->setRange(0, 0 + 1);
  progress_->setValue(0);

  model_ = new ScanRowsModel(this);
  model_->SetRows(&reader_->rows());
  list_ = new QTableView(this);
  list_->setModel(model_);
  list_->setAccessibleName(QStringLiteral("Ranges read"));
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setShowGrid(true);
  list_->verticalHeader()->hide();
  list_->verticalHeader()->setDefaultSectionSize(18);
  list_->setColumnWidth(0, 100);
  list_->setColumnWidth(1, 100);
  list_->setMinimumWidth(230);
  plot_ = new ScanPlot(this);
  plot_->SetRanges(&reader_->listedRanges(), &row_);

  auto* top = new QHBoxLayout;
  top->addLayout(fields, 1);
  top->addLayout(buttons);
  auto* body = new QHBoxLayout;
  body->addWidget(list_);
  body->addWidget(plot_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(progress_);
  layout->addLayout(body, 1);
  resize(720, 520);

  connect(startButton_, &QPushButton::clicked, this, &CReadBufferDialog::Start);
  connect(stopButton_, &QPushButton::clicked, this, [this] { reader_->RequestStop(); });
  connect(saveButton_, &QPushButton::clicked, this, &CReadBufferDialog::Save);
  connect(csvButton_, &QPushButton::clicked, this, &CReadBufferDialog::SaveCsv);
  connect(closeButton_, &QPushButton::clicked, this, &CReadBufferDialog::reject);
  SetReading(false);
}

void CReadBufferDialog::SetReading(bool reading) {
  startButton_->setEnabled(!reading);
  closeButton_->setEnabled(!reading);
  saveButton_->setEnabled(!reading);
  csvButton_->setEnabled(!reading);
  stopButton_->setEnabled(reading);
}

void CReadBufferDialog::Start() {
  if (reader_->reading()) return;
  int rangesToRead = 0;
  const std::string prompt = reader_->CheckFields(toRead_->text().toStdString(), start_->text().toInt(), &rangesToRead);
  if (!prompt.empty()) {
    QMessageBox::warning(this, ProgramCaption(), QString::fromStdString(prompt));
    return;
  }
  SetReading(true);
  model_->SetRows(nullptr);
  plot_->SetRanges(nullptr, nullptr);
  row_ = doc_.sensor().CurrentRow();
  ScanReadCallbacks callbacks;
  callbacks.progress = [this](int position, int total) {
    progress_->setRange(0, total > 0 ? total : 1);
    progress_->setValue(position);
  };
  callbacks.betweenPortions = [] { QApplication::processEvents(); };
  // The document holds the line for the whole read.
  doc_.operations().ReadScanBuffer(*reader_, rangesToRead, start_->text().toInt(), callbacks);
  // The list is filled with its repaint held off.
  list_->setUpdatesEnabled(false);
  model_->SetRows(&reader_->rows());
  list_->setUpdatesEnabled(true);
  plot_->SetRanges(&reader_->listedRanges(), &row_);
  SetReading(false);
  if (closeAfterRead_) {
    closeAfterRead_ = false;
    QDialog::reject();
  }
}

void CReadBufferDialog::reject() {
  if (reader_->reading()) {
    // Ends the read at its next portion; the dialog closes after it.
    reader_->RequestStop();
    closeAfterRead_ = true;
    return;
  }
  QDialog::reject();
}

void CReadBufferDialog::closeEvent(QCloseEvent* event) {
  if (reader_->reading()) {
    event->ignore();
    reject();
    return;
  }
  QDialog::closeEvent(event);
}

void CReadBufferDialog::Save() {
  QString path = exportPath_;
  if (path.isEmpty()) {
    QFileDialog dialog(this, QStringLiteral("Save As"), QStringLiteral("scanbuffer.txt"),
                       QStringLiteral("Text files (*.txt);;All files (*.*)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    path = dialog.selectedFiles().first();
  }
  std::string error;
  if (!AppendScanExport(path.toStdString(), doc_.sensor().serialNumberText(), doc_.sensor().address(), reader_->rows(),
                        &error)) {
    QMessageBox::warning(this, ProgramCaption(), QString::fromStdString(error));
  }
}

void CReadBufferDialog::SaveCsv() {
  QString path = csvPath_;
  if (path.isEmpty()) {
    path = QFileDialog::getSaveFileName(this, QStringLiteral("Save CSV"), QStringLiteral("scanbuffer.csv"),
                                        QStringLiteral("CSV files (*.csv);;All files (*.*)"));
    if (path.isEmpty()) return;
  }
  // Only a complete read is plotted and saved, as only it is listed.
  ScanCsvSource source;
  source.model = doc_.sensor().modelText();
  source.modelString = doc_.sensor().modelString();
  source.serialNumber = doc_.sensor().serialNumberText();
  source.readAt = reader_->listedAt();
  std::string error;
  if (!WriteScanCsv(path.toStdString(), reader_->listedRanges(), row_, source, &error)) {
    QMessageBox::warning(this, ProgramCaption(), QString::fromStdString(error));
  }
}
