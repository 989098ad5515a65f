#pragma once
// "Ostrel.ini": the port and host baud rate of the last Connect.
//
// Created when missing with exactly six lines (CR LF):
//   [CommPort] Port=1, [BaudRate] Baud=57600, [InitString] Command=ATS11=80LX1DT
// Besides "Port" (a number 1 to 4), [CommPort] may hold "Device", a device
// path chosen from the devices present; section [Port Map] names devices
// for COM ports as in tarkon.ini. Writing changes only the keys it sets and
// keeps every other line; the file is replaced atomically
// (files/atomic_file_writer.h), so it is always whole.
//
// A file that is not read as settings is left as it is and the defaults are
// used: a symbolic link, anything but a regular file, more than 4 MiB, a
// binary file. A read-only file is read but never replaced.

#include <string>

#include "serial/port_resolver.h"

namespace ostrel {

struct IniValues {
  int port = 1;        // "Port": 1 to 4 select COM1 to COM4, anything else nothing
  int baud = 57600;    // "Baud"
  std::string device;  // "Device": a device path chosen instead of a COM port
  PortResolver::PortMap portMap;
};

class OstrelIni {
 public:
  static constexpr const char* kFileName = "Ostrel.ini";

  explicit OstrelIni(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }

  // Beside the program when its directory can be written and is not an
  // installed one (under /usr, /opt or /bin), else in the user's
  // configuration directory ($XDG_CONFIG_HOME/ostrel or ~/.config/ostrel);
  // `perUser` says which.
  static std::string ChoosePath(const std::string& programDirectory, const char* xdgConfigHome, const char* home,
                                bool* perUser);

  // The six lines, when there is no file yet. False (with `error`) when it
  // cannot be created.
  bool CreateIfMissing(std::string* error) const;
  // The values, or their defaults for keys missing or unreadable.
  IniValues Read() const;
  // Why the file is not read as settings (and will not be written), or
  // empty: for a message shown once.
  std::string Problem() const;
  // Sets "Port", "Baud" and "Device" (emptied when connecting by port).
  bool Write(int port, int baud, const std::string& device, std::string* error) const;

 private:
  std::string path_;
};

}  // namespace ostrel
