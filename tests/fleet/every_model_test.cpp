// Every model the model table holds, whatever registered it (the program's
// own, and those of the test build's model folders), goes the whole way
// through the engine against a virtual sensor of that model: connect and
// identify, the settings list and each value, a change by name written and
// read back (a value outside its check refused, nothing sent), a backup, a
// restore counting each setting once, and the parameter table. A model
// added as a folder is covered here without a line of this file changed.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/sim_document.h"
#include "tarkon/document/numeric_text.h"
#include "tarkon/fleet/fleet_tools.h"
#include "tarkon/fleet/parameter_table.h"
#include "tarkon/fleet/setting_layout.h"
#include "tarkon/fleet/settings_backup.h"
#include "tarkon/fleet/settings_restore.h"
#include "tarkon/models/model_table.h"

namespace {

class EveryModel : public testsupport::SimDocumentTest {};

std::string Whole(double v) { return std::to_string(static_cast<long long>(v)); }

TEST_F(EveryModel, ConnectsListsSetsBacksUpRestoresAndFillsTheParameterTable) {
  // The test build registers a model of its own after the program's.
  ASSERT_GT(ModelCount(), kModelCount);
  for (const ModelEntry& model : ModelTable()) {
    SCOPED_TRACE(model.displayName);
    StartSensor(testsupport::SensorOf(model.displayName));
    sensor_->Mutate([](sim::SensorState& s) { s.settings.analog.maxRange = 7000; });

    // Connect: identified by its model string.
    ASSERT_TRUE(ConnectDoc());
    EXPECT_EQ(Doc().sensor().modelIndex(), model.index);
    EXPECT_EQ(Doc().sensor().modelText(), model.displayName);
    ModelSettings& settings = *Doc().currentSettings();

    // The settings list: every setting its rows name, each with its value.
    std::vector<std::string> names, values;
    settings.Summary(names, values);
    std::vector<std::string> listed;
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i].empty()) continue;
      listed.push_back(names[i]);
      EXPECT_FALSE(values[i].empty()) << names[i];
    }
    EXPECT_EQ(listed, settings.SettingNames());
    std::vector<std::string> layout;
    for (const fleet::SettingLayout& l : fleet::LayoutOfModel(model.index)) layout.push_back(l.name);
    EXPECT_EQ(layout, listed);

    // A change by name: refused outside the threshold's own range, written
    // and read back inside it.
    const SettingField& threshold = *settings.Row("Threshold");
    const auto limits = setting_values::NumericLimits(threshold, settings.ShownContext());
    ASSERT_TRUE(limits.has_value());
    trace_.Clear();
    const SetResult refused = settings.ChangeSetting("Threshold", Whole(limits->high + 1));
    EXPECT_TRUE(refused.Refused());
    EXPECT_TRUE(trace_.Commands().empty());
    const double wanted = std::floor((limits->low + limits->high) / 2);
    const SetResult set = settings.ChangeSetting("Threshold", Whole(wanted));
    ASSERT_TRUE(set.reread) << set.message;
    EXPECT_EQ(set.value, Whole(wanted));
    EXPECT_EQ(sensor_->Snapshot().settings.threshold, wanted);

    // A backup, two settings changed on the sensor, the restore: each
    // setting of the file counted once.
    fleet::SensorBackup backup;
    std::string error;
    ASSERT_TRUE(fleet::CaptureBackup(Doc(), backup, error)) << error;
    EXPECT_EQ(backup.settings.size(), listed.size());
    sensor_->Mutate([](sim::SensorState& s) {
      s.settings.threshold = static_cast<uint8_t>(s.settings.threshold + 1);
      s.settings.maxLaserPower = static_cast<uint8_t>(s.settings.maxLaserPower - 1);
    });
    const fleet::RestoreReport restored = fleet::RestoreSettings(Doc(), backup, {});
    EXPECT_TRUE(restored.AllVerified());
    EXPECT_EQ(fleet::RestoreOutcomeText(restored), "Changed 2, already matched " +
                                                       std::to_string(listed.size() - 2) +
                                                       ". Every change verified.");
    EXPECT_EQ(sensor_->Snapshot().settings.threshold, wanted);

    // The parameter table: a row per setting with its group, unit and range.
    fleet::ParameterTable table(Doc());
    ASSERT_EQ(table.rows().size(), listed.size());
    for (size_t i = 0; i < listed.size(); ++i) {
      const fleet::TableRow& row = table.rows()[i];
      EXPECT_EQ(row.name, listed[i]);
      EXPECT_FALSE(row.sensor.group.empty()) << row.name;
    }
    const fleet::TableRow& volts = table.rows()[table.Find("Max. Volts")];
    EXPECT_EQ(volts.sensor.unit, "V");
    const fleet::TableRow& thresholdRow = table.rows()[table.Find("Threshold")];
    EXPECT_EQ(thresholdRow.sensor.min, Whole(limits->low));
    EXPECT_EQ(thresholdRow.sensor.max, Whole(limits->high));

    DestroyDoc();
    sensor_.reset();
  }
}

}  // namespace
