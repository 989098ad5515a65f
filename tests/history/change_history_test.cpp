// The change history file: one whole line per write, a damaged line
// skipped without losing the others, no link followed, nothing but a
// regular file read or appended to, and the filters of the views.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "history/change_history.h"
#include "support/temp_dir.h"

namespace {

using history::Entry;

Entry Write(const std::string& serial, const std::string& setting, const std::string& oldValue,
            const std::string& newValue, const std::string& time = history::NowUtc()) {
  Entry e;
  e.time = time;
  e.program = "tarkon-cli";
  e.user = "tech";
  e.port = "/dev/ttyUSB0";
  e.model = "KRV04";
  e.serialNumber = serial;
  e.setting = setting;
  e.oldValue = oldValue;
  e.newValue = newValue;
  e.outcome = history::OutcomeText(history::Outcome::kVerified);
  return e;
}

std::string Content(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void AppendRaw(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out << bytes;
}

TEST(ChangeHistory, EachWriteIsOneWholeLineReadBackFieldForField) {
  testsupport::TempDir dir;
  const std::string path = dir.File("sub/folder/history.jsonl");  // folders are made
  std::string error;
  // Texts a sensor may hold: quotes, a line break, bytes that are no UTF-8.
  const Entry first = Write("K2073064", "Threshold", "55", "60");
  const Entry second = Write("A\"B\nC", "Mode", "0:  From 00.000 to  8.000 inch", std::string("x\xff", 2));
  ASSERT_TRUE(history::Append(path, first, &error)) << error;
  ASSERT_TRUE(history::Append(path, second, &error)) << error;

  const std::string text = Content(path);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
  EXPECT_EQ(text.back(), '\n');
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  const history::ReadResult read = history::Read(path);
  ASSERT_TRUE(read.ok) << read.error;
  ASSERT_EQ(read.entries.size(), 2u);
  EXPECT_EQ(read.damagedLines, 0u);
  const Entry& a = read.entries[0];
  EXPECT_EQ(a.time, first.time);
  EXPECT_EQ(a.program, "tarkon-cli");
  EXPECT_EQ(a.user, "tech");
  EXPECT_EQ(a.port, "/dev/ttyUSB0");
  EXPECT_EQ(a.model, "KRV04");
  EXPECT_EQ(a.serialNumber, "K2073064");
  EXPECT_EQ(a.setting, "Threshold");
  EXPECT_EQ(a.oldValue, "55");
  EXPECT_EQ(a.newValue, "60");
  EXPECT_EQ(a.outcome, "verified");
  EXPECT_EQ(read.entries[1].serialNumber, "A\"B\nC");
  EXPECT_EQ(read.entries[1].newValue, "x\xEF\xBF\xBD");  // U+FFFD for the stray byte
}

TEST(ChangeHistory, ATornLastLineIsSkippedAndTheNextAppendStartsALineOfItsOwn) {
  testsupport::TempDir dir;
  const std::string path = dir.File("history.jsonl");
  std::string error;
  ASSERT_TRUE(history::Append(path, Write("S1", "Threshold", "1", "2"), &error));
  // A crash in the middle of a line, then garbage and an object missing fields.
  AppendRaw(path, "{\"time\":\"2026-12-08T10:00:00.000Z\",\"program\":\"Tar");
  ASSERT_TRUE(history::Append(path, Write("S1", "Threshold", "2", "3"), &error));
  AppendRaw(path, "not json at all\n{\"time\":\"x\"}\n\n");
  ASSERT_TRUE(history::Append(path, Write("S1", "Threshold", "3", "4"), &error));
  AppendRaw(path, "{\"time\":\"2026-12-08T10:00:00.000Z\",\"pro");  // torn last line

  const history::ReadResult read = history::Read(path);
  ASSERT_TRUE(read.ok) << read.error;
  ASSERT_EQ(read.entries.size(), 3u);
  EXPECT_EQ(read.damagedLines, 4u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(read.entries[i].newValue, std::to_string(i + 2));
}

TEST(ChangeHistory, LinksAndFilesThatAreNotRegularAreRefusedBothWays) {
  testsupport::TempDir dir;
  const std::string real = dir.File("real.jsonl");
  std::string error;
  ASSERT_TRUE(history::Append(real, Write("S1", "Threshold", "1", "2"), &error));
  const std::string before = Content(real);
  const std::string link = dir.File("link.jsonl");
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  EXPECT_FALSE(history::Append(link, Write("S1", "Threshold", "2", "3"), &error));
  EXPECT_EQ(error, "is a symbolic link");
  EXPECT_EQ(Content(real), before);
  EXPECT_FALSE(history::Read(link).ok);

  const std::string fifo = dir.File("fifo.jsonl");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(history::Append(fifo, Write("S1", "Threshold", "2", "3"), &error));  // never blocks
  EXPECT_EQ(error, "is not a regular file");
  EXPECT_FALSE(history::Read(fifo).ok);
  EXPECT_FALSE(history::Read(dir.path()).ok);  // a folder

  // A missing file is an empty history, not an error.
  const history::ReadResult none = history::Read(dir.File("missing.jsonl"));
  EXPECT_TRUE(none.ok);
  EXPECT_TRUE(none.entries.empty());
}

TEST(ChangeHistory, AHistoryBeyondTheCapIsReadFromItsNewestWholeLines) {
  testsupport::TempDir dir;
  const std::string path = dir.File("history.jsonl");
  std::string error;
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(history::Append(path, Write("S1", "Threshold", "0", std::to_string(i)), &error));
  const size_t lineSize = Content(path).size() / 50;
  const history::ReadResult read = history::Read(path, lineSize * 10 + lineSize / 2);
  ASSERT_TRUE(read.ok);
  EXPECT_TRUE(read.truncated);
  EXPECT_EQ(read.damagedLines, 0u);  // the cut line is dropped, not counted as damage
  ASSERT_EQ(read.entries.size(), 10u);
  EXPECT_EQ(read.entries.back().newValue, "49");
  EXPECT_EQ(read.entries.front().newValue, "40");
}

TEST(ChangeHistory, SelectFiltersBySerialNumberAndTimeNewestFirst) {
  const std::vector<Entry> entries = {Write("K1", "A", "", "", "2026-12-07T23:59:59.999Z"),
                                      Write("k2", "B", "", "", "2026-12-08T08:00:00.000Z"),
                                      Write("K1", "C", "", "", "2026-12-08T10:30:00.000Z"),
                                      Write("K1", "D", "", "", "2026-12-08T09:00:00.000Z")};
  struct Case {
    std::string serial;
    std::string since;
    std::string expected;  // settings in the order shown
  };
  const std::vector<Case> cases = {{"", "", "CDBA"},          {"k1", "", "CDA"},
                                   {"K2", "", "B"},           {"", "2026-12-08", "CDB"},
                                   {"K1", "2026-12-08T09:00", "CD"}, {"K1", "2026-12-08 10:30:01Z", ""}};
  for (const Case& c : cases) {
    history::Filter filter;
    filter.serialNumber = c.serial;
    if (!c.since.empty()) {
      ASSERT_TRUE(history::NormalizeSince(c.since, filter.since)) << c.since;
    }
    std::string shown;
    for (const Entry& e : history::Select(entries, filter)) shown += e.setting;
    EXPECT_EQ(shown, c.expected) << c.serial << " " << c.since;
  }
  std::string normalized;
  for (const char* bad : {"yesterday", "2026-13-01", "2026-12-08T25:00", "2026-12-8", "2026-12-08T10", ""})
    EXPECT_FALSE(history::NormalizeSince(bad, normalized)) << bad;
}

}  // namespace
