#pragma once
// Where command and connection log lines go. Delivered synchronously on the
// thread that runs the operation; the receiver copies the text.

#include <string>

enum LogKind : int { kLogError = 0, kLogSuccess = 1, kLogNotice = 2 };

class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void LogLine(int kind, const std::string& text) = 0;
};
