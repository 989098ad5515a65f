#pragma once
// Comparing the connected sensor with a settings backup and bringing it back
// to the backup's values. Every change goes through the model's settings
// operations (the same checks, conversions, commands and re-read as the
// settings dialog), with the backup's raw value turned into the exact text
// those operations convert back into it.

#include <string>
#include <vector>

#include "tarkon/fleet/settings_backup.h"

class CKRV02Doc;

namespace fleet {

enum class RestoreStatus {
  kMatched,      // already equal
  kDifferent,    // differs (comparison only, or a connection value left alone)
  kChanged,      // applied and verified
  kRefused,      // the settings operation's check refused the file's value; nothing sent
  kNotVerified,  // applied (or disturbed), but the sensor reports something else
  kNotShared,    // the sensor's model has no such setting (another model, --force)
};

struct RestoreItem {
  std::string name;
  std::string sensorText;  // what the sensor reported before
  std::string fileText;    // what the file holds
  std::string afterText;   // what the sensor reports afterwards (restore only)
  RestoreStatus status = RestoreStatus::kMatched;
  std::string message;     // the refusal, or why it did not verify
};

struct RestoreOptions {
  bool dryRun = false;      // compare only
  bool force = false;       // accept a file of another model (shared settings only)
  bool connection = false;  // also address, check mode and baud rate, last, then reconnect
  // Only these settings, by name (all when empty); the report lists only
  // them. A name the file does not hold ends the restore before anything is sent.
  std::vector<std::string> only;
};

struct RestoreReport {
  bool otherModel = false;     // the file is of another model than the sensor
  bool modelRefused = false;   // ... and that ended it (no --force); nothing was sent
  std::vector<RestoreItem> settings;
  std::vector<RestoreItem> connection;  // "Address", "Check mode", "Baud rate"
  bool reconnected = true;     // after a connection change: the sensor answered again
  std::string error;           // the sensor could not be read at all
  std::string stopped;         // why the restore ended half-way (the connection was lost); empty otherwise

  // Comparison: the same model, and no setting and no connection value differs.
  bool Equal() const;
  // Restore: everything that was to be applied verified and nothing was refused.
  bool AllVerified() const;
};

// The comparison alone (restore --dry-run and diff).
RestoreReport CompareWithSensor(CKRV02Doc& doc, const SensorBackup& backup, const RestoreOptions& options);
// Applies the differences (see RestoreOptions), re-reads and verifies.
RestoreReport RestoreSettings(CKRV02Doc& doc, const SensorBackup& backup, const RestoreOptions& options);

const char* StatusText(RestoreStatus status);

}  // namespace fleet
