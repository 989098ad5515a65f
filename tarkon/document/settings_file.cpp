#include "tarkon/document/settings_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "files/atomic_file_writer.h"
#include "files/bounded_file_reader.h"
#include "files/user_folders.h"
#include "tarkon/document/number_reading.h"

namespace {

// A settings file is a few hundred bytes; anything far larger is no file of
// ours and is left alone rather than read and then overwritten.
constexpr size_t kMaxFileSize = 4 * 1024 * 1024;

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

bool ValidKey(const std::string& key) {
  return !HasLineBreak(key) && key.find('=') == std::string::npos &&
         (key.empty() || key[0] != '[');
}

std::string Trimmed(const std::string& text) {
  const char* blanks = " \t";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

// A line kept as it is, with its line end. Reading removes a "\r" before the
// "\n" as part of a "\r\n" line end, so a line that itself ends in "\r"
// is written with "\r\n": it then reads back unchanged, and a line such as
// "key=value\r", which is no setting, does not become one after a save.
std::string KeptLine(const std::string& line) {
  return line + (!line.empty() && line.back() == '\r' ? "\r\n" : "\n");
}

// Why a file's text is no settings file of ours, or empty when it is one
// (an empty file is one). A file that holds binary bytes, a JSON document
// (a settings backup named by mistake) or no "[section]" line at all is
// someone else's: it is neither read as settings nor written back.
constexpr const char* kJsonReason = "it is a JSON file, not an INI file";

std::string NotSettingsText(const std::string& content) {
  for (const char c : content) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') return "it holds binary data";
  }
  const size_t first = content.find_first_not_of(" \t\r\n\f");
  if (first == std::string::npos) return std::string();
  // A JSON document opens with "{", or with "[" and a value, or is the
  // empty array alone ("[]" with lines after it is a section of no name,
  // as this class writes one).
  const size_t second = content.find_first_not_of(" \t\r\n\f", first + 1);
  const char next = second == std::string::npos ? ']' : content[second];
  const bool emptyArray =
      next == ']' && (second == std::string::npos ||
                      content.find_first_not_of(" \t\r\n\f", second + 1) == std::string::npos);
  if (content[first] == '{' || (content[first] == '[' && (std::strchr("{[\"", next) != nullptr || emptyArray)))
    return kJsonReason;
  size_t start = 0;
  while (start < content.size()) {
    const size_t end = std::min(content.find('\n', start), content.size());
    const std::string line = Trimmed(content.substr(start, end - start));
    // A section line needs no closing bracket (see Parse).
    if (line.size() >= 2 && line[0] == '[') return std::string();
    start = end + 1;
  }
  return "it holds no [section] line of an INI file";
}

}  // namespace

SettingsFile::SettingsFile() : path_(DefaultPath()) {}

SettingsFile::SettingsFile(std::string path) : path_(std::move(path)) {}

std::string SettingsFile::ExecutableDirectory() { return files::ExecutableDirectory(); }

std::string SettingsFile::ChooseDefaultPath(const std::string& executableDirectory,
                                            const char* xdgConfigHome, const char* home) {
  // An installed program (a package puts it under /usr, /opt or /bin) keeps
  // the file per user even when its directory is writable (by root): one
  // user's settings must not become everyone's.
  const bool installed = files::InstalledProgramDirectory(executableDirectory);
  if (!installed && !executableDirectory.empty() && files::DirectoryWritable(executableDirectory)) {
    return executableDirectory + kFileName;
  }
  const std::string folder = files::PerUserFolder(xdgConfigHome, home, "tarkon");
  return folder.empty() ? std::string(kFileName) : folder + kFileName;
}

std::string SettingsFile::DefaultPath() {
  const std::string home = files::HomeDirectory();
  return ChooseDefaultPath(ExecutableDirectory(), std::getenv("XDG_CONFIG_HOME"), home.empty() ? nullptr : home.c_str());
}

SettingsFile::Section* SettingsFile::FindSection(const std::string& name) {
  for (Section& section : sections_) {
    if (section.name == name) return &section;
  }
  return nullptr;
}

const SettingsFile::Section* SettingsFile::FindSection(const std::string& name) const {
  for (const Section& section : sections_) {
    if (section.name == name) return &section;
  }
  return nullptr;
}

bool SettingsFile::Load() {
  preamble_.clear();
  overflow_.clear();
  sections_.clear();
  lastError_.clear();
  changed_ = false;
  // A link is not followed: the file it points to (a notes file, another
  // program's settings) is not ours to read as settings and write back.
  const files::FileContent file = files::ReadBoundedFile(path_, kMaxFileSize, files::LinkPolicy::kRefuse);
  if (file.status == files::ReadStatus::kMissing) {
    loadState_ = LoadState::kMissing;
    return false;
  }
  if (!file.ok()) {
    loadState_ = LoadState::kUnreadable;
    lastError_ = path_ + " is not read as a settings file (" + file.reason +
                 "); it is left as it is and the defaults are used";
    return false;
  }
  if (const std::string why = NotSettingsText(file.content); !why.empty()) {
    loadState_ = LoadState::kUnreadable;
    lastError_ = path_ + " is not read as a settings file (" + why + "); it is left as it is and the defaults are used";
    return false;
  }
  Parse(file.content);
  loadState_ = LoadState::kRead;
  changed_ = false;
  return true;
}

