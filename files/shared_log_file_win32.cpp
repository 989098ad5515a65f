#include "files/shared_log_file.h"

#include <windows.h>

#include <string>

namespace files {

namespace {

std::wstring Wide(const std::string& text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  if (size <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), size);
  out.resize(static_cast<size_t>(size - 1));
  return out;
}

std::string SystemText(DWORD error) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = n > 0 && text != nullptr ? std::string(text, n) : "error " + std::to_string(error);
  if (text != nullptr) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.')) out.pop_back();
  return out;
}

// Opens `path` for `access`, refusing a link or junction (the reparse
// point itself is opened, never followed) and anything that is not a
// regular disk file; INVALID_HANDLE_VALUE with the reason.
HANDLE OpenRegular(const std::string& path, DWORD access, DWORD creation, std::string* error) {
  const std::wstring wide = Wide(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      *error = "is a symbolic link";
      return INVALID_HANDLE_VALUE;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      *error = "is a directory";
      return INVALID_HANDLE_VALUE;
    }
  }
  const HANDLE file = CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, creation, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = SystemText(GetLastError());
    return file;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(file) != FILE_TYPE_DISK || GetFileInformationByHandle(file, &info) == 0 ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    *error = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? "is a directory" : "is not a regular file";
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

long long SizeOf(HANDLE file) {
  LARGE_INTEGER size{};
  return GetFileSizeEx(file, &size) != 0 ? size.QuadPart : -1;
}

}  // namespace

bool MakeFolders(const std::string& folder, std::string* error) {
  for (size_t slash = folder.find_first_of("/\\", 1);; slash = folder.find_first_of("/\\", slash + 1)) {
    const std::string part = slash == std::string::npos ? folder : folder.substr(0, slash);
    // "C:" and "\\server\share" are no folders to create.
    const bool root = part.empty() || part.back() == ':' || part.rfind("\\\\", 0) == 0 || part.rfind("//", 0) == 0;
    if (!root && CreateDirectoryW(Wide(part).c_str(), nullptr) == 0 &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      *error = "cannot create " + part + ": " + SystemText(GetLastError());
      return false;
    }
    if (slash == std::string::npos) return true;
  }
}

bool AppendWholeLine(const std::string& path, const std::string& text, std::string* error) {
  // Append-only access (no FILE_WRITE_DATA): every write goes to the end
  // of the file in one piece, whoever else appends at the same time. Read
  // access too: the last byte is looked at below.
  const HANDLE file = OpenRegular(path, FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  OPEN_ALWAYS, error);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string line = text;
  const long long size = SizeOf(file);
  if (size > 0) {
    // A line left unfinished by a crash before us would swallow ours.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<unsigned long long>(size - 1) & 0xffffffffu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<unsigned long long>(size - 1) >> 32);
    char last = '\n';
    DWORD got = 0;
    if (ReadFile(file, &last, 1, &got, &at) != 0 && got == 1 && last != '\n') line.insert(line.begin(), '\n');
  }
  DWORD written = 0;
  bool ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) != 0 &&
            written == line.size();
  if (!ok) {
    *error = written == 0 ? SystemText(GetLastError()) : "the disk took only part of the line (full?)";
    // With append-only access the part line cannot be cut off here; the
    // reader skips it.
    if (written > 0) *error += "; the part line stays (the reader skips it)";
  }
  if (CloseHandle(file) == 0 && ok) {
    *error = SystemText(GetLastError());
    ok = false;
  }
  return ok;
}

LogFileReader::~LogFileReader() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool LogFileReader::Open(const std::string& path, std::string* error) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES &&
      (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND)) {
    missing_ = true;
    return true;
  }
  const HANDLE file = OpenRegular(path, GENERIC_READ, OPEN_EXISTING, error);
  if (file == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<intptr_t>(file);
  return true;
}

long LogFileReader::ReadPiece(std::string& piece, size_t maxBytes, std::string* error) {
  piece.clear();
  if (handle_ == -1) return 0;
  piece.resize(maxBytes);
  DWORD n = 0;
  if (ReadFile(reinterpret_cast<HANDLE>(handle_), piece.data(), static_cast<DWORD>(maxBytes), &n, nullptr) == 0) {
    *error = SystemText(GetLastError());
    piece.clear();
    return -1;
  }
  piece.resize(n);
  return static_cast<long>(n);
}

}  // namespace files
