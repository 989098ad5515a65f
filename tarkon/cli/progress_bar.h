#pragma once
// A one-line progress bar on standard error, drawn only when standard error
// is a terminal (scripts reading the output see nothing of it).

#include <chrono>
#include <cstdio>
#include <string>

class ProgressBar {
 public:
  explicit ProgressBar(std::string label, FILE* out = stderr);
  ~ProgressBar();
  // done out of total; redraws only when the shown percentage changes.
  void Update(long done, long total);
  // Bytes: the bar with the bytes sent, the rate and the time left.
  void UpdateBytes(long done, long total);
  void Finish();
  bool enabled() const { return enabled_; }

 private:
  std::string label_;
  FILE* out_;
  bool enabled_;
  int lastPercent_ = -1;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
