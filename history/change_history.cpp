#include "history/change_history.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

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

ReadResult Read(const std::string& path, size_t maxBytes) {
  ReadResult result;
  files::LogTail tail = files::ReadLogTail(path, maxBytes);
  if (!tail.ok) {
    result.error = std::move(tail.error);
    return result;
  }
  result.truncated = tail.truncated;
  const std::string& content = tail.content;
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
