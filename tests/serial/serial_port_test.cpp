#include <gtest/gtest.h>

#include <termios.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "serial/port_resolver.h"
#include "serial/serial_port.h"
#include "support/pty_peer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

milliseconds Since(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

std::string Sys(int errnum) { return std::string(" (") + std::strerror(errnum) + ")"; }

bool ConnectTo(SerialPort& port, const PtyPeer& peer) {
  return port.ConnectDevice(peer.path(), 57600, kParityNone, kStopOne, 8, 100, 100);
}

// Waits (bounded) until the port holds `count` received bytes.
bool WaitForInput(SerialPort& port, uint32_t count) {
  const auto end = Clock::now() + milliseconds(2000);
  while (Clock::now() < end) {
    LineStatus status;
    if (port.GetLineStatus(nullptr, &status) && status.inQueue >= count) return true;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return false;
}

TEST(SerialPort, StartsClosedWithDefaultSettings) {
  SerialPort port;
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.handle(), kInvalidSerialHandle);
  EXPECT_EQ(port.errorCode(), 0);
  EXPECT_STREQ(port.errorText(), "");
  SerialSettings s;
  port.GetSettings(s);
  EXPECT_EQ(s.baudRate, 57600);
  EXPECT_EQ(s.dataBits, 8);
  EXPECT_EQ(s.readTimeoutMs, 100);
  EXPECT_EQ(s.writeTimeoutMs, 100);
  EXPECT_EQ(s.rtsControl, 1);
  EXPECT_EQ(s.dtrControl, 1);
  EXPECT_EQ(s.inputQueueSize, 1024);
}

TEST(SerialPort, ConnectByPortNumberOpensConfiguresPurgesAndSettles) {
  PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  PortResolver::SetPortMap({{42, peer.path()}});
  ASSERT_TRUE(peer.Write({0xEE, 0xEE, 0xEE}));  // stale bytes from before the connect
  std::this_thread::sleep_for(milliseconds(20));

  SerialPort port;
  const auto start = Clock::now();
  const bool ok = port.Connect(42, 19200, kParityEven, kStopTwo, 7, 300, 200);
  const auto took = Since(start);
  PortResolver::SetPortMap({});
  ASSERT_TRUE(ok) << port.errorText();
  EXPECT_GE(took, milliseconds(250));
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(port.device(), peer.path());

  SerialSettings s;
  port.GetSettings(s);
  EXPECT_EQ(s.baudRate, 19200);
  EXPECT_EQ(s.parity, kParityEven);
  EXPECT_EQ(s.stopBits, kStopTwo);
  EXPECT_EQ(s.dataBits, 7);
  EXPECT_EQ(s.writeTimeoutMs, 300);
  EXPECT_EQ(s.readTimeoutMs, 200);
  EXPECT_EQ(s.rtsControl, 1);

  termios tio{};
  ASSERT_EQ(tcgetattr(peer.slave(), &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B19200));
  EXPECT_EQ(tio.c_cflag & (PARODD | CMSPAR | CSTOPB), static_cast<tcflag_t>(CSTOPB));

  // The stale bytes were purged.
  uint8_t byte = 0;
  size_t done = 0;
  EXPECT_TRUE(port.Read(&byte, 1, &done, 50));
  EXPECT_EQ(done, 0u);
}

TEST(SerialPort, ConnectToAMissingPortFailsWithCode7) {
  PortResolver::SetPortMap({{61, "/nonexistent/ttyLRS61"}});
  SerialPort port;
  EXPECT_FALSE(port.Connect(61, 57600, 0, 0, 8, 100, 100));
  PortResolver::SetPortMap({});
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.errorCode(), kSerialCannotOpen);
  EXPECT_EQ(std::string(port.errorText()), "sc_Open: could not open /nonexistent/ttyLRS61" + Sys(ENOENT));
}

TEST(SerialPort, ConnectWithSettingsTheLineCannotTakeFailsButStaysOpen) {
  PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  SerialPort port;
  EXPECT_FALSE(port.ConnectDevice(peer.path(), 57600, 0, 0, 4, 100, 100));
  EXPECT_EQ(port.errorCode(), kSerialPlatformCall);
  EXPECT_EQ(std::string(port.errorText()), "sc_SetSettings: SetCommState failed" + Sys(EINVAL));
  EXPECT_TRUE(port.IsOpen());  // the owner's disconnect closes it
  EXPECT_TRUE(port.Disconnect());
  EXPECT_FALSE(port.IsOpen());
}

