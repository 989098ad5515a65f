#pragma once
// Appends whole pieces of text to a file (created when missing) or to
// standard error. A piece the disk does not take whole is cut off a
// regular file again, so the file always ends with the last whole piece
// (a line of a CSV log, a block of a scan export).
//
//   files::AppendFile out;
//   if (!out.Open(path, &reason)) report("cannot open " + path + ": " + reason);
//   if (!out.Append(line + "\n", false, &reason)) report("cannot write ...: " + reason);

#include <string>

namespace files {

class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // False with the system's reason (no path in it).
  bool Open(const std::string& path, std::string* reason);
  void UseStandardError();
  bool IsOpen() const { return fd_ >= 0; }
  // The file was empty (or new) when opened.
  bool StartedEmpty() const { return startedEmpty_; }
  // Writes `text` whole, then with `sync` flushes it to the disk. False
  // with the system's reason; what was written of it is taken back.
  bool Append(const std::string& text, bool sync, std::string* reason);
  // Closes; false with the reason when the close reports a failed write.
  bool Close(std::string* reason);

 private:
  int fd_ = -1;
  bool owns_ = false;
  bool startedEmpty_ = false;
};

}  // namespace files
