#pragma once
// The fleet commands of tarkon-cli: backup, restore, diff, bus-scan,
// watch --csv, and the --trace option. They drive the fleet engine
// (tarkon/fleet) and the document; none talks to the packet layer itself.

#include <memory>
#include <string>

#include "tarkon/cli/cli_options.h"
#include "tarkon/cli/cli_output.h"
#include "tarkon/cli/cli_session.h"
#include "tarkon/fleet/fleet_tools.h"

class ProtocolTrace;

// Whether the command line names a fleet command (watch counts only with
// --csv or --duration).
bool IsFleetCommand(const CliOptions& options);
// Checks its arguments before anything is opened: a backup file to read is
// read and checked here, so a damaged one ends the run before the port is
// even opened.
bool CheckFleetUsage(const CliOptions& options, std::string& error);
// backup, restore, diff, watch --csv on an open session. With --json `json`
// holds the result, also when the command fails (diff of a sensor that
// differs, a restore that did not verify); the session's lastError() says why.
int RunFleetCommand(CliSession& session, CliJson& json);
// bus-scan: needs no connected sensor, only the port. `failure` says why it
// failed.
int RunBusScanCommand(const CliOptions& options, CliJson& json, std::string& failure);

// --trace FILE|-: the trace writer for the run, or null without the option.
// False with a message when the file cannot be opened.
bool OpenTrace(const CliOptions& options, fleet::OwnedProtocolTrace& trace, std::string& error);
// "--trace: cannot write FILE: REASON (N lines not written)" once a trace
// line was refused (a full disk); empty while every line was written.
std::string TraceWriteError();
// The run's exit status with the trace checked: a refused trace line is
// said on standard error, and turns a success into a failure (kept in
// `failure`).
int EndWithTraceChecked(int status, std::string& failure);
void AttachTrace(CliSession& session, ProtocolTrace* trace);
