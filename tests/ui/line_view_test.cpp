// The line view over a virtual bus of three sensors, one of which goes
// silent: its rows and their texts, the rate line, sorting, Save CSV, Stop
// and Start, and a double-click that connects the main window; opened from
// Find Sensors' results, and closed while it polls; opened from Tools, where
// it finds the sensors first.

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QPointer>
#include <QTest>

#include "sim/virtual_line.h"
#include "support/line_sensor.h"
#include "support/process_runner.h"
#include "support/sim_trace.h"
#include "support/temp_dir.h"
#include "tarkon/ui/bus_scan_dialog.h"
#include "tarkon/ui/line_view_dialog.h"
#include "tarkon/ui/main_frame.h"
#include "tarkon/ui/tools_menu.h"
#include "ui/ui_test_support.h"

namespace uitest {
namespace {

constexpr int kGenerousMs = 60000;

std::string Text(QTableView* table, int row, int column) {
  return table->model()->index(row, column).data().toString().toStdString();
}

int RowOf(QTableView* table, int address) {
  for (int row = 0; row < table->model()->rowCount(); ++row)
    if (Text(table, row, CLineViewDialog::kAddress) == std::to_string(address)) return row;
  return -1;
}

class LineViewTest : public UiTest {};

TEST_F(LineViewTest, RowsFollowTheSensorsAndADoubleClickConnects) {
  testsupport::SimTrace trace;
  sim::VirtualLine line(trace.Line());
  line.Attach(testsupport::LineSensor("KRV02", 3, "A0000003", 0));
  sim::SensorConfig silent = testsupport::LineSensor("KRV04", 5, "B0000005", 0);
  silent.faults.silentAfterReply = 10;
  line.Attach(silent);
  line.Attach(testsupport::LineSensor("Qmt Short", 7, "C0000007", 1));
  ASSERT_TRUE(line.Start()) << line.LastError();
  CMainFrame& frame = OpenFrame();
  EXPECT_TRUE(frame.tools()->lineViewAction()->isEnabled()) << "the line is free";

  ConnectValues base;
  base.portText = line.SlavePath();
  auto* view = new CLineViewDialog(frame, base, 57600, {{3, 0, -1, ""}, {5, 0, -1, ""}, {7, 1, -1, ""}}, nullptr,
                                   &frame);
  view->show();
  view->StartPolling();
  QTableView* table = view->table();
  const bool settled = PumpUntil(
      [&] {
        const int silentRow = RowOf(table, 5);
        const int row3 = RowOf(table, 3);
        const int row7 = RowOf(table, 7);
        return table->model()->rowCount() == 3 && silentRow >= 0 && row3 >= 0 && row7 >= 0 &&
               Text(table, silentRow, CLineViewDialog::kState).rfind("silent", 0) == 0 &&
               std::stol(Text(table, row3, CLineViewDialog::kGood)) >= 3 &&
               std::stol(Text(table, row7, CLineViewDialog::kGood)) >= 3;
      },
      kGenerousMs);
  ASSERT_TRUE(settled) << view->rateLabel()->text().toStdString();

  const struct {
    int address;
    const char* model;
    const char* serial;
    const char* state;
  } rows[] = {{3, "KRV02", "A0000003", "answering"},
              {5, "KRV04", "B0000005", "silent (last answer "},
              {7, "Qmt Short", "C0000007", "answering"}};
  for (const auto& r : rows) {
    const int row = RowOf(table, r.address);
    EXPECT_EQ(Text(table, row, CLineViewDialog::kModel), r.model);
    EXPECT_EQ(Text(table, row, CLineViewDialog::kSerial), r.serial);
    EXPECT_EQ(Text(table, row, CLineViewDialog::kState).rfind(r.state, 0), 0u)
        << Text(table, row, CLineViewDialog::kState);
    EXPECT_NE(Text(table, row, CLineViewDialog::kRange).find("inch"), std::string::npos);
    EXPECT_FALSE(Text(table, row, CLineViewDialog::kLaserPower).empty());
    // Every cell has a text, the sparkline's too.
    for (int c = 0; c < CLineViewDialog::kColumns; ++c)
      EXPECT_FALSE(table->model()->index(row, c).data(Qt::AccessibleTextRole).toString().isEmpty())
          << r.address << " column " << c;
  }
  EXPECT_NE(Text(table, RowOf(table, 3), CLineViewDialog::kLastMinute).find("min "), std::string::npos);
  EXPECT_TRUE(view->rateLabel()->text().startsWith("3 sensors (1 silent), each every "))
      << view->rateLabel()->text().toStdString();
  EXPECT_EQ(view->rateLabel()->accessibleName(), view->rateLabel()->text());

  // Sorted by a number column, not by its text.
  table->sortByColumn(CLineViewDialog::kAddress, Qt::DescendingOrder);
  EXPECT_EQ(Text(table, 0, CLineViewDialog::kAddress), "7");
  EXPECT_EQ(Text(table, 2, CLineViewDialog::kAddress), "3");

  // Save CSV: a header and a line per sensor.
  const std::string csv = dir_.File("line.csv");
  view->SetCsvPath(QString::fromStdString(csv));
  view->saveButton()->click();
  const std::vector<std::string> lines = testsupport::Lines(testsupport::ReadWholeFile(csv));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].rfind("time,round,address,model,serial_number,state", 0), 0u);

