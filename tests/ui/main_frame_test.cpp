// The main window against the virtual sensor, through its widgets.

#include <QAction>
#include <cstdio>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDockWidget>
#include <QLabel>
#include <QStatusBar>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

#include "tarkon/document/doc_internals.h"
#include "tarkon/ui/command_log.h"
#include "tarkon/ui/connect_dialog.h"
#include "tarkon/ui/sensor_panels.h"
#include "tarkon/ui/sensor_view.h"
#include "tarkon/ui/setup_pane.h"
#include "ui_test_support.h"

namespace uitest {

bool UiTest::ConnectTyped(const std::string& portText) {
  auto came = OnNextModal([portText](QWidget* w) {
    auto* dialog = qobject_cast<CConnectDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    dialog->portBox()->setCurrentText(QString::fromStdString(portText));
    Button(dialog, "Ok")->click();
  });
  // A refused connect shows why and returns (false) rather than waiting on
  // its message box for ever.
  auto refused = OnNextModalOf<QMessageBox>([](QMessageBox* box) {
    std::fprintf(stderr, "connect refused: %s\n", box->text().toUtf8().constData());
    box->accept();
  });
  frame_->action(DocCommand::kConnect)->trigger();
  EXPECT_TRUE(*came);
  return doc_->connected();
}

namespace {

const DocCommand kConnectedOnly[] = {DocCommand::kDisconnect,  DocCommand::kAddress,        DocCommand::kChecksum,
                                     DocCommand::kCrc,         DocCommand::kBaudRate,       DocCommand::kSensorSettings,
                                     DocCommand::kSetDefaults, DocCommand::kRereadSettings};
const DocCommand kManufacturingOnly[] = {DocCommand::kSerialAndModel, DocCommand::kUpload,
                                         DocCommand::kResetSensor};

void ExpectAvailability(CMainFrame& frame, bool connected, bool manufacturing) {
  EXPECT_EQ(frame.action(DocCommand::kConnect)->isEnabled(), !connected);
  for (DocCommand c : kConnectedOnly) EXPECT_EQ(frame.action(c)->isEnabled(), connected) << static_cast<int>(c);
  for (DocCommand c : kManufacturingOnly) {
    EXPECT_EQ(frame.action(c)->isEnabled(), connected && manufacturing) << static_cast<int>(c);
  }
  for (QAction* a : {frame.toolbarAction(), frame.statusBarAction(), frame.setupPaneAction(), frame.logPaneAction(),
                     frame.clearLogAction(), frame.exitAction(), frame.aboutAction()}) {
    EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
  }
}

QImage IconImage(const QVariant& icon) { return qvariant_cast<QIcon>(icon).pixmap(12, 12).toImage(); }

class MainFrameTest : public UiTest {};

TEST_F(MainFrameTest, CaptionsMenusAndPrompts) {
  CMainFrame& frame = OpenFrame();
  EXPECT_EQ(frame.windowTitle(), "Tarkon - Single Point Setup ");
  EXPECT_EQ(frame.setupDock()->windowTitle(), "System:");
  EXPECT_EQ(frame.logDock()->windowTitle(), "Command log:");
  EXPECT_EQ(frame.dockWidgetArea(frame.setupDock()), Qt::LeftDockWidgetArea);
  EXPECT_EQ(frame.dockWidgetArea(frame.logDock()), Qt::BottomDockWidgetArea);
  EXPECT_EQ(frame.action(DocCommand::kConnect)->text(), "Co&nnect...\tCtrl+N");
  EXPECT_EQ(frame.action(DocCommand::kConnect)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
  EXPECT_EQ(frame.action(DocCommand::kDisconnect)->text(), "&Disconnect  \tCtrl+D");
  EXPECT_TRUE(frame.action(DocCommand::kDisconnect)->shortcut().isEmpty());
  EXPECT_EQ(frame.editMenu()->title(), "&Edit ");
  EXPECT_EQ(frame.action(DocCommand::kBaudRate)->statusTip(), "Set sensor boudrate ");
  EXPECT_EQ(frame.action(DocCommand::kBaudRate)->toolTip(), " Set sensor boudrate");
  EXPECT_EQ(frame.action(DocCommand::kConnect)->toolTip(), "New");
  EXPECT_EQ(frame.statusBar()->currentMessage(), "Ready");
  EXPECT_EQ(frame.view()->currentPanel()->findChild<QLabel*>()->text(), "Not Connected");
  ExpectAvailability(frame, false, false);

  auto about = OnNextModal([](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), "About Tarkon");
    EXPECT_EQ(box->text(), "Tarkon Version 1.1.0");
    EXPECT_FALSE(box->iconPixmap().isNull());
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->buttons()[0]->text(), "OK");
    box->buttons()[0]->click();
  });
  frame.aboutAction()->trigger();
  EXPECT_TRUE(*about);
}

