// The window through its widgets, against the virtual board flipper.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <memory>

#include "ostrel/ui/about_box.h"
#include "ostrel/ui/main_window.h"
#include "sim/virtual_sensor.h"
#include "support/temp_dir.h"
#include "ui_common/range_chart.h"

namespace {

class OstrelWindowTest : public ::testing::Test {
 protected:
  void Open(const std::string& iniText = std::string()) {
    window_.reset();
    if (!iniText.empty()) std::ofstream(Ini(), std::ios::binary) << iniText;
    window_ = std::make_unique<ostrel::MainWindow>(Ini(), "");
    window_->show();
  }
  std::string Ini() const { return dir_.File("Ostrel.ini"); }
  template <typename T>
  T* Find(const char* name) const {
    T* found = window_->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  // The text a label or a read-only field shows.
  QString Text(const char* name) const { return Find<QWidget>(name)->property("text").toString(); }
  // Enabled of its own (its tab may still be disabled while not connected).
  bool Enabled(const char* name) const { return !Find<QWidget>(name)->testAttribute(Qt::WA_ForceDisabled); }

  testsupport::TempDir dir_;
  std::unique_ptr<ostrel::MainWindow> window_;
};

TEST_F(OstrelWindowTest, TheSettingsFileIsCreatedAndItsValuesChooseTheLists) {
  Open();
  EXPECT_EQ(testsupport::ReadWholeFile(Ini()),
            "[CommPort]\r\nPort=1\r\n[BaudRate]\r\nBaud=57600\r\n[InitString]\r\nCommand=ATS11=80LX1DT\r\n");
  EXPECT_EQ(Find<QComboBox>("cboPort")->currentText(), "COM1");
  EXPECT_EQ(Find<QComboBox>("cboHostBaud")->currentText(), "57600");
  EXPECT_FALSE(Find<QTabWidget>("PageControl1")->isTabEnabled(1));
  EXPECT_FALSE(Enabled("editSerial")) << "factory mode is off at start";

  Open("[CommPort]\r\nPort=3\r\n[BaudRate]\r\nBaud=115200\r\n");
  EXPECT_EQ(Find<QComboBox>("cboPort")->currentText(), "COM3");
  EXPECT_EQ(Find<QComboBox>("cboHostBaud")->currentIndex(), -1);
  Open("[CommPort]\r\nPort=9\r\n[BaudRate]\r\nBaud=19200\r\n");
  EXPECT_EQ(Find<QComboBox>("cboPort")->currentIndex(), -1);
  EXPECT_EQ(Find<QComboBox>("cboHostBaud")->currentText(), "19200");
}

TEST_F(OstrelWindowTest, TypedKeysAreFilteredAndConnectFillsTheWindow) {
  Open();
  auto* address = Find<QLineEdit>("editConnAddr");
  address->clear();
  QTest::keyClicks(address, "1a2b.3");
  EXPECT_EQ(address->text(), "123");
  QTest::keyClicks(address, "4");
  EXPECT_EQ(address->text(), "123") << "at most 3 characters";
  address->setText("1");

  window_->ConnectToVirtualSensor();
  EXPECT_EQ(Text("pSerial"), "BF039618");
  EXPECT_EQ(Text("pFirmware"), "4.20C");
  EXPECT_EQ(Text("pFpga"), "3.2");
  EXPECT_EQ(Find<QLineEdit>("editMaxPwr")->text(), "200");
  EXPECT_EQ(Find<QLineEdit>("editMinHt")->text(), "0.250");
  EXPECT_EQ(Text("unitWidth"), "inch");
  EXPECT_EQ(Find<QComboBox>("cboCRC")->currentText(), "Chksum");
  EXPECT_TRUE(Find<QTabWidget>("PageControl1")->isTabEnabled(1));
  EXPECT_TRUE(Find<QTabWidget>("PageControl1")->isTabEnabled(2));
  // The virtual sensor lives only in this run: the stored real port stays.
  EXPECT_EQ(testsupport::ReadWholeFile(Ini()),
            "[CommPort]\r\nPort=1\r\n[BaudRate]\r\nBaud=57600\r\n[InitString]\r\nCommand=ATS11=80LX1DT\r\n");

  auto* width = Find<QLineEdit>("editMinLen");
  width->clear();
  QTest::keyClicks(width, "2..5x");
  EXPECT_EQ(width->text(), "2.5") << "one decimal point";
}

TEST_F(OstrelWindowTest, PollingFollowsShowAllStopsAndEndsWhenTheWindowCloses) {
  Open();
  window_->ConnectToVirtualSensor();
  Find<QTabWidget>("PageControl1")->setCurrentIndex(2);
  // Each step waits for what the poll shows, not for a fixed time: a
  // loaded machine takes longer for the first replies than a quiet one.
  int stage = 0;
  QElapsedTimer since;
  since.start();
  QTimer step;
  QObject::connect(&step, &QTimer::timeout, [&] {
    if (stage == 0 && Text("pRange") != "00") {
      EXPECT_EQ(Text("pPeakPix"), "00") << "range only until Show All";
      Find<QCheckBox>("cbxSpot")->setChecked(true);
      stage = 1;
    } else if ((stage == 1 && Text("pPeakPix") != "00") || since.elapsed() > 30000) {
      step.stop();
      QTest::mouseClick(Find<QPushButton>("btnStop"), Qt::LeftButton);
    }
  });
  step.start(10);
  QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);  // returns when polling stops
  EXPECT_EQ(stage, 1) << "the range came, then Show All";
  EXPECT_FALSE(window_->operations().busy());
  EXPECT_NE(Text("pRange"), "00");
  EXPECT_NE(Text("pPeakPix"), "00");
  EXPECT_GT(Find<ui_common::RangeChart>("rangeChart")->points(), 0u) << "the chart draws the polled ranges";
  window_->ConnectToVirtualSensor();
  EXPECT_EQ(Find<ui_common::RangeChart>("rangeChart")->points(), 0u)
      << "a new connection (perhaps to another sensor) starts a new chart";

