// The document pieces that talk to a sensor, against the virtual sensor on
// a pseudo-terminal: scan buffer reading, firmware upload and the serial
// number and model dialog.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "protocol/packet_link.h"
#include "protocol/sensor_commands.h"
#include "protocol/xmodem_sender.h"
#include "sim/virtual_sensor.h"
#include "tarkon/document/firmware_upload.h"
#include "tarkon/models/model_table.h"
#include "tarkon/document/range_mode_table.h"
#include "tarkon/document/scan_buffer.h"
#include "tarkon/document/serial_and_model.h"

namespace {

struct RecordingSink : LogSink {
  void LogLine(int kind, const std::string& text) override { lines.emplace_back(kind, text); }
  std::vector<std::pair<int, std::string>> lines;
};

class SensorTest : public ::testing::Test {
 protected:
  void StartSensor(sim::SensorConfig config = {}) {
    sensor_ = std::make_unique<sim::VirtualSensor>(config);
    ASSERT_TRUE(sensor_->Start()) << sensor_->LastError();
    ASSERT_TRUE(link_.ConnectDevice(sensor_->SlavePath(), 57600, 0, 0, 8, 100, 100))
        << link_.errorText();
    commands_.AttachLink(&link_);
    commands_.UseAddress(config.address);
    commands_.UseCheckMode(config.checkMode);
    commands_.SetLogSink(&sink_);
  }
  void TearDown() override {
    link_.Disconnect();
    if (sensor_) sensor_->Stop();
  }
  uint64_t FramesReceived() { return sensor_->Snapshot().activity.framesReceived; }

  std::unique_ptr<sim::VirtualSensor> sensor_;
  PacketLink link_;
  SensorCommands commands_;
  RecordingSink sink_;
};

// ---------------------------------------------------------------------------
// Scan buffer

class ScanBufferTest : public SensorTest {
 protected:
  // Fills the sensor's buffer with i * 10, with an out-of-range marker at 5
  // and a negative range at 6.
  void FillBuffer(size_t count) {
    sensor_->Mutate([count](sim::SensorState& s) {
      for (size_t i = 0; i < count; ++i) s.scanBuffer[i] = static_cast<uint16_t>(i * 10);
      s.scanBuffer[5] = 0x8000;
      s.scanBuffer[6] = static_cast<uint16_t>(-5);
      s.scanFill = count;
    });
  }
  std::function<std::string(int16_t)> Mode0Text() {
    return [this](int16_t raw) { return RangeModeTable::RangeText(table_.Lookup(0, 0), raw); };
  }
  ScanReadCallbacks Recording() {
    ScanReadCallbacks callbacks;
    callbacks.progress = [this](int position, int total) {
      progress_.push_back(position);
      total_ = total;
    };
    return callbacks;
  }