// Connect through the dialog, the setup pane's rows, availability and the
// check marks; disconnect empties the pane.
TEST_F(MainFrameTest, ConnectThroughTheDialogAndDisconnect) {
  for (bool manufacturing : {false, true}) {
    SCOPED_TRACE(manufacturing);
    sim::VirtualSensor& sensor = StartSensor("KRV04");
    CMainFrame& frame = OpenFrame(manufacturing);
    ExpectAvailability(frame, false, manufacturing);
    EXPECT_EQ(frame.setupPane()->sensorList()->topLevelItemCount(), 0);

    ASSERT_TRUE(ConnectTyped(sensor.SlavePath()));
    ASSERT_TRUE(PumpUntil([&] { return frame.setupPane()->sensorList()->topLevelItemCount() == 7; }));
    ExpectAvailability(frame, true, manufacturing);
    EXPECT_TRUE(frame.action(DocCommand::kChecksum)->isChecked());
    EXPECT_FALSE(frame.action(DocCommand::kCrc)->isChecked());

    const auto rows = Rows(frame.setupPane()->sensorList());
    const char* names[] = {"Serial number", "Model String:", "Firmware:", "FPGA version",
                           "Address",       "Sensor baudrate", "Error checking mode"};
    for (size_t i = 0; i < 7; ++i) EXPECT_EQ(rows[i].first, names[i]);
    EXPECT_EQ(rows[1].second, doc_->sensor().modelString());
    EXPECT_EQ(rows[4].second, "1");
    EXPECT_EQ(rows[5].second, "57600");
    EXPECT_EQ(rows[6].second, "Checksum");
    const auto settings = Rows(frame.setupPane()->settingsList());
    ASSERT_GT(settings.size(), 1u);
    EXPECT_EQ(settings[0].first, "Serial Number");
    EXPECT_EQ(settings[0].second, rows[0].second);
    EXPECT_EQ(frame.log()->model().textAt(frame.log()->model().rowCount() - 1).toStdString(),
              "Successfully connected to KRV04 type sensor");

    // The check mode switch: the check mark follows the mode in force.
    frame.action(DocCommand::kCrc)->trigger();
    EXPECT_TRUE(frame.action(DocCommand::kCrc)->isChecked());
    EXPECT_FALSE(frame.action(DocCommand::kChecksum)->isChecked());
    ASSERT_TRUE(PumpUntil([&] { return Rows(frame.setupPane()->sensorList())[6].second == "CRC"; }));

    frame.action(DocCommand::kDisconnect)->trigger();
    ASSERT_TRUE(PumpUntil([&] { return frame.setupPane()->sensorList()->topLevelItemCount() == 0; }));
    EXPECT_EQ(frame.setupPane()->settingsList()->topLevelItemCount(), 0);
    ExpectAvailability(frame, false, manufacturing);
    EXPECT_EQ(frame.log()->model().textAt(frame.log()->model().rowCount() - 1), "Disconnected...");
    CloseFrame();
  }
}

TEST_F(MainFrameTest, VirtualSensorEntryOfTheDialog) {
  CMainFrame& frame = OpenFrame();
  auto came = OnNextModal([](QWidget* w) {
    auto* dialog = qobject_cast<CConnectDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    QComboBox* ports = dialog->portBox();
    EXPECT_EQ(ports->itemText(0), "COM1");
    EXPECT_EQ(ports->itemText(3), "COM4");
    const int entry = ports->findText("Virtual sensor: Qmt Short");
    ASSERT_GE(entry, 4);
    ports->setCurrentIndex(entry);
    Button(dialog, "Ok")->click();
  });
  frame.action(DocCommand::kConnect)->trigger();
  ASSERT_TRUE(*came);
  EXPECT_TRUE(doc_->connected());
  EXPECT_EQ(doc_->sensor().modelIndex(), kModelQmtShort);
}

