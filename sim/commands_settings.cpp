// Stored settings: laser power limits, threshold, range mode, analog
// output, scan and filter variables, offsets, configuration variables,
// hold-last-range, wane variables and board time-out.

#include "protocol/command_ids.h"
#include "sim/command_handler.h"
#include "sim/reply_records.h"

namespace sim {
namespace {

// A setting with one byte: acknowledged, then stored.
void SetByte(CommandContext& c, uint8_t& field) {
  if (!c.Expect(1)) return;
  c.Ack();
  field = c.data[0];
}

// A setting with one 16-bit value in the request's byte order.
void SetWord(CommandContext& c, uint16_t& field) {
  if (!c.Expect(2)) return;
  c.Ack();
  field = c.Word(0);
}

void SetRangeMode(CommandContext& c, unsigned value) {
  c.Ack();
  if (RangeModeAllowed(c.state.model, value))
    c.state.settings.rangeMode = static_cast<uint8_t>(value);
  else
    c.CommandError();  // the mode stays as it was
}

// A setting with a whole record.
template <typename Apply>
void SetRecord(CommandContext& c, size_t size, Apply apply) {
  if (!c.Expect(size)) return;
  c.Ack();
  apply(c.state.settings, c.data, c.mode);
}

}  // namespace

bool HandleSettingsCommand(CommandContext& c) {
  SensorState& s = c.state;
  Settings& st = s.settings;
  const int32_t mode = s.checkMode;
  switch (c.command) {
    case cmd::SetThreshold: SetByte(c, st.threshold); return true;
    case cmd::SetMinLP: SetByte(c, st.minLaserPower); return true;
    case cmd::SetMaxLP: SetByte(c, st.maxLaserPower); return true;
    case cmd::SetKRV04Mode:
      if (c.Expect(1)) SetRangeMode(c, c.data[0]);
      return true;
    case cmd::SetMode:
      if (c.Expect(2)) SetRangeMode(c, c.Word(0));
      return true;
    case cmd::SetOutOfRangeMode:
      if (!c.Expect(1)) return true;
      c.Ack();
      st.holdLastRange = c.data[0] != 0 ? 1 : 0;
      return true;
    case cmd::SetAnalogMinRange: SetWord(c, st.analog.minRange); return true;
    case cmd::SetAnalogMaxRange: SetWord(c, st.analog.maxRange); return true;
    case cmd::SetAnalogMinVolts: SetWord(c, st.analog.minVolts); return true;
    case cmd::SetAnalogMaxVolts: SetWord(c, st.analog.maxVolts); return true;
    case cmd::SetAnalogOutOfRange: SetWord(c, st.analog.outOfRangeVolts); return true;
    case cmd::SetScanInterval: SetWord(c, st.scanInterval); return true;
    case cmd::SetBoardTimeout: SetWord(c, st.boardTimeout); return true;
    case cmd::SetNumHoldScans:  // also GetLaserPower: told apart by the data
      if (c.length == 0) {
        c.Reply({s.live.laserPower});
        return true;
      }
      SetWord(c, st.holdScans);
      return true;
    case cmd::SetFilterFactors: SetRecord(c, records::kFilterSize, records::ApplyFilterFactors); return true;
    case cmd::SetOffset: SetRecord(c, records::kOffsetSize, records::ApplyOffset); return true;
    case cmd::SetAnalogOuputFactors: SetRecord(c, records::kAnalogRecordSize, records::ApplyAnalogFactors); return true;
    case cmd::WriteWaneParams: SetRecord(c, records::kWaneSize, records::ApplyWane); return true;
    case cmd::SetConfigVars: SetRecord(c, records::kConfigVarsSize, records::ApplyConfigVars); return true;

    case cmd::GetSensorSetup:
      if (c.Expect(0)) c.Reply(IsKrv02Family(s.model) ? records::Krv02Setup(s, mode) : records::Krv04Setup(s, mode));
      return true;
    case cmd::GetMinLP:
      if (c.Expect(0)) c.Reply({st.minLaserPower});
      return true;
    case cmd::GetMaxLP:
      if (c.Expect(0)) c.Reply({st.maxLaserPower});
      return true;
    case cmd::GetThreshold:
      if (c.Expect(0)) c.Reply({st.threshold});
      return true;
    case cmd::GetAnalogFactors:
      if (c.Expect(0)) c.Reply(records::AnalogFactors(st, mode));
      return true;
    case cmd::ReadWaneParams:
      if (c.Expect(0)) c.Reply(records::Wane(st, mode));
      return true;
    case cmd::GetConfigVars:
      if (c.Expect(0)) c.Reply(records::ConfigVars(st, mode));
      return true;
    case cmd::GetBoardTimeout:
      if (c.Expect(0)) c.ReplyWord(st.boardTimeout);
      return true;
    case cmd::GetNumHoldScans:
      if (c.Expect(0)) c.ReplyWord(st.holdScans);
      return true;
    default:
      return false;
  }
}

}  // namespace sim
