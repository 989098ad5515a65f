#pragma once
// Reading numbers out of field texts the way the C library does: leading
// white space skipped, optional sign, digits up to the first other
// character; a text that holds no number reads as 0.

#include <cstdint>
#include <string>

// Base-10 whole number (strtol semantics, clamped to the 32-bit range).
int32_t ReadWholeNumber(const std::string& text);
// Unsigned base-10 whole number (strtoul semantics, clamped to 32 bits).
uint32_t ReadUnsignedNumber(const std::string& text);
// Decimal floating-point number (strtod semantics).
double ReadRealNumber(const std::string& text);
// real x k cut toward zero to an integer, as sent in a 16-bit word.
int32_t ScaleTruncated(double real, double k);
// True when the whole text is one whole number (optional blanks around it);
// used where a dialog must refuse anything else.
bool IsWholeNumber(const std::string& text, int64_t* value = nullptr);

