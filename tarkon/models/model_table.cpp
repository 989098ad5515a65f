#include "tarkon/models/model_table.h"

#include "tarkon/document/scan_buffer.h"

const std::array<ModelEntry, kModelCount>& ModelTable() {
  static const std::array<ModelEntry, kModelCount> table = {{
      {kModelKRV02, "KRV02", SettingsDialogKind::kKRV02, ViewPanelKind::kKRV02},
      {kModelKRV04, "KRV04", SettingsDialogKind::kKRV04, ViewPanelKind::kKRV04},
      {kModelQmtLong, "Qmt Long", SettingsDialogKind::kKRV02, ViewPanelKind::kKRV02},
      {kModelQmtShort, "Qmt Short", SettingsDialogKind::kQmtShort, ViewPanelKind::kQmtShort},
      {kModelKRV04BoardFlipper, "KRV04 Board Flipper", SettingsDialogKind::kKRV04BoardFlipper,
       ViewPanelKind::kKRV04BoardFlipper},
  }};
  return table;
}

const std::array<ModelStringEntry, kModelStringCount>& ModelStringTable() {
  static const std::array<ModelStringEntry, kModelStringCount> table = {{
      {"0 QMT2000", kModelQmtShort},
      {"0 QMT12-20-6", kModelQmtShort},
      {"O QMT2000", kModelQmtShort},  // the capital letter O, not the digit zero
      {"1 QMTLONG", kModelQmtLong},
      {"1 QMT2000LR", kModelQmtLong},
      {"0 QMT2000LR", kModelQmtLong},
      {"0 M3-9-6", kModelKRV04},
      {"0 M3-9-7HT", kModelKRV04},
      {"0 M3-9-6BF", kModelKRV04BoardFlipper},
      {"0 M7-30-6", kModelKRV02},
      {"0 M15-30-6", kModelKRV02},
      {"1 M15-150-7", kModelKRV02},
      {"0 M25-30-6", kModelKRV02},
      {"0 KRV-02", kModelKRV02},
  }};
  return table;
}

std::string ModelDisplayName(int model) {
  if (model < 0 || model >= kModelCount) return std::string();
  return ModelTable()[static_cast<size_t>(model)].displayName;
}

int ModelIndexOfString(const std::string& modelString) {
  for (const ModelStringEntry& row : ModelStringTable()) {
    if (modelString == row.modelString) return row.modelIndex;
  }
  return -1;
}

std::string DisplayNameOfModelString(const std::string& modelString) {
  return ModelDisplayName(ModelIndexOfString(modelString));
}

std::string ReplyText(const uint8_t* field, size_t size, size_t maxChars) {
  std::string text;
  for (size_t i = 0; i < size && i < maxChars && field[i] != 0; ++i) {
    text += static_cast<char>(field[i]);
  }
  return text;
}

ModelIdentification IdentifyModel(const std::string& modelString, bool manufacturingMode) {
  ModelIdentification result;
  int model = ModelIndexOfString(modelString);
  if (model < 0) {
    if (!manufacturingMode) return result;
    model = kModelKRV02;
    result.assumedKRV02 = true;
  }
  result.identified = true;
  result.model = model;
  result.modelText = ModelDisplayName(model);
  return result;
}

ModelIdentification IdentifyModelReply(const uint8_t modelName[16], bool manufacturingMode) {
  return IdentifyModel(ReplyText(modelName, 16), manufacturingMode);
}

bool UsesKRV02VersionCommand(int model) { return model == kModelKRV02 || model == kModelQmtLong; }

bool IsKRV02Family(int model) { return model == kModelKRV02 || model == kModelQmtLong; }

bool HasErrorCounters(int model) { return IsKRV02Family(model); }

bool HasScanBuffer(int model) { return IsKRV02Family(model) || model == kModelKRV04BoardFlipper; }

int ScanRangesOffered(int model, const uint8_t* krv02State) {
  if (IsKRV02Family(model)) return krv02State != nullptr ? KRV02RangesAvailable(krv02State) : 0;
  if (model == kModelKRV04BoardFlipper) return kBoardFlipperRangesAvailable;
  return 0;
}
