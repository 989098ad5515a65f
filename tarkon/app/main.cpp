// Tarkon: the application object's start-up. The command line decides
// manufacturing mode once. Two environment variables serve demonstrations
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
//   TARKON_TRACE_PANE=1          show the "Protocol trace" pane from the
//                                start (the connect's frames included).

#include <QApplication>
#include <QCheckBox>
#include <memory>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tarkon/document/krv02_doc.h"
#include "tarkon/document/manufacturing_mode.h"
#include "tarkon/ui/main_frame.h"
#include "tarkon/ui/pane_sizes.h"
#include "tarkon/ui/program_icon.h"
#include "tarkon/ui/sensor_view.h"
#include "tarkon/ui/settings_dialogs.h"
#include "tarkon/ui/tools_menu.h"

namespace {
constexpr int kScreenshotDelayMs = 1500;
}  // namespace

int main(int argc, char** argv) {
  // Answered before the toolkit starts, so it needs no display.
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::printf("tarkon %s\n", LRS_VERSION);
    return 0;
  }
  // Read before the toolkit takes its own options out of the arguments:
  // only the exact single argument "-QZX" turns the mode on.
  const bool manufacturing = ManufacturingModeFromArguments(argc, argv);

  QApplication app(argc, argv);
  QApplication::setOrganizationName(QLatin1String(kProfileName));
  QApplication::setApplicationName(QStringLiteral("Tarkon"));
  QApplication::setApplicationVersion(QStringLiteral(LRS_VERSION));
  QApplication::setWindowIcon(ProgramIcon());

  CKRV02Doc doc;  // loads tarkon.ini
  doc.SetManufacturingMode(manufacturing);
  CMainFrame frame(doc);
  frame.show();
  if (const char* trace = std::getenv("TARKON_TRACE_PANE"); trace != nullptr && std::string(trace) == "1") {
    frame.tools()->traceAction()->setChecked(true);
  }

  if (const char* model = std::getenv("TARKON_VIRTUAL_SENSOR"); model != nullptr && *model != '\0') {
    const std::string name = model;
    QTimer::singleShot(0, &frame, [&frame, name] {
      frame.ConnectVirtualSensor(name);
      if (std::getenv("TARKON_SCREENSHOT") == nullptr) return;
      // The picture shows live values: the panel's update switches on.
      if (QWidget* panel = frame.view()->currentPanel()) {
        for (QCheckBox* box : panel->findChildren<QCheckBox*>()) box->setChecked(true);
      }
    });
  }
  if (const char* shot = std::getenv("TARKON_SCREENSHOT"); shot != nullptr && *shot != '\0') {
    const QString path = QString::fromLocal8Bit(shot);
    // A few poll ticks fill the live rows (and the chart) first.
    int delayMs = kScreenshotDelayMs;
    if (const char* delay = std::getenv("TARKON_SCREENSHOT_DELAY_MS"); delay != nullptr && std::atoi(delay) > 0) {
      delayMs = std::atoi(delay);
    }
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
      std::printf("%s%s\n", saved ? "" : "could not write ", path.toLocal8Bit().constData());
      std::fflush(stdout);
      frame.close();
      QApplication::exit(saved ? 0 : 1);
    });
  }
  return QApplication::exec();
}
