#include "protocol/sensor_commands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "protocol/command_ids.h"
#include "protocol/frame.h"
#include "serial/counter.h"

namespace {

// The message buffer holds 512 characters including the terminator.
constexpr size_t kMessageCapacity = 511;

// Pauses the sensor needs after some commands.
constexpr uint32_t kBaudRatePauseMs = 300;
constexpr uint32_t kResetPauseMs = 1000;
constexpr uint32_t kFlashProtectPauseMs = 50;

// Rate code the sensor expects for a baud rate, or -1 for a rate it lacks.
int RateCode(int32_t baudRate) {
  switch (baudRate) {
    case 9600: return 0;
    case 19200: return 1;
    case 38400: return 2;
    case 57600: return 3;
    default: return -1;
  }
}

uint16_t HostWord(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }

void PutHostWord(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value & 0xFF);
  at[1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace

// ---------------------------------------------------------------------------
// Housekeeping and the common patterns

void SensorCommands::ClearReplyBuffers() {
  // The wane parameters, hold scans and board time-out survive: the settings
  // dialogs keep showing them across a reconnect.
  std::memset(krv04Setup, 0, sizeof krv04Setup);
  std::memset(scanBuffer, 0, sizeof scanBuffer);
  std::fill(std::begin(scanReplyLength), std::end(scanReplyLength), size_t{0});
  std::memset(serialNumber, 0, sizeof serialNumber);
  std::memset(hlaResult, 0, sizeof hlaResult);
  std::memset(analogFactors, 0, sizeof analogFactors);
  std::memset(configVars, 0, sizeof configVars);
  std::memset(sensorSetup, 0, sizeof sensorSetup);
  std::memset(krv02State, 0, sizeof krv02State);
  std::memset(sensorState, 0, sizeof sensorState);
  std::memset(errorState, 0, sizeof errorState);
  std::memset(version, 0, sizeof version);
  std::memset(krv04Version, 0, sizeof krv04Version);
  std::memset(modelName, 0, sizeof modelName);
  std::memset(bfState, 0, sizeof bfState);
  minLP = 0;
  maxLP = 0;
  laserPower = 0;
  peak = 0;
}

void SensorCommands::LogSuccess(const char* name) {
  if (sink_ == nullptr) return;
  sink_->CommandOutcome(true);
  if (!verbose_) return;
  sink_->LogLine(kLogSuccess, std::string("Command ") + name + " completed");
}

void SensorCommands::LogFailure(const char* name, const char* reason) {
  message_ = std::string("Command ") + name + " failed. " + reason;
  if (message_.size() > kMessageCapacity) message_.resize(kMessageCapacity);
  if (sink_ == nullptr) return;
  sink_->CommandOutcome(false);
  sink_->LogLine(kLogError, message_);
}

void SensorCommands::Log(const char* name, bool ok) {
  if (ok) {
    LogSuccess(name);
  } else {
    LogFailure(name, link_->failureText().c_str());
  }
}

bool SensorCommands::HaveLink(const char* name) {
  if (link_ != nullptr) return true;
  LogFailure(name, "No connection to a sensor.");
  return false;
}

void SensorCommands::ToWireOrder(uint8_t* record, std::initializer_list<size_t> words) const {
  if (!crc()) return;
  for (size_t offset : words) frame::SwapWord(record + offset);
}

int SensorCommands::Query(const char* name, uint8_t command, uint8_t* area, size_t length,
                          std::initializer_list<size_t> words, bool log) {
  if (link_ == nullptr) {
    if (log) HaveLink(name);
    return 0;
  }
  // The reply is decoded in a scratch copy so that a failed query leaves the
  // area exactly as it was.
  uint8_t reply[frame::kBufferSize] = {};
  const bool ok = link_->dcs_Query(wireAddress(), checkMode_, command, nullptr, 0, reply, length);
  if (ok) {
    if (crc()) {
      for (size_t offset : words) frame::SwapWord(reply + offset);
    }
    std::memcpy(area, reply, length);
  }
  if (log) Log(name, ok);
  return ok ? 1 : 0;
}

void SensorCommands::ReadAcknowledgement(uint8_t command, int32_t checkMode) {
  // The acknowledgement only keeps the line clean for the next request; what
  // it says is never looked at.
  size_t length = 0;
  link_->dcs_Receive(wireAddress(), checkMode, command, ack_, &length);
}

int SensorCommands::Setting(const char* name, uint8_t command, const uint8_t* data, size_t length,
                            bool ack, uint32_t pauseMs) {
  if (!HaveLink(name)) return 0;
  const bool ok = link_->dcs_Send(wireAddress(), checkMode_, command, data, length);
  // Even a request that did not go out completely may have reached the
  // sensor, so its acknowledgement is still taken off the line.
  if (ack && crc()) ReadAcknowledgement(command, frame::kCrc);
  if (pauseMs > 0) link_->Pause(pauseMs);
  Log(name, ok);
  return ok ? 1 : 0;
}

int SensorCommands::SettingByte(const char* name, uint8_t command, uint8_t value) {
  return Setting(name, command, &value, 1, true);
}

int SensorCommands::SettingWord(const char* name, uint8_t command, int32_t value) {
  uint8_t data[2];
  PutHostWord(data, static_cast<uint16_t>(value & 0xFFFF));
  ToWireOrder(data, {0});
  return Setting(name, command, data, sizeof data, true);
}

// ---------------------------------------------------------------------------
// Identification and communication

int SensorCommands::GetModelName(bool quiet) {
  return Query("GetModelName", cmd::GetModelName, modelName, sizeof modelName, {}, !quiet);
}

int SensorCommands::GetSerialNum() {
  return Query("GetSerialNum", cmd::GetSerialNum, serialNumber, sizeof serialNumber, {});
}

int SensorCommands::GetVersion() {
  const int ok = Query("GetVersion", cmd::GetVersion, version, sizeof version, {0});
  if (ok) {
    // Firmware of revision C counts the averaging period in finer steps.
    if (version[4] == 'C') {
      versionDivisor_ = 1000.0;
      versionValue_ = 1500;
      versionFormat_ = "%2.3f";
    } else {
      versionDivisor_ = 100.0;
      versionValue_ = 60;
      versionFormat_ = "%2.2f";
    }
  }
  return ok;
}

int SensorCommands::GetKRV04Version() {
  return Query("GetKRV04Version", cmd::GetKRV04Version, krv04Version, sizeof krv04Version, {0});
}

int SensorCommands::SetBaudRate(int32_t baudRate) {
  const int code = RateCode(baudRate);
  if (code < 0) return 0;
  if (!HaveLink("SetBaudRate")) return 0;
  const auto data = static_cast<uint8_t>(code);
  const bool ok = link_->dcs_Send(wireAddress(), checkMode_, cmd::SetBaudRate, &data, 1);
  // The sensor switches its rate after answering; give it time before the
  // acknowledgement, which still comes at the old rate.
  link_->Pause(kBaudRatePauseMs);
  if (crc()) ReadAcknowledgement(cmd::SetBaudRate, frame::kCrc);
  Log("SetBaudRate", ok);
  return ok ? 1 : 0;
}

int SensorCommands::SetSensorAddress(uint8_t destination, const uint8_t payload[9]) {
  static const char* const kName = "SetSensorAddress";
  if (!HaveLink(kName)) return 0;
  const bool ok = link_->dcs_Send(destination, checkMode_, cmd::SetSensorAddress, payload, 9);
  if (crc()) ReadAcknowledgement(cmd::SetSensorAddress, frame::kCrc);
  Log(kName, ok);
  return ok ? 1 : 0;
}

int SensorCommands::SetSensorCheckMode(int32_t mode) {
  static const char* const kName = "SetSensorCheckMode";
  if (!HaveLink(kName)) return 0;
  // On the wire 0 selects CRC mode and 1 checksum mode: the inverse of the
  // host's numbering.
  uint8_t data;
  if (mode == frame::kCrc) {
    data = 0;
  } else if (mode == frame::kChecksum) {
    data = 1;
  } else {
    data = static_cast<uint8_t>(mode & 0xFF);
  }
  const bool ok = link_->dcs_Send(wireAddress(), checkMode_, cmd::SetSensorCheckMode, &data, 1);
  Log(kName, ok);
  // Whatever the sensor sends while it switches is in a mode neither side
  // can rely on: wait and throw it away.
  if (ok) link_->dcs_Recover();
  return ok ? 1 : 0;
}

int SensorCommands::SetDefaults() {
  return Setting("SetDefaults", cmd::SetDefaults, nullptr, 0, false);
}

int SensorCommands::ResetSensor() {
  static const char* const kName = "ResetSensor";
  if (!HaveLink(kName)) return 0;
  const bool ok = link_->dcs_Send(wireAddress(), checkMode_, cmd::ResetSensor, nullptr, 0);
  // The sensor is deaf while it restarts.
  if (ok) link_->Pause(kResetPauseMs);
  Log(kName, ok);
  return ok ? 1 : 0;
}

int SensorCommands::SetSerialNum(const uint8_t serial[16]) {
  return Setting("SetSerialNum", cmd::SetSerialNum, serial, 16, true);
}

int SensorCommands::SetModelName(const uint8_t model[16]) {
  return Setting("SetModelName", cmd::SetModelName, model, 16, true);
}

// ---------------------------------------------------------------------------
// Measurement, scan and diagnostics

int SensorCommands::SetLaserOn() {
  // The sensor ignores the two data bytes; send them as zeros.
  const uint8_t data[2] = {0, 0};
  return Setting("SetLaserOn", cmd::SetLaserOn, data, sizeof data, false);
}

int SensorCommands::SetLaserOff() { return Setting("SetLaserOff", cmd::SetLaserOff, nullptr, 0, false); }

int SensorCommands::StartScan() { return Setting("StartScan", cmd::StartScan, nullptr, 0, false); }

int SensorCommands::StopScan() { return Setting("StopScan", cmd::StopScan, nullptr, 0, false); }

int SensorCommands::ApplyScanFilter() {
  return Setting("ApplyScanFilter", cmd::ApplyScanFilter, nullptr, 0, false);
}

int SensorCommands::HLAScanResult() {
  return Query("HLAScanResult", cmd::HLAScanResult, hlaResult, sizeof hlaResult, {0, 2, 4, 6, 8});
}

int SensorCommands::GetScanBufferPortion(int32_t start, int32_t count) {
  static const char* const kName = "GetScanBufferPortion";
  // Both values travel as signed 16-bit words. A negative one would ask for
  // samples outside the buffer (or more replies than there are slots), so it
  // is refused like a request beyond the end.
  const auto first = static_cast<int16_t>(start & 0xFFFF);
  const auto samples = static_cast<int16_t>(count & 0xFFFF);
  if (first < 0 || samples < 0 || first + samples > kScanBufferCapacity) return 0;
  if (!HaveLink(kName)) return 0;

  // Start and count are sent least significant byte first in both modes.
  uint8_t data[4];
  PutHostWord(data, static_cast<uint16_t>(first));
  PutHostWord(data + 2, static_cast<uint16_t>(samples));
  if (!link_->dcs_Send(wireAddress(), checkMode_, cmd::GetScanBufferPortion, data, sizeof data)) {
    LogFailure(kName, link_->errorText());
    return 0;
  }
  LogSuccess(kName);

  std::fill(std::begin(scanReplyLength), std::end(scanReplyLength), size_t{0});
  const size_t replies =
      (static_cast<size_t>(samples) + kScanSamplesPerReply - 1) / kScanSamplesPerReply;
  for (size_t i = 0; i < replies; ++i) {
    uint8_t reply[256] = {};
    size_t length = 0;
    if (!link_->dcs_Receive(wireAddress(), checkMode_, cmd::GetScanBufferPortion, reply, &length)) {
      // A reply that does not come is the usual way a portion fails; without
      // this line the scan buffer read would end empty with no reason given.
      LogFailure(kName, link_->errorText());
      return 0;
    }
    length = std::min(length, kScanSlotSize);
    std::memcpy(scanBuffer + i * kScanSlotSize, reply, length);
    scanReplyLength[i] = length;
  }
  return 1;
}

int SensorCommands::GetErrorState() {
  return Query("GetErrorState", cmd::GetErrorState, errorState, sizeof errorState,
               {0, 2, 4, 6, 8, 10});
}

int SensorCommands::GetKRV02State() {
  return Query("GetKRV02State", cmd::GetKRV02State, krv02State, sizeof krv02State,
               {0, 2, 4, 6, 8, 10, 12});
}

int SensorCommands::GetSensorState() {
  return Query("GetSensorState", cmd::GetSensorState, sensorState, sizeof sensorState,
               {0, 2, 4, 6, 8, 10, 12});
}

int SensorCommands::GetKRV04BFState() {
  // Polled on every tick of the board-flipper view: no log line either way.
  return Query("GetKRV04BFState", cmd::GetSensorState, bfState, sizeof bfState,
               {0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20}, false);
}

int SensorCommands::GetPeak() {
  uint8_t reply[2] = {};
  PutHostWord(reply, peak);
  const int ok = Query("GetPeak", cmd::GetPeak, reply, sizeof reply, {0});
  if (ok) peak = HostWord(reply);
  return ok;
}

int SensorCommands::GetLaserPower() {
  return Query("GetLaserPower", cmd::GetLaserPower, &laserPower, 1, {});
}

// ---------------------------------------------------------------------------
// Settings with one value

int SensorCommands::SetThreshold(int32_t value) {
  return SettingByte("SetThreshold", cmd::SetThreshold, static_cast<uint8_t>(value & 0xFF));
}

int SensorCommands::SetMinLP(int32_t value) {
  return SettingByte("SetMinLP", cmd::SetMinLP, static_cast<uint8_t>(value & 0xFF));
}

int SensorCommands::SetMaxLP(int32_t value) {
  return SettingByte("SetMaxLP", cmd::SetMaxLP, static_cast<uint8_t>(value & 0xFF));
}

int SensorCommands::SetKRV04Mode(int32_t value) {
  return SettingByte("SetKRV04Mode", cmd::SetKRV04Mode, static_cast<uint8_t>(value & 0xFF));
}

int SensorCommands::SetOutOfRangeMode(int32_t value) {
  const uint8_t flag = (value & 0xFF) != 0 ? 1 : 0;
  return SettingByte("SetOutOfRangeMode", cmd::SetOutOfRangeMode, flag);
}

int SensorCommands::SetAnalogMinRange(int32_t value) {
  return SettingWord("SetAnalogMinRange", cmd::SetAnalogMinRange, value);
}

int SensorCommands::SetAnalogMaxRange(int32_t value) {
  return SettingWord("SetAnalogMaxRange", cmd::SetAnalogMaxRange, value);
}

int SensorCommands::SetAnalogMinVolts(int32_t value) {
  return SettingWord("SetAnalogMinVolts", cmd::SetAnalogMinVolts, value);
}

int SensorCommands::SetAnalogMaxVolts(int32_t value) {
  return SettingWord("SetAnalogMaxVolts", cmd::SetAnalogMaxVolts, value);
}

int SensorCommands::SetAnalogOutOfRange(int32_t value) {
  return SettingWord("SetAnalogOutOfRange", cmd::SetAnalogOutOfRange, value);
}

int SensorCommands::SetScanInterval(int32_t value) {
  return SettingWord("SetScanInterval", cmd::SetScanInterval, value);
}

int SensorCommands::SetMode(int32_t value) { return SettingWord("SetMode", cmd::SetMode, value); }

int SensorCommands::SetNumHoldScans(int32_t value) {
  return SettingWord("SetNumHoldScans", cmd::SetNumHoldScans, value);
}

int SensorCommands::SetBoardTimeout(int32_t value) {
  return SettingWord("SetBoardTimeout", cmd::SetBoardTimeout, value);
}

// ---------------------------------------------------------------------------
// Settings with a record

int SensorCommands::SetFilterFactors(const uint8_t record[6]) {
  uint8_t data[6];
  std::memcpy(data, record, sizeof data);
  ToWireOrder(data, {0, 2, 4});
  return Setting("SetFilterFactors", cmd::SetFilterFactors, data, sizeof data, true);
}

int SensorCommands::SetOffset(const uint8_t record[8]) {
  uint8_t data[8];
  std::memcpy(data, record, sizeof data);
  ToWireOrder(data, {0, 2, 4, 6});
  return Setting("SetOffset", cmd::SetOffset, data, sizeof data, true);
}

// The next three convert the caller's own record, which callers know to
// rebuild before using it again.
int SensorCommands::SetAnalogOuputFactors(uint8_t record[20]) {
  ToWireOrder(record, {0, 2, 4, 6, 8, 10});
  return Setting("SetAnalogOuputFactors", cmd::SetAnalogOuputFactors, record, 20, true);
}

int SensorCommands::WriteWaneParams(uint8_t record[12]) {
  ToWireOrder(record, {0, 2, 4, 10});
  return Setting("WriteWaneParams", cmd::WriteWaneParams, record, 12, true);
}

int SensorCommands::SetConfigVars(uint8_t record[10]) {
  ToWireOrder(record, {0, 2, 4, 6});
  return Setting("SetConfigVars", cmd::SetConfigVars, record, 10, true);
}

// ---------------------------------------------------------------------------
// Settings queries

int SensorCommands::GetSensorSetup() {
  return Query("GetSensorSetup", cmd::GetSensorSetup, sensorSetup, sizeof sensorSetup,
               {10, 13, 15, 17, 19, 21, 23, 25, 27, 29});
}

int SensorCommands::GetKRV04Setup() {
  return Query("GetKRV04Setup", cmd::GetSensorSetup, krv04Setup, sizeof krv04Setup,
               {12, 14, 16, 18, 20, 22, 24});
}

int SensorCommands::GetMinLP() { return Query("GetMinLP", cmd::GetMinLP, &minLP, 1, {}); }

int SensorCommands::GetMaxLP() { return Query("GetMaxLP", cmd::GetMaxLP, &maxLP, 1, {}); }

int SensorCommands::GetAnalogFactors() {
  return Query("GetAnalogFactors", cmd::GetAnalogFactors, analogFactors, sizeof analogFactors,
               {0, 2, 4, 6, 8, 10, 20});
}

int SensorCommands::ReadWaneParams() {
  return Query("ReadWaneParams", cmd::ReadWaneParams, waneParams, sizeof waneParams,
               {0, 2, 4, 10});
}

int SensorCommands::GetConfigVars() {
  return Query("GetConfigVars", cmd::GetConfigVars, configVars, sizeof configVars, {0, 2, 4, 6});
}

int SensorCommands::GetBoardTimeout() {
  uint8_t reply[2] = {};
  PutHostWord(reply, boardTimeout);
  const int ok = Query("GetBoardTimeout", cmd::GetBoardTimeout, reply, sizeof reply, {0});
  if (ok) boardTimeout = HostWord(reply);
  return ok;
}

int SensorCommands::GetNumHoldScans() {
  // Read as part of a settings refresh whose other queries report failures.
  uint8_t reply[2] = {};
  PutHostWord(reply, holdScans);
  const int ok = Query("GetNumHoldScans", cmd::GetNumHoldScans, reply, sizeof reply, {0}, false);
  if (ok) holdScans = HostWord(reply);
  return ok;
}

// ---------------------------------------------------------------------------
// Firmware and flash

int SensorCommands::WriteFlashProtect1(int32_t value) {
  const auto data = static_cast<uint8_t>(value & 0xFF);
  return Setting("WriteFlashProtect1", cmd::WriteFlashProtect1, &data, 1, false,
                 kFlashProtectPauseMs);
}

int SensorCommands::WriteFlashProtect2(int32_t value) {
  const auto data = static_cast<uint8_t>(value & 0xFF);
  return Setting("WriteFlashProtect2", cmd::WriteFlashProtect2, &data, 1, false,
                 kFlashProtectPauseMs);
}

int SensorCommands::UploadStart(const char* name, uint8_t command) {
  if (!HaveLink(name)) return 0;
  const bool ok = link_->dcs_Send(wireAddress(), checkMode_, command, nullptr, 0);
  // The sensor answers in either mode once its receiver is ready; the block
  // transfer must not begin before that.
  if (ok) ReadAcknowledgement(command, checkMode_);
  Log(name, ok);
  return ok ? 1 : 0;
}

int SensorCommands::UploadFPGA() { return UploadStart("UploadFPGA", cmd::UploadFPGA); }

int SensorCommands::UploadCode() { return UploadStart("UploadCode", cmd::UploadCode); }

int SensorCommands::UploadCalibration() {
  return UploadStart("UploadCalibration", cmd::UploadCalibration);
}