  RangeModeTable table_;
  std::vector<int> progress_;
  int total_ = -1;
};

void CheckFilledValues(const ScanBufferReader& reader, size_t first) {
  for (size_t i = 0; i < reader.buffer().size(); ++i) {
    size_t index = first + i;
    int16_t expected = index == 5   ? INT16_MIN
                       : index == 6 ? -5
                                    : static_cast<int16_t>(index * 10);
    ASSERT_EQ(reader.buffer()[i], expected) << index;
  }
}

TEST_F(ScanBufferTest, Reads127RangesAsTwoPortions) {
  StartSensor();
  FillBuffer(200);
  ScanBufferReader reader(commands_, &sink_);
  reader.SetRangesAvailable(200);
  uint64_t before = FramesReceived();
  ASSERT_EQ(reader.Read(127, 0, Mode0Text(), Recording()), ScanReadOutcome::kCompleted);
  EXPECT_EQ(FramesReceived() - before, 2u);
  EXPECT_EQ(progress_, (std::vector<int>{0, 126, 127}));
  EXPECT_EQ(total_, 127);
  ASSERT_EQ(reader.buffer().size(), 127u);
  CheckFilledValues(reader, 0);
  ASSERT_EQ(reader.rows().size(), 127u);
  EXPECT_EQ(reader.rows()[0].number, "1");
  EXPECT_EQ(reader.rows()[0].value, "0.000 inch");
  EXPECT_EQ(reader.rows()[5].value, "Out of Range");
  EXPECT_EQ(reader.rows()[6].value, "Out of Range");
  EXPECT_EQ(reader.rows()[126].number, "127");
  EXPECT_EQ(reader.rows()[126].value, "1.260 inch");
  EXPECT_TRUE(sink_.lines.empty());
}

TEST_F(ScanBufferTest, Reads126RangesAsOnePortion) {
  StartSensor();
  FillBuffer(126);
  ScanBufferReader reader(commands_);
  reader.SetRangesAvailable(126);
  uint64_t before = FramesReceived();
  ASSERT_EQ(reader.Read(126, 0, Mode0Text(), Recording()), ScanReadOutcome::kCompleted);
  EXPECT_EQ(FramesReceived() - before, 1u);
  EXPECT_EQ(progress_, (std::vector<int>{0, 126}));
  EXPECT_EQ(reader.rows().size(), 126u);
}

TEST_F(ScanBufferTest, SamplesAreLowByteFirstInCrcModeToo) {
  sim::SensorConfig config;
  config.checkMode = 1;
  StartSensor(config);
  FillBuffer(300);
  ScanBufferReader reader(commands_);
  reader.SetRangesAvailable(300);
  ASSERT_EQ(reader.Read(140, 3, Mode0Text()), ScanReadOutcome::kCompleted);
  ASSERT_EQ(reader.buffer().size(), 140u);
  CheckFilledValues(reader, 3);
  EXPECT_EQ(reader.rows()[0].number, "1");
  EXPECT_EQ(reader.rows()[2].value, "Out of Range");  // index 5
}

TEST_F(ScanBufferTest, StopLeavesTheListEmptyAndTheNextReadWorks) {
  StartSensor();
  FillBuffer(400);
  ScanBufferReader reader(commands_);
  reader.SetRangesAvailable(400);
  ASSERT_EQ(reader.Read(2, 0, Mode0Text()), ScanReadOutcome::kCompleted);
  ASSERT_EQ(reader.rows().size(), 2u);
  ScanReadCallbacks callbacks = Recording();
  int served = 0;
  callbacks.betweenPortions = [&] {
    ++served;
    // A second "Start" while reading changes nothing.
    EXPECT_EQ(reader.Read(1, 0, Mode0Text()), ScanReadOutcome::kRefused);
    EXPECT_TRUE(reader.reading());
    reader.RequestStop();
  };
  uint64_t before = FramesReceived();
  EXPECT_EQ(reader.Read(300, 0, Mode0Text(), callbacks), ScanReadOutcome::kStopped);
  EXPECT_EQ(served, 1);
  EXPECT_EQ(FramesReceived() - before, 1u);
  EXPECT_TRUE(reader.rows().empty());
  EXPECT_FALSE(reader.reading());
  EXPECT_EQ(reader.Read(10, 0, Mode0Text()), ScanReadOutcome::kCompleted);
  EXPECT_EQ(reader.rows().size(), 10u);
}

TEST_F(ScanBufferTest, StopDuringTheLastPortionStillEmptiesTheList) {
  StartSensor();
  FillBuffer(50);
  ScanBufferReader reader(commands_);
  reader.SetRangesAvailable(50);
  ScanReadCallbacks callbacks;
  callbacks.betweenPortions = [&] { reader.RequestStop(); };
  EXPECT_EQ(reader.Read(50, 0, Mode0Text(), callbacks), ScanReadOutcome::kStopped);
  EXPECT_TRUE(reader.rows().empty());
}

TEST_F(ScanBufferTest, FailingPortionLeavesTheListEmpty) {
  StartSensor();
  FillBuffer(300);
  ScanBufferReader reader(commands_);
  reader.SetRangesAvailable(300);
  // The second portion's reply never comes.
  sensor_->Mutate([](sim::SensorState& s) {
    s.faults.rule(sim::FaultKind::kDrop).atReplies = {s.activity.repliesSent + 2};
  });
  EXPECT_EQ(reader.Read(200, 0, Mode0Text()), ScanReadOutcome::kFailed);
  EXPECT_TRUE(reader.rows().empty());
}

TEST_F(ScanBufferTest, ListNumbersFromOneWhileTheFileNumbersFromZero) {
  StartSensor();
  FillBuffer(20);
  ScanBufferReader reader(commands_);
  reader.SetRangesAvailable(20);
  ASSERT_EQ(reader.Read(2, 10, Mode0Text()), ScanReadOutcome::kCompleted);
  ASSERT_EQ(reader.rows().size(), 2u);
  EXPECT_EQ(reader.rows()[0].number, "1");
  EXPECT_EQ(reader.rows()[1].number, "2");
  char pattern[] = "/tmp/tarkon-scan-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::string path = std::string(pattern) + "/scanbuffer.txt";
  ASSERT_TRUE(AppendScanExport(path, "SN12345678", commands_.address(), reader.rows()));
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "\nSensor: SN123456 \t Address: 1\n\nScan buffer: Size: 2\n#0:\t\t0.100 inch\n"
            "#1:\t\t0.110 inch\n");
  std::string command = "rm -rf '" + std::string(pattern) + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
}

