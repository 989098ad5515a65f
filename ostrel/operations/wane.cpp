// "Set Wane Varibles": wane width and height, flipper pulse, conveyor speed
// and board time-out, checked in that order before anything is sent.

#include <string>

#include "ostrel/operations/busy.h"
#include "ostrel/operations/ostrel_commands.h"

namespace ostrel {

bool Operations::SetWaneVariables() {
  Busy busy(busy_);
  if (!busy.held()) return false;
  Status("");
  const UnitSet& unit = *unit_;

  if (fields_.minLen.empty()) fields_.minLen = "0";
  const long width = ParseScaled(fields_.minLen, unit.scale);
  if (width > unit.maximum) {
    view_.ShowInputError("Invalid Min. Wane Length Entered!\r\n(Valid values 0-" + std::to_string(unit.maximum),
                         Field::kMinLen);
    return true;
  }
  if (fields_.minHt.empty()) fields_.minHt = "0";
  const long height = ParseScaled(fields_.minHt, unit.scale);
  if (height > unit.maximum) {
    view_.ShowInputError("Invalid Min. Wane Height Entered!\r\n(Valid values 0-" + std::to_string(unit.maximum),
                         Field::kMinHt);
    return true;
  }
  if (fields_.pulse.empty()) fields_.pulse = "0";
  const long pulse = ParseNumber(fields_.pulse);
  if (pulse < 5 || pulse > 100) {
    view_.ShowInputError("Invalid Pulse value Entered!\r\n(Valid values 5 - 100)", Field::kPulse);
    return true;
  }
  if (fields_.speed.empty()) fields_.speed = "0";
  const long speed = ParseNumber(fields_.speed);
  if (speed < 100 || speed > 1200) {
    view_.ShowInputError("Invalid conveyor speeed Entered!\r\n(Valid values 100 - 1200)", Field::kSpeed);
    return true;
  }
  const long timeout = ParseNumber(fields_.timeout);  // empty counts as no number
  if (timeout < 0 || timeout > 4342) {
    view_.ShowInputError("Invalid Board Timeout Entered!\r\n(Valid values 0 - 4342)", Field::kTimeout);
    return true;
  }
  view_.FieldsChanged();

  const bool crc = link_.crc();
  std::vector<uint8_t> data;
  PutWord(data, static_cast<uint16_t>(height), crc);
  PutWord(data, static_cast<uint16_t>(width), crc);
  PutWord(data, static_cast<uint16_t>(speed), crc);
  data.insert(data.end(), reservedWane_.begin(), reservedWane_.end());  // as received
  PutWord(data, static_cast<uint16_t>(pulse), crc);
  link_.SendSetting(command::WriteWaneParams, data);

  ReadWane();
  RecordWrite("Wane variables", "", fields_.minLen + ", " + fields_.minHt + ", " + fields_.pulse + ", " + fields_.speed,
              history::Outcome::kNotVerified);
  Status("");
  std::vector<uint8_t> word;
  PutWord(word, static_cast<uint16_t>(timeout), crc);
  link_.SendSetting(command::SetBoardTimeout, word);
  ReadBoardTimeout();  // clears the status line first
  RecordWrite("Board Timeout", "", std::to_string(timeout),
              fields_.timeout == std::to_string(timeout) ? history::Outcome::kVerified : history::Outcome::kNotVerified);
  view_.FieldsChanged();
  return true;
}

}  // namespace ostrel
