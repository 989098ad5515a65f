#pragma once
// Tarkon's command line: --help, --version, and the connect at start
// (--port PORT [--baud N] [--address N]). The values' checks are the
// document's (ApplyStartConnect); this only takes the words apart.

#include <QStringList>
#include <optional>
#include <string>

#include "tarkon/document/start_connect.h"

struct TarkonCommandLine {
  enum class Action { kRun, kHelp, kVersion, kRefuse };
  Action action = Action::kRun;
  std::string text;  // the help, the version line or the refusal
  std::optional<StartConnectTexts> connect;
};

// `arguments` as QCoreApplication::arguments() gives them, the program
// first. The manufacturing switch -QZX is taken (its rule is
// ManufacturingModeFromArguments'); any other unknown word is refused.
TarkonCommandLine ParseTarkonCommandLine(const QStringList& arguments);
