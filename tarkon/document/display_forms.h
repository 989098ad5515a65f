#pragma once
// Display forms the models and the settings checks share: printf with a
// literal format, a run-time averaging format, whole numbers, thousandths.

#include <cstdint>
#include <string>

namespace settings_display {
// printf with a literal format.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A format chosen at run time (the averaging format of the firmware
// version, which may be a plain text such as "Unknown version"): printed
// when it holds exactly one floating-point conversion, otherwise shown as
// its text.
std::string FormatReal(const std::string& format, double value);
// "%d".
std::string Whole(int32_t value);
// value x 0.001 with "%3.3f" (volts, the range multiplier).
std::string Thousandths(int32_t value);
}  // namespace settings_display
