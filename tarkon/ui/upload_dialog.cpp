#include "tarkon/ui/upload_dialog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <functional>
#include <initializer_list>
#include <thread>

#include "tarkon/document/krv02_doc.h"
#include "tarkon/fleet/fleet_tools.h"
#include "tarkon/ui/ask_yes_no.h"
#include "tarkon/ui/settings_backup_dialogs.h"
#include "tarkon/ui/spoken_value.h"

CUploadDlg::CUploadDlg(CKRV02Doc& doc, QWidget* parent)
    : QDialog(parent), doc_(doc), update_(std::make_unique<fleet::FirmwareUpdate>(doc)) {
  setWindowTitle(QStringLiteral("Upload FPGA/DSP/CAL Table"));
  kind_ = new QComboBox(this);
  for (int k = 0; k < kUploadKindCount; ++k) kind_->addItem(QString::fromLatin1(UploadKindOf(k)->choiceText));
  kind_->setCurrentIndex(-1);  // no choice at first
  file_ = new QLineEdit(this);
  file_->setReadOnly(true);
  file_->setMaxLength(259);
  details_ = new QPlainTextEdit(this);
  details_->setReadOnly(true);
  details_->setAccessibleName(QStringLiteral("Details"));
  details_->setPlaceholderText(QStringLiteral("Choose the type and the file, then Upload."));
  status_ = new QLineEdit(this);
  status_->setReadOnly(true);
  progress_ = new QProgressBar(this);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setAccessibleName(QStringLiteral("Progress"));
  browse_ = new QPushButton(QStringLiteral("Browse"), this);
  upload_ = new QPushButton(QStringLiteral("Upload"), this);
  stop_ = new QPushButton(QStringLiteral("Stop"), this);
  close_ = new QPushButton(QStringLiteral("Close"), this);
  for (QPushButton* b : {browse_, upload_, stop_, close_}) {
    b->setAccessibleName(b->text());
    b->setAutoDefault(false);
  }
  stop_->setEnabled(false);

  auto* kindLabel = new QLabel(QStringLiteral("Type"), this);
  kindLabel->setBuddy(kind_);
  auto* fileLabel = new QLabel(QStringLiteral("File"), this);
  fileLabel->setBuddy(file_);
  auto* statusLabel = new QLabel(QStringLiteral("Status"), this);
  statusLabel->setBuddy(status_);
  SpeakValue(file_, fileLabel->text());
  SpeakValue(status_, statusLabel->text());
  auto* grid = new QGridLayout(this);
  grid->addWidget(kindLabel, 0, 0);
  grid->addWidget(kind_, 0, 1);
  grid->addWidget(fileLabel, 1, 0);
  grid->addWidget(file_, 1, 1);
  grid->addWidget(browse_, 1, 2);
  grid->addWidget(details_, 2, 0, 1, 3);
  grid->addWidget(progress_, 3, 0, 1, 3);
  grid->addWidget(statusLabel, 4, 0);
  grid->addWidget(status_, 4, 1, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  for (QPushButton* b : {upload_, stop_, close_}) buttons->addWidget(b);
  grid->addLayout(buttons, 5, 0, 1, 3);
  resize(600, 440);

  connect(browse_, &QPushButton::clicked, this, &CUploadDlg::Browse);
  connect(upload_, &QPushButton::clicked, this, &CUploadDlg::Upload);
  connect(stop_, &QPushButton::clicked, this, &CUploadDlg::Stop);
  connect(close_, &QPushButton::clicked, this, &CUploadDlg::reject);
}

CUploadDlg::~CUploadDlg() = default;

void CUploadDlg::SetFilePath(const QString& path) { file_->setText(path.left(259)); }

void CUploadDlg::Browse() {
  QString filter;
  if (const UploadKindInfo* info = UploadKindOf(kind_->currentIndex())) filter = QString::fromLatin1(info->filterText);
  QFileDialog dialog(this, QStringLiteral("Open"), QString(), filter);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QStringLiteral("bin"));
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) SetFilePath(dialog.selectedFiles().first());
}

void CUploadDlg::SetRunning(bool running) {
  for (QWidget* w : std::initializer_list<QWidget*>{kind_, browse_, upload_, close_}) w->setEnabled(!running);
  if (!running) stop_->setEnabled(false);
}

void CUploadDlg::ShowPlan(const fleet::UpdatePlan& plan) {
  QString text;
  for (const auto& [name, value] : fleet::PlanRows(plan))
    text += QString::fromStdString(name) + QStringLiteral(": ") + QString::fromStdString(value) + QLatin1Char('\n');
  details_->setPlainText(text);
}

void CUploadDlg::ShowProgress(const fleet::UpdateProgress& p) {
  status_->setText(QString::fromStdString(fleet::ProgressText(p)));
  progress_->setValue(p.percent);
}

