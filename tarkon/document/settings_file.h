#pragma once
// The program's small ini-style settings file, "tarkon.ini".
//
// Format as written: for each section "[name]", then one "key=value" line
// per entry, then an empty line. Names, keys and values are compared
// exactly (case-sensitive, whole text, blanks kept). The serial settings of
// the last connection live in section "Serial Settings"; section "Port Map"
// lets a technician name a device (a USB adapter, a virtual sensor) as a
// COM port, one "COM3=/dev/ttyUSB0" line per port.
//
// Where the file lives: beside the executable when that directory can be
// written and is no installed program's (under /usr, /opt or /bin);
// otherwise (an installed program) in the user's configuration
// directory, $XDG_CONFIG_HOME/tarkon/ or ~/.config/tarkon/. path() says
// which file is in use. An explicit path can be given instead.
//
// Reading rules, beyond "[name]" and "key=value":
// - Lines before the first section, and lines inside a section that hold
//   no "=", are no settings; they are kept as they are and written back in
//   place, so hand-written notes survive a save and never leak into a key or
//   value.
// - A line is read whole whatever its length, with its line end ("\n", or
//   "\r\n" from a file edited on another system) removed: a long line is
//   neither cut nor split into further entries, and a last line without a
//   line end keeps all of its characters.
// - A section line is "[" followed by the name up to the last "]"; text
//   after that "]" is ignored. A section line without "]" takes the rest of
//   the line as its name (it is written back with its "]").
// - Empty lines are skipped.
// - Capacity is 24 sections of 24 entries. A section or key beyond that is
//   refused: SetText returns false and stores nothing. Lines of the file
//   that would go beyond it are kept as plain text (written back unchanged,
//   after the last section, so that they cannot swallow the settings of a
//   section the file takes up again later) but are not readable as settings.
//
// Saving replaces the file atomically (files/atomic_file_writer.h), so a
// crash or a full disk while saving leaves either the old or the new file,
// never a truncated one. A file that existed but could not be read (more
// than 4 MiB, not a regular file, a symbolic link) or is no INI file (it
// holds binary bytes, is a JSON document, or has no "[section]" line) is
// never overwritten, nor is a write-protected one or a link: they are left
// as they are and the program works from the defaults.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "serial/port_resolver.h"

class SettingsFile {
 public:
  static constexpr size_t kMaxSections = 24;
  static constexpr size_t kMaxEntries = 24;
  static constexpr const char* kFileName = "tarkon.ini";
  static constexpr const char* kSerialSection = "Serial Settings";
  static constexpr const char* kPortMapSection = "Port Map";

  // Keys of the serial settings, in the order they are read and written.
  static constexpr const char* kPortKey = "Port";
  static constexpr const char* kBaudRateKey = "Baudrate";
  static constexpr const char* kAddressKey = "Address";
  static constexpr const char* kReadTimeoutKey = "Read timeout";
  static constexpr const char* kWriteTimeoutKey = "Write timeout";
  // Device path of a connection made by path instead of a port number.
  // Written only for such a connection and removed by the next one made by
  // port number, so the section holds exactly the five keys whenever no
  // device path is in use.
  static constexpr const char* kDeviceKey = "Device";
  // "1" when the connection uses the driver's RS-485 direction control.
  // Written only once it has been switched on, like "Device".
  static constexpr const char* kRs485Key = "RS485";

  struct SerialValues {
    int32_t port = 1;
    int32_t baudRate = 57600;
    int32_t address = 1;
    uint32_t readTimeout = 100;
    uint32_t writeTimeout = 100;
    std::string device;  // empty: connect by port number
    bool rs485 = false;  // the driver's RS-485 direction control
  };

  // Uses DefaultPath(). Nothing is read until Load().
  SettingsFile();
  explicit SettingsFile(std::string path);

  // "tarkon.ini" beside the executable if that directory is writable, else
  // in the user's configuration directory.
  static std::string DefaultPath();
  // The choice of DefaultPath() from its inputs (null: variable not set).
  static std::string ChooseDefaultPath(const std::string& executableDirectory,
                                       const char* xdgConfigHome, const char* home);
  // Directory of the running executable, ending in "/"; empty if unknown.
  static std::string ExecutableDirectory();

  const std::string& path() const { return path_; }
  void SetPath(std::string path) { path_ = std::move(path); }

  // Replaces the settings in memory by the file's. False when the file is
  // missing (settings empty, lastError() empty) or cannot be read (settings
  // empty, lastError() says why, and Save() will not overwrite the file).
  bool Load();
  // Writes the whole file from memory (so Load() comes first). False (with
  // lastError()) when it could not be written; the old file then stays as
  // it was.
  bool Save();
  const std::string& lastError() const { return lastError_; }
  // Whether the settings in memory differ from those last loaded or saved.
  bool changed() const { return changed_; }

  // Exact match of section and key; the value read as a base-10 number
  // (strtol / strtoul semantics; a value that is no number reads as 0).
  bool GetInteger(const std::string& section, const std::string& key, int32_t* value) const;
  bool GetUnsigned(const std::string& section, const std::string& key, uint32_t* value) const;
  bool GetText(const std::string& section, const std::string& key, std::string* value) const;
  // Formats with "%d" and sets.
  bool SetInteger(const std::string& section, const std::string& key, int32_t value);
  // Replaces the value of an existing key, else appends the key to its
  // section, appending the section first if needed. False, with nothing
  // stored, beyond the capacity or for a text that would not read back as
  // itself: a line break anywhere, "=" in a key, or a key starting with "[".
  bool SetText(const std::string& section, const std::string& key, const std::string& value);
  // Removes the entry; false when there was none.
  bool RemoveKey(const std::string& section, const std::string& key);

  // Each serial key in order; a missing one gets its default, which is also
  // set so that it is written at the next save.
  SerialValues ReadSerialSettings();
  // Sets all five keys (and the device key, see kDeviceKey).
  void WriteSerialSettings(const SerialValues& values);

  // Port numbers and device paths of section "Port Map". Keys are "COMn"
  // (any case, n from 1, blanks around ignored); values are absolute device
  // paths (blanks around ignored). Other lines are kept in the file but
  // ignored here; an empty path leaves the port at its default device.
  PortResolver::PortMap ReadPortMap() const;
  // Writes "COMn=path" into section "Port Map".
  bool SetPortMapEntry(unsigned port, const std::string& device);

  // Inspection, in file order.
  std::vector<std::string> SectionNames() const;
  std::vector<std::string> Keys(const std::string& section) const;

 private:
  struct Item {
    bool entry = true;  // false: a line kept as it is, in `key`
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Item> items;
    size_t entries = 0;
  };
  enum class LoadState { kNotLoaded, kMissing, kRead, kUnreadable };

  Section* FindSection(const std::string& name);
  const Section* FindSection(const std::string& name) const;
  void Parse(const std::string& content);
  std::string Render() const;

  std::string path_;
  std::string lastError_;
  LoadState loadState_ = LoadState::kNotLoaded;
  bool changed_ = false;
  std::vector<std::string> preamble_;  // lines before the first section
  std::vector<std::string> overflow_;  // lines of sections beyond the capacity
  std::vector<Section> sections_;
};
