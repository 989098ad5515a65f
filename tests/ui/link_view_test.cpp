// The link in the window: status text and title while connected, the bar
// with its reason after an unplug, Reconnect and Dismiss, and the automatic
// reconnect when the line comes back under the same name.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "tarkon/ui/command_log.h"
#include "tarkon/ui/connect_dialog.h"
#include "tarkon/ui/link_view.h"
#include "tarkon/ui/sensor_panels.h"
#include "tarkon/ui/sensor_view.h"
#include "ui_test_support.h"

namespace uitest {
namespace {

class LinkViewTest : public UiTest {
 protected:
  CMainFrame& ConnectLinked(bool autoReconnect = false) {
    sim::SensorConfig config;
    config.model = "KRV02";
    sim::LineConfig line;
    line.linkPath = Link();
    sensor_ = std::make_unique<sim::VirtualSensor>(config, line);
    EXPECT_TRUE(sensor_->Start()) << sensor_->LastError();
    CMainFrame& frame = OpenFrame();
    auto came = OnNextModal([this, autoReconnect](QWidget* w) {
      auto* dialog = qobject_cast<CConnectDialog*>(w);
      dialog->portBox()->setCurrentText(QString::fromStdString(Link()));
      dialog->autoReconnectBox()->setChecked(autoReconnect);
      Button(dialog, "Ok")->click();
    });
    frame.action(DocCommand::kConnect)->trigger();
    EXPECT_TRUE(*came);
    EXPECT_TRUE(doc_->connected());
    // The panel polls once its diagnostics are switched on.
    qobject_cast<CKRV02Dlg*>(frame.view()->currentWidget())->diagnostics()->updateBox()->setChecked(true);
    return frame;
  }
  std::string Link() const { return dir_.File("sensor"); }
  QString Status() const { return frame_->linkView()->statusLabel()->text(); }
  bool StatusHas(const char* text) const { return Status().contains(QString::fromUtf8(text)); }
  CLinkBar* Bar() const { return frame_->linkView()->bar(); }
  void UnplugAndWait() {
    ASSERT_TRUE(sensor_->Unplug());
    ASSERT_TRUE(PumpUntil([&] { return !doc_->connected(); }, 5000));
    Pump(50);
  }
};

TEST_F(LinkViewTest, StatusBarTitleAndTheBarAfterAnUnplugThenReconnect) {
  CMainFrame& frame = ConnectLinked();
  const QString sensor = QStringLiteral("KRV02 SN K2073064");
  EXPECT_EQ(frame.windowTitle(), QString::fromUtf8("Tarkon \xE2\x80\x94 ") + sensor + " on " + QString::fromStdString(Link()));
  EXPECT_TRUE(Status().startsWith(QString::fromStdString(Link()))) << Status().toStdString();
  for (const char* part : {"57600 bit/s", "address 1", "Checksum", "KRV02 SN K2073064"})
    EXPECT_TRUE(StatusHas(part)) << part << " in " << Status().toStdString();
  ASSERT_TRUE(PumpUntil([&] { return StatusHas("polling on") && !StatusHas("replies 0 good"); }, 4000))
      << Status().toStdString();
  EXPECT_EQ(frame.linkView()->statusLabel()->accessibleName(), QStringLiteral("Link: ") + Status());
  EXPECT_FALSE(Bar()->isVisible());

  LogModel& log = frame.log()->model();
  const int before = log.rowCount();
  UnplugAndWait();
  ASSERT_TRUE(Bar()->isVisible());
  const QString reason = Bar()->textLabel()->text();
  EXPECT_TRUE(reason.startsWith("The connection to the " + sensor + " was lost: the port " +
                                QString::fromStdString(Link()) + " went away"))
      << reason.toStdString();
  EXPECT_EQ(Bar()->textLabel()->accessibleName(), reason);
  EXPECT_TRUE(Bar()->reconnectButton()->isVisible());
  EXPECT_TRUE(Bar()->dismissButton()->isVisible());
  EXPECT_EQ(frame.windowTitle(), QStringLiteral("Tarkon - Single Point Setup "));
  EXPECT_EQ(Status(), QStringLiteral("Not connected"));
  // The log keeps the failed command's own words, its plain explanation
  // next, then the line that says the port went away.
  ASSERT_GE(log.rowCount(), before + 3);
  EXPECT_EQ(log.kindAt(before), kLogError);
  EXPECT_TRUE(log.textAt(before).startsWith("Command ")) << log.textAt(before).toStdString();
  EXPECT_EQ(log.kindAt(before + 1), kLogNotice);
  EXPECT_TRUE(log.textAt(before + 1).startsWith("In plain words: ")) << log.textAt(before + 1).toStdString();
  EXPECT_TRUE(log.textAt(before + 2).startsWith("The port ")) << log.textAt(before + 2).toStdString();

  // Pressed before the adapter is back: the bar says so, nothing is tried.
  Bar()->reconnectButton()->click();
  EXPECT_TRUE(Bar()->textLabel()->text().contains("is not back yet"));
  EXPECT_FALSE(doc_->connected());

  ASSERT_TRUE(sensor_->Replug()) << sensor_->LastError();
  Bar()->reconnectButton()->click();
  ASSERT_TRUE(doc_->connected());
  Pump(50);
  EXPECT_FALSE(Bar()->isVisible());
  EXPECT_EQ(log.textAt(log.rowCount() - 1),
            "Reconnected to the " + sensor + " on " + QString::fromStdString(Link()) + ".");
  EXPECT_EQ(frame.view()->currentWidget(), frame.view()->panel(LivePanel::kKRV02));
  // Polling resumes with the panel's switch as it was.
  ASSERT_TRUE(PumpUntil([&] { return StatusHas("polling on") && !StatusHas("replies 0 good"); }, 4000))
      << Status().toStdString();

  // Dismiss hides the bar; the lost link can still be reconnected.
  UnplugAndWait();
  ASSERT_TRUE(Bar()->isVisible());
  Bar()->dismissButton()->click();
  EXPECT_FALSE(Bar()->isVisible());
  EXPECT_TRUE(doc_->connection().CanReconnect());
}

// With nothing polled ("Update Diagnostics" off, no command), a line whose
// device hangs up shows the lost link at once, not at the next command:
// the bar with "Reconnect", found without a command on the line.
TEST_F(LinkViewTest, AnIdleLineThatHangsUpShowsTheBarAtOnce) {
  CMainFrame& frame = OpenFrame();
  ASSERT_TRUE(frame.ConnectVirtualSensor("KRV04"));
  auto* panel = qobject_cast<CListPanel*>(frame.view()->currentPanel());
  ASSERT_NE(panel, nullptr);
  ASSERT_FALSE(panel->updateBox()->isChecked());
  Pump(300);  // ticks pass on the idle line
  LogModel& log = frame.log()->model();
  const int before = log.rowCount();

  ASSERT_TRUE(frame.virtualSensor().Unplug());
  ASSERT_TRUE(PumpUntil([&] { return Bar()->isVisible(); }, 5000)) << "the hang-up went unnoticed";
  EXPECT_FALSE(doc_->connected());
  EXPECT_TRUE(Bar()->textLabel()->text().contains("went away")) << Bar()->textLabel()->text().toStdString();
  EXPECT_TRUE(Bar()->reconnectButton()->isVisible());
  EXPECT_EQ(panel->polls(), 0);
  ASSERT_GT(log.rowCount(), before);
  EXPECT_TRUE(log.textAt(before).startsWith("The port ")) << "no command found it: " << log.textAt(before).toStdString();
  EXPECT_EQ(Status(), QStringLiteral("Not connected"));
}

TEST_F(LinkViewTest, TickedReconnectsAutomaticallyWhenTheLineComesBackUnderItsName) {
  CMainFrame& frame = ConnectLinked(true);
  EXPECT_TRUE(doc_->options().autoReconnect());
  EXPECT_TRUE(CLinkView::StoredAutoReconnect());  // kept per user
  UnplugAndWait();
  EXPECT_TRUE(Bar()->textLabel()->text().contains("Tarkon reconnects when the port is back."));
  ASSERT_TRUE(sensor_->Replug()) << sensor_->LastError();
  // What the port monitor calls when a port appears.
  EXPECT_EQ(doc_->connection().PortAppeared(std::vector<std::string>{"/dev/ttyUSB9"}), PortBackAction::kNotOurs);
  EXPECT_FALSE(doc_->connected());
  EXPECT_EQ(doc_->connection().PortAppeared(Link()), PortBackAction::kReconnected);
  EXPECT_TRUE(doc_->connected());
  Pump(50);
  EXPECT_FALSE(Bar()->isVisible());
  EXPECT_TRUE(frame.windowTitle().contains("KRV02 SN K2073064"));
  ASSERT_TRUE(PumpUntil([&] { return StatusHas("polling on") && !StatusHas("replies 0 good"); }, 4000))
      << Status().toStdString();

  // Unticked in the next connect dialog: a port that comes back is offered.
  frame.RunCommand(DocCommand::kDisconnect);
  CloseFrame();
  sensor_.reset();
  ConnectLinked(false);
  EXPECT_FALSE(CLinkView::StoredAutoReconnect());
  UnplugAndWait();
  ASSERT_TRUE(sensor_->Replug());
  EXPECT_EQ(doc_->connection().PortAppeared(Link()), PortBackAction::kOffered);
  Pump(20);
  EXPECT_TRUE(Bar()->textLabel()->text().contains("is back"));
  EXPECT_TRUE(Bar()->reconnectButton()->isEnabled());
}

}  // namespace
}  // namespace uitest
