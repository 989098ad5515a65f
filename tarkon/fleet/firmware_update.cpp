#include "tarkon/fleet/firmware_update.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "files/user_data_folder.h"
#include "protocol/frame.h"
#include "protocol/transfer_state_words.h"
#include "tarkon/document/krv02_doc.h"
#include "tarkon/fleet/fleet_tools.h"

namespace fleet {
namespace {

constexpr size_t kBlockBytes = 128;
constexpr size_t kBlockOnLine = 3 + kBlockBytes + 2;  // SOH, number, complement, data, CRC

// What an image that did not arrive whole leaves behind.
constexpr const char* kIncompleteMeaning = "the sensor has no complete image; its flash is locked again";
constexpr const char* kNoBlockMeaning = "no block reached the sensor; its flash is locked again";
constexpr const char* kNothingSentMeaning = "nothing was sent: the sensor keeps its firmware";
constexpr const char* kCommandAdvice = "check the connection and the log, then upload again";
constexpr const char* kNoBackupAdvice =
    "free the backup folder (space, permissions, a file in the way) and upload again, or upload without a "
    "backup only if the settings can be restored by other means";

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "2026-12-08T024000Z": a time that sorts and has no ':' for other systems.
std::string FileTimestamp() {
  std::string stamp = UtcTimestamp();
  std::string out;
  for (char c : stamp)
    if (c != ':') out += c;
  return out;
}

// Sets an atomic flag for a scope.
class AtomicScope {
 public:
  explicit AtomicScope(std::atomic<bool>& flag) : flag_(flag) { flag_ = true; }
  ~AtomicScope() { flag_ = false; }
  AtomicScope(const AtomicScope&) = delete;
  AtomicScope& operator=(const AtomicScope&) = delete;

 private:
  std::atomic<bool>& flag_;
};

}  // namespace

std::string CrcText(uint16_t crc) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(crc));
  return text;
}

double LineSeconds(size_t size, int baudRate) {
  if (baudRate <= 0) return 0;
  const size_t blocks = (size + kBlockBytes - 1) / kBlockBytes;
  const double bytes = static_cast<double>(blocks * kBlockOnLine + 1);  // and the EOT
  return bytes * 10.0 / baudRate;
}

std::vector<std::pair<std::string, std::string>> PlanRows(const UpdatePlan& plan) {
  const UploadKindInfo* kind = UploadKindOf(plan.kind);
  return {
      {"Sensor", plan.model},
      {"Serial number", plan.serialNumber},
      {"Firmware now", plan.firmware},
      {"File", plan.fileName},
      {"Size", std::to_string(plan.size) + " bytes"},
      {"CRC-16", CrcText(plan.crc)},
      {"Kind", kind != nullptr ? kind->choiceText : "?"},
      {"Line time", Seconds(plan.lineSeconds) + " at " + std::to_string(plan.baudRate) + " baud"},
  };
}

std::string StartQuestion(const UpdatePlan& plan) {
  const UploadKindInfo* kind = UploadKindOf(plan.kind);
  return "Upload " + plan.fileName + " (" + std::to_string(plan.size) + " bytes, CRC " + CrcText(plan.crc) + ") as " +
         (kind != nullptr ? kind->choiceText : "?") + " to the " + plan.model + " with serial number " +
         plan.serialNumber + "? Its settings are saved first.";
}

std::string ProgressText(const UpdateProgress& p) {
  std::string text = "Sent " + std::to_string(p.sent) + " of " + std::to_string(p.total) + " bytes (" +
                     std::to_string(p.percent) + " %)";
  if (p.bytesPerSecond > 0) {
    char rate[64];
    std::snprintf(rate, sizeof rate, ", %.1f kB/s", p.bytesPerSecond / 1000.0);
    text += rate;
  }
  if (p.secondsLeft >= 0 && p.sent < p.total) {
    char left[32];
    std::snprintf(left, sizeof left, ", %.0f s left", p.secondsLeft);
    text += left;
  }
  return text;
}

