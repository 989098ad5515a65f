// The status bar's link text, the scan export's checks before its file
// dialog, the status cleared by the next action, and a firmware upload
// through the window: its log lines, its result and the restore it offers,
// and its progress shown whole beside the link.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <functional>
#include <memory>

#include "ostrel/ui/about_box.h"
#include "ostrel/ui/main_window.h"
#include "protocol/command_ids.h"
#include "sim/virtual_sensor.h"
#include "support/sim_trace.h"
#include "support/file_dialog_answer.h"
#include "support/temp_dir.h"

namespace {

class OstrelLinkAndUpload : public ::testing::Test {
 protected:
  void Start(sim::SensorConfig config = {}) {
    config.model = "KRV04 Board Flipper";
    sensor_ = std::make_unique<sim::VirtualSensor>(config, trace_.Line());
    ASSERT_TRUE(sensor_->Start()) << sensor_->LastError();
    const std::string ini = dir_.File("Ostrel.ini");
    std::ofstream(ini, std::ios::binary) << "[CommPort]\r\nPort=1\r\n[Port Map]\r\nCOM1=" << sensor_->SlavePath()
                                         << "\r\n";
    window_ = std::make_unique<ostrel::MainWindow>(ini, "");
    window_->show();
    Click("btnConnect");
    ASSERT_TRUE(window_->operations().connected());
  }
  template <typename T = QWidget>
  T* Find(const char* name) const {
    T* found = window_->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  void Click(const char* name) { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }
  QPushButton* ButtonOf(const char* text) const {
    for (QPushButton* b : window_->findChildren<QPushButton*>())
      if (b->text() == text) return b;
    ADD_FAILURE() << text;
    return nullptr;
  }
  QString Status() const { return Find<QLabel>("lblStatus")->text(); }
  QString Link() const { return Find<QLabel>("linkText")->accessibleName(); }
  QStringList LogLines() const {
    QStringList lines;
    auto* log = Find<QListWidget>("log");
    for (int i = 0; i < log->count(); ++i) lines << log->item(i)->text().mid(10);  // after "HH:mm:ss  "
    return lines;
  }
  // Answers every modal window that opens while `action` runs.
  void WhileModal(const std::function<void(QWidget*)>& answer, const std::function<void()>& action) {
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (QWidget* modal = QApplication::activeModalWidget()) answer(modal);
    });
    poll.start();
    action();
  }
  // "Upload" with `image` chosen, Yes to its question, the result closed.
  void Upload(const std::string& image) {
    WhileModal(
        [&](QWidget* modal) {
          if (auto* files = qobject_cast<QFileDialog*>(modal)) {
            testsupport::TypeFileName(files, QString::fromStdString(image));
            static_cast<QDialog*>(files)->accept();  // public in QDialog
          } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            if (box->objectName() == "uploadResult") {
              box->accept();
            } else {
              box->button(QMessageBox::Yes)->click();  // the question that starts the upload
            }
          }
        },
        [&] { Click("btnUpload"); });
  }
  void EnterFactoryMode() {
    QTimer::singleShot(50, [this] {
      ostrel::AboutBox* about = window_->aboutBox();
      QTest::mousePress(about->panel(), Qt::LeftButton, Qt::ShiftModifier);
      QTest::mouseRelease(about->panel(), Qt::LeftButton, Qt::ShiftModifier);
      QTest::mouseDClick(about->panel(), Qt::LeftButton, Qt::ShiftModifier);
      QTest::keyClicks(about->passwordField(), "qzx");
      QTest::keyClick(about->passwordField(), Qt::Key_Return);
    });
    Click("btnAbout");
    ASSERT_TRUE(window_->factoryMode());
  }

  testsupport::TempDir dir_;
  testsupport::SimTrace trace_;
  std::unique_ptr<sim::VirtualSensor> sensor_;
  std::unique_ptr<ostrel::MainWindow> window_;
};

