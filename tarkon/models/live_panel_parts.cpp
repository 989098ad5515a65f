#include "tarkon/models/live_panel_parts.h"

namespace live_panel_text {

std::string Unsigned(uint16_t value) { return std::to_string(value); }
std::string Signed(uint16_t value) { return std::to_string(static_cast<int16_t>(value)); }

PanelRows Named(const std::vector<const char*>& names) {
  PanelRows rows;
  for (const char* name : names) rows.push_back({name, ""});
  return rows;
}

}  // namespace live_panel_text
