#pragma once
// A log file that grows by whole lines (the range log, the protocol trace):
// opened for appending, created if missing, each line written at once with
// its write checked. A line the disk took only in part is cut off again, so
// the file never ends in half a line; the first failure is kept and every
// later line is refused, so a caller that checks once per line can stop and
// say why instead of losing lines silently.

#include <string>

#include "files/append_file.h"

namespace fleet {

class LineAppender {
 public:
  LineAppender() = default;
  ~LineAppender();
  LineAppender(const LineAppender&) = delete;
  LineAppender& operator=(const LineAppender&) = delete;

  // Opens `path` for appending. False with the reason.
  bool Open(const std::string& path, std::string& error);
  // Writes to standard error instead (the trace's "-"); never closed here.
  void UseStandardError();
  // Whether the file held nothing when it was opened (a header is due).
  bool startedEmpty() const { return startedEmpty_; }

  // `line` and a line break. False, keeping the reason, when it was not
  // written whole, and for every line after a failure.
  bool WriteLine(const std::string& line);
  // "cannot write PATH: REASON" of the first failure; empty while none.
  const std::string& error() const { return error_; }
  // Lines refused since the first failure, that one included.
  long linesLost() const { return linesLost_; }

 private:
  files::AppendFile file_;
  bool startedEmpty_ = false;
  std::string path_;
  std::string error_;
  long linesLost_ = 0;
};

}  // namespace fleet