TEST_F(OstrelLinkAndUpload, TheLinkTextNamesPortSensorPollingAndReplies) {
  Start();
  EXPECT_FALSE(window_->statusBar()->isSizeGripEnabled()) << "the window's size is fixed";
  const QString link = Link();
  EXPECT_TRUE(link.startsWith("Link: COM1 (" + QString::fromStdString(sensor_->SlavePath()) + "), 57600 baud, "))
      << link.toStdString();
  EXPECT_TRUE(link.contains(", address 1, checksum, M3-9-6BF SN BF039618, idle, replies 7 good / 0 failed"))
      << link.toStdString();

  Find<QTabWidget>("PageControl1")->setCurrentIndex(2);
  QString whilePolling;
  QTimer::singleShot(400, [&] {
    whilePolling = Link();
    Click("btnStop");
  });
  Click("btnStart");
  EXPECT_TRUE(whilePolling.contains(", polling, replies ")) << whilePolling.toStdString();
  EXPECT_TRUE(Link().contains(", idle, replies ")) << Link().toStdString();
  EXPECT_FALSE(Link().contains("replies 7 good")) << "every poll is counted";
}

TEST_F(OstrelLinkAndUpload, TheScanExportChecksItsFieldsBeforeTheFileDialog) {
  Start();
  Find<QTabWidget>("PageControl1")->setCurrentIndex(1);
  const std::string saved = dir_.File("scans-out.txt");
  QStringList seen;
  QString proposed;
  QStringList filters;
  const auto answer = [&](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      seen << "error: " + box->text();
      box->accept();
    } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
      seen << "file dialog";
      proposed = files->selectedFiles().value(0);
      filters = files->nameFilters();
      testsupport::TypeFileName(files, QString::fromStdString(saved));
      static_cast<QDialog*>(files)->accept();  // public in QDialog
    }
  };
  Find<QLineEdit>("editStartNdx")->clear();
  WhileModal(answer, [&] { QTest::mouseClick(ButtonOf("Read Buffer"), Qt::LeftButton); });
  EXPECT_EQ(seen, QStringList{"error: Invalid Start Index Entered!\n(Valid values 0-9999)"});
  EXPECT_EQ(window_->focusWidget(), Find<QLineEdit>("editStartNdx")) << "the focus goes into the field refused";

  seen.clear();
  Find<QLineEdit>("editStartNdx")->setText("1");
  Find<QLineEdit>("editNumOfScans")->setText("100");
  WhileModal(answer, [&] { QTest::mouseClick(ButtonOf("Read Buffer"), Qt::LeftButton); });
  EXPECT_EQ(seen, QStringList{"file dialog"});
  EXPECT_TRUE(QFileInfo(proposed).fileName().startsWith("M3-9-6BF_BF039618_scans_")) << proposed.toStdString();
  EXPECT_TRUE(proposed.endsWith(".txt"));
  EXPECT_EQ(filters.value(0), "Text File (*.txt)");
  EXPECT_EQ(Status(), " Done");
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(saved)));

  // The next action's status replaces it.
  QTest::mouseClick(ButtonOf("Threshold"), Qt::LeftButton);
  EXPECT_EQ(Status(), "Verified: Threshold 50");
}

