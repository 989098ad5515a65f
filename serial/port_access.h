#pragma once
// Who may use a serial device, and who is using it: the facts behind a
// refused open, so that the failure can name its cure. Nothing here opens
// the device.

#include <string>

// Name of the group that owns the device node ("dialout"); empty when the
// node cannot be examined.
std::string DeviceGroupName(const std::string& device);

// Who may read and write the device node: its owner and group by name,
// and whether the group has both permissions (so that joining the group
// is a cure). `examined` is false when the node cannot be examined.
struct DeviceAccess {
  bool examined = false;
  std::string owner;
  std::string group;
  bool groupReadWrite = false;
};
DeviceAccess ExamineDeviceAccess(const std::string& device);

// The program holding the device, as "NAME (process PID)" or "process PID"
// when its name cannot be read; empty when no holder can be found. Looks,
// in this order, at a UUCP lock file (/run/lock/LCK..NAME and the older
// /var/lock), at the kernel's table of flock(2) locks, and at the open
// descriptors of the processes this user may examine.
std::string DeviceHolder(const std::string& device);

// The device node is there to be opened (a dangling link is not). On
// Windows: the COM port ("COM5" or "\\.\COM5") is known to the system.
bool DevicePresent(const std::string& device);

// What a device's name leads to, for the reason of a refused open: nothing
// (no node, or a path through something that is not a folder), a node this
// user may not both read and write, or a node that is there to be opened
// as far as can be told (so a refusal means that someone holds it). On
// Windows a COM port has no permissions of its own: known or missing.
enum class DeviceNode { kMissing, kNotPermitted, kThere };
DeviceNode ExamineDeviceNode(const std::string& device);
