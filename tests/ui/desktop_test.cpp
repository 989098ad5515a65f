// The main window as a desktop program: the start page and its last ports,
// the menu bar's order and keys, files dropped on the window, a name for
// every control, the first size and a dark palette.

#include <QAccessible>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QUrl>
#include <fstream>
#include <set>

#include "tarkon/document/firmware_upload.h"
#include "tarkon/fleet/fleet_tools.h"
#include "tarkon/ui/connect_dialog.h"
#include "tarkon/ui/dark_palette.h"
#include "tarkon/ui/sensor_panels.h"
#include "tarkon/ui/sensor_view.h"
#include "tarkon/ui/settings_backup_dialogs.h"
#include "tarkon/ui/setup_pane.h"
#include "tarkon/ui/small_dialogs.h"
#include "tarkon/ui/tools_menu.h"
#include "tarkon/ui/upload_dialog.h"
#include "ui_common/range_chart.h"
#include "ui_test_support.h"

namespace uitest {
namespace {

QString Visible(QString text) { return text.left(text.indexOf(QLatin1Char('\t'))).remove(QLatin1Char('&')); }

class DesktopTest : public UiTest {
 protected:
  // Clicks a button that connects; the text of the message box a refused
  // connect shows (closed here, so the test goes on), else empty.
  std::string ClickConnecting(QAbstractButton* button) {
    std::string refusal;
    auto refused = OnNextModalOf<QMessageBox>([&refusal](QMessageBox* box) {
      refusal = box->text().toStdString();
      box->accept();
    });
    button->click();
    return refusal;
  }
  // Drops `paths` on the window as a file manager does, and runs `handle`
  // on the window the drop opens.
  bool DropAndHandle(const std::vector<std::string>& paths, std::function<void(QWidget*)> handle) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.ignore();
    QApplication::sendEvent(frame_.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    auto came = OnNextModal(std::move(handle));
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame_.get(), &drop);
    return PumpUntil([&] { return *came; }) && PumpUntil([] { return QApplication::activeModalWidget() == nullptr; });
  }
  // Drops `paths` and returns the text of the message box it shows.
  QString DropRefused(const std::vector<std::string>& paths) {
    QString text;
    EXPECT_TRUE(DropAndHandle(paths, [&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr) << w->metaObject()->className();
      text = box->text();
      box->close();
    }));
    return text;
  }
};

TEST_F(DesktopTest, DroppedBackupFirmwareAndOtherFiles) {
  sim::VirtualSensor& sensor = StartSensor("KRV04");
  OpenFrame(true);
  std::ofstream(dir_.File("notes.txt")) << "hello";
  std::ofstream(dir_.File("table.cal")) << std::string(300, '\x07');
  const std::string backup = dir_.File("krv04.json");
  EXPECT_TRUE(DropRefused({backup}).contains("cannot be opened: no such file"));

  ASSERT_TRUE(ConnectTyped(sensor.SlavePath()));
  std::string message;
  ASSERT_TRUE(fleet::SaveBackup(*doc_, backup, message)) << message;
  EXPECT_TRUE(DropRefused({dir_.File("notes.txt")}).contains("neither a settings backup"));
  EXPECT_EQ(DropRefused({backup, dir_.File("notes.txt")}), "Drop one file at a time.");

  // A backup: the restore's difference table, nothing sent before Apply.
  const int threshold = sensor.Snapshot().settings.threshold;
  const int changed = threshold == 99 ? 98 : 99;
  sensor.Mutate([changed](sim::SensorState& s) { s.settings.threshold = static_cast<uint8_t>(changed); });
  int rows = -1;
  ASSERT_TRUE(DropAndHandle({backup}, [&](QWidget* w) {
    auto* dialog = qobject_cast<CRestoreSettingsDialog*>(w);
    ASSERT_NE(dialog, nullptr) << w->metaObject()->className();
    rows = dialog->table()->model()->rowCount();
    dialog->closeButton()->click();
  }));
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(sensor.Snapshot().settings.threshold, changed);

  // A firmware image: the upload dialog with its kind and file, nothing sent.
  int kind = -1;
  QString file;
  ASSERT_TRUE(DropAndHandle({dir_.File("table.cal")}, [&](QWidget* w) {
    auto* dialog = qobject_cast<CUploadDlg*>(w);
    ASSERT_NE(dialog, nullptr) << w->metaObject()->className();
    kind = dialog->kindBox()->currentIndex();
    file = dialog->fileField()->text();
    EXPECT_EQ(dialog->transfersStarted(), 0);
    dialog->closeButton()->click();
  }));
  EXPECT_EQ(kind, kUploadCalibration);
  EXPECT_EQ(file.toStdString(), dir_.File("table.cal"));
  doc_->options().SetManufacturingMode(false);
  EXPECT_EQ(DropRefused({dir_.File("table.cal")}),
            "Firmware images are uploaded in manufacturing mode only (start Tarkon with -QZX).");

  // A drag of text, not files, is not taken.
  QMimeData text;
  text.setText("hello");
  QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  enter.ignore();
  QApplication::sendEvent(frame_.get(), &enter);
  EXPECT_FALSE(enter.isAccepted());
}

