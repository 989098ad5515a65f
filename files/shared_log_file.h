#pragma once
// A log file that several programs append to at once, one line per entry
// (the change history). Each line reaches the file whole, in one write at
// its end (O_APPEND on POSIX, append-only access on Windows), so lines of
// two programs never interleave and a crash leaves at most one unfinished
// last line, after which the next line starts on a line of its own. A link
// is never followed and anything but a regular file is refused, both when
// appending and when reading. Reasons carry no path.

#include <cstddef>
#include <string>

namespace files {

// Creates each missing folder of `folder` (owner only); false with
// "cannot create FOLDER: reason".
bool MakeFolders(const std::string& folder, std::string* error);

// Appends `line` (ending in a line break) to `path`, creating the file
// (owner only) when missing. False with the reason when the target is a
// link ("is a symbolic link"), a directory ("is a directory"), anything
// else that is not a regular file ("is not a regular file"), or the line
// was not written whole (a part line is cut off again when nobody appended
// after it).
bool AppendWholeLine(const std::string& path, const std::string& line, std::string* error);

// The newest part of a log file: at most `maxBytes` from its end.
struct LogTail {
  bool ok = false;        // false: it could not be read (error says why)
  bool missing = false;   // no such file (ok is true then, content empty)
  bool truncated = false; // the file was larger: content starts mid-file
  std::string content;
  std::string error;
};
LogTail ReadLogTail(const std::string& path, size_t maxBytes);

}  // namespace files
