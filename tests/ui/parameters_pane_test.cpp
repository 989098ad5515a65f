// The "Parameters" pane offscreen against the virtual sensor: rows, a cell
// edited and written with Enter, a refusal shown and nothing sent, every
// cell speaking its setting and value; and the file mode with no sensor.

#include <QAccessible>
#include <QDockWidget>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>

#include "protocol/command_ids.h"
#include "tarkon/fleet/settings_backup.h"
#include "tarkon/ui/parameters_model.h"
#include "tarkon/ui/parameters_pane.h"
#include "ui_test_support.h"

namespace uitest {
namespace {

QModelIndex Cell(CParametersPane& pane, const std::string& name, int column) {
  const size_t row = pane.table().Find(name);
  EXPECT_NE(row, std::string::npos) << name;
  return pane.model()->index(static_cast<int>(row), column);
}

void PressEnter(QWidget* target) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
}

class ParametersPaneTest : public TracedUiTest {};

TEST_F(ParametersPaneTest, EditWithTheKeyboardEnterWritesTheGroupRefusalsAreNotSent) {
  CMainFrame& frame = ConnectTraced("KRV04");
  CParametersPane* pane = frame.parametersPane();
  ASSERT_NE(pane, nullptr);
  EXPECT_EQ(pane->dock()->windowTitle(), "Parameters");
  ASSERT_EQ(pane->model()->rowCount(), 11);
  EXPECT_FALSE(pane->view()->isColumnHidden(CParametersModel::kSensor));
  EXPECT_TRUE(pane->view()->isColumnHidden(CParametersModel::kFile));

  // Every cell speaks its column, its setting and its value.
  const QModelIndex threshold = Cell(*pane, "Threshold", CParametersModel::kSensor);
  const QString value = threshold.data().toString();
  EXPECT_EQ(threshold.data(Qt::AccessibleTextRole).toString(), "Sensor of Threshold: " + value);
  for (int r = 0; r < pane->model()->rowCount(); ++r)
    for (int c = 0; c < CParametersModel::kColumnCount; ++c)
      EXPECT_FALSE(pane->model()->index(r, c).data(Qt::AccessibleTextRole).toString().isEmpty());

  // A refused value: its message beside the row, nothing on the line.
  ASSERT_TRUE(pane->model()->setData(threshold, "256", Qt::EditRole));
  EXPECT_TRUE(pane->writeButton()->isEnabled());
  pane->view()->setFocus();
  pane->view()->setCurrentIndex(threshold);
  PressEnter(pane->view());
  EXPECT_TRUE(trace_.Commands().empty());
  EXPECT_EQ(Cell(*pane, "Threshold", CParametersModel::kStatus).data().toString(),
            "refused: Threshold must be between 0 and 255");
  EXPECT_EQ(pane->statusLine()->accessibleName(), pane->statusLine()->text());

  // A good value, written by Enter and read back.
  ASSERT_TRUE(pane->model()->setData(threshold, "57", Qt::EditRole));
  EXPECT_EQ(Cell(*pane, "Threshold", CParametersModel::kStatus).data().toString(), "edited");
  PressEnter(pane->view());
  EXPECT_EQ(sensor_->Snapshot().settings.threshold, 57);
  EXPECT_EQ(Sent(cmd::SetThreshold), 1u);
  EXPECT_EQ(Cell(*pane, "Threshold", CParametersModel::kSensor).data().toString(), "57");
  EXPECT_EQ(Cell(*pane, "Threshold", CParametersModel::kStatus).data().toString(), "verified");
  EXPECT_TRUE(pane->undoButton()->isEnabled());
  pane->undoButton()->click();
  EXPECT_EQ(sensor_->Snapshot().settings.threshold, value.toInt());
}

TEST_F(ParametersPaneTest, FileModeWithoutASensorEditsSavesAndShowsBesideTheSensor) {
  // A file to open: the sensor's backup, saved while connected elsewhere.
  CMainFrame& frame = ConnectTraced("Qmt Short");
  fleet::SensorBackup backup;
  std::string error;
  ASSERT_TRUE(fleet::CaptureBackup(*doc_, backup, error)) << error;
  const std::string path = dir_.File("qmt.json");
  ASSERT_TRUE(fleet::WriteBackupFile(path, backup, error)) << error;
  frame.RunCommand(DocCommand::kDisconnect);
  Pump(20);
  trace_.Clear();

  CParametersPane* pane = frame.parametersPane();
  // The file commands sit in the "&File" menu.
  QStringList fileMenu;
  for (QAction* a : frame.menuBar()->actions().first()->menu()->actions()) fileMenu << a->text();
  EXPECT_TRUE(fileMenu.contains("Open Settings File...") && fileMenu.contains("Save") && fileMenu.contains("Save As..."));
  EXPECT_FALSE(pane->saveAction()->isEnabled());

  ASSERT_TRUE(pane->OpenFile(QString::fromStdString(path))) << pane->statusLine()->text().toStdString();
  EXPECT_TRUE(pane->view()->isColumnHidden(CParametersModel::kSensor));
  EXPECT_FALSE(pane->view()->isColumnHidden(CParametersModel::kFile));
  EXPECT_TRUE(pane->saveAction()->isEnabled());
  const QModelIndex volts = Cell(*pane, "Max. Volts", CParametersModel::kFile);
  EXPECT_FALSE(pane->model()->setData(volts, "70", Qt::EditRole));
  EXPECT_TRUE(pane->statusLine()->text().startsWith("Max. Volts: Max. Volts must be between"));
  ASSERT_TRUE(pane->model()->setData(volts, "3.25", Qt::EditRole));
  EXPECT_EQ(volts.data().toString(), "3.250");
  EXPECT_TRUE(trace_.Commands().empty()) << "the file mode sends nothing to the sensor";
  pane->saveAction()->trigger();
  fleet::SensorBackup saved;
  ASSERT_TRUE(fleet::ReadBackupFile(path, saved, error)) << error;
  EXPECT_EQ(saved.Find("Max. Volts")->value, "3.250");

  // Connected again: the file beside the sensor, the difference marked.
  ASSERT_TRUE(ConnectTyped(sensor_->SlavePath()));
  Pump(50);
  EXPECT_FALSE(pane->view()->isColumnHidden(CParametersModel::kSensor));
  EXPECT_TRUE(Cell(*pane, "Max. Volts", CParametersModel::kStatus).data().toString().contains("differs from the file"));
  const uint16_t maxVolts = sensor_->Snapshot().settings.analog.maxVolts;
  // "Apply file values" says what it will write and asks first, No the
  // default: No writes nothing, Yes writes it.
  for (const bool yes : {false, true}) {
    QString question;
    bool noIsDefault = false;
    auto asked = OnNextModalOf<QMessageBox>([&](QMessageBox* box) {
      question = box->text();
      noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
      box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
    });
    trace_.Clear();
    pane->applyButton()->click();
    ASSERT_TRUE(PumpUntil([&] { return *asked; }));
    EXPECT_TRUE(question.contains("Max. Volts: " + QString::number(maxVolts / 1000.0, 'f', 3) + " -> 3.250"))
        << question.toStdString();
    EXPECT_TRUE(question.endsWith("Apply the file's values to the sensor?")) << question.toStdString();
    EXPECT_TRUE(noIsDefault);
    if (!yes) {
      EXPECT_EQ(sensor_->Snapshot().settings.analog.maxVolts, maxVolts);
      EXPECT_EQ(pane->statusLine()->text(), "Nothing applied");
    }
  }
  EXPECT_EQ(sensor_->Snapshot().settings.analog.maxVolts, 3250);
  EXPECT_EQ(Cell(*pane, "Max. Volts", CParametersModel::kStatus).data().toString(), "verified");
}

// Typing into a cell and pressing Enter ends the typing and keeps the
// value, as Tab does; the editor is neither lost nor left dangling.
TEST_F(ParametersPaneTest, EnterInACellEditorCommitsTheTypedValue) {
  CMainFrame& frame = ConnectTraced("KRV04");
  fleet::SensorBackup backup;
  std::string error;
  ASSERT_TRUE(fleet::CaptureBackup(*doc_, backup, error)) << error;
  const std::string path = dir_.File("krv04.json");
  ASSERT_TRUE(fleet::WriteBackupFile(path, backup, error)) << error;
  frame.RunCommand(DocCommand::kDisconnect);
  Pump(20);
  CParametersPane* pane = frame.parametersPane();
  ASSERT_TRUE(pane->OpenFile(QString::fromStdString(path)));

  static QStringList warnings;
  warnings.clear();
  const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
    warnings << m;
  });
  const QModelIndex threshold = Cell(*pane, "Threshold", CParametersModel::kFile);
  pane->view()->setCurrentIndex(threshold);
  pane->view()->edit(threshold);
  auto* editor = pane->view()->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->setText("70");
  PressEnter(editor);
  PumpUntil([&] { return pane->view()->viewport()->findChild<QLineEdit*>() == nullptr; });
  Pump(20);
  qInstallMessageHandler(previous);

  EXPECT_EQ(Cell(*pane, "Threshold", CParametersModel::kFile).data().toString(), "70");
  EXPECT_EQ(pane->table().file()->Find("Threshold")->value, "70");
  for (const QString& w : warnings) EXPECT_FALSE(w.contains("commitData")) << w.toStdString();
}

}  // namespace
}  // namespace uitest