TEST(SerialPort, ConnectOverAnOpenPortClosesItFirst) {
  PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  SerialPort port;
  ASSERT_TRUE(ConnectTo(port, peer)) << port.errorText();
  // Reopening the same line works only if the first handle was released.
  ASSERT_TRUE(ConnectTo(port, peer)) << port.errorText();
  EXPECT_TRUE(port.IsOpen());

  // Another object cannot take the line while this one holds it.
  SerialPort other;
  EXPECT_FALSE(ConnectTo(other, peer));
  EXPECT_EQ(other.errorCode(), kSerialCannotOpen);
  EXPECT_EQ(std::string(other.errorText()), "sc_Open: could not open " + peer.path() + Sys(EBUSY));
}

TEST(SerialPort, DisconnectAndDestructionReleaseTheLine) {
  PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  {
    SerialPort port;
    ASSERT_TRUE(ConnectTo(port, peer));
    EXPECT_TRUE(port.Disconnect());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.device(), "");
    EXPECT_TRUE(port.Disconnect());  // closing a closed port is fine
    ASSERT_TRUE(ConnectTo(port, peer));
  }  // destroyed while open
  SerialPort again;
  EXPECT_TRUE(ConnectTo(again, peer)) << again.errorText();
}

TEST(SerialPort, ApplyBaudRateReconfiguresTheOpenLine) {
  PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  SerialPort port;
  EXPECT_FALSE(port.ApplyBaudRate(9600));  // not open
  EXPECT_EQ(port.errorCode(), kSerialInvalidArgument);
  EXPECT_STREQ(port.errorText(), "sc_SetSettings: an invalid argument was passed.");

  ASSERT_TRUE(ConnectTo(port, peer));
  EXPECT_TRUE(port.ApplyBaudRate(38400)) << port.errorText();
  SerialSettings s;
  port.GetSettings(s);
  EXPECT_EQ(s.baudRate, 38400);
  termios tio{};
  ASSERT_EQ(tcgetattr(peer.slave(), &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B38400));

  EXPECT_FALSE(port.ApplyBaudRate(31250));
  EXPECT_EQ(std::string(port.errorText()), "sc_SetSettings: SetCommState failed" + Sys(EINVAL));
}

TEST(SerialPort, ReadAndWriteGoThroughTheOwnHandle) {
  PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  SerialPort port;
  ASSERT_TRUE(ConnectTo(port, peer));
  const Bytes out{0x43};
  size_t done = 0;
  ASSERT_TRUE(port.Write(out.data(), out.size(), &done, 1000));
  EXPECT_EQ(peer.Read(1, 1000), out);
  ASSERT_TRUE(peer.Write({0x06}));
  uint8_t in = 0;
  ASSERT_TRUE(port.Read(&in, 1, &done, 1000));
  EXPECT_EQ(done, 1u);
  EXPECT_EQ(in, 0x06);

  SerialPort closed;
  EXPECT_FALSE(closed.Read(&in, 1, &done, 10));
  EXPECT_STREQ(closed.errorText(), "sc_Read: an invalid argument was passed.");
}

TEST(SerialPort, LineStatusCountsWaitingBytes) {
  PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  SerialPort port;
  ASSERT_TRUE(ConnectTo(port, peer));
  ASSERT_TRUE(peer.Write({1, 2, 3}));
  ASSERT_TRUE(WaitForInput(port, 3));
  uint32_t errors = 0xFF;
  LineStatus status;
  ASSERT_TRUE(port.GetLineStatus(&errors, &status));
  EXPECT_EQ(errors, 0u);
  EXPECT_EQ(status.inQueue, 3u);
  EXPECT_EQ(status.outQueue, 0u);

  SerialPort closed;
  EXPECT_FALSE(closed.GetLineStatus(&errors, &status));
}

TEST(SerialPort, DrainDiscardsWhatIsWaiting) {
  PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  SerialPort port;
  ASSERT_TRUE(ConnectTo(port, peer));
  ASSERT_TRUE(peer.Write(Bytes(40, 0x33)));
  ASSERT_TRUE(WaitForInput(port, 40));
  auto start = Clock::now();
  EXPECT_TRUE(port.Drain());
  EXPECT_GE(Since(start), milliseconds(100));
  uint8_t byte = 0;
  size_t done = 0;
  EXPECT_TRUE(port.Read(&byte, 1, &done, 50));
  EXPECT_EQ(done, 0u);

  // Nothing waiting: only the pause and the purge.
  start = Clock::now();
  EXPECT_TRUE(port.Drain());
  EXPECT_GE(Since(start), milliseconds(100));
  EXPECT_LT(Since(start), milliseconds(1000));
  EXPECT_EQ(port.errorCode(), 0);
}

}  // namespace
