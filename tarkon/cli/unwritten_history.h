#pragma once
// The one rule every command that writes to a sensor ends with: a run whose
// change history could not be written does not end as a plain success.

#include "tarkon/cli/cli_output.h"
#include "tarkon/document/krv02_doc.h"

// After a command on `doc`: when a line of the change history could not be
// written, the result object gets "history_not_written" (the warning) and
// a run that otherwise succeeded ends with kExitHistoryNotWritten. Returns
// the exit status.
int WithUnwrittenHistory(CKRV02Doc& doc, int status, CliJson& json);
