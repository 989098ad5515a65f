#pragma once
// Replaces a file as a whole, so that a crash, a kill or a full disk leaves
// either the old file or the new one, never a mixture or a truncated file.
//
// The content goes into a temporary file created exclusively, with an
// unpredictable name, in the target's own folder (so the final rename stays
// on one file system and nobody can place a link at the name beforehand);
// every write is checked; the file is flushed to the disk and then renamed
// over the target. The target is refused, before anything is written, when
// it is a symbolic link, not a regular file, or read-only (see
// file_target.h). A replaced file keeps its permissions; a new one gets
// 0666 less the umask.
//
// Usage, whole content:   std::string reason;
//                         if (!files::WriteFileAtomically(path, text, &reason)) ...
// Usage, streamed:        files::AtomicFileWriter out(path);
//                         ok = out.Open() && out.Write(a) && out.Write(b) && out.Commit();
//                         if (!ok) report(out.error());
// Reasons carry no path of the target; callers put it in their message.

#include <string>
#include <string_view>

namespace files {

struct AtomicWriteOptions {
  // Create the target's missing folders (private to the user).
  bool createDirectories = false;
};

class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(std::string target, AtomicWriteOptions options = {});
  // An uncommitted temporary file is removed; the target stays as it was.
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Checks the target and creates the temporary file.
  bool Open();
  // Appends to the temporary file; false (with error()) on any failure,
  // after which only Discard() or destruction remain.
  bool Write(std::string_view data);
  // Flushes, closes and renames over the target.
  bool Commit();
  // Removes the temporary file; the target stays as it was.
  void Discard();

  const std::string& target() const { return target_; }
  const std::string& temporaryPath() const { return temporary_; }
  const std::string& error() const { return error_; }

 private:
  bool Fail(const std::string& reason);

  std::string target_;
  AtomicWriteOptions options_;
  std::string temporary_;
  std::string error_;
  int fd_ = -1;
  bool existed_ = false;
  unsigned existingMode_ = 0;
  bool failed_ = false;
};

// Open, Write and Commit in one call.
bool WriteFileAtomically(const std::string& target, std::string_view content, std::string* reason,
                         AtomicWriteOptions options = {});

// Points inside a write at which a test may stop or kill the writer, to
// prove that a kill at any of them leaves the old or the new file.
enum class WriteStep { kTemporaryCreated, kPartWritten, kAllWritten, kSynced, kRenamed };
using WriteStepHook = void (*)(WriteStep step);
// Process-wide; null (the default) for none. For tests only.
void SetWriteStepHookForTesting(WriteStepHook hook);

}  // namespace files
