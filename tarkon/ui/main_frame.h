#pragma once
// Tarkon's one top-level window: menus, toolbar, status bar, the "System:"
// and "Command log:" panes and the sensor view. It is the document's
// listener: log lines and state changes arrive here on the user-interface
// thread; the poll worker's tick is posted here and answered here.
//
// Every menu, toolbar and setup-pane command runs through RunCommand, so
// the document's availability rules decide for all of them.

#include <QMainWindow>
#include <QStringList>
#include <QTimer>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "tarkon/document/check_mode_text.h"
#include "tarkon/document/krv02_doc.h"
#include "tarkon/document/port_watch.h"
#include "tarkon/document/recent_ports.h"
#include "tarkon/document/virtual_sensor_port.h"
#include "tarkon/ui/pane_sizes.h"
#include "tarkon/ui/tools_menu_host.h"

class CLinkView;
class CParametersPane;
class CLogDialog;
class CSensorParentView;
class CSensorSettingsDialog;
class CToolsMenu;
class QAction;
class QDockWidget;
class QLabel;
class QMenu;
class QToolBar;

class CMainFrame : public QMainWindow, public DocumentListener, public ToolsMenuHost {
  Q_OBJECT
 public:
  // Pane identifiers of the profile store's sections.
  static constexpr int kSetupPaneId = 1;
  static constexpr int kLogPaneId = 2;

  // `watch`: the ports to follow; the machine's when none is given (a test
  // hands one over a sysfs tree of its own).
  explicit CMainFrame(CKRV02Doc& doc, QWidget* parent = nullptr, std::unique_ptr<PortWatch> watch = nullptr);
  ~CMainFrame() override;

  // DocumentListener.
  void OnLogLine(int kind, const std::string& text) override;
  void OnSensorStateChanged() override;
  void OnShowPanel(int model) override;
  void OnUpdateAllViews() override;
  void OnPollTickPending() override;
  void OnLinkChanged() override;

  // A document command, exactly as if chosen from the menu: nothing when
  // it is unavailable.
  void RunCommand(DocCommand command);
  // Connect to an in-process virtual sensor of a model (display name or
  // model string) without the dialog; the same path as the dialog's
  // virtual entries.
  bool ConnectVirtualSensor(const std::string& model);
  // The virtual sensor the window started, if any (its line can be pulled
  // for a picture of the lost link).
  VirtualSensorPort& virtualSensor() { return virtualSensor_; }
  // Connect with values a tool found (the bus scan) or the command line gave, asking the sensor in
  // `firstCheckMode` first.
  bool ConnectFound(const ConnectValues& values, int32_t firstCheckMode) override;
  CToolsMenu* tools() const { return tools_; }
  // The machine's serial ports as adapters come and go (a reconnect
  // subscribes here).
  PortWatch& portWatch() { return *portWatch_; }
  // The link's status text, the window title and the bar over the main area.
  CLinkView* linkView() const { return link_; }
  CParametersPane* parametersPane() const { return params_; }

  QAction* action(DocCommand command) const { return actions_.at(command); }
  QAction* toolbarAction() const { return toolbarToggle_; }
  QAction* statusBarAction() const { return statusBarToggle_; }
  QAction* setupPaneAction() const { return setupToggle_; }
  QAction* logPaneAction() const { return logToggle_; }
  QAction* clearLogAction() const { return clearLog_; }
  QAction* exitAction() const { return exit_; }
  QAction* aboutAction() const { return about_; }
  QMenu* editMenu() const { return editMenu_; }
  QMenu* helpMenu() const { return helpMenu_; }
  // "Sensor Settings"' key.
  static constexpr QKeyCombination kSensorSettingsKey{Qt::CTRL | Qt::Key_E};
  // Connects through one of the last ports used, as the start page's
  // button does.
  bool ConnectRecent(const RecentPort& port);
  CLogDialog* log() const { return log_; }
  CSensorSettingsDialog* setupPane() const { return setup_; }
  CSensorParentView* view() const { return view_; }
  QDockWidget* setupDock() const { return setupDock_; }
  QDockWidget* logDock() const override { return logDock_; }
  QToolBar* toolBar() const { return toolBar_; }

  // Re-reads availability and check marks of every command.
  void UpdateCommandUI() override;
  // ToolsMenuHost: the window that carries the "&Tools" menu.
  QMainWindow& mainWindow() override { return *this; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // "Sensor Settings": the connected model's settings dialog, showing the
  // fields of the last re-read; "Upload FPGA / DSP / CAL Table": the
  // upload dialog.
  virtual void OpenSettingsDialog();
  virtual void OpenUpload();

 private:
  void BuildActions();
  void BuildMenus();
  void BuildToolBar();
  void BuildStatusBar();
  void BuildPanes();
  void BuildStartPage();
  // The "Parameters" pane as a tab beside the command log, raised and given
  // room when it is opened.
  void PlaceParametersPane();
  // The connection as it last worked (a real port's): first among the
  // start page's entries.
  void RememberWorkingConnection();
  void LoadPaneSizes();
  void SavePaneSizes();
  void ApplyPaneSizes();

  void Connect();
  // Connects with `values`, to a virtual sensor started for them when one is asked for.
  bool ConnectWith(ConnectValues values, const std::optional<VirtualSensorRequest>& virtualSensor,
                   int32_t firstCheckMode = kCheckModeChecksum);
  void ChangeAddress();
  void ChangeBaudRate();
  void SerialAndModelDialog();
  void About();
  void PopUpEditMenu(const QPoint& globalPos, std::optional<DocCommand> defaultCommand);
  void HandlePollTick();
  void RefreshSetupPane();

  CKRV02Doc& doc_;
  VirtualSensorPort virtualSensor_;
  std::unique_ptr<PortWatch> portWatch_;
  int portWatchToken_ = 0;
  // A port that comes back may be the lost link's (reconnect), one that
  // goes may end it.
  void FollowPortsForTheLink();
  void OnPortsChanged(const PortListChange& change);
  std::map<DocCommand, QAction*> actions_;
  QAction* toolbarToggle_ = nullptr;
  QAction* statusBarToggle_ = nullptr;
  QAction* setupToggle_ = nullptr;
  QAction* logToggle_ = nullptr;
  QAction* clearLog_ = nullptr;
  QAction* exit_ = nullptr;
  QAction* about_ = nullptr;
  QMenu* editMenu_ = nullptr;
  QMenu* helpMenu_ = nullptr;
  std::vector<RecentPort> recentPorts_;
  QToolBar* toolBar_ = nullptr;
  CLogDialog* log_ = nullptr;
  CSensorSettingsDialog* setup_ = nullptr;
  CSensorParentView* view_ = nullptr;
  CToolsMenu* tools_ = nullptr;  // the "&Tools" menu and the trace pane
  CLinkView* link_ = nullptr;
  CParametersPane* params_ = nullptr;  // the "Parameters" pane and its file commands
  QDockWidget* setupDock_ = nullptr;
  QDockWidget* logDock_ = nullptr;
  int logHeightBeforeParameters_ = 0;  // the bottom panes' height before "Parameters" opened
  // Pane sizes as read from the profile, updated from the panes at the end.
  PaneSizes setupSizes_;
  PaneSizes logSizes_;
  bool sizesApplied_ = false;
  // While the view's poll tick runs: panel switches wait for it to return.
  bool inPollTick_ = false;
  // Error lines logged while a connect runs, for its failure message.
  bool collectingConnectErrors_ = false;
  QStringList connectErrors_;
  // A close asked for while a transfer held the line: retried until the
  // line is free.
  QTimer closeWhenFree_;
};
