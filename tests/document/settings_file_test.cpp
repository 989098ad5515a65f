#include "tarkon/document/settings_file.h"

#include "tarkon/document/connect_values.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarkon-settings-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/tarkon.ini";
  }
  void TearDown() override {
    chmod(dir_.c_str(), 0700);
    std::string command = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }

  void Write(const std::string& content) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << content;
  }
  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
  }
  // Names in the directory other than tarkon.ini (left-over temporary files).
  std::vector<std::string> Strays() const {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir_.c_str()); d != nullptr) {
      while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != ".." && name != "tarkon.ini") names.push_back(name);
      }
      closedir(d);
    }
    return names;
  }

  std::string dir_;
  std::string path_;
};

const char kDefaultsFile[] =
    "[Serial Settings]\nPort=1\nBaudrate=57600\nAddress=1\nRead timeout=100\nWrite timeout=100\n\n";

TEST_F(SettingsFileTest, FirstConnectWritesTheDefaults) {
  SettingsFile file(path_);
  EXPECT_FALSE(file.Load());
  EXPECT_EQ(file.lastError(), "");
  SettingsFile::SerialValues values = file.ReadSerialSettings();
  EXPECT_EQ(values.port, 1);
  EXPECT_EQ(values.baudRate, 57600);
  EXPECT_EQ(values.address, 1);
  EXPECT_EQ(values.readTimeout, 100u);
  EXPECT_EQ(values.writeTimeout, 100u);
  ASSERT_TRUE(file.Save()) << file.lastError();
  EXPECT_EQ(Read(), kDefaultsFile);
  EXPECT_TRUE(Strays().empty());
}

TEST_F(SettingsFileTest, MissingAddressIsAddedWithItsDefault) {
  Write("[Serial Settings]\nPort=3\nBaudrate=19200\nRead timeout=150\nWrite timeout=160\n\n");
  SettingsFile file(path_);
  ASSERT_TRUE(file.Load());
  SettingsFile::SerialValues values = file.ReadSerialSettings();
  EXPECT_EQ(values.port, 3);
  EXPECT_EQ(values.baudRate, 19200);
  EXPECT_EQ(values.address, 1);
  EXPECT_EQ(values.readTimeout, 150u);
  ASSERT_TRUE(file.Save());
  EXPECT_EQ(Read(),
            "[Serial Settings]\nPort=3\nBaudrate=19200\nRead timeout=150\nWrite timeout=160\n"
            "Address=1\n\n");
}

TEST_F(SettingsFileTest, KeysAreCaseSensitive) {
  Write("[Serial Settings]\nport=5\n\n");
  SettingsFile file(path_);
  ASSERT_TRUE(file.Load());
  EXPECT_EQ(file.ReadSerialSettings().port, 1);
  int32_t lower = 0;
  EXPECT_TRUE(file.GetInteger("Serial Settings", "port", &lower));
  EXPECT_EQ(lower, 5);
  EXPECT_FALSE(file.GetInteger("serial settings", "Port", &lower));
  ASSERT_TRUE(file.Save());
  EXPECT_EQ(Read(),
            "[Serial Settings]\nport=5\nPort=1\nBaudrate=57600\nAddress=1\nRead timeout=100\n"
            "Write timeout=100\n\n");
}

TEST_F(SettingsFileTest, TimeoutsOfAConnectionAreStored) {
  SettingsFile file(path_);
  file.Load();
  SettingsFile::SerialValues values = file.ReadSerialSettings();
  values.port = 4;
  values.baudRate = 38400;
  values.address = 17;
  values.readTimeout = 200;
  values.writeTimeout = 300;
  file.WriteSerialSettings(values);
  ASSERT_TRUE(file.Save());
  EXPECT_EQ(Read(),
            "[Serial Settings]\nPort=4\nBaudrate=38400\nAddress=17\nRead timeout=200\n"
            "Write timeout=300\n\n");
  SettingsFile again(path_);
  ASSERT_TRUE(again.Load());
  SettingsFile::SerialValues read = again.ReadSerialSettings();
  EXPECT_EQ(read.readTimeout, 200u);
  EXPECT_EQ(read.writeTimeout, 300u);
  EXPECT_EQ(read.address, 17);
}

