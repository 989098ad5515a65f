#include "tarkon/ui/line_view_dialog.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPolygonF>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <map>

#include "files/atomic_file_writer.h"
#include "tarkon/fleet/fleet_tools.h"
#include "tarkon/fleet/line_readings_text.h"
#include "tarkon/fleet/range_log.h"
#include "tarkon/ui/tools_menu_host.h"
#include "tarkon/ui/ui_texts.h"

namespace {

constexpr int kSortRole = Qt::UserRole;
constexpr int kHistoryRole = Qt::UserRole + 1;
// The view reads the engine's readings this often: a table of many
// sensors repaints a few times a second, never per poll.
constexpr int kRefreshMs = 250;
// The columns take the width of their texts again every few seconds.
constexpr int kResizeEvery = 8;
// The last minute's line moves once a second: every row's line shifts
// with the clock, so each move repaints the whole column.
constexpr int kMinuteEvery = 4;
constexpr size_t kSparklinePoints = 120;

const char* const kHeaders[] = {"Address", "Model", "Serial number", "Range", "Last 60 s", "Laser power",
                                "Peak",    "Good",  "Failed",        "State"};

// The range of the last minute as a line over the cell; the cell's text
// (min and max) stays its accessible text and tool tip.
class SparklineDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    const QPolygonF points = index.data(kHistoryRole).value<QPolygonF>();
    if (points.size() < 2) return;
    double low = points.front().y();
    double high = low;
    for (const QPointF& p : points) {
      low = std::min(low, p.y());
      high = std::max(high, p.y());
    }
    const QRectF area = QRectF(option.rect).adjusted(3, 3, -3, -3);
    const double span = high > low ? high - low : 1;
    QPolygonF line;
    line.reserve(points.size());
    for (const QPointF& p : points) {  // x: seconds ago (60 .. 0)
      line.append(QPointF(area.right() - area.width() * std::clamp(p.x(), 0.0, 60.0) / 60.0,
                          area.bottom() - area.height() * (p.y() - low) / span));
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    // A cosmetic pen one pixel wide: drawn as it is, with no outline of
    // the stroke to compute at each repaint.
    QPen pen(option.state & QStyle::State_Selected ? option.palette.highlightedText().color()
                                                   : option.palette.text().color(),
             0);
    pen.setCosmetic(true);
    painter->setPen(pen);
    painter->drawPolyline(line);
    painter->restore();
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return QStyledItemDelegate::sizeHint(option, index).expandedTo(QSize(160, 22));
  }

 protected:
  // The cell shows the line in place of its text.
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->text.clear();
  }
};

QStandardItem* Cell(const QString& text, const QVariant& sortValue) {
  auto* item = new QStandardItem(text);
  item->setEditable(false);
  item->setData(sortValue, kSortRole);
  item->setData(text, Qt::AccessibleTextRole);
  return item;
}

void SetCell(QStandardItem* item, const QString& text, const QVariant& sortValue) {
  if (item->text() != text) {
    item->setText(text);
    item->setData(text, Qt::AccessibleTextRole);
  }
  if (item->data(kSortRole) != sortValue) item->setData(sortValue, kSortRole);
}

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

CLineViewDialog::CLineViewDialog(ToolsMenuHost& host, ConnectValues base, int baudRate,
                                 std::vector<fleet::PolledSensor> sensors, ProtocolTrace* trace, QWidget* parent)
    : QDialog(parent),
      host_(host),
      base_(std::move(base)),
      portText_(base_.portText),
      baudRate_(baudRate),
      given_(std::move(sensors)),
      trace_(trace) {
  setWindowTitle(QStringLiteral("Line view - %1").arg(Text(portText_)));
  setAttribute(Qt::WA_DeleteOnClose);
  // The main window stays out of reach while the line view holds the port.
  setWindowModality(Qt::WindowModal);
  rate_ = new QLabel(this);
  rate_->setObjectName(QStringLiteral("lineRate"));
  rate_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  model_ = new QStandardItemModel(0, kColumns, this);
  for (int c = 0; c < kColumns; ++c) model_->setHeaderData(c, Qt::Horizontal, QString::fromLatin1(kHeaders[c]));
  sorted_ = new QSortFilterProxyModel(this);
  sorted_->setSourceModel(model_);
  sorted_->setSortRole(kSortRole);
  table_ = new QTableView(this);
  table_->setObjectName(QStringLiteral("lineTable"));
  table_->setModel(sorted_);
  table_->setSortingEnabled(true);
  table_->sortByColumn(kAddress, Qt::AscendingOrder);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setItemDelegateForColumn(kLastMinute, new SparklineDelegate(table_));
  table_->verticalHeader()->hide();
  // Sized to the texts when rows come, not on every change of a value: a
  // header that measures every cell at each refresh costs more than the
  // polling itself.
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  table_->horizontalHeader()->resizeSection(kLastMinute, 160);
  // Texts stay whole: a narrow window scrolls instead of cutting them.
  table_->setWordWrap(false);
  table_->setAccessibleName(QStringLiteral("Sensors of the line"));
  table_->setToolTip(QStringLiteral("Double-click a sensor to connect the main window to it"));

  stop_ = new QPushButton(QStringLiteral("Stop"), this);
  save_ = new QPushButton(QStringLiteral("Save CSV..."), this);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(stop_);
  buttons->addWidget(save_);
  buttons->addStretch();
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(rate_);
  layout->addWidget(table_, 1);
  layout->addLayout(buttons);
  resize(1140, 420);

  refresh_ = new QTimer(this);
  refresh_->setInterval(kRefreshMs);
  connect(refresh_, &QTimer::timeout, this, &CLineViewDialog::Refresh);
  connect(stop_, &QPushButton::clicked, this, [this] {
    if (polling()) StopPolling();
    else StartPolling();
  });
  connect(save_, &QPushButton::clicked, this, &CLineViewDialog::SaveCsv);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  connect(table_, &QTableView::doubleClicked, this, &CLineViewDialog::ConnectRow);
}

