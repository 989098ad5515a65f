#pragma once
// Reading the window's field texts and writing sensor values as texts.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

// Value of a whole-number field; text that is no number reads as 9999 (so
// every range check refuses it).
constexpr long kNotANumber = 9999;
long ParseNumber(const std::string& text);

// The unit set of the sensor's mode byte: imperial for 0, metric otherwise.
struct UnitSet {
  int modeEntry;     // entry of the mode list
  long maximum;      // largest wane width and height, raw units
  long scale;        // raw units per unit
  int decimals;      // decimals shown
  const char* text;  // unit label
  const char* step;  // one raw unit, as the label of values shown raw
};
extern const UnitSet kImperial;  // 8000 raw, 1000 per inch, 3 decimals, "inch", "x 0.001 inch"
extern const UnitSet kMetric;    // 20000 raw, 100 per mm, 2 decimals, "mm", "x 0.01 mm"
const UnitSet& UnitSetOfMode(uint8_t modeByte);

// A decimal text ("2.5", "200", ".75") times `scale`, truncated toward zero,
// computed digit by digit so that no binary rounding loses a unit (0.29 mm
// is 29, not 28). Unreadable text reads as 99999.
constexpr long kUnreadableDecimal = 99999;
long ParseScaled(const std::string& text, long scale);
// A raw value divided by the unit's scale, with the unit's decimals.
std::string FormatScaled(uint16_t raw, const UnitSet& unit);
// A polled range (signed raw units) in the unit itself, for the chart;
// nothing for 0x8000, the sensor's "Out of Range".
constexpr uint16_t kRangeOutOfRange = 0x8000;
std::optional<double> RangeInUnits(uint16_t raw, const UnitSet& unit);

// Firmware panel: version x 100 as "4.20" directly followed by the
// revision character; FPGA panel: version x 10 as "3.2".
std::string FormatFirmware(uint16_t versionTimes100, uint8_t revision);
std::string FormatFpga(uint8_t versionTimes10);

// Model list entry for a model name read from the sensor: "KRV04-HP" when
// it contains H, else "KRV04-SN" for N, else "KRV04" for 4, else "Other".
int ModelEntryOfName(const std::string& name);
// The 16 data bytes of SetModelName for a model list entry.
std::vector<uint8_t> ModelNameData(int entry);

// Text of bytes up to the first NUL or `limit` bytes.
std::string TextOf(const uint8_t* bytes, size_t count, size_t limit);

}  // namespace ostrel
