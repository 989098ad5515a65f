#pragma once
// A scripted gateway for the network line's tests: listens on 127.0.0.1
// (a free port), takes one client and runs the test's script on its own
// thread. The script reads what the client sent and sends what it likes,
// byte by byte if it wants splits. POSIX sockets; the tests that use it
// are POSIX-only.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class FakeGateway {
 public:
  class Peer {
   public:
    explicit Peer(int fd) : fd_(fd) {}
    void Send(const std::vector<uint8_t>& bytes) {
      if (!bytes.empty()) (void)::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // Each byte in a write of its own, a little apart: the client sees
    // the stream cut wherever it happens to read.
    void SendSplit(const std::vector<uint8_t>& bytes) {
      for (uint8_t b : bytes) {
        Send({b});
        std::this_thread::sleep_for(std::chrono::microseconds(300));
      }
    }
    // Reads until `seen` holds `pattern` `times` times (true) or `ms`
    // have passed.
    bool WaitFor(const std::vector<uint8_t>& pattern, size_t times = 1, int ms = 5000) {
      const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
      for (;;) {
        if (Count(pattern) >= times) return true;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        uint8_t buffer[1024];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) return Count(pattern) >= times;
        seen.insert(seen.end(), buffer, buffer + n);
      }
    }
    size_t Count(const std::vector<uint8_t>& pattern) const {
      size_t n = 0;
      for (auto it = seen.begin(); (it = std::search(it, seen.end(), pattern.begin(), pattern.end())) != seen.end(); ++it)
        ++n;
      return n;
    }
    bool open() const { return fd_ >= 0; }
    void Close() {
      if (fd_ >= 0) ::close(fd_);
      fd_ = -1;
    }
    std::vector<uint8_t> seen;  // everything the client sent so far

   private:
    int fd_;
  };

  explicit FakeGateway(std::function<void(Peer&)> script) {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    (void)::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    ::listen(listen_, 4);
    thread_ = std::thread([this, script = std::move(script)] {
      // Each client gets the script; one that the script leaves open is
      // held until the test is done with it.
      while (!done_) {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0) continue;
        int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        Peer peer(fd);
        script(peer);
        if (!peer.open()) continue;
        while (!done_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        peer.Close();
      }
    });
  }
  ~FakeGateway() {
    done_ = true;
    thread_.join();
    ::close(listen_);
  }
  uint16_t port() const { return port_; }
  std::string Url(const char* scheme = "rfc2217") const {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
  }

 private:
  int listen_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> done_{false};
  std::thread thread_;
};
