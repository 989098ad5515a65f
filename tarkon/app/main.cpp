// Tarkon: the application object's start-up. The command line decides
// manufacturing mode once. Two environment variables serve demonstrations
// and documentation without touching the command line:
//   TARKON_VIRTUAL_SENSOR=MODEL  connect at start to an in-process virtual
//                                sensor of that model (display name or
//                                model string);
//   TARKON_SCREENSHOT=FILE       once connected and polled for a moment,
//                                save the window as a PNG image, print its
//                                path and end;
//   TARKON_TRACE_PANE=1          show the "Protocol trace" pane from the
//                                start (the connect's frames included).

#include <QApplication>
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
    QTimer::singleShot(0, &frame, [&frame, name] { frame.ConnectVirtualSensor(name); });
  }
  if (const char* shot = std::getenv("TARKON_SCREENSHOT"); shot != nullptr && *shot != '\0') {
    const QString path = QString::fromLocal8Bit(shot);
    // A few poll ticks fill the live rows first.
    QTimer::singleShot(kScreenshotDelayMs, &frame, [&frame, path] {
      const bool saved = frame.grab().save(path, "PNG");
      std::printf("%s%s\n", saved ? "" : "could not write ", path.toLocal8Bit().constData());
      std::fflush(stdout);
      frame.close();
      QApplication::exit(saved ? 0 : 1);
    });
  }
  return QApplication::exec();
}
