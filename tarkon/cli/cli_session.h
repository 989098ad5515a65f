#pragma once
// One run of tarkon-cli: the document, where its log lines go, the
// optional in-process virtual sensor, and the connect procedure with the
// command line's values in place of the connect dialog.

#include <atomic>
#include <memory>
#include <string>

#include "tarkon/cli/cli_options.h"
#include "tarkon/document/krv02_doc.h"
#include "tarkon/document/virtual_sensor_port.h"

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // no connection, or a command logged a failure
constexpr int kExitUsage = 2;   // bad usage, or a value refused by a check
constexpr int kExitHistoryNotWritten = 3;  // everything else succeeded, but the change history was not written

// Set by SIGINT/SIGTERM: long operations end at their next step.
extern std::atomic<bool> g_interrupted;
// Ctrl+C presses so far (an upload asks for two before it stops).
extern std::atomic<int> g_interruptCount;
void InstallInterruptHandler();

// The virtual sensor that --simulate asks for: the model, its check mode,
// and the address and baud rate when the command line names them.
VirtualSensorRequest SimulatedSensor(const CliOptions& options);

class CliSession : public DocumentListener {
 public:
  explicit CliSession(const CliOptions& options);
  ~CliSession() override;

  // Starts the virtual sensor when asked, then connects. False (with the
  // reason on standard error or in the log) when no sensor answered.
  bool Open(std::string& usageError);
  void Close();

  CKRV02Doc& doc() { return *doc_; }
  const CliOptions& options() const { return options_; }
  // Failure lines logged since the connect completed.
  int failuresSinceConnect() const { return failures_ - failuresAtConnect_; }
  // The port as the user named it: "COMn" or a device path.
  std::string portName() const;
  // The device the connection opened (a COMn's resolved path).
  std::string deviceName() const;
  // The text of the last failure: a refusal, or the last error log line.
  const std::string& lastError() const { return lastError_; }
  void SetLastError(std::string text) { lastError_ = std::move(text); }

  // DocumentListener
  void OnLogLine(int kind, const std::string& text) override;
  // "warning: ..." on standard error, --quiet or not.
  void OnHistoryNotWritten(const std::string& warning) override;

 private:
  CliOptions options_;
  VirtualSensorPort sensor_;
  std::unique_ptr<CKRV02Doc> doc_;
  std::string lastError_;
  int failures_ = 0;
  int failuresAtConnect_ = 0;
  bool open_ = false;
};
