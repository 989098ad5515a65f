#pragma once
// Follows the machine's serial ports as adapters are plugged in and pulled:
// a thread waits on an event source (udev's tty events, see port_events.h)
// and on a wake pipe; after each event it lists the ports again (nothing is
// opened) and reports what appeared and what went away.
//
// Stop() wakes the thread through its pipe and joins it, so stopping never
// waits on the system; the destructor stops.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/port_discovery.h"
#include "serial/port_events.h"

struct PortChanges {
  std::vector<FoundPort> now;          // every port present, sorted as FindSerialPorts sorts
  std::vector<FoundPort> appeared;     // in `now`, not before
  std::vector<FoundPort> disappeared;  // as they were listed before they went
  bool empty() const { return appeared.empty() && disappeared.empty(); }
};

// What changed from `before` to `now`. A port is the same port when its
// device, by-id name and description are; a device node reused by another
// adapter counts as one gone and one come.
PortChanges DiffPorts(const std::vector<FoundPort>& before, const std::vector<FoundPort>& now);

class PortMonitor {
 public:
  using Lister = std::function<std::vector<FoundPort>()>;
  // Called on the monitor's thread, once per change, never with an empty
  // change. It must not Stop() or destroy its monitor.
  using Listener = std::function<void(const PortChanges&)>;

  // `source` may be null: the monitor then lists once and reports nothing.
  PortMonitor(std::unique_ptr<PortEventSource> source, Lister lister);
  // This machine: OpenSystemPortEvents() and FindSerialPorts().
  PortMonitor();
  ~PortMonitor();
  PortMonitor(const PortMonitor&) = delete;
  PortMonitor& operator=(const PortMonitor&) = delete;

  // Lists the ports (before it returns) and starts following them. False
  // when already started, or when no thread could be made (the list is
  // then still taken).
  bool Start(Listener listener);
  // Ends the thread; after it returns the listener is not called again.
  void Stop();

  // Whether changes are followed (a source and a running thread).
  bool following() const;
  // The ports as last listed.
  std::vector<FoundPort> ports() const;

 private:
  void Run();
  void Relist();

  std::unique_ptr<PortEventSource> source_;
  Lister lister_;
  Listener listener_;
  mutable std::mutex mutex_;  // guards ports_
  std::vector<FoundPort> ports_;
  std::thread thread_;
  int wake_[2] = {-1, -1};
};
