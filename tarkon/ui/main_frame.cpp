#include "tarkon/ui/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <utility>
#include <QDragEnterEvent>
#include <QDropEvent>

#include "tarkon/ui/ask_yes_no.h"
#include "tarkon/ui/command_log.h"
#include "tarkon/ui/connect_dialog.h"
#include "tarkon/ui/link_view.h"
#include "tarkon/ui/file_drop.h"
#include "tarkon/ui/exchange_loop.h"
#include "tarkon/ui/pane_sizes.h"
#include "tarkon/ui/parameters_pane.h"
#include "tarkon/ui/port_entries.h"
#include "tarkon/ui/program_icon.h"
#include "tarkon/ui/sensor_view.h"
#include "tarkon/ui/settings_dialogs.h"
#include "tarkon/ui/setup_pane.h"
#include "tarkon/ui/small_dialogs.h"
#include "tarkon/ui/tools_menu.h"
#include "tarkon/ui/ui_texts.h"
#include "tarkon/ui/upload_dialog.h"
#include "tarkon/ui/window_size.h"
#include "tarkon/ui/scan_buffer_dialog.h"

namespace {

// Built-in pane sizes and the smallest size a stored one may have.
const QSize kSetupMinimum(120, 100);
const QSize kLogMinimum(120, 60);
const PaneSizes kSetupBuiltIn{QSize(600, 200), QSize(300, 400), QSize(300, 400)};
const PaneSizes kLogBuiltIn{QSize(600, 150), QSize(260, 400), QSize(600, 150)};

QSettings Profile() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, QLatin1String(kProfileName),
                   QStringLiteral("Tarkon"));
}

// A prompt: the status-bar text, then after "\n" the tool tip.
void SetPrompt(QAction* action, const QString& prompt) {
  const qsizetype cut = prompt.indexOf(QLatin1Char('\n'));
  action->setStatusTip(prompt.left(cut));
  action->setToolTip(prompt.mid(cut + 1));
}

// What a screen reader announces for an action's button: its caption
// without mnemonic and accelerator text.
QString SpokenName(const QAction* action) {
  QString text = action->text();
  text = text.left(text.indexOf(QLatin1Char('\t')));
  return text.remove(QLatin1Char('&')).trimmed();
}

// The last ports used, kept per user beside the pane sizes.
const QString kRecentPortsKey = QStringLiteral("Recent Ports/Ports");

std::vector<RecentPort> LoadRecentPorts() {
  std::vector<std::string> texts;
  for (const QString& t : Profile().value(kRecentPortsKey).toStringList()) texts.push_back(t.toStdString());
  return RecentPortsOfTexts(texts);
}

}  // namespace

CMainFrame::CMainFrame(CKRV02Doc& doc, QWidget* parent, std::unique_ptr<PortWatch> watch)
    : QMainWindow(parent), doc_(doc), portWatch_(watch ? std::move(watch) : std::make_unique<PortWatch>()) {
  setWindowTitle(MainWindowCaption());
  setWindowIcon(ProgramIcon());
  BuildActions();
  BuildMenus();
  BuildToolBar();
  BuildStatusBar();
  BuildPanes();
  tools_ = new CToolsMenu(*this, doc_);
  params_ = CParametersPane::Install(*this, doc_);
  PlaceParametersPane();
  view_ = new CSensorParentView(doc_, this);
  link_ = new CLinkView(*this, doc_, MainWindowCaption());
  setCentralWidget(link_->Wrap(view_));
  // Help ends the menu bar, after the Tools menu.
  menuBar()->addMenu(helpMenu_);
  BuildStartPage();
  LoadPaneSizes();
  resize(DefaultWindowSize(this, SetupPaneWidth(setup_->settingsList())));
  // A backup or firmware file dropped on the window opens where it belongs.
  setAcceptDrops(true);

  closeWhenFree_.setInterval(50);
  connect(&closeWhenFree_, &QTimer::timeout, this, [this] {
    if (doc_.LineBusy()) return;
    closeWhenFree_.stop();
    close();
  });

  // Exchanges wait on this window's event loop, never on a frozen window.
  auto* exchangeLoop = new CExchangeLoop(this);
  // A command's exchange greys the commands at once, so nothing looks
  // available that the line-busy gate would refuse; a poll tick's short
  // exchanges only when they wait long enough to be seen (no flicker).
  connect(exchangeLoop, &CExchangeLoop::waitStarted, this, [this] {
    if (!inPollTick_) UpdateCommandUI();
  });
  connect(exchangeLoop, &CExchangeLoop::longWait, this, &CMainFrame::UpdateCommandUI);
  connect(exchangeLoop, &CExchangeLoop::waitEnded, this, &CMainFrame::UpdateCommandUI);
  doc_.options().SetExchangeHost(exchangeLoop);

  doc_.SetListener(this);
  FollowPortsForTheLink();
  RefreshSetupPane();
  UpdateCommandUI();
}

