#pragma once
// What Ostrel's operations show and ask: the window implements this; tests
// record it.

#include <cstdint>
#include <string>
#include <vector>

#include "ostrel/operations/settings_backup.h"
#include "ostrel/operations/window_fields.h"
#include "serial/port_discovery.h"

namespace ostrel {

// Values of the Spot page, as the sensor sends them.
struct SpotValues {
  bool all = false;  // false: only `range` was read
  uint16_t range = 0;
  uint16_t base = 0;
  uint16_t sum = 0;
  uint16_t num = 0;
  uint16_t sub = 0;
  uint16_t power = 0;
  uint16_t peak = 0;
};

class OstrelView {
 public:
  virtual ~OstrelView() = default;

  // The status line at the bottom left (red text); "" clears it.
  virtual void SetStatus(const std::string& text) = 0;
  // The "COM Errors" panel.
  virtual void SetComErrors(unsigned long long count) = 0;
  // A modal error box with one OK button, then the focus into `field`.
  virtual void ShowInputError(const std::string& text, Field field) = 0;
  // A modal information box.
  virtual void ShowInformation(const std::string& text) = 0;
  // A confirmation box with Yes and No; true for Yes.
  virtual bool AskYesNo(const std::string& text) = 0;
  // The open dialog of the upload: `filters` in the form
  // "Name [*.x]|*.x|...", `firstFilter` the index shown first, opening in
  // the current directory. Empty when cancelled.
  virtual std::string ChooseFile(const std::string& filters, int firstFilter, const std::string& defaultExtension) = 0;
  // "Select Port": the serial devices present; the chosen device path, or
  // empty for Cancel.
  virtual std::string ChoosePort(const std::vector<FoundPort>& ports) = 0;
  // What an upload will do, shown with the question that starts it: the
  // sensor, the file (size, CRC-16), the kind and the line time.
  virtual void SetUploadPlan(const std::vector<std::string>& lines) { (void)lines; }
  // The progress bar of the upload (0 to 100).
  virtual void SetProgress(bool visible, int percent) = 0;
  // What the progress bar says beside its percent: bytes sent of total,
  // rate and time left.
  virtual void SetProgressText(const std::string& text) { (void)text; }
  // The Settings and View tabs follow the connection.
  virtual void SetConnected(bool connected) = 0;
  // The record of window fields was changed by an operation.
  virtual void FieldsChanged() = 0;
  // An operation that runs on (repeated memory reads) takes what the
  // technician has typed since it started into the record.
  virtual void CollectFields() {}
  // Connect stores the chosen port number (or device) and baud rate in the
  // settings file (and reads the file back).
  virtual void StoreConnection(int portNumber, int baudRate, const std::string& device) = 0;

  // Live views. The Spot page's panels: only the range in range-only
  // polling, all seven with "Show All".
  virtual void ShowSpot(const SpotValues& values) { (void)values; }
  // The memory memo: replaced by these lines (none: cleared).
  virtual void SetMemo(const std::vector<std::string>& lines) { (void)lines; }
  // The save dialog of the scan-buffer export, opening in the current
  // directory with `proposedName` and a text-file filter. Empty when
  // cancelled.
  virtual std::string ChooseSaveFile(const std::string& proposedName) {
    (void)proposedName;
    return std::string();
  }

  // The log: one line (the window adds the time and keeps the newest).
  virtual void Log(const std::string& line) { (void)line; }
  // The end of an upload, kept on screen until the technician closes it:
  // the result, what it means, the backup, the firmware before and after,
  // whether the settings changed.
  virtual void ShowUploadResult(const std::vector<std::string>& lines) { (void)lines; }
  // Offers to put settings back: the question (default No) with the
  // settings that differ, as saved and as on the sensor now.
  virtual bool AskRestore(const std::string& question, const std::vector<SettingDifference>& rows) {
    (void)rows;
    return AskYesNo(question);
  }
};

}  // namespace ostrel
