// The "&Tools" menu against the virtual sensor, through its dialogs: a
// settings backup and restore, the bus scan and the protocol trace pane.

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <fstream>

#include "tarkon/document/doc_internals.h"
#include "tarkon/fleet/settings_backup.h"
#include "tarkon/ui/bus_scan_dialog.h"
#include "tarkon/ui/sensor_panels.h"
#include "tarkon/ui/sensor_view.h"
#include "tarkon/ui/settings_backup_dialogs.h"
#include "tarkon/ui/tools_menu.h"
#include "tarkon/ui/trace_pane.h"
#include "support/file_dialog_answer.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"
#include "ui_test_support.h"

namespace uitest {
namespace {

// Handles the next modal windows in turn, one handler each; the returned
// count says how many came. A window handled once is never handed on again:
// a file dialog stays visible for a moment after its own overwrite question
// closes, and must not be taken for the next window.
std::shared_ptr<int> OnModals(std::vector<std::function<void(QWidget*)>> handlers) {
  struct Watch {
    int handled = 0;
    QList<QPointer<QWidget>> seen;
    QTimer timer;
  };
  auto watch = std::make_shared<Watch>();
  Watch* w = watch.get();
  w->timer.setInterval(5);
  QObject::connect(&w->timer, &QTimer::timeout, [w, handlers] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || w->seen.contains(modal)) return;
    if (w->handled >= static_cast<int>(handlers.size())) return;
    w->seen.append(modal);
    const int index = w->handled++;
    if (w->handled == static_cast<int>(handlers.size())) w->timer.stop();
    handlers[static_cast<size_t>(index)](modal);
    CloseIfTheHandlerFailed(modal);
  });
  w->timer.start();
  return std::shared_ptr<int>(watch, &w->handled);
}

std::function<void(QWidget*)> ChooseFile(const std::string& path) {
  return [path](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    testsupport::TypeFileName(dialog, QString::fromStdString(path));
    QMetaObject::invokeMethod(dialog, "accept");
  };
}

std::function<void(QWidget*)> CloseMessage(QString* text) {
  return [text](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    *text = box->text();
    box->buttons().first()->click();
  };
}

// Every control a user can act on has a name a screen reader announces.
void ExpectAccessibleNames(QWidget* root) {
  for (QWidget* w : root->findChildren<QWidget*>()) {
    const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                         qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QAbstractItemView*>(w);
    if (control && w->isVisibleTo(root) && w->parent() != nullptr && !w->parent()->inherits("QAbstractItemView") &&
        !w->parent()->inherits("QHeaderView") && !w->inherits("QHeaderView")) {
      EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className() << " " << w->objectName().toStdString();
    }
  }
}

QString Cell(QTableView* table, int row, int column) {
  return table->model()->index(row, column).data().toString();
}

class ToolsMenuTest : public UiTest {};

