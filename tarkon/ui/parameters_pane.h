#pragma once
// The "Parameters" pane: every setting of the connected sensor in one
// table (name, value, unit, range, group, status), and of a settings file
// opened with File > "Open Settings File..." (no sensor needed). Edits are
// held until "Write changed" (or Enter on a row, which writes its group);
// "Revert" drops them, "Undo last write" writes back what was there before.
// With a file and a sensor: "Apply file values" and "Take sensor values".
// Everything it decides comes from fleet::ParameterTable.

#include <QTableView>
#include <QWidget>
#include <memory>

#include "tarkon/fleet/parameter_table.h"

class CKRV02Doc;
class CParametersModel;
class QAction;
class QDockWidget;
class QLabel;
class QMainWindow;
class QPushButton;

// The pane's table: says whether a cell is being typed in.
class CParametersView : public QTableView {
  Q_OBJECT
 public:
  using QTableView::QTableView;
  bool Editing() const;
};

class CParametersPane : public QWidget {
  Q_OBJECT
 public:
  CParametersPane(CKRV02Doc& doc, QWidget* parent = nullptr);
  ~CParametersPane() override;

  // Puts the pane into a dock "Parameters" of `window` and its three file
  // commands into the window's "&File" menu, before its last separator.
  static CParametersPane* Install(QMainWindow& window, CKRV02Doc& doc);

  // The sensor's values were read again (or the connection changed).
  void Refresh();

  fleet::ParameterTable& table() { return *table_; }
  CParametersView* view() const { return view_; }
  CParametersModel* model() const { return model_; }
  QLabel* statusLine() const { return status_; }
  QPushButton* writeButton() const { return write_; }
  QPushButton* revertButton() const { return revert_; }
  QPushButton* undoButton() const { return undo_; }
  QPushButton* applyButton() const { return apply_; }
  QPushButton* takeButton() const { return take_; }
  QAction* openAction() const { return open_; }
  QAction* saveAction() const { return save_; }
  QAction* saveAsAction() const { return saveAs_; }
  QDockWidget* dock() const { return dock_; }

  // The commands, also for the tests (the dialogs' file names given).
  bool OpenFile(const QString& path);
  bool SaveFileAs(const QString& path);
  void WriteChanged();
  void WriteGroupOfCurrentRow();
  void Revert();
  void UndoLastWrite();
  void ApplyFileValues();
  void TakeSensorValues();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowOutcome(const fleet::WriteOutcome& outcome);
  void UpdateControls();
  std::vector<std::string> SelectedNames() const;
  void AskOpenFile();
  void Save();
  void AskSaveAs();

  CKRV02Doc& doc_;
  std::unique_ptr<fleet::ParameterTable> table_;
  CParametersModel* model_;
  CParametersView* view_;
  QLabel* fileLine_;
  QLabel* status_;
  QPushButton* write_;
  QPushButton* revert_;
  QPushButton* undo_;
  QPushButton* apply_;
  QPushButton* take_;
  QAction* open_;
  QAction* save_;
  QAction* saveAs_;
  QDockWidget* dock_ = nullptr;
};
