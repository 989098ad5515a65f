// The number readers, the one reading of a typed setting value and the
// verdict of the settings dialogs' "Set" buttons.
//
// Input: four parameter bytes (a scale, a mode entry, an averaging step, a
// spare), then the text that every reader and every field gets.
//
// Invariants:
// - whole, unsigned and real numbers read as the C library's base-10
//   strtol / strtoul (32-bit) / strtod read them (hexadecimal floating
//   forms excepted: the fields hold decimal numbers);
// - "x k, truncated" cuts toward zero and never leaves the 32-bit range;
// - a typed setting value is one number exactly when the numeric field's
//   check says so, and then it is strtod's number;
// - every setting row of every model takes a text only as exactly the
//   number it spells: within the row's range, and sent as the raw value
//   that is that number times the row's scale (the averaging period
//   rounded down to its step); anything else is refused with words;
// - each button of a value of its own refuses exactly what its row's
//   reading refuses, with the same words and nothing sent, and otherwise
//   goes on to its command (run here without a sensor: the command then
//   logs its failure and nothing else happens).

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "protocol/log_sink.h"
#include "protocol/sensor_commands.h"
#include "tarkon/models/model_table.h"
#include "tarkon/models/setting_values.h"
#include "tarkon/document/number_reading.h"
#include "tarkon/document/numeric_text.h"
#include "tarkon/document/range_mode_table.h"
#include "tarkon/document/settings_editing.h"

namespace edit = settings_editing;

