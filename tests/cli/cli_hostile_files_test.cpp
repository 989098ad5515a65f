// Files that are not what the command expects: damaged backups, FIFOs,
// devices, directories, huge files and links, given where tarkon-cli reads
// or writes. Each is refused with its reason, in a message of readable
// length, before the port is opened; nothing aborts and nothing blocks.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cli/cli_test_support.h"
#include "protocol/command_ids.h"

namespace clitest {
namespace {

using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;

std::string Replaced(std::string text, const std::string& what, const std::string& with) {
  const size_t at = text.find(what);
  EXPECT_NE(at, std::string::npos) << what;
  if (at != std::string::npos) text.replace(at, what.size(), with);
  return text;
}

TEST_F(CliTest, HostileBackupFilesAreRefusedAsDamagedNeverWithAnAbort) {
  const std::string good = dir_.File("good.json");
  ASSERT_EQ(Run({"--simulate", "KRV04", "backup", good}).exitCode, kOk);
  const std::string backup = ReadWholeFile(good);
  StartSensor(Sensor("KRV04"));

  const std::string fifo = dir_.File("fifo.json");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string huge = dir_.File("huge.json");
  ASSERT_TRUE(WriteWholeFile(huge, backup));
  ASSERT_EQ(truncate(huge.c_str(), 2 * 1024 * 1024), 0);
  struct Case {
    std::string name;
    std::string content;  // written to `name` unless empty
    std::string reason;
  };
  const std::vector<Case> cases = {
      {dir_.File("format.json"), "{\"format\": -1e999}", "not a valid JSON document"},
      {dir_.File("address.json"), Replaced(backup, "\"address\": 1,", "\"address\": 1e400,"),
       "not a valid JSON document"},
      {dir_.File("string.json"), "{\"format\": \"" + std::string(500000, 'x') + "\"}",
       "\"format\" is \"" + std::string(60, 'x') + "... (500000 bytes)\""},
      {dir_.path(), "", "is a directory"},
      {fifo, "", "is a FIFO"},
      {"/dev/zero", "", "is a device"},
      {huge, "", "too large (2097152 bytes, at most 1048576)"},
      // A model text the layout does not follow: shown, never sent to the
      // terminal, and never taken for another model's name.
      {dir_.File("escape.json"), Replaced(backup, "\"model\": \"KRV04\"", "\"model\": \"KRV04\\u001b[2J\""),
       "\"model\" is \"KRV04\\x1B[2J\", but \"model_index\" 1 and the settings are those of a KRV04"},
      {dir_.File("label.json"), Replaced(backup, "\"model\": \"KRV04\"", "\"model\": \"KRV02\""),
       "\"model\" is \"KRV02\", but \"model_index\" 1 and the settings are those of a KRV04: the file was changed "
       "by hand or is damaged"},
  };
  for (const Case& c : cases) {
    if (!c.content.empty()) {
      ASSERT_TRUE(WriteWholeFile(c.name, c.content));
    }
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"restore", c.name}, {"diff", c.name}, {"restore", c.name, "--dry-run"},
          {"restore", c.name, "--bus"}}) {
      SCOPED_TRACE(command[0] + " " + c.name + (command.size() > 2 ? " " + command[2] : ""));
      const ProcessResult r = RunOnSensor(command);
      EXPECT_EQ(r.exitCode, kUsage) << r.err;
      EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << "a control byte reached the terminal";
      EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err.substr(0, 400);
      EXPECT_NE(r.err.find("(nothing was sent)"), std::string::npos) << r.err.substr(0, 400);
      EXPECT_LT(r.err.size(), 1000u) << "echoed text is cut";
    }
  }
  EXPECT_EQ(sensor_->Snapshot().activity.framesReceived, 0u);
}

