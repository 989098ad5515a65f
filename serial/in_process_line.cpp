#include "serial/in_process_line.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <optional>
#include <mutex>
#include <thread>
#include <type_traits>

#include "serial/in_process_host.h"
#include "serial/network_host.h"
#include "serial/serial_comm.h"

using Clock = InProcessLine::Clock;

namespace {

// One byte on the wire: readable at the far side from `at` on.
struct TimedByte {
  uint8_t value;
  Clock::time_point at;
};

// Bytes in flight one way, each arriving one byte time after the one
// before (or after the moment it was sent, when the wire was idle).
struct Wire {
  std::deque<TimedByte> bytes;
  Clock::time_point free{};

  void Send(const uint8_t* data, size_t count, int32_t baudRate, Clock::time_point now) {
    const auto byteTime = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(10.0 / static_cast<double>(std::max(baudRate, 1))));
    Clock::time_point at = std::max(free, now);
    for (size_t i = 0; i < count; ++i) {
      at += byteTime;
      bytes.push_back({data[i], at});
    }
    free = at;
  }
  size_t Arrived(Clock::time_point now) const {
    size_t n = 0;
    while (n < bytes.size() && bytes[n].at <= now) ++n;
    return n;
  }
  std::optional<Clock::time_point> NextArrival() const {
    if (bytes.empty()) return std::nullopt;
    return bytes.front().at;
  }
  void Clear() {
    bytes.clear();
    free = {};
  }
};

}  // namespace

struct InProcessLineState {
  std::mutex mutex;
  std::condition_variable changed;
  Wire toFar;
  Wire toHost;
  bool hostOpen = false;
  bool unplugged = false;
  bool destroyed = false;
  bool wake = false;
  uint64_t plugCount = 0;  // a handle opened before an unplug stays gone
  int32_t baudRate = 57600;
  uint32_t readTimeoutMs = 100;
  uint32_t writeTimeoutMs = 100;
};

namespace {

constexpr char kPrefix[] = "virtual-line:";

struct HostHandle {
  std::shared_ptr<InProcessLineState> line;
  uint64_t plugCount = 0;
};

struct Registry {
  std::mutex mutex;
  std::map<std::string, std::weak_ptr<InProcessLineState>> lines;
  std::map<SerialHandle, HostHandle> handles;
  unsigned nextLine = 1;
  SerialHandle nextHandle = -2;
};

Registry& Reg() {
  static Registry registry;
  return registry;
}

bool Find(SerialHandle handle, HostHandle& out) {
  Registry& reg = Reg();
  const std::lock_guard<std::mutex> guard(reg.mutex);
  const auto it = reg.handles.find(handle);
  if (it == reg.handles.end()) return false;
  out = it->second;
  return true;
}

// Called with the line's lock held.
bool Gone(const InProcessLineState& line, const HostHandle& host) {
  return line.destroyed || line.unplugged || line.plugCount != host.plugCount;
}

void LineGoneError(SerialError* err, const char* text) {
  SetSerialError(err, kSerialUnknownLineError, text);
  const char* description = nullptr;
  err->code = LineErrorCode(kLineIo, &description);
  AppendSerialErrorDetail(err, description);
}

void Take(Wire& wire, size_t count, uint8_t* out) {
  for (size_t i = 0; i < count; ++i) {
    out[i] = wire.bytes.front().value;
    wire.bytes.pop_front();
  }
}

}  // namespace

// ---------------------------------------------------------------- the line

InProcessLine::InProcessLine() : state_(std::make_shared<InProcessLineState>()) {
  Registry& reg = Reg();
  const std::lock_guard<std::mutex> guard(reg.mutex);
  name_ = kPrefix + std::to_string(reg.nextLine++);
  reg.lines[name_] = state_;
}

InProcessLine::~InProcessLine() {
  {
    Registry& reg = Reg();
    const std::lock_guard<std::mutex> guard(reg.mutex);
    reg.lines.erase(name_);
  }
  const std::lock_guard<std::mutex> guard(state_->mutex);
  state_->destroyed = true;
  state_->changed.notify_all();
}

bool InProcessLine::IsName(const std::string& device) { return device.rfind(kPrefix, 0) == 0; }

std::vector<uint8_t> InProcessLine::TakeFromHost(Clock::time_point until) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  for (;;) {
    const Clock::time_point now = Clock::now();
    const size_t arrived = state_->toFar.Arrived(now);
    if (arrived > 0 || state_->wake || now >= until) {
      state_->wake = false;
      std::vector<uint8_t> bytes(arrived);
      Take(state_->toFar, arrived, bytes.data());
      return bytes;
    }
    Clock::time_point wakeAt = until;
    if (auto next = state_->toFar.NextArrival(); next && *next < wakeAt) wakeAt = *next;
    state_->changed.wait_until(lock, wakeAt);
  }
}

