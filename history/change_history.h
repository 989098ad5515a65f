#pragma once
// The change history: one JSON line per write that a program of the suite
// made to a sensor (who, when, through which port, to which sensor, which
// setting, from what to what, and whether the sensor confirmed it), kept in
// one file per user that every program appends to.
//
// Appends are crash-safe: each entry is one complete line handed to the
// kernel in one write() at the end of the file (files::AppendWholeLine:
// O_APPEND on POSIX, append-only access on Windows), so two programs
// writing at once never interleave, and a crash leaves at most one
// unfinished last line. Reading skips a damaged line and goes on. A link is
// never followed and anything but a regular file is refused, both ways.
// Toolkit-free, so Tarkon, tarkon-cli and Ostrel share it.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace history {

// What became of one write.
enum class Outcome {
  kVerified,     // sent and read back as written
  kRefused,      // a check refused the value; nothing was sent
  kFailed,       // it did not reach the sensor, or the sensor kept its old value
  kNotVerified,  // sent, but the sensor's value could not be read back
};
// "verified", "refused", "failed", "not verified".
const char* OutcomeText(Outcome outcome);

struct Entry {
  std::string time;  // UTC, ISO 8601 ("2026-12-08T15:40:00.123Z")
  std::string program;
  std::string user;
  std::string port;
  std::string model;
  std::string serialNumber;
  std::string setting;
  std::string oldValue;
  std::string newValue;
  std::string outcome;  // OutcomeText
};

// $XDG_DATA_HOME/tarkon/history.jsonl, else ~/.local/share/tarkon/history.jsonl
// (files::UserDataFolder; on Windows under %LOCALAPPDATA%).
std::string DefaultPath();
// The login name of the process's user ($USER when the password database
// has none).
std::string CurrentUser();
// Now, as Entry::time.
std::string NowUtc();

// The entry as one JSON object without a line break.
std::string ToJsonLine(const Entry& entry);
// One line back into an entry; false for a damaged line (not an object,
// a field missing or not a text).
bool FromJsonLine(const std::string& line, Entry& entry);

// Appends one line to `path`, creating the file (0600) and its folder
// (0700) when missing. False with the reason (no path in it) when the
// target is a link or not a regular file, or the line was not written whole.
bool Append(const std::string& path, const Entry& entry, std::string* error);

// Every read goes through the whole file, oldest line first, a piece at a
// time: memory holds one piece, one line and the entries kept, never the
// file. Entries kept are bounded by the bytes of their lines; older ones
// beyond that are read, counted and said to be left out.
inline constexpr size_t kMaxReadBytes = 8 * 1024 * 1024;
// A line longer than this is no line a program of the suite wrote: it is
// skipped as damaged without being held whole.
inline constexpr size_t kMaxLineBytes = 4 * 1024 * 1024;

struct ReadResult {
  bool ok = false;        // false: the file could not be read (error says why)
  std::vector<Entry> entries;  // in file order (oldest first)
  size_t damagedLines = 0;     // skipped
  bool truncated = false;      // older entries were left out to stay within maxBytes
  std::string error;
};
// A missing file reads as an empty history. Keeps the newest entries whose
// lines add up to at most `maxBytes`.
ReadResult Read(const std::string& path, size_t maxBytes = kMaxReadBytes);

// One sensor, as the history names it: its serial number exactly (letter
// case counts) and any of the names its model goes by (the display name one
// program records, the model string another does).
struct SensorKey {
  std::string serialNumber;
  std::vector<std::string> models;
};

// Which entries a view or a command shows.
struct Filter {
  std::string serialNumber;  // typed by a user: empty every sensor; else equal in any letter case
  std::string since;         // empty: all; else a normalized time (NormalizeSince)
  // When set, only this sensor's own entries. A sensor whose serial number
  // reads empty can be told from no other: it matches nothing.
  std::optional<SensorKey> sensor;
};
// Whether `entry` passes `filter`.
bool Passes(const Entry& entry, const Filter& filter);

// The entries of the whole file that pass `filter`, newest first: at most
// `maxEntries` of them (the newest in file order), their lines adding up to
// at most `maxBytes`. The others that passed are counted (notKept).
struct Selection {
  bool ok = false;             // false: the file could not be read (error says why)
  std::vector<Entry> entries;  // newest first
  size_t total = 0;            // lines of the file that are not blank
  size_t matched = 0;          // entries that passed, kept or not
  // Damaged lines among those parsed: a line that cannot hold the serial
  // number asked for is passed over unparsed (most of a read's time).
  size_t damagedLines = 0;
  bool stopped = false;        // `stop` ended the read before the file's end
  std::string error;
  size_t notKept() const { return matched - entries.size(); }
};
// `stop` is asked between pieces of the file; true ends the read there.
Selection ReadSelected(const std::string& path, const Filter& filter, size_t maxEntries,
                       const std::function<bool()>& stop = {}, size_t maxBytes = kMaxReadBytes);
// "2026-12-08", "2026-12-08T10:30", "2026-12-08 10:30:15" or with "Z": the
// time from which on entries count, as "YYYY-MM-DDTHH:MM:SS" (UTC). False
// for anything else.
bool NormalizeSince(const std::string& text, std::string& normalized);
// The entries that pass, newest first.
std::vector<Entry> Select(const std::vector<Entry>& entries, const Filter& filter);

}  // namespace history
