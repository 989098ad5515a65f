#pragma once
// tarkon-cli params (the Parameters pane's rows) and edit (one setting of a
// settings file changed with no sensor attached).

#include "tarkon/cli/cli_output.h"

class CliRun;
class CliSession;

int RunParams(CliSession& session, CliJson& json);
// edit FILE NAME VALUE: exit 0 saved, 2 refused (FILE untouched), 1 failed.
int RunEdit(CliRun& run);
