#pragma once
// Ostrel's one window: the identity strip, the Connect, Settings and View
// tabs, the status bar and the about box. Every button runs an operation of
// ostrel/operations; the window only moves texts and choices between its
// controls and the record of window fields, and shows what the operations
// report.

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "ostrel/app/ostrel_ini.h"
#include "ostrel/link/ostrel_link.h"
#include "ostrel/operations/operations.h"
#include "ostrel/operations/ostrel_view.h"
#include "ostrel/operations/start_connect.h"
#include "ostrel/operations/window_fields.h"
#include "ui_common/field_binding.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace ui_common {
class RangeChart;
}

namespace ostrel {

class AboutBox;
class KeyFilter;

class MainWindow : public QMainWindow, public OstrelView {
 public:
  // The Spot page's panels, and the status line and the COM error count
  // while polling, show the latest poll at most this often.
  static constexpr int kSpotIntervalMs = 100;

  // `iniPath`: the settings file; `iniNote` a line for the status bar (the
  // file is in the per-user directory), or empty.
  MainWindow(const std::string& iniPath, const std::string& iniNote);
  ~MainWindow() override;

  // Selects the virtual sensor and connects (OSTREL_VIRTUAL_SENSOR=1).
  void ConnectToVirtualSensor();
  // The command line's connect at start: the record with its port, baud
  // rate and address, then the Connect button's operation once the event
  // loop runs. Empty, or the refusal (and nothing runs).
  std::string ConnectAtStart(const StartConnectTexts& texts);

  Operations& operations() { return *operations_; }
  const WindowFields& fields() const { return fields_; }
  bool factoryMode() const { return factory_; }
  AboutBox* aboutBox() const { return about_; }

