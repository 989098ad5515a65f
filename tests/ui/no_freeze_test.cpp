// The window while an exchange waits for a sensor that does not answer:
// the event loop keeps turning, presses made meanwhile (mouse, keyboard
// shortcut, accessibility action) are refused and nothing of them reaches
// the sensor afterwards, and a close asked for meanwhile returns at once and
// closes the window once the exchange has ended.

#include <QAccessible>
#include <QAction>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest/QTest>

#include "protocol/command_ids.h"
#include "tarkon/ui/command_log.h"
#include "tarkon/ui/sensor_panels.h"
#include "tarkon/ui/sensor_view.h"
#include "ui_test_support.h"

namespace uitest {
namespace {

class NoFreezeTest : public TracedUiTest {
 protected:
  // The sensor's next reply is never sent: the exchange waits out its budget.
  void DropNextReply() {
    sensor_->Mutate([](sim::SensorState& s) {
      s.faults.rule(sim::FaultKind::kDrop).atReplies = {s.activity.repliesSent + 1};
    });
  }
};

TEST_F(NoFreezeTest, PressesWhileAnExchangeWaitsAreRefusedAndNeverRunLater) {
  CMainFrame& frame = ConnectTraced("KRV02");
  auto* panel = qobject_cast<CKRV02Dlg*>(frame.view()->currentPanel());
  ASSERT_NE(panel, nullptr);
  panel->tabs()->setCurrentWidget(panel->scan());
  QPushButton* start = panel->scan()->startButton();
  Pump(50);
  trace_.Clear();
  DropNextReply();

  // A 10 ms timer counts its turns while the re-read waits.
  int turns = 0;
  QTimer beat;
  beat.setInterval(10);
  QObject::connect(&beat, &QTimer::timeout, [&] { ++turns; });
  bool busy = false;
  bool greyed = false;
  QTimer::singleShot(400, &frame, [&] {
    busy = doc_->LineBusy();
    greyed = !frame.action(DocCommand::kDisconnect)->isEnabled();
    QTest::mouseClick(start, Qt::LeftButton);                          // mouse
    frame.action(DocCommand::kSetDefaults)->trigger();                 // menu, toolbar, shortcut
    frame.RunCommand(DocCommand::kRereadSettings);                     // setup pane's commands
    QAccessibleInterface* button = QAccessible::queryAccessibleInterface(start);
    button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());  // screen reader
  });
  beat.start();
  QElapsedTimer clock;
  clock.start();
  frame.RunCommand(DocCommand::kRereadSettings);
  const qint64 waited = clock.elapsed();
  beat.stop();

  EXPECT_GE(waited, 1000);  // the dropped reply's budget was waited out
  EXPECT_GT(turns, 20);     // ... with the loop turning meanwhile
  EXPECT_TRUE(busy);
  EXPECT_TRUE(greyed);
  EXPECT_TRUE(frame.action(DocCommand::kDisconnect)->isEnabled());
  Pump(600);
  EXPECT_EQ(Sent(cmd::StartScan), 0u);
  EXPECT_EQ(Sent(cmd::SetDefaults), 0u);
  EXPECT_EQ(start->text(), "Start scan");
  // Only the re-read reached the sensor; with the line free again, the
  // same press now goes out.
  EXPECT_EQ(trace_.Commands(), (std::vector<int>{cmd::GetSensorSetup}));
  trace_.Clear();
  start->click();
  EXPECT_EQ(Commands({cmd::StartScan}), (std::vector<int>{cmd::StartScan}));
}

TEST_F(NoFreezeTest, CloseWhileAnExchangeWaitsReturnsAtOnceAndClosesAfterIt) {
  CMainFrame& frame = ConnectTraced("KRV02");
  DropNextReply();
  qint64 closeTook = -1;
  QTimer::singleShot(300, &frame, [&] {
    QElapsedTimer clock;
    clock.start();
    frame.close();
    closeTook = clock.elapsed();
  });
  frame.RunCommand(DocCommand::kRereadSettings);
  ASSERT_GE(closeTook, 0);
  // Far below the 1250 ms the exchange takes: the close did not wait for it.
  EXPECT_LT(closeTook, 500);
  ASSERT_TRUE(PumpUntil([&] { return !frame.isVisible(); }, 2000));
  const LogModel& log = frame.log()->model();
  EXPECT_EQ(log.textAt(log.rowCount() - 1), "Close");
}

}  // namespace
}  // namespace uitest
