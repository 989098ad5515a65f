#include "tarkon/document/range_mode_table.h"

#include <cstdio>
#include <cstring>

// The lookups by model number (Lookup(int, int), ModeTexts) are defined
// beside the model table, which knows each model's set: this table knows
// no model.

namespace {

RangeModeRow Row(const char* text, const char* unitFormat, const char* bareFormat, double divisor,
                 double low, double high, bool negativeAllowed) {
  RangeModeRow row;
  row.text = text;
  row.divisor = divisor;
  row.unitFormat = unitFormat;
  row.bareFormat = bareFormat;
  row.low = low;
  row.high = high;
  row.negativeAllowed = negativeAllowed;
  return row;
}

// Prints `value` through a table format that holds at most one floating
// conversion ("%[flags][width][.precision]f|e|g") and otherwise plain text;
// "%%" prints a percent sign. The conversion is rebuilt from the parsed
// parts, so nothing but a double ever reaches printf, whatever the format
// text says. A format without a conversion prints as it is.
std::string FormatReal(const std::string& format, double value) {
  std::string out;
  bool converted = false;
  size_t i = 0;
  while (i < format.size()) {
    char c = format[i];
    if (c != '%') {
      out += c;
      ++i;
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      i += 2;
      continue;
    }
    // Parse one conversion.
    size_t j = i + 1;
    std::string conversion = "%";
    while (j < format.size() && std::strchr("#-+ 0", format[j]) != nullptr) conversion += format[j++];
    int width = 0;
    while (j < format.size() && format[j] >= '0' && format[j] <= '9' && width < 100) {
      width = width * 10 + (format[j] - '0');
      conversion += format[j++];
    }
    if (j < format.size() && format[j] == '.') {
      conversion += format[j++];
      int precision = 0;
      while (j < format.size() && format[j] >= '0' && format[j] <= '9' && precision < 100) {
        precision = precision * 10 + (format[j] - '0');
        conversion += format[j++];
      }
    }
    if (converted || j >= format.size() || std::strchr("fFeEgG", format[j]) == nullptr) {
      // Not a conversion this formatter prints: keep the text as it stands.
      out.append(format, i, j - i);
      i = j;
      continue;
    }
    conversion += format[j];
    char buffer[512];
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    int n = std::snprintf(buffer, sizeof buffer, conversion.c_str(), value);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    if (n > 0) out.append(buffer, static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n) : sizeof buffer - 1);
    converted = true;
    i = j + 1;
  }
  return out;
}

}  // namespace

RangeModeTable::RangeModeTable() {
  setA_ = {
      Row("0:  From 00.000 to  32.000 inch", "%#2.3f inch", "%#2.3f", 1000, 0, 32, false),
      Row("1:  From 00.000 to -32.000", "%#2.3f inch", "%#2.3f", 1000, -32, 0, true),
      Row("2:  From 0000.0 to 3200.0mm", "%#2.1f mm", "%#2.1f", 10, 0, 3200, false),
      Row("3:  From 0000.0 to -3200.0mm", "%#2.1f mm", "%#2.1f", 10, -3200, 0, true),
      Row("4:  From 000.00 to 320.00 inch", "%#2.2f inch", "%#2.2f", 100, 0, 320, false),
      Row("5:  From 000.00 to -320.00 inch", "%#2.2f inch", "%#2.2f", 100, -320, 0, true),
      Row("6:  From 00.000 to 32.000 m", "%#2.3f m", "%#2.3f", 1000, 0, 32, false),
      Row("7:  From 00.000 to -32.000 m", "%#2.3f m", "%#2.3f", 1000, -32, 0, true),
      Row("8:  From 0.0000 to 3.2000 inch", "%#2.4f inch", "%#2.4f", 10000, 0, 3.2, false),
      Row("9:  From 0.0000 to -3.2000 inch", "%#2.4f inch", "%#2.4f", 10000, -3.2, 0, true),
      Row("10:  From 000.00 to 320.00 mm", "%#2.2f mm", "%#2.2f", 100, 0, 320, false),
      Row("11:  From 000.00 to -320.00 mm", "%#2.2f mm", "%#2.2f", 100, -320, 0, true),
      Row("12:  From 000.00 to 266.00 ft ", "%#2.2f ft", "%#2.2f", 100, 0, 266, false),
      Row("13:  From 000.00 to -266.00 ft ", "%#2.2f ft", "%#2.2f", 100, -266, 0, true),
      Row("14:  From 000.00 to 320.00 m ", "%#2.2f m", "%#2.2f", 100, 0, 320, false),
      Row("15:  From 000.00 to -320.00 m ", "%#2.2f m", "%#2.2f", 100, -320, 0, true),
  };
  setB_ = {
      Row("0:  From 00.000 to  8.000 inch", "%#2.3f inch", "%#2.3f", 1000, 0, 8, false),
      Row("1:  From 00.00 to  200.00 mm", "%#2.2f mm", "%#2.2f", 100, 0, 200, true),
  };
  // Mode 0 of the short-range model; its text starts with "1:" and its upper
  // bound is 30 although the text says 24, as the sensors have always shown.
  setC_ = {
      Row("1:  From 04.000 to  24.000 inch", "%#2.3f inch", "%#2.3f", 1000, 0, 30, false),
  };
  invalid_ = Row("Invalid Mode", "Unknown mode number", "Unknown mode number", 1, 0, 0, false);
}

const RangeModeRow& RangeModeTable::Lookup(RangeModeSet set, int mode) const {
  if (mode < 0 || mode >= kSetCapacityA) return invalid_;
  const std::vector<RangeModeRow>& rows = set == RangeModeSet::kA   ? setA_
                                          : set == RangeModeSet::kB ? setB_
                                                                    : setC_;
  if (static_cast<size_t>(mode) >= rows.size()) return invalid_;
  return rows[static_cast<size_t>(mode)];
}

std::optional<double> RangeModeTable::RangeValue(const RangeModeRow& row, int16_t raw) {
  if (raw == INT16_MIN) return std::nullopt;
  if (!row.negativeAllowed && raw < 0) return std::nullopt;
  return static_cast<double>(raw) / row.divisor;
}

std::string RangeModeTable::RangeText(const RangeModeRow& row, int16_t raw) {
  const std::optional<double> value = RangeValue(row, raw);
  return value ? FormatUnit(row, *value) : std::string("Out of Range");
}

std::string RangeModeTable::FormatBare(const RangeModeRow& row, double value) {
  return FormatReal(row.bareFormat, value);
}

std::string RangeModeTable::FormatUnit(const RangeModeRow& row, double value) {
  return FormatReal(row.unitFormat, value);
}

std::string RangeModeTable::UnitOfFormat(const std::string& unitFormat) {
  size_t i = unitFormat.find('%');
  if (i == std::string::npos) return {};
  while (i < unitFormat.size() && std::strchr("fFeEgG", unitFormat[i]) == nullptr) ++i;
  std::string unit = i < unitFormat.size() ? unitFormat.substr(i + 1) : std::string();
  while (!unit.empty() && unit.front() == ' ') unit.erase(unit.begin());
  while (!unit.empty() && unit.back() == ' ') unit.pop_back();
  return unit;
}
