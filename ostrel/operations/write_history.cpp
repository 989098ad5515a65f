// Every write of Ostrel's Settings and upload buttons goes to the change
// history shared by the suite's programs (history/change_history.h), with
// what the sensor held before and whether its read-back showed the value
// sent; the log and the status line say what the sensor holds now.

#include <algorithm>

#include "history/change_history.h"
#include "ostrel/operations/operations.h"

namespace ostrel {
namespace {

history::Outcome OutcomeOf(const SettingWrite& w) {
  if (!w.readBack) return history::Outcome::kNotVerified;
  return w.asSent ? history::Outcome::kVerified : history::Outcome::kFailed;
}

// What the read-back found when it was not the value sent.
std::string Differs(const SettingWrite& w) {
  return w.why.empty() ? "the sensor holds " + w.now : w.why;
}

// "Threshold: 50 -> 77, verified"
std::string LogLine(const SettingWrite& w) {
  const std::string change =
      w.name + ": " + (w.before.empty() ? std::string("(not read before)") : w.before) + " -> " + w.sent;
  if (!w.readBack) return change + " sent, not verified: " + w.why;
  if (!w.asSent) return change + " sent, but " + Differs(w);
  return change + ", verified";
}

}  // namespace

void Operations::RecordWrite(const std::string& setting, const std::string& oldValue, const std::string& newValue,
                             history::Outcome outcome) {
  history::Entry entry;
  entry.time = history::NowUtc();
  entry.program = "Ostrel";
  entry.user = history::CurrentUser();
  entry.port = link_.port().device();
  entry.model = lastModelName_;
  entry.serialNumber = fields_.serialPanel;
  entry.setting = setting;
  entry.oldValue = oldValue;
  entry.newValue = newValue;
  entry.outcome = history::OutcomeText(outcome);
  std::string error;
  if (history::Append(history::DefaultPath(), entry, &error)) return;
  historyError_ = "Change history not written (" + history::DefaultPath() + ": " + error + ")";
}

std::string Operations::ReportWrites(const std::vector<SettingWrite>& writes) {
  const SettingWrite* differs = nullptr;
  const SettingWrite* unverified = nullptr;
  std::string holds;
  for (const SettingWrite& w : writes) {
    RecordWrite(w.name, w.before, w.sent, OutcomeOf(w));
    view_.Log(LogLine(w));
    if (w.readBack && !w.asSent && differs == nullptr) differs = &w;
    if (!w.readBack && unverified == nullptr) unverified = &w;
    holds += (holds.empty() ? "" : ", ") + w.name + " " + w.now;
  }
  // A value the sensor did not take outweighs one that could not be read
  // back; the log has every one.
  if (differs != nullptr) return "Error! " + differs->name + ": sent " + differs->sent + ", " + Differs(*differs);
  if (unverified != nullptr)
    return "Not verified: " + unverified->name + " " + unverified->sent + " sent; " + unverified->why;
  return "Verified: " + holds;
}

std::string Operations::Before(const std::string& name) const {
  if (std::find(known_.begin(), known_.end(), name) == known_.end()) return std::string();
  return ShownValue(sensor_, name);
}

void Operations::Know(std::initializer_list<const char*> names) {
  for (const char* name : names)
    if (std::find(known_.begin(), known_.end(), name) == known_.end()) known_.emplace_back(name);
}

}  // namespace ostrel
