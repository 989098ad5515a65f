#pragma once
// Which typed characters Ostrel's text fields keep, and how long each may
// grow. Backspace and Enter are always kept; every other key a rule does
// not name is dropped. The window's fields ask here instead of deciding
// themselves.

#include <string>

#include "ostrel/operations/window_fields.h"

namespace ostrel {

enum class KeyRule {
  kDigits,        // 0-9
  kDecimal,       // 0-9 and one decimal point (a second one is dropped)
  kSerialNumber,  // 0-9 and capital letters A-Z
  kHexDigits,     // 0-9, A-F, a-f
  kPassword,      // letters, digits and the underscore
};

struct FieldRule {
  KeyRule keys;
  int maxLength;
};

// The rule of each field of the Connect and Settings tabs.
FieldRule RuleOf(Field field);
// True when `key` (a typed character, not Backspace or Enter) may go into a
// field of `rule` whose text is `text` now.
bool KeyAccepted(KeyRule rule, char key, const std::string& text);

}  // namespace ostrel
