// "Set Wane Varibles": wane width and height, flipper pulse, conveyor speed
// and board time-out, checked in that order before anything is sent.

#include <string>

#include "ostrel/operations/busy.h"
#include "protocol/command_ids.h"

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

  // What goes out, in the settings' own terms: each shown as the window
  // shows it, and compared raw with what the sensor reads back.
  SensorSettings sent = sensor_;
  sent.waneWidth = static_cast<uint16_t>(width);
  sent.waneHeight = static_cast<uint16_t>(height);
  sent.speed = static_cast<uint16_t>(speed);
  sent.pulse = static_cast<uint16_t>(pulse);
  sent.boardTimeout = static_cast<uint16_t>(timeout);
  struct Written {
    const char* name;
    uint16_t SensorSettings::*value;
    bool timeout;  // the board timeout has a read-back of its own
  };
  static constexpr Written kWritten[] = {
      {"Min. Wane Width", &SensorSettings::waneWidth, false},
      {"Min. Wane Height", &SensorSettings::waneHeight, false},
      {"Conveyor Speed", &SensorSettings::speed, false},
      {"Pulse Duration", &SensorSettings::pulse, false},
      {"Board Timeout", &SensorSettings::boardTimeout, true},
  };
  std::vector<SettingWrite> writes;
  for (const Written& w : kWritten) writes.push_back({w.name, Before(w.name), ShownValue(sent, w.name)});

  const bool crc = link_.crc();
  std::vector<uint8_t> data;
  PutWord(data, sent.waneHeight, crc);
  PutWord(data, sent.waneWidth, crc);
  PutWord(data, sent.speed, crc);
  data.insert(data.end(), sensor_.reserved.begin(), sensor_.reserved.end());  // as received
  PutWord(data, sent.pulse, crc);
  link_.SendSetting(cmd::WriteWaneParams, data);
  const bool waneRead = ReadWane();
  const int waneStatus = link_.receiveStatus();

  Status("");
  std::vector<uint8_t> word;
  PutWord(word, sent.boardTimeout, crc);
  link_.SendSetting(cmd::SetBoardTimeout, word);
  const bool timeoutRead = ReadBoardTimeout();  // clears the status line first
  const int timeoutStatus = link_.receiveStatus();

  for (size_t i = 0; i < writes.size(); ++i) {
    SettingWrite& w = writes[i];
    w.readBack = kWritten[i].timeout ? timeoutRead : waneRead;
    if (!w.readBack) {
      w.why = "reading it back failed (" + ReceiveStatusText(kWritten[i].timeout ? timeoutStatus : waneStatus) + ")";
      continue;
    }
    w.asSent = sensor_.*kWritten[i].value == sent.*kWritten[i].value;
    w.now = ShownValue(sensor_, w.name);
  }
  Status(ReportWrites(writes));
  view_.FieldsChanged();
  return true;
}

}  // namespace ostrel
