#include "tarkon/fleet/parameter_rows.h"

#include <cstdlib>

#include "tarkon/document/doc_internals.h"
#include "tarkon/models/model_settings.h"
#include "tarkon/models/model_table.h"

namespace fleet {
namespace {

// The leading number of a word ("8.000", "255,"), or empty.
std::string NumberOf(const std::string& word) {
  std::string text = word;
  while (!text.empty() && (text.back() == ',' || text.back() == ';')) text.pop_back();
  if (text.empty()) return std::string();
  char* end = nullptr;
  std::strtod(text.c_str(), &end);
  return end != nullptr && *end == '\0' ? text : std::string();
}

std::string FirstWord(const std::string& text, size_t from = 0) {
  const size_t start = text.find_first_not_of(' ', from);
  if (start == std::string::npos) return std::string();
  const size_t end = text.find(' ', start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The unit that follows the upper bound in the check's words
// ("21474.836 ms, in steps ..." gives "ms").
std::string UnitAfterUpperBound(const std::string& range) {
  const size_t to = range.find(" to ");
  if (to == std::string::npos) return std::string();
  const size_t number = range.find_first_not_of(' ', to + 4);
  const size_t blank = range.find(' ', number);
  if (blank == std::string::npos || range[blank - 1] == ',') return std::string();
  std::string unit = FirstWord(range, blank);
  while (!unit.empty() && unit.back() == ',') unit.pop_back();
  return NumberOf(unit).empty() ? unit : std::string();
}

// A unit a caption carries in brackets ("Conveyer Speed(mm/s)"), unless it
// names two ("inch/mm": the range mode decides).
std::string UnitOfCaption(const std::string& caption) {
  if (caption.empty() || caption.back() != ')') return std::string();
  const size_t open = caption.rfind('(');
  if (open == std::string::npos) return std::string();
  const std::string unit = caption.substr(open + 1, caption.size() - open - 2);
  return unit == "inch/mm" ? std::string() : unit;
}

}  // namespace

void RangeBounds(const std::string& range, std::string& min, std::string& max) {
  min.clear();
  max.clear();
  const size_t to = range.find(" to ");
  if (to == std::string::npos) return;
  const std::string low = NumberOf(FirstWord(range.substr(0, to)));
  const std::string high = NumberOf(FirstWord(range, to + 4));
  if (low.empty() || high.empty()) return;
  min = low;
  max = high;
}

int ModeByteOfFile(const SensorBackup& file) {
  const SettingLayout* mode = FindLayout(file.modelIndex, "Mode");
  const BackupSetting* s = file.Find("Mode");
  return mode != nullptr && s != nullptr ? static_cast<int>(RawValue(*mode, s->raw)) : 0;
}

ParameterRow DescribeSetting(const SettingLayout& layout, const std::vector<uint8_t>& raw, const std::string& shown,
                             const RowSource& source) {
  ParameterRow row;
  row.name = layout.name;
  row.value = shown;
  row.raw = raw;
  row.number = ExactText(layout, raw, source.context);
  if (source.settings == nullptr) return row;
  const ModelSettings& settings = *source.settings;
  const int mode = source.context.modeByte;
  row.range = settings.RangeHint(row.name, mode);
  // Choices: the mode numbers the change by name takes, or the two words.
  if (row.range.empty() && layout.kind == SettingKind::kMode && !settings.ModeTexts().empty())
    row.range = settings_editing::WholeRange(0, static_cast<int32_t>(settings.ModeTexts().size()) - 1);
  if (layout.kind == SettingKind::kOnOff)
    row.range = std::string(settings_editing::kOn) + " or " + settings_editing::kOff;
  if (layout.kind == SettingKind::kEnabled)
    row.range = std::string(settings_editing::kEnabled) + " or " + settings_editing::kDisabled;
  RangeBounds(row.range, row.min, row.max);
  row.unit = settings.UnitText(row.name, mode);
  if (row.unit.empty()) row.unit = UnitAfterUpperBound(row.range);
  if (row.unit.empty()) row.unit = UnitOfCaption(settings.Caption(row.name));
  if (row.unit.empty() && IsRangeKind(layout.kind) && source.context.ranges != nullptr)
    row.unit = UnitOfFormat(source.context.ranges->Lookup(source.context.model, mode).unitFormat);
  if (const SettingField* field = setting_fields::Find(settings.Fields(), row.name); field != nullptr) {
    row.group = field->group != nullptr ? field->group : "";
    row.writeOrder = field->writeOrder;
  }
  return row;
}

std::vector<ParameterRow> SensorRows(const CKRV02Doc& doc) {
  const ModelSettings* settings = doc.currentSettings();
  if (!doc.connected() || settings == nullptr || !settings->HasValues()) return {};
  const SensorCommands& commands = DocInternals::Commands(doc);
  RowSource source;
  source.settings = settings;
  source.context = {doc.modelIndex(), ModeByteOfModel(doc.modelIndex(), commands), commands.versionDivisor(),
                    &doc.ranges()};
  std::vector<ParameterRow> rows;
  for (const SettingLayout& layout : LayoutOfModel(doc.modelIndex()))
    rows.push_back(DescribeSetting(layout, RawBytes(commands, layout), settings->DisplayedValue(layout.name), source));
  return rows;
}

std::vector<ParameterRow> FileRows(const SensorBackup& file, const ModelSettings& settings, const RangeModeTable& ranges) {
  RowSource source;
  source.settings = &settings;
  source.context = {file.modelIndex, ModeByteOfFile(file), settings.commands().versionDivisor(), &ranges};
  std::vector<ParameterRow> rows;
  for (const SettingLayout& layout : LayoutOfModel(file.modelIndex)) {
    const BackupSetting* s = file.Find(layout.name);
    if (s != nullptr) rows.push_back(DescribeSetting(layout, s->raw, s->value, source));
  }
  return rows;
}

}  // namespace fleet
