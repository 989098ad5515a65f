#include "tarkon/cli/cli_help.h"

#include "tarkon/cli/cli_options.h"
#include "tarkon/models/model_table.h"

namespace {

constexpr size_t kColumn = 30;

// "  NAME ARGS" padded to the column, then the text.
std::string Line(const std::string& left, const std::string& text) {
  std::string line = "  " + left;
  line += line.size() < kColumn ? std::string(kColumn - line.size(), ' ') : std::string("  ");
  return line + text + "\n";
}

std::string OptionLeft(const CliOptionSpec& option) {
  return std::string(option.name) + (option.valueName != nullptr ? std::string(" ") + option.valueName : "");
}

std::string ModelsPhrase() {
  std::string phrase;
  const auto& table = ModelTable();
  for (size_t i = 0; i < table.size(); ++i) {
    std::string name = table[i].displayName;
    if (name.find(' ') != std::string::npos) name = "\"" + name + "\"";
    phrase += (i == 0 ? "" : ", ") + name;
  }
  return phrase;
}

}  // namespace

std::string CliUsage(const std::vector<CliCommand>& commands) {
  std::string text = "usage: tarkon-cli [OPTIONS] COMMAND [ARGUMENTS] [OPTIONS]\n\ncommands:\n";
  for (const CliCommand& c : commands)
    text += Line(c.name + (c.arguments.empty() ? "" : " " + c.arguments),
                 c.summary + (c.manufacturing ? " (--manufacturing)" : ""));
  text += "\noptions (before or after the command; --opt VALUE or --opt=VALUE):\n";
  std::string own;
  for (const CliOptionSpec& o : CliOptionTable()) {
    const std::vector<const CliCommand*> owners = CommandsOfOption(commands, o.name);
    if (owners.empty()) {
      text += Line(OptionLeft(o), o.help);
      continue;
    }
    std::string names;
    for (const CliCommand* owner : owners) names += (names.empty() ? "" : ", ") + owner->name;
    own += Line(OptionLeft(o), o.help + " (" + names + ")");
  }
  text += "\noptions of single commands:\n" + own;
  text +=
      "\n"
      "PORT is COMn (through the port map of tarkon.ini), a device path, or a serial\n"
      "device server on the network: rfc2217://HOST:PORT (telnet com port control: the\n"
      "line settings travel to the gateway) or tcp://HOST:PORT (socket://; raw bytes, the\n"
      "gateway keeps its own line settings); an IPv6 host goes in brackets. Neither\n"
      "carries authentication: over untrusted networks use an ssh tunnel.\n"
      "MODEL is a display name (" +
      ModelsPhrase() +
      ")\n"
      "or a model string.\n"
      "Options not given take the values stored in tarkon.ini by the last connection whose\n"
      "port opened (`tarkon-cli ports` names the file).\n"
      "\n"
      "exit status:\n"
      "  0  success\n"
      "  1  no connection, or a command failed\n"
      "  2  bad usage, or a value refused by a check (nothing was sent)\n"
      "  3  the sensor took every write, but the change history could not be written\n"
      "\n"
      "`tarkon-cli help COMMAND` or `tarkon-cli COMMAND --help` shows one command's help.\n";
  return text;
}

std::string CliCommandHelp(const CliCommand& command) {
  std::string text = "usage: tarkon-cli [OPTIONS] " + command.name +
                     (command.arguments.empty() ? "" : " " + command.arguments) + "\n\n" + command.help + "\n";
  for (const std::string& name : command.options)
    if (const CliOptionSpec* option = FindCliOption(name)) text += Line(OptionLeft(*option), option->help);
  if (command.manufacturing) text += "Needs --manufacturing.\n";
  text += "\nConnection and output options: tarkon-cli --help\n";
  return text;
}
