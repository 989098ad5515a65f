// Tarkon: the application object's start-up. The command line decides
// manufacturing mode once, answers --help and --version, and with
// --port PORT [--baud N] [--address N] connects at start the way the
// connect dialog does; a value the dialog would refuse ends the program
// with exit code 2 before the window opens. Two environment variables serve demonstrations
// and documentation without touching the command line:
//   TARKON_VIRTUAL_SENSOR=MODEL  connect at start to an in-process virtual
//                                sensor of that model (display name or
//                                model string);
//   TARKON_SCREENSHOT=FILE       switch the panel's diagnostics on, and
//                                once connected and polled for a moment,
//                                save the window as a PNG image, print its
//                                path and end;
//   TARKON_SETTINGS_SCREENSHOT=FILE  with it, also save the connected
//                                model's settings dialog as a PNG image;
//   TARKON_SCREENSHOT_DELAY_MS=N how long to poll before the picture
//                                (1500 ms unless given).
//   TARKON_PALETTE=dark          the Fusion style with a dark palette, as
//                                on a dark desktop (documentation pictures).
//   TARKON_TRACE_PANE=1          show the "Protocol trace" pane from the
//                                start (the connect's frames included).
//   TARKON_PARAMETERS_PANE=1     open the "Parameters" pane in its place
//                                from the start.
//   TARKON_UPLOAD_SCREENSHOTS=STEM  with a virtual sensor: upload a
//                                calibration table through the upload
//                                dialog and save it before (the question),
//                                during and after the transfer as
//                                STEM-before.png, STEM-during.png and
//                                STEM-after.png, then end.
//   TARKON_OPEN_SETTINGS_FILE=FILE  open a settings file in the
//                                "Parameters" pane at start (file mode);
//   TARKON_PARAMETERS_SCREENSHOT=FILE  with TARKON_SCREENSHOT, also save
//                                the "Parameters" pane as a PNG image.
//   TARKON_UNPLUG_SCREENSHOT=FILE  with a virtual sensor, instead of
//                                TARKON_SCREENSHOT: poll for a moment
//                                (TARKON_SCREENSHOT_DELAY_MS), pull the
//                                sensor's line, and once the window's bar
//                                says the link is lost save the window as a
//                                PNG image, print its path and end.
//   TARKON_LINE_VIEW_SCREENSHOT=FILE  with --port: disconnect, open Tools >
//                                Line View on that port (its bus scan first),
//                                poll for a moment (TARKON_SCREENSHOT_DELAY_MS),
//                                save the view as a PNG image and end.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QEvent>
#include <QFile>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <memory>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tarkon/app/command_line.h"
#include "tarkon/document/check_mode_text.h"
#include "tarkon/document/krv02_doc.h"
#include "tarkon/document/manufacturing_mode.h"
#include "tarkon/ui/dark_palette.h"
#include "tarkon/ui/line_view_dialog.h"
#include "tarkon/ui/link_view.h"
#include "tarkon/ui/main_frame.h"
#include "tarkon/ui/pane_sizes.h"
#include "tarkon/ui/parameters_pane.h"
#include "tarkon/ui/program_icon.h"
#include "tarkon/ui/sensor_view.h"
#include "tarkon/ui/settings_dialogs.h"
#include "tarkon/ui/tools_menu.h"
#include "tarkon/ui/upload_dialog.h"

namespace {
constexpr int kScreenshotDelayMs = 1500;
// How long the window may take to notice a pulled line.
constexpr int kLostLinkPatienceMs = 10000;

// The upload dialog before (its question), during and after a transfer of
// a calibration table to the connected virtual sensor.
bool SaveUploadScreenshots(CKRV02Doc& doc, CMainFrame& frame, const QString& stem) {
  const QString image = QDir::temp().filePath(QStringLiteral("tarkon-screenshot-table.cal"));
  QFile file(image);
  if (!file.open(QIODevice::WriteOnly)) return false;
  QByteArray bytes(24000, '\0');
  for (int i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + 1);
  file.write(bytes);
  file.close();
  bool saved = true;
  CUploadDlg dialog(doc, &frame);
  dialog.kindBox()->setCurrentIndex(kUploadCalibration);
  dialog.SetFilePath(image);
  dialog.show();
  QTimer question;
  question.setInterval(50);
  QObject::connect(&question, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    question.stop();
    saved = dialog.grab().save(stem + QStringLiteral("-before.png"), "PNG") && saved;
    saved = box->grab().save(stem + QStringLiteral("-before-question.png"), "PNG") && saved;
    box->button(QMessageBox::Yes)->click();
  });
  question.start();
  bool during = false;
  QObject::connect(dialog.progress(), &QProgressBar::valueChanged, &dialog, [&](int percent) {
    if (during || percent < 40) return;
    during = true;
    saved = dialog.grab().save(stem + QStringLiteral("-during.png"), "PNG") && saved;
  });
  dialog.uploadButton()->click();
  saved = dialog.grab().save(stem + QStringLiteral("-after.png"), "PNG") && saved && during;
  QFile::remove(image);
  return saved;
}
}  // namespace

