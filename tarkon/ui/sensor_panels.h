#pragma once
// The model panels of the sensor view. Each panel keeps its rows as the
// engine builds them (live_panels.h) and shows them; its ticks and buttons
// call the engine's operations, which decide what is sent and what the
// rows then hold.
//
//   KRV02, Qmt Long     CKRV02Dlg: tabs "Diagnostic", "Scan Buffer",
//                       "Sensor errors"
//   KRV04               CKRV04Dlg: "Update Diagnostics", the list
//   Qmt Short           CQmtShortDlg: the same
//   KRV04 Board Flipper CKRV04BFDlg: "Update Diagnostics",
//                       "Read Scan Buffer", the list

#include "tarkon/document/live_chart.h"
#include "tarkon/document/live_panels.h"
#include "tarkon/ui/sensor_dialog.h"

class CKRV02Doc;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;
namespace ui_common {
class RangeChart;
}

// Writes rows into a name/value list: rebuilt when the row count differs,
// otherwise only the texts change.
void ShowPanelRows(QTreeWidget* list, const PanelRows& rows);
// Opens the scan buffer dialog with the ranges the connected model offers.
void OpenScanBufferDialog(CKRV02Doc& doc, QWidget* parent);

// "Diagnostic" page.
class CKRV02DiagsDlg : public QWidget {
  Q_OBJECT
 public:
  explicit CKRV02DiagsDlg(CKRV02Doc& doc, QWidget* parent = nullptr);
  void Tick(CKRV02Doc& doc);
  QCheckBox* updateBox() const { return update_; }
  QTreeWidget* list() const { return list_; }
  ui_common::RangeChart* chart() const { return chart_; }
  int polls() const { return polls_; }

 private:
  QCheckBox* update_;
  QTreeWidget* list_;
  ui_common::RangeChart* chart_;
  ChartContinuity chartContinuity_;
  PanelRows rows_;
  int polls_ = 0;
};

// "Scan Buffer" page.
class CKRV02ScanDlg : public QWidget {
  Q_OBJECT
 public:
  CKRV02ScanDlg(CKRV02Doc& doc, QWidget* parent = nullptr);
  QLineEdit* statusBox() const { return status_; }
  QPushButton* filterButton() const { return filter_; }
  QPushButton* startButton() const { return start_; }
  QPushButton* readButton() const { return read_; }
  QTreeWidget* list() const { return list_; }

 private:
  void StartStop();
  void Filter();
  void Show();

  CKRV02Doc& doc_;
  QLineEdit* status_;
  QPushButton* filter_;
  QPushButton* start_;
  QPushButton* read_;
  QTreeWidget* list_;
  ScanPageState state_;
  PanelRows rows_;
};

// "Sensor errors" page.
class CKRV02ErrorDlg : public QWidget {
  Q_OBJECT
 public:
  CKRV02ErrorDlg(CKRV02Doc& doc, QWidget* parent = nullptr);
  QPushButton* getErrorsButton() const { return get_; }
  QTreeWidget* list() const { return list_; }

 private:
  void GetErrors();

  CKRV02Doc& doc_;
  QPushButton* get_;
  QTreeWidget* list_;
  PanelRows rows_;
};

class CKRV02Dlg : public CSensorDialog {
  Q_OBJECT
 public:
  CKRV02Dlg(CKRV02Doc& doc, QWidget* parent = nullptr);
  // The "Diagnostic" page's tick, whichever tab is shown.
  void Tick(CKRV02Doc& doc) override;
  QTabWidget* tabs() const { return tabs_; }
  CKRV02DiagsDlg* diagnostics() const { return diags_; }
  CKRV02ScanDlg* scan() const { return scan_; }
  CKRV02ErrorDlg* errors() const { return errors_; }

 private:
  QTabWidget* tabs_;
  CKRV02DiagsDlg* diags_;
  CKRV02ScanDlg* scan_;
  CKRV02ErrorDlg* errors_;
};

// KRV04, Qmt Short and (with "Read Scan Buffer") the board flipper: the
// update switch in a group box, the list below.
class CListPanel : public CSensorDialog {
  Q_OBJECT
 public:
  void Tick(CKRV02Doc& doc) override;
  QCheckBox* updateBox() const { return update_; }
  QTreeWidget* list() const { return list_; }
  ui_common::RangeChart* chart() const { return chart_; }
  // The board flipper's "Read Scan Buffer"; null for the others.
  QPushButton* readButton() const { return read_; }
  int polls() const { return polls_; }

 protected:
  CListPanel(CKRV02Doc& doc, LivePanel kind, bool scanBufferButton, QWidget* parent);

 private:
  LivePanel kind_;
  QCheckBox* update_;
  QPushButton* read_ = nullptr;
  QTreeWidget* list_;
  ui_common::RangeChart* chart_;
  ChartContinuity chartContinuity_;
  PanelRows rows_;
  int polls_ = 0;
};

class CKRV04Dlg : public CListPanel {
  Q_OBJECT
 public:
  explicit CKRV04Dlg(CKRV02Doc& doc, QWidget* parent = nullptr) : CListPanel(doc, LivePanel::kKRV04, false, parent) {}
};

class CQmtShortDlg : public CListPanel {
  Q_OBJECT
 public:
  explicit CQmtShortDlg(CKRV02Doc& doc, QWidget* parent = nullptr)
      : CListPanel(doc, LivePanel::kQmtShort, false, parent) {}
};

class CKRV04BFDlg : public CListPanel {
  Q_OBJECT
 public:
  explicit CKRV04BFDlg(CKRV02Doc& doc, QWidget* parent = nullptr)
      : CListPanel(doc, LivePanel::kKRV04BoardFlipper, true, parent) {}
};
