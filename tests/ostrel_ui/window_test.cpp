// The window through its widgets, against the virtual board flipper.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <memory>

#include "ostrel/ui/about_box.h"
#include "ostrel/ui/main_window.h"
#include "ostrel/ui/range_chart.h"
#include "support/temp_dir.h"

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
  QString Text(const char* name) const { return Find<QLabel>(name)->text(); }
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
  QTimer::singleShot(200, [&] {
    EXPECT_NE(Text("pRange"), "00");
    EXPECT_EQ(Text("pPeakPix"), "00") << "range only until Show All";
    Find<QCheckBox>("cbxSpot")->setChecked(true);
  });
  QTimer::singleShot(400, [&] { QTest::mouseClick(Find<QPushButton>("btnStop"), Qt::LeftButton); });
  QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);  // returns when polling stops
  EXPECT_FALSE(window_->operations().busy());
  EXPECT_NE(Text("pPeakPix"), "00");
  EXPECT_GT(Find<ostrel::RangeChart>("rangeChart")->points(), 0u) << "the chart draws the polled ranges";

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

}  // namespace
