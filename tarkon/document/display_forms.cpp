#include "tarkon/document/display_forms.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace settings_display {

std::string Format(const char* format, ...) {
  char text[128];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return length < 0 ? std::string() : std::string(text);
}

namespace {

// Position of the conversion of a format that holds exactly one
// floating-point conversion (flags, width, precision, then f, e, g or a)
// and otherwise only plain text and "%%"; npos when it holds anything else.
size_t SingleRealConversion(const std::string& format) {
  size_t found = std::string::npos;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (i + 1 < format.size() && format[i + 1] == '%') {
      ++i;
      continue;
    }
    if (found != std::string::npos) return std::string::npos;
    size_t j = i + 1;
    while (j < format.size() && std::strchr("-+ #0", format[j]) != nullptr) ++j;
    while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])) != 0) ++j;
    if (j < format.size() && format[j] == '.') {
      ++j;
      while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])) != 0) ++j;
    }
    if (j >= format.size() || std::strchr("fFeEgGaA", format[j]) == nullptr) {
      return std::string::npos;
    }
    found = i;
    i = j;
  }
  return found;
}

std::string PlainText(const std::string& format) {
  std::string text;
  for (size_t i = 0; i < format.size(); ++i) {
    text.push_back(format[i]);
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') ++i;
  }
  return text;
}

}  // namespace

std::string FormatReal(const std::string& format, double value) {
  if (SingleRealConversion(format) == std::string::npos) return PlainText(format);
  char text[512];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  // Checked above: one floating-point conversion and nothing else to fill.
  const int length = std::snprintf(text, sizeof text, format.c_str(), value);
#pragma GCC diagnostic pop
  return length < 0 ? std::string() : std::string(text);
}

std::string Whole(int32_t value) { return Format("%d", value); }

std::string Thousandths(int32_t value) { return Format("%3.3f", value * 0.001); }

}  // namespace settings_display
