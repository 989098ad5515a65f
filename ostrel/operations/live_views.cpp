// The View tab's polling and memory reads, and the scan-buffer export of
// the Settings tab.

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "files/atomic_file_writer.h"
#include "files/calendar_time.h"
#include "ostrel/operations/busy.h"
#include "protocol/command_ids.h"

namespace ostrel {
namespace {

constexpr size_t kScanTableSize = 8192;
constexpr int kExportWaitMs = 1000;
constexpr long kMaxWords = 120;

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value & 0xFFFFu);
  return text;
}

// Memo lines of four words each, then one line with the words left over
// (only the address when none are).
std::vector<std::string> MemoLines(const std::vector<uint16_t>& words, unsigned address, bool hex) {
  std::vector<std::string> lines;
  std::string pending;
  size_t inLine = 0;
  const auto flush = [&] {
    lines.push_back(Hex4(address) + " :\t" + pending);
    address += 4;
    pending.clear();
    inLine = 0;
  };
  for (const uint16_t w : words) {
    pending += (hex ? Hex4(w) : std::to_string(w)) + "\t";
    if (++inLine == 4) flush();
  }
  flush();
  return lines;
}

// Writes the values one per line (CR LF) and replaces `path` with them as a
// whole: a failure leaves no half file, a link or read-only file there is
// refused, not written through.
bool WriteScanFile(const std::string& path, const std::vector<uint16_t>& values, std::string& error) {
  std::string text;
  for (const uint16_t v : values) text += std::to_string(v) + "\r\n";
  std::string reason;
  if (files::WriteFileAtomically(path, text, &reason)) return true;
  error = reason;
  return false;
}

// "2026-12-08", local time: the day the technician sees on the calendar.
std::string Today() {
  const std::tm local = files::LocalCalendarTime(std::time(nullptr));
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

}  // namespace

std::string ScanFileName(const std::string& model, const std::string& serial, const std::string& date) {
  std::string name = (model.empty() ? "sensor" : model) + "_" + (serial.empty() ? "unknown" : serial) + "_scans_" +
                     date;
  for (char& c : name) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '_' || c == '.';
    if (!plain) c = '_';
  }
  return name + ".txt";
}

bool Operations::StartPolling() {
  Busy busy(busy_);
  if (!busy.held()) return false;
  stop_ = false;
  Busy polling(polling_);  // the link text says "polling" meanwhile
  while (!stop_) {
    Status("");
    Reply r;
    SpotValues v;
    const bool crc = link_.crc();
    if (!fields_.showAll) {
      Send(cmd::GetRange);
      if (!Receive(r, 2)) {
        link_.ProcessErrorMsg(link_.receiveStatus());
        continue;
      }
      v.range = r.Word(0, crc);
    } else {
      Send(cmd::GetSensorState);
      if (!Receive(r, 14)) {
        link_.ProcessErrorMsg(link_.receiveStatus());
        continue;
      }
      v.all = true;
      v.base = r.Word(0, crc);
      v.sum = r.Word(2, crc);
      v.num = r.Word(4, crc);
      v.sub = r.Word(6, crc);
      v.range = r.Word(8, crc);
      v.power = r.Word(10, crc);
      v.peak = r.Word(12, crc);
    }
    view_.ShowSpot(v);
  }
  return true;
}

