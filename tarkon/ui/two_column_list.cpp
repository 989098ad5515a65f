#include "tarkon/ui/two_column_list.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

constexpr int kRowHeight = 20;

// Rows 20 pixels high; the selected row's text in bold.
class RowDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(kRowHeight);
    return size;
  }

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (option->state & QStyle::State_Selected) option->font.setBold(true);
  }
};

}  // namespace

TwoColumnList::TwoColumnList(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(2);
  setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Value")});
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setAlternatingRowColors(true);
  setFrameShadow(QFrame::Sunken);
  setItemDelegate(new RowDelegate(this));
  header()->setStretchLastSection(true);
}

void TwoColumnList::FitColumns() { setColumnWidth(0, viewport()->width() * 2 / 5); }

void TwoColumnList::resizeEvent(QResizeEvent* event) {
  QTreeWidget::resizeEvent(event);
  FitColumns();
}

void TwoColumnList::showEvent(QShowEvent* event) {
  QTreeWidget::showEvent(event);
  FitColumns();
}

TwoColumnList* MakeTwoColumnList(QWidget* parent, const QString& accessibleName) {
  auto* list = new TwoColumnList(parent);
  list->setAccessibleName(accessibleName);
  return list;
}
