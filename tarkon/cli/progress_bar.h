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
  // The bar at `percent` followed by a text of the caller's (the engine's
  // progress text); redrawn at every call.
  void UpdateText(int percent, const std::string& text);
  void Finish();
  bool enabled() const { return enabled_; }

 private:
  std::string label_;
  FILE* out_;
  bool enabled_;
  int lastPercent_ = -1;
  bool drawn_ = false;
};
