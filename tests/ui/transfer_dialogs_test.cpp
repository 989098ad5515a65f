// The upload and scan buffer dialogs through their widgets against the
// virtual sensor: an upload lands byte-exact and locks the flash again, an
// unusual size asks first; a read of 8192 ranges matches the sensor, lists,
// plots and exports them, and "Stop" ends a read with an empty list. While
// either runs, every command of the menus is unavailable and the window
// keeps handling its events.

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "protocol/command_ids.h"
#include "tarkon/ui/command_log.h"
#include "tarkon/ui/scan_buffer_dialog.h"
#include "tarkon/ui/sensor_panels.h"
#include "tarkon/ui/sensor_view.h"
#include "tarkon/ui/upload_dialog.h"
#include "support/file_size_limit.h"
#include "ui_test_support.h"

namespace uitest {
namespace {

constexpr DocCommand kLineCommands[] = {DocCommand::kDisconnect,     DocCommand::kAddress,       DocCommand::kChecksum,
                                        DocCommand::kCrc,            DocCommand::kBaudRate,      DocCommand::kSensorSettings,
                                        DocCommand::kSetDefaults,    DocCommand::kRereadSettings, DocCommand::kSerialAndModel,
                                        DocCommand::kUpload,         DocCommand::kResetSensor};

// Watches the frame while a transfer runs: how often the event loop ran
// with the line held, and whether any command was available meanwhile.
struct BusyWatch {
  BusyWatch(CMainFrame& frame, CKRV02Doc& doc) {
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [this, &frame, &doc] {
      if (!doc.LineBusy()) return;
      ++turns;
      for (DocCommand c : kLineCommands) {
        if (frame.action(c)->isEnabled()) available = true;
      }
    });
    timer.start();
  }
  QTimer timer;
  int turns = 0;
  bool available = false;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class TransferDialogs : public TracedUiTest {
 protected:
  // Lines of the frame's command log that start with `start`.
  int LogLinesStartingWith(const QString& start) const {
    const LogModel& log = frame_->log()->model();
    int n = 0;
    for (int row = 0; row < log.rowCount(); ++row) n += log.textAt(row).startsWith(start);
    return n;
  }
};

TEST_F(TransferDialogs, UploadLandsByteExactAndLocksTheFlashAgain) {
  CMainFrame& frame = ConnectTraced("KRV04", true, true);
  std::vector<uint8_t> image(3000);
  std::mt19937 random(7);
  for (uint8_t& b : image) b = static_cast<uint8_t>(random());
  const std::string path = dir_.File("table.cal");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());

  BusyWatch watch(frame, *doc_);
  QString question;
  std::vector<int> progress;
  auto came = OnNextModalOf<CUploadDlg>([&](CUploadDlg* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Upload FPGA/DSP/CAL Table");
    EXPECT_EQ(dialog->kindBox()->currentIndex(), -1);
    dialog->SetFilePath(QString::fromStdString(path));
    dialog->uploadButton()->click();
    EXPECT_EQ(dialog->statusField()->text(), "Invalid type selection");

    // An FPGA image of 3000 bytes is unusual: No sends nothing. While it is
    // asked, the last press's status is gone.
    dialog->kindBox()->setCurrentIndex(0);
    QString statusMeanwhile = QStringLiteral("not asked");
    auto box = OnNextModalOf<QMessageBox>([&](QMessageBox* b) {
      statusMeanwhile = dialog->statusField()->text();
      question = b->text();
      EXPECT_EQ(b->icon(), QMessageBox::Question);
      EXPECT_EQ(static_cast<QAbstractButton*>(b->defaultButton()), b->button(QMessageBox::No));
      b->button(QMessageBox::No)->click();
    });
    dialog->uploadButton()->click();
    EXPECT_TRUE(*box);
    EXPECT_EQ(statusMeanwhile, QString());
    EXPECT_EQ(trace_.Commands(), std::vector<int>{});

    // The question that starts it shows the file and defaults to No.
    dialog->kindBox()->setCurrentIndex(2);
    QObject::connect(dialog->progress(), &QProgressBar::valueChanged, [&](int v) { progress.push_back(v); });
    QString start;
    auto yes = OnNextModalOf<QMessageBox>([&](QMessageBox* b) {
      start = b->text();
      EXPECT_EQ(static_cast<QAbstractButton*>(b->defaultButton()), b->button(QMessageBox::No));
      b->button(QMessageBox::Yes)->click();
    });
    dialog->uploadButton()->click();
    EXPECT_TRUE(*yes);
    EXPECT_TRUE(start.contains("table.cal (3000 bytes, CRC 0x")) << start.toStdString();
    EXPECT_EQ(dialog->statusField()->text(), "Successfully completed");
    EXPECT_EQ(dialog->lastOutcome(), UploadOutcome::kCompleted);
    // The result stays: the dialog is open until it is closed.
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->detailsView()->toPlainText().contains("Upload completed: 24 of 24 blocks"));
    dialog->closeButton()->click();
  });
  frame.action(DocCommand::kUpload)->trigger();
  ASSERT_TRUE(*came);
  EXPECT_EQ(question.toStdString(), kUploadSizeQuestion);

