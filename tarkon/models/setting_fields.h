#pragma once
// Every setting of a model as one row of data. A row says everything the
// program knows about one setting: the name the setup pane and tarkon-cli
// use, the caption the dialog shows, its unit, the dialog group and button
// that write it, where the settings read finds it (reply, offset, size,
// sign), how its raw value reads in display units and back, what a typed
// value must be, the command (and the record) that writes it, and how the
// read-back after the write is judged. The checks and their messages, the
// setup pane's lines, the backup, the parameter table and the dialogs'
// words are all made from these rows (setting_values.h, model_settings.h);
// nothing else names a setting's limit or offset.
//
// Each family lists its rows in its folder (krv02/krv02_fields.cpp,
// krv04_family/krv04_family_fields.cpp); each model takes the family's rows
// it has, in the setup pane's order, and may change one (its own range, its
// own words).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tarkon/models/backup_layout.h"

class SensorCommands;

enum class FieldUnit {
  kNone,          // a count, a factor, a choice
  kRange,         // the unit of the range mode (inch, mm, m, ft)
  kVolts,         // "V"
  kMilliseconds,  // "ms"
  kSpeed,         // "mm/s"
};

// What a typed value must be besides exactly one number of its kind.
enum class FieldCheck {
  kWord,       // fit the word it is written into (size and sign of the row)
  kBounds,     // lie within low..high (display units); else `message`
  kModeRow,    // lie within the chosen range mode's low..high; else the range message
  kAveraging,  // the averaging period's count rules; else `message`
  kChoice,     // one of the setting's choices (a mode, On/Off, Enabled/Disabled, a list)
};

// How the value the sensor reports after a write is judged.
enum class ReadBack {
  kExact,        // it must hold exactly the value typed
  kStep,         // it holds the typed value rounded down to its step (the averaging period)
  kNotReported,  // the sensor does not report it; the write is sent, not verified
};

// One command that writes settings, with the record it carries.
struct SettingWrite {
  const char* command;  // as the log names it
  // Sends `value` (a command with one value) or `record` (a record command).
  int (*send)(SensorCommands& commands, int32_t value, uint8_t* record);
  size_t recordSize = 0;  // 0: the value is the command's argument
  // Bytes of the record that no setting fills: sent back exactly as the
  // last read of `spareSource` reported them (the KRV02 offset record's
  // fourth word, the analog record's bytes 12 to 19, the configuration
  // block, the wane record's bytes 6 to 9).
  const char* spareSource = nullptr;
  size_t spareFrom = 0;
  size_t spareLength = 0;
  size_t spareTo = 0;
};

struct SettingField {
  const char* name;     // as the setup pane and tarkon-cli name it (the key)
  const char* caption;  // as the dialog shows it, word for word
  FieldUnit unit = FieldUnit::kNone;
  // The dialog group whose button writes it ("Analog Factors"), that
  // group's place when several groups are written in one go (the range
  // mode first: the ranges are checked and scaled in its units), and the
  // caption of the button.
  const char* group = nullptr;
  int writeOrder = 0;
  const char* button = nullptr;

  // Where the settings read finds it: the query whose reply holds it (null
  // for a setting the sensor does not report), the offset within that
  // reply (16-bit fields in host order), its size (1, 2, or 4: the
  // averaging count's two words, high first) and sign.
  const char* source = nullptr;
  size_t offset = 0;
  size_t size = 0;
  bool isSigned = false;
  // How the raw value reads in display units and back.
  model_backup::SettingKind kind = model_backup::SettingKind::kWhole;

  // What a typed value must be.
  FieldCheck check = FieldCheck::kWord;
  double low = 0;
  double high = 0;
  const char* message = nullptr;
  // The range in the check's own words where its message words it
  // otherwise than its bounds printed plainly ("0 to 1.0000").
  const char* rangeText = nullptr;
  // The values a choice from a list takes (null: not a list).
  const std::vector<int32_t>& (*choices)() = nullptr;

  // The command that writes it, and where its value goes in that
  // command's record. Settings with the same write go out together, in
  // one record.
  const SettingWrite* write = nullptr;
  size_t recordOffset = 0;
  ReadBack readBack = ReadBack::kExact;

  // The setup pane sets it apart from the rows before it by one empty row.
  bool gapBefore = false;
};

namespace setting_fields {

// Each family's rows live in its model folder, in the setup pane's order.
// KRV02 and Qmt Long (krv02/krv02_fields.cpp).
const std::vector<SettingField>& KRV02Family();
// Every setting of a KRV04 family member; each model takes the rows it has
// (krv04_family/krv04_family_fields.cpp).
const std::vector<SettingField>& KRV04Family();

// The row of `name`, or null.
const SettingField* Find(const std::vector<SettingField>& table, const std::string& name);
// A copy of `table` with the row of `name` changed by `change` (a model
// that words or limits one setting of its family otherwise).
template <typename Change>
std::vector<SettingField> With(std::vector<SettingField> table, const std::string& name, Change change) {
  for (SettingField& field : table)
    if (name == field.name) change(field);
  return table;
}
// A copy of `table` without the rows of `names`.
std::vector<SettingField> Without(std::vector<SettingField> table, const std::vector<std::string>& names);
// A caption as a message speaks it: without a trailing colon and without a
// unit in brackets ("Min. Wane Width(inch/mm)" is "Min. Wane Width").
std::string Spoken(const std::string& caption);
// Whether a caption carries its unit in brackets ("Pulse Duration(ms)").
bool CaptionCarriesUnit(const std::string& caption);

inline constexpr char kVoltsUnit[] = "V";

}  // namespace setting_fields

namespace model_backup {
// A backup keeps every row that the sensor reports (a row with a source).
using SettingLayout = SettingField;
}  // namespace model_backup
