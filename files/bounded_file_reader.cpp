#include "files/bounded_file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "files/file_target.h"

namespace files {
namespace {

FileContent Refused(ReadStatus status, std::string reason) {
  FileContent result;
  result.status = status;
  result.reason = std::move(reason);
  return result;
}

// Why a file of this kind is not read; empty for a regular file.
std::string KindReason(mode_t mode) {
  if (S_ISREG(mode)) return std::string();
  if (S_ISDIR(mode)) return "is a directory";
  if (S_ISFIFO(mode)) return "is a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device";
  if (S_ISLNK(mode)) return "is a symbolic link";
  return "is not a regular file";
}

std::string TooLarge(unsigned long long size, size_t maxBytes) {
  return "too large (" + std::to_string(size) + " bytes, at most " + std::to_string(maxBytes) + ")";
}

FileContent OpenFailure(int error) {
  if (error == ENOENT) return Refused(ReadStatus::kMissing, "no such file");
  if (error == ELOOP) return Refused(ReadStatus::kLink, "is a symbolic link");
  if (error == EISDIR) return Refused(ReadStatus::kNotRegular, "is a directory");
  return Refused(ReadStatus::kFailed, ErrorText(error));
}

}  // namespace

FileContent ReadBoundedFile(const std::string& path, size_t maxBytes, LinkPolicy links) {
  const bool follow = links == LinkPolicy::kFollow;
  // Looked at before opening: opening a device can have effects of its own
  // (a serial port drops its modem lines).
  struct stat st {};
  if ((follow ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0) return OpenFailure(errno);
  if (std::string kind = KindReason(st.st_mode); !kind.empty()) {
    return Refused(S_ISLNK(st.st_mode) ? ReadStatus::kLink : ReadStatus::kNotRegular, kind);
  }
  if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
    return Refused(ReadStatus::kTooLarge, TooLarge(static_cast<unsigned long long>(st.st_size), maxBytes));
  }

  // The name may have been swapped since: open without following a link
  // and without blocking, and check again what was opened.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
  if (fd < 0) return OpenFailure(errno);
  FileContent result;
  struct stat opened {};
  if (fstat(fd, &opened) != 0) {
    result = Refused(ReadStatus::kFailed, ErrorText(errno));
  } else if (std::string kind = KindReason(opened.st_mode); !kind.empty()) {
    result = Refused(ReadStatus::kNotRegular, kind);
  } else if (static_cast<unsigned long long>(opened.st_size) > maxBytes) {
    result = Refused(ReadStatus::kTooLarge, TooLarge(static_cast<unsigned long long>(opened.st_size), maxBytes));
  } else {
    result.status = ReadStatus::kOk;
    result.content.reserve(static_cast<size_t>(opened.st_size));
    char buffer[16384];
    for (;;) {
      ssize_t n = read(fd, buffer, sizeof buffer);
      if (n < 0) {
        if (errno == EINTR) continue;
        result = Refused(ReadStatus::kFailed, ErrorText(errno));
        break;
      }
      if (n == 0) break;
      // A file that grows while we read is cut off at the cap, not read on.
      if (result.content.size() + static_cast<size_t>(n) > maxBytes) {
        result = Refused(ReadStatus::kTooLarge, "too large (more than " + std::to_string(maxBytes) +
                                                    " bytes, at most " + std::to_string(maxBytes) + ")");
        break;
      }
      result.content.append(buffer, static_cast<size_t>(n));
    }
  }
  close(fd);
  return result;
}

}  // namespace files
