#pragma once
// One run of one command: the parsed command line, the JSON result, why the
// run failed, and what the command asks for as it needs it: the protocol
// trace of --trace, and the session connected to the sensor. Every
// command that talks to a sensor connects here, so a stop asked for while
// the connect runs ends every such command before it sends anything.

#include <memory>
#include <string>

#include "tarkon/cli/cli_options.h"
#include "tarkon/cli/cli_output.h"
#include "tarkon/cli/cli_session.h"
#include "tarkon/fleet/fleet_tools.h"

class CliRun {
 public:
  explicit CliRun(const CliOptions& options);
  ~CliRun();
  CliRun(const CliRun&) = delete;
  CliRun& operator=(const CliRun&) = delete;

  const CliOptions& options() const { return options_; }
  CliJson& json() { return json_; }

  // The trace of --trace (null without it), opened at the first call.
  // Null also when it cannot be opened: the run has failed then (usage).
  ProtocolTrace* Trace();
  bool traceFailed() const { return traceFailed_; }

  // The session, connected at the first call. Null when no sensor is
  // connected (the port did not open, no sensor answered, a bad option, or
  // a stop asked for during the connect): the run has failed then, and
  // status() and failure() say how.
  CliSession* Connect();

  // A failure of the run: its exit status and message (said once, on
  // standard error, by whoever noticed it).
  int Fail(int status, const std::string& message);
  // A bad command line found only now (a --trace file that does not open,
  // a --baud the virtual sensor cannot run at): said as a usage error.
  int FailUsage(const std::string& message);
  int status() const { return status_; }
  const std::string& failure() const { return failure_; }
  bool usageError() const { return usageError_; }

  // The end of the run: closes the session (the document's last line),
  // takes its last error as the failure, and turns a success into a
  // failure when a trace line was refused. Returns the exit status.
  int End(int status);

 private:
  const CliOptions& options_;
  CliJson json_;
  fleet::OwnedProtocolTrace trace_;
  bool traceOpened_ = false;
  bool traceFailed_ = false;
  std::unique_ptr<CliSession> session_;
  int status_ = 0;
  std::string failure_;
  bool usageError_ = false;
  bool ended_ = false;
};

// "--trace: cannot write FILE: REASON (N lines not written)" once a trace
// line was refused (a full disk); empty while every line was written. A
// long command stops at the first refused line.
std::string TraceWriteError();

// Adapts a command that needs the connected sensor to the table's runner.
template <int (*Command)(CliSession&, CliJson&)>
int OnSensor(CliRun& run) {
  CliSession* session = run.Connect();
  if (session == nullptr) return run.status();
  return Command(*session, run.json());
}