// A failed connect: its lines with their icons and the message box with the
// error lines of the attempt.
TEST_F(MainFrameTest, FailedConnectLeavesTwoLinesAndSaysWhy) {
  CMainFrame& frame = OpenFrame();
  QString shown;
  std::shared_ptr<bool> box;
  auto came = OnNextModal([&shown, &box](QWidget* w) {
    auto* dialog = qobject_cast<CConnectDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    dialog->portBox()->setCurrentText("/dev/no-such-tarkon-port");
    box = OnNextModal([&shown](QWidget* m) {
      auto* message = qobject_cast<QMessageBox*>(m);
      ASSERT_NE(message, nullptr);
      shown = message->text();
      message->accept();
    });
    Button(dialog, "Ok")->click();
  });
  LogModel& log = frame.log()->model();
  const int before = log.rowCount();
  frame.action(DocCommand::kConnect)->trigger();
  ASSERT_TRUE(*came);
  ASSERT_TRUE(box && *box);
  EXPECT_FALSE(doc_->connected());

  // The failure with the error icon, then "Disconnected..." with the warning
  // icon, then the cause; the message box shows every error line of the
  // attempt, the cause among them.
  const int n = log.rowCount();
  int failure = -1;
  for (int row = before; row < n; ++row) {
    if (log.kindAt(row) == kLogError) {
      EXPECT_TRUE(shown.contains(log.textAt(row))) << log.textAt(row).toStdString();
    }
    if (log.textAt(row) == "Cannot connect to the sensor...") failure = row;
  }
  ASSERT_GE(failure, 0);
  EXPECT_EQ(log.kindAt(failure), kLogError);
  ASSERT_EQ(n - failure, 3);
  EXPECT_EQ(log.textAt(n - 2), "Disconnected...");
  EXPECT_EQ(log.kindAt(n - 2), kLogNotice);
  const QString cause = QString::fromStdString(doc_->sensor().lastConnectFailure().text);
  EXPECT_TRUE(cause.startsWith("No such device: /dev/no-such-tarkon-port.")) << cause.toStdString();
  EXPECT_EQ(log.textAt(n - 1), cause);
  EXPECT_EQ(log.kindAt(n - 1), kLogError);
  EXPECT_EQ(shown, QStringLiteral("Cannot connect to the sensor...\n") + cause);
  QStyle* style = QApplication::style();
  EXPECT_EQ(IconImage(log.data(log.index(failure, 0), Qt::DecorationRole)),
            style->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(12, 12).toImage());
  EXPECT_EQ(IconImage(log.data(log.index(n - 2, 0), Qt::DecorationRole)),
            style->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(12, 12).toImage());
  ExpectAvailability(frame, false, false);
}

// RS-485 mode asked for in the connect dialog on a line whose driver has
// none: the message box says so, nothing is sent; without it the same
// line connects.
TEST_F(MainFrameTest, Rs485CheckBoxReachesTheEngine) {
  sim::VirtualSensor& sensor = StartSensor("KRV02");
  CMainFrame& frame = OpenFrame();
  QString shown;
  std::shared_ptr<bool> box;
  auto came = OnNextModal([&](QWidget* w) {
    auto* dialog = qobject_cast<CConnectDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    dialog->portBox()->setCurrentText(QString::fromStdString(sensor.SlavePath()));
    dialog->advancedButton()->click();
    dialog->rs485Box()->click();
    box = OnNextModal([&shown](QWidget* m) {
      auto* message = qobject_cast<QMessageBox*>(m);
      ASSERT_NE(message, nullptr);
      shown = message->text();
      message->accept();
    });
    Button(dialog, "Ok")->click();
  });
  frame.action(DocCommand::kConnect)->trigger();
  ASSERT_TRUE(*came);
  ASSERT_TRUE(box && *box);
  EXPECT_FALSE(doc_->connected());
  EXPECT_EQ(doc_->sensor().lastConnectFailure().cause, ConnectFailureCause::kRs485Unsupported);
  EXPECT_TRUE(shown.contains(QStringLiteral("RS-485 direction control is not available on ") +
                            QString::fromStdString(sensor.SlavePath())))
      << shown.toStdString();
  EXPECT_EQ(sensor.Snapshot().activity.framesReceived, 0u);
  ExpectAvailability(frame, false, false);

  ASSERT_TRUE(ConnectTyped(sensor.SlavePath()));
  EXPECT_FALSE(doc_->sensor().rs485());
}

