// The port monitor: what a change reports, that a plug or pull in a sysfs
// tree is reported through the device folder's events, and that stopping
// never waits on the event source.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "serial/port_monitor.h"
#include "support/fake_sysfs.h"
#include "support/temp_dir.h"

namespace {

using testsupport::FakeMachine;

FoundPort Port(const std::string& device, const std::string& byId = "", const std::string& description = "") {
  return {device.substr(device.find_last_of('/') + 1), device, description, byId, ""};
}

std::vector<std::string> Devices(const std::vector<FoundPort>& ports) {
  std::vector<std::string> devices;
  for (const FoundPort& p : ports) devices.push_back(p.device + (p.byId.empty() ? "" : " " + p.byId));
  return devices;
}

TEST(PortMonitor, DiffNamesWhatCameAndWhatWent) {
  const FoundPort s0 = Port("/dev/ttyS0");
  const FoundPort usbA = Port("/dev/ttyUSB0", "/dev/serial/by-id/usb-A", "FTDI A");
  const FoundPort usbB = Port("/dev/ttyUSB0", "/dev/serial/by-id/usb-B", "FTDI B");
  const FoundPort acm = Port("/dev/ttyACM0");
  const struct {
    const char* what;
    std::vector<FoundPort> before, now;
    std::vector<std::string> appeared, disappeared;
  } cases[] = {
      {"nothing changed", {s0, usbA}, {s0, usbA}, {}, {}},
      {"plugged", {s0}, {s0, usbA}, {"/dev/ttyUSB0 /dev/serial/by-id/usb-A"}, {}},
      {"pulled", {s0, usbA, acm}, {s0, acm}, {}, {"/dev/ttyUSB0 /dev/serial/by-id/usb-A"}},
      {"another adapter on the same node",
       {usbA},
       {usbB},
       {"/dev/ttyUSB0 /dev/serial/by-id/usb-B"},
       {"/dev/ttyUSB0 /dev/serial/by-id/usb-A"}},
      {"first list", {}, {s0, acm}, {"/dev/ttyS0", "/dev/ttyACM0"}, {}},
  };
  for (const auto& c : cases) {
    const PortChanges changes = DiffPorts(c.before, c.now);
    EXPECT_EQ(Devices(changes.appeared), c.appeared) << c.what;
    EXPECT_EQ(Devices(changes.disappeared), c.disappeared) << c.what;
    EXPECT_EQ(changes.empty(), c.appeared.empty() && c.disappeared.empty()) << c.what;
    EXPECT_EQ(Devices(changes.now), Devices(c.now)) << c.what;
  }
}

// What the listener heard, for the test's thread to wait on.
class Heard {
 public:
  void Add(const PortChanges& c) {
    std::lock_guard<std::mutex> lock(mutex_);
    changes_.push_back(c);
    cv_.notify_all();
  }
  bool WaitFor(size_t count, int ms = 10000) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return changes_.size() >= count; });
  }
  std::vector<PortChanges> Taken() {
    std::lock_guard<std::mutex> lock(mutex_);
    return changes_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<PortChanges> changes_;
};

