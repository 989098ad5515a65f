#pragma once
// The far end of a serial line for tests: a pseudo-terminal pair whose
// master side the test holds, while the code under test opens the slave
// path like any serial device.
//
// The slave is put in raw mode at once (and a handle on it is kept, so the
// line stays up between the connects of the code under test), so no line
// discipline echoes or translates bytes.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class PtyPeer {
 public:
  using Bytes = std::vector<uint8_t>;

  PtyPeer() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    char name[128] = {};
    if (ptsname_r(master_, name, sizeof(name)) != 0) return;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_ < 0) return;
    termios tio{};
    if (tcgetattr(slave_, &tio) != 0) return;
    cfmakeraw(&tio);
    if (tcsetattr(slave_, TCSANOW, &tio) != 0) return;
    path_ = name;
  }
  ~PtyPeer() {
    CloseMaster();
    CloseSlave();
  }
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  bool ok() const { return !path_.empty() && master_ >= 0; }
  // Path the code under test opens ("/dev/pts/N").
  const std::string& path() const { return path_; }
  int master() const { return master_; }
  // The peer's own handle on the slave: only for inspecting line settings.
  int slave() const { return slave_; }

  // Writes all bytes, waiting at most `timeoutMs`; true when all went out.
  bool Write(const Bytes& bytes, int timeoutMs = 1000) {
    size_t done = 0;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (done < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      pollfd p{master_, POLLOUT, 0};
      if (::poll(&p, 1, MsLeft(end)) <= 0) return false;
    }
    return true;
  }

  // Reads until `count` bytes are in or `timeoutMs` have passed; returns
  // what came (possibly fewer bytes).
  Bytes Read(size_t count, int timeoutMs = 1000) {
    Bytes out;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < count) {
      uint8_t chunk[512];
      const ssize_t n = ::read(master_, chunk, std::min(sizeof(chunk), count - out.size()));
      if (n > 0) {
        out.insert(out.end(), chunk, chunk + n);
        continue;
      }
      const int left = MsLeft(end);
      if (left == 0) break;
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, left) <= 0 || (p.revents & POLLIN) == 0) break;
    }
    return out;
  }

  // Everything that arrives until the line has been quiet for `quietMs`.
  Bytes ReadUntilQuiet(int quietMs = 50) {
    Bytes out;
    for (;;) {
      Bytes more = Read(4096, quietMs);
      if (more.empty()) return out;
      out.insert(out.end(), more.begin(), more.end());
    }
  }

  // Hangs the line up, as an unplugged adapter would.
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  void CloseSlave() {
    if (slave_ >= 0) ::close(slave_);
    slave_ = -1;
  }

 private:
  using Clock = std::chrono::steady_clock;
  static int MsLeft(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
  }

  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};
