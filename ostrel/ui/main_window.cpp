#include "ostrel/ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTime>
#include <QVBoxLayout>
#include <algorithm>

#include "ostrel/operations/field_keys.h"
#include "ostrel/ui/about_box.h"
#include "ostrel/ui/key_filter.h"
#include "ui_common/range_chart.h"

namespace ostrel {
namespace {

// Captions of the Spot page's panels; the panels are named "p" and these.
constexpr const char* kSpotNames[] = {"Range", "BasePix", "SumPix", "NumPix", "SubPix", "Power", "PeakPix"};

QString Q(const std::string& text) { return QString::fromStdString(text); }
// Message and tip texts keep the program's own "\r\n" line breaks.
QString Lines(const std::string& text) { return Q(text).replace("\r\n", "\n"); }

// A value read from the sensor that the technician may copy (a serial
// number into a job sheet): a read-only field, so it can be selected and
// its text is what a screen reader reads as its value.
QLineEdit* IdentityBox(QWidget* parent, const QString& name) {
  auto* box = new QLineEdit(parent);
  box->setReadOnly(true);
  box->setAccessibleName(name);
  box->setMinimumWidth(110);
  box->setStyleSheet("QLineEdit { background: white; color: red; font-weight: bold; }");
  return box;
}

// A label that shows a value: its accessible name carries the value, not
// only the caption, so a screen reader reads "COM Errors: 3".
void ShowValue(QLabel* label, const QString& caption, const QString& value) {
  if (label->text() != value) label->setText(value);
  const QString name = caption + ": " + value;
  if (label->accessibleName() != name) label->setAccessibleName(name);  // each change is announced
}

// Polling changes the Spot panels ten times a second. A label whose size
// may change asks the layouts up to the window to be redone with each new
// text, and the main window then repaints as a whole (about 30 times a
// second, the most of polling's CPU). A panel of fixed size, wide enough
// for any 16-bit value, only repaints itself.
void FixPanelSize(QLabel* panel) {
  const int frame = 2 * panel->frameWidth() + 2 * panel->margin() + 8;
  const int width = std::max(80, panel->fontMetrics().horizontalAdvance("65535") + frame);
  panel->setFixedSize(width, panel->sizeHint().height());
}

// A label whose text changes while polling runs (a Spot panel, the link
// text) fills its own background: a new text then repaints the label
// alone, not the page, the tab widgets and the window behind it as well
// (five more paint events each time).
void PaintOwnBackground(QLabel* label) { label->setAutoFillBackground(true); }

QComboBox* List(QWidget* parent, const QString& name, std::initializer_list<const char*> entries) {
  auto* list = new QComboBox(parent);
  list->setAccessibleName(name);
  for (const char* e : entries) list->addItem(e);
  return list;
}

// A label that names its field for screen readers.
QLabel* Caption(const QString& text, QWidget* field) {
  auto* label = new QLabel(text, field->parentWidget());
  label->setBuddy(field);
  field->setAccessibleName(QString(text).remove('&'));
  return label;
}

// Beside the progress once the window is asked to close during an upload.
constexpr const char* kCloseNote = " - Ostrel closes when the upload has ended";
// The status line's least width beside the progress.
constexpr int kStatusMinWidth = 150;
constexpr int kStatusSpacing = 6;

int EntryOfBaud(int baud) {
  for (int i = 0; i < 4; ++i)
    if (kBaudRates[i] == baud) return i;
  return -1;
}

}  // namespace

MainWindow::MainWindow(const std::string& iniPath, const std::string& iniNote)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      ini_(iniPath) {
  operations_ = std::make_unique<Operations>(link_, fields_, *this);
  setWindowTitle("KRV04-BF Setup Utility");
  keys_ = new KeyFilter(this);
  about_ = new AboutBox(this);

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->addWidget(BuildIdentityStrip());
  tabs_ = new QTabWidget(central);
  tabs_->setObjectName("PageControl1");
  tabs_->addTab(BuildConnectTab(), " Connect ");
  tabs_->addTab(BuildSettingsTab(), " Settings ");
  tabs_->addTab(BuildViewTab(), " View ");
  layout->addWidget(tabs_);
  // The log: what uploads and a lost line leave behind, newest last.
  log_ = new QListWidget(central);
  log_->setObjectName("log");
  log_->setAccessibleName("Log");
  log_->setSelectionMode(QAbstractItemView::SingleSelection);  // lines can be selected, not edited
  log_->setWordWrap(true);
  log_->setFixedHeight(log_->fontMetrics().lineSpacing() * 4 + 2 * log_->frameWidth() + 4);
  layout->addWidget(log_);
  setCentralWidget(central);
  BuildStatusBar();
  BindFields();
  connect(tabs_, &QTabWidget::currentChanged, this, [this] { StopLoops(); });

  std::string error;
  if (!ini_.CreateIfMissing(&error)) SetStatus("Cannot create " + ini_.path() + ": " + error);
  // Said once: a file left alone is not written at any Connect either.
  iniProblem_ = ini_.Problem();
  if (!iniProblem_.empty()) SetStatus(iniProblem_);
  FillPortList();
  ApplyIni();
  SetToolTips();
  SetConnected(false);
  ApplyFactoryMode();
  ShowAllLook();
  ShowFields();
  if (!iniNote.empty()) SetStatus(iniNote);

  setFixedSize(sizeHint());
  statusBar()->setSizeGripEnabled(false);  // the window's size is fixed
  ShowLink();
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

MainWindow::~MainWindow() {
  // The controls go after this body; none of their signals may reach a
  // window that is half gone.
  for (QObject* child : findChildren<QObject*>()) child->blockSignals(true);
  linkTimer_.stop();
  operations_.reset();
  link_.port().Close();
}

QWidget* MainWindow::BuildIdentityStrip() {
  auto* strip = new QWidget(this);
  auto* row = new QHBoxLayout(strip);
  pSerial_ = IdentityBox(strip, "Serial Number");
  pSerial_->setObjectName("pSerial");
  pModel_ = IdentityBox(strip, "Model Number");
  pModel_->setObjectName("pModel");
  pFirmware_ = IdentityBox(strip, "Firmware");
  pFirmware_->setObjectName("pFirmware");
  pFpga_ = IdentityBox(strip, "FPGA");
  pFpga_->setObjectName("pFpga");
  const std::pair<const char*, QLineEdit*> boxes[] = {
      {"Serial Number", pSerial_}, {"Model Number", pModel_}, {"Firmware ", pFirmware_}, {"FPGA", pFpga_}};
  for (const auto& [caption, box] : boxes) {
    auto* label = new QLabel(caption, strip);
    label->setBuddy(box);
    row->addWidget(label);
    row->addWidget(box);
  }
  auto* about = new QPushButton("About", strip);
  about->setObjectName("btnAbout");
  idleOnly_.push_back(about);  // it switches factory mode, which enables Upload
  row->addWidget(about);
  connect(about, &QPushButton::clicked, this, [this] {
    factory_ = about_->Run();
    ApplyFactoryMode();
  });
  return strip;
}

QWidget* MainWindow::BuildConnectTab() {
  auto* page = new QWidget(this);
  auto* grid = new QGridLayout(page);
  cboPort_ = List(page, "COM Port", {"COM1", "COM2", "COM3", "COM4"});
  cboPort_->setObjectName("cboPort");
  cboHostBaud_ = List(page, "Baud Rate", {"9600", "19200", "38400", "57600"});
  cboHostBaud_->setObjectName("cboHostBaud");
  editConnAddr_ = new QLineEdit(page);
  editConnAddr_->setObjectName("editConnAddr");
  cbxGlobal_ = new QCheckBox("Use Global Address", page);
  cbxGlobal_->setObjectName("cbxGlobal");
  globalWarning_ = new QLabel(Lines("* Do not use global addressing\r\n  in multi-drop situation!"), page);
  globalWarning_->setObjectName("globalWarning");
  globalWarning_->setStyleSheet("QLabel { color: red; border: 1px solid red; }");
  globalWarning_->setVisible(false);
  auto* btnConnect = new QPushButton("Connect", page);
  btnConnect->setObjectName("btnConnect");
  grid->addWidget(Caption("COM Port", cboPort_), 0, 0);
  grid->addWidget(cboPort_, 0, 1);
  grid->addWidget(Caption("Baud Rate", cboHostBaud_), 1, 0);
  grid->addWidget(cboHostBaud_, 1, 1);
  grid->addWidget(Caption("Address", editConnAddr_), 2, 0);
  grid->addWidget(editConnAddr_, 2, 1);
  grid->addWidget(cbxGlobal_, 3, 1);
  grid->addWidget(globalWarning_, 4, 1);
  grid->addWidget(btnConnect, 5, 1);
  grid->setRowStretch(6, 1);
  grid->setColumnStretch(2, 1);
  // The port box also takes a typed port: a gateway's rfc2217://HOST:PORT
  // or tcp://HOST:PORT, or a device path.
  cboPort_->setEditable(true);
  cboPort_->setInsertPolicy(QComboBox::NoInsert);
  keys_->Watch(cboHostBaud_);
  keys_->Watch(editConnAddr_, RuleOf(Field::kConnAddr).keys, RuleOf(Field::kConnAddr).maxLength);
  for (QComboBox* list : {cboPort_, cboHostBaud_}) list->installEventFilter(this);
  connect(cbxGlobal_, &QCheckBox::toggled, globalWarning_, &QLabel::setVisible);
  connect(btnConnect, &QPushButton::clicked, this, [this] { Run([this] { operations_->Connect(); }); });
  for (QWidget* w : std::initializer_list<QWidget*>{cboPort_, cboHostBaud_, editConnAddr_, cbxGlobal_, btnConnect})
    idleOnly_.push_back(w);
  return page;
}

QWidget* MainWindow::BuildSettingsTab() {
  auto* page = new QWidget(this);
  auto* columns = new QHBoxLayout(page);
  auto* left = new QVBoxLayout();
  auto* right = new QVBoxLayout();
  columns->addLayout(left);
  columns->addLayout(right);
  // Every field of the tab is as wide as the widest list entry, so the
  // fields of all groups line up and none is wider than its values need.
  int fieldWidth = 0;
  std::vector<QWidget*> fields;
  std::vector<QGridLayout*> grids;

  const auto group = [&](QVBoxLayout* column, const char* title, const char* name) {
    auto* box = new QGroupBox(title, page);
    box->setObjectName(name);
    auto* grid = new QGridLayout(box);
    grid->setColumnStretch(3, 1);
    column->addWidget(box);
    grids.push_back(grid);
    return grid;
  };
  const auto button = [&](const char* text, auto handler) {
    auto* b = new QPushButton(text, page);
    connect(b, &QPushButton::clicked, this, [this, handler] { Run([this, handler] { (operations_.get()->*handler)(); }); });
    idleOnly_.push_back(b);
    return b;
  };
  const auto edit = [&](Field field) {
    auto* e = new QLineEdit(page);
    keys_->Watch(e, RuleOf(field).keys, RuleOf(field).maxLength);
    fields.push_back(e);
    return e;
  };
  const auto list = [&](const QString& name, std::initializer_list<const char*> entries) {
    QComboBox* l = List(page, name, entries);
    keys_->Watch(l);
    l->installEventFilter(this);
    fieldWidth = std::max(fieldWidth, l->sizeHint().width());
    fields.push_back(l);
    return l;
  };
  const auto addRow = [&](QGridLayout* grid, QWidget* action, QWidget* field, QWidget* extra = nullptr) {
    const int row = grid->rowCount();
    grid->addWidget(action, row, 0);
    if (field != nullptr) grid->addWidget(field, row, 1);
    if (extra != nullptr) grid->addWidget(extra, row, 2);
  };

  // Left: what identifies the sensor and how it is reached, its laser.
  QGridLayout* identity = group(left, "Identity (factory mode)", "groupIdentity");
  btnUpload_ = button("Upload", &Operations::Upload);
  btnUpload_->setObjectName("btnUpload");
  cboUpload_ = list("Upload", {"DSP", "FPGA", "CAL File"});
  cboUpload_->setObjectName("cboUpload");
  // Not through Run: it is pressed while the upload holds the busy flag.
  btnStopUpload_ = new QPushButton("Stop", page);
  btnStopUpload_->setObjectName("btnStopUpload");
  btnStopUpload_->setAccessibleName("Stop upload");
  btnStopUpload_->setToolTip("Stops the upload after the block in flight and locks the flash again (Esc)");
  btnStopUpload_->setShortcut(QKeySequence(Qt::Key_Escape));
  btnStopUpload_->setEnabled(false);
  connect(btnStopUpload_, &QPushButton::clicked, this, [this] { operations_->RequestUploadStop(); });
  addRow(identity, btnUpload_, cboUpload_, btnStopUpload_);
  btnSerial_ = button("Serial #", &Operations::SetSerialNumber);
  btnSerial_->setObjectName("btnSerial");
  editSerial_ = edit(Field::kSerial);
  editSerial_->setObjectName("editSerial");
  editSerial_->setAccessibleName("Serial #");
  addRow(identity, btnSerial_, editSerial_);
  btnModel_ = button("Model", &Operations::SetModel);
  btnModel_->setObjectName("btnModel");
  cboModel_ = list("Model", {"KRV04", "KRV04-HP", "KRV04-SN", "Other"});
  cboModel_->setObjectName("cboModel");
  addRow(identity, btnModel_, cboModel_);

  QGridLayout* communication = group(left, "Communication", "groupCommunication");
  editAddress_ = edit(Field::kAddress);
  editAddress_->setObjectName("editAddress");
  editAddress_->setAccessibleName("Address");
  addRow(communication, button("Address", &Operations::SetAddress), editAddress_);
  cboSensorBaud_ = list("Baud Rate", {"9600", "19200", "38400", "57600"});
  cboSensorBaud_->setObjectName("cboSensorBaud");
  addRow(communication, button("Baud Rate", &Operations::SetSensorBaudRate), cboSensorBaud_);
  cboCRC_ = list("Error Checking", {"Chksum", "Crc16"});
  cboCRC_->setObjectName("cboCRC");
  addRow(communication, button("Error Checking", &Operations::SetCheckMode), cboCRC_);
  cboMode_ = list("Mode", {"Imperial", "Metric"});
  cboMode_->setObjectName("cboMode");
  addRow(communication, button("Mode", &Operations::SetMode), cboMode_);

  QGridLayout* laser = group(left, "Laser and threshold", "groupLaser");
  editMinPwr_ = edit(Field::kMinPwr);
  editMinPwr_->setObjectName("editMinPwr");
  editMinPwr_->setAccessibleName("Min. Laser Pwr");
  addRow(laser, button("Min. Laser Pwr", &Operations::SetMinLaserPower), editMinPwr_);
  editMaxPwr_ = edit(Field::kMaxPwr);
  editMaxPwr_->setObjectName("editMaxPwr");
  editMaxPwr_->setAccessibleName("Max. Laser Pwr");
  addRow(laser, button("Max. Laser Pwr", &Operations::SetMaxLaserPower), editMaxPwr_);
  editThreshold_ = edit(Field::kThreshold);
  editThreshold_->setObjectName("editThreshold");
  editThreshold_->setAccessibleName("Threshold");
  addRow(laser, button("Threshold", &Operations::SetThreshold), editThreshold_);
  btnDefault_ = button("Set To Default", &Operations::SetToDefault);
  btnDefault_->setObjectName("btnDefault");
  addRow(laser, btnDefault_, nullptr);
  left->addStretch(1);

  // Right: the wane detection, the scan buffer, the laser switch.
  QGridLayout* wane = group(right, "Wane", "groupWane");
  editMinLen_ = edit(Field::kMinLen);
  editMinLen_->setObjectName("editMinLen");
  unitWidth_ = new QLabel("Unit", page);
  unitWidth_->setObjectName("unitWidth");
  addRow(wane, Caption("Min. Wane Width", editMinLen_), editMinLen_, unitWidth_);
  editMinHt_ = edit(Field::kMinHt);
  editMinHt_->setObjectName("editMinHt");
  unitHeight_ = new QLabel("Unit", page);
  unitHeight_->setObjectName("unitHeight");
  addRow(wane, Caption("Min. Wane Height", editMinHt_), editMinHt_, unitHeight_);
  editPulse_ = edit(Field::kPulse);
  editPulse_->setObjectName("editPulse");
  addRow(wane, Caption("Pulse Duration", editPulse_), editPulse_, new QLabel("(msec)", page));
  editSpeed_ = edit(Field::kSpeed);
  editSpeed_->setObjectName("editSpeed");
  addRow(wane, Caption("Conveyor Speed", editSpeed_), editSpeed_, new QLabel("(mm/s)", page));
  editTimeout_ = edit(Field::kTimeout);
  editTimeout_->setObjectName("editTimeout");
  addRow(wane, Caption("Board Timeout", editTimeout_), editTimeout_, new QLabel("(msec)", page));
  addRow(wane, button("Set Wane Varibles", &Operations::SetWaneVariables), nullptr);

  QGridLayout* scans = group(right, "Scan buffer", "groupScanBuffer");
  editStartNdx_ = edit(Field::kStartIndex);
  editStartNdx_->setObjectName("editStartNdx");
  addRow(scans, Caption("Start Index", editStartNdx_), editStartNdx_);
  editNumOfScans_ = edit(Field::kNumScans);
  editNumOfScans_->setObjectName("editNumOfScans");
  addRow(scans, Caption("# of Scans", editNumOfScans_), editNumOfScans_);
  addRow(scans, button("Read Buffer", &Operations::ExportScanBuffer), nullptr);

  QGridLayout* laserSwitch = group(right, "Laser switch", "groupLaserSwitch");
  addRow(laserSwitch, button("Laser Off", &Operations::LaserOff), button("Laser On", &Operations::LaserOn));
  right->addStretch(1);

  for (QWidget* field : fields) field->setFixedWidth(fieldWidth);
  // What is typed or chosen here goes out only with a button's press.
  idleOnly_.insert(idleOnly_.end(), fields.begin(), fields.end());
  // The first columns line up across the groups of a side.
  for (QGridLayout* grid : grids) grid->setColumnMinimumWidth(0, 130);
  return page;
}

QWidget* MainWindow::BuildViewTab() {
  viewPages_ = new QTabWidget(this);
  viewPages_->setObjectName("PageControl2");
  viewPages_->setTabPosition(QTabWidget::South);
  connect(viewPages_, &QTabWidget::currentChanged, this, [this] { StopLoops(); });

  auto* spot = new QWidget(viewPages_);
  auto* spotGrid = new QGridLayout(spot);
  for (int i = 0; i < 7; ++i) {
    auto* panel = new QLabel(spot);
    panel->setObjectName(QString("p") + kSpotNames[i]);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* label = Caption(kSpotNames[i], panel);
    ShowValue(panel, kSpotNames[i], "00");
    FixPanelSize(panel);
    PaintOwnBackground(panel);
    spotGrid->addWidget(label, i, 0);
    spotGrid->addWidget(panel, i, 1);
    spotPanels_.push_back(panel);
    if (i > 0) spotLabels_.push_back(label);
  }
  // The range is shown as the sensor sends it; the chart beside it is in
  // the unit itself, so the panel says what one count is.
  rangeUnit_ = new QLabel(spot);
  rangeUnit_->setObjectName("rangeUnit");
  spotGrid->addWidget(rangeUnit_, 0, 2);
  auto* start = new QPushButton("Start", spot);
  start->setObjectName("btnStart");
  auto* stop = new QPushButton("Stop", spot);
  stop->setObjectName("btnStop");
  cbxSpot_ = new QCheckBox("Show All", spot);
  cbxSpot_->setObjectName("cbxSpot");
  spotGrid->addWidget(start, 0, 3);
  spotGrid->addWidget(stop, 1, 3);
  spotGrid->addWidget(cbxSpot_, 2, 3);
  chart_ = new ui_common::RangeChart(spot);
  chart_->setObjectName("rangeChart");
  chart_->setAccessibleName("Range chart");
  chart_->setMinimumSize(300, 200);
  chart_->SetTimeLabels(ui_common::RangeChart::TimeLabels::kClock);
  spotGrid->addWidget(chart_, 0, 4, 8, 1);
  spotGrid->setRowStretch(7, 1);
  spotGrid->setColumnStretch(4, 1);
  spotTimer_.setSingleShot(true);
  spotTimer_.setInterval(kSpotIntervalMs);
  connect(&spotTimer_, &QTimer::timeout, this, [this] { ShowLatestSpot(); });
  connect(start, &QPushButton::clicked, this, [this] { Run([this] { operations_->StartPolling(); }); });
  idleOnly_.push_back(start);
  connect(stop, &QPushButton::clicked, this, [this] { operations_->RequestStop(); });
  connect(cbxSpot_, &QCheckBox::toggled, this, [this](bool on) {
    fields_.showAll = on;  // the next poll uses it
    ShowAllLook();
  });

  auto* memory = new QWidget(viewPages_);
  auto* memoryGrid = new QGridLayout(memory);
  editMemAddr_ = new QLineEdit(memory);
  editMemAddr_->setObjectName("editMemAddr");
  keys_->Watch(editMemAddr_, RuleOf(Field::kMemAddr).keys, RuleOf(Field::kMemAddr).maxLength);
  editWordCount_ = new QLineEdit(memory);
  editWordCount_->setObjectName("editWordCount");
  keys_->Watch(editWordCount_, RuleOf(Field::kWordCount).keys, RuleOf(Field::kWordCount).maxLength);
  chkbxHex_ = new QCheckBox("Hex", memory);
  chkbxHex_->setObjectName("chkbxHex");
  chkbxRepeat_ = new QCheckBox("Repeat", memory);
  chkbxRepeat_->setObjectName("ChkbxRepeat");
  auto* update = new QPushButton("Read Memory", memory);
  update->setObjectName("btnReadMemory");
  memo_ = new QPlainTextEdit(memory);
  memo_->setObjectName("memo");
  memo_->setReadOnly(true);
  memo_->setAccessibleName("Memory");
  memo_->setTabStopDistance(48);
  memoryGrid->addWidget(Caption("Address", editMemAddr_), 0, 0);
  memoryGrid->addWidget(editMemAddr_, 0, 1);
  memoryGrid->addWidget(Caption("Word Count", editWordCount_), 1, 0);
  memoryGrid->addWidget(editWordCount_, 1, 1);
  memoryGrid->addWidget(chkbxHex_, 2, 0);
  memoryGrid->addWidget(chkbxRepeat_, 2, 1);
  memoryGrid->addWidget(update, 3, 0, 1, 2);
  memoryGrid->addWidget(memo_, 0, 2, 5, 1);
  connect(update, &QPushButton::clicked, this, [this] { Run([this] { operations_->ReadMemory(); }); });
  idleOnly_.push_back(update);
  connect(chkbxHex_, &QCheckBox::toggled, this, [this](bool on) { fields_.hex = on; });
  connect(chkbxRepeat_, &QCheckBox::clicked, this, [this](bool on) { operations_->SetRepeat(on); });

  viewPages_->addTab(spot, "Spot");
  viewPages_->addTab(memory, "Memory");
  return viewPages_;
}

void MainWindow::BuildStatusBar() {
  // Two lines. The first: the status line and, during an upload, the bar
  // with what it has sent beside it; the second: the link with its
  // Reconnect button and the COM error count. Each keeps its height, and
  // the window is wide enough for the widest progress text beside the
  // status line: nothing moves or is cut while an upload runs.
  auto* lines = new QWidget(this);
  auto* rows = new QVBoxLayout(lines);
  rows->setContentsMargins(0, 0, 0, 0);
  rows->setSpacing(2);
  auto* first = new QHBoxLayout;
  auto* second = new QHBoxLayout;
  first->setSpacing(kStatusSpacing);
  second->setSpacing(kStatusSpacing);
  rows->addLayout(first);
  rows->addLayout(second);

  lblStatus_ = new QLabel(lines);
  lblStatus_->setObjectName("lblStatus");
  lblStatus_->setStyleSheet("QLabel { color: red; }");
  lblStatus_->setMinimumWidth(kStatusMinWidth);
  progress_ = new QWidget(lines);
  progress_->setObjectName("progress");
  auto* progressRow = new QHBoxLayout(progress_);
  progressRow->setContentsMargins(0, 0, 0, 0);
  progressRow->setSpacing(kStatusSpacing);
  pBar_ = new QProgressBar(progress_);
  pBar_->setObjectName("pBar");
  pBar_->setRange(0, 100);
  pBar_->setFormat(QStringLiteral("%p %"));
  pBar_->setAccessibleName("Upload progress");
  pBar_->setFixedWidth(pBar_->fontMetrics().horizontalAdvance(QStringLiteral("100 %")) * 3);
  progressText_ = new QLabel(progress_);
  progressText_->setObjectName("progressText");
  progressText_->setMinimumWidth(
      progressText_->fontMetrics().horizontalAdvance(Q(WidestUploadProgressText()) + kCloseNote) + 4);
  progressRow->addWidget(pBar_);
  progressRow->addWidget(progressText_);
  progress_->setVisible(false);
  lblStatus_->setMinimumHeight(progress_->sizeHint().height());
  first->addWidget(lblStatus_, 1);
  first->addWidget(progress_);

  pCommErrors_ = new QLabel(lines);
  pCommErrors_->setObjectName("pCommErrors");
  pCommErrors_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  ShowValue(pCommErrors_, "COM Errors", "0");
  // The link: port, baud rate, address, sensor, polling, replies. Default
  // colours, so it follows the desktop's palette.
  linkText_ = new QLabel(lines);
  PaintOwnBackground(linkText_);
  linkText_->setObjectName("linkText");
  // Of fixed size: a new text (four times a second while polling) then
  // asks no layout to be redone, which would repaint the whole status bar.
  linkText_->setText("x");
  linkText_->setFixedSize(linkText_->fontMetrics().horizontalAdvance(QString(95, 'x')), linkText_->sizeHint().height());
  linkText_->clear();
  btnReconnect_ = new QPushButton("Reconnect", lines);
  btnReconnect_->setObjectName("btnReconnect");
  // Its place is kept while it is hidden: the line keeps its height.
  QSizePolicy keepPlace = btnReconnect_->sizePolicy();
  keepPlace.setRetainSizeWhenHidden(true);
  btnReconnect_->setSizePolicy(keepPlace);
  btnReconnect_->setVisible(false);
  connect(btnReconnect_, &QPushButton::clicked, this, [this] { Run([this] { operations_->Connect(); }); });
  idleOnly_.push_back(btnReconnect_);
  second->addWidget(linkText_);
  second->addWidget(btnReconnect_);
  second->addStretch(1);
  second->addWidget(new QLabel("COM Errors", lines));
  second->addWidget(pCommErrors_);

  lines->setMinimumWidth(std::max(lines->minimumSizeHint().width(),
                                  kStatusMinWidth + kStatusSpacing + progress_->minimumSizeHint().width()));
  statusBar()->addWidget(lines, 1);
  linkTimer_.setInterval(kLinkIntervalMs);
  connect(&linkTimer_, &QTimer::timeout, this, [this] { ShowLink(); });
  linkTimer_.start();
}

void MainWindow::ShowLink() {
  const QString text = Q(operations_->LinkText());
  const bool lost = operations_->lineLost();
  if (text != linkShown_) {
    linkShown_ = text;
    // Shown whole where it fits; else cut with "..." and whole in the tip.
    const QString fitted = linkText_->fontMetrics().elidedText(text, Qt::ElideMiddle, linkText_->maximumWidth());
    linkText_->setText(fitted);
    linkText_->setToolTip(lost ? Q(operations_->LineLostExplanation()) : text);
    linkText_->setAccessibleName("Link: " + text);
  }
  if (btnReconnect_->isVisible() != lost) btnReconnect_->setVisible(lost);
}

void MainWindow::SetToolTips() {
  editSerial_->setToolTip("Sensor Serial Number");
  cboModel_->setToolTip("Sensor Model Number");
  editAddress_->setToolTip(Lines("Unique Sensor Identifier for Multi-Sensor\r\nCommunications (1..255)"));
  cboSensorBaud_->setToolTip("Sensor's Communications Data Rate");
  cboCRC_->setToolTip(
      Lines("The error checkig method used by the sensor for \r\ncommunicating with the host(see User Manual)"));
  btnDefault_->setToolTip("Sets all sensor setting to factory defaults");
  editThreshold_->setToolTip(
      Lines("The value applied to the A/D reading of the\r\nlaser spot to eliminate noise. (0..255)"));
  editMaxPwr_->setToolTip(Lines("Laser PWM(0-254)-Maximum Laser Off Time\r\nLower the value, Higher the laser Power"));
  editMinPwr_->setToolTip(Lines("Laser PWM(0-254)-Minimum Laser Off Time\r\nHigher the value, Lower the laser Power"));
  cboMode_->setToolTip(Lines("Sets the sensor output to imperial or Metric; for imperial\r\nmode Stand-off is 2\"; for "
                             "Metric mode Stand-off is 50mm"));
}

void MainWindow::FillPortList() {
  portDevices_.clear();
  for (const PortChoice& choice : PortChoicesAfterCom4()) {
    portDevices_.push_back(choice.device);
    cboPort_->addItem(Q(choice.text));
  }
}

void MainWindow::ApplyIni() {
  const IniValues values = ini_.Read();
  InstallPortMap(values.portMap);
  fields_.port = values.port >= 1 && values.port <= 4 ? values.port - 1 : -1;
  fields_.device.clear();
  // Also a file written by an earlier version may name the virtual sensor.
  if (!values.device.empty() && KeptAsNextPort(values.device)) {
    for (const std::string& device : portDevices_)
      if (device == values.device) fields_.device = device;
    if (ShownWithoutEntry(values.device)) fields_.device = values.device;
  }
  if (values.baud == 115200) {
    fields_.hostBaud = -1;
  } else if (EntryOfBaud(values.baud) >= 0) {
    fields_.hostBaud = EntryOfBaud(values.baud);
  }
}

void MainWindow::StoreConnection(int portNumber, int baudRate, const std::string& device) {
  // A device chosen instead of COM1..COM4 keeps "Port" as it was, for other
  // versions that read only the number.
  const int port = device.empty() ? portNumber : ini_.Read().port;
  std::string error;
  if (KeptAsNextPort(device) && iniProblem_.empty() && !ini_.Write(port, baudRate, device, &error))
    SetStatus("Cannot write " + ini_.path() + ": " + error);
  const std::string keepDevice = fields_.device;
  ApplyIni();
  fields_.device = keepDevice;  // the device opened now, also the virtual sensor
  ShowFields();
}

template <typename Operation>
void MainWindow::Run(Operation operation, bool collect) {
  if (operations_->busy()) return;  // the running operation keeps the record
  if (collect) Collect();
  operations_->ActionStarting();
  // Nothing pressed or typed meanwhile may look taken and then be lost:
  // what cannot act while the line is busy is disabled until it is free.
  // The focus goes back where it was (or into the field an input error
  // names), not to whatever took it while its widget was disabled.
  focusAfterRun_ = QApplication::focusWidget();
  ShowBusy(true);
  operation();
  ShowBusy(false);
  if (!focusAfterRun_.isNull() && focusAfterRun_->isEnabled() && focusAfterRun_->isVisible())
    focusAfterRun_->setFocus();
  ShowLink();
  ShowLatestSpot();  // the last poll's values, before the panels rest
  ShowFields();
  if (closeWanted_ && !operations_->busy()) close();
}

void MainWindow::ShowBusy(bool busy) {
  for (QWidget* w : idleOnly_) w->setEnabled(!busy);
  if (!busy) ApplyFactoryMode();
}

void MainWindow::Collect() {
  const int port = cboPort_->currentIndex();
  fields_.port = port < 4 ? port : -1;
  fields_.device.clear();
  if (port >= 4) fields_.device = portDevices_[static_cast<size_t>(port - 4)];
  const QString shown = cboPort_->currentText().trimmed();
  if (!shown.isEmpty() && (port < 0 || shown != cboPort_->itemText(port))) {
    // Typed, not chosen: what the text names (a text that names no port is
    // tried as a device, whose open then says why not).
    if (!ApplyPortText(shown.toStdString(), fields_).empty()) {
      fields_.port = -1;
      fields_.device = shown.toStdString();
    }
  }
  fields_ = bind_.Take(fields_);
}

void MainWindow::BindFields() {
  bind_.Choice(cboHostBaud_, &WindowFields::hostBaud);
  bind_.Text(editConnAddr_, &WindowFields::connAddr);
  bind_.Switch(cbxGlobal_, &WindowFields::useGlobalAddress);
  bind_.Shown(pSerial_, &WindowFields::serialPanel);
  bind_.Shown(pModel_, &WindowFields::modelPanel);
  bind_.Shown(pFirmware_, &WindowFields::firmwarePanel);
  bind_.Shown(pFpga_, &WindowFields::fpgaPanel);
  bind_.Text(editSerial_, &WindowFields::serial);
  bind_.Choice(cboModel_, &WindowFields::model);
  bind_.Text(editAddress_, &WindowFields::address);
  bind_.Choice(cboSensorBaud_, &WindowFields::sensorBaud);
  bind_.Choice(cboCRC_, &WindowFields::checkMode);
  bind_.Choice(cboMode_, &WindowFields::mode);
  bind_.Text(editMinPwr_, &WindowFields::minPwr);
  bind_.Text(editMaxPwr_, &WindowFields::maxPwr);
  bind_.Text(editThreshold_, &WindowFields::threshold);
  bind_.Text(editMinLen_, &WindowFields::minLen);
  bind_.Text(editMinHt_, &WindowFields::minHt);
  bind_.Shown(unitWidth_, &WindowFields::unitText);
  bind_.Shown(unitHeight_, &WindowFields::unitText);
  bind_.Text(editPulse_, &WindowFields::pulse);
  bind_.Text(editSpeed_, &WindowFields::speed);
  bind_.Text(editTimeout_, &WindowFields::timeout);
  bind_.Choice(cboUpload_, &WindowFields::upload);
  bind_.Text(editStartNdx_, &WindowFields::startIndex);
  bind_.Text(editNumOfScans_, &WindowFields::numScans);
  bind_.Switch(cbxSpot_, &WindowFields::showAll);
  bind_.Text(editMemAddr_, &WindowFields::memAddr);
  bind_.Text(editWordCount_, &WindowFields::wordCount);
  bind_.Switch(chkbxHex_, &WindowFields::hex);
}

void MainWindow::ShowFields() {
  int port = fields_.port;
  bool listed = fields_.device.empty();
  for (size_t i = 0; i < portDevices_.size() && !listed; ++i) {
    if (portDevices_[i] == fields_.device) {
      port = static_cast<int>(i) + 4;
      listed = true;
    }
  }
  cboPort_->setCurrentIndex(listed ? port : -1);
  if (!listed) cboPort_->setEditText(Q(fields_.device));  // typed, or given on the command line
  bind_.Show(fields_);
  ShowRangeUnit();
}

void MainWindow::FieldsChanged() { ShowFields(); }

void MainWindow::CollectFields() { Collect(); }

void MainWindow::ApplyFactoryMode() {
  for (QWidget* w : std::initializer_list<QWidget*>{editSerial_, btnSerial_, cboUpload_, btnUpload_, cboModel_, btnModel_})
    w->setEnabled(factory_);
}

void MainWindow::ShowAllLook() {
  const bool all = cbxSpot_->isChecked();
  for (size_t i = 1; i < spotPanels_.size(); ++i) {
    QLabel* panel = spotPanels_[i];
    panel->setEnabled(all);
    // Colours through the palette, not a style sheet: a label drawn by a
    // style sheet is not opaque, and each new value would repaint what
    // lies behind it too.
    QPalette look = palette();
    look.setColor(QPalette::Window, look.color(all ? QPalette::Base : QPalette::Button));
    look.setColor(QPalette::WindowText, all ? QColor(Qt::red) : QColor(Qt::gray));
    panel->setPalette(look);
  }
  for (QLabel* label : spotLabels_) label->setEnabled(all);
}

void MainWindow::StopLoops() {
  operations_->RequestStop();
  operations_->SetRepeat(false);  // the box stays ticked until clicked again
}

QLineEdit* MainWindow::EditOf(Field field) const {
  switch (field) {
    case Field::kConnAddr: return editConnAddr_;
    case Field::kAddress: return editAddress_;
    case Field::kMinPwr: return editMinPwr_;
    case Field::kMaxPwr: return editMaxPwr_;
    case Field::kThreshold: return editThreshold_;
    case Field::kMinLen: return editMinLen_;
    case Field::kMinHt: return editMinHt_;
    case Field::kPulse: return editPulse_;
    case Field::kSpeed: return editSpeed_;
    case Field::kTimeout: return editTimeout_;
    case Field::kSerial: return editSerial_;
    case Field::kStartIndex: return editStartNdx_;
    case Field::kNumScans: return editNumOfScans_;
    case Field::kMemAddr: return editMemAddr_;
    case Field::kWordCount: return editWordCount_;
  }
  return nullptr;
}

void MainWindow::SetStatus(const std::string& text) {
  statusLatest_ = Q(text);
  // Polling clears the status line before every poll and a failed poll
  // writes it again: shown as it comes, a sensor that fails each poll would
  // repaint and announce the line hundreds of times a second.
  if (operations_->polling()) {
    ShowWithSpot(statusPending_);
    return;
  }
  statusPending_ = false;
  if (lblStatus_->text() != statusLatest_) lblStatus_->setText(statusLatest_);
}

void MainWindow::SetComErrors(unsigned long long count) {
  comErrorsLatest_ = count;
  if (operations_->polling()) {
    ShowWithSpot(comErrorsPending_);
    return;
  }
  comErrorsPending_ = false;
  ShowValue(pCommErrors_, "COM Errors", QString::number(count));
}

void MainWindow::ShowWithSpot(bool& pending) {
  pending = true;
  if (!spotTimer_.isActive()) spotTimer_.start();
}

void MainWindow::ShowInputError(const std::string& text, Field field) {
  ShowFields();
  QMessageBox::critical(this, "Error", Lines(text));
  if (QLineEdit* edit = EditOf(field)) {
    edit->selectAll();
    focusAfterRun_ = edit;  // disabled until the operation has ended
    edit->setFocus();
  }
}

void MainWindow::ShowInformation(const std::string& text) {
  QMessageBox::information(this, "Information", Lines(text));
}

bool MainWindow::AskYesNo(const std::string& text) {
  // Every question Ostrel asks erases or overwrites something on the
  // sensor: Enter or a stray Space must not say yes.
  QMessageBox box(QMessageBox::Question, "Confirm", Lines(text), QMessageBox::Yes | QMessageBox::No, this);
  box.setDefaultButton(QMessageBox::No);
  box.setInformativeText(uploadPlan_);
  uploadPlan_.clear();
  return box.exec() == QMessageBox::Yes;
}

void MainWindow::SetUploadPlan(const std::vector<std::string>& lines) {
  QStringList text;
  for (const std::string& line : lines) text << Q(line);
  uploadPlan_ = text.join('\n');
}

std::string MainWindow::ChooseFile(const std::string& filters, int firstFilter, const std::string& defaultExtension) {
  // "Name|pattern|Name|pattern" into Qt's "Name (pattern);;...".
  const QStringList parts = Q(filters).split('|');
  QStringList qtFilters;
  for (int i = 0; i + 1 < parts.size(); i += 2)
    qtFilters << parts[i] + " (" + QString(parts[i + 1]).replace("*.*", "*") + ")";
  QString selected = firstFilter >= 0 && firstFilter < qtFilters.size() ? qtFilters[firstFilter] : QString();
  QFileDialog dialog(this, "Open", QDir::currentPath());
  dialog.setNameFilters(qtFilters);
  dialog.selectNameFilter(selected);
  dialog.setDefaultSuffix(Q(defaultExtension));
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::string();
  return dialog.selectedFiles().first().toStdString();
}

std::string MainWindow::ChoosePort(const std::vector<FoundPort>& ports) {
  QStringList items;
  for (const FoundPort& p : ports)
    items << Q(p.description.empty() ? p.device : p.device + " - " + p.description);
  if (items.isEmpty()) return std::string();
  bool ok = false;
  const QString chosen = QInputDialog::getItem(
      this, "Select Port", "The configured serial port is not valid.\nPlease choose another port.", items, 0, false, &ok);
  if (!ok) return std::string();
  return ports[static_cast<size_t>(items.indexOf(chosen))].device;
}

std::string MainWindow::ChooseSaveFile(const std::string& proposedName) {
  QFileDialog dialog(this, "Save", QDir::current().filePath(Q(proposedName)));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters({"Text File (*.txt)", "All (*)"});
  dialog.setDefaultSuffix("txt");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::string();
  return dialog.selectedFiles().first().toStdString();
}

void MainWindow::Log(const std::string& line) {
  log_->addItem(QTime::currentTime().toString("HH:mm:ss") + "  " + Q(line));
  while (log_->count() > kLogLines) delete log_->takeItem(0);
  log_->scrollToBottom();
}

void MainWindow::ShowUploadResult(const std::vector<std::string>& lines) {
  QStringList text;
  for (const std::string& line : lines) text << Q(line);
  QMessageBox box(QMessageBox::Information, "Upload", text.join('\n'), QMessageBox::Close, this);
  box.setObjectName("uploadResult");
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);  // the backup's path can be copied
  box.exec();
}

bool MainWindow::AskRestore(const std::string& question, const std::vector<SettingDifference>& rows) {
  QDialog dialog(this);
  dialog.setObjectName("restoreQuestion");
  dialog.setWindowTitle("Restore Settings");
  auto* layout = new QVBoxLayout(&dialog);
  auto* text = new QLabel(Lines(question), &dialog);
  layout->addWidget(text);
  auto* table = new QTableWidget(static_cast<int>(rows.size()), 3, &dialog);
  table->setObjectName("restoreDifferences");
  table->setAccessibleName("Settings changed by the upload");
  table->setHorizontalHeaderLabels({"Setting", "Saved before the upload", "On the sensor now"});
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->verticalHeader()->setVisible(false);
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const SettingDifference& d = rows[static_cast<size_t>(r)];
    table->setItem(r, 0, new QTableWidgetItem(Q(d.name)));
    table->setItem(r, 1, new QTableWidgetItem(Q(d.saved)));
    table->setItem(r, 2, new QTableWidgetItem(Q(d.now)));
  }
  table->resizeColumnsToContents();
  table->setMinimumWidth(table->horizontalHeader()->length() + 2 * table->frameWidth() + 4);
  layout->addWidget(table);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No, &dialog);
  // Writing to the sensor is not what Enter or a stray Space should do.
  QPushButton* no = buttons->button(QDialogButtonBox::No);
  buttons->button(QDialogButtonBox::Yes)->setAutoDefault(false);
  no->setDefault(true);
  no->setFocus();
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  return dialog.exec() == QDialog::Accepted;
}

