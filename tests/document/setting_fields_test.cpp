// The dialogs' words come from one table: every setting a model can change
// has its caption there, and a refusal that names a setting is reworded
// with the caption of that model's dialog (the command-line tool keeps the
// setting's own name).

#include <gtest/gtest.h>

#include <memory>

#include "protocol/sensor_commands.h"
#include "tarkon/models/krv02/krv02_settings.h"
#include "tarkon/models/krv04/krv04_settings.h"
#include "tarkon/models/qmt_short/qmt_short_settings.h"
#include "tarkon/models/krv04bf/krv04bf_settings.h"

namespace {

TEST(SettingFields, EverySettingHasACaptionAndRefusalsUseIt) {
  SensorCommands commands;
  RangeModeTable table;
  const std::unique_ptr<ModelSettings> models[] = {
      std::make_unique<KRV02Settings>(commands, table, [] { return 0; }, nullptr),
      std::make_unique<KRV04Settings>(commands, table, nullptr),
      std::make_unique<QmtShortSettings>(commands, table, nullptr),
      std::make_unique<KRV04BFSettings>(commands, table, nullptr),
  };
  for (const auto& m : models) {
    for (const std::string& name : m->SettingNames())
      EXPECT_NE(setting_fields::Find(m->Fields(), name), nullptr) << name << " has no caption";
  }
  const struct {
    int model;  // index into models
    const char* message;
    const char* worded;
  } cases[] = {
      {1, "Max. Volts must be between 0.000 and 65.535", "Volts @ Maximum must be between 0.000 and 65.535"},
      {0, "Max. Volts must be between -32.768 and 32.767", "Volts @ maximum must be between -32.768 and 32.767"},
      {0, "Max. Range must be between 0.000 inch and 65.535 inch", "Max. Range must be between 0.000 inch and 65.535 inch"},
      {0, "Out of Range must be between -32.768 and 32.767", "Volts outside range must be between -32.768 and 32.767"},
      {1, "Max samples to hold last range must be between 0 and 65535", "Max # dropouts must be between 0 and 65535"},
      {3, "Min Wane Width must be between 0.000 and 65.535", "Min. Wane Width must be between 0.000 and 65.535"},
      {0, "Multiplier must be between -32.768 and 32.767", "Range multiplier must be between -32.768 and 32.767"},
      // Texts that open with no setting's name stay as they are.
      {0, "Thresholdmust be between 0 and 255", "Thresholdmust be between 0 and 255"},
      {2, "Range values must be between 0.000 inch and 30.000 inch", "Range values must be between 0.000 inch and 30.000 inch"},
  };
  for (const auto& c : cases) EXPECT_EQ(models[c.model]->InDialogWords(c.message), c.worded);
}

}  // namespace
