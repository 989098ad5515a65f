#pragma once
// Firmware upload of manufacturing mode: an FPGA image, DSP program code or
// a calibration table. Checks the file, unlocks the sensor's flash,
// announces the kind of image, streams the file through the XMODEM block
// transfer with progress and status, and locks the flash again. The
// "Upload FPGA/DSP/CAL Table" dialog and the command-line tool bind to this.
//
// A running upload cannot be disturbed: it holds the document's
// TransferFlag from its first command to its last (see transfer_flag.h, the
// poll path skips its ticks meanwhile), a second Upload while one runs is
// refused, and a close asked for meanwhile is deferred until the end
// (RequestClose / TakeCloseRequest).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "protocol/sensor_commands.h"
#include "protocol/xmodem_sender.h"
#include "tarkon/document/transfer_flag.h"

enum UploadKind : int { kUploadFPGA = 0, kUploadDSP = 1, kUploadCalibration = 2 };
constexpr int kUploadKindCount = 3;

struct UploadKindInfo {
  const char* choiceText;     // "FPGA", "DSP", "Calibration"
  bool sizeChecked;
  size_t minSize;             // usual size, both ends inclusive
  size_t maxSize;
  const char* filterText;     // file filter "Browse" offers
  const char* filterPattern;
};
// Null for an index outside 0..2 (no kind chosen).
const UploadKindInfo* UploadKindOf(int kind);
// False when the size check of the kind questions `length`.
bool UploadSizeUsual(int kind, size_t length);
// What goes with the size question: the kind's usual sizes and the file's,
// e.g. "FPGA images are usually 20000 to 28000 bytes; this file has 1000
// bytes."
std::string UploadSizeNote(int kind, size_t length);

constexpr const char* kUploadNoKindStatus = "Invalid type selection";
constexpr const char* kUploadFileErrorStatus = "Error reading file";
constexpr const char* kUploadSizeQuestion =
    "The file size is unusual for the type of upload you are trying to do. Continue anyway? ";
constexpr const char* kUploadDoneStatus = "Successfully completed";
// How long an upload whose gateway connection was lost waits for the
// gateway before it gives up locking the flash again.
constexpr uint32_t kGatewayReturnMs = 5000;
// Added to the status when the sensor did not answer after the lock
// commands: they may not have reached it as commands, so its flash may be
// open for writing.
constexpr const char* kUploadNotRelockedNote =
    "the flash was not confirmed locked again: power-cycle the sensor before use";
// "Error occurred.Code %d" and "Sent %d bytes".
std::string UploadErrorStatus(int32_t state);
std::string UploadSentStatus(size_t bytes);

// Images larger than this are no firmware of these sensors and are not
// read (the largest kind is about 66 kB).
constexpr size_t kUploadMaxFileSize = 16 * 1024 * 1024;

struct UploadCallbacks {
  // Yes/No question with a question icon; true for Yes. Unset: No.
  std::function<bool(const std::string& question)> askYesNo;
  // Progress 0..100.
  std::function<void(int percent)> progress;
  std::function<void(const std::string& text)> status;
  // Every 128 bytes: let the user interface handle its pending events.
  std::function<void()> letUserInterfaceRun;
  // Every 128 bytes: bytes sent so far out of the image's size.
  std::function<void(size_t sent, size_t total)> bytes;
  // Asked after each whole block: true stops the transfer there, cancelled
  // on the line (XmodemSender::Cancel); the upload then ends as a failed
  // transfer ends, with the flash locked again.
  std::function<bool()> stopRequested;
  // Runs the block transfer (and nothing else: the commands before and
  // after it stay on the caller's thread) to its end. Unset, it runs in
  // place. A window sets it to run the transfer on a thread of its own
  // while its event loop goes on, so that it repaints, answers assistive
  // technology and turns presses away as they come instead of after the
  // end; `progress`, `status`, `bytes` and `stopRequested` are then called
  // on that thread.
  std::function<void(const std::function<void()>& transfer)> runTransfer;
};

enum class UploadOutcome {
  kCompleted,       // "Successfully completed"
  kTransferFailed,  // "Error occurred.Code %d"; see flashRelocked() for the lock
  kNoKind,          // "Invalid type selection"
  kFileError,       // "Error reading file"
  kDeclined,        // unusual size and the answer was No; nothing sent
  kUnlockFailed,    // an unlock command failed (logged by the command)
  kAnnounceFailed,  // the announcing command failed (logged)
  kBusy,            // an upload is already running; nothing changed
  kNotRelocked,     // the image went through, but the flash could not be locked again
};

class FirmwareUpload {
 public:
  // All three belong to the document; the sender is attached to its port.
  FirmwareUpload(SensorCommands& commands, XmodemSender& sender, TransferFlag& transfer);

  // "Upload" with the chosen kind (-1: none) and the file.
  UploadOutcome Upload(int kind, const std::string& path, const UploadCallbacks& callbacks);

  // The same with the image already read and its size already accepted
  // (the update procedure reads and shows the file before it asks).
  UploadOutcome UploadImage(int kind, const std::vector<uint8_t>& image, const UploadCallbacks& callbacks);

  bool running() const { return running_; }
  // Called on the caller's thread after every upload that sent something
  // (the document writes the change history from it).
  using FinishedHook = std::function<void(int kind, size_t bytes, UploadOutcome outcome)>;
  void SetFinishedHook(FinishedHook hook) { finished_ = std::move(hook); }
  // "Close" or closing the window: true if the dialog may close now; false
  // while an upload runs, the close then being remembered.
  bool RequestClose();
  // After Upload returns: true (once) if a close was deferred.
  bool TakeCloseRequest();

  // State of the block transfer that ended the last upload (0 for success).
  int32_t lastState() const { return lastState_; }
  // After an upload that unlocked the flash: whether the lock commands went
  // out and the sensor answered a query after them, so that they reached it
  // as commands.
  bool flashRelocked() const { return relocked_; }
  // Of the last transfer: whole blocks acknowledged, blocks and ends sent
  // again, and whether the sender stopped it (stopRequested).
  int32_t blocksSent() const { return sender_.blocksAcknowledged(); }
  int32_t resends() const { return sender_.resends(); }
  bool stopped() const { return lastState_ == XmodemSender::kCancelled; }

  // Why the last upload's file was not read ("too large (...)", "is a
  // directory", "is empty", ...); empty when it was.
  const std::string& lastFileError() const { return lastFileError_; }

  // The whole file; false when it is no regular file, cannot be read, is
  // empty, or is larger than kUploadMaxFileSize, with the reason.
  static bool ReadImage(const std::string& path, std::vector<uint8_t>* image, std::string* reason = nullptr);

 private:
  UploadOutcome Send(int kind, const std::vector<uint8_t>& image, const UploadCallbacks& callbacks);
  UploadOutcome Run(int kind, const std::vector<uint8_t>& image, const UploadCallbacks& callbacks);
  int32_t Transfer(const std::vector<uint8_t>& image, const UploadCallbacks& callbacks);
  // Locks the flash again and asks the sensor for its model afterwards to
  // learn that it took the lock commands as commands (see flashRelocked).
  // False when a lock command failed or the answer did not come.
  bool Lock();

  SensorCommands& commands_;
  XmodemSender& sender_;
  TransferFlag& transfer_;
  FinishedHook finished_;
  bool running_ = false;
  bool closeRequested_ = false;
  int32_t lastState_ = 0;
  std::string lastFileError_;
  bool relocked_ = false;
  bool lockUnconfirmed_ = false;  // the lock commands went out, the sensor did not answer after them
};