// A sensor whose line goes away while the window polls: one line says so,
// polling stops, the window shows the disconnected state; plugged back, it
// connects again.
TEST_F(MainFrameTest, UnpluggedSensorEndsPollingWithOneLine) {
  sim::SensorConfig config;
  config.model = "KRV02";
  sim::LineConfig line;
  line.linkPath = dir_.File("sensor");
  sensor_ = std::make_unique<sim::VirtualSensor>(config, line);
  ASSERT_TRUE(sensor_->Start()) << sensor_->LastError();
  CMainFrame& frame = OpenFrame();
  ASSERT_TRUE(ConnectTyped(line.linkPath));
  QWidget* live = frame.view()->currentWidget();
  ASSERT_NE(live, nullptr);
  auto showsNotConnected = [&frame] {
    for (QLabel* label : frame.view()->currentWidget()->findChildren<QLabel*>())
      if (label->text() == "Not Connected") return true;
    return false;
  };
  EXPECT_FALSE(showsNotConnected());
  // The panel polls once its diagnostics are switched on.
  auto* panel = qobject_cast<CKRV02Dlg*>(live);
  ASSERT_NE(panel, nullptr);
  panel->diagnostics()->updateBox()->setChecked(true);
  LogModel& log = frame.log()->model();
  // Polling runs: its panel has taken ticks without a failure.
  Pump(600);
  const int before = log.rowCount();

  ASSERT_TRUE(sensor_->Unplug());
  ASSERT_TRUE(PumpUntil([&] { return !doc_->connected(); }, 5000));
  Pump(800);  // more than three poll periods: nothing more is tried
  const std::string gone =
      "The port " + line.linkPath + " went away (adapter unplugged or line hung up); polling stopped.";
  int goneLines = 0, disconnected = 0, errors = 0;
  for (int row = before; row < log.rowCount(); ++row) {
    if (log.textAt(row).toStdString() == gone) ++goneLines;
    if (log.textAt(row) == "Disconnected...") ++disconnected;
    if (log.kindAt(row) == kLogError) ++errors;
  }
  EXPECT_EQ(goneLines, 1);
  EXPECT_EQ(disconnected, 1);
  EXPECT_EQ(errors, 2);  // the failed poll command and the line above
  EXPECT_TRUE(showsNotConnected());
  ExpectAvailability(frame, false, false);

  ASSERT_TRUE(sensor_->Replug()) << sensor_->LastError();
  ASSERT_TRUE(ConnectTyped(line.linkPath));
  EXPECT_FALSE(showsNotConnected());
}

