#include "tarkon/document/scan_buffer.h"

#include <cerrno>
#include <cstring>

#include "files/append_file.h"
#include "files/atomic_file_writer.h"
#include "tarkon/document/iso_time.h"
#include "tarkon/document/number_reading.h"
#include "tarkon/models/krv02/krv02_replies.h"
#include "tarkon/document/printable_text.h"

namespace {

// RAII for the reading flag, so a read that returns early clears it too.
class ReadingScope {
 public:
  explicit ReadingScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~ReadingScope() { flag_ = false; }
  ReadingScope(const ReadingScope&) = delete;
  ReadingScope& operator=(const ReadingScope&) = delete;

 private:
  bool& flag_;
};

std::string RangePrompt(int high) {
  return "Please enter an integer between 0 and " + std::to_string(high) + ".";
}

}  // namespace

int KRV02RangesAvailable(const uint8_t krv02State[14]) {
  int count = SensorCommands::Word(krv02State, krv02::kStateScanCount);
  return count > kScanBufferMaxRanges ? kScanBufferMaxRanges : count;
}

bool DecodeScanReply(const uint8_t* reply, size_t length, int count, std::vector<int16_t>& ranges) {
  if (count < 0 || length < 1 + 2 * static_cast<size_t>(count)) return false;
  const uint8_t* samples = reply + 1;
  for (int k = 0; k < count; ++k) {
    const auto word = static_cast<uint16_t>(samples[2 * k] | (samples[2 * k + 1] << 8));
    ranges.push_back(static_cast<int16_t>(word));
  }
  return true;
}

ScanBufferReader::ScanBufferReader(SensorCommands& commands, LogSink* sink)
    : commands_(commands), sink_(sink) {}

void ScanBufferReader::PurgeLine() {
  PacketLink* link = commands_.link();
  if (link == nullptr || !link->IsOpen()) return;
  SerialError ignored;  // a failing port shows in the request that follows
  sc_PurgeInput(link->handle(), &ignored);
}

void ScanBufferReader::SetRangesAvailable(int available) {
  if (available < 0) available = 0;
  if (available > kScanBufferMaxRanges) available = kScanBufferMaxRanges;
  available_ = available;
}

std::string ScanBufferReader::CheckFields(const std::string& rangesToReadText, int startIndex,
                                          int* rangesToRead) const {
  int64_t toRead = 0;
  if (!IsWholeNumber(rangesToReadText, &toRead)) return "Please enter an integer.";
  if (toRead < 0 || toRead > available_) return RangePrompt(available_);
  int highStart = available_ - static_cast<int>(toRead);
  if (startIndex < 0 || startIndex > highStart) return RangePrompt(highStart);
  if (rangesToRead != nullptr) *rangesToRead = static_cast<int>(toRead);
  return std::string();
}

ScanReadOutcome ScanBufferReader::Read(int rangesToRead, int startIndex,
                                       const std::function<std::string(int16_t)>& rangeText,
                                       const ScanReadCallbacks& callbacks) {
  // A second start from inside the callbacks, or fields that do not fit
  // the buffer, change nothing.
  if (reading_) return ScanReadOutcome::kRefused;
  if (rangesToRead < 0 || startIndex < 0 ||
      static_cast<int64_t>(startIndex) + rangesToRead > available_) {
    return ScanReadOutcome::kRefused;
  }
  ReadingScope scope(reading_);
  rows_.clear();
  listed_.clear();
  listedAt_.reset();
  buffer_.clear();
  buffer_.reserve(static_cast<size_t>(rangesToRead));
  if (callbacks.progress) callbacks.progress(0, rangesToRead);

  ScanReadOutcome outcome = ScanReadOutcome::kCompleted;
  int remaining = rangesToRead;
  while (remaining > 0) {
    if (stop_) {
      outcome = ScanReadOutcome::kStopped;
      break;
    }
    int portion = remaining > kPortion - 1 ? kPortion : remaining;
    int first = startIndex + rangesToRead - remaining;
    // What an earlier portion left on the line (a sensor that answered it
    // twice) would be taken for this portion's reply.
    PurgeLine();
    if (!commands_.GetScanBufferPortion(first, portion)) {
      outcome = ScanReadOutcome::kFailed;
      break;
    }
    // A reply with fewer samples than asked would leave stale bytes of an
    // earlier read in the list.
    if (!DecodeScanReply(commands_.scanBuffer, commands_.scanReplyLength[0], portion, buffer_)) {
      if (sink_ != nullptr) {
        sink_->LogLine(kLogError, "Scan buffer portion from " + std::to_string(first) + ": " +
                                      std::to_string(commands_.scanReplyLength[0] > 0
                                                         ? (commands_.scanReplyLength[0] - 1) / 2
                                                         : 0) +
                                      " of " + std::to_string(portion) + " ranges received");
      }
      outcome = ScanReadOutcome::kFailed;
      break;
    }
    // A reply with more samples than asked answers another request: its
    // ranges would be shifted into this portion's places.
    if (commands_.scanReplyLength[0] > 1 + 2 * static_cast<size_t>(portion)) {
      if (sink_ != nullptr) {
        sink_->LogLine(kLogError, "Scan buffer portion from " + std::to_string(first) + ": a reply of " +
                                      std::to_string((commands_.scanReplyLength[0] - 1) / 2) + " ranges where " +
                                      std::to_string(portion) +
                                      " were asked for; it answers another request (the sensor answered twice?)");
      }
      PurgeLine();
      outcome = ScanReadOutcome::kFailed;
      break;
    }
    remaining -= portion;
    if (callbacks.progress) callbacks.progress(rangesToRead - remaining, rangesToRead);
    if (callbacks.betweenPortions) callbacks.betweenPortions();
  }
  if (outcome == ScanReadOutcome::kCompleted && stop_) outcome = ScanReadOutcome::kStopped;

  if (outcome == ScanReadOutcome::kCompleted) {
    rows_.reserve(buffer_.size());
    for (size_t i = 0; i < buffer_.size(); ++i) {
      rows_.push_back(ScanListRow{std::to_string(i + 1), rangeText ? rangeText(buffer_[i]) : ""});
    }
    listed_ = buffer_;
    listedAt_ = std::chrono::system_clock::now();
  }
  stop_ = false;
  return outcome;
}

