// Every write the document makes to a sensor leaves one line in the change
// history, with the values before and after and whether the re-read
// confirmed it; a refused value leaves a "refused" line and sends nothing.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "history/change_history.h"
#include "support/sim_document.h"

namespace {

using testsupport::SensorOf;

class WriteHistoryTest : public testsupport::SimDocumentTest {
 protected:
  std::string HistoryPath() const { return dir_.File("history.jsonl"); }

  void ConnectTo(const std::string& model) {
    sim::SensorConfig config = SensorOf(model);
    config.serial = "H" + std::to_string(model.size()) + "77";
    StartSensor(config);
    Doc().changeHistory().SetPath(HistoryPath());
    ASSERT_TRUE(ConnectDoc()) << model;
  }

  std::vector<history::Entry> Lines() {
    const history::ReadResult read = history::Read(HistoryPath());
    EXPECT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.damagedLines, 0u);
    return read.entries;
  }
};

TEST_F(WriteHistoryTest, EveryModelRecordsEachWriteWithItsOldAndNewValue) {
  for (const char* model : {"KRV02", "KRV04", "Qmt Long", "Qmt Short", "KRV04 Board Flipper"}) {
    SCOPED_TRACE(model);
    ConnectTo(model);
    ModelSettings* settings = Doc().currentSettings();
    ASSERT_NE(settings, nullptr);
    const std::string before = settings->DisplayedValue("Threshold");
    const std::string wanted = before == "61" ? "62" : "61";

    const size_t framesBefore = trace_.Received().size();
    EXPECT_TRUE(settings->ChangeSetting("Threshold", "sixty").Refused());
    EXPECT_EQ(trace_.Received().size(), framesBefore) << "a refused value sends nothing";
    const SetResult set = settings->ChangeSetting("Threshold", wanted);
    ASSERT_TRUE(set.reread);

    const std::vector<history::Entry> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    const history::Entry& refused = lines[0];
    EXPECT_EQ(refused.setting, "Threshold");
    EXPECT_EQ(refused.oldValue, before);
    EXPECT_EQ(refused.newValue, "sixty");
    EXPECT_EQ(refused.outcome, "refused");
    const history::Entry& written = lines[1];
    EXPECT_EQ(written.setting, "Threshold");
    EXPECT_EQ(written.oldValue, before);
    EXPECT_EQ(written.newValue, settings->DisplayedValue("Threshold"));
    EXPECT_EQ(written.newValue, wanted);
    EXPECT_EQ(written.outcome, "verified");
    EXPECT_EQ(written.program, "Tarkon");
    EXPECT_EQ(written.user, history::CurrentUser());
    EXPECT_EQ(written.model, model);
    EXPECT_EQ(written.serialNumber, Doc().sensor().serialNumberText());
    EXPECT_EQ(written.port, Doc().sensor().device());
    EXPECT_FALSE(written.serialNumber.empty());

    DestroyDoc();
    sensor_.reset();
    std::remove(HistoryPath().c_str());
  }
}

TEST_F(WriteHistoryTest, AddressBaudRateCheckModeDefaultsAndResetEachLeaveOneLine) {
  ConnectTo("KRV04");
  Doc().options().SetManufacturingMode(true);
  ASSERT_TRUE(Doc().operations().SetFactoryDefaults([](const std::string&) { return true; }));
  EXPECT_FALSE(
      Doc().operations().SetFactoryDefaults([](const std::string&) { return false; }));  // No: nothing sent, no line
  Doc().operations().SetAddress(Doc().sensor().serialNumberText(), 7);
  Doc().operations().ChangeCheckMode(frame::kCrc);
  Doc().operations().ChangeBaudRate(1);  // 19200
  ASSERT_TRUE(Doc().operations().ResetSensor());

  struct Expected {
    const char* setting;
    const char* oldValue;
    const char* newValue;
    const char* outcome;
  };
  const std::vector<Expected> expected = {{"Factory defaults", "", "factory defaults", "verified"},
                                          {"Address", "1", "7", "verified"},
                                          {"Check mode", "Checksum", "CRC", "verified"},
                                          {"Baud rate", "57600", "19200", "verified"},
                                          {"Reset", "", "reset", "not verified"}};
  const std::vector<history::Entry> lines = Lines();
  ASSERT_EQ(lines.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(lines[i].setting, expected[i].setting);
    EXPECT_EQ(lines[i].oldValue, expected[i].oldValue) << expected[i].setting;
    EXPECT_EQ(lines[i].newValue, expected[i].newValue) << expected[i].setting;
    EXPECT_EQ(lines[i].outcome, expected[i].outcome) << expected[i].setting;
  }
}

