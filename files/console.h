#pragma once
// The console a command-line program runs in: whether a stream is a
// terminal (so a question may be asked, a progress bar drawn), and the
// interrupt keys (Ctrl+C; on POSIX also SIGTERM) routed to a handler that
// does not restart an interrupted wait. POSIX or Win32 behind one
// interface, so the programs above need no platform calls of their own.

#include <cstdio>

namespace files {

bool IsTerminal(std::FILE* stream);
bool StandardInputIsTerminal();

// `handler` runs on an interrupt (it may only set atomics). A broken pipe
// is ignored, so a closed reader shows as a failed write.
void InstallInterruptHandler(void (*handler)(int));

}  // namespace files
