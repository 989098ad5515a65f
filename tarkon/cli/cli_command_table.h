#pragma once
// The commands of tarkon-cli as the command line knows them: name, arguments,
// whether manufacturing mode is needed, and their help. One row per command.

#include <string>
#include <vector>

struct CliCommandSpec {
  const char* name;
  const char* arguments;  // usage of the arguments, e.g. "NAME VALUE"
  int minArgs;
  int maxArgs;
  bool manufacturing;
  // Words the first argument takes, blank-separated, matched in any case
  // (null: any text).
  const char* words;
  const char* summary;  // one line for the full usage
  const char* help;     // what `help COMMAND` adds
};
const std::vector<CliCommandSpec>& CliCommandTable();
// The row of a command (its name in any case), or null.
const CliCommandSpec* FindCliCommand(const std::string& name);
// `tarkon-cli help COMMAND` and `COMMAND --help`.
std::string CliCommandHelp(const CliCommandSpec& command);
