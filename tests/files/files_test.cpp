// The shared file facility: which files are read or replaced, with which
// reason, and that a refused or failed write leaves the target as it was.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "files/atomic_file_writer.h"
#include "files/bounded_file_reader.h"
#include "files/file_target.h"
#include "support/temp_dir.h"

namespace {

using files::LinkPolicy;
using files::ReadStatus;
using testsupport::EntriesIn;
using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;

constexpr size_t kCap = 1000;

std::string LinkTarget(const std::string& path) {
  std::error_code ec;
  return std::filesystem::read_symlink(path, ec).string();
}

TEST(BoundedFileReader, ReadsOnlyRegularFilesUpToTheCap) {
  testsupport::TempDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string plain = dir.File("plain");
  ASSERT_TRUE(WriteWholeFile(plain, "hello"));
  ASSERT_TRUE(WriteWholeFile(dir.File("exact"), std::string(kCap, 'x')));
  ASSERT_TRUE(WriteWholeFile(dir.File("large"), std::string(kCap + 1, 'x')));
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);  // no writer: a blocking open would hang
  ASSERT_EQ(symlink(plain.c_str(), dir.File("link").c_str()), 0);
  ASSERT_EQ(mkdir(dir.File("folder").c_str(), 0700), 0);

  struct Case {
    std::string path;
    LinkPolicy links;
    ReadStatus status;
    std::string reason;
  };
  const Case cases[] = {
      {plain, LinkPolicy::kRefuse, ReadStatus::kOk, ""},
      {dir.File("exact"), LinkPolicy::kRefuse, ReadStatus::kOk, ""},
      {dir.File("large"), LinkPolicy::kFollow, ReadStatus::kTooLarge, "too large (1001 bytes, at most 1000)"},
      {dir.File("missing"), LinkPolicy::kFollow, ReadStatus::kMissing, "no such file"},
      {dir.File("folder"), LinkPolicy::kFollow, ReadStatus::kNotRegular, "is a directory"},
      {dir.File("fifo"), LinkPolicy::kFollow, ReadStatus::kNotRegular, "is a FIFO"},
      {"/dev/zero", LinkPolicy::kFollow, ReadStatus::kNotRegular, "is a device"},
      {dir.File("link"), LinkPolicy::kRefuse, ReadStatus::kLink, "is a symbolic link"},
      {dir.File("link"), LinkPolicy::kFollow, ReadStatus::kOk, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const files::FileContent got = files::ReadBoundedFile(c.path, kCap, c.links);
    EXPECT_EQ(got.status, c.status);
    EXPECT_EQ(got.reason, c.reason);
    if (c.status == ReadStatus::kOk) {
      EXPECT_EQ(got.content, ReadWholeFile(c.path));
    } else {
      EXPECT_EQ(got.content, "");
    }
  }
}

TEST(AtomicFileWriter, ReplacesOnlyWritableRegularFilesAndLeavesRefusedOnesAlone) {
  testsupport::TempDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string notes = dir.File("notes.txt");
  ASSERT_TRUE(WriteWholeFile(notes, "my notes\n"));
  ASSERT_EQ(symlink(notes.c_str(), dir.File("link").c_str()), 0);
  ASSERT_TRUE(WriteWholeFile(dir.File("protected"), "keep\n"));
  ASSERT_EQ(chmod(dir.File("protected").c_str(), 0444), 0);
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(dir.File("folder").c_str(), 0700), 0);
  ASSERT_TRUE(WriteWholeFile(dir.File("old"), "old\n"));
  ASSERT_EQ(chmod(dir.File("old").c_str(), 0640), 0);

  struct Case {
    std::string path;
    std::string reason;  // empty: written
  };
  const Case cases[] = {
      {dir.File("new"), ""},
      {dir.File("old"), ""},
      {dir.File("link"), "is a symbolic link"},
      {dir.File("protected"), "is read-only"},
      {dir.File("fifo"), "is a FIFO"},
      {dir.File("folder"), "is a directory"},
      {"/dev/null", "is a device"},
  };
  const size_t entriesBefore = EntriesIn(dir.path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string reason;
    const bool written = files::WriteFileAtomically(c.path, "new content\n", &reason);
    EXPECT_EQ(written, c.reason.empty());
    EXPECT_EQ(reason, c.reason);
    if (written) {
      EXPECT_EQ(ReadWholeFile(c.path), "new content\n");
    }
  }
  // What was refused is untouched, the link still a link to the notes.
  EXPECT_EQ(ReadWholeFile(notes), "my notes\n");
  EXPECT_EQ(LinkTarget(dir.File("link")), notes);
  EXPECT_EQ(ReadWholeFile(dir.File("protected")), "keep\n");
  struct stat st {};
  ASSERT_EQ(stat(dir.File("old").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  // Only the new file was added: no temporary file is left behind.
  EXPECT_EQ(EntriesIn(dir.path()), entriesBefore + 1);
}

TEST(AtomicFileWriter, TemporaryNamesAreFreshForEachWriteInTheTargetsFolder) {
  testsupport::TempDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string target = dir.File("backup.json");
  files::AtomicFileWriter one(target);
  files::AtomicFileWriter two(target);
  ASSERT_TRUE(one.Open()) << one.error();
  ASSERT_TRUE(two.Open()) << two.error();
  EXPECT_NE(one.temporaryPath(), two.temporaryPath());
  EXPECT_EQ(files::DirectoryOf(one.temporaryPath()), dir.path());
  EXPECT_EQ(one.temporaryPath().find(target + "."), std::string::npos) << "no name derived by appending to the target";
  two.Discard();
  ASSERT_TRUE(one.Write("first") && one.Commit()) << one.error();
  EXPECT_EQ(ReadWholeFile(target), "first");
  EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(AtomicFileWriter, AFullDiskLeavesTheOldFileAndNoTemporary) {
  testsupport::TempDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string target = dir.File("settings.ini");
  ASSERT_TRUE(WriteWholeFile(target, "old settings\n"));
  // A file size limit makes the write fail as a full disk would.
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string reason;
  const bool written = files::WriteFileAtomically(target, std::string(100000, 'n'), &reason);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(written);
  EXPECT_EQ(reason.rfind("cannot write: ", 0), 0u) << reason;
  EXPECT_EQ(ReadWholeFile(target), "old settings\n");
  EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

}  // namespace
