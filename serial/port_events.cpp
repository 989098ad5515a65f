#include "serial/port_events.h"

#include <string>

// udev and inotify are Linux's; elsewhere there is no event source and the
// port list is the one taken when the monitor starts.
#if defined(__linux__)
#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#ifdef LRS_HAVE_LIBUDEV
#include <libudev.h>
#endif
#endif

#if defined(__linux__)
namespace {

// A node made or removed in the device folder; by-id links come and go in
// their own folder, which udev makes only with the first adapter, so it is
// watched as soon as it exists.
class DeviceFolderEvents : public PortEventSource {
 public:
  explicit DeviceFolderEvents(std::string devRoot) : devRoot_(std::move(devRoot)) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0 && inotify_add_watch(fd_, devRoot_.c_str(), kMask) < 0) {
      close(fd_);
      fd_ = -1;
    }
    WatchByIdFolder();
  }
  ~DeviceFolderEvents() override {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  int fd() const override { return fd_; }
  void Drain() override {
    alignas(inotify_event) char buffer[4096];
    while (read(fd_, buffer, sizeof buffer) > 0) {
    }
    WatchByIdFolder();
  }

 private:
  static constexpr uint32_t kMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

  void WatchByIdFolder() {
    if (fd_ < 0 || byIdWatched_) return;
    // The "serial" folder first, so that its "by-id" child is seen being made.
    for (const char* folder : {"/serial", "/serial/by-id"}) {
      const int watch = inotify_add_watch(fd_, (devRoot_ + folder).c_str(), kMask | IN_ONLYDIR);
      byIdWatched_ = watch >= 0;
    }
  }

  std::string devRoot_;
  int fd_ = -1;
  bool byIdWatched_ = false;
};

#ifdef LRS_HAVE_LIBUDEV
// udev's events for ttys, sent after its rules ran (so the by-id links and
// the adapter's properties are in place when the monitor lists again).
class UdevEvents : public PortEventSource {
 public:
  UdevEvents() {
    // Without a udev daemon a monitor is made but never receives anything.
    if (access("/run/udev/control", F_OK) != 0) return;
    context_ = udev_new();
    if (context_ == nullptr) return;
    monitor_ = udev_monitor_new_from_netlink(context_, "udev");
    if (monitor_ == nullptr || udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
      Release();
      return;
    }
    fd_ = udev_monitor_get_fd(monitor_);
    // The descriptor is non-blocking already; Drain relies on that.
    const int flags = fcntl(fd_, F_GETFL);
    if (fd_ < 0 || flags < 0 || fcntl(fd_, F_SETFL, flags | O_NONBLOCK) < 0) Release();
  }
  ~UdevEvents() override { Release(); }
  bool ok() const { return fd_ >= 0; }
  int fd() const override { return fd_; }
  void Drain() override {
    while (udev_device* device = udev_monitor_receive_device(monitor_)) udev_device_unref(device);
  }

 private:
  void Release() {
    if (monitor_ != nullptr) udev_monitor_unref(monitor_);
    if (context_ != nullptr) udev_unref(context_);
    monitor_ = nullptr;
    context_ = nullptr;
    fd_ = -1;
  }

  udev* context_ = nullptr;
  udev_monitor* monitor_ = nullptr;
  int fd_ = -1;
};
#endif

}  // namespace

std::unique_ptr<PortEventSource> OpenDeviceFolderEvents(const std::string& devRoot) {
  auto source = std::make_unique<DeviceFolderEvents>(devRoot);
  if (!source->ok()) return nullptr;
  return source;
}

std::unique_ptr<PortEventSource> OpenSystemPortEvents() {
#ifdef LRS_HAVE_LIBUDEV
  auto udev = std::make_unique<UdevEvents>();
  if (udev->ok()) return udev;
#endif
  return OpenDeviceFolderEvents("/dev");
}
#else
std::unique_ptr<PortEventSource> OpenDeviceFolderEvents(const std::string&) { return nullptr; }
std::unique_ptr<PortEventSource> OpenSystemPortEvents() { return nullptr; }
#endif
