#include "files/user_name.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace files {

std::string CurrentUserName() {
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_name != nullptr)
    return entry->pw_name;
  const char* user = std::getenv("USER");
  return user != nullptr ? user : std::to_string(getuid());
}

}  // namespace files