TEST_F(DesktopTest, MenuOrderMnemonicsShortcutAndAddressFocus) {
  CMainFrame& frame = OpenFrame();
  QStringList titles;
  for (QAction* a : frame.menuBar()->actions()) titles << a->text();
  EXPECT_EQ(titles, QStringList({"&File", "&Edit ", "&View", "&Tools", "&Help"}));

  // Every item of the Edit menu and its submenu: its own letter, the
  // visible text unchanged.
  QStringList texts;
  std::function<void(QMenu*)> walk = [&](QMenu* menu) {
    std::set<QChar> letters;
    for (QAction* a : menu->actions()) {
      if (a->isSeparator()) continue;
      const qsizetype amp = a->text().indexOf(QLatin1Char('&'));
      ASSERT_GE(amp, 0) << a->text().toStdString();
      EXPECT_TRUE(letters.insert(a->text().at(amp + 1).toLower()).second) << a->text().toStdString();
      texts << Visible(a->text());
      if (a->menu() != nullptr) walk(a->menu());
    }
  };
  walk(frame.editMenu());
  EXPECT_EQ(texts, QStringList({"Address...", "Error checking method", "Checksum", "CRC", "Boudrate...",
                                "Sensor Settings", "Serial Number and Model", "Upload FPGA / DSP / CAL Table",
                                "Reset Sensor", "Set sensor defaults"}));
  EXPECT_EQ(frame.action(DocCommand::kSensorSettings)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_E));
  EXPECT_TRUE(frame.action(DocCommand::kDisconnect)->shortcut().isEmpty());
  std::set<QKeySequence> keys;
  for (QAction* a : frame.findChildren<QAction*>()) {
    if (!a->shortcut().isEmpty()) {
      EXPECT_TRUE(keys.insert(a->shortcut()).second) << a->text().toStdString();
    }
  }

  CAddressDialog address("ABC", 5, &frame);
  address.show();
  EXPECT_EQ(address.focusWidget(), address.addressField());
  EXPECT_EQ(address.addressField()->selectedText(), "5");
}

// Walks the window's widget tree: every control a user can reach has a
// name of its own, disconnected and with each model's panel.
TEST_F(DesktopTest, NoUnnamedControl) {
  CMainFrame& frame = OpenFrame(true);
  frame.tools()->traceAction()->setChecked(true);
  auto unnamed = [&frame] {
    QStringList found;
    int looked = 0;
    for (QWidget* w : frame.findChildren<QWidget*>()) {
      if (!w->isVisibleTo(&frame) || w->focusPolicy() == Qt::NoFocus) continue;
      // Parts of a composite control are announced through it.
      QWidget* parent = w->parentWidget();
      if (parent != nullptr && (qobject_cast<QAbstractItemView*>(parent) || qobject_cast<QComboBox*>(parent) ||
                                qobject_cast<QAbstractSpinBox*>(parent) || parent->inherits("QAbstractScrollArea"))) {
        continue;
      }
      ++looked;
      QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
      const QString spoken = a != nullptr ? a->text(QAccessible::Name) : QString();
      if (w->accessibleName().isEmpty() && spoken.isEmpty()) {
        found << QString::fromLatin1(w->metaObject()->className()) + " " + w->objectName();
      } else if (w->accessibleName().isEmpty() && !w->inherits("QTabBar") && !w->inherits("QMenuBar") &&
                 w->metaObject()->className() != QByteArray("QDockWidgetTitleButton")) {
        // Our own controls carry their name, not only a text the toolkit
        // may or may not offer.
        found << QString::fromLatin1(w->metaObject()->className()) + " \"" + spoken + "\"";
      }
    }
    EXPECT_GT(looked, 8);
    return found;
  };
  EXPECT_EQ(unnamed().join(", ").toStdString(), "");
  for (const char* model : {"KRV02", "KRV04", "KRV04 Board Flipper"}) {
    SCOPED_TRACE(model);
    ASSERT_TRUE(frame.ConnectVirtualSensor(model));
    Pump(50);
    EXPECT_EQ(unnamed().join(", ").toStdString(), "");
    frame.RunCommand(DocCommand::kDisconnect);
  }
}

