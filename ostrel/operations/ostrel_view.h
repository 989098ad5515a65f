#pragma once
// What Ostrel's operations show and ask: the window implements this; tests
// record it.

#include <string>
#include <vector>

#include "ostrel/operations/window_fields.h"
#include "serial/port_discovery.h"

namespace ostrel {

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
  // The progress bar of the upload (0 to 100).
  virtual void SetProgress(bool visible, int percent) = 0;
  // The Settings and View tabs follow the connection.
  virtual void SetConnected(bool connected) = 0;
  // The record of window fields was changed by an operation.
  virtual void FieldsChanged() = 0;
  // Connect stores the chosen port number and baud rate in the settings
  // file (and reads the file back).
  virtual void StoreConnection(int portNumber, int baudRate) = 0;
};

}  // namespace ostrel