void MainWindow::SetProgress(bool visible, int percent) {
  progress_->setVisible(visible);
  pBar_->setValue(percent);
  btnStopUpload_->setEnabled(visible && operations_->uploading());
  if (!visible) {
    progressShown_.clear();
    progressText_->clear();
  }
}

void MainWindow::SetProgressText(const std::string& text) {
  progressShown_ = Q(text);
  progressText_->setText(progressShown_ + closeNote_);
  pBar_->setAccessibleDescription(progressShown_ + closeNote_);
}

void MainWindow::SetConnected(bool connected) {
  tabs_->setTabEnabled(1, connected);
  tabs_->setTabEnabled(2, connected);
  // A chart belongs to one connection of one sensor: a new connection (to
  // this sensor or another on the bus) starts a new chart, and the time
  // without a connection is a gap, never a line.
  if (connected) {
    chart_->Clear();
    chartUnit_ = nullptr;
  } else {
    chart_->Break();
  }
}

void MainWindow::ShowSpot(const SpotValues& v) {
  // Polling runs as fast as the line answers (about 150 polls a second at
  // 57600 bit/s); the chart takes every range, the panels show the latest
  // values ten times a second, which is as fast as anyone reads them and
  // spares the window a relayout per poll.
  const UnitSet& unit = operations_->unitSet();
  if (chartUnit_ != &unit) {
    // Another unit: the old ranges would mislead.
    chartUnit_ = &unit;
    chart_->Clear();
    chart_->SetValueTitle(QString("Range (%1)").arg(unit.text));
    chart_->SetValueText([decimals = unit.decimals](double value) { return QString::number(value, 'f', decimals); });
  }
  chart_->Add(RangeInUnits(v.range, unit));
  spotShown_ = v;
  ShowWithSpot(spotPending_);
}

