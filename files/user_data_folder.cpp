#include "files/user_data_folder.h"

#include <cstdlib>

namespace files {

std::string UserDataFolder() {
  // A relative $XDG_DATA_HOME is to be ignored.
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return data;
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : ".") + "/.local/share";
}

}  // namespace files
