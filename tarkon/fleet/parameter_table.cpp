#include "tarkon/fleet/parameter_table.h"

#include <algorithm>
#include <map>

#include "tarkon/document/krv02_doc.h"
#include "tarkon/document/numeric_text.h"
#include "tarkon/fleet/settings_bench.h"
#include "tarkon/fleet/fleet_tools.h"
#include "tarkon/fleet/settings_restore.h"

namespace fleet {
namespace {

bool TakesWord(SettingKind kind) { return kind == SettingKind::kOnOff || kind == SettingKind::kEnabled; }

}  // namespace

const char* RowMarkText(RowMark mark) {
  switch (mark) {
    case RowMark::kNone: return "";
    case RowMark::kEdited: return "edited";
    case RowMark::kRefused: return "refused";
    case RowMark::kVerified: return "verified";
    case RowMark::kNotVerified: return "not verified";
  }
  return "";
}

std::string WriteOutcome::Text() const {
  if (!error.empty()) return error;
  if (written == 0 && refused == 0) return "Nothing to write";
  std::string text = std::to_string(written) + (written == 1 ? " setting written, " : " settings written, ") +
                     std::to_string(verified) + " verified";
  if (notVerified > 0) text += ", " + std::to_string(notVerified) + " not verified";
  if (refused > 0) text += ", " + std::to_string(refused) + " refused (not sent)";
  return text;
}

ParameterTable::ParameterTable(CKRV02Doc& doc) : doc_(doc) { Reload(); }
ParameterTable::~ParameterTable() = default;

bool ParameterTable::connected() const { return doc_.connected(); }

const SensorBackup* ParameterTable::file() const { return bench_ ? &bench_->file() : nullptr; }

size_t ParameterTable::Find(const std::string& name) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].name == name) return i;
  return std::string::npos;
}

void ParameterTable::Reload() {
  std::map<std::string, TableRow> before;
  for (TableRow& row : rows_) before[row.name] = std::move(row);
  rows_.clear();
  const std::vector<ParameterRow> sensor = SensorRows(doc_);
  std::vector<ParameterRow> file;
  if (bench_) file = FileRows(bench_->file(), bench_->settings(), bench_->ranges());
  for (const ParameterRow& r : sensor) {
    TableRow row;
    row.name = r.name;
    row.hasSensor = true;
    row.sensor = r;
    rows_.push_back(std::move(row));
  }
  for (const ParameterRow& r : file) {
    size_t at = Find(r.name);
    if (at == std::string::npos) {
      TableRow row;
      row.name = r.name;
      rows_.push_back(std::move(row));
      at = rows_.size() - 1;
    }
    rows_[at].hasFile = true;
    rows_[at].file = r;
  }
  for (TableRow& row : rows_) {
    auto old = before.find(row.name);
    if (old == before.end()) continue;
    row.mark = old->second.mark;
    row.message = old->second.message;
    // An unwritten edit of the sensor only lives while there is a sensor.
    if (row.hasSensor) row.edit = old->second.edit;
    if (row.mark == RowMark::kEdited && row.edit.empty() && !fileModified_) row.mark = RowMark::kNone;
  }
  MarkFileRows();
}

void ParameterTable::MarkFileRows() {
  const bool sameModel = bench_ && doc_.connected() && bench_->file().modelIndex == doc_.sensor().modelIndex();
  for (TableRow& row : rows_) {
    row.differs = false;
    if (!row.hasSensor || !row.hasFile) continue;
    row.differs = sameModel ? row.sensor.raw != row.file.raw : row.sensor.number != row.file.number;
  }
}

// --- the sensor -------------------------------------------------------------

std::string ParameterTable::EditSensor(size_t index, const std::string& text) {
  if (index >= rows_.size() || !rows_[index].hasSensor) return "not connected to a sensor";
  TableRow& row = rows_[index];
  const SettingLayout* layout = FindLayout(doc_.sensor().modelIndex(), row.name);
  if (layout != nullptr && !TakesWord(layout->kind) &&
      CheckNumericText(text, kNumericLowest, kNumericHighest) == kNumericNotANumber) {
    row.mark = RowMark::kRefused;
    row.message = kNumericNotANumberMessage;
    while (!row.message.empty() && row.message.back() == '\n') row.message.pop_back();
    return row.message;
  }
  row.message.clear();
  if (text == row.sensor.number || text == row.sensor.value) {
    row.edit.clear();
    row.mark = RowMark::kNone;
  } else {
    row.edit = text;
    row.mark = RowMark::kEdited;
  }
  return std::string();
}

