// Every write of Ostrel's Settings and upload buttons goes to the change
// history shared by the suite's programs (history/change_history.h).

#include "history/change_history.h"
#include "ostrel/operations/operations.h"

namespace ostrel {

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

}  // namespace ostrel
