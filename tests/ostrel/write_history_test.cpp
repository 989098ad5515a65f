// Ostrel's writes land in the change history the whole suite shares: a
// setting with its value and read-back, a refused value, an address.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "history/change_history.h"
#include "ostrel_sim_fixture.h"
#include "support/temp_dir.h"

namespace {

using ostreltest::OstrelSimTest;

TEST_F(OstrelSimTest, SettingsAndAddressWritesAreRecordedWithTheirOutcome) {
  testsupport::TempDir dir;
  const std::string before = std::getenv("XDG_DATA_HOME") != nullptr ? std::getenv("XDG_DATA_HOME") : "";
  setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
  Connected();
  fields_.threshold = "77";
  ASSERT_TRUE(ops_.SetThreshold());
  fields_.threshold = "300";
  ASSERT_TRUE(ops_.SetThreshold());
  fields_.address = "9";
  ASSERT_TRUE(ops_.SetAddress());

  const history::ReadResult read = history::Read(history::DefaultPath());
  ASSERT_TRUE(read.ok) << read.error;
  ASSERT_EQ(read.entries.size(), 3u);
  struct Expected {
    const char* setting;
    const char* oldValue;  // what the sensor held before
    const char* newValue;
    const char* outcome;
  };
  const Expected expected[] = {{"Threshold", "50", "77", "verified"},
                               {"Threshold", "77", "300", "refused"},
                               {"Address", "1", "9", "verified"}};
  for (size_t i = 0; i < 3; ++i) {
    const history::Entry& e = read.entries[i];
    EXPECT_EQ(e.setting, expected[i].setting);
    EXPECT_EQ(e.oldValue, expected[i].oldValue);
    EXPECT_EQ(e.newValue, expected[i].newValue);
    EXPECT_EQ(e.outcome, expected[i].outcome);
    EXPECT_EQ(e.program, "Ostrel");
    EXPECT_EQ(e.serialNumber, fields_.serialPanel);
    EXPECT_FALSE(e.port.empty());
  }
  EXPECT_TRUE(ops_.historyError().empty());
  setenv("XDG_DATA_HOME", before.c_str(), 1);
}

// A sensor that stops answering after the connect's seven replies: the
// threshold goes out, its read-back does not come; the write is recorded as
// not verified, with the value it replaced, and the status line says so.
TEST_F(OstrelSimTest, AWriteWithoutReadBackIsRecordedAsNotVerified) {
  testsupport::TempDir dir;
  const std::string before = std::getenv("XDG_DATA_HOME") != nullptr ? std::getenv("XDG_DATA_HOME") : "";
  setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
  sim::SensorConfig config;
  config.faults.silentAfterReply = 7;
  Connected(config);
  fields_.threshold = "77";
  ASSERT_TRUE(ops_.SetThreshold());
  EXPECT_EQ(view_.LastStatus(), "Not verified: Threshold 77 sent; reading it back failed (Error : No Response)");
  const history::ReadResult read = history::Read(history::DefaultPath());
  ASSERT_TRUE(read.ok) << read.error;
  ASSERT_EQ(read.entries.size(), 1u);
  EXPECT_EQ(read.entries[0].oldValue, "50");
  EXPECT_EQ(read.entries[0].newValue, "77");
  EXPECT_EQ(read.entries[0].outcome, "not verified");
  EXPECT_EQ(fields_.threshold, "77") << "no read-back: the field keeps what was sent";
  setenv("XDG_DATA_HOME", before.c_str(), 1);
}

}  // namespace
