#include "files/append_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "files/file_target.h"

namespace files {

AppendFile::~AppendFile() {
  if (owns_ && fd_ >= 0) ::close(fd_);
}

bool AppendFile::Open(const std::string& path, std::string* reason) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (reason != nullptr) *reason = ErrorText(errno);
    return false;
  }
  fd_ = fd;
  owns_ = true;
  struct stat st {};
  startedEmpty_ = fstat(fd_, &st) == 0 && st.st_size == 0;
  return true;
}

void AppendFile::UseStandardError() {
  fd_ = STDERR_FILENO;
  owns_ = false;
}

bool AppendFile::Append(const std::string& text, bool sync, std::string* reason) {
  // Where the piece starts, to cut a part of it off again. Only a regular
  // file can be cut; a terminal or pipe keeps what it took.
  struct stat st {};
  const bool regular = fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
  size_t done = 0;
  int failure = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failure = n < 0 ? errno : EIO;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (failure == 0 && sync && fsync(fd_) != 0 && errno != EINVAL) failure = errno;
  if (failure == 0) return true;
  if (regular && ftruncate(fd_, st.st_size) != 0) {
    // The write failure is what gets reported; the cut is a courtesy.
  }
  if (reason != nullptr) *reason = ErrorText(failure);
  return false;
}

bool AppendFile::Close(std::string* reason) {
  if (!owns_ || fd_ < 0) return true;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    if (reason != nullptr) *reason = ErrorText(errno);
    return false;
  }
  return true;
}

}  // namespace files
