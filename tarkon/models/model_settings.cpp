#include "tarkon/models/model_settings.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

namespace values = setting_values;
using K = model_backup::SettingKind;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

ModelSettings::ModelSettings(SensorCommands& commands, const RangeModeTable& modes, ModelGetter model,
                             StateChanged changed, const std::vector<SettingField>& rows,
                             const char* addressSource, size_t addressOffset)
    : commands_(commands),
      modes_(modes),
      model_(std::move(model)),
      changed_(std::move(changed)),
      rows_(rows),
      addressSource_(addressSource),
      addressOffset_(addressOffset) {}

int ModelSettings::ConnectedModel() const { return model_ ? model_() : kModelKRV02; }

void ModelSettings::Clear() {
  summary_.clear();
  typed_.clear();
  read_.clear();
  hasValues_ = false;
}

// --- Reading ---------------------------------------------------------------------

SettingContext ModelSettings::ShownContext() const {
  const int model = ConnectedModel();
  // The sensor's range mode as its Mode row reads it; a model without a
  // mode list has its one mode.
  const SettingField* modeRow = Row("Mode");
  const int modeByte =
      modeRow != nullptr ? static_cast<int>(values::RawValue(*modeRow, ReadBytes(*modeRow))) : 0;
  SettingContext context;
  context.row = &modes_.Lookup(model, modeByte);
  context.modeByte = modeByte;
  context.modeCount = static_cast<int>(ModeTexts().size());
  context.averagingFactor = commands_.versionDivisor();
  context.averagingStep = commands_.versionValue();
  context.averagingFormat = commands_.versionFormat();
  return context;
}

std::vector<uint8_t> ModelSettings::ReadBytes(const SettingField& row) const {
  return values::RawBytes(commands_, row);
}

SettingContext ModelSettings::EditContext(int chosenMode) const {
  SettingContext context = ShownContext();
  // A model without a mode list checks and scales in its one mode.
  if (HasModeRow()) context.row = &modes_.Lookup(ConnectedModel(), chosenMode);
  return context;
}

int ModelSettings::ChosenMode() const {
  const SettingField* row = Row("Mode");
  const auto mode = typed_.find("Mode");
  if (row == nullptr || mode == typed_.end() || mode->second.empty()) return -1;
  const values::Typed typed = values::ReadTyped(*row, mode->second, ShownContext());
  return typed.ok ? static_cast<int>(typed.raw) : -1;
}

std::vector<std::string> ModelSettings::ModeTexts() const {
  return HasModeRow() ? modes_.ModeTexts(ConnectedModel()) : std::vector<std::string>{};
}

bool ModelSettings::Refresh() {
  // Each reply the rows name, once, in the rows' order.
  std::vector<std::string> sources;
  for (const SettingField& row : rows_)
    if (row.source != nullptr && std::find(sources.begin(), sources.end(), row.source) == sources.end())
      sources.emplace_back(row.source);
  for (const std::string& source : sources)
    if (!values::ReadReply(commands_, source)) return false;

  const SettingContext context = ShownContext();
  SummaryRows rows;
  FieldTexts fields;
  for (const SettingField& row : rows_) {
    if (row.source == nullptr) continue;
    const int64_t raw = values::RawValue(row, ReadBytes(row));
    if (row.gapBefore) rows.emplace_back(std::string(), std::string());
    rows.emplace_back(row.name, values::ShownText(row, raw, context));
    fields[row.name] = values::FieldText(row, raw, context);
  }
  size_t size = 0;
  const uint8_t* area = values::ReplyArea(commands_, addressSource_, &size);
  typed_ = fields;
  read_ = fields;
  Publish(std::move(rows), area != nullptr && addressOffset_ < size ? area[addressOffset_] : 0);
  return true;
}

void ModelSettings::Publish(SummaryRows rows, uint8_t address) {
  summary_ = std::move(rows);
  hasValues_ = true;
  commands_.UseAddress(address);
  if (changed_) changed_();
}

void ModelSettings::Summary(std::vector<std::string>& names, std::vector<std::string>& values) const {
  names.clear();
  values.clear();
  for (const auto& [name, value] : summary_) {
    names.push_back(name);
    values.push_back(value);
  }
}

