#include "history/change_history.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <nlohmann/json.hpp>
#include <utility>

#include "files/shared_log_file.h"
#include "files/user_data_folder.h"
#include "files/user_name.h"

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

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
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

std::string DefaultPath() { return files::UserDataFolder() + "/" + kFolder + "/" + kFileName; }

std::string CurrentUser() { return files::CurrentUserName(); }

std::string NowUtc() {
  // The standard library's calendar: no C library time call, the same on
  // every platform.
  using namespace std::chrono;
  const auto now = system_clock::now();
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss<milliseconds> time{floor<milliseconds>(now - day)};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
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
  if (!files::MakeFolders(FolderOf(path), &why)) return false;
  return files::AppendWholeLine(path, ToJsonLine(entry) + "\n", &why);
}

namespace {

// Bytes read from the file at a time.
constexpr size_t kPieceBytes = 1024 * 1024;

// What a scan counts besides the entries it hands on.
struct ScanCounts {
  size_t lines = 0;    // lines that are not blank
  size_t damaged = 0;  // of those parsed: no entry, or longer than kMaxLineBytes
  bool stopped = false;
};

// Goes through the file at `path` from its first line to its last, handing
// each whole entry and the size of its line to `take`. A line for which
// `mayMatch` (when set) says no is passed over unparsed: no entry it could
// hold is wanted. False with the reason when the file cannot be read;
// `counts.stopped` when `stop` ended it early.
bool ScanEntries(const std::string& path, const std::function<void(Entry&&, size_t)>& take,
                 const std::function<bool()>& stop, const std::function<bool(const std::string&)>& mayMatch,
                 ScanCounts& counts, std::string& error) {
  files::LogFileReader in;
  if (!in.Open(path, &error)) return false;
  std::string piece;
  std::string line;
  bool overlong = false;  // the line in progress passed kMaxLineBytes: skipped up to its end
  auto endLine = [&] {
    if (overlong) {
      ++counts.lines;
      ++counts.damaged;
    } else if (line.find_first_not_of(" \t\r") != std::string::npos) {
      ++counts.lines;
      // Parsing is most of a read's time: a line that cannot match is left.
      if (!mayMatch || mayMatch(line)) {
        Entry entry;
        if (FromJsonLine(line, entry))
          take(std::move(entry), line.size() + 1);
        else
          ++counts.damaged;
      }
    }
    line.clear();
    overlong = false;
  };
  for (;;) {
    if (stop && stop()) {
      counts.stopped = true;
      return true;
    }
    const long n = in.ReadPiece(piece, kPieceBytes, &error);
    if (n < 0) return false;
    if (n == 0) break;
    size_t pos = 0;
    while (pos < piece.size()) {
      const size_t end = piece.find('\n', pos);
      const size_t lineEnd = end == std::string::npos ? piece.size() : end;
      if (!overlong) {
        if (line.size() + (lineEnd - pos) > kMaxLineBytes) {
          overlong = true;
          line.clear();
          line.shrink_to_fit();
        } else {
          line.append(piece, pos, lineEnd - pos);
        }
      }
      if (end == std::string::npos) break;
      endLine();
      pos = end + 1;
    }
  }
  // A last line without its line break (a crash mid-append) is read too:
  // a torn one fails to parse and counts as damaged.
  if (overlong || !line.empty()) endLine();
  return true;
}

// A serial number a line holds as it is, in a JSON text: printable, with
// nothing to escape.
bool PlainText(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; });
}

// Whether a line may hold an entry that passes `filter`'s serial number:
// an entry whose serial number is plain text holds it as "SERIAL" in its
// line, so a line without that (in any letter case, for a typed filter)
// holds no such entry. Unset when every line must be parsed.
std::function<bool(const std::string&)> MayHoldSerial(const Filter& filter) {
  if (filter.sensor) {
    // A sensor without a serial number has no entries at all.
    if (filter.sensor->serialNumber.empty()) return [](const std::string&) { return false; };
    if (PlainText(filter.sensor->serialNumber)) {
      const std::string quoted = "\"" + filter.sensor->serialNumber + "\"";
      return [quoted](const std::string& line) { return line.find(quoted) != std::string::npos; };
    }
  }
  if (!filter.serialNumber.empty() && PlainText(filter.serialNumber)) {
    const std::string quoted = "\"" + Lower(filter.serialNumber) + "\"";
    return [quoted](const std::string& line) {
      const auto same = [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; };
      return std::search(line.begin(), line.end(), quoted.begin(), quoted.end(), same) != line.end();
    };
  }
  return {};
}

}  // namespace

ReadResult Read(const std::string& path, size_t maxBytes) {
  ReadResult result;
  std::deque<std::pair<Entry, size_t>> kept;
  size_t keptBytes = 0;
  auto take = [&](Entry&& entry, size_t bytes) {
    kept.emplace_back(std::move(entry), bytes);
    keptBytes += bytes;
    while (keptBytes > maxBytes && !kept.empty()) {
      keptBytes -= kept.front().second;
      kept.pop_front();
      result.truncated = true;
    }
  };
  ScanCounts counts;
  const bool read = ScanEntries(path, take, {}, {}, counts, result.error);
  result.damagedLines = counts.damaged;
  if (!read) return result;
  for (auto& [entry, bytes] : kept) result.entries.push_back(std::move(entry));
  result.ok = true;
  return result;
}

bool Passes(const Entry& entry, const Filter& filter) {
  if (filter.sensor) {
    const SensorKey& sensor = *filter.sensor;
    if (sensor.serialNumber.empty() || entry.serialNumber != sensor.serialNumber) return false;
    if (std::find(sensor.models.begin(), sensor.models.end(), entry.model) == sensor.models.end()) return false;
  }
  if (!filter.serialNumber.empty() && Lower(entry.serialNumber) != Lower(filter.serialNumber)) return false;
  // ISO times of one form compare as texts.
  if (!filter.since.empty() && entry.time.substr(0, filter.since.size()) < filter.since) return false;
  return true;
}

Selection ReadSelected(const std::string& path, const Filter& filter, size_t maxEntries,
                       const std::function<bool()>& stop, size_t maxBytes) {
  Selection result;
  std::deque<std::pair<Entry, size_t>> kept;
  size_t keptBytes = 0;
  auto take = [&](Entry&& entry, size_t bytes) {
    if (!Passes(entry, filter)) return;
    ++result.matched;
    kept.emplace_back(std::move(entry), bytes);
    keptBytes += bytes;
    while (!kept.empty() && (kept.size() > maxEntries || keptBytes > maxBytes)) {
      keptBytes -= kept.front().second;
      kept.pop_front();
    }
  };
  ScanCounts counts;
  const bool read = ScanEntries(path, take, stop, MayHoldSerial(filter), counts, result.error);
  result.total = counts.lines;
  result.damagedLines = counts.damaged;
  result.stopped = counts.stopped;
  if (!read) return result;
  for (auto it = kept.rbegin(); it != kept.rend(); ++it) result.entries.push_back(std::move(it->first));
  // Appends from several programs may land slightly out of order.
  std::stable_sort(result.entries.begin(), result.entries.end(),
                   [](const Entry& a, const Entry& b) { return a.time > b.time; });
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
  for (auto it = entries.rbegin(); it != entries.rend(); ++it)
    if (Passes(*it, filter)) chosen.push_back(*it);
  // Appends from several programs may land slightly out of order.
  std::stable_sort(chosen.begin(), chosen.end(), [](const Entry& a, const Entry& b) { return a.time > b.time; });
  return chosen;
}

}  // namespace history
