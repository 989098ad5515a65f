#pragma once
// Whether a path may be (re)written by us. A file we are about to replace or
// append to must be a plain file that its owner left writable, or not exist
// yet: a symbolic link could point anywhere (writing would change the file
// it points to, replacing it would turn the link into a file), a FIFO or a
// device would block or swallow the output, and a read-only file is one the
// user protected.

#include <string>

namespace files {

// True when `path` does not exist or is a writable regular file. Otherwise
// false with `reason` (no path in it), for example "is a symbolic link",
// "is a directory", "is a FIFO", "is a device", "is read-only".
bool CheckWritableTarget(const std::string& path, std::string* reason);

// The folder holding `path` ("." for a bare name).
std::string DirectoryOf(const std::string& path);

// "strerror(error)" as one text, for reasons built from errno.
std::string ErrorText(int error);

}  // namespace files