  const sim::SensorState s = sensor_->Snapshot();
  EXPECT_EQ(s.upload.command, cmd::UploadCalibration);
  EXPECT_EQ(s.upload.outcome, sim::UploadOutcome::kCompleted);
  ASSERT_GE(s.upload.image.size(), image.size());
  EXPECT_TRUE(std::equal(image.begin(), image.end(), s.upload.image.begin()));
  EXPECT_FALSE(s.FlashUnlocked());
  EXPECT_EQ(s.flashProtect1, 0);
  // The window ran between blocks, with every command unavailable; the
  // progress moved on the way.
  EXPECT_GT(watch.turns, 0);
  EXPECT_FALSE(watch.available);
  EXPECT_GT(progress.size(), 10u);
  EXPECT_EQ(progress.back(), 100);
  // The start and the result in the command log.
  EXPECT_EQ(LogLinesStartingWith("Upload started: table.cal, 3000 bytes, CRC 0x"), 1);
  EXPECT_EQ(LogLinesStartingWith("Upload completed: 24 of 24 blocks, 0 retries"), 1);
  frame.UpdateCommandUI();
  EXPECT_TRUE(frame.action(DocCommand::kDisconnect)->isEnabled());
}

// No backup, no upload: when the settings cannot be saved first, the
// dialog asks whether to go on without them, No by default, and No sends
// nothing to the sensor.
TEST_F(TransferDialogs, AnUploadWhoseBackupFailsAsksAndNoSendsNothing) {
  ConnectTraced("KRV04", true, true);
  std::filesystem::create_directories(dir_.File("tarkon"));
  std::ofstream(dir_.File("tarkon/backups")) << "in the way";
  const std::string path = dir_.File("table.cal");
  std::ofstream(path, std::ios::binary) << std::string(300, '\x21');
  trace_.Clear();
  QString backupQuestion;
  bool noByDefault = false;
  std::shared_ptr<bool> asked;
  auto came = OnNextModalOf<CUploadDlg>([&](CUploadDlg* dialog) {
    dialog->kindBox()->setCurrentIndex(2);
    dialog->SetFilePath(QString::fromStdString(path));
    auto start = OnNextModalOf<QMessageBox>([&](QMessageBox* b) {
      asked = OnNextModalOf<QMessageBox>([&](QMessageBox* withoutBackup) {
        backupQuestion = withoutBackup->text();
        noByDefault = withoutBackup->defaultButton() == withoutBackup->button(QMessageBox::No);
        withoutBackup->button(QMessageBox::No)->click();
      });
      b->button(QMessageBox::Yes)->click();
    });
    dialog->uploadButton()->click();
    EXPECT_TRUE(*start);
    EXPECT_TRUE(dialog->statusField()->text().startsWith("The settings were not saved"))
        << dialog->statusField()->text().toStdString();
    EXPECT_EQ(dialog->lastReport().outcome, fleet::UpdateOutcome::kNotStarted);
    dialog->closeButton()->click();
  });
  frame_->action(DocCommand::kUpload)->trigger();
  ASSERT_TRUE(*came);
  ASSERT_TRUE(asked && *asked);
  EXPECT_TRUE(backupQuestion.endsWith("Upload without a backup of the settings?")) << backupQuestion.toStdString();
  EXPECT_TRUE(noByDefault);
  EXPECT_EQ(trace_.CountCommand(cmd::WriteFlashProtect1), 0u);
  EXPECT_EQ(sensor_->Snapshot().upload.command, 0);
}