bool ParameterTable::HasEdits() const {
  return std::any_of(rows_.begin(), rows_.end(), [](const TableRow& r) { return !r.edit.empty(); });
}

WriteOutcome ParameterTable::WriteChanged() {
  std::vector<size_t> rows;
  for (size_t i = 0; i < rows_.size(); ++i)
    if (!rows_[i].edit.empty()) rows.push_back(i);
  return WriteRows(rows);
}

WriteOutcome ParameterTable::WriteGroupOf(size_t index) {
  std::vector<size_t> rows;
  if (index < rows_.size()) {
    const std::string group = rows_[index].sensor.group;
    for (size_t i = 0; i < rows_.size(); ++i)
      if (!rows_[i].edit.empty() && rows_[i].sensor.group == group) rows.push_back(i);
  }
  return WriteRows(rows);
}

void ParameterTable::Revert() {
  for (TableRow& row : rows_) {
    if (row.edit.empty() && row.mark != RowMark::kRefused) continue;
    row.edit.clear();
    row.message.clear();
    row.mark = RowMark::kNone;
  }
}

WriteOutcome ParameterTable::WriteRows(std::vector<size_t> rows) {
  // The dialogs' group order; within a group the setup pane's order.
  std::stable_sort(rows.begin(), rows.end(),
                   [this](size_t a, size_t b) { return rows_[a].sensor.writeOrder < rows_[b].sensor.writeOrder; });
  std::vector<std::pair<std::string, std::string>> values;
  for (size_t i : rows) values.emplace_back(rows_[i].name, rows_[i].edit);
  return WriteValues(values, nullptr);
}

WriteOutcome ParameterTable::WriteValues(const std::vector<std::pair<std::string, std::string>>& values,
                                         const std::vector<std::vector<uint8_t>>* expectedRaw) {
  WriteOutcome outcome;
  ModelSettings* settings = doc_.currentSettings();
  if (!doc_.connected() || settings == nullptr) {
    outcome.error = "Not connected to a sensor";
    return outcome;
  }
  if (!doc_.LineFree()) {
    outcome.error = "The line is busy; nothing was written";
    return outcome;
  }
  if (values.empty()) return outcome;
  std::vector<Written> before;
  std::vector<size_t> sent;  // indices into values
  for (size_t v = 0; v < values.size(); ++v) {
    const auto& [name, text] = values[v];
    const size_t at = Find(name);
    if (at == std::string::npos) continue;
    TableRow& row = rows_[at];
    if (!doc_.connected()) {
      row.mark = RowMark::kNotVerified;
      row.message = "not sent: the connection was lost before it";
      ++outcome.notVerified;
      continue;
    }
    const Written was{name, row.sensor.number, row.sensor.raw};
    const SetResult result = settings->ChangeSetting(name, text);
    if (result.Refused()) {
      row.mark = RowMark::kRefused;
      row.message = result.message;
      while (!row.message.empty() && row.message.back() == '\n') row.message.pop_back();
      ++outcome.refused;
      continue;
    }
    before.push_back(was);
    sent.push_back(v);
    ++outcome.written;
  }
  const bool reread = !sent.empty() && doc_.connected() && settings->Refresh();
  Reload();
  for (size_t k = 0; k < sent.size(); ++k) {
    const auto& [name, text] = values[sent[k]];
    const size_t at = Find(name);
    if (at == std::string::npos) continue;
    TableRow& row = rows_[at];
    row.edit.clear();
    // The typed text read as its write read it, against what the sensor holds.
    bool holds = false;
    if (reread && row.hasSensor) {
      holds = expectedRaw != nullptr ? row.sensor.raw == (*expectedRaw)[sent[k]] : settings->HoldsTyped(name, text);
    }
    row.mark = holds ? RowMark::kVerified : RowMark::kNotVerified;
    row.message = holds ? "" : reread ? "the sensor reports " + row.sensor.value : "the sensor's settings could not be read back";
    ++(holds ? outcome.verified : outcome.notVerified);
  }
  if (!before.empty()) undo_ = std::move(before);
  MarkFileRows();
  return outcome;
}

