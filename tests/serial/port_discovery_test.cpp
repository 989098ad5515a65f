// Port discovery: which ttys are serial ports, what is said about them,
// their by-id names, and that no port is opened to find out.

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "serial/port_discovery.h"
#include "support/fake_sysfs.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::FakeMachine;

TEST(PortDiscovery, SysfsListsSerialPortsWithTheirAdaptersAndNeverOpensThem) {
  testsupport::TempDir dir;
  ASSERT_TRUE(dir.ok());
  FakeMachine m(dir.path());
  m.AddTty("ttyS0", "platform/serial8250/serial8250:0.0", "4");  // a 16550A
  m.AddTty("ttyS1", "platform/serial8250/serial8250:0.1", "0");  // an empty slot
  m.AddTty("ttyS10", "pnp0/00:05", "4");
  m.AddTty("tty1", "");      // a virtual console
  m.AddTty("ttyS7", "");     // no device at all
  m.AddTty("ttyAMA0", "platform/fe201000.serial");
  m.AddUsbDevice("pci0000:00/usb1/1-2", "FTDI", "FT232R USB UART", "A50285BI", "0403", "6001");
  m.AddTty("ttyUSB0", "pci0000:00/usb1/1-2/1-2:1.0/ttyUSB0");
  m.AddUsbDevice("pci0000:00/usb1/1-3", "Arduino (www.arduino.cc)", "Uno", "", "2341", "0043");
  m.AddTty("ttyACM0", "pci0000:00/usb1/1-3/1-3:1.0");
  m.AddById("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0");
  // A name whose number fits no port number keeps its name (and throws nothing).
  m.AddTty("ttyS123456789012345678901", "pnp0/00:06", "4");

  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, m.dev().c_str(), IN_OPEN), 0);

  const std::vector<FoundPort> ports = FindSerialPortsInSysfs(m.sys(), m.dev());

  char events[4096];
  EXPECT_LT(read(watch, events, sizeof events), 0) << "a device node was opened";
  close(watch);

  struct Expected {
    std::string name, node, description, byId;
  };
  const std::vector<Expected> expected = {
      {"ttyACM0", "ttyACM0", "Arduino (www.arduino.cc) Uno (2341:0043)", ""},
      {"ttyAMA0", "ttyAMA0", "", ""},
      {"COM1", "ttyS0", "", ""},
      {"COM11", "ttyS10", "", ""},
      {"ttyS123456789012345678901", "ttyS123456789012345678901", "", ""},
      {"ttyUSB0", "ttyUSB0", "FTDI FT232R USB UART, serial A50285BI (0403:6001)",
       m.dev() + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"},
  };
  ASSERT_EQ(ports.size(), expected.size());
  for (size_t i = 0; i < ports.size(); ++i) {
    EXPECT_EQ(ports[i].name, expected[i].name) << i;
    EXPECT_EQ(ports[i].device, m.dev() + "/" + expected[i].node) << i;
    EXPECT_EQ(ports[i].description, expected[i].description) << i;
    EXPECT_EQ(ports[i].byId, expected[i].byId) << i;
  }
}

// This machine's own ports through udev: every entry is a serial device
// node, and none of /dev's ttys is opened to find them.
TEST(PortDiscovery, ThisMachineWithoutOpeningAnyPort) {
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, "/dev", IN_OPEN), 0);
  const std::vector<FoundPort> ports = FindSerialPorts();
  alignas(inotify_event) char events[8192];
  const ssize_t n = read(watch, events, sizeof events);
  close(watch);
  for (ssize_t at = 0; at < n;) {
    const auto* event = reinterpret_cast<const inotify_event*>(events + at);
    const std::string name = event->len > 0 ? event->name : "";
    EXPECT_NE(name.rfind("tty", 0), 0u) << "/dev/" << name << " was opened";
    at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
  }
  for (const FoundPort& p : ports) {
    EXPECT_EQ(p.device.rfind("/dev/tty", 0), 0u) << p.device;
    EXPECT_FALSE(p.name.empty());
  }
}

}  // namespace
