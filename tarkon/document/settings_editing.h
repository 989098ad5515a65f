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

// Messages shown when a check refuses a field, word for word.
inline constexpr char kCosineMessage[] = "Cosine must be between 0 and 1.0000";
// The KRV02 and board-flipper dialogs carry this text without its blank.
inline constexpr char kThresholdMessageNoBlank[] = "Thresholdmust be between 0 and 255";
inline constexpr char kThresholdMessage[] = "Threshold must be between 0 and 255";
inline constexpr char kAveragingMessage[] = "Averaging period must be between 0 and 21474836.47";
inline constexpr char kMinLaserPowerMessage[] = "Min laser power must be between 0 and 254";
inline constexpr char kMaxLaserPowerMessage[] = "Max laser power must be between 0 and 254";
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

// Laser powers accepted by every dialog that checks them; one byte is sent.
inline constexpr int32_t kLaserPowerLow = 0;
inline constexpr int32_t kLaserPowerHigh = 254;
inline constexpr int32_t kThresholdLow = 0;
inline constexpr int32_t kThresholdHigh = 255;
// Largest averaging count the sensor takes (the message prints it as
// 21474836.47, which only the whole part can reach).
inline constexpr int32_t kAveragingCountMax = 21474836;

// Whole number of the text when it lies within low..high, else nothing.
std::optional<int32_t> WholeWithin(const std::string& text, int32_t low, int32_t high);
inline std::optional<int32_t> LaserPower(const std::string& text) {
  return WholeWithin(text, kLaserPowerLow, kLaserPowerHigh);
}
inline std::optional<int32_t> Threshold(const std::string& text) {
  return WholeWithin(text, kThresholdLow, kThresholdHigh);
}
// The unchecked byte of the Qmt Short dialog: the whole number's low 8 bits.
int32_t LowByte(const std::string& text);

// True when value lies within the row's low..high, bounds included. A text
// that reads as "nan" is outside every range.
bool WithinRow(double value, const RangeModeRow& row);
// "Range values must be between %s and %s", both bounds in the unit format.
std::string RangeMessage(const RangeModeRow& row);
// The same bounds as a tool tip says them: "0.000 inch to 8.000 inch".
std::string RowRange(const RangeModeRow& row);
// "0 to 255".
std::string WholeRange(int32_t low, int32_t high);

// real x k cut toward zero, as the value of a 16-bit word. A product that
// misses a whole number only by the binary representation of a typed decimal
// (0.29 x 100 = 28.999999999999996) counts as that whole number, so a value
// shown by the dialog goes back to the sensor unchanged.
int32_t ToWord(double real, double k);
// real x k rounded down (the cosine and the range multiplier).
int32_t ToWordFloor(double real, double k);

// The word a converted value is written into, signed or unsigned as the
// command's field is (the KRV02 family's 16-bit settings are signed, the
// KRV04 family's unsigned).
enum class FieldWord { kSigned16, kUnsigned16 };
// A field with no check of its own: its display name, its word, and how a
// word becomes display units (word / scale, printed by `show`).
struct FieldFit {
  std::string name;
  FieldWord word = FieldWord::kUnsigned16;
  double scale = 1.0;
  std::function<std::string(double)> show;  // empty: a whole number
};
// A whole-number field: shown as the word itself.
inline FieldFit WholeFit(const char* name, FieldWord word) { return {name, word, 1.0, {}}; }
// Empty when the converted value fits its word; otherwise the refusal that
// names the range in display units, e.g. "Max. Volts must be between 0.000
// and 65.535". A value that does not fit is refused rather than sent with
// its upper bits cut off.
std::string UnfitMessage(int32_t converted, const FieldFit& fit);
// The values a field fits, in display units: "0.000 to 65.535".
std::string FitRange(const FieldFit& fit);
// Display forms for FieldFit::show.
std::string ShowThousandths(double value);  // "%.3f" (volts, multiplier, inches)
std::string ShowHundredths(double value);   // "%.2f" (millimetres)

// The cosine field as the word of the offset record (x 10000 rounded down),
// or nothing when it is outside kCosineLow..kCosineHigh.
inline constexpr double kCosineLow = 0.0;
inline constexpr double kCosineHigh = 1.0;
std::optional<int32_t> CosineWord(const std::string& text);
// "0 to 1.0000", as the cosine field shows its value.
std::string CosineRange();

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