  // OstrelView.
  void SetStatus(const std::string& text) override;
  void SetComErrors(unsigned long long count) override;
  void ShowInputError(const std::string& text, Field field) override;
  void ShowInformation(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  std::string ChooseFile(const std::string& filters, int firstFilter, const std::string& defaultExtension) override;
  std::string ChoosePort(const std::vector<FoundPort>& ports) override;
  void SetProgress(bool visible, int percent) override;
  void SetProgressText(const std::string& text) override;
  void SetUploadPlan(const std::vector<std::string>& lines) override;
  void SetConnected(bool connected) override;
  void FieldsChanged() override;
  void CollectFields() override;
  void StoreConnection(int portNumber, int baudRate, const std::string& device) override;
  void ShowSpot(const SpotValues& values) override;
  void SetMemo(const std::vector<std::string>& lines) override;
  std::string ChooseSaveFile(const std::string& proposedName) override;
  void Log(const std::string& line) override;
  void ShowUploadResult(const std::vector<std::string>& lines) override;
  bool AskRestore(const std::string& question, const std::vector<SettingDifference>& rows) override;

  // The log keeps this many lines, the newest last.
  static constexpr int kLogLines = 500;
  // The link text is brought up to date this often (reply counts change
  // with every poll).
  static constexpr int kLinkIntervalMs = 250;

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Lists left with nothing chosen get their entry back.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* BuildIdentityStrip();
  QWidget* BuildConnectTab();
  QWidget* BuildSettingsTab();
  QWidget* BuildViewTab();
  void BuildStatusBar();
  // The link text and the Reconnect button, from the operations.
  void ShowLink();
  void SetToolTips();
  // The controls of the record's members (the port list apart: its
  // entries beyond COM4 are devices).
  void BindFields();

  // Runs one operation: the controls' texts into the record (unless the
  // record was set already), the operation, the record back into the
  // controls.
  template <typename Operation>
  void Run(Operation operation, bool collect = true);
  // The controls that cannot act while an operation holds the line are
  // disabled meanwhile; Stop, Show All, Repeat and the memory fields stay.
  void ShowBusy(bool busy);
  void Collect();
  void ShowFields();
  void ApplyIni();
  void ApplyFactoryMode();
  void ShowAllLook();
  // What one count of the Range panel is, in the sensor's unit.
  void ShowRangeUnit();
  // The panels of the Spot page, from the latest poll not shown yet, and
  // the status line and COM error count told while polling.
  void ShowLatestSpot();
  // Marks `pending` and has ShowLatestSpot show it at its next turn.
  void ShowWithSpot(bool& pending);
  void StopLoops();
  void FillPortList();
  QLineEdit* EditOf(Field field) const;

  OstrelLink link_;
  WindowFields fields_;
  ui_common::FieldBinding<WindowFields> bind_;
  std::unique_ptr<Operations> operations_;
  OstrelIni ini_;
  std::string iniProblem_;  // why Ostrel.ini is left alone, or empty
  KeyFilter* keys_ = nullptr;
  AboutBox* about_ = nullptr;
  bool factory_ = false;
  bool closeWanted_ = false;
  std::vector<std::string> portDevices_;  // list entries after COM1..COM4
  std::vector<QWidget*> idleOnly_;        // enabled only while no operation runs
  QPointer<QWidget> focusAfterRun_;       // where the focus goes when an operation ends

  QTabWidget* tabs_ = nullptr;
  QTabWidget* viewPages_ = nullptr;
  QLineEdit* pSerial_ = nullptr;
  QLineEdit* pModel_ = nullptr;
  QLineEdit* pFirmware_ = nullptr;
  QLineEdit* pFpga_ = nullptr;
  // Connect tab.
  QComboBox* cboPort_ = nullptr;
  QComboBox* cboHostBaud_ = nullptr;
  QLineEdit* editConnAddr_ = nullptr;
  QCheckBox* cbxGlobal_ = nullptr;
  QLabel* globalWarning_ = nullptr;
  // Settings tab.
  QComboBox* cboUpload_ = nullptr;
  QPushButton* btnUpload_ = nullptr;
  QPushButton* btnStopUpload_ = nullptr;  // "Stop" beside "Upload", live only during one
  QString progressShown_;  // the upload's progress text, without closeNote_
  QString closeNote_;     // why a close waits, shown beside the progress
  QString uploadPlan_;    // shown under the next question, then dropped
  QLineEdit* editSerial_ = nullptr;
  QPushButton* btnSerial_ = nullptr;
  QComboBox* cboModel_ = nullptr;
  QPushButton* btnModel_ = nullptr;
  QLineEdit* editAddress_ = nullptr;
  QComboBox* cboSensorBaud_ = nullptr;
  QComboBox* cboCRC_ = nullptr;
  QComboBox* cboMode_ = nullptr;
  QLineEdit* editMinPwr_ = nullptr;
  QLineEdit* editMaxPwr_ = nullptr;
  QLineEdit* editThreshold_ = nullptr;
  QPushButton* btnDefault_ = nullptr;
  QLineEdit* editMinLen_ = nullptr;
  QLineEdit* editMinHt_ = nullptr;
  QLabel* unitWidth_ = nullptr;
  QLabel* unitHeight_ = nullptr;
  QLineEdit* editPulse_ = nullptr;
  QLineEdit* editSpeed_ = nullptr;
  QLineEdit* editTimeout_ = nullptr;
  QLineEdit* editStartNdx_ = nullptr;
  QLineEdit* editNumOfScans_ = nullptr;
  // View tab.
  QCheckBox* cbxSpot_ = nullptr;
  ui_common::RangeChart* chart_ = nullptr;
  const UnitSet* chartUnit_ = nullptr;  // the unit of the ranges the chart holds
  std::vector<QLabel*> spotLabels_;  // the six diagnostic labels
  std::vector<QLabel*> spotPanels_;  // pRange, then the six diagnostic panels
  QLabel* rangeUnit_ = nullptr;      // beside pRange: "x 0.001 inch" or "x 0.01 mm"
  QTimer spotTimer_;                 // shows the latest poll
  SpotValues spotShown_;             // the latest poll
  bool spotPending_ = false;         // ... not shown yet
  QString statusLatest_;             // the status line as last told
  bool statusPending_ = false;       // ... while polling, not shown yet
  unsigned long long comErrorsLatest_ = 0;
  bool comErrorsPending_ = false;
  QLineEdit* editMemAddr_ = nullptr;
  QLineEdit* editWordCount_ = nullptr;
  QCheckBox* chkbxHex_ = nullptr;
  QCheckBox* chkbxRepeat_ = nullptr;
  QPlainTextEdit* memo_ = nullptr;
  // Status bar.
  QLabel* lblStatus_ = nullptr;
  QWidget* progress_ = nullptr;  // the bar and its text, during an upload
  QProgressBar* pBar_ = nullptr;
  QLabel* progressText_ = nullptr;  // beside the bar: bytes sent of all, rate, time left
  QLabel* pCommErrors_ = nullptr;
  QLabel* linkText_ = nullptr;
  QPushButton* btnReconnect_ = nullptr;  // shown while the line is lost
  QString linkShown_;                     // the whole link text
  QTimer linkTimer_;
  QListWidget* log_ = nullptr;
};

}  // namespace ostrel