// The laser switch is a write like any other: the KRV02 family reads it
// back (its old value and "verified"); the board flipper does not report
// it, so its line has no old value and says "not verified".
TEST_F(WriteHistoryTest, TheLaserSwitchLeavesALineWhetherOrNotTheSensorReportsIt) {
  struct Case {
    const char* model;
    const char* oldValue;
    const char* outcome;
  };
  for (const Case& c : {Case{"KRV02", "On", "verified"}, Case{"KRV04 Board Flipper", "", "not verified"}}) {
    SCOPED_TRACE(c.model);
    ConnectTo(c.model);
    const SetResult r = Doc().currentSettings()->SwitchLaser(false);
    EXPECT_TRUE(r.sent);
    const std::vector<history::Entry> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].setting, "Laser");
    EXPECT_EQ(lines[0].oldValue, c.oldValue);
    EXPECT_EQ(lines[0].newValue, "Off");
    EXPECT_EQ(lines[0].outcome, c.outcome);
    DestroyDoc();
    sensor_.reset();
    std::remove(HistoryPath().c_str());
  }
}

TEST_F(WriteHistoryTest, AWriteToASensorThatIsGoneIsRecordedAsFailedAndAnUnwritableHistoryIsSaidOnce) {
  ConnectTo("KRV02");
  // The history cannot be written (its place is a folder): the log says so once.
  Doc().changeHistory().SetPath(dir_.path());
  ModelSettings* settings = Doc().currentSettings();
  settings->ChangeSetting("Threshold", "50");
  settings->ChangeSetting("Threshold", "51");
  int said = 0;
  for (const auto& line : listener_.lines())
    if (line.second.find("Change history not written") != std::string::npos) ++said;
  EXPECT_EQ(said, 1);

  Doc().changeHistory().SetPath(HistoryPath());
  sensor_->Stop();
  settings->ChangeSetting("Threshold", "52");
  const std::vector<history::Entry> lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].outcome, "verified");
  EXPECT_EQ(lines[0].oldValue, "51");
}

TEST_F(WriteHistoryTest, APrivateSensorWithRecordingOffLeavesNoLineUntilItIsOnAgain) {
  // Offline editing of a settings file runs the document against a private
  // in-process sensor: its writes reach no real sensor and stay out of the
  // history, whatever kind of write (a setting, a refused value, the address).
  ConnectTo("KRV04");
  Doc().options().SetChangeRecording(false);
  ModelSettings* settings = Doc().currentSettings();
  ASSERT_NE(settings, nullptr);
  EXPECT_TRUE(settings->ChangeSetting("Threshold", "sixty").Refused());
  ASSERT_TRUE(settings->ChangeSetting("Threshold", "61").reread);
  EXPECT_EQ(settings->DisplayedValue("Threshold"), "61") << "the write itself still happens";
  Doc().options().SetManufacturingMode(true);
  Doc().operations().SetAddress(Doc().sensor().serialNumberText(), 9);
  EXPECT_TRUE(Lines().empty());
  for (const auto& line : listener_.lines())
    EXPECT_EQ(line.second.find("Change history not written"), std::string::npos) << line.second;

  Doc().options().SetChangeRecording(true);
  ASSERT_TRUE(settings->ChangeSetting("Threshold", "62").reread);
  const std::vector<history::Entry> lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].oldValue, "61");
  EXPECT_EQ(lines[0].newValue, "62");
}

}  // namespace
