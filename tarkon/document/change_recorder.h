#pragma once
// The document's side of the change history: every write the engine makes
// to the connected sensor (a setting, the address, the baud rate, the check
// mode, the factory defaults, a reset, a firmware upload, the serial number
// or model string) becomes one history line naming this program, its user,
// the port and the sensor. Whatever front end runs the engine (the window,
// tarkon-cli, the fleet tools) records the same way.

#include <string>

#include "history/change_history.h"

// Who and where a write went, as the document knows it at the time.
struct WriteTarget {
  std::string port;
  std::string model;
  std::string serialNumber;
};

class ChangeRecorder {
 public:
  // The program named in each line ("Tarkon" unless the front end says).
  void SetProgram(std::string program) { program_ = std::move(program); }
  const std::string& program() const { return program_; }
  // Where the lines go; empty: history::DefaultPath() at each write (so a
  // changed $XDG_DATA_HOME counts).
  void SetPath(std::string path) { path_ = std::move(path); }
  std::string path() const;
  // Off for a document whose "sensor" is a private one inside the program
  // (a settings file edited offline): its writes change no real sensor and
  // leave no line. On by default.
  void SetRecording(bool on) { recording_ = on; }
  bool recording() const { return recording_; }

  // Appends one line (nothing while recording is off: true). False when it
  // could not be written; the reason is then in lastError() and in the
  // warning TakeFailureNotice returns.
  bool Record(const WriteTarget& target, const std::string& setting, const std::string& oldValue,
              const std::string& newValue, history::Outcome outcome);
  const std::string& lastError() const { return lastError_; }
  // "Change history not written (PATH: REASON)" after the first failure of
  // a run of failures, empty for the others: the warning is given once, not
  // per write, and again after the history was written in between.
  std::string TakeFailureNotice();
  // Lines not written since this recorder was made, and the warning of the
  // last of them (empty when every line was written).
  int failedWrites() const { return failedWrites_; }
  const std::string& lastFailureNotice() const { return lastNotice_; }

 private:
  std::string program_ = "Tarkon";
  std::string path_;
  std::string lastError_;
  std::string notice_;
  std::string lastNotice_;
  bool noticeTold_ = false;
  bool recording_ = true;
  int failedWrites_ = 0;
};
