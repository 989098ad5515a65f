#include "tarkon/document/numeric_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

namespace {

// The part shared by the field's check and the typed reading: the number
// as the C library's "%f%s" takes it, or why it is none. `underflow` says
// a nonzero text too small for a double (read as 0 by "%f").
NumericCheck ReadOneNumber(const std::string& text, double* number, bool* underflow) {
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
  double read = 0.0;
  *underflow = false;
  const auto [rest, error] = std::from_chars(p, end, read, std::chars_format::general);
  if (error == std::errc::invalid_argument) return kNumericNotANumber;
  if (error == std::errc::result_out_of_range) {
    // "%f" still reads such a text: infinitely large, or zero for a
    // negative exponent.
    bool tiny = false;
    for (const char* q = p; q + 1 < rest; ++q) {
      if (*q == 'e' || *q == 'E') tiny = q[1] == '-';
    }
    *underflow = tiny;
    read = tiny ? 0.0 : std::numeric_limits<double>::infinity();
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
  if (std::isnan(read)) return kNumericNotANumber;  // "nan" lies inside no range
  *number = negative ? -read : read;
  return kNumericValid;
}

}  // namespace

// Reads like "%f" without the C locale's decimal-point setting: the fields
// always take a point, whatever language the desktop runs in.
NumericCheck CheckNumericText(const std::string& text, float lower, float upper, float* value) {
  double number = 0.0;
  bool underflow = false;
  if (ReadOneNumber(text, &number, &underflow) != kNumericValid) return kNumericNotANumber;
  // As a float: beyond the float range it is infinitely large.
  const float asFloat = static_cast<float>(number);
  if (value != nullptr) *value = asFloat;
  if (asFloat < lower || asFloat > upper) return kNumericOutOfRange;
  return kNumericValid;
}

NumericCheck ReadTypedNumber(const std::string& text, double* value) {
  double number = 0.0;
  bool underflow = false;
  const NumericCheck read = ReadOneNumber(text, &number, &underflow);
  if (read != kNumericValid) return read;
  if (underflow || !std::isfinite(number)) return kNumericOutOfRange;
  if (value != nullptr) *value = number;
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