namespace {
// Runs `then` once, from the event loop, after `watched` is first shown.
class OnFirstShow : public QObject {
 public:
  OnFirstShow(QWidget* watched, std::function<void()> then) : QObject(watched), then_(std::move(then)) {
    watched->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && then_) {
      watched->removeEventFilter(this);
      // Its texts and the window's layout settle first.
      QTimer::singleShot(kBarSettleMs, this, std::exchange(then_, nullptr));
    }
    return false;
  }

 private:
  static constexpr int kBarSettleMs = 200;
  std::function<void()> then_;
};

// Ends the program after a picture: its path (or that it failed) printed.
void EndAfterPicture(CMainFrame& frame, const QString& path, bool saved) {
  std::printf("%s%s\n", saved ? "" : "could not write ", path.toLocal8Bit().constData());
  std::fflush(stdout);
  frame.close();
  QApplication::exit(saved ? 0 : 1);
}

// Pulls the virtual sensor's line and saves the window once the bar says
// the link is lost; gives up (exit code 1) if the bar has not come within
// `patienceMs`.
void SaveUnpluggedScreenshot(CMainFrame& frame, const QString& path, int patienceMs) {
  CLinkBar* bar = frame.linkView()->bar();
  new OnFirstShow(bar, [&frame, path] { EndAfterPicture(frame, path, frame.grab().save(path, "PNG")); });
  if (!frame.virtualSensor().Unplug()) {
    std::fprintf(stderr, "tarkon: TARKON_UNPLUG_SCREENSHOT needs a connected virtual sensor\n");
    EndAfterPicture(frame, path, false);
    return;
  }
  QTimer::singleShot(patienceMs, &frame, [&frame, path] {
    std::fprintf(stderr, "tarkon: the lost link was not shown\n");
    EndAfterPicture(frame, path, false);
  });
}

// Help and version go to standard output; true when the program ends here.
bool Answered(const TarkonCommandLine& line) {
  if (line.action != TarkonCommandLine::Action::kHelp && line.action != TarkonCommandLine::Action::kVersion)
    return false;
  std::fputs(line.text.c_str(), stdout);
  return true;
}

