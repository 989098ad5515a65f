#pragma once
// The check every command line passes before anything is opened: the
// command's arguments, its words, manufacturing mode, the options it owns,
// the outputs it appends to, and the command's own checks.

#include <string>

#include "tarkon/cli/cli_options.h"

struct CliCommand;

// False with a one-line message on bad usage. Words of the first argument
// are lower-cased in `options` (check-mode CRC is check-mode crc).
bool CheckCommandUsage(CliOptions& options, const CliCommand& command, std::string& error);
