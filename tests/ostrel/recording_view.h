#pragma once
// An OstrelView that keeps everything it is told and answers the questions
// from what the test set beforehand.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ostrel/operations/ostrel_view.h"

namespace ostreltest {

struct RecordingView : ostrel::OstrelView {
  std::vector<std::string> statuses;
  unsigned long long comErrors = 0;
  std::vector<std::pair<std::string, ostrel::Field>> inputErrors;
  std::vector<std::string> informations;
  std::vector<std::string> questions;
  bool answerYes = true;
  std::string fileToChoose;
  std::string chosenFilters;
  int chosenFirstFilter = -1;
  std::string portToChoose;
  size_t portChoices = 0;
  std::vector<std::pair<bool, int>> progress;
  std::vector<bool> connectedStates;
  std::vector<std::pair<int, int>> storedConnections;

  void SetStatus(const std::string& text) override { statuses.push_back(text); }
  void SetComErrors(unsigned long long count) override { comErrors = count; }
  void ShowInputError(const std::string& text, ostrel::Field field) override { inputErrors.emplace_back(text, field); }
  void ShowInformation(const std::string& text) override { informations.push_back(text); }
  std::vector<bool> answersInTurn;  // answers to the next questions, then answerYes
  bool AskYesNo(const std::string& text) override {
    questions.push_back(text);
    if (questions.size() <= answersInTurn.size()) return answersInTurn[questions.size() - 1];
    return answerYes;
  }
  std::string ChooseFile(const std::string& filters, int firstFilter, const std::string&) override {
    chosenFilters = filters;
    chosenFirstFilter = firstFilter;
    return fileToChoose;
  }
  std::string ChoosePort(const std::vector<FoundPort>&) override {
    ++portChoices;
    return portToChoose;
  }
  void SetProgress(bool visible, int percent) override {
    progress.emplace_back(visible, percent);
    if (onProgress) onProgress(visible, percent);
  }
  std::function<void(bool, int)> onProgress;  // what the technician does meanwhile
  std::vector<std::string> progressTexts;
  std::vector<std::string> uploadPlan;
  void SetUploadPlan(const std::vector<std::string>& lines) override { uploadPlan = lines; }
  void SetProgressText(const std::string& text) override { progressTexts.push_back(text); }
  void SetConnected(bool connected) override { connectedStates.push_back(connected); }
  void FieldsChanged() override {}
  void StoreConnection(int port, int baud, const std::string&) override { storedConnections.emplace_back(port, baud); }
  std::vector<ostrel::SpotValues> spots;
  std::vector<std::string> memo;
  std::string saveFile;
  void ShowSpot(const ostrel::SpotValues& values) override { spots.push_back(values); }
  void SetMemo(const std::vector<std::string>& lines) override { memo = lines; }
  std::string proposedSaveName;
  std::string ChooseSaveFile(const std::string& proposedName) override {
    proposedSaveName = proposedName;
    return saveFile;
  }
  std::vector<std::string> log;
  std::vector<std::vector<std::string>> results;  // each upload's result lines
  std::vector<ostrel::SettingDifference> restoreRows;
  bool answerRestore = false;
  void Log(const std::string& line) override { log.push_back(line); }
  void ShowUploadResult(const std::vector<std::string>& lines) override { results.push_back(lines); }
  bool AskRestore(const std::string& question, const std::vector<ostrel::SettingDifference>& rows) override {
    questions.push_back(question);
    restoreRows = rows;
    return answerRestore;
  }

  std::string LastStatus() const { return statuses.empty() ? std::string() : statuses.back(); }
  bool SawStatus(const std::string& text) const {
    for (const auto& s : statuses)
      if (s == text) return true;
    return false;
  }
};

}  // namespace ostreltest
