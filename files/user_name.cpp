#include "files/user_name.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace files {

std::string CurrentUserName() {
  // getpwuid_r, not getpwuid: the lines of a fleet apply record their
  // writes from threads of their own at the same time, and getpwuid hands
  // every caller the same static entry.
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_name != nullptr)
    return found->pw_name;
  const char* user = std::getenv("USER");
  return user != nullptr ? user : std::to_string(getuid());
}

}  // namespace files
