#include "tarkon/cli/cli_docs.h"

#include <sstream>
#include <vector>

#include "tarkon/cli/cli_command_table.h"
#include "tarkon/cli/cli_options.h"

namespace {

// --- bash ---------------------------------------------------------------------

std::string Joined(const std::vector<std::string>& words, const char* separator = " ") {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : separator) + word;
  return text;
}

std::string Compgen(const std::string& words) { return "COMPREPLY=($(compgen -W \"" + words + "\" -- \"$cur\"))"; }

// The words offered; words with blanks ("Qmt Long") are split at line
// ends instead and offered with their blanks escaped, as one word each.
std::string CompgenWords(const std::vector<std::string>& words) {
  bool blanks = false;
  for (const std::string& word : words) blanks = blanks || word.find(' ') != std::string::npos;
  if (!blanks) return Compgen(Joined(words));
  return "local IFS=$'\\n'; COMPREPLY=($(compgen -W $'" + Joined(words, "\\n") +
         "' -- \"$cur\")); COMPREPLY=(\"${COMPREPLY[@]// /\\\\ }\")";
}

std::string FileDir(const std::string& pattern) {
  if (pattern.empty()) return "_filedir";
  return pattern.find('(') == std::string::npos ? "_filedir " + pattern : "_filedir '" + pattern + "'";
}

std::string ValueCompletion(const CliValueCompletion& c) {
  switch (c.kind) {
    case CliValueCompletion::Kind::kWords: return CompgenWords(c.words);
    case CliValueCompletion::Kind::kFile: return FileDir(c.pattern);
    case CliValueCompletion::Kind::kPort:
      return "local ports\n"
             "      ports=$(compgen -G '/dev/ttyUSB*'; compgen -G '/dev/ttyACM*'; compgen -G '/dev/ttyAMA*';\n"
             "              compgen -G '/dev/serial/by-id/*')\n"
             "      " + Compgen("$ports COM1 COM2 COM3 COM4");
    case CliValueCompletion::Kind::kNothing: break;
  }
  return std::string();
}

std::string ArgumentCompletion(const CliCommand& command, const CliArgumentCompletion& c) {
  switch (c.kind) {
    case CliArgumentCompletion::Kind::kWords: return CompgenWords(command.words);
    case CliArgumentCompletion::Kind::kFile: return FileDir(c.pattern);
    case CliArgumentCompletion::Kind::kCommand: return Compgen("$commands");
    case CliArgumentCompletion::Kind::kNothing: break;
  }
  return std::string();
}

// --- roff -------------------------------------------------------------------------

// Text as roff shows it: backslashes and hyphens escaped, and a line that
// would start with a control character made plain.
std::string Roff(const std::string& text) {
  std::string out;
  bool lineStart = true;
  for (const char c : text) {
    if (lineStart && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else out += c;
    lineStart = c == '\n';
  }
  return out;
}

std::string OptionSynopsis(const CliOptionSpec& o) {
  return "\\fB" + Roff(o.name) + "\\fR" + (o.valueName != nullptr ? " \\fI" + Roff(o.valueName) + "\\fR" : "");
}

std::string OptionItem(const CliOptionSpec& o) {
  std::string text = ".TP\n" + OptionSynopsis(o) + "\n" + Roff(o.help) + ".\n";
  if (!o.details.empty()) text += Roff(o.details) + "\n";
  return text;
}

std::string OptionsBlock() {
  std::string text;
  for (const CliOptionSpec& o : CliOptionTable())
    if (CommandsOfOption(o.name).empty()) text += OptionItem(o);
  return text;
}

std::string CommandsBlock() {
  std::string text;
  for (const CliCommand& c : CliCommandTable()) {
    text += ".TP\n\\fB" + Roff(c.name) + "\\fR";
    if (!c.arguments.empty()) text += " \\fI" + Roff(c.arguments) + "\\fR";
    for (const std::string& name : c.options)
      if (const CliOptionSpec* o = FindCliOption(name)) text += " [" + OptionSynopsis(*o) + "]";
    text += "\n" + Roff(c.help) + "\n";
    if (c.manufacturing) text += "Needs \\fB\\-\\-manufacturing\\fR.\n";
    if (c.options.empty()) continue;
    text += ".RS\n";
    for (const std::string& name : c.options)
      if (const CliOptionSpec* o = FindCliOption(name)) text += OptionItem(*o);
    text += ".RE\n";
  }
  return text;
}

}  // namespace

