#pragma once
// Tools > "Commissioning Report...": the technician's name (asked once,
// then kept in the settings file), notes and the paper of the PDF (A4, or
// Letter where the system measures in inches), then "Save PDF..." or "Save
// HTML...". The engine gathers the report and writes its HTML
// (tarkon/fleet/commissioning_report.h); the PDF is that HTML through Qt's
// own PDF writer (report_pdf/).

#include <QDialog>
#include <string>

class CKRV02Doc;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class CCommissioningReportDialog : public QDialog {
  Q_OBJECT
 public:
  CCommissioningReportDialog(CKRV02Doc& doc, QWidget* parent = nullptr);

  QLineEdit* technician() const { return technician_; }
  QPlainTextEdit* notes() const { return notes_; }
  QComboBox* paper() const { return paper_; }
  QLabel* status() const { return status_; }

  // Gathers the report from the sensor and writes it to `path` (PDF or
  // HTML by its ending). False with the reason in status().
  bool SaveTo(const QString& path);

 private:
  void AskAndSave(bool pdf);

  CKRV02Doc& doc_;
  QLineEdit* technician_;
  QPlainTextEdit* notes_;
  QComboBox* paper_;
  QLabel* status_;
};
