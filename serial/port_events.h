#pragma once
// What tells the port monitor that the machine's serial ports may have
// changed: a descriptor that becomes readable when a tty was added or
// removed. Nothing here polls a device or opens a port.
//
// On a machine with a running udev the source is a udev monitor on the
// "tty" subsystem; where libudev is missing, or no udev daemon runs (a
// container, a minimal system), it is inotify on the device folder (a node
// created or deleted there).

#include <memory>
#include <string>

class PortEventSource {
 public:
  virtual ~PortEventSource() = default;
  // Readable when something happened; owned by the source.
  virtual int fd() const = 0;
  // Takes what made fd() readable, so that the next poll waits again.
  virtual void Drain() = 0;
};

// udev's tty events, or inotify on /dev (and /dev/serial/by-id) without
// udev. Null when neither can be had.
std::unique_ptr<PortEventSource> OpenSystemPortEvents();

// inotify on `devRoot` and its serial/by-id folder, for a machine without
// udev and for a device folder of a test. Null when inotify fails.
std::unique_ptr<PortEventSource> OpenDeviceFolderEvents(const std::string& devRoot);
