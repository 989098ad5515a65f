// A file dropped on the window: a backup written by the backup tool, a
// firmware image by its name and size, anything else refused with a reason;
// and whether the document can take it now.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "support/sim_document.h"
#include "tarkon/document/firmware_upload.h"
#include "tarkon/fleet/dropped_file.h"
#include "tarkon/fleet/fleet_tools.h"

namespace {

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

class DroppedFileTest : public testsupport::SimDocumentTest {};

TEST_F(DroppedFileTest, EachKindOfFileIsToldApart) {
  StartSensor(testsupport::SensorOf("KRV04"));
  ASSERT_TRUE(ConnectDoc());
  const std::string backup = dir_.File("sensor.json");
  std::string message;
  ASSERT_TRUE(fleet::SaveBackup(Doc(), backup, message)) << message;
  // A backup under any name is a backup; a hand-broken one says what broke.
  const std::string renamed = dir_.File("renamed.txt");
  std::ifstream in(backup);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Write(renamed, text);
  Write(dir_.File("broken.json"), "{\"format\": \"tarkon-settings-backup\", \"format_version\": 1}");
  Write(dir_.File("other.json"), "{\"format\": \"something-else\"}");
  Write(dir_.File("fpga.bin"), std::string(24000, '\x5a'));
  Write(dir_.File("dsp.BIN"), std::string(65000, '\x01'));
  Write(dir_.File("odd.bin"), std::string(1000, '\x01'));
  Write(dir_.File("table.cal"), std::string(10, '\x02'));
  Write(dir_.File("empty.bin"), "");
  Write(dir_.File("notes.txt"), "hello");
  ASSERT_EQ(mkfifo(dir_.File("fifo.bin").c_str(), 0600), 0);

  struct Case {
    std::string name;
    fleet::DroppedKind kind;
    int uploadKind;
    std::string refusal;  // a part of it
  };
  const Case cases[] = {
      {"sensor.json", fleet::DroppedKind::kBackup, -1, ""},
      {"renamed.txt", fleet::DroppedKind::kBackup, -1, ""},
      {"broken.json", fleet::DroppedKind::kRefused, -1, "broken.json is a settings backup that cannot be restored: "},
      {"other.json", fleet::DroppedKind::kRefused, -1, "neither a settings backup"},
      {"notes.txt", fleet::DroppedKind::kRefused, -1, "nor a firmware image (.bin or .cal)"},
      {"fpga.bin", fleet::DroppedKind::kFirmware, kUploadFPGA, ""},
      {"dsp.BIN", fleet::DroppedKind::kFirmware, kUploadDSP, ""},
      {"odd.bin", fleet::DroppedKind::kFirmware, -1, ""},
      {"table.cal", fleet::DroppedKind::kFirmware, kUploadCalibration, ""},
      {"empty.bin", fleet::DroppedKind::kRefused, -1, "empty.bin is empty."},
      {"fifo.bin", fleet::DroppedKind::kRefused, -1, "fifo.bin cannot be opened: is a FIFO"},
      {"missing.cal", fleet::DroppedKind::kRefused, -1, "missing.cal cannot be opened: no such file"},
      {"", fleet::DroppedKind::kRefused, -1, "cannot be opened: is a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fleet::DroppedFile file = fleet::ExamineDroppedFile(dir_.File(c.name));
    EXPECT_EQ(file.kind, c.kind);
    EXPECT_EQ(file.uploadKind, c.uploadKind);
    if (c.refusal.empty()) EXPECT_EQ(file.refusal, "");
    else EXPECT_NE(file.refusal.find(c.refusal), std::string::npos) << file.refusal;
  }
  const fleet::DroppedFile read = fleet::ExamineDroppedFile(backup);
  EXPECT_EQ(read.backup.model, "KRV04");
  EXPECT_FALSE(read.backup.settings.empty());
}

TEST_F(DroppedFileTest, WhatCanBeOpenedDependsOnTheConnectionAndTheMode) {
  fleet::DroppedFile backup;
  backup.kind = fleet::DroppedKind::kBackup;
  fleet::DroppedFile firmware;
  firmware.kind = fleet::DroppedKind::kFirmware;
  fleet::DroppedFile refused;
  refused.refusal = "x is empty.";

  CKRV02Doc& doc = Doc(false);
  EXPECT_EQ(fleet::DroppedFileUnavailable(doc, refused), "x is empty.");
  EXPECT_EQ(fleet::DroppedFileUnavailable(doc, backup).rfind("Connect to a sensor first", 0), 0u);
  EXPECT_EQ(fleet::DroppedFileUnavailable(doc, firmware),
            "Firmware images are uploaded in manufacturing mode only (start Tarkon with -QZX).");
  doc.options().SetManufacturingMode(true);
  EXPECT_EQ(fleet::DroppedFileUnavailable(doc, firmware).rfind("Connect to a sensor first", 0), 0u);

  StartSensor(testsupport::SensorOf("KRV02"));
  ASSERT_TRUE(ConnectDoc());
  EXPECT_EQ(fleet::DroppedFileUnavailable(doc, backup), "");
  EXPECT_EQ(fleet::DroppedFileUnavailable(doc, firmware), "");
  doc.options().SetManufacturingMode(false);
  EXPECT_NE(fleet::DroppedFileUnavailable(doc, firmware), "");
}

TEST(DropRefusal, OneLocalFileAtATime) {
  EXPECT_EQ(fleet::DropRefusal({"/a"}, 0), "");
  EXPECT_EQ(fleet::DropRefusal({"/a", "/b"}, 0), "Drop one file at a time.");
  EXPECT_EQ(fleet::DropRefusal({"/a"}, 1), "Drop one file at a time.");
  EXPECT_EQ(fleet::DropRefusal({}, 1), "Only a file on this computer can be opened by dropping it on the window.");
  EXPECT_EQ(fleet::DropRefusal({}, 0), "Nothing was dropped.");
}

}  // namespace
