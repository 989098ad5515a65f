#include "tarkon/models/model_settings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "tarkon/document/number_reading.h"
#include "tarkon/document/numeric_text.h"

ModelSettings::ModelSettings(SensorCommands& commands, const RangeModeTable& modes,
                             ModelGetter model, StateChanged changed)
    : commands_(commands), modes_(modes), model_(std::move(model)), changed_(std::move(changed)) {}

void ModelSettings::Clear() {
  rows_.clear();
  hasValues_ = false;
}

void ModelSettings::Summary(std::vector<std::string>& names,
                            std::vector<std::string>& values) const {
  names.clear();
  values.clear();
  for (const auto& [name, value] : rows_) {
    names.push_back(name);
    values.push_back(value);
  }
}

std::string ModelSettings::DisplayedValue(const std::string& name) const {
  if (name.empty()) return {};
  for (const auto& [rowName, value] : rows_) {
    if (rowName == name) return value;
  }
  return {};
}

std::string ModelSettings::KnownSettingName(const std::string& typed) const {
  const std::vector<std::string> names = SettingNames();
  for (const std::string& candidate : names)
    if (candidate == typed) return candidate;
  for (const std::string& candidate : names) {
    if (candidate.size() == typed.size() &&
        std::equal(candidate.begin(), candidate.end(), typed.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        }))
      return candidate;
  }
  return std::string();
}

std::string ModelSettings::SettingNameRefusal(const std::string& typed) const {
  std::string lower = typed;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "serial number") return "the serial number is written with `serial-number TEXT` (manufacturing mode)";
  if (!KnownSettingName(typed).empty()) return std::string();
  std::string list;
  for (const std::string& n : SettingNames()) list += (list.empty() ? "" : ", ") + ("\"" + n + "\"");
  return "no setting named \"" + typed + "\" for this sensor model; its settings are " + list;
}

SetResult ModelSettings::ChangeSetting(const std::string& name, const std::string& value) {
  const std::string known = KnownSettingName(name);
  if (known.empty()) return UnknownName(name);
  const std::string before = DisplayedValue(known);
  SetResult result;
  if (!TakesWord(known) && CheckNumericText(value, kNumericLowest, kNumericHighest) == kNumericNotANumber) {
    result = Refusal(kNumericNotANumberMessage);
  } else if (!hasValues_) {
    // The other fields of the group come from the last read; without one
    // there is nothing sound to send with the new value.
    result = Refusal(settings_editing::kNotReadMessage);
  } else {
    result = ChangeByName(known, value);
    if (result.reread) result.value = DisplayedValue(known);
  }
  if (result.Refused() && observer_) observer_({known, before, value, history::Outcome::kRefused});
  return result;
}

int ModelSettings::ConnectedModel() const { return model_ ? model_() : kModelKRV02; }

void ModelSettings::Publish(SummaryRows rows, uint8_t address) {
  rows_ = std::move(rows);
  hasValues_ = true;
  commands_.UseAddress(address);
  if (changed_) changed_();
}

SetResult ModelSettings::SwitchLaser(bool /*on*/) { return Refusal("this sensor model has no laser switch"); }

SetResult ModelSettings::Sent(bool reread) {
  SetResult result;
  result.sent = true;
  result.reread = reread;
  return result;
}

bool ModelSettings::ReadBackAfterWrite() {
  const PacketLink* link = commands().link();
  if (link != nullptr && !link->IsOpen()) return false;
  return Refresh();
}

namespace {

bool DiffersFromTyped(const std::string& typed, const std::string& shown);

}  // namespace

