#pragma once
// tarkon-cli params (the Parameters pane's rows) and edit (one setting of a
// settings file changed with no sensor attached).

#include <string>

#include "tarkon/cli/cli_output.h"

class CliSession;
struct CliOptions;

// Whether the command runs without a connection (edit).
bool IsOfflineCommand(const CliOptions& options);
int RunParamsCommand(CliSession& session, CliJson& json);
// edit FILE NAME VALUE: exit 0 saved, 2 refused (FILE untouched), 1 failed.
int RunEditCommand(const CliOptions& options, CliJson& json, std::string& failure);
