#pragma once
// "Connect": port, line settings, sensor address and time-outs. The
// controls bind to the document's ConnectDialogState, which holds the
// rules that tie them (global address, parity, the OK checks).

#include <QDialog>
#include <string>
#include <vector>

#include "tarkon/document/connect_values.h"
#include "tarkon/ui/port_entries.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class PortWatch;

class CConnectDialog : public QDialog {
  Q_OBJECT
 public:
  CConnectDialog(const ConnectValues& filled, std::vector<PortEntry> ports, QWidget* parent = nullptr);
  ~CConnectDialog() override;

  // Keeps the port list current while the dialog is open: the watch's
  // changes (from its own thread) are posted to this dialog, which lists
  // the ports again and keeps the user's choice where it is still there.
  // `watch` must outlive the dialog.
  void FollowPorts(PortWatch& watch);
  // The ports connected through last (newest first): the serial device
  // servers among them are listed after "COM4", so a gateway's URL typed
  // once is offered again.
  void OfferRecentPorts(std::vector<std::string> recent);

  // After "Ok": the values for the document, and the model of the virtual
  // sensor chosen from the list (empty for a port or a typed path).
  const ConnectValues& values() const { return values_; }
  const std::string& virtualModel() const { return virtualModel_; }

  // Controls, for the tests and the accessibility checks.
  QComboBox* portBox() const { return port_; }
  QLineEdit* addressField() const { return address_; }
  QCheckBox* globalBox() const { return global_; }
  QLabel* warningText() const { return warning_; }
  QCheckBox* parityBox() const { return parity_; }
  QComboBox* parityList() const { return parityList_; }
  QPushButton* advancedButton() const { return advanced_; }
  QGroupBox* timeoutsGroup() const { return timeouts_; }
  QLineEdit* readTimeoutField() const { return readTimeout_; }
  QLineEdit* writeTimeoutField() const { return writeTimeout_; }
  QCheckBox* rs485Box() const { return rs485_; }
  // "Reconnect automatically" when the port of a lost link comes back; the
  // window fills it and keeps it per user.
  QCheckBox* autoReconnectBox() const { return autoReconnect_; }
  int spinLow() const { return state_.spinLow(); }
  int spinHigh() const { return state_.spinHigh(); }

 public slots:
  void accept() override;

 private:
  void Pull();
  void Push();
  void StepAddress(int step);
  void ToggleAdvanced();
  void ReplacePorts(std::vector<PortEntry> ports);

  ConnectDialogState state_;
  std::vector<PortEntry> ports_;
  std::vector<std::string> recent_;
  ConnectValues values_;
  std::string virtualModel_;
  PortWatch* watch_ = nullptr;
  int watchToken_ = 0;

  QComboBox* port_;
  QComboBox* baud_;
  QComboBox* stopBits_;
  QCheckBox* parity_;
  QComboBox* parityList_;
  QComboBox* dataBits_;
  QLineEdit* address_;
  QToolButton* up_;
  QToolButton* down_;
  QCheckBox* global_;
  QLabel* warning_;
  QGroupBox* timeouts_;
  QLineEdit* readTimeout_;
  QLineEdit* writeTimeout_;
  // Advanced: the driver's RS-485 direction control, for adapters that need
  // RTS to switch their transmitter.
  QCheckBox* rs485_;
  QPushButton* advanced_;
  QCheckBox* autoReconnect_;
};
