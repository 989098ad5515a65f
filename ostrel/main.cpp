// Ostrel: setup and test of the KRV04-BF board flipper sensor.
//
// OSTREL_VIRTUAL_SENSOR=1 starts it connected to a virtual board flipper.
// "ostrel --screenshots DIR" connects to the virtual board flipper, saves
// each tab as DIR/ostrel-<tab>.png and ends. "ostrel --version" prints the
// version.

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ostrel/app/ostrel_ini.h"
#include "ostrel/ui/main_window.h"

int main(int argc, char** argv) {
  // Answered before the toolkit starts, so it needs no display.
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::printf("ostrel %s\n", LRS_VERSION);
    return 0;
  }
  QApplication app(argc, argv);
  app.setApplicationName("Ostrel");
  app.setApplicationVersion(LRS_VERSION);
  bool perUser = false;
  const std::string path = ostrel::OstrelIni::ChoosePath(QCoreApplication::applicationDirPath().toStdString(),
                                                         std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"), &perUser);
  ostrel::MainWindow window(path, perUser ? "Settings in " + path + " (the program's directory is read-only)" : "");
  window.show();
  const QStringList arguments = QCoreApplication::arguments();
  const qsizetype shots = arguments.indexOf("--screenshots");
  if (shots > 0 && shots + 1 < arguments.size()) {
    const QString dir = arguments[shots + 1];
    QDir().mkpath(dir);
    window.ConnectToVirtualSensor();
    auto* tabs = window.findChild<QTabWidget*>("PageControl1");
    const char* names[] = {"connect", "settings", "view"};
    for (int i = 0; i < 3; ++i) {
      tabs->setCurrentIndex(i);
      QCoreApplication::processEvents();
      window.grab().save(dir + "/ostrel-" + names[i] + ".png");
    }
    return 0;
  }
  const char* virtualSensor = std::getenv("OSTREL_VIRTUAL_SENSOR");
  if (virtualSensor != nullptr && std::string(virtualSensor) == "1")
    QTimer::singleShot(0, &window, [&window] { window.ConnectToVirtualSensor(); });
  return app.exec();
}
