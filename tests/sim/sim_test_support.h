#pragma once
// A bare client of the virtual sensor for its tests: opens the slave side
// with plain POSIX, writes raw frames and reads raw bytes, every wait
// bounded.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "protocol/frame.h"
#include "sim/virtual_sensor.h"

namespace simtest {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

inline speed_t Speed(int baud) {
  switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    default: return B57600;
  }
}

class Port {
 public:
  explicit Port(const std::string& path, int baud = 57600) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ >= 0) SetBaud(baud);
  }
  ~Port() {
    if (fd_ >= 0) ::close(fd_);
  }
  Port(const Port&) = delete;
  Port& operator=(const Port&) = delete;

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  void SetBaud(int baud) {
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&t, Speed(baud));
    ::cfsetospeed(&t, Speed(baud));
    ::tcsetattr(fd_, TCSANOW, &t);
  }

  void Write(const Bytes& bytes) {
    size_t done = 0;
    const auto end = Clock::now() + 2s;
    while (done < bytes.size() && Clock::now() < end) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else {
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 10);
      }
    }
  }

  // Up to `count` bytes, whatever arrives before the time is up.
  Bytes Read(size_t count, std::chrono::milliseconds timeout) {
    Bytes out;
    const auto end = Clock::now() + timeout;
    while (out.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      if (p.revents & (POLLHUP | POLLERR) && !(p.revents & POLLIN)) break;
      uint8_t buffer[512];
      const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - out.size()));
      if (n <= 0) {
        if (n < 0 && errno == EAGAIN) continue;
        break;
      }
      out.insert(out.end(), buffer, buffer + n);
    }
    return out;
  }

  // One whole frame in the given mode (bytes before STX skipped), or nothing
  // if it is not complete in time. The check is not examined here.
  std::optional<Bytes> ReadFrame(int32_t mode, std::chrono::milliseconds timeout = 1000ms) {
    const auto end = Clock::now() + timeout;
    auto left = [&] {
      return std::max(0ms, std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()));
    };
    Bytes f;
    while (true) {
      Bytes b = Read(1, left());
      if (b.empty()) return std::nullopt;
      if (b[0] == frame::kStx) break;
      skipped_.push_back(b[0]);
    }
    f.push_back(frame::kStx);
    Bytes header = Read(3, left());
    f.insert(f.end(), header.begin(), header.end());
    if (f.size() < 4) return std::nullopt;
    const size_t body = frame::BodySize(mode, f[2]);
    Bytes rest = Read(body, left());
    f.insert(f.end(), rest.begin(), rest.end());
    if (f.size() < 4 + body) return std::nullopt;
    return f;
  }

  // True when nothing at all arrives within `quiet`.
  bool Silent(std::chrono::milliseconds quiet) { return Read(1, quiet).empty(); }

  // Bytes skipped before the STX of frames read so far.
  Bytes& skipped() { return skipped_; }

  void Flush() { ::tcflush(fd_, TCIOFLUSH); }

 private:
  int fd_ = -1;
  Bytes skipped_;
};

// Sends one request and returns the data of the reply frame (its check
// verified, its command id equal to the request's), or nothing.
inline std::optional<Bytes> Query(Port& port, uint8_t address, int32_t mode, uint8_t command, const Bytes& data = {},
                                  std::chrono::milliseconds timeout = 1000ms) {
  port.Write(frame::Build(address, mode, command, data));
  auto f = port.ReadFrame(mode, timeout);
  if (!f || !frame::Verify(f->data(), mode) || (*f)[3] != command) return std::nullopt;
  size_t n = 0;
  frame::DataLength(mode, (*f)[2], n);
  return Bytes(f->begin() + 4, f->begin() + 4 + static_cast<std::ptrdiff_t>(n));
}

inline uint16_t Word(const Bytes& data, size_t at, int32_t mode) { return frame::GetWord(data.data() + at, mode); }

inline Bytes WordBytes(uint16_t v, int32_t mode) {
  Bytes b(2);
  frame::PutWord(b.data(), mode, v);
  return b;
}

inline sim::SensorConfig Config(const std::string& model = "KRV02", int32_t mode = 0, uint8_t address = 1) {
  sim::SensorConfig c;
  c.model = model;
  c.checkMode = mode;
  c.address = address;
  return c;
}

// Names of tests run in both check modes.
inline std::string ModeName(const ::testing::TestParamInfo<int32_t>& info) {
  return info.param == 0 ? "Checksum" : "Crc";
}

// Waits until `condition` holds, at most `limit`.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit = 2000ms) {
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(2ms);
  }
  return condition();
}

}  // namespace simtest
