// tarkon-cli: identify, configure, watch and update a laser range sensor
// from a terminal or a script.

#include <cstdio>
#include <memory>
#include <string>

#include "tarkon/cli/cli_command_table.h"
#include "tarkon/cli/cli_commands.h"
#include "tarkon/cli/cli_options.h"
#include "tarkon/cli/cli_output.h"
#include "tarkon/cli/cli_session.h"
#include "tarkon/cli/fleet_commands.h"
#include "tarkon/cli/history_commands.h"
#include "tarkon/cli/params_commands.h"
#include "tarkon/fleet/fleet_tools.h"

namespace {

bool WantsJson(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") break;
    if (arg == "--json") return true;
  }
  return false;
}

// One line and a pointer to the help; with --json also the error object.
int UsageError(bool json, const std::string& message) {
  std::fprintf(stderr, "tarkon-cli: %s\n%s\n", message.c_str(), kUsageHint);
  if (json) PrintJson(ErrorJson(kExitUsage, message));
  return kExitUsage;
}

// Help for the command named, or the whole usage.
int Help(const std::string& command) {
  if (command.empty() || command == "help") {
    std::fputs(CliUsage().c_str(), stdout);
    return kExitOk;
  }
  const CliCommandSpec* row = FindCliCommand(command);
  if (row == nullptr) return UsageError(false, "unknown command \"" + command + "\"");
  std::fputs(CliCommandHelp(*row).c_str(), stdout);
  return kExitOk;
}

// What a run ends with on standard output under --json.
int Finish(const CliOptions& options, int status, const CliJson& json, const std::string& failure) {
  if (!options.json) return status;
  // A run whose only fault is the history it could not write has its result.
  if (status == kExitOk || status == kExitHistoryNotWritten) {
    if (!json.is_null()) PrintJson(json);
  } else if ((IsFleetCommand(options) || options.command == "upload") && json.is_object()) {
    // A fleet command's result stands also when it fails (a diff that found
    // differences, a restore that did not verify), and so does a failed
    // upload's (the flash lock, the blocks sent): one object with both.
    CliJson both = json;
    both["error"] = ErrorJson(status, failure.empty() ? "failed" : failure)["error"];
    PrintJson(both);
  } else {
    CliJson error = ErrorJson(status, failure.empty() ? "failed" : failure);
    if (json.is_object() && json.contains("history_not_written"))
      error["history_not_written"] = json["history_not_written"];
    PrintJson(error);
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  CliOptions options;
  std::string error;
  if (!ParseCliOptions(argc, argv, options, error)) return UsageError(WantsJson(argc, argv), error);
  if (options.version) {
    std::printf("%s\n", CliVersion());
    return kExitOk;
  }
  if (options.help) return Help(options.command);
  if (options.command == "help") return Help(options.arguments.empty() ? "" : options.arguments[0]);
  if (!CheckCommandUsage(options, error)) return UsageError(options.json, error);
  InstallInterruptHandler();
  CliJson json;
  if (options.command == "ports") {
    const int status = RunPortsCommand(options, json);
    return Finish(options, status, json, "");
  }
  if (options.command == "history") {
    std::string failure;
    const int status = RunHistoryCommand(options, json, failure);
    return Finish(options, status, json, failure);
  }
  if (IsBusRestore(options)) {
    std::string failure;
    const int status = RunBusRestoreCommand(options, json, failure);
    return Finish(options, status, json, failure);
  }
  if (IsOfflineCommand(options)) {
    std::string failure;
    const int status = RunEditCommand(options, json, failure);
    return Finish(options, status, json, failure);
  }
  if (options.command == "bus-scan") {
    std::string failure;
    const int status = EndWithTraceChecked(RunBusScanCommand(options, json, failure), failure);
    return Finish(options, status, json, failure);
  }

  fleet::OwnedProtocolTrace trace;
  if (!OpenTrace(options, trace, error)) return UsageError(options.json, error);

  CliSession session(options);
  AttachTrace(session, trace.get());
  if (!session.Open(error)) {
    session.Close();
    if (!error.empty()) return UsageError(options.json, error);
    // Under --json the error object carries the failure and its cause.
    const ConnectFailure& failure = session.doc().lastConnectFailure();
    const std::string message =
        failure.text.empty() ? session.lastError() : std::string(kCannotConnectLine) + " " + failure.text;
    return Finish(options, kExitFailed, json, message);
  }
  int status = RunSensorCommand(session, json);
  session.Close();
  status = WithUnwrittenHistory(session.doc(), status, json);
  std::string failure = session.lastError();
  status = EndWithTraceChecked(status, failure);
  return Finish(options, status, json, failure);
}
