// The View tab's polling and memory reads and the scan-buffer export,
// against the virtual board flipper and a scripted peer.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QTimer>
#include <thread>

#include "ostrel_sim_fixture.h"
#include "scripted_peer.h"
#include "support/temp_dir.h"

namespace {

using ostreltest::Bytes;
using ostreltest::OstrelSimTest;

TEST_F(OstrelSimTest, PollingFollowsShowAllAndStopsAtTheNextPass) {
  Connected();
  sensor_->Mutate([](sim::SensorState& s) {
    s.live.animate = false;
    s.live.range = 1234;
    s.live.peak = 77;
  });
  QTimer::singleShot(150, [&] { fields_.showAll = true; });
  QTimer::singleShot(300, [&] {
    ops_.RequestStop();
    EXPECT_FALSE(ops_.LaserOn()) << "polling holds the busy flag";
  });
  ASSERT_TRUE(ops_.StartPolling());
  EXPECT_FALSE(ops_.busy());
  const std::vector<int> commands = trace_.Commands();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.front(), 12);
  EXPECT_EQ(commands.back(), 41) << "the switch changed the next poll's command";
  const size_t switched = static_cast<size_t>(std::find(commands.begin(), commands.end(), 41) - commands.begin());
  EXPECT_TRUE(std::all_of(commands.begin() + static_cast<std::ptrdiff_t>(switched), commands.end(),
                          [](int c) { return c == 41; }));
  ASSERT_EQ(view_.spots.size(), commands.size());
  EXPECT_EQ(view_.spots.front().range, 1234);
  EXPECT_FALSE(view_.spots.front().all);
  EXPECT_TRUE(view_.spots.back().all);
  EXPECT_EQ(view_.spots.back().peak, 77);
  const size_t polls = commands.size();
  link_.WaitMs(100);
  EXPECT_EQ(trace_.Commands().size(), polls) << "nothing is sent after the stop";
}

TEST_F(OstrelSimTest, MemoryReadsPadTheAddressLimitTheCountAndFillLinesOfFour) {
  Connected();
  struct Row {
    const char* address;
    const char* count;
    const char* addressShown;
    const char* countShown;
    uint16_t addressSent;
    uint8_t countSent;
    std::vector<size_t> wordsPerLine;
    const char* firstLineStart;
  };
  const Row rows[] = {
      {"1a", "9", "001a", "9", 0x001A, 9, {4, 4, 1}, "001A :\t"},
      {"", "8", "0000", "8", 0x0000, 8, {4, 4, 0}, "0000 :\t"},
      {"100", "200", "0100", "120", 0x0100, 120, {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 0}, "0100 :\t"},
      {"0", "0", "0000", "0", 0x0000, 0, {0}, "0000 :\t"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.address);
    trace_.Clear();
    fields_.memAddr = row.address;
    fields_.wordCount = row.count;
    ASSERT_TRUE(ops_.ReadMemory());
    EXPECT_EQ(fields_.memAddr, row.addressShown);
    EXPECT_EQ(fields_.wordCount, row.countShown);
    const auto frames = trace_.Received();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].command(), 150);
    EXPECT_EQ(frames[0].bytes[4] | (frames[0].bytes[5] << 8), row.addressSent) << "checksum mode: low byte first";
    EXPECT_EQ(frames[0].bytes[6], row.countSent);
    ASSERT_EQ(view_.memo.size(), row.wordsPerLine.size());
    for (size_t i = 0; i < view_.memo.size(); ++i) {
      EXPECT_EQ(static_cast<size_t>(std::count(view_.memo[i].begin(), view_.memo[i].end(), '\t')),
                row.wordsPerLine[i] + 1);
    }
    EXPECT_EQ(view_.memo[0].rfind(row.firstLineStart, 0), 0u) << view_.memo[0];
  }
  // Hexadecimal words: four upper-case digits each.
  sensor_->Mutate([](sim::SensorState& s) { s.memory[0x20] = 0xBEEF; });
  fields_.memAddr = "20";
  fields_.wordCount = "1";
  fields_.hex = true;
  ASSERT_TRUE(ops_.ReadMemory());
  ASSERT_FALSE(view_.memo.empty());
  EXPECT_EQ(view_.memo[0], "0020 :\tBEEF\t");
}

class ExportTest : public OstrelSimTest {
 protected:
  std::string Exported() { return testsupport::ReadWholeFile(view_.saveFile); }
  testsupport::TempDir dir_;
};

