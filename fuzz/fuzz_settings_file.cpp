// The settings file parser, and the round trip of what it read.
//
// Input: the whole content of a settings file. Its first three lines are
// also used as section, key and value of one change made after loading.
//
// Invariants:
// - a file that is not an INI file is refused with its reason and left
//   as it was, also by a save;
// - capacity (24 sections of 24 entries) holds; names are unique; no key
//   or value holds a line break (nor the name of a section with entries),
//   no key an "=" or a leading "[";
// - every entry read stands in the file as a line "key=value", so no value
//   picks up text of another line or loses a character;
// - saving what was read and reading it again gives the same sections,
//   keys and values, and saving that gives the same file;
// - the serial settings and the port map read the same after the round
//   trip, and serial settings written read back as written.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tarkon/document/number_reading.h"
#include "tarkon/document/settings_file.h"

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;
using Contents = std::vector<std::pair<std::string, Entries>>;

// A private directory on a memory file system when there is one: a save
// flushes its file and directory, which is cheap there.
const std::string& Directory() {
  static const std::string dir = [] {
    for (const char* base : {"/dev/shm", "/tmp"}) {
      std::string pattern = std::string(base) + "/fuzz_settings_XXXXXX";
      if (mkdtemp(pattern.data()) != nullptr) return pattern;
    }
    std::fprintf(stderr, "cannot create a temporary directory\n");
    std::abort();
  }();
  return dir;
}

void WriteFile(const std::string& path, const std::string& content) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  FUZZ_CHECK(fd >= 0, "cannot create %s", path.c_str());
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    FUZZ_CHECK(n > 0, "cannot write %s", path.c_str());
    done += static_cast<size_t>(n);
  }
  close(fd);
}

