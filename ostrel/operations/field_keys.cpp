#include "ostrel/operations/field_keys.h"

namespace ostrel {

FieldRule RuleOf(Field field) {
  switch (field) {
    case Field::kConnAddr:
    case Field::kAddress:
    case Field::kMinPwr:
    case Field::kMaxPwr:
    case Field::kThreshold:
      return {KeyRule::kDigits, 3};
    case Field::kMinLen:
    case Field::kMinHt:
      return {KeyRule::kDecimal, 5};
    case Field::kPulse:
    case Field::kSpeed:
    case Field::kTimeout:
      return {KeyRule::kDigits, 4};
    case Field::kSerial:
      return {KeyRule::kSerialNumber, 8};
    case Field::kStartIndex:
    case Field::kNumScans:
      return {KeyRule::kDigits, 4};
    case Field::kMemAddr:
      return {KeyRule::kHexDigits, 4};
    case Field::kWordCount:
      return {KeyRule::kDigits, 3};
  }
  return {KeyRule::kDigits, 0};
}

bool KeyAccepted(KeyRule rule, char key, const std::string& text) {
  const bool digit = key >= '0' && key <= '9';
  switch (rule) {
    case KeyRule::kDigits:
      return digit;
    case KeyRule::kDecimal:
      return digit || (key == '.' && text.find('.') == std::string::npos);
    case KeyRule::kSerialNumber:
      return digit || (key >= 'A' && key <= 'Z');
    case KeyRule::kHexDigits:
      return digit || (key >= 'A' && key <= 'F') || (key >= 'a' && key <= 'f');
    case KeyRule::kPassword:
      return digit || (key >= 'A' && key <= 'Z') || (key >= 'a' && key <= 'z') || key == '_';
  }
  return false;
}

}  // namespace ostrel
