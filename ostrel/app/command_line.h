#pragma once
// Ostrel's command line: --help, --version, --screenshots DIR and the
// connect at start (--port PORT [--baud N] [--address N]). The values'
// checks are the operations' (ostrel::ApplyStartConnect); this only takes
// the words apart.

#include <QStringList>
#include <optional>
#include <string>

#include "ostrel/operations/start_connect.h"

namespace ostrel {

struct OstrelCommandLine {
  enum class Action { kRun, kHelp, kVersion, kRefuse };
  Action action = Action::kRun;
  std::string text;  // the help, the version line or the refusal
  std::optional<StartConnectTexts> connect;
  std::optional<QString> screenshots;  // the folder of --screenshots
};

// `arguments` as QCoreApplication::arguments() gives them, the program first.
OstrelCommandLine ParseOstrelCommandLine(const QStringList& arguments);

}  // namespace ostrel
