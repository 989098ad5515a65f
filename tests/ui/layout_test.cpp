// The window shows every text whole: at its first size and at 1280 x 800,
// with the "Parameters" pane open and closed, connected to each model,
// every label, button, tab, list header and list cell is at least as wide
// as its text needs.

#include <QAbstractButton>
#include <QCheckBox>
#include <QDockWidget>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QTreeView>
#include <string>
#include <vector>

#include "tarkon/ui/pane_sizes.h"
#include "tarkon/ui/parameters_pane.h"
#include "tarkon/ui/sensor_panels.h"
#include "tarkon/ui/sensor_view.h"
#include "ui_test_support.h"

namespace uitest {
namespace {

// Lets posted layout requests run: no time passes, so a loaded machine
// settles the same way.
void Settle() {
  for (int i = 0; i < 4; ++i) QApplication::processEvents();
}

std::string Where(const QWidget* w) {
  std::string name = w->metaObject()->className();
  if (!w->accessibleName().isEmpty()) name += " \"" + w->accessibleName().toStdString() + "\"";
  return name;
}

std::string Cut(const QWidget* w, const QString& text, int needs, int has) {
  return Where(w) + ": \"" + text.toStdString() + "\" needs " + std::to_string(needs) + ", has " + std::to_string(has);
}

// The texts of the view's header and cells that do not fit their column,
// and a view that needs a horizontal scroll bar to show its columns.
void CheckView(QAbstractItemView* view, QHeaderView* header, std::vector<std::string>& cut) {
  if (view->horizontalScrollBar()->maximum() > 0) {
    cut.push_back(Where(view) + ": its columns need " + std::to_string(header->length()) + ", it shows " +
                  std::to_string(view->viewport()->width()));
  }
  QAbstractItemModel* model = view->model();
  const int margin = view->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
  for (int column = 0; column < model->columnCount(); ++column) {
    if (header->isSectionHidden(column)) continue;
    const int width = header->sectionSize(column);
    const QString title = model->headerData(column, Qt::Horizontal).toString();
    const int titleNeeds = header->fontMetrics().horizontalAdvance(title) + 2 * margin;
    if (titleNeeds > width) cut.push_back(Cut(header, title, titleNeeds, width));
    for (int row = 0; row < model->rowCount(); ++row) {
      const QModelIndex index = model->index(row, column);
      QStyleOptionViewItem option;
      option.initFrom(view);
      option.font = view->font();
      option.decorationSize = view->iconSize().isValid() ? view->iconSize() : QSize(16, 16);
      // A selected row may be drawn in bold.
      option.state |= QStyle::State_Selected;
      const int needs = view->itemDelegateForIndex(index)->sizeHint(option, index).width();
      if (needs > width) cut.push_back(Cut(view, index.data().toString(), needs, width));
    }
  }
}

// Whether `w` reaches past the edge of its parent, which then cuts it.
bool OverTheEdge(const QWidget* w) { return !w->parentWidget()->rect().contains(w->geometry()); }

// Every visible text of `window` that is cut.
std::vector<std::string> CutTexts(QWidget* window) {
  std::vector<std::string> cut;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisible()) continue;
    if ((qobject_cast<QLabel*>(w) != nullptr || qobject_cast<QAbstractButton*>(w) != nullptr) && OverTheEdge(w))
      cut.push_back(Where(w) + ": reaches past the edge of its " + w->parentWidget()->metaObject()->className());
    if (auto* label = qobject_cast<QLabel*>(w)) {
      if (label->text().isEmpty()) continue;
      if (label->wordWrap()) {
        if (label->heightForWidth(label->width()) > label->height())
          cut.push_back(Cut(label, label->text(), label->heightForWidth(label->width()), label->height()));
        for (const QString& word : label->text().split(QLatin1Char(' '))) {
          const int needs = label->fontMetrics().horizontalAdvance(word);
          if (needs > label->contentsRect().width()) cut.push_back(Cut(label, word, needs, label->contentsRect().width()));
        }
      } else if (label->sizeHint().width() > label->width()) {
        cut.push_back(Cut(label, label->text(), label->sizeHint().width(), label->width()));
      }
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      auto* tool = qobject_cast<QToolButton*>(w);
      if (button->text().isEmpty() || (tool != nullptr && tool->toolButtonStyle() == Qt::ToolButtonIconOnly)) continue;
      if (button->sizeHint().width() > button->width())
        cut.push_back(Cut(button, button->text(), button->sizeHint().width(), button->width()));
    } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
      for (int i = 0; i < tabs->count(); ++i) {
        const int needs = tabs->fontMetrics().horizontalAdvance(tabs->tabText(i));
        if (needs >= tabs->tabRect(i).width() || !tabs->rect().contains(tabs->tabRect(i)))
          cut.push_back(Cut(tabs, tabs->tabText(i), needs, tabs->tabRect(i).width()));
      }
    } else if (auto* tree = qobject_cast<QTreeView*>(w)) {
      CheckView(tree, tree->header(), cut);
    } else if (auto* table = qobject_cast<QTableView*>(w)) {
      CheckView(table, table->horizontalHeader(), cut);
    }
  }
  return cut;
}

