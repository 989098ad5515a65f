#pragma once
// Settings of the KRV02 family (KRV02 and Qmt Long): the family's rows
// (krv02_fields.cpp) with the dialog's fields as one record and a call per
// button. One object serves both models; the range modes follow the
// connected model's index.

#include <string>
#include <vector>

#include "tarkon/models/model_settings.h"

// The settings dialog's fields: texts in display units and list choices.
// The re-read writes them; a button takes them as the user left them.
struct KRV02Fields {
  int scanMode = -1;               // "Scan Mode" entry = mode number; -1 none chosen
  std::string minLaserPower;       // "Laser powers"
  std::string maxLaserPower;
  std::string rangeOffset;         // "Range offset:"
  std::string rangeMultiplier;     // "Range multiplier"
  std::string cosine;              // "Cosine:"
  std::string minRange;            // "Min. Range"
  std::string maxRange;            // "Max. Range"
  std::string voltsAtMinRange;     // "Volts @ minimum range:"
  std::string voltsAtMaxRange;     // "Volts @ maximum:"
  std::string offsetVolts;         // "Offset voltage:"
  std::string voltsOutsideRange;   // "Volts outside range:"
  std::string threshold;
  int laser = -1;                  // "Laser" entry: 0 "On", 1 "Off"; -1 none chosen
  std::string averagingPeriod;     // milliseconds
  std::string dropoutFactor;       // "Dropout factor:"
  std::string smoothFactor;        // "Smooth factor:"
  int orderFactor = -1;            // "Order factor:" entry index; -1 none chosen
  std::string scanInterval;        // "Scan Interval"

  bool operator==(const KRV02Fields&) const = default;
};

class KRV02Settings : public ModelSettings {
 public:
  static constexpr int kLaserOn = 0;
  static constexpr int kLaserOff = 1;

  KRV02Settings(SensorCommands& commands, const RangeModeTable& modes, ModelGetter model,
                StateChanged changed);

  // Entries of the "Laser" and "Order factor:" lists.
  static std::vector<std::string> LaserTexts();
  static std::vector<std::string> OrderFactorTexts();

  // The dialog's current fields, and the fields as the last re-read wrote them.
  KRV02Fields fields() const { return FromTexts(typedFields()); }
  KRV02Fields readFields() const { return FromTexts(ModelSettings::readFields()); }

  // The dialog's buttons. Each takes the fields as the user left them,
  // checks, sends and re-reads (see SetResult).
  SetResult SetMode(const KRV02Fields& fields);             // "Set Mode"
  SetResult SetMinLaserPower(const KRV02Fields& fields);    // "Set Min."
  SetResult SetMaxLaserPower(const KRV02Fields& fields);    // "Set Max"
  SetResult SetRangeOffset(const KRV02Fields& fields);      // "Set Range offset"
  SetResult SetAnalogFactors(const KRV02Fields& fields);    // "Set Analog Factors"
  SetResult SetThreshold(const KRV02Fields& fields);        // "Set Threshold"
  SetResult SetLaser(const KRV02Fields& fields);            // "Set Laser"
  SetResult SetAveragingPeriod(const KRV02Fields& fields);  // "Averaging Period"
  SetResult SetScanFilterVariables(const KRV02Fields& fields);  // "Set Scan Filter Variables"
  SetResult SetScanInterval(const KRV02Fields& fields);     // "Set Scan Int."

  static FieldTexts ToTexts(const KRV02Fields& fields);
  static KRV02Fields FromTexts(const FieldTexts& texts);
};
