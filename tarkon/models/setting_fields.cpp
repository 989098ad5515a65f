#include "tarkon/models/setting_fields.h"

namespace setting_fields {

const SettingField* Find(const std::vector<SettingField>& table, const std::string& name) {
  for (const SettingField& field : table)
    if (name == field.name) return &field;
  return nullptr;
}

std::string Spoken(const std::string& caption) {
  std::string text = caption;
  if (!text.empty() && text.back() == ')') {
    const size_t open = text.rfind('(');
    if (open != std::string::npos) text.erase(open);
  }
  while (!text.empty() && (text.back() == ':' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace setting_fields