int Refuse(const std::string& text) {
  std::fprintf(stderr, "tarkon: %s\nTry \"tarkon --help\".\n", text.c_str());
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  // --help and --version are answered before the toolkit starts, so they
  // need no display. A word the parser does not know may be one of the
  // toolkit's own options: it is judged again once the toolkit has taken
  // those out.
  QStringList words;
  for (int i = 0; i < argc; ++i) words << QString::fromLocal8Bit(argv[i]);
  if (Answered(ParseTarkonCommandLine(words))) return 0;
  // Read before the toolkit takes its own options out of the arguments:
  // only the exact single argument "-QZX" turns the mode on.
  const bool manufacturing = ManufacturingModeFromArguments(argc, argv);

  QApplication app(argc, argv);
  QApplication::setOrganizationName(QLatin1String(kProfileName));
  QApplication::setApplicationName(QStringLiteral("Tarkon"));
  QApplication::setApplicationVersion(QStringLiteral(LRS_VERSION));
  QApplication::setWindowIcon(ProgramIcon());
  QGuiApplication::setDesktopFileName(QStringLiteral("org.example.LaserRangeSetup.Tarkon"));
  if (const char* palette = std::getenv("TARKON_PALETTE"); palette != nullptr && std::string(palette) == "dark") {
    UseDarkPalette();
  }
  const TarkonCommandLine line = ParseTarkonCommandLine(QCoreApplication::arguments());
  if (Answered(line)) return 0;
  if (line.action == TarkonCommandLine::Action::kRefuse) return Refuse(line.text);

  CKRV02Doc doc;  // loads tarkon.ini
  doc.options().SetManufacturingMode(manufacturing);
  CMainFrame frame(doc);
  if (line.connect) {
    // The dialog's values from the settings file, the command line's laid over.
    ConnectValues values = doc.BeginConnect();
    if (const std::string refusal = ApplyStartConnect(*line.connect, &values); !refusal.empty()) return Refuse(refusal);
    QTimer::singleShot(0, &frame, [&frame, values] { frame.ConnectFound(values, kCheckModeChecksum); });
  }
  frame.show();
  if (const char* trace = std::getenv("TARKON_TRACE_PANE"); trace != nullptr && std::string(trace) == "1") {
    frame.tools()->traceAction()->setChecked(true);
  }
  if (const char* pane = std::getenv("TARKON_PARAMETERS_PANE"); pane != nullptr && std::string(pane) == "1") {
    frame.parametersPane()->dock()->show();
  }

  if (const char* model = std::getenv("TARKON_VIRTUAL_SENSOR"); model != nullptr && *model != '\0') {
    const std::string name = model;
    QTimer::singleShot(0, &frame, [&frame, name] {
      frame.ConnectVirtualSensor(name);
      if (std::getenv("TARKON_SCREENSHOT") == nullptr && std::getenv("TARKON_UNPLUG_SCREENSHOT") == nullptr) return;
      // The picture shows live values: the panel's update switches on.
      if (QWidget* panel = frame.view()->currentPanel()) {
        for (QCheckBox* box : panel->findChildren<QCheckBox*>()) box->setChecked(true);
      }
    });
  }
  if (const char* file = std::getenv("TARKON_OPEN_SETTINGS_FILE"); file != nullptr && *file != '\0') {
    const QString path = QString::fromLocal8Bit(file);
    QTimer::singleShot(0, &frame, [&frame, path] { frame.parametersPane()->OpenFile(path); });
  }
  if (const char* stem = std::getenv("TARKON_UPLOAD_SCREENSHOTS"); stem != nullptr && *stem != '\0') {
    doc.options().SetManufacturingMode(true);
    const QString path = QString::fromLocal8Bit(stem);
    QTimer::singleShot(kScreenshotDelayMs, &frame, [&frame, &doc, path] {
      const bool saved = SaveUploadScreenshots(doc, frame, path);
      std::printf("%s%s-*.png\n", saved ? "" : "could not write ", path.toLocal8Bit().constData());
      std::fflush(stdout);
      frame.close();
      QApplication::exit(saved ? 0 : 1);
    });
  }
  // A few poll ticks fill the live rows (and the chart) before a picture.
  int delayMs = kScreenshotDelayMs;
  if (const char* delay = std::getenv("TARKON_SCREENSHOT_DELAY_MS"); delay != nullptr && std::atoi(delay) > 0) {
    delayMs = std::atoi(delay);
  }
  if (const char* view = std::getenv("TARKON_LINE_VIEW_SCREENSHOT"); view != nullptr && *view != '\0') {
    const QString path = QString::fromLocal8Bit(view);
    QTimer::singleShot(kScreenshotDelayMs, &frame, [&frame, &doc, path, delayMs] {
      // The line view needs the line the start-up connect took; the
      // document lets it go once its poll in flight has ended.
      if (doc.connected()) doc.Disconnect();
      QTimer::singleShot(kScreenshotDelayMs, &frame, [&frame, path, delayMs] {
        frame.tools()->OpenLineView();
        QTimer::singleShot(delayMs, &frame, [&frame, path] {
          CLineViewDialog* open = frame.tools()->lineView();
          EndAfterPicture(frame, path, open != nullptr && open->grab().save(path, "PNG"));
        });
      });
    });
  } else if (const char* unplugged = std::getenv("TARKON_UNPLUG_SCREENSHOT"); unplugged != nullptr && *unplugged != '\0') {
    const QString path = QString::fromLocal8Bit(unplugged);
    QTimer::singleShot(delayMs, &frame, [&frame, path] { SaveUnpluggedScreenshot(frame, path, kLostLinkPatienceMs); });
  } else if (const char* shot = std::getenv("TARKON_SCREENSHOT"); shot != nullptr && *shot != '\0') {
    const QString path = QString::fromLocal8Bit(shot);
    QTimer::singleShot(delayMs, &frame, [&frame, &doc, path] {
      bool saved = frame.grab().save(path, "PNG");
      if (const char* settings = std::getenv("TARKON_SETTINGS_SCREENSHOT"); settings != nullptr && *settings != '\0') {
        std::unique_ptr<CCustomSettingsDlg> dialog(MakeSettingsDialog(doc, &frame));
        if (dialog) {
          dialog->show();
          QApplication::processEvents();
          saved = dialog->grab().save(QString::fromLocal8Bit(settings), "PNG") && saved;
        }
      }
      if (const char* params = std::getenv("TARKON_PARAMETERS_SCREENSHOT"); params != nullptr && *params != '\0') {
        QDockWidget* dock = frame.parametersPane()->dock();
        dock->show();
        dock->setFloating(true);
        dock->resize(1180, 470);
        QApplication::processEvents();
        saved = dock->grab().save(QString::fromLocal8Bit(params), "PNG") && saved;
      }
      EndAfterPicture(frame, path, saved);
    });
  }
  return QApplication::exec();
}
