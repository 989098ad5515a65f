// Identification and communication: model name, serial number, versions,
// baud rate, address, check mode, factory defaults, reset.

#include <algorithm>
#include <array>

#include "protocol/command_ids.h"
#include "sim/command_handler.h"
#include "sim/reply_records.h"

namespace sim {
namespace {

constexpr std::array<int32_t, 4> kBaudRates = {9600, 19200, 38400, 57600};

std::array<uint8_t, 16> PaddedField(const uint8_t* data, size_t length) {
  std::array<uint8_t, 16> field{};
  std::copy(data, data + std::min(length, field.size()), field.begin());
  return field;
}

void SetSensorAddress(CommandContext& c) {
  // Serial number (up to 8 bytes, NUL-padded) and the new address last.
  if (!c.ExpectBetween(1, 9)) return;
  std::array<uint8_t, 8> serial{};
  std::copy(c.data, c.data + c.length - 1, serial.begin());
  if (!std::equal(serial.begin(), serial.end(), c.state.serialNumber.begin())) return;  // meant for another sensor
  c.Ack();
  const uint8_t address = c.data[c.length - 1];
  if (address == 0) {
    c.CommandError();  // 0 is the global address, never a sensor's own
    return;
  }
  c.state.address = address;
}

}  // namespace

bool HandleIdentityCommand(CommandContext& c) {
  SensorState& s = c.state;
  switch (c.command) {
    case cmd::GetModelName:
      if (c.Expect(0)) c.Reply({s.modelName.begin(), s.modelName.end()});
      return true;
    case cmd::GetSerialNum:
      if (c.Expect(0)) c.Reply({s.serialNumber.begin(), s.serialNumber.end()});
      return true;
    case cmd::GetVersion:
    case cmd::GetKRV04Version:
      if (c.Expect(0)) c.Reply(records::Version(s, s.checkMode));
      return true;
    case cmd::SetBaudRate:
      // The acknowledgement still leaves at the old rate.
      if (!c.Expect(1)) return true;
      c.Ack();
      if (c.data[0] < kBaudRates.size())
        s.baudRate = kBaudRates[c.data[0]];
      else
        c.CommandError();
      return true;
    case cmd::SetSensorAddress:
      SetSensorAddress(c);
      return true;
    case cmd::SetSensorCheckMode:
      // Wire code 0 selects CRC mode, 1 checksum mode. An acknowledgement
      // goes out in the old mode, if that is CRC mode.
      if (!c.Expect(1)) return true;
      c.Ack();
      if (c.data[0] == 0)
        s.checkMode = frame::kCrc;
      else if (c.data[0] == 1)
        s.checkMode = frame::kChecksum;
      else
        c.CommandError();
      return true;
    case cmd::SetDefaults:
      if (!c.Expect(0)) return true;
      s.settings = DefaultSettings(s.model);
      if (c.config.defaultsResetAddress) s.address = 1;
      return true;
    case cmd::ResetSensor:
      if (c.Expect(0)) c.reset = true;
      return true;
    case cmd::SetSerialNum:
      if (!c.ExpectBetween(1, 16)) return true;
      c.Ack();
      s.serialNumber = PaddedField(c.data, c.length);
      return true;
    case cmd::SetModelName: {
      if (!c.ExpectBetween(1, 16)) return true;
      c.Ack();
      s.modelName = PaddedField(c.data, c.length);
      // A known model string makes the sensor that model; an unknown one
      // changes only what it reports.
      if (auto model = ModelOfString(IdentityText(s.modelName))) s.model = *model;
      return true;
    }
    default:
      return false;
  }
}

}  // namespace sim
