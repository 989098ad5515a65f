#pragma once
// The commands of tarkon-cli, one row each: the name, the arguments, the
// options a command has of its own, its help and what runs it. Parsing,
// dispatch, the usage text, `help COMMAND`, the bash completion and the
// man page's list of commands all read this table; nothing else names a
// command. Limits that a help text mentions come from the engine.

#include <string>
#include <vector>

#include "tarkon/cli/cli_command.h"

const std::vector<CliCommand>& CliCommandTable();
// The row of a command (its name in any case), or null.
const CliCommand* FindCliCommand(const std::string& name);
// The commands an option belongs to; empty for an option of every command.
std::vector<const CliCommand*> CommandsOfOption(const std::string& option);