void MainWindow::ShowLatestSpot() {
  // The status line and the error count as they were last told, at the
  // panels' pace while polling runs.
  if (statusPending_) {
    statusPending_ = false;
    if (lblStatus_->text() != statusLatest_) lblStatus_->setText(statusLatest_);
  }
  if (comErrorsPending_) {
    comErrorsPending_ = false;
    ShowValue(pCommErrors_, "COM Errors", QString::number(comErrorsLatest_));
  }
  if (!spotPending_) return;
  spotPending_ = false;
  const SpotValues& v = spotShown_;
  const UnitSet& unit = operations_->unitSet();
  ShowValue(spotPanels_[0], QString("%1 (%2)").arg(kSpotNames[0], unit.step), QString::number(v.range));
  ShowRangeUnit();
  if (!v.all) return;
  const uint16_t rest[] = {v.base, v.sum, v.num, v.sub, v.power, v.peak};
  for (size_t i = 0; i < 6; ++i) ShowValue(spotPanels_[i + 1], kSpotNames[i + 1], QString::number(rest[i]));
}

void MainWindow::ShowRangeUnit() {
  const QString step = operations_->unitSet().step;
  if (rangeUnit_->text() != step) rangeUnit_->setText(step);
}

void MainWindow::SetMemo(const std::vector<std::string>& lines) {
  QStringList text;
  for (const std::string& line : lines) text << Q(line);
  memo_->setPlainText(text.join('\n'));
}