  QTimer::singleShot(200, [&] { window_->close(); });
  QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
  EXPECT_FALSE(window_->isVisible()) << "closed once the poll in progress ended";
  EXPECT_FALSE(window_->operations().busy());
}

TEST_F(OstrelWindowTest, MemoryReadShowsTheFieldsAsSentAndLinesOfFour) {
  Open();
  window_->ConnectToVirtualSensor();
  Find<QTabWidget>("PageControl1")->setCurrentIndex(2);
  Find<QTabWidget>("PageControl2")->setCurrentIndex(1);
  auto* address = Find<QLineEdit>("editMemAddr");
  address->clear();
  QTest::keyClicks(address, "1azg");
  auto* count = Find<QLineEdit>("editWordCount");
  count->clear();
  QTest::keyClicks(count, "200");
  QTest::mouseClick(window_->findChild<QPushButton*>("btnReadMemory"), Qt::LeftButton);
  EXPECT_EQ(address->text(), "001a");
  EXPECT_EQ(count->text(), "120");
  const QStringList lines = Find<QPlainTextEdit>("memo")->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 31);  // 30 lines of four, then the address alone
  EXPECT_TRUE(lines[0].startsWith("001A :\t"));
  EXPECT_EQ(lines[30], "0092 :\t");
}

TEST_F(OstrelWindowTest, TheRevealedPasswordSwitchesFactoryMode) {
  Open();
  struct Row {
    const char* typed;
    bool factory;
  };
  for (const Row row : {Row{"qzx", true}, Row{"qZx", false}, Row{"qa\bzx", true}}) {
    SCOPED_TRACE(row.typed);
    QTimer::singleShot(50, [&] {
      ostrel::AboutBox* about = window_->aboutBox();
      // A double-click as the system delivers it: press, release, double-click.
      QTest::mousePress(about->panel(), Qt::LeftButton, Qt::ShiftModifier);
      QTest::mouseRelease(about->panel(), Qt::LeftButton, Qt::ShiftModifier);
      QTest::mouseDClick(about->panel(), Qt::LeftButton, Qt::ShiftModifier);
      QLineEdit* field = about->passwordField();
      EXPECT_TRUE(field->isVisible());
      for (const char* c = row.typed; *c != '\0'; ++c) {
        if (*c == '\b') {
          QTest::keyClick(field, Qt::Key_Backspace);
        } else {
          QTest::keyClicks(field, QString(QChar(*c)));
        }
      }
      EXPECT_EQ(field->text(), QString(static_cast<int>(about->typed().size()), '*'));
      QTest::keyClick(field, Qt::Key_Return);
    });
    QTest::mouseClick(Find<QPushButton>("btnAbout"), Qt::LeftButton);
    EXPECT_EQ(window_->factoryMode(), row.factory);
    EXPECT_EQ(Enabled("editSerial"), row.factory);
    EXPECT_EQ(Enabled("btnUpload"), row.factory);
  }
  // Opening and closing About without the gesture keeps the mode.
  QTimer::singleShot(50, [&] { window_->aboutBox()->accept(); });
  QTest::mouseClick(Find<QPushButton>("btnAbout"), Qt::LeftButton);
  EXPECT_TRUE(window_->factoryMode());
}