void CMainFrame::FollowPortsForTheLink() {
  // The watch calls on its own thread; the document is the window's, so
  // the change is handed to the window's loop (dropped if the window is
  // gone by then).
  portWatchToken_ = portWatch_->Subscribe([this](const PortListChange& change) {
    QMetaObject::invokeMethod(this, [this, change] { OnPortsChanged(change); }, Qt::QueuedConnection);
  });
}

void CMainFrame::OnPortsChanged(const PortListChange& change) {
  const auto namesOf = [](const ListedPort& port) {
    std::vector<std::string> names{port.device, port.name};
    if (!port.byId.empty()) names.push_back(port.byId);
    return names;
  };
  for (const ListedPort& gone : change.disappeared) doc_.connection().PortDisappeared(namesOf(gone));
  for (const ListedPort& back : change.appeared) doc_.connection().PortAppeared(namesOf(back), back.usbSerial);
  link_->Refresh();
  UpdateCommandUI();
}

CMainFrame::~CMainFrame() {
  portWatch_->Unsubscribe(portWatchToken_);
  // The worker must not post to a frame that is going away.
  doc_.polling().StopPolling();
  doc_.options().SetExchangeHost(nullptr);
  doc_.SetListener(nullptr);
  SavePaneSizes();
  // The base class hides the panes and bars while it ends; their signals
  // must no longer reach this part of the window.
  for (QObject* sender : std::initializer_list<QObject*>{setupDock_, logDock_, toolBar_, statusBar(), setup_}) {
    sender->disconnect(this);
  }
  toolBar_->disconnect(toolbarToggle_);
  params_->dock()->toggleViewAction()->disconnect(this);
}

// --- building -------------------------------------------------------------