// ---------------------------------------------------------------------------
// Firmware upload

class UploadTest : public SensorTest {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarkon-fw-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    callbacks_.status = [this](const std::string& text) { statuses_.push_back(text); };
    callbacks_.progress = [this](int percent) { progress_.push_back(percent); };
    callbacks_.askYesNo = [](const std::string&) { return true; };
  }
  void TearDown() override {
    SensorTest::TearDown();
    std::string command = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  std::vector<uint8_t> Image(size_t size) {
    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(i * 7 + 1);
    return image;
  }
  std::string Write(const std::vector<uint8_t>& image) {
    std::string path = dir_ + "/table.cal";
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    return path;
  }
  // A locked sensor whose protection bytes show whether the upload wrote
  // them back to 0 at its end.
  void MarkProtection() {
    sensor_->Mutate([](sim::SensorState& s) {
      s.flashProtect1 = 0x11;
      s.flashProtect2 = 0x22;
    });
  }
  void ExpectLocked() {
    sim::SensorState s = sensor_->Snapshot();
    EXPECT_EQ(s.flashProtect1, 0);
    EXPECT_EQ(s.flashProtect2, 0);
  }
  // The sensor received what was put: the image padded with its last byte.
  void ExpectReceived(const std::vector<uint8_t>& image) {
    sim::SensorState s = sensor_->Snapshot();
    EXPECT_EQ(s.upload.command, 88);
    EXPECT_EQ(s.upload.outcome, sim::UploadOutcome::kCompleted);
    size_t blocks = (image.size() + 127) / 128;
    ASSERT_EQ(s.upload.image.size(), blocks * 128);
    for (size_t i = 0; i < s.upload.image.size(); ++i) {
      ASSERT_EQ(s.upload.image[i], i < image.size() ? image[i] : image.back()) << i;
    }
  }

  std::string dir_;
  XmodemSender sender_;
  TransferFlag transfer_;
  UploadCallbacks callbacks_;
  std::vector<std::string> statuses_;
  std::vector<int> progress_;
};

