#pragma once
// The "&Tools" menu of the main window, after the menus of the frame:
// "Save Sensor Settings...", "Restore Sensor Settings...", "Find Sensors on
// the Bus...", "Line View...", "Change History...", "Commissioning Report..." and the
// "Protocol trace" pane. Each action is available as
// the engine's fleet::IsToolAvailable says.

#include <QObject>
#include <vector>

#include "tarkon/ui/tools_menu_host.h"

class CKRV02Doc;
class CTracePane;
class QAction;
class QDockWidget;
class QMainWindow;
class QMenu;
struct ConnectValues;
namespace fleet {
struct PolledSensor;
}

class CToolsMenu : public QObject {
  Q_OBJECT
 public:
  CToolsMenu(ToolsMenuHost& host, CKRV02Doc& doc);

  QMenu* menu() const { return menu_; }
  QAction* saveAction() const { return save_; }
  QAction* restoreAction() const { return restore_; }
  QAction* busScanAction() const { return busScan_; }
  QAction* lineViewAction() const { return lineView_; }
  // The line view last opened (null when none is open).
  class CLineViewDialog* lineView() const { return lineViewDialog_; }
  QAction* traceAction() const { return trace_; }
  QAction* historyAction() const { return history_; }
  QAction* reportAction() const { return report_; }
  QDockWidget* traceDock() const { return traceDock_; }
  CTracePane* tracePane() const { return tracePane_; }

  // Greys what the engine does not allow now.
  void UpdateAvailability();

 public slots:
  void SaveSettings();
  void RestoreSettings();
  void FindSensors();
  void OpenLineView();
  void ShowChangeHistory();
  void WriteReport();

 private:
  void ShowLineView(const ConnectValues& base, int baudRate, std::vector<fleet::PolledSensor> sensors);

  ToolsMenuHost& host_;
  QMainWindow& window_;
  CKRV02Doc& doc_;
  QMenu* menu_;
  QAction* save_;
  QAction* restore_;
  QAction* busScan_;
  QAction* lineView_;
  class CLineViewDialog* lineViewDialog_ = nullptr;
  QAction* trace_;
  QAction* history_;
  QAction* report_;
  QDockWidget* traceDock_;
  CTracePane* tracePane_;
};
