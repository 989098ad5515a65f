// tarkon-cli: identify, configure, watch and update a laser range sensor
// from a terminal or a script.

#include <cstdio>
#include <string>

#include "tarkon/cli/cli_command_table.h"
#include "tarkon/cli/cli_help.h"
#include "tarkon/cli/cli_options.h"
#include "tarkon/cli/cli_output.h"
#include "tarkon/cli/cli_run.h"
#include "tarkon/cli/cli_usage_check.h"

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

// What a run ends with on standard output under --json.
int Finish(const CliOptions& options, const CliCommand& command, int status, const CliJson& json,
           const std::string& failure) {
  if (!options.json) return status;
  // A run whose only fault is the history it could not write has its result.
  if (status == kExitOk || status == kExitHistoryNotWritten) {
    if (!json.is_null()) PrintJson(json);
  } else if (command.resultOnFailure && json.is_object()) {
    // The result stands also when the command fails (a diff that found
    // differences, a restore that did not verify, an upload whose flash
    // lock was not confirmed): one object with both.
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
  // The command's name in any case.
  const CliCommand* command = FindCliCommand(options.command);
  if (command != nullptr) options.command = command->name;
  if (options.help) {
    if (options.command.empty()) {
      std::fputs(CliUsage(CliCommandTable()).c_str(), stdout);
      return kExitOk;
    }
    if (command == nullptr) return UsageError(false, "unknown command \"" + options.command + "\"");
    std::fputs(CliCommandHelp(*command).c_str(), stdout);
    return kExitOk;
  }
  if (command == nullptr) return UsageError(options.json, "unknown command \"" + options.command + "\"");
  if (!CheckCommandUsage(options, *command, error)) return UsageError(options.json, error);

  InstallInterruptHandler();
  CliRun run(options);
  const int status = run.End(command->run(run));
  if (run.usageError()) return UsageError(options.json, run.failure());
  return Finish(options, *command, status, run.json(), run.failure());
}
