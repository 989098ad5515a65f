#include "tarkon/ui/tools_menu.h"

#include <QAction>
#include <QDockWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "tarkon/document/krv02_doc.h"
#include "tarkon/fleet/fleet_tools.h"
#include "tarkon/fleet/line_poller.h"
#include "tarkon/ui/bus_scan_dialog.h"
#include "tarkon/ui/change_history_dialog.h"
#include "tarkon/ui/commissioning_report_dialog.h"
#include "tarkon/ui/line_view_dialog.h"
#include "tarkon/ui/settings_backup_dialogs.h"
#include "tarkon/ui/trace_pane.h"

using fleet::FleetTool;

CToolsMenu::CToolsMenu(ToolsMenuHost& host, CKRV02Doc& doc)
    : QObject(&host.mainWindow()), host_(host), window_(host.mainWindow()), doc_(doc) {
  menu_ = window_.menuBar()->addMenu(QStringLiteral("&Tools"));
  save_ = menu_->addAction(QStringLiteral("Save Sensor Settings..."));
  save_->setStatusTip(QStringLiteral("Save the sensor's identity and every setting to a file"));
  restore_ = menu_->addAction(QStringLiteral("Restore Sensor Settings..."));
  restore_->setStatusTip(QStringLiteral("Compare the sensor with a saved file and bring its settings back"));
  menu_->addSeparator();
  busScan_ = menu_->addAction(QStringLiteral("Find Sensors on the Bus..."));
  busScan_->setStatusTip(QStringLiteral("Ask every address of the line for a sensor, and connect to one"));
  lineView_ = menu_->addAction(QStringLiteral("Line View..."));
  lineView_->setStatusTip(QStringLiteral("Every sensor of the line live at once, a row each"));
  menu_->addSeparator();
  history_ = menu_->addAction(QStringLiteral("Change History..."));
  history_->setStatusTip(QStringLiteral("Every write to a sensor: who changed what, when, and whether it verified"));
  report_ = menu_->addAction(QStringLiteral("Commissioning Report..."));
  report_->setStatusTip(QStringLiteral("The sensor's identity, settings and last changes as PDF or HTML"));
  menu_->addSeparator();
  trace_ = menu_->addAction(QStringLiteral("Protocol trace"));
  trace_->setStatusTip(QStringLiteral("Show or hide every frame sent and received"));
  trace_->setCheckable(true);

  tracePane_ = new CTracePane(doc_, &window_);
  traceDock_ = new QDockWidget(QStringLiteral("Protocol trace"), &window_);
  traceDock_->setObjectName(QStringLiteral("tracePane"));
  traceDock_->setWidget(tracePane_);
  traceDock_->setMinimumSize(120, 60);
  // A tab beside the command log: the trace lines are long and want the
  // window's width.
  window_.addDockWidget(Qt::BottomDockWidgetArea, traceDock_);
  window_.tabifyDockWidget(host_.logDock(), traceDock_);
  traceDock_->hide();

  connect(save_, &QAction::triggered, this, &CToolsMenu::SaveSettings);
  connect(restore_, &QAction::triggered, this, &CToolsMenu::RestoreSettings);
  connect(busScan_, &QAction::triggered, this, &CToolsMenu::FindSensors);
  connect(lineView_, &QAction::triggered, this, &CToolsMenu::OpenLineView);
  connect(history_, &QAction::triggered, this, &CToolsMenu::ShowChangeHistory);
  connect(report_, &QAction::triggered, this, &CToolsMenu::WriteReport);
  connect(trace_, &QAction::toggled, traceDock_, [this](bool on) {
    traceDock_->setVisible(on);
    if (on) traceDock_->raise();
  });
  connect(traceDock_, &QDockWidget::visibilityChanged, this, [this](bool) {
    const bool shown = !traceDock_->isHidden();
    trace_->setChecked(shown);
    tracePane_->SetActive(shown);
  });
  connect(menu_, &QMenu::aboutToShow, this, &CToolsMenu::UpdateAvailability);
  UpdateAvailability();
}

