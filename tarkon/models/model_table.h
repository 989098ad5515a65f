#pragma once
// The table that registers the sensor models, the model strings by which
// a sensor names itself, and the identification of a connected sensor from
// its reply.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tarkon/models/model_index.h"
#include "tarkon/models/model_parts.h"

// One row per model: its display name, the settings dialog and view panel
// that serve it, and its parts (the model folder's rows, settings record,
// panel rows and reply layout). A model of the program is its folder and
// its row and model strings here; a model that a build adds (a test
// build's family member) registers its row and strings from its own
// folder with a ModelRegistration.
struct ModelEntry {
  int index;
  const char* displayName;
  SettingsDialogKind settingsDialog;
  ViewPanelKind panel;
  const ModelParts& (*parts)();
};

struct ModelStringEntry {
  const char* modelString;  // as the sensor reports it
  int32_t modelIndex;
};
// The program's own model strings.
constexpr size_t kModelStringCount = 14;

// The model table, one row per model index: the program's five, then any
// a build registered.
const std::vector<ModelEntry>& ModelTable();
// How many models the table holds.
int ModelCount();
// The row of a model index; null for an index the table does not hold.
const ModelEntry* ModelEntryOf(int model);
// The parts of a model index; null for an index the table does not hold.
const ModelParts* PartsOfModel(int model);

// Registers a model beyond the program's own (a static object in the
// model's folder, linked only into the build that has the model): its row,
// whose index must be the next free one, and its model strings.
struct ModelRegistration {
  ModelRegistration(const ModelEntry& entry, std::vector<ModelStringEntry> strings);
};
// The set of range-mode rows of a model; nothing for an unknown index.
std::optional<RangeModeSet> ModeSetOfModel(int model);
// The model strings in the order they are compared (the program's own,
// then those of registered models).
const std::vector<ModelStringEntry>& ModelStringTable();

// Display name of a model index; empty for an index the table does not hold.
std::string ModelDisplayName(int model);
// Model index of a model string (exact, whole-string match); -1 if none.
int ModelIndexOfString(const std::string& modelString);
// Display name of the model a model string stands for; empty if none.
std::string DisplayNameOfModelString(const std::string& modelString);

// The text of an identification reply field (model name, serial number):
// its bytes up to the first NUL, within `size` bytes, at most `maxChars`.
std::string ReplyText(const uint8_t* field, size_t size, size_t maxChars = SIZE_MAX);

// Outcome of identifying a connected sensor.
struct ModelIdentification {
  bool identified = false;   // false: the connect fails with kUnknownModelLine
  int model = -1;            // model index when identified
  std::string modelText;     // display name when identified
  // True when the string is unknown and manufacturing mode made it a KRV02;
  // the document then logs kUnknownModelManufacturingLine with kind 0.
  bool assumedKRV02 = false;
};

constexpr const char* kUnknownModelLine = "Connected to the sensor, but the model name is unknown.";
constexpr const char* kUnknownModelManufacturingLine =
    "Sensor responded with unknown model string.Since in manufacturing mode initializing as KRV02.";

// Compares the model string with the table in order, byte for byte and
// case-sensitive over the whole string (no prefix match, no trimming).
ModelIdentification IdentifyModel(const std::string& modelString, bool manufacturingMode);
// The same from the 16-byte model name reply area.
ModelIdentification IdentifyModelReply(const uint8_t modelName[16], bool manufacturingMode);

// True when the model's versions come from GetVersion (KRV02, Qmt Long);
// the others answer GetKRV04Version.
bool UsesKRV02VersionCommand(int model);

// What a model offers beyond its live diagnostics. Every front end (the
// desktop panels, the command-line tool) asks here, so they agree.
// KRV02 and Qmt Long: the KRV02 panel with its error counters, scanning and
// scan buffer page.
bool IsKRV02Family(int model);
// GetErrorState is read from the KRV02 family only.
bool HasErrorCounters(int model);
// The scan buffer is offered by the KRV02 family and the board flipper.
bool HasScanBuffer(int model);
// How many ranges the model's scan buffer offers: the KRV02 family reads it
// from the scan count of its last GetKRV02State reply (`krv02State`, may be
// null for the others), the board flipper always offers 8192; 0 for a model
// without a scan buffer.
int ScanRangesOffered(int model, const uint8_t* krv02State);
// The range mode byte of the model's last setup reply (0 for an unknown
// index or a model with a single mode).
int ModeByteOfModel(int model, const SensorCommands& commands);