void CMainFrame::BuildActions() {
  QStyle* style = QApplication::style();
  auto make = [this](DocCommand command, const QString& text) {
    auto* a = new QAction(text, this);
    connect(a, &QAction::triggered, this, [this, command] { RunCommand(command); });
    actions_[command] = a;
    return a;
  };
  QAction* connectAction = make(DocCommand::kConnect, QStringLiteral("Co&nnect...\tCtrl+N"));
  connectAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
  connectAction->setIcon(style->standardIcon(QStyle::SP_DriveNetIcon));
  SetPrompt(connectAction, QStringLiteral("Connect to sensor\nNew"));
  // The caption names Ctrl+D, but no key is bound to it.
  QAction* disconnectAction = make(DocCommand::kDisconnect, QStringLiteral("&Disconnect  \tCtrl+D"));
  disconnectAction->setIcon(style->standardIcon(QStyle::SP_DialogCloseButton));
  SetPrompt(disconnectAction, QStringLiteral("Close connection\nClose connection"));
  QAction* address = make(DocCommand::kAddress, QStringLiteral("&Address..."));
  address->setIcon(style->standardIcon(QStyle::SP_FileDialogDetailedView));
  SetPrompt(address, QStringLiteral("Set sensor address \nSet sensor address "));
  QAction* checksum = make(DocCommand::kChecksum, QStringLiteral("&Checksum"));
  checksum->setCheckable(true);
  SetPrompt(checksum, QStringLiteral("Use checksum to check serial communication packets integrity \nUse  checksum to "
                                     "check serial communication packets integrity"));
  QAction* crc = make(DocCommand::kCrc, QStringLiteral("C&RC"));
  crc->setCheckable(true);
  SetPrompt(crc, QStringLiteral("Use CRC algorithm to check serial communication packets integrity \nUse CRC "
                                "algorithm to check serial communication packets integrity"));
  SetPrompt(make(DocCommand::kBaudRate, QStringLiteral("&Boudrate...")),
            QStringLiteral("Set sensor boudrate \n Set sensor boudrate"));
  // Each Edit item has a letter of its own; the settings dialog, the one
  // most used, also a key.
  make(DocCommand::kSensorSettings, QStringLiteral("&Sensor Settings"))->setShortcut(kSensorSettingsKey);
  make(DocCommand::kSerialAndModel, QStringLiteral("Serial &Number and Model"));
  make(DocCommand::kUpload, QStringLiteral("&Upload FPGA / DSP / CAL Table"));
  make(DocCommand::kResetSensor, QStringLiteral("&Reset Sensor"));
  QAction* defaults = make(DocCommand::kSetDefaults, QStringLiteral("Set sensor &defaults"));
  defaults->setIcon(style->standardIcon(QStyle::SP_DialogResetButton));
  SetPrompt(defaults,
            QStringLiteral("Set sensor factory defaults \n Reset the sensor to use all default values"));
  QAction* reread = make(DocCommand::kRereadSettings, QStringLiteral("Re-read settings"));
  reread->setIcon(style->standardIcon(QStyle::SP_BrowserReload));

  exit_ = new QAction(QStringLiteral("E&xit"), this);
  SetPrompt(exit_, QStringLiteral("Quit the application; prompts to save documents\nExit"));
  connect(exit_, &QAction::triggered, this, &QWidget::close);
  clearLog_ = new QAction(QStringLiteral("Clear log"), this);
  SetPrompt(clearLog_, QStringLiteral("Clear log records \nClear log records"));
  about_ = new QAction(QStringLiteral("&About Tarkon..."), this);
  about_->setIcon(style->standardIcon(QStyle::SP_MessageBoxQuestion));
  connect(about_, &QAction::triggered, this, &CMainFrame::About);
}

void CMainFrame::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->addAction(action(DocCommand::kConnect));
  file->addAction(action(DocCommand::kDisconnect));
  file->addSeparator();
  file->addAction(exit_);

  editMenu_ = menuBar()->addMenu(QStringLiteral("&Edit "));
  editMenu_->addAction(action(DocCommand::kAddress));
  QMenu* check = editMenu_->addMenu(QStringLiteral("&Error checking method"));
  check->addAction(action(DocCommand::kChecksum));
  check->addAction(action(DocCommand::kCrc));
  editMenu_->addAction(action(DocCommand::kBaudRate));
  editMenu_->addSeparator();
  editMenu_->addAction(action(DocCommand::kSensorSettings));
  editMenu_->addAction(action(DocCommand::kSerialAndModel));
  editMenu_->addAction(action(DocCommand::kUpload));
  editMenu_->addAction(action(DocCommand::kResetSensor));
  editMenu_->addSeparator();
  editMenu_->addAction(action(DocCommand::kSetDefaults));

  QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
  toolbarToggle_ = viewMenu->addAction(QStringLiteral("&Toolbar"));
  SetPrompt(toolbarToggle_, QStringLiteral("Show or hide the toolbar\nToggle ToolBar"));
  statusBarToggle_ = viewMenu->addAction(QStringLiteral("&Status Bar"));
  SetPrompt(statusBarToggle_, QStringLiteral("Show or hide the status bar\nToggle StatusBar"));
  setupToggle_ = viewMenu->addAction(QStringLiteral("Sensor setup"));
  logToggle_ = viewMenu->addAction(QStringLiteral("Command log"));
  for (QAction* toggle : {toolbarToggle_, statusBarToggle_, setupToggle_, logToggle_}) {
    toggle->setCheckable(true);
    toggle->setChecked(true);
  }
  viewMenu->addSeparator();
  viewMenu->addAction(clearLog_);

  // Added to the menu bar once the Tools menu is there.
  QMenu* help = helpMenu_ = new QMenu(QStringLiteral("&Help"), this);
  help->addAction(about_);

  for (QMenu* menu : {file, editMenu_, check, viewMenu, help}) {
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
  }
}

