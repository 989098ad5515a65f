// Pressing a "Set" button on what was read writes back exactly what was
// read: for every model, in each unit of its range modes and in both check
// modes, a sensor holding values that need every decimal the fields show
// keeps every setting when every writing button of its settings dialog is
// pressed with the fields untouched. The one change allowed is the
// averaging period rounded down to the firmware's time step, and only by
// the averaging button. A new model or unit is covered by adding a row; a
// new button is found in the dialog and pressed without one.

#include <QMessageBox>
#include <QPushButton>
#include <sstream>

#include "protocol/command_ids.h"
#include "tarkon/ui/settings_dialogs.h"
#include "ui_test_support.h"

namespace uitest {
namespace {

// Buttons that write no field: re-read, close, and the board flipper's
// laser switches, which are actions rather than settings read back.
const char* const kNotWriting[] = {"Refresh", "Close", "Laser On", "Laser Off"};

// Values that need every decimal their field shows, and record bytes that
// no field shows (a write that zeroes them is caught as well).
void EveryDecimal(sim::Settings& s) {
  s.minLaserPower = 12;
  s.maxLaserPower = 234;
  s.threshold = 123;
  s.laserOn = false;
  s.scanInterval = 23;
  s.dropout = 7;
  s.smooth = 9;
  s.order = 7;
  s.rangeOffset = 1234;
  s.cosine = 9999;
  s.multiplier = 1234;
  s.offsetWord3 = 0xBEEF;
  s.analog.minVolts = 1234;
  s.analog.maxVolts = 9876;
  s.analog.offsetVolts = 4321;
  s.analog.outOfRangeVolts = 5678;
  s.analog.extra = {1, 2, 3, 4, 5, 6, 7, 8};
  s.configWord0 = 3;
  s.configWord1 = 0x1234;
  s.configBytes = {0xA5, 0x5A};
  s.averagingHigh = 1;  // 74565 counts: 74.565 ms with revision C, 745.65 ms otherwise
  s.averagingLow = 9029;
  s.holdLastRange = 1;
  s.holdScans = 12345;
  s.wane.speed = 777;
  s.wane.reserved = {9, 8, 7, 6};
  s.wane.pulse = 33;
  s.boardTimeout = 1234;
}

uint16_t Raw(int value) { return static_cast<uint16_t>(value); }

struct WriteBackRow {
  const char* model;
  char revision;  // the KRV02 family's averaging step: 'C' 1500 counts, else 60
  uint8_t rangeMode;
  // Ranges in raw units of that mode, each needing every decimal shown.
  int minRange, maxRange, waneHeight, waneWidth;
};
void PrintTo(const WriteBackRow& r, std::ostream* os) {
  *os << r.model << " mode " << int(r.rangeMode) << " revision " << r.revision;
}

const WriteBackRow kRows[] = {
    {"KRV02", 'C', 0, 1234, 31999, 0, 0},                      // inch, three decimals
    {"KRV02", 'B', 10, 1234, 31999, 0, 0},                     // mm, two decimals
    {"KRV02", 'C', 1, Raw(-31999), Raw(-1), 0, 0},             // inch counting down
    {"Qmt Long", 'B', 0, 4321, 29999, 0, 0},                   // inch
    {"Qmt Long", 'C', 2, 12345, 31999, 0, 0},                  // mm, one decimal
    {"KRV04", 'C', 0, 1234, 7999, 0, 0},                       // inch
    {"KRV04", 'C', 1, 1234, 19999, 0, 0},                      // mm
    {"Qmt Short", 'C', 0, 4321, 29999, 0, 0},                  // its one unit, inch
    {"KRV04 Board Flipper", 'C', 0, 1234, 7999, 1234, 4321},   // inch
    {"KRV04 Board Flipper", 'C', 1, 1234, 19999, 1234, 4321},  // mm
};

// Every setting by name, one a line, so a failure names what changed.
std::string Describe(const sim::Settings& s) {
  std::ostringstream o;
  auto bytes = [&o](const auto& a) {
    for (unsigned b : a) o << b << ' ';
    o << '\n';
  };
  o << "minLaserPower " << +s.minLaserPower << "\nmaxLaserPower " << +s.maxLaserPower << "\nthreshold "
    << +s.threshold << "\nrangeMode " << +s.rangeMode << "\nlaserOn " << s.laserOn << "\nsetupWord10 "
    << s.setupWord10 << "\nsetupWord22 " << s.setupWord22 << "\nsetupWord24 " << s.setupWord24
    << "\nscanInterval " << s.scanInterval << "\ndropout " << s.dropout << "\nsmooth " << s.smooth << "\norder "
    << s.order << "\nrangeOffset " << s.rangeOffset << "\ncosine " << s.cosine << "\nmultiplier " << s.multiplier
    << "\noffsetWord3 " << s.offsetWord3 << "\nanalog.minVolts " << s.analog.minVolts << "\nanalog.minRange "
    << s.analog.minRange << "\nanalog.maxVolts " << s.analog.maxVolts << "\nanalog.maxRange " << s.analog.maxRange
    << "\nanalog.offsetVolts " << s.analog.offsetVolts << "\nanalog.outOfRangeVolts " << s.analog.outOfRangeVolts
    << "\nanalog.word20 " << s.analog.word20 << "\nconfigWord0 " << s.configWord0 << "\nconfigWord1 "
    << s.configWord1 << "\naveraging " << s.averagingHigh << ':' << s.averagingLow << "\nholdLastRange "
    << +s.holdLastRange << "\nholdScans " << s.holdScans << "\nwane.height " << s.wane.height << "\nwane.width "
    << s.wane.width << "\nwane.speed " << s.wane.speed << "\nwane.pulse " << s.wane.pulse << "\nboardTimeout "
    << s.boardTimeout << "\nsetupHeader ";
  bytes(s.setupHeader);
  o << "analog.extra ";
  bytes(s.analog.extra);
  o << "configBytes ";
  bytes(s.configBytes);
  o << "wane.reserved ";
  bytes(s.wane.reserved);
  return o.str();
}

// The averaging count a write of the shown period may leave: rounded down
// to the firmware's step.
void RoundAveragingDown(sim::Settings& s, char revision) {
  const uint32_t step = revision == 'C' ? 1500 : 60;
  const uint32_t count = (uint32_t{s.averagingHigh} << 16 | s.averagingLow) / step * step;
  s.averagingHigh = static_cast<uint16_t>(count >> 16);
  s.averagingLow = static_cast<uint16_t>(count & 0xFFFF);
}

class SettingsWriteBack : public TracedUiTest,
                          public ::testing::WithParamInterface<std::tuple<WriteBackRow, bool>> {};

TEST_P(SettingsWriteBack, EveryButtonOnWhatWasReadChangesNothing) {
  const auto& [row, crc] = GetParam();
  sim::SensorConfig config;
  config.model = row.model;
  config.revision = row.revision;
  sensor_ = std::make_unique<sim::VirtualSensor>(config, trace_.Line());
  sensor_->Mutate([row = row](sim::SensorState& s) {
    EveryDecimal(s.settings);
    s.settings.rangeMode = row.rangeMode;
    s.settings.analog.minRange = static_cast<uint16_t>(row.minRange);
    s.settings.analog.maxRange = static_cast<uint16_t>(row.maxRange);
    s.settings.wane.height = static_cast<uint16_t>(row.waneHeight);
    s.settings.wane.width = static_cast<uint16_t>(row.waneWidth);
  });
  ASSERT_TRUE(sensor_->Start()) << sensor_->LastError();
  CMainFrame& frame = OpenFrame();
  ASSERT_TRUE(ConnectTyped(sensor_->SlavePath()));
  if (crc) frame.RunCommand(DocCommand::kCrc);
  sim::Settings expected = sensor_->Snapshot().settings;

  // Any message box is a refusal of what was read: noted and closed.
  std::vector<std::string> refusals;
  QTimer boxes;
  QObject::connect(&boxes, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      refusals.push_back(box->text().toStdString());
      box->done(QMessageBox::Ok);
    }
  });
  boxes.start(5);