CLineViewDialog::~CLineViewDialog() {
  if (watch_) watch_->Stop();
}

bool CLineViewDialog::polling() const { return watch_ && watch_->running(); }

void CLineViewDialog::StartPolling() {
  if (polling()) return;
  std::string error;
  fleet::LineWatch::Setup setup;
  setup.device = fleet::ScanDeviceOfPortText(portText_, error);
  setup.baudRate = baudRate_;
  setup.sensors = given_;
  auto watch = std::make_unique<fleet::LineWatch>();
  if (error.empty() && !setup.device.empty()) watch->Start(setup, trace_, {}, error);
  if (!error.empty()) {
    rate_->setText(QStringLiteral("Not polling: %1").arg(Text(error)));
    rate_->setAccessibleName(rate_->text());
    return;
  }
  watch_ = std::move(watch);
  stop_->setText(QStringLiteral("Stop"));
  refresh_->start();
  Refresh();
}

void CLineViewDialog::StopPolling() {
  if (!watch_) return;
  // Ends after the exchange in flight: at most one reply's wait.
  watch_->Stop();
  refresh_->stop();
  Refresh();
}

void CLineViewDialog::Refresh() {
  if (!watch_) return;
  const std::vector<fleet::LineSensorReading> readings = watch_->Snapshot();
  // The sensors a scan found become the list of a new start.
  if (given_.empty() && !readings.empty())
    for (const fleet::LineSensorReading& r : readings) given_.push_back(r.sensor);
  std::map<int, int> rowOf;
  for (int row = 0; row < model_->rowCount(); ++row)
    rowOf[model_->item(row, kAddress)->data(kSortRole).toInt()] = row;
  bool added = false;
  const long tick = refreshes_++;
  const bool minuteDue = tick % kMinuteEvery == 0 || !watch_->running();
  for (const fleet::LineSensorReading& r : readings) {
    auto at = rowOf.find(r.sensor.address);
    int row = at != rowOf.end() ? at->second : -1;
    if (row < 0) {
      QList<QStandardItem*> cells;
      for (int c = 0; c < kColumns; ++c) cells.append(Cell(QString(), QVariant()));
      model_->appendRow(cells);
      row = model_->rowCount() - 1;
      added = true;
      ShowReading(row, r, true);
    } else {
      ShowReading(row, r, minuteDue);
    }
  }
  if (added || tick % kResizeEvery == 0) {
    for (int c = 0; c < kColumns; ++c)
      if (c != kLastMinute) table_->resizeColumnToContents(c);
  }
  QString status;
  const bool running = watch_->running();
  if (running && watch_->scanning()) {
    const long total = watch_->scanTotal();
    status = QStringLiteral("Finding the sensors on %1: %2 %")
                 .arg(Text(portText_))
                 .arg(total > 0 ? watch_->scanDone() * 100 / total : 0);
  } else if (!watch_->error().empty()) {
    status = QStringLiteral("Stopped: %1").arg(Text(watch_->error()));
  } else {
    status = Text(watch_->RateText());
    if (!running) status = QStringLiteral("Stopped. ") + status;
  }
  if (rate_->text() != status) {
    rate_->setText(status);
    rate_->setAccessibleName(status);
  }
  stop_->setText(running ? QStringLiteral("Stop") : QStringLiteral("Start"));
  if (!running) refresh_->stop();
}