// Double-clicks in the setup pane, Ctrl+D, Ctrl+N.
TEST_F(MainFrameTest, SetupPaneDoubleClicksAndAccelerators) {
  sim::VirtualSensor& sensor = StartSensor("KRV02");
  CMainFrame& frame = OpenFrame();
  ASSERT_TRUE(ConnectTyped(sensor.SlavePath()));
  QTreeWidget* list = frame.setupPane()->sensorList();
  ASSERT_TRUE(PumpUntil([&] { return list->topLevelItemCount() == 7; }));

  auto doubleClick = [](QTreeWidget* tree, int row) {
    const QRect rect = tree->visualItemRect(tree->topLevelItem(row));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
  };
  QString title;
  auto came = OnNextModal([&title](QWidget* w) {
    title = w->windowTitle();
    qobject_cast<QDialog*>(w)->reject();
  });
  doubleClick(list, 4);  // "Address"
  ASSERT_TRUE(PumpUntil([&] { return *came; }, 1000));
  EXPECT_EQ(title, "Sensor Address");

  // Right-click on "Address": the "&Edit " menu with "Address..." as its
  // default item for this one pop-up.
  QString defaultItem = "unset";
  QTimer::singleShot(50, [&defaultItem] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), "&Edit ");
    defaultItem = menu->defaultAction() ? menu->defaultAction()->text() : QString();
    menu->close();
  });
  const QPoint at = list->visualItemRect(list->topLevelItem(4)).center();
  QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
  QApplication::sendEvent(list->viewport(), &rightClick);
  EXPECT_EQ(defaultItem, "&Address...");
  EXPECT_EQ(frame.editMenu()->defaultAction(), nullptr);

  auto none = OnNextModal([](QWidget* w) { w->close(); });
  doubleClick(list, 1);  // "Model String:" has no command
  Pump(200);
  EXPECT_FALSE(*none);

  QApplication::setActiveWindow(&frame);
  QTest::keyClick(&frame, Qt::Key_D, Qt::ControlModifier);
  Pump(100);
  EXPECT_FALSE(*none);
  EXPECT_TRUE(doc_->connected());

  frame.action(DocCommand::kDisconnect)->trigger();
  QTest::keyClick(&frame, Qt::Key_N, Qt::ControlModifier);
  ASSERT_TRUE(PumpUntil([&] { return *none; }, 1000));  // the connect dialog opened and closed
  EXPECT_FALSE(doc_->connected());
}

// The serial number dialog on a sensor whose model string is in no table
// row: no entry chosen; a 20-character serial number goes out as 15.
TEST_F(MainFrameTest, SerialAndModelWithoutMatchingModelString) {
  sim::VirtualSensor& sensor = StartSensor("XY 12-34-5");
  CMainFrame& frame = OpenFrame(true);
  ASSERT_TRUE(ConnectTyped(sensor.SlavePath()));  // taken as a KRV02 in manufacturing mode
  auto came = OnNextModal([](QWidget* w) {
    EXPECT_EQ(w->windowTitle(), "Serial Number and Model Name");
    QComboBox* models = w->findChild<QComboBox*>();
    EXPECT_EQ(models->currentIndex(), -1);
    EXPECT_EQ(models->count(), static_cast<int>(kModelStringCount));
    Button(w, "Set Model Name")->click();  // nothing chosen: nothing sent
    w->findChild<QLineEdit*>()->setText("ABCDEFGHIJKLMNOPQRST");
    Button(w, "Set Serial Number")->click();
    EXPECT_EQ(w->findChild<QLineEdit*>()->text(), "ABCDEFGHIJKLMNO");
    EXPECT_EQ(models->currentIndex(), -1);
    Button(w, "OK")->click();
  });
  frame.action(DocCommand::kSerialAndModel)->trigger();
  ASSERT_TRUE(*came);
  const sim::SensorState state = sensor.Snapshot();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(state.serialNumber.data())), "ABCDEFGHIJKLMNO");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(state.modelName.data())), "XY 12-34-5");
  ASSERT_TRUE(PumpUntil([&] { return Rows(frame.setupPane()->sensorList())[0].second == "ABCDEFGHIJKLMNO"; }));
}

// Pane sizes survive a restart; a stored size below the minimum is ignored.
TEST_F(MainFrameTest, PaneSizesPersistAcrossARestart) {
  {
    CMainFrame& frame = OpenFrame();
    frame.resizeDocks({frame.setupDock()}, {333}, Qt::Horizontal);
    frame.resizeDocks({frame.logDock()}, {177}, Qt::Vertical);
    Pump(50);
    CloseFrame();
  }
  {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "NRD", "Tarkon");
    EXPECT_EQ(store.value("NRD-SCBar-1/sizeVertCX").toInt(), 333);
    EXPECT_EQ(store.value("NRD-SCBar-2/sizeHorzCY").toInt(), 177);
    for (const char* key : {"sizeHorzCX", "sizeHorzCY", "sizeVertCX", "sizeVertCY", "sizeFloatCX", "sizeFloatCY"}) {
      EXPECT_TRUE(store.contains(QString("NRD-SCBar-1/") + key)) << key;
    }
  }
  CMainFrame& again = OpenFrame();
  Pump(50);
  EXPECT_EQ(again.setupDock()->width(), 333);
  EXPECT_EQ(again.logDock()->height(), 177);
  CloseFrame();

  {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "NRD", "Tarkon");
    store.setValue("NRD-SCBar-1/sizeVertCX", 5);
  }
  CMainFrame& third = OpenFrame();
  Pump(50);
  EXPECT_GE(third.setupDock()->width(), 200);  // the built-in width, not 5
}