std::string FirmwareChangeText(const UpdateReport& report) {
  return "firmware " + report.firmwareBefore + " -> " + (report.identityRead ? report.firmwareAfter : "?");
}

std::vector<std::string> ResultLines(const UpdateReport& r) {
  std::vector<std::string> lines{r.result};
  if (!r.meaning.empty()) lines.push_back("This means " + r.meaning + ".");
  if (!r.advice.empty()) lines.push_back("What to do: " + r.advice + ".");
  if (!r.backupPath.empty()) lines.push_back("Settings saved before the upload to " + r.backupPath);
  if (!r.backupNote.empty()) lines.push_back(r.backupNote);
  if (r.outcome != UpdateOutcome::kNotStarted) {
    lines.push_back(r.identityRead ? "Sensor read again: " + FirmwareChangeText(r)
                                   : "The sensor's identity could not be read again: " + FirmwareChangeText(r));
    if (r.compared) {
      lines.push_back(r.differences.empty()
                          ? "Settings: unchanged by the upload"
                          : "Settings: " + std::to_string(r.differences.size()) + " changed by the upload");
    } else if (!r.backupPath.empty()) {
      lines.push_back("Settings: not compared (" + r.comparison.error + ")");
    }
  }
  return lines;
}

std::string RestoreOfferQuestion(const UpdateReport& report) {
  return "The upload changed " + std::to_string(report.differences.size()) +
         " settings. Restore them from " + report.backupPath + "?";
}

std::string AutomaticBackupFolder() { return files::UserDataFolder() + "/tarkon/backups"; }

FirmwareUpdate::FirmwareUpdate(CKRV02Doc& doc)
    : doc_(doc), upload_(doc.operations().NewFirmwareUpload()), backupFolder_(AutomaticBackupFolder()) {}

FirmwareUpdate::~FirmwareUpdate() = default;

bool FirmwareUpdate::RequestClose() {
  if (!running_) return true;
  stop_ = true;
  return false;
}

// Through the document's log, so the window and the command-line tool show the lines.
void FirmwareUpdate::Log(int kind, const std::string& text) { static_cast<LogSink&>(doc_).LogLine(kind, text); }

bool FirmwareUpdate::SaveBackup(UpdateReport& report, const UpdateCallbacks& callbacks) {
  if (callbacks.status) callbacks.status("Saving the sensor's settings...");
  std::string error;
  std::error_code ec;
  std::filesystem::create_directories(backupFolder_, ec);
  const std::string path = backupFolder_ + "/" +
                           ProposedBackupFileName(doc_.sensor().modelText(), doc_.sensor().serialNumberText() +
                                                                                 "-before-upload-" + FileTimestamp());
  const bool captured = CaptureBackup(doc_, backup_, error);
  hasBackup_ = captured && WriteBackupFile(path, backup_, error);
  if (hasBackup_) {
    report.backupPath = path;
    Log(kLogSuccess, "Settings saved before the upload to " + path);
    return true;
  }
  report.backupError = error;
  report.backupNote = "The settings were not saved: " + error;
  Log(kLogError, report.backupNote);
  // A line that went away while the settings were read takes no upload,
  // whatever the answer would be.
  if (doc_.connected() && callbacks.goOnWithoutBackup &&
      callbacks.goOnWithoutBackup(report.backupNote + ". Upload without a backup of the settings?"))
    return true;
  report.reason = report.backupNote + "; nothing was sent";
  // A folder that took no file is the technician's to clear; settings that
  // could not be read are the line's.
  report.advice = captured ? kNoBackupAdvice : kCommandAdvice;
  return false;
}

