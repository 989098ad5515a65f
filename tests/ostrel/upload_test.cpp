// Firmware upload: whole transfers to the virtual board flipper, and the
// sensor's answers that only a scripted peer gives (erase replies, NAK,
// CAN, silence).

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>

#include "protocol/frame.h"
#include "protocol/xmodem_block.h"
#include "ostrel_sim_fixture.h"
#include "scripted_peer.h"
#include "support/temp_dir.h"

namespace {

using ostreltest::Bytes;
using ostreltest::HostItem;
using ostreltest::OstrelSimTest;
using ostreltest::ScriptedPeer;

Bytes Pattern(size_t size) {
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>((i * 131 + 7) ^ (i >> 8));
  return b;
}

std::string WriteFile(const testsupport::TempDir& dir, const std::string& name, const Bytes& bytes) {
  const std::string path = dir.File(name);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  return path;
}

TEST(XModemBlock, NumberComplementAndStandardCrc) {
  const Bytes data = Pattern(128);
  struct Row {
    uint32_t block;
    uint8_t number;
    uint8_t complement;
  };
  for (const Row row : {Row{1, 1, 254}, Row{255, 255, 0}, Row{256, 0, 255}, Row{512, 0, 255}}) {
    const auto b = xmodem::BuildBlock(row.block, data.data());
    EXPECT_EQ(b[0], 0x01);
    EXPECT_EQ(b[1], row.number);
    EXPECT_EQ(b[2], row.complement);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), b.begin() + 3));
  }
  const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(xmodem::Crc(digits, 9), 0x31C3);
}

class OstrelUploadTest : public OstrelSimTest {
 protected:
  testsupport::TempDir dir_;
};

TEST_F(OstrelUploadTest, ImagesReachTheSensorPaddedWithProgress) {
  struct Row {
    size_t size;
    int kind;
    std::vector<std::string> percents;  // in this order among the status texts
  };
  const Row rows[] = {
      {1, 0, {"Completed 100 %"}},
      {256, 1, {"Completed 50 %", "Completed 100 %"}},
      {65536, 2, {"Completed 50 %", "Completed 100 %"}},  // 512 blocks; block 256 is number 0
  };
  Connected();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.size);
    view_.statuses.clear();
    view_.progress.clear();
    view_.progressTexts.clear();
    const Bytes image = Pattern(row.size);
    view_.fileToChoose = WriteFile(dir_, "image.bin", image);
    fields_.upload = row.kind;
    ASSERT_TRUE(ops_.Upload());
    const sim::SensorState s = State();
    EXPECT_EQ(s.upload.command, 86 + row.kind);
    EXPECT_EQ(s.upload.outcome, sim::UploadOutcome::kCompleted);
    Bytes expected = image;
    expected.resize((row.size + 127) / 128 * 128, 0xFF);
    EXPECT_EQ(s.upload.image, expected);
    EXPECT_EQ(s.upload.naks, 0u);
    EXPECT_EQ(s.upload.repeats, 0u) << "the receiver's start request is no answer to block 1";
    EXPECT_TRUE(s.FlashUnlocked()) << "a successful upload leaves the flash as it was";
    EXPECT_EQ(view_.LastStatus(), "Success!");
    size_t at = 0;
    for (const std::string& percent : row.percents) {
      while (at < view_.statuses.size() && view_.statuses[at] != percent) ++at;
      EXPECT_LT(at, view_.statuses.size()) << percent;
    }
    ASSERT_FALSE(view_.progress.empty());
    EXPECT_EQ(view_.progress.front(), std::make_pair(true, 0));
    EXPECT_EQ(view_.progress.back(), std::make_pair(false, 0));
    EXPECT_FALSE(ops_.busy());
    // The window keeps room for the widest progress text; no text of the
    // largest image is longer.
    ASSERT_FALSE(view_.progressTexts.empty());
    const std::string size = std::to_string(row.size);
    EXPECT_EQ(view_.progressTexts.back(), "Sent " + size + " of " + size + " bytes");
    for (const std::string& text : view_.progressTexts)
      EXPECT_LE(text.size(), ostrel::WidestUploadProgressText().size()) << text;
  }
  EXPECT_EQ(ostrel::WidestUploadProgressText(), "Sent 65536 of 65536 bytes, 99.9 kB/s, 9999 s left");
}

