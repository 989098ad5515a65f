#pragma once
// What one model (or one family of models that the program treats alike)
// brings to the program. Each model folder fills one of these; the model
// table (model_table.h) registers it, and the document, the fleet tools
// and the front ends find a model's parts only through that table.

#include <memory>
#include <vector>

#include "protocol/sensor_commands.h"
#include "tarkon/document/range_mode_table.h"
#include "tarkon/models/live_panel_parts.h"
#include "tarkon/models/model_settings.h"

struct ModelParts {
  // The settings record; the document keeps one per model.
  std::unique_ptr<ModelSettings> (*newSettings)(SensorCommands& commands, const RangeModeTable& modes,
                                                ModelSettings::ModelGetter model,
                                                ModelSettings::StateChanged changed);
  // Every setting of the model, one row each, in the setup pane's order
  // (setting_fields.h): its checks, words, replies, backup and writes.
  const std::vector<SettingField>& (*settingRows)();
  const LivePanelParts& (*livePanel)();
  // The model's set of range-mode rows.
  RangeModeSet modes;
  // The range mode the sensor reported in its last setup reply; 0 for a
  // model with a single mode.
  int (*modeByte)(const SensorCommands& commands);
  // Versions come from GetVersion (else GetKRV04Version).
  bool krv02VersionCommand;
  // The KRV02 panel's extras: error counters, scanning and the scan page.
  bool krv02Extras;
  // Ranges the scan buffer offers now, from the last GetKRV02State reply
  // (may be null); null for a model without a scan buffer.
  int (*scanRanges)(const uint8_t* krv02State);
};