void CLineViewDialog::ShowReading(int row, const fleet::LineSensorReading& r, bool withMinute) {
  auto cell = [&](Column c) { return model_->item(row, c); };
  SetCell(cell(kAddress), QString::number(r.sensor.address), r.sensor.address);
  SetCell(cell(kModel), Text(r.model), Text(r.model));
  SetCell(cell(kSerial), Text(r.sensor.serialNumber), Text(r.sensor.serialNumber));
  SetCell(cell(kRange), Text(r.rangeText).trimmed(), r.range ? QVariant(*r.range) : QVariant(-1e300));
  if (withMinute) ShowMinute(model_->item(row, kLastMinute), r);
  SetCell(cell(kLaserPower), Text(r.laserPower), Text(r.laserPower).toDouble());
  SetCell(cell(kPeak), Text(r.peak), Text(r.peak).toDouble());
  SetCell(cell(kGood), QString::number(r.good), static_cast<qlonglong>(r.good));
  SetCell(cell(kFailed), QString::number(r.failed), static_cast<qlonglong>(r.failed));
  SetCell(cell(kState), Text(r.StateText()), static_cast<int>(r.state));
  // Silent and changed stand out by their word, and in bold besides.
  const bool attention = r.state == fleet::LineSensorState::kSilent || r.state == fleet::LineSensorState::kChanged ||
                         r.state == fleet::LineSensorState::kUnknownModel;
  QFont font = cell(kState)->font();
  if (font.bold() != attention) {
    font.setBold(attention);
    cell(kState)->setFont(font);
    cell(kState)->setForeground(attention ? QBrush(QColor(176, 0, 32)) : QBrush());
  }
}

void CLineViewDialog::ShowMinute(QStandardItem* item, const fleet::LineSensorReading& r) {
  QPolygonF points;
  double low = 0;
  double high = 0;
  // A cell 160 pixels wide: some 120 points draw the minute as well as all.
  const size_t step = std::max<size_t>(1, r.history.size() / kSparklinePoints);
  for (size_t i = 0; i < r.history.size(); ++i) {
    if (i % step == 0 || i + 1 == r.history.size()) points.append(QPointF(r.history[i].secondsAgo, r.history[i].range));
    low = i == 0 ? r.history[i].range : std::min(low, r.history[i].range);
    high = i == 0 ? r.history[i].range : std::max(high, r.history[i].range);
  }
  const QString minute = r.history.empty() ? QStringLiteral("no range in the last minute")
                                           : QStringLiteral("min %1 max %2 %3 over %4 s")
                                                 .arg(low, 0, 'f', 3)
                                                 .arg(high, 0, 'f', 3)
                                                 .arg(Text(r.unit))
                                                 .arg(static_cast<int>(r.history.front().secondsAgo + 0.5));
  SetCell(item, minute, high - low);
  item->setData(QVariant::fromValue(points), kHistoryRole);
  if (item->toolTip() != minute) item->setToolTip(minute);
}

void CLineViewDialog::ConnectRow(const QModelIndex& index) {
  if (!index.isValid() || !watch_) return;
  const int row = sorted_->mapToSource(index).row();
  const int address = model_->item(row, kAddress)->data(kSortRole).toInt();
  fleet::FoundSensor found;
  bool known = false;
  for (const fleet::LineSensorReading& r : watch_->Snapshot())
    if (r.sensor.address == address) {
      found.address = address;
      found.checkMode = r.sensor.checkMode;
      found.baudRate = baudRate_;
      known = true;
    }
  if (!known) return;
  // The line is the main window's again only once the polling has ended.
  StopPolling();
  watch_.reset();
  const fleet::FoundConnection c = fleet::ConnectionOfFound(found, portText_, base_);
  close();
  host_.ConnectFound(c.values, c.firstCheckMode);
}

void CLineViewDialog::SaveCsv() {
  if (!watch_) return;
  const std::vector<fleet::LineSensorReading> readings = watch_->Snapshot();
  QString path = csvPath_;
  if (path.isEmpty()) {
    path = QFileDialog::getSaveFileName(this, QStringLiteral("Save CSV"), QStringLiteral("line.csv"),
                                        QStringLiteral("CSV files (*.csv);;All files (*.*)"));
    if (path.isEmpty()) return;
  }
  std::string reason;
  const std::string text = fleet::LineReadingsCsv(fleet::IsoTimeNow(), watch_->rounds(), readings);
  if (!files::WriteFileAtomically(path.toStdString(), text, &reason))
    QMessageBox::warning(this, ProgramCaption(),
                         QStringLiteral("The line view was not saved to %1: %2").arg(path, Text(reason)));
}

void CLineViewDialog::closeEvent(QCloseEvent* event) {
  if (watch_) watch_->Stop();
  refresh_->stop();
  QDialog::closeEvent(event);
}
