#pragma once
// The fleet commands of tarkon-cli: backup, diff, restore and bus-scan.
// They drive the fleet engine (tarkon/fleet) and the document; none talks
// to the packet layer itself.

#include <string>

#include "tarkon/cli/cli_options.h"
#include "tarkon/cli/cli_output.h"
#include "tarkon/cli/cli_session.h"

class CliRun;

// The backup FILE of diff and restore is read and checked before anything
// is opened, so a damaged one ends the run before the port is even opened.
bool CheckDiffUsage(const CliOptions& options, std::string& error);
bool CheckRestoreUsage(const CliOptions& options, std::string& error);
bool CheckBusScanUsage(const CliOptions& options, std::string& error);

// With --json `json` holds the result, also when the command fails (diff
// of a sensor that differs, a restore that did not verify); the session's
// lastError() says why.
int RunBackup(CliSession& session, CliJson& json);
int RunDiff(CliSession& session, CliJson& json);
// restore FILE on the connected sensor, or with --bus on every sensor of
// the file's model on the line.
int RunRestore(CliRun& run);
// bus-scan: needs no connected sensor, only the port.
int RunBusScan(CliRun& run);
