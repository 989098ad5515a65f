#include "tarkon/cli/cli_run.h"

#include <cstdio>

#include "tarkon/cli/unwritten_history.h"
#include "tarkon/fleet/line_appender.h"

namespace {

// The file of the run's --trace, kept so that a long command can stop at
// the first line it refused and the run can end by saying so.
std::shared_ptr<fleet::LineAppender> g_traceFile;

constexpr const char* kStoppedDuringConnect =
    "stopped: an interrupt came while connecting, so the command did not run and nothing was sent";

}  // namespace

std::string TraceWriteError() {
  if (!g_traceFile || g_traceFile->error().empty()) return std::string();
  const long lost = g_traceFile->linesLost();
  return "--trace: " + g_traceFile->error() + " (" + std::to_string(lost) + (lost == 1 ? " line" : " lines") +
         " not written)";
}

CliRun::CliRun(const CliOptions& options) : options_(options) {}

CliRun::~CliRun() { End(status_); }

ProtocolTrace* CliRun::Trace() {
  if (traceOpened_ || !options_.trace) return trace_.get();
  traceOpened_ = true;
  auto file = std::make_shared<fleet::LineAppender>();
  std::string error;
  if (*options_.trace == "-") {
    file->UseStandardError();
  } else if (!file->Open(*options_.trace, error)) {
    traceFailed_ = true;
    FailUsage("--trace: " + error);
    return nullptr;
  }
  g_traceFile = file;
  // Each line is written at once, so a trace of a run that hangs or is
  // killed is complete up to that point.
  trace_ = fleet::NewLineTrace([file](const std::string& line) { file->WriteLine(line); });
  return trace_.get();
}

CliSession* CliRun::Connect() {
  if (session_) return session_.get();
  if (status_ != kExitOk) return nullptr;
  ProtocolTrace* trace = Trace();
  if (traceFailed_) return nullptr;
  auto session = std::make_unique<CliSession>(options_);
  fleet::AttachProtocolTrace(session->doc(), trace);
  std::string usage;
  const bool open = session->Open(usage);
  if (open && g_interrupted) {
    std::fprintf(stderr, "%s\n", kStoppedDuringConnect);
    session->Close();
    Fail(kExitFailed, kStoppedDuringConnect);
    return nullptr;
  }
  if (!open) {
    session->Close();
    if (!usage.empty()) {
      FailUsage(usage);
      return nullptr;
    }
    // The error object carries the failure and its cause.
    const ConnectFailure& cause = session->doc().sensor().lastConnectFailure();
    Fail(kExitFailed, cause.text.empty() ? session->lastError() : std::string(kCannotConnectLine) + " " + cause.text);
    return nullptr;
  }
  session_ = std::move(session);
  return session_.get();
}

int CliRun::Fail(int status, const std::string& message) {
  status_ = status;
  failure_ = message;
  return status;
}

int CliRun::FailUsage(const std::string& message) {
  usageError_ = true;
  return Fail(kExitUsage, message);
}

int CliRun::End(int status) {
  status_ = status;
  if (session_) {
    session_->Close();
    if (status_ != kExitOk && failure_.empty()) failure_ = session_->lastError();
    // A write the sensor took whose history line could not be written.
    status_ = WithUnwrittenHistory(session_->doc(), status_, json_);
    session_.reset();
  }
  const std::string traceError = TraceWriteError();
  if (!traceError.empty() && !ended_) {
    std::fprintf(stderr, "%s\n", traceError.c_str());
    // The command's own failure comes first.
    if (status_ == kExitOk) Fail(kExitFailed, traceError);
  }
  ended_ = true;
  return status_;
}