TEST_F(TransferDialogs, ReadOf8192RangesMatchesTheSensorAndIsExported) {
  CMainFrame& frame = ConnectTraced("KRV04 Board Flipper");
  sensor_->Mutate([](sim::SensorState& s) {
    for (size_t i = 0; i < sim::kScanBufferCapacity; ++i) s.scanBuffer[i] = static_cast<uint16_t>(i * 3 % 8000);
    s.scanBuffer[5] = sim::kOutOfRange;
    s.scanFill = sim::kScanBufferCapacity;
  });
  auto* panel = qobject_cast<CKRV04BFDlg*>(frame.view()->currentPanel());
  ASSERT_NE(panel, nullptr);
  ASSERT_NE(panel->readButton(), nullptr);
  const std::string exported = dir_.File("scanbuffer.txt");
  const std::string csv = dir_.File("ranges.csv");
  const std::string stoppedCsv = dir_.File("stopped.csv");

  BusyWatch watch(frame, *doc_);
  std::vector<int16_t> read;
  auto came = OnNextModalOf<CReadBufferDialog>([&](CReadBufferDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Read sensor ranges buffer");
    EXPECT_EQ(dialog->availableField()->text(), "8192");
    EXPECT_EQ(dialog->toReadField()->text(), "8192");
    EXPECT_FALSE(dialog->stopButton()->isEnabled());
    dialog->SetExportPath(QString::fromStdString(exported));
    dialog->SetCsvPath(QString::fromStdString(csv));
    bool stopWasLive = false;
    QObject::connect(dialog->progress(), &QProgressBar::valueChanged, [&] {
      stopWasLive = stopWasLive || (dialog->stopButton()->isEnabled() && !dialog->closeButton()->isEnabled());
    });
    dialog->startButton()->click();
    EXPECT_TRUE(stopWasLive);
    read = dialog->reader().buffer();
    QAbstractItemModel* list = dialog->list()->model();
    ASSERT_EQ(list->rowCount(), 8192);
    EXPECT_EQ(list->headerData(0, Qt::Horizontal).toString(), "Range #");
    EXPECT_EQ(list->index(0, 0).data().toString(), "1");
    EXPECT_EQ(list->index(1, 1).data().toString(), "0.003 inch");
    EXPECT_EQ(list->index(5, 1).data().toString(), "Out of Range");
    dialog->saveButton()->click();
    dialog->saveButton()->click();
    dialog->csvButton()->click();
    // Saved again over it on a disk that is full: a warning, and the file
    // saved before stays whole.
    const std::string saved = ReadFile(csv);
    QString warning;
    auto warned = OnNextModalOf<QMessageBox>([&](QMessageBox* box) {
      warning = box->text();
      box->accept();
    });
    {
      testsupport::FileSizeLimit full(saved.size() / 2);
      dialog->csvButton()->click();
    }
    EXPECT_TRUE(*warned);
    EXPECT_TRUE(warning.startsWith("Cannot write " + QString::fromStdString(csv))) << warning.toStdString();
    EXPECT_EQ(ReadFile(csv), saved);

    // "Stop" ends the next read with an empty list.
    QObject::connect(dialog->progress(), &QProgressBar::valueChanged, dialog, [dialog](int v) {
      if (v > 0) dialog->stopButton()->click();
    });
    dialog->startButton()->click();
    EXPECT_EQ(dialog->list()->model()->rowCount(), 0);
    EXPECT_TRUE(dialog->startButton()->isEnabled());
    EXPECT_FALSE(dialog->stopButton()->isEnabled());
    // The part it read is neither plotted nor saved as if it were the buffer.
    EXPECT_FALSE(dialog->reader().buffer().empty());
    ASSERT_NE(dialog->plot()->ranges(), nullptr);
    EXPECT_TRUE(dialog->plot()->ranges()->empty());
    dialog->SetCsvPath(QString::fromStdString(stoppedCsv));
    dialog->csvButton()->click();
    dialog->closeButton()->click();
  });
  panel->readButton()->click();
  ASSERT_TRUE(*came);

  const std::vector<uint16_t> buffer = sensor_->Snapshot().scanBuffer;
  ASSERT_EQ(read.size(), buffer.size());
  EXPECT_TRUE(std::equal(read.begin(), read.end(), buffer.begin(),
                         [](int16_t a, uint16_t b) { return static_cast<uint16_t>(a) == b; }));
  EXPECT_EQ(Sent(cmd::GetScanBufferPortion), 66u + 1u);  // 65 x 126 + 2, then the stopped read's first
  EXPECT_GT(watch.turns, 0);
  EXPECT_FALSE(watch.available);

  // Two blocks, one after the other, lines numbered from 0.
  const std::string text = ReadFile(exported);
  const std::string head =
      "\nSensor: " + doc_->sensor().serialNumberText() + " \t Address: 1\n\nScan buffer: Size: 8192\n";
  EXPECT_EQ(text.find(head), 0u);
  EXPECT_EQ(text.find(head, 1), text.size() / 2);
  EXPECT_NE(text.find("#0:\t\t0.000 inch\n#1:\t\t0.003 inch\n"), std::string::npos);
  EXPECT_NE(text.find("#8191:\t\t"), std::string::npos);
  // The CSV says what it holds and numbers its rows as the list does.
  const std::string table = ReadFile(csv);
  const std::string source = "# Scan buffer of a laser range sensor\n# Model: KRV04 Board Flipper (model string \"" +
                             doc_->sensor().modelString() +
                             "\")\n# Serial number: " + doc_->sensor().serialNumberText() +
                             "\n# Unit: inch\n# Read: 20";
  EXPECT_EQ(table.find(source), 0u) << table.substr(0, 300);
  EXPECT_NE(table.find("Z\n# Ranges: 8192\nIndex,Raw,Range\n1,0,0.000\n2,3,0.003\n"), std::string::npos);
  EXPECT_NE(table.find("\n6,-32768,\n"), std::string::npos);
  EXPECT_NE(table.find("\n8192,"), std::string::npos);
  const std::string stopped = ReadFile(stoppedCsv);
  EXPECT_NE(stopped.find("# Read: no complete read\n# Ranges: 0\nIndex,Raw,Range\n"), std::string::npos) << stopped;
  EXPECT_EQ(stopped.substr(stopped.size() - 17), "\nIndex,Raw,Range\n") << stopped;
  frame.UpdateCommandUI();
  EXPECT_TRUE(frame.action(DocCommand::kDisconnect)->isEnabled());
}

