// The settings backup reader that restore and diff use, on arbitrary bytes.
//
// Input: the whole content of a backup file.
//
// Invariants:
// - reading never throws or aborts: a file that is not a backup is refused
//   with a message (a number no type holds, such as 1e400, included);
// - the message is readable: text of the file repeated in it is cut, so it
//   stays short however long the file's strings are;
// - a file that is read holds a known model, an address 1 to 255, one of
//   the four baud rates and every setting of its model once, and writing
//   what was read and reading that again gives the same backup.

#include <string>

#include "fuzz/fuzz_support.h"
#include "tarkon/fleet/setting_layout.h"
#include "tarkon/fleet/settings_backup.h"

namespace {

// Longest message: the fixed words and a few cut echoes of file text.
constexpr size_t kMaxMessage = 1024;

bool SameBackup(const fleet::SensorBackup& a, const fleet::SensorBackup& b) {
  if (a.formatVersion != b.formatVersion || a.time != b.time || a.modelIndex != b.modelIndex ||
      a.model != b.model || a.modelString != b.modelString || a.serialNumber != b.serialNumber ||
      a.firmware != b.firmware || a.fpga != b.fpga || a.address != b.address || a.baudRate != b.baudRate ||
      a.checkMode != b.checkMode || a.settings.size() != b.settings.size()) {
    return false;
  }
  for (size_t i = 0; i < a.settings.size(); ++i) {
    const fleet::BackupSetting& x = a.settings[i];
    const fleet::BackupSetting& y = b.settings[i];
    if (x.name != y.name || x.value != y.value || x.source != y.source || x.offset != y.offset || x.raw != y.raw)
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  fleet::SensorBackup backup;
  std::string error;
  const bool read = fleet::ParseBackup(text, backup, error);
  if (!read) {
    FUZZ_CHECK(!error.empty(), "refused without a message");
    FUZZ_CHECK(error.size() <= kMaxMessage, "a message of %zu bytes", error.size());
    return 0;
  }
  FUZZ_CHECK(!fleet::LayoutOfModel(backup.modelIndex).empty(), "model %d", backup.modelIndex);
  FUZZ_CHECK(backup.address >= 1 && backup.address <= 255, "address %d", backup.address);
  FUZZ_CHECK(backup.baudRate == 9600 || backup.baudRate == 19200 || backup.baudRate == 38400 ||
                 backup.baudRate == 57600,
             "baud rate %d", backup.baudRate);
  FUZZ_CHECK(backup.settings.size() == fleet::LayoutOfModel(backup.modelIndex).size(), "%zu settings",
             backup.settings.size());

  fleet::SensorBackup again;
  std::string againError;
  FUZZ_CHECK(fleet::ParseBackup(fleet::BackupToJson(backup), again, againError), "written backup refused: %s",
             againError.c_str());
  FUZZ_CHECK(SameBackup(backup, again), "a written backup reads differently");
  return 0;
}
