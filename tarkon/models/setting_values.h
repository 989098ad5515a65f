#pragma once
// The value rules of a setting row (setting_fields.h): how its raw value
// reads in display units, and how a typed value is read, checked and
// turned into the raw value its command sends. The check, the conversion
// and the read-back comparison all use ReadTyped, so a typed text is read
// once and the same number is checked, sent and compared.
//
// What a typed value may be, for every field of every model:
//   - exactly one decimal number, as the dialogs' numeric fields take it:
//     blanks around it, one leading sign ("+5" is 5), digits, a decimal
//     point and an exponent ("1e2", "2.5e1"). Hexadecimal ("0x10"), words,
//     "nan", two numbers and an empty text are no number ("Characters must
//     be a number."); "inf", "1e400" and "1e-400" are numbers no field
//     holds and get the field's range.
//   - within the field's range (its check's message);
//   - a whole number of the field's step: a whole-number field takes the
//     spellings of a whole number ("1e2" is exactly 100, "100.0" is 100)
//     and refuses a fraction ("3.9", "0.5"); a field of thousandths
//     refuses a fourth decimal, and so on. The one field that rounds is the
//     averaging period: its count is rounded down to the firmware's time
//     step, as the sensor keeps it, and the read-back says so.
// A value is sent exactly as typed, or refused with the field's range.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tarkon/document/range_mode_table.h"
#include "tarkon/models/setting_fields.h"

class SensorCommands;

// What a row's conversion needs besides the value.
struct SettingContext {
  // The range mode row ranges are shown, checked and scaled in: the sensor's
  // (or file's) mode for shown values, the mode chosen in the dialog for
  // typed ones.
  const RangeModeRow* row = nullptr;
  int modeByte = 0;   // the sensor's range mode byte: the wane scale
  int modeCount = 0;  // entries of the model's mode list
  // The firmware's averaging factor, time step and format (GetVersion).
  double averagingFactor = 1.0;
  int32_t averagingStep = 1;
  std::string averagingFormat = "Unknown version";
};

namespace setting_values {

// The raw value of a row's bytes (sign and size by the row; the averaging
// count's high word first); 0 when the bytes are not the row's size.
int64_t RawValue(const SettingField& row, const std::vector<uint8_t>& bytes);
// The row's bytes from the replies of the last settings read; empty when
// the row names no reply or lies outside it.
std::vector<uint8_t> RawBytes(const SensorCommands& commands, const SettingField& row);
// The reply area of a query by the name a row gives it, with its size;
// null for a name that is none.
const uint8_t* ReplyArea(const SensorCommands& commands, const std::string& source, size_t* size);
// Runs the query of a reply; false when it failed (it logged its line).
bool ReadReply(SensorCommands& commands, const std::string& source);

// The value as the setup pane shows it ("55", "3.250", "On", the mode's text).
std::string ShownText(const SettingField& row, int64_t raw, const SettingContext& context);
// The value as the dialog's field holds it: the shown text, a choice as
// the value it stands for (a mode number, "On", an order factor; empty when
// it is none of the list's).
std::string FieldText(const SettingField& row, int64_t raw, const SettingContext& context);
// The text that reads back as exactly this raw value (every digit it needs).
std::string ExactText(const SettingField& row, int64_t raw, const SettingContext& context);

// A typed value read, checked and converted.
struct Typed {
  bool ok = false;
  int64_t raw = 0;        // what the command sends
  bool asTyped = true;    // false when the step rounded it (the averaging period)
  std::string refusal;    // why not, in the row's words; empty when ok
};
Typed ReadTyped(const SettingField& row, const std::string& text, const SettingContext& context);

// The values the check accepts, in its words: "0 to 255", "0.000 inch to
// 8.000 inch", "On or Off", "0.000 to 21474.836 ms, in steps of 1.500 ms".
std::string RangeText(const SettingField& row, const SettingContext& context);
// The ends of the range as numbers in display units; nothing for a choice
// of words (or an averaging period before the firmware's step is known).
struct Limits {
  double low = 0;
  double high = 0;
};
std::optional<Limits> NumericLimits(const SettingField& row, const SettingContext& context);
// The same ends as the value's display form prints them.
struct Bounds {
  std::string low;
  std::string high;
};
std::optional<Bounds> RangeBounds(const SettingField& row, const SettingContext& context);
// The unit of the value ("inch", "V", "ms"); empty for a count or a choice.
std::string UnitText(const SettingField& row, const SettingContext& context);

// The scale of a row: raw = display value x scale.
double Scale(const SettingField& row, const SettingContext& context);

// Puts a converted value into its command's record (host order; the
// averaging count as two words, high first).
void PutRaw(uint8_t* record, size_t offset, size_t size, int64_t raw);

}  // namespace setting_values
