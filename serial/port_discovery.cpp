#include "serial/port_discovery.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

#ifdef LRS_HAVE_LIBUDEV
#include <libudev.h>
#endif

namespace fs = std::filesystem;

namespace {

// Number of the trailing digits of a device name, for sorting ttyS2 before
// ttyS10.
// The number a device name ends in; -1 when it ends in none, kNoComNumber
// when it has more digits than any port number (a name is what the kernel
// or a link gives us, and must not throw).
constexpr long kNoComNumber = 999999999;

long TrailingNumber(const std::string& name) {
  size_t i = name.size();
  while (i > 0 && name[i - 1] >= '0' && name[i - 1] <= '9') --i;
  if (i == name.size()) return -1;
  if (name.size() - i > 8) return kNoComNumber;
  return std::stol(name.substr(i));
}

bool IsSerialName(const std::string& name) {
  for (const char* prefix : {"ttyUSB", "ttyACM", "ttyAMA", "ttyS"}) {
    const std::string p(prefix);
    if (name.size() > p.size() && name.compare(0, p.size(), p) == 0 &&
        std::isdigit(static_cast<unsigned char>(name[p.size()])))
      return true;
  }
  return false;
}

bool IsLegacyUart(const std::string& name) { return name.rfind("ttyS", 0) == 0; }

std::string PortName(const std::string& name) {
  const long number = TrailingNumber(name);
  return IsLegacyUart(name) && number != kNoComNumber ? "COM" + std::to_string(number + 1) : name;
}

std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string value;
  std::getline(in, value);
  while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) value.pop_back();
  return value;
}

// The serial core registers every legacy slot whether or not a chip
// answers there; the port type it reports in sysfs is 0 (unknown) for an
// empty slot.
bool UartPresent(const fs::path& classEntry) {
  const std::string type = ReadAttribute(classEntry / "type");
  return !type.empty() && type != "0";
}

// "FTDI FT232R USB UART, serial A50285BI (0403:6001)"
std::string Describe(const std::string& vendor, const std::string& model, const std::string& serial,
                     const std::string& vendorId, const std::string& productId) {
  std::string text = vendor;
  if (!model.empty()) text += (text.empty() ? "" : " ") + model;
  if (!serial.empty()) text += (text.empty() ? "serial " : ", serial ") + serial;
  if (!vendorId.empty() && !productId.empty()) {
    text += (text.empty() ? "(" : " (") + vendorId + ":" + productId + ")";
  }
  return text;
}

// The USB device a tty hangs from: the nearest ancestor directory of its
// device that carries idVendor. Its serial number goes to `serial`.
std::string DescribeFromSysfs(const fs::path& classEntry, std::string* serial) {
  std::error_code ec;
  fs::path dir = fs::canonical(classEntry / "device", ec);
  if (ec) return std::string();
  for (int depth = 0; depth < 8 && dir.has_relative_path(); ++depth, dir = dir.parent_path()) {
    if (fs::exists(dir / "idVendor", ec)) {
      *serial = ReadAttribute(dir / "serial");
      return Describe(ReadAttribute(dir / "manufacturer"), ReadAttribute(dir / "product"),
                      ReadAttribute(dir / "serial"), ReadAttribute(dir / "idVendor"),
                      ReadAttribute(dir / "idProduct"));
    }
  }
  return std::string();
}

// by-id links that point at `device` (udev makes them; without udev there
// are none).
std::string ByIdLink(const std::string& devRoot, const std::string& device) {
  std::error_code ec;
  const fs::path dir = fs::path(devRoot) / "serial" / "by-id";
  std::error_code deviceError;
  const fs::path wanted = fs::weakly_canonical(device, deviceError);
  for (const auto& link : fs::directory_iterator(dir, ec)) {
    std::error_code linkError;
    const fs::path target = fs::weakly_canonical(dir / fs::read_symlink(link.path(), linkError), linkError);
    if (!linkError && target == wanted) return link.path().string();
  }
  return std::string();
}

void Sort(std::vector<FoundPort>& ports) {
  std::sort(ports.begin(), ports.end(), [](const FoundPort& a, const FoundPort& b) {
    const std::string pa = a.device.substr(0, a.device.find_last_not_of("0123456789") + 1);
    const std::string pb = b.device.substr(0, b.device.find_last_not_of("0123456789") + 1);
    if (pa != pb) return pa < pb;
    return TrailingNumber(a.device) < TrailingNumber(b.device);
  });
}

