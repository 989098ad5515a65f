#include "files/user_data_folder.h"

#include <cstdlib>

namespace files {

std::string UserDataFolder() {
  // The local (not roaming) application data: histories and backups belong
  // to this machine's sensors.
  const char* local = std::getenv("LOCALAPPDATA");
  if (local != nullptr && local[0] != '\0') return local;
  return ".";
}

}  // namespace files
