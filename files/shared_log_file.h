#pragma once
// A log file that several programs append to at once, one line per entry
// (the change history). Each line reaches the file whole, in one write at
// its end (O_APPEND on POSIX, append-only access on Windows), so lines of
// two programs never interleave and a crash leaves at most one unfinished
// last line, after which the next line starts on a line of its own. A link
// is never followed and anything but a regular file is refused, both when
// appending and when reading. Reasons carry no path.

#include <cstddef>
#include <cstdint>
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

// A log file read from its start a piece at a time, so that a file of any
// size is read whole while only one piece is held in memory.
//
//   files::LogFileReader in;
//   if (!in.Open(path, &reason)) report(reason);
//   std::string piece;
//   while (in.ReadPiece(piece, 1 << 20, &reason) > 0) take(piece);
class LogFileReader {
 public:
  LogFileReader() = default;
  ~LogFileReader();
  LogFileReader(const LogFileReader&) = delete;
  LogFileReader& operator=(const LogFileReader&) = delete;

  // False with the reason when `path` is a link, anything but a regular
  // file, or cannot be opened. A missing file opens as an empty one.
  bool Open(const std::string& path, std::string* error);
  bool missing() const { return missing_; }
  // Replaces `piece` with the next bytes, at most `maxBytes`: their count,
  // 0 at the end of the file, -1 on a read error (with the reason).
  long ReadPiece(std::string& piece, size_t maxBytes, std::string* error);

 private:
  intptr_t handle_ = -1;  // the platform's file handle; -1 when not open
  bool missing_ = false;
};

}  // namespace files