std::string ScanExportBlock(const std::string& serialNumber, int32_t address,
                            const std::vector<ScanListRow>& rows) {
  std::string block = "\nSensor: " + serialNumber.substr(0, 8) + " \t Address: " +
                      std::to_string(address) + "\n";
  block += "\nScan buffer: Size: " + std::to_string(rows.size()) + "\n";
  for (size_t i = 0; i < rows.size(); ++i) {
    block += "#" + std::to_string(i) + ":\t\t" + rows[i].value.substr(0, 63) + "\n";
  }
  return block;
}

bool AppendScanExport(const std::string& path, const std::string& serialNumber, int32_t address,
                      const std::vector<ScanListRow>& rows, std::string* error) {
  const std::string block = ScanExportBlock(serialNumber, address, rows);
  files::AppendFile file;
  std::string reason;
  if (!file.Open(path, &reason)) {
    if (error != nullptr) *error = "cannot open " + path + ": " + reason;
    return false;
  }
  // On the disk before success is reported; a block the disk did not take
  // whole is taken back.
  bool ok = file.Append(block, true, &reason);
  if (!file.Close(ok ? &reason : nullptr)) ok = false;
  if (!ok) {
    if (error != nullptr) *error = "cannot write " + path + ": " + reason;
    return false;
  }
  return true;
}

std::string ScanCsvText(const std::vector<int16_t>& ranges, const RangeModeRow& row, const ScanCsvSource& source) {
  const std::string unit = RangeModeTable::UnitOfFormat(row.unitFormat);
  std::string text = "# Scan buffer of a laser range sensor\n";
  text += "# Model: " + PrintableText(source.model) + " (model string \"" + PrintableText(source.modelString) + "\")\n";
  text += "# Serial number: " + PrintableText(source.serialNumber) + "\n";
  text += "# Unit: " + (unit.empty() ? std::string("none") : unit) + "\n";
  text += "# Read: " + (source.readAt ? IsoUtcTime(*source.readAt) : std::string("no complete read")) + "\n";
  text += "# Ranges: " + std::to_string(ranges.size()) + "\n";
  text += "Index,Raw,Range\n";
  for (size_t i = 0; i < ranges.size(); ++i) {
    const std::optional<double> value = RangeModeTable::RangeValue(row, ranges[i]);
    std::string cell = value ? RangeModeTable::FormatBare(row, *value) : std::string();
    cell.erase(0, cell.find_first_not_of(' ') == std::string::npos ? cell.size() : cell.find_first_not_of(' '));
    text += std::to_string(i + 1) + "," + std::to_string(ranges[i]) + "," + cell + "\n";
  }
  return text;
}

bool WriteScanCsv(const std::string& path, const std::vector<int16_t>& ranges, const RangeModeRow& row,
                  const ScanCsvSource& source, std::string* error) {
  // A temporary file renamed over the old one: a full disk leaves the old
  // file whole, never one cut mid-row under the final name.
  std::string reason;
  if (files::WriteFileAtomically(path, ScanCsvText(ranges, row, source), &reason)) return true;
  if (error != nullptr) *error = "Cannot write " + path + ": " + reason;
  return false;
}