UpdateReport FirmwareUpdate::Run(int kind, const std::string& path, const UpdateCallbacks& callbacks) {
  UpdateReport report;
  if (running_) {
    report.upload = UploadOutcome::kBusy;
    report.reason = "an upload is already running";
    return report;
  }
  AtomicScope running(running_);
  stop_ = false;
  hasBackup_ = false;
  auto status = [&](const std::string& text) {
    if (callbacks.status) callbacks.status(text);
  };

  // Before the first byte.
  if (UploadKindOf(kind) == nullptr) {
    report.upload = UploadOutcome::kNoKind;
    report.status = report.reason = kUploadNoKindStatus;
    status(report.status);
    return report;
  }
  std::vector<uint8_t> image;
  std::string why;
  if (!FirmwareUpload::ReadImage(path, &image, &why)) {
    report.upload = UploadOutcome::kFileError;
    report.status = kUploadFileErrorStatus;
    report.reason = std::string(kUploadFileErrorStatus) + ": " + path + ": " + why;
    status(report.status);
    return report;
  }
  report.upload = UploadOutcome::kDeclined;
  report.reason = "not confirmed; nothing was sent";
  if (!UploadSizeUsual(kind, image.size()) &&
      !(callbacks.askYesNo && callbacks.askYesNo(kUploadSizeQuestion))) {
    return report;
  }
  UpdatePlan plan;
  plan.model = doc_.sensor().modelText();
  plan.serialNumber = doc_.sensor().serialNumberText();
  plan.firmware = doc_.sensor().firmwareText();
  plan.fileName = FileNameOf(path);
  plan.size = image.size();
  plan.crc = frame::ShiftInCrcByte(frame::ShiftInCrcByte(frame::ShiftInCrc(image.data(), image.size()), 0), 0);
  plan.kind = kind;
  plan.baudRate = doc_.sensor().baudRate();
  plan.lineSeconds = LineSeconds(image.size(), plan.baudRate);
  report.firmwareBefore = plan.firmware;
  if (callbacks.plan) callbacks.plan(plan);
  if (!(callbacks.askYesNo && callbacks.askYesNo(StartQuestion(plan)))) return report;
  if (!SaveBackup(report, callbacks)) return report;
  if (!doc_.connected()) {
    report.reason = "the connection was lost before the upload; nothing was sent";
    report.advice = kCommandAdvice;
    return report;
  }

  // During.
  Log(kLogNotice, "Upload started: " + plan.fileName + ", " + std::to_string(plan.size) + " bytes, CRC " +
                      CrcText(plan.crc) + " (" + UploadKindOf(kind)->choiceText + ")");
  report.blocksTotal = (image.size() + kBlockBytes - 1) / kBlockBytes;
  const auto start = std::chrono::steady_clock::now();
  UploadCallbacks upload;
  upload.status = [&](const std::string& text) { report.status = text; };
  upload.stopRequested = [this] { return stop_.load(); };
  upload.runTransfer = callbacks.runTransfer;
  upload.letUserInterfaceRun = callbacks.letUserInterfaceRun;
  std::chrono::steady_clock::time_point first{};
  upload.bytes = [&](size_t sent, size_t total) {
    if (!callbacks.progress) return;
    const auto now = std::chrono::steady_clock::now();
    if (sent == 0) first = now;
    UpdateProgress p;
    p.sent = sent;
    p.total = total;
    p.percent = sent >= total ? 100 : static_cast<int>(sent * 100 / total);
    const double elapsed = std::chrono::duration<double>(now - first).count();
    if (sent > 0 && elapsed > 0) {
      p.bytesPerSecond = static_cast<double>(sent) / elapsed;
      p.secondsLeft = static_cast<double>(total - sent) / p.bytesPerSecond;
    }
    callbacks.progress(p);
  };
  UploadOutcome outcome;
  {
    AtomicScope transferring(transferring_);
    status("Uploading...");
    outcome = upload_->UploadImage(kind, image, upload);
  }
  report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  Finish(report, outcome);
  status(report.result);
  Log(report.outcome == UpdateOutcome::kCompleted ? kLogSuccess : kLogError, report.result);

  // After.
  After(report);
  return report;
}