void CMainFrame::BuildToolBar() {
  toolBar_ = addToolBar(QStringLiteral("Toolbar"));
  toolBar_->setObjectName(QStringLiteral("toolbar"));
  toolBar_->setIconSize(QSize(16, 15));
  toolBar_->setMovable(false);
  toolBar_->addAction(action(DocCommand::kConnect));
  toolBar_->addAction(action(DocCommand::kDisconnect));
  toolBar_->addSeparator();
  toolBar_->addAction(action(DocCommand::kAddress));
  toolBar_->addAction(action(DocCommand::kSetDefaults));
  toolBar_->addAction(action(DocCommand::kRereadSettings));
  toolBar_->addAction(about_);
  for (QAction* a : toolBar_->actions()) {
    if (QWidget* button = toolBar_->widgetForAction(a)) button->setAccessibleName(SpokenName(a));
  }
  connect(toolbarToggle_, &QAction::toggled, toolBar_, &QWidget::setVisible);
  connect(toolBar_, &QToolBar::visibilityChanged, toolbarToggle_, &QAction::setChecked);
}

void CMainFrame::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  // The prompt of the highlighted item, else "Ready".
  connect(bar, &QStatusBar::messageChanged, this, [bar](const QString& text) {
    if (text.isEmpty()) bar->showMessage(IdleStatusText());
  });
  bar->showMessage(IdleStatusText());
  // Key-state indicators; the toolkit reports no lock-key state, so they
  // stay greyed as when the key is off.
  for (const char* key : {"CAP", "NUM", "SCRL"}) {
    auto* pane = new QLabel(QLatin1String(key), bar);
    pane->setEnabled(false);
    // Grey means the key is off; a screen reader hears it.
    pane->setAccessibleName(QLatin1String(key) + QStringLiteral(" off"));
    pane->setFrameShape(QFrame::Panel);
    pane->setFrameShadow(QFrame::Sunken);
    bar->addPermanentWidget(pane);
  }
  connect(statusBarToggle_, &QAction::toggled, bar, &QWidget::setVisible);
}

void CMainFrame::BuildStartPage() {
  StartPage* start = view_->startPage();
  connect(start, &StartPage::connectRequested, this, [this] { RunCommand(DocCommand::kConnect); });
  connect(start, &StartPage::recentRequested, this, &CMainFrame::ConnectRecent);
  recentPorts_ = LoadRecentPorts();
  start->SetRecentPorts(recentPorts_);
}

bool CMainFrame::ConnectRecent(const RecentPort& port) {
  UpdateCommandUI();
  if (!doc_.IsAvailable(DocCommand::kConnect)) return false;
  const bool ok = ConnectWith(ConnectValuesOfRecent(port, doc_.BeginConnect()), std::nullopt);
  UpdateCommandUI();
  return ok;
}