WriteOutcome ParameterTable::UndoLastWrite() {
  if (undo_.empty()) {
    WriteOutcome none;
    none.error = "Nothing to undo";
    return none;
  }
  // The mode first, as written, so the ranges go back in their own units.
  std::vector<Written> undo = undo_;
  std::stable_sort(undo.begin(), undo.end(), [this](const Written& a, const Written& b) {
    const size_t ia = Find(a.name), ib = Find(b.name);
    const int oa = ia == std::string::npos ? 0 : rows_[ia].sensor.writeOrder;
    const int ob = ib == std::string::npos ? 0 : rows_[ib].sensor.writeOrder;
    return oa < ob;
  });
  std::vector<std::pair<std::string, std::string>> values;
  std::vector<std::vector<uint8_t>> expected;
  for (const Written& w : undo) {
    values.emplace_back(w.name, w.before);
    expected.push_back(w.beforeRaw);
  }
  return WriteValues(values, &expected);
}

// --- a settings file ----------------------------------------------------------

bool ParameterTable::OpenFile(const std::string& path, std::string& error) {
  SensorBackup file;
  if (!ReadBackupFile(path, file, error)) return false;
  auto bench = std::make_unique<SettingsBench>();
  if (!bench->Open(file, error)) return false;
  bench_ = std::move(bench);
  filePath_ = path;
  fileModified_ = false;
  for (TableRow& row : rows_) {
    if (!row.edit.empty()) continue;
    row.mark = RowMark::kNone;
    row.message.clear();
  }
  Reload();
  return true;
}

void ParameterTable::CloseFile() {
  bench_.reset();
  filePath_.clear();
  fileModified_ = false;
  Reload();
}

std::string ParameterTable::EditFile(size_t index, const std::string& text) {
  if (!bench_ || index >= rows_.size() || !rows_[index].hasFile) return "no settings file is open";
  TableRow& row = rows_[index];
  const SetResult result = bench_->Edit(row.name, text);
  if (result.Refused()) {
    row.mark = RowMark::kRefused;
    row.message = result.message;
    while (!row.message.empty() && row.message.back() == '\n') row.message.pop_back();
    return row.message;
  }
  fileModified_ = true;
  row.mark = RowMark::kEdited;
  row.message.clear();
  Reload();
  return std::string();
}

bool ParameterTable::SaveFileAs(const std::string& path, std::string& error) {
  if (!bench_) {
    error = "no settings file is open";
    return false;
  }
  // Only what reads back as a settings file is written.
  SensorBackup check;
  if (!ParseBackup(BackupToJson(bench_->file()), check, error)) {
    error = "not saved: " + error;
    return false;
  }
  if (!WriteBackupFile(path, bench_->file(), error)) return false;
  filePath_ = path;
  fileModified_ = false;
  for (TableRow& row : rows_)
    if (row.mark == RowMark::kEdited && row.edit.empty()) row.mark = RowMark::kNone;
  return true;
}

bool ParameterTable::SaveFile(std::string& error) { return SaveFileAs(filePath_, error); }

// --- both ---------------------------------------------------------------------

std::string ParameterTable::SerialNumberWarning() const {
  if (!bench_ || !doc_.connected()) return std::string();
  const std::string fileSerial = bench_->file().serialNumber;
  const std::string sensorSerial = doc_.sensor().serialNumberText();
  if (fileSerial == sensorSerial) return std::string();
  return "The file holds the settings of sensor " + (fileSerial.empty() ? std::string("(no serial number)") : fileSerial) +
         ", but the connected sensor is " + (sensorSerial.empty() ? std::string("(no serial number)") : sensorSerial) + ".";
}

