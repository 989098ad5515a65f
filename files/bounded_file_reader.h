#pragma once
// Reads a whole file that must be a regular file of limited size. A FIFO
// would block the program, /dev/zero or a device would stream without end,
// a directory reads as nothing, and a huge file would fill the memory:
// each is refused with its reason before anything is read. The file is
// examined before it is opened and opened without blocking, so even a
// FIFO with no writer or a serial device never holds the caller up.

#include <cstddef>
#include <string>

namespace files {

enum class ReadStatus {
  kOk,
  kMissing,     // no such file (callers often start from defaults then)
  kLink,        // a symbolic link, when links are refused
  kNotRegular,  // a directory, FIFO, device or socket
  kTooLarge,    // more than the cap
  kFailed,      // no permission, an input/output error, ...
};

struct FileContent {
  ReadStatus status = ReadStatus::kFailed;
  std::string content;  // the whole file when status is kOk
  // Why it was not read, without the path: "no such file", "is a
  // directory", "is a FIFO", "is a device", "is a symbolic link",
  // "too large (N bytes, at most M)", or the system's text.
  std::string reason;

  bool ok() const { return status == ReadStatus::kOk; }
};

enum class LinkPolicy { kFollow, kRefuse };

// At most `maxBytes` bytes. kRefuse for a file we may later write back:
// the file a link points to is not ours to rewrite.
FileContent ReadBoundedFile(const std::string& path, size_t maxBytes,
                            LinkPolicy links = LinkPolicy::kFollow);

}  // namespace files
