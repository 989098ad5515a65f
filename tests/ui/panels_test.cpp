// The sensor view's panels through their widgets against the virtual
// sensor of each model: which panel a connect shows, what the poll ticks
// send and show with the update switch off and on, the KRV02 chain's
// failure, the scan page's buttons and the error counters.

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "protocol/command_ids.h"
#include "tarkon/ui/command_log.h"
#include "tarkon/ui/connect_dialog.h"
#include "tarkon/ui/scan_buffer_dialog.h"
#include "tarkon/ui/sensor_panels.h"
#include "tarkon/ui/sensor_view.h"
#include "tarkon/ui/settings_dialogs.h"
#include "tarkon/ui/upload_dialog.h"
#include "ui_common/range_chart.h"
#include "ui_test_support.h"

namespace uitest {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

class PanelsTest : public TracedUiTest {};

TEST_F(PanelsTest, PanelOfEachModelAndTheIdlePanelAfterDisconnect) {
  const std::pair<const char*, const char*> cases[] = {{"KRV02", "CKRV02Dlg"},
                                                       {"Qmt Long", "CKRV02Dlg"},
                                                       {"KRV04", "CKRV04Dlg"},
                                                       {"Qmt Short", "CQmtShortDlg"},
                                                       {"KRV04 Board Flipper", "CKRV04BFDlg"}};
  CMainFrame& frame = OpenFrame();
  for (const auto& [model, panel] : cases) {
    SCOPED_TRACE(model);
    ASSERT_TRUE(frame.ConnectVirtualSensor(model));
    EXPECT_STREQ(frame.view()->currentPanel()->metaObject()->className(), panel);
    if (auto* krv02 = qobject_cast<CKRV02Dlg*>(frame.view()->currentPanel())) {
      ASSERT_EQ(krv02->tabs()->count(), 3);
      EXPECT_EQ(krv02->tabs()->tabText(0), "Diagnostic");
      EXPECT_EQ(krv02->tabs()->tabText(1), "Scan Buffer");
      EXPECT_EQ(krv02->tabs()->tabText(2), "Sensor errors");
    }
    frame.RunCommand(DocCommand::kDisconnect);
    EXPECT_EQ(frame.view()->currentPanel()->findChild<QLabel*>()->text(), "Not Connected");
  }
}

struct TickCase {
  const char* model;
  bool crc;
  int stateCommand;
  Pairs shown;  // with the live values of Freeze(8000)
  double range;  // the raw 8000 in display units
};
void PrintTo(const TickCase& c, std::ostream* os) { *os << c.model << (c.crc ? " CRC" : " checksum"); }

class PanelTicks : public PanelsTest, public ::testing::WithParamInterface<TickCase> {};

TEST_P(PanelTicks, SwitchOffSendsNothingSwitchOnFillsTheRows) {
  const TickCase& c = GetParam();
  CMainFrame& frame = ConnectTraced(c.model, c.crc);
  Freeze(8000);
  QCheckBox* box = nullptr;
  QTreeWidget* list = nullptr;
  ui_common::RangeChart* chart = nullptr;
  auto* krv02 = qobject_cast<CKRV02Dlg*>(frame.view()->currentPanel());
  if (krv02 != nullptr) {
    box = krv02->diagnostics()->updateBox();
    list = krv02->diagnostics()->list();
    chart = krv02->diagnostics()->chart();
    krv02->tabs()->setCurrentIndex(2);  // the diagnostics go on polling behind another tab
  } else {
    auto* panel = qobject_cast<CListPanel*>(frame.view()->currentPanel());
    ASSERT_NE(panel, nullptr);
    box = panel->updateBox();
    list = panel->list();
    chart = panel->chart();
  }
  EXPECT_FALSE(box->isChecked());
  Pump(700);  // two ticks or more
  EXPECT_EQ(trace_.Commands(), std::vector<int>{});
  // KRV02: nothing built; the others: the eight names with empty values.
  Pairs empty = c.shown;
  for (auto& row : empty) row.second.clear();
  EXPECT_EQ(Rows(list), krv02 != nullptr ? Pairs{} : empty);

  box->click();
  ASSERT_TRUE(PumpUntil([&] { return list->topLevelItemCount() > 0 && list->topLevelItem(0)->text(1) == "1"; }));
  EXPECT_EQ(Rows(list), c.shown);
  EXPECT_GE(Sent(c.stateCommand), 1u);
  ASSERT_GT(chart->points(), 0u);
  EXPECT_EQ(chart->latest(), c.range);

  // "Out of Range" in the list, a gap in the chart.
  Freeze(0x8000, true);
  const int rangeRow = static_cast<int>(c.shown.size()) - 1;
  ASSERT_TRUE(PumpUntil([&] { return list->topLevelItem(rangeRow)->text(1) == "Out of Range"; }));
  EXPECT_FALSE(chart->latest().has_value());
  if (krv02 != nullptr) {
    // The scanning row shows its state as text and as icon.
    QTreeWidgetItem* scanning = list->topLevelItem(5);
    EXPECT_EQ(scanning->text(1), "On");
    const QImage on = scanning->icon(1).pixmap(16, 16).toImage();
    Freeze(8000, false);
    ASSERT_TRUE(PumpUntil([&] { return scanning->text(1) == "Off"; }));
    const QImage off = scanning->icon(1).pixmap(16, 16).toImage();
    EXPECT_FALSE(on.isNull());
    EXPECT_NE(on, off);
  }
  box->click();
  Pump(300);
  trace_.Clear();
  Pump(600);
  EXPECT_EQ(trace_.Commands(), std::vector<int>{});
}

const Pairs kKRV02Shown = {{"Base pix.", "1"}, {"Sum pix.", "65535"}, {"Num pix.", "3"}, {"Sub pix.", "4"},
                           {"Scan count", "-25536"}, {"Scanning", "Off"}, {"Laser power", "200"}, {"Peak", "-2"},
                           {"", ""}, {"Range", "8.000 inch"}};
Pairs WithRange(Pairs rows, const char* range) {
  rows.back().second = range;
  return rows;
}
const Pairs kKRV04Shown = {{"Base pix.", "1"},     {"Sum pix.", "65535"}, {"Num pix.", "3"}, {"Sub pix.", "4"},
                           {"Laser power", "200"}, {"Peak", "65534"},     {"", ""},          {"Range", "8.000 inch"}};

INSTANTIATE_TEST_SUITE_P(Models, PanelTicks,
                         ::testing::Values(TickCase{"KRV02", false, cmd::GetKRV02State, kKRV02Shown, 8.0},
                                           TickCase{"Qmt Long", true, cmd::GetKRV02State,
                                                    WithRange(kKRV02Shown, "80.00 inch"), 80.0},
                                           TickCase{"KRV04", true, cmd::GetSensorState, kKRV04Shown, 8.0},
                                           TickCase{"Qmt Short", false, cmd::GetSensorState, kKRV04Shown, 8.0},
                                           TickCase{"KRV04 Board Flipper", true, cmd::GetSensorState, kKRV04Shown,
                                                    8.0}));

TEST_F(PanelsTest, FailedLaserPowerLeavesTheEarlierValuesAndSkipsPeak) {
  CMainFrame& frame = ConnectTraced("KRV02");
  Freeze(8000);
  auto* panel = qobject_cast<CKRV02Dlg*>(frame.view()->currentPanel());
  ASSERT_NE(panel, nullptr);
  QTreeWidget* list = panel->diagnostics()->list();
  panel->diagnostics()->updateBox()->click();
  ASSERT_TRUE(PumpUntil([&] { return Rows(list) == kKRV02Shown; }));
  const int logRows = frame.log()->model().rowCount();

  // Between two ticks: the next state reply comes, the laser power's not.
  sensor_->Mutate([](sim::SensorState& s) {
    s.live.basePix = 999;
    s.faults.rule(sim::FaultKind::kDrop).atReplies = {s.activity.repliesSent + 2};
  });
  trace_.Clear();
  ASSERT_TRUE(PumpUntil([&] { return frame.log()->model().rowCount() > logRows; }));
  EXPECT_TRUE(frame.log()->model().textAt(logRows).startsWith("Command GetLaserPower failed."));
  EXPECT_EQ(Rows(list), kKRV02Shown);
  EXPECT_EQ(Commands({cmd::GetKRV02State, cmd::GetLaserPower}), (std::vector<int>{cmd::GetKRV02State, cmd::GetLaserPower}));
  // The next tick shows the new values.
  ASSERT_TRUE(PumpUntil([&] { return list->topLevelItem(0)->text(1) == "999"; }));
}

// A chart belongs to one sensor. Two KRV04s on one bus, at addresses 20
// and 3: connected to the second after the first, the chart starts anew
// (neither its line nor its spoken summary holds a range of the first);
// the same sensor connected again goes on after a gap, never a line
// across the time nothing was polled.
TEST_F(PanelsTest, ChartStartsAnewForAnotherSensorAndBreaksWhereNothingWasPolled) {
  sim::SensorConfig first;
  first.model = "KRV04";
  first.address = 20;
  first.serial = "K4000020";
  sim::SensorConfig second = first;
  second.address = 3;
  second.serial = "K4000003";
  sensor_ = std::make_unique<sim::VirtualSensor>(first);
  const std::shared_ptr<sim::SensorNode> other = sensor_->Line().Attach(second);
  ASSERT_TRUE(sensor_->Start()) << sensor_->LastError();
  const auto hold = [](uint16_t range) {
    return [range](sim::SensorState& s) {
      s.live.animate = false;
      s.live.range = range;
    };
  };
  sensor_->Mutate(hold(6472));
  other->Mutate(hold(1538));

  CMainFrame& frame = OpenFrame();
  const auto connectAt = [&](const char* address) {
    auto came = OnNextModal([&](QWidget* w) {
      auto* dialog = qobject_cast<CConnectDialog*>(w);
      ASSERT_NE(dialog, nullptr);
      dialog->portBox()->setCurrentText(QString::fromStdString(sensor_->SlavePath()));
      dialog->addressField()->setText(address);
      Button(dialog, "Ok")->click();
    });
    frame.action(DocCommand::kConnect)->trigger();
    ASSERT_TRUE(*came);
    ASSERT_TRUE(doc_->connected());
  };
  CListPanel* panel = nullptr;
  // Waits for `count` more polled ranges and draws them.
  const auto poll = [&](int count) {
    const int target = panel->polls() + count;
    ASSERT_TRUE(PumpUntil([&] { return panel->polls() >= target; }, 5000));
    panel->chart()->Draw();
  };

  ASSERT_NO_FATAL_FAILURE(connectAt("20"));
  panel = qobject_cast<CListPanel*>(frame.view()->currentPanel());
  ASSERT_NE(panel, nullptr);
  ui_common::RangeChart* chart = panel->chart();
  panel->updateBox()->setChecked(true);
  ASSERT_NO_FATAL_FAILURE(poll(3));
  EXPECT_DOUBLE_EQ(chart->drawnSpan().y(), 6.472);
  frame.RunCommand(DocCommand::kDisconnect);

  ASSERT_NO_FATAL_FAILURE(connectAt("3"));
  ASSERT_EQ(frame.view()->currentPanel(), panel);
  ASSERT_NO_FATAL_FAILURE(poll(3));
  EXPECT_DOUBLE_EQ(chart->drawnSpan().x(), 1.538);
  EXPECT_DOUBLE_EQ(chart->drawnSpan().y(), 1.538) << "a range of the sensor at address 20";
  EXPECT_EQ(chart->drawnLines(), 1);
  const QString said = chart->accessibleDescription();
  EXPECT_TRUE(said.endsWith("lowest 1.538 inch, highest 1.538 inch in the last 60 seconds")) << said.toStdString();

  // The same sensor again: its trace goes on, after a gap.
  const int before = chart->drawnPoints();
  frame.RunCommand(DocCommand::kDisconnect);
  ASSERT_NO_FATAL_FAILURE(connectAt("3"));
  ASSERT_NO_FATAL_FAILURE(poll(3));
  EXPECT_GT(chart->drawnPoints(), before);
  EXPECT_EQ(chart->drawnLines(), 2) << "a line drawn across the time nothing was polled";
}

TEST_F(PanelsTest, StartStopScanAndTheRangesTheScanPageOffers) {
  CMainFrame& frame = ConnectTraced("KRV02", true);
  auto* panel = qobject_cast<CKRV02Dlg*>(frame.view()->currentPanel());
  ASSERT_NE(panel, nullptr);
  CKRV02ScanDlg* scan = panel->scan();
  panel->tabs()->setCurrentWidget(scan);
  EXPECT_EQ(scan->startButton()->text(), "Start scan");
  EXPECT_EQ(scan->statusBox()->text(), "");

  scan->startButton()->click();
  EXPECT_EQ(scan->startButton()->text(), "Stop Scan");
  EXPECT_EQ(scan->statusBox()->text(), "Scanning...");
  EXPECT_FALSE(scan->filterButton()->isEnabled());
  EXPECT_FALSE(scan->readButton()->isEnabled());
  EXPECT_TRUE(BlockUntil([&] { return sensor_->Snapshot().scanning; }));
  scan->startButton()->click();
  EXPECT_EQ(scan->startButton()->text(), "Start Scan");
  EXPECT_EQ(scan->statusBox()->text(), "Not scanning");
  EXPECT_TRUE(scan->filterButton()->isEnabled());
  EXPECT_TRUE(scan->readButton()->isEnabled());
  EXPECT_EQ(Commands({cmd::StartScan, cmd::StopScan}), (std::vector<int>{cmd::StartScan, cmd::StopScan}));

  // "Filter": the filter, then the statistics it gives.
  Commands({cmd::StartScan, cmd::StopScan});
  trace_.Clear();
  scan->filterButton()->click();
  EXPECT_EQ(Commands({cmd::ApplyScanFilter, cmd::HLAScanResult}),
            (std::vector<int>{cmd::ApplyScanFilter, cmd::HLAScanResult}));
  ASSERT_EQ(scan->list()->topLevelItemCount(), 6);
  EXPECT_EQ(scan->list()->topLevelItem(1)->text(0), " High scan number");
  EXPECT_NE(scan->list()->topLevelItem(2)->text(1), "");

  // The scan count of the last state reply, at most 8192.
  panel->diagnostics()->updateBox()->click();
  for (const auto& [count, offered] : std::vector<std::pair<uint32_t, QString>>{{9000, "8192"}, {100, "100"}}) {
    sensor_->Mutate([count = count](sim::SensorState& s) {
      s.scanning = false;
      s.scanCount = count;
    });
    ASSERT_TRUE(PumpUntil([&] {
      return panel->diagnostics()->list()->topLevelItemCount() == 10 &&
             panel->diagnostics()->list()->topLevelItem(4)->text(1) == QString::number(count);
    }));
    QString shown;
    auto came = OnNextModal([&shown](QWidget* w) {
      auto* dialog = qobject_cast<CReadBufferDialog*>(w);
      ASSERT_NE(dialog, nullptr);
      shown = dialog->availableField()->text();
      EXPECT_EQ(dialog->toReadField()->text(), shown);
      dialog->closeButton()->click();
    });
    scan->readButton()->click();
    EXPECT_TRUE(*came);
    EXPECT_EQ(shown, offered);
  }
}

TEST_F(PanelsTest, GetErrorsSendsOnEveryClickButTheFirstAfterARebuild) {
  CMainFrame& frame = ConnectTraced("KRV02");
  sensor_->Mutate([](sim::SensorState& s) { s.errors.powerUps = 0xFFFF; });
  auto* panel = qobject_cast<CKRV02Dlg*>(frame.view()->currentPanel());
  ASSERT_NE(panel, nullptr);
  CKRV02ErrorDlg* errors = panel->errors();
  ASSERT_EQ(errors->list()->topLevelItemCount(), 6);  // built with the page
  errors->getErrorsButton()->click();
  EXPECT_EQ(Sent(cmd::GetErrorState), 1u);
  EXPECT_EQ(Rows(errors->list()), (Pairs{{"PowerUp count", "-1"},
                                         {"Callibration status", "Callibration OK"},
                                         {"Reset count", "3"},
                                         {"Illegal opertions", "0"},
                                         {"Command errors", "0"},
                                         {"Checksum/CRC errors", "0"}}));
  frame.RunCommand(DocCommand::kDisconnect);
  errors->getErrorsButton()->click();
  EXPECT_EQ(errors->list()->topLevelItemCount(), 0);

  ASSERT_TRUE(ConnectTyped(sensor_->SlavePath()));
  trace_.Clear();
  errors->getErrorsButton()->click();
  EXPECT_EQ(errors->list()->topLevelItemCount(), 6);
  EXPECT_EQ(errors->list()->topLevelItem(0)->text(1), "");
  EXPECT_EQ(Sent(cmd::GetErrorState), 0u);
  errors->getErrorsButton()->click();
  EXPECT_EQ(Sent(cmd::GetErrorState), 1u);
  EXPECT_EQ(errors->list()->topLevelItem(0)->text(1), "-1");
}

// Every control a user can act on in the panels and the new dialogs has a
// name a screen reader announces.
TEST_F(PanelsTest, AccessibleNamesOfPanelsAndDialogs) {
  CMainFrame& frame = OpenFrame(true);
  auto expectNamed = [](QWidget* window) {
    window->show();
    int checked = 0;
    for (QWidget* w : window->findChildren<QWidget*>()) {
      const bool actionable = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                              qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractItemView*>(w);
      if (!actionable || !w->isVisibleTo(window) || qobject_cast<QLineEdit*>(w->parentWidget()) ||
          qobject_cast<QComboBox*>(w->parentWidget()) || qobject_cast<QAbstractItemView*>(w->parentWidget())) {
        continue;
      }
      QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
      ASSERT_NE(a, nullptr);
      ++checked;
      EXPECT_FALSE(a->text(QAccessible::Name).isEmpty())
          << window->metaObject()->className() << ": " << w->metaObject()->className() << " "
          << w->objectName().toStdString();
    }
    EXPECT_GE(checked, 2) << window->metaObject()->className();
  };
  for (const char* model : {"KRV02", "KRV04", "Qmt Short", "KRV04 Board Flipper"}) {
    SCOPED_TRACE(model);
    ASSERT_TRUE(frame.ConnectVirtualSensor(model));
    expectNamed(frame.view()->currentPanel());
    std::unique_ptr<CCustomSettingsDlg> settings(MakeSettingsDialog(*doc_, &frame));
    ASSERT_NE(settings, nullptr);
    expectNamed(settings.get());
    frame.RunCommand(DocCommand::kDisconnect);
  }
  ASSERT_TRUE(frame.ConnectVirtualSensor("KRV02"));
  CUploadDlg upload(*doc_, &frame);
  expectNamed(&upload);
  CReadBufferDialog scan(*doc_, 10, &frame);
  expectNamed(&scan);
}

}  // namespace
}  // namespace uitest