  // Stop: nothing more is sent, and the button offers Start.
  view->stopButton()->click();
  EXPECT_FALSE(view->polling());
  EXPECT_EQ(view->stopButton()->text(), "Start");
  const size_t frames = trace.Received().size();
  Pump(150);
  EXPECT_EQ(trace.Received().size(), frames);
  view->stopButton()->click();
  EXPECT_TRUE(view->polling());
  EXPECT_TRUE(PumpUntil([&] { return trace.Received().size() > frames + 3; }, kGenerousMs));

  // A double-click stops the polling and connects the main window there.
  const int row7 = RowOf(table, 7);
  const QRect cell = table->visualRect(table->model()->index(row7, CLineViewDialog::kModel));
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
  QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
  ASSERT_TRUE(PumpUntil([&] { return doc_->connected(); }, kGenerousMs))
      << "polling " << view->polling() << " visible " << view->isVisible() << " failure "
      << doc_->sensor().lastConnectFailure().text;
  EXPECT_EQ(doc_->sensor().address(), 7);
  EXPECT_EQ(doc_->sensor().checkMode(), 1);
  EXPECT_EQ(doc_->sensor().modelText(), "Qmt Short");
  EXPECT_FALSE(frame.tools()->lineViewAction()->isEnabled()) << "the main window holds the line now";
}

// Find Sensors' "Line view" opens the view over the sensors found there;
// closing it while it polls ends the polling and frees the port, so the
// main window connects on the same line afterwards.
TEST_F(LineViewTest, FindSensorsOpensItOverTheFoundSensorsAndACloseFreesThePort) {
  testsupport::SimTrace trace;
  sim::VirtualLine line(trace.Line());
  line.Attach(testsupport::LineSensor("KRV02", 1, "A0000001", 0));
  line.Attach(testsupport::LineSensor("KRV04", 4, "B0000004", 0));
  line.Attach(testsupport::LineSensor("Qmt Short", 9, "C0000009", 1));
  ASSERT_TRUE(line.Start()) << line.LastError();
  CMainFrame& frame = OpenFrame();

  int foundRows = 0;
  auto came = OnNextModalOf<CBusScanDialog>([&](CBusScanDialog* dialog) {
    EXPECT_FALSE(dialog->lineViewButton()->isEnabled()) << "nothing found yet";
    dialog->portBox()->setEditText(QString::fromStdString(line.SlavePath()));
    for (int rate : {9600, 19200, 38400}) dialog->baudBox(rate)->setChecked(false);
    dialog->baudBox(57600)->setChecked(true);
    dialog->fromBox()->setValue(1);
    dialog->toBox()->setValue(10);
    // A loaded test machine's virtual sensors may answer later than a
    // real sensor's line time.
    dialog->SetProbeBudgetMs(250);
    dialog->scanButton()->click();
    ASSERT_TRUE(PumpUntil([&] { return !dialog->scanning(); }, kGenerousMs));
    foundRows = dialog->results()->model()->rowCount();
    ASSERT_TRUE(dialog->lineViewButton()->isEnabled());
    dialog->lineViewButton()->click();
  });
  frame.tools()->busScanAction()->trigger();
  ASSERT_TRUE(*came);
  ASSERT_EQ(foundRows, 3);

  CLineViewDialog* view = frame.tools()->lineView();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isVisible());
  EXPECT_TRUE(view->polling());
  QTableView* table = view->table();
  const struct {
    int address;
    const char* model;
    const char* serial;
  } rows[] = {{1, "KRV02", "A0000001"}, {4, "KRV04", "B0000004"}, {9, "Qmt Short", "C0000009"}};
  ASSERT_TRUE(PumpUntil(
      [&] {
        for (const auto& r : rows) {
          const int row = RowOf(table, r.address);
          if (row < 0 || Text(table, row, CLineViewDialog::kGood) == "0" ||
              Text(table, row, CLineViewDialog::kGood).empty())
            return false;
        }
        return table->model()->rowCount() == 3;
      },
      kGenerousMs))
      << view->rateLabel()->text().toStdString();
  for (const auto& r : rows) {
    const int row = RowOf(table, r.address);
    EXPECT_EQ(Text(table, row, CLineViewDialog::kModel), r.model);
    EXPECT_EQ(Text(table, row, CLineViewDialog::kSerial), r.serial);
    EXPECT_EQ(Text(table, row, CLineViewDialog::kState), "answering");
  }
  EXPECT_TRUE(view->rateLabel()->text().startsWith("3 sensors")) << view->rateLabel()->text().toStdString();

  // Closed while it polls: the polling has ended when the close returns.
  QPointer<CLineViewDialog> closing(view);
  ASSERT_NE(Button(view, "Close"), nullptr);
  Button(view, "Close")->click();
  EXPECT_TRUE(closing.isNull() || !closing->polling());
  const size_t frames = trace.Received().size();
  EXPECT_TRUE(PumpUntil([&] { return closing.isNull(); }, kGenerousMs)) << "the closed view goes";
  EXPECT_EQ(frame.tools()->lineView(), nullptr);
  Pump(150);
  EXPECT_EQ(trace.Received().size(), frames) << "nothing sent after the close";

  // The port is free again: the main window connects to the sensor at 1.
  ASSERT_TRUE(ConnectTyped(line.SlavePath()));
  EXPECT_EQ(doc_->sensor().address(), 1);
  EXPECT_EQ(doc_->sensor().modelText(), "KRV02");
}

