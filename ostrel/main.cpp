// Ostrel: setup and test of the KRV04-BF board flipper sensor.
//
// OSTREL_VIRTUAL_SENSOR=1 starts it connected to a virtual board flipper.
// "ostrel --screenshots DIR" connects to the virtual board flipper, saves
// each tab as DIR/ostrel-<tab>.png and ends. "ostrel --help" and
// "ostrel --version" answer and end. "ostrel --port PORT [--baud N]
// [--address N]" connects at start the way the Connect button does; a
// value the Connect tab does not offer ends the program with exit code 2
// before the window opens.

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ostrel/app/command_line.h"
#include "ostrel/app/ostrel_ini.h"
#include "ostrel/ui/main_window.h"

namespace {
// Help and version go to standard output; true when the program ends here.
bool Answered(const ostrel::OstrelCommandLine& line) {
  using Action = ostrel::OstrelCommandLine::Action;
  if (line.action != Action::kHelp && line.action != Action::kVersion) return false;
  std::fputs(line.text.c_str(), stdout);
  return true;
}

int Refuse(const std::string& text) {
  std::fprintf(stderr, "ostrel: %s\nTry \"ostrel --help\".\n", text.c_str());
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
  if (Answered(ostrel::ParseOstrelCommandLine(words))) return 0;
  QApplication app(argc, argv);
  app.setApplicationName("Ostrel");
  app.setApplicationVersion(LRS_VERSION);
  QGuiApplication::setDesktopFileName(QStringLiteral("org.example.LaserRangeSetup.Ostrel"));
  const ostrel::OstrelCommandLine line = ostrel::ParseOstrelCommandLine(QCoreApplication::arguments());
  if (Answered(line)) return 0;
  if (line.action == ostrel::OstrelCommandLine::Action::kRefuse) return Refuse(line.text);
  bool perUser = false;
  const std::string path = ostrel::OstrelIni::ChoosePath(QCoreApplication::applicationDirPath().toStdString(),
                                                         std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"), &perUser);
  ostrel::MainWindow window(path, perUser ? "Settings in " + path + " (the program's directory is read-only)" : "");
  if (line.connect) {
    if (const std::string refusal = window.ConnectAtStart(*line.connect); !refusal.empty()) return Refuse(refusal);
  }
  window.show();
  if (line.screenshots) {
    const QString dir = *line.screenshots;
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
