// Tools > "Change History..." and "Commissioning Report..." driven
// offscreen: a write made in the window is listed newest first and the
// filters narrow the list; the report dialog writes a PDF of at least one
// page and keeps the technician for the next time; the report's pages, A4
// and Letter, break no heading inside a word and cut nothing.

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QBuffer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPdfWriter>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextTable>
#include <regex>

#include "history/change_history.h"
#include "report_pdf/report_layout.h"
#include "tarkon/fleet/commissioning_report.h"
#include "tarkon/ui/change_history_dialog.h"
#include "tarkon/ui/commissioning_report_dialog.h"
#include "tarkon/ui/tools_menu.h"
#include "ui/ui_test_support.h"

namespace uitest {
namespace {

class HistoryReportTest : public UiTest {};

TEST_F(HistoryReportTest, TheHistoryListsTheWindowsWritesNewestFirstAndFilters) {
  sim::VirtualSensor& sensor = StartSensor("KRV04");
  CMainFrame& frame = OpenFrame();
  EXPECT_TRUE(frame.tools()->historyAction()->isEnabled()) << "the history needs no sensor";
  EXPECT_FALSE(frame.tools()->reportAction()->isEnabled()) << "the report needs one";
  ASSERT_TRUE(ConnectTyped(sensor.SlavePath()));
  frame.tools()->UpdateAvailability();
  EXPECT_TRUE(frame.tools()->reportAction()->isEnabled());
  ModelSettings* settings = doc_->currentSettings();
  ASSERT_TRUE(settings->ChangeSetting("Threshold", "70").reread);
  ASSERT_TRUE(settings->ChangeSetting("Threshold", "71").reread);

  CChangeHistoryDialog dialog(doc_->changeHistory().path());
  QTableWidget* table = dialog.table();
  ASSERT_EQ(table->rowCount(), 2);
  EXPECT_EQ(table->item(0, 5)->text(), QStringLiteral("71"));  // newest first
  EXPECT_EQ(table->item(0, 4)->text(), QStringLiteral("70"));
  EXPECT_EQ(table->item(0, 6)->text(), QStringLiteral("verified"));
  EXPECT_EQ(table->item(0, 7)->text(), QStringLiteral("Tarkon"));
  dialog.serialFilter()->setText(QStringLiteral("nobody"));
  EXPECT_EQ(table->rowCount(), 0);
  dialog.serialFilter()->setText(QString::fromStdString(doc_->sensor().serialNumberText()));
  EXPECT_EQ(table->rowCount(), 2);
  dialog.sinceFilter()->setText(QStringLiteral("2999-01-01"));
  EXPECT_EQ(table->rowCount(), 0);
  dialog.sinceFilter()->setText(QStringLiteral("soon"));
  EXPECT_EQ(table->rowCount(), 2);
  EXPECT_TRUE(dialog.status()->text().startsWith(QStringLiteral("Since takes a date"))) << dialog.status()->text().toStdString();
}

TEST_F(HistoryReportTest, TheReportDialogWritesAPdfAndKeepsTheTechnician) {
  sim::VirtualSensor& sensor = StartSensor("KRV04 Board Flipper");
  OpenFrame();
  ASSERT_TRUE(ConnectTyped(sensor.SlavePath()));
  const QString pdf = QString::fromStdString(dir_.File("report.pdf"));
  {
    CCommissioningReportDialog dialog(*doc_);
    EXPECT_TRUE(dialog.technician()->text().isEmpty());
    EXPECT_TRUE(dialog.technician()->hasFocus() || !dialog.isVisible());
    dialog.technician()->setText(QStringLiteral("Dana Field"));
    dialog.notes()->setPlainText(QStringLiteral("Line 3, left side"));
    ASSERT_TRUE(dialog.SaveTo(pdf)) << dialog.status()->text().toStdString();
    EXPECT_FALSE(dialog.SaveTo(QString::fromStdString(dir_.File("report.doc"))));
    EXPECT_TRUE(dialog.status()->text().startsWith(QStringLiteral("The report was not saved")));
  }
  const std::string bytes = testsupport::ReadWholeFile(pdf.toStdString());
  ASSERT_EQ(bytes.substr(0, 5), "%PDF-");
  const std::regex page("/Type\\s*/Page(?![a-zA-Z])");
  EXPECT_GE(std::distance(std::sregex_iterator(bytes.begin(), bytes.end(), page), std::sregex_iterator()), 1);
  CCommissioningReportDialog again(*doc_);
  EXPECT_EQ(again.technician()->text(), QStringLiteral("Dana Field"));
}

// A report as a busy sensor's job sheet has it: every line of its tables
// wraps at blanks only (headings and usual values alike), none is wider
// than its cell, each table fits the page, and the notes stand on the
// first page, on A4 and on Letter.
TEST_F(HistoryReportTest, TheReportBreaksNoWordAndCutsNothingOnA4AndLetter) {
  fleet::CommissioningReport r;
  r.date = "2026-12-08 15:40 UTC";
  r.technician = "Dana Field";
  r.notes = "Line 3, board edger, left side.\nWindow cleaned, range checked against the gauge block.";
  r.serialNumber = "K2073064";
  r.identity = {{"Model", "KRV04 Board Flipper"}, {"Model string", "0 M3-9-6BF"}, {"Serial number", "K2073064"},
                {"Firmware", "2.10C"},           {"FPGA version", "1.2"},         {"Port", "/dev/serial/by-id/usb-FTDI"},
                {"Baud rate", "57600"},          {"Address", "1"},                {"Error checking mode", "Checksum"}};
  for (int i = 0; i < 24; ++i)
    r.settings.push_back({"Analog Output Max Range " + std::to_string(i), "6.410", i % 2 == 0 ? "inch" : ""});
  const std::vector<std::pair<std::string, std::string>> kinds = {
      {"Firmware upload (Calibration)", "not verified"}, {"Firmware upload (FPGA)", "verified"},
      {"Hold Last Valid Range", "refused"},             {"Averaging Period(ms)", "failed"}};
  for (size_t i = 0; i < fleet::kReportChanges; ++i) {
    const auto& [setting, outcome] = kinds[i % kinds.size()];
    r.changes.push_back({"2026-12-08T15:40:00.123Z", i % 2 == 0 ? "tarkon-cli" : "Ostrel", "dfield", "/dev/ttyUSB0",
                         "KRV04 Board Flipper", "K2073064", setting, "66000 bytes", "1.539 inch", outcome});
  }
  // One value from a hostile history: cut and marked, and still within its cell.
  r.changes.back().newValue = std::string(5000, 'W');
  const std::string html = fleet::ReportHtml(r);

  for (report_pdf::Paper paper : {report_pdf::Paper::kA4, report_pdf::Paper::kLetter}) {
    SCOPED_TRACE(report_pdf::PaperName(paper));
    QBuffer sink;
    ASSERT_TRUE(sink.open(QIODevice::WriteOnly));
    QPdfWriter writer(&sink);
    report_pdf::SetPaper(writer, paper);
    const std::unique_ptr<QTextDocument> document = report_pdf::LayOutPages(html, writer);
    const QSizeF page = document->pageSize();
    ASSERT_GE(document->pageCount(), 1);
    int tables = 0;
    for (QTextFrame* frame : document->rootFrame()->childFrames()) {
      auto* table = qobject_cast<QTextTable*>(frame);
      if (table == nullptr) continue;
      ++tables;
      for (int row = 0; row < table->rows(); ++row)
        for (int column = 0; column < table->columns(); ++column) {
          const QTextTableCell cell = table->cellAt(row, column);
          for (QTextFrame::iterator it = cell.begin(); !it.atEnd(); ++it) {
            const QTextBlock block = it.currentBlock();
            const QString text = block.text();
            const bool hostile = text.startsWith(QLatin1Char('W'));
            // Every cell within the page's width.
            EXPECT_LE(document->documentLayout()->blockBoundingRect(block).right(), page.width()) << text.toStdString();
            for (int i = 0; i < block.layout()->lineCount(); ++i) {
              const QTextLine line = block.layout()->lineAt(i);
              EXPECT_LE(line.naturalTextWidth(), line.width() + 1) << text.toStdString();
              const int end = line.textStart() + line.textLength();
              if (!hostile && i + 1 < block.layout()->lineCount()) {
                EXPECT_TRUE(text.at(end - 1).isSpace()) << "broken inside a word: " << text.left(end).toStdString()
                                                        << " / " << text.mid(end).toStdString();
              }
            }
          }
        }
    }
    EXPECT_EQ(tables, 4);
    bool notesOnFirstPage = false;
    for (QTextBlock b = document->begin(); b.isValid(); b = b.next())
      if (b.text().contains(QStringLiteral("gauge block")))
        notesOnFirstPage = document->documentLayout()->blockBoundingRect(b).bottom() < page.height();
    EXPECT_TRUE(notesOnFirstPage);
  }
}

}  // namespace
}  // namespace uitest
