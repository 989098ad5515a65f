#pragma once
// A sensor's settings as one JSON document: who the sensor is, how it was
// reached, and every setting of its model with the text the setup pane
// shows and the raw reply bytes it came from (16-bit fields least
// significant byte first, whatever the check mode), so that a restore does
// not depend on display rounding.

#include <cstdint>
#include <string>
#include <vector>

class CKRV02Doc;

namespace fleet {

inline constexpr char kBackupFormat[] = "tarkon-settings-backup";
inline constexpr int kBackupFormatVersion = 1;

struct BackupSetting {
  std::string name;    // display name
  std::string value;   // as the setup pane showed it (for reading; the raw bytes govern)
  std::string source;  // the query whose reply held it
  size_t offset = 0;
  std::vector<uint8_t> raw;
};

struct SensorBackup {
  int formatVersion = kBackupFormatVersion;
  std::string time;  // ISO 8601, UTC
  int modelIndex = 0;
  std::string model;  // display name
  std::string modelString;
  std::string serialNumber;
  std::string firmware;
  std::string fpga;
  int address = 1;
  int baudRate = 57600;
  int checkMode = 0;  // 0 checksum, 1 CRC
  std::vector<BackupSetting> settings;

  const BackupSetting* Find(const std::string& name) const;
};

// How much of the identity a file needs: a backup names the sensor by its
// serial number (complete); a report may describe a sensor that answered
// every query but reports no serial number, and says so (answered).
enum class IdentityNeed { kComplete, kAnswered };
// Whether the connected sensor's identity is complete enough to name it in
// a file (a backup, a report): what the connect could not read is asked
// once more; false with what is still missing. A blank serial number is
// never written as a sensor's identity.
bool RequireCompleteIdentity(CKRV02Doc& doc, std::string& error, IdentityNeed need = IdentityNeed::kComplete);

// Re-reads the connected sensor's settings and takes them. False with the
// reason when the sensor is not connected, the re-read failed, or its
// identity is incomplete (RequireCompleteIdentity).
bool CaptureBackup(CKRV02Doc& doc, SensorBackup& backup, std::string& error);

std::string BackupToJson(const SensorBackup& backup);
// Parses and checks a backup document: its format, the model, the
// connection, and every setting against the model's layout (known name,
// same source and offset, raw bytes of the right size, none twice, none
// missing, and each displayed value in agreement with its raw bytes, so a
// hand edit of one without the other is caught). False with a message that
// says what is wrong.
bool ParseBackup(const std::string& text, SensorBackup& backup, std::string& error);

// A backup is a few kilobytes; a file far larger is none.
inline constexpr size_t kMaxBackupFileSize = 1024 * 1024;

bool WriteBackupFile(const std::string& path, const SensorBackup& backup, std::string& error);
bool ReadBackupFile(const std::string& path, SensorBackup& backup, std::string& error);

// "2026-12-08T02:40:00Z"
std::string UtcTimestamp();

}  // namespace fleet
