#include "tarkon/document/port_watch.h"

#include <algorithm>

#include "serial/port_monitor.h"

namespace {

std::vector<ListedPort> Listed(const std::vector<FoundPort>& ports) {
  std::vector<ListedPort> listed;
  for (const FoundPort& p : ports) listed.push_back({p.name, p.device, p.description, p.byId, p.usbSerial});
  return listed;
}

}  // namespace

struct PortWatch::Impl {
  explicit Impl(std::unique_ptr<PortMonitor> m) : monitor(std::move(m)) {}
  std::unique_ptr<PortMonitor> monitor;
};

PortWatch::PortWatch() : impl_(std::make_unique<Impl>(std::make_unique<PortMonitor>())) {
  impl_->monitor->Start([this](const PortChanges& c) { Dispatch({Listed(c.appeared), Listed(c.disappeared)}); });
}

PortWatch::PortWatch(const std::string& sysRoot, const std::string& devRoot)
    : impl_(std::make_unique<Impl>(std::make_unique<PortMonitor>(
          OpenDeviceFolderEvents(devRoot), [sysRoot, devRoot] { return FindSerialPortsInSysfs(sysRoot, devRoot); }))) {
  impl_->monitor->Start([this](const PortChanges& c) { Dispatch({Listed(c.appeared), Listed(c.disappeared)}); });
}

PortWatch::~PortWatch() { impl_->monitor->Stop(); }

bool PortWatch::following() const { return impl_->monitor->following(); }

std::vector<ListedPort> PortWatch::Found() const { return Listed(impl_->monitor->ports()); }

int PortWatch::Subscribe(Listener listener) {
  std::lock_guard<std::mutex> lock(listenersMutex_);
  listeners_.emplace_back(nextToken_, std::move(listener));
  return nextToken_++;
}

void PortWatch::Unsubscribe(int token) {
  std::lock_guard<std::mutex> lock(listenersMutex_);
  listeners_.erase(std::remove_if(listeners_.begin(), listeners_.end(),
                                  [token](const auto& entry) { return entry.first == token; }),
                   listeners_.end());
}

void PortWatch::Dispatch(const PortListChange& change) {
  std::lock_guard<std::mutex> lock(listenersMutex_);
  for (const auto& [token, listener] : listeners_) listener(change);
}
