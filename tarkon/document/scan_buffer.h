#pragma once
// Reading the sensor's scan buffer in portions, listing the ranges in the
// units of the sensor's mode, and appending them to a text file: the logic
// of the "Read sensor ranges buffer" dialog, shared by the command-line tool.
//
// Threading: a read runs on the thread that owns the sensor connection.
// Between portions it calls back so that a user interface can handle its
// pending events (the "Stop" button, closing, poll ticks); RequestStop() may
// be called from there or from any other thread.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "protocol/log_sink.h"
#include "protocol/sensor_commands.h"
#include "tarkon/document/range_mode_table.h"

constexpr int kScanBufferMaxRanges = 8192;
// Ranges a board-flipper panel offers.
constexpr int kBoardFlipperRangesAvailable = 8192;
// Ranges the KRV02 scan page offers: the scan count (word 5) of the last
// GetKRV02State reply taken as unsigned, at most 8192.
int KRV02RangesAvailable(const uint8_t krv02State[14]);

// The ranges of one GetScanBufferPortion reply of `length` data bytes: after
// its first byte (the count of replies still to come), `count` 16-bit
// samples, each low byte first in both check modes. Appends them to
// `ranges`; false, appending nothing, when the reply holds fewer samples
// (or `count` is negative).
bool DecodeScanReply(const uint8_t* reply, size_t length, int count, std::vector<int16_t>& ranges);

struct ScanListRow {
  std::string number;  // "Range #": "%d" counting from 1
  std::string value;   // "Range value": the range text in the current mode
};

enum class ScanReadOutcome {
  kCompleted,  // the list holds every range read
  kStopped,    // the stop flag ended the read; the list is empty
  kFailed,     // a portion failed; the list is empty
  kRefused,    // bad fields or a read already running; nothing was sent
};

struct ScanReadCallbacks {
  // Progress position 0..total after each portion (and 0 at the start).
  std::function<void(int position, int total)> progress;
  // After each portion: let the user interface run.
  std::function<void()> betweenPortions;
};

class ScanBufferReader {
 public:
  static constexpr int kPortion = 126;

  // Failures of the read beyond the commands' own lines (a short reply) go
  // to `sink` as error lines.
  explicit ScanBufferReader(SensorCommands& commands, LogSink* sink = nullptr);

  // Set by the opener before showing (0..8192). Ranges to read starts equal.
  void SetRangesAvailable(int available);
  int rangesAvailable() const { return available_; }

  // Field check of "Start": ranges to read an integer 0..available, start
  // index 0..available - ranges to read. Empty text and `rangesToRead` set,
  // or the prompt to show.
  std::string CheckFields(const std::string& rangesToReadText, int startIndex,
                          int* rangesToRead) const;

  // "Start": empties the list, reads `rangesToRead` ranges from
  // `startIndex` in portions of at most 126, then lists them through
  // `rangeText` (the document's range text in the current mode). A stop or
  // a failing portion leaves the list empty. The stop flag is cleared at the
  // end.
  ScanReadOutcome Read(int rangesToRead, int startIndex,
                       const std::function<std::string(int16_t)>& rangeText,
                       const ScanReadCallbacks& callbacks = {});
  // "Stop", closing the window, Cancel: ends a read at its next portion
  // boundary.
  void RequestStop() { stop_ = true; }
  bool reading() const { return reading_; }

  // The raw ranges of the last read (buffer order) and the list.
  const std::vector<int16_t>& buffer() const { return buffer_; }
  const std::vector<ScanListRow>& rows() const { return rows_; }
  // The raw ranges behind the list: those of the last read that completed,
  // none after a read that was stopped or failed (whose buffer holds only
  // a part). What is plotted and saved besides the list.
  const std::vector<int16_t>& listedRanges() const { return listed_; }
  // When the list's read ended; none while the list is empty of a read.
  std::optional<std::chrono::system_clock::time_point> listedAt() const { return listedAt_; }

 private:
  // Drops whatever waits in the port's input.
  void PurgeLine();
  SensorCommands& commands_;
  LogSink* sink_;
  int available_ = 0;
  std::vector<int16_t> buffer_;
  std::vector<ScanListRow> rows_;
  std::vector<int16_t> listed_;
  std::optional<std::chrono::system_clock::time_point> listedAt_;
  std::atomic<bool> stop_{false};
  bool reading_ = false;
};

// "Save...": appends one block to the file (created if missing):
//   "\nSensor: %s \t Address: %d\n" with the serial number (at most 8
//   characters) and the address, "\nScan buffer: Size: %d\n" with the row
//   count, then "#%d:\t\t%s\n" per row, counting from 0, with the row's value
//   text (at most 63 characters).
// The block is written whole or not at all: if the disk fills up midway the
// file is cut back to its old length. False, with `error`, when the file
// could not be opened or written.
bool AppendScanExport(const std::string& path, const std::string& serialNumber, int32_t address,
                      const std::vector<ScanListRow>& rows, std::string* error = nullptr);
// The block's text.
std::string ScanExportBlock(const std::string& serialNumber, int32_t address,
                            const std::vector<ScanListRow>& rows);

// What a scan-buffer CSV says of itself in its commented head, so that a
// file found later tells which sensor, unit and time it holds.
struct ScanCsvSource {
  std::string model;         // display name
  std::string modelString;   // as the sensor reported it
  std::string serialNumber;
  std::optional<std::chrono::system_clock::time_point> readAt;  // none: no complete read
};

// "Save CSV...": commented lines ("# ") with the model, serial number, unit,
// time of the read (UTC, ISO 8601) and range count, a header line
// "Index,Raw,Range", and one line per range of a complete read: its index
// counted from 1 as the list does, the raw value and the range in the
// display units of `row` with the row's bare format (empty for "Out of
// Range"). The sensor's texts are shown printable, so none can end a
// comment line early.
std::string ScanCsvText(const std::vector<int16_t>& ranges, const RangeModeRow& row, const ScanCsvSource& source);
// Writes the CSV text to `path`, replacing it only once the whole text is
// written. False, with `error`, when it could not be written; an existing
// file then stays as it was.
bool WriteScanCsv(const std::string& path, const std::vector<int16_t>& ranges, const RangeModeRow& row,
                  const ScanCsvSource& source, std::string* error = nullptr);
