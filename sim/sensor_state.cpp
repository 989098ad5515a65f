#include "sim/sensor_state.h"

#include <algorithm>

namespace sim {

Settings DefaultSettings(int model) {
  Settings s;
  s.setupHeader = {0x01, 0x02, 0x10, 0x27, 0x64, 0x00, 0x0A, 0x05};
  s.setupWord10 = 500;
  s.setupWord22 = 0;
  s.setupWord24 = 100;
  s.analog.extra = {0x00, 0x01, 0x02, 0x03, 0x10, 0x20, 0x30, 0x40};
  s.analog.word20 = 1;
  s.configWord1 = 2;
  s.configBytes = {0x01, 0x00};
  s.wane.reserved = {0x12, 0x34, 0x56, 0x78};
  switch (model) {
    case kQmtLong:
      s.rangeMode = 4;  // 0 to 320.00 inch
      s.analog.maxRange = 32000;
      s.maxLaserPower = 230;
      s.threshold = 35;
      break;
    case kKrv04:
      s.rangeMode = 0;  // 0 to 8.000 inch
      s.analog.maxRange = 8000;
      s.threshold = 50;
      break;
    case kQmtShort:
      s.analog.minRange = 4000;  // 4.000 to 24.000 inch
      s.analog.maxRange = 24000;
      s.threshold = 45;
      break;
    case kBoardFlipper:
      s.analog.maxRange = 8000;
      s.threshold = 50;
      break;
    case kKrv02:
    default:
      s.rangeMode = 0;  // 0 to 32.000 inch
      s.analog.maxRange = 32000;
      break;
  }
  return s;
}

std::array<uint8_t, 16> IdentityField(const std::string& text) {
  std::array<uint8_t, 16> field{};
  const size_t n = std::min(text.size(), field.size());
  for (size_t i = 0; i < n; ++i) field[i] = static_cast<uint8_t>(text[i]);
  return field;
}

std::string IdentityText(const std::array<uint8_t, 16>& field) {
  std::string text;
  for (uint8_t b : field) {
    if (b == 0) break;
    text += static_cast<char>(b);
  }
  return text;
}

const char* UploadOutcomeName(UploadOutcome outcome) {
  switch (outcome) {
    case UploadOutcome::kNone: return "none";
    case UploadOutcome::kReceiving: return "receiving";
    case UploadOutcome::kCompleted: return "completed";
    case UploadOutcome::kCancelled: return "cancelled";
    case UploadOutcome::kNoSender: return "no sender";
    case UploadOutcome::kTimedOut: return "timed out";
    case UploadOutcome::kOutOfSync: return "out of sync";
    case UploadOutcome::kReceiverCancelled: return "cancelled by the receiver";
  }
  return "?";
}

SensorState InitialState(const SensorConfig& config) {
  SensorState s;
  const std::string modelString = ResolveModelString(config.model).value_or(config.model);
  const std::optional<int> row = RowOfString(modelString);
  s.modelName = IdentityField(modelString);
  if (row) {
    const ModelRow& r = ModelRowAt(*row);
    s.model = r.model;
    s.serialNumber = IdentityField(r.serial);
    s.firmwareVersion = r.firmwareVersion;
    s.revision = static_cast<uint8_t>(r.revision);
    s.fpgaVersion = r.fpgaVersion;
  } else {
    s.model = kKrv02;
    s.serialNumber = IdentityField("00000001");
    s.firmwareVersion = 300;
    s.revision = 'C';
    s.fpgaVersion = 10;
  }
  if (config.serial) s.serialNumber = IdentityField(*config.serial);
  if (config.revision) s.revision = static_cast<uint8_t>(*config.revision);
  s.address = config.address;
  s.checkMode = config.checkMode == 1 ? 1 : 0;
  s.baudRate = config.baudRate;
  s.settings = DefaultSettings(s.model);
  s.scanPeriod = config.scanPeriod;
  s.faults = config.faults;
  s.epoch = Clock::now();
  return s;
}

}  // namespace sim