// A receiver that gives up after block 10 (CAN CAN CAN right after its
// ACK) takes commands again: block 11 must not go out, or its bytes would
// be read as frames.
TEST_F(OstrelUploadTest, AReceiverThatCancelledGetsNoFurtherBlock) {
  sim::SensorConfig config;
  config.faults.cancelAfterBlock = 10;
  Connected(config);
  Bytes image(12 * 128, 0x5A);
  // Block 11 holds a whole SetMinLP request to the sensor.
  const Bytes request = frame::Build(1, frame::kChecksum, 84, {77});
  std::copy(request.begin(), request.end(), image.begin() + 10 * 128 + 20);
  view_.fileToChoose = WriteFile(dir_, "image.bin", image);
  fields_.upload = 2;
  ASSERT_TRUE(ops_.Upload());
  const sim::SensorState s = State();
  EXPECT_EQ(s.upload.blocks, 10u);
  EXPECT_EQ(s.upload.outcome, sim::UploadOutcome::kReceiverCancelled);
  EXPECT_NE(s.settings.minLaserPower, 77) << "image bytes were taken for a command";
  EXPECT_EQ(s.activity.badFrames, 0u) << "no block reached the sensor after its CAN";
  EXPECT_EQ(view_.LastStatus(), "XModem Transfer Falied!");
  EXPECT_FALSE(s.FlashUnlocked());
}

// "Stop" during the transfer: the block in flight ends, no further block
// goes out, the receiver hears CAN and the flash is locked again.
TEST_F(OstrelUploadTest, StopEndsAfterTheBlockInFlightLocked) {
  Connected();
  view_.fileToChoose = WriteFile(dir_, "image.bin", Pattern(20 * 128));
  fields_.upload = 2;
  view_.onProgress = [this](bool visible, int percent) {
    if (visible && percent >= 25) ops_.RequestUploadStop();
  };
  ASSERT_TRUE(ops_.Upload());
  // The question came with what would be sent.
  ASSERT_EQ(view_.uploadPlan.size(), 4u);
  EXPECT_EQ(view_.uploadPlan[1].rfind("File: image.bin, 2560 bytes, CRC-16 0x", 0), 0u) << view_.uploadPlan[1];
  EXPECT_EQ(view_.uploadPlan[2], "Kind: CAL File");
  const sim::SensorState s = State();
  EXPECT_EQ(s.upload.blocks, 5u);
  EXPECT_EQ(s.upload.outcome, sim::UploadOutcome::kCancelled);
  EXPECT_EQ(s.activity.badFrames, 0u) << "no block after the CAN";
  EXPECT_FALSE(s.FlashUnlocked());
  EXPECT_EQ(view_.LastStatus(),
            "Stopped by the user after 5 of 20 blocks; the flash is locked again, the sensor has no complete image");
  ASSERT_FALSE(view_.progressTexts.empty());
  EXPECT_EQ(view_.progressTexts.back().rfind("Sent 640 of 2560 bytes", 0), 0u) << view_.progressTexts.back();
  EXPECT_FALSE(ops_.uploading());
  EXPECT_FALSE(ops_.busy());
}

