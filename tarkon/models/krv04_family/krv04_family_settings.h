#pragma once
// Settings of the KRV04 family (KRV04, Qmt Short, KRV04 Board Flipper): a
// 28-byte setup record that already holds the laser powers, the threshold
// and the analog output, written value by value. Each model's folder adds
// its own: KRV04 the hold of the last valid range (krv04/), the board
// flipper its wane variables (krv04bf/), Qmt Short its fixed range mode
// (qmt_short/). Every 16-bit field and byte of this family is unsigned.

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

// What the three models share: the setup read and the buttons of the laser
// power, threshold and analog groups.
class KRV04FamilySettings : public ModelSettings {
 public:
  bool Refresh() override;
  void Clear() override;
  std::vector<std::string> SettingNames() const override;

  const KRV04Fields& fields() const { return fields_; }
  const KRV04Fields& readFields() const { return read_; }

  const std::vector<SettingField>& Fields() const override { return setting_fields::KRV04Family(); }
  std::string RangeHint(const std::string& name, int chosenMode) const override;
  void DiscardTypedFields() override { fields_ = read_; }

  SetResult SetMinLaserPower(const KRV04Fields& fields);  // "Set Min LP"
  SetResult SetMaxLaserPower(const KRV04Fields& fields);  // "Set Max LP"
  SetResult SetThreshold(const KRV04Fields& fields);      // "Set Threshold"
  SetResult SetMinRange(const KRV04Fields& fields);       // "Min. Range"
  SetResult SetMaxRange(const KRV04Fields& fields);       // "Max. Range"
  SetResult SetMinVolts(const KRV04Fields& fields);       // "Volts @ Minumum"
  SetResult SetMaxVolts(const KRV04Fields& fields);       // "Volts @ Maximum"
  SetResult SetVoltsOutside(const KRV04Fields& fields);   // "Volts outside"

 protected:
  KRV04FamilySettings(SensorCommands& commands, const RangeModeTable& modes, int model,
                      StateChanged changed);

  // The model's reads after the setup record; false when one fails.
  virtual bool ReadExtras() { return true; }
  // The model's fields and summary rows after the analog rows.
  virtual void AddExtras(KRV04Fields& /*fields*/, SummaryRows& /*rows*/) const {}
  virtual std::vector<std::string> ExtraNames() const { return {}; }
  // Whether the dialog has a "Mode" list and checks what is typed.
  virtual bool HasModeSelection() const { return true; }
  virtual bool ChecksFields() const { return true; }
  virtual const char* ThresholdMessage() const;
  // Row that shows the sensor's ranges for its reported mode byte, and the
  // row against which typed ranges are checked and scaled.
  virtual const RangeModeRow& ShownRow(int modeByte) const;
  virtual const RangeModeRow& EditRow(const KRV04Fields& fields) const;

  // "Set Mode": sends the chosen entry; without one nothing happens.
  SetResult SendChosenMode(const KRV04Fields& fields);
  // Fills the field of a shared name into `fields` and runs its button;
  // false when the name is not one of the shared ones.
  bool ChangeSharedByName(const std::string& name, const std::string& value, KRV04Fields& fields,
                          SetResult& result);
  SetResult ChangeByName(const std::string& name, const std::string& value) override;
  virtual SetResult ChangeExtraByName(const std::string& name, const std::string& value,
                                      KRV04Fields& fields);

  void TakeFields(const KRV04Fields& fields) { fields_ = fields; }
  int model() const { return model_; }
  const RangeModeRow& RowOfChosenMode(int chosenMode) const override;
  std::string TypedText(const std::string& name) const override;
  // The model's own fields' hints; empty for a name it does not know.
  virtual std::string ExtraRangeHint(const std::string& /*name*/) const { return std::string(); }

 private:
  SetResult SendRange(const std::string& text, bool maximum);

  int model_;
  KRV04Fields fields_;
  KRV04Fields read_;  // the fields as the last successful re-read wrote them
};
