#include "files/bounded_file_reader.h"

#include <windows.h>

#include <cerrno>

#include "files/file_target.h"

namespace files {
namespace {

FileContent Refused(ReadStatus status, std::string reason) {
  FileContent result;
  result.status = status;
  result.reason = std::move(reason);
  return result;
}

std::string TooLarge(unsigned long long size, size_t maxBytes) {
  return "too large (" + std::to_string(size) + " bytes, at most " + std::to_string(maxBytes) + ")";
}

FileContent OpenFailure(DWORD error) {
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    return Refused(ReadStatus::kMissing, "no such file");
  }
  return Refused(ReadStatus::kFailed, ErrorText(error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION
                                                    ? EACCES
                                                    : EIO));
}

}  // namespace

FileContent ReadBoundedFile(const std::string& path, size_t maxBytes, LinkPolicy links) {
  // Looked at before opening: a device name (COM1, NUL) is never opened.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return OpenFailure(GetLastError());
  const DWORD attributes = data.dwFileAttributes;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && links == LinkPolicy::kRefuse) {
    return Refused(ReadStatus::kLink, "is a symbolic link");
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Refused(ReadStatus::kNotRegular, "is a directory");
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return Refused(ReadStatus::kNotRegular, "is a device");

  const DWORD flags = links == LinkPolicy::kRefuse ? FILE_FLAG_OPEN_REPARSE_POINT : 0;
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
  if (file == INVALID_HANDLE_VALUE) return OpenFailure(GetLastError());
  FileContent result;
  // The name may have been swapped since: check again what was opened.
  LARGE_INTEGER size{};
  if (GetFileType(file) != FILE_TYPE_DISK) {
    result = Refused(ReadStatus::kNotRegular, "is a device");
  } else if (!GetFileSizeEx(file, &size)) {
    result = Refused(ReadStatus::kFailed, ErrorText(EIO));
  } else if (static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
    result = Refused(ReadStatus::kTooLarge, TooLarge(static_cast<unsigned long long>(size.QuadPart), maxBytes));
  } else {
    result.status = ReadStatus::kOk;
    result.content.reserve(static_cast<size_t>(size.QuadPart));
    char buffer[16384];
    for (;;) {
      DWORD n = 0;
      if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
        result = Refused(ReadStatus::kFailed, ErrorText(EIO));
        break;
      }
      if (n == 0) break;
      // A file that grows while we read is cut off at the cap, not read on.
      if (result.content.size() + n > maxBytes) {
        result = Refused(ReadStatus::kTooLarge, "too large (more than " + std::to_string(maxBytes) +
                                                    " bytes, at most " + std::to_string(maxBytes) + ")");
        break;
      }
      result.content.append(buffer, n);
    }
  }
  CloseHandle(file);
  return result;
}

}  // namespace files
