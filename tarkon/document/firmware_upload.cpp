#include "tarkon/document/firmware_upload.h"

#include <array>

#include "files/bounded_file_reader.h"

namespace {

constexpr uint8_t kUnlockValue1 = 0x3C;
constexpr uint8_t kUnlockValue2 = 0xC3;
constexpr uint8_t kLockValue = 0;
constexpr size_t kStatusInterval = 128;

const std::array<UploadKindInfo, kUploadKindCount> kKinds = {{
    {"FPGA", true, 20000, 28000, "Single point binary code file(*.bin)", "*.bin"},
    {"DSP", true, 64000, 66000, "Single point binary code file(*.bin)", "*.bin"},
    {"Calibration", false, 0, 0, "Single point binary calibration file(*.cal)", "*.cal"},
}};

// Sets a flag for a scope, so every way out of the upload clears it.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace

const UploadKindInfo* UploadKindOf(int kind) {
  if (kind < 0 || kind >= kUploadKindCount) return nullptr;
  return &kKinds[static_cast<size_t>(kind)];
}

bool UploadSizeUsual(int kind, size_t length) {
  const UploadKindInfo* info = UploadKindOf(kind);
  if (info == nullptr || !info->sizeChecked) return true;
  return length >= info->minSize && length <= info->maxSize;
}

std::string UploadSizeNote(int kind, size_t length) {
  const UploadKindInfo* info = UploadKindOf(kind);
  const std::string file = "this file has " + std::to_string(length) + " bytes.";
  if (info == nullptr || !info->sizeChecked) return "This file has " + std::to_string(length) + " bytes.";
  return std::string(info->choiceText) + " images are usually " + std::to_string(info->minSize) + " to " +
         std::to_string(info->maxSize) + " bytes; " + file;
}

std::string UploadErrorStatus(int32_t state) {
  return "Error occurred.Code " + std::to_string(state);
}

std::string UploadSentStatus(size_t bytes) { return "Sent " + std::to_string(bytes) + " bytes"; }

FirmwareUpload::FirmwareUpload(SensorCommands& commands, XmodemSender& sender,
                               TransferFlag& transfer)
    : commands_(commands), sender_(sender), transfer_(transfer) {}

bool FirmwareUpload::RequestClose() {
  if (!running_) return true;
  closeRequested_ = true;
  return false;
}

bool FirmwareUpload::TakeCloseRequest() {
  bool requested = closeRequested_;
  closeRequested_ = false;
  return requested;
}

bool FirmwareUpload::ReadImage(const std::string& path, std::vector<uint8_t>* image, std::string* reason) {
  image->clear();
  files::FileContent file = files::ReadBoundedFile(path, kUploadMaxFileSize);
  if (file.ok() && file.content.empty()) {
    file.status = files::ReadStatus::kFailed;
    file.reason = "is empty";
  }
  if (!file.ok()) {
    if (reason != nullptr) *reason = file.reason;
    return false;
  }
  image->assign(file.content.begin(), file.content.end());
  return true;
}

UploadOutcome FirmwareUpload::Upload(int kind, const std::string& path,
                                     const UploadCallbacks& callbacks) {
  // The question box and the pauses every 128 bytes let the dialog's own
  // buttons run; a second "Upload" from there must not start anything.
  if (running_) return UploadOutcome::kBusy;
  FlagScope running(running_);

  auto status = [&](const std::string& text) {
    if (callbacks.status) callbacks.status(text);
  };
  if (UploadKindOf(kind) == nullptr) {
    status(kUploadNoKindStatus);
    return UploadOutcome::kNoKind;
  }
  std::vector<uint8_t> image;
  lastFileError_.clear();
  if (!ReadImage(path, &image, &lastFileError_)) {
    status(kUploadFileErrorStatus);
    return UploadOutcome::kFileError;
  }
  if (!UploadSizeUsual(kind, image.size())) {
    if (!callbacks.askYesNo || !callbacks.askYesNo(kUploadSizeQuestion)) {
      return UploadOutcome::kDeclined;
    }
  }
  return Send(kind, image, callbacks);
}

UploadOutcome FirmwareUpload::UploadImage(int kind, const std::vector<uint8_t>& image,
                                          const UploadCallbacks& callbacks) {
  if (running_) return UploadOutcome::kBusy;
  FlagScope running(running_);
  if (UploadKindOf(kind) == nullptr) {
    if (callbacks.status) callbacks.status(kUploadNoKindStatus);
    return UploadOutcome::kNoKind;
  }
  if (image.empty()) {
    if (callbacks.status) callbacks.status(kUploadFileErrorStatus);
    return UploadOutcome::kFileError;
  }
  return Send(kind, image, callbacks);
}

UploadOutcome FirmwareUpload::Send(int kind, const std::vector<uint8_t>& image, const UploadCallbacks& callbacks) {
  TransferFlag::Scope transfer(transfer_);
  if (!transfer.held()) return UploadOutcome::kBusy;
  const UploadOutcome outcome = Run(kind, image, callbacks);
  if (finished_) finished_(kind, image.size(), outcome);
  return outcome;
}

UploadOutcome FirmwareUpload::Run(int kind, const std::vector<uint8_t>& image,
                                  const UploadCallbacks& callbacks) {
  relocked_ = false;
  lockUnconfirmed_ = false;
  lastState_ = 0;
  sender_.Reset();  // counts of the last transfer start from nothing
  if (PacketLink* link = commands_.link(); link != nullptr) link->Drain();
  if (callbacks.progress) callbacks.progress(0);

  if (!commands_.WriteFlashProtect1(kUnlockValue1)) {
    // The flash opens only after both halves of the unlock: it stays locked.
    relocked_ = true;
    return UploadOutcome::kUnlockFailed;
  }
  if (!commands_.WriteFlashProtect2(kUnlockValue2)) {
    // The first half of the unlock went through: close it again rather
    // than leave the flash half open.
    Lock();
    return UploadOutcome::kUnlockFailed;
  }
  int announced = 0;
  switch (kind) {
    case kUploadFPGA:
      announced = commands_.UploadFPGA();
      break;
    case kUploadDSP:
      announced = commands_.UploadCode();
      break;
    default:
      announced = commands_.UploadCalibration();
      break;
  }
  if (!announced) {
    // Nothing was transferred; the flash is not left open for writing. The
    // receiver may have started all the same (its answer lost): CAN first.
    sender_.Cancel();
    Lock();
    return UploadOutcome::kAnnounceFailed;
  }

  if (callbacks.runTransfer) {
    callbacks.runTransfer([&] { lastState_ = Transfer(image, callbacks); });
  } else {
    lastState_ = Transfer(image, callbacks);
  }
  std::string status = lastState_ == 0 ? std::string(kUploadDoneStatus) : UploadErrorStatus(lastState_);
  // A gateway that closed or reset the connection in the middle (it
  // restarted, its network dropped) is given a few seconds to come back,
  // so that the flash is not left open.
  NetworkLineFacts network;
  if (PacketLink* link = commands_.link();
      link != nullptr && lastState_ != 0 && link->networkFacts(&network) && link->LineGone()) {
    const bool back = link->ReopenGatewayLine(kGatewayReturnMs);
    status += "; the connection to the gateway " + network.gateway + " was lost" +
              (back ? " and made again to lock the flash" : "");
  }
  if (callbacks.status) callbacks.status(status);
  // A receiver that never heard the end is still in receive mode and would
  // swallow the lock commands as block data: cancel the transfer first.
  if (sender_.ReceiverMayBeReceiving()) sender_.Cancel();
  const bool locked = Lock();
  // A lock command that failed has its own log line; lock commands that
  // went out to a sensor that then did not answer have none.
  if (lockUnconfirmed_ && callbacks.status) callbacks.status(status + "; " + kUploadNotRelockedNote);
  if (lastState_ != 0) return UploadOutcome::kTransferFailed;
  return locked ? UploadOutcome::kCompleted : UploadOutcome::kNotRelocked;
}

int32_t FirmwareUpload::Transfer(const std::vector<uint8_t>& image,
                                 const UploadCallbacks& callbacks) {
  const size_t length = image.size();
  sender_.Reset();
  int32_t state = 0;
  size_t lastPut = 0;  // index of the byte put last
  for (size_t i = 0; i + 1 < length; ++i) {
    lastPut = i;
    state = sender_.Put(image[i], false);
    if (state != 0) break;
    if (i % kStatusInterval == 0) {
      if (callbacks.bytes) callbacks.bytes(i, length);
      if (callbacks.progress) callbacks.progress(static_cast<int>(i * 100 / length));
      if (callbacks.status) callbacks.status(UploadSentStatus(i));
      if (callbacks.letUserInterfaceRun) callbacks.letUserInterfaceRun();
      // Every block before byte i is acknowledged, byte i only gathered:
      // a stop asked for by now ends the transfer here, cancelled on the line.
      if (i > 0 && callbacks.stopRequested && callbacks.stopRequested()) {
        sender_.Cancel();
        state = sender_.state();
        break;
      }
    }
  }
  if (state == 0) {
    lastPut = length - 1;
    state = sender_.Put(image[length - 1], true);
  }
  if (state == 0) {
    // Every byte is acknowledged and so is the end: the whole image went.
    if (callbacks.bytes) callbacks.bytes(length, length);
    if (callbacks.progress) callbacks.progress(100);
    return state;
  }
  if (callbacks.progress) callbacks.progress(static_cast<int>(lastPut * 100 / length));
  return state;
}

bool FirmwareUpload::Lock() {
  // What the receiver sent around its end (NAK, CAN) is no reply to a frame.
  if (PacketLink* link = commands_.link(); link != nullptr) link->Drain();
  const bool sent = commands_.WriteFlashProtect1(kLockValue) && commands_.WriteFlashProtect2(kLockValue);
  // The lock commands have no answer, and a write that went out may still
  // not have arrived (a line that hung up as they went): only a sensor that
  // answers the next command is known to have taken them, as commands.
  relocked_ = sent && commands_.GetModelName(true);
  lockUnconfirmed_ = sent && !relocked_;
  return relocked_;
}
