#include "serial/port_monitor.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace {

// A plug makes a burst of events (the node, its links, a second interface
// of the adapter): they are taken together, then listed once.
constexpr int kSettleMs = 100;

bool SamePort(const FoundPort& a, const FoundPort& b) {
  return a.device == b.device && a.byId == b.byId && a.description == b.description;
}

bool Contains(const std::vector<FoundPort>& ports, const FoundPort& port) {
  return std::any_of(ports.begin(), ports.end(), [&](const FoundPort& p) { return SamePort(p, port); });
}

}  // namespace

PortChanges DiffPorts(const std::vector<FoundPort>& before, const std::vector<FoundPort>& now) {
  PortChanges changes;
  changes.now = now;
  for (const FoundPort& port : now)
    if (!Contains(before, port)) changes.appeared.push_back(port);
  for (const FoundPort& port : before)
    if (!Contains(now, port)) changes.disappeared.push_back(port);
  return changes;
}

PortMonitor::PortMonitor(std::unique_ptr<PortEventSource> source, Lister lister)
    : source_(std::move(source)), lister_(std::move(lister)) {}

PortMonitor::PortMonitor() : PortMonitor(OpenSystemPortEvents(), [] { return FindSerialPorts(); }) {}

PortMonitor::~PortMonitor() { Stop(); }

bool PortMonitor::Start(Listener listener) {
  if (thread_.joinable()) return false;
  {
    std::vector<FoundPort> listed = lister_();
    std::lock_guard<std::mutex> lock(mutex_);
    ports_ = std::move(listed);
  }
  if (source_ == nullptr || source_->fd() < 0) return false;
#ifdef _WIN32
  // No event source exists there (port_events.cpp); nothing to wait on.
  (void)listener;
  return false;
#else
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
    wake_[0] = wake_[1] = -1;
    return false;
  }
  listener_ = std::move(listener);
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    close(wake_[0]);
    close(wake_[1]);
    wake_[0] = wake_[1] = -1;
    return false;
  }
  return true;
#endif
}

void PortMonitor::Stop() {
  if (!thread_.joinable()) return;
#ifndef _WIN32
  const char byte = 1;
  // The pipe is empty but for this byte, so the write cannot block or fail
  // for want of room; the thread wakes whatever it waits for.
  while (write(wake_[1], &byte, 1) < 0 && errno == EINTR) {
  }
  thread_.join();
  close(wake_[0]);
  close(wake_[1]);
  wake_[0] = wake_[1] = -1;
#endif
}

bool PortMonitor::following() const { return thread_.joinable(); }

std::vector<FoundPort> PortMonitor::ports() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ports_;
}

void PortMonitor::Run() {
#ifndef _WIN32
  for (;;) {
    pollfd fds[2] = {{wake_[0], POLLIN, 0}, {source_->fd(), POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents != 0) return;
    // A source that broke reports nothing more; the last list stays.
    if ((fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return;
    if ((fds[1].revents & POLLIN) == 0) continue;
    source_->Drain();
    pollfd wake = {wake_[0], POLLIN, 0};
    if (poll(&wake, 1, kSettleMs) > 0) return;
    source_->Drain();
    Relist();
  }
#endif
}

void PortMonitor::Relist() {
  std::vector<FoundPort> listed = lister_();
  PortChanges changes;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    changes = DiffPorts(ports_, listed);
    ports_ = std::move(listed);
  }
  if (!changes.empty() && listener_) listener_(changes);
}