TEST_F(OstrelUploadTest, NothingIsSentWithoutAFileAConfirmationOrForAnUnfitFile) {
  Connected();
  struct Row {
    int kind;
    size_t size;  // 0: an empty file
    bool yes;
    const char* question;
    int firstFilter;
    const char* status;  // nullptr: none
  };
  const Row rows[] = {
      {0, 10, false, "Continue with Dsp Firmware upload?", 0, nullptr},
      {1, 10, false, "Continue with Fpga code upload?", 0, nullptr},
      {2, 10, false, "Continue with Calibration data upload?", 1, nullptr},
      {0, 0, true, "Continue with Dsp Firmware upload?", 0, "No Data in File!"},
      {0, 65537, true, "Continue with Dsp Firmware upload?", 0,
       "File Too Large! The image holds at most 65536 bytes; nothing was sent."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.question);
    view_.statuses.clear();
    view_.questions.clear();
    view_.answerYes = row.yes;
    view_.fileToChoose = WriteFile(dir_, "image.bin", Pattern(row.size));
    fields_.upload = row.kind;
    ASSERT_TRUE(ops_.Upload());
    EXPECT_EQ(view_.chosenFilters, "Bin File [*.bin]|*.bin|Cal File [*.cal]|*.cal|All [*.*]|*.*");
    EXPECT_EQ(view_.chosenFirstFilter, row.firstFilter);
    ASSERT_EQ(view_.questions.size(), 1u);
    EXPECT_EQ(view_.questions[0], row.question);
    if (row.status != nullptr) {
      EXPECT_EQ(view_.LastStatus(), row.status);
    } else {
      EXPECT_TRUE(view_.statuses.empty());
    }
    EXPECT_TRUE(trace_.Received().empty());
    EXPECT_FALSE(ops_.busy());
  }
  // A FIFO chosen as the image: refused at once, not waited on.
  const std::string fifo = dir_.File("image.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  view_.fileToChoose = fifo;
  view_.answerYes = true;
  ASSERT_TRUE(ops_.Upload());
  EXPECT_EQ(view_.LastStatus(), "Cannot Open File! " + fifo + ": is a FIFO");
  EXPECT_TRUE(trace_.Received().empty());
  view_.fileToChoose.clear();  // the file dialog cancelled
  view_.questions.clear();
  ASSERT_TRUE(ops_.Upload());
  EXPECT_TRUE(view_.questions.empty());
  EXPECT_TRUE(trace_.Received().empty());
  EXPECT_TRUE(ops_.LaserOn()) << "every operation is available again";
}

// The upload against a scripted sensor in checksum mode: unlock frames are
// not answered, the upload command gets `eraseAnswer`, blocks and EOT get
// what `answer` gives (it sees how many copies of blocks came so far).
class ScriptedUpload : public ::testing::Test {
 protected:
  using Answer = std::function<Bytes(const HostItem&, size_t blockCopies)>;

  void Run(const Bytes& eraseAnswer, Answer answer, bool crc = false) {
    peer_ = std::make_unique<ScriptedPeer>(crc);
    link_.SetCrc(crc);
    comErrorsBefore_ = link_.comErrors();
    view_ = ostreltest::RecordingView();
    copies_ = 0;
    peer_->SetHandler([this, eraseAnswer, answer](const HostItem& item) -> Bytes {
      if (item.kind == HostItem::kFrame) return item.command() == 86 ? eraseAnswer : Bytes{};
      if (item.kind == HostItem::kCan) return Bytes{};
      if (item.kind == HostItem::kBlock) ++copies_;
      return answer(item, copies_);
    });
    std::string reason;
    ASSERT_TRUE(link_.port().Open(peer_->path(), 57600, &reason)) << reason;
    view_.fileToChoose = WriteFile(dir_, "code.bin", Pattern(200));
    ASSERT_TRUE(ops_.Upload());
    EXPECT_FALSE(ops_.busy());
  }
  // The flash was locked again: the last two frames write 0 to both
  // protect registers.
  bool LockedAfterwards() const {
    const auto frames = peer_->Frames();
    const size_t n = frames.size();
    return n >= 5 && frames[n - 2].command() == 78 && frames[n - 2].data(0) == 0 && frames[n - 1].command() == 79 &&
           frames[n - 1].data(0) == 0;
  }
  size_t Count(HostItem::Kind kind) const { return peer_->Count(kind); }

  testsupport::TempDir dir_;
  size_t copies_ = 0;
  uint64_t comErrorsBefore_ = 0;
  std::unique_ptr<ScriptedPeer> peer_;
  ostrel::OstrelLink link_;
  ostrel::WindowFields fields_;
  ostreltest::RecordingView view_;
  ostrel::Operations ops_{link_, fields_, view_};
};

Bytes AckAll(const HostItem&, size_t) { return {0x06}; }

TEST_F(ScriptedUpload, TheAnswerToTheUploadCommandDecides) {
  struct Row {
    const char* name;
    bool crc;
    Bytes answer;
    const char* status;  // "Success!" when the transfer ran
  };
  // A frame of length 0 that fails its check holds its command byte only in
  // CRC mode (in checksum mode the fourth byte is the check byte).
  const Row rows[] = {
      {"checked frame, command 86", false, frame::Build(1, frame::kChecksum, 86, std::vector<uint8_t>{}), "Success!"},
      {"checked frame, command 0", false, frame::Build(1, frame::kChecksum, 0, std::vector<uint8_t>{}),
       "Flash Erase Error!"},
      {"failed frame, length 0, command 86", true, {0x02, 0x01, 0x00, 0x56, 0x00, 0x00}, "Success!"},
      {"failed frame, length 0, other command", true, {0x02, 0x01, 0x00, 0x05, 0x00, 0x00}, "Flash Erase Error!"},
      {"four bytes, no STX", false, {0x15, 0x01, 0x00, 0x56}, "Error : Invalid Response"},
      {"a single ACK", false, {0x06}, "Success!"},
      {"a single NAK", false, {0x15}, "Error : Invalid Response"},
      {"nothing", false, {}, "Error : No Response"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Run(row.answer, AckAll, row.crc);
    EXPECT_EQ(view_.LastStatus(), row.status);
    const auto frames = peer_->Frames();
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[0].command(), 78);
    EXPECT_EQ(frames[0].data(0), 0x3C);
    EXPECT_EQ(frames[1].command(), 79);
    EXPECT_EQ(frames[1].data(0), 0xC3);
    EXPECT_EQ(frames[2].command(), 86);
    const bool transferred = std::string(row.status) == "Success!";
    EXPECT_EQ(Count(HostItem::kBlock), transferred ? 2u : 0u);
    EXPECT_EQ(Count(HostItem::kEot), transferred ? 1u : 0u);
    EXPECT_EQ(LockedAfterwards(), !transferred) << "locked again after a failure, left alone after success";
    const bool counted = row.status[0] == 'E' && row.status[1] == 'r';
    EXPECT_EQ(link_.comErrors() - comErrorsBefore_, counted ? 1u : 0u);
  }
}

TEST_F(ScriptedUpload, FailedAnswersAreRetriedUpToSixteenTimes) {
  const Bytes go = {0x06};
  struct Row {
    const char* name;
    Answer answer;
    size_t blocks;  // copies of blocks sent
    size_t eots;
    size_t cans;    // sent by Ostrel after the failure
    const char* status;
    const char* words;  // in the result kept on screen after the Part's text, "" when it succeeded
  };
  const Row rows[] = {
      {"one NAK, then ACK", [](const HostItem& i, size_t n) { return Bytes{i.kind == HostItem::kBlock && n == 1 ? uint8_t{0x15} : uint8_t{0x06}}; },
       3, 1, 0, "Success!", ""},
      {"NAK to every block", [](const HostItem&, size_t) { return Bytes{0x15}; }, 17, 0, 2,
       "XModem Transfer Falied!", "did not acknowledge a block"},
      {"NAK to every EOT", [](const HostItem& i, size_t) { return Bytes{i.kind == HostItem::kEot ? uint8_t{0x15} : uint8_t{0x06}}; },
       2, 17, 2, "XModem Transfer Falied!", "refused the end of the transfer"},
      {"CAN CAN", [](const HostItem&, size_t) { return Bytes{0x18, 0x18}; }, 1, 0, 0, "XModem Transfer Falied!",
       "the sensor cancelled the transfer"},
      {"CAN then ACK", [](const HostItem&, size_t) { return Bytes{0x18, 0x06}; }, 2, 1, 0, "Success!", ""},
      {"silence once, then ACK", [](const HostItem& i, size_t n) { return i.kind == HostItem::kBlock && n == 1 ? Bytes{} : Bytes{0x06}; },
       3, 1, 0, "Success!", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Run(go, row.answer);
    EXPECT_EQ(Count(HostItem::kBlock), row.blocks);
    EXPECT_EQ(Count(HostItem::kEot), row.eots);
    EXPECT_EQ(Count(HostItem::kCan), row.cans);
    EXPECT_EQ(view_.LastStatus(), row.status);
    EXPECT_EQ(LockedAfterwards(), std::string(row.status) != "Success!");
    // What happened and what to do follow the failure, on screen.
    ASSERT_FALSE(view_.results.empty());
    const std::vector<std::string>& shown = view_.results.back();
    const bool failed = *row.words != '\0';
    EXPECT_EQ(shown[0].find(row.words) != std::string::npos && shown[0].rfind("Upload failed (XModem Transfer Falied!)", 0) == 0,
              failed)
        << shown[0];
    EXPECT_EQ(std::count_if(shown.begin(), shown.end(), [](const std::string& l) { return l.rfind("What to do: ", 0) == 0; }),
              failed ? 1 : 0);
    // Resent blocks are the same block.
    const auto blocks = peer_->Blocks();
    if (blocks.size() >= 2 && row.blocks >= 3) {
      EXPECT_EQ(blocks[0].bytes, blocks[1].bytes);
    }
  }
}

}  // namespace
