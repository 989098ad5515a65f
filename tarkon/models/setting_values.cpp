#include "tarkon/models/setting_values.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "protocol/sensor_commands.h"
#include "tarkon/document/display_forms.h"
#include "tarkon/document/numeric_text.h"
#include "tarkon/document/settings_editing.h"

namespace setting_values {
namespace {

using K = model_backup::SettingKind;
namespace edit = settings_editing;

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

const RangeModeRow& RowOf(const SettingContext& context) {
  static const RangeModeRow none;
  return context.row != nullptr ? *context.row : none;
}

// A display value as the row's messages and ranges print it, with the
// range mode's unit where `withUnit` and the value is a length.
std::string Show(const SettingField& row, double value, const SettingContext& context, bool withUnit) {
  switch (row.kind) {
    case K::kThousandths: return Printed("%.3f", value);
    case K::kCosine: return Printed("%.4f", value);
    case K::kRange:
    case K::kRangeOffset:
      return withUnit ? RangeModeTable::FormatUnit(RowOf(context), value) : RangeModeTable::FormatBare(RowOf(context), value);
    case K::kWane: return Printed(Scale(row, context) == 100.0 ? "%.2f" : "%.3f", value);
    case K::kAveraging: return settings_display::FormatReal(context.averagingFormat, value);
    default: return Printed("%.0f", value);
  }
}

// The raw values the row's word holds.
int64_t WordLow(const SettingField& row) {
  if (row.size == 2 && row.isSigned) return INT16_MIN;
  return 0;
}
int64_t WordHigh(const SettingField& row) {
  if (row.size == 1) return UINT8_MAX;
  if (row.size == 2) return row.isSigned ? INT16_MAX : UINT16_MAX;
  return UINT32_MAX;
}

std::string WordRange(const SettingField& row, const SettingContext& context, const char* between) {
  const double scale = Scale(row, context);
  return Show(row, static_cast<double>(WordLow(row)) / scale, context, true) + between +
         Show(row, static_cast<double>(WordHigh(row)) / scale, context, true);
}

// The refusal of a value outside the row's range, in the row's words.
std::string OutOfRange(const SettingField& row, const SettingContext& context) {
  switch (row.check) {
    case FieldCheck::kBounds:
    case FieldCheck::kAveraging: return row.message != nullptr ? row.message : "";
    case FieldCheck::kModeRow: return edit::RangeMessage(RowOf(context));
    default: return std::string(row.name) + " must be between " + WordRange(row, context, " and ");
  }
}

bool SnapToWhole(double product, double* whole) { return edit::SnapsToWhole(product, whole); }

Typed Refused(std::string why) {
  Typed typed;
  typed.refusal = std::move(why);
  return typed;
}

Typed Taken(int64_t raw, bool asTyped = true) {
  Typed typed;
  typed.ok = true;
  typed.raw = raw;
  typed.asTyped = asTyped;
  return typed;
}

std::string ListText(const std::vector<int32_t>& values) {
  std::string text;
  for (int32_t v : values) text += (text.empty() ? "" : ", ") + std::to_string(v);
  return text;
}

Typed ReadChoice(const SettingField& row, const std::string& text, const SettingContext& context) {
  const std::string name = row.name;
  if (row.kind == K::kOnOff || row.kind == K::kEnabled) {
    const auto on = edit::ReadSwitch(text);
    if (!on) return Refused(name + (row.kind == K::kOnOff ? " must be On or Off" : " must be Enabled or Disabled"));
    return Taken(*on ? 1 : 0);
  }
  double value = 0;
  double whole = 0;
  const bool number = ReadTypedNumber(text, &value) == kNumericValid && SnapToWhole(value, &whole) && whole == value;
  if (row.kind == K::kMode) {
    if (!number || whole < 0 || whole >= context.modeCount)
      return Refused(name + " must be a mode number from 0 to " + std::to_string(context.modeCount - 1));
    return Taken(static_cast<int64_t>(whole));
  }
  const std::vector<int32_t>& list = row.choices != nullptr ? row.choices() : std::vector<int32_t>{};
  if (!number || std::find(list.begin(), list.end(), whole) == list.end())
    return Refused(name + " must be one of " + ListText(list));
  return Taken(static_cast<int64_t>(whole));
}

}  // namespace

double Scale(const SettingField& row, const SettingContext& context) {
  switch (row.kind) {
    case K::kThousandths: return 1000.0;
    case K::kCosine: return 10000.0;
    case K::kRange:
    case K::kRangeOffset: return RowOf(context).divisor;
    case K::kWane: return context.modeByte != 0 ? 100.0 : 1000.0;
    case K::kAveraging: return context.averagingFactor;
    default: return 1.0;
  }
}

int64_t RawValue(const SettingField& row, const std::vector<uint8_t>& bytes) {
  if (bytes.size() != row.size) return 0;
  if (row.size == 1) return row.isSigned ? static_cast<int8_t>(bytes[0]) : bytes[0];
  if (row.size == 2) {
    const uint16_t word = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    return row.isSigned ? static_cast<int16_t>(word) : word;
  }
  const uint32_t high = static_cast<uint32_t>(bytes[0] | (bytes[1] << 8));
  const uint32_t low = static_cast<uint32_t>(bytes[2] | (bytes[3] << 8));
  return (static_cast<int64_t>(high) << 16) | low;
}

const uint8_t* ReplyArea(const SensorCommands& c, const std::string& source, size_t* size) {
  struct Entry {
    const char* name;
    const uint8_t* area;
    size_t size;
  };
  const Entry entries[] = {
      {model_backup::kSensorSetup, c.sensorSetup, sizeof c.sensorSetup},
      {model_backup::kKRV04Setup, c.krv04Setup, sizeof c.krv04Setup},
      {model_backup::kMinLP, &c.minLP, 1},
      {model_backup::kMaxLP, &c.maxLP, 1},
      {model_backup::kAnalog, c.analogFactors, sizeof c.analogFactors},
      {model_backup::kConfig, c.configVars, sizeof c.configVars},
      // The two counters kept as host integers are little-endian on every
      // host this runs on, like the record fields converted to host order.
      {model_backup::kHoldScans, reinterpret_cast<const uint8_t*>(&c.holdScans), sizeof c.holdScans},
      {model_backup::kWane, c.waneParams, sizeof c.waneParams},
      {model_backup::kBoardTimeout, reinterpret_cast<const uint8_t*>(&c.boardTimeout), sizeof c.boardTimeout},
  };
  for (const Entry& e : entries) {
    if (source == e.name) {
      *size = e.size;
      return e.area;
    }
  }
  *size = 0;
  return nullptr;
}

bool ReadReply(SensorCommands& c, const std::string& source) {
  struct Entry {
    const char* name;
    int (SensorCommands::*query)();
  };
  static const Entry entries[] = {
      {model_backup::kSensorSetup, &SensorCommands::GetSensorSetup},
      {model_backup::kKRV04Setup, &SensorCommands::GetKRV04Setup},
      {model_backup::kMinLP, &SensorCommands::GetMinLP},
      {model_backup::kMaxLP, &SensorCommands::GetMaxLP},
      {model_backup::kAnalog, &SensorCommands::GetAnalogFactors},
      {model_backup::kConfig, &SensorCommands::GetConfigVars},
      {model_backup::kHoldScans, &SensorCommands::GetNumHoldScans},
      {model_backup::kWane, &SensorCommands::ReadWaneParams},
      {model_backup::kBoardTimeout, &SensorCommands::GetBoardTimeout},
  };
  for (const Entry& e : entries)
    if (source == e.name) return (c.*e.query)() != 0;
  return false;
}

std::vector<uint8_t> RawBytes(const SensorCommands& commands, const SettingField& row) {
  if (row.source == nullptr) return {};
  size_t size = 0;
  const uint8_t* area = ReplyArea(commands, row.source, &size);
  if (area == nullptr || row.offset + row.size > size) return {};
  return std::vector<uint8_t>(area + row.offset, area + row.offset + row.size);
}

std::string ShownText(const SettingField& row, int64_t raw, const SettingContext& context) {
  const double value = static_cast<double>(raw);
  switch (row.kind) {
    case K::kMode: return RowOf(context).text;
    case K::kOnOff: return raw == 1 ? edit::kOn : edit::kOff;
    case K::kEnabled: return raw == 1 ? edit::kEnabled : edit::kDisabled;
    case K::kThousandths: return settings_display::Thousandths(static_cast<int32_t>(raw));
    case K::kCosine: return settings_display::Format("%3.4f", value * 0.0001);
    case K::kRange: return RangeModeTable::FormatBare(RowOf(context), value / RowOf(context).divisor);
    // Three decimals, as the dialog has always shown it; the modes counted in
    // ten-thousandths need the fourth, or the value shown (and written back)
    // would not be the sensor's.
    case K::kRangeOffset:
      return settings_display::Format(RowOf(context).divisor > 1000 ? "%2.4f" : "%2.3f",
                                      value / RowOf(context).divisor);
    case K::kAveraging: return settings_display::FormatReal(context.averagingFormat, value / context.averagingFactor);
    // Shown in the range mode's own format, written in the wane scale.
    case K::kWane: return RangeModeTable::FormatBare(RowOf(context), value / RowOf(context).divisor);
    default: return settings_display::Whole(static_cast<int32_t>(raw));
  }
}

std::string FieldText(const SettingField& row, int64_t raw, const SettingContext& context) {
  if (row.kind == K::kMode) return raw >= 0 && raw < context.modeCount ? std::to_string(raw) : std::string();
  if (row.choices != nullptr) {
    const std::vector<int32_t>& list = row.choices();
    return std::find(list.begin(), list.end(), raw) != list.end() ? std::to_string(raw) : std::string();
  }
  return ShownText(row, raw, context);
}

std::string ExactText(const SettingField& row, int64_t raw, const SettingContext& context) {
  const double value = static_cast<double>(raw);
  switch (row.kind) {
    case K::kWhole:
    case K::kMode: return std::to_string(raw);
    case K::kOnOff: return raw == 1 ? edit::kOn : edit::kOff;
    case K::kEnabled: return raw == 1 ? edit::kEnabled : edit::kDisabled;
    case K::kThousandths: return Printed("%.3f", value / 1000.0);
    case K::kCosine: return Printed("%.4f", value / 10000.0);
    default: return Exact(value / Scale(row, context));
  }
}

Typed ReadTyped(const SettingField& row, const std::string& text, const SettingContext& context) {
  if (row.check == FieldCheck::kChoice) return ReadChoice(row, text, context);
  double value = 0;
  const NumericCheck read = ReadTypedNumber(text, &value);
  if (read == kNumericNotANumber) return Refused(kNumericNotANumberMessage);
  if (read != kNumericValid) return Refused(OutOfRange(row, context));
  if (row.check == FieldCheck::kAveraging) {
    const auto count = edit::AveragingCount(value, context.averagingFactor, context.averagingStep);
    if (!count) return Refused(OutOfRange(row, context));
    double exact = 0;
    const bool onStep = SnapToWhole(value * context.averagingFactor, &exact) && exact == *count;
    return Taken(*count, onStep);
  }
  if ((row.check == FieldCheck::kBounds && !(row.low <= value && value <= row.high)) ||
      (row.check == FieldCheck::kModeRow && !edit::WithinRow(value, RowOf(context))))
    return Refused(OutOfRange(row, context));
  const double scale = Scale(row, context);
  double raw = 0;
  const bool fits = std::fabs(value * scale) <= 4.0 * UINT32_MAX;  // far beyond every word, well inside a double
  if (fits && !SnapToWhole(value * scale, &raw)) {
    const std::string name = row.name;
    if (scale == 1.0) return Refused(name + " must be a whole number from " + RangeText(row, context));
    return Refused(name + " must be a multiple of " + Show(row, 1.0 / scale, context, true) + " from " +
                   RangeText(row, context));
  }
  if (!fits || raw < static_cast<double>(WordLow(row)) || raw > static_cast<double>(WordHigh(row)))
    return Refused(std::string(row.name) + " must be between " + WordRange(row, context, " and "));
  return Taken(static_cast<int64_t>(raw));
}

std::string RangeText(const SettingField& row, const SettingContext& context) {
  switch (row.check) {
    case FieldCheck::kBounds:
      if (row.rangeText != nullptr) return row.rangeText;
      return Show(row, row.low, context, true) + " to " + Show(row, row.high, context, true);
    case FieldCheck::kModeRow: return edit::RowRange(RowOf(context));
    case FieldCheck::kAveraging:
      return edit::AveragingRange(context.averagingFormat, context.averagingFactor, context.averagingStep);
    case FieldCheck::kChoice:
      if (row.kind == K::kOnOff) return std::string(edit::kOn) + " or " + edit::kOff;
      if (row.kind == K::kEnabled) return std::string(edit::kEnabled) + " or " + edit::kDisabled;
      if (row.kind == K::kMode) return context.modeCount > 0 ? edit::WholeRange(0, context.modeCount - 1) : "";
      return "one of " + ListText(row.choices != nullptr ? row.choices() : std::vector<int32_t>{});
    default: return WordRange(row, context, " to ");
  }
}

std::optional<Limits> NumericLimits(const SettingField& row, const SettingContext& context) {
  const double scale = Scale(row, context);
  switch (row.check) {
    case FieldCheck::kBounds: return Limits{row.low, row.high};
    case FieldCheck::kModeRow: return Limits{RowOf(context).low, RowOf(context).high};
    case FieldCheck::kAveraging:
      if (edit::AveragingRange(context.averagingFormat, context.averagingFactor, context.averagingStep).empty())
        return std::nullopt;
      return Limits{0.0, edit::kAveragingCountMax / scale};
    case FieldCheck::kChoice:
      if (row.kind == K::kMode && context.modeCount > 0) return Limits{0.0, context.modeCount - 1.0};
      if (row.choices != nullptr && !row.choices().empty())
        return Limits{static_cast<double>(row.choices().front()), static_cast<double>(row.choices().back())};
      return std::nullopt;
    default:
      return Limits{static_cast<double>(WordLow(row)) / scale, static_cast<double>(WordHigh(row)) / scale};
  }
}

std::optional<Bounds> RangeBounds(const SettingField& row, const SettingContext& context) {
  const std::optional<Limits> limits = NumericLimits(row, context);
  if (!limits) return std::nullopt;
  if (row.check == FieldCheck::kChoice) return Bounds{Printed("%.0f", limits->low), Printed("%.0f", limits->high)};
  return Bounds{Show(row, limits->low, context, false), Show(row, limits->high, context, false)};
}

std::string UnitText(const SettingField& row, const SettingContext& context) {
  switch (row.unit) {
    case FieldUnit::kRange: return RangeModeTable::UnitOfFormat(RowOf(context).unitFormat);
    case FieldUnit::kVolts: return setting_fields::kVoltsUnit;
    case FieldUnit::kMilliseconds: return "ms";
    case FieldUnit::kSpeed: return "mm/s";
    default: return std::string();
  }
}

void PutRaw(uint8_t* record, size_t offset, size_t size, int64_t raw) {
  if (size == 1) {
    record[offset] = static_cast<uint8_t>(raw & 0xFF);
  } else if (size == 2) {
    edit::PutWord(record, offset, static_cast<int32_t>(raw));
  } else {
    edit::PutWord(record, offset, static_cast<int32_t>((raw >> 16) & 0xFFFF));
    edit::PutWord(record, offset + 2, static_cast<int32_t>(raw & 0xFFFF));
  }
}

}  // namespace setting_values