// Each page of every tab widget shown in turn (the setup pane's and the
// KRV02 panel's), then the texts cut on any of them.
std::vector<std::string> CutTextsOnEveryPage(QWidget* window, const std::string& context) {
  std::vector<std::string> cut;
  for (QTabWidget* tabs : window->findChildren<QTabWidget*>()) {
    if (!tabs->isVisible()) continue;
    for (int page = 0; page < tabs->count(); ++page) {
      tabs->setCurrentIndex(page);
      Settle();
      for (const std::string& c : CutTexts(window))
        cut.push_back(context + ", " + tabs->tabText(page).toStdString() + " page: " + c);
    }
    tabs->setCurrentIndex(0);
  }
  Settle();
  return cut;
}

TEST_F(UiTest, EveryTextWholeAtTheFirstSizeAnd1280x800WithTheParametersPaneOpenAndClosed) {
  // The start page offers two connections that worked, one by a long
  // device path.
  QSettings(QSettings::NativeFormat, QSettings::UserScope, QLatin1String(kProfileName), QStringLiteral("Tarkon"))
      .setValue(QStringLiteral("Recent Ports/Ports"),
                QStringList{QStringLiteral("57600,1,/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A9XK3L2Q-if00-port0"),
                            QStringLiteral("19200,7,COM2")});
  CMainFrame& frame = OpenFrame();
  const QSize first = frame.size();
  QDockWidget* parameters = frame.parametersPane()->dock();
  // Opened and closed as the "View" menu does.
  const auto showParameters = [parameters](bool open) {
    if (parameters->toggleViewAction()->isChecked() != open) parameters->toggleViewAction()->trigger();
  };
  std::vector<std::string> cut;
  ASSERT_EQ(frame.view()->startPage()->recentButtons().size(), 2u);
  for (const QSize size : {first, QSize(1280, 800)}) {
    frame.resize(size);
    Settle();
    for (const std::string& c : CutTexts(&frame))
      cut.push_back("not connected at " + std::to_string(size.width()) + "x" + std::to_string(size.height()) + ": " + c);
  }
  for (const char* model : {"KRV02", "KRV04", "Qmt Long", "Qmt Short", "KRV04 Board Flipper"}) {
    ASSERT_TRUE(frame.ConnectVirtualSensor(model)) << model;
    CSensorDialog* panel = frame.view()->currentPanel();
    for (QCheckBox* box : panel->findChildren<QCheckBox*>()) box->setChecked(true);
    // Every list holds values: polled diagnostics, the error counters and
    // the scan statistics.
    if (auto* krv02 = qobject_cast<CKRV02Dlg*>(panel)) {
      krv02->errors()->getErrorsButton()->click();
      krv02->scan()->filterButton()->click();
      ASSERT_TRUE(PumpUntil([&] { return krv02->diagnostics()->polls() > 0; })) << model;
    } else {
      auto* list = qobject_cast<CListPanel*>(panel);
      ASSERT_TRUE(PumpUntil([&] { return list->polls() > 0; })) << model;
    }
    for (const QSize size : {first, QSize(1280, 800)}) {
      frame.resize(size);
      for (const bool open : {false, true}) {
        showParameters(open);
        Settle();
        // Open, it is in front, so its own texts are checked too.
        ASSERT_EQ(frame.parametersPane()->view()->isVisible(), open);
        const std::string context = std::string(model) + " at " + std::to_string(size.width()) + "x" +
                                    std::to_string(size.height()) + (open ? ", Parameters open" : "");
        for (const std::string& c : CutTextsOnEveryPage(&frame, context)) cut.push_back(c);
      }
    }
    frame.RunCommand(DocCommand::kDisconnect);
  }
  std::string all;
  for (const std::string& c : cut) all += c + "\n";
  EXPECT_TRUE(cut.empty()) << cut.size() << " texts cut:\n" << all;
}

}  // namespace
}  // namespace uitest