TEST_F(SettingsFileTest, BlanksAroundTheEqualsSignBelongToKeyAndValue) {
  Write("[Serial Settings]\nPort = 5\n");
  SettingsFile file(path_);
  ASSERT_TRUE(file.Load());
  std::string value;
  ASSERT_TRUE(file.GetText("Serial Settings", "Port ", &value));
  EXPECT_EQ(value, " 5");
  int32_t number = 0;
  EXPECT_TRUE(file.GetInteger("Serial Settings", "Port ", &number));
  EXPECT_EQ(number, 5);
  EXPECT_FALSE(file.GetText("Serial Settings", "Port", &value));
  EXPECT_EQ(file.ReadSerialSettings().port, 1);
}

TEST_F(SettingsFileTest, ValuesThatAreNoNumberReadAsZero) {
  Write("[Serial Settings]\nPort=abc\nBaudrate=19200baud\nRead timeout=-1\n");
  SettingsFile file(path_);
  ASSERT_TRUE(file.Load());
  SettingsFile::SerialValues values = file.ReadSerialSettings();
  EXPECT_EQ(values.port, 0);
  EXPECT_EQ(values.baudRate, 19200);
  EXPECT_EQ(values.readTimeout, 4294967295u);
}

TEST_F(SettingsFileTest, LongLinesAreNeitherCutNorSplit) {
  // A value that crosses the 1000-character mark, with an "=" past it that
  // must not start an entry of its own.
  std::string longValue(995, 'v');
  longValue += "Port=9" + std::string(600, 'w');
  std::string longNote(2500, 'n');
  Write("[Serial Settings]\nNote=" + longValue + "\n" + longNote + "\nPort=2\n");
  SettingsFile file(path_);
  ASSERT_TRUE(file.Load());
  std::string value;
  ASSERT_TRUE(file.GetText("Serial Settings", "Note", &value));
  EXPECT_EQ(value, longValue);
  EXPECT_EQ(file.Keys("Serial Settings"), (std::vector<std::string>{"Note", "Port"}));
  int32_t port = 0;
  ASSERT_TRUE(file.GetInteger("Serial Settings", "Port", &port));
  EXPECT_EQ(port, 2);
  ASSERT_TRUE(file.Save());
  EXPECT_EQ(Read(), "[Serial Settings]\nNote=" + longValue + "\n" + longNote + "\nPort=2\n\n");
}

TEST_F(SettingsFileTest, SectionLineWithoutClosingBracketKeepsItsWholeName) {
  Write("[Serial Settings\nPort=3\n");
  SettingsFile file(path_);
  ASSERT_TRUE(file.Load());
  EXPECT_EQ(file.SectionNames(), (std::vector<std::string>{"Serial Settings"}));
  EXPECT_EQ(file.ReadSerialSettings().port, 3);
  // Text after the closing bracket is no part of the name.
  Write("[Serial Settings]  \nPort=4\n");
  ASSERT_TRUE(file.Load());
  EXPECT_EQ(file.ReadSerialSettings().port, 4);
}

