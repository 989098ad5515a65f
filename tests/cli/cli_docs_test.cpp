// The completion script and the man page's lists are made from tarkon-cli's
// command and option tables: the files shipped are what the tables make
// now, and the completion offers what the command line takes.

#include <string>
#include <vector>

#include "cli/cli_test_support.h"

namespace clitest {
namespace {

const std::string kCliFolder = std::string(LRS_SOURCE_DIR) + "/tarkon/cli/";

TEST(CliDocs, TheShippedFilesAreWhatTheTablesMake) {
  const struct {
    std::vector<std::string> args;
    std::string file;
  } cases[] = {
      {{TARKON_CLI_DOCS_PATH, "completion"}, kCliFolder + "tarkon-cli.bash-completion"},
      {{TARKON_CLI_DOCS_PATH, "man", kCliFolder + "tarkon-cli.1"}, kCliFolder + "tarkon-cli.1"},
  };
  for (const auto& c : cases) {
    const ProcessResult r = testsupport::RunProcess(c.args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, testsupport::ReadWholeFile(c.file)) << c.file << " differs from the tables: run scripts/update-cli-docs.sh";
  }
}

// The completion script, run by bash with the two helpers of the
// bash-completion package stood in for: what it offers after each line.
TEST(CliDocs, CompletionOffersWhatTheCommandLineTakes) {
  const std::string script =
      "_init_completion() { cur=${COMP_WORDS[COMP_CWORD]}; prev=${COMP_WORDS[COMP_CWORD-1]};"
      " words=(\"${COMP_WORDS[@]}\"); cword=$COMP_CWORD; }\n"
      "_filedir() { COMPREPLY=(\"files:${1:-any}\"); }\n"
      "complete() { :; }\n"
      "source '" + kCliFolder + "tarkon-cli.bash-completion'\n"
      "COMP_WORDS=(\"$@\"); COMP_CWORD=$(( $# - 1 )); COMPREPLY=(); _tarkon_cli\n"
      "printf '%s\\n' \"${COMPREPLY[@]}\" | sort | tr '\\n' ' '\n";
  const struct {
    std::vector<std::string> line;
    std::string offered;
  } cases[] = {
      {{"up"}, "upload "},
      {{"--simulate", "KRV04", "upload", ""}, "cal dsp fpga "},
      {{"upload", "dsp", ""}, "files:@(bin|cal) "},
      {{"restore", "--d"}, "--dry-run "},
      {{"info", "--cou"}, " "},  // --count belongs to watch
      {{"watch", "--cou"}, "--count "},
      {{"--check-mode", ""}, "checksum crc "},
      {{"baud", "9"}, "9600 "},
      {{"--simulate", "Qmt"}, "Qmt\\ Long Qmt\\ Short "},
      {{"--port", "/dev/ttyUSB0", "report", ""}, "files:@(pdf|html) "},
      {{"help", "bus"}, "bus-scan "},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"/bin/bash", "-c", script, "completion", "tarkon-cli"};
    args.insert(args.end(), c.line.begin(), c.line.end());
    const ProcessResult r = testsupport::RunProcess(args);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, c.offered) << c.line.back();
  }
}

}  // namespace
}  // namespace clitest
