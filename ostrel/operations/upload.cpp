// Firmware upload: a DSP program, FPGA image or calibration table of at
// most 65536 bytes, sent as XMODEM-CRC blocks after unlocking the flash and
// announcing the kind.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "files/bounded_file_reader.h"
#include "ostrel/operations/busy.h"
#include "ostrel/operations/upload_report.h"
#include "protocol/command_ids.h"
#include "protocol/transfer_state_words.h"
#include "protocol/xmodem_block.h"

namespace ostrel {
namespace {

constexpr size_t kImageSize = 65536;
constexpr int kEraseWaitMs = 3000;
constexpr int kAnswerWaitMs = 2000;
constexpr int kProtectWaitMs = 50;
constexpr uint8_t kUnlock1 = 0x3C;
constexpr uint8_t kUnlock2 = 0xC3;
constexpr uint8_t kLock = 0x00;

// What XModemSendBlock returns. Ostrel's sender is its own (it takes whole
// blocks, does not wait for the start request and gives up after more than
// 16 failed answers); the block and the control bytes are the shared ones.
enum XModemResult : int {
  kBlockAcknowledged = 0,
  kBlockFailed = 2,  // more than 16 failed answers to the block
  kEndFailed = 3,    // more than 16 failed answers to EOT
  kCancelled = 5,    // two CAN in a row
};
// The shared transfer state of a transfer its sender stopped (see
// protocol/transfer_state_words.h); Ostrel's stop is the same ending.
constexpr int kStoppedBySender = 4;
constexpr int kMaxFailedAnswers = 16;
using xmodem::kAck;
using xmodem::kCan;
using xmodem::kEot;

struct UploadKind {
  uint8_t command;
  int firstFilter;
  const char* question;
  const char* name;
};
constexpr UploadKind kKinds[] = {
    {cmd::UploadCode, 0, "Dsp Firmware upload?", "DSP"},
    {cmd::UploadFPGA, 0, "Fpga code upload?", "FPGA"},
    {cmd::UploadCalibration, 1, "Calibration data upload?", "CAL File"},
};
constexpr const char* kFilters = "Bin File [*.bin]|*.bin|Cal File [*.cal]|*.cal|All [*.*]|*.*";

enum class EraseAnswer { kTransfer, kRefused, kNoAnswer };

// What the answer to the upload command means.
EraseAnswer DecideEraseAnswer(bool passed, const Reply& reply, uint8_t uploadCommand) {
  const std::vector<uint8_t>& b = reply.bytes;
  if (passed) return b.size() >= 4 && b[3] != 0 ? EraseAnswer::kTransfer : EraseAnswer::kRefused;
  if (b.size() >= 4) {
    if (b[0] == 0x02 && b[2] == 0) return b[3] == uploadCommand ? EraseAnswer::kTransfer : EraseAnswer::kRefused;
    return EraseAnswer::kNoAnswer;
  }
  if (!b.empty() && b[0] == kAck) return EraseAnswer::kTransfer;
  return EraseAnswer::kNoAnswer;
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "Sent 1792 of 65000 bytes, 5.6 kB/s, 11 s left"
constexpr const char* kProgressWithRate = "Sent %zu of %zu bytes, %.1f kB/s, %.0f s left";

std::string ProgressText(size_t sent, size_t total, double seconds) {
  char text[96];
  const double rate = seconds > 0 ? static_cast<double>(sent) / seconds : 0;
  if (rate > 0 && sent < total) {
    std::snprintf(text, sizeof text, kProgressWithRate, sent, total, rate / 1000.0,
                  static_cast<double>(total - sent) / rate);
  } else {
    std::snprintf(text, sizeof text, "Sent %zu of %zu bytes", sent, total);
  }
  return text;
}

// Sets a flag for a scope.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

// The lines the question shows: sensor, file, kind, line time (ten bits a
// byte, every block of 133 bytes and the EOT).
std::vector<std::string> UploadPlan(const files::FileContent& file, const std::string& path, const UploadKind& kind,
                                    const WindowFields& fields, int32_t baud) {
  const std::string name = FileNameOf(path);
  std::vector<std::string> lines{"Sensor: " + fields.modelPanel + ", serial number " + fields.serialPanel +
                                 ", firmware " + fields.firmwarePanel + " (its settings are saved first)"};
  if (!file.ok() || file.content.empty()) {
    lines.push_back("File: " + name + " (not readable or empty: nothing will be sent)");
    return lines;
  }
  const auto* bytes = reinterpret_cast<const uint8_t*>(file.content.data());
  char text[160];
  std::snprintf(text, sizeof text, "File: %s, %zu bytes, CRC-16 0x%04X", name.c_str(), file.content.size(),
                static_cast<unsigned>(xmodem::Crc(bytes, file.content.size())));
  lines.push_back(text);
  lines.push_back(std::string("Kind: ") + kind.name);
  const size_t blocks = (file.content.size() + xmodem::kDataSize - 1) / xmodem::kDataSize;
  std::snprintf(text, sizeof text, "Line time: %.1f s at %d baud",
                static_cast<double>(blocks * xmodem::kBlockSize + 1) * 10.0 / baud, static_cast<int>(baud));
  lines.push_back(text);
  return lines;
}

// j / count x 100, rounded to the nearest integer, halves to even.
int Percent(size_t j, size_t count) {
  return static_cast<int>(std::nearbyint(100.0 * static_cast<double>(j) / static_cast<double>(count)));
}

}  // namespace

uint8_t Operations::ReadAnswer(bool skipStartRequests) {
  std::vector<uint8_t> answer;
  for (;;) {
    answer.clear();
    if (!link_.ReadBytes(answer, 1)) return 0;  // nothing in time counts as a byte 0
    // The receiver's start requests that arrive around the first block are
    // no answer to it.
    if (!(skipStartRequests && answer[0] == xmodem::kCrcRequest)) return answer[0];
  }
}

bool Operations::CancelWaiting() {
  // What came unasked after the last answer is in the ring already; other
  // bytes (a late start request) answer nothing and go.
  // Two CAN in a row cancel, as in an answer.
  uint8_t byte = 0;
  bool can = false;
  while (link_.ring().Take(byte)) {
    if (byte == kCan && can) return true;
    can = byte == kCan;
  }
  return false;
}

int Operations::XModemSendBlock(uint32_t block, const uint8_t* data, bool last, bool first) {
  int errors = 0;
  const xmodem::Block packet = xmodem::BuildBlock(block, data);
  // Sends `bytes` until the answer is ACK; CAN CAN cancels, more than 16
  // failed answers give `failure`.
  const auto exchange = [&](const uint8_t* bytes, size_t count, int failure) {
    for (int sends = 0;; ++sends) {
      if (CancelWaiting()) return static_cast<int>(kCancelled);
      if (sends > 0) ++retries_;
      link_.WriteRaw(bytes, count);
      link_.RestartDeadline(kAnswerWaitMs);
      const uint8_t firstByte = ReadAnswer(first && failure == kBlockFailed);
      uint8_t inHand = firstByte;
      if (firstByte == kCan) {
        link_.RestartDeadline(kAnswerWaitMs);
        inHand = ReadAnswer(false);
        if (inHand == kCan) return static_cast<int>(kCancelled);
      }
      if (firstByte != kAck && ++errors > kMaxFailedAnswers) return failure;
      if (inHand == kAck) return static_cast<int>(kBlockAcknowledged);
    }
  };
  int result = exchange(packet.data(), packet.size(), kBlockFailed);
  if (result != kBlockAcknowledged || !last) return result;
  const uint8_t eot = kEot;
  result = exchange(&eot, 1, kEndFailed);
  link_.StopDeadline();
  return result;
}

void Operations::LockFlash() {
  Send(cmd::WriteFlashProtect1, {kLock});
  link_.WaitMs(kProtectWaitMs);
  Send(cmd::WriteFlashProtect2, {kLock});
  link_.WaitMs(kProtectWaitMs);
  relocked_ = true;
}

std::string WidestUploadProgressText() {
  char text[96];
  std::snprintf(text, sizeof text, kProgressWithRate, kImageSize, kImageSize, 99.9, 9999.0);
  return text;
}

bool Operations::Upload() {
  Busy busy(busy_);
  if (!busy.held()) return false;
  relocked_ = false;
  std::vector<uint8_t> image(kImageSize, 0xFF);
  const UploadKind& kind = kKinds[fields_.upload >= 0 && fields_.upload < 3 ? fields_.upload : 0];
  const std::string path = view_.ChooseFile(kFilters, kind.firstFilter, "mcs");
  if (path.empty()) return true;
  // Only a regular file, examined before it is opened: a FIFO would block
  // the window, a device stream without end. Read before the question, so
  // that the question can say what will be sent.
  const files::FileContent file = files::ReadBoundedFile(path, kImageSize);
  view_.SetUploadPlan(UploadPlan(file, path, kind, fields_, hostBaudInUse_));
  if (!view_.AskYesNo(std::string("Continue with ") + kind.question)) return true;

  if (file.status == files::ReadStatus::kTooLarge) {
    // Sending part of an image would leave the sensor with a broken one.
    Status("File Too Large! The image holds at most 65536 bytes; nothing was sent.");
    return true;
  }
  if (!file.ok()) {
    Status("Cannot Open File! " + path + ": " + file.reason);
    return true;
  }
  if (file.content.empty()) {
    Status("No Data in File!");
    return true;
  }
  const std::string& contents = file.content;
  const size_t size = contents.size();
  std::copy(contents.begin(), contents.begin() + static_cast<std::ptrdiff_t>(size), image.begin());

  UploadReport report;
  report.fileName = FileNameOf(path);
  report.size = size;
  report.crc = xmodem::Crc(image.data(), size);
  report.kind = kind.name;
  report.firmwareBefore = fields_.firmwarePanel;
  if (!SaveBackupBeforeUpload(report)) return true;

  view_.Log(UploadStartLine(report));
  const auto start = std::chrono::steady_clock::now();
  Transfer(kind.command, image, size, report);
  report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  view_.Log(UploadResultLine(report));
  if (!report.meaning.empty()) view_.Log("This means " + report.meaning + ".");
  if (!report.toDo.empty()) view_.Log("What to do: " + report.toDo + ".");

  AfterUpload(report);
  Status(report.status);
  view_.ShowUploadResult(UploadResultLines(report));
  OfferRestore(report);
  return true;
}

void Operations::Transfer(uint8_t command, const std::vector<uint8_t>& image, size_t size, UploadReport& report) {
  report.blocksTotal = (size + xmodem::kDataSize - 1) / xmodem::kDataSize;
  report.outcome = UploadReport::Outcome::kNothingSent;
  report.meaning = "nothing was sent: the sensor keeps its firmware; its flash is locked again";
  Send(cmd::WriteFlashProtect1, {kUnlock1});
  link_.WaitMs(kProtectWaitMs);
  Send(cmd::WriteFlashProtect2, {kUnlock2});
  link_.WaitMs(kProtectWaitMs);

  Status("");
  Send(command);
  Reply reply;
  const bool passed = link_.ReceiveFrame(link_.crc(), kEraseWaitMs, reply);
  switch (DecideEraseAnswer(passed, reply, command)) {
    case EraseAnswer::kTransfer:
      break;
    case EraseAnswer::kRefused:
      LockFlash();
      report.status = "Flash Erase Error!";
      Status(report.status);
      return;
    case EraseAnswer::kNoAnswer: {
      const int status = link_.receiveStatus();
      LockFlash();
      report.status = ReceiveStatusText(status);
      link_.ProcessErrorMsg(status);
      return;
    }
  }

  Status("");
  view_.SetProgress(true, 0);
  view_.SetProgressText(ProgressText(0, size, 0));
  const size_t blocks = report.blocksTotal;
  int result = kBlockAcknowledged;
  FlagScope uploading(uploading_);
  stopUpload_ = false;
  retries_ = 0;
  bool stopped = false;
  size_t sentBlocks = 0;
  report.transferred = true;
  const auto start = std::chrono::steady_clock::now();
  for (size_t j = 1; j <= blocks && result == kBlockAcknowledged; ++j) {
    result = XModemSendBlock(static_cast<uint32_t>(j), image.data() + (j - 1) * xmodem::kDataSize, j == blocks, j == 1);
    if (result == kBlockAcknowledged) sentBlocks = j;
    const int percent = Percent(j, blocks);
    Status("Completed " + std::to_string(percent) + " %");
    view_.SetProgress(true, percent);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    view_.SetProgressText(ProgressText(std::min(sentBlocks * xmodem::kDataSize, size), size, seconds));
    // "Stop" is handled while the block's answer is awaited; the next block
    // does not go out.
    if (result == kBlockAcknowledged && j < blocks && stopUpload_) {
      stopped = true;
      break;
    }
  }
  link_.WaitMs(100);
  view_.SetProgress(false, 0);
  report.blocksSent = sentBlocks;
  report.retries = retries_;
  RecordWrite(std::string("Firmware upload (") + kUploadEntries[fields_.upload >= 0 && fields_.upload < 3 ? fields_.upload : 0] + ")",
              fields_.firmwarePanel, std::to_string(size) + " bytes",
              result == kBlockAcknowledged && !stopped ? history::Outcome::kVerified : history::Outcome::kFailed);
  if (result == kBlockAcknowledged && !stopped) {
    report.outcome = UploadReport::Outcome::kCompleted;
    report.meaning.clear();
    report.status = "Success!";
    Status(report.status);
    return;
  }
  // Close the flash again rather than leave it open after a broken
  // transfer. A receiver that did not cancel is told to end its transfer
  // first, so that it takes the lock commands as commands.
  if (result != kCancelled) {
    const uint8_t cancel[] = {kCan, kCan};
    link_.WriteRaw(cancel, sizeof cancel);
    link_.WaitMs(kProtectWaitMs);
  }
  LockFlash();
  report.outcome = stopped ? UploadReport::Outcome::kStopped : UploadReport::Outcome::kFailed;
  report.meaning = "the sensor has no complete image: upload a good image again before use; its flash is locked again";
  report.status = stopped ? "Stopped by the user after " + std::to_string(sentBlocks) + " of " +
                                std::to_string(blocks) +
                                " blocks; the flash is locked again, the sensor has no complete image"
                          : std::string("XModem Transfer Falied!");
  // The same words as Tarkon's for the same ending: Ostrel's results 2, 3
  // and 5 are the shared transfer states of those numbers.
  const TransferStateWords words = TransferStateExplained(stopped ? kStoppedBySender : result);
  if (!stopped) report.happened = words.happened;
  report.toDo = words.toDo;
  Status(report.status);
}

}  // namespace ostrel
