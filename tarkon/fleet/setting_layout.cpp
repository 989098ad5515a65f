#include "tarkon/fleet/setting_layout.h"

#include <cstdio>
#include <cstring>

#include "tarkon/models/krv04bf/krv04bf_replies.h"
#include "tarkon/models/model_table.h"

namespace fleet {
namespace {

using K = SettingKind;

using namespace model_backup;

// The reply area of a query, with its size.
const uint8_t* Area(const SensorCommands& c, const std::string& source, size_t& size) {
  struct Entry {
    const char* name;
    const uint8_t* area;
    size_t size;
  };
  const Entry entries[] = {
      {kSensorSetup, c.sensorSetup, sizeof c.sensorSetup},
      {kKRV04Setup, c.krv04Setup, sizeof c.krv04Setup},
      {kMinLP, &c.minLP, 1},
      {kMaxLP, &c.maxLP, 1},
      {kAnalog, c.analogFactors, sizeof c.analogFactors},
      {kConfig, c.configVars, sizeof c.configVars},
      {kHoldScans, reinterpret_cast<const uint8_t*>(&c.holdScans), sizeof c.holdScans},
      {kWane, c.waneParams, sizeof c.waneParams},
      {kBoardTimeout, reinterpret_cast<const uint8_t*>(&c.boardTimeout), sizeof c.boardTimeout},
  };
  for (const Entry& e : entries) {
    if (source == e.name) {
      size = e.size;
      return e.area;
    }
  }
  size = 0;
  return nullptr;
}

std::string Printed(const char* format, double value) {
  char text[64];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  std::snprintf(text, sizeof text, format, value);
#pragma GCC diagnostic pop
  return text;
}

// Enough digits that the parse gives back the same double.
std::string Exact(double value) { return Printed("%.17g", value); }

}  // namespace

const std::vector<SettingLayout>& LayoutOfModel(int model) {
  static const std::vector<SettingLayout> none;
  const ModelParts* parts = PartsOfModel(model);
  return parts != nullptr ? parts->backupLayout() : none;
}

const SettingLayout* FindLayout(int model, const std::string& name) {
  for (const SettingLayout& l : LayoutOfModel(model))
    if (name == l.name) return &l;
  return nullptr;
}

std::vector<uint8_t> RawBytes(const SensorCommands& commands, const SettingLayout& layout) {
  size_t size = 0;
  const uint8_t* area = Area(commands, layout.source, size);
  if (area == nullptr || layout.offset + layout.size > size) return {};
  // The two counters kept as host integers are little-endian on every host
  // this runs on, like the record fields converted to host order.
  return std::vector<uint8_t>(area + layout.offset, area + layout.offset + layout.size);
}

int64_t RawValue(const SettingLayout& layout, const std::vector<uint8_t>& raw) {
  if (raw.size() != layout.size) return 0;
  if (layout.size == 1) return raw[0];
  if (layout.size == 2) {
    const uint16_t word = static_cast<uint16_t>(raw[0] | (raw[1] << 8));
    return layout.isSigned ? static_cast<int16_t>(word) : word;
  }
  // The averaging count: high half in the first word, low half in the second.
  const uint32_t high = static_cast<uint32_t>(raw[0] | (raw[1] << 8));
  const uint32_t low = static_cast<uint32_t>(raw[2] | (raw[3] << 8));
  return (static_cast<int64_t>(high) << 16) | low;
}

std::string ExactText(const SettingLayout& layout, const std::vector<uint8_t>& raw,
                      const ValueContext& context) {
  const int64_t v = RawValue(layout, raw);
  const double value = static_cast<double>(v);
  switch (layout.kind) {
    case K::kWhole:
    case K::kMode: return std::to_string(v);
    case K::kOnOff: return v == 1 ? "On" : "Off";
    case K::kEnabled: return v == 1 ? "Enabled" : "Disabled";
    case K::kThousandths: return Printed("%.3f", value / 1000.0);
    case K::kCosine: return Printed("%.4f", value / 10000.0);
    case K::kRange:
    case K::kRangeOffset: {
      const RangeModeRow& row = context.ranges != nullptr ? context.ranges->Lookup(context.model, context.modeByte)
                                                         : RangeModeRow{};
      return Exact(value / row.divisor);
    }
    case K::kAveraging:
      return Exact(value / (context.averagingScale > 0 ? context.averagingScale : 1.0));
    case K::kWane: return Exact(value / krv04bf::WaneScaleOfMode(context.modeByte));
  }
  return std::to_string(v);
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
