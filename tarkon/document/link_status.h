#pragma once
// What a front end shows about the link to the connected sensor: the one
// status line (port, line settings, sensor, polling and reply counts), the
// window title that names the sensor, the counts of good and failed replies,
// and the plain explanation that follows an internal text of the serial or
// packet layer in the command log. The texts are made here once; the
// window's status bar and title only show them.

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

enum class PollingState { kOff, kOn, kPaused };

// Everything the status line and the title say, as the document knows it.
struct LinkFacts {
  bool connected = false;
  std::string portName;  // as the user named it: "COM3" or a device path
  std::string device;    // the device that was opened
  std::string byId;      // the adapter's /dev/serial/by-id/ name, or empty
  int32_t baudRate = 0;
  int32_t address = 0;
  int32_t checkMode = 0;
  std::string model;   // display name ("KRV04")
  std::string serial;  // serial number (up to 8 characters, raw); empty when not known
  PollingState polling = PollingState::kOff;
  uint64_t good = 0;
  uint64_t failed = 0;
  uint64_t failedLastMinute = 0;
  // A network line: the gateway ("host:port", empty for a local port),
  // whether it speaks RFC 2217 or raw TCP, the round trip timed at the
  // connect and the allowance every reply deadline gets for it.
  std::string gateway;
  bool rawTcp = false;
  uint32_t roundTripUs = 0;
  uint32_t allowanceMs = 0;
  // Stands in for a serial number that is not known ("serial number not
  // read", "no serial number"); empty when it is known.
  std::string serialNote = std::string();
};

// The sensor as the title and the link texts name it: the model, then "SN"
// and the serial number ("KRV04 SN482913"; a blank after "SN" when the
// serial number starts with a letter: "KRV04 SN K4030961"). Bytes outside
// printable ASCII are shown as "\xNN".
std::string SensorName(const std::string& model, const std::string& serial);
// The port as the status line shows it: "COM3 (/dev/ttyS2)" for a port
// number, "/dev/ttyUSB0 (usb-FTDI_...-if00-port0)" with the by-id name of its
// adapter, else the device path alone.
std::string PortDisplay(const std::string& portName, const std::string& device, const std::string& byId);
// "/dev/ttyUSB0 (usb-...) · 57600 bit/s · address 1 · Checksum · KRV04 SN482913 ·
// polling on · replies 120 good, 3 failed (1 in the last minute)"; a
// network line adds "gateway 10.0.0.5:4001, RFC 2217, round trip 0.4 ms,
// allowance 22 ms" after the port (", raw TCP: the gateway sets the line"
// in place of "RFC 2217");
// "Not connected" while not connected. A serial number that is not known
// shows as its note: "KRV04 (serial number not read)".
std::string LinkStatusText(const LinkFacts& facts);
// "Tarkon — KRV04 SN482913 on /dev/ttyUSB0" while connected; empty when not
// (the window keeps its own caption then).
std::string LinkWindowTitle(const LinkFacts& facts);

// Good and failed replies since the connect, and the failures of the last
// minute. Safe to count from any thread.
class ReplyCounter {
 public:
  using Clock = std::chrono::steady_clock;
  void Reset();
  void Count(bool ok, Clock::time_point now = Clock::now());
  uint64_t good() const;
  uint64_t failed() const;
  uint64_t FailedWithinLastMinute(Clock::time_point now = Clock::now()) const;
  // Failed replies since the last good one.
  uint32_t failedInARow() const;

 private:
  mutable std::mutex mutex_;
  uint64_t good_ = 0;
  uint64_t failed_ = 0;
  uint32_t inARow_ = 0;
  mutable std::deque<Clock::time_point> recentFailures_;
};

// The plain explanation of a log line that quotes an internal text of the
// serial or packet layer ("::sc_Write WriteFile failed", "dcs_ReadHeader
// timeout waiting for STX", ...); empty for any other line.
std::string PlainExplanation(const std::string& line);

// Decides which log lines get their explanation: a line's explanation
// follows it unless the same explanation was the last one given and is
// less than a minute old, so a sensor that keeps failing does not double
// the log.
class LogExplainer {
 public:
  using Clock = std::chrono::steady_clock;
  std::string ExplanationFor(const std::string& line, Clock::time_point now = Clock::now());
  void Reset() { last_.clear(); }

 private:
  std::string last_;
  Clock::time_point lastTime_{};
};
