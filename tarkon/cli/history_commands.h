#pragma once
// tarkon-cli's change history, commissioning report and fleet apply:
// `history` (reads the history file, no sensor), `report FILE` (on the
// connected sensor) and `restore FILE --bus` (scans the line itself, like
// bus-scan).

#include <string>

#include "tarkon/cli/cli_options.h"
#include "tarkon/cli/cli_output.h"
#include "tarkon/cli/cli_session.h"

class CliRun;

// `history [--serial SN] [--since DATE]`.
int RunHistory(CliRun& run);
// `report FILE.pdf|FILE.html` of the connected sensor.
int RunReport(CliSession& session, CliJson& json);
// `restore FILE --bus [--from N --to M]`: its options and file checked
// before anything is opened, then the run.
bool CheckBusRestoreUsage(const CliOptions& options, std::string& error);
int RunBusRestore(CliRun& run);

// After a command on `doc`: when a line of the change history could not be
// written, the result object gets "history_not_written" (the warning) and
// a run that otherwise succeeded ends with kExitHistoryNotWritten. Returns
// the exit status.
int WithUnwrittenHistory(CKRV02Doc& doc, int status, CliJson& json);
