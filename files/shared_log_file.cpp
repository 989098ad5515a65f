#include "files/shared_log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "files/file_target.h"

namespace files {

namespace {

// Opens `path` with `flags`, refusing a link (O_NOFOLLOW) and anything
// that is not a regular file; -1 with the reason.
int OpenRegular(const std::string& path, int flags, std::string* error) {
  // Said plainly before the open, which would fail with less telling
  // reasons (a FIFO without reader, a device).
  struct stat before {};
  if (lstat(path.c_str(), &before) == 0) {
    if (S_ISLNK(before.st_mode)) {
      *error = "is a symbolic link";
      return -1;
    }
    if (!S_ISREG(before.st_mode)) {
      *error = S_ISDIR(before.st_mode) ? "is a directory" : "is not a regular file";
      return -1;
    }
  }
  const int fd = open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = errno == ELOOP ? "is a symbolic link" : ErrorText(errno);
    return -1;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = S_ISDIR(st.st_mode) ? "is a directory" : "is not a regular file";
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

bool MakeFolders(const std::string& folder, std::string* error) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = slash == std::string::npos ? folder : folder.substr(0, slash);
    if (!part.empty() && mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = "cannot create " + part + ": " + ErrorText(errno);
      return false;
    }
    if (slash == std::string::npos) return true;
  }
}

bool AppendWholeLine(const std::string& path, const std::string& text, std::string* error) {
  // Read access too: the last byte is looked at below.
  const int fd = OpenRegular(path, O_RDWR | O_APPEND | O_CREAT, error);
  if (fd < 0) return false;
  std::string line = text;
  // A line left unfinished by a crash before us would swallow ours: start
  // on a line of our own then (the reader skips the damaged one).
  struct stat st {};
  char last = '\n';
  if (fstat(fd, &st) == 0 && st.st_size > 0 && pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n')
    line.insert(line.begin(), '\n');
  // One write() of the whole line: with O_APPEND the kernel places it at
  // the end in one piece, whoever else appends at the same time.
  const ssize_t written = write(fd, line.data(), line.size());
  const int writeErrno = errno;
  bool ok = written == static_cast<ssize_t>(line.size());
  if (!ok) {
    *error = written < 0 ? ErrorText(writeErrno) : "the disk took only part of the line (full?)";
    // Our part line is the last one when nobody appended since: cut it off.
    struct stat after {};
    if (written > 0 && fstat(fd, &after) == 0 && after.st_size >= written &&
        static_cast<size_t>(after.st_size) == static_cast<size_t>(st.st_size) + static_cast<size_t>(written))
      if (ftruncate(fd, st.st_size) != 0) *error += "; the part line stays (the reader skips it)";
  }
  if (close(fd) != 0 && ok) {
    *error = ErrorText(errno);
    ok = false;
  }
  return ok;
}

LogFileReader::~LogFileReader() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

bool LogFileReader::Open(const std::string& path, std::string* error) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 && errno == ENOENT) {
    missing_ = true;
    return true;
  }
  const int fd = OpenRegular(path, O_RDONLY, error);
  if (fd < 0) return false;
  handle_ = fd;
  return true;
}

long LogFileReader::ReadPiece(std::string& piece, size_t maxBytes, std::string* error) {
  piece.clear();
  if (handle_ < 0) return 0;
  piece.resize(maxBytes);
  for (;;) {
    const ssize_t n = read(static_cast<int>(handle_), piece.data(), maxBytes);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = ErrorText(errno);
      piece.clear();
      return -1;
    }
    piece.resize(static_cast<size_t>(n));
    return static_cast<long>(n);
  }
}

}  // namespace files