// Closing the window during a read stops it at its next portion; the
// window closes after it.
TEST_F(TransferDialogs, CloseDuringAReadWaitsForItsNextPortion) {
  CMainFrame& frame = ConnectTraced("KRV04 Board Flipper");
  auto* panel = qobject_cast<CKRV04BFDlg*>(frame.view()->currentPanel());
  ASSERT_NE(panel, nullptr);
  bool closedDuringRead = true;
  auto came = OnNextModalOf<CReadBufferDialog>([&](CReadBufferDialog* dialog) {
    QObject::connect(dialog->progress(), &QProgressBar::valueChanged, &frame, [&](int v) {
      if (v > 0 && frame.isVisible()) closedDuringRead = frame.close();
    });
    dialog->startButton()->click();
  });
  panel->readButton()->click();
  ASSERT_TRUE(*came);
  EXPECT_FALSE(closedDuringRead);
  EXPECT_LT(Sent(cmd::GetScanBufferPortion), 66u);
  EXPECT_TRUE(PumpUntil([&] { return !frame.isVisible(); }));
  EXPECT_FALSE(doc_->LineBusy());
}

// Closing the window during an upload is its "Stop": the transfer ends
// after the block in flight with CAN, the flash is locked again, the result
// stays in the dialog, and the window closes once the line is free. A click
// on "Upload" queued during the transfer starts nothing, then or later.
TEST_F(TransferDialogs, CloseDuringAnUploadStopsItAndAPressMeanwhileRunsNothing) {
  CMainFrame& frame = ConnectTraced("KRV02", false, true, true);
  std::vector<char> image(20000, '\x5A');
  const std::string path = dir_.File("code.cal");
  std::ofstream(path, std::ios::binary).write(image.data(), static_cast<std::streamsize>(image.size()));
  bool closedDuringUpload = true;
  QString status;
  int transfers = 0;
  auto came = OnNextModalOf<CUploadDlg>([&](CUploadDlg* dialog) {
    dialog->kindBox()->setCurrentIndex(2);
    dialog->SetFilePath(QString::fromStdString(path));
    QObject::connect(dialog->progress(), &QProgressBar::valueChanged, &frame, [&, dialog](int v) {
      if (v <= 0 || !closedDuringUpload) return;
      QMetaObject::invokeMethod(dialog->uploadButton(), "click", Qt::QueuedConnection);
      EXPECT_FALSE(dialog->uploadButton()->isEnabled());
      EXPECT_TRUE(dialog->stopButton()->isEnabled());
      closedDuringUpload = frame.close();
    });
    auto yes = OnNextModalOf<QMessageBox>([](QMessageBox* b) { b->button(QMessageBox::Yes)->click(); });
    dialog->uploadButton()->click();
    EXPECT_TRUE(*yes);
    status = dialog->statusField()->text();
    EXPECT_TRUE(dialog->detailsView()->toPlainText().contains("Stopped by the user after "));
    // What was pressed during the transfer is handled by now and started nothing.
    QApplication::processEvents();
    transfers = dialog->transfersStarted();
    EXPECT_FALSE(dialog->uploadButton()->isEnabled());
    dialog->closeButton()->click();
  });
  frame.action(DocCommand::kUpload)->trigger();
  ASSERT_TRUE(*came);
  EXPECT_FALSE(closedDuringUpload);
  EXPECT_EQ(status, "Stopped by the user");
  EXPECT_EQ(transfers, 1);
  const sim::SensorState s = sensor_->Snapshot();
  EXPECT_EQ(s.upload.outcome, sim::UploadOutcome::kCancelled);
  EXPECT_EQ(s.upload.completedUploads, 0u);
  EXPECT_EQ(trace_.CountCommand(cmd::UploadCalibration), 1u);
  EXPECT_FALSE(s.FlashUnlocked());
  EXPECT_TRUE(PumpUntil([&] { return !frame.isVisible(); }));
}

}  // namespace
}  // namespace uitest