void SettingsFile::Parse(const std::string& content) {
  sections_.reserve(kMaxSections);  // `current` stays valid while sections are added
  Section* current = nullptr;
  // True while the lines belong to a section beyond the capacity: they are
  // kept as plain text, in file order, and written after the last section.
  bool overflow = false;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    std::string line;
    if (end == std::string::npos) {
      line = content.substr(start);  // a last line without a line end
      start = content.size();
    } else {
      line = content.substr(start, end - start);
      start = end + 1;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;

    if (line[0] == '[') {
      size_t close = line.find_last_of(']');
      std::string name = close == std::string::npos ? line.substr(1) : line.substr(1, close - 1);
      if (Section* known = FindSection(name); known != nullptr) {
        current = known;
        overflow = false;
      } else if (sections_.size() < kMaxSections) {
        sections_.push_back(Section{name, {}, 0});
        current = &sections_.back();
        overflow = false;
      } else {
        overflow = true;
        overflow_.push_back(line);
      }
      continue;
    }
    if (overflow) {
      overflow_.push_back(line);
      continue;
    }
    if (current == nullptr) {
      preamble_.push_back(line);
      continue;
    }
    size_t equals = line.find('=');
    if (equals == std::string::npos ||
        !SetText(current->name, line.substr(0, equals), line.substr(equals + 1))) {
      current->items.push_back(Item{false, line, {}});
    }
  }
  // A file of nothing but a section of no name that holds nothing is read
  // as empty: written back it would be "[]" alone, which reads as a JSON
  // document and would leave the file refused on the next start.
  if (sections_.size() == 1 && sections_.front().name.empty() && sections_.front().items.empty() &&
      preamble_.empty() && overflow_.empty())
    sections_.clear();
}

std::string SettingsFile::Render() const {
  std::string out;
  for (const std::string& line : preamble_) out += KeptLine(line);
  for (const Section& section : sections_) {
    out += "[" + section.name + "]\n";
    for (const Item& item : section.items) {
      out += item.entry ? item.key + "=" + item.value + "\n" : KeptLine(item.key);
    }
    out += "\n";
  }
  for (const std::string& line : overflow_) out += KeptLine(line);
  // What is written must read back as settings: a file that would open
  // like a JSON document ("[]" alone after blank lines, say) gets a comment
  // line first.
  if (NotSettingsText(out) == kJsonReason) out = ";\n" + out;
  return out;
}

bool SettingsFile::Save() {
  lastError_.clear();
  if (loadState_ == LoadState::kUnreadable) {
    lastError_ = "not saved: " + path_ + " could not be read, so it is left as it is";
    return false;
  }
  // A missing file may live in a configuration folder not made yet.
  files::AtomicWriteOptions options;
  options.createDirectories = true;
  std::string reason;
  if (!files::WriteFileAtomically(path_, Render(), &reason, options)) {
    lastError_ = "not saved: " + path_ + ": " + reason;
    return false;
  }
  changed_ = false;
  return true;
}

bool SettingsFile::GetText(const std::string& section, const std::string& key,
                           std::string* value) const {
  const Section* found = FindSection(section);
  if (found == nullptr) return false;
  for (const Item& item : found->items) {
    if (item.entry && item.key == key) {
      if (value != nullptr) *value = item.value;
      return true;
    }
  }
  return false;
}

bool SettingsFile::GetInteger(const std::string& section, const std::string& key,
                              int32_t* value) const {
  std::string text;
  if (!GetText(section, key, &text)) return false;
  if (value != nullptr) *value = ReadWholeNumber(text);
  return true;
}

bool SettingsFile::GetUnsigned(const std::string& section, const std::string& key,
                               uint32_t* value) const {
  std::string text;
  if (!GetText(section, key, &text)) return false;
  if (value != nullptr) *value = ReadUnsignedNumber(text);
  return true;
}

bool SettingsFile::SetInteger(const std::string& section, const std::string& key, int32_t value) {
  return SetText(section, key, std::to_string(value));
}

bool SettingsFile::SetText(const std::string& section, const std::string& key,
                           const std::string& value) {
  if (HasLineBreak(section) || !ValidKey(key) || HasLineBreak(value)) return false;
  Section* found = FindSection(section);
  if (found != nullptr) {
    for (Item& item : found->items) {
      if (item.entry && item.key == key) {
        if (item.value != value) changed_ = true;
        item.value = value;
        return true;
      }
    }
    if (found->entries >= kMaxEntries) return false;
  } else {
    if (sections_.size() >= kMaxSections) return false;
    // A new section's line "[[…]", "[{…]" or "[\"…]" at the top of the file
    // would read as a JSON document, and the file would be refused.
    if (!section.empty() && std::strchr("[{\"", section.front()) != nullptr) return false;
    sections_.push_back(Section{section, {}, 0});
    found = &sections_.back();
  }
  found->items.push_back(Item{true, key, value});
  ++found->entries;
  changed_ = true;
  return true;
}

