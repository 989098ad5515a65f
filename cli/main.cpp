// tarkon-cli: identify, configure, watch and update a laser range sensor
// from a terminal or a script.

#include <cstdio>
#include <memory>
#include <string>

#include "cli/cli_commands.h"
#include "cli/cli_options.h"
#include "cli/cli_session.h"
#include "cli/fleet_commands.h"
#include "protocol/protocol_trace.h"

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
  if (!CheckCommandUsage(options, error)) {
    std::fprintf(stderr, "tarkon-cli: %s\n\n%s", error.c_str(), CliUsage());
    return kExitUsage;
  }
  InstallInterruptHandler();
  if (options.command == "ports") return RunPortsCommand(options);
  if (options.command == "bus-scan") return RunBusScanCommand(options);

  std::unique_ptr<ProtocolTrace> trace;
  if (!OpenTrace(options, trace, error)) {
    std::fprintf(stderr, "tarkon-cli: %s\n", error.c_str());
    return kExitUsage;
  }
  CliSession session(options);
  AttachTrace(session, trace.get());
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