TEST_F(OstrelWindowTest, TheQuestionBeforeAnUploadDefaultsToNo) {
  Open();
  QMessageBox::StandardButton pressed = QMessageBox::NoButton;
  QTimer::singleShot(50, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    pressed = box->standardButton(box->defaultButton());
    QTest::keyClick(box, Qt::Key_Return);  // what a hurried Enter does
  });
  EXPECT_FALSE(window_->AskYesNo("Continue with Dsp Firmware upload?"));
  EXPECT_EQ(pressed, QMessageBox::No);
}

TEST_F(OstrelWindowTest, AScreenReaderReadsTheValuesNotOnlyTheirCaptions) {
  Open();
  window_->ConnectToVirtualSensor();
  window_->SetComErrors(3);
  Find<QTabWidget>("PageControl1")->setCurrentIndex(2);
  QTimer::singleShot(300, [&] { QTest::mouseClick(Find<QPushButton>("btnStop"), Qt::LeftButton); });
  QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
  // Every widget that shows a value read from the sensor or counted.
  for (const char* name : {"pSerial", "pModel", "pFirmware", "pFpga", "pCommErrors", "pRange", "pBasePix", "pSumPix",
                           "pNumPix", "pSubPix", "pPower", "pPeakPix"}) {
    SCOPED_TRACE(name);
    QWidget* widget = Find<QWidget>(name);
    const QString value = Text(name);
    EXPECT_FALSE(value.isEmpty());
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(widget);
    ASSERT_NE(reader, nullptr);
    const QString read = reader->text(QAccessible::Name) + " " + reader->text(QAccessible::Value);
    EXPECT_TRUE(read.contains(value)) << read.toStdString();
  }
  EXPECT_EQ(Find<QWidget>("pCommErrors")->accessibleName(), "COM Errors: 3");
  // The serial number can be selected and copied, not changed.
  auto* serial = Find<QLineEdit>("pSerial");
  EXPECT_TRUE(serial->isReadOnly());
  serial->selectAll();
  EXPECT_EQ(serial->selectedText(), "BF039618");
  // The range panel says what one count is; the chart beside it is in inches.
  EXPECT_EQ(Text("rangeUnit"), "x 0.001 inch");
}

TEST_F(OstrelWindowTest, RepeatedMemoryReadsTakeWhatIsTypedMeanwhile) {
  Open();
  window_->ConnectToVirtualSensor();
  Find<QTabWidget>("PageControl1")->setCurrentIndex(2);
  Find<QTabWidget>("PageControl2")->setCurrentIndex(1);
  auto* address = Find<QLineEdit>("editMemAddr");
  auto* count = Find<QLineEdit>("editWordCount");
  auto* repeat = Find<QCheckBox>("ChkbxRepeat");
  repeat->click();
  ASSERT_TRUE(window_->operations().repeat());
  QTimer::singleShot(300, [&] {
    address->clear();
    QTest::keyClicks(address, "0040");
    count->clear();
    QTest::keyClicks(count, "8");
  });
  // Once a pass has read what was typed (one pass each 500 ms), and at the
  // latest after 10 s: the field still holds what was typed.
  QElapsedTimer since;
  since.start();
  QTimer look;
  look.setInterval(50);
  QObject::connect(&look, &QTimer::timeout, [&] {
    const bool read = Find<QPlainTextEdit>("memo")->toPlainText().startsWith("0040 :\t");
    if (!read && since.elapsed() < 10000) return;
    look.stop();
    EXPECT_TRUE(read);
    EXPECT_EQ(address->text(), "0040");
    EXPECT_EQ(count->text(), "8");
    repeat->click();  // repeat off: the loop ends
  });
  look.start();
  QTest::mouseClick(window_->findChild<QPushButton*>("btnReadMemory"), Qt::LeftButton);
  EXPECT_FALSE(window_->operations().busy());
  EXPECT_EQ(address->text(), "0040");
}

TEST_F(OstrelWindowTest, AValueTheProgramShowsIsShownWhole) {
  Open();
  window_->ConnectToVirtualSensor();
  auto* width = Find<QLineEdit>("editMinLen");
  // The typing limit of 5 characters is for typing only.
  width->setText("125.75");
  EXPECT_EQ(width->text(), "125.75");
  width->clear();
  QTest::keyClicks(width, "125.75");
  EXPECT_EQ(width->text(), "125.7");
}


