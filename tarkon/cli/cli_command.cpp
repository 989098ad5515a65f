#include "tarkon/cli/cli_command.h"

#include <algorithm>
#include <cctype>

const CliCommand* FindCommand(const std::vector<CliCommand>& commands, const std::string& name) {
  std::string wanted = name;
  for (char& c : wanted) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const CliCommand& command : commands)
    if (wanted == command.name) return &command;
  return nullptr;
}

std::vector<const CliCommand*> CommandsOfOption(const std::vector<CliCommand>& commands, const std::string& option) {
  std::vector<const CliCommand*> owners;
  for (const CliCommand& command : commands)
    if (std::find(command.options.begin(), command.options.end(), option) != command.options.end())
      owners.push_back(&command);
  return owners;
}