TEST_F(UploadTest, A130ByteImageShowsTwoCountsAndStaysUndisturbed) {
  StartSensor();
  MarkProtection();
  sender_.Attach(&link_);
  FirmwareUpload upload(commands_, sender_, transfer_);
  std::vector<uint8_t> image = Image(130);
  std::string path = Write(image);
  int pauses = 0;
  callbacks_.letUserInterfaceRun = [&] {
    ++pauses;
    // What the user interface may do meanwhile: the poll path sees the
    // transfer, a second upload is refused, a close is deferred.
    EXPECT_TRUE(transfer_.InProgress());
    EXPECT_EQ(upload.Upload(kUploadCalibration, path, callbacks_), UploadOutcome::kBusy);
    EXPECT_FALSE(upload.RequestClose());
  };
  ASSERT_EQ(upload.Upload(kUploadCalibration, path, callbacks_), UploadOutcome::kCompleted);
  EXPECT_EQ(statuses_,
            (std::vector<std::string>{"Sent 0 bytes", "Sent 128 bytes", "Successfully completed"}));
  EXPECT_EQ(progress_, (std::vector<int>{0, 0, 98, 100}));  // 100 once the end is acknowledged
  EXPECT_EQ(pauses, 2);
  EXPECT_FALSE(transfer_.InProgress());
  EXPECT_TRUE(upload.TakeCloseRequest());
  EXPECT_FALSE(upload.TakeCloseRequest());
  EXPECT_TRUE(upload.RequestClose());
  EXPECT_EQ(upload.lastState(), 0);
  ExpectReceived(image);
  ExpectLocked();
  EXPECT_TRUE(sink_.lines.empty());
}

TEST_F(UploadTest, A129ByteImageShowsOnlyTheFirstCount) {
  StartSensor();
  sender_.Attach(&link_);
  FirmwareUpload upload(commands_, sender_, transfer_);
  std::vector<uint8_t> image = Image(129);
  ASSERT_EQ(upload.Upload(kUploadCalibration, Write(image), callbacks_), UploadOutcome::kCompleted);
  EXPECT_EQ(statuses_, (std::vector<std::string>{"Sent 0 bytes", "Successfully completed"}));
  EXPECT_EQ(progress_, (std::vector<int>{0, 0, 100}));
  ExpectReceived(image);
}

TEST_F(UploadTest, AOneByteCalibrationIsSentAsASingleLastByte) {
  StartSensor();
  sender_.Attach(&link_);
  FirmwareUpload upload(commands_, sender_, transfer_);
  std::vector<uint8_t> image = {0x5A};
  ASSERT_EQ(upload.Upload(kUploadCalibration, Write(image), callbacks_), UploadOutcome::kCompleted);
  EXPECT_EQ(statuses_, (std::vector<std::string>{"Successfully completed"}));
  EXPECT_EQ(progress_, (std::vector<int>{0, 100}));
  ExpectReceived(image);
  ExpectLocked();
}