TEST_F(OstrelLinkAndUpload, AnUploadIsLoggedShowsItsResultAndRestoresWhatItReset) {
  sim::SensorConfig config;
  config.faults.defaultsAfterUpload = true;
  Start(config);
  sensor_->Mutate([](sim::SensorState& s) { s.settings.threshold = 99; });
  Click("btnConnect");  // reads the changed threshold
  EnterFactoryMode();
  Find<QTabWidget>("PageControl1")->setCurrentIndex(1);
  const std::string image = dir_.File("code.bin");
  std::ofstream(image, std::ios::binary) << std::string(256, 'x');

  QStringList results;
  QStringList rows;
  bool restoreDefaultsToNo = false;
  WhileModal(
      [&](QWidget* modal) {
        if (auto* files = qobject_cast<QFileDialog*>(modal)) {
          testsupport::TypeFileName(files, QString::fromStdString(image));
          static_cast<QDialog*>(files)->accept();  // public in QDialog
        } else if (modal->objectName() == "restoreQuestion") {
          auto* table = modal->findChild<QTableWidget*>("restoreDifferences");
          for (int r = 0; table != nullptr && r < table->rowCount(); ++r)
            rows << table->item(r, 0)->text() + ": " + table->item(r, 1)->text() + " -> " + table->item(r, 2)->text();
          for (QPushButton* b : modal->findChildren<QPushButton*>()) {
            if (b->isDefault()) restoreDefaultsToNo = b->text().remove('&') == "No";
          }
          for (QPushButton* b : modal->findChildren<QPushButton*>())
            if (b->text().remove('&') == "Yes") b->click();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
          if (box->objectName() == "uploadResult") {
            results << box->text();
            box->accept();
          } else {
            box->button(QMessageBox::Yes)->click();  // the question that starts the upload
          }
        }
      },
      [&] { Click("btnUpload"); });

  EXPECT_EQ(sensor_->Snapshot().upload.outcome, sim::UploadOutcome::kCompleted);
  EXPECT_EQ(rows, QStringList{"Threshold: 99 -> 50"});
  EXPECT_TRUE(restoreDefaultsToNo);
  EXPECT_EQ(sensor_->Snapshot().settings.threshold, 99) << "restored";
  EXPECT_EQ(Find<QLineEdit>("editThreshold")->text(), "99");
  ASSERT_EQ(results.size(), 2);
  EXPECT_TRUE(results[0].startsWith("Upload completed: 2 of 2 blocks, 0 retries, ")) << results[0].toStdString();
  EXPECT_TRUE(results[0].contains("Settings: 1 changed by the upload"));
  EXPECT_TRUE(results[1].endsWith(" and verified by reading them back")) << results[1].toStdString();

  const QStringList log = LogLines();
  const auto has = [&](const QString& start) {
    for (const QString& line : log)
      if (line.startsWith(start)) return true;
    return false;
  };
  const QString backups = qEnvironmentVariable("XDG_DATA_HOME") + "/ostrel/backups/M3-9-6BF_BF039618_before-upload_";
  EXPECT_TRUE(has("Settings saved before the upload to " + backups)) << log.join('\n').toStdString();
  EXPECT_TRUE(has("Upload started: code.bin, 256 bytes, CRC-16 0x"));
  EXPECT_TRUE(has("Upload completed: 2 of 2 blocks, 0 retries, "));
  EXPECT_TRUE(has("Settings restored from " + backups));
  EXPECT_EQ(Status(), "Settings restored and verified");
}

// During an upload the status bar shows the bar with its percent and,
// beside it, the bytes sent of all, the rate and the time left (with the
// note that a close waits, once asked for): all of it whole, in the
// window's fixed size, while the link text stays where it is.
TEST_F(OstrelLinkAndUpload, TheProgressBarShowsItsWholeTextBesideTheLink) {
  Start();
  EnterFactoryMode();
  Find<QTabWidget>("PageControl1")->setCurrentIndex(1);
  const std::string image = dir_.File("code.bin");
  std::ofstream(image, std::ios::binary) << std::string(64 * 128, 'x');
  const QSize windowSize = window_->size();
  auto* bar = Find<QProgressBar>("pBar");
  auto* text = Find<QLabel>("progressText");
  auto* link = Find<QLabel>("linkText");
  ASSERT_NE(bar, nullptr);
  ASSERT_NE(text, nullptr);
  ASSERT_NE(link, nullptr);
  const auto inWindow = [this](const QWidget* w) { return QRect(w->mapTo(window_.get(), QPoint(0, 0)), w->size()); };
  const auto whole = [](const QWidget* w, const QString& shown) {
    return w->fontMetrics().horizontalAdvance(shown) <= w->contentsRect().width();
  };

  QStringList problems;
  int seen = 0;
  bool closeNoteSeen = false;
  // After each step of the bar, once its text beside it has followed.
  const auto look = [&] {
    if (!bar->isVisible() || text->text().isEmpty()) return;
    ++seen;
    const QString shown = text->text();
    if (!shown.startsWith("Sent ") || !shown.contains(" of 8192 bytes")) problems << "unexpected text: " + shown;
    if (!text->isVisible() || !whole(text, shown)) problems << "cut: " + shown;
    if (bar->text() != QString::number(bar->value()) + " %" || !whole(bar, bar->text()))
      problems << "the bar's own text: " + bar->text();
    if (!window_->rect().contains(inWindow(text)) || !window_->rect().contains(inWindow(bar)))
      problems << "outside the window: " + shown;
    if (!link->isVisible() || link->text().isEmpty() || inWindow(text).intersects(inWindow(link)) ||
        inWindow(bar).intersects(inWindow(link)))
      problems << "not beside the link: " + shown;
    if (window_->size() != windowSize) problems << "the window changed its size";
    closeNoteSeen = closeNoteSeen || shown.endsWith(" - Ostrel closes when the upload has ended");
    if (seen == 3) window_->close();  // waits for the upload, and says so beside the bar
  };
  QObject::connect(bar, &QProgressBar::valueChanged, window_.get(),
                   [&] { QTimer::singleShot(0, window_.get(), look); });

  Upload(image);

  EXPECT_EQ(sensor_->Snapshot().upload.outcome, sim::UploadOutcome::kCompleted);
  EXPECT_GE(seen, 10) << "one look per block of the 64";
  EXPECT_TRUE(closeNoteSeen);
  EXPECT_EQ(problems, QStringList());
  EXPECT_FALSE(window_->isVisible()) << "closed once the upload had ended";
}

