#pragma once
// The commands of tarkon-cli. Each drives the document; none talks to the
// packet layer itself.

#include <string>

#include "tarkon/cli/cli_options.h"
#include "tarkon/cli/cli_output.h"
#include "tarkon/cli/cli_session.h"

// Checks the command and its arguments before anything is opened; false
// with a one-line message on bad usage. Words of the first argument are
// lower-cased in `options` (check-mode CRC is check-mode crc).
bool CheckCommandUsage(CliOptions& options, std::string& error);

// `ports` (needs no sensor). With --json fills `json`.
int RunPortsCommand(const CliOptions& options, CliJson& json);

// Every other command, on an open session. Returns the exit status; with
// --json, on success `json` holds what was done (watch prints its own
// objects as it goes), on failure the session's lastError() says why.
int RunSensorCommand(CliSession& session, CliJson& json);
