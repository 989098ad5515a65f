#pragma once
// The per-user folder for data a program keeps (its change history, its
// automatic backups), without a trailing separator; the programs add their
// own folder under it.

#include <string>

namespace files {

// POSIX: $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share
// ($HOME as it is set; "." when it is not). Windows: %LOCALAPPDATA%, else
// "." when it is not set.
std::string UserDataFolder();

}  // namespace files
