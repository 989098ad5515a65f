#include "tarkon/fleet/line_appender.h"

namespace fleet {

LineAppender::~LineAppender() = default;

bool LineAppender::Open(const std::string& path, std::string& error) {
  path_ = path;
  std::string reason;
  if (!file_.Open(path, &reason)) {
    error = "cannot open " + path + ": " + reason;
    return false;
  }
  startedEmpty_ = file_.StartedEmpty();
  return true;
}

void LineAppender::UseStandardError() {
  file_.UseStandardError();
  path_ = "standard error";
}

bool LineAppender::WriteLine(const std::string& line) {
  if (!file_.IsOpen() || !error_.empty()) {
    ++linesLost_;
    return false;
  }
  std::string reason;
  if (file_.Append(line + "\n", false, &reason)) return true;
  error_ = "cannot write " + path_ + ": " + reason;
  ++linesLost_;
  return false;
}

}  // namespace fleet