// What this class saves, it reads back: a section of no name is the line
// "[]" followed by its entries, not the empty JSON array "[]" alone.
TEST_F(SettingsFileTest, ASectionOfNoNameIsReadBackAndTheEmptyArrayAloneIsNot) {
  SettingsFile file(path_);
  ASSERT_TRUE(file.SetText("", "", ""));
  ASSERT_TRUE(file.Save()) << file.lastError();
  EXPECT_EQ(Read(), "[]\n=\n\n");
  SettingsFile again(path_);
  ASSERT_TRUE(again.Load()) << again.lastError();
  std::string value = "x";
  EXPECT_TRUE(again.GetText("", "", &value));
  EXPECT_EQ(value, "");
  Write(" [ ] \n");
  EXPECT_FALSE(again.Load());
  EXPECT_NE(again.lastError().find("it is a JSON file, not an INI file"), std::string::npos) << again.lastError();
  // A section of no name that holds nothing is not written back as the
  // "[]" that would be refused next time (the fuzz target found it).
  // A new section whose line would open like a JSON document is refused.
  for (const char* name : {"[x]", "{x}", "\"x\""}) EXPECT_FALSE(again.SetText(name, "k", "v")) << name;
  for (const char* content : {"\r\n[]0k1", "[].", "\r\r\n[]0k1\r\n[]0k1"}) {
    Write(content);
    ASSERT_TRUE(again.Load()) << again.lastError();
    ASSERT_TRUE(again.Save()) << again.lastError();
    SettingsFile third(path_);
    EXPECT_TRUE(third.Load()) << third.lastError() << " in \"" << Read() << "\"";
  }
}

TEST_F(SettingsFileTest, LinesWithoutEqualsSignAreKeptButAreNoEntries) {
  Write("; written by hand\n[Serial Settings]\nPort=12345678\nno equals here\nAddress=7\n\n");
  SettingsFile file(path_);
  ASSERT_TRUE(file.Load());
  EXPECT_EQ(file.Keys("Serial Settings"), (std::vector<std::string>{"Port", "Address"}));
  std::string value;
  EXPECT_TRUE(file.GetText("Serial Settings", "Port", &value));
  EXPECT_EQ(value, "12345678");
  EXPECT_FALSE(file.GetText("Serial Settings", "no equals here", &value));
  EXPECT_TRUE(file.GetText("Serial Settings", "Address", &value));
  EXPECT_EQ(value, "7");
  ASSERT_TRUE(file.Save());
  EXPECT_EQ(Read(), "; written by hand\n[Serial Settings]\nPort=12345678\nno equals here\nAddress=7\n\n");
}

TEST_F(SettingsFileTest, LastLineWithoutLineEndKeepsEveryCharacter) {
  Write("[Serial Settings]\nPort=15");
  SettingsFile file(path_);
  ASSERT_TRUE(file.Load());
  EXPECT_EQ(file.ReadSerialSettings().port, 15);
  Write("[Serial Settings]\r\nPort=16\r\nNote=abc");
  ASSERT_TRUE(file.Load());
  EXPECT_EQ(file.ReadSerialSettings().port, 16);
  std::string port;
  ASSERT_TRUE(file.GetText("Serial Settings", "Port", &port));
  EXPECT_EQ(port, "16");
  std::string note;
  ASSERT_TRUE(file.GetText("Serial Settings", "Note", &note));
  EXPECT_EQ(note, "abc");
}

