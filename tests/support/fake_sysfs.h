#pragma once
// A sysfs tree and its device folder as the kernel and udev lay them out,
// for port discovery and port-watching tests: class entries are links into
// the device tree, a USB adapter's tty hangs below its USB device, by-id
// links point at the nodes. Device nodes are empty files: nothing may open
// them.

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace testsupport {

namespace fs = std::filesystem;

inline void WriteFile(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text << "\n";
}

// A sysfs tree as the kernel lays it out: class entries are links into the
// device tree, a USB adapter's tty hangs below its USB device.
class FakeMachine {
 public:
  explicit FakeMachine(const std::string& root) : sys_(fs::path(root) / "sys"), dev_(fs::path(root) / "dev") {
    fs::create_directories(sys_ / "class" / "tty");
    fs::create_directories(dev_ / "serial" / "by-id");
  }
  // A tty whose device directory is `deviceDir` (relative to sys/devices);
  // empty: a virtual tty without a device.
  fs::path AddTty(const std::string& name, const std::string& deviceDir, const std::string& type = "") {
    const fs::path devices = sys_ / "devices";
    const fs::path ttyDir = deviceDir.empty() ? devices / "virtual" / "tty" / name : devices / deviceDir / "tty" / name;
    fs::create_directories(ttyDir);
    if (!deviceDir.empty()) fs::create_directory_symlink(devices / deviceDir, ttyDir / "device");
    if (!type.empty()) WriteFile(ttyDir / "type", type);
    fs::create_directory_symlink(ttyDir, sys_ / "class" / "tty" / name);
    WriteFile(dev_ / name, "");  // the node; discovery must not open it
    return ttyDir;
  }
  void AddUsbDevice(const std::string& dir, const std::string& maker, const std::string& product,
                    const std::string& serial, const std::string& vid, const std::string& pid) {
    const fs::path d = sys_ / "devices" / dir;
    WriteFile(d / "manufacturer", maker);
    WriteFile(d / "product", product);
    if (!serial.empty()) WriteFile(d / "serial", serial);
    WriteFile(d / "idVendor", vid);
    WriteFile(d / "idProduct", pid);
  }
  void AddById(const std::string& link, const std::string& name) {
    fs::create_symlink("../../" + name, dev_ / "serial" / "by-id" / link);
  }
  // An adapter pulled: its class entry and device folder, its by-id links
  // and last its node go.
  void RemoveTty(const std::string& name) {
    std::error_code ec;
    const fs::path classEntry = sys_ / "class" / "tty" / name;
    const fs::path ttyDir = fs::read_symlink(classEntry, ec);
    fs::remove(classEntry, ec);
    if (!ttyDir.empty()) fs::remove_all(ttyDir, ec);
    std::vector<fs::path> links;
    for (const auto& link : fs::directory_iterator(dev_ / "serial" / "by-id", ec))
      if (fs::read_symlink(link.path(), ec).filename() == name) links.push_back(link.path());
    for (const fs::path& link : links) fs::remove(link, ec);
    fs::remove(dev_ / name, ec);
  }
  std::string sys() const { return sys_.string(); }
  std::string dev() const { return dev_.string(); }

 private:
  fs::path sys_;
  fs::path dev_;
};

}  // namespace testsupport
