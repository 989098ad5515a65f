#pragma once
// Helpers of the reliability tests: the shared private temporary directory, a
// watchdog that ends a test that hangs instead of letting it block the run,
// and a document listener that keeps the log lines.

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/temp_dir.h"
#include "tarkon/document/document_listener.h"

namespace reliability {

using Clock = std::chrono::steady_clock;

inline long MsSince(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

using TempDir = testsupport::TempDir;

// Ends the whole program with a message when it is still alive after
// `seconds`: a hang is a failure, not a stuck test run.
class Watchdog {
 public:
  Watchdog(int seconds, std::string what) : what_(std::move(what)) {
    thread_ = std::thread([this, seconds] {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!cv_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) {
        std::fprintf(stderr, "watchdog: %s did not finish within %d s\n", what_.c_str(), seconds);
        std::fflush(stderr);
        std::_Exit(3);
      }
    });
  }
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::string what_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

// Keeps the document's log lines (they come on the test's own thread).
class LogListener : public DocumentListener {
 public:
  void OnLogLine(int kind, const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.emplace_back(kind, text);
  }
  std::vector<std::pair<int, std::string>> Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
  }
  // True when some line of `kind` equals `text`.
  bool Has(int kind, const std::string& text) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [k, t] : lines_) {
      if (k == kind && t == text) return true;
    }
    return false;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<int, std::string>> lines_;
};

}  // namespace reliability
