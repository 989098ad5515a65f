#pragma once
// Range modes of every sensor model: unit, resolution and sign rule of the
// raw 16-bit ranges a sensor reports in each mode.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct RangeModeRow {
  std::string text;        // as listed in the mode selection
  double divisor = 1;      // raw / divisor = display units
  std::string unitFormat;  // printf format of one value with its unit
  std::string bareFormat;  // the same without unit (edit fields)
  double low = 0;          // display units
  double high = 0;
  bool negativeAllowed = false;
};

// The three sets of rows; each model names its set in the model table.
// Set A: the KRV02 family's 16 modes; set B: the 2 modes of KRV04 and the
// board flipper; set C: the single row of Qmt Short.
enum class RangeModeSet { kA, kB, kC };

class RangeModeTable {
 public:
  static constexpr int kSetCapacityA = 20;
  static constexpr int kSetCapacityB = 20;
  static constexpr int kSetCapacityC = 1;

  RangeModeTable();

  // Row of `mode` for model index `model` in the set the model table names
  // for it; the invalid row when the model or mode has none.
  const RangeModeRow& Lookup(int model, int mode) const;
  const RangeModeRow& Lookup(RangeModeSet set, int mode) const;
  const RangeModeRow& Invalid() const { return invalid_; }

  // Texts of the model's rows in mode order (16 for KRV02 family, 2 for
  // KRV04 and the board flipper, 1 for Qmt Short).
  std::vector<std::string> ModeTexts(int model) const;

  // Display text of a raw range in the given row: "Out of Range" for 0x8000
  // and for negatives where the row allows none, else the unit format.
  static std::string RangeText(const RangeModeRow& row, int16_t raw);
  // The same range as a number in display units; nothing where the text
  // reads "Out of Range".
  static std::optional<double> RangeValue(const RangeModeRow& row, int16_t raw);
  // Formats `value` with the row's bare or unit format.
  static std::string FormatBare(const RangeModeRow& row, double value);
  static std::string FormatUnit(const RangeModeRow& row, double value);
  // The unit word of a unit format ("%7.3f inch" gives "inch"); empty when
  // it has none.
  static std::string UnitOfFormat(const std::string& unitFormat);

 private:
  std::vector<RangeModeRow> setA_, setB_, setC_;
  RangeModeRow invalid_;
};
