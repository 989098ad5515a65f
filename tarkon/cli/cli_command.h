#pragma once
// One command of tarkon-cli as its table row describes it (the table
// itself: cli_command_table.h), and what can be asked of a list of rows.

#include <string>
#include <vector>

class CliRun;
struct CliOptions;

// What the shell completes for one argument of a command.
struct CliArgumentCompletion {
  enum class Kind { kNothing, kWords, kFile, kCommand };
  Kind kind = Kind::kNothing;
  std::string pattern = std::string();  // kFile: the extension or bash pattern ("json", "@(pdf|html)"); empty for any file
};

struct CliCommand {
  std::string name;
  std::string arguments;  // usage of the arguments, e.g. "NAME VALUE"
  int minArgs = 0;
  int maxArgs = 0;
  bool manufacturing = false;
  // Words the first argument takes, matched in any case (empty: any text).
  std::vector<std::string> words;
  // The options that belong to this command alone (names of the option
  // table); an option that no row names belongs to every command.
  std::vector<std::string> options;
  std::string summary;  // one line for the usage
  std::string help;     // what `help COMMAND` and the man page add
  std::vector<CliArgumentCompletion> completion;  // one per argument position
  // Under --json the command's result object stands also when it fails (a
  // diff that found differences, a restore that did not verify), with the
  // error beside it.
  bool resultOnFailure = false;
  // Further checks of the arguments before anything is opened (may be
  // null): false with a one-line message.
  bool (*check)(const CliOptions& options, std::string& error) = nullptr;
  // Runs the command; returns the exit status.
  int (*run)(CliRun& run) = nullptr;
};

// The row of a command in `commands` (its name in any case), or null.
const CliCommand* FindCommand(const std::vector<CliCommand>& commands, const std::string& name);
// The commands of `commands` an option belongs to; empty for an option of
// every command.
std::vector<const CliCommand*> CommandsOfOption(const std::vector<CliCommand>& commands, const std::string& option);
