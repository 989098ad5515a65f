// Pressing a button on what was read writes back exactly what was read:
// every button of the Settings tab that writes a setting, pressed without
// touching a field, through the real window (offscreen) against a virtual
// board flipper whose settings need every decimal the fields can show; each
// press is recorded as verified with the value before, and the status line
// says what the sensor holds.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <array>
#include <cstdio>
#include <fstream>
#include <memory>

#include "history/change_history.h"
#include "ostrel/ui/about_box.h"
#include "ostrel/ui/main_window.h"
#include "protocol/command_ids.h"
#include "sim/virtual_sensor.h"
#include "support/sim_trace.h"
#include "support/temp_dir.h"

namespace {

struct ModeCase {
  const char* name;
  int32_t checkMode;  // 0 checksum, 1 CRC
  uint8_t rangeMode;  // 0 inch, 1 millimetre
  uint16_t height;    // raw: the last decimal the field shows is not 0
  uint16_t width;
};

// All 16 bytes of an identity field, NULs and what follows them included.
std::string Bytes(const std::array<uint8_t, 16>& field) {
  std::string text;
  char pair[4];
  for (const uint8_t b : field) {
    std::snprintf(pair, sizeof pair, "%02X", b);
    text += pair;
  }
  return text;
}

// Every setting the sensor keeps that a Settings button may write, as one
// line so that a failure shows what moved.
std::string Stored(const sim::SensorState& s) {
  const sim::Settings& g = s.settings;
  char text[512];
  std::snprintf(text, sizeof text,
                "address %u check %d baud %d mode %u minLP %u maxLP %u threshold %u wane height %u width %u "
                "speed %u reserved %02X%02X%02X%02X pulse %u timeout %u serial %s model %s",
                s.address, s.checkMode, s.baudRate, g.rangeMode, g.minLaserPower, g.maxLaserPower, g.threshold,
                g.wane.height, g.wane.width, g.wane.speed, g.wane.reserved[0], g.wane.reserved[1],
                g.wane.reserved[2], g.wane.reserved[3], g.wane.pulse, g.boardTimeout,
                Bytes(s.serialNumber).c_str(), Bytes(s.modelName).c_str());
  return text;
}

class OstrelRoundTrip : public ::testing::TestWithParam<ModeCase> {
 protected:
  static std::vector<history::Entry> History() {
    const history::ReadResult read = history::Read(history::DefaultPath());
    EXPECT_TRUE(read.ok) << read.error;
    return read.entries;
  }

  // Closes any box that pops up (none should: nothing was typed) and
  // remembers its text.
  void WatchForBoxes() {
    boxWatch_.setInterval(20);
    QObject::connect(&boxWatch_, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        boxes_ += box->text().toStdString() + "\n";
        box->reject();
      }
    });
    boxWatch_.start();
  }

  // The Shift double-click on the about box, then the password.
  void EnterFactoryMode() {
    QTimer::singleShot(50, [this] {
      ostrel::AboutBox* about = window_->aboutBox();
      QTest::mousePress(about->panel(), Qt::LeftButton, Qt::ShiftModifier);
      QTest::mouseRelease(about->panel(), Qt::LeftButton, Qt::ShiftModifier);
      QTest::mouseDClick(about->panel(), Qt::LeftButton, Qt::ShiftModifier);
      QTest::keyClicks(about->passwordField(), "qzx");
      QTest::keyClick(about->passwordField(), Qt::Key_Return);
    });
    QTest::mouseClick(window_->findChild<QPushButton*>("btnAbout"), Qt::LeftButton);
  }

  QPushButton* Button(const char* text) {
    for (QPushButton* b : window_->findChildren<QPushButton*>())
      if (b->text() == text) return b;
    ADD_FAILURE() << "no button " << text;
    return nullptr;
  }

  testsupport::TempDir dir_;
  testsupport::SimTrace trace_;
  std::unique_ptr<sim::VirtualSensor> sensor_;
  std::unique_ptr<ostrel::MainWindow> window_;
  QTimer boxWatch_;
  std::string boxes_;
};

