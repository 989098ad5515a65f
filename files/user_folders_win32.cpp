#include "files/user_folders.h"

#include <windows.h>

#include <cstdlib>

namespace files {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

bool StartsWithFolder(const std::string& path, const std::string& folder) {
  if (folder.empty() || path.size() <= folder.size()) return false;
  return CompareStringOrdinal(std::wstring(path.begin(), path.begin() + static_cast<long>(folder.size())).c_str(),
                              -1, std::wstring(folder.begin(), folder.end()).c_str(), -1, TRUE) == CSTR_EQUAL &&
         (path[folder.size()] == '\\' || path[folder.size()] == '/');
}

}  // namespace

std::string ExecutableDirectory() {
  char buffer[MAX_PATH * 2] = {};
  const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return std::string();
  const std::string path(buffer, n);
  const size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return std::string();
  return path.substr(0, slash + 1);
}

bool DirectoryWritable(const std::string& dir) {
  // Only creating a file tells: folder permissions on Windows are access
  // lists, and virtualisation may redirect a write elsewhere.
  char path[MAX_PATH * 2] = {};
  if (GetTempFileNameA(dir.c_str(), "lrs", 0, path) == 0) return false;
  DeleteFileA(path);
  return true;
}

bool InstalledProgramDirectory(const std::string& dir) {
  return StartsWithFolder(dir, Environment("ProgramFiles")) || StartsWithFolder(dir, Environment("ProgramFiles(x86)")) ||
         StartsWithFolder(dir, Environment("ProgramW6432"));
}

std::string HomeDirectory() { return std::string(); }

std::string PerUserFolder(const char*, const char*, const std::string& program) {
  const std::string appData = Environment("APPDATA");
  if (appData.empty()) return std::string();
  return appData + "\\" + program + "\\";
}

}  // namespace files
