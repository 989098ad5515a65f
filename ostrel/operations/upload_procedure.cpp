// Around the firmware transfer: the settings saved before the first byte,
// the identity read again afterwards, the settings compared with what was
// saved, and the restore of what the upload changed.

#include <cstdio>
#include <string>
#include <vector>

#include "ostrel/operations/busy.h"
#include "protocol/command_ids.h"
#include "ostrel/operations/upload_report.h"

namespace ostrel {
namespace {

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

std::string CrcText(uint16_t crc) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(crc));
  return text;
}

}  // namespace

std::string UploadStartLine(const Operations::UploadReport& r) {
  return "Upload started: " + r.fileName + ", " + std::to_string(r.size) + " bytes, CRC-16 " + CrcText(r.crc) +
         " (" + r.kind + ")";
}

std::string UploadResultLine(const Operations::UploadReport& r) {
  const std::string counts = std::to_string(r.blocksSent) + " of " + std::to_string(r.blocksTotal) + " blocks, " +
                             std::to_string(r.retries) + " retries, " + Seconds(r.seconds);
  switch (r.outcome) {
    case Operations::UploadReport::Outcome::kCompleted: return "Upload completed: " + counts;
    case Operations::UploadReport::Outcome::kStopped: return "Upload stopped by the user: " + counts;
    case Operations::UploadReport::Outcome::kFailed:
      return "Upload failed (" + r.status + "): " + counts + (r.happened.empty() ? "" : ": " + r.happened);
    case Operations::UploadReport::Outcome::kNothingSent: break;
  }
  return "Upload failed before the first block (" + r.status + "): " + counts;
}

std::string FirmwareChangeText(const Operations::UploadReport& r) {
  return "firmware " + (r.firmwareBefore.empty() ? std::string("?") : r.firmwareBefore) + " -> " +
         (r.identityRead ? r.firmwareAfter : std::string("?"));
}

std::vector<std::string> UploadResultLines(const Operations::UploadReport& r) {
  std::vector<std::string> lines{UploadResultLine(r)};
  if (!r.meaning.empty()) lines.push_back("This means " + r.meaning + ".");
  if (!r.toDo.empty()) lines.push_back("What to do: " + r.toDo + ".");
  if (r.haveBackup) lines.push_back("Settings saved before the upload to " + r.backupPath);
  if (!r.backupNote.empty()) lines.push_back(r.backupNote);
  if (!r.transferred) return lines;
  lines.push_back(r.identityRead ? "Sensor read again: " + FirmwareChangeText(r)
                                 : "The sensor's identity could not be read again: " + FirmwareChangeText(r));
  if (r.compared) {
    lines.push_back(r.differences.empty()
                        ? "Settings: unchanged by the upload"
                        : "Settings: " + std::to_string(r.differences.size()) + " changed by the upload");
  } else if (r.haveBackup) {
    lines.push_back("Settings: not compared (" + r.compareNote + ")");
  }
  return lines;
}

std::string RestoreQuestion(const Operations::UploadReport& r) {
  return "The upload changed " + std::to_string(r.differences.size()) + " of the sensor's settings.\r\n"
         "Write the settings saved before the upload back to the sensor?";
}

bool Operations::ReadSensorSettings(SensorSettings& s, std::string& why) {
  const bool crc = link_.crc();
  Reply r;
  const auto failed = [&](const char* what) {
    why = std::string("the sensor did not answer the ") + what + " read (" +
          ReceiveStatusText(link_.receiveStatus()) + ")";
    return false;
  };
  Send(cmd::GetKRV04Setup);
  if (!Receive(r, 28)) return failed("setup");
  s.maxLaserPower = r.Data(8);
  s.minLaserPower = r.Data(9);
  s.threshold = r.Data(10);
  s.mode = UnitSetOfMode(r.Data(27)).modeEntry;
  Send(cmd::ReadWaneParams);
  if (!Receive(r, 12)) return failed("wane");
  s.waneHeight = r.Word(0, crc);
  s.waneWidth = r.Word(2, crc);
  s.speed = r.Word(4, crc);
  for (size_t i = 0; i < s.reserved.size(); ++i) s.reserved[i] = r.Data(6 + i);
  s.pulse = r.Word(10, crc);
  Send(cmd::GetBoardTimeout);
  if (!Receive(r, 2)) return failed("board timeout");
  s.boardTimeout = r.Word(0, crc);
  return true;
}

bool Operations::SaveBackupBeforeUpload(UploadReport& report) {
  lastBackupPath_.clear();
  std::string why;
  if (!connected_) {
    why = "no sensor is connected, so its settings could not be read";
  } else {
    Status("Saving the sensor's settings...");
    SensorBackup& b = report.backup;
    b.time = UtcTimestamp();
    b.model = fields_.modelPanel;
    b.serialNumber = fields_.serialPanel;
    b.firmware = fields_.firmwarePanel;
    b.fpga = fields_.fpgaPanel;
    b.address = link_.address();
    b.baudRate = hostBaudInUse_;
    b.crc = link_.crc();
    if (ReadSensorSettings(b.settings, why)) {
      const std::string path = backupFolder_ + "/" + BackupFileName(b.model, b.serialNumber, b.time);
      std::string error;
      if (WriteBackupFile(path, b, error)) {
        report.haveBackup = true;
        report.backupPath = lastBackupPath_ = path;
        view_.Log("Settings saved before the upload to " + path);
        Status("");
        return true;
      }
      why = "the file " + path + " could not be written: " + error;
    }
  }
  report.backupNote = "The settings were not saved before the upload: " + why;
  view_.Log(report.backupNote);
  Status(report.backupNote);
  if (view_.AskYesNo(report.backupNote + ".\r\nUpload without a backup of the settings?")) return true;
  Status("Upload not started: nothing was sent");
  view_.Log("Upload not started: no backup of the settings, nothing was sent");
  return false;
}