TEST_F(SettingsFileTest, RepeatedKeysAndSections) {
  Write("[A]\nk=1\n[B]\nx=2\n[A]\nk=3\nm=4\n");
  SettingsFile file(path_);
  ASSERT_TRUE(file.Load());
  EXPECT_EQ(file.SectionNames(), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(file.Keys("A"), (std::vector<std::string>{"k", "m"}));
  int32_t k = 0;
  ASSERT_TRUE(file.GetInteger("A", "k", &k));
  EXPECT_EQ(k, 3);
}

TEST_F(SettingsFileTest, CapacityRefusesTheTwentyFifthButLosesNothing) {
  std::string content;
  for (int s = 0; s < 25; ++s) content += "[S" + std::to_string(s) + "]\nk=" + std::to_string(s) + "\n\n";
  content += "[S0]\n";
  for (int e = 1; e < 25; ++e) content += "e" + std::to_string(e) + "=" + std::to_string(e) + "\n";
  Write(content);
  SettingsFile file(path_);
  ASSERT_TRUE(file.Load());
  EXPECT_EQ(file.SectionNames().size(), 24u);
  std::string value;
  EXPECT_TRUE(file.GetText("S23", "k", &value));
  EXPECT_FALSE(file.GetText("S24", "k", &value));
  // S0 holds k and e1..e23; e24 is the 25th entry.
  EXPECT_EQ(file.Keys("S0").size(), 24u);
  EXPECT_TRUE(file.GetText("S0", "e23", &value));
  EXPECT_FALSE(file.GetText("S0", "e24", &value));
  // Beyond the capacity nothing new is stored; existing keys still change.
  EXPECT_FALSE(file.SetText("New", "k", "v"));
  EXPECT_FALSE(file.SetText("S0", "e25", "v"));
  EXPECT_TRUE(file.SetText("S0", "e23", "changed"));
  EXPECT_FALSE(file.GetText("New", "k", &value));
  // The refused lines are written back.
  ASSERT_TRUE(file.Save());
  std::string saved = Read();
  EXPECT_NE(saved.find("[S24]\nk=24\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("e24=24\n"), std::string::npos);
  EXPECT_NE(saved.find("e23=changed\n"), std::string::npos);
  SettingsFile again(path_);
  ASSERT_TRUE(again.Load());
  EXPECT_EQ(again.SectionNames().size(), 24u);
}

TEST_F(SettingsFileTest, TextsThatWouldNotReadBackAreRefused) {
  SettingsFile file(path_);
  EXPECT_FALSE(file.SetText("S", "a=b", "v"));
  EXPECT_FALSE(file.SetText("S", "[k", "v"));
  EXPECT_FALSE(file.SetText("S", "k", "two\nlines"));
  EXPECT_FALSE(file.SetText("S\n", "k", "v"));
  EXPECT_TRUE(file.SectionNames().empty());
  EXPECT_TRUE(file.SetText("S", "k", " a=b "));
  ASSERT_TRUE(file.Save());
  SettingsFile again(path_);
  ASSERT_TRUE(again.Load());
  std::string value;
  ASSERT_TRUE(again.GetText("S", "k", &value));
  EXPECT_EQ(value, " a=b ");
}

TEST_F(SettingsFileTest, FailedSaveLeavesTheOldFileIntact) {
  Write(kDefaultsFile);
  SettingsFile file(path_);
  ASSERT_TRUE(file.Load());
  for (int i = 0; i < 20; ++i) file.SetText("Filler", "k" + std::to_string(i), std::string(200, 'x'));
  // A disk that fills up after a few bytes.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool saved = file.Save();
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
  EXPECT_FALSE(saved);
  EXPECT_NE(file.lastError(), "");
  EXPECT_EQ(Read(), kDefaultsFile);
  EXPECT_TRUE(Strays().empty());
  // With room again the same settings are saved whole.
  ASSERT_TRUE(file.Save()) << file.lastError();
  EXPECT_NE(Read().find("[Filler]"), std::string::npos);
}

TEST_F(SettingsFileTest, SaveIntoAnUnwritableDirectoryFails) {
  Write(kDefaultsFile);
  SettingsFile file(path_);
  ASSERT_TRUE(file.Load());
  file.SetInteger("Serial Settings", "Port", 9);
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(dir_.c_str(), 0500), 0);
    EXPECT_FALSE(file.Save());
    EXPECT_NE(file.lastError(), "");
    ASSERT_EQ(chmod(dir_.c_str(), 0700), 0);
    EXPECT_EQ(Read(), kDefaultsFile);
  }
  // A directory that cannot exist: its parent is a file.
  SettingsFile nowhere(path_ + "/sub/tarkon.ini");
  nowhere.SetInteger("Serial Settings", "Port", 9);
  EXPECT_FALSE(nowhere.Save());
  EXPECT_NE(nowhere.lastError(), "");
  EXPECT_EQ(Read(), kDefaultsFile);
  EXPECT_TRUE(Strays().empty());
}

TEST_F(SettingsFileTest, AFileThatCouldNotBeReadIsNotOverwritten) {
  // Far too large to be a settings file of ours.
  {
    std::ofstream out(path_, std::ios::binary);
    out << "[Serial Settings]\nPort=3\n";
  }
  ASSERT_EQ(truncate(path_.c_str(), 5 * 1024 * 1024), 0);
  SettingsFile file(path_);
  EXPECT_FALSE(file.Load());
  EXPECT_NE(file.lastError(), "");
  file.ReadSerialSettings();
  EXPECT_FALSE(file.Save());
  struct stat st {};
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 5 * 1024 * 1024);
}