ParameterTable::ApplyPlan ParameterTable::PlanFileValues(const std::vector<std::string>& names) {
  ApplyPlan plan;
  if (!bench_) {
    plan.error = "No settings file is open";
    return plan;
  }
  if (!doc_.LineFree()) {
    plan.error = doc_.connected() ? "The line is busy; nothing was written" : "Not connected to a sensor";
    return plan;
  }
  RestoreOptions options;
  options.only = names;
  const RestoreReport comparison = CompareWithSensor(doc_, bench_->file(), options);
  Reload();
  if (!comparison.error.empty()) {
    plan.error = comparison.error;
    return plan;
  }
  // The settings only: the pane never writes the connection.
  RestoreReport settings = comparison;
  settings.connection.clear();
  for (const RestoreItem& item : DifferenceRows(settings))
    if (names.empty() || std::find(names.begin(), names.end(), item.name) != names.end())
      plan.differences.push_back(item);
  if (plan.differences.empty()) return plan;
  std::string list;
  for (const RestoreItem& item : plan.differences)
    list += item.name + ": " + (item.sensorText.empty() ? "(none)" : item.sensorText) + " -> " + item.fileText +
            (item.status == RestoreStatus::kNotShared ? " (" + item.message + ")" : "") + "\n";
  const std::string warning = SerialNumberWarning();
  plan.question = (warning.empty() ? std::string() : warning + "\n") + list + "\n" +
                  std::to_string(plan.differences.size()) +
                  (plan.differences.size() == 1 ? " setting differs" : " settings differ") +
                  " from the file. Apply the file's values to the sensor?";
  return plan;
}

WriteOutcome ParameterTable::ApplyFileValues(const std::vector<std::string>& names) {
  WriteOutcome outcome;
  if (!bench_) {
    outcome.error = "No settings file is open";
    return outcome;
  }
  if (!doc_.connected() || doc_.currentSettings() == nullptr) {
    outcome.error = "Not connected to a sensor";
    return outcome;
  }
  if (!doc_.LineFree()) {
    outcome.error = "The line is busy; nothing was written";
    return outcome;
  }
  std::vector<Written> before;
  for (const TableRow& row : rows_)
    if (row.hasSensor && (names.empty() || std::find(names.begin(), names.end(), row.name) != names.end()))
      before.push_back({row.name, row.sensor.number, row.sensor.raw});
  RestoreOptions options;
  options.only = names;
  const RestoreReport report = RestoreSettings(doc_, bench_->file(), options);
  Reload();
  if (!report.error.empty()) {
    outcome.error = report.error;
    return outcome;
  }
  std::vector<Written> changed;
  for (const RestoreItem& item : report.settings) {
    const size_t at = Find(item.name);
    if (at == std::string::npos || item.status == RestoreStatus::kMatched) continue;
    TableRow& row = rows_[at];
    row.edit.clear();
    row.message = item.message;
    if (item.status == RestoreStatus::kChanged) {
      row.mark = RowMark::kVerified;
      ++outcome.written;
      ++outcome.verified;
    } else if (item.status == RestoreStatus::kRefused) {
      row.mark = RowMark::kRefused;
      ++outcome.refused;
    } else {
      row.mark = RowMark::kNotVerified;
      ++outcome.written;
      ++outcome.notVerified;
    }
    for (const Written& w : before)
      if (w.name == item.name && item.status != RestoreStatus::kRefused) changed.push_back(w);
  }
  if (!changed.empty()) undo_ = std::move(changed);
  return outcome;
}

bool ParameterTable::TakeSensorValues(const std::vector<std::string>& names, std::string& error) {
  if (!bench_) {
    error = "no settings file is open";
    return false;
  }
  if (!doc_.connected() || doc_.sensor().modelIndex() != bench_->file().modelIndex) {
    error = doc_.connected() ? "the sensor is another model than the file's" : "not connected to a sensor";
    return false;
  }
  SensorBackup file = bench_->file();
  std::vector<std::string> taken;
  for (BackupSetting& s : file.settings) {
    if (!names.empty() && std::find(names.begin(), names.end(), s.name) == names.end()) continue;
    const size_t at = Find(s.name);
    if (at == std::string::npos || !rows_[at].hasSensor) continue;
    s.raw = rows_[at].sensor.raw;
    s.value = rows_[at].sensor.value;
    taken.push_back(s.name);
  }
  if (!bench_->Replace(file, error)) return false;
  fileModified_ = true;
  Reload();
  for (const std::string& name : taken) {
    const size_t at = Find(name);
    if (at != std::string::npos && rows_[at].edit.empty()) {
      rows_[at].mark = RowMark::kEdited;
      rows_[at].message.clear();
    }
  }
  return true;
}

}  // namespace fleet