  int pressed = 0;
  auto came = OnNextModalOf<CCustomSettingsDlg>([&, row = row](CCustomSettingsDlg* dialog) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
      const std::string caption = button->text().toStdString();
      if (std::find(std::begin(kNotWriting), std::end(kNotWriting), caption) != std::end(kNotWriting)) continue;
      refusals.clear();
      trace_.Clear();
      button->click();
      ++pressed;
      EXPECT_EQ(refusals, std::vector<std::string>{}) << caption;
      const std::vector<int> sent = trace_.Commands();
      EXPECT_TRUE(!sent.empty() && sent.front() != cmd::GetSensorSetup)
          << caption << " wrote nothing";
      if (caption == "Averaging Period") RoundAveragingDown(expected, row.revision);
      EXPECT_EQ(Describe(sensor_->Snapshot().settings), Describe(expected)) << caption;
    }
    dialog->closeButton()->click();
  });
  frame.action(DocCommand::kSensorSettings)->trigger();
  EXPECT_TRUE(*came);
  EXPECT_GT(pressed, 0);
}

INSTANTIATE_TEST_SUITE_P(EveryModelAndUnit, SettingsWriteBack,
                         ::testing::Combine(::testing::ValuesIn(kRows), ::testing::Bool()));

}  // namespace
}  // namespace uitest
