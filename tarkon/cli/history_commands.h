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