TEST_F(ExportTest, ScanBufferPortionsGoToTheFileOnePerLine) {
  Connected();
  sensor_->Mutate([](sim::SensorState& s) {
    for (size_t i = 0; i < s.scanBuffer.size(); ++i) s.scanBuffer[i] = static_cast<uint16_t>(i * 3 + 40000);
  });
  view_.saveFile = dir_.File("scans.txt");
  fields_.startIndex = "2";
  fields_.numScans = "300";  // three replies: 126, 126 and 48 values
  view_.statuses.clear();
  ASSERT_TRUE(ops_.ExportScanBuffer());
  EXPECT_EQ(trace_.CountCommand(11), 1u) << "one request for all replies";
  std::string expected;
  for (size_t i = 2; i < 302; ++i) expected += std::to_string(i * 3 + 40000) + "\r\n";
  EXPECT_EQ(Exported(), expected);
  EXPECT_EQ(view_.statuses, (std::vector<std::string>{"Retrieving scan data from sensor(s) . . .",
                                                      "Copying scan data to file . . .", " Done"}));
  // The dialog proposes model, serial number and date.
  EXPECT_EQ(view_.proposedSaveName.rfind("M3-9-6BF_BF039618_scans_20", 0), 0u) << view_.proposedSaveName;

  // A link at the temporary name once used, or at the file itself, is
  // never written through: the file it points to stays as it was.
  const std::string victim = dir_.File("victim.txt");
  ASSERT_TRUE(testsupport::WriteWholeFile(victim, "precious\n"));
  ASSERT_EQ(symlink(victim.c_str(), (view_.saveFile + ".part").c_str()), 0);
  ASSERT_TRUE(ops_.ExportScanBuffer());
  EXPECT_EQ(Exported(), expected);
  const std::string linked = dir_.File("linked.txt");
  ASSERT_EQ(symlink(victim.c_str(), linked.c_str()), 0);
  view_.saveFile = linked;
  ASSERT_TRUE(ops_.ExportScanBuffer());
  EXPECT_EQ(view_.statuses.back(), "Error Writing File! " + linked + ": is a symbolic link");
  EXPECT_EQ(testsupport::ReadWholeFile(victim), "precious\n");

  // Unusable fields: an error box, nothing sent.
  trace_.Clear();
  view_.proposedSaveName.clear();
  fields_.numScans = "";
  ASSERT_TRUE(ops_.ExportScanBuffer());
  EXPECT_EQ(view_.inputErrors.back().second, ostrel::Field::kNumScans);
  EXPECT_TRUE(trace_.Received().empty());
  EXPECT_TRUE(view_.proposedSaveName.empty()) << "checked before the file dialog opens";
}

TEST(OstrelExport, OutOfSequenceRepliesNoSensorAndMoreThanTheTableHolds) {
  struct Row {
    const char* name;
    std::vector<std::pair<uint8_t, size_t>> replies;  // remaining count, words
    size_t values;
    const char* done;
  };
  const Row rows[] = {
      {"three in sequence", {{3, 126}, {2, 126}, {1, 10}}, 262, " Done"},
      {"second out of sequence", {{3, 126}, {1, 126}}, 126, " Done"},
      {"no sensor", {}, 0, " Done"},
      {"more than 8192", std::vector<std::pair<uint8_t, size_t>>(), 8192,
       " Done (cut at 8192 values: the table holds no more)"},
  };
  testsupport::TempDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::pair<uint8_t, size_t>> replies = row.replies;
    if (row.values == 8192)
      for (uint8_t left = 66; left >= 1; --left) replies.emplace_back(left, 126);
    ostreltest::ScriptedPeer peer;
    std::vector<Bytes> frames;
    for (const auto& [left, words] : replies) {
      std::vector<uint8_t> data = {left};
      for (size_t i = 0; i < words; ++i) {
        data.push_back(static_cast<uint8_t>(i));
        data.push_back(0x01);
      }
      frames.push_back(peer.Reply(11, data));
    }
    // Paced like a line (a pseudo-terminal would outrun the 16384-byte ring).
    std::thread writer;
    peer.SetHandler([&](const ostreltest::HostItem&) {
      writer = std::thread([&peer, frames] {
        for (const Bytes& f : frames) {
          peer.Send(f);
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
      });
      return Bytes{};
    });
    ostrel::OstrelLink link;
    ostrel::WindowFields fields;
    ostreltest::RecordingView view;
    ostrel::Operations ops(link, fields, view);
    std::string reason;
    ASSERT_TRUE(link.port().Open(peer.path(), 57600, &reason)) << reason;
    view.saveFile = dir.File("out.txt");
    ASSERT_TRUE(ops.ExportScanBuffer());
    if (writer.joinable()) writer.join();
    const std::string file = testsupport::ReadWholeFile(view.saveFile);
    EXPECT_EQ(static_cast<size_t>(std::count(file.begin(), file.end(), '\n')), row.values);
    if (row.values > 0) {
      EXPECT_EQ(file.substr(0, 8), "256\r\n257") << "low byte first";
    }
    EXPECT_EQ(view.LastStatus(), row.done);
  }
}

// A window kept from taking in received bytes (a modal box, a loaded
// machine) lets the receive ring overflow; what is lost there must not end
// in " Done". The overflow comes from the window's own event loop, while
// the export waits for its first reply.
TEST(OstrelExport, BytesLostInTheRingAreReported) {
  ostreltest::ScriptedPeer peer;
  ostrel::OstrelLink link;
  ostrel::WindowFields fields;
  ostreltest::RecordingView view;
  ostrel::Operations ops(link, fields, view);
  std::string reason;
  ASSERT_TRUE(link.port().Open(peer.path(), 57600, &reason)) << reason;
  testsupport::TempDir dir;
  view.saveFile = dir.File("out.txt");
  QTimer::singleShot(0, [&link] {
    for (size_t i = 0; i <= ostrel::ReceiveRing::kCapacity; ++i) link.ring().Push(0xEE);
  });
  ASSERT_TRUE(ops.ExportScanBuffer());
  ASSERT_EQ(link.ring().Dropped(), 1u);
  EXPECT_EQ(testsupport::ReadWholeFile(view.saveFile), "");
  EXPECT_EQ(view.LastStatus(), "Incomplete! Received bytes were lost: the file holds only the 0 values that arrived whole.");
}

}  // namespace
