#pragma once
// Where a program keeps its settings: beside itself when that folder can be
// written and is not one an installer put it in, else in the user's own
// configuration folder. The platform's answers to the questions that
// choice asks.

#include <string>

namespace files {

// Folder of the running program, ending in its separator; empty if unknown.
std::string ExecutableDirectory();
// This user may create files in `dir`.
bool DirectoryWritable(const std::string& dir);
// `dir` is where a package or installer puts programs (/usr, /opt, /bin;
// on Windows the Program Files folders): settings there stay per user
// even when the folder is writable.
bool InstalledProgramDirectory(const std::string& dir);
// The user's home: $HOME when absolute, else the account's home; empty
// when unknown (and on Windows, which uses PerUserFolder's own source).
std::string HomeDirectory();
// The per-user folder of `program`, ending in its separator; empty when
// there is none. POSIX: $XDG_CONFIG_HOME/program/ when that is absolute,
// else HOME/.config/program/ when `home` is absolute (the arguments are
// those values, null when unset). Windows: %APPDATA%\program\.
std::string PerUserFolder(const char* xdgConfigHome, const char* home, const std::string& program);

}  // namespace files
