#include "ostrel/operations/field_values.h"

#include <cstdio>

namespace ostrel {

const UnitSet kImperial{0, 8000, 1000, 3, "inch", "x 0.001 inch"};
const UnitSet kMetric{1, 20000, 100, 2, "mm", "x 0.01 mm"};

const UnitSet& UnitSetOfMode(uint8_t modeByte) { return modeByte == 0 ? kImperial : kMetric; }

long ParseNumber(const std::string& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return kNotANumber;
  long value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return kNotANumber;
    value = value * 10 + (text[i] - '0');
    if (value > 1000000000L) return kNotANumber;  // far beyond every range
  }
  return negative ? -value : value;
}

long ParseScaled(const std::string& text, long scale) {
  long whole = 0;
  long fraction = 0;  // in units of 1 / scale
  long place = scale;
  bool point = false;
  bool digits = false;
  for (const char c : text) {
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') return kUnreadableDecimal;
    digits = true;
    if (!point) {
      whole = whole * 10 + (c - '0');
      if (whole > 1000000L) return kUnreadableDecimal;
    } else {
      place /= 10;  // digits beyond the scale's precision are cut off
      fraction += (c - '0') * place;
    }
  }
  if (!digits) return kUnreadableDecimal;
  return whole * scale + fraction;
}

std::string FormatScaled(uint16_t raw, const UnitSet& unit) {
  char text[32];
  std::snprintf(text, sizeof text, "%ld.%0*ld", raw / unit.scale, unit.decimals, raw % unit.scale);
  return text;
}

std::optional<double> RangeInUnits(uint16_t raw, const UnitSet& unit) {
  if (raw == kRangeOutOfRange) return std::nullopt;
  return static_cast<double>(static_cast<int16_t>(raw)) / static_cast<double>(unit.scale);
}

std::string FormatFirmware(uint16_t versionTimes100, uint8_t revision) {
  char text[32];
  std::snprintf(text, sizeof text, "%u.%02u%c", versionTimes100 / 100u, versionTimes100 % 100u,
                static_cast<char>(revision));
  return text;
}

std::string FormatFpga(uint8_t versionTimes10) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u", versionTimes10 / 10u, versionTimes10 % 10u);
  return text;
}

int ModelEntryOfName(const std::string& name) {
  if (name.find('H') != std::string::npos) return 1;
  if (name.find('N') != std::string::npos) return 2;
  if (name.find('4') != std::string::npos) return 0;
  return 3;
}

std::vector<uint8_t> ModelNameData(int entry) {
  static const char* const kNames[] = {"0 KRV04", "0 KRV04-HP", "0 KRV04-SN", "0 OTHER"};
  const char* name = kNames[entry >= 0 && entry < 4 ? entry : 3];
  std::vector<uint8_t> data(16, 0);
  for (size_t i = 0; name[i] != '\0'; ++i) data[i] = static_cast<uint8_t>(name[i]);
  return data;
}

std::string TextOf(const uint8_t* bytes, size_t count, size_t limit) {
  std::string text;
  for (size_t i = 0; i < count && i < limit && bytes[i] != 0; ++i) text.push_back(static_cast<char>(bytes[i]));
  return text;
}

}  // namespace ostrel
