#pragma once
// A pseudo-terminal pair for tests that play the far end of a serial line:
// the code under test opens the slave path like any serial device, the test
// reads and writes raw bytes on the master side.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace testpty {

class PtyPair {
 public:
  PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) return;
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
      Close();
      return;
    }
    char name[128] = {};
    if (::ptsname_r(master_, name, sizeof name) != 0) {
      Close();
      return;
    }
    slavePath_ = name;
  }
  ~PtyPair() { Close(); }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool ok() const { return master_ >= 0; }
  int master() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }

  bool Write(const std::vector<uint8_t>& bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }
  bool WriteByte(uint8_t byte) const { return Write({byte}); }

  // Up to `count` bytes, waiting at most `timeoutMs` in total.
  std::vector<uint8_t> Read(size_t count, int timeoutMs) const {
    std::vector<uint8_t> out;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
      if (left.count() <= 0) break;
      if (!WaitReadable(static_cast<int>(left.count()))) break;
      uint8_t buffer[512];
      const size_t want = std::min(sizeof buffer, count - out.size());
      const ssize_t n = ::read(master_, buffer, want);
      if (n <= 0) break;
      out.insert(out.end(), buffer, buffer + n);
    }
    return out;
  }

  // Everything that arrives until the line has been quiet for `quietMs`.
  std::vector<uint8_t> ReadUntilQuiet(int quietMs) const {
    std::vector<uint8_t> out;
    while (WaitReadable(quietMs)) {
      uint8_t buffer[512];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      out.insert(out.end(), buffer, buffer + n);
    }
    return out;
  }

  bool WaitReadable(int timeoutMs) const {
    pollfd p{master_, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN) != 0;
  }

 private:
  using Clock = std::chrono::steady_clock;
  void Close() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  int master_ = -1;
  std::string slavePath_;
};

}  // namespace testpty
