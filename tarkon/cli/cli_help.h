#pragma once
// tarkon-cli's help, made from the command and option tables: the whole
// usage (--help, help) and one command's help (help COMMAND, COMMAND --help).

#include <string>
#include <vector>

#include "tarkon/cli/cli_command.h"

std::string CliUsage(const std::vector<CliCommand>& commands);
std::string CliCommandHelp(const CliCommand& command);