TEST_F(SettingsFileTest, SaveKeepsPermissionsAndLeavesALinkAndTheFileItPointsToAlone) {
  Write(kDefaultsFile);
  ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
  SettingsFile file(path_);
  ASSERT_TRUE(file.Load());
  file.SetInteger("Serial Settings", "Port", 2);
  ASSERT_TRUE(file.Save());
  struct stat st {};
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  std::string link = dir_ + "/link.ini";
  ASSERT_EQ(symlink(path_.c_str(), link.c_str()), 0);
  // The file a link points to may be anything (a notes file): it is not
  // read as settings, and neither it nor the link is written.
  const std::string before = Read();
  SettingsFile linked(link);
  EXPECT_FALSE(linked.Load());
  EXPECT_NE(linked.lastError().find("is a symbolic link"), std::string::npos) << linked.lastError();
  EXPECT_EQ(linked.ReadSerialSettings().port, 1);  // the defaults
  linked.SetInteger("Serial Settings", "Port", 6);
  EXPECT_FALSE(linked.Save());
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(Read(), before);
}

TEST_F(SettingsFileTest, PortMapSection) {
  Write("[Serial Settings]\nPort=3\n\n[Port Map]\nCOM3=/dev/ttyUSB0\n com4 = /dev/pts/7 \n"
        "COM0=/dev/zero\nCOMx=/dev/ttyS9\nCOM5=relative/path\nCOM6=\nCOM7=/dev/a\nCOM7=/dev/b\n");
  SettingsFile file(path_);
  ASSERT_TRUE(file.Load());
  PortResolver::PortMap map = file.ReadPortMap();
  PortResolver::PortMap expected = {{3, "/dev/ttyUSB0"}, {4, "/dev/pts/7"}, {7, "/dev/b"}};
  EXPECT_EQ(map, expected);
  ASSERT_TRUE(file.SetPortMapEntry(9, "/dev/ttyACM0"));
  ASSERT_TRUE(file.Save());
  SettingsFile again(path_);
  ASSERT_TRUE(again.Load());
  EXPECT_EQ(again.ReadPortMap().at(9), "/dev/ttyACM0");
  EXPECT_EQ(again.ReadPortMap().size(), 4u);
  EXPECT_NE(Read().find("COM9=/dev/ttyACM0\n"), std::string::npos);
}

TEST_F(SettingsFileTest, DeviceKeyOnlyForConnectionsByPath) {
  SettingsFile file(path_);
  SettingsFile::SerialValues values = file.ReadSerialSettings();
  EXPECT_EQ(values.device, "");
  file.WriteSerialSettings(values);
  EXPECT_FALSE(file.GetText("Serial Settings", "Device", nullptr));
  values.device = "/dev/pts/3";
  file.WriteSerialSettings(values);
  EXPECT_EQ(file.ReadSerialSettings().device, "/dev/pts/3");
  values.device.clear();
  file.WriteSerialSettings(values);
  EXPECT_EQ(file.ReadSerialSettings().device, "");
}

