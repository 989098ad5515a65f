#include "tarkon/fleet/range_log.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "tarkon/document/iso_time.h"
#include "tarkon/document/krv02_doc.h"
#include "tarkon/document/live_panels.h"
#include "tarkon/document/number_reading.h"

namespace fleet {
namespace {

bool IsRangeRow(const PanelRow& row) { return row.name == "Range" || row.name.empty(); }

}  // namespace

std::optional<int64_t> ParseDuration(const std::string& text) {
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  if (digits == 0 || digits > 9) return std::nullopt;
  const int64_t n = std::stoll(text.substr(0, digits));
  const std::string unit = text.substr(digits);
  if (unit.empty() || unit == "s") return n * 1000;
  if (unit == "ms") return n;
  if (unit == "m") return n * 60'000;
  if (unit == "h") return n * 3'600'000;
  return std::nullopt;
}

std::string IsoTimeNow() { return IsoUtcTime(std::chrono::system_clock::now()); }

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string RangeLog::Header() const {
  std::string header = "time,raw_range,range";
  if (!unit_.empty()) header += " (" + unit_ + ")";
  for (const PanelRow& row : EmptyDiagnosticRows(LivePanelOfModel(doc_.sensor().modelIndex())))
    if (!IsRangeRow(row)) header += "," + CsvField(row.name);
  return header;
}

bool RangeLog::Open(const std::string& path, std::string& error) {
  unit_ = UnitOfFormat(doc_.sensor().CurrentRow().unitFormat);
  if (!file_.Open(path, error)) return false;
  if (file_.startedEmpty() && !file_.WriteLine(Header())) {
    error = file_.error();
    return false;
  }
  return true;
}

bool RangeLog::Poll() {
  ++summary_.polls;
  if (!PollDiagnostics(doc_, LivePanelOfModel(doc_.sensor().modelIndex()), rows_)) {
    ++summary_.failures;
    return false;
  }
  const int16_t raw = LastRawRange(doc_);
  const std::string text = doc_.sensor().RangeText(raw);
  std::string line = IsoTimeNow() + "," + std::to_string(raw) + ",";
  // "Out of Range" (and a mode without a row) leaves the number empty.
  const RangeModeRow& row = doc_.sensor().CurrentRow();
  if (text != "Out of Range" && row.divisor > 0) {
    const double units = raw / row.divisor;
    line += RangeModeTable::FormatBare(row, units);
    if (summary_.inRange == 0 || units < summary_.min) summary_.min = units;
    if (summary_.inRange == 0 || units > summary_.max) summary_.max = units;
    summary_.sum += units;
    ++summary_.inRange;
  }
  for (const PanelRow& r : rows_)
    if (!IsRangeRow(r)) line += "," + CsvField(r.value);
  // One write per line: an interrupted run loses at most the line in
  // progress, and a full disk is noticed at the line it refused.
  return file_.WriteLine(line);
}

std::string RangeLog::SummaryText() const {
  char text[256];
  if (summary_.inRange == 0) {
    std::snprintf(text, sizeof text, "polls %ld, failures %ld, no range in range", summary_.polls, summary_.failures);
  } else {
    std::snprintf(text, sizeof text, "polls %ld, failures %ld, range min %.4f mean %.4f max %.4f%s%s",
                  summary_.polls, summary_.failures, summary_.min, summary_.Mean(), summary_.max,
                  unit_.empty() ? "" : " ", unit_.c_str());
  }
  return text;
}

}  // namespace fleet