#ifdef LRS_HAVE_LIBUDEV
std::string Property(udev_device* device, const char* key) {
  const char* value = udev_device_get_property_value(device, key);
  return value != nullptr ? value : std::string();
}

// udev's names have "_" for blanks (ID_VENDOR) or come from the hardware
// database (…_FROM_DATABASE); the latter reads best.
std::string Readable(udev_device* device, const char* database, const char* plain) {
  std::string text = Property(device, database);
  if (text.empty()) {
    text = Property(device, plain);
    std::replace(text.begin(), text.end(), '_', ' ');
  }
  return text;
}

bool FindWithUdev(std::vector<FoundPort>& ports) {
  udev* context = udev_new();
  if (context == nullptr) return false;
  udev_enumerate* enumerate = udev_enumerate_new(context);
  if (enumerate == nullptr || udev_enumerate_add_match_subsystem(enumerate, "tty") < 0 ||
      udev_enumerate_scan_devices(enumerate) < 0) {
    if (enumerate != nullptr) udev_enumerate_unref(enumerate);
    udev_unref(context);
    return false;
  }
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
    udev_device* device = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
    if (device == nullptr) continue;
    const char* sysname = udev_device_get_sysname(device);
    const char* node = udev_device_get_devnode(device);
    const std::string name = sysname != nullptr ? sysname : "";
    const fs::path classEntry = udev_device_get_syspath(device);
    // Virtual terminals and the like have no parent device.
    if (node != nullptr && IsSerialName(name) && udev_device_get_parent(device) != nullptr &&
        (!IsLegacyUart(name) || UartPresent(classEntry))) {
      FoundPort port;
      port.name = PortName(name);
      port.device = node;
      port.description = Describe(Readable(device, "ID_VENDOR_FROM_DATABASE", "ID_VENDOR"),
                                  Readable(device, "ID_MODEL_FROM_DATABASE", "ID_MODEL"),
                                  Property(device, "ID_SERIAL_SHORT"), Property(device, "ID_VENDOR_ID"),
                                  Property(device, "ID_MODEL_ID"));
      // Without a running udev daemon its database is empty: the same facts
      // from the attributes of the USB device.
      port.usbSerial = Property(device, "ID_SERIAL_SHORT");
      if (port.description.empty()) port.description = DescribeFromSysfs(classEntry, &port.usbSerial);
      udev_list_entry* link = nullptr;
      udev_list_entry_foreach(link, udev_device_get_devlinks_list_entry(device)) {
        const std::string path = udev_list_entry_get_name(link);
        if (path.find("/serial/by-id/") != std::string::npos) port.byId = path;
      }
      if (port.byId.empty()) port.byId = ByIdLink("/dev", port.device);
      ports.push_back(port);
    }
    udev_device_unref(device);
  }
  udev_enumerate_unref(enumerate);
  udev_unref(context);
  return true;
}
#endif

}  // namespace

std::vector<FoundPort> FindSerialPortsInSysfs(const std::string& sysRoot, const std::string& devRoot) {
  std::vector<FoundPort> ports;
  std::error_code ec;
  const fs::path classDir = fs::path(sysRoot) / "class" / "tty";
  for (const auto& entry : fs::directory_iterator(classDir, ec)) {
    const std::string name = entry.path().filename().string();
    if (!IsSerialName(name)) continue;
    // Virtual terminals and the like have no device behind them.
    std::error_code linkError;
    if (!fs::exists(entry.path() / "device", linkError)) continue;
    if (IsLegacyUart(name) && !UartPresent(entry.path())) continue;
    FoundPort port;
    port.name = PortName(name);
    port.device = (fs::path(devRoot) / name).string();
    port.description = DescribeFromSysfs(entry.path(), &port.usbSerial);
    port.byId = ByIdLink(devRoot, port.device);
    ports.push_back(port);
  }
  Sort(ports);
  return ports;
}

std::vector<FoundPort> FindSerialPorts() {
#ifdef LRS_HAVE_LIBUDEV
  std::vector<FoundPort> ports;
  if (FindWithUdev(ports)) {
    Sort(ports);
    return ports;
  }
#endif
  return FindSerialPortsInSysfs("/sys", "/dev");
}