SettingsFile::SerialValues SettingsFile::ReadSerialSettings() {
  SerialValues values;
  const SerialValues defaults;
  if (!GetInteger(kSerialSection, kPortKey, &values.port)) {
    values.port = defaults.port;
    SetInteger(kSerialSection, kPortKey, values.port);
  }
  if (!GetInteger(kSerialSection, kBaudRateKey, &values.baudRate)) {
    values.baudRate = defaults.baudRate;
    SetInteger(kSerialSection, kBaudRateKey, values.baudRate);
  }
  if (!GetInteger(kSerialSection, kAddressKey, &values.address)) {
    values.address = defaults.address;
    SetInteger(kSerialSection, kAddressKey, values.address);
  }
  if (!GetUnsigned(kSerialSection, kReadTimeoutKey, &values.readTimeout)) {
    values.readTimeout = defaults.readTimeout;
    SetInteger(kSerialSection, kReadTimeoutKey, static_cast<int32_t>(values.readTimeout));
  }
  if (!GetUnsigned(kSerialSection, kWriteTimeoutKey, &values.writeTimeout)) {
    values.writeTimeout = defaults.writeTimeout;
    SetInteger(kSerialSection, kWriteTimeoutKey, static_cast<int32_t>(values.writeTimeout));
  }
  if (!GetText(kSerialSection, kDeviceKey, &values.device)) values.device.clear();
  int32_t rs485 = 0;
  values.rs485 = GetInteger(kSerialSection, kRs485Key, &rs485) && rs485 != 0;
  return values;
}

void SettingsFile::WriteSerialSettings(const SerialValues& values) {
  SetInteger(kSerialSection, kPortKey, values.port);
  SetInteger(kSerialSection, kBaudRateKey, values.baudRate);
  SetInteger(kSerialSection, kAddressKey, values.address);
  // Stored with "%d" (a time-out above 2^31 - 1 reads back through the
  // unsigned reading as the same number); a stored text that already reads
  // as the value, such as "2147483648" or "-1", is kept as the user wrote it.
  for (const auto& [key, value] : {std::pair{kReadTimeoutKey, values.readTimeout},
                                   std::pair{kWriteTimeoutKey, values.writeTimeout}}) {
    uint32_t stored = 0;
    if (!GetUnsigned(kSerialSection, key, &stored) || stored != value) {
      SetInteger(kSerialSection, key, static_cast<int32_t>(value));
    }
  }
  if (values.device.empty()) {
    RemoveKey(kSerialSection, kDeviceKey);
  } else {
    SetText(kSerialSection, kDeviceKey, values.device);
  }
  if (values.rs485 || GetText(kSerialSection, kRs485Key, nullptr)) {
    SetInteger(kSerialSection, kRs485Key, values.rs485 ? 1 : 0);
  }
}

bool SettingsFile::RemoveKey(const std::string& section, const std::string& key) {
  Section* found = FindSection(section);
  if (found == nullptr) return false;
  for (auto it = found->items.begin(); it != found->items.end(); ++it) {
    if (it->entry && it->key == key) {
      found->items.erase(it);
      --found->entries;
      changed_ = true;
      return true;
    }
  }
  return false;
}

PortResolver::PortMap SettingsFile::ReadPortMap() const {
  PortResolver::PortMap map;
  const Section* section = FindSection(kPortMapSection);
  if (section == nullptr) return map;
  for (const Item& item : section->items) {
    if (!item.entry) continue;
    std::string key = Trimmed(item.key);
    if (key.size() < 4 || key.size() > 12) continue;  // "COM" and 1 to 9 digits
    bool valid = (key[0] == 'C' || key[0] == 'c') && (key[1] == 'O' || key[1] == 'o') &&
                 (key[2] == 'M' || key[2] == 'm');
    for (size_t i = 3; i < key.size() && valid; ++i) valid = key[i] >= '0' && key[i] <= '9';
    if (!valid) continue;
    unsigned port = static_cast<unsigned>(std::strtoul(key.c_str() + 3, nullptr, 10));
    if (port == 0) continue;
    std::string device = Trimmed(item.value);
    if (device.empty()) {
      map.erase(port);
      continue;
    }
    if (!PortResolver::IsDeviceName(device)) continue;
    map[port] = device;
  }
  return map;
}

bool SettingsFile::SetPortMapEntry(unsigned port, const std::string& device) {
  return SetText(kPortMapSection, "COM" + std::to_string(port), device);
}

std::vector<std::string> SettingsFile::SectionNames() const {
  std::vector<std::string> names;
  for (const Section& section : sections_) names.push_back(section.name);
  return names;
}

std::vector<std::string> SettingsFile::Keys(const std::string& section) const {
  std::vector<std::string> keys;
  if (const Section* found = FindSection(section); found != nullptr) {
    for (const Item& item : found->items) {
      if (item.entry) keys.push_back(item.key);
    }
  }
  return keys;
}