TEST_P(OstrelRoundTrip, EveryButtonWritesBackWhatWasRead) {
  const ModeCase c = GetParam();
  sim::SensorConfig config;
  config.model = "KRV04 Board Flipper";
  config.address = 37;
  config.checkMode = c.checkMode;
  sensor_ = std::make_unique<sim::VirtualSensor>(config, trace_.Line());
  ASSERT_TRUE(sensor_->Start()) << sensor_->LastError();
  sensor_->Mutate([&c](sim::SensorState& s) {
    sim::Settings& g = s.settings;
    g.rangeMode = c.rangeMode;
    g.minLaserPower = 17;
    g.maxLaserPower = 233;
    g.threshold = 251;
    g.wane.height = c.height;
    g.wane.width = c.width;
    g.wane.speed = 1187;
    g.wane.reserved = {0x12, 0x34, 0x56, 0x78};
    g.wane.pulse = 97;
    g.boardTimeout = 4321;
    // The field shows the first 8 bytes of the serial number; the rest
    // must survive too.
    s.serialNumber = sim::IdentityField("BF039618REV2");
  });

  const std::string ini = dir_.File("Ostrel.ini");
  std::ofstream(ini, std::ios::binary) << "[CommPort]\r\nPort=1\r\n[BaudRate]\r\nBaud=57600\r\n[Port Map]\r\nCOM1="
                                       << sensor_->SlavePath() << "\r\n";
  window_ = std::make_unique<ostrel::MainWindow>(ini, "");
  window_->show();
  WatchForBoxes();
  EnterFactoryMode();
  ASSERT_TRUE(window_->factoryMode());
  window_->findChild<QLineEdit*>("editConnAddr")->setText("37");
  QTest::mouseClick(Button("Connect"), Qt::LeftButton);
  ASSERT_TRUE(window_->operations().connected());
  window_->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(1);
  const std::string before = Stored(sensor_->Snapshot());

  // A new button that writes settings is a new row.
  struct Row {
    const char* button;
    uint8_t writes;  // the command that must have gone out
  };
  const Row rows[] = {
      {"Min. Laser Pwr", cmd::SetMinLP},         {"Max. Laser Pwr", cmd::SetMaxLP},
      {"Threshold", cmd::SetThreshold},          {"Address", cmd::SetSensorAddress},
      {"Baud Rate", cmd::SetBaudRate},           {"Error Checking", cmd::SetSensorCheckMode},
      {"Mode", cmd::SetKRV04Mode},               {"Set Wane Varibles", cmd::WriteWaneParams},
      {"Set Wane Varibles", cmd::SetBoardTimeout}, {"Serial #", cmd::SetSerialNum},
      {"Model", cmd::SetModelName},
  };
  auto* status = window_->findChild<QLabel*>("lblStatus");
  ASSERT_NE(status, nullptr);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.button);
    trace_.Clear();
    const size_t historyBefore = History().size();
    QTest::mouseClick(Button(row.button), Qt::LeftButton);
    EXPECT_EQ(trace_.CountCommand(row.writes), 1u) << "the button wrote its setting";
    EXPECT_EQ(Stored(sensor_->Snapshot()), before);
    EXPECT_TRUE(window_->operations().connected());
    // Each write is in the change history with the value the sensor held
    // before (the same: nothing was typed) and its read-back, and the
    // status line says, whole, what the sensor holds now.
    const std::vector<history::Entry> lines = History();
    EXPECT_GT(lines.size(), historyBefore) << "the press is in the change history";
    for (size_t i = historyBefore; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].outcome, "verified") << lines[i].setting;
      EXPECT_FALSE(lines[i].oldValue.empty()) << lines[i].setting;
      EXPECT_EQ(lines[i].oldValue, lines[i].newValue) << lines[i].setting;
    }
    EXPECT_TRUE(status->text().startsWith("Verified: ")) << status->text().toStdString();
    EXPECT_LE(status->fontMetrics().horizontalAdvance(status->text()), status->contentsRect().width())
        << status->text().toStdString();
  }
  EXPECT_EQ(boxes_, "") << "nothing typed, nothing refused";
}

// The board flipper has no time quantum among its settings (no averaging
// period step): every value must come back unchanged.
INSTANTIATE_TEST_SUITE_P(InchAndMillimetre, OstrelRoundTrip,
                         ::testing::Values(ModeCase{"InchChecksum", 0, 0, 7123, 999},
                                           ModeCase{"InchCrc", 1, 0, 7123, 999},
                                           ModeCase{"MillimetreChecksum", 0, 1, 12575, 19999},
                                           ModeCase{"MillimetreCrc", 1, 1, 12575, 19999}),
                         [](const ::testing::TestParamInfo<ModeCase>& row) { return row.param.name; });

}  // namespace
