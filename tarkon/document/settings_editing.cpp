#include "tarkon/document/settings_editing.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "tarkon/document/display_forms.h"
#include "tarkon/models/krv02/krv02_replies.h"

namespace settings_editing {
namespace {

std::string Trimmed(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])) != 0) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])) != 0) --end;
  std::string out = text.substr(begin, end - begin);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

bool SnapsToWhole(double product, double* whole) {
  // The parse of a decimal text and one or two multiplications each add at
  // most half a unit in the last place (0.29 x 100 is 28.999999999999996).
  const double nearest = std::round(product);
  if (!(std::fabs(product - nearest) <= 8 * DBL_EPSILON * std::max(1.0, std::fabs(product)))) return false;
  *whole = nearest;
  return true;
}

bool WithinRow(double value, const RangeModeRow& row) {
  return row.low <= value && value <= row.high;
}

std::string RangeMessage(const RangeModeRow& row) {
  return "Range values must be between " + RangeModeTable::FormatUnit(row, row.low) + " and " +
         RangeModeTable::FormatUnit(row, row.high);
}

std::string RowRange(const RangeModeRow& row) {
  return RangeModeTable::FormatUnit(row, row.low) + " to " + RangeModeTable::FormatUnit(row, row.high);
}

std::string WholeRange(int32_t low, int32_t high) { return std::to_string(low) + " to " + std::to_string(high); }

std::string AveragingRange(const std::string& format, double factor, int32_t step) {
  // Before the firmware's version is known the format is a plain text.
  if (factor <= 0 || step <= 0 || settings_display::FormatReal(format, 0.0) == settings_display::FormatReal(format, 1.0))
    return std::string();
  return settings_display::FormatReal(format, 0.0) + " to " +
         settings_display::FormatReal(format, kAveragingCountMax / factor) + " ms, in steps of " +
         settings_display::FormatReal(format, step / factor) + " ms";
}

std::optional<int32_t> AveragingCount(double periodMs, double factor, int32_t step) {
  if (step <= 0) return std::nullopt;
  double steps = periodMs * factor / step;
  SnapsToWhole(steps, &steps);
  steps = std::floor(steps);
  const double count = steps * step;
  // Also false for "nan" and for infinities.
  if (!(count >= 0.0 && count <= kAveragingCountMax)) return std::nullopt;
  return static_cast<int32_t>(count);
}

void PutWord(uint8_t* record, size_t offset, int32_t value) {
  record[offset] = static_cast<uint8_t>(value & 0xFF);
  record[offset + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

uint16_t GetWord(const uint8_t* record, size_t offset) {
  return static_cast<uint16_t>(record[offset] | (record[offset + 1] << 8));
}

uint32_t AveragingCountOf(const uint8_t block[10]) {
  return (static_cast<uint32_t>(GetWord(block, krv02::kConfigAveragingHigh)) << 16) |
         GetWord(block, krv02::kConfigAveragingLow);
}

void PutAveragingCount(uint8_t block[10], uint32_t count) {
  PutWord(block, krv02::kConfigAveragingHigh, static_cast<int32_t>(count >> 16));
  PutWord(block, krv02::kConfigAveragingLow, static_cast<int32_t>(count & 0xFFFF));
}

const std::vector<int32_t>& OrderFactors() {
  static const std::vector<int32_t> factors = {1, 3, 5, 7, 9, 11, 13, 15, 17, 19};
  return factors;
}

std::vector<std::string> OrderFactorTexts() {
  std::vector<std::string> texts;
  for (int32_t factor : OrderFactors()) texts.push_back(std::to_string(factor));
  return texts;
}

int OrderFactorIndex(int32_t value) {
  const auto& factors = OrderFactors();
  const auto at = std::find(factors.begin(), factors.end(), value);
  return at == factors.end() ? -1 : static_cast<int>(at - factors.begin());
}

std::optional<bool> ReadSwitch(const std::string& text) {
  const std::string word = Trimmed(text);
  if (word == "on" || word == "enabled" || word == "enable" || word == "1") return true;
  if (word == "off" || word == "disabled" || word == "disable" || word == "0") return false;
  return std::nullopt;
}

}  // namespace settings_editing
