#include "tarkon/ui/upload_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include "tarkon/document/krv02_doc.h"
#include "tarkon/ui/ask_yes_no.h"
#include "tarkon/ui/spoken_value.h"
#include "tarkon/ui/ui_texts.h"

CUploadDlg::CUploadDlg(CKRV02Doc& doc, QWidget* parent)
    : QDialog(parent), doc_(doc), procedure_(doc.NewFirmwareUpload()) {
  setWindowTitle(QStringLiteral("Upload FPGA/DSP/CAL Table"));
  kind_ = new QComboBox(this);
  for (int k = 0; k < kUploadKindCount; ++k) kind_->addItem(QString::fromLatin1(UploadKindOf(k)->choiceText));
  kind_->setCurrentIndex(-1);  // no choice at first
  file_ = new QLineEdit(this);
  file_->setReadOnly(true);
  file_->setMaxLength(259);
  status_ = new QLineEdit(this);
  status_->setReadOnly(true);
  progress_ = new QProgressBar(this);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setAccessibleName(QStringLiteral("Progress"));
  browse_ = new QPushButton(QStringLiteral("Browse"), this);
  upload_ = new QPushButton(QStringLiteral("Upload"), this);
  close_ = new QPushButton(QStringLiteral("Close"), this);
  for (QPushButton* b : {browse_, upload_, close_}) {
    b->setAccessibleName(b->text());
    b->setAutoDefault(false);
  }

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
  grid->addWidget(progress_, 2, 0, 1, 3);
  grid->addWidget(statusLabel, 3, 0);
  grid->addWidget(status_, 3, 1, 1, 2);
  grid->addWidget(upload_, 4, 1, Qt::AlignRight);
  grid->addWidget(close_, 4, 2);
  resize(480, 180);

  connect(browse_, &QPushButton::clicked, this, &CUploadDlg::Browse);
  connect(upload_, &QPushButton::clicked, this, &CUploadDlg::Upload);
  connect(close_, &QPushButton::clicked, this, &CUploadDlg::reject);
}

void CUploadDlg::SetFilePath(const QString& path) { file_->setText(path.left(259)); }

void CUploadDlg::Browse() {
  QString filter;
  if (const UploadKindInfo* info = UploadKindOf(kind_->currentIndex())) filter = QString::fromLatin1(info->filterText);
  QFileDialog dialog(this, QStringLiteral("Open"), QString(), filter);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QStringLiteral("bin"));
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) SetFilePath(dialog.selectedFiles().first());
}

void CUploadDlg::Upload() {
  if (procedure_->running()) return;
  bool holdShown = false;
  UploadCallbacks callbacks;
  callbacks.askYesNo = [this](const std::string& question) { return AskYesNoDefaultNo(this, question); };
  callbacks.progress = [this, &holdShown](int percent) {
    if (!holdShown && doc_.LineBusy()) {
      holdShown = true;
      browse_->setEnabled(false);
      upload_->setEnabled(false);
      doc_.LineHoldChanged();
    }
    progress_->setValue(percent);
  };
  callbacks.status = [this](const std::string& text) { status_->setText(QString::fromStdString(text)); };
  callbacks.letUserInterfaceRun = [] { QApplication::processEvents(); };
  outcome_ = procedure_->Upload(kind_->currentIndex(), file_->text().toStdString(), callbacks);
  // The status keeps its own words; why the file was not read is told beside it.
  status_->setToolTip(QString::fromStdString(procedure_->lastFileError()));
  browse_->setEnabled(true);
  upload_->setEnabled(true);
  doc_.LineHoldChanged();
  if (procedure_->TakeCloseRequest()) QDialog::reject();
}

void CUploadDlg::reject() {
  // A running upload cannot be cancelled: the close waits for its end.
  if (!procedure_->RequestClose()) return;
  QDialog::reject();
}

void CUploadDlg::closeEvent(QCloseEvent* event) {
  if (!procedure_->RequestClose()) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}