// RS-485 direction control: absent (off) in files of RS-232 use; once on,
// the key stays and reads back both ways; the connect dialog and the
// connection carry it.
TEST_F(SettingsFileTest, Rs485KeyOnlyOnceSwitchedOn) {
  SettingsFile file(path_);
  SettingsFile::SerialValues values = file.ReadSerialSettings();
  EXPECT_FALSE(values.rs485);
  file.WriteSerialSettings(values);
  EXPECT_FALSE(file.GetText("Serial Settings", "RS485", nullptr));
  EXPECT_FALSE(ConnectValuesFromSettings(values).rs485);

  values.rs485 = true;
  file.WriteSerialSettings(values);
  std::string text;
  ASSERT_TRUE(file.GetText("Serial Settings", "RS485", &text));
  EXPECT_EQ(text, "1");
  const SettingsFile::SerialValues stored = file.ReadSerialSettings();
  EXPECT_TRUE(stored.rs485);
  const ConnectValues dialog = ConnectValuesFromSettings(stored);
  EXPECT_TRUE(dialog.rs485);
  ConnectValues accepted;
  EXPECT_EQ(ConnectDialogState(dialog).Accept(&accepted), "");
  EXPECT_TRUE(accepted.rs485);
  const ConnectTarget target = ConnectTargetFromValues(accepted);
  EXPECT_TRUE(target.rs485);
  EXPECT_TRUE(SerialValuesOfConnection(target, stored).rs485);

  values.rs485 = false;
  file.WriteSerialSettings(values);
  ASSERT_TRUE(file.GetText("Serial Settings", "RS485", &text));
  EXPECT_EQ(text, "0");
  EXPECT_FALSE(file.ReadSerialSettings().rs485);
}

TEST_F(SettingsFileTest, DefaultPathBesideTheExecutableOrPerUser) {
  EXPECT_EQ(SettingsFile::ChooseDefaultPath(dir_ + "/", "/xdg", "/home/u"), dir_ + "/tarkon.ini");
  std::string gone = dir_ + "/missing/";
  EXPECT_EQ(SettingsFile::ChooseDefaultPath(gone, "/xdg", "/home/u"), "/xdg/tarkon/tarkon.ini");
  EXPECT_EQ(SettingsFile::ChooseDefaultPath(gone, "relative", "/home/u"),
            "/home/u/.config/tarkon/tarkon.ini");
  EXPECT_EQ(SettingsFile::ChooseDefaultPath(gone, nullptr, "/home/u"),
            "/home/u/.config/tarkon/tarkon.ini");
  EXPECT_EQ(SettingsFile::ChooseDefaultPath("", nullptr, nullptr), "tarkon.ini");
  // An installed program: per user even where root could write beside it.
  for (const char* installed : {"/usr/bin/", "/usr/local/bin/", "/opt/tarkon/bin/", "/bin/"})
    EXPECT_EQ(SettingsFile::ChooseDefaultPath(installed, "/xdg", "/home/u"), "/xdg/tarkon/tarkon.ini") << installed;
  // The running program's directory is found.
  std::string exeDir = SettingsFile::ExecutableDirectory();
  ASSERT_FALSE(exeDir.empty());
  EXPECT_EQ(exeDir.back(), '/');
  struct stat self {};
  ASSERT_EQ(stat("/proc/self/exe", &self), 0);
  bool found = false;
  if (DIR* d = opendir(exeDir.c_str()); d != nullptr) {
    while (dirent* e = readdir(d)) {
      struct stat st {};
      if (stat((exeDir + e->d_name).c_str(), &st) == 0 && st.st_ino == self.st_ino &&
          st.st_dev == self.st_dev) {
        found = true;
      }
    }
    closedir(d);
  }
  EXPECT_TRUE(found) << exeDir;
  // The per-user directory is created on the first save.
  SettingsFile user(SettingsFile::ChooseDefaultPath(gone, (dir_ + "/config").c_str(), nullptr));
  user.ReadSerialSettings();
  ASSERT_TRUE(user.Save()) << user.lastError();
  EXPECT_EQ(access((dir_ + "/config/tarkon/tarkon.ini").c_str(), R_OK), 0);
}

}  // namespace
