#pragma once
// "Save Sensor Settings..." and "Restore Sensor Settings...": the file
// choice, the difference table and the question before a restore, and what
// the restore did. Capturing, comparing, applying and verifying are the
// engine's (tarkon/fleet); these only show what it reports.

#include <QDialog>
#include <string>
#include <vector>

#include "tarkon/fleet/settings_restore.h"

class CKRV02Doc;
class QCheckBox;
class QLabel;
class QPushButton;
class QStandardItemModel;
class QTableView;
class QWidget;

// Asks for a file name and saves the sensor's settings there; says the
// outcome in a message box.
void SaveSensorSettings(CKRV02Doc& doc, QWidget* parent);
// Asks for a backup file, shows the differences and, when the user agrees,
// restores them.
void RestoreSensorSettings(CKRV02Doc& doc, QWidget* parent);
// The same for a backup already read (a file dropped on the window).
void RestoreSensorSettingsFrom(CKRV02Doc& doc, fleet::SensorBackup backup, const std::string& path, QWidget* parent);

// The difference table of a restore: "Apply" restores, then the table shows
// what each value became.
class CRestoreSettingsDialog : public QDialog {
  Q_OBJECT
 public:
  CRestoreSettingsDialog(CKRV02Doc& doc, fleet::SensorBackup backup, const std::string& path,
                         const fleet::RestoreReport& comparison, QWidget* parent = nullptr);

  QTableView* table() const { return table_; }
  QLabel* questionText() const { return question_; }
  QCheckBox* connectionBox() const { return connection_; }
  QPushButton* applyButton() const { return apply_; }
  QPushButton* closeButton() const { return close_; }
  bool applied() const { return applied_; }
  const fleet::RestoreReport& outcome() const { return outcome_; }

 public slots:
  void Apply();

 private:
  void ShowRows(const std::vector<fleet::RestoreItem>& rows, bool after);

  CKRV02Doc& doc_;
  fleet::SensorBackup backup_;
  bool otherModel_;
  bool applied_ = false;
  fleet::RestoreReport outcome_;
  QLabel* question_;
  QCheckBox* connection_;
  QStandardItemModel* model_;
  QTableView* table_;
  QPushButton* apply_;
  QPushButton* close_;
};
