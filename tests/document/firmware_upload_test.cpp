#include "tarkon/document/firmware_upload.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

struct RecordingSink : LogSink {
  void LogLine(int kind, const std::string& text) override { lines.emplace_back(kind, text); }
  std::vector<std::pair<int, std::string>> lines;
};

// An upload with no sensor attached: everything before the first command
// can be watched, and the first command fails at once.
class UploadWithoutSensor : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarkon-upload-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    commands_.SetLogSink(&sink_);
    callbacks_.askYesNo = [this](const std::string& question) {
      questions_.push_back(question);
      return answer_;
    };
    callbacks_.status = [this](const std::string& text) { statuses_.push_back(text); };
    callbacks_.progress = [this](int percent) { progress_.push_back(percent); };
  }
  void TearDown() override {
    std::string command = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  std::string File(size_t size, const std::string& name = "image.bin") {
    std::string path = dir_ + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out << std::string(size, 'x');
    return path;
  }
  UploadOutcome Run(int kind, const std::string& path) {
    return upload_.Upload(kind, path, callbacks_);
  }

  std::string dir_;
  RecordingSink sink_;
  SensorCommands commands_;
  XmodemSender sender_;
  TransferFlag transfer_;
  FirmwareUpload upload_{commands_, sender_, transfer_};
  UploadCallbacks callbacks_;
  std::vector<std::string> questions_;
  std::vector<std::string> statuses_;
  std::vector<int> progress_;
  bool answer_ = false;
};

TEST_F(UploadWithoutSensor, NoKindChosen) {
  EXPECT_EQ(Run(-1, File(10)), UploadOutcome::kNoKind);
  EXPECT_EQ(Run(3, File(10)), UploadOutcome::kNoKind);
  EXPECT_EQ(statuses_, (std::vector<std::string>{"Invalid type selection", "Invalid type selection"}));
  EXPECT_TRUE(sink_.lines.empty());
}

TEST_F(UploadWithoutSensor, UnreadableOrEmptyFile) {
  EXPECT_EQ(Run(kUploadCalibration, dir_ + "/missing.cal"), UploadOutcome::kFileError);
  EXPECT_EQ(Run(kUploadCalibration, File(0, "empty.cal")), UploadOutcome::kFileError);
  EXPECT_EQ(Run(kUploadCalibration, dir_), UploadOutcome::kFileError);
  EXPECT_EQ(statuses_, std::vector<std::string>(3, "Error reading file"));
  EXPECT_TRUE(questions_.empty());
  EXPECT_TRUE(sink_.lines.empty());
}

TEST_F(UploadWithoutSensor, UnusualSizesAreQuestioned) {
  const struct {
    int kind;
    size_t size;
    bool asked;
  } cases[] = {
      {kUploadDSP, 64000, false},   {kUploadDSP, 66000, false}, {kUploadDSP, 63999, true},
      {kUploadDSP, 66001, true},    {kUploadFPGA, 20000, false}, {kUploadFPGA, 28000, false},
      {kUploadFPGA, 19999, true},   {kUploadFPGA, 28001, true},  {kUploadCalibration, 1, false},
      {kUploadCalibration, 70000, false},
  };
  for (const auto& c : cases) {
    questions_.clear();
    statuses_.clear();
    sink_.lines.clear();
    UploadOutcome outcome = Run(c.kind, File(c.size));
    if (c.asked) {
      ASSERT_EQ(questions_.size(), 1u) << c.kind << "/" << c.size;
      EXPECT_EQ(questions_[0],
                "The file size is unusual for the type of upload you are trying to do. "
                "Continue anyway? ");
      // No: stop without a status and without a command.
      EXPECT_EQ(outcome, UploadOutcome::kDeclined);
      EXPECT_TRUE(statuses_.empty());
      EXPECT_TRUE(sink_.lines.empty());
    } else {
      EXPECT_TRUE(questions_.empty()) << c.kind << "/" << c.size;
      // Without a sensor the first unlock command fails, and nothing follows.
      EXPECT_EQ(outcome, UploadOutcome::kUnlockFailed);
      ASSERT_EQ(sink_.lines.size(), 1u);
      EXPECT_EQ(sink_.lines[0].first, kLogError);
      EXPECT_EQ(sink_.lines[0].second.rfind("Command WriteFlashProtect1 failed.", 0), 0u)
          << sink_.lines[0].second;
    }
  }
  EXPECT_TRUE(UploadSizeUsual(kUploadDSP, 65000));
  EXPECT_FALSE(UploadSizeUsual(kUploadFPGA, 0));
}

TEST_F(UploadWithoutSensor, YesGoesOnToTheCommands) {
  answer_ = true;
  EXPECT_EQ(Run(kUploadDSP, File(10)), UploadOutcome::kUnlockFailed);
  EXPECT_EQ(questions_.size(), 1u);
  EXPECT_EQ(progress_, std::vector<int>{0});
  EXPECT_FALSE(transfer_.InProgress());
  EXPECT_FALSE(upload_.running());
}

TEST_F(UploadWithoutSensor, AnotherTransferHoldingTheFlagRefusesTheUpload) {
  ASSERT_TRUE(transfer_.TryBegin());
  EXPECT_EQ(Run(kUploadCalibration, File(10, "t.cal")), UploadOutcome::kBusy);
  EXPECT_TRUE(sink_.lines.empty());
  transfer_.End();
  EXPECT_EQ(Run(kUploadCalibration, File(10, "t.cal")), UploadOutcome::kUnlockFailed);
}

TEST(UploadKinds, ChoicesAndFilters) {
  ASSERT_NE(UploadKindOf(kUploadFPGA), nullptr);
  EXPECT_STREQ(UploadKindOf(kUploadFPGA)->choiceText, "FPGA");
  EXPECT_STREQ(UploadKindOf(kUploadDSP)->choiceText, "DSP");
  EXPECT_STREQ(UploadKindOf(kUploadCalibration)->choiceText, "Calibration");
  EXPECT_STREQ(UploadKindOf(kUploadDSP)->filterText, "Single point binary code file(*.bin)");
  EXPECT_STREQ(UploadKindOf(kUploadCalibration)->filterText,
               "Single point binary calibration file(*.cal)");
  EXPECT_STREQ(UploadKindOf(kUploadCalibration)->filterPattern, "*.cal");
  EXPECT_EQ(UploadKindOf(-1), nullptr);
  EXPECT_EQ(UploadKindOf(3), nullptr);
  EXPECT_EQ(UploadErrorStatus(2), "Error occurred.Code 2");
  EXPECT_EQ(UploadSentStatus(128), "Sent 128 bytes");
}

TEST(TransferFlagScope, HeldOnlyByTheFirst) {
  TransferFlag flag;
  {
    TransferFlag::Scope first(flag);
    EXPECT_TRUE(first.held());
    EXPECT_TRUE(flag.InProgress());
    TransferFlag::Scope second(flag);
    EXPECT_FALSE(second.held());
  }
  EXPECT_FALSE(flag.InProgress());
}

}  // namespace
