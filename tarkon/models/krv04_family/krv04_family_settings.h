#pragma once
// Settings of a KRV04 family member (KRV04, Qmt Short, KRV04 Board
// Flipper, or another member with its own rows): the 28-byte setup record
// that already holds the laser powers, the threshold and the analog
// output, written value by value, and the member's own rows
// (krv04_family_fields.cpp). The dialog's fields as one record, and a call
// per button.

#include <string>
#include <vector>

#include "tarkon/models/model_settings.h"

// The fields of the family's settings dialogs: texts in display units and
// list choices. Each dialog shows the members of its own groups only.
struct KRV04Fields {
  std::string minLaserPower;      // "Laser powers"
  std::string maxLaserPower;
  std::string threshold;          // "Threshold"
  std::string minRange;           // "Analog Factors": "Min. Range"
  std::string maxRange;           // "Max. Range"
  std::string voltsAtMinRange;    // "Volts @ Minumum"
  std::string voltsAtMaxRange;    // "Volts @ Maximum"
  std::string voltsOutsideRange;  // "Volts outside"
  int mode = -1;                  // "Mode" entry = mode number; -1 none chosen
  bool holdLastRange = false;     // KRV04: "Enable" of "Hold last range value"
  std::string maxDropouts;        // KRV04: "Max # dropouts"
  std::string waneWidth;          // board flipper: "Min. Wane Width(inch/mm)"
  std::string waneHeight;         // "Min. Wane Height(inch/mm)"
  std::string pulseDuration;      // "Pulse Duration(ms)"
  std::string conveyerSpeed;      // "Conveyer Speed(mm/s)"
  std::string boardTimeout;       // "Board timeout(ms)"

  bool operator==(const KRV04Fields&) const = default;
};

class KRV04FamilySettings : public ModelSettings {
 public:
  // A member with index `model` and its rows (static storage), in the
  // setup pane's order.
  KRV04FamilySettings(SensorCommands& commands, const RangeModeTable& modes, int model,
                      const std::vector<SettingField>& rows, StateChanged changed);

  KRV04Fields fields() const { return FromTexts(typedFields()); }
  KRV04Fields readFields() const { return FromTexts(ModelSettings::readFields()); }

  SetResult SetMinLaserPower(const KRV04Fields& fields);  // "Set Min LP"
  SetResult SetMaxLaserPower(const KRV04Fields& fields);  // "Set Max LP"
  SetResult SetThreshold(const KRV04Fields& fields);      // "Set Threshold"
  SetResult SetMinRange(const KRV04Fields& fields);       // "Min. Range"
  SetResult SetMaxRange(const KRV04Fields& fields);       // "Max. Range"
  SetResult SetMinVolts(const KRV04Fields& fields);       // "Volts @ Minumum"
  SetResult SetMaxVolts(const KRV04Fields& fields);       // "Volts @ Maximum"
  SetResult SetVoltsOutside(const KRV04Fields& fields);   // "Volts outside"
  SetResult SetMode(const KRV04Fields& fields);           // "Set Mode": nothing without an entry chosen
  // KRV04's "Enable" check box: sends the state `fields.holdLastRange` now has.
  SetResult SetHoldLastRange(const KRV04Fields& fields);
  SetResult SetMaxDropouts(const KRV04Fields& fields);    // "Max # dropouts"
  SetResult SetWaneVariables(const KRV04Fields& fields);  // "Set Wane Variables"
  // The board flipper's "Laser On" / "Laser Off": sent without a re-read.
  SetResult LaserOn(const KRV04Fields& fields);
  SetResult LaserOff(const KRV04Fields& fields);

  int model() const { return model_; }

  static FieldTexts ToTexts(const KRV04Fields& fields);
  static KRV04Fields FromTexts(const FieldTexts& texts);

 private:
  int model_;
};
