// The connect dialog through a serial device server: a gateway's URL typed
// into the port box connects through ser2net (on 127.0.0.1, before a
// throttled virtual sensor), the status line names the gateway, and the
// gateways connected through are offered in the box again, also in the
// next window of the same user.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "support/ser2net_gateway.h"
#include "tarkon/ui/connect_dialog.h"
#include "tarkon/ui/link_view.h"
#include "ui_test_support.h"

namespace uitest {
namespace {

class GatewayConnectTest : public UiTest {
 protected:
  // The port box's entries after "COM1" to "COM4" that are gateways.
  std::vector<std::string> OfferedGateways() {
    std::vector<std::string> offered;
    auto came = OnNextModal([&offered](QWidget* w) {
      auto* dialog = qobject_cast<CConnectDialog*>(w);
      ASSERT_NE(dialog, nullptr);
      QComboBox* box = dialog->portBox();
      for (int i = 4; i < box->count() && box->itemText(i).contains("://"); ++i)
        offered.push_back(box->itemText(i).toStdString());
      Button(dialog, "Cancel")->click();
    });
    frame_->action(DocCommand::kConnect)->trigger();
    EXPECT_TRUE(*came);
    return offered;
  }
};

TEST_F(GatewayConnectTest, AUrlTypedInThePortBoxConnectsThroughTheGatewayAndIsOfferedAgain) {
  if (!testsupport::Ser2netGateway::Installed())
    GTEST_SKIP() << "ser2net is not installed (scripts/install-deps.sh installs it)";
  sim::LineConfig line;
  line.throttle = true;
  line.linkPath = dir_.File("line");
  sim::SensorConfig config;
  config.model = "KRV04";
  config.serial = "K4001234";
  sensor_ = std::make_unique<sim::VirtualSensor>(config, line);
  ASSERT_TRUE(sensor_->Start()) << sensor_->LastError();
  testsupport::Ser2netGateway gateway;
  std::string why;
  ASSERT_TRUE(gateway.Start(dir_.path(), line.linkPath, &why)) << why;

  CMainFrame& frame = OpenFrame();
  const struct {
    std::string url;
    std::string kind;
    uint16_t port;
  } gateways[] = {{gateway.Rfc2217Url(), "RFC 2217", gateway.telnetPort()},
                  {gateway.TcpUrl(), "raw TCP: the gateway sets the line", gateway.rawPort()}};
  for (const auto& g : gateways) {
    SCOPED_TRACE(g.url);
    // Typed as a technician types it, over what the box showed.
    auto came = OnNextModal([&g](QWidget* w) {
      auto* dialog = qobject_cast<CConnectDialog*>(w);
      ASSERT_NE(dialog, nullptr);
      QLineEdit* typed = dialog->portBox()->lineEdit();
      typed->selectAll();
      QTest::keyClicks(typed, QString::fromStdString(g.url));
      Button(dialog, "Ok")->click();
    });
    frame.action(DocCommand::kConnect)->trigger();
    ASSERT_TRUE(*came);
    ASSERT_TRUE(doc_->connected());
    EXPECT_EQ(doc_->sensor().modelText(), "KRV04");
    const QString status = frame.linkView()->statusLabel()->text();
    EXPECT_TRUE(status.startsWith(QString::fromStdString(g.url + " \u00B7 gateway 127.0.0.1:" + std::to_string(g.port) +
                                                         ", " + g.kind + ", round trip ")))
        << status.toStdString();
    EXPECT_TRUE(status.contains("K4001234")) << status.toStdString();
    frame.action(DocCommand::kDisconnect)->trigger();
    ASSERT_FALSE(doc_->connected());
  }

  // Both gateways are offered, the newest first; the settings file keeps
  // the one connected through last as its device.
  const std::vector<std::string> expected = {gateway.TcpUrl(), gateway.Rfc2217Url()};
  EXPECT_EQ(OfferedGateways(), expected);
  EXPECT_NE(testsupport::ReadWholeFile(dir_.File("tarkon.ini")).find("Device=" + gateway.TcpUrl()), std::string::npos);
  CloseFrame();
  OpenFrame();
  EXPECT_EQ(OfferedGateways(), expected) << "kept for the user, not for the window";
}

}  // namespace
}  // namespace uitest
