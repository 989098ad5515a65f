#include "history/change_history.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

namespace history {

namespace {

constexpr const char* kFolder = "tarkon";
constexpr const char* kFileName = "history.jsonl";

// JSON field names, in the order a line carries them.
constexpr const char* kTime = "time";
constexpr const char* kProgram = "program";
constexpr const char* kUser = "user";
constexpr const char* kPort = "port";
constexpr const char* kModel = "model";
constexpr const char* kSerial = "serial_number";
constexpr const char* kSetting = "setting";
constexpr const char* kOld = "old_value";
constexpr const char* kNew = "new_value";
constexpr const char* kOutcome = "outcome";

std::string Errno(int error) { return std::strerror(error); }

// Creates each missing folder of `path` (0700); false with the reason.
bool MakeFolders(const std::string& folder, std::string* error) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = slash == std::string::npos ? folder : folder.substr(0, slash);
    if (!part.empty() && mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = "cannot create " + part + ": " + Errno(errno);
      return false;
    }
    if (slash == std::string::npos) return true;
  }
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Opens `path` with `flags`, refusing a link (O_NOFOLLOW) and anything
// that is not a regular file; -1 with the reason.
int OpenRegular(const std::string& path, int flags, std::string* error) {
  // Said plainly before the open, which would fail with less telling
  // reasons (a FIFO without reader, a device).
  struct stat before {};
  if (lstat(path.c_str(), &before) == 0) {
    if (S_ISLNK(before.st_mode)) {
      *error = "is a symbolic link";
      return -1;
    }
    if (!S_ISREG(before.st_mode)) {
      *error = S_ISDIR(before.st_mode) ? "is a directory" : "is not a regular file";
      return -1;
    }
  }
  const int fd = open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = errno == ELOOP ? "is a symbolic link" : Errno(errno);
    return -1;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = S_ISDIR(st.st_mode) ? "is a directory" : "is not a regular file";
    close(fd);
    return -1;
  }
  return fd;
}

bool TextField(const nlohmann::json& object, const char* key, std::string& out) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return false;
  out = it->get<std::string>();
  return true;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

const char* OutcomeText(Outcome outcome) {
  switch (outcome) {
    case Outcome::kVerified: return "verified";
    case Outcome::kRefused: return "refused";
    case Outcome::kFailed: return "failed";
    case Outcome::kNotVerified: return "not verified";
  }
  return "not verified";
}

std::string DefaultPath() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string base;
  if (data != nullptr && data[0] == '/') {
    base = data;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home != nullptr ? home : ".") + "/.local/share";
  }
  return base + "/" + kFolder + "/" + kFileName;
}

std::string CurrentUser() {
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_name != nullptr)
    return entry->pw_name;
  const char* user = std::getenv("USER");
  return user != nullptr ? user : std::to_string(getuid());
}

std::string NowUtc() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[40];
  const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(ms));
  return text;
}

