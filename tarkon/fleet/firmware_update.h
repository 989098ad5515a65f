#pragma once
// A firmware update a technician can follow from start to end, the same in
// every front end:
//
//   before: what will happen (sensor, file, kind, line time) and a question
//           whose default is No; the sensor's settings saved to the per-user
//           data folder in the backup format. No backup, no upload: a
//           backup that cannot be saved stops the procedure unless the
//           front end's own, separate answer says to go on without one;
//   during: the upload of firmware_upload.h with progress (bytes of total,
//           percent, rate, time left) and a stop after the block in flight;
//   after:  one log line for the start and one for the result, the result
//           with what it means, the identity read again (firmware before and
//           after) and the settings compared with the backup, which the
//           front end offers to restore.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tarkon/document/firmware_upload.h"
#include "tarkon/fleet/settings_backup.h"
#include "tarkon/fleet/settings_restore.h"

class CKRV02Doc;

namespace fleet {

// What the question before the first byte shows.
struct UpdatePlan {
  std::string model;
  std::string serialNumber;
  std::string firmware;  // the sensor's firmware now
  std::string fileName;  // without its folder
  size_t size = 0;
  uint16_t crc = 0;      // CRC-16/XMODEM of the whole image
  int kind = -1;
  int baudRate = 0;
  double lineSeconds = 0;  // blocks and end at the current baud rate
};
// Name/value rows: "Sensor", "Serial number", "Firmware now", "File",
// "Size", "CRC-16", "Kind", "Line time".
std::vector<std::pair<std::string, std::string>> PlanRows(const UpdatePlan& plan);
// The question that starts the transfer (its default is No).
std::string StartQuestion(const UpdatePlan& plan);
// Seconds the blocks of `size` bytes and the end take on a line of `baudRate`
// (ten bits a byte, no answer time).
double LineSeconds(size_t size, int baudRate);
// "0x29B1"
std::string CrcText(uint16_t crc);

// One progress step of the transfer.
struct UpdateProgress {
  size_t sent = 0;
  size_t total = 0;
  int percent = 0;            // 100 only when every byte and the end are acknowledged
  double bytesPerSecond = 0;  // since the first block
  double secondsLeft = -1;    // -1 until a rate is known
};
// "Sent 1792 of 65000 bytes (2 %), 5.6 kB/s, 11 s left"
std::string ProgressText(const UpdateProgress& progress);

enum class UpdateOutcome {
  kNotStarted,   // refused or declined before anything was sent; see `upload`
  kCompleted,
  kFailed,       // the transfer or a command failed
  kStopped,      // stopped by the user
};

struct UpdateReport {
  UpdateOutcome outcome = UpdateOutcome::kNotStarted;
  UploadOutcome upload = UploadOutcome::kNoKind;  // the engine's outcome
  std::string status;    // the engine's status text ("Successfully completed", "Error occurred.Code 2", ...)
  std::string result;    // one line: what happened
  std::string meaning;   // what it means for the sensor (empty after a clean success)
  std::string advice;    // what to do now (empty after a clean success)
  std::string reason;    // why nothing was sent (kNotStarted)
  size_t blocksSent = 0;
  size_t blocksTotal = 0;
  int retries = 0;
  double seconds = 0;
  bool flashLocked = true;

  std::string backupPath;   // empty when no backup was saved
  std::string backupNote;   // why not, as a line to show
  std::string backupError;  // why not, the bare reason (empty when saved or not tried)

  // After: the identity read again and the settings compared with the backup.
  bool identityRead = false;
  std::string firmwareBefore;
  std::string firmwareAfter;
  bool compared = false;
  RestoreReport comparison;
  std::vector<RestoreItem> differences;  // the rows the restore would show
};
// "firmware 2.10C -> 2.11C"
std::string FirmwareChangeText(const UpdateReport& report);
// The lines a front end shows after the end (result, meaning, what to do,
// backup, firmware, settings).
std::vector<std::string> ResultLines(const UpdateReport& report);
// The question that offers to put the backup's settings back.
std::string RestoreOfferQuestion(const UpdateReport& report);

// Where the automatic backups go: $XDG_DATA_HOME/tarkon/backups, else
// ~/.local/share/tarkon/backups (files::UserDataFolder; on Windows under
// %LOCALAPPDATA%).
std::string AutomaticBackupFolder();

struct UpdateCallbacks {
  // Every question defaults to No; unset answers No.
  std::function<bool(const std::string& question)> askYesNo;
  // The automatic backup could not be saved: true uploads without it. A
  // question of its own, apart from askYesNo, so that a front end's "yes to
  // every question" never also means "upload without a backup"; its
  // default is No, and unset answers No (no backup, no upload).
  std::function<bool(const std::string& question)> goOnWithoutBackup;
  // Before the question that starts the transfer: the plan to show.
  std::function<void(const UpdatePlan& plan)> plan;
  // A short text of where the procedure is (reading the file, saving the
  // settings, the engine's statuses).
  std::function<void(const std::string& text)> status;
  // Called on the transfer's thread when runTransfer is set.
  std::function<void(const UpdateProgress& progress)> progress;
  std::function<void(const std::function<void()>& transfer)> runTransfer;  // see UploadCallbacks
  // Without runTransfer, between blocks: let the user interface run.
  std::function<void()> letUserInterfaceRun;
};

class FirmwareUpdate {
 public:
  explicit FirmwareUpdate(CKRV02Doc& doc);
  ~FirmwareUpdate();
  FirmwareUpdate(const FirmwareUpdate&) = delete;
  FirmwareUpdate& operator=(const FirmwareUpdate&) = delete;

  // The folder of the automatic backup (default AutomaticBackupFolder()).
  void SetBackupFolder(std::string folder) { backupFolder_ = std::move(folder); }

  // The whole procedure for `kind` and the file at `path`.
  UpdateReport Run(int kind, const std::string& path, const UpdateCallbacks& callbacks);
  // Stop, Escape, closing the window, Ctrl+C: the transfer stops after the
  // block in flight. Any thread.
  void Stop() { stop_ = true; }
  bool running() const { return running_; }
  // True while the transfer (not the questions before it) runs.
  bool transferring() const { return transferring_; }
  // "Close" or closing the window: true if the dialog may close now; false
  // (and a stop asked for) while the procedure runs.
  bool RequestClose();

  // After Run: puts the backup's settings back (the restore of the Tools
  // menu), with its report. The procedure's backup must exist.
  RestoreReport RestoreBackup();
  const SensorBackup& backup() const { return backup_; }
  bool hasBackup() const { return hasBackup_; }

 private:
  bool SaveBackup(UpdateReport& report, const UpdateCallbacks& callbacks);
  void Finish(UpdateReport& report, const UploadOutcome outcome);
  void After(UpdateReport& report);
  void Log(int kind, const std::string& text);

  CKRV02Doc& doc_;
  std::unique_ptr<FirmwareUpload> upload_;
  std::string backupFolder_;
  SensorBackup backup_;
  bool hasBackup_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  std::atomic<bool> transferring_{false};
};

}  // namespace fleet
