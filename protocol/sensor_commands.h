#pragma once
// One operation per sensor command. Each builds one request, converts its
// 16-bit fields to the wire order of the check mode, exchanges it through the
// packet link, keeps the decoded reply in a reply area of its own and reports
// a failure as one log line. Operations return non-zero for success.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "protocol/log_sink.h"
#include "protocol/packet_link.h"

class SensorCommands {
 public:
  SensorCommands() = default;

  // Housekeeping (no traffic).
  void AttachLink(PacketLink* link) { link_ = link; }
  void UseAddress(int32_t address) { address_ = address; }
  void UseCheckMode(int32_t mode) { checkMode_ = mode; }
  void SetLogSink(LogSink* sink) { sink_ = sink; }
  void SetVerbose(bool verbose) { verbose_ = verbose; }
  void ClearReplyBuffers();

  PacketLink* link() const { return link_; }
  int32_t address() const { return address_; }
  int32_t checkMode() const { return checkMode_; }
  bool verbose() const { return verbose_; }

  // Identification and communication.
  int GetModelName(bool quiet = false);
  int GetSerialNum();
  int GetVersion();
  int GetKRV04Version();
  int SetBaudRate(int32_t baudRate);
  // payload: 8 bytes serial number (NUL-padded) + new address byte.
  int SetSensorAddress(uint8_t destination, const uint8_t payload[9]);
  int SetSensorCheckMode(int32_t mode);
  int SetDefaults();
  int ResetSensor();
  int SetSerialNum(const uint8_t serial[16]);
  int SetModelName(const uint8_t model[16]);

  // Measurement, scan and diagnostics.
  int SetLaserOn();
  int SetLaserOff();
  int StartScan();
  int StopScan();
  int ApplyScanFilter();
  int HLAScanResult();
  int GetScanBufferPortion(int32_t start, int32_t count);
  int GetErrorState();
  int GetKRV02State();
  int GetSensorState();
  int GetKRV04BFState();
  int GetPeak();
  int GetLaserPower();

  // Settings with one value.
  int SetThreshold(int32_t value);
  int SetMinLP(int32_t value);
  int SetMaxLP(int32_t value);
  int SetKRV04Mode(int32_t value);
  int SetOutOfRangeMode(int32_t value);
  int SetAnalogMinRange(int32_t value);
  int SetAnalogMaxRange(int32_t value);
  int SetAnalogMinVolts(int32_t value);
  int SetAnalogMaxVolts(int32_t value);
  int SetAnalogOutOfRange(int32_t value);
  int SetScanInterval(int32_t value);
  int SetMode(int32_t value);
  int SetNumHoldScans(int32_t value);
  int SetBoardTimeout(int32_t value);

  // Settings with a record (host order in; see each for what is converted).
  int SetFilterFactors(const uint8_t record[6]);         // converts a copy
  int SetOffset(const uint8_t record[8]);                // converts a copy
  int SetAnalogOuputFactors(uint8_t record[20]);         // left in wire order in CRC mode
  int WriteWaneParams(uint8_t record[12]);               // left in wire order in CRC mode
  int SetConfigVars(uint8_t record[10]);                 // left in wire order in CRC mode

  // Settings queries.
  int GetSensorSetup();
  int GetKRV04Setup();
  int GetMinLP();
  int GetMaxLP();
  int GetAnalogFactors();
  int ReadWaneParams();
  int GetConfigVars();
  int GetBoardTimeout();
  int GetNumHoldScans();

  // Firmware and flash.
  int WriteFlashProtect1(int32_t value);
  int WriteFlashProtect2(int32_t value);
  int UploadFPGA();
  int UploadCode();
  int UploadCalibration();

  // Version fields set by GetVersion.
  int32_t versionValue() const { return versionValue_; }
  double versionDivisor() const { return versionDivisor_; }
  const std::string& versionFormat() const { return versionFormat_; }

  // Reply areas: data bytes as the packet carried them, with the 16-bit
  // fields named for each command converted to host order.
  static constexpr size_t kScanSlotSize = 253;
  static constexpr size_t kScanSlots = 66;
  static constexpr size_t kScanSamplesPerReply = 126;
  static constexpr int32_t kScanBufferCapacity = 8192;

  uint8_t krv04Setup[28] = {};
  uint8_t scanBuffer[kScanSlots * kScanSlotSize] = {};
  uint8_t serialNumber[16] = {};
  uint8_t hlaResult[10] = {};
  uint8_t analogFactors[22] = {};
  uint8_t configVars[10] = {};
  uint8_t sensorSetup[31] = {};
  uint8_t krv02State[14] = {};
  uint8_t sensorState[14] = {};
  uint8_t errorState[12] = {};
  uint8_t version[6] = {};
  uint8_t krv04Version[6] = {};
  uint8_t modelName[16] = {};
  uint8_t waneParams[12] = {};
  uint8_t bfState[22] = {};
  uint8_t minLP = 0;
  uint8_t maxLP = 0;
  uint8_t laserPower = 0;
  uint16_t holdScans = 0;
  uint16_t boardTimeout = 0;
  uint16_t peak = 0;
  // Data length of each scan buffer reply of the last GetScanBufferPortion.
  size_t scanReplyLength[kScanSlots] = {};

  const std::string& lastMessage() const { return message_; }
  const uint8_t* ackBuffer() const { return ack_; }

  // 16-bit host-order field of a reply area.
  static uint16_t Word(const uint8_t* area, size_t offset) {
    return static_cast<uint16_t>(area[offset] | (area[offset + 1] << 8));
  }

 private:
  // Query pattern: one request without data, one reply of `length` bytes;
  // the words at `words` are converted in CRC mode and the reply lands in
  // `area` only on success.
  int Query(const char* name, uint8_t command, uint8_t* area, size_t length,
            std::initializer_list<size_t> words, bool log = true);
  // Setting pattern: send `data`, read the acknowledgement in CRC mode if
  // `ack`, then pause `pauseMs`, log and return the send's result.
  int Setting(const char* name, uint8_t command, const uint8_t* data, size_t length, bool ack,
              uint32_t pauseMs = 0);
  int SettingByte(const char* name, uint8_t command, uint8_t value);
  int SettingWord(const char* name, uint8_t command, int32_t value);
  // Converts the words at `words` of a request record in CRC mode.
  void ToWireOrder(uint8_t* record, std::initializer_list<size_t> words) const;
  void ReadAcknowledgement(uint8_t command, int32_t checkMode);
  int UploadStart(const char* name, uint8_t command);
  // False (with a failure line) when no link is attached.
  bool HaveLink(const char* name);
  void LogSuccess(const char* name);
  void LogFailure(const char* name, const char* reason);
  void Log(const char* name, bool ok);
  bool crc() const { return checkMode_ == 1; }
  uint8_t wireAddress() const { return static_cast<uint8_t>(address_); }

  PacketLink* link_ = nullptr;
  LogSink* sink_ = nullptr;
  int32_t checkMode_ = 0;
  int32_t address_ = 0;
  bool verbose_ = false;
  int32_t versionValue_ = 1;
  double versionDivisor_ = 1.0;
  std::string versionFormat_ = "Unknown version";
  std::string message_;
  uint8_t ack_[256] = {};
};
