#include "tarkon/fleet/line_appender.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace fleet {

LineAppender::~LineAppender() {
  if (ownsFd_ && fd_ >= 0) close(fd_);
}

bool LineAppender::Open(const std::string& path, std::string& error) {
  path_ = path;
  fd_ = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  ownsFd_ = true;
  struct stat st {};
  startedEmpty_ = fstat(fd_, &st) == 0 && st.st_size == 0;
  return true;
}

void LineAppender::UseStandardError() {
  fd_ = STDERR_FILENO;
  ownsFd_ = false;
  path_ = "standard error";
}

bool LineAppender::WriteLine(const std::string& line) {
  if (fd_ < 0 || !error_.empty()) {
    ++linesLost_;
    return false;
  }
  // Where the line starts, to cut a part of it off again. Only a regular
  // file can be cut; a terminal or pipe keeps what it took.
  struct stat st {};
  const bool regular = fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
  const std::string text = line + "\n";
  size_t done = 0;
  int failure = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failure = n < 0 ? errno : EIO;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (failure == 0) return true;
  if (regular && done > 0 && ftruncate(fd_, st.st_size) != 0) {
    // The write failure is what gets reported; the cut is a courtesy.
  }
  error_ = "cannot write " + path_ + ": " + std::strerror(failure);
  ++linesLost_;
  return false;
}

}  // namespace fleet
