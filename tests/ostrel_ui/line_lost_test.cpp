// The line goes away (adapter pulled, far end closed): the window says so
// once, closes the port, goes back to its not-connected state, and
// connects again once the line is back.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <memory>

#include "ostrel/ui/main_window.h"
#include "sim/virtual_sensor.h"
#include "support/temp_dir.h"

namespace {

class OstrelLineLost : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SensorConfig config;
    config.model = "KRV04 Board Flipper";
    sim::LineConfig line;
    line.linkPath = dir_.File("ttyBF");  // follows the line across a replug
    sensor_ = std::make_unique<sim::VirtualSensor>(config, line);
    ASSERT_TRUE(sensor_->Start()) << sensor_->LastError();
    const std::string ini = dir_.File("Ostrel.ini");
    std::ofstream(ini, std::ios::binary) << "[CommPort]\r\nPort=1\r\n[Port Map]\r\nCOM1=" << line.linkPath << "\r\n";
    window_ = std::make_unique<ostrel::MainWindow>(ini, "");
    window_->show();
    Connect();
  }
  void Connect() {
    QTest::mouseClick(window_->findChild<QPushButton*>("btnConnect"), Qt::LeftButton);
    ASSERT_TRUE(window_->operations().connected());
  }
  QString Status() const { return window_->findChild<QLabel*>("lblStatus")->text(); }
  QString ComErrors() const { return window_->findChild<QLabel*>("pCommErrors")->text(); }
  QTabWidget* Tabs() const { return window_->findChild<QTabWidget*>("PageControl1"); }
  // The window's state once the line went away.
  void ExpectNotConnected(const QString& errorsBefore) {
    EXPECT_TRUE(Status().startsWith("Error : Device went away")) << Status().toStdString();
    EXPECT_EQ(ComErrors(), errorsBefore) << "no error counted per failed read after it";
    EXPECT_FALSE(window_->operations().connected());
    EXPECT_FALSE(Tabs()->isTabEnabled(1));
    EXPECT_FALSE(Tabs()->isTabEnabled(2));
  }

  testsupport::TempDir dir_;
  std::unique_ptr<sim::VirtualSensor> sensor_;
  std::unique_ptr<ostrel::MainWindow> window_;
};

TEST_F(OstrelLineLost, WhileIdleThePortClosesAndConnectWorksAfterReplugging) {
  const QString errors = ComErrors();
  ASSERT_TRUE(sensor_->Unplug());
  // A hung-up line reads 0 bytes for ever; left open, it keeps the window
  // busy and says nothing.
  QElapsedTimer waited;
  waited.start();
  while (window_->operations().connected() && waited.elapsed() < 5000) QTest::qWait(10);
  ExpectNotConnected(errors);
  // Only once: nothing more arrives to report.
  QTest::qWait(100);
  EXPECT_TRUE(Status().startsWith("Error : Device went away"));

  ASSERT_TRUE(sensor_->Replug());
  Connect();
  EXPECT_TRUE(Tabs()->isTabEnabled(1));
  EXPECT_EQ(Status(), "");
}

TEST_F(OstrelLineLost, PollingEndsWhenTheLineGoesAway) {
  const QString errors = ComErrors();
  Tabs()->setCurrentIndex(2);
  QTimer::singleShot(200, [this] { ASSERT_TRUE(sensor_->Unplug()); });
  // Returns when polling ends; without the hang-up it would poll on (until
  // this stop, which makes such a fault fail instead of hang).
  QTimer::singleShot(10000, window_.get(), [this] { window_->operations().RequestStop(); });
  QTest::mouseClick(window_->findChild<QPushButton*>("btnStart"), Qt::LeftButton);
  EXPECT_FALSE(window_->operations().busy());
  ExpectNotConnected(errors);

  ASSERT_TRUE(sensor_->Replug());
  Connect();
}

TEST_F(OstrelLineLost, TheLinkTextSaysWhyAndReconnectConnectsAgain) {
  auto* reconnect = window_->findChild<QPushButton*>("btnReconnect");
  ASSERT_NE(reconnect, nullptr);
  EXPECT_FALSE(reconnect->isVisible());
  ASSERT_TRUE(sensor_->Unplug());
  QElapsedTimer waited;
  waited.start();
  while (!reconnect->isVisible() && waited.elapsed() < 5000) QTest::qWait(10);
  ASSERT_TRUE(reconnect->isVisible());
  auto* link = window_->findChild<QLabel*>("linkText");
  EXPECT_TRUE(link->accessibleName().startsWith("Link: Line lost: COM1 (")) << link->accessibleName().toStdString();
  EXPECT_TRUE(link->toolTip().contains("Plug it back in, then press Reconnect.")) << link->toolTip().toStdString();
  auto* log = window_->findChild<QListWidget*>("log");
  ASSERT_GE(log->count(), 2);
  EXPECT_TRUE(log->item(log->count() - 1)->text().contains("the USB adapter was unplugged or lost power"));

  ASSERT_TRUE(sensor_->Replug());
  QTest::mouseClick(reconnect, Qt::LeftButton);
  EXPECT_TRUE(window_->operations().connected());
  EXPECT_FALSE(reconnect->isVisible());
  EXPECT_TRUE(link->accessibleName().contains(", idle, replies ")) << link->accessibleName().toStdString();
}

}  // namespace