std::string ModelSettings::DisplayedValue(const std::string& name) const {
  if (name.empty()) return {};
  for (const auto& [rowName, value] : summary_)
    if (rowName == name) return value;
  return {};
}

std::vector<std::string> ModelSettings::SettingNames() const {
  std::vector<std::string> names;
  for (const SettingField& row : rows_)
    if (row.source != nullptr) names.emplace_back(row.name);
  return names;
}

std::string ModelSettings::KnownSettingName(const std::string& typed) const {
  const std::vector<std::string> names = SettingNames();
  for (const std::string& candidate : names)
    if (candidate == typed) return candidate;
  for (const std::string& candidate : names)
    if (Lower(candidate) == Lower(typed)) return candidate;
  return std::string();
}

std::string ModelSettings::SettingNameRefusal(const std::string& typed) const {
  if (Lower(typed) == "serial number")
    return "the serial number is written with `serial-number TEXT` (manufacturing mode)";
  if (!KnownSettingName(typed).empty()) return std::string();
  std::string list;
  for (const std::string& n : SettingNames()) list += (list.empty() ? "" : ", ") + ("\"" + n + "\"");
  return "no setting named \"" + typed + "\" for this sensor model; its settings are " + list;
}

// --- The dialog's fields -----------------------------------------------------------

std::string ModelSettings::TypedText(const std::string& name) const {
  const auto it = typed_.find(name);
  return it != typed_.end() ? it->second : std::string();
}

std::vector<std::pair<std::string, std::string>> ModelSettings::Choices(const std::string& name) const {
  std::vector<std::pair<std::string, std::string>> entries;
  const SettingField* row = Row(name);
  if (row == nullptr || row->check != FieldCheck::kChoice) return entries;
  if (row->kind == K::kMode) {
    const std::vector<std::string> texts = ModeTexts();
    for (size_t i = 0; i < texts.size(); ++i) entries.emplace_back(texts[i], std::to_string(i));
  } else if (row->kind == K::kOnOff) {
    entries = {{settings_editing::kOn, settings_editing::kOn}, {settings_editing::kOff, settings_editing::kOff}};
  } else if (row->kind == K::kEnabled) {
    entries = {{settings_editing::kEnabled, settings_editing::kEnabled},
               {settings_editing::kDisabled, settings_editing::kDisabled}};
  } else if (row->choices != nullptr) {
    for (int32_t value : row->choices()) entries.emplace_back(std::to_string(value), std::to_string(value));
  }
  return entries;
}

std::vector<std::string> ModelSettings::Buttons() const {
  std::vector<std::string> buttons;
  for (const SettingField& row : rows_)
    if (row.button != nullptr && std::find(buttons.begin(), buttons.end(), row.button) == buttons.end())
      buttons.emplace_back(row.button);
  return buttons;
}

SetResult ModelSettings::Press(const std::string& button, const FieldTexts& fields) {
  for (const auto& [name, text] : fields) typed_[name] = text;
  std::vector<const SettingField*> rows;
  for (const SettingField& row : rows_)
    if (row.button != nullptr && button == row.button) rows.push_back(&row);
  if (rows.empty()) return SetResult{};
  return Write(rows);
}

SetResult ModelSettings::ChangeSetting(const std::string& name, const std::string& value) {
  const std::string known = KnownSettingName(name);
  if (known.empty()) return UnknownName(name);
  const SettingField& row = *Row(known);
  const std::string before = DisplayedValue(known);
  SetResult result;
  if (!hasValues_) {
    // The other fields of the group come from the last read; without one
    // there is nothing sound to send with the new value.
    result = Refusal(settings_editing::kNotReadMessage);
  } else if (row.button == nullptr) {
    result = Refusal("No button writes " + known);
  } else {
    FieldTexts fields = read_;
    fields[known] = value;
    typed_ = fields;
    std::vector<const SettingField*> rows;
    for (const SettingField& r : rows_)
      if (r.button != nullptr && std::strcmp(r.button, row.button) == 0) rows.push_back(&r);
    result = Write(rows);
    if (result.reread) result.value = DisplayedValue(known);
  }
  if (result.Refused() && observer_) observer_({known, before, value, history::Outcome::kRefused});
  return result;
}

