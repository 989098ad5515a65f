#include "tarkon/fleet/dropped_file.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>

#include "files/bounded_file_reader.h"
#include "tarkon/document/firmware_upload.h"
#include "tarkon/document/krv02_doc.h"
#include "tarkon/fleet/fleet_tools.h"

namespace fleet {

namespace {

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The extension in lower case, with its dot ("" without one).
std::string Extension(const std::string& path) {
  const std::string name = BaseName(path);
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return "";
  std::string ext = name.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

// Whether the text is a JSON object that calls itself a settings backup:
// such a file is judged as one, and a fault in it is told, not hidden
// behind "unknown file".
bool CallsItselfBackup(const std::string& text) {
  const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
  if (document.is_discarded() || !document.is_object()) return false;
  const auto format = document.find("format");
  return format != document.end() && format->is_string() && format->get<std::string>() == kBackupFormat;
}

DroppedFile Refused(const std::string& path, std::string why) {
  DroppedFile file;
  file.path = path;
  file.refusal = std::move(why);
  return file;
}

constexpr char kConnectFirst[] = "Connect to a sensor first: ";
constexpr char kLineHeld[] = "A transfer holds the line: drop the file again when it has ended.";

}  // namespace

DroppedFile ExamineDroppedFile(const std::string& path) {
  const std::string name = BaseName(path);
  // The largest kind the window opens: a firmware image.
  const files::FileContent content = files::ReadBoundedFile(path, kUploadMaxFileSize);
  if (!content.ok()) return Refused(path, name + " cannot be opened: " + content.reason + ".");
  if (content.content.empty()) return Refused(path, name + " is empty.");

  const std::string ext = Extension(path);
  if (ext == ".bin" || ext == ".cal") {
    DroppedFile file;
    file.kind = DroppedKind::kFirmware;
    file.path = path;
    const size_t size = content.content.size();
    if (ext == ".cal") file.uploadKind = kUploadCalibration;
    else if (UploadSizeUsual(kUploadFPGA, size)) file.uploadKind = kUploadFPGA;
    else if (UploadSizeUsual(kUploadDSP, size)) file.uploadKind = kUploadDSP;
    return file;
  }

  if (content.content.size() <= kMaxBackupFileSize && CallsItselfBackup(content.content)) {
    DroppedFile file;
    file.path = path;
    std::string error;
    if (!ParseBackup(content.content, file.backup, error)) {
      return Refused(path, name + " is a settings backup that cannot be restored: " + error + ".");
    }
    file.kind = DroppedKind::kBackup;
    return file;
  }
  return Refused(path, name +
                           " is neither a settings backup (the file \"tarkon-cli backup\" and \"Save Sensor "
                           "Settings...\" write) nor a firmware image (.bin or .cal), so Tarkon cannot open it.");
}

std::string DropRefusal(const std::vector<std::string>& localPaths, int others) {
  if (localPaths.empty() && others == 0) return "Nothing was dropped.";
  if (localPaths.empty()) return "Only a file on this computer can be opened by dropping it on the window.";
  if (localPaths.size() + static_cast<size_t>(others) > 1) return "Drop one file at a time.";
  return "";
}

std::string DroppedFileUnavailable(const CKRV02Doc& doc, const DroppedFile& file) {
  switch (file.kind) {
    case DroppedKind::kRefused: return file.refusal;
    case DroppedKind::kBackup:
      if (IsToolAvailable(doc, FleetTool::kRestoreSettings)) return "";
      if (doc.LineBusy()) return kLineHeld;
      return std::string(kConnectFirst) + "a settings backup is compared with the connected sensor before anything "
                                          "is restored.";
    case DroppedKind::kFirmware:
      if (doc.IsAvailable(DocCommand::kUpload)) return "";
      if (!doc.manufacturingMode()) {
        return "Firmware images are uploaded in manufacturing mode only (start Tarkon with -QZX).";
      }
      if (doc.LineBusy()) return kLineHeld;
      return std::string(kConnectFirst) + "the firmware image is uploaded to the connected sensor.";
  }
  return file.refusal;
}

}  // namespace fleet
