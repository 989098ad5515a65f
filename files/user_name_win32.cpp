#include "files/user_name.h"

#include <windows.h>

#include <cstdlib>

namespace files {

namespace {

std::string Utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size - 1));
  return out;
}

}  // namespace

std::string CurrentUserName() {
  wchar_t name[257];  // UNLEN + 1
  DWORD size = sizeof name / sizeof name[0];
  if (GetUserNameW(name, &size) != 0) {
    std::string user = Utf8(name);
    if (!user.empty()) return user;
  }
  const char* user = std::getenv("USERNAME");
  return user != nullptr ? user : std::string();
}

}  // namespace files