void MainWindow::ConnectToVirtualSensor() {
  cboPort_->setCurrentIndex(cboPort_->count() - 1);
  Run([this] { operations_->Connect(); });
}

std::string MainWindow::ConnectAtStart(const StartConnectTexts& texts) {
  Collect();
  WindowFields wanted = fields_;
  if (std::string refusal = ApplyStartConnect(texts, wanted); !refusal.empty()) return refusal;
  // Not through Run: its Collect would take the port back from the list,
  // which need not hold the device given.
  QTimer::singleShot(0, this, [this, wanted] {
    if (operations_->busy()) return;
    fields_ = wanted;
    Run([this] { operations_->Connect(); }, false);
  });
  return std::string();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  auto* list = qobject_cast<QComboBox*>(watched);
  if (event->type() != QEvent::FocusOut || list == nullptr || list->currentIndex() >= 0) return false;
  if (list == cboPort_) {
    if (list->currentText().isEmpty()) list->setCurrentIndex(fields_.port);
  } else if (list == cboHostBaud_) {
    list->setCurrentIndex(EntryOfBaud(operations_->hostBaudInUse()));
  } else if (list == cboSensorBaud_) {
    list->setCurrentIndex(cboHostBaud_->currentIndex());
  } else if (list == cboCRC_) {
    list->setCurrentIndex(link_.crc() ? 1 : 0);
  } else if (list == cboUpload_) {
    list->setCurrentIndex(0);
  } else if (list == cboModel_) {
    list->setCurrentIndex(operations_->ModelEntryWhenNoneChosen());
  }
  return false;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  StopLoops();
  if (operations_->busy()) {
    // The running operation ends at its next pass; the window closes then.
    // An upload runs to its end (or its "Stop"): the progress says why
    // the window stays.
    if (operations_->uploading()) {
      closeNote_ = kCloseNote;
      SetProgressText(progressShown_.toStdString());
    }
    closeWanted_ = true;
    event->ignore();
    return;
  }
  link_.StopDeadline();
  link_.port().Close();  // RTS and DTR off, then closed
  event->accept();
}

}  // namespace ostrel
