#pragma once
// What the "Set" buttons of the settings dialogs decide before anything goes
// to the sensor: the checks with their messages, and the conversion of field
// texts (display units) into the integers and records the commands carry.
// Stateless and toolkit-free, so the dialogs, the command-line tool and the
// tests share one set of rules.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tarkon/document/range_mode_table.h"

// Outcome of one "Set" button (or of a change by display name).
struct SetResult {
  bool sent = false;    // the button's commands went out (their results are only logged)
  bool reread = false;  // the re-read that followed succeeded
  std::string message;  // why the fields were refused (nothing was sent); empty otherwise
  std::string value;    // changes by display name only: the setting's text as re-read
  std::vector<std::string> written;  // display names of the settings the button wrote
  std::vector<std::string> typed;    // their field texts as sent
  // After the re-read, for each written setting: the sensor holds exactly
  // the value typed (false when it holds another, or the step rounded it).
  std::vector<bool> asTyped;

  bool Refused() const { return !message.empty(); }
};

namespace settings_editing {

// Record writes send back bytes that the dialog does not show; without a
// successful read of this connection those bytes are unknown, and sending
// zeros in their place would overwrite the sensor's own values.
inline constexpr char kNotReadMessage[] =
    "The sensor's settings have not been read yet. Press Refresh and try again.";

// Asked when a settings dialog closes with typed values never sent.
inline constexpr char kDiscardQuestion[] =
    "Some values were typed but not sent to the sensor. Close and discard them?";
inline constexpr char kReadBack[] = "read back";
inline constexpr char kNotAsTyped[] = "not as typed";
inline constexpr char kNotReported[] = "sent, not reported by the sensor";
inline constexpr char kNotReadBack[] = "Sent, but the settings could not be read back";

// Largest averaging count the sensor takes (the message prints it as
// 21474836.47, which only the whole part can reach).
inline constexpr int32_t kAveragingCountMax = 21474836;

// Whether `product` (a typed decimal times its scale) is a whole number up
// to the rounding of its decimal text; `whole` then receives it. Nothing
// else counts as whole: a value finer than its field's step is not.
bool SnapsToWhole(double product, double* whole);

// True when value lies within the row's low..high, bounds included. A text
// that reads as "nan" is outside every range.
bool WithinRow(double value, const RangeModeRow& row);
// "Range values must be between %s and %s", both bounds in the unit format.
std::string RangeMessage(const RangeModeRow& row);
// The same bounds as a tool tip says them: "0.000 inch to 8.000 inch".
std::string RowRange(const RangeModeRow& row);
// "0 to 255".
std::string WholeRange(int32_t low, int32_t high);

// The periods the averaging check accepts, in milliseconds as the field
// shows them (`format`, the firmware's averaging format), with the step:
// "0.000 to 21474.836 ms, in steps of 1.500 ms".
std::string AveragingRange(const std::string& format, double factor, int32_t step);

// Averaging count of a period typed in milliseconds: the period x factor,
// rounded down to a multiple of step. Nothing when the count would be below
// 0 or above kAveragingCountMax (or the text is no finite number).
std::optional<int32_t> AveragingCount(double periodMs, double factor, int32_t step);

// 16-bit field of a record in host order (the command converts it).
void PutWord(uint8_t* record, size_t offset, int32_t value);
uint16_t GetWord(const uint8_t* record, size_t offset);
// The averaging count of a configuration block: high half in the word at 4,
// low half in the word at 6, the way the block is read.
uint32_t AveragingCountOf(const uint8_t block[10]);
void PutAveragingCount(uint8_t block[10], uint32_t count);

// Values of the scan filter's "Order factor:" list, in list order.
const std::vector<int32_t>& OrderFactors();
std::vector<std::string> OrderFactorTexts();
// Index of the list entry carrying value, or -1.
int OrderFactorIndex(int32_t value);

// Texts of two-way choices used by the dialogs and by changes by name.
inline constexpr char kOn[] = "On";
inline constexpr char kOff[] = "Off";
inline constexpr char kEnabled[] = "Enabled";
inline constexpr char kDisabled[] = "Disabled";
// "On"/"Enabled"/"1" give true, "Off"/"Disabled"/"0" false (any case,
// blanks around ignored); anything else gives nothing.
std::optional<bool> ReadSwitch(const std::string& text);

}  // namespace settings_editing