std::string ReadFile(const std::string& path) {
  std::string content;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  FUZZ_CHECK(fd >= 0, "cannot open %s", path.c_str());
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    FUZZ_CHECK(n >= 0, "cannot read %s", path.c_str());
    if (n == 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return content;
}

Contents Snapshot(const SettingsFile& file) {
  Contents contents;
  for (const std::string& section : file.SectionNames()) {
    Entries entries;
    for (const std::string& key : file.Keys(section)) {
      std::string value;
      FUZZ_CHECK(file.GetText(section, key, &value), "listed key '%s' not found", key.c_str());
      entries.emplace_back(key, value);
    }
    contents.emplace_back(section, std::move(entries));
  }
  return contents;
}

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

// True when `line` is a whole line of `content`: after its start or a
// "\n", and followed by "\n", "\r\n" or the end.
bool HasLine(const std::string& content, const std::string& line) {
  for (size_t at = content.find(line); at != std::string::npos; at = content.find(line, at + 1)) {
    if (at != 0 && content[at - 1] != '\n') continue;
    const size_t end = at + line.size();
    if (end == content.size() || content[end] == '\n' ||
        (content[end] == '\r' && end + 1 < content.size() && content[end + 1] == '\n') ||
        (content[end] == '\r' && end + 1 == content.size())) {
      return true;
    }
  }
  return false;
}

void CheckShape(const Contents& contents, const std::string& source) {
  FUZZ_CHECK(contents.size() <= SettingsFile::kMaxSections, "%zu sections", contents.size());
  for (size_t i = 0; i < contents.size(); ++i) {
    const auto& [section, entries] = contents[i];
    // A stray "\r" may stand inside a section line; its entries are then
    // kept as plain lines, since no key of such a section can be set.
    FUZZ_CHECK(section.find('\n') == std::string::npos, "section name with a line end");
    FUZZ_CHECK(entries.empty() || !HasLineBreak(section), "entries in section '%s'", section.c_str());
    for (size_t j = 0; j < i; ++j) FUZZ_CHECK(contents[j].first != section, "section twice");
    FUZZ_CHECK(entries.size() <= SettingsFile::kMaxEntries, "%zu entries", entries.size());
    for (size_t k = 0; k < entries.size(); ++k) {
      const auto& [key, value] = entries[k];
      FUZZ_CHECK(!HasLineBreak(key) && !HasLineBreak(value), "line break in '%s'", key.c_str());
      FUZZ_CHECK(key.find('=') == std::string::npos && (key.empty() || key[0] != '['),
                 "key '%s' cannot be written back", key.c_str());
      for (size_t j = 0; j < k; ++j) FUZZ_CHECK(entries[j].first != key, "key '%s' twice", key.c_str());
      if (!source.empty()) {
        FUZZ_CHECK(HasLine(source, key + "=" + value), "entry '%s=%s' is no line of the file",
                   key.c_str(), value.c_str());
      }
    }
  }
}

void ExpectSame(const Contents& a, const Contents& b, const char* what) {
  FUZZ_CHECK(a.size() == b.size(), "%s: %zu sections, then %zu", what, a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    FUZZ_CHECK(a[i].first == b[i].first, "%s: section '%s', then '%s'", what, a[i].first.c_str(),
               b[i].first.c_str());
    FUZZ_CHECK(a[i].second.size() == b[i].second.size(), "%s: section '%s' had %zu entries, then %zu",
               what, a[i].first.c_str(), a[i].second.size(), b[i].second.size());
    for (size_t k = 0; k < a[i].second.size(); ++k) {
      FUZZ_CHECK(a[i].second[k] == b[i].second[k], "%s: entry '%s=%s', then '%s=%s'", what,
                 a[i].second[k].first.c_str(), a[i].second[k].second.c_str(),
                 b[i].second[k].first.c_str(), b[i].second[k].second.c_str());
    }
  }
}

bool SameSerial(const SettingsFile::SerialValues& a, const SettingsFile::SerialValues& b) {
  return a.port == b.port && a.baudRate == b.baudRate && a.address == b.address &&
         a.readTimeout == b.readTimeout && a.writeTimeout == b.writeTimeout && a.device == b.device;
}

// Saves `file` to `path` and loads it back.
std::string SaveAndReload(SettingsFile& file, const std::string& path, SettingsFile& reloaded) {
  file.SetPath(path);
  FUZZ_CHECK(file.Save(), "save failed: %s", file.lastError().c_str());
  reloaded.SetPath(path);
  FUZZ_CHECK(reloaded.Load(), "reload failed: %s", reloaded.lastError().c_str());
  return ReadFile(path);
}

std::vector<std::string> FirstLines(const std::string& content, size_t count) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (lines.size() < count) {
    const size_t end = content.find('\n', start);
    lines.push_back(content.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  while (lines.size() < count) lines.emplace_back();
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  const std::string input = Directory() + "/tarkon.ini";
  const std::string saved = Directory() + "/saved.ini";
  const std::string again = Directory() + "/again.ini";
  WriteFile(input, content);

  // What the parser makes of the file.
  SettingsFile file(input);
  if (!file.Load()) {
    // Text that is not an INI file (binary bytes, a JSON document, no
    // section line) is refused with its reason, and a save neither writes
    // over it nor counts as done.
    FUZZ_CHECK(file.lastError().find("is not read as a settings file") != std::string::npos, "load failed: %s",
               file.lastError().c_str());
    FUZZ_CHECK(!file.Save(), "a refused file was saved over");
    FUZZ_CHECK(ReadFile(input) == content, "a refused file was changed");
    return 0;
  }
  const Contents read = Snapshot(file);
  CheckShape(read, content);
  const auto portMap = file.ReadPortMap();

  // Written back and read again: the same settings, and a stable file.
  SettingsFile reloaded;
  const std::string first = SaveAndReload(file, saved, reloaded);
  ExpectSame(read, Snapshot(reloaded), "after a save");
  FUZZ_CHECK(reloaded.ReadPortMap() == portMap, "port map changed by a save");
  SettingsFile third;
  const std::string second = SaveAndReload(reloaded, again, third);
  FUZZ_CHECK(first == second, "a second save wrote another file");

  // The serial settings: read (defaults filled in), saved, read again.
  SettingsFile serial(input);
  serial.Load();
  const SettingsFile::SerialValues values = serial.ReadSerialSettings();
  std::string text;
  if (serial.GetText(SettingsFile::kSerialSection, SettingsFile::kPortKey, &text)) {
    FUZZ_CHECK(values.port == ReadWholeNumber(text), "port '%s' read as %d", text.c_str(), values.port);
  }
  if (serial.GetText(SettingsFile::kSerialSection, SettingsFile::kReadTimeoutKey, &text)) {
    FUZZ_CHECK(values.readTimeout == ReadUnsignedNumber(text), "read time-out '%s'", text.c_str());
  }
  CheckShape(Snapshot(serial), std::string());
  SettingsFile serialAgain;
  SaveAndReload(serial, saved, serialAgain);
  FUZZ_CHECK(SameSerial(serialAgain.ReadSerialSettings(), values), "serial settings changed by a save");

  // Settings written with values from the input read back as written,
  // where the file had room for them.
  FuzzInput in(data, size);
  SettingsFile::SerialValues written;
  const uint32_t portHigh = in.Word();
  written.port = static_cast<int32_t>(portHigh << 16 | in.Word());
  written.baudRate = static_cast<int32_t>(in.Word());
  written.address = static_cast<int8_t>(in.Byte());
  const uint32_t timeoutHigh = in.Word();
  written.readTimeout = timeoutHigh << 16 | in.Word();
  written.writeTimeout = ~written.readTimeout;
  serialAgain.WriteSerialSettings(written);
  const bool stored = SameSerial(serialAgain.ReadSerialSettings(), written);
  SettingsFile serialThird;
  SaveAndReload(serialAgain, again, serialThird);
  if (stored) FUZZ_CHECK(SameSerial(serialThird.ReadSerialSettings(), written), "written serial settings");

  // One change by section, key and value from the file's first lines.
  const std::vector<std::string> lines = FirstLines(content, 3);
  SettingsFile changed(input);
  changed.Load();
  if (changed.SetText(lines[0], lines[1], lines[2])) {
    std::string value;
    FUZZ_CHECK(changed.GetText(lines[0], lines[1], &value) && value == lines[2], "change not kept");
    const Contents before = Snapshot(changed);
    CheckShape(before, std::string());
    SettingsFile after;
    SaveAndReload(changed, saved, after);
    ExpectSame(before, Snapshot(after), "after a change");
  } else {
    const bool writable = !HasLineBreak(lines[0]) && !HasLineBreak(lines[1]) &&
                          !HasLineBreak(lines[2]) && lines[1].find('=') == std::string::npos &&
                          (lines[1].empty() || lines[1][0] != '[');
    // Refused for its text, or for want of room.
    const Contents now = Snapshot(changed);
    bool exists = false;
    for (const auto& entry : now) exists = exists || entry.first == lines[0];
    // A new section whose line would read as the start of a JSON document.
    const bool jsonLike = !exists && !lines[0].empty() && std::string("[{\"").find(lines[0][0]) != std::string::npos;
    if (writable && !jsonLike) {
      bool full = now.size() >= SettingsFile::kMaxSections;
      for (const auto& [section, entries] : now) {
        if (section == lines[0]) full = entries.size() >= SettingsFile::kMaxEntries;
      }
      FUZZ_CHECK(full, "change of '%s' refused with room left", lines[1].c_str());
    }
  }
  return 0;
}
