#pragma once
// The check of a numeric entry field: a text is valid only when it is
// exactly one number (C formatted input "%f%s" reads the float and nothing
// else: blanks around it allowed, a sign, digits, a decimal point, an
// exponent) within the field's bounds, the bounds themselves included.
// The settings dialogs' fields refuse every keystroke that would leave a
// text failing this check.

#include <limits>
#include <string>

enum NumericCheck : int { kNumericValid = 0, kNumericOutOfRange = 1, kNumericNotANumber = 2 };

constexpr float kNumericLowest = std::numeric_limits<float>::lowest();
constexpr float kNumericHighest = std::numeric_limits<float>::max();

// Messages of a field whose messages flag is set.
constexpr const char* kNumericOutOfRangeMessage = "Given value is out of range.\n";
constexpr const char* kNumericNotANumberMessage = "Characters must be a number.\n";

// Checks `text`; when it is one number, `value` (if given) receives it.
NumericCheck CheckNumericText(const std::string& text, float lower, float upper, float* value = nullptr);
// The message for a check result other than valid; empty for valid.
std::string NumericCheckMessage(NumericCheck result);
// A value as the field shows it: "%f" (six decimals, 1.500000).
std::string FormatNumericValue(float value);

// The one reading of a typed setting value: the same rule as the field's
// check (exactly one number, blanks around it allowed, a sign, digits, a
// decimal point, an exponent; no hexadecimal, no words), read as a double
// so that a decimal text keeps every digit. A text that is no number, or
// reads as "nan", gives kNumericNotANumber; one whose number no double
// holds ("inf", "1e400", "1e-400") gives kNumericOutOfRange. Only
// kNumericValid fills `value`.
NumericCheck ReadTypedNumber(const std::string& text, double* value);
