#include "files/atomic_file_writer.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A chunk small enough that a test's hook sees several steps inside the
// write of a settings file, large enough not to matter for speed.
constexpr size_t kChunk = 16 * 1024;

// Twelve letters or digits from the kernel's random source: nobody can
// guess the name and put a link there before we create the file.
std::string RandomSuffix() {
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[12];
  size_t got = 0;
  while (got < sizeof bytes) {
    ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::string();
    }
    got += static_cast<size_t>(n);
  }
  std::string suffix;
  for (unsigned char b : bytes) suffix += kAlphabet[b % (sizeof kAlphabet - 1)];
  return suffix;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool MakeDirectories(const std::string& dir, std::string* reason) {
  struct stat st {};
  if (dir.empty() || stat(dir.c_str(), &st) == 0) return true;
  std::string parent = DirectoryOf(dir);
  if (parent != dir && !MakeDirectories(parent, reason)) return false;
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    *reason = "cannot create " + dir + ": " + ErrorText(errno);
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
  struct stat st {};
  existed_ = lstat(target_.c_str(), &st) == 0;
  existingMode_ = existed_ ? st.st_mode & 07777 : 0;
  const std::string dir = DirectoryOf(target_);
  if (!existed_ && options_.createDirectories && !MakeDirectories(dir, &reason)) return Fail(reason);

  for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
    const std::string suffix = RandomSuffix();
    if (suffix.empty()) return Fail("no random name for a temporary file: " + ErrorText(errno));
    temporary_ = dir + "/." + BaseName(target_) + "." + suffix + ".tmp";
    fd_ = open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    const int error = errno;
    temporary_.clear();
    return Fail("cannot create a file in " + dir + ": " + ErrorText(error));
  }
  // The new file keeps the old one's permissions (a failure here leaves
  // the default ones, which is no reason to lose the write).
  if (existed_) (void)fchmod(fd_, static_cast<mode_t>(existingMode_));
  Step(WriteStep::kTemporaryCreated);
  return true;
}

bool AtomicFileWriter::Write(std::string_view data) {
  if (fd_ < 0 || failed_) return Fail(error_.empty() ? "the file is not open" : error_);
  size_t done = 0;
  size_t sinceStep = 0;
  while (done < data.size()) {
    const size_t want = std::min(data.size() - done, kChunk - sinceStep);
    ssize_t n = write(fd_, data.data() + done, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      Discard();
      return Fail("cannot write: " + ErrorText(error));
    }
    if (n == 0) {
      Discard();
      return Fail("cannot write: " + ErrorText(EIO));
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
  if (fsync(fd_) != 0) {
    const int error = errno;
    Discard();
    return Fail("cannot write: " + ErrorText(error));
  }
  Step(WriteStep::kSynced);
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) {
    const int error = errno;
    Discard();
    return Fail("cannot write: " + ErrorText(error));
  }
  // Checked again just before the rename: a link or a protected file put
  // in place while we wrote is not replaced either.
  std::string reason;
  if (!CheckWritableTarget(target_, &reason)) {
    Discard();
    return Fail(reason);
  }
  if (rename(temporary_.c_str(), target_.c_str()) != 0) {
    const int error = errno;
    Discard();
    return Fail("cannot rename the new file into place: " + ErrorText(error));
  }
  temporary_.clear();
  Step(WriteStep::kRenamed);
  // Make the rename itself durable.
  const int dirFd = open(DirectoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    (void)fsync(dirFd);
    close(dirFd);
  }
  return true;
}

void AtomicFileWriter::Discard() {
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  if (!temporary_.empty()) {
    unlink(temporary_.c_str());
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
