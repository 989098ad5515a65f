#pragma once
// "Upload FPGA/DSP/CAL Table" of manufacturing mode: the kind, the file,
// "Upload" with progress and status, "Close". The procedure is the
// engine's (firmware_upload.h); the dialog supplies the question box, the
// progress bar, the status text and the event handling every 128 bytes.
//
// While the upload runs it holds the line: the window repaints, every
// command is unavailable, a second "Upload" is refused and "Close" (or
// closing the window) waits for the end.

#include <QDialog>
#include <memory>

#include "tarkon/document/firmware_upload.h"

class CKRV02Doc;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

class CUploadDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CUploadDlg(CKRV02Doc& doc, QWidget* parent = nullptr);

  QComboBox* kindBox() const { return kind_; }
  QLineEdit* fileField() const { return file_; }
  QLineEdit* statusField() const { return status_; }
  QProgressBar* progress() const { return progress_; }
  QPushButton* browseButton() const { return browse_; }
  QPushButton* uploadButton() const { return upload_; }
  QPushButton* closeButton() const { return close_; }
  // The path "Browse" would put into the "File" field.
  void SetFilePath(const QString& path);
  UploadOutcome lastOutcome() const { return outcome_; }

 public slots:
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Browse();
  void Upload();

  CKRV02Doc& doc_;
  std::unique_ptr<FirmwareUpload> procedure_;
  QComboBox* kind_;
  QLineEdit* file_;
  QLineEdit* status_;
  QProgressBar* progress_;
  QPushButton* browse_;
  QPushButton* upload_;
  QPushButton* close_;
  UploadOutcome outcome_ = UploadOutcome::kNoKind;
};