TEST_F(ToolsMenuTest, SaveChangeRestoreThroughTheDialogsBringsTheValueBack) {
  sim::VirtualSensor& sensor = StartSensor("KRV04");
  CMainFrame& frame = OpenFrame();
  // The menus of the frame stay as they were; Tools comes after them, and
  // Help ends the bar.
  QStringList titles;
  for (QAction* a : frame.menuBar()->actions()) titles << a->text();
  EXPECT_EQ(titles, QStringList({"&File", "&Edit ", "&View", "&Tools", "&Help"}));
  CToolsMenu* tools = frame.tools();
  EXPECT_FALSE(tools->saveAction()->isEnabled());
  EXPECT_FALSE(tools->restoreAction()->isEnabled());
  EXPECT_TRUE(tools->busScanAction()->isEnabled());

  ASSERT_TRUE(ConnectTyped(sensor.SlavePath()));
  EXPECT_TRUE(tools->saveAction()->isEnabled());
  EXPECT_TRUE(tools->restoreAction()->isEnabled());
  EXPECT_FALSE(tools->busScanAction()->isEnabled()) << "the scan needs the line to itself";
  {
    TransferFlag::Scope transfer(DocInternals::Transfer(*doc_));
    tools->UpdateAvailability();
    EXPECT_FALSE(tools->saveAction()->isEnabled());
    EXPECT_FALSE(tools->restoreAction()->isEnabled());
    EXPECT_TRUE(tools->traceAction()->isEnabled());
  }
  tools->UpdateAvailability();
  const int threshold = sensor.Snapshot().settings.threshold;

  const std::string file = dir_.File("krv04.json");
  QString saved;
  auto came = OnModals({ChooseFile(file), CloseMessage(&saved)});
  tools->saveAction()->trigger();
  EXPECT_EQ(*came, 2);
  EXPECT_TRUE(saved.startsWith("Saved ")) << saved.toStdString();
  fleet::SensorBackup backup;
  std::string error;
  ASSERT_TRUE(fleet::ReadBackupFile(file, backup, error)) << error;
  EXPECT_EQ(backup.model, "KRV04");

  // The sensor's threshold is changed behind the program's back.
  const int changed = threshold == 99 ? 98 : 99;
  sensor.Mutate([changed](sim::SensorState& s) { s.settings.threshold = static_cast<uint8_t>(changed); });

  bool sawDifference = false;
  bool appliedOk = false;
  came = OnModals({ChooseFile(file), [&](QWidget* w) {
                     auto* dialog = qobject_cast<CRestoreSettingsDialog*>(w);
                     ASSERT_NE(dialog, nullptr);
                     ExpectAccessibleNames(dialog);
                     QTableView* table = dialog->table();
                     ASSERT_EQ(table->model()->rowCount(), 1) << dialog->questionText()->text().toStdString();
                     sawDifference = Cell(table, 0, 0) == "Threshold" && Cell(table, 0, 1) == QString::number(changed) &&
                                     Cell(table, 0, 2) == QString::number(threshold);
                     EXPECT_TRUE(dialog->questionText()->text().contains("Apply")) << dialog->questionText()->text().toStdString();
                     EXPECT_EQ(sensor.Snapshot().settings.threshold, changed) << "nothing is sent before Apply";
                     // Enter does not overwrite the sensor: Cancel is the default button.
                     EXPECT_TRUE(dialog->closeButton()->isDefault());
                     EXPECT_FALSE(dialog->applyButton()->isDefault());
                     dialog->applyButton()->click();
                     appliedOk = dialog->applied() && dialog->outcome().AllVerified();
                     EXPECT_TRUE(dialog->questionText()->text().contains("Every change verified"))
                         << dialog->questionText()->text().toStdString();
                     EXPECT_EQ(Cell(table, 0, 3), "changed");
                     dialog->closeButton()->click();
                   }});
  tools->restoreAction()->trigger();
  EXPECT_EQ(*came, 2);
  EXPECT_TRUE(sawDifference);
  EXPECT_TRUE(appliedOk);
  EXPECT_EQ(sensor.Snapshot().settings.threshold, threshold);

  // A damaged file is refused with its reason, and nothing is sent.
  const std::string damaged = dir_.File("damaged.json");
  std::ofstream(damaged) << "{\"format\": \"tarkon-settings-backup\",";
  QString refusal;
  came = OnModals({ChooseFile(damaged), CloseMessage(&refusal)});
  tools->restoreAction()->trigger();
  EXPECT_EQ(*came, 2);
  EXPECT_TRUE(refusal.contains("Nothing was sent")) << refusal.toStdString();
}

// The scan's waits end as soon as their condition holds; their bound only
// keeps a loaded machine (two cores, sanitizers) from failing a sound run.
constexpr int kGenerousMs = 60000;

TEST_F(ToolsMenuTest, BusScanFindsTheVirtualSensorCanBeStoppedAndConnects) {
  sim::SensorConfig config;
  config.model = "KRV04";
  config.address = 17;
  config.checkMode = 1;
  sensor_ = std::make_unique<sim::VirtualSensor>(config);
  ASSERT_TRUE(sensor_->Start()) << sensor_->LastError();
  CMainFrame& frame = OpenFrame();

  int progressSeen = 0;
  bool stopped = false;
  auto came = OnModals({[&](QWidget* w) {
    auto* dialog = qobject_cast<CBusScanDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    ExpectAccessibleNames(dialog);

    dialog->portBox()->setEditText(QString::fromStdString(sensor_->SlavePath()));
    for (int rate : {9600, 19200, 38400}) dialog->baudBox(rate)->setChecked(false);
    dialog->baudBox(57600)->setChecked(true);
    // The whole range, stopped on the way: the window runs meanwhile.
    dialog->scanButton()->click();
    EXPECT_TRUE(dialog->scanning());
    PumpUntil([&] { return dialog->progress()->value() >= 20; }, kGenerousMs);
    progressSeen = dialog->progress()->value();
    dialog->scanButton()->click();
    EXPECT_TRUE(PumpUntil([&] { return !dialog->scanning(); }, kGenerousMs));
    stopped = dialog->statusText()->text().contains("(stopped)");
    EXPECT_LT(dialog->progress()->value(), dialog->progress()->maximum());

    dialog->fromBox()->setValue(10);
    dialog->toBox()->setValue(20);
    // A probe's own budget (17 ms at 57600 Bd) is the line time of a real
    // sensor; the virtual one on a loaded test machine may answer later.
    dialog->SetProbeBudgetMs(250);
    dialog->scanButton()->click();
    ASSERT_TRUE(PumpUntil([&] { return !dialog->scanning(); }, kGenerousMs));
    QTableView* table = dialog->results();
    ASSERT_EQ(table->model()->rowCount(), 1) << dialog->statusText()->text().toStdString();
    EXPECT_EQ(Cell(table, 0, 0), "17");
    EXPECT_EQ(Cell(table, 0, 1), "CRC");
    EXPECT_EQ(Cell(table, 0, 2), "57600");
    EXPECT_EQ(Cell(table, 0, 3), "KRV04");
    EXPECT_EQ(Cell(table, 0, 4).size(), 8);
    EXPECT_TRUE(dialog->connectButton()->isEnabled());
    dialog->connectButton()->click();
  }});
  frame.tools()->busScanAction()->trigger();
  EXPECT_EQ(*came, 1);
  EXPECT_GE(progressSeen, 20);
  EXPECT_TRUE(stopped);
  ASSERT_TRUE(doc_->connected());
  EXPECT_EQ(doc_->sensor().address(), 17);
  EXPECT_EQ(doc_->sensor().checkMode(), 1);
  EXPECT_EQ(doc_->sensor().modelText(), "KRV04");
  EXPECT_FALSE(frame.tools()->busScanAction()->isEnabled());
}