TEST_F(DesktopTest, StartPageConnectsAndOffersTheLastPorts) {
  sim::VirtualSensor& sensor = StartSensor("KRV04");
  CMainFrame& frame = OpenFrame();
  StartPage* start = frame.view()->startPage();
  ASSERT_EQ(frame.view()->currentPanel(), start);
  EXPECT_EQ(start->findChild<QLabel*>()->text(), "Not Connected");
  EXPECT_TRUE(start->recentButtons().empty());

  // "Connect..." opens the connect dialog; its virtual sensor connects.
  auto came = OnNextModal([](QWidget* w) {
    auto* dialog = qobject_cast<CConnectDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    dialog->portBox()->setCurrentIndex(dialog->portBox()->findText("Virtual sensor: KRV02"));
    Button(dialog, "Ok")->click();
  });
  start->connectButton()->click();
  ASSERT_TRUE(*came);
  ASSERT_TRUE(doc_->connected());
  EXPECT_EQ(doc_->sensor().modelIndex(), kModelKRV02);
  frame.RunCommand(DocCommand::kDisconnect);
  EXPECT_TRUE(start->recentButtons().empty()) << "a virtual sensor's line lives only for its run";

  ASSERT_TRUE(ConnectTyped(sensor.SlavePath()));
  frame.RunCommand(DocCommand::kDisconnect);
  ASSERT_EQ(start->recentButtons().size(), 1u);
  const QString label = QString::fromStdString(sensor.SlavePath()) + ", 57600 baud, address 1";
  EXPECT_EQ(start->recentButtons()[0]->text(), label);

  // Kept per user: the next run offers it, and one click connects there.
  CloseFrame();
  CMainFrame& again = OpenFrame();
  StartPage* next = again.view()->startPage();
  ASSERT_EQ(next->recentButtons().size(), 1u);
  EXPECT_EQ(next->recentButtons()[0]->accessibleName(), "Connect to " + label);
  EXPECT_EQ(ClickConnecting(next->recentButtons()[0]), "");
  EXPECT_TRUE(doc_->connected());
  EXPECT_EQ(doc_->sensor().modelIndex(), kModelKRV04);
}