void CMainFrame::RememberWorkingConnection() {
  // Only what worked: a connect that failed changes nothing here, and an
  // address or baud-rate change counts once the sensor answers at it.
  const std::optional<RecentPort>& working = doc_.sensor().workingConnection();
  if (!working || (!recentPorts_.empty() && recentPorts_.front() == *working)) return;
  recentPorts_ = RememberRecentPort(recentPorts_, *working);
  QStringList texts;
  for (const RecentPort& p : recentPorts_) texts << QString::fromStdString(RecentPortText(p));
  Profile().setValue(kRecentPortsKey, texts);
  view_->startPage()->SetRecentPorts(recentPorts_);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (DragCarriesFiles(event->mimeData())) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
  if (!DragCarriesFiles(event->mimeData())) return;
  event->acceptProposedAction();
  // The dialog opens after the drop has ended, so the source of the drag
  // is not held while it is open.
  auto dropped = std::make_shared<QMimeData>();
  dropped->setUrls(event->mimeData()->urls());
  QMetaObject::invokeMethod(this, [this, dropped] {
    OpenDroppedFiles(doc_, dropped.get(), this);
    UpdateCommandUI();
  }, Qt::QueuedConnection);
}

void CMainFrame::BuildPanes() {
  setup_ = new CSensorSettingsDialog(this);
  setupDock_ = new QDockWidget(QStringLiteral("System:"), this);
  setupDock_->setObjectName(QStringLiteral("setupPane"));
  setupDock_->setWidget(setup_);
  setupDock_->setMinimumSize(kSetupMinimum);
  addDockWidget(Qt::LeftDockWidgetArea, setupDock_);

  log_ = new CLogDialog(this);
  logDock_ = new QDockWidget(QStringLiteral("Command log:"), this);
  logDock_->setObjectName(QStringLiteral("logPane"));
  logDock_->setWidget(log_);
  logDock_->setMinimumSize(kLogMinimum);
  addDockWidget(Qt::BottomDockWidgetArea, logDock_);

  connect(setupToggle_, &QAction::toggled, setupDock_, &QWidget::setVisible);
  connect(setupDock_, &QDockWidget::visibilityChanged, this, [this](bool) {
    setupToggle_->setChecked(!setupDock_->isHidden());
  });
  connect(logToggle_, &QAction::toggled, logDock_, &QWidget::setVisible);
  connect(logDock_, &QDockWidget::visibilityChanged, this, [this](bool) {
    logToggle_->setChecked(!logDock_->isHidden());
  });
  connect(clearLog_, &QAction::triggered, log_, &CLogDialog::Clear);
  connect(setup_, &CSensorSettingsDialog::commandRequested, this, &CMainFrame::RunCommand);
  connect(setup_, &CSensorSettingsDialog::editMenuRequested, this, &CMainFrame::PopUpEditMenu);
}

void CMainFrame::PlaceParametersPane() {
  QDockWidget* dock = params_->dock();
  // A tab beside the command log: the table has the window's width, and
  // the setup pane and the sensor view keep theirs.
  tabifyDockWidget(logDock_, dock);
  connect(dock->toggleViewAction(), &QAction::toggled, this, [this, dock](bool shown) {
    if (dock->isFloating() || dockWidgetArea(dock) != Qt::BottomDockWidgetArea) return;
    if (!shown) {
      // Closed again: the command log gets back the height it had.
      if (logHeightBeforeParameters_ > 0 && logDock_->isVisible())
        resizeDocks({logDock_}, {logHeightBeforeParameters_}, Qt::Vertical);
      logHeightBeforeParameters_ = 0;
      return;
    }
    // In front once the show has run its course (raised inside it, the tab
    // that was in front stays there).
    QMetaObject::invokeMethod(
        this,
        [this, dock] {
          if (dock->isHidden()) return;
          dock->raise();
          // Room for a good part of the table; the sensor view keeps the rest.
          const int wanted = height() * 2 / 5;
          if (dock->height() >= wanted) return;
          logHeightBeforeParameters_ = dock->height();
          resizeDocks({dock}, {wanted}, Qt::Vertical);
        },
        Qt::QueuedConnection);
  });
}

// --- pane sizes -------------------------------------------------------------