TEST_F(ToolsMenuTest, TracePaneShowsTheFramesOfAConnectWithPauseClearAndSave) {
  sim::VirtualSensor& sensor = StartSensor("KRV02");
  CMainFrame& frame = OpenFrame();
  CToolsMenu* tools = frame.tools();
  CTracePane* pane = tools->tracePane();
  EXPECT_TRUE(tools->traceDock()->isHidden());
  EXPECT_FALSE(pane->active()) << "a hidden pane gathers nothing";
  tools->traceAction()->trigger();
  EXPECT_FALSE(tools->traceDock()->isHidden());
  EXPECT_TRUE(pane->active());
  ExpectAccessibleNames(pane);

  ASSERT_TRUE(ConnectTyped(sensor.SlavePath()));
  ASSERT_TRUE(PumpUntil([&] { return pane->Lines().size() >= 4; }));
  const QStringList lines = pane->Lines();
  // The same lines as the command-line tool's --trace.
  EXPECT_EQ(lines[0].mid(10).toStdString(), " tx 02 01 01 7F 7D  GetModelName addr=1 len=0 checksum check=ok");
  EXPECT_EQ(lines[1].mid(11, 2), "rx");
  EXPECT_TRUE(lines[1].contains("GetModelName addr=1 len=16 checksum check=ok")) << lines[1].toStdString();
  EXPECT_EQ(pane->list()->model()->rowCount(), lines.size());

  // Paused, the polls leave no lines; resumed, they do. The panel polls
  // once its diagnostics are switched on.
  auto* panel = qobject_cast<CKRV02Dlg*>(frame.view()->currentPanel());
  ASSERT_NE(panel, nullptr);
  panel->diagnostics()->updateBox()->setChecked(true);
  pane->pauseButton()->click();
  Pump(50);
  const qsizetype paused = pane->Lines().size();
  Pump(700);
  EXPECT_EQ(pane->Lines().size(), paused);
  pane->pauseButton()->click();
  EXPECT_TRUE(PumpUntil([&] { return pane->Lines().size() > paused; }));

  const std::string file = dir_.File("trace.txt");
  pane->pauseButton()->click();
  Pump(50);
  auto came = OnModals({ChooseFile(file)});
  pane->saveButton()->click();
  EXPECT_EQ(*came, 1);
  std::ifstream in(file);
  QStringList written;
  for (std::string line; std::getline(in, line);) written << QString::fromStdString(line);
  EXPECT_EQ(written, pane->Lines());

  // Saved again on a disk that is full: the pane says so, and the trace
  // saved before stays whole.
  const std::string before = testsupport::ReadWholeFile(file);
  QString warning;
  {
    testsupport::FileSizeLimit full(before.size() / 2);
    auto replace = [](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      ASSERT_NE(box->button(QMessageBox::Yes), nullptr) << box->text().toStdString();
      box->button(QMessageBox::Yes)->click();
    };
    // Accepted from the event loop, so that the question whether to replace
    // the file comes as a modal of its own.
    auto chooseExisting = [file](QWidget* w) {
      auto* dialog = qobject_cast<QFileDialog*>(w);
      ASSERT_NE(dialog, nullptr);
      testsupport::TypeFileName(dialog, QString::fromStdString(file));
      QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    };
    came = OnModals({chooseExisting, replace, CloseMessage(&warning)});
    pane->saveButton()->click();
  }
  EXPECT_EQ(*came, 3);
  EXPECT_TRUE(warning.startsWith("The trace was not saved: cannot write " + QString::fromStdString(file)))
      << warning.toStdString();
  EXPECT_EQ(testsupport::ReadWholeFile(file), before);

  pane->clearButton()->click();
  EXPECT_EQ(pane->list()->model()->rowCount(), 0);
  tools->traceAction()->trigger();
  EXPECT_FALSE(pane->active());
}

}  // namespace
}  // namespace uitest
