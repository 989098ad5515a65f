// rand_s, the system's cryptographic random source, is declared only when
// this is defined before the C library's first header.
#define _CRT_RAND_S
#include <cstdlib>

#include "files/atomic_file_writer.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "files/file_target.h"

namespace files {
namespace {

std::atomic<WriteStepHook> stepHook{nullptr};

void Step(WriteStep step) {
  if (WriteStepHook hook = stepHook.load(); hook != nullptr) hook(step);
}

constexpr size_t kChunk = 16 * 1024;

// Twelve letters or digits from the system's random source: nobody can
// guess the name and put a link there before we create the file.
std::string RandomSuffix() {
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string suffix;
  for (int i = 0; i < 12; ++i) {
    unsigned int value = 0;
    if (rand_s(&value) != 0) return std::string();
    suffix += kAlphabet[value % (sizeof kAlphabet - 1)];
  }
  return suffix;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool MakeDirectories(const std::string& dir, std::string* reason) {
  if (dir.empty() || GetFileAttributesA(dir.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  const std::string parent = DirectoryOf(dir);
  if (parent != dir && !MakeDirectories(parent, reason)) return false;
  if (!CreateDirectoryA(dir.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    *reason = "cannot create " + dir + ": " + ErrorText(EACCES);
    return false;
  }
  return true;
}

}  // namespace

void SetWriteStepHookForTesting(WriteStepHook hook) { stepHook.store(hook); }

AtomicFileWriter::AtomicFileWriter(std::string target, AtomicWriteOptions options)
    : target_(std::move(target)), options_(options) {}

AtomicFileWriter::~AtomicFileWriter() { Discard(); }

bool AtomicFileWriter::Fail(const std::string& reason) {
  error_ = reason;
  failed_ = true;
  return false;
}

bool AtomicFileWriter::Open() {
  if (fd_ >= 0 || failed_) return Fail("the file is already open or has failed");
  std::string reason;
  if (!CheckWritableTarget(target_, &reason)) return Fail(reason);
  existed_ = GetFileAttributesA(target_.c_str()) != INVALID_FILE_ATTRIBUTES;
  const std::string dir = DirectoryOf(target_);
  if (!existed_ && options_.createDirectories && !MakeDirectories(dir, &reason)) return Fail(reason);

  int error = 0;
  for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
    const std::string suffix = RandomSuffix();
    if (suffix.empty()) return Fail("no random name for a temporary file");
    temporary_ = dir + "\\." + BaseName(target_) + "." + suffix + ".tmp";
    // Created only if it does not exist, shared with nobody while written.
    error = _sopen_s(&fd_, temporary_.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                     _SH_DENYRW, _S_IREAD | _S_IWRITE);
    if (error != 0) fd_ = -1;
    if (fd_ < 0 && error != EEXIST) break;
  }
  if (fd_ < 0) {
    temporary_.clear();
    return Fail("cannot create a file in " + dir + ": " + ErrorText(error));
  }
  Step(WriteStep::kTemporaryCreated);
  return true;
}

bool AtomicFileWriter::Write(std::string_view data) {
  if (fd_ < 0 || failed_) return Fail(error_.empty() ? "the file is not open" : error_);
  size_t done = 0;
  size_t sinceStep = 0;
  while (done < data.size()) {
    const size_t want = std::min(data.size() - done, kChunk - sinceStep);
    const int n = _write(fd_, data.data() + done, static_cast<unsigned>(want));
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      Discard();
      return Fail("cannot write: " + ErrorText(error));
    }
    done += static_cast<size_t>(n);
    sinceStep += static_cast<size_t>(n);
    if (sinceStep >= kChunk) {
      sinceStep = 0;
      Step(WriteStep::kPartWritten);
    }
  }
  return true;
}

bool AtomicFileWriter::Commit() {
  if (fd_ < 0 || failed_) return Fail(error_.empty() ? "the file is not open" : error_);
  Step(WriteStep::kAllWritten);
  if (_commit(fd_) != 0) {
    const int error = errno;
    Discard();
    return Fail("cannot write: " + ErrorText(error));
  }
  Step(WriteStep::kSynced);
  const int fd = fd_;
  fd_ = -1;
  if (_close(fd) != 0) {
    const int error = errno;
    Discard();
    return Fail("cannot write: " + ErrorText(error));
  }
  std::string reason;
  if (!CheckWritableTarget(target_, &reason)) {
    Discard();
    return Fail(reason);
  }
  // Replaces the target in one step; written through, so the rename is on
  // the disk when the call returns.
  if (!MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    Discard();
    return Fail("cannot rename the new file into place: " +
                ErrorText(error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? EACCES : EIO));
  }
  temporary_.clear();
  Step(WriteStep::kRenamed);
  return true;
}

void AtomicFileWriter::Discard() {
  if (fd_ >= 0) {
    _close(fd_);
    fd_ = -1;
  }
  if (!temporary_.empty()) {
    _unlink(temporary_.c_str());
    temporary_.clear();
  }
}

bool WriteFileAtomically(const std::string& target, std::string_view content, std::string* reason,
                         AtomicWriteOptions options) {
  AtomicFileWriter writer(target, options);
  if (writer.Open() && writer.Write(content) && writer.Commit()) return true;
  if (reason != nullptr) *reason = writer.error();
  return false;
}

}  // namespace files
