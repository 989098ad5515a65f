#include "files/file_target.h"

#include <windows.h>

#include <cerrno>
#include <cstring>

namespace files {

std::string ErrorText(int error) { return std::strerror(error); }

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  if (slash == 0) return path.substr(0, 1);
  // "C:\name": the folder is the drive's root, with its separator.
  if (slash == 2 && path[1] == ':') return path.substr(0, 3);
  return path.substr(0, slash);
}

bool CheckWritableTarget(const std::string& path, std::string* reason) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
    *reason = ErrorText(error == ERROR_ACCESS_DENIED ? EACCES : EIO);
    return false;
  }
  const DWORD attributes = data.dwFileAttributes;
  // A symbolic link or a junction is a reparse point: it could point
  // anywhere.
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    *reason = "is a symbolic link";
  } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    *reason = "is a directory";
  } else if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
    *reason = "is a device";
  } else if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    *reason = "is read-only";
  } else {
    return true;
  }
  return false;
}

}  // namespace files
