#pragma once
// The document's listener: set and called on the thread that owns the
// connection, and also called from the poll worker's thread. The pointer is
// atomic, and the worker's calls are made under a mutex that Set also
// takes, so once Set returns the old listener is neither being called from
// the worker nor called again: its owner may destroy it at once. The
// worker's call (OnPollTickPending) must not block and must not call Set,
// so holding the mutex through it cannot stall a disconnect or close.

#include <atomic>
#include <mutex>

#include "tarkon/document/document_listener.h"

class ListenerSlot {
 public:
  // Waits for a call from the worker that is in flight.
  void Set(DocumentListener* listener) {
    const std::lock_guard<std::mutex> guard(workerCall_);
    listener_.store(listener);
  }

  // For calls on the owning thread, where Set cannot run meanwhile.
  DocumentListener* get() const { return listener_.load(); }

  // For the worker's thread: calls `call` with the listener, if there is one,
  // while Set cannot take it away.
  template <typename Call>
  void CallFromWorker(Call call) {
    const std::lock_guard<std::mutex> guard(workerCall_);
    if (DocumentListener* listener = listener_.load()) call(*listener);
  }

 private:
  std::atomic<DocumentListener*> listener_{nullptr};
  std::mutex workerCall_;
};