// A disconnect and a window close while a tick waits for this thread
// return at once.
TEST_F(MainFrameTest, DisconnectAndCloseDuringPollTicks) {
  CMainFrame& frame = OpenFrame();
  ASSERT_TRUE(frame.ConnectVirtualSensor("KRV04"));
  auto* panel = qobject_cast<CKRV04Dlg*>(frame.view()->currentPanel());
  ASSERT_NE(panel, nullptr);
  panel->updateBox()->setChecked(true);
  ASSERT_TRUE(PumpUntil([&] { return panel->polls() >= 2; }));

  // A tick is raised and posted while this thread is busy elsewhere.
  const uint64_t raised = DocInternals::Poll(*doc_).ticksRaised();
  ASSERT_TRUE(BlockUntil([&] { return DocInternals::Poll(*doc_).ticksRaised() > raised; }));
  QElapsedTimer clock;
  clock.start();
  frame.action(DocCommand::kDisconnect)->trigger();
  EXPECT_LT(clock.elapsed(), 1000);
  Pump(300);  // the stale tick is dropped
  EXPECT_FALSE(doc_->connected());

  const uint64_t again = DocInternals::Poll(*doc_).ticksRaised();
  ASSERT_TRUE(frame.ConnectVirtualSensor("KRV04"));
  ASSERT_TRUE(BlockUntil([&] { return DocInternals::Poll(*doc_).ticksRaised() > again; }));
  clock.restart();
  EXPECT_TRUE(frame.close());
  CloseFrame();
  EXPECT_LT(clock.elapsed(), 1000);
}

// While a transfer holds the line, nothing that would add a frame runs, from
// the menu or the setup pane, and the window stays open.
TEST_F(MainFrameTest, NothingReachesTheLineWhileATransferHoldsIt) {
  CMainFrame& frame = OpenFrame(true);
  ASSERT_TRUE(frame.ConnectVirtualSensor("KRV02"));
  ASSERT_TRUE(PumpUntil([&] { return frame.setupPane()->sensorList()->topLevelItemCount() == 7; }));
  {
    TransferFlag::Scope hold(DocInternals::Transfer(*doc_));
    frame.UpdateCommandUI();
    for (DocCommand c : kConnectedOnly) EXPECT_FALSE(frame.action(c)->isEnabled()) << static_cast<int>(c);
    for (DocCommand c : kManufacturingOnly) EXPECT_FALSE(frame.action(c)->isEnabled()) << static_cast<int>(c);
    auto none = OnNextModal([](QWidget* w) { w->close(); });
    emit frame.setupPane()->commandRequested(DocCommand::kAddress);
    frame.action(DocCommand::kDisconnect)->trigger();
    Pump(100);
    EXPECT_FALSE(*none);
    EXPECT_TRUE(doc_->connected());
    EXPECT_FALSE(frame.close());
    EXPECT_TRUE(frame.isVisible());
  }
  frame.UpdateCommandUI();
  EXPECT_TRUE(frame.action(DocCommand::kDisconnect)->isEnabled());
  EXPECT_TRUE(frame.close());
}

TEST_F(MainFrameTest, LogKeepsEveryLineUntilCleared) {
  CMainFrame& frame = OpenFrame();
  for (int i = 0; i < 5000; ++i) frame.OnLogLine(i % 3, "line " + std::to_string(i));
  EXPECT_EQ(frame.log()->model().rowCount(), 5000);
  EXPECT_EQ(frame.log()->model().headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Command log");
  Pump(20);
  // The newest line is in view.
  QTreeView* list = frame.log()->list();
  const QRect last = list->visualRect(frame.log()->model().index(4999, 1));
  EXPECT_TRUE(list->viewport()->rect().intersects(last));
  frame.clearLogAction()->trigger();
  EXPECT_EQ(frame.log()->model().rowCount(), 0);
}

}  // namespace
}  // namespace uitest
