// Ostrel through a serial device server: a gateway's URL typed into the
// port box connects through ser2net (on 127.0.0.1, before a throttled
// virtual board flipper) over RFC 2217 and over raw TCP, and the window
// reads the sensor's settings; the URL is kept for the next start; a
// gateway that goes away is a lost line, as a pulled adapter is.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTcpSocket>
#include <QTest>
#include <fstream>
#include <memory>

#include "ostrel/ui/main_window.h"
#include "sim/virtual_sensor.h"
#include "support/ser2net_gateway.h"
#include "support/temp_dir.h"

namespace {

class OstrelGateway : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testsupport::Ser2netGateway::Installed())
      GTEST_SKIP() << "ser2net is not installed (scripts/install-deps.sh installs it)";
    sim::SensorConfig config;
    config.model = "KRV04 Board Flipper";
    config.serial = "BF612345";
    sim::LineConfig line;
    line.throttle = true;  // the sensor answers only at the rate the gateway's line runs at
    line.linkPath = dir_.File("ttyBF");
    sensor_ = std::make_unique<sim::VirtualSensor>(config, line);
    ASSERT_TRUE(sensor_->Start()) << sensor_->LastError();
    sensor_->Mutate([](sim::SensorState& s) { s.settings.threshold = 123; });
    std::string why;
    ASSERT_TRUE(gateway_.Start(dir_.path(), line.linkPath, &why)) << why;
    ini_ = dir_.File("Ostrel.ini");
    std::ofstream(ini_, std::ios::binary) << "[CommPort]\r\nPort=1\r\n[BaudRate]\r\nBaud=57600\r\n";
  }

  void OpenWindow() {
    window_ = std::make_unique<ostrel::MainWindow>(ini_, "");
    window_->show();
  }
  QComboBox* PortBox() const { return window_->findChild<QComboBox*>("cboPort"); }
  QString Text(const char* name) const {
    if (auto* label = window_->findChild<QLabel*>(name)) return label->text();
    return window_->findChild<QLineEdit*>(name)->text();
  }
  void ClickConnect() { QTest::mouseClick(window_->findChild<QPushButton*>("btnConnect"), Qt::LeftButton); }
  QString LastLogLine() const {
    auto* log = window_->findChild<QListWidget*>("log");
    return log->count() > 0 ? log->item(log->count() - 1)->text() : QString();
  }

  testsupport::TempDir dir_;
  std::unique_ptr<sim::VirtualSensor> sensor_;
  testsupport::Ser2netGateway gateway_;
  std::string ini_;
  std::unique_ptr<ostrel::MainWindow> window_;
};

TEST_F(OstrelGateway, AUrlTypedInThePortBoxConnectsAndReadsTheSettings) {
  OpenWindow();
  // A gateway that is not there: refused, and not kept as the next start's port.
  const std::string nowhere = "tcp://127.0.0.1:" + std::to_string(testsupport::FreeLoopbackPort());
  PortBox()->lineEdit()->selectAll();
  QTest::keyClicks(PortBox()->lineEdit(), QString::fromStdString(nowhere));
  ClickConnect();
  EXPECT_FALSE(window_->operations().connected());
  EXPECT_TRUE(Text("lblStatus").startsWith(QString::fromStdString("Error Opening ComPort! " + nowhere + ": the gateway")))
      << Text("lblStatus").toStdString();
  EXPECT_EQ(testsupport::ReadWholeFile(ini_).find(nowhere), std::string::npos);
  for (const std::string& url : {gateway_.Rfc2217Url(), gateway_.TcpUrl()}) {
    SCOPED_TRACE(url);
    QLineEdit* typed = PortBox()->lineEdit();
    typed->selectAll();
    QTest::keyClicks(typed, QString::fromStdString(url));
    ClickConnect();
    ASSERT_TRUE(window_->operations().connected()) << Text("lblStatus").toStdString();
    EXPECT_EQ(Text("editThreshold"), "123");
    EXPECT_EQ(Text("pSerial"), "BF612345");
    const std::string link = window_->operations().LinkText();
    EXPECT_EQ(link.rfind(url + ", ", 0), 0u) << link;
    // Over raw TCP the rate on the line is the gateway's, whatever the list says.
    const bool raw = url == gateway_.TcpUrl();
    EXPECT_EQ(link.find("the gateway's baud rate") != std::string::npos, raw) << link;
  }

  // The URL connected through last is the next start's port.
  window_.reset();
  OpenWindow();
  EXPECT_EQ(PortBox()->currentText().toStdString(), gateway_.TcpUrl());
  ClickConnect();
  ASSERT_TRUE(window_->operations().connected()) << Text("lblStatus").toStdString();

  // The gateway goes away: the line is lost, said once, with the gateway's name.
  gateway_.Kill();
  QElapsedTimer waited;
  waited.start();
  while (window_->operations().connected() && waited.elapsed() < 10000) QTest::qWait(10);
  EXPECT_FALSE(window_->operations().connected());
  EXPECT_TRUE(Text("lblStatus").startsWith("Error : Device went away")) << Text("lblStatus").toStdString();
  const std::string said = "  The connection to the sensor was lost: the gateway 127.0.0.1:" +
                           std::to_string(gateway_.rawPort()) +
                           " closed the connection. Press Reconnect once the gateway serves its line again.";
  EXPECT_TRUE(LastLogLine().endsWith(QString::fromStdString(said))) << LastLogLine().toStdString();  // after its time
}

TEST_F(OstrelGateway, AGatewayThatServesAnotherClientIsRefusedInItsOwnWords) {
  OpenWindow();
  // tarkon-cli or another Ostrel holds the gateway's line: here a raw
  // client of the test's own, served once its request came back answered.
  QTcpSocket first;
  first.connectToHost("127.0.0.1", gateway_.rawPort());
  ASSERT_TRUE(first.waitForConnected(5000));
  const char request[] = {0x02, 0x01, 0x01, 0x0C, static_cast<char>(0xF0)};  // GetRange, checksum mode
  first.write(request, sizeof request);
  QByteArray answered;
  QElapsedTimer waited;
  waited.start();
  while (!answered.contains('\x02') && waited.elapsed() < 10000) {
    if (first.waitForReadyRead(100)) answered += first.readAll();
  }
  ASSERT_TRUE(answered.contains('\x02'));

  QLineEdit* typed = PortBox()->lineEdit();
  typed->selectAll();
  QTest::keyClicks(typed, QString::fromStdString(gateway_.TcpUrl()));
  ClickConnect();
  EXPECT_FALSE(window_->operations().connected());
  EXPECT_EQ(Text("lblStatus").toStdString(), "Error Opening ComPort! " + gateway_.TcpUrl() + ": the gateway 127.0.0.1:" +
                                                 std::to_string(gateway_.rawPort()) +
                                                 " closed the connection: \"Port already in use\"");
}

}  // namespace