void CUploadDlg::RunTransfer(const std::function<void()>& transfer) {
  ++transfers_;
  stop_->setEnabled(true);
  doc_.LineHoldChanged();
  // The dialog's own loop goes on while the blocks go out; the transfer
  // touches only the block sender and its port, which nothing else uses
  // while the line is held.
  QEventLoop loop;
  std::thread worker([&] {
    transfer();
    QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  stop_->setEnabled(false);
  // The progress the transfer posted comes before the result.
  QCoreApplication::sendPostedEvents(this);
}

void CUploadDlg::Upload() {
  // A press while another exchange waits is dropped, not run later.
  if (update_->running() || doc_.LineBusy()) return;
  SetRunning(true);
  // The last press's status ("Invalid type selection") is no status of
  // this one: it must not stand beside this press's questions.
  status_->clear();
  status_->setToolTip(QString());
  fleet::UpdateCallbacks callbacks;
  callbacks.askYesNo = [this](const std::string& question) { return AskYesNoDefaultNo(this, question); };
  // Its own question, defaulting to No: no backup, no upload, unless the
  // technician chooses to go on without one.
  callbacks.goOnWithoutBackup = [this](const std::string& question) { return AskYesNoDefaultNo(this, question); };
  callbacks.plan = [this](const fleet::UpdatePlan& plan) { ShowPlan(plan); };
  callbacks.status = [this](const std::string& text) { status_->setText(QString::fromStdString(text)); };
  callbacks.progress = [this](const fleet::UpdateProgress& p) {
    QMetaObject::invokeMethod(this, [this, p] { ShowProgress(p); }, Qt::QueuedConnection);
  };
  callbacks.runTransfer = [this](const std::function<void()>& transfer) { RunTransfer(transfer); };
  report_ = update_->Run(kind_->currentIndex(), file_->text().toStdString(), callbacks);
  ShowResult();
  doc_.LineHoldChanged();
  // A dialog that has sent an image is done: another upload starts from a
  // new one, so no press made meanwhile can start a second transfer.
  const bool sent = report_.outcome != fleet::UpdateOutcome::kNotStarted;
  SetRunning(false);
  kind_->setEnabled(!sent);
  browse_->setEnabled(!sent);
  upload_->setEnabled(!sent);
  if (!report_.differences.empty()) {
    CRestoreSettingsDialog restore(doc_, update_->backup(), report_.backupPath, report_.comparison, this);
    restore.setWindowTitle(QStringLiteral("Settings changed by the upload"));
    restore.exec();
    if (restore.applied())
      details_->appendPlainText(QString::fromStdString(fleet::RestoreOutcomeText(restore.outcome())));
  }
}

void CUploadDlg::ShowResult() {
  const fleet::UpdateReport& r = report_;
  if (r.outcome == fleet::UpdateOutcome::kNotStarted) {
    // The status keeps the engine's words; why the file was not read is told beside it.
    if (!r.status.empty()) status_->setText(QString::fromStdString(r.status));
    if (r.upload == UploadOutcome::kFileError) status_->setToolTip(QString::fromStdString(r.reason));
    // A backup that could not be saved (or a line lost meanwhile) stopped it:
    // said in the status, with what to do in the details.
    if (!r.backupError.empty() || !r.advice.empty()) {
      status_->setText(QString::fromStdString(r.reason));
      details_->appendPlainText(QString::fromStdString(r.reason));
      details_->appendPlainText(QString::fromStdString("What to do: " + r.advice + "."));
    }
    return;
  }
  status_->setText(QString::fromStdString(r.status.empty() ? r.result : r.status));
  QString text = details_->toPlainText();
  if (!text.isEmpty()) text += QLatin1Char('\n');
  for (const std::string& line : fleet::ResultLines(r)) text += QString::fromStdString(line) + QLatin1Char('\n');
  for (const fleet::RestoreItem& i : r.differences)
    text += QStringLiteral("  %1: %2 -> %3\n")
                .arg(QString::fromStdString(i.name), QString::fromStdString(i.fileText),
                     QString::fromStdString(i.sensorText));
  details_->setPlainText(text);
}

void CUploadDlg::Stop() {
  if (!update_->transferring()) return;
  update_->Stop();
  stop_->setEnabled(false);
  status_->setText(QStringLiteral("Stopping after the block in flight..."));
}

void CUploadDlg::reject() {
  // Escape, "Close": while the procedure runs they stop its transfer; the
  // result then stays until the dialog is closed.
  if (update_->running()) {
    Stop();
    return;
  }
  QDialog::reject();
}

void CUploadDlg::closeEvent(QCloseEvent* event) {
  if (update_->running()) {
    Stop();
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}