std::string CompletionScript() {
  std::vector<std::string> global, valued, silent;
  std::string valueCases;
  for (const CliOptionSpec& o : CliOptionTable()) {
    if (CommandsOfOption(o.name).empty()) global.push_back(o.name);
    if (o.valueName == nullptr) continue;
    valued.push_back(o.name);
    const std::string action = ValueCompletion(o.completion);
    if (action.empty()) silent.push_back(o.name);
    else valueCases += "    " + std::string(o.name) + ")\n      " + action + "\n      return ;;\n";
  }
  std::vector<std::string> names;
  std::string optionCases, argumentCases;
  for (const CliCommand& c : CliCommandTable()) {
    names.push_back(c.name);
    if (!c.options.empty()) optionCases += "      " + c.name + ") own=\"" + Joined(c.options) + "\" ;;\n";
    for (size_t i = 0; i < c.completion.size(); ++i) {
      const std::string action = ArgumentCompletion(c, c.completion[i]);
      if (!action.empty()) argumentCases += "    " + c.name + ":" + std::to_string(i) + ") " + action + " ;;\n";
    }
  }
  std::string s;
  s += "# bash completion for tarkon-cli\n";
  s += "# Made from tarkon-cli's command and option tables by tarkon-cli-docs: change the tables, not this file.\n";
  s += "_tarkon_cli() {\n";
  s += "  local cur prev words cword\n";
  s += "  _init_completion || return\n\n";
  s += "  local options=\"" + Joined(global) + "\"\n";
  s += "  local commands=\"" + Joined(names) + "\"\n\n";
  s += "  case $prev in\n" + valueCases;
  if (!silent.empty()) s += "    " + Joined(silent, "|") + ") return ;;\n";
  s += "  esac\n\n";
  s += "  # The command, once given, and the place of the word among its arguments.\n";
  s += "  local i command=\"\" argument=0\n";
  s += "  for ((i = 1; i < cword; i++)); do\n";
  s += "    case ${words[i]} in\n";
  s += "      " + Joined(valued, "|") + ") ((i++)) ;;\n";
  s += "      -*) ;;\n";
  s += "      *) if [[ -z $command ]]; then command=${words[i]}; else ((argument++)); fi ;;\n";
  s += "    esac\n";
  s += "  done\n";
  s += "  if [[ $cur == -* ]]; then\n";
  s += "    local own=\"\"\n";
  s += "    case $command in\n" + optionCases + "    esac\n";
  s += "    " + Compgen("$own $options") + "\n";
  s += "    return\n";
  s += "  fi\n";
  s += "  if [[ -z $command ]]; then\n";
  s += "    " + Compgen("$commands") + "\n";
  s += "    return\n";
  s += "  fi\n";
  s += "  case $command:$argument in\n" + argumentCases + "  esac\n";
  s += "} &&\n";
  s += "  complete -F _tarkon_cli tarkon-cli\n";
  return s;
}

std::string ManPageWithTables(const std::string& page) {
  std::istringstream in(page);
  std::string out;
  std::string line;
  int made = 0;
  while (std::getline(in, line)) {
    out += line + "\n";
    if (line.rfind(kManBlockStart, 0) != 0) continue;
    const std::string block = line.substr(std::string(kManBlockStart).size());
    if (block == "options") out += OptionsBlock();
    else if (block == "commands") out += CommandsBlock();
    else return std::string();
    bool closed = false;
    while (std::getline(in, line)) {
      if (line == kManBlockEnd) {
        closed = true;
        break;
      }
    }
    if (!closed) return std::string();
    out += line + "\n";
    ++made;
  }
  return made == 2 ? out : std::string();
}
