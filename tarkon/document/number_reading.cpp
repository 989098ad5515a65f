#include "tarkon/document/number_reading.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Skips leading white space and one sign; returns the position of the first
// digit candidate and whether the number is negative.
size_t SkipToDigits(const std::string& text, bool* negative) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  *negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    *negative = text[i] == '-';
    ++i;
  }
  return i;
}

// Magnitude of the decimal digits from `i`, saturated at `limit`; `digits`
// receives how many digits were read.
uint64_t ReadMagnitude(const std::string& text, size_t i, uint64_t limit, size_t* digits) {
  uint64_t magnitude = 0;
  *digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    if (magnitude > (limit - digit) / 10) {
      magnitude = limit;
    } else {
      magnitude = magnitude * 10 + digit;
    }
    ++i;
    ++*digits;
  }
  return magnitude;
}

// Decimal order of magnitude of a number text (digits, an optional point
// and exponent): the power of ten of its first nonzero digit. Used only to
// tell a number too large for a double from one too small, so the exponent
// saturates far beyond that range.
int64_t DecimalOrder(const char* first, const char* last) {
  constexpr int64_t kFar = int64_t{1} << 40;
  int64_t integerDigits = 0;
  int64_t leadingFractionZeros = 0;
  bool nonzero = false;
  bool fraction = false;
  const char* p = first;
  for (; p < last && *p != 'e' && *p != 'E'; ++p) {
    if (*p == '.') {
      fraction = true;
    } else if (!fraction) {
      if (nonzero || *p != '0') {
        nonzero = true;
        ++integerDigits;
      }
    } else if (!nonzero) {
      if (*p == '0') {
        ++leadingFractionZeros;
      } else {
        nonzero = true;
      }
    }
  }
  int64_t exponent = 0;
  if (p < last) {
    ++p;
    bool negative = false;
    if (p < last && (*p == '+' || *p == '-')) negative = *p++ == '-';
    for (; p < last && *p >= '0' && *p <= '9'; ++p) {
      if (exponent < kFar) exponent = exponent * 10 + (*p - '0');
    }
    if (negative) exponent = -exponent;
  }
  return integerDigits > 0 ? integerDigits + exponent : exponent - leadingFractionZeros;
}

}  // namespace

int32_t ReadWholeNumber(const std::string& text) {
  bool negative = false;
  size_t i = SkipToDigits(text, &negative);
  size_t digits = 0;
  // One more than INT32_MAX so that the negative end is reachable.
  uint64_t magnitude = ReadMagnitude(text, i, uint64_t{1} << 31, &digits);
  if (digits == 0) return 0;
  if (negative) return static_cast<int32_t>(-static_cast<int64_t>(magnitude));
  if (magnitude > static_cast<uint64_t>(INT32_MAX)) return INT32_MAX;
  return static_cast<int32_t>(magnitude);
}

// The 32-bit strtoul: a magnitude beyond 32 bits saturates, a minus sign
// negates in 32-bit arithmetic ("-1" reads as 4294967295). This makes a
// value stored with "%d" read back as the same unsigned number.
uint32_t ReadUnsignedNumber(const std::string& text) {
  bool negative = false;
  size_t i = SkipToDigits(text, &negative);
  size_t digits = 0;
  uint64_t magnitude = ReadMagnitude(text, i, uint64_t{1} << 32, &digits);
  if (digits == 0) return 0;
  if (magnitude > UINT32_MAX) return UINT32_MAX;
  uint32_t value = static_cast<uint32_t>(magnitude);
  return negative ? static_cast<uint32_t>(0u - value) : value;
}

// Reads with the C locale's decimal point whatever locale the program runs
// in (a toolkit may switch the process to the user's locale, where strtod
// would want a comma). Hexadecimal forms are not read: the fields hold
// decimal numbers, so "0x10" reads as 0 like any text after a leading 0.
double ReadRealNumber(const std::string& text) {
  bool negative = false;
  size_t i = SkipToDigits(text, &negative);
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  if (first == last || *first == '+' || *first == '-') return 0.0;
  double value = 0.0;
  auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: strtod gives HUGE_VAL or 0. The
    // digits decide which, not the exponent's sign alone: a long row of
    // digits with "e-5" is still far too large.
    value = DecimalOrder(first, end) > 0 ? HUGE_VAL : 0.0;
  } else if (ec != std::errc()) {
    return 0.0;
  }
  return negative ? -value : value;
}

int32_t ScaleTruncated(double real, double k) {
  double scaled = std::trunc(real * k);
  if (std::isnan(scaled)) return 0;
  if (scaled >= static_cast<double>(INT32_MAX)) return INT32_MAX;
  if (scaled <= static_cast<double>(INT32_MIN)) return INT32_MIN;
  return static_cast<int32_t>(scaled);
}

bool IsWholeNumber(const std::string& text, int64_t* value) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  size_t digits = 0;
  uint64_t limit = negative ? (uint64_t{1} << 63) : static_cast<uint64_t>(INT64_MAX);
  uint64_t magnitude = 0;
  bool overflow = false;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    if (magnitude > (limit - digit) / 10) overflow = true;
    else magnitude = magnitude * 10 + digit;
    ++i;
    ++digits;
  }
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (digits == 0 || overflow || i != text.size()) return false;
  if (value != nullptr) {
    *value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  }
  return true;
}

