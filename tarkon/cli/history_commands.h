#pragma once
// tarkon-cli's change history, commissioning report and fleet apply:
// `history` (reads the history file, no sensor), `report FILE` (on an open
// session) and `restore FILE --bus` (scans the line itself, like bus-scan).

#include <string>

#include "tarkon/cli/cli_options.h"
#include "tarkon/cli/cli_output.h"
#include "tarkon/cli/cli_session.h"

// Whether the command line is `restore FILE --bus`.
bool IsBusRestore(const CliOptions& options);

// `history [--serial SN] [--since DATE]`. `failure` says why it failed.
int RunHistoryCommand(const CliOptions& options, CliJson& json, std::string& failure);
// `report FILE.pdf|FILE.html` of the connected sensor.
int RunReportCommand(CliSession& session, CliJson& json);
// `restore FILE --bus [--from N --to M]`.
int RunBusRestoreCommand(const CliOptions& options, CliJson& json, std::string& failure);

// After a command on `doc`: when a line of the change history could not be
// written, the result object gets "history_not_written" (the warning) and
// a run that otherwise succeeded ends with kExitHistoryNotWritten. Returns
// the exit status.
int WithUnwrittenHistory(CKRV02Doc& doc, int status, CliJson& json);
