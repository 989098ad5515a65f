#pragma once
// Tools > "Change History...": every write of the suite's programs to a
// sensor, newest first, filtered by serial number and by time. It only
// reads the history file (history/change_history.h), so it opens with or
// without a sensor.

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QTableWidget;

class CChangeHistoryDialog : public QDialog {
  Q_OBJECT
 public:
  // `path`: the history file (history::DefaultPath() in the program).
  CChangeHistoryDialog(std::string path, QWidget* parent = nullptr);

  QLineEdit* serialFilter() const { return serial_; }
  QLineEdit* sinceFilter() const { return since_; }
  QTableWidget* table() const { return table_; }
  QLabel* status() const { return status_; }

 public slots:
  // Reads the file again and shows what the filters let through.
  void Reload();

 private:
  std::string path_;
  QLineEdit* serial_;
  QLineEdit* since_;
  QTableWidget* table_;
  QLabel* status_;
};
