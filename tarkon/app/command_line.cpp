#include "tarkon/app/command_line.h"

#include <QCommandLineParser>

namespace {
std::string Text(const QString& text) { return text.toLocal8Bit().toStdString(); }
}  // namespace

TarkonCommandLine ParseTarkonCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Set up, watch and update a laser range sensor on a serial line."));
  // "-QZX" is one word, not the letters Q, Z and X.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit."));
  const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                   QStringLiteral("Show the version and exit."));
  const QCommandLineOption port(QStringLiteral("port"),
                                QStringLiteral("Connect at start to PORT: COMn or a device path such as /dev/ttyUSB0."),
                                QStringLiteral("PORT"));
  const QCommandLineOption baud(QStringLiteral("baud"),
                                QStringLiteral("With --port: the baud rate, 9600, 19200, 38400 or 57600."),
                                QStringLiteral("N"));
  const QCommandLineOption address(QStringLiteral("address"),
                                   QStringLiteral("With --port: the sensor address, 1 to 255 (0: the global address)."),
                                   QStringLiteral("N"));
  QCommandLineOption manufacturing(QStringLiteral("QZX"), QString());
  manufacturing.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOptions({help, version, port, baud, address, manufacturing});

  TarkonCommandLine result;
  if (!parser.parse(arguments)) {
    result.action = TarkonCommandLine::Action::kRefuse;
    result.text = Text(parser.errorText());
    return result;
  }
  if (parser.isSet(help)) {
    result.action = TarkonCommandLine::Action::kHelp;
    // Parsed before the application object exists, the parser knows no
    // program name.
    result.text = Text(parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("tarkon")));
    return result;
  }
  if (parser.isSet(version)) {
    result.action = TarkonCommandLine::Action::kVersion;
    result.text = "tarkon " LRS_VERSION "\n";
    return result;
  }
  if (!parser.positionalArguments().isEmpty()) {
    result.action = TarkonCommandLine::Action::kRefuse;
    result.text = "Unexpected argument \"" + Text(parser.positionalArguments().first()) + "\"";
    return result;
  }
  if (!parser.isSet(port)) {
    if (parser.isSet(baud) || parser.isSet(address)) {
      result.action = TarkonCommandLine::Action::kRefuse;
      result.text = "--baud and --address need --port";
    }
    return result;
  }
  StartConnectTexts texts;
  texts.port = Text(parser.value(port));
  if (parser.isSet(baud)) texts.baud = Text(parser.value(baud));
  if (parser.isSet(address)) texts.address = Text(parser.value(address));
  // Checked here already, before anything is built or written; the checks
  // do not depend on the values they are laid over.
  ConnectValues checked;
  if (std::string refusal = ApplyStartConnect(texts, &checked); !refusal.empty()) {
    result.action = TarkonCommandLine::Action::kRefuse;
    result.text = refusal;
    return result;
  }
  result.connect = texts;
  return result;
}
