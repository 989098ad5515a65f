#pragma once
// A document listener that keeps everything it is told, for tests. Log
// lines, state changes and panel switches come on the test's own thread;
// the poll notice comes on the poll worker's thread and is only counted.

#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tarkon/document/document_listener.h"

namespace testsupport {

using LogLines = std::vector<std::pair<int, std::string>>;

class RecordingListener : public DocumentListener {
 public:
  void OnLogLine(int kind, const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.emplace_back(kind, text);
  }
  void OnSensorStateChanged() override { stateChanges_.fetch_add(1); }
  void OnShowPanel(int model) override {
    std::lock_guard<std::mutex> lock(mutex_);
    panels_.push_back(model);
  }
  void OnUpdateAllViews() override { viewUpdates_.fetch_add(1); }
  void OnPollTickPending() override { pollNotices_.fetch_add(1); }

  LogLines lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  std::vector<int> panels() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return panels_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
    panels_.clear();
  }
  // Lines of one kind.
  std::vector<std::string> TextsOfKind(int kind) const {
    std::vector<std::string> texts;
    for (const auto& [k, text] : lines())
      if (k == kind) texts.push_back(text);
    return texts;
  }
  int stateChanges() const { return stateChanges_.load(); }
  int viewUpdates() const { return viewUpdates_.load(); }
  int pollNotices() const { return pollNotices_.load(); }

 private:
  mutable std::mutex mutex_;
  LogLines lines_;
  std::vector<int> panels_;
  std::atomic<int> stateChanges_{0};
  std::atomic<int> viewUpdates_{0};
  std::atomic<int> pollNotices_{0};
};

}  // namespace testsupport
