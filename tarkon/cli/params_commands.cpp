#include "tarkon/cli/params_commands.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "tarkon/cli/cli_options.h"
#include "tarkon/cli/cli_run.h"
#include "tarkon/cli/cli_session.h"
#include "tarkon/document/printable_text.h"
#include "tarkon/fleet/parameter_rows.h"
#include "tarkon/fleet/settings_bench.h"

namespace {

// A number as JSON when the text is one, else the text (On, Enabled).
CliJson NumberOrText(const std::string& text) {
  if (text.empty()) return nullptr;
  const auto n = ReadNumberWithUnit(text);
  if (n && n->unit.empty()) return NumberJson(*n);
  return text;
}

std::string Padded(const std::string& text, size_t width) {
  return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

}  // namespace

int RunParams(CliSession& s, CliJson& json) {
  const std::vector<fleet::ParameterRow> rows = fleet::SensorRows(s.doc());
  if (rows.empty() || s.failuresSinceConnect() != 0) {
    if (s.lastError().empty()) s.SetLastError("params: the sensor's settings could not be read");
    return kExitFailed;
  }
  if (s.options().json) {
    CliJson list = CliJson::array();
    for (const fleet::ParameterRow& r : rows) {
      list.push_back({{"name", r.name},
                      {"value", TrimmedText(r.value)},
                      {"number", NumberOrText(r.number)},
                      {"unit", r.unit},
                      {"min", NumberOrText(r.min)},
                      {"max", NumberOrText(r.max)},
                      {"group", r.group}});
    }
    json = {{"model", s.doc().sensor().modelText()},
            {"serial_number", s.doc().sensor().serialNumberText()},
            {"parameters", list}};
    return kExitOk;
  }
  size_t name = 4, value = 5, unit = 4, range = 5;
  for (const fleet::ParameterRow& r : rows) {
    name = std::max(name, r.name.size());
    value = std::max(value, PrintableText(r.value).size());
    unit = std::max(unit, r.unit.size());
    range = std::max(range, r.range.size());
  }
  std::cout << Padded("Name", name) << "  " << Padded("Value", value) << "  " << Padded("Unit", unit) << "  "
            << Padded("Range", range) << "  Group\n";
  for (const fleet::ParameterRow& r : rows)
    std::cout << Padded(r.name, name) << "  " << Padded(PrintableText(r.value), value) << "  " << Padded(r.unit, unit)
              << "  " << Padded(r.range, range) << "  " << r.group << "\n";
  std::cout.flush();
  return kExitOk;
}

int RunEdit(CliRun& run) {
  const CliOptions& o = run.options();
  CliJson& json = run.json();
  const std::string& path = o.arguments[0];
  std::string message;
  bool refused = false;
  if (!fleet::EditSettingsFile(path, o.arguments[1], o.arguments[2], message, refused)) {
    while (!message.empty() && message.back() == '\n') message.pop_back();
    const std::string failure = "edit: " + message;
    std::fprintf(stderr, "%s\n", failure.c_str());
    return run.Fail(refused ? kExitUsage : kExitFailed, failure);
  }
  if (o.json) {
    json = {{"file", path}, {"saved", message}};
  } else {
    std::cout << message << std::endl;
  }
  return kExitOk;
}
