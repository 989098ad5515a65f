// The number readers of the settings dialogs and the conversions of their
// "Set" buttons.
//
// Input: four parameter bytes (a scale, a mode entry, an order factor
// entry, a model), then the text that every reader and every field gets.
//
// Invariants:
// - whole, unsigned and real numbers read as the C library's base-10
//   strtol / strtoul (32-bit) / strtod read them (hexadecimal floating
//   forms excepted: the fields hold decimal numbers);
// - "x k, truncated" cuts toward zero (a product within rounding noise of a
//   whole number counts as that number), never leaves the 32-bit range and
//   gives 0 for "nan";
// - the checks accept exactly the documented ranges, and each button of the
//   four settings dialogs refuses with its own message exactly when its
//   check fails, and otherwise goes on to its command (run here without a
//   sensor: the command then logs its failure and nothing else happens).

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "protocol/log_sink.h"
#include "protocol/sensor_commands.h"
#include "tarkon/models/krv02/krv02_settings.h"
#include "tarkon/models/krv04/krv04_settings.h"
#include "tarkon/models/qmt_short/qmt_short_settings.h"
#include "tarkon/models/krv04bf/krv04bf_settings.h"
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

bool NearWhole(double product) {
  return std::fabs(product - std::round(product)) <= kTolerance * std::max(1.0, std::fabs(product));
}

int32_t Clamp32(double whole) {
  if (std::isnan(whole)) return 0;
  if (whole >= static_cast<double>(INT32_MAX)) return INT32_MAX;
  if (whole <= static_cast<double>(INT32_MIN)) return INT32_MIN;
  return static_cast<int32_t>(whole);
}

// ToWord / ToWordFloor: the cut (or floor) of the product, or of the whole
// number it is within rounding noise of.
void CheckWord(int32_t got, double real, double k, bool floor) {
  const double product = real * k;
  const double plain = floor ? std::floor(product) : std::trunc(product);
  const int32_t cut = Clamp32(plain);
  const int32_t snapped = Clamp32(std::round(product));
  if (NearWhole(product)) {
    FUZZ_CHECK(got == snapped || got == cut, "%.17g x %.17g gave %d", real, k, got);
  } else {
    FUZZ_CHECK(got == cut, "%.17g x %.17g gave %d, expected %d", real, k, got, cut);
  }
}

// ---------------------------------------------------------------- buttons

class LineRecorder : public LogSink {
 public:
  void LogLine(int /*kind*/, const std::string& text) override { lines.push_back(text); }
  std::vector<std::string> lines;
};

// The first line logged by a button: its command's failure for want of a
// sensor.
void ExpectCommand(const SetResult& result, LineRecorder& log, const char* command) {
  const std::string expected = std::string("Command ") + command + " failed. ";
  FUZZ_CHECK(!result.Refused(), "%s refused: %s", command, result.message.c_str());
  FUZZ_CHECK(result.sent && !result.reread, "%s: sent %d reread %d", command, result.sent,
             result.reread);
  FUZZ_CHECK(!log.lines.empty() && log.lines[0].rfind(expected, 0) == 0, "%s not attempted",
             command);
  log.lines.clear();
}

void ExpectRefusal(const SetResult& result, LineRecorder& log, const std::string& message) {
  FUZZ_CHECK(result.message == message, "refusal '%s', expected '%s'", result.message.c_str(),
             message.c_str());
  FUZZ_CHECK(!result.sent && log.lines.empty(), "a refused button sent something");
}

// A field without a range of its own still refuses a value whose converted
// word does not fit the field (its range in display units), sending nothing.
bool RefusedAsUnfit(const SetResult& result, LineRecorder& log) {
  if (!result.Refused() || result.message.find(" must be between ") == std::string::npos) return false;
  FUZZ_CHECK(!result.sent && log.lines.empty(), "a value refused as unfit sent something");
  return true;
}

void ExpectCommandOrUnfit(const SetResult& result, LineRecorder& log, const char* command) {
  if (!RefusedAsUnfit(result, log)) ExpectCommand(result, log, command);
}

void ExpectRefusalOrUnfit(const SetResult& result, LineRecorder& log, const std::string& message) {
  if (!RefusedAsUnfit(result, log)) ExpectRefusal(result, log, message);
}

// A plain decimal text (digits, one sign, one point, an exponent, blanks
// around it) that strtod reads whole: a field that takes any text must
// never refuse one of these as "not a number".
bool PlainNumber(const std::string& text) {
  if (text.find_first_not_of("0123456789+-.eE \t") != std::string::npos) return false;
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  (void)std::strtod(begin, &end);
  if (end == begin) return false;
  while (*end == ' ' || *end == '\t') ++end;
  return *end == '\0';
}

