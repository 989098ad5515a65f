// The parameter table through the engine against a virtual sensor of every
// model: its rows against the setup pane and the backup, refused edits,
// "Write changed" (only the edited groups, in the dialogs' order, verified),
// undo, and a settings file edited offline and applied on connect.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "protocol/command_ids.h"
#include "support/sim_document.h"
#include "tarkon/fleet/parameter_table.h"
#include "tarkon/fleet/settings_backup.h"
#include "tarkon/fleet/settings_bench.h"
#include "files/bounded_file_reader.h"

namespace {

using fleet::RowMark;
using testsupport::SensorOf;

struct ParamCase {
  const char* model;
  int index;
  const char* refusedName;   // a value its check refuses
  const char* refusedValue;
  const char* refusal;       // the start of the message
};

// The queries of the settings re-reads; everything else on the line is a write.
const std::set<int> kQueries = {cmd::GetSensorSetup, cmd::GetAnalogFactors, cmd::GetConfigVars, cmd::ReadWaneParams,
                                cmd::GetBoardTimeout, cmd::GetNumHoldScans, cmd::GetMaxLP, cmd::GetMinLP};

class ParameterTableEveryModel : public testsupport::SimDocumentTest, public ::testing::WithParamInterface<ParamCase> {
 protected:
  void Connect() {
    sim_ = &StartSensor(SensorOf(GetParam().model));
    sim_->Mutate([](sim::SensorState& s) { s.settings.analog.maxRange = 7000; });  // inside every model's check
    ASSERT_TRUE(ConnectDoc());
    ASSERT_EQ(Doc().sensor().modelIndex(), GetParam().index);
  }
  std::vector<int> Writes() const {
    std::vector<int> writes;
    for (int c : trace_.Commands())
      if (kQueries.count(c) == 0) writes.push_back(c);
    return writes;
  }
  sim::VirtualSensor* sim_ = nullptr;
};

TEST_P(ParameterTableEveryModel, RowsAreTheSetupPanesAndTheBackupsSettings) {
  Connect();
  fleet::ParameterTable table(Doc());
  std::vector<std::string> names, values;
  Doc().currentSettings()->Summary(names, values);
  std::vector<std::pair<std::string, std::string>> pane;
  for (size_t i = 0; i < names.size(); ++i)
    if (!names[i].empty()) pane.emplace_back(names[i], values[i]);
  fleet::SensorBackup backup;
  std::string error;
  ASSERT_TRUE(fleet::CaptureBackup(Doc(), backup, error)) << error;
  table.Reload();
  ASSERT_EQ(table.rows().size(), backup.settings.size());
  ASSERT_EQ(table.rows().size(), pane.size());
  for (size_t i = 0; i < table.rows().size(); ++i) {
    const fleet::TableRow& row = table.rows()[i];
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.name, pane[i].first);
    EXPECT_EQ(row.sensor.value, pane[i].second);
    EXPECT_EQ(row.name, backup.settings[i].name);
    EXPECT_EQ(row.sensor.raw, backup.settings[i].raw);
    EXPECT_FALSE(row.sensor.group.empty());
  }
  // The threshold's range is the check's own, and its bounds are numbers.
  const fleet::TableRow& threshold = table.rows()[table.Find("Threshold")];
  EXPECT_EQ(threshold.sensor.range, "0 to 255");
  EXPECT_EQ(threshold.sensor.min, "0");
  EXPECT_EQ(threshold.sensor.max, "255");
  EXPECT_EQ(threshold.sensor.group, "Threshold");
  const fleet::TableRow& volts = table.rows()[table.Find("Max. Volts")];
  EXPECT_EQ(volts.sensor.unit, "V");
  EXPECT_EQ(volts.sensor.group, "Analog Factors");
}

