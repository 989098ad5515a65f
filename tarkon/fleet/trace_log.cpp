#include "tarkon/fleet/trace_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace fleet {

TraceLog::TraceLog() : trace_(std::make_unique<ProtocolTrace>([this](const std::string& line) { Add(line); })) {}

void TraceLog::Add(const std::string& line) {
  Listener listener;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (paused_) return;
    lines_.push_back(line);
    listener = listener_;
  }
  if (listener) listener();
}

void TraceLog::SetPaused(bool paused) {
  std::lock_guard<std::mutex> lock(mutex_);
  paused_ = paused;
}

bool TraceLog::paused() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return paused_;
}

void TraceLog::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
}

size_t TraceLog::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_.size();
}

std::vector<std::string> TraceLog::Lines(size_t from) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (from >= lines_.size()) return {};
  return std::vector<std::string>(lines_.begin() + static_cast<std::ptrdiff_t>(from), lines_.end());
}

bool TraceLog::Save(const std::string& path, std::string& error) const {
  const std::vector<std::string> lines = Lines();
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = true;
  for (const std::string& line : lines) ok = ok && std::fprintf(file, "%s\n", line.c_str()) >= 0;
  ok = (std::fclose(file) == 0) && ok;
  if (!ok) error = "cannot write " + path + ": " + std::strerror(errno);
  return ok;
}

void TraceLog::SetListener(Listener listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  listener_ = std::move(listener);
}

}  // namespace fleet