void InProcessLine::SendToHost(const uint8_t* bytes, size_t count) {
  const std::lock_guard<std::mutex> guard(state_->mutex);
  if (state_->unplugged) return;  // nobody at the other end of the wire
  state_->toHost.Send(bytes, count, state_->baudRate, Clock::now());
  state_->changed.notify_all();
}

int32_t InProcessLine::HostBaudRate() const {
  const std::lock_guard<std::mutex> guard(state_->mutex);
  return state_->hostOpen ? state_->baudRate : 0;
}

bool InProcessLine::HostOpen() const {
  const std::lock_guard<std::mutex> guard(state_->mutex);
  return state_->hostOpen;
}

void InProcessLine::Wake() {
  const std::lock_guard<std::mutex> guard(state_->mutex);
  state_->wake = true;
  state_->changed.notify_all();
}

void InProcessLine::Unplug() {
  const std::lock_guard<std::mutex> guard(state_->mutex);
  state_->unplugged = true;
  state_->toFar.Clear();
  state_->toHost.Clear();
  state_->changed.notify_all();
}

void InProcessLine::Replug() {
  const std::lock_guard<std::mutex> guard(state_->mutex);
  if (!state_->unplugged) return;
  state_->unplugged = false;
  state_->hostOpen = false;
  ++state_->plugCount;
  state_->changed.notify_all();
}

// ---------------------------------------------------------------- the host

static_assert(std::is_same_v<InProcessHandle, SerialHandle>, "in_process_host.h must use serial_comm.h's handle");

bool IsInProcessLineName(const std::string& device) { return InProcessLine::IsName(device); }

bool IsInProcessHandle(SerialHandle handle) { return handle <= -2 && handle > kNetworkHandleFirst; }

SerialHandle InProcessOpen(const std::string& name, SerialError* err) {
  Registry& reg = Reg();
  const std::lock_guard<std::mutex> guard(reg.mutex);
  const auto it = reg.lines.find(name);
  std::shared_ptr<InProcessLineState> line = it == reg.lines.end() ? nullptr : it->second.lock();
  char text[sizeof(err->text)];
  std::snprintf(text, sizeof(text), "sc_Open: could not open %s", name.c_str());
  if (line == nullptr) {
    SetSerialError(err, kSerialCannotOpen, text);
    AppendSystemErrorText(err, ENOENT);
    return kInvalidSerialHandle;
  }
  const std::lock_guard<std::mutex> lineGuard(line->mutex);
  if (line->unplugged || line->hostOpen) {  // exclusive, as a port
    SetSerialError(err, kSerialCannotOpen, text);
    AppendSystemErrorText(err, line->unplugged ? ENOENT : EBUSY);
    return kInvalidSerialHandle;
  }
  line->hostOpen = true;
  const SerialHandle handle = reg.nextHandle--;
  reg.handles[handle] = HostHandle{line, line->plugCount};
  return handle;
}

bool InProcessClose(SerialHandle handle) {
  HostHandle host;
  {
    Registry& reg = Reg();
    const std::lock_guard<std::mutex> guard(reg.mutex);
    const auto it = reg.handles.find(handle);
    if (it == reg.handles.end()) return true;
    host = it->second;
    reg.handles.erase(it);
  }
  const std::lock_guard<std::mutex> guard(host.line->mutex);
  if (host.line->plugCount == host.plugCount) host.line->hostOpen = false;
  host.line->changed.notify_all();
  return true;
}

bool InProcessSetSettings(SerialHandle handle, const SerialSettings& settings, SerialError* err) {
  HostHandle host;
  if (!Find(handle, host)) {
    SetSerialError(err, kSerialInvalidArgument, "sc_SetSettings: an invalid argument was passed.");
    return false;
  }
  if (settings.baudRate <= 0 || settings.dataBits < 5 || settings.dataBits > 8) {
    SetSerialError(err, kSerialPlatformCall, "sc_SetSettings: SetCommState failed");
    AppendSystemErrorText(err, EINVAL);
    return false;
  }
  if (settings.readTimeoutMs < 0 || settings.writeTimeoutMs < 0) {
    SetSerialError(err, kSerialPlatformCall, "sc_SetSettings: SetCommTimeouts failed");
    AppendSystemErrorText(err, EINVAL);
    return false;
  }
  const std::lock_guard<std::mutex> guard(host.line->mutex);
  host.line->baudRate = settings.baudRate;
  host.line->readTimeoutMs = static_cast<uint32_t>(settings.readTimeoutMs);
  host.line->writeTimeoutMs = static_cast<uint32_t>(settings.writeTimeoutMs);
  return true;
}

