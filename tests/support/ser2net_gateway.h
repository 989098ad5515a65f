#pragma once
// A real serial device server in front of a test's virtual sensor: Debian's
// ser2net, started in the foreground with a configuration the test writes,
// listening on 127.0.0.1 only (two free ports: an RFC 2217 accepter and a
// raw TCP accepter) and serving the sensor's pseudo-terminal. Killed with
// the object. POSIX and Linux only (it waits for its ports in
// /proc/net/tcp, so no probe connection opens the device).

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace testsupport {

constexpr const char* kSer2netPath = "/usr/sbin/ser2net";

// A port on 127.0.0.1 that nothing listens on now.
inline uint16_t FreeLoopbackPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t size = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
  ::close(s);
  return ntohs(a.sin_port);
}

// Whether something listens on 127.0.0.1:port (the kernel's table).
inline bool ListensOnLoopback(uint16_t port) {
  std::ifstream table("/proc/net/tcp");
  char wanted[32];
  std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (local == wanted && state == "0A") return true;
  }
  return false;
}

inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class Ser2netGateway {
 public:
  static bool Installed() { return ::access(kSer2netPath, X_OK) == 0; }

  ~Ser2netGateway() { Kill(); }

  // ser2net connection options for both accepters, one a line
  // ("chardelay: false"); set before Start.
  void SetOptions(std::vector<std::string> options) { options_ = std::move(options); }

  // Serves `device` (the sensor's link) from files in `dir`. False with
  // `why` when ser2net did not come up.
  bool Start(const std::string& dir, const std::string& device, std::string* why) {
    dir_ = dir;
    device_ = device;
    telnetPort_ = FreeLoopbackPort();
    rawPort_ = FreeLoopbackPort();
    while (rawPort_ == telnetPort_) rawPort_ = FreeLoopbackPort();
    const std::string config = dir + "/ser2net-" + std::to_string(telnetPort_) + ".yaml";
    std::string options;
    if (!options_.empty()) {
      options = "  options:\n";
      for (const std::string& o : options_) options += "    " + o + "\n";
    }
    std::ofstream out(config);
    out << "%YAML 1.1\n---\n"
        << "connection: &rfc2217\n"
        << "  accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1," << telnetPort_ << "\n"
        << options << "  connector: serialdev(nouucplock)," << device << ",57600n81,local\n"
        << "connection: &raw\n"
        << "  accepter: tcp(nodelay),127.0.0.1," << rawPort_ << "\n"
        << options << "  connector: serialdev(nouucplock)," << device << ",57600n81,local\n";
    out.close();
    config_ = config;
    return Launch(why);
  }

  // The gateway dies at once (no goodbye on its connections' sockets
  // beyond what the kernel sends).
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  // The same gateway again, same ports (a service manager's restart).
  bool Restart(std::string* why) { return Launch(why); }

  std::string Rfc2217Url() const { return "rfc2217://127.0.0.1:" + std::to_string(telnetPort_); }
  std::string TcpUrl() const { return "tcp://127.0.0.1:" + std::to_string(rawPort_); }
  uint16_t telnetPort() const { return telnetPort_; }
  uint16_t rawPort() const { return rawPort_; }

 private:
  bool Launch(std::string* why) {
    Kill();
    const std::string log = config_ + ".log";
    const std::string pidFile = config_ + ".pid";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::vector<std::string> args = {kSer2netPath, "-n", "-d", "-c", config_, "-P", pidFile};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, kSer2netPath, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      pid_ = -1;
      if (why != nullptr) *why = "ser2net could not be started";
      return false;
    }
    const bool up = WaitUntil([&] { return ListensOnLoopback(telnetPort_) && ListensOnLoopback(rawPort_); },
                              std::chrono::seconds(10));
    if (!up && why != nullptr) {
      std::ifstream in(log);
      *why = "ser2net did not listen on its ports: " + std::string(std::istreambuf_iterator<char>(in), {});
    }
    return up;
  }

  std::string dir_;
  std::string device_;
  std::string config_;
  std::vector<std::string> options_;
  uint16_t telnetPort_ = 0;
  uint16_t rawPort_ = 0;
  pid_t pid_ = -1;
};

}  // namespace testsupport
