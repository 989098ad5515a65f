#pragma once
// What the document tells its front end. Every call but OnPollTickPending
// comes on the thread that owns the sensor connection.

#include <string>

class DocumentListener {
 public:
  virtual ~DocumentListener() = default;
  // A line for the command log: kind 0 error, 1 success, 2 notice.
  virtual void OnLogLine(int kind, const std::string& text) { (void)kind, (void)text; }
  // A write to the sensor went its way, but its line of the change history
  // could not be written ("Change history not written (PATH: REASON)"): a
  // warning no quiet mode may hide. By default an error line of the log.
  virtual void OnHistoryNotWritten(const std::string& warning) { OnLogLine(0, warning); }
  // The sensor state changed: the setup pane re-reads the connection state.
  // A desktop front end posts this to itself so it runs after the current
  // operation.
  virtual void OnSensorStateChanged() {}
  // Show the panel of this model index; -1 shows the idle panel.
  virtual void OnShowPanel(int model) { (void)model; }
  virtual void OnUpdateAllViews() {}
  // Called on the poll worker's thread when a tick is pending: wake the
  // thread that polls (it then calls CKRV02Doc::TakePollTick). Must not
  // block.
  virtual void OnPollTickPending() {}
  // The link's notice (CKRV02Doc::linkNotice) changed: the link went away,
  // went silent, its port is back, or a reconnect ended.
  virtual void OnLinkChanged() {}
};
