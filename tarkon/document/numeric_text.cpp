#include "tarkon/document/numeric_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

// Reads like "%f" without the C locale's decimal-point setting: the fields
// always take a point, whatever language the desktop runs in.
NumericCheck CheckNumericText(const std::string& text, float lower, float upper, float* value) {
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end && IsBlank(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  // from_chars takes no sign of its own: a second sign is not a number.
  if (p < end && (*p == '+' || *p == '-')) return kNumericNotANumber;
  double number = 0.0;
  const auto [rest, error] = std::from_chars(p, end, number, std::chars_format::general);
  if (error == std::errc::invalid_argument) return kNumericNotANumber;
  if (error == std::errc::result_out_of_range) {
    // "%f" still reads such a text: infinitely large, or zero for a
    // negative exponent.
    bool tiny = false;
    for (const char* q = p; q + 1 < rest; ++q) {
      if (*q == 'e' || *q == 'E') tiny = q[1] == '-';
    }
    number = tiny ? 0.0 : std::numeric_limits<double>::infinity();
  }
  // The C library's "%f" also takes an exponent mark without digits ("2e",
  // "2e-") as part of the number, so such a text is still one number; the
  // field must let the user type an exponent one key at a time.
  const char* after = rest;
  if (after < end && (*after == 'e' || *after == 'E')) {
    const char* q = after + 1;
    if (q < end && (*q == '+' || *q == '-')) ++q;
    if (q == end || IsBlank(*q)) after = q;
  }
  for (const char* q = after; q < end; ++q) {
    if (!IsBlank(*q)) return kNumericNotANumber;  // "%s" found a further word
  }
  if (negative) number = -number;
  if (std::isnan(number)) return kNumericNotANumber;  // "nan" lies inside no range
  // As a float: beyond the float range it is infinitely large.
  const float asFloat = static_cast<float>(number);
  if (value != nullptr) *value = asFloat;
  if (asFloat < lower || asFloat > upper) return kNumericOutOfRange;
  return kNumericValid;
}

std::string NumericCheckMessage(NumericCheck result) {
  switch (result) {
    case kNumericOutOfRange: return kNumericOutOfRangeMessage;
    case kNumericNotANumber: return kNumericNotANumberMessage;
    default: return std::string();
  }
}

std::string FormatNumericValue(float value) {
  char text[64];
  std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
  return text;
}
