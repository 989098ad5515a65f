#include "tarkon/cli/unwritten_history.h"

#include "tarkon/cli/cli_session.h"

int WithUnwrittenHistory(CKRV02Doc& doc, int status, CliJson& json) {
  const ChangeRecorder& history = doc.changeHistory();
  if (history.failedWrites() == 0) return status;
  if (json.is_null()) json = CliJson::object();
  if (json.is_object()) json["history_not_written"] = history.lastFailureNotice();
  return status == kExitOk ? kExitHistoryNotWritten : status;
}
