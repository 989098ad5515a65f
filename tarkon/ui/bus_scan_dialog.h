#pragma once
// "Find Sensors on the Bus...": port, address range and baud rates; the
// engine's bus scan runs on its own thread while this dialog repaints,
// shows its progress and the time left, and can stop it; each sensor is
// listed as soon as it answers (its serial number follows, also after a
// stop), and "Connect" hands back the chosen one.

#include <QDialog>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tarkon/fleet/background_bus_scan.h"
#include "tarkon/fleet/fleet_tools.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStandardItemModel;
class QTableView;

class CBusScanDialog : public QDialog {
  Q_OBJECT
 public:
  // `portText` pre-fills the port; `trace` (may be null) receives the
  // scan's frames.
  CBusScanDialog(const std::string& portText, int baudRate, ProtocolTrace* trace, QWidget* parent = nullptr);
  ~CBusScanDialog() override;

  // After "Connect": the sensor chosen and the port text it was found on.
  const std::optional<fleet::FoundSensor>& chosen() const { return chosen_; }
  const std::string& chosenPortText() const { return scannedPort_; }
  // After "Line view": the sensors found, all to be watched at once.
  bool lineViewAsked() const { return lineViewAsked_; }
  const std::vector<fleet::FoundSensor>& found() const { return found_; }
  // The port the field names now.
  std::string portText() const;

  QComboBox* portBox() const { return port_; }
  QSpinBox* fromBox() const { return from_; }
  QSpinBox* toBox() const { return to_; }
  QCheckBox* baudBox(int rate) const;
  QPushButton* scanButton() const { return scan_; }
  QPushButton* connectButton() const { return connect_; }
  QPushButton* lineViewButton() const { return lineView_; }
  QTableView* results() const { return table_; }
  QProgressBar* progress() const { return progress_; }
  QLabel* statusText() const { return status_; }
  bool scanning() const { return active_; }
  // How long each probe waits for its answer from the next scan on, for a
  // slow line (the command line's --budget); 0, the default, derives it
  // from each baud rate.
  void SetProbeBudgetMs(uint32_t ms) { probeBudgetMs_ = ms; }

 public slots:
  void StartOrStop();
  void reject() override;

 private:
  void ShowProgress(long done, long total);
  void ShowSighting(size_t index, const fleet::FoundSensor& sensor);
  void SetRow(size_t index, const fleet::FoundSensor& sensor);
  QString FoundText() const;
  void ScanEnded();
  void ConnectChosen();
  void AskLineView();
  void UpdateButtons();

  ProtocolTrace* trace_;
  fleet::BackgroundBusScan scanner_;
  bool active_ = false;
  bool stopping_ = false;
  uint32_t probeBudgetMs_ = 0;
  std::optional<fleet::ScanClock> clock_;
  std::string scannedDevice_;
  std::vector<fleet::FoundSensor> found_;
  std::optional<fleet::FoundSensor> chosen_;
  bool lineViewAsked_ = false;
  std::string scannedPort_;

  QComboBox* port_;
  QSpinBox* from_;
  QSpinBox* to_;
  std::vector<std::pair<int, QCheckBox*>> bauds_;
  QPushButton* scan_ = nullptr;
  QPushButton* connect_;
  QPushButton* lineView_;
  QPushButton* close_;
  QProgressBar* progress_;
  QLabel* status_;
  QStandardItemModel* model_;
  QTableView* table_;
};
