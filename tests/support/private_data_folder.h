#pragma once
// Every write the engine makes to a (virtual) sensor goes to the change
// history in $XDG_DATA_HOME: a test program points that at a folder of its
// own, so tests never add lines to the history of the user who runs them.
// Tests that look at the history set their own folder on top.

#include <cstdlib>
#include <filesystem>
#include <string>

inline void UsePrivateDataFolder() {
#ifndef _WIN32  // the Windows build runs only tests that write no history
  static std::string folder;
  char pattern[] = "/tmp/lrs-test-data-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return;
  folder = pattern;
  setenv("XDG_DATA_HOME", folder.c_str(), 1);
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  });
#endif
}