// While an upload holds the line, every control that would act on the
// sensor (or on what the next press sends) is disabled, and only "Stop"
// beside the upload works: a press of Threshold or Laser Off, or a value
// typed meanwhile, is neither sent later nor left on screen as if it were.
TEST_F(OstrelLinkAndUpload, DuringAnUploadWhatCannotActIsDisabled) {
  Start();
  EnterFactoryMode();
  auto* tabs = Find<QTabWidget>("PageControl1");
  tabs->setCurrentIndex(1);
  const std::string image = dir_.File("code.bin");
  std::ofstream(image, std::ios::binary) << std::string(32 * 128, 'x');
  // What acts on the sensor, or holds what a press sends: the Connect and
  // Settings tabs' buttons, fields and lists, About, Start and Read Memory.
  QList<QWidget*> controls{Find("btnAbout"), Find("btnStart"), Find("btnReadMemory")};
  for (int page : {0, 1}) {
    for (QWidget* w : tabs->widget(page)->findChildren<QWidget*>()) {
      const bool control = qobject_cast<QPushButton*>(w) != nullptr || qobject_cast<QLineEdit*>(w) != nullptr ||
                           qobject_cast<QComboBox*>(w) != nullptr || qobject_cast<QCheckBox*>(w) != nullptr;
      if (control && w->objectName() != "btnStopUpload" && w->isEnabled()) controls << w;
    }
  }
  ASSERT_GT(controls.size(), 25);
  const QString threshold = Find<QLineEdit>("editThreshold")->text();

  QStringList enabledDuring;
  bool stopEnabled = false;
  bool looked = false;
  auto* bar = Find<QProgressBar>("pBar");
  QObject::connect(bar, &QProgressBar::valueChanged, window_.get(), [&] {
    if (looked || bar->value() < 25) return;
    looked = true;
    for (QWidget* w : controls)
      if (w->isEnabled()) enabledDuring << w->objectName() + " " + w->accessibleName();
    stopEnabled = Find("btnStopUpload")->isEnabled();
    QTest::mouseClick(ButtonOf("Threshold"), Qt::LeftButton);
    QTest::mouseClick(ButtonOf("Laser Off"), Qt::LeftButton);
    QTest::keyClicks(Find<QLineEdit>("editThreshold"), "7");
  });
  Upload(image);

  ASSERT_TRUE(looked);
  EXPECT_EQ(sensor_->Snapshot().upload.outcome, sim::UploadOutcome::kCompleted);
  EXPECT_EQ(enabledDuring.join(", ").toStdString(), "");
  EXPECT_TRUE(stopEnabled);
  EXPECT_EQ(trace_.CountCommand(cmd::SetThreshold), 0u) << "the press during the upload is not sent later";
  EXPECT_EQ(trace_.CountCommand(cmd::SetLaserOff), 0u);
  EXPECT_EQ(Find<QLineEdit>("editThreshold")->text(), threshold) << "nothing typed that was not sent";
  for (QWidget* w : controls) EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
}

}  // namespace
