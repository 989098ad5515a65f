#pragma once
// The client area of the main window: one panel per kind of sensor plus the
// idle panel ("Not Connected"), exactly one shown at a time. The document
// picks the panel at connect and disconnect; the poll tick goes to the
// current panel.
//
// The model panels here show the live diagnostic rows only; the full
// panels (update switches, error counters, scan statistics, scan buffer)
// replace them by overriding CSensorParentView::MakePanel.

#include <QStackedWidget>
#include <QWidget>
#include <map>

#include "tarkon/document/live_panels.h"

class CKRV02Doc;
class QTreeWidget;

// Base of every panel: a page with a tick (each poll tick while shown) and
// nothing else.
class CSensorDialog : public QWidget {
  Q_OBJECT
 public:
  explicit CSensorDialog(QWidget* parent = nullptr) : QWidget(parent) {}
  // Runs on the user-interface thread at each poll tick while the sensor
  // may be polled.
  virtual void Tick(CKRV02Doc& doc) { (void)doc; }
};

// The idle panel: "Not Connected".
class IdlePanel : public CSensorDialog {
  Q_OBJECT
 public:
  explicit IdlePanel(QWidget* parent = nullptr);
};

// A model's live diagnostics, refreshed at every tick.
class DiagnosticsPanel : public CSensorDialog {
  Q_OBJECT
 public:
  DiagnosticsPanel(LivePanel kind, QWidget* parent = nullptr);
  void Tick(CKRV02Doc& doc) override;
  QTreeWidget* list() const { return list_; }
  int polls() const { return polls_; }

 private:
  void Show(const PanelRows& rows);

  LivePanel kind_;
  PanelRows rows_;
  QTreeWidget* list_;
  int polls_ = 0;
};

class CSensorParentView : public QStackedWidget {
  Q_OBJECT
 public:
  explicit CSensorParentView(QWidget* parent = nullptr);

  // The panel of a model index; -1 (or any index without a panel) shows
  // the idle panel.
  void ShowPanel(int model);
  // The poll tick: handed to the current panel.
  void Tick(CKRV02Doc& doc);
  CSensorDialog* currentPanel() const;

 protected:
  virtual CSensorDialog* MakePanel(LivePanel kind);

 private:
  IdlePanel* idle_;
  std::map<LivePanel, CSensorDialog*> panels_;
};