TEST_F(UploadTest, AFailedTransferStillLocksTheFlash) {
  sim::SensorConfig config;
  // The sensor's receiver gives up at once when no block comes.
  config.xmodemRequestTries = 1;
  config.xmodemRequestInterval = std::chrono::milliseconds(1);
  StartSensor(config);
  MarkProtection();
  // The block transfer's port is not open: no start request ever arrives.
  SerialPort closed;
  sender_.Attach(&closed);
  FirmwareUpload upload(commands_, sender_, transfer_);
  callbacks_.status = [this](const std::string& text) {
    statuses_.push_back(text);
    // As long as a dialog takes to show it; the sensor's receiver is done.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  };
  uint64_t before = FramesReceived();
  ASSERT_EQ(upload.Upload(kUploadCalibration, Write(Image(300)), callbacks_),
            UploadOutcome::kTransferFailed);
  EXPECT_EQ(statuses_, (std::vector<std::string>{"Error occurred.Code 1"}));
  EXPECT_EQ(progress_, (std::vector<int>{0, 0}));
  EXPECT_EQ(upload.lastState(), 1);
  EXPECT_FALSE(transfer_.InProgress());
  // Unlock (2), announce, lock (2) and the query that confirms it.
  EXPECT_EQ(FramesReceived() - before, 6u);
  EXPECT_TRUE(upload.flashRelocked());
  EXPECT_EQ(sensor_->Snapshot().upload.command, 88);
  ExpectLocked();
}

// ---------------------------------------------------------------------------
// Serial number and model

TEST_F(SensorTest, SerialAndModelListsEveryModelString) {
  SerialAndModel dialog(commands_);
  ASSERT_EQ(dialog.entries().size(), 14u);
  EXPECT_EQ(dialog.entries()[0].text, "0 QMT2000 [Qmt Short]");
  EXPECT_EQ(dialog.entries()[2].text, "O QMT2000 [Qmt Short]");
  EXPECT_EQ(dialog.entries()[2].value, "O QMT2000");
  EXPECT_EQ(dialog.entries()[8].text, "0 M3-9-6BF [KRV04 Board Flipper]");
  EXPECT_EQ(dialog.entries()[13].text, "0 KRV-02 [KRV02]");
  EXPECT_EQ(dialog.selection(), -1);
}

TEST_F(SensorTest, SerialAndModelRefreshSelectsTheReportedModel) {
  sim::SensorConfig config;
  config.model = "0 M3-9-6";
  config.serial = "AB123456";
  StartSensor(config);
  SerialAndModel dialog(commands_);
  ASSERT_TRUE(dialog.Refresh());
  EXPECT_EQ(dialog.selection(), 6);
  EXPECT_EQ(dialog.serialText(), "AB123456");
  // The same reply identifies the connected model.
  ModelIdentification id = IdentifyModelReply(commands_.modelName, false);
  EXPECT_EQ(id.model, kModelKRV04);
}

TEST_F(SensorTest, SerialAndModelUnknownStringLeavesNoSelection) {
  StartSensor();
  sensor_->Mutate([](sim::SensorState& s) { s.modelName = sim::IdentityField("0 m3-9-6"); });
  SerialAndModel dialog(commands_);
  dialog.Select(3);
  ASSERT_TRUE(dialog.Refresh());
  EXPECT_EQ(dialog.selection(), -1);
  EXPECT_FALSE(IdentifyModelReply(commands_.modelName, false).identified);
  EXPECT_TRUE(IdentifyModelReply(commands_.modelName, true).assumedKRV02);
  // Without a selection "Set Model Name" sends nothing.
  uint64_t before = FramesReceived();
  EXPECT_FALSE(dialog.SetModelName());
  EXPECT_EQ(FramesReceived(), before);
}

TEST_F(SensorTest, SerialAndModelWritesModelAndSerial) {
  StartSensor();
  SerialAndModel dialog(commands_);
  dialog.Select(8);
  ASSERT_TRUE(dialog.SetModelName());
  sim::SensorState s = sensor_->Snapshot();
  std::array<uint8_t, 16> expected{};
  std::memcpy(expected.data(), "0 M3-9-6BF", 10);
  EXPECT_EQ(s.modelName, expected);
  EXPECT_EQ(dialog.selection(), 8);  // after the refresh

  dialog.SetSerialText("ABCDEFGHIJKLMNOPQRST");
  ASSERT_TRUE(dialog.SetSerialNumber());
  s = sensor_->Snapshot();
  std::array<uint8_t, 16> serial{};
  std::memcpy(serial.data(), "ABCDEFGHIJKLMNO", 15);
  EXPECT_EQ(s.serialNumber, serial);
  EXPECT_EQ(dialog.serialText(), "ABCDEFGHIJKLMNO");
  EXPECT_TRUE(sink_.lines.empty());
}

TEST_F(SensorTest, SerialAndModelRefreshFailureClearsEverything) {
  StartSensor();
  SerialAndModel dialog(commands_);
  ASSERT_TRUE(dialog.Refresh());
  EXPECT_NE(dialog.serialText(), "");
  sensor_->Mutate([](sim::SensorState& s) {
    s.faults.rule(sim::FaultKind::kDrop).atReplies = {s.activity.repliesSent + 2};
  });
  EXPECT_FALSE(dialog.Refresh());
  EXPECT_EQ(dialog.selection(), -1);
  EXPECT_EQ(dialog.serialText(), "");
  ASSERT_EQ(sink_.lines.size(), 1u);
  EXPECT_EQ(sink_.lines[0].second.rfind("Command GetSerialNum failed.", 0), 0u);
}

}  // namespace
