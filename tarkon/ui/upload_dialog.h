#pragma once
// "Upload FPGA/DSP/CAL Table" of manufacturing mode: the kind, the file,
// "Upload", "Stop" and "Close". The procedure is the engine's
// (tarkon/fleet/firmware_update.h): what will happen and the question
// before the first byte, the automatic backup, the transfer with its
// progress, the result, the sensor read again and the settings compared.
// The dialog shows what it reports and asks what it asks.
//
// The transfer runs on a thread of its own while the dialog's event loop
// goes on: the window repaints, assistive technology is answered, and a
// press is handled when it is made. While it runs every control but "Stop"
// is unavailable, so a press then does nothing, now or later; "Stop",
// Escape and closing the window stop the transfer after the block in
// flight. The result stays until the dialog is closed.

#include <QDialog>
#include <memory>

#include "tarkon/fleet/firmware_update.h"

class CKRV02Doc;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

class CUploadDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CUploadDlg(CKRV02Doc& doc, QWidget* parent = nullptr);
  ~CUploadDlg() override;

  QComboBox* kindBox() const { return kind_; }
  QLineEdit* fileField() const { return file_; }
  QLineEdit* statusField() const { return status_; }
  QPlainTextEdit* detailsView() const { return details_; }
  QProgressBar* progress() const { return progress_; }
  QPushButton* browseButton() const { return browse_; }
  QPushButton* uploadButton() const { return upload_; }
  QPushButton* stopButton() const { return stop_; }
  QPushButton* closeButton() const { return close_; }
  // The path "Browse" would put into the "File" field.
  void SetFilePath(const QString& path);
  UploadOutcome lastOutcome() const { return report_.upload; }
  const fleet::UpdateReport& lastReport() const { return report_; }
  // Transfers started from this dialog (a press during one starts none).
  int transfersStarted() const { return transfers_; }

 public slots:
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Browse();
  void Upload();
  void Stop();
  void SetRunning(bool running);
  void ShowPlan(const fleet::UpdatePlan& plan);
  void ShowProgress(const fleet::UpdateProgress& progress);
  void ShowResult();
  void RunTransfer(const std::function<void()>& transfer);

  CKRV02Doc& doc_;
  std::unique_ptr<fleet::FirmwareUpdate> update_;
  fleet::UpdateReport report_;
  int transfers_ = 0;
  QComboBox* kind_;
  QLineEdit* file_;
  QPlainTextEdit* details_;
  QLineEdit* status_;
  QProgressBar* progress_;
  QPushButton* browse_;
  QPushButton* upload_;
  QPushButton* stop_;
  QPushButton* close_;
};
