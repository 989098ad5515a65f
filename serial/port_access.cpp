#include "serial/port_access.h"

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "serial/network_port_name.h"

namespace fs = std::filesystem;

namespace {

bool ProcessAlive(long pid) { return pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

std::string Describe(long pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  const std::string process = "process " + std::to_string(pid);
  return name.empty() ? process : name + " (" + process + ")";
}

// A UUCP lock file holds the owner's process number, as text (HDB style) or
// as a binary int (old style).
long PidFromLockFile(const std::string& device) {
  const std::string base = fs::path(device).filename().string();
  for (const char* dir : {"/run/lock", "/var/lock"}) {
    std::ifstream in(std::string(dir) + "/LCK.." + base, std::ios::binary);
    if (!in) continue;
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    long pid = 0;
    if (std::sscanf(content.c_str(), " %ld", &pid) == 1 && ProcessAlive(pid)) return pid;
    if (content.size() == sizeof(int)) {
      int binary = 0;
      content.copy(reinterpret_cast<char*>(&binary), sizeof binary);
      if (ProcessAlive(binary)) return binary;
    }
  }
  return 0;
}

// /proc/locks: "1: FLOCK  ADVISORY  WRITE 1234 00:05:87 0 EOF", the file as
// major:minor (hexadecimal) of its file system and inode number.
long PidFromFlock(const struct stat& node) {
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    if (line.find("->") != std::string::npos) continue;  // a waiter, not the holder
    std::istringstream in(line);
    std::string index, kind, mode, access, file;
    long pid = 0;
    if (!(in >> index >> kind >> mode >> access >> pid >> file)) continue;
    unsigned fsMajor = 0, fsMinor = 0;
    unsigned long inode = 0;
    if (std::sscanf(file.c_str(), "%x:%x:%lu", &fsMajor, &fsMinor, &inode) != 3) continue;
    if (fsMajor == major(node.st_dev) && fsMinor == minor(node.st_dev) && inode == node.st_ino && pid != getpid())
      return pid;
  }
  return 0;
}

long PidFromOpenDescriptors(const std::string& device) {
  std::error_code ec;
  const fs::path target = fs::canonical(device, ec);
  if (ec) return 0;
  for (const auto& process : fs::directory_iterator("/proc", ec)) {
    const std::string name = process.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const long pid = std::stol(name);
    if (pid == getpid()) continue;
    std::error_code fdError;
    for (const auto& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
      std::error_code linkError;
      if (fs::read_symlink(fd.path(), linkError) == target) return pid;
    }
  }
  return 0;
}

}  // namespace

std::string DeviceGroupName(const std::string& device) {
  struct stat node {};
  if (stat(device.c_str(), &node) != 0) return std::string();
  group entry{};
  group* found = nullptr;
  char buffer[4096];
  if (getgrgid_r(node.st_gid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
    return found->gr_name;
  return std::to_string(node.st_gid);
}

DeviceAccess ExamineDeviceAccess(const std::string& device) {
  DeviceAccess access;
  struct stat node {};
  if (stat(device.c_str(), &node) != 0) return access;
  access.examined = true;
  access.group = DeviceGroupName(device);
  access.groupReadWrite = (node.st_mode & S_IRGRP) != 0 && (node.st_mode & S_IWGRP) != 0;
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(node.st_uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
    access.owner = found->pw_name;
  else
    access.owner = std::to_string(node.st_uid);
  return access;
}

std::string DeviceHolder(const std::string& device) {
  long pid = PidFromLockFile(device);
  struct stat node {};
  if (pid == 0 && stat(device.c_str(), &node) == 0) pid = PidFromFlock(node);
  if (pid == 0) pid = PidFromOpenDescriptors(device);
  return pid == 0 ? std::string() : Describe(pid);
}

bool DevicePresent(const std::string& device) {
  // A gateway cannot be looked at without connecting: it counts as there,
  // and the open says otherwise.
  if (IsNetworkPortName(device)) return true;
  return !device.empty() && ::access(device.c_str(), F_OK) == 0;
}

DeviceNode ExamineDeviceNode(const std::string& device) {
  if (IsNetworkPortName(device)) return DeviceNode::kThere;
  struct stat node {};
  if (stat(device.c_str(), &node) != 0 && (errno == ENOENT || errno == ENOTDIR)) return DeviceNode::kMissing;
  if (access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES) return DeviceNode::kNotPermitted;
  return DeviceNode::kThere;
}
