#pragma once
// "Read sensor ranges buffer": reads the chosen number of ranges from the
// sensor's scan buffer in portions, lists them in the sensor's units, plots
// them, and appends them to a text file ("Save...") or writes them as CSV
// ("Save CSV..."). The reading and the file formats are the engine's
// (scan_buffer.h). A read that was stopped or failed lists, plots and saves
// nothing: a part of the buffer is never shown as if it were all of it.
//
// The read holds the document's line for its whole length: the window
// repaints and "Stop" works between portions, while every command of the
// menus, the toolbar and the panels is unavailable and the poll ticks are
// skipped. Closing the window ends the read at its next portion and then
// closes.

#include <QAbstractTableModel>
#include <QDialog>
#include <memory>
#include <vector>

#include "tarkon/document/range_mode_table.h"
#include "tarkon/document/scan_buffer.h"

class CKRV02Doc;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;

// The list: "Range #" and "Range value" of the reader's rows.
class ScanRowsModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit ScanRowsModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
  void SetRows(const std::vector<ScanListRow>* rows);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  const std::vector<ScanListRow>* rows_ = nullptr;
};

// The ranges read, in display units, with gaps at "Out of Range".
class ScanPlot : public QWidget {
  Q_OBJECT
 public:
  explicit ScanPlot(QWidget* parent = nullptr);
  void SetRanges(const std::vector<int16_t>* buffer, const RangeModeRow* row);
  // The ranges drawn; null when none are bound.
  const std::vector<int16_t>* ranges() const { return buffer_; }
  QSize sizeHint() const override { return {320, 240}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const std::vector<int16_t>* buffer_ = nullptr;
  const RangeModeRow* row_ = nullptr;
};

class CReadBufferDialog : public QDialog {
  Q_OBJECT
 public:
  CReadBufferDialog(CKRV02Doc& doc, int rangesAvailable, QWidget* parent = nullptr);

  QLineEdit* availableField() const { return available_; }
  QLineEdit* toReadField() const { return toRead_; }
  QLineEdit* startField() const { return start_; }
  QPushButton* startButton() const { return startButton_; }
  QPushButton* stopButton() const { return stopButton_; }
  QPushButton* saveButton() const { return saveButton_; }
  QPushButton* csvButton() const { return csvButton_; }
  QPushButton* closeButton() const { return closeButton_; }
  QProgressBar* progress() const { return progress_; }
  QTableView* list() const { return list_; }
  ScanPlot* plot() const { return plot_; }
  const ScanBufferReader& reader() const { return *reader_; }

  // The file "Save..." appends to and "Save CSV..." writes, without the
  // file dialog (empty: ask).
  void SetExportPath(const QString& path) { exportPath_ = path; }
  void SetCsvPath(const QString& path) { csvPath_ = path; }

 public slots:
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Start();
  void Save();
  void SaveCsv();
  void SetReading(bool reading);

  CKRV02Doc& doc_;
  std::unique_ptr<ScanBufferReader> reader_;
  RangeModeRow row_;
  QLineEdit* available_;
  QLineEdit* toRead_;
  QLineEdit* start_;
  QPushButton* startButton_;
  QPushButton* stopButton_;
  QPushButton* saveButton_;
  QPushButton* csvButton_;
  QPushButton* closeButton_;
  QProgressBar* progress_;
  QTableView* list_;
  ScanRowsModel* model_;
  ScanPlot* plot_;
  QString exportPath_;
  QString csvPath_;
  bool closeAfterRead_ = false;
};
