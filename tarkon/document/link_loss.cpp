#include "tarkon/document/link_loss.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string ReadFirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string value;
  std::getline(in, value);
  while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) value.pop_back();
  return value;
}

std::string ByIdOf(const std::string& device, const std::string& devRoot) {
  const fs::path dir = fs::path(devRoot) / "serial" / "by-id";
  if (device.rfind(dir.string() + "/", 0) == 0) return device;
  std::error_code ec;
  const fs::path wanted = fs::weakly_canonical(device, ec);
  if (ec) return std::string();
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    std::error_code linkError;
    const fs::path target = fs::weakly_canonical(entry.path(), linkError);
    if (!linkError && target == wanted) return entry.path().string();
  }
  return std::string();
}

// The serial number of the USB device the tty hangs from: the nearest
// ancestor of its sysfs device that carries idVendor.
std::string UsbSerialOf(const std::string& device, const std::string& sysRoot) {
  std::error_code ec;
  const fs::path node = fs::weakly_canonical(device, ec);
  if (ec) return std::string();
  fs::path dir = fs::canonical(fs::path(sysRoot) / "class" / "tty" / node.filename() / "device", ec);
  if (ec) return std::string();
  for (int depth = 0; depth < 8 && dir.has_relative_path(); ++depth, dir = dir.parent_path()) {
    if (fs::exists(dir / "idVendor", ec)) return ReadFirstLine(dir / "serial");
  }
  return std::string();
}

// A name as udev may give it: a device path, or a bare kernel name.
std::string AsPath(const std::string& name) {
  return name.empty() || name[0] == '/' ? name : "/dev/" + name;
}

}  // namespace

LinkIdentity IdentifyPort(const std::string& portName, const std::string& device, const std::string& devRoot,
                          const std::string& sysRoot) {
  LinkIdentity id;
  id.portName = portName;
  id.device = device;
  if (device.empty()) return id;
  id.byId = ByIdOf(device, devRoot);
  id.usbSerial = UsbSerialOf(device, sysRoot);
  return id;
}

bool PortIsBack(const LinkIdentity& lost, const std::vector<std::string>& names, const std::string& usbSerial,
                std::string* reopen) {
  auto appeared = [&names](const std::string& wanted) {
    if (wanted.empty()) return false;
    return std::any_of(names.begin(), names.end(), [&wanted](const std::string& n) { return AsPath(n) == wanted; });
  };
  std::string open;
  const std::string named = lost.portName.empty() ? lost.device : lost.portName;
  if (appeared(named) || appeared(lost.device)) {
    open = named;
  } else if (appeared(lost.byId)) {
    open = lost.byId;
  } else if (!lost.usbSerial.empty() && usbSerial == lost.usbSerial && !names.empty()) {
    // Came back under another node: the by-id name is the stable one.
    open = !lost.byId.empty() ? lost.byId : AsPath(names.front());
  } else {
    return false;
  }
  if (reopen != nullptr) *reopen = open;
  return true;
}

LinkNotice PortGoneNotice(const std::string& port, const std::string& sensor, bool autoReconnect) {
  const std::string fact = "The connection to the " + sensor + " was lost: the port " + port +
                           " went away (adapter unplugged or line hung up). Polling stopped.";
  const std::string text =
      fact + (autoReconnect ? " Tarkon reconnects when the port is back." : " Plug it back in, then press Reconnect.");
  return {LinkNoticeKind::kPortGone, text, true, fact};
}

LinkNotice GatewayGoneNotice(const std::string& port, const std::string& gateway, const std::string& sensor) {
  return {LinkNoticeKind::kPortGone,
          "The connection to the " + sensor + " was lost: the gateway " + gateway + " of " + port +
              " closed or reset it. Polling stopped. When the gateway is back, press Reconnect.",
          true};
}

LinkNotice SilentNotice(const std::string& port, uint32_t failedInARow) {
  return {LinkNoticeKind::kSilent,
          "The sensor on " + port + " has not answered the last " + std::to_string(failedInARow) +
              " requests. Check its power and cable; the port is still open, and this bar goes when it answers again.",
          true};
}

LinkNotice PortAbsentNotice(const std::string& port) {
  return {LinkNoticeKind::kPortGone, "The port " + port + " is not back yet: plug the adapter in, then press Reconnect.",
          true};
}

LinkNotice PortBackNotice(const std::string& port, const std::string& sensor) {
  return {LinkNoticeKind::kPortBack, "The port " + port + " is back. Press Reconnect to connect to the " + sensor +
                                         " again.",
          true};
}

LinkNotice ReconnectFailedNotice(const std::string& port, const std::string& why) {
  return {LinkNoticeKind::kReconnectFailed,
          "Reconnecting on " + port + " failed" + (why.empty() ? std::string(".") : ": " + why), true};
}

LinkNotice OtherSensorNotice(const std::string& port, const std::string& before, const std::string& now) {
  return {LinkNoticeKind::kOtherSensor, OtherSensorLine(port, before, now), false};
}

std::string ReconnectedLine(const std::string& port, const std::string& sensor) {
  return "Reconnected to the " + sensor + " on " + port + ".";
}

std::string OtherSensorLine(const std::string& port, const std::string& before, const std::string& now) {
  return "Reconnected on " + port + ", but another sensor answers there: " + now + " instead of " + before + ".";
}

std::string UnconfirmedSensorLine(const std::string& port, const std::string& before, const std::string& now) {
  return "Reconnected on " + port + ", but the sensor there could not be identified as the " + before + ": " + now +
         ". Check which sensor this is before changing anything.";
}

std::string SensorAnswersAgainLine(const std::string& port) { return "The sensor on " + port + " answers again."; }
