#pragma once
// The "Command log:" pane: every line the commands and the document report,
// with the kind's standard icon. Lines are never dropped; only "Clear log"
// empties the list. The lines live in a model so that a long session's
// hundreds of thousands of lines cost no widget each.

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>
#include <QWidget>
#include <vector>

class QTreeView;

class LogModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit LogModel(QObject* parent = nullptr);

  // Kind 0 error, 1 success, 2 notice; other kinds show no icon.
  void Append(int kind, const QString& text);
  void Clear();
  int kindAt(int row) const { return lines_[static_cast<size_t>(row)].kind; }
  const QString& textAt(int row) const { return lines_[static_cast<size_t>(row)].text; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  struct Line {
    int kind;
    QString text;
  };
  std::vector<Line> lines_;
  QIcon icons_[3];
};

class CLogDialog : public QWidget {
  Q_OBJECT
 public:
  explicit CLogDialog(QWidget* parent = nullptr);

  // Appends one line and keeps the newest line in view. A missing text
  // (null) adds nothing.
  void AddLine(int kind, const QString& text);
  void Clear();

  LogModel& model() { return model_; }
  QTreeView* list() const { return list_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ScheduleScroll();
  void FitTextColumn();

  LogModel model_;
  QTreeView* list_;
  bool scrollPending_ = false;
};