void FirmwareUpdate::Finish(UpdateReport& r, const UploadOutcome outcome) {
  r.upload = outcome;
  r.reason.clear();
  r.blocksSent = static_cast<size_t>(upload_->blocksSent());
  r.retries = upload_->resends();
  r.flashLocked = upload_->flashRelocked();
  const std::string counts = std::to_string(r.blocksSent) + " of " + std::to_string(r.blocksTotal) + " blocks, " +
                             std::to_string(r.retries) + " retries, " + Seconds(r.seconds);
  switch (outcome) {
    case UploadOutcome::kCompleted:
      r.outcome = UpdateOutcome::kCompleted;
      r.result = "Upload completed: " + counts;
      break;
    case UploadOutcome::kNotRelocked:
      r.outcome = UpdateOutcome::kFailed;
      r.result = "Upload sent, but the lock of the flash was not confirmed: " + counts;
      r.meaning = kUploadNotRelockedNote;
      break;
    case UploadOutcome::kTransferFailed: {
      const int32_t state = upload_->lastState();
      const TransferStateWords words = TransferStateExplained(state);
      if (upload_->stopped()) {
        r.outcome = UpdateOutcome::kStopped;
        r.status = "Stopped by the user";
        r.result = "Stopped by the user after " + counts;
      } else {
        r.outcome = UpdateOutcome::kFailed;
        r.result = "Upload failed (" + r.status + ") after " + counts + ": " + words.happened;
      }
      r.meaning = !r.flashLocked                            ? kUploadNotRelockedNote
                  : state == XmodemSender::kNoStartRequest ? kNoBlockMeaning
                                                             : kIncompleteMeaning;
      r.advice = words.toDo;
      break;
    }
    case UploadOutcome::kUnlockFailed:
      r.outcome = UpdateOutcome::kFailed;
      r.result = "Upload failed: the flash could not be opened (see the log)";
      r.meaning = r.flashLocked ? kNothingSentMeaning : kUploadNotRelockedNote;
      r.advice = kCommandAdvice;
      break;
    case UploadOutcome::kAnnounceFailed:
      r.outcome = UpdateOutcome::kFailed;
      r.result = "Upload failed: the sensor did not take the upload command (see the log)";
      r.meaning = r.flashLocked ? std::string(kNothingSentMeaning) + "; its flash is locked again"
                                : std::string(kUploadNotRelockedNote);
      r.advice = kCommandAdvice;
      break;
    default:
      r.outcome = UpdateOutcome::kNotStarted;
      r.result = r.reason = "an upload is already running";
      break;
  }
}

void FirmwareUpdate::After(UpdateReport& r) {
  // Only a transfer can have changed the sensor.
  const bool transferred = r.upload == UploadOutcome::kCompleted || r.upload == UploadOutcome::kTransferFailed ||
                           r.upload == UploadOutcome::kNotRelocked;
  if (!transferred || !doc_.connected()) return;
  r.identityRead = doc_.operations().RereadIdentity();
  r.firmwareAfter = doc_.sensor().firmwareText();
  Log(r.identityRead ? kLogSuccess : kLogError, "Sensor after the upload: " + FirmwareChangeText(r));
  if (!hasBackup_) return;
  RestoreOptions options;
  options.dryRun = true;
  r.comparison = CompareWithSensor(doc_, backup_, options);
  r.compared = r.comparison.error.empty();
  if (r.compared) r.differences = DifferenceRows(r.comparison);
}

RestoreReport FirmwareUpdate::RestoreBackup() {
  RestoreReport report;
  if (!hasBackup_) {
    report.error = "no settings were saved before the upload";
    return report;
  }
  return RestoreSettings(doc_, backup_, RestoreOptions{});
}

}  // namespace fleet
