#pragma once
// The machine's serial ports, followed as adapters are plugged in and
// pulled (udev's tty events; nothing is polled or opened). A window keeps
// one for its lifetime: its connect dialog's list refreshes from it, and
// whatever must act when a port comes back (a reconnect) subscribes to it.
//
// The hook for "the port that went away is back": subscribe, and on the
// listener's thread only hand the change over to your own thread (a window
// posts it to its event loop). Each change names the ports that appeared
// and those that went away, each with its device, name, by-id name and USB
// serial number, so the same adapter is recognised under a new device node:
//
//   watch.Subscribe([window](const PortListChange& change) {
//     post to window: for (const ListedPort& p : change.appeared)
//                       reconnect.PortAppeared(p.byId, p.usbSerial, p.device);
//   });

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tarkon/document/port_list.h"

struct PortListChange {
  std::vector<ListedPort> appeared;     // present now, not before
  std::vector<ListedPort> disappeared;  // as they were listed before they went
};

class PortWatch {
 public:
  // Runs on the watch's own thread, once per change. It must not
  // Subscribe, Unsubscribe or destroy the watch.
  using Listener = std::function<void(const PortListChange&)>;

  // This machine: udev's events (inotify on /dev without udev).
  PortWatch();
  // A sysfs tree under `sysRoot` with its device nodes under `devRoot`,
  // followed through inotify on `devRoot` (a test's tree).
  PortWatch(const std::string& sysRoot, const std::string& devRoot);
  // Stops the thread; no listener is called afterwards.
  ~PortWatch();
  PortWatch(const PortWatch&) = delete;
  PortWatch& operator=(const PortWatch&) = delete;

  // Whether changes are reported (false when no event source could be had:
  // the list is then the one taken at construction).
  bool following() const;
  // The devices as last listed.
  std::vector<ListedPort> Found() const;

  // A token for Unsubscribe. After Unsubscribe returns, the listener is
  // not called again (a call in progress is waited for).
  int Subscribe(Listener listener);
  void Unsubscribe(int token);

 private:
  struct Impl;
  void Dispatch(const PortListChange& change);

  std::mutex listenersMutex_;  // held while listeners run
  std::vector<std::pair<int, Listener>> listeners_;
  int nextToken_ = 1;
  std::unique_ptr<Impl> impl_;  // last: its thread stops before the listeners go
};