// Tools > "Line View..." takes the port the connect dialog would use and
// finds the sensors first: the scan's progress shows, then their rows.
TEST_F(LineViewTest, ToolsOpensItOnTheConnectPortAndFindsTheSensorsFirst) {
  testsupport::SimTrace trace;
  sim::VirtualLine line(trace.Line());
  line.Attach(testsupport::LineSensor("KRV02", 1, "A0000001", 0));
  line.Attach(testsupport::LineSensor("KRV04", 12, "B0000012", 1));
  ASSERT_TRUE(line.Start()) << line.LastError();
  CMainFrame& frame = OpenFrame();
  // A connect stores the port; the line view needs the line to itself.
  ASSERT_TRUE(ConnectTyped(line.SlavePath()));
  EXPECT_FALSE(frame.tools()->lineViewAction()->isEnabled()) << "the main window holds the line";
  frame.RunCommand(DocCommand::kDisconnect);
  ASSERT_FALSE(doc_->connected());
  frame.tools()->UpdateAvailability();
  ASSERT_TRUE(frame.tools()->lineViewAction()->isEnabled());

  frame.tools()->lineViewAction()->trigger();
  CLineViewDialog* view = frame.tools()->lineView();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->windowTitle().contains(QString::fromStdString(line.SlavePath())));
  QString scanText;
  QTableView* table = view->table();
  ASSERT_TRUE(PumpUntil(
      [&] {
        if (view->rateLabel()->text().startsWith("Finding the sensors on ")) scanText = view->rateLabel()->text();
        return RowOf(table, 1) >= 0 && RowOf(table, 12) >= 0 &&
               Text(table, RowOf(table, 12), CLineViewDialog::kState) == "answering";
      },
      kGenerousMs))
      << view->rateLabel()->text().toStdString();
  EXPECT_TRUE(scanText.contains(QString::fromStdString(line.SlavePath()))) << scanText.toStdString();
  EXPECT_TRUE(scanText.endsWith(" %")) << scanText.toStdString();
  EXPECT_EQ(table->model()->rowCount(), 2);
  EXPECT_EQ(Text(table, RowOf(table, 1), CLineViewDialog::kModel), "KRV02");
  EXPECT_EQ(Text(table, RowOf(table, 12), CLineViewDialog::kSerial), "B0000012");
  EXPECT_TRUE(PumpUntil([&] { return view->rateLabel()->text().startsWith("2 sensors"); }, kGenerousMs))
      << view->rateLabel()->text().toStdString();
  EXPECT_EQ(view->rateLabel()->accessibleName(), view->rateLabel()->text());
  view->close();
}

}  // namespace
}  // namespace uitest
