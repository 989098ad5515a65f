#include "tarkon/document/change_recorder.h"

std::string ChangeRecorder::path() const { return path_.empty() ? history::DefaultPath() : path_; }

bool ChangeRecorder::Record(const WriteTarget& target, const std::string& setting, const std::string& oldValue,
                            const std::string& newValue, history::Outcome outcome) {
  if (!recording_) return true;
  history::Entry entry;
  entry.time = history::NowUtc();
  entry.program = program_;
  entry.user = history::CurrentUser();
  entry.port = target.port;
  entry.model = target.model;
  entry.serialNumber = target.serialNumber;
  entry.setting = setting;
  entry.oldValue = oldValue;
  entry.newValue = newValue;
  entry.outcome = history::OutcomeText(outcome);
  const std::string where = path();
  std::string error;
  if (history::Append(where, entry, &error)) {
    noticeTold_ = false;  // a later failure is news again
    return true;
  }
  ++failedWrites_;
  lastError_ = error;
  lastNotice_ = "Change history not written (" + where + ": " + error + ")";
  if (!noticeTold_) notice_ = lastNotice_;
  return false;
}

std::string ChangeRecorder::TakeFailureNotice() {
  if (noticeTold_ || notice_.empty()) return std::string();
  noticeTold_ = true;
  std::string notice;
  notice.swap(notice_);
  return notice;
}
