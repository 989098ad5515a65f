#pragma once
// The sensor models the virtual sensor can pretend to be.
//
// A sensor identifies itself by a model string; fourteen strings are known
// and each belongs to one of five models. The model decides the size of the
// setup and live-state replies:
//
//   model                 setup reply   live state reply
//   KRV02, Qmt Long       31 bytes      14 bytes (command 21)
//   KRV04, Qmt Short      28 bytes      14 bytes (command 41)
//   KRV04 Board Flipper   28 bytes      22 bytes (command 41)

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

enum ModelIndex : int {
  kKrv02 = 0,
  kKrv04 = 1,
  kQmtLong = 2,
  kQmtShort = 3,
  kBoardFlipper = 4,
};

constexpr int kModelCount = 5;
constexpr int kModelStringCount = 14;

// One known model string with the factory identity a sensor of that kind
// ships with.
struct ModelRow {
  const char* modelString;
  ModelIndex model;
  const char* serial;        // 8 characters
  uint16_t firmwareVersion;  // version x 100
  char revision;             // revision letter; "C" selects the finer averaging step
  uint8_t fpgaVersion;       // version x 10
};

// The fourteen known model strings in their fixed order, then any a build
// registered.
const ModelRow& ModelRowAt(int row);
// How many model strings are known (the fourteen and the registered ones).
int ModelStringCountWithRegistered();

// Registers one more model string (a static object, in a test build's
// model folder): a sensor of a model the program does not know, which the
// virtual sensor plays as the model its row names (its replies are that
// model's) under its own model string, serial number and versions, and
// which `displayName` also names.
struct ModelRegistration {
  ModelRegistration(const ModelRow& row, const char* displayName);
};

// Display name of a model: "KRV02", "KRV04", "Qmt Long", "Qmt Short",
// "KRV04 Board Flipper".
const char* DisplayName(ModelIndex model);

// Model of a model string (exact, case-sensitive, whole-string match), or
// nothing for an unknown string.
std::optional<ModelIndex> ModelOfString(std::string_view modelString);

// Row of a known model string, or nothing.
std::optional<int> RowOfString(std::string_view modelString);

// Maps what a user typed to the model string the virtual sensor will report:
// a known model string is taken as it is; otherwise a display name (case,
// blanks, '-' and '_' ignored, so "KRV04 Board Flipper", "krv04-board-flipper"
// and the short form "KRV04BF" all work) gives the first model string of
// that model. Nothing when the text names no model.
std::optional<std::string> ResolveModelString(std::string_view nameOrString);

// True for the models whose setup reply is the 31-byte record.
inline bool IsKrv02Family(int model) { return model == kKrv02 || model == kQmtLong; }

}  // namespace sim