void CToolsMenu::UpdateAvailability() {
  save_->setEnabled(fleet::IsToolAvailable(doc_, FleetTool::kSaveSettings));
  restore_->setEnabled(fleet::IsToolAvailable(doc_, FleetTool::kRestoreSettings));
  busScan_->setEnabled(fleet::IsToolAvailable(doc_, FleetTool::kBusScan));
  // The line view opens the port itself, as the bus scan does.
  lineView_->setEnabled(fleet::IsToolAvailable(doc_, FleetTool::kBusScan));
  trace_->setEnabled(fleet::IsToolAvailable(doc_, FleetTool::kProtocolTrace));
  history_->setEnabled(fleet::IsToolAvailable(doc_, FleetTool::kChangeHistory));
  report_->setEnabled(fleet::IsToolAvailable(doc_, FleetTool::kCommissioningReport));
}

void CToolsMenu::ShowChangeHistory() {
  CChangeHistoryDialog dialog(doc_.changeHistory().path(), &window_);
  dialog.exec();
}

void CToolsMenu::WriteReport() {
  UpdateAvailability();
  if (!fleet::IsToolAvailable(doc_, FleetTool::kCommissioningReport)) return;
  CCommissioningReportDialog dialog(doc_, &window_);
  dialog.exec();
  host_.UpdateCommandUI();
}

void CToolsMenu::SaveSettings() {
  UpdateAvailability();
  if (!fleet::IsToolAvailable(doc_, FleetTool::kSaveSettings)) return;
  SaveSensorSettings(doc_, &window_);
}

void CToolsMenu::RestoreSettings() {
  UpdateAvailability();
  if (!fleet::IsToolAvailable(doc_, FleetTool::kRestoreSettings)) return;
  RestoreSensorSettings(doc_, &window_);
  host_.UpdateCommandUI();
}

void CToolsMenu::OpenLineView() {
  UpdateAvailability();
  if (!fleet::IsToolAvailable(doc_, FleetTool::kBusScan)) return;
  const ConnectValues stored = doc_.BeginConnect();
  ShowLineView(stored, BaudRateOfChoice(stored.baudChoice), {});
}

void CToolsMenu::ShowLineView(const ConnectValues& base, int baudRate, std::vector<fleet::PolledSensor> sensors) {
  if (lineViewDialog_ != nullptr) lineViewDialog_->close();
  lineViewDialog_ = new CLineViewDialog(host_, base, baudRate, std::move(sensors),
                                        tracePane_->active() ? &tracePane_->log().trace() : nullptr, &window_);
  connect(lineViewDialog_, &QObject::destroyed, this, [this] { lineViewDialog_ = nullptr; });
  lineViewDialog_->show();
  lineViewDialog_->StartPolling();
}

void CToolsMenu::FindSensors() {
  UpdateAvailability();
  if (!fleet::IsToolAvailable(doc_, FleetTool::kBusScan)) return;
  const ConnectValues stored = doc_.BeginConnect();
  CBusScanDialog dialog(stored.portText, BaudRateOfChoice(stored.baudChoice),
                        tracePane_->active() ? &tracePane_->log().trace() : nullptr, &window_);
  if (dialog.exec() != QDialog::Accepted) return;
  if (dialog.lineViewAsked()) {
    // One line view polls at one baud rate: that of the first sensor found.
    const int baud = dialog.found().front().baudRate;
    std::vector<fleet::FoundSensor> atRate;
    for (const fleet::FoundSensor& f : dialog.found())
      if (f.baudRate == baud) atRate.push_back(f);
    ConnectValues base = stored;
    base.portText = dialog.chosenPortText();
    ShowLineView(base, baud, fleet::PolledSensorsOf(atRate));
    return;
  }
  if (!dialog.chosen()) return;
  const fleet::FoundConnection found = fleet::ConnectionOfFound(*dialog.chosen(), dialog.chosenPortText(), stored);
  host_.ConnectFound(found.values, found.firstCheckMode);
}
