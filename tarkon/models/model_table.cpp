#include "tarkon/models/model_table.h"

#include "tarkon/models/krv02/krv02_model.h"
#include "tarkon/models/krv04/krv04_model.h"
#include "tarkon/models/krv04bf/krv04bf_model.h"
#include "tarkon/models/qmt_short/qmt_short_model.h"

namespace {

std::vector<ModelEntry>& Models() {
  static std::vector<ModelEntry> table = {
      {kModelKRV02, "KRV02", SettingsDialogKind::kKRV02, ViewPanelKind::kKRV02, krv02::Parts},
      {kModelKRV04, "KRV04", SettingsDialogKind::kKRV04, ViewPanelKind::kKRV04, krv04::Parts},
      // Qmt Long is a KRV02 in all but its name.
      {kModelQmtLong, "Qmt Long", SettingsDialogKind::kKRV02, ViewPanelKind::kKRV02, krv02::Parts},
      {kModelQmtShort, "Qmt Short", SettingsDialogKind::kQmtShort, ViewPanelKind::kQmtShort, qmt_short::Parts},
      {kModelKRV04BoardFlipper, "KRV04 Board Flipper", SettingsDialogKind::kKRV04BoardFlipper,
       ViewPanelKind::kKRV04BoardFlipper, krv04bf::Parts},
  };
  return table;
}

std::vector<ModelStringEntry>& ModelStrings() {
  static std::vector<ModelStringEntry> table = {
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
  };
  return table;
}

}  // namespace

const std::vector<ModelEntry>& ModelTable() { return Models(); }

int ModelCount() { return static_cast<int>(Models().size()); }

ModelRegistration::ModelRegistration(const ModelEntry& entry, std::vector<ModelStringEntry> strings) {
  // Rows stay in index order: a registration out of turn is a build error
  // caught by the model table's test, not a model silently renumbered.
  if (entry.index != ModelCount()) return;
  Models().push_back(entry);
  for (ModelStringEntry& s : strings) ModelStrings().push_back(s);
}

const ModelEntry* ModelEntryOf(int model) {
  if (model < 0 || model >= ModelCount()) return nullptr;
  return &Models()[static_cast<size_t>(model)];
}

const ModelParts* PartsOfModel(int model) {
  const ModelEntry* entry = ModelEntryOf(model);
  return entry != nullptr ? &entry->parts() : nullptr;
}

std::optional<RangeModeSet> ModeSetOfModel(int model) {
  const ModelParts* parts = PartsOfModel(model);
  if (parts == nullptr) return std::nullopt;
  return parts->modes;
}

int ModeByteOfModel(int model, const SensorCommands& commands) {
  const ModelParts* parts = PartsOfModel(model);
  return parts != nullptr ? parts->modeByte(commands) : 0;
}

const std::vector<ModelStringEntry>& ModelStringTable() { return ModelStrings(); }

std::string ModelDisplayName(int model) {
  const ModelEntry* entry = ModelEntryOf(model);
  return entry != nullptr ? entry->displayName : std::string();
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

bool UsesKRV02VersionCommand(int model) {
  const ModelParts* parts = PartsOfModel(model);
  return parts != nullptr && parts->krv02VersionCommand;
}

bool IsKRV02Family(int model) {
  const ModelParts* parts = PartsOfModel(model);
  return parts != nullptr && parts->krv02Extras;
}

bool HasErrorCounters(int model) { return IsKRV02Family(model); }

bool HasScanBuffer(int model) {
  const ModelParts* parts = PartsOfModel(model);
  return parts != nullptr && parts->scanRanges != nullptr;
}

int ScanRangesOffered(int model, const uint8_t* krv02State) {
  const ModelParts* parts = PartsOfModel(model);
  return parts != nullptr && parts->scanRanges != nullptr ? parts->scanRanges(krv02State) : 0;
}

// The range mode table's lookups by model number: the model's set, from
// its row of the table.
const RangeModeRow& RangeModeTable::Lookup(int model, int mode) const {
  const std::optional<RangeModeSet> set = ModeSetOfModel(model);
  return set ? Lookup(*set, mode) : invalid_;
}

std::vector<std::string> RangeModeTable::ModeTexts(int model) const {
  std::vector<std::string> texts;
  for (int mode = 0; mode < kSetCapacityA; ++mode) {
    const RangeModeRow& row = Lookup(model, mode);
    if (&row == &invalid_) break;
    texts.push_back(row.text);
  }
  return texts;
}