bool InProcessPurge(SerialHandle handle, bool both) {
  HostHandle host;
  if (!Find(handle, host)) return false;
  const std::lock_guard<std::mutex> guard(host.line->mutex);
  host.line->toHost.Clear();
  if (both) host.line->toFar.Clear();
  return true;
}

bool InProcessRead(SerialHandle handle, void* buffer, size_t count, size_t* done, uint32_t budgetMs,
                   SerialError* err) {
  HostHandle host;
  if (!Find(handle, host)) {
    SetSerialError(err, kSerialInvalidArgument, "sc_Read: an invalid argument was passed.");
    return false;
  }
  auto* out = static_cast<uint8_t*>(buffer);
  InProcessLineState& line = *host.line;
  std::unique_lock<std::mutex> lock(line.mutex);
  const Clock::time_point start = Clock::now();
  const Clock::time_point budgetEnd = start + std::chrono::milliseconds(budgetMs);
  // One "platform read" lasts the read time-out (0: the rest of the
  // budget); calls follow each other until the budget is spent, tested
  // after each call.
  const auto callLength = [&](Clock::time_point now) {
    return line.readTimeoutMs == 0 ? std::max(budgetEnd - now, Clock::duration::zero())
                                   : Clock::duration(std::chrono::milliseconds(line.readTimeoutMs));
  };
  Clock::time_point callEnd = start + callLength(start);
  for (;;) {
    if (Gone(line, host)) {
      LineGoneError(err, "::sc_Read ReadFile failed");
      return false;
    }
    const Clock::time_point now = Clock::now();
    const size_t take = std::min(count - *done, line.toHost.Arrived(now));
    Take(line.toHost, take, out + *done);
    *done += take;
    if (*done == count) return true;
    if (now >= callEnd) {
      if (now >= budgetEnd) return true;
      callEnd = now + callLength(now);
      if (callEnd <= now) return true;
    }
    Clock::time_point wakeAt = callEnd;
    if (auto next = line.toHost.NextArrival(); next && *next < wakeAt) wakeAt = *next;
    line.changed.wait_until(lock, wakeAt);
  }
}

bool InProcessWrite(SerialHandle handle, const void* buffer, size_t count, size_t* done, uint32_t,
                    SerialError* err) {
  HostHandle host;
  if (!Find(handle, host)) {
    SetSerialError(err, kSerialInvalidArgument, "sc_Write: an invalid argument was passed.");
    return false;
  }
  Clock::time_point sent;
  {
    const std::lock_guard<std::mutex> guard(host.line->mutex);
    if (Gone(*host.line, host)) {
      LineGoneError(err, "::sc_Write WriteFile failed");
      return false;
    }
    host.line->toFar.Send(static_cast<const uint8_t*>(buffer), count, host.line->baudRate, Clock::now());
    sent = host.line->toFar.free;
    host.line->changed.notify_all();
  }
  *done = count;
  // The flush: back when the last byte has crossed the wire.
  std::this_thread::sleep_until(sent);
  return true;
}

bool InProcessClearError(SerialHandle handle, uint32_t* errors, LineStatus* status) {
  HostHandle host;
  if (!Find(handle, host)) {
    errno = EBADF;
    return false;
  }
  const std::lock_guard<std::mutex> guard(host.line->mutex);
  const Clock::time_point now = Clock::now();
  if (errors != nullptr) *errors = Gone(*host.line, host) ? uint32_t{kLineIo} : 0u;
  if (status != nullptr) {
    status->inQueue = static_cast<uint32_t>(host.line->toHost.Arrived(now));
    status->outQueue = static_cast<uint32_t>(host.line->toFar.bytes.size() - host.line->toFar.Arrived(now));
  }
  return true;
}

InputWait InProcessWaitInput(SerialHandle handle, uint32_t ms) {
  HostHandle host;
  if (!Find(handle, host)) return InputWait::kGone;
  InProcessLineState& line = *host.line;
  std::unique_lock<std::mutex> lock(line.mutex);
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (line.toHost.Arrived(now) > 0) return InputWait::kInput;
    if (Gone(line, host)) return InputWait::kGone;
    if (now >= end) return InputWait::kTimeout;
    Clock::time_point wakeAt = end;
    if (auto next = line.toHost.NextArrival(); next && *next < wakeAt) wakeAt = *next;
    line.changed.wait_until(lock, wakeAt);
  }
}

bool InProcessLineGone(SerialHandle handle) {
  HostHandle host;
  if (!Find(handle, host)) return true;
  const std::lock_guard<std::mutex> guard(host.line->mutex);
  return Gone(*host.line, host);
}
