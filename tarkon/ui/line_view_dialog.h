#pragma once
// "Line view": every sensor of one bus live at once, a row each, polled in
// turn by the engine's line watch (it opens the port itself; the main
// window is not connected meanwhile). Opened from Tools with the port of
// the connect dialog (the watch finds the sensors first) or from the Find
// Sensors results with the sensors found. A double-click on a row stops
// the polling and connects the main window to that sensor.

#include <QDialog>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "tarkon/document/connect_values.h"
#include "tarkon/fleet/line_poller.h"

class ProtocolTrace;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItem;
class QStandardItemModel;
class QTableView;
class QTimer;
class ToolsMenuHost;

class CLineViewDialog : public QDialog {
  Q_OBJECT
 public:
  // The columns, in order.
  enum Column { kAddress, kModel, kSerial, kRange, kLastMinute, kLaserPower, kPeak, kGood, kFailed, kState, kColumns };

  // `base`: the connect dialog's values (its port, and what a connect from
  // a row keeps besides the sensor's address, baud rate and check mode).
  CLineViewDialog(ToolsMenuHost& host, ConnectValues base, int baudRate, std::vector<fleet::PolledSensor> sensors,
                  ProtocolTrace* trace, QWidget* parent);
  ~CLineViewDialog() override;

  // Starts polling (after a bus scan when no sensors were given).
  void StartPolling();
  void StopPolling();
  bool polling() const;

  QTableView* table() const { return table_; }
  QLabel* rateLabel() const { return rate_; }
  QPushButton* stopButton() const { return stop_; }
  QPushButton* saveButton() const { return save_; }
  // Tests: the file "Save CSV..." writes, without its file dialog.
  void SetCsvPath(const QString& path) { csvPath_ = path; }

 public slots:
  void Refresh();
  void SaveCsv();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void ConnectRow(const QModelIndex& index);
  // The row's cells; the last minute's line and text only `withMinute`.
  void ShowReading(int row, const fleet::LineSensorReading& reading, bool withMinute);
  void ShowMinute(QStandardItem* item, const fleet::LineSensorReading& reading);

  ToolsMenuHost& host_;
  ConnectValues base_;
  std::string portText_;
  int baudRate_;
  std::vector<fleet::PolledSensor> given_;
  ProtocolTrace* trace_;
  std::unique_ptr<fleet::LineWatch> watch_;
  QLabel* rate_;
  QTableView* table_;
  QStandardItemModel* model_;
  QSortFilterProxyModel* sorted_;
  QPushButton* stop_;
  QPushButton* save_;
  QTimer* refresh_;
  QString csvPath_;
  long refreshes_ = 0;
};
