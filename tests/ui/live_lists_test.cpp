// Lists that follow what happens while their dialog is open: the connect
// dialog's ports as an adapter is plugged and pulled (a sysfs tree of the
// test's own, followed through its device folder), and Find Sensors' rows
// as the sensors of one line answer.

#include <QCheckBox>
#include <QComboBox>
#include <mutex>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableView>

#include "sim/virtual_line.h"
#include "support/fake_sysfs.h"
#include "tarkon/document/port_watch.h"
#include "tarkon/ui/bus_scan_dialog.h"
#include "tarkon/ui/connect_dialog.h"
#include "ui_test_support.h"

namespace uitest {
namespace {

constexpr int kGenerousMs = 60000;

void PlugAdapter(testsupport::FakeMachine& m) {
  m.AddUsbDevice("pci0000:00/usb1/1-2", "FTDI", "FT232R USB UART", "A50285BI", "0403", "6001");
  m.AddById("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0");
  m.AddTty("ttyUSB0", "pci0000:00/usb1/1-2/1-2:1.0/ttyUSB0");
}

TEST(ConnectDialogPorts, ListFollowsPlugAndPullAndKeepsTheChoice) {
  testsupport::TempDir dir;
  ASSERT_TRUE(dir.ok());
  testsupport::FakeMachine m(dir.path());
  PortWatch watch(m.sys(), m.dev());
  ASSERT_TRUE(watch.following());
  const QString dev = QString::fromStdString(m.dev());
  const QString adapter = dev + "/ttyUSB0 (FTDI FT232R USB UART, serial A50285BI (0403:6001); by-id "
                                "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0)";

  CConnectDialog dialog(ConnectValues{}, ConnectPortEntries(), nullptr);
  dialog.FollowPorts(watch);
  dialog.show();
  QComboBox* box = dialog.portBox();
  EXPECT_EQ(box->findText(adapter), -1);
  box->setCurrentText("COM2");

  // Plugged while the dialog is open: listed, the choice untouched.
  PlugAdapter(m);
  ASSERT_TRUE(PumpUntil([&] { return box->findText(adapter) >= 0; }, kGenerousMs));
  EXPECT_EQ(box->currentText(), "COM2");
  EXPECT_EQ(box->itemData(box->findText(adapter), Qt::ToolTipRole).toString(),
            dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
  EXPECT_EQ(box->findText("Virtual sensor: KRV04") >= 0, true) << "the rest of the list stays";

  // Pulled while chosen: the path stays as typed; back again, chosen again.
  box->setCurrentIndex(box->findText(adapter));
  m.RemoveTty("ttyUSB0");
  ASSERT_TRUE(PumpUntil([&] { return box->findText(adapter) < 0; }, kGenerousMs));
  EXPECT_EQ(box->currentText(), dev + "/ttyUSB0");
  PlugAdapter(m);
  ASSERT_TRUE(PumpUntil([&] { return box->findText(adapter) >= 0; }, kGenerousMs));
  EXPECT_EQ(box->currentText(), adapter);
  dialog.accept();
  EXPECT_EQ(dialog.values().portText, m.dev() + "/ttyUSB0");

  // The engine's hook names the adapter that went, with its USB serial number.
  std::mutex mutex;
  std::vector<ListedPort> gone;
  const int token = watch.Subscribe([&](const PortListChange& change) {
    std::lock_guard<std::mutex> lock(mutex);
    gone.insert(gone.end(), change.disappeared.begin(), change.disappeared.end());
  });
  m.RemoveTty("ttyUSB0");
  EXPECT_TRUE(PumpUntil(
      [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return !gone.empty();
      },
      kGenerousMs));
  watch.Unsubscribe(token);
  std::lock_guard<std::mutex> lock(mutex);
  ASSERT_EQ(gone.size(), 1u);
  EXPECT_EQ(gone[0].usbSerial, "A50285BI");
  EXPECT_EQ(gone[0].device, m.dev() + "/ttyUSB0");
}

sim::SensorConfig On(const char* model, uint8_t address, int32_t checkMode) {
  sim::SensorConfig config;
  config.model = model;
  config.address = address;
  config.checkMode = checkMode;
  return config;
}

QString Cell(QTableView* table, int row, int column) {
  return table->model()->index(row, column).data().toString();
}

// Two sensors on one line: each is a row as soon as it answers, with the
// time left beside the progress, and both get their serial numbers after
// a stop.
TEST(FindSensors, RowsAsFoundTimeLeftAndSerialNumbersAfterStop) {
  sim::VirtualLine line;
  line.Attach(On("KRV02", 5, 0));
  line.Attach(On("KRV04", 30, 1));
  ASSERT_TRUE(line.Start()) << line.LastError();

  CBusScanDialog dialog("", 57600, nullptr);
  dialog.show();
  dialog.portBox()->setEditText(QString::fromStdString(line.SlavePath()));
  for (int rate : {9600, 19200, 38400}) dialog.baudBox(rate)->setChecked(false);
  dialog.baudBox(57600)->setChecked(true);
  dialog.toBox()->setValue(100);
  QTableView* table = dialog.results();
  dialog.scanButton()->click();
  ASSERT_TRUE(dialog.scanning());
  EXPECT_TRUE(dialog.statusText()->text().contains(" left")) << dialog.statusText()->text().toStdString();

  // Checksum mode comes first: address 5 of 100, long before the end.
  ASSERT_TRUE(PumpUntil([&] { return table->model()->rowCount() >= 1; }, kGenerousMs));
  EXPECT_TRUE(dialog.scanning());
  EXPECT_EQ(Cell(table, 0, 0), "5");
  EXPECT_EQ(Cell(table, 0, 3), "KRV02");
  EXPECT_EQ(Cell(table, 0, 4), "") << "serial numbers are asked after the addresses";
  ASSERT_TRUE(PumpUntil([&] { return dialog.statusText()->text().contains("1 sensor found"); }, kGenerousMs));
  EXPECT_TRUE(dialog.statusText()->text().contains(" left")) << dialog.statusText()->text().toStdString();

  // CRC mode: address 30, seventy addresses before the end; stopped there.
  ASSERT_TRUE(PumpUntil([&] { return table->model()->rowCount() >= 2; }, kGenerousMs));
  ASSERT_TRUE(dialog.scanning());
  EXPECT_EQ(Cell(table, 1, 0), "30");
  EXPECT_EQ(Cell(table, 1, 1), "CRC");
  dialog.scanButton()->click();
  ASSERT_TRUE(PumpUntil([&] { return !dialog.scanning(); }, kGenerousMs));
  EXPECT_TRUE(dialog.statusText()->text().contains("2 sensors found (stopped)"))
      << dialog.statusText()->text().toStdString();
  EXPECT_LT(dialog.progress()->value(), dialog.progress()->maximum());
  ASSERT_EQ(table->model()->rowCount(), 2);
  EXPECT_TRUE(Cell(table, 0, 4).startsWith("K2")) << Cell(table, 0, 4).toStdString();
  EXPECT_TRUE(Cell(table, 1, 4).startsWith("K4")) << Cell(table, 1, 4).toStdString();
  EXPECT_EQ(Cell(table, 0, 4).size(), 8);
  EXPECT_TRUE(dialog.connectButton()->isEnabled());
}

}  // namespace
}  // namespace uitest
