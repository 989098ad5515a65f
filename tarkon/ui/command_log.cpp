#include "tarkon/ui/command_log.h"

#include <QApplication>
#include <QHeaderView>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace {
constexpr int kIconColumnWidth = 20;
constexpr int kIconSize = 12;
// The text column fills the page but for the icon column and its margin.
constexpr int kTextColumnMargin = 25;
}  // namespace

LogModel::LogModel(QObject* parent) : QAbstractTableModel(parent) {
  QStyle* style = QApplication::style();
  icons_[0] = style->standardIcon(QStyle::SP_MessageBoxCritical);
  icons_[1] = style->standardIcon(QStyle::SP_MessageBoxInformation);
  icons_[2] = style->standardIcon(QStyle::SP_MessageBoxWarning);
}

void LogModel::Append(int kind, const QString& text) {
  const int row = static_cast<int>(lines_.size());
  beginInsertRows(QModelIndex(), row, row);
  lines_.push_back(Line{kind, text});
  endInsertRows();
}

void LogModel::Clear() {
  beginResetModel();
  lines_.clear();
  lines_.shrink_to_fit();
  endResetModel();
}

int LogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

int LogModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant LogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return QVariant();
  const Line& line = lines_[static_cast<size_t>(index.row())];
  if (index.column() == 0 && role == Qt::DecorationRole && line.kind >= 0 && line.kind < 3) {
    return icons_[line.kind];
  }
  if (index.column() == 1 && (role == Qt::DisplayRole || role == Qt::ToolTipRole)) return line.text;
  return QVariant();
}

QVariant LogModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
    return section == 1 ? QStringLiteral("Command log") : QString();
  }
  return QVariant();
}

CLogDialog::CLogDialog(QWidget* parent) : QWidget(parent), list_(new QTreeView(this)) {
  list_->setModel(&model_);
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setUniformRowHeights(true);  // keeps appending and scrolling cheap
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setIconSize(QSize(kIconSize, kIconSize));
  list_->setFrameShadow(QFrame::Sunken);
  list_->header()->setStretchLastSection(false);
  list_->header()->setSectionResizeMode(0, QHeaderView::Fixed);
  list_->setColumnWidth(0, kIconColumnWidth);
  list_->setAccessibleName(QStringLiteral("Command log"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(list_);
  list_->viewport()->installEventFilter(this);
  FitTextColumn();
}

void CLogDialog::AddLine(int kind, const QString& text) {
  if (text.isNull()) return;
  model_.Append(kind, text);
  ScheduleScroll();
}

void CLogDialog::Clear() { model_.Clear(); }

// A burst of lines scrolls once, after the burst, rather than once a line.
void CLogDialog::ScheduleScroll() {
  if (scrollPending_) return;
  scrollPending_ = true;
  QTimer::singleShot(0, this, [this] {
    scrollPending_ = false;
    list_->scrollToBottom();
  });
}

// The page's width less the margin, never wider than the list shows, so
// that a short line brings up no horizontal scroll bar.
void CLogDialog::FitTextColumn() {
  const int inside = list_->viewport()->width() - list_->columnWidth(0);
  list_->setColumnWidth(1, std::max(0, std::min(width() - kTextColumnMargin, inside)));
}

bool CLogDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_->viewport() && event->type() == QEvent::Resize) FitTextColumn();
  return QWidget::eventFilter(watched, event);
}

void CLogDialog::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FitTextColumn();
  ScheduleScroll();
}
