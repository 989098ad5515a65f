#pragma once
// The lines of a protocol trace kept for a window: a ProtocolTrace whose
// lines land here, to be shown, paused, cleared and saved. Lines may arrive
// from a bus scan's own thread, so the log locks; the listener is told
// after each line (on the thread that traced it) and must only post. It is
// told under a lock that SetListener also takes, so once SetListener
// returns the old listener is not being called and will not be: a pane may
// go away while a scan still traces.
//
// A trace left running for hours must not eat the memory: the log keeps
// the newest kMaxLines lines and drops the oldest. Lines are numbered from
// the first one ever kept, so a viewer that takes new lines by number
// (LinesSince) stays right when old ones were dropped or cleared.

#include <cstdint>
#include <deque>
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
  static constexpr size_t kMaxLines = 100000;

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
  // Lines from index `from` of those kept now on.
  std::vector<std::string> Lines(size_t from = 0) const;
  // For a viewer: the lines numbered `next` and later that are still kept
  // (those it has not taken yet); `next` becomes the number of the line
  // after the last one.
  std::vector<std::string> LinesSince(uint64_t& next) const;
  // Writes every line, one per line of the file, replacing the file whole
  // (an old one stays as it was when the new one cannot be written). False
  // with the reason.
  bool Save(const std::string& path, std::string& error) const;

  void SetListener(Listener listener);

 private:
  void Add(const std::string& line);

  mutable std::mutex mutex_;
  std::deque<std::string> lines_;
  uint64_t firstNumber_ = 0;  // the number of lines_.front()
  bool paused_ = false;
  // Held while the listener is called and while it is replaced; never
  // together with mutex_, so a listener may read the log.
  std::mutex listenerMutex_;
  Listener listener_;
  std::unique_ptr<ProtocolTrace> trace_;
};

}  // namespace fleet
