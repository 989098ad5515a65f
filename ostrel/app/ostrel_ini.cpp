#include "ostrel/app/ostrel_ini.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <vector>

#include "files/atomic_file_writer.h"
#include "files/bounded_file_reader.h"
#include "files/user_folders.h"
#include "ostrel/link/port_map.h"

namespace ostrel {
namespace {

// The file is a few lines; the cap of tarkon.ini keeps a stray huge file
// from being read whole (and then written back).
constexpr size_t kMaxIniSize = 4 * 1024 * 1024;

// Control characters other than tab and line ends: no ini file a person
// wrote, and nothing to rewrite line by line.
bool LooksBinary(const std::string& text) {
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\t' && c != '\r' && c != '\n') || u == 0x7F) return true;
  }
  return false;
}

// The file's lines. False with `problem` when a file is there that is not
// read as settings (a link, not a regular file, too large, binary, not
// readable); a missing file is no problem and has no lines.
bool Lines(const std::string& path, std::vector<std::string>* lines, std::string* problem) {
  lines->clear();
  // A link is not followed: the file it points to is not ours to rewrite.
  const files::FileContent file = files::ReadBoundedFile(path, kMaxIniSize, files::LinkPolicy::kRefuse);
  if (file.status == files::ReadStatus::kMissing) return true;
  std::string reason = file.reason;
  if (file.ok() && LooksBinary(file.content)) reason = "not a text file";
  if (!reason.empty()) {
    if (problem != nullptr) {
      *problem = path + " is not read as settings (" + reason + "); it is left as it is and the defaults are used";
    }
    return false;
  }
  std::istringstream in(file.content);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines->push_back(line);
  }
  return true;
}

bool WriteWhole(const std::string& path, const std::string& text, std::string* error) {
  std::string reason;
  if (files::WriteFileAtomically(path, text, &reason)) return true;
  if (error != nullptr) *error = reason;
  return false;
}

std::string SectionOf(const std::string& line) {
  if (line.empty() || line[0] != '[') return std::string();
  const size_t close = line.rfind(']');
  return line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
}

// Sets key=value in the section, adding the key (and the section) if need be.
void Set(std::vector<std::string>& lines, const std::string& section, const std::string& key,
         const std::string& value) {
  bool in = false;
  size_t insertAt = std::string::npos;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!lines[i].empty() && lines[i][0] == '[') {
      if (in) break;
      in = SectionOf(lines[i]) == section;
      if (in) insertAt = i + 1;
      continue;
    }
    if (!in) continue;
    if (lines[i].rfind(key + "=", 0) == 0) {
      lines[i] = key + "=" + value;
      return;
    }
    if (!lines[i].empty()) insertAt = i + 1;
  }
  if (insertAt == std::string::npos) {
    lines.push_back("[" + section + "]");
    insertAt = lines.size();
  }
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), key + "=" + value);
}

int IntegerOr(const std::string& text, int fallback) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || end == nullptr || *end != '\0' || value < -2147483647L || value > 2147483647L) return fallback;
  return static_cast<int>(value);
}

}  // namespace

std::string OstrelIni::ChoosePath(const std::string& programDirectory, const char* xdgConfigHome, const char* home,
                                  bool* perUser) {
  if (perUser != nullptr) *perUser = false;
  // An installed program (a package puts it under /usr, /opt or /bin) keeps
  // the file per user even when its directory is writable (by root): one
  // user's settings must not become everyone's.
  const auto under = [&programDirectory](const char* root) {
    const std::string prefix = root;
    return programDirectory == prefix || programDirectory.rfind(prefix + "/", 0) == 0;
  };
  const bool installed = under("/usr") || under("/opt") || under("/bin");
  if (!installed && !programDirectory.empty() && files::DirectoryWritable(programDirectory))
    return programDirectory + "/" + kFileName;
  if (perUser != nullptr) *perUser = true;
  std::string base;
  if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') {
    base = xdgConfigHome;
  } else {
    base = std::string(home != nullptr ? home : "/tmp") + "/.config";
  }
  std::error_code ec;
  std::filesystem::create_directories(base + "/ostrel", ec);
  return base + "/ostrel/" + kFileName;
}

bool OstrelIni::CreateIfMissing(std::string* error) const {
  // Anything at the name, even a link that leads nowhere, is not replaced.
  std::error_code ec;
  const std::filesystem::file_type there = std::filesystem::symlink_status(path_, ec).type();
  if (there != std::filesystem::file_type::not_found && there != std::filesystem::file_type::none) return true;
  return WriteWhole(path_,
                    "[CommPort]\r\nPort=1\r\n[BaudRate]\r\nBaud=57600\r\n[InitString]\r\nCommand=ATS11=80LX1DT\r\n",
                    error);
}

std::string OstrelIni::Problem() const {
  std::vector<std::string> lines;
  std::string problem;
  Lines(path_, &lines, &problem);
  return problem;
}

IniValues OstrelIni::Read() const {
  IniValues values;
  std::vector<std::string> lines;
  if (!Lines(path_, &lines, nullptr)) return values;
  std::string section;
  for (const std::string& line : lines) {
    if (!line.empty() && line[0] == '[') {
      section = SectionOf(line);
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    if (section == "CommPort" && key == "Port") values.port = IntegerOr(value, 1);
    if (section == "CommPort" && key == "Device") values.device = value;
    if (section == "BaudRate" && key == "Baud") values.baud = IntegerOr(value, 57600);
  }
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  values.portMap = ParsePortMap(text);
  return values;
}

bool OstrelIni::Write(int port, int baud, const std::string& device, std::string* error) const {
  std::vector<std::string> lines;
  std::string problem;
  if (!Lines(path_, &lines, &problem)) {
    if (error != nullptr) *error = problem;
    return false;  // never replace a file that is not read as settings
  }
  Set(lines, "CommPort", "Port", std::to_string(port));
  Set(lines, "BaudRate", "Baud", std::to_string(baud));
  bool hadDevice = false;
  for (const std::string& line : lines) hadDevice = hadDevice || line.rfind("Device=", 0) == 0;
  if (!device.empty() || hadDevice) Set(lines, "CommPort", "Device", device);
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return WriteWhole(path_, text, error);
}

}  // namespace ostrel
