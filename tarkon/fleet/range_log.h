#pragma once
// Range logging: one CSV line per poll of the connected sensor's live
// values (time, raw range, range in the sensor's units, the model's other
// live values), flushed as it is written, and the run's summary.

#include <cstdint>
#include <optional>
#include <string>

#include "tarkon/document/live_panels.h"
#include "tarkon/fleet/line_appender.h"
#include "tarkon/fleet/setting_layout.h"

class CKRV02Doc;

namespace fleet {

struct RangeLogSummary {
  long polls = 0;
  long failures = 0;
  long inRange = 0;  // polls whose range was a number
  double min = 0;
  double max = 0;
  double sum = 0;
  double Mean() const { return inRange > 0 ? sum / static_cast<double>(inRange) : 0; }
};

class RangeLog {
 public:
  explicit RangeLog(CKRV02Doc& doc) : doc_(doc) {}
  RangeLog(const RangeLog&) = delete;
  RangeLog& operator=(const RangeLog&) = delete;

  // Opens the file for appending and writes the header when it is new or
  // empty. False with the reason, also when the header could not be written.
  bool Open(const std::string& path, std::string& error);
  // One poll of the live values; on success one line is appended. A failed
  // poll counts as a failure and writes nothing. False when the poll failed
  // or its line was not written (then writeError() says why).
  bool Poll();
  // Why a line was not written ("cannot write PATH: REASON"); empty while
  // every line was. The caller stops polling: later lines are refused.
  const std::string& writeError() const { return file_.error(); }

  const RangeLogSummary& summary() const { return summary_; }
  // "polls 12, failures 0, range min 1.000 mean 2.000 max 3.000 inch"
  std::string SummaryText() const;
  std::string Header() const;
  const std::string& unit() const { return unit_; }

 private:
  CKRV02Doc& doc_;
  LineAppender file_;
  PanelRows rows_;
  RangeLogSummary summary_;
  std::string unit_;
};

// "30", "30s", "500ms", "5m", "2h" as milliseconds; nothing when not one.
std::optional<int64_t> ParseDuration(const std::string& text);
// "2026-12-08T02:40:00.123Z"
std::string IsoTimeNow();
// A CSV field, quoted when it holds a comma, quote or line break.
std::string CsvField(const std::string& text);

}  // namespace fleet