SetResult ModelSettings::SwitchLaser(bool on) {
  const SettingField* laser = Row("Laser");
  if (laser == nullptr || laser->write == nullptr) return Refusal("this sensor model has no laser switch");
  typed_["Laser"] = on ? settings_editing::kOn : settings_editing::kOff;
  return Write({laser});
}

// --- Writing -----------------------------------------------------------------------

SetResult ModelSettings::Write(const std::vector<const SettingField*>& rows) {
  // A single choice with no entry chosen: nothing to send. A switch then
  // reads the fields again, as its button always does.
  if (rows.size() == 1 && rows[0]->check == FieldCheck::kChoice && TypedText(rows[0]->name).empty()) {
    SetResult result;
    if (rows[0]->kind == K::kOnOff && rows[0]->readBack != ReadBack::kNotReported) result.reread = Refresh();
    return result;
  }
  const SettingContext context = EditContext(ChosenMode());
  std::map<const SettingField*, Sent> converted;
  const auto convert = [&](const SettingField* row) -> std::string {
    const std::string text = TypedText(row->name);
    if (row->check == FieldCheck::kChoice && text.empty()) {
      // A list showing no entry (the sensor holds a value outside it): the
      // sensor's own value goes back unchanged.
      converted[row] = {row, values::RawValue(*row, ReadBytes(*row)), true};
      return std::string();
    }
    const values::Typed typed = values::ReadTyped(*row, text, context);
    if (typed.ok) converted[row] = {row, typed.raw, typed.asTyped};
    return typed.refusal;
  };
  // The checks the dialog states come first (a range, the cosine, the
  // averaging period, a choice), then whether the sensor has been read,
  // then the fit of each word: the order the dialogs' own checks have.
  for (const SettingField* row : rows)
    if (row->check != FieldCheck::kWord)
      if (const std::string why = convert(row); !why.empty()) return Refusal(why);
  // Record writes send back bytes the dialog does not show, known only
  // from a read; so does a list that shows no entry.
  bool needsRead = false;
  for (const SettingField* row : rows) {
    needsRead = needsRead || (row->write != nullptr && row->write->recordSize > 0) ||
                (row->check == FieldCheck::kChoice && TypedText(row->name).empty());
  }
  if (needsRead && !hasValues_) return Refusal(settings_editing::kNotReadMessage);
  for (const SettingField* row : rows)
    if (row->check == FieldCheck::kWord)
      if (const std::string why = convert(row); !why.empty()) return Refusal(why);

  // Each command once, in the rows' order; a record carries all its rows.
  std::vector<const SettingWrite*> writes;
  for (const SettingField* row : rows)
    if (row->write != nullptr && std::find(writes.begin(), writes.end(), row->write) == writes.end())
      writes.push_back(row->write);
  for (const SettingWrite* write : writes) {
    if (write->recordSize == 0) {
      for (const SettingField* row : rows)
        if (row->write == write) write->send(commands_, static_cast<int32_t>(converted[row].raw), nullptr);
      continue;
    }
    std::vector<uint8_t> record(write->recordSize, 0);
    if (write->spareSource != nullptr) {
      size_t size = 0;
      const uint8_t* area = values::ReplyArea(commands_, write->spareSource, &size);
      if (area != nullptr && write->spareFrom + write->spareLength <= size)
        std::memcpy(record.data() + write->spareTo, area + write->spareFrom, write->spareLength);
    }
    for (const SettingField* row : rows)
      if (row->write == write) values::PutRaw(record.data(), row->recordOffset, row->size, converted[row].raw);
    // A record command may leave its record in wire order; it is not used afterwards.
    write->send(commands_, 0, record.data());
  }
  std::vector<Sent> sent;
  for (const SettingField* row : rows) sent.push_back(converted[row]);
  return ReReadAfterSending(sent);
}

