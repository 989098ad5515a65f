#include "tarkon/ui/settings_backup_dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "tarkon/document/krv02_doc.h"
#include "tarkon/fleet/fleet_tools.h"
#include "tarkon/ui/ui_texts.h"

namespace {

const QString kFilter = QStringLiteral("Settings backups (*.json);;All files (*)");

// A file dialog of the toolkit's own (the same on every desktop, and one a
// test can fill in).
QString AskFile(QWidget* parent, const QString& title, QFileDialog::AcceptMode mode, const QString& proposed) {
  QFileDialog dialog(parent, title, QString(), kFilter);
  dialog.setAcceptMode(mode);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setDefaultSuffix(QStringLiteral("json"));
  if (mode == QFileDialog::AcceptOpen) dialog.setFileMode(QFileDialog::ExistingFile);
  if (!proposed.isEmpty()) dialog.selectFile(proposed);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().first();
}

}  // namespace

void SaveSensorSettings(CKRV02Doc& doc, QWidget* parent) {
  const QString proposed =
      QString::fromStdString(fleet::ProposedBackupFileName(doc.sensor().modelText(), doc.sensor().serialNumberText()));
  const QString path = AskFile(parent, QStringLiteral("Save Sensor Settings"), QFileDialog::AcceptSave, proposed);
  if (path.isEmpty()) return;
  std::string message;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool ok = fleet::SaveBackup(doc, path.toStdString(), message);
  QApplication::restoreOverrideCursor();
  if (ok) QMessageBox::information(parent, ProgramCaption(), QString::fromStdString(message));
  else QMessageBox::warning(parent, ProgramCaption(), QString::fromStdString(message));
}

void RestoreSensorSettings(CKRV02Doc& doc, QWidget* parent) {
  const QString path = AskFile(parent, QStringLiteral("Restore Sensor Settings"), QFileDialog::AcceptOpen, QString());
  if (path.isEmpty()) return;
  fleet::SensorBackup backup;
  std::string error;
  if (!fleet::ReadBackupFile(path.toStdString(), backup, error)) {
    QMessageBox::warning(parent, ProgramCaption(),
                         QString::fromStdString("The file cannot be restored: " + error + "\nNothing was sent."));
    return;
  }
  RestoreSensorSettingsFrom(doc, std::move(backup), path.toStdString(), parent);
}

void RestoreSensorSettingsFrom(CKRV02Doc& doc, fleet::SensorBackup backup, const std::string& path, QWidget* parent) {
  fleet::RestoreOptions compare;
  compare.force = true;  // show what the models share; the dialog says so before applying
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const fleet::RestoreReport comparison = fleet::CompareWithSensor(doc, backup, compare);
  QApplication::restoreOverrideCursor();
  if (!comparison.error.empty()) {
    QMessageBox::warning(parent, ProgramCaption(), QString::fromStdString("The sensor could not be read: " + comparison.error));
    return;
  }
  if (comparison.Equal()) {
    QMessageBox::information(parent, ProgramCaption(),
                             QString::fromStdString("The sensor already holds the settings of " + path));
    return;
  }
  CRestoreSettingsDialog dialog(doc, std::move(backup), path, comparison, parent);
  dialog.exec();
  doc.operations().SensorStateChanged();
}

CRestoreSettingsDialog::CRestoreSettingsDialog(CKRV02Doc& doc, fleet::SensorBackup backup, const std::string& path,
                                               const fleet::RestoreReport& comparison, QWidget* parent)
    : QDialog(parent), doc_(doc), backup_(std::move(backup)), otherModel_(comparison.otherModel) {
  setWindowTitle(QStringLiteral("Restore Sensor Settings"));
  question_ = new QLabel(
      QString::fromStdString(fleet::RestoreQuestion(comparison, backup_, doc_.sensor().modelText(), path)), this);
  question_->setWordWrap(true);
  model_ = new QStandardItemModel(0, 4, this);
  model_->setHorizontalHeaderLabels({QStringLiteral("Setting"), QStringLiteral("Sensor now"), QStringLiteral("File"),
                                     QStringLiteral("Status")});
  table_ = new QTableView(this);
  table_->setModel(model_);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setAccessibleName(QStringLiteral("Differences between the sensor and the file"));

  const bool connectionDiffers = std::any_of(comparison.connection.begin(), comparison.connection.end(), [](const auto& i) {
    return i.status == fleet::RestoreStatus::kDifferent;
  });
  connection_ = new QCheckBox(QStringLiteral("Also restore address, check mode and baud rate (last, then reconnect)"), this);
  connection_->setAccessibleName(QStringLiteral("Also restore address, check mode and baud rate"));
  connection_->setEnabled(connectionDiffers);

  apply_ = new QPushButton(QStringLiteral("&Apply"), this);
  apply_->setAccessibleName(QStringLiteral("Apply"));
  close_ = new QPushButton(QStringLiteral("Cancel"), this);
  close_->setAccessibleName(QStringLiteral("Cancel"));
  // Applying overwrites the sensor's settings: Enter must not do it.
  close_->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(apply_);
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(question_);
  layout->addWidget(table_);
  layout->addWidget(connection_);
  layout->addLayout(buttons);
  resize(620, 420);

  connect(apply_, &QPushButton::clicked, this, &CRestoreSettingsDialog::Apply);
  connect(close_, &QPushButton::clicked, this, &QDialog::reject);
  ShowRows(fleet::DifferenceRows(comparison), false);
}

void CRestoreSettingsDialog::ShowRows(const std::vector<fleet::RestoreItem>& rows, bool after) {
  model_->removeRows(0, model_->rowCount());
  if (after) {
    model_->setHorizontalHeaderLabels({QStringLiteral("Setting"), QStringLiteral("Sensor before"),
                                       QStringLiteral("Sensor now"), QStringLiteral("Status")});
  }
  for (const fleet::RestoreItem& i : rows) {
    std::string status = fleet::StatusText(i.status);
    if (!i.message.empty()) status += ": " + i.message;
    QList<QStandardItem*> row;
    for (const std::string& cell : {i.name, i.sensorText, after ? i.afterText : i.fileText, status})
      row << new QStandardItem(QString::fromStdString(cell));
    model_->appendRow(row);
  }
  table_->resizeColumnsToContents();
}

void CRestoreSettingsDialog::Apply() {
  // A press while another exchange waits is dropped, not run later.
  if (applied_ || doc_.LineBusy()) return;
  fleet::RestoreOptions options;
  options.force = otherModel_;  // the question said only the shared settings are restored
  options.connection = connection_->isChecked();
  apply_->setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  outcome_ = fleet::RestoreSettings(doc_, backup_, options);
  QApplication::restoreOverrideCursor();
  applied_ = true;
  question_->setText(QString::fromStdString(fleet::RestoreOutcomeText(outcome_)));
  ShowRows(fleet::OutcomeRows(outcome_), true);
  connection_->setEnabled(false);
  close_->setText(QStringLiteral("Close"));
  close_->setAccessibleName(QStringLiteral("Close"));
  close_->setDefault(true);
}