TEST(PortMonitor, FollowsAPlugAndAPullInASysfsTree) {
  testsupport::TempDir dir;
  ASSERT_TRUE(dir.ok());
  FakeMachine m(dir.path());
  m.AddTty("ttyS0", "pnp0/00:05", "4");
  PortMonitor monitor(OpenDeviceFolderEvents(m.dev()), [&] { return FindSerialPortsInSysfs(m.sys(), m.dev()); });
  Heard heard;
  ASSERT_TRUE(monitor.Start([&](const PortChanges& c) { heard.Add(c); }));
  EXPECT_TRUE(monitor.following());
  EXPECT_EQ(Devices(monitor.ports()), std::vector<std::string>{m.dev() + "/ttyS0"});

  m.AddUsbDevice("pci0000:00/usb1/1-2", "FTDI", "FT232R USB UART", "A50285BI", "0403", "6001");
  m.AddById("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0");
  m.AddTty("ttyUSB0", "pci0000:00/usb1/1-2/1-2:1.0/ttyUSB0");
  ASSERT_TRUE(heard.WaitFor(1));
  std::vector<PortChanges> changes = heard.Taken();
  ASSERT_EQ(changes[0].appeared.size(), 1u);
  EXPECT_TRUE(changes[0].disappeared.empty());
  const FoundPort plugged = changes[0].appeared[0];
  EXPECT_EQ(plugged.device, m.dev() + "/ttyUSB0");
  EXPECT_EQ(plugged.usbSerial, "A50285BI");
  EXPECT_EQ(plugged.description, "FTDI FT232R USB UART, serial A50285BI (0403:6001)");
  EXPECT_EQ(plugged.byId, m.dev() + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
  EXPECT_EQ(monitor.ports().size(), 2u);

  m.RemoveTty("ttyUSB0");
  ASSERT_TRUE(heard.WaitFor(2));
  changes = heard.Taken();
  EXPECT_TRUE(changes[1].appeared.empty());
  ASSERT_EQ(changes[1].disappeared.size(), 1u);
  EXPECT_EQ(changes[1].disappeared[0].usbSerial, "A50285BI") << "a pulled adapter is named as it was";
  EXPECT_EQ(changes[1].disappeared[0].byId, plugged.byId);
  EXPECT_EQ(Devices(monitor.ports()), std::vector<std::string>{m.dev() + "/ttyS0"});
  monitor.Stop();
  EXPECT_FALSE(monitor.following());
}

// A source that only wakes the monitor when the test writes to it.
class PipeSource : public PortEventSource {
 public:
  PipeSource() {
    if (pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) fds_[0] = fds_[1] = -1;
  }
  ~PipeSource() override {
    for (int fd : fds_)
      if (fd >= 0) close(fd);
  }
  int fd() const override { return fds_[0]; }
  void Drain() override {
    char buffer[64];
    while (read(fds_[0], buffer, sizeof buffer) > 0) {
    }
  }
  int writeEnd() const { return fds_[1]; }

 private:
  int fds_[2] = {-1, -1};
};

// Stopping while the thread waits, while it lists, never started, twice,
// and without a source: each returns at once and leaves no listener call
// behind.
TEST(PortMonitor, StopsWithoutWaitingOnTheSource) {
  {
    PortMonitor idle(std::make_unique<PipeSource>(), [] { return std::vector<FoundPort>{}; });
  }
  {
    PortMonitor blind(nullptr, [] { return std::vector<FoundPort>{Port("/dev/ttyS0")}; });
    EXPECT_FALSE(blind.Start([](const PortChanges&) { ADD_FAILURE() << "nothing to follow"; }));
    EXPECT_FALSE(blind.following());
    EXPECT_EQ(blind.ports().size(), 1u) << "the list is taken all the same";
  }
  for (int round = 0; round < 8; ++round) {
    auto source = std::make_unique<PipeSource>();
    const int wake = source->writeEnd();
    std::mutex mutex;
    std::vector<FoundPort> present;
    PortMonitor monitor(std::move(source), [&] {
      std::lock_guard<std::mutex> lock(mutex);
      return present;
    });
    Heard heard;
    ASSERT_TRUE(monitor.Start([&](const PortChanges& c) { heard.Add(c); }));
    EXPECT_FALSE(monitor.Start([](const PortChanges&) {})) << "started once";
    {
      std::lock_guard<std::mutex> lock(mutex);
      present.push_back(Port("/dev/ttyUSB" + std::to_string(round)));
    }
    ASSERT_EQ(write(wake, "x", 1), 1);
    // Even rounds stop after the call, odd ones while the monitor settles.
    if (round % 2 == 0) {
      ASSERT_TRUE(heard.WaitFor(1));
    }
    const auto before = std::chrono::steady_clock::now();
    monitor.Stop();
    monitor.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
    const size_t calls = heard.Taken().size();
    EXPECT_LE(calls, 1u);
    ASSERT_EQ(write(wake, "x", 1), 1);
    EXPECT_FALSE(heard.WaitFor(calls + 1, 150)) << "no call after Stop";
  }
}

}  // namespace
