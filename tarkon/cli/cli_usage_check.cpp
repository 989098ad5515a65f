#include "tarkon/cli/cli_usage_check.h"

#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

#include "files/file_target.h"
#include "tarkon/cli/cli_command_table.h"

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

bool CheckCommandUsage(CliOptions& o, const CliCommand& rule, std::string& error) {
  const int n = static_cast<int>(o.arguments.size());
  if (n < rule.minArgs || n > rule.maxArgs) {
    error = o.command + " takes " + (!rule.arguments.empty() ? rule.arguments : std::string("no arguments")) +
            (n > rule.maxArgs ? ", not \"" + o.arguments.back() + "\"" : "");
    return false;
  }
  if (rule.manufacturing && !o.manufacturing) {
    error = o.command + ": available in manufacturing mode only (--manufacturing)";
    return false;
  }
  if (!rule.words.empty() && n > 0) {
    const std::string word = Lower(o.arguments[0]);
    if (std::find(rule.words.begin(), rule.words.end(), word) == rule.words.end()) {
      error = o.command + " takes " + rule.arguments + ", not \"" + o.arguments[0] + "\"";
      return false;
    }
    o.arguments[0] = word;
  }
  for (const std::string& given : o.given) {
    const std::vector<const CliCommand*> owners = CommandsOfOption(given);
    if (owners.empty() || std::find(owners.begin(), owners.end(), &rule) != owners.end()) continue;
    std::string names;
    for (const CliCommand* owner : owners) names += (names.empty() ? "" : " ") + owner->name;
    error = given + " belongs to " + names + ", not to " + o.command;
    return false;
  }
  // Outputs are appended to: a link, FIFO or device there is refused before
  // the port is opened (a FIFO would block while the line is held).
  for (const auto& [option, path] : {std::pair{"--append", &o.appendPath}, std::pair{"--csv", &o.csvPath}}) {
    std::string reason;
    if (*path && !files::CheckWritableTarget(**path, &reason)) {
      error = std::string(option) + " " + **path + ": " + reason;
      return false;
    }
  }
  return rule.check == nullptr || rule.check(o, error);
}

