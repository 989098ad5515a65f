#include "sim/model_table.h"

#include <array>
#include <cctype>
#include <vector>

namespace sim {
namespace {

// Serial numbers and versions are what a freshly calibrated unit of each
// kind would report; some carry the revision letter "C", some do not, so
// both averaging formats of the host can be exercised.
constexpr std::array<ModelRow, kModelStringCount> kRows = {{
    {"0 QMT2000", kQmtShort, "QS200417", 214, 'B', 12},
    {"0 QMT12-20-6", kQmtShort, "QS122093", 221, 'C', 12},
    {"O QMT2000", kQmtShort, "QS200022", 198, 'A', 11},
    {"1 QMTLONG", kQmtLong, "QL100311", 305, 'C', 20},
    {"1 QMT2000LR", kQmtLong, "QL200154", 297, 'B', 20},
    {"0 QMT2000LR", kQmtLong, "QL200187", 301, 'C', 20},
    {"0 M3-9-6", kKrv04, "K4030961", 412, 'B', 31},
    {"0 M3-9-7HT", kKrv04, "K4039752", 415, 'C', 31},
    {"0 M3-9-6BF", kBoardFlipper, "BF039618", 420, 'C', 32},
    {"0 M7-30-6", kKrv02, "K2073064", 318, 'C', 15},
    {"0 M15-30-6", kKrv02, "K2153077", 312, 'B', 15},
    {"1 M15-150-7", kKrv02, "K2151507", 320, 'C', 16},
    {"0 M25-30-6", kKrv02, "K2253012", 309, 'A', 14},
    {"0 KRV-02", kKrv02, "K2000126", 250, 'B', 10},
}};

constexpr std::array<const char*, kModelCount> kDisplayNames = {
    "KRV02", "KRV04", "Qmt Long", "Qmt Short", "KRV04 Board Flipper"};

struct Registered {
  ModelRow row;
  std::string displayName;
};

std::vector<Registered>& RegisteredRows() {
  static std::vector<Registered> rows;
  return rows;
}

std::string Normalized(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' || c == '-' || c == '_') continue;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

}  // namespace

const ModelRow& ModelRowAt(int row) {
  if (row >= kModelStringCount) return RegisteredRows().at(static_cast<size_t>(row - kModelStringCount)).row;
  return kRows.at(static_cast<size_t>(row));
}

int ModelStringCountWithRegistered() { return kModelStringCount + static_cast<int>(RegisteredRows().size()); }

ModelRegistration::ModelRegistration(const ModelRow& row, const char* displayName) {
  RegisteredRows().push_back({row, displayName});
}

const char* DisplayName(ModelIndex model) {
  if (model < 0 || model >= kModelCount) return "Unknown";
  return kDisplayNames[static_cast<size_t>(model)];
}

std::optional<int> RowOfString(std::string_view modelString) {
  for (int i = 0; i < ModelStringCountWithRegistered(); ++i)
    if (modelString == ModelRowAt(i).modelString) return i;
  return std::nullopt;
}

std::optional<ModelIndex> ModelOfString(std::string_view modelString) {
  if (auto row = RowOfString(modelString)) return ModelRowAt(*row).model;
  return std::nullopt;
}

std::optional<std::string> ResolveModelString(std::string_view nameOrString) {
  if (RowOfString(nameOrString)) return std::string(nameOrString);
  const std::string wanted = Normalized(nameOrString);
  if (wanted.empty()) return std::nullopt;
  std::optional<ModelIndex> model;
  for (int m = 0; m < kModelCount; ++m)
    if (wanted == Normalized(kDisplayNames[static_cast<size_t>(m)])) model = static_cast<ModelIndex>(m);
  if (!model && wanted == "krv04bf") model = kBoardFlipper;
  if (!model) {
    for (const Registered& r : RegisteredRows())
      if (wanted == Normalized(r.displayName)) return std::string(r.row.modelString);
    return std::nullopt;
  }
  for (const ModelRow& row : kRows)
    if (row.model == *model) return std::string(row.modelString);
  return std::nullopt;
}

}  // namespace sim
