#pragma once
// The lines of a protocol trace kept for a window: a ProtocolTrace whose
// lines land here, to be shown, paused, cleared and saved. Lines may arrive
// from a bus scan's own thread, so the log locks; the listener is told
// after each line (on the thread that traced it) and must only post.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/protocol_trace.h"

namespace fleet {

class TraceLog {
 public:
  using Listener = std::function<void()>;

  TraceLog();
  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  // The trace to attach to a link, block sender or bus scan.
  ProtocolTrace& trace() { return *trace_; }

  // While paused the trace's lines are not kept.
  void SetPaused(bool paused);
  bool paused() const;
  void Clear();
  size_t size() const;
  // Lines from index `from` on (those a viewer has not taken yet).
  std::vector<std::string> Lines(size_t from = 0) const;
  // Writes every line, one per line of the file, replacing the file whole
  // (an old one stays as it was when the new one cannot be written). False
  // with the reason.
  bool Save(const std::string& path, std::string& error) const;

  void SetListener(Listener listener);

 private:
  void Add(const std::string& line);

  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  bool paused_ = false;
  Listener listener_;
  std::unique_ptr<ProtocolTrace> trace_;
};

}  // namespace fleet
