#include "tarkon/ui/commissioning_report_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "files/atomic_file_writer.h"
#include "history/change_history.h"
#include "report_pdf/html_to_pdf.h"
#include "tarkon/document/krv02_doc.h"
#include "tarkon/fleet/commissioning_report.h"

CCommissioningReportDialog::CCommissioningReportDialog(CKRV02Doc& doc, QWidget* parent)
    : QDialog(parent), doc_(doc) {
  setWindowTitle(QStringLiteral("Commissioning Report"));
  technician_ = new QLineEdit(QString::fromStdString(fleet::StoredTechnician(doc_.settingsFile())), this);
  technician_->setAccessibleName(QStringLiteral("Technician"));
  notes_ = new QPlainTextEdit(this);
  notes_->setAccessibleName(QStringLiteral("Notes"));
  notes_->setTabChangesFocus(true);
  paper_ = new QComboBox(this);
  for (report_pdf::Paper paper : {report_pdf::Paper::kA4, report_pdf::Paper::kLetter})
    paper_->addItem(QString::fromLatin1(report_pdf::PaperName(paper)), static_cast<int>(paper));
  paper_->setCurrentIndex(QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? 1 : 0);
  paper_->setAccessibleName(QStringLiteral("Paper"));
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("&Technician:"), technician_);
  form->addRow(QStringLiteral("&Notes:"), notes_);
  form->addRow(QStringLiteral("&Paper (PDF):"), paper_);
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* pdf = buttons->addButton(QStringLiteral("Save &PDF..."), QDialogButtonBox::ActionRole);
  QPushButton* html = buttons->addButton(QStringLiteral("Save &HTML..."), QDialogButtonBox::ActionRole);
  connect(pdf, &QPushButton::clicked, this, [this] { AskAndSave(true); });
  connect(html, &QPushButton::clicked, this, [this] { AskAndSave(false); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(status_);
  layout->addWidget(buttons);
  // Asked once: with no name kept yet, the name field is where to start.
  if (technician_->text().isEmpty()) technician_->setFocus();
  else notes_->setFocus();
}

void CCommissioningReportDialog::AskAndSave(bool pdf) {
  QFileDialog dialog(this, QStringLiteral("Save Commissioning Report"), QString(),
                     pdf ? QStringLiteral("PDF files (*.pdf)") : QStringLiteral("HTML files (*.html *.htm)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setDefaultSuffix(pdf ? QStringLiteral("pdf") : QStringLiteral("html"));
  dialog.selectFile(QStringLiteral("report-%1.%2")
                        .arg(QString::fromStdString(doc_.sensor().serialNumberText()),
                             pdf ? QStringLiteral("pdf") : QStringLiteral("html")));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  SaveTo(dialog.selectedFiles().first());
}

bool CCommissioningReportDialog::SaveTo(const QString& path) {
  const std::string file = path.toStdString();
  fleet::ReportFormat format = fleet::ReportFormat::kHtml;
  std::string error;
  bool ok = fleet::ReportFormatOfPath(file, format);
  if (!ok) error = "The file name ends in .pdf or .html.";
  fleet::CommissioningReport report;
  if (ok) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ok = fleet::GatherReport(doc_, doc_.changeHistory().path(), report, error);
    QApplication::restoreOverrideCursor();
  }
  if (ok) {
    report.technician = technician_->text().trimmed().toStdString();
    report.notes = notes_->toPlainText().toStdString();
    if (!report.technician.empty()) fleet::StoreTechnician(doc_.settingsFile(), report.technician);
    const std::string html = fleet::ReportHtml(report);
    if (format == fleet::ReportFormat::kHtml) {
      ok = fleet::WriteReportFile(file, html, error);
    } else {
      const auto paper = static_cast<report_pdf::Paper>(paper_->currentData().toInt());
      const report_pdf::PdfResult pdf =
          report_pdf::HtmlToPdf(html, "Commissioning report " + report.serialNumber, paper);
      std::string reason;
      ok = pdf.ok && files::WriteFileAtomically(file, pdf.bytes, &reason);
      if (!pdf.ok) error = pdf.error;
      else if (!ok) error = "cannot write " + file + ": " + reason;
    }
  }
  const QString text = ok ? QStringLiteral("Saved the report to %1").arg(path)
                          : QStringLiteral("The report was not saved: %1").arg(QString::fromStdString(error));
  status_->setText(text);
  status_->setAccessibleName(text);
  return ok;
}
