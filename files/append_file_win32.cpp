#include "files/append_file.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>

#include "files/file_target.h"

namespace files {

AppendFile::~AppendFile() {
  if (owns_ && fd_ >= 0) _close(fd_);
}

bool AppendFile::Open(const std::string& path, std::string* reason) {
  int fd = -1;
  const int error = _sopen_s(&fd, path.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT,
                             _SH_DENYWR, _S_IREAD | _S_IWRITE);
  if (error != 0) {
    if (reason != nullptr) *reason = ErrorText(error);
    return false;
  }
  fd_ = fd;
  owns_ = true;
  startedEmpty_ = _filelengthi64(fd_) == 0;
  return true;
}

void AppendFile::UseStandardError() {
  fd_ = _fileno(stderr);
  owns_ = false;
}

bool AppendFile::Append(const std::string& text, bool sync, std::string* reason) {
  const long long start = _filelengthi64(fd_);
  size_t done = 0;
  int failure = 0;
  while (done < text.size()) {
    const int n = _write(fd_, text.data() + done, static_cast<unsigned>(text.size() - done));
    if (n <= 0) {
      failure = n < 0 ? errno : EIO;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (failure == 0 && sync && owns_ && _commit(fd_) != 0) failure = errno;
  if (failure == 0) return true;
  if (owns_ && start >= 0 && _chsize_s(fd_, start) != 0) {
    // The write failure is what gets reported; the cut is a courtesy.
  }
  if (reason != nullptr) *reason = ErrorText(failure);
  return false;
}

bool AppendFile::Close(std::string* reason) {
  if (!owns_ || fd_ < 0) return true;
  const int fd = fd_;
  fd_ = -1;
  if (_close(fd) != 0) {
    if (reason != nullptr) *reason = ErrorText(errno);
    return false;
  }
  return true;
}

}  // namespace files
