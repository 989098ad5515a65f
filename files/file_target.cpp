#include "files/file_target.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace files {

std::string ErrorText(int error) { return std::strerror(error); }

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool CheckWritableTarget(const std::string& path, std::string* reason) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return true;
    *reason = ErrorText(errno);
    return false;
  }
  if (S_ISLNK(st.st_mode)) {
    *reason = "is a symbolic link";
  } else if (S_ISDIR(st.st_mode)) {
    *reason = "is a directory";
  } else if (S_ISFIFO(st.st_mode)) {
    *reason = "is a FIFO";
  } else if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
    *reason = "is a device";
  } else if (!S_ISREG(st.st_mode)) {
    *reason = "is not a regular file";
  } else if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(path.c_str(), W_OK) != 0) {
    // Root may write anything; a file without write permission is still
    // one its owner protected.
    *reason = "is read-only";
  } else {
    return true;
  }
  return false;
}

}  // namespace files
