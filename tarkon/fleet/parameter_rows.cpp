#include "tarkon/fleet/parameter_rows.h"

#include "tarkon/document/krv02_doc.h"
#include "tarkon/models/model_settings.h"
#include "tarkon/models/model_table.h"

namespace fleet {

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
  // Everything else is the row's own: its check's range in the sensor's
  // (or file's) mode, its bounds as numbers, its unit and its group.
  SettingContext context = ContextOf(source.context);
  const SettingContext facts = settings.ShownContext();
  context.modeCount = facts.modeCount;
  context.averagingFormat = facts.averagingFormat;
  context.averagingStep = facts.averagingStep;
  const SettingField* field = settings.Row(row.name);
  if (field == nullptr) field = &layout;
  row.range = setting_values::RangeText(*field, context);
  if (const auto bounds = setting_values::RangeBounds(*field, context)) {
    row.min = bounds->low;
    row.max = bounds->high;
  }
  row.unit = setting_values::UnitText(*field, context);
  row.group = field->group != nullptr ? field->group : "";
  row.writeOrder = field->writeOrder;
  return row;
}

std::vector<ParameterRow> SensorRows(const CKRV02Doc& doc) {
  const ModelSettings* settings = doc.currentSettings();
  if (!doc.connected() || settings == nullptr || !settings->HasValues()) return {};
  RowSource source;
  source.settings = settings;
  source.context = {doc.sensor().modelIndex(), doc.sensor().CurrentMode(), settings->ShownContext().averagingFactor,
                    &doc.sensor().ranges()};
  std::vector<ParameterRow> rows;
  for (const SettingLayout& layout : LayoutOfModel(doc.sensor().modelIndex()))
    rows.push_back(DescribeSetting(layout, settings->ReadBytes(layout), settings->DisplayedValue(layout.name), source));
  return rows;
}

std::vector<ParameterRow> FileRows(const SensorBackup& file, const ModelSettings& settings, const RangeModeTable& ranges) {
  RowSource source;
  source.settings = &settings;
  source.context = {file.modelIndex, ModeByteOfFile(file), settings.ShownContext().averagingFactor, &ranges};
  std::vector<ParameterRow> rows;
  for (const SettingLayout& layout : LayoutOfModel(file.modelIndex)) {
    const BackupSetting* s = file.Find(layout.name);
    if (s != nullptr) rows.push_back(DescribeSetting(layout, s->raw, s->value, source));
  }
  return rows;
}

}  // namespace fleet
