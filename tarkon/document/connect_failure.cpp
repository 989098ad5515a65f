#include "tarkon/document/connect_failure.h"

#include <cerrno>
#include <cstring>

#include "serial/port_access.h"
#include "tarkon/document/port_text.h"

namespace {

ConnectFailure Make(ConnectFailureCause cause, std::string text) { return ConnectFailure{cause, std::move(text)}; }

}  // namespace

ConnectFailure OpenFailure(const std::string& device, const SerialError& error) {
  switch (error.osError) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return Make(ConnectFailureCause::kNoSuchDevice, "No such device: " + device +
                                                          ". Check that the adapter is plugged in and the port is "
                                                          "the right one.");
    case EACCES:
    case EPERM: {
      const DeviceAccess access = ExamineDeviceAccess(device);
      // Joining the group cures nothing when the group may not read and
      // write the device (and joining a group such as root is unsafe).
      if (access.examined && !access.groupReadWrite) {
        return Make(ConnectFailureCause::kPermissionDenied,
                    "Permission denied on " + device + ": only its owner, " + access.owner +
                        ", may read and write it; its group " + access.group +
                        " has no read and write permission. Ask an administrator to add a udev rule that gives "
                        "it a group with read and write permission (for example GROUP=\"dialout\", "
                        "MODE=\"0660\"), or have the owner grant that permission, then connect again.");
      }
      const std::string group = access.group.empty() ? std::string("dialout") : access.group;
      return Make(ConnectFailureCause::kPermissionDenied,
                  "Permission denied on " + device + ", which belongs to the group " + group +
                      ". Add your user to it with: sudo usermod -aG " + group +
                      " $USER, then log out and log in again.");
    }
    case EBUSY: {
      const std::string holder = DeviceHolder(device);
      return Make(ConnectFailureCause::kInUse, device + " is in use by another program" +
                                                   (holder.empty() ? std::string() : ": " + holder) +
                                                   ". Close it, then connect again.");
    }
    default:
      return Make(ConnectFailureCause::kCannotOpen, device + " could not be used: " + error.text);
  }
}

ConnectFailure NoPortFailure(const std::string& portText) {
  return Make(ConnectFailureCause::kNoPort, ParsePortText(portText).refusal);
}

ConnectFailure Rs485Failure(const std::string& device, const SerialError& error) {
  const char* reason = error.osError != 0 ? std::strerror(error.osError) : error.text;
  return Make(ConnectFailureCause::kRs485Unsupported,
              "RS-485 direction control is not available on " + device + ": its driver has no RS-485 mode (" +
                  reason + "). Connect without it if the adapter switches direction by itself.");
}

ConnectFailure NoAnswerFailure(int address, int32_t baudRate) {
  return Make(ConnectFailureCause::kNoAnswer,
              "No answer from a sensor at address " + std::to_string(address) + " and " + std::to_string(baudRate) +
                  " bit/s, in checksum mode nor in CRC mode. Check the wiring, the address and the baud rate.");
}

ConnectFailure MisfitReplyFailure(int address, int32_t baudRate, int32_t checkMode, const std::string& why) {
  return Make(ConnectFailureCause::kMisfitReply,
              "A sensor at address " + std::to_string(address) + " and " + std::to_string(baudRate) +
                  " bit/s answered in " + (checkMode == 1 ? "CRC" : "checksum") +
                  " mode, but its answer to the model query did not fit: " + why + ".");
}
