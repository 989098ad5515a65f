// The window follows the machine's ports on its own: an adapter pulled while
// connected shows the bar without waiting for a failed exchange, and the
// same adapter plugged back reconnects (ticked) or is offered (unticked).
// The machine is a sysfs tree of the test's own; its device node is a link
// to the virtual sensor's line, so only the port watch can tell the window.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <filesystem>

#include "support/fake_sysfs.h"
#include "tarkon/document/port_watch.h"
#include "tarkon/ui/connect_dialog.h"
#include "tarkon/ui/link_view.h"
#include "ui_test_support.h"

namespace uitest {
namespace {

constexpr int kGenerousMs = 60000;

class WindowFollowsPortsTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    machine_ = std::make_unique<testsupport::FakeMachine>(dir_.File("machine"));
  }

  std::string Node() const { return machine_->dev() + "/ttyUSB0"; }

  // The node first, so the watch never sees the adapter without it.
  void Plug() {
    std::filesystem::create_symlink(sensor_->SlavePath(), Node());
    machine_->AddUsbDevice("pci0000:00/usb1/1-2", "FTDI", "FT232R USB UART", "A50285BI", "0403", "6001");
    machine_->AddById("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0");
    machine_->AddTty("ttyUSB0", "pci0000:00/usb1/1-2/1-2:1.0/ttyUSB0");
  }

  CMainFrame& ConnectThroughTheAdapter(bool autoReconnect) {
    StartSensor("KRV02");
    Plug();
    doc_ = std::make_unique<CKRV02Doc>(dir_.File("tarkon.ini"));
    frame_ = std::make_unique<CMainFrame>(*doc_, nullptr, std::make_unique<PortWatch>(machine_->sys(), machine_->dev()));
    frame_->show();
    EXPECT_TRUE(frame_->portWatch().following());
    auto came = OnNextModal([this, autoReconnect](QWidget* w) {
      auto* dialog = qobject_cast<CConnectDialog*>(w);
      dialog->portBox()->setCurrentText(QString::fromStdString(Node()));
      dialog->autoReconnectBox()->setChecked(autoReconnect);
      Button(dialog, "Ok")->click();
    });
    frame_->action(DocCommand::kConnect)->trigger();
    EXPECT_TRUE(*came);
    EXPECT_TRUE(doc_->connected());
    return *frame_;
  }

  CLinkBar* Bar() const { return frame_->linkView()->bar(); }
  QString BarText() const { return Bar()->textLabel()->text(); }

  std::unique_ptr<testsupport::FakeMachine> machine_;
};

TEST_F(WindowFollowsPortsTest, PulledShowsTheBarAndPluggedBackReconnects) {
  CMainFrame& frame = ConnectThroughTheAdapter(true);
  machine_->RemoveTty("ttyUSB0");
  ASSERT_TRUE(PumpUntil([&] { return !doc_->connected(); }, kGenerousMs));
  Pump(50);
  ASSERT_TRUE(Bar()->isVisible());
  EXPECT_TRUE(BarText().contains("went away")) << BarText().toStdString();
  EXPECT_TRUE(BarText().contains("Tarkon reconnects when the port is back.")) << BarText().toStdString();

  Plug();
  ASSERT_TRUE(PumpUntil([&] { return doc_->connected(); }, kGenerousMs)) << BarText().toStdString();
  Pump(50);
  EXPECT_FALSE(Bar()->isVisible());
  EXPECT_TRUE(frame.windowTitle().contains("KRV02 SN K2073064")) << frame.windowTitle().toStdString();
}

TEST_F(WindowFollowsPortsTest, UntickedPluggedBackIsOfferedNotOpened) {
  ConnectThroughTheAdapter(false);
  machine_->RemoveTty("ttyUSB0");
  ASSERT_TRUE(PumpUntil([&] { return !doc_->connected(); }, kGenerousMs));
  const QString lost = BarText();

  Plug();
  ASSERT_TRUE(PumpUntil([&] { return BarText() != lost; }, kGenerousMs)) << lost.toStdString();
  EXPECT_FALSE(doc_->connected());
  EXPECT_EQ(BarText(), QString::fromStdString("The port " + Node() +
                                              " is back. Press Reconnect to connect to the KRV02 SN K2073064 again."));
  EXPECT_TRUE(Bar()->isVisible());
  EXPECT_TRUE(Bar()->reconnectButton()->isVisible());
  Bar()->reconnectButton()->click();
  EXPECT_TRUE(doc_->connected());
}

}  // namespace
}  // namespace uitest