SetResult ModelSettings::ReReadAfterSending(std::vector<std::string> written) {
  // The texts sent and the values shown, before the re-read replaces them.
  std::vector<std::string> typed;
  std::vector<std::string> before;
  for (const std::string& name : written) {
    typed.push_back(TypedText(name));
    before.push_back(DisplayedValue(name));
  }
  SetResult result = Sent(ReadBackAfterWrite());
  result.written = std::move(written);
  result.typed = std::move(typed);
  if (observer_) {
    const PacketLink* link = commands().link();
    const bool lineGone = link != nullptr && !link->IsOpen();
    for (size_t i = 0; i < result.written.size(); ++i) {
      const std::string& name = result.written[i];
      const std::string after = result.reread ? DisplayedValue(name) : std::string();
      history::Outcome outcome = history::Outcome::kVerified;
      if (lineGone) {
        outcome = history::Outcome::kFailed;
      } else if (!result.reread || after.empty()) {
        outcome = history::Outcome::kNotVerified;
      } else if (after == before[i] && DiffersFromTyped(result.typed[i], after)) {
        // The sensor still holds its old value, not the one sent.
        outcome = history::Outcome::kFailed;
      }
      observer_({name, before[i], result.reread ? after : result.typed[i], outcome});
    }
  }
  return result;
}

namespace {

// A value read back as other than it was typed: both are numbers, and
// they differ ("1.5" and "1.500" are the same value).
bool DiffersFromTyped(const std::string& typed, const std::string& shown) {
  float typedValue = 0;
  float shownValue = 0;
  if (CheckNumericText(typed, kNumericLowest, kNumericHighest, &typedValue) != kNumericValid ||
      CheckNumericText(shown, kNumericLowest, kNumericHighest, &shownValue) != kNumericValid)
    return false;
  return ReadRealNumber(typed) != ReadRealNumber(shown);
}

}  // namespace

std::string ModelSettings::Caption(const std::string& name) const {
  const SettingField* field = setting_fields::Find(Fields(), name);
  return field != nullptr ? field->caption : name;
}

std::string ModelSettings::InDialogWords(const std::string& message) const {
  // The longest name that opens the message ("Max. Range" before "Max").
  const SettingField* best = nullptr;
  for (const SettingField& field : Fields()) {
    const std::string name = field.name;
    if (message.compare(0, name.size(), name) == 0 && message.compare(name.size(), 1, " ") == 0 &&
        (best == nullptr || name.size() > std::strlen(best->name)))
      best = &field;
  }
  if (best == nullptr) return message;
  return setting_fields::Spoken(best->caption) + message.substr(std::strlen(best->name));
}

std::string ModelSettings::ReadBackReport(const SetResult& result) const {
  if (result.Refused()) {
    std::string message = InDialogWords(result.message);
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    return "Not sent: " + message;
  }
  if (!result.sent) return std::string();
  const bool reported = std::any_of(result.written.begin(), result.written.end(),
                                    [this](const std::string& name) { return !DisplayedValue(name).empty(); });
  // A re-read that failed leaves the values of before: none of them is news.
  if (!result.reread && (reported || result.written.empty())) return settings_editing::kNotReadBack;
  std::string report;
  bool differs = false;
  for (size_t i = 0; i < result.written.size(); ++i) {
    const std::string& name = result.written[i];
    const std::string value = DisplayedValue(name);
    if (!report.empty()) report += ", ";
    report += setting_fields::Spoken(Caption(name)) + ": " + (value.empty() ? settings_editing::kNotReported : value);
    const std::string typed = i < result.typed.size() ? result.typed[i] : std::string();
    if (!value.empty() && DiffersFromTyped(typed, value)) {
      differs = true;
      report += " (typed " + typed + ")";
    }
  }
  if (reported) report += std::string(", ") + settings_editing::kReadBack;
  if (differs) report += std::string(", ") + settings_editing::kNotAsTyped;
  return report;
}

std::string ModelSettings::UnitText(const std::string& name, int chosenMode) const {
  const SettingField* field = setting_fields::Find(Fields(), name);
  if (field == nullptr) return std::string();
  if (field->unit == FieldUnit::kVolts) return setting_fields::kVoltsUnit;
  if (field->unit != FieldUnit::kRange) return std::string();
  // The unit format is the number's conversion, a blank, then the unit.
  const std::string& format = RowOfChosenMode(chosenMode).unitFormat;
  const size_t blank = format.rfind(' ');
  return blank == std::string::npos || format.find('%') == std::string::npos ? std::string()
                                                                              : format.substr(blank + 1);
}

SetResult ModelSettings::Refusal(std::string message) {
  SetResult result;
  result.message = std::move(message);
  return result;
}

SetResult ModelSettings::UnknownName(const std::string& name) {
  return Refusal("No setting named \"" + name + "\" for this sensor model");
}
