#include "serial/serial_port.h"

#include <algorithm>
#include <cstdint>

#include "serial/counter.h"
#include "serial/deadline_timer.h"
#include "serial/port_resolver.h"

namespace {

constexpr uint32_t kConnectSettleMs = 250;
constexpr uint32_t kDrainSettleMs = 100;
constexpr size_t kDrainMaxBytes = 2048;
constexpr uint32_t kReopenPauseMs = 250;

}  // namespace

SerialPort::~SerialPort() {
  if (IsOpen()) Disconnect();
}

bool SerialPort::Connect(unsigned port, int32_t baudRate, int32_t parity, int32_t stopBits,
                         int32_t dataBits, int32_t writeTimeoutMs, int32_t readTimeoutMs) {
  if (!BeginConnect(baudRate, parity, stopBits, dataBits, writeTimeoutMs, readTimeoutMs)) return false;
  return FinishConnect(sc_Open(port, &error_), PortResolver::Resolve(port));
}

bool SerialPort::ConnectDevice(const std::string& device, int32_t baudRate, int32_t parity,
                               int32_t stopBits, int32_t dataBits, int32_t writeTimeoutMs,
                               int32_t readTimeoutMs) {
  if (!BeginConnect(baudRate, parity, stopBits, dataBits, writeTimeoutMs, readTimeoutMs)) return false;
  return FinishConnect(sc_OpenDevice(device, &error_), device);
}

bool SerialPort::BeginConnect(int32_t baudRate, int32_t parity, int32_t stopBits, int32_t dataBits,
                              int32_t writeTimeoutMs, int32_t readTimeoutMs) {
  if (IsOpen()) {
    const bool closed = sc_Close(handle_, &error_);
    handle_ = kInvalidSerialHandle;
    device_.clear();
    network_ = false;
    if (!closed) return false;
  }
  settings_.baudRate = baudRate;
  settings_.parity = parity;
  settings_.stopBits = stopBits;
  settings_.dataBits = dataBits;
  settings_.writeTimeoutMs = writeTimeoutMs;
  settings_.readTimeoutMs = readTimeoutMs;
  return true;
}

bool SerialPort::FinishConnect(SerialHandle handle, const std::string& device) {
  if (handle == kInvalidSerialHandle) return false;
  handle_ = handle;
  device_ = device;
  network_ = sc_NetworkFacts(handle_, &networkFacts_);
  // A port that opened but cannot be configured stays open, as the owner
  // expects: its disconnect closes it.
  if (!sc_SetSettings(handle_, settings_, &error_)) return false;
  if (!sc_PurgeBuffers(handle_, &error_)) return false;
  SleepMs(kConnectSettleMs);
  return true;
}

bool SerialPort::Disconnect() {
  const bool closed = sc_Close(handle_, &error_);
  handle_ = kInvalidSerialHandle;
  device_.clear();
  network_ = false;
  return closed;
}

bool SerialPort::ReopenNetworkLine(uint32_t withinMs) {
  if (!network_) return false;
  if (!sc_LineGone(handle_)) return true;
  const std::string device = device_;
  const SerialSettings settings = settings_;
  DeadlineTimer timer;
  timer.Start(uint64_t{withinMs} * 1000);
  for (;;) {
    if (ConnectDevice(device, settings.baudRate, settings.parity, settings.stopBits, settings.dataBits,
                      settings.writeTimeoutMs, settings.readTimeoutMs))
      return true;
    if (timer.RemainingMs() <= kReopenPauseMs) return false;
    SleepMs(kReopenPauseMs);
  }
}

bool SerialPort::ApplyBaudRate(int32_t baudRate) {
  settings_.baudRate = baudRate;
  return sc_SetSettings(handle_, settings_, &error_);
}

bool SerialPort::Write(const void* buffer, size_t count, size_t* done, uint32_t budgetMs) {
  return sc_Write(handle_, buffer, count, done, budgetMs, &error_);
}

bool SerialPort::Read(void* buffer, size_t count, size_t* done, uint32_t budgetMs) {
  return sc_Read(handle_, buffer, count, done, budgetMs, &error_);
}

bool SerialPort::GetLineStatus(uint32_t* errors, LineStatus* status) {
  return sc_ClearError(handle_, errors, status);
}

bool SerialPort::Drain() {
  SleepMs(kDrainSettleMs);
  sc_PurgeBuffers(handle_, &error_);
  LineStatus status;
  if (!GetLineStatus(nullptr, &status) || status.inQueue == 0) return true;
  uint8_t discard[kDrainMaxBytes];
  size_t done = 0;
  // The bytes are already waiting, so one platform read collects them.
  Read(discard, std::min<size_t>(status.inQueue, kDrainMaxBytes), &done, 0);
  return true;
}
