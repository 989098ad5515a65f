#pragma once
// A log sink that keeps every line it is given, for tests to inspect.

#include <string>
#include <vector>

#include "protocol/log_sink.h"

struct LoggedLine {
  int kind;
  std::string text;
};

class RecordingLogSink : public LogSink {
 public:
  void LogLine(int kind, const std::string& text) override { lines.push_back({kind, text}); }
  std::vector<LoggedLine> lines;
};
