#include "tarkon/fleet/setting_layout.h"

#include <map>

#include "tarkon/models/model_table.h"
#include "tarkon/models/setting_values.h"

namespace fleet {

const std::vector<SettingLayout>& LayoutOfModel(int model) {
  // Built once for every registered model: the rows a backup keeps.
  static const std::map<int, std::vector<SettingLayout>> layouts = [] {
    std::map<int, std::vector<SettingLayout>> all;
    for (const ModelEntry& entry : ModelTable()) {
      std::vector<SettingLayout>& layout = all[entry.index];
      for (const SettingField& row : entry.parts().settingRows())
        if (row.source != nullptr) layout.push_back(row);
    }
    return all;
  }();
  static const std::vector<SettingLayout> none;
  const auto it = layouts.find(model);
  return it != layouts.end() ? it->second : none;
}

const SettingLayout* FindLayout(int model, const std::string& name) {
  for (const SettingLayout& l : LayoutOfModel(model))
    if (name == l.name) return &l;
  return nullptr;
}

int64_t RawValue(const SettingLayout& layout, const std::vector<uint8_t>& raw) {
  return setting_values::RawValue(layout, raw);
}

SettingContext ContextOf(const ValueContext& context) {
  SettingContext c;
  static const RangeModeRow none;
  c.row = context.ranges != nullptr ? &context.ranges->Lookup(context.model, context.modeByte) : &none;
  c.modeByte = context.modeByte;
  c.modeCount = context.ranges != nullptr ? static_cast<int>(context.ranges->ModeTexts(context.model).size()) : 0;
  c.averagingFactor = context.averagingScale > 0 ? context.averagingScale : 1.0;
  return c;
}

std::string ExactText(const SettingLayout& layout, const std::vector<uint8_t>& raw,
                      const ValueContext& context) {
  return setting_values::ExactText(layout, RawValue(layout, raw), ContextOf(context));
}

std::string UnitOfFormat(const std::string& unitFormat) { return RangeModeTable::UnitOfFormat(unitFormat); }

bool IsRangeKind(SettingKind kind) {
  return kind == SettingKind::kRange || kind == SettingKind::kRangeOffset || kind == SettingKind::kWane;
}

std::string ToHex(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t b : bytes) {
    text += digits[b >> 4];
    text += digits[b & 0xF];
  }
  return text;
}

bool FromHex(const std::string& text, std::vector<uint8_t>& bytes) {
  if (text.size() % 2 != 0) return false;
  bytes.clear();
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (size_t i = 0; i < text.size(); i += 2) {
    const int hi = nibble(text[i]);
    const int lo = nibble(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes.push_back(static_cast<uint8_t>(hi << 4 | lo));
  }
  return true;
}

}  // namespace fleet