bool ModelSettings::ReadBackAfterWrite() {
  const PacketLink* link = commands_.link();
  if (link != nullptr && !link->IsOpen()) return false;
  return Refresh();
}

SetResult ModelSettings::ReReadAfterSending(const std::vector<Sent>& sent) {
  SetResult result;
  result.sent = true;
  std::vector<std::string> before;
  std::vector<int64_t> rawBefore;
  for (const Sent& s : sent) {
    result.written.emplace_back(s.row->name);
    result.typed.push_back(TypedText(s.row->name));
    before.push_back(DisplayedValue(s.row->name));
  }
  const bool reported = std::any_of(sent.begin(), sent.end(),
                                    [](const Sent& s) { return s.row->readBack != ReadBack::kNotReported; });
  // A setting the sensor does not report is sent, never read back.
  result.reread = reported && ReadBackAfterWrite();
  const PacketLink* link = commands_.link();
  const bool lineGone = link != nullptr && !link->IsOpen();
  for (size_t i = 0; i < sent.size(); ++i) {
    const SettingField& row = *sent[i].row;
    const bool holds = result.reread && row.source != nullptr &&
                       values::RawValue(row, ReadBytes(row)) == sent[i].raw;
    result.asTyped.push_back(holds && sent[i].exact);
    if (!observer_) continue;
    history::Outcome outcome = history::Outcome::kVerified;
    if (lineGone) {
      outcome = history::Outcome::kFailed;
    } else if (!result.reread || row.readBack == ReadBack::kNotReported) {
      outcome = history::Outcome::kNotVerified;
    } else if (!holds) {
      // The sensor holds another value than the one sent.
      outcome = history::Outcome::kFailed;
    }
    const std::string after = result.reread ? DisplayedValue(row.name) : result.typed[i];
    observer_({row.name, before[i], after.empty() ? result.typed[i] : after, outcome});
  }
  return result;
}

// --- Words ---------------------------------------------------------------------------

std::string ModelSettings::Caption(const std::string& name) const {
  const SettingField* field = Row(name);
  return field != nullptr ? field->caption : name;
}

std::string ModelSettings::InDialogWords(const std::string& message) const {
  // The longest name that opens the message ("Max. Range" before "Max").
  const SettingField* best = nullptr;
  for (const SettingField& field : rows_) {
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
    const bool asTyped = i < result.asTyped.size() && result.asTyped[i];
    if (!value.empty() && !asTyped) {
      differs = true;
      report += " (typed " + (i < result.typed.size() ? result.typed[i] : std::string()) + ")";
    }
  }
  if (reported) report += std::string(", ") + settings_editing::kReadBack;
  if (differs) report += std::string(", ") + settings_editing::kNotAsTyped;
  return report;
}

std::string ModelSettings::UnitText(const std::string& name, int chosenMode) const {
  const SettingField* row = Row(name);
  return row != nullptr ? values::UnitText(*row, EditContext(chosenMode)) : std::string();
}

std::string ModelSettings::RangeHint(const std::string& name, int chosenMode) const {
  const SettingField* row = Row(name);
  return row != nullptr ? values::RangeText(*row, EditContext(chosenMode)) : std::string();
}

std::string ModelSettings::ValueUnit(const std::string& name) const {
  const SettingField* row = Row(name);
  return row != nullptr ? values::UnitText(*row, ShownContext()) : std::string();
}

bool ModelSettings::HoldsTyped(const std::string& name, const std::string& text) const {
  const SettingField* row = Row(name);
  if (row == nullptr || row->source == nullptr) return false;
  const values::Typed typed = values::ReadTyped(*row, text, ShownContext());
  // The averaging period is held rounded down to its step: that is what
  // its write sends, and what the sensor is asked to hold.
  return typed.ok && values::RawValue(*row, ReadBytes(*row)) == typed.raw;
}

SetResult ModelSettings::Refusal(std::string message) {
  SetResult result;
  result.message = std::move(message);
  return result;
}

SetResult ModelSettings::UnknownName(const std::string& name) {
  return Refusal("No setting named \"" + name + "\" for this sensor model");
}