namespace {

// ---------------------------------------------------------------- references

// The C library sees the text up to its first NUL.
std::string CText(const std::string& text) { return std::string(text.c_str()); }

int32_t ReferenceWhole(const std::string& text) {
  const std::string c = CText(text);
  errno = 0;
  const long long value = std::strtoll(c.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// strtoul of a platform whose unsigned long has 32 bits.
uint32_t ReferenceUnsigned(const std::string& text) {
  const std::string c = CText(text);
  const char* p = c.c_str();
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  const bool negative = *p == '-';
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(c.c_str(), &end, 10);
  if (end == c.c_str()) return 0;
  if (errno == ERANGE) return UINT32_MAX;
  const unsigned long long magnitude = negative ? 0 - value : value;
  if (magnitude > UINT32_MAX) return UINT32_MAX;
  const auto low = static_cast<uint32_t>(magnitude);
  return negative ? 0u - low : low;
}

// strtod; a hexadecimal form reads as its leading 0.
double ReferenceReal(const std::string& text, bool* outOfRange) {
  const std::string c = CText(text);
  const char* p = c.c_str();
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  const char* digits = (*p == '+' || *p == '-') ? p + 1 : p;
  if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) return *p == '-' ? -0.0 : 0.0;
  errno = 0;
  const double value = std::strtod(c.c_str(), nullptr);
  *outOfRange = errno == ERANGE;
  return value;
}

bool SameReal(double got, double reference, bool outOfRange) {
  if (std::isnan(reference)) return std::isnan(got);
  if (got == reference) return true;
  // Below the normal range strtod may keep a denormal where the reader
  // gives 0; both scale to 0 in every field.
  if (outOfRange && std::fabs(reference) < DBL_MIN && got == 0.0) return true;
  return false;
}

// Whole text one whole number, blanks around allowed, within 64 bits.
bool ReferenceIsWhole(const std::string& text, int64_t* value) {
  auto blank = [](char ch) { return ch == ' ' || (ch >= '\t' && ch <= '\r'); };
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  std::string core = text.substr(begin, end - begin);
  size_t first = (!core.empty() && (core[0] == '+' || core[0] == '-')) ? 1 : 0;
  if (first == core.size()) return false;
  for (size_t i = first; i < core.size(); ++i) {
    if (core[i] < '0' || core[i] > '9') return false;
  }
  errno = 0;
  *value = std::strtoll(core.c_str(), nullptr, 10);
  return errno != ERANGE;
}

constexpr double kTolerance = 8 * DBL_EPSILON;

int32_t Clamp32(double whole) {
  if (std::isnan(whole)) return 0;
  if (whole >= static_cast<double>(INT32_MAX)) return INT32_MAX;
  if (whole <= static_cast<double>(INT32_MIN)) return INT32_MIN;
  return static_cast<int32_t>(whole);
}

// ---------------------------------------------------------------- rows

class LineRecorder : public LogSink {
 public:
  void LogLine(int /*kind*/, const std::string& text) override { lines.push_back(text); }
  std::vector<std::string> lines;
};

// Every row of every model reads the text as exactly its number or
// refuses it; every button of one value gives its row's verdict.
void CheckRows(const std::string& text, int modeEntry, double factor, int32_t step) {
  static const RangeModeTable modes;
  double typed = 0;
  const NumericCheck read = ReadTypedNumber(text, &typed);
  const NumericCheck field = CheckNumericText(text, kNumericLowest, kNumericHighest);
  FUZZ_CHECK((read == kNumericNotANumber) == (field == kNumericNotANumber), "'%s': field %d, typed %d",
             text.c_str(), field, read);
  if (read == kNumericValid) {
    bool outOfRange = false;
    const double reference = ReferenceReal(text, &outOfRange);
    FUZZ_CHECK(std::isfinite(typed) && typed == reference, "typed '%s': %.17g, strtod %.17g", text.c_str(), typed,
               reference);
  }
  for (const ModelEntry& model : ModelTable()) {
    LineRecorder log;
    SensorCommands commands;  // no link: every command fails at once
    commands.SetLogSink(&log);
    const int index = model.index;
    std::unique_ptr<ModelSettings> settings =
        model.parts().newSettings(commands, modes, [index] { return index; }, nullptr);
    SettingContext context = settings->EditContext(modeEntry);
    context.averagingFactor = factor;
    context.averagingStep = step;
    for (const SettingField& row : settings->Fields()) {
      if (row.check == FieldCheck::kChoice) continue;
      const setting_values::Typed t = setting_values::ReadTyped(row, text, context);
      if (!t.ok) {
        FUZZ_CHECK(!t.refusal.empty(), "%s refused '%s' without words", row.name, text.c_str());
        FUZZ_CHECK((read == kNumericNotANumber) == (t.refusal == kNumericNotANumberMessage),
                   "%s: '%s' refused as '%s'", row.name, text.c_str(), t.refusal.c_str());
        continue;
      }
      FUZZ_CHECK(read == kNumericValid, "%s took '%s', which is no number", row.name, text.c_str());
      const double product = typed * setting_values::Scale(row, context);
      if (row.check == FieldCheck::kAveraging) {
        FUZZ_CHECK(step > 0 && t.raw % step == 0 && static_cast<double>(t.raw) <= product * (1 + kTolerance) + kTolerance &&
                       static_cast<double>(t.raw) > product - step - 1e-6 * std::max(1.0, std::fabs(product)),
                   "%s: count %lld for '%s'", row.name, static_cast<long long>(t.raw), text.c_str());
      } else {
        FUZZ_CHECK(std::fabs(static_cast<double>(t.raw) - product) <= kTolerance * std::max(1.0, std::fabs(product)),
                   "%s: '%s' sent as %lld", row.name, text.c_str(), static_cast<long long>(t.raw));
        const auto limits = setting_values::NumericLimits(row, context);
        FUZZ_CHECK(limits && typed >= limits->low - kTolerance * std::max(1.0, std::fabs(limits->low)) &&
                       typed <= limits->high + kTolerance * std::max(1.0, std::fabs(limits->high)),
                   "%s took '%s' outside its range", row.name, text.c_str());
      }
      // The button of this one value gives the same verdict.
      if (row.write == nullptr || row.write->recordSize != 0 || row.button == nullptr) continue;
      size_t rowsOfButton = 0;
      for (const SettingField& other : settings->Fields())
        rowsOfButton += other.button != nullptr && std::string(other.button) == row.button;
      if (rowsOfButton != 1 || row.check == FieldCheck::kAveraging) continue;
      FieldTexts fields = {{row.name, text}};
      if (modeEntry >= 0) fields["Mode"] = std::to_string(modeEntry);
      log.lines.clear();
      const SetResult result = settings->Press(row.button, fields);
      const setting_values::Typed again = setting_values::ReadTyped(row, text, settings->EditContext(modeEntry));
      if (again.ok) {
        FUZZ_CHECK(result.sent && !result.Refused() && !log.lines.empty() &&
                       log.lines[0].rfind("Command ", 0) == 0,
                   "%s: '%s' not sent", row.button, text.c_str());
      } else {
        FUZZ_CHECK(result.message == again.refusal && !result.sent && log.lines.empty(),
                   "%s: '%s' refused as '%s', the row says '%s'", row.button, text.c_str(), result.message.c_str(),
                   again.refusal.c_str());
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const uint8_t scaleChoice = in.Byte();
  const int modeEntry = static_cast<int>(in.Byte() % 24) - 2;
  (void)in.Byte();  // was the order factor entry: the seeds keep their layout
  const int spare = in.Byte();
  const std::vector<uint8_t> rest = in.Rest();
  const std::string text(rest.begin(), rest.end());

  // The readers against the C library.
  const int32_t whole = ReadWholeNumber(text);
  FUZZ_CHECK(whole == ReferenceWhole(text), "whole '%s': %d, strtol %d", text.c_str(), whole,
             ReferenceWhole(text));
  const uint32_t unsignedValue = ReadUnsignedNumber(text);
  FUZZ_CHECK(unsignedValue == ReferenceUnsigned(text), "unsigned '%s': %u, strtoul %u",
             text.c_str(), unsignedValue, ReferenceUnsigned(text));
  bool outOfRange = false;
  const double reference = ReferenceReal(text, &outOfRange);
  const double real = ReadRealNumber(text);
  FUZZ_CHECK(SameReal(real, reference, outOfRange), "real '%s': %.17g, strtod %.17g", text.c_str(),
             real, reference);
  int64_t wholeValue = 0;
  int64_t referenceWhole = 0;
  const bool isWhole = IsWholeNumber(text, &wholeValue);
  FUZZ_CHECK(isWhole == ReferenceIsWhole(text, &referenceWhole), "whole number test of '%s'",
             text.c_str());
  if (isWhole) FUZZ_CHECK(wholeValue == referenceWhole, "whole number '%s'", text.c_str());

  // "x k, truncated" with the factors the dialogs use, and one from the input.
  static const double kScales[] = {1.0, 10.0, 100.0, 1000.0, 10000.0, 0.6, 1.0 / 3.0, -1000.0};
  const double k = kScales[scaleChoice % 8];
  const int32_t scaled = ScaleTruncated(real, k);
  FUZZ_CHECK(scaled == Clamp32(std::trunc(real * k)), "ScaleTruncated(%.17g, %g) = %d", real, k,
             scaled);

  // Averaging count for the steps of both firmware families, before any
  // version reply, and for an arbitrary step.
  struct Step {
    double factor;
    int32_t step;
  };
  const Step steps[] = {{1000.0, 1500}, {100.0, 60}, {1.0, 1},
                        {static_cast<double>(whole), static_cast<int32_t>(unsignedValue)}};
  for (const Step& s : steps) {
    const auto count = edit::AveragingCount(real, s.factor, s.step);
    if (!count) continue;
    FUZZ_CHECK(s.step > 0, "a count for step %d", s.step);
    FUZZ_CHECK(*count >= 0 && *count <= edit::kAveragingCountMax, "count %d", *count);
    FUZZ_CHECK(*count % s.step == 0, "count %d not a multiple of %d", *count, s.step);
    const double exact = real * s.factor;
    // Snapping may round up by its tolerance; the division and product add
    // a few units in the last place.
    const double step = s.step;
    FUZZ_CHECK(*count <= exact + 2.0 * kTolerance * step * std::max(1.0, std::fabs(exact / step)) &&
                   *count > exact - step - 1e-6 * std::max(1.0, std::fabs(exact)),
               "count %d for %.17g x %g / %d", *count, real, s.factor, s.step);
  }
  uint8_t block[10] = {};
  edit::PutAveragingCount(block, unsignedValue);
  FUZZ_CHECK(edit::AveragingCountOf(block) == unsignedValue, "averaging count round trip");

  const auto on = edit::ReadSwitch(text);
  std::string word;
  {
    size_t b = text.find_first_not_of(" \t\n\v\f\r");
    size_t e = text.find_last_not_of(" \t\n\v\f\r");
    if (b != std::string::npos) word = text.substr(b, e - b + 1);
    for (char& ch : word) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  }
  const bool isOn = word == "on" || word == "enabled" || word == "enable" || word == "1";
  const bool isOff = word == "off" || word == "disabled" || word == "disable" || word == "0";
  FUZZ_CHECK(on.has_value() == (isOn || isOff) && (!on || *on == isOn), "switch '%s'",
             text.c_str());

  // The averaging step of either firmware family, or none read yet.
  const Step chosen = steps[spare % 3];
  CheckRows(text, modeEntry, chosen.factor, chosen.step);
  return 0;
}
