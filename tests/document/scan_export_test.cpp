#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tarkon/document/scan_buffer.h"

namespace {

class ScanExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarkon-export-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/scanbuffer.txt";
  }
  void TearDown() override {
    std::string command = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
  }

  std::string dir_;
  std::string path_;
};

const std::vector<ScanListRow> kTwoRows = {{"1", "12.345 inch"}, {"2", "Out of Range"}};
const char kTwoRowBlock[] =
    "\nSensor: SN001234 \t Address: 3\n\nScan buffer: Size: 2\n#0:\t\t12.345 inch\n"
    "#1:\t\tOut of Range\n";

TEST_F(ScanExportTest, BlockNumbersLinesFromZero) {
  ASSERT_TRUE(AppendScanExport(path_, "SN001234", 3, kTwoRows));
  EXPECT_EQ(Read(), kTwoRowBlock);
}

TEST_F(ScanExportTest, SavingTwiceAppendsTwoBlocks) {
  ASSERT_TRUE(AppendScanExport(path_, "SN001234", 3, kTwoRows));
  ASSERT_TRUE(AppendScanExport(path_, "SN001234", 3, kTwoRows));
  EXPECT_EQ(Read(), std::string(kTwoRowBlock) + kTwoRowBlock);
}

TEST_F(ScanExportTest, EmptyListAndLongTexts) {
  ASSERT_TRUE(AppendScanExport(path_, "ABCDEFGHIJK", 255, {}));
  EXPECT_EQ(Read(), "\nSensor: ABCDEFGH \t Address: 255\n\nScan buffer: Size: 0\n");
  std::vector<ScanListRow> rows = {{"1", std::string(70, 'x')}};
  EXPECT_EQ(ScanExportBlock("", 0, rows),
            "\nSensor:  \t Address: 0\n\nScan buffer: Size: 1\n#0:\t\t" + std::string(63, 'x') + "\n");
}

TEST_F(ScanExportTest, UnopenableFileWritesNothing) {
  std::string error;
  EXPECT_FALSE(AppendScanExport(dir_ + "/no/such/dir/scan.txt", "S", 1, kTwoRows, &error));
  EXPECT_NE(error, "");
}

TEST_F(ScanExportTest, FullDiskLeavesTheEarlierBlocksAsTheyWere) {
  ASSERT_TRUE(AppendScanExport(path_, "SN001234", 3, kTwoRows));
  std::vector<ScanListRow> many(200, ScanListRow{"1", "1.000 inch"});
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string error;
  bool ok = AppendScanExport(path_, "SN001234", 3, many, &error);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
  EXPECT_FALSE(ok);
  EXPECT_NE(error, "");
  EXPECT_EQ(Read(), kTwoRowBlock);
}

TEST(ScanRangesAvailable, KRV02ScanCountIsCappedAt8192) {
  uint8_t state[14] = {};
  state[10] = static_cast<uint8_t>(9000 & 0xFF);
  state[11] = static_cast<uint8_t>(9000 >> 8);
  EXPECT_EQ(KRV02RangesAvailable(state), 8192);
  state[10] = 0xE8;
  state[11] = 0x03;
  EXPECT_EQ(KRV02RangesAvailable(state), 1000);
  // Taken as unsigned: 0xFFFF is a large count, not -1.
  state[10] = 0xFF;
  state[11] = 0xFF;
  EXPECT_EQ(KRV02RangesAvailable(state), 8192);
  EXPECT_EQ(kBoardFlipperRangesAvailable, 8192);
}

TEST(ScanFields, StartChecksRangesToReadAndStartIndex) {
  SensorCommands commands;  // no sensor: nothing may be sent
  struct Sink : LogSink {
    void LogLine(int, const std::string& text) override { lines.push_back(text); }
    std::vector<std::string> lines;
  } sink;
  commands.SetLogSink(&sink);
  ScanBufferReader reader(commands, &sink);
  reader.SetRangesAvailable(9000);
  EXPECT_EQ(reader.rangesAvailable(), 8192);
  reader.SetRangesAvailable(100);
  int toRead = -1;
  EXPECT_EQ(reader.CheckFields("100", 0, &toRead), "");
  EXPECT_EQ(toRead, 100);
  EXPECT_EQ(reader.CheckFields("0", 100, &toRead), "");
  EXPECT_EQ(toRead, 0);
  EXPECT_EQ(reader.CheckFields("101", 0, nullptr), "Please enter an integer between 0 and 100.");
  EXPECT_EQ(reader.CheckFields("-1", 0, nullptr), "Please enter an integer between 0 and 100.");
  EXPECT_EQ(reader.CheckFields("9x", 0, nullptr), "Please enter an integer.");
  EXPECT_EQ(reader.CheckFields("90", 11, nullptr), "Please enter an integer between 0 and 10.");
  // Fields beyond the buffer send nothing.
  EXPECT_EQ(reader.Read(90, 11, nullptr), ScanReadOutcome::kRefused);
  EXPECT_EQ(reader.Read(-1, 0, nullptr), ScanReadOutcome::kRefused);
  // Nothing to read completes at once with an empty list.
  EXPECT_EQ(reader.Read(0, 0, nullptr), ScanReadOutcome::kCompleted);
  EXPECT_TRUE(reader.rows().empty());
  EXPECT_TRUE(sink.lines.empty());
}

}  // namespace
