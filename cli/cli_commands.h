#pragma once
// The commands of tarkon-cli. Each drives the document; none talks to the
// packet layer itself.

#include <string>

#include "cli/cli_options.h"
#include "cli/cli_session.h"

// Checks the command and its arguments before anything is opened; false
// with a message on bad usage.
bool CheckCommandUsage(const CliOptions& options, std::string& error);

// `ports` (needs no sensor).
int RunPortsCommand(const CliOptions& options);

// Every other command, on an open session. Returns the exit status.
int RunSensorCommand(CliSession& session);