bool Operations::ReadMemory() {
  Busy busy(busy_);
  if (!busy.held()) return false;
  do {
    // Both fields are read on every pass: what is typed while "Repeat" runs
    // is what the next pass asks for.
    view_.CollectFields();
    const std::string typedAddress = fields_.memAddr;
    const std::string typedCount = fields_.wordCount;
    view_.SetMemo({});
    if (fields_.wordCount.empty()) fields_.wordCount = "0";
    long count = ParseNumber(fields_.wordCount);
    if (count > kMaxWords) {
      count = kMaxWords;
      fields_.wordCount = std::to_string(kMaxWords);
    }
    if (count < 0) count = 0;
    if (fields_.memAddr.empty()) fields_.memAddr = "0000";
    while (fields_.memAddr.size() < 4) fields_.memAddr.insert(0, "0");
    const auto address = static_cast<unsigned>(std::strtoul(fields_.memAddr.c_str(), nullptr, 16) & 0xFFFFu);
    if (fields_.memAddr != typedAddress || fields_.wordCount != typedCount) view_.FieldsChanged();

    std::vector<uint8_t> data;
    PutWord(data, static_cast<uint16_t>(address), link_.crc());
    data.push_back(static_cast<uint8_t>(count));
    Send(cmd::ReadMemory, data);
    Reply r;
    if (Receive(r, 0)) {  // a failure is silent
      std::vector<uint16_t> words;
      for (size_t k = 0; k < r.DataLength() / 2; ++k) words.push_back(r.Word(2 * k, link_.crc()));
      view_.SetMemo(MemoLines(words, address, fields_.hex));
    }
    link_.WaitMs(500);
  } while (repeat_);
  return true;
}

bool Operations::ExportScanBuffer() {
  Busy busy(busy_);
  if (!busy.held()) return false;
  // The fields first: a file name chosen for a request that is then
  // refused is asked for in vain.
  const long start = ParseNumber(fields_.startIndex);
  if (fields_.startIndex.empty() || start < 0 || start > 9999) {
    view_.ShowInputError("Invalid Start Index Entered!\r\n(Valid values 0-9999)", Field::kStartIndex);
    return true;
  }
  const long count = ParseNumber(fields_.numScans);
  if (fields_.numScans.empty() || count < 0 || count > 9999) {
    view_.ShowInputError("Invalid # of Scans Entered!\r\n(Valid values 0-9999)", Field::kNumScans);
    return true;
  }
  const std::string path = view_.ChooseSaveFile(ScanFileName(fields_.modelPanel, fields_.serialPanel, Today()));
  if (path.empty()) return true;
  Status("Retrieving scan data from sensor(s) . . .");
  // Start and count travel low byte first whatever the check mode.
  const std::vector<uint8_t> request = {static_cast<uint8_t>(start & 0xFF), static_cast<uint8_t>(start >> 8),
                                        static_cast<uint8_t>(count & 0xFF), static_cast<uint8_t>(count >> 8)};
  // Bytes the full ring has to drop from here on belong to the replies:
  // values are missing even if every frame that arrived passed its check.
  const uint64_t droppedBefore = link_.ring().Dropped();
  Send(cmd::GetScanBufferPortion, request);
  std::vector<uint16_t> table;
  bool cut = false;
  Reply r;
  bool got = Receive(r, 1, kExportWaitMs);
  unsigned expected = got ? r.Data(0) : 0;
  while (got && expected >= 1 && expected == r.Data(0)) {
    // The samples are low byte first in either check mode.
    for (size_t k = 0; k < (r.DataLength() - 1) / 2; ++k) {
      if (table.size() == kScanTableSize) {
        cut = true;
        break;
      }
      table.push_back(static_cast<uint16_t>(r.Data(1 + 2 * k) | (r.Data(2 + 2 * k) << 8)));
    }
    if (r.Data(0) > 1) got = Receive(r, 1, kExportWaitMs);
    --expected;
  }
  const bool lostBytes = link_.ring().Dropped() != droppedBefore;
  Status("Copying scan data to file . . .");
  std::string error;
  if (!WriteScanFile(path, table, error)) {
    Status("Error Writing File! " + path + ": " + error);
    return true;
  }
  if (lostBytes) {
    link_.ProcessErrorMsg(link_.receiveStatus());
    Status("Incomplete! Received bytes were lost: the file holds only the " + std::to_string(table.size()) +
           " values that arrived whole.");
    return true;
  }
  Status(cut ? " Done (cut at 8192 values: the table holds no more)" : " Done");
  return true;
}

}  // namespace ostrel
