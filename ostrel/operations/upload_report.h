#pragma once
// What one firmware upload did, from the question to the comparison of the
// settings afterwards: the log lines, the result the window keeps on screen
// and the offer to restore come from it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ostrel/operations/operations.h"
#include "ostrel/operations/settings_backup.h"

namespace ostrel {

struct Operations::UploadReport {
  enum class Outcome { kNothingSent, kCompleted, kFailed, kStopped };

  // The file and its kind.
  std::string fileName;
  size_t size = 0;
  uint16_t crc = 0;  // CRC-16/XMODEM of the file
  std::string kind;

  // The settings saved first.
  SensorBackup backup;
  bool haveBackup = false;
  std::string backupPath;
  std::string backupNote;  // why there is no backup

  // The transfer.
  Outcome outcome = Outcome::kNothingSent;
  bool transferred = false;  // blocks went out: the sensor may have changed
  std::string status;        // the status line's text at the end
  std::string meaning;       // what the outcome means for the sensor
  std::string happened;      // what ended the transfer on the line, when it failed
  std::string toDo;          // what the technician does next, likewise
  size_t blocksSent = 0;
  size_t blocksTotal = 0;
  int retries = 0;
  double seconds = 0;

  // Afterwards.
  std::string firmwareBefore;
  std::string firmwareAfter;
  bool identityRead = false;
  bool compared = false;
  std::string compareNote;  // why the settings were not compared
  std::vector<SettingDifference> differences;
};

// "Upload started: code.bin, 2560 bytes, CRC-16 0x1A2B (DSP)"
std::string UploadStartLine(const Operations::UploadReport& report);
// "Upload completed: 20 of 20 blocks, 0 retries, 1.4 s" and the like.
std::string UploadResultLine(const Operations::UploadReport& report);
// "firmware 4.20C -> 4.21C"
std::string FirmwareChangeText(const Operations::UploadReport& report);
// The lines the window keeps on screen at the end.
std::vector<std::string> UploadResultLines(const Operations::UploadReport& report);
// The question that offers to put the saved settings back (default No).
std::string RestoreQuestion(const Operations::UploadReport& report);

}  // namespace ostrel