void CMainFrame::LoadPaneSizes() {
  QSettings store = Profile();
  // Docked at the side, the pane's built-in width shows every name and value whole.
  PaneSizes setupBuiltIn = kSetupBuiltIn;
  setupBuiltIn.vert.setWidth(std::max(setupBuiltIn.vert.width(), SetupPaneWidth(setup_->settingsList())));
  setupSizes_ = ::LoadPaneSizes(store, kSetupPaneId, kSetupMinimum, setupBuiltIn);
  logSizes_ = ::LoadPaneSizes(store, kLogPaneId, kLogMinimum, kLogBuiltIn);
}

// Docked sizes take effect once the window has its layout.
void CMainFrame::ApplyPaneSizes() {
  auto apply = [this](QDockWidget* dock, const PaneSizes& sizes) {
    if (dock->isFloating()) {
      dock->resize(sizes.floating);
      return;
    }
    const Qt::DockWidgetArea area = dockWidgetArea(dock);
    if (area == Qt::LeftDockWidgetArea || area == Qt::RightDockWidgetArea) {
      resizeDocks({dock}, {sizes.vert.width()}, Qt::Horizontal);
    } else {
      resizeDocks({dock}, {sizes.horz.height()}, Qt::Vertical);
    }
  };
  apply(setupDock_, setupSizes_);
  apply(logDock_, logSizes_);
}

void CMainFrame::SavePaneSizes() {
  auto current = [this](QDockWidget* dock, PaneSizes& sizes) {
    if (!sizesApplied_) return;  // never shown: keep what was stored
    const Qt::DockWidgetArea area = dockWidgetArea(dock);
    if (dock->isFloating()) {
      sizes.floating = dock->size();
    } else if (area == Qt::LeftDockWidgetArea || area == Qt::RightDockWidgetArea) {
      sizes.vert = dock->size();
    } else {
      sizes.horz = dock->size();
    }
  };
  current(setupDock_, setupSizes_);
  current(logDock_, logSizes_);
  QSettings store = Profile();
  ::SavePaneSizes(store, kSetupPaneId, setupSizes_);
  ::SavePaneSizes(store, kLogPaneId, logSizes_);
}

void CMainFrame::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!sizesApplied_) {
    sizesApplied_ = true;
    ApplyPaneSizes();
  }
}

// --- document listener ------------------------------------------------------

void CMainFrame::OnLogLine(int kind, const std::string& text) {
  const QString line = QString::fromStdString(text);
  if (collectingConnectErrors_ && kind == kLogError) connectErrors_ << line;
  log_->AddLine(kind, line);
}

// Posted: the setup pane re-reads after the operation that changed the
// state has finished.
void CMainFrame::OnSensorStateChanged() {
  QMetaObject::invokeMethod(this, &CMainFrame::RefreshSetupPane, Qt::QueuedConnection);
}

// A device that goes away is noticed by the command that failed, which may
// be the panel's own poll: the panel then still runs, so the switch waits
// until its tick has returned.
void CMainFrame::OnShowPanel(int model) {
  if (!inPollTick_) {
    view_->ShowPanel(model);
    return;
  }
  QMetaObject::invokeMethod(this, [this, model] { view_->ShowPanel(model); }, Qt::QueuedConnection);
}

void CMainFrame::OnUpdateAllViews() {
  UpdateCommandUI();
  if (link_ != nullptr) link_->Refresh();
}

void CMainFrame::OnLinkChanged() {
  UpdateCommandUI();
  link_->Refresh();
}

// On the poll worker's thread: only post. The worker waits for the tick to
// be handled, and a stop cuts that wait short, so a disconnect or close on
// this thread never waits for the posted tick.
void CMainFrame::OnPollTickPending() {
  QMetaObject::invokeMethod(this, &CMainFrame::HandlePollTick, Qt::QueuedConnection);
}

void CMainFrame::HandlePollTick() {
  if (!doc_.polling().TakePollTick()) return;  // stopped meanwhile, or already taken
  if (doc_.polling().PollAllowed()) {
    inPollTick_ = true;
    view_->Tick(doc_);
    // A line nothing polls still shows a hang-up at once, not at the next
    // command.
    doc_.connection().WatchIdleLine();
    inPollTick_ = false;
  }
  doc_.polling().PollTickHandled();
}