std::string ToJsonLine(const Entry& e) {
  nlohmann::ordered_json line;
  line[kTime] = e.time;
  line[kProgram] = e.program;
  line[kUser] = e.user;
  line[kPort] = e.port;
  line[kModel] = e.model;
  line[kSerial] = e.serialNumber;
  line[kSetting] = e.setting;
  line[kOld] = e.oldValue;
  line[kNew] = e.newValue;
  line[kOutcome] = e.outcome;
  // Bytes that are no UTF-8 (a sensor's raw serial number) become U+FFFD
  // rather than making the whole line unwritable.
  return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool FromJsonLine(const std::string& text, Entry& e) {
  const nlohmann::json line = nlohmann::json::parse(text, nullptr, false);
  if (line.is_discarded() || !line.is_object()) return false;
  return TextField(line, kTime, e.time) && TextField(line, kProgram, e.program) && TextField(line, kUser, e.user) &&
         TextField(line, kPort, e.port) && TextField(line, kModel, e.model) &&
         TextField(line, kSerial, e.serialNumber) && TextField(line, kSetting, e.setting) &&
         TextField(line, kOld, e.oldValue) && TextField(line, kNew, e.newValue) &&
         TextField(line, kOutcome, e.outcome);
}

bool Append(const std::string& path, const Entry& entry, std::string* error) {
  std::string ignored;
  std::string& why = error != nullptr ? *error : ignored;
  if (!MakeFolders(FolderOf(path), &why)) return false;
  // Read access too: the last byte is looked at below.
  const int fd = OpenRegular(path, O_RDWR | O_APPEND | O_CREAT, &why);
  if (fd < 0) return false;
  std::string line = ToJsonLine(entry) + "\n";
  // A line left unfinished by a crash before us would swallow ours: start
  // on a line of our own then (the reader skips the damaged one).
  struct stat st {};
  char last = '\n';
  if (fstat(fd, &st) == 0 && st.st_size > 0 && pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n')
    line.insert(line.begin(), '\n');
  // One write() of the whole line: with O_APPEND the kernel places it at
  // the end in one piece, whoever else appends at the same time.
  const ssize_t written = write(fd, line.data(), line.size());
  const int writeErrno = errno;
  bool ok = written == static_cast<ssize_t>(line.size());
  if (!ok) {
    why = written < 0 ? Errno(writeErrno) : "the disk took only part of the line (full?)";
    // Our part line is the last one when nobody appended since: cut it off.
    struct stat after {};
    if (written > 0 && fstat(fd, &after) == 0 && after.st_size >= written &&
        static_cast<size_t>(after.st_size) == static_cast<size_t>(st.st_size) + static_cast<size_t>(written))
      if (ftruncate(fd, st.st_size) != 0) why += "; the part line stays (the reader skips it)";
  }
  if (close(fd) != 0 && ok) {
    why = Errno(errno);
    ok = false;
  }
  return ok;
}

ReadResult Read(const std::string& path, size_t maxBytes) {
  ReadResult result;
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 && errno == ENOENT) {
    result.ok = true;
    return result;
  }
  const int fd = OpenRegular(path, O_RDONLY, &result.error);
  if (fd < 0) return result;
  fstat(fd, &st);
  off_t start = 0;
  if (static_cast<size_t>(st.st_size) > maxBytes) {
    start = st.st_size - static_cast<off_t>(maxBytes);
    result.truncated = true;
  }
  std::string content(static_cast<size_t>(st.st_size - start), '\0');
  size_t got = 0;
  while (got < content.size()) {
    const ssize_t n = pread(fd, content.data() + got, content.size() - got, start + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  content.resize(got);
  size_t pos = 0;
  // A read from the middle starts inside a line: drop that part.
  if (result.truncated) {
    const size_t first = content.find('\n');
    pos = first == std::string::npos ? content.size() : first + 1;
  }
  while (pos < content.size()) {
    size_t end = content.find('\n', pos);
    if (end == std::string::npos) end = content.size();
    const std::string line = content.substr(pos, end - pos);
    pos = end + 1;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    Entry entry;
    if (FromJsonLine(line, entry))
      result.entries.push_back(std::move(entry));
    else
      ++result.damagedLines;
  }
  result.ok = true;
  return result;
}

bool NormalizeSince(const std::string& text, std::string& normalized) {
  std::string t = text;
  if (!t.empty() && (t.back() == 'Z' || t.back() == 'z')) t.pop_back();
  // YYYY-MM-DD, then optionally T or blank and HH:MM[:SS].
  auto digits = [&t](size_t at, size_t count) {
    if (at + count > t.size()) return false;
    for (size_t i = at; i < at + count; ++i)
      if (std::isdigit(static_cast<unsigned char>(t[i])) == 0) return false;
    return true;
  };
  if (!digits(0, 4) || t.size() < 10 || t[4] != '-' || !digits(5, 2) || t[7] != '-' || !digits(8, 2)) return false;
  std::string hms = "00:00:00";
  if (t.size() > 10) {
    if ((t[10] != 'T' && t[10] != 't' && t[10] != ' ') || !digits(11, 2) || t.size() < 16 || t[13] != ':' ||
        !digits(14, 2))
      return false;
    hms = t.substr(11, 5) + ":00";
    if (t.size() > 16) {
      if (t.size() != 19 || t[16] != ':' || !digits(17, 2)) return false;
      hms = t.substr(11, 8);
    }
  }
  const int month = std::atoi(t.substr(5, 2).c_str());
  const int day = std::atoi(t.substr(8, 2).c_str());
  if (month < 1 || month > 12 || day < 1 || day > 31 || std::atoi(hms.c_str()) > 23 ||
      std::atoi(hms.c_str() + 3) > 59 || std::atoi(hms.c_str() + 6) > 60)
    return false;
  normalized = t.substr(0, 10) + "T" + hms;
  return true;
}

std::vector<Entry> Select(const std::vector<Entry>& entries, const Filter& filter) {
  std::vector<Entry> chosen;
  const std::string serial = Lower(filter.serialNumber);
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    if (!serial.empty() && Lower(it->serialNumber) != serial) continue;
    // ISO times of one form compare as texts.
    if (!filter.since.empty() && it->time.substr(0, filter.since.size()) < filter.since) continue;
    chosen.push_back(*it);
  }
  // Appends from several programs may land slightly out of order.
  std::stable_sort(chosen.begin(), chosen.end(), [](const Entry& a, const Entry& b) { return a.time > b.time; });
  return chosen;
}

}  // namespace history
