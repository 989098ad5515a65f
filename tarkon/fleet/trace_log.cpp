#include "tarkon/fleet/trace_log.h"

#include "files/atomic_file_writer.h"

namespace fleet {

TraceLog::TraceLog() : trace_(std::make_unique<ProtocolTrace>([this](const std::string& line) { Add(line); })) {}

void TraceLog::Add(const std::string& line) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (paused_) return;
    lines_.push_back(line);
    if (lines_.size() > kMaxLines) {
      lines_.pop_front();
      ++firstNumber_;
    }
  }
  std::lock_guard<std::mutex> lock(listenerMutex_);
  if (listener_) listener_();
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
  firstNumber_ += lines_.size();
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

std::vector<std::string> TraceLog::LinesSince(uint64_t& next) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t end = firstNumber_ + lines_.size();
  const uint64_t from = next < firstNumber_ ? firstNumber_ : next;
  next = end;
  if (from >= end) return {};
  return std::vector<std::string>(lines_.begin() + static_cast<std::ptrdiff_t>(from - firstNumber_), lines_.end());
}

bool TraceLog::Save(const std::string& path, std::string& error) const {
  std::string text;
  for (const std::string& line : Lines()) text += line + "\n";
  // Replaced whole or not at all: a full disk keeps an earlier trace.
  files::AtomicFileWriter out(path);
  if (!out.Open()) {
    error = "cannot open " + path + ": " + out.error();
    return false;
  }
  if (out.Write(text) && out.Commit()) return true;
  error = "cannot write " + path + ": " + out.error();
  return false;
}

void TraceLog::SetListener(Listener listener) {
  std::lock_guard<std::mutex> lock(listenerMutex_);
  listener_ = std::move(listener);
}

}  // namespace fleet
