#pragma once
// Where command and connection log lines go. Delivered synchronously on the
// thread that runs the operation; the receiver copies the text.

#include <string>

enum LogKind : int { kLogError = 0, kLogSuccess = 1, kLogNotice = 2 };

class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void LogLine(int kind, const std::string& text) = 0;
  // Every command that reports its outcome calls this first, success or
  // failure, verbose or not (quiet queries do not): for counting replies.
  virtual void CommandOutcome(bool ok) { (void)ok; }
};