TEST_F(CliTest, OutputsAndInputsThatAreNoFilesAreRefusedBeforeThePortIsOpened) {
  StartSensor(Sensor("KRV04"));
  const std::string fifo = dir_.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string notes = dir_.File("notes.txt");
  ASSERT_TRUE(WriteWholeFile(notes, "my notes\n"));
  const std::string link = dir_.File("link.csv");
  ASSERT_EQ(symlink(notes.c_str(), link.c_str()), 0);
  const std::string big = dir_.File("big.bin");
  ASSERT_TRUE(WriteWholeFile(big, "x"));
  ASSERT_EQ(truncate(big.c_str(), 17000000), 0);

  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"scan-buffer", "--append", fifo}, "--append " + fifo + ": is a FIFO"},
      {{"scan-buffer", "--append", link}, "--append " + link + ": is a symbolic link"},
      {{"watch", "--csv", fifo, "--duration", "1"}, "--csv " + fifo + ": is a FIFO"},
      {{"watch", "--csv", "/dev/null", "--duration", "1"}, "--csv /dev/null: is a device"},
      {{"--manufacturing", "--yes", "upload", "fpga", big},
       "Error reading file: " + big + ": too large (17000000 bytes, at most 16777216)"},
      {{"--manufacturing", "--yes", "upload", "dsp", fifo}, "Error reading file: " + fifo + ": is a FIFO"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1] + " " + c.args[2]);
    const ProcessResult r = RunOnSensor(c.args);
    EXPECT_EQ(r.exitCode, kUsage) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_EQ(ReadWholeFile(notes), "my notes\n");
  // The checks of the outputs come before the port is opened; the image is
  // read when the upload starts, and refused before any upload command.
  EXPECT_EQ(trace_.CountCommand(cmd::WriteFlashProtect1), 0u);
  EXPECT_EQ(trace_.CountCommand(cmd::UploadFPGA) + trace_.CountCommand(cmd::UploadCode), 0u);

  // A FIFO as the settings file: read nowhere, said once, defaults used.
  const ProcessResult r =
      testsupport::RunProcess({TARKON_CLI_PATH, "--settings", fifo, "--simulate", "KRV02", "info"});
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_NE(r.err.find("note: " + fifo + " is not read as a settings file (is a FIFO)"), std::string::npos) << r.err;
}

TEST_F(CliTest, ABackupIsNeverWrittenThroughALink) {
  const std::string victim = dir_.File("victim.txt");
  ASSERT_TRUE(WriteWholeFile(victim, "precious\n"));
  // A link at the name the temporary file once had, and one at the target.
  const std::string backup = dir_.File("backup.json");
  ASSERT_EQ(symlink(victim.c_str(), (backup + ".part").c_str()), 0);
  const std::string linked = dir_.File("linked.json");
  ASSERT_EQ(symlink(victim.c_str(), linked.c_str()), 0);

  EXPECT_EQ(Run({"--simulate", "KRV04", "backup", backup}).exitCode, kOk);
  struct stat st {};
  ASSERT_EQ(lstat(backup.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_NE(ReadWholeFile(backup).find("\"format\": \"tarkon-settings-backup\""), std::string::npos);

  const ProcessResult r = Run({"--simulate", "KRV04", "backup", linked});
  EXPECT_EQ(r.exitCode, kFailed);
  EXPECT_NE(r.err.find("backup: cannot write " + linked + ": is a symbolic link"), std::string::npos) << r.err;
  EXPECT_EQ(ReadWholeFile(victim), "precious\n");
  ASSERT_EQ(lstat(linked.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(CliTest, ASettingsFileAddressThatIsNoAddressIsSaidAndNotUsed) {
  StartSensor(Sensor("KRV04"));  // at address 1
  ASSERT_TRUE(WriteWholeFile(Ini(), "[Serial Settings]\nPort=1\nBaudrate=57600\nAddress=256\n"
                                    "Read timeout=100\nWrite timeout=100\n\n"));
  const ProcessResult r = RunOnSensor({"info"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_NE(r.err.find("note: Address=256 in " + Ini() + " is not 1 to 255"), std::string::npos) << r.err;
  EXPECT_EQ(StoredInteger("Address"), 256);
}

}  // namespace
}  // namespace clitest
