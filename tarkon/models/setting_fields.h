#pragma once
// The settings dialogs' words, one table per family: for every setting a dialog
// edits, the name the setup pane and tarkon-cli use, the caption the dialog
// shows for its field (label, button or spoken name), and the unit the
// value is typed in when the caption does not already say it. Messages
// meant for the dialog name a value by its caption; the dialog builds its
// labels, unit texts and tool tips from here.

#include <string>
#include <vector>

enum class FieldUnit {
  kNone,   // a count, a factor, or a caption that carries its unit
  kRange,  // the unit of the chosen range mode (inch, mm, m, ft)
  kVolts,
};

struct SettingField {
  const char* name;     // as the setup pane and tarkon-cli name it
  const char* caption;  // as the dialog shows it, word for word
  FieldUnit unit;
  // The dialog group whose button writes it ("Analog Factors"), and that
  // group's place when several groups are written in one go: the range
  // mode first (the ranges are checked and scaled in its units), then the
  // dialog's order.
  const char* group = nullptr;
  int writeOrder = 0;
};

namespace setting_fields {

// Each family's table lives in its model folder.
// KRV02 and Qmt Long (krv02/krv02_fields.cpp).
const std::vector<SettingField>& KRV02Family();
// KRV04, Qmt Short and the board flipper, each showing the rows it has
// (krv04_family/krv04_family_fields.cpp).
const std::vector<SettingField>& KRV04Family();

// The row of `name`, or null.
const SettingField* Find(const std::vector<SettingField>& table, const std::string& name);
// A caption as a message speaks it: without a trailing colon and without a
// unit in brackets ("Min. Wane Width(inch/mm)" is "Min. Wane Width").
std::string Spoken(const std::string& caption);

inline constexpr char kVoltsUnit[] = "V";

}  // namespace setting_fields
