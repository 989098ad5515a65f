#include "files/console.h"

#include <io.h>

#include <csignal>

namespace files {
namespace {

void (*g_handler)(int) = nullptr;

// The C runtime resets a handler to the default once it has run: it is
// armed again before the program's handler runs, so a second Ctrl+C
// reaches it too.
void Rearm(int sig) {
  std::signal(sig, Rearm);
  if (g_handler != nullptr) g_handler(sig);
}

}  // namespace

bool IsTerminal(std::FILE* stream) { return stream != nullptr && _isatty(_fileno(stream)) != 0; }

bool StandardInputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

void InstallInterruptHandler(void (*handler)(int)) {
  // The C runtime delivers Ctrl+C and Ctrl+Break as SIGINT and SIGBREAK;
  // Windows has no broken-pipe signal.
  g_handler = handler;
  std::signal(SIGINT, Rearm);
  std::signal(SIGBREAK, Rearm);
}

}  // namespace files
