// Every model registered in the model table brings parts that agree with
// each other: the backup keeps exactly the settings its record lists, each
// read from inside its reply, and the range mode comes from the reply byte
// the model's folder names.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tarkon/document/live_panels.h"
#include "tarkon/fleet/setting_layout.h"
#include "tarkon/models/setting_values.h"
#include "tarkon/models/model_table.h"

namespace {

TEST(ModelParts, EveryModelsBackupKeepsTheSettingsItsRecordLists) {
  SensorCommands commands;
  const RangeModeTable modes;
  for (const ModelEntry& row : ModelTable()) {
    const ModelParts& parts = row.parts();
    const int index = row.index;
    std::unique_ptr<ModelSettings> record = parts.newSettings(commands, modes, [index] { return index; }, nullptr);
    ASSERT_NE(record, nullptr) << row.displayName;
    std::vector<std::string> layoutNames;
    for (const fleet::SettingLayout& l : fleet::LayoutOfModel(row.index)) {
      layoutNames.push_back(l.name);
      // Read from inside its reply: a layout past the reply's end gives no bytes.
      EXPECT_EQ(setting_values::RawBytes(commands, l).size(), l.size) << row.displayName << ": " << l.name;
    }
    EXPECT_EQ(layoutNames, record->SettingNames()) << row.displayName;
  }
}

TEST(ModelParts, RangeModeComesFromTheSetupByteTheModelNames) {
  SensorCommands commands;
  std::memset(commands.sensorSetup, 0, sizeof commands.sensorSetup);
  std::memset(commands.krv04Setup, 0, sizeof commands.krv04Setup);
  commands.sensorSetup[9] = 7;
  commands.krv04Setup[27] = 1;
  EXPECT_EQ(ModeByteOfModel(kModelKRV02, commands), 7);
  EXPECT_EQ(ModeByteOfModel(kModelQmtLong, commands), 7);
  EXPECT_EQ(ModeByteOfModel(kModelKRV04, commands), 1);
  EXPECT_EQ(ModeByteOfModel(kModelKRV04BoardFlipper, commands), 1);
  // Qmt Short has one mode, whatever its byte 27 says.
  EXPECT_EQ(ModeByteOfModel(kModelQmtShort, commands), 0);
  EXPECT_EQ(ModeByteOfModel(ModelCount(), commands), 0);  // past the table
  // The backup's "Mode" of each model with a mode selection is that byte.
  for (int model : {kModelKRV02, kModelKRV04, kModelKRV04BoardFlipper}) {
    const fleet::SettingLayout* mode = fleet::FindLayout(model, "Mode");
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(fleet::RawValue(*mode, setting_values::RawBytes(commands, *mode)), ModeByteOfModel(model, commands));
  }
  EXPECT_EQ(fleet::FindLayout(kModelQmtShort, "Mode"), nullptr);
}

TEST(ModelParts, ModelsThatShareAPanelShareItsRows) {
  for (const ModelEntry& row : ModelTable()) {
    EXPECT_EQ(LivePanelOfModel(row.index), row.panel);
    const PanelRows rows = EmptyDiagnosticRows(row.panel);
    ASSERT_EQ(rows.size(), row.parts().livePanel().names.size()) << row.displayName;
    EXPECT_EQ(rows.back().name, "Range") << row.displayName;
  }
  EXPECT_EQ(LivePanelOfModel(-1), LivePanel::kKRV02);
}

}  // namespace
