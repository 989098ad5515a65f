// Decoding of scan buffer replies into ranges, their texts in every range
// mode of every model, the list rows and the export block.
//
// Input: a sample count byte, then the data bytes of one reply (as the
// reply area holds them: the count of replies still to come, then 16-bit
// samples, low byte first). The rest of the reply also serves as a KRV02
// state reply and as the "Ranges to read:" field text.
//
// Invariants:
// - a reply is decoded exactly when it holds the samples asked for, each
//   sample being the two bytes after the first, low byte first;
// - a range reads "Out of Range" exactly for 0x8000 and for negatives in a
//   mode without a sign; otherwise its text is the value raw / divisor in
//   the mode's decimals, followed by the mode's unit, and reads back as the
//   raw value; an unknown mode says so; no text is longer than the 63
//   characters the export keeps;
// - the export block numbers its lines from 0 and holds each row's text;
// - the scan buffer dialog's field check accepts exactly the whole numbers
//   0..ranges available.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tarkon/models/model_table.h"
#include "tarkon/document/number_reading.h"
#include "tarkon/document/range_mode_table.h"
#include "tarkon/document/scan_buffer.h"

namespace {

// The unit printed after the number: the unit format's text after its
// conversion.
std::string UnitOf(const RangeModeRow& row) {
  const size_t percent = row.unitFormat.find('%');
  if (percent == std::string::npos) return std::string();
  const size_t conversion = row.unitFormat.find_first_of("fFeEgG", percent);
  return row.unitFormat.substr(conversion + 1);
}

void CheckRangeText(const RangeModeTable& modes, const RangeModeRow& row, int16_t raw) {
  const std::string text = RangeModeTable::RangeText(row, raw);
  FUZZ_CHECK(text.size() <= 63, "range text of %d is %zu characters", raw, text.size());
  if (&row == &modes.Invalid()) {
    FUZZ_CHECK(text == "Out of Range" || text == "Unknown mode number", "unknown mode text '%s'",
               text.c_str());
    FUZZ_CHECK((text == "Out of Range") == (raw < 0), "unknown mode, %d: '%s'", raw, text.c_str());
    return;
  }
  const bool out = raw == INT16_MIN || (raw < 0 && !row.negativeAllowed);
  FUZZ_CHECK((text == "Out of Range") == out, "range %d in '%s': '%s'", raw, row.text.c_str(),
             text.c_str());
  if (out) return;
  const std::string unit = UnitOf(row);
  FUZZ_CHECK(text.size() > unit.size() && text.compare(text.size() - unit.size(), unit.size(),
                                                       unit) == 0,
             "'%s' lacks its unit '%s'", text.c_str(), unit.c_str());
  const std::string number = text.substr(0, text.size() - unit.size());
  char* end = nullptr;
  const double value = std::strtod(number.c_str(), &end);
  FUZZ_CHECK(end != number.c_str() && *end == '\0', "'%s' is no number", number.c_str());
  FUZZ_CHECK(number.find('.') != std::string::npos, "'%s' lacks its decimals", number.c_str());
  // The decimals match the divisor, so the text carries the raw value exactly.
  const size_t decimals = number.size() - number.find('.') - 1;
  FUZZ_CHECK(std::pow(10.0, static_cast<double>(decimals)) == row.divisor,
             "'%s' has %zu decimals for divisor %g", number.c_str(), decimals, row.divisor);
  FUZZ_CHECK(std::lround(value * row.divisor) == raw, "'%s' reads back as %ld, not %d",
             text.c_str(), std::lround(value * row.divisor), raw);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const RangeModeTable modes;
  FuzzInput in(data, size);
  const int count = static_cast<int>(in.Byte()) - 2;  // -2..253
  const std::vector<uint8_t> reply = in.Rest();

  // Decoding against the reply's bytes.
  std::vector<int16_t> ranges{1234};  // what was decoded before stays
  const bool decoded = DecodeScanReply(reply.data(), reply.size(), count, ranges);
  const bool complete = count >= 0 && reply.size() >= 1 + 2 * static_cast<size_t>(count);
  FUZZ_CHECK(decoded == complete, "count %d, %zu bytes: decoded %d", count, reply.size(), decoded);
  FUZZ_CHECK(ranges.size() == 1 + (decoded ? static_cast<size_t>(count) : 0) && ranges[0] == 1234,
             "%zu ranges for count %d", ranges.size(), count);
  for (size_t k = 1; k < ranges.size(); ++k) {
    const auto expected = static_cast<int16_t>(reply[2 * k - 1] | (reply[2 * k] << 8));
    FUZZ_CHECK(ranges[k] == expected, "sample %zu: %d, expected %d", k - 1, ranges[k], expected);
  }
  ranges.erase(ranges.begin());

  // The texts of every range in every mode of every model (and of a model
  // or mode that does not exist), each distinct row once.
  static const std::vector<const RangeModeRow*> rows = [] {
    std::vector<const RangeModeRow*> distinct;
    for (int model = -1; model <= kModelCount; ++model) {
      for (int mode = -1; mode <= RangeModeTable::kSetCapacityA; ++mode) {
        const RangeModeRow* row = &modes.Lookup(model, mode);
        if (std::find(distinct.begin(), distinct.end(), row) == distinct.end()) distinct.push_back(row);
      }
    }
    return distinct;
  }();
  for (const RangeModeRow* row : rows) {
    for (int16_t raw : ranges) CheckRangeText(modes, *row, raw);
    if (ranges.empty()) {
      for (int16_t raw : {int16_t{0}, int16_t{-1}, int16_t{INT16_MIN}, int16_t{INT16_MAX}}) {
        CheckRangeText(modes, *row, raw);
      }
    }
  }

  // The list and the export block of the KRV02's mode 3 (millimetres with a sign).
  const RangeModeRow& row = modes.Lookup(kModelKRV02, 3);
  std::vector<ScanListRow> list;
  for (size_t i = 0; i < ranges.size(); ++i) {
    list.push_back(ScanListRow{std::to_string(i + 1), RangeModeTable::RangeText(row, ranges[i])});
  }
  const std::string serial(reply.begin(), reply.begin() + static_cast<long>(std::min<size_t>(reply.size(), 8)));
  const std::string block = ScanExportBlock(serial, count, list);
  const std::string head = "\nSensor: " + serial + " \t Address: " + std::to_string(count) +
                           "\n\nScan buffer: Size: " + std::to_string(list.size()) + "\n";
  FUZZ_CHECK(block.compare(0, head.size(), head) == 0, "export block head");
  std::string lines;
  for (size_t i = 0; i < list.size(); ++i) {
    lines += "#" + std::to_string(i) + ":\t\t" + list[i].value + "\n";
  }
  FUZZ_CHECK(block.size() == head.size() + lines.size() && block.compare(head.size(), lines.size(), lines) == 0,
             "export block lines");

  // The scan page's offer: the scan count of a state reply, at most 8192.
  uint8_t state[14] = {};
  for (size_t i = 0; i < sizeof state && i < reply.size(); ++i) state[i] = reply[i];
  const int offered = KRV02RangesAvailable(state);
  const int scanCount = state[10] | (state[11] << 8);
  FUZZ_CHECK(offered == (scanCount > 8192 ? 8192 : scanCount), "ranges available %d", offered);

  // The field check of "Start".
  SensorCommands commands;
  ScanBufferReader reader(commands);
  reader.SetRangesAvailable(offered);
  const std::string field(reply.begin(), reply.end());
  int toRead = -1;
  const int startIndex = count;
  const std::string prompt = reader.CheckFields(field, startIndex, &toRead);
  int64_t typed = 0;
  const bool ok = IsWholeNumber(field, &typed) && typed >= 0 && typed <= offered &&
                  startIndex >= 0 && startIndex <= offered - typed;
  FUZZ_CHECK(prompt.empty() == ok, "field '%s', start %d: prompt '%s'", field.c_str(), startIndex,
             prompt.c_str());
  if (ok) FUZZ_CHECK(toRead == typed, "ranges to read %d, typed %lld", toRead, static_cast<long long>(typed));
  return 0;
}
