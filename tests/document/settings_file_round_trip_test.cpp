// Saving a settings file and reading it again gives the settings that were
// read, for files that a hand edit can produce.

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"
#include "tarkon/document/settings_file.h"

namespace {

class SettingsRoundTripTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    path_ = dir_.File("tarkon.ini");
  }
  void Write(const std::string& content) { ASSERT_TRUE(testsupport::WriteWholeFile(path_, content)); }
  std::string Read() const { return testsupport::ReadWholeFile(path_); }
  // Loads the file, saves it and loads it again.
  void SaveAndReload(SettingsFile& reloaded) {
    SettingsFile file(path_);
    ASSERT_TRUE(file.Load());
    ASSERT_TRUE(file.Save()) << file.lastError();
    reloaded.SetPath(path_);
    ASSERT_TRUE(reloaded.Load());
  }

  testsupport::TempDir dir_;
  std::string path_;
};

// A line inside a section that ends in a stray carriage return before its
// "\r\n" is no setting (its value would hold a line break). Written back
// with a plain "\n", it used to read as "a=b" after the save.
TEST_F(SettingsRoundTripTest, LineEndingInACarriageReturnStaysNoSetting) {
  Write("\r\r\n[Serial Settings]\na=b\r\r\nPort=3\n");
  SettingsFile file(path_);
  ASSERT_TRUE(file.Load());
  EXPECT_FALSE(file.GetText("Serial Settings", "a", nullptr));

  SettingsFile reloaded;
  SaveAndReload(reloaded);
  EXPECT_FALSE(reloaded.GetText("Serial Settings", "a", nullptr));
  EXPECT_EQ(reloaded.Keys("Serial Settings"), std::vector<std::string>{"Port"});
  // The kept lines are written as they were read, so saves change nothing.
  const std::string once = Read();
  EXPECT_EQ(once, "\r\r\n[Serial Settings]\na=b\r\r\nPort=3\n\n");
  ASSERT_TRUE(reloaded.Save());
  EXPECT_EQ(Read(), once);
}

// Sections beyond the capacity are kept as text. When the file later takes
// up the last section again, its settings used to be written after that
// text and, on the next read, were swallowed by the section beyond the
// capacity.
TEST_F(SettingsRoundTripTest, SettingsAfterSectionsBeyondTheCapacitySurviveASave) {
  std::string content;
  for (int s = 0; s < 24; ++s) content += "[S" + std::to_string(s) + "]\nk=" + std::to_string(s) + "\n";
  content += "[Extra]\nz=1\n[S23]\nlate=2\n";
  Write(content);
  SettingsFile file(path_);
  ASSERT_TRUE(file.Load());
  std::string value;
  ASSERT_TRUE(file.GetText("S23", "late", &value));
  EXPECT_FALSE(file.GetText("Extra", "z", nullptr));

  SettingsFile reloaded;
  SaveAndReload(reloaded);
  EXPECT_TRUE(reloaded.GetText("S23", "late", &value));
  EXPECT_EQ(value, "2");
  EXPECT_EQ(reloaded.Keys("S23"), (std::vector<std::string>{"k", "late"}));
  EXPECT_FALSE(reloaded.GetText("Extra", "z", nullptr));
  // The lines beyond the capacity are still in the file, after the sections.
  const std::string saved = Read();
  EXPECT_EQ(saved.substr(saved.size() - 14), "\n\n[Extra]\nz=1\n") << saved;
  ASSERT_TRUE(reloaded.Save());
  EXPECT_EQ(Read(), saved);
}

}  // namespace
