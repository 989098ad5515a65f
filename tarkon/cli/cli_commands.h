#pragma once
// The sensor commands of tarkon-cli. Each command drives the document; none talks to the packet layer
// itself. The command table (cli_command_table.cpp) names them.

#include <string>

#include "tarkon/cli/cli_options.h"
#include "tarkon/cli/cli_output.h"
#include "tarkon/cli/cli_session.h"

class CliRun;

// `ports` (needs no sensor).
int RunPorts(CliRun& run);

// On the connected sensor. Each returns the exit status; with --json, on
// success `json` holds what was done; on failure the session's lastError()
// says why.
int RunInfo(CliSession& session, CliJson& json);
int RunSettings(CliSession& session, CliJson& json);
int RunSet(CliSession& session, CliJson& json);
int RunState(CliSession& session, CliJson& json);
int RunErrors(CliSession& session, CliJson& json);
int RunScan(CliSession& session, CliJson& json);
int RunLaser(CliSession& session, CliJson& json);
int RunScanBuffer(CliSession& session, CliJson& json);
int RunAddress(CliSession& session, CliJson& json);
int RunBaud(CliSession& session, CliJson& json);
int RunCheckMode(CliSession& session, CliJson& json);
int RunDefaults(CliSession& session, CliJson& json);
int RunReset(CliSession& session, CliJson& json);
int RunSerialNumber(CliSession& session, CliJson& json);
int RunModelName(CliSession& session, CliJson& json);

// The exit status of a command whose sensor operations `ok`: a failure
// when one of them failed or logged a failure (the reason kept).
int SessionStatus(CliSession& session, bool ok = true);
// A value refused by a check: said, kept, exit 2 (nothing was sent).
int Refused(CliSession& session, const std::string& message);
