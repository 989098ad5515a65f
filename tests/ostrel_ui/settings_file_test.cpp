// "Ostrel.ini" as it is found on disk: files that are not the program's to
// rewrite are left exactly as they are (the window says so once and works
// from the defaults), a link at a temporary name is not written through,
// and a virtual sensor is never stored as the port.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <filesystem>
#include <memory>
#include <string>

#include "ostrel/app/ostrel_ini.h"
#include "ostrel/ui/main_window.h"
#include "support/temp_dir.h"

namespace {

using testsupport::EntriesIn;
using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;

constexpr const char* kOwnFile = "[CommPort]\r\nPort=3\r\n[BaudRate]\r\nBaud=19200\r\n";

TEST(OstrelSettingsFile, FilesNotOursToRewriteAreLeftAsTheyAre) {
  struct Case {
    const char* what;
    std::string reason;  // in the window's status line
    bool (*make)(const std::string& ini, const std::string& dir);
  };
  const Case cases[] = {
      {"a read-only file", "",
       [](const std::string& ini, const std::string&) {
         return WriteWholeFile(ini, kOwnFile) && chmod(ini.c_str(), 0444) == 0;
       }},
      {"a link to a notes file", "is a symbolic link",
       [](const std::string& ini, const std::string& dir) {
         return WriteWholeFile(dir + "/notes.txt", "[CommPort]\nPort=2\n") &&
                symlink((dir + "/notes.txt").c_str(), ini.c_str()) == 0;
       }},
      {"a file far too large", "too large (5242880 bytes, at most 4194304)",
       [](const std::string& ini, const std::string&) {
         return WriteWholeFile(ini, kOwnFile) && truncate(ini.c_str(), 5 * 1024 * 1024) == 0;
       }},
      {"binary garbage", "not a text file",
       [](const std::string& ini, const std::string&) {
         return WriteWholeFile(ini, std::string("\x7f" "ELF\x02\x01\x01\0\0\nPort=2\n\x01\x02", 19));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string ini = dir.File(ostrel::OstrelIni::kFileName);
    ASSERT_TRUE(c.make(ini, dir.path()));
    struct stat before {};
    ASSERT_EQ(lstat(ini.c_str(), &before), 0);
    const std::string content = ReadWholeFile(ini);
    const size_t entries = EntriesIn(dir.path());

    const ostrel::OstrelIni file(ini);
    std::string error;
    EXPECT_FALSE(file.Write(2, 38400, "", &error));
    EXPECT_NE(error, "");
    if (!c.reason.empty()) {
      EXPECT_NE(file.Problem().find(c.reason), std::string::npos) << file.Problem();
      EXPECT_EQ(file.Read().port, 1) << "the defaults";
      // The window says why, once, and starts from the defaults.
      ostrel::MainWindow window(ini, "");
      EXPECT_NE(window.findChild<QLabel*>("lblStatus")->text().toStdString().find(c.reason), std::string::npos);
      EXPECT_EQ(window.findChild<QComboBox*>("cboPort")->currentText(), "COM1");
    } else {
      EXPECT_EQ(file.Problem(), "");
      EXPECT_EQ(file.Read().port, 3) << "a read-only file is still read";
    }

    struct stat after {};
    ASSERT_EQ(lstat(ini.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "replaced";
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(ReadWholeFile(ini), content);
    EXPECT_EQ(EntriesIn(dir.path()), entries) << "a file was left beside it";
  }
}

TEST(OstrelSettingsFile, ALinkAtTheOldTemporaryNameIsNotWrittenThrough) {
  testsupport::TempDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string ini = dir.File(ostrel::OstrelIni::kFileName);
  const std::string victim = dir.File("victim.txt");
  ASSERT_TRUE(WriteWholeFile(ini, kOwnFile));
  ASSERT_TRUE(WriteWholeFile(victim, "precious\n"));
  ASSERT_EQ(symlink(victim.c_str(), (ini + ".tmp").c_str()), 0);

  std::string error;
  ASSERT_TRUE(ostrel::OstrelIni(ini).Write(2, 38400, "", &error)) << error;
  EXPECT_EQ(ReadWholeFile(victim), "precious\n");
  struct stat st {};
  ASSERT_EQ(lstat(ini.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(ReadWholeFile(ini), "[CommPort]\r\nPort=2\r\n[BaudRate]\r\nBaud=38400\r\n");
}

// The defaults are written only where nothing is at the name: not through
// a link (even one that leads nowhere), not over a folder or a file.
TEST(OstrelSettingsFile, CreatedOnlyWhereNothingIsAtTheName) {
  constexpr const char* kDefaults =
      "[CommPort]\r\nPort=1\r\n[BaudRate]\r\nBaud=57600\r\n[InitString]\r\nCommand=ATS11=80LX1DT\r\n";
  struct Case {
    const char* what;
    bool (*make)(const std::string& ini, const std::string& dir);
    bool created;
  };
  const Case cases[] = {
      {"nothing", [](const std::string&, const std::string&) { return true; }, true},
      {"the program's own file", [](const std::string& ini, const std::string&) { return WriteWholeFile(ini, kOwnFile); },
       false},
      {"a link that leads nowhere",
       [](const std::string& ini, const std::string& dir) {
         return symlink((dir + "/nowhere.ini").c_str(), ini.c_str()) == 0;
       },
       false},
      {"a folder", [](const std::string& ini, const std::string&) { return mkdir(ini.c_str(), 0700) == 0; }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string ini = dir.File(ostrel::OstrelIni::kFileName);
    ASSERT_TRUE(c.make(ini, dir.path()));
    const size_t entries = EntriesIn(dir.path());
    struct stat before {};
    const bool existed = lstat(ini.c_str(), &before) == 0;

    std::string error;
    EXPECT_TRUE(ostrel::OstrelIni(ini).CreateIfMissing(&error)) << error;
    EXPECT_EQ(error, "");
    struct stat after {};
    if (c.created) {
      EXPECT_FALSE(existed);
      EXPECT_EQ(ReadWholeFile(ini), kDefaults);
      EXPECT_EQ(EntriesIn(dir.path()), entries + 1) << "the file alone";
      continue;
    }
    ASSERT_EQ(lstat(ini.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "replaced";
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(EntriesIn(dir.path()), entries) << "nothing written beside or through it";
    if (S_ISREG(after.st_mode)) {
      EXPECT_EQ(ReadWholeFile(ini), kOwnFile);
    }
  }
}

TEST(OstrelSettingsFile, AVirtualSensorIsNeverTheNextStartsPort) {
  testsupport::TempDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string ini = dir.File(ostrel::OstrelIni::kFileName);
  // As an earlier version stored it.
  ASSERT_TRUE(WriteWholeFile(ini, "[CommPort]\r\nPort=2\r\nDevice=virtual:KRV04BF\r\n[BaudRate]\r\nBaud=57600\r\n"));
  {
    ostrel::MainWindow window(ini, "");
    EXPECT_EQ(window.findChild<QComboBox*>("cboPort")->currentText(), "COM2");
    window.ConnectToVirtualSensor();
  }
  EXPECT_EQ(ReadWholeFile(ini), "[CommPort]\r\nPort=2\r\nDevice=virtual:KRV04BF\r\n[BaudRate]\r\nBaud=57600\r\n")
      << "a connect to the virtual sensor stores nothing";
  ostrel::MainWindow next(ini, "");
  EXPECT_EQ(next.findChild<QComboBox*>("cboPort")->currentText(), "COM2");
}

}  // namespace
