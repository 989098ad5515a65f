#pragma once
// A file dropped on the window: what kind it is and what may be done with
// it now. A settings backup (the file "tarkon-cli backup" and "Save Sensor
// Settings..." write) opens the restore's difference table; a firmware
// image (".bin" or ".cal") opens the upload of manufacturing mode; anything
// else is refused, and every refusal says why in words for the technician.
//
// The file is read as a regular file within a size cap (never a FIFO, a
// device or a directory), so a drop cannot hold the window up.

#include <string>
#include <vector>

#include "tarkon/fleet/settings_backup.h"

class CKRV02Doc;

namespace fleet {

enum class DroppedKind { kRefused, kBackup, kFirmware };

struct DroppedFile {
  DroppedKind kind = DroppedKind::kRefused;
  std::string path;
  // kBackup: the parsed backup.
  SensorBackup backup;
  // kFirmware: the upload kind its name and size suggest (kUploadFPGA,
  // kUploadDSP, kUploadCalibration), or -1 when the technician chooses.
  int uploadKind = -1;
  // kRefused: why.
  std::string refusal;
};

// Reads and judges the file at `path`.
DroppedFile ExamineDroppedFile(const std::string& path);

// What a drop of several items (or of something that is no local file) is
// refused with; empty when `localPaths` is one path and `others` is 0.
std::string DropRefusal(const std::vector<std::string>& localPaths, int others);

// Why the examined file cannot be opened now (not connected, a transfer on
// the line, firmware outside manufacturing mode); empty when it can.
std::string DroppedFileUnavailable(const CKRV02Doc& doc, const DroppedFile& file);

}  // namespace fleet
