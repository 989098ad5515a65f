// Tarkon: the application object's start-up. The command line decides
// manufacturing mode once; the environment variable TARKON_VIRTUAL_SENSOR
// (a model's display name or model string) connects at start to an
// in-process virtual sensor of that model.

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <string>
#include <vector>

#include "tarkon/document/krv02_doc.h"
#include "tarkon/document/manufacturing_mode.h"
#include "tarkon/ui/main_frame.h"
#include "tarkon/ui/pane_sizes.h"

int main(int argc, char** argv) {
  // Read before the toolkit takes its own options out of the arguments:
  // only the exact single argument "-QZX" turns the mode on.
  const bool manufacturing = ManufacturingModeFromArguments(argc, argv);

  QApplication app(argc, argv);
  QApplication::setOrganizationName(QLatin1String(kProfileName));
  QApplication::setApplicationName(QStringLiteral("Tarkon"));
  QApplication::setApplicationVersion(QStringLiteral("1.1.0"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/tarkon.svg")));

  CKRV02Doc doc;  // loads tarkon.ini
  doc.SetManufacturingMode(manufacturing);
  CMainFrame frame(doc);
  frame.show();

  if (const char* model = std::getenv("TARKON_VIRTUAL_SENSOR"); model != nullptr && *model != '\0') {
    const std::string name = model;
    QTimer::singleShot(0, &frame, [&frame, name] { frame.ConnectVirtualSensor(name); });
  }
  return QApplication::exec();
}
