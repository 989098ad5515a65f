#include "tarkon/document/settings_editing.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "tarkon/document/display_forms.h"
#include "tarkon/document/number_reading.h"
#include "tarkon/models/krv02/krv02_replies.h"

namespace settings_editing {
namespace {

// A product that lies this close to a whole number (relative to its size) is
// taken as that whole number: the parse of a decimal text and one or two
// multiplications each add at most half a unit in the last place.
constexpr double kSnapTolerance = 8 * DBL_EPSILON;

double SnapToWhole(double product) {
  const double nearest = std::round(product);
  if (std::fabs(product - nearest) <= kSnapTolerance * std::max(1.0, std::fabs(product))) {
    return nearest;
  }
  return product;
}

// A cut or rounded product as a 32-bit integer: the command keeps its low
// 16 bits. Values beyond the 32-bit range are held at its ends and a text
// that reads as "nan" gives 0, so no input can make the conversion undefined.
int32_t ClampToInt32(double whole) {
  if (std::isnan(whole)) return 0;
  if (whole <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  if (whole >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(whole);
}

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

std::optional<int32_t> WholeWithin(const std::string& text, int32_t low, int32_t high) {
  const int32_t value = ReadWholeNumber(text);
  if (value < low || value > high) return std::nullopt;
  return value;
}

int32_t LowByte(const std::string& text) { return ReadWholeNumber(text) & 0xFF; }

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

int32_t ToWord(double real, double k) { return ClampToInt32(std::trunc(SnapToWhole(real * k))); }

int32_t ToWordFloor(double real, double k) {
  return ClampToInt32(std::floor(SnapToWhole(real * k)));
}

namespace {

int32_t FitLow(const FieldFit& fit) { return fit.word == FieldWord::kSigned16 ? INT16_MIN : 0; }
int32_t FitHigh(const FieldFit& fit) { return fit.word == FieldWord::kSigned16 ? INT16_MAX : UINT16_MAX; }
std::string ShowWord(const FieldFit& fit, int32_t word) {
  return fit.show ? fit.show(word / fit.scale) : std::to_string(word);
}

}  // namespace

std::string UnfitMessage(int32_t converted, const FieldFit& fit) {
  if (converted >= FitLow(fit) && converted <= FitHigh(fit)) return std::string();
  return fit.name + " must be between " + ShowWord(fit, FitLow(fit)) + " and " + ShowWord(fit, FitHigh(fit));
}

std::string FitRange(const FieldFit& fit) {
  return ShowWord(fit, FitLow(fit)) + " to " + ShowWord(fit, FitHigh(fit));
}

std::string ShowThousandths(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

std::string ShowHundredths(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

std::optional<int32_t> CosineWord(const std::string& text) {
  const double cosine = ReadRealNumber(text);
  if (!(cosine >= kCosineLow && cosine <= kCosineHigh)) return std::nullopt;
  return ToWordFloor(cosine, 10000.0);
}

std::string CosineRange() {
  char text[64];
  std::snprintf(text, sizeof text, "%g to %3.4f", kCosineLow, kCosineHigh);
  return text;
}

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
  const double steps = std::floor(SnapToWhole(periodMs * factor / step));
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
