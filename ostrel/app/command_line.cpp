#include "ostrel/app/command_line.h"

#include <QCommandLineParser>

namespace ostrel {
namespace {
std::string Text(const QString& text) { return text.toLocal8Bit().toStdString(); }
}  // namespace

OstrelCommandLine ParseOstrelCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Set up and test the KRV04-BF board flipper sensor on a serial line."));
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit."));
  const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                   QStringLiteral("Show the version and exit."));
  const QCommandLineOption port(QStringLiteral("port"),
                                QStringLiteral("Connect at start to PORT: COMn, a device path such as /dev/ttyUSB0, "
                                               "or a serial device server's rfc2217://HOST:PORT or tcp://HOST:PORT."),
                                QStringLiteral("PORT"));
  const QCommandLineOption baud(QStringLiteral("baud"),
                                QStringLiteral("With --port: the host baud rate, 9600, 19200, 38400 or 57600."),
                                QStringLiteral("N"));
  const QCommandLineOption address(QStringLiteral("address"),
                                   QStringLiteral("With --port: the sensor address, 1 to 255 (0: the global address)."),
                                   QStringLiteral("N"));
  const QCommandLineOption screenshots(
      QStringLiteral("screenshots"),
      QStringLiteral("Connect to the virtual board flipper, save each tab as DIR/ostrel-<tab>.png and a firmware "
                     "upload as DIR/ostrel-upload-<before|during|after>.png, and exit."),
      QStringLiteral("DIR"));
  parser.addOptions({help, version, port, baud, address, screenshots});

  OstrelCommandLine result;
  if (!parser.parse(arguments)) {
    result.action = OstrelCommandLine::Action::kRefuse;
    result.text = Text(parser.errorText());
    return result;
  }
  if (parser.isSet(help)) {
    result.action = OstrelCommandLine::Action::kHelp;
    // Parsed before the application object exists, the parser knows no
    // program name.
    result.text = Text(parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("ostrel")));
    return result;
  }
  if (parser.isSet(version)) {
    result.action = OstrelCommandLine::Action::kVersion;
    result.text = "ostrel " LRS_VERSION "\n";
    return result;
  }
  if (!parser.positionalArguments().isEmpty()) {
    result.action = OstrelCommandLine::Action::kRefuse;
    result.text = "Unexpected argument \"" + Text(parser.positionalArguments().first()) + "\"";
    return result;
  }
  if (parser.isSet(screenshots)) result.screenshots = parser.value(screenshots);
  if (!parser.isSet(port)) {
    if (parser.isSet(baud) || parser.isSet(address)) {
      result.action = OstrelCommandLine::Action::kRefuse;
      result.text = "--baud and --address need --port";
    }
    return result;
  }
  if (result.screenshots) {
    result.action = OstrelCommandLine::Action::kRefuse;
    result.text = "--screenshots connects to the virtual sensor: it takes no --port";
    return result;
  }
  StartConnectTexts texts;
  texts.port = Text(parser.value(port));
  if (parser.isSet(baud)) texts.baud = Text(parser.value(baud));
  if (parser.isSet(address)) texts.address = Text(parser.value(address));
  // Checked here already, before anything is built or written; the checks
  // do not depend on the values they are laid over.
  WindowFields checked;
  if (std::string refusal = ApplyStartConnect(texts, checked); !refusal.empty()) {
    result.action = OstrelCommandLine::Action::kRefuse;
    result.text = refusal;
    return result;
  }
  result.connect = texts;
  return result;
}

}  // namespace ostrel