TEST_P(ParameterTableEveryModel, RefusedEditSendsNothingAndShowsTheChecksMessage) {
  Connect();
  fleet::ParameterTable table(Doc());
  const size_t row = table.Find(GetParam().refusedName);
  ASSERT_NE(row, std::string::npos);
  // Not a number: refused at once.
  EXPECT_EQ(table.EditSensor(row, "12abc"), "Characters must be a number.");
  EXPECT_FALSE(table.HasEdits());
  EXPECT_EQ(table.EditSensor(row, GetParam().refusedValue), "");
  trace_.Clear();
  const fleet::WriteOutcome outcome = table.WriteChanged();
  EXPECT_EQ(outcome.refused, 1);
  EXPECT_EQ(outcome.written, 0);
  EXPECT_TRUE(trace_.Commands().empty()) << "a refused value went out";
  EXPECT_EQ(table.rows()[row].mark, RowMark::kRefused);
  EXPECT_EQ(table.rows()[row].message.rfind(GetParam().refusal, 0), 0u) << table.rows()[row].message;
  // Still held for correction; Revert drops it.
  EXPECT_TRUE(table.HasEdits());
  table.Revert();
  EXPECT_FALSE(table.HasEdits());
  EXPECT_EQ(table.rows()[row].mark, RowMark::kNone);
}

TEST_P(ParameterTableEveryModel, WriteChangedSendsTheEditedGroupsInTheDialogsOrderVerifiesAndUndoes) {
  Connect();
  const sim::SensorState before = sim_->Snapshot();
  fleet::ParameterTable table(Doc());
  // Typed in the reverse of the dialogs' order.
  ASSERT_EQ(table.EditSensor(table.Find("Threshold"), "61"), "");
  ASSERT_EQ(table.EditSensor(table.Find("Min. Laser Power"), "23"), "");
  EXPECT_EQ(table.rows()[table.Find("Threshold")].mark, RowMark::kEdited);
  trace_.Clear();
  const fleet::WriteOutcome outcome = table.WriteChanged();
  EXPECT_EQ(outcome.written, 2);
  EXPECT_EQ(outcome.verified, 2) << outcome.Text();
  EXPECT_EQ(Writes(), (std::vector<int>{cmd::SetMinLP, cmd::SetThreshold}));
  EXPECT_EQ(sim_->Snapshot().settings.threshold, 61);
  EXPECT_EQ(sim_->Snapshot().settings.minLaserPower, 23);
  EXPECT_EQ(table.rows()[table.Find("Threshold")].mark, RowMark::kVerified);
  EXPECT_EQ(table.rows()[table.Find("Threshold")].sensor.value, "61");
  EXPECT_FALSE(table.HasEdits());

  ASSERT_TRUE(table.CanUndo());
  trace_.Clear();
  const fleet::WriteOutcome undo = table.UndoLastWrite();
  EXPECT_EQ(undo.verified, 2) << undo.Text();
  EXPECT_EQ(Writes(), (std::vector<int>{cmd::SetMinLP, cmd::SetThreshold}));
  EXPECT_EQ(sim_->Snapshot().settings.threshold, before.settings.threshold);
  EXPECT_EQ(sim_->Snapshot().settings.minLaserPower, before.settings.minLaserPower);
  EXPECT_EQ(table.rows()[table.Find("Min. Laser Power")].mark, RowMark::kVerified);
}

