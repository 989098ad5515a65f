#include "tarkon/models/setting_fields.h"

#include <algorithm>

namespace setting_fields {

const SettingField* Find(const std::vector<SettingField>& table, const std::string& name) {
  for (const SettingField& field : table)
    if (name == field.name) return &field;
  return nullptr;
}

std::vector<SettingField> Without(std::vector<SettingField> table, const std::vector<std::string>& names) {
  table.erase(std::remove_if(table.begin(), table.end(),
                             [&names](const SettingField& field) {
                               return std::find(names.begin(), names.end(), field.name) != names.end();
                             }),
              table.end());
  return table;
}

std::string Spoken(const std::string& caption) {
  std::string text = caption;
  if (CaptionCarriesUnit(text)) text.erase(text.rfind('('));
  while (!text.empty() && (text.back() == ':' || text.back() == ' ')) text.pop_back();
  return text;
}

bool CaptionCarriesUnit(const std::string& caption) {
  return !caption.empty() && caption.back() == ')' && caption.rfind('(') != std::string::npos;
}

}  // namespace setting_fields
