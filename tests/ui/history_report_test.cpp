// Tools > "Change History..." and "Commissioning Report..." driven
// offscreen: a write made in the window is listed newest first and the
// filters narrow the list; the report dialog writes a PDF of at least one
// page and keeps the technician for the next time.

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <regex>

#include "history/change_history.h"
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
  dialog.serialFilter()->setText(QString::fromStdString(doc_->serialNumberText()));
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

}  // namespace
}  // namespace uitest
