#pragma once
// The "Parameters" pane's engine: one row per setting of the connected
// sensor (and of an open settings file), edits held until written, and
// the writes themselves. Writes go through the model's settings operations
// (the dialogs' checks, conversions, commands and re-read), a group at a
// time in the dialogs' order; each is read back and every written row is
// marked verified or not. A refused value is never sent: its row shows the
// operation's message. Toolkit-free; the pane and the tests drive it.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "tarkon/fleet/parameter_rows.h"
#include "tarkon/fleet/settings_backup.h"
#include "tarkon/fleet/settings_restore.h"

class CKRV02Doc;

namespace fleet {

class SettingsBench;

enum class RowMark {
  kNone,
  kEdited,       // typed, not written (sensor) or not saved (file)
  kRefused,      // the check refused it; nothing was sent
  kVerified,     // written and read back as typed
  kNotVerified,  // written, but the sensor reports something else (or could not be read)
};

struct TableRow {
  std::string name;
  bool hasSensor = false;
  bool hasFile = false;
  ParameterRow sensor;  // as the sensor last reported it
  ParameterRow file;    // as the open file holds it
  std::string edit;     // typed for the sensor, not yet written
  RowMark mark = RowMark::kNone;
  std::string message;  // the refusal, or what the sensor reports instead
  bool differs = false; // sensor and file hold different values

  // The row's description: the sensor's when connected, else the file's.
  const ParameterRow& described() const { return hasSensor ? sensor : file; }
};

// Outcome of a write, for the pane's status line.
struct WriteOutcome {
  int written = 0;
  int verified = 0;
  int refused = 0;
  int notVerified = 0;
  std::string error;  // nothing could be written at all (not connected, line busy)

  std::string Text() const;
  bool AllVerified() const { return error.empty() && refused == 0 && notVerified == 0; }
};

class ParameterTable {
 public:
  explicit ParameterTable(CKRV02Doc& doc);
  ~ParameterTable();
  ParameterTable(const ParameterTable&) = delete;
  ParameterTable& operator=(const ParameterTable&) = delete;

  // Rebuilds the rows from what the sensor last reported and the open file
  // (after a connect, a disconnect, a re-read). Edits of the same settings
  // stay.
  void Reload();
  const std::vector<TableRow>& rows() const { return rows_; }
  // Row index of a setting's name; npos when it has none.
  size_t Find(const std::string& name) const;

  bool connected() const;
  bool fileOpen() const { return bench_ != nullptr; }

  // --- the sensor -----------------------------------------------------------
  // Holds `text` as the row's edit. Text that is no number where a number
  // is asked is refused at once (the numeric field's message); everything
  // else is checked by the model's operation when written. Returns the
  // refusal, empty when held. The sensor's own value typed again drops the edit.
  std::string EditSensor(size_t row, const std::string& text);
  bool HasEdits() const;
  // Writes every edited row, group by group in the dialogs' order, then
  // re-reads and marks each written row.
  WriteOutcome WriteChanged();
  // Writes the edited rows of one row's group only (Enter in the pane).
  WriteOutcome WriteGroupOf(size_t row);
  // Drops every unwritten edit.
  void Revert();
  // Writes back the values from before the last write, verified the same way.
  bool CanUndo() const { return !undo_.empty(); }
  WriteOutcome UndoLastWrite();

  // --- a settings file ------------------------------------------------------
  // Opens a settings file (no sensor needed): read with a size cap, parsed
  // and loaded into a private sensor of its model for the checks.
  bool OpenFile(const std::string& path, std::string& error);
  void CloseFile();
  const std::string& filePath() const { return filePath_; }
  const SensorBackup* file() const;
  bool fileModified() const { return fileModified_; }
  // Changes one value of the file with the model's check; the refusal, or
  // empty when taken.
  std::string EditFile(size_t row, const std::string& text);
  // Written atomically, as backups are.
  bool SaveFile(std::string& error);
  bool SaveFileAs(const std::string& path, std::string& error);

  // --- both -----------------------------------------------------------------
  // Said before applying a file of another sensor; empty when the file names
  // the connected sensor's serial number (or no file or sensor is there).
  std::string SerialNumberWarning() const;
  // What applying the file's values of `names` (all when empty) would
  // write: the restore's own comparison of the sensor (read again) with
  // the file, and the question that shows it. `differences` is empty when
  // the sensor already holds them; `error` says why nothing can be applied.
  struct ApplyPlan {
    std::vector<RestoreItem> differences;
    std::string question;
    std::string error;
  };
  ApplyPlan PlanFileValues(const std::vector<std::string>& names);
  // Writes the file's values of `names` (all that differ when empty) to the
  // sensor, verified.
  WriteOutcome ApplyFileValues(const std::vector<std::string>& names);
  // Copies the sensor's values of `names` (all when empty) into the file.
  bool TakeSensorValues(const std::vector<std::string>& names, std::string& error);

 private:
  struct Written {
    std::string name;
    std::string before;  // the text that writes the value of before back
    std::vector<uint8_t> beforeRaw;
  };
  WriteOutcome WriteRows(std::vector<size_t> rows);
  WriteOutcome WriteValues(const std::vector<std::pair<std::string, std::string>>& values,
                           const std::vector<std::vector<uint8_t>>* expectedRaw);
  void MarkFileRows();

  CKRV02Doc& doc_;
  std::vector<TableRow> rows_;
  std::vector<Written> undo_;
  std::unique_ptr<SettingsBench> bench_;
  std::string filePath_;
  bool fileModified_ = false;
  std::vector<std::string> fileEdited_;
};

const char* RowMarkText(RowMark mark);

}  // namespace fleet
