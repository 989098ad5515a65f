#pragma once
// The "Protocol trace" pane: every frame and XMODEM byte group of the
// connection (and of a bus scan) as the command-line tool's --trace writes
// them, with pause, clear and save. The lines live in the engine's
// TraceLog; the list is a view of them.

#include <QWidget>

#include "tarkon/fleet/trace_log.h"

class CKRV02Doc;
class QListView;
class QPushButton;
class QStringListModel;

class CTracePane : public QWidget {
  Q_OBJECT
 public:
  CTracePane(CKRV02Doc& doc, QWidget* parent = nullptr);
  ~CTracePane() override;

  fleet::TraceLog& log() { return log_; }
  // The trace is attached to the document while the pane is shown, so a
  // hidden pane costs nothing and gathers nothing.
  void SetActive(bool active);
  bool active() const { return active_; }
  QListView* list() const { return list_; }
  QPushButton* pauseButton() const { return pause_; }
  QPushButton* clearButton() const { return clear_; }
  QPushButton* saveButton() const { return save_; }
  // The lines shown.
  QStringList Lines() const;

 public slots:
  void Clear();
  void Save();

 private:
  // Takes the lines the log gained since the last call (posted after each),
  // and drops the oldest rows past the log's own limit.
  void TakeNewLines();

  CKRV02Doc& doc_;
  fleet::TraceLog log_;
  uint64_t taken_ = 0;  // the number of the next line to take from log_
  bool active_ = false;
  QStringListModel* model_;
  QListView* list_;
  QPushButton* pause_;
  QPushButton* clear_;
  QPushButton* save_;
};
