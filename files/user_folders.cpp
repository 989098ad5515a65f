#include "files/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace files {

std::string ExecutableDirectory() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return std::string();
  const std::string path(buffer, static_cast<size_t>(n));
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return std::string();
  return path.substr(0, slash + 1);
}

bool DirectoryWritable(const std::string& dir) { return access(dir.c_str(), W_OK | X_OK) == 0; }

bool InstalledProgramDirectory(const std::string& dir) {
  return dir.rfind("/usr/", 0) == 0 || dir.rfind("/opt/", 0) == 0 || dir.rfind("/bin/", 0) == 0;
}

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  if (const struct passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
  return home != nullptr ? home : std::string();
}

std::string PerUserFolder(const char* xdgConfigHome, const char* home, const std::string& program) {
  // Relative values of these variables are to be ignored.
  if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') return std::string(xdgConfigHome) + "/" + program + "/";
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.config/" + program + "/";
  return std::string();
}

}  // namespace files
