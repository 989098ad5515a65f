// `settings --json` and `params --json` name the same unit for every
// setting of every model: the setting's own, also where its value's text
// prints none (a range in the range mode's unit, volts in V).

#include <map>
#include <string>
#include <vector>

#include "cli/cli_test_support.h"

namespace clitest {
namespace {

TEST_F(CliTest, SettingsAndParamsAgreeOnEveryUnit) {
  for (const char* model : {"KRV02", "KRV04", "Qmt Long", "Qmt Short", "KRV04 Board Flipper"}) {
    SCOPED_TRACE(model);
    const ProcessResult params = Run({"--simulate", model, "--json", "params"});
    ASSERT_EQ(params.exitCode, kOk) << params.err;
    std::map<std::string, std::string> units;
    const Json paramsJson = OneObject(params);
    for (const Json& row : paramsJson["parameters"].items) units[row["name"].text] = row["unit"].text;
    ASSERT_FALSE(units.empty());
    EXPECT_EQ(units["Max. Volts"], "V");
    EXPECT_EQ(units["Max. Range"], "inch");  // every model starts in an inch mode

    const ProcessResult settings = Run({"--simulate", model, "--json", "settings"});
    ASSERT_EQ(settings.exitCode, kOk) << settings.err;
    size_t compared = 0;
    const Json settingsJson = OneObject(settings);
    for (const Json& row : settingsJson["rows"].items) {
      const auto unit = units.find(row["name"].text);
      if (unit == units.end()) continue;  // the serial number
      EXPECT_EQ(row["unit"].text, unit->second) << row["name"].text;
      ++compared;
    }
    EXPECT_EQ(compared, units.size());
  }
}

}  // namespace
}  // namespace clitest