TEST_P(ParameterTableEveryModel, OfflineEditThenApplyOnConnectGivesTheEditedValues) {
  Connect();
  fleet::SensorBackup backup;
  std::string error;
  ASSERT_TRUE(fleet::CaptureBackup(Doc(), backup, error)) << error;
  const std::string path = dir_.File("sensor.json");
  ASSERT_TRUE(fleet::WriteBackupFile(path, backup, error)) << error;

  // The refusal leaves the file byte for byte as it was.
  const std::string original = files::ReadBoundedFile(path, 1 << 20).content;
  bool refused = false;
  EXPECT_FALSE(fleet::EditSettingsFile(path, GetParam().refusedName, GetParam().refusedValue, error, refused));
  EXPECT_TRUE(refused);
  EXPECT_EQ(error.rfind(GetParam().refusal, 0), 0u) << error;
  EXPECT_EQ(files::ReadBoundedFile(path, 1 << 20).content, original);

  ASSERT_TRUE(fleet::EditSettingsFile(path, "threshold", "99", error, refused)) << error;
  ASSERT_TRUE(fleet::EditSettingsFile(path, "Max. Volts", "4.321", error, refused)) << error;

  fleet::ParameterTable table(Doc());
  ASSERT_TRUE(table.OpenFile(path, error)) << error;
  EXPECT_EQ(table.SerialNumberWarning(), "");
  EXPECT_TRUE(table.rows()[table.Find("Threshold")].differs);
  EXPECT_FALSE(table.rows()[table.Find("Min. Laser Power")].differs);
  EXPECT_EQ(table.rows()[table.Find("Max. Volts")].file.value, "4.321");
  const fleet::WriteOutcome outcome = table.ApplyFileValues({});
  EXPECT_TRUE(outcome.AllVerified()) << outcome.Text();
  EXPECT_EQ(outcome.written, 2);
  EXPECT_EQ(sim_->Snapshot().settings.threshold, 99);
  EXPECT_EQ(table.rows()[table.Find("Max. Volts")].sensor.value, "4.321");
  for (const fleet::TableRow& row : table.rows()) EXPECT_FALSE(row.differs) << row.name;
}

INSTANTIATE_TEST_SUITE_P(
    Models, ParameterTableEveryModel,
    ::testing::Values(ParamCase{"KRV02", kModelKRV02, "Threshold", "256", "Thresholdmust be between 0 and 255"},
                      ParamCase{"Qmt Long", kModelQmtLong, "Cosine", "1.0001", "Cosine must be between 0 and 1.0000"},
                      ParamCase{"KRV04", kModelKRV04, "Threshold", "-1", "Threshold must be between 0 and 255"},
                      ParamCase{"Qmt Short", kModelQmtShort, "Max. Volts", "70", "Max. Volts must be between"},
                      ParamCase{"KRV04 Board Flipper", kModelKRV04BoardFlipper, "Min. Range", "9",
                                "Range values must be between"}),
    [](const ::testing::TestParamInfo<ParamCase>& p) {
      std::string name = p.param.model;
      name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
      return name;
    });

using ParameterFileTest = testsupport::SimDocumentTest;

// A file of another sensor says so before anything is applied, and the
// file's values can be taken from the sensor and saved.
TEST_F(ParameterFileTest, FileOfAnotherSensorIsNamedAndTakesTheSensorsValues) {
  sim::VirtualSensor& sensor = StartSensor(SensorOf("KRV04"));
  ASSERT_TRUE(ConnectDoc());
  fleet::SensorBackup backup;
  std::string error;
  ASSERT_TRUE(fleet::CaptureBackup(Doc(), backup, error)) << error;
  backup.serialNumber = "OTHER-1";
  const std::string path = dir_.File("other.json");
  ASSERT_TRUE(fleet::WriteBackupFile(path, backup, error)) << error;
  fleet::ParameterTable table(Doc());
  ASSERT_TRUE(table.OpenFile(path, error)) << error;
  EXPECT_NE(table.SerialNumberWarning().find("OTHER-1"), std::string::npos);

  ASSERT_EQ(table.EditFile(table.Find("Threshold"), "300"), "Threshold must be between 0 and 255");
  ASSERT_EQ(table.EditFile(table.Find("Threshold"), "44"), "");
  EXPECT_TRUE(table.fileModified());
  EXPECT_TRUE(table.rows()[table.Find("Threshold")].differs);
  ASSERT_TRUE(table.TakeSensorValues({"Threshold"}, error)) << error;
  EXPECT_FALSE(table.rows()[table.Find("Threshold")].differs);
  ASSERT_TRUE(table.SaveFileAs(dir_.File("taken.json"), error)) << error;
  fleet::SensorBackup saved;
  ASSERT_TRUE(fleet::ReadBackupFile(dir_.File("taken.json"), saved, error)) << error;
  EXPECT_EQ(saved.Find("Threshold")->value, std::to_string(sensor.Snapshot().settings.threshold));
  EXPECT_EQ(saved.serialNumber, "OTHER-1");
}

}  // namespace