void CMainFrame::RefreshSetupPane() {
  // Posted by an operation whose exchange still waits: the pane follows
  // once that wait has ended (and the operation has gone on).
  if (doc_.connection().session().Pending()) {
    // Posted again when the wait ends: it runs once the operation is over.
    if (auto* loop = findChild<CExchangeLoop*>()) loop->AfterWait([this] { OnSensorStateChanged(); });
    return;
  }
  setup_->Refresh(&doc_);
  if (params_ != nullptr) params_->Refresh();
  RememberWorkingConnection();
  UpdateCommandUI();
}

void CMainFrame::UpdateCommandUI() {
  for (const auto& [command, a] : actions_) {
    a->setEnabled(doc_.IsAvailable(command));
    if (a->isCheckable()) a->setChecked(doc_.IsChecked(command));
  }
  if (tools_ != nullptr) tools_->UpdateAvailability();
}

// --- commands ---------------------------------------------------------------

void CMainFrame::RunCommand(DocCommand command) {
  UpdateCommandUI();
  if (!doc_.IsAvailable(command)) return;
  switch (command) {
    case DocCommand::kConnect: Connect(); break;
    case DocCommand::kDisconnect:
      doc_.Disconnect();
      virtualSensor_.Stop();
      break;
    case DocCommand::kAddress: ChangeAddress(); break;
    case DocCommand::kChecksum:
    case DocCommand::kCrc:
      doc_.operations().ChangeCheckMode(
          command == DocCommand::kCrc ? kCheckModeCrc : kCheckModeChecksum,
          [this](const std::string& question) { return AskYesNoDefaultNo(this, question); });
      break;
    case DocCommand::kBaudRate: ChangeBaudRate(); break;
    case DocCommand::kSensorSettings: OpenSettingsDialog(); break;
    case DocCommand::kRereadSettings:
      doc_.operations().RereadSettings();
      break;
    case DocCommand::kSerialAndModel: SerialAndModelDialog(); break;
    case DocCommand::kUpload: OpenUpload(); break;
    case DocCommand::kResetSensor:
      doc_.operations().ResetSensor();
      break;
    case DocCommand::kSetDefaults:
      doc_.operations().SetFactoryDefaults(
          [this](const std::string& question) { return AskYesNoDefaultNo(this, question); });
      break;
  }
  UpdateCommandUI();
}

void CMainFrame::Connect() {
  const ConnectValues filled = doc_.BeginConnect();
  CConnectDialog dialog(filled, ConnectPortEntries(), this);
  std::vector<std::string> recent;
  for (const RecentPort& port : recentPorts_) recent.push_back(port.portText);
  dialog.OfferRecentPorts(std::move(recent));
  dialog.FollowPorts(*portWatch_);
  dialog.autoReconnectBox()->setChecked(doc_.options().autoReconnect());
  if (dialog.exec() != QDialog::Accepted) return;
  doc_.options().SetAutoReconnect(dialog.autoReconnectBox()->isChecked());
  CLinkView::StoreAutoReconnect(doc_.options().autoReconnect());
  const ConnectValues chosen = dialog.values();
  if (dialog.virtualModel().empty()) ConnectWith(chosen, std::nullopt);
  else ConnectWith(chosen, VirtualSensorOfDialog(dialog.virtualModel(), chosen));
}

bool CMainFrame::ConnectVirtualSensor(const std::string& model) {
  if (!doc_.IsAvailable(DocCommand::kConnect)) return false;
  VirtualSensorRequest request;
  request.model = model;
  const bool ok = ConnectWith(doc_.BeginConnect(), request);
  UpdateCommandUI();
  return ok;
}

bool CMainFrame::ConnectFound(const ConnectValues& values, int32_t firstCheckMode) {
  if (!doc_.IsAvailable(DocCommand::kConnect)) return false;
  const bool ok = ConnectWith(values, std::nullopt, firstCheckMode);
  UpdateCommandUI();
  return ok;
}

