// tarkon-cli's change history, commissioning report and fleet apply, end
// to end through the program: every write lands in the history, the report
// renders every setting (HTML and a PDF of at least one page), and one file
// is applied to every sensor of its model on a line of several.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "cli/cli_test_support.h"
#include "support/file_size_limit.h"
#include "history/change_history.h"
#include "sim/virtual_line.h"

namespace clitest {
namespace {

class CliHistoryTest : public CliTest {
 protected:
  std::string HistoryFile() const { return dir_.File("tarkon/history.jsonl"); }
  Json History(const std::vector<std::string>& filters = {}) {
    std::vector<std::string> args = {"--json", "history"};
    args.insert(args.end(), filters.begin(), filters.end());
    const ProcessResult r = Run(args);
    EXPECT_EQ(r.exitCode, kOk) << r.err;
    return OneObject(r);
  }
};

TEST_F(CliHistoryTest, EverySetLeavesALineThatTheHistoryCommandFilters) {
  ASSERT_EQ(Run({"--simulate", "KRV04", "set", "Threshold", "61"}).exitCode, kOk);
  ASSERT_EQ(Run({"--simulate", "KRV04", "set", "Threshold", "many"}).exitCode, kUsage);
  const Json all = History();
  ASSERT_EQ(all["entries"].items.size(), 2u) << testsupport::ReadWholeFile(HistoryFile());
  // Newest first: the refusal, then the write.
  const Json& refused = all["entries"].items[0];
  const Json& written = all["entries"].items[1];
  EXPECT_EQ(refused["outcome"].text, "refused");
  EXPECT_EQ(refused["new_value"].text, "many");
  EXPECT_EQ(written["setting"].text, "Threshold");
  EXPECT_EQ(written["new_value"].text, "61");
  EXPECT_EQ(written["outcome"].text, "verified");
  EXPECT_EQ(written["program"].text, "tarkon-cli");
  EXPECT_EQ(written["model"].text, "KRV04");
  const std::string serial = written["serial_number"].text;
  ASSERT_FALSE(serial.empty());

  EXPECT_EQ(History({"--serial", serial})["entries"].items.size(), 2u);
  EXPECT_EQ(History({"--serial", "NOSUCH"})["entries"].items.size(), 0u);
  EXPECT_EQ(History({"--since", "2000-01-01"})["entries"].items.size(), 2u);
  EXPECT_EQ(History({"--since", "2999-01-01T00:00"})["entries"].items.size(), 0u);
  EXPECT_EQ(Run({"history", "--since", "last week"}).exitCode, kUsage);

  // A torn last line (a crash mid-append) costs only that line.
  { std::ofstream(HistoryFile(), std::ios::app) << "{\"time\":\"2026-"; }
  ASSERT_EQ(Run({"--simulate", "KRV04", "set", "Threshold", "62"}).exitCode, kOk);
  const Json after = History();
  EXPECT_EQ(after["damaged_lines"].Int(), 1);
  ASSERT_EQ(after["entries"].items.size(), 3u);
  EXPECT_EQ(after["entries"].items[0]["new_value"].text, "62");
  const ProcessResult text = Run({"history"});
  EXPECT_NE(text.out.find("3 changes"), std::string::npos) << text.out;
}

TEST_F(CliHistoryTest, TheReportOfEveryModelHoldsEverySettingAsHtmlAndAsAPdf) {
  for (const char* model : {"KRV02", "KRV04", "Qmt Long", "Qmt Short", "KRV04 Board Flipper"}) {
    SCOPED_TRACE(model);
    const ProcessResult settings = Run({"--simulate", model, "--json", "settings"});
    ASSERT_EQ(settings.exitCode, kOk) << settings.err;
    const std::string html = dir_.File("report.html");
    const ProcessResult r =
        Run({"--simulate", model, "report", html, "--technician", "A. <Tech>", "--notes", "Commissioned & tested"});
    ASSERT_EQ(r.exitCode, kOk) << r.err;
    const std::string page = testsupport::ReadWholeFile(html);
    EXPECT_NE(page.find("A. &lt;Tech&gt;"), std::string::npos);
    EXPECT_NE(page.find("Commissioned &amp; tested"), std::string::npos);
    for (const auto& [name, value] : Rows(OneObject(settings))) {
      if (name == "Serial Number") continue;  // shown with the identity
      EXPECT_NE(page.find("<td>" + name + "</td><td>"), std::string::npos) << name;
      EXPECT_NE(page.find(value), std::string::npos) << name << " = " << value;
    }

    const std::string pdf = dir_.File("report.pdf");
    const ProcessResult p = Run({"--simulate", model, "--json", "report", pdf});
    ASSERT_EQ(p.exitCode, kOk) << p.err;
    EXPECT_GE(OneObject(p)["pages"].Int(), 1);
    const std::string bytes = testsupport::ReadWholeFile(pdf);
    ASSERT_EQ(bytes.substr(0, 5), "%PDF-");
    const std::regex pageObject("/Type\\s*/Page(?![a-zA-Z])");
    EXPECT_GE(std::distance(std::sregex_iterator(bytes.begin(), bytes.end(), pageObject), std::sregex_iterator()), 1);
  }
  // The technician given once is kept for the next report.
  const std::string again = dir_.File("again.html");
  ASSERT_EQ(Run({"--simulate", "KRV04", "report", again}).exitCode, kOk);
  EXPECT_NE(testsupport::ReadWholeFile(again).find("A. &lt;Tech&gt;"), std::string::npos);
  EXPECT_EQ(Run({"--simulate", "KRV04", "report", dir_.File("report.txt")}).exitCode, kUsage);
}

// A run with no person to answer (standard input is no terminal) asks
// nothing and says how to name the technician; the toolkit's own remarks
// while it makes a PDF (here: no XDG_RUNTIME_DIR) are notes, which --quiet
// hides like the others.
TEST_F(CliHistoryTest, AReportWithNoOneToAskSaysHowToNameTheTechnicianAndQuietMeansQuiet) {
  unsetenv("XDG_RUNTIME_DIR");
  const std::string hint = "note: the report names no technician; give --technician NAME (it is kept for the next "
                           "report)\n";
  const struct {
    std::vector<std::string> args;
    std::string err;  // exactly
  } cases[] = {
      {{"--simulate", "KRV04", "report", dir_.File("r.html")}, QuietRun("KRV04").insert(ConnectedLine("KRV04").size() + 1, hint)},
      {{"--simulate", "KRV04", "--quiet", "report", dir_.File("r.pdf")}, ""},
  };
  for (const auto& c : cases) {
    const ProcessResult r = Run(c.args);
    EXPECT_EQ(r.exitCode, kOk) << r.err;
    EXPECT_EQ(r.err, c.err) << c.args.back();
  }
}

// The report lists the connected sensor's own changes: its serial number
// exactly, with its model (by display name or model string), wherever they
// stand in a history of more than 8 MiB; a cell shows a long value cut and
// marked; control bytes of the notes never reach the page; a serial number
// that reads empty matches nothing and says so.
TEST_F(CliHistoryTest, TheReportListsThisSensorsOwnChangesFromTheWholeHistory) {
  auto line = [](const std::string& model, const std::string& serial, const std::string& setting,
                 const std::string& value, const std::string& time) {
    history::Entry e{time, "Tarkon", "dana", "/dev/ttyUSB0", model, serial, setting, "1", value, "verified"};
    return history::ToJsonLine(e) + "\n";
  };
  const std::string longValue(100000, 'x');
  std::string file = line("KRV04", "k2073064", "Threshold", "own-display-name", "2026-01-01T00:00:01.000Z") +
                     line("0 M3-9-6", "k2073064", "Max. Volts", "own-model-string", "2026-01-01T00:00:02.000Z") +
                     line("KRV02", "K2073064", "Threshold", "other-model", "2026-01-01T00:00:03.000Z") +
                     line("KRV04", "K2073064", "Threshold", "other-case", "2026-01-01T00:00:04.000Z") +
                     line("KRV04", "", "Threshold", "empty-serial", "2026-01-01T00:00:05.000Z") +
                     line("KRV04", "k2073064", "Note", longValue, "2026-01-01T00:00:06.000Z");
  while (file.size() < history::kMaxReadBytes + (1u << 20))
    file += line("KRV02", "PADDING", "Threshold", "50", "2026-01-02T00:00:00.000Z");
  std::filesystem::create_directories(dir_.File("tarkon"));
  ASSERT_TRUE(testsupport::WriteWholeFile(HistoryFile(), file));

  sim::SensorConfig config = Sensor("KRV04");
  config.serial = "k2073064";
  StartSensor(config);
  const std::string html = dir_.File("report.html");
  ProcessResult r = RunOnSensor({"--json", "report", html, "--technician", "Dana", "--notes", "Line 3\x1b[2J\x07 done\x7f"});
  ASSERT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(OneObject(r)["changes"].Int(), 3);
  const std::string page = testsupport::ReadWholeFile(html);
  EXPECT_NE(page.find("<td>own-display-name</td>"), std::string::npos);
  EXPECT_NE(page.find("<td>own-model-string</td>"), std::string::npos);
  for (const char* other : {"other-model", "other-case", "empty-serial", "PADDING"})
    EXPECT_EQ(page.find(other), std::string::npos) << other;
  // A cell shows 160 characters of a longer value, and says it was cut.
  const std::string cut = std::string(160, 'x') + " [\xE2\x80\xA6 cut: 100000 characters in all]";
  EXPECT_NE(page.find(">" + cut + "<"), std::string::npos);
  EXPECT_NE(page.find("Line 3[2J done"), std::string::npos);
  for (char control : {'\x1b', '\x07', '\x7f'}) EXPECT_EQ(page.find(control), std::string::npos) << int(control);

  // The history command finds the first line of the long file too.
  r = Run({"--json", "history", "--serial", "k2073064"});
  ASSERT_EQ(r.exitCode, kOk) << r.err;
  std::vector<std::string> values;
  const Json listed = OneObject(r);
  for (const Json& e : listed["entries"].items) values.push_back(e["new_value"].text.substr(0, 16));
  EXPECT_EQ(values, (std::vector<std::string>{std::string(16, 'x'), "other-case", "other-model", "own-model-string",
                                              "own-display-name"}));

  // A sensor whose serial number reads empty has no changes of its own.
  config.serial = "";
  StartSensor(config);
  r = RunOnSensor({"--json", "report", html});
  ASSERT_EQ(r.exitCode, kOk) << r.err;
  const Json empty = OneObject(r);
  EXPECT_EQ(empty["changes"].Int(), 0);
  EXPECT_NE(empty["changes_note"].text.find("serial number reads empty"), std::string::npos) << r.out;
  EXPECT_EQ(testsupport::ReadWholeFile(html).find("empty-serial"), std::string::npos);
}

// A write whose history line cannot be written still reaches the sensor;
// the run says so in a warning --quiet does not hide, in the JSON result,
// and with exit status 3 (a refused value keeps its own status, 2).
TEST_F(CliHistoryTest, AHistoryThatCannotBeWrittenIsAWarningWithItsOwnExitStatus) {
  const std::string victim = dir_.File("victim.txt");
  struct Case {
    const char* name;
    void (*make)(const std::string& history, const std::string& victim);
    const char* reason;
  };
  const Case cases[] = {
      {"a folder", [](const std::string& h, const std::string&) { std::filesystem::create_directory(h); },
       "is a directory"},
      {"a link", [](const std::string& h, const std::string& v) { ASSERT_EQ(symlink(v.c_str(), h.c_str()), 0); },
       "is a symbolic link"},
      {"a FIFO", [](const std::string& h, const std::string&) { ASSERT_EQ(mkfifo(h.c_str(), 0600), 0); },
       "is not a regular file"},
      {"a full disk", [](const std::string& h, const std::string&) { testsupport::WriteWholeFile(h, std::string(4000, '\n')); },
       "full"},
  };
  std::filesystem::create_directories(dir_.File("tarkon"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(HistoryFile());
    ASSERT_TRUE(testsupport::WriteWholeFile(victim, "untouched"));
    c.make(HistoryFile(), victim);
    const std::string warning = "warning: Change history not written (" + HistoryFile() + ": ";
    ProcessResult r;
    {
      std::optional<testsupport::FileSizeLimit> full;
      if (std::string(c.reason) == "full") full.emplace(4096);
      r = Run({"--simulate", "KRV04", "--quiet", "--json", "set", "Threshold", "61"});
    }
    EXPECT_EQ(r.exitCode, kHistoryNotWritten) << r.err;
    EXPECT_NE(r.err.find(warning), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    const Json j = OneObject(r);
    EXPECT_EQ(j["value"].text, "61") << r.out;
    EXPECT_EQ(j["history_not_written"].text.rfind(warning.substr(9), 0), 0u) << r.out;
    EXPECT_EQ(testsupport::ReadWholeFile(victim), "untouched");
  }
  // A refused value keeps its status; its error object carries the warning.
  std::filesystem::remove_all(HistoryFile());
  std::filesystem::create_directory(HistoryFile());
  const ProcessResult refused = Run({"--simulate", "KRV04", "--json", "set", "Threshold", "many"});
  EXPECT_EQ(refused.exitCode, kUsage);
  EXPECT_TRUE(OneObject(refused).Has("history_not_written")) << refused.out;
}

TEST_F(CliHistoryTest, RestoreOnTheBusAppliesTheFileToEverySensorOfItsModelOnly) {
  // The file: a KRV04 whose threshold was set to 77.
  StartSensor(Sensor("KRV04"));
  ASSERT_EQ(RunOnSensor({"set", "Threshold", "77"}).exitCode, kOk);
  const std::string file = dir_.File("krv04.json");
  ASSERT_EQ(RunOnSensor({"backup", file}).exitCode, kOk);
  sensor_.reset();
  std::remove(HistoryFile().c_str());

  sim::VirtualLine line(trace_.Line());
  const std::vector<int> krv04s = {2, 3, 5};
  for (int address : krv04s) {
    sim::SensorConfig config = Sensor("KRV04", address == 3 ? 1 : 0, static_cast<uint8_t>(address));
    config.serial = "F" + std::to_string(address);
    line.Attach(config);
  }
  sim::SensorConfig other = Sensor("KRV02", 0, 4);
  other.serial = "OTHER4";
  line.Attach(other);
  ASSERT_TRUE(line.Start()) << line.LastError();

  const ProcessResult r =
      Run({"--port", line.SlavePath(), "--json", "restore", file, "--bus", "--budget", "250", "--from", "1", "--to", "6"});
  ASSERT_EQ(r.exitCode, kOk) << r.err << r.out;
  const Json report = OneObject(r);
  ASSERT_EQ(report["sensors"].items.size(), krv04s.size()) << r.out;
  EXPECT_EQ(report["other_models"].Int(), 1);
  std::vector<int> addresses;
  for (const Json& row : report["sensors"].items) {
    addresses.push_back(static_cast<int>(row["address"].Int()));
    EXPECT_EQ(row["serial_number"].text, "F" + std::to_string(addresses.back()));
    EXPECT_GE(row["changed"].Int(), 1);
    EXPECT_EQ(row["verified"].Int(), row["changed"].Int());
    EXPECT_EQ(row["failed"].Int(), 0);
  }
  std::sort(addresses.begin(), addresses.end());
  EXPECT_EQ(addresses, krv04s);
  // Each sensor holds the file's threshold at its own address and check mode.
  for (int address : krv04s) {
    std::vector<std::string> args = {"--port", line.SlavePath(), "--address", std::to_string(address), "--json",
                                     "settings"};
    if (address == 3) args.insert(args.begin(), {"--check-mode", "crc"});
    const ProcessResult s = Run(args);
    ASSERT_EQ(s.exitCode, kOk) << s.err;
    bool found = false;
    for (const auto& [name, value] : Rows(OneObject(s)))
      if (name == "Threshold") found = value == "77";
    EXPECT_TRUE(found) << address;
  }
  // Every write went to the history, and none of them was a connection value.
  const Json history = History({"--since", "2000-01-01"});
  int thresholds = 0;
  for (const Json& e : history["entries"].items) {
    EXPECT_TRUE(e["setting"].text != "Address" && e["setting"].text != "Baud rate" && e["setting"].text != "Check mode");
    if (e["setting"].text == "Threshold" && e["new_value"].text == "77") ++thresholds;
  }
  EXPECT_EQ(thresholds, 3);

  // The text table, and a range without a sensor of the file's model: exit 1.
  const ProcessResult table = Run({"--port", line.SlavePath(), "restore", file, "--bus", "--budget", "250", "--from", "2", "--to", "2"});
  EXPECT_EQ(table.exitCode, kOk) << table.err;
  EXPECT_NE(table.out.find("Serial number"), std::string::npos) << table.out;
  EXPECT_EQ(Run({"--port", line.SlavePath(), "restore", file, "--bus", "--budget", "250", "--from", "4", "--to", "4"}).exitCode, kFailed);
  EXPECT_EQ(Run({"--port", line.SlavePath(), "restore", file, "--bus", "--budget", "250", "--connection"}).exitCode, kUsage);
}

}  // namespace
}  // namespace clitest