// The start page's one click is a connection that worked. The sensor is
// moved to address 9 at 38400 bit/s while connected; a later connect at
// its old address 1 / 57600 fails and is not offered: the button connects
// at 9 / 38400, where the sensor last answered.
TEST_F(DesktopTest, StartPageOffersTheConnectionThatWorkedNotTheLastTried) {
  sim::VirtualSensor& sensor = StartSensor("KRV04");
  CMainFrame& frame = OpenFrame();
  StartPage* start = frame.view()->startPage();
  const QString port = QString::fromStdString(sensor.SlavePath());
  ASSERT_TRUE(ConnectTyped(sensor.SlavePath()));
  auto address = OnNextModalOf<CAddressDialog>([](CAddressDialog* dialog) {
    dialog->addressField()->setText("9");
    Button(dialog, "OK")->click();
  });
  frame.RunCommand(DocCommand::kAddress);
  ASSERT_TRUE(*address);
  auto baud = OnNextModalOf<CBoudRateDialog>([](CBoudRateDialog* dialog) {
    dialog->list()->setCurrentIndex(2);  // 38400
    Button(dialog, "OK")->click();
  });
  frame.RunCommand(DocCommand::kBaudRate);
  ASSERT_TRUE(*baud);
  ASSERT_EQ(doc_->sensor().address(), 9);
  ASSERT_EQ(doc_->sensor().baudRate(), 38400);
  Pump(50);
  frame.RunCommand(DocCommand::kDisconnect);
  const QString worked = port + ", 38400 baud, address 9";
  ASSERT_EQ(start->recentButtons().size(), 1u);
  EXPECT_EQ(start->recentButtons()[0]->text().toStdString(), worked.toStdString());

  auto dialog = OnNextModal([&port](QWidget* w) {
    auto* connect = qobject_cast<CConnectDialog*>(w);
    ASSERT_NE(connect, nullptr);
    connect->portBox()->setCurrentText(port);
    connect->addressField()->setText("1");
    for (QComboBox* box : connect->findChildren<QComboBox*>())
      if (box->count() == 4 && box->itemText(3) == "57600") box->setCurrentIndex(3);
    Button(connect, "Ok")->click();
  });
  auto refused = OnNextModalOf<QMessageBox>([](QMessageBox* box) { box->accept(); });
  frame.action(DocCommand::kConnect)->trigger();
  ASSERT_TRUE(*dialog);
  ASSERT_TRUE(PumpUntil([&] { return *refused; }, 10000));
  ASSERT_FALSE(doc_->connected());
  ASSERT_EQ(start->recentButtons().size(), 1u);
  EXPECT_EQ(start->recentButtons()[0]->text().toStdString(), worked.toStdString()) << "the connect that failed is offered";
  EXPECT_TRUE(start->recentButtons()[0]->toolTip().endsWith("where the sensor last answered"));
  bool saysSo = false;
  for (QLabel* label : start->findChildren<QLabel*>()) saysSo |= label->text() == "Last connections that worked:";
  EXPECT_TRUE(saysSo);

  EXPECT_EQ(ClickConnecting(start->recentButtons()[0]), "");
  ASSERT_TRUE(doc_->connected());
  EXPECT_EQ(doc_->sensor().address(), 9);
  EXPECT_EQ(doc_->sensor().baudRate(), 38400);
}

// At the first size every name and value of the setup pane shows whole,
// for every model, and the chart has room beside the panel's list.
TEST_F(DesktopTest, FirstSizeShowsEverySetupRowWhole) {
  CMainFrame& frame = OpenFrame();
  for (const char* model : {"KRV02", "KRV04", "Qmt Short", "KRV04 Board Flipper"}) {
    SCOPED_TRACE(model);
    ASSERT_TRUE(frame.ConnectVirtualSensor(model));
    for (int tab = 0; tab < 2; ++tab) {
      frame.setupPane()->tabs()->setCurrentIndex(tab);
      Pump(30);
      QTreeWidget* list = tab == 0 ? frame.setupPane()->sensorList() : frame.setupPane()->settingsList();
      QFont bold = list->font();
      bold.setBold(true);
      const QFontMetrics fm(bold);
      ASSERT_GT(list->topLevelItemCount(), 0);
      for (int row = 0; row < list->topLevelItemCount(); ++row) {
        for (int column = 0; column < 2; ++column) {
          const QString text = list->topLevelItem(row)->text(column);
          EXPECT_LE(fm.horizontalAdvance(text) + 6, list->header()->sectionSize(column))
              << text.toStdString() << " in a column of " << list->header()->sectionSize(column);
        }
      }
    }
    if (auto* panel = qobject_cast<CListPanel*>(frame.view()->currentPanel())) {
      EXPECT_GE(panel->chart()->width(), panel->list()->width() * 3 / 4);
    }
    frame.RunCommand(DocCommand::kDisconnect);
  }
}

// On a dark palette the chart and the start page draw in its colours.
TEST_F(DesktopTest, DarkPaletteReachesTheChartAndTheStartPage) {
  CMainFrame& frame = OpenFrame();
  const QPalette dark = DarkPalette();
  frame.setPalette(dark);
  const QImage start = frame.view()->startPage()->grab().toImage();
  EXPECT_EQ(start.pixelColor(2, 2), dark.color(QPalette::Window));
  ASSERT_TRUE(frame.ConnectVirtualSensor("KRV04"));
  auto* panel = qobject_cast<CListPanel*>(frame.view()->currentPanel());
  ASSERT_NE(panel, nullptr);
  const QImage chart = panel->chart()->grab().toImage();
  EXPECT_EQ(chart.pixelColor(2, 2), dark.color(QPalette::Base));
}

}  // namespace
}  // namespace uitest
