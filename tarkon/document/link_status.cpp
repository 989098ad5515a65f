#include "tarkon/document/link_status.h"

#include <cctype>
#include <cstdio>

#include "tarkon/document/printable_text.h"

namespace {

constexpr const char* kSeparator = " \xC2\xB7 ";  // " · "
constexpr auto kMinute = std::chrono::minutes(1);

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsComName(const std::string& name) {
  return name.size() > 3 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o') &&
         (name[2] == 'M' || name[2] == 'm');
}

// The sensor as the facts name it: its serial number, or the note that
// stands for one not known.
std::string SensorOfFacts(const LinkFacts& f) {
  if (!f.serialNote.empty()) return f.model + " (" + f.serialNote + ")";
  return SensorName(f.model, f.serial);
}

const char* PollingWord(PollingState state) {
  switch (state) {
    case PollingState::kOn: return "polling on";
    case PollingState::kPaused: return "polling paused (transfer)";
    case PollingState::kOff: break;
  }
  return "polling off";
}

// Internal texts of the serial and packet layers (as they appear inside a
// log line) and what they mean for a technician; the first row whose text
// the line holds decides.
struct Explanation {
  const char* internal;
  const char* plain;
};
constexpr Explanation kExplanations[] = {
    {"::sc_Write WriteFile failed",
     "Tarkon could not send on the port: the adapter was unplugged, the line hung up, or the port's driver failed."},
    {"::sc_Read ReadFile failed",
     "Tarkon could not read from the port: the adapter was unplugged, the line hung up, or the port's driver failed."},
    {"::sc_Write FlushFileBuffers failed",
     "The port did not pass the request on to the line; the adapter may have been unplugged."},
    {"sc_SetSettings:", "The port refused the line settings (baud rate, data bits, parity, stop bits, time-outs)."},
    {"sc_PurgeBuffers:", "The port's buffers could not be cleared; the adapter may have been unplugged."},
    {"sc_Close:", "The port did not close cleanly; it is released all the same."},
    {"dcs_ReadHeader timeout waiting for STX",
     "The sensor did not answer within 1 second. Check its power and cable, and that address, baud rate and check "
     "mode match the sensor's."},
    {"did not receive complete packet",
     "The sensor's reply stopped part way: noise on the line, a loose cable, or a baud rate that does not match."},
    {"dcs_WritePacket could not write complete packet",
     "The request did not go out whole within 1 second: the port or its adapter is stuck."},
    {"detected an invalid checksum",
     "A reply arrived damaged (its check did not match): noise on the line, or the sensor uses the other check "
     "mode."},
    {"received incorrect packet ID",
     "The reply answered another request: a late reply, or a second sensor at the same address."},
};

}  // namespace

std::string SensorName(const std::string& model, const std::string& serial) {
  const std::string shown = PrintableText(serial);
  if (shown.empty()) return model;
  const bool digitFirst = std::isdigit(static_cast<unsigned char>(shown[0])) != 0;
  return model + (digitFirst ? " SN" : " SN ") + shown;
}

std::string PortDisplay(const std::string& portName, const std::string& device, const std::string& byId) {
  const std::string name = portName.empty() ? device : portName;
  if (IsComName(name) && !device.empty() && device != name) return name + " (" + device + ")";
  if (!byId.empty() && byId != name) return name + " (" + BaseName(byId) + ")";
  return name;
}

std::string LinkStatusText(const LinkFacts& f) {
  if (!f.connected) return "Not connected";
  std::string text = PortDisplay(f.portName, f.device, f.byId);
  if (!f.gateway.empty()) {
    char roundTrip[32];
    std::snprintf(roundTrip, sizeof roundTrip, "%.1f ms", f.roundTripUs / 1000.0);
    text += kSeparator + std::string("gateway ") + f.gateway +
            (f.rawTcp ? ", raw TCP: the gateway sets the line" : ", RFC 2217") + ", round trip " + roundTrip +
            ", allowance " + std::to_string(f.allowanceMs) + " ms";
  }
  text += kSeparator + std::to_string(f.baudRate) + " bit/s";
  text += kSeparator + std::string("address ") + std::to_string(f.address);
  text += kSeparator + std::string(f.checkMode == 1 ? "CRC" : "Checksum");
  text += kSeparator + SensorOfFacts(f);
  text += kSeparator + std::string(PollingWord(f.polling));
  text += kSeparator + std::string("replies ") + std::to_string(f.good) + " good, " + std::to_string(f.failed) +
          " failed (" + std::to_string(f.failedLastMinute) + " in the last minute)";
  return text;
}

std::string LinkWindowTitle(const LinkFacts& f) {
  if (!f.connected) return std::string();
  const std::string port = f.portName.empty() ? f.device : f.portName;
  return "Tarkon \xE2\x80\x94 " + SensorOfFacts(f) + " on " + port;
}

void ReplyCounter::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  good_ = failed_ = 0;
  inARow_ = 0;
  recentFailures_.clear();
}

void ReplyCounter::Count(bool ok, Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (ok) {
    ++good_;
    inARow_ = 0;
    return;
  }
  ++failed_;
  ++inARow_;
  recentFailures_.push_back(now);
  while (!recentFailures_.empty() && now - recentFailures_.front() > kMinute) recentFailures_.pop_front();
}

uint64_t ReplyCounter::good() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return good_;
}

uint64_t ReplyCounter::failed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failed_;
}

uint32_t ReplyCounter::failedInARow() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return inARow_;
}

uint64_t ReplyCounter::FailedWithinLastMinute(Clock::time_point now) const {
  std::lock_guard<std::mutex> lock(mutex_);
  while (!recentFailures_.empty() && now - recentFailures_.front() > kMinute) recentFailures_.pop_front();
  return recentFailures_.size();
}

std::string PlainExplanation(const std::string& line) {
  for (const Explanation& row : kExplanations)
    if (line.find(row.internal) != std::string::npos) return std::string("In plain words: ") + row.plain;
  return std::string();
}

std::string LogExplainer::ExplanationFor(const std::string& line, Clock::time_point now) {
  std::string plain = PlainExplanation(line);
  if (plain.empty()) return plain;
  if (plain == last_ && now - lastTime_ < kMinute) return std::string();
  last_ = plain;
  lastTime_ = now;
  return plain;
}