void Operations::AfterUpload(UploadReport& report) {
  // Only a transfer can have changed the sensor; without a connection
  // there is no sensor to ask.
  if (!report.transferred || !connected_) return;
  ReadVersion();
  bool read = link_.receiveStatus() == kReceiveOk;  // else the panel still shows the firmware before
  ReadSerial();
  read = read && link_.receiveStatus() == kReceiveOk;
  ReadModelName();
  report.identityRead = read && link_.receiveStatus() == kReceiveOk;
  report.firmwareAfter = fields_.firmwarePanel;
  view_.Log("Sensor after the upload: " + fields_.modelPanel + ", serial number " + fields_.serialPanel + ", " +
            FirmwareChangeText(report));
  if (report.haveBackup) {
    SensorSettings now;
    report.compared = ReadSensorSettings(now, report.compareNote);
    if (report.compared) report.differences = CompareSettings(report.backup.settings, now);
    view_.Log(report.compared ? (report.differences.empty()
                                     ? std::string("Settings unchanged by the upload")
                                     : std::to_string(report.differences.size()) + " settings changed by the upload")
                              : "Settings not compared: " + report.compareNote);
  }
  // The window shows what the sensor holds now.
  ReadSetup();
  ReadWane();
  ReadBoardTimeout();
  view_.FieldsChanged();
}

void Operations::OfferRestore(const UploadReport& report) {
  if (!report.compared || report.differences.empty()) return;
  if (!view_.AskRestore(RestoreQuestion(report), report.differences)) {
    view_.Log("Settings changed by the upload were left as they are");
    return;
  }
  const RestoreResult result = RestoreWithinOperation(report.backup.settings);
  std::string text;
  if (result.verified) {
    text = "Settings restored from " + report.backupPath + " and verified by reading them back";
  } else if (!result.error.empty()) {
    text = "Settings written from " + report.backupPath + " but not verified: " + result.error;
  } else {
    text = "Settings restored from " + report.backupPath + " but not verified: " + std::to_string(result.left.size()) +
           " still differ (" + result.left.front().name + " is " + result.left.front().now + ", saved " +
           result.left.front().saved + ")";
  }
  view_.Log(text);
  Status(result.verified ? "Settings restored and verified" : "Settings not verified after the restore");
  view_.ShowUploadResult({text});
}

bool Operations::RestoreSettings(const SensorSettings& wanted, RestoreResult& result) {
  Busy busy(busy_);
  if (!busy.held()) return false;
  result = RestoreWithinOperation(wanted);
  return true;
}

Operations::RestoreResult Operations::RestoreWithinOperation(const SensorSettings& wanted) {
  SensorSettings now;
  std::string why;
  const bool known = ReadSensorSettings(now, why);
  const bool crc = link_.crc();
  // The mode first: the wane sizes are in its units.
  if (!known || now.mode != wanted.mode)
    link_.SendSetting(cmd::SetKRV04Mode, {static_cast<uint8_t>(wanted.mode == 0 ? 0 : 1)});
  if (!known || now.minLaserPower != wanted.minLaserPower)
    link_.SendSetting(cmd::SetMinLP, {wanted.minLaserPower});
  if (!known || now.maxLaserPower != wanted.maxLaserPower)
    link_.SendSetting(cmd::SetMaxLP, {wanted.maxLaserPower});
  if (!known || now.threshold != wanted.threshold) link_.SendSetting(cmd::SetThreshold, {wanted.threshold});
  if (!known || now.waneHeight != wanted.waneHeight || now.waneWidth != wanted.waneWidth ||
      now.speed != wanted.speed || now.reserved != wanted.reserved || now.pulse != wanted.pulse) {
    std::vector<uint8_t> data;
    PutWord(data, wanted.waneHeight, crc);
    PutWord(data, wanted.waneWidth, crc);
    PutWord(data, wanted.speed, crc);
    data.insert(data.end(), wanted.reserved.begin(), wanted.reserved.end());  // as they came
    PutWord(data, wanted.pulse, crc);
    link_.SendSetting(cmd::WriteWaneParams, data);
  }
  if (!known || now.boardTimeout != wanted.boardTimeout) {
    std::vector<uint8_t> data;
    PutWord(data, wanted.boardTimeout, crc);
    link_.SendSetting(cmd::SetBoardTimeout, data);
  }
  RestoreResult result;
  SensorSettings after;
  const bool readAfter = ReadSensorSettings(after, result.error);
  if (readAfter) {
    result.left = CompareSettings(wanted, after);
    result.verified = result.left.empty();
  }
  // Each setting the restore meant to change goes to the history with what
  // the sensor held before and whether it holds it now.
  const std::vector<SettingValue> before = SettingValues(now);
  const std::vector<SettingValue> meant = SettingValues(wanted);
  const std::vector<SettingValue> found = SettingValues(after);
  std::vector<SettingWrite> writes;
  for (size_t i = 0; i < meant.size(); ++i) {
    if (known && before[i].raw == meant[i].raw) continue;  // not written
    SettingWrite w{meant[i].name, known ? before[i].shown : std::string(), meant[i].shown};
    w.readBack = readAfter;
    w.asSent = readAfter && found[i].raw == meant[i].raw;
    w.now = readAfter ? found[i].shown : std::string();
    w.why = readAfter ? std::string() : result.error;
    writes.push_back(std::move(w));
  }
  ReportWrites(writes);
  // The window shows what the sensor holds now (its unit too).
  ReadSetup();
  ReadWane();
  ReadBoardTimeout();
  view_.FieldsChanged();
  return result;
}

}  // namespace ostrel
