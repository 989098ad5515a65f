#include "tarkon/document/manufacturing_mode.h"

#include <cstring>

bool ManufacturingModeFromCommandLine(const char* commandLine) {
  // strncmp stops at the first NUL, so a shorter text is never read past
  // its end; comparing 5 bytes takes in the switch's terminating NUL.
  return commandLine != nullptr && std::strncmp(commandLine, kManufacturingSwitch, 5) == 0;
}

bool ManufacturingModeFromArguments(int argc, const char* const* argv) {
  return argc == 2 && argv != nullptr && ManufacturingModeFromCommandLine(argv[1]);
}
