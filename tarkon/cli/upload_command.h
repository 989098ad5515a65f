#pragma once
// tarkon-cli upload: the firmware update procedure of the engine
// (tarkon/fleet/firmware_update.h) on the terminal or as JSON lines.

#include "tarkon/cli/cli_output.h"
#include "tarkon/cli/cli_session.h"

// Returns the exit status; with --json, `json` is the final result object
// (the plan and every progress step have been printed as lines before it).
int UploadCommand(CliSession& session, CliJson& json);