// The one field that takes any text: a text that is not exactly one number
// is refused and sends nothing; a number goes out (or is refused as unfit).
void ExpectCommandOrNotANumber(const SetResult& result, LineRecorder& log, const std::string& text,
                               const char* command) {
  if (result.Refused() && result.message == kNumericNotANumberMessage) {
    FUZZ_CHECK(!PlainNumber(text), "%s refused the number '%s'", command, text.c_str());
    FUZZ_CHECK(!result.sent && log.lines.empty(), "%s sent a text that is not a number", command);
    return;
  }
  ExpectCommandOrUnfit(result, log, command);
}

// The button goes out when `accepted`, else refuses with `message`.
void Expect(const SetResult& result, LineRecorder& log, bool accepted, const char* command,
            const std::string& message) {
  if (accepted) {
    ExpectCommand(result, log, command);
  } else {
    ExpectRefusal(result, log, message);
  }
}

bool Within(double value, const RangeModeRow& row) { return value >= row.low && value <= row.high; }

void CheckDialogs(const std::string& text, int modeEntry, int orderEntry, int model) {
  static const RangeModeTable modes;
  LineRecorder log;
  SensorCommands commands;  // no link: every command fails at once
  commands.SetLogSink(&log);

  const int32_t whole = ReadWholeNumber(text);
  const double real = ReadRealNumber(text);
  const bool laserPowerOk = whole >= 0 && whole <= 254;
  const bool thresholdOk = whole >= 0 && whole <= 255;

  {
    const int familyModel = (model & 1) != 0 ? kModelQmtLong : kModelKRV02;
    KRV02Settings dialog(commands, modes, [familyModel] { return familyModel; }, nullptr);
    KRV02Fields f;
    f.scanMode = modeEntry;
    f.orderFactor = orderEntry;
    f.minLaserPower = f.maxLaserPower = f.rangeOffset = f.rangeMultiplier = f.cosine = text;
    f.minRange = f.maxRange = f.voltsAtMinRange = f.voltsAtMaxRange = f.offsetVolts = text;
    f.voltsOutsideRange = f.threshold = f.averagingPeriod = f.dropoutFactor = text;
    f.smoothFactor = f.scanInterval = text;
    const RangeModeRow& row = modes.Lookup(familyModel, modeEntry);

    Expect(dialog.SetMinLaserPower(f), log, laserPowerOk, "SetMinLP", edit::kMinLaserPowerMessage);
    Expect(dialog.SetMaxLaserPower(f), log, laserPowerOk, "SetMaxLP", edit::kMaxLaserPowerMessage);
    Expect(dialog.SetThreshold(f), log, thresholdOk, "SetThreshold", edit::kThresholdMessageNoBlank);
    // Record writes need the bytes of a read first.
    ExpectRefusalOrUnfit(dialog.SetRangeOffset(f), log,
                  real >= 0.0 && real <= 1.0 ? edit::kNotReadMessage : edit::kCosineMessage);
    ExpectRefusalOrUnfit(dialog.SetAnalogFactors(f), log,
                  Within(real, row) ? std::string(edit::kNotReadMessage) : edit::RangeMessage(row));
    // Before any version reply the averaging count is the period itself.
    const double steps = NearWhole(real) ? std::round(real) : std::floor(real);
    const bool periodOk = steps >= 0.0 && steps <= edit::kAveragingCountMax;
    ExpectRefusal(dialog.SetAveragingPeriod(f), log,
                  periodOk ? edit::kNotReadMessage : edit::kAveragingMessage);
    const bool orderChosen = orderEntry >= 0 && orderEntry < 10;
    const SetResult filter = dialog.SetScanFilterVariables(f);
    if (orderChosen) {
      ExpectCommandOrUnfit(filter, log, "SetFilterFactors");
    } else {
      ExpectRefusalOrUnfit(filter, log, edit::kNotReadMessage);
    }
    ExpectCommandOrUnfit(dialog.SetScanInterval(f), log, "SetScanInterval");
    const bool modeChosen = modeEntry >= 0 && modeEntry < 16;
    const SetResult mode = dialog.SetMode(f);
    if (modeChosen) {
      ExpectCommand(mode, log, "SetMode");
    } else {
      FUZZ_CHECK(!mode.sent && !mode.Refused() && log.lines.empty(), "SetMode without an entry");
    }
  }

  KRV04Fields f;
  f.mode = modeEntry;
  f.minLaserPower = f.maxLaserPower = f.threshold = f.minRange = f.maxRange = text;
  f.voltsAtMinRange = f.voltsAtMaxRange = f.voltsOutsideRange = f.maxDropouts = text;
  f.waneWidth = f.waneHeight = f.pulseDuration = f.conveyerSpeed = f.boardTimeout = text;
  {
    KRV04Settings dialog(commands, modes, nullptr);
    const RangeModeRow& row = modes.Lookup(kModelKRV04, modeEntry);
    Expect(dialog.SetMinLaserPower(f), log, laserPowerOk, "SetMinLP", edit::kMinLaserPowerMessage);
    Expect(dialog.SetMaxLaserPower(f), log, laserPowerOk, "SetMaxLP", edit::kMaxLaserPowerMessage);
    Expect(dialog.SetThreshold(f), log, thresholdOk, "SetThreshold", edit::kThresholdMessage);
    Expect(dialog.SetMinRange(f), log, Within(real, row), "SetAnalogMinRange",
           edit::RangeMessage(row));
    Expect(dialog.SetMaxRange(f), log, Within(real, row), "SetAnalogMaxRange",
           edit::RangeMessage(row));
    ExpectCommandOrUnfit(dialog.SetMinVolts(f), log, "SetAnalogMinVolts");
    ExpectCommandOrUnfit(dialog.SetMaxVolts(f), log, "SetAnalogMaxVolts");
    ExpectCommandOrUnfit(dialog.SetVoltsOutside(f), log, "SetAnalogOutOfRange");
    ExpectCommandOrNotANumber(dialog.SetMaxDropouts(f), log, text, "SetNumHoldScans");
  }
  {
    // Qmt Short checks no range of its own: every button goes out, but for a
    // range beyond the word of its field.
    QmtShortSettings dialog(commands, modes, nullptr);
    ExpectCommand(dialog.SetMinLaserPower(f), log, "SetMinLP");
    ExpectCommand(dialog.SetMaxLaserPower(f), log, "SetMaxLP");
    ExpectCommand(dialog.SetThreshold(f), log, "SetThreshold");
    ExpectCommandOrUnfit(dialog.SetMinRange(f), log, "SetAnalogMinRange");
    ExpectCommandOrUnfit(dialog.SetMaxRange(f), log, "SetAnalogMaxRange");
  }
  {
    KRV04BFSettings dialog(commands, modes, nullptr);
    const RangeModeRow& row = modes.Lookup(kModelKRV04BoardFlipper, modeEntry);
    Expect(dialog.SetThreshold(f), log, thresholdOk, "SetThreshold", edit::kThresholdMessageNoBlank);
    Expect(dialog.SetMinRange(f), log, Within(real, row), "SetAnalogMinRange",
           edit::RangeMessage(row));
    ExpectRefusalOrUnfit(dialog.SetWaneVariables(f), log, edit::kNotReadMessage);
    const SetResult on = dialog.LaserOn(f);
    FUZZ_CHECK(on.sent && !on.reread && !log.lines.empty() &&
                   log.lines[0].rfind("Command SetLaserOn failed. ", 0) == 0,
               "Laser On");
    FUZZ_CHECK(log.lines.size() == 1, "Laser On re-read the settings");
    log.lines.clear();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const uint8_t scaleChoice = in.Byte();
  const int modeEntry = static_cast<int>(in.Byte() % 24) - 2;
  const int orderEntry = static_cast<int>(in.Byte() % 14) - 2;
  const int model = in.Byte() % 8;
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
  CheckWord(edit::ToWord(real, k), real, k, false);
  CheckWord(edit::ToWordFloor(real, k), real, k, true);
  CheckWord(edit::ToWord(real, real), real, real, false);

  // The checks.
  const auto power = edit::LaserPower(text);
  FUZZ_CHECK(power.has_value() == (whole >= 0 && whole <= 254) && (!power || *power == whole),
             "laser power '%s'", text.c_str());
  const auto threshold = edit::Threshold(text);
  FUZZ_CHECK(threshold.has_value() == (whole >= 0 && whole <= 255) &&
                 (!threshold || *threshold == whole),
             "threshold '%s'", text.c_str());
  FUZZ_CHECK(edit::LowByte(text) == (whole & 0xFF), "low byte of '%s'", text.c_str());
  const auto cosine = edit::CosineWord(text);
  FUZZ_CHECK(cosine.has_value() == (real >= 0.0 && real <= 1.0), "cosine '%s'", text.c_str());
  if (cosine) {
    FUZZ_CHECK(*cosine >= 0 && *cosine <= 10000, "cosine word %d", *cosine);
    CheckWord(*cosine, real, 10000.0, true);
  }

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

  CheckDialogs(text, modeEntry, orderEntry, model);
  return 0;
}