bool CMainFrame::ConnectWith(ConnectValues values, const std::optional<VirtualSensorRequest>& virtualSensor,
                             int32_t firstCheckMode) {
  virtualSensor_.Stop();
  if (virtualSensor && !virtualSensor_.Start(*virtualSensor, values)) {
    OnLogLine(kLogError, virtualSensor_.failure());
    QMessageBox::warning(this, ProgramCaption(), QString::fromStdString(virtualSensor_.failure()));
    return false;
  }

  connectErrors_.clear();
  collectingConnectErrors_ = true;
  const bool ok = doc_.Connect(values, firstCheckMode);
  collectingConnectErrors_ = false;
  if (ok) RememberWorkingConnection();
  if (!ok) {
    virtualSensor_.Stop();
    UpdateCommandUI();
    if (connectErrors_.isEmpty()) connectErrors_ << QString::fromUtf8(kCannotConnectLine);
    QMessageBox::warning(this, ProgramCaption(), connectErrors_.join(QLatin1Char('\n')));
  }
  return ok;
}

void CMainFrame::ChangeAddress() {
  CAddressDialog dialog(doc_.sensor().serialNumberText(), doc_.sensor().address(), this);
  if (dialog.exec() == QDialog::Accepted) {
    doc_.operations().SetAddress(dialog.serialText(), dialog.address());
  } else {
    // Cancelled: the setup pane still shows the sensor as it is now.
    doc_.operations().RereadSettings();
  }
}

void CMainFrame::ChangeBaudRate() {
  CBoudRateDialog dialog(BaudDialogChoice(doc_.sensor().baudRate()), this);
  if (dialog.exec() == QDialog::Accepted)
    doc_.operations().ChangeBaudRate(dialog.choice(),
                                     [this](const std::string& question) { return AskYesNoDefaultNo(this, question); });
}

void CMainFrame::SerialAndModelDialog() {
  SerialAndModel logic = doc_.operations().SerialAndModelLogic();
  CSerialAndModelDlg dialog(logic, this);
  dialog.exec();
  doc_.operations().SensorStateChanged();
}

void CMainFrame::OpenSettingsDialog() {
  std::unique_ptr<CCustomSettingsDlg> dialog(MakeSettingsDialog(doc_, this));
  if (dialog) dialog->exec();
  doc_.operations().SensorStateChanged();
}

void CMainFrame::OpenUpload() {
  CUploadDlg dialog(doc_, this);
  dialog.exec();
}

void CMainFrame::About() {
  QMessageBox box(this);
  box.setWindowTitle(QStringLiteral("About Tarkon"));
  box.setIconPixmap(ProgramIcon().pixmap(32, 32));
  box.setText(AboutText());
  box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.exec();
}

void CMainFrame::PopUpEditMenu(const QPoint& globalPos, std::optional<DocCommand> defaultCommand) {
  UpdateCommandUI();
  editMenu_->setDefaultAction(defaultCommand ? action(*defaultCommand) : nullptr);
  editMenu_->exec(globalPos);
  editMenu_->setDefaultAction(nullptr);  // for this one pop-up only
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (doc_.LineBusy()) {
    // A transfer puts its blocks on the line: the window closes once it
    // has stopped. A scan buffer read stops at its next portion, an upload
    // after its block in flight (closing its dialog is its "Stop").
    event->ignore();
    statusBar()->showMessage(QStringLiteral("Closing when the transfer has stopped..."));
    if (QWidget* modal = QApplication::activeModalWidget()) {
      if (qobject_cast<CReadBufferDialog*>(modal) != nullptr || qobject_cast<CUploadDlg*>(modal) != nullptr) {
        modal->close();
      }
    }
    if (!closeWhenFree_.isActive()) closeWhenFree_.start();
    return;
  }
  closeWhenFree_.stop();
  doc_.CloseDocument();
  event->accept();
}