// Counts the paint events one widget receives.
struct PaintCounter : QObject {
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

TEST_F(OstrelWindowTest, NewSpotValuesRepaintThePanelsNotTheWindow) {
  Open();
  window_->ConnectToVirtualSensor();
  Find<QTabWidget>("PageControl1")->setCurrentIndex(2);
  Find<QCheckBox>("cbxSpot")->setChecked(true);
  PaintCounter tabBar;
  Find<QTabWidget>("PageControl1")->tabBar()->installEventFilter(&tabBar);
  // The tab switch's own repaints first (late on a loaded machine): counting
  // starts after 150 ms without one.
  for (int quiet = 0, last = -1, rounds = 0; quiet < 3 && rounds < 100; ++rounds, QTest::qWait(50)) {
    quiet = tabBar.paints == last ? quiet + 1 : 0;
    last = tabBar.paints;
  }
  tabBar.paints = 0;
  PaintCounter panel;
  Find<QLabel>("pRange")->installEventFilter(&panel);
  PaintCounter behind;  // what lies behind the panels
  window_->installEventFilter(&behind);
  Find<QTabWidget>("PageControl2")->installEventFilter(&behind);
  const QSize panelSize = Find<QLabel>("pRange")->size();
  // Values of every width a 16-bit field can have.
  for (const int value : {7, 65535, 12, 40000, 1}) {
    ostrel::SpotValues v;
    v.all = true;
    v.range = static_cast<uint16_t>(value);
    v.peak = static_cast<uint16_t>(value);
    window_->ShowSpot(v);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Text("pPeakPix") == QString::number(value); }, 2000));
    QTest::qWait(20);  // the repaint that follows
  }
  EXPECT_GE(panel.paints, 5) << "each new value is drawn";
  EXPECT_EQ(tabBar.paints, 0) << "a new value must not lay out and repaint the whole window";
  EXPECT_EQ(behind.paints, 0) << "a panel paints its own background, not the window's behind it";
  EXPECT_EQ(Find<QLabel>("pRange")->size(), panelSize);
}

// A sensor whose every reply fails its check once connected: each poll
// fails at once, clears the status line and writes it again, and counts a
// COM error. The window shows the status line and the count at the Spot
// panels' pace, not per poll: a failing sensor must not have it repainted
// (and announced to a screen reader) hundreds of times a second.
TEST_F(OstrelWindowTest, AFailingPollShowsItsStatusAtThePanelsPaceNotPerPoll) {
  sim::SensorConfig config;
  config.model = "KRV04 Board Flipper";
  sim::FaultRule& corrupt = config.faults.rule(sim::FaultKind::kCorrupt);
  for (uint64_t reply = 8; reply < 100000; ++reply) corrupt.atReplies.push_back(reply);  // after the connect's 7
  sim::VirtualSensor sensor(config);
  ASSERT_TRUE(sensor.Start()) << sensor.LastError();
  Open("[CommPort]\r\nPort=1\r\n[Port Map]\r\nCOM1=" + sensor.SlavePath() + "\r\n");
  QTest::mouseClick(Find<QPushButton>("btnConnect"), Qt::LeftButton);
  ASSERT_TRUE(window_->operations().connected());
  Find<QTabWidget>("PageControl1")->setCurrentIndex(2);
  PaintCounter status;
  PaintCounter errors;
  Find<QLabel>("lblStatus")->installEventFilter(&status);
  Find<QLabel>("pCommErrors")->installEventFilter(&errors);

  constexpr unsigned long long kFailures = 60;
  QElapsedTimer polled;
  QTimer watch;
  watch.setInterval(5);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (window_->operations().polling() && (window_->findChild<QLabel*>("pCommErrors")->text().toULongLong() >= kFailures ||
                                             polled.elapsed() > 20000))
      QTest::mouseClick(Find<QPushButton>("btnStop"), Qt::LeftButton);
  });
  watch.start();
  polled.start();
  QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);  // returns when stopped
  const qint64 elapsed = polled.elapsed();
  watch.stop();

  const unsigned long long failed = Text("pCommErrors").toULongLong();
  ASSERT_GE(failed, kFailures) << "every poll failed and was counted";
  EXPECT_EQ(Text("lblStatus"), "Error : Invalid CRC/Chksum") << "the last status, once polling stopped";
  // Ten times a second, and once more at the end; each time the status bar
  // may be laid out and repainted once for each of the two.
  const int most = 2 * (static_cast<int>(elapsed / ostrel::MainWindow::kSpotIntervalMs) + 2);
  EXPECT_LE(errors.paints, most) << failed << " failures in " << elapsed << " ms";
  EXPECT_LE(status.paints, most) << failed << " failures in " << elapsed << " ms";
}

}  // namespace
