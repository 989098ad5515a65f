// tarkon-cli: identify, configure, watch and update a laser range sensor
// from a terminal or a script.

#include <cstdio>
#include <string>

#include "cli/cli_commands.h"
#include "cli/cli_options.h"
#include "cli/cli_session.h"

int main(int argc, char** argv) {
  CliOptions options;
  std::string error;
  if (!ParseCliOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "tarkon-cli: %s\n\n%s", error.c_str(), CliUsage());
    return kExitUsage;
  }
  if (options.command == "help") {
    std::fputs(CliUsage(), stdout);
    return kExitOk;
  }
  if (options.command == "version") {
    std::printf("tarkon-cli %s\n", LRS_VERSION);
    return kExitOk;
  }
  if (!CheckCommandUsage(options, error)) {
    std::fprintf(stderr, "tarkon-cli: %s\n\n%s", error.c_str(), CliUsage());
    return kExitUsage;
  }
  InstallInterruptHandler();
  if (options.command == "ports") return RunPortsCommand(options);

  CliSession session(options);
  if (!session.Open(error)) {
    if (!error.empty()) {
      std::fprintf(stderr, "tarkon-cli: %s\n", error.c_str());
      return kExitUsage;
    }
    return kExitFailed;
  }
  const int status = RunSensorCommand(session);
  session.Close();
  return status;
}
