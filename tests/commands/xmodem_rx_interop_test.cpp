// XmodemSender against an independent XMODEM receiver: lrzsz's `rx` in CRC
// mode. rx reads from one pseudo-terminal, the sender's port is another, and
// a relay thread joins them into one line. rx writes its answers into a pipe
// rather than its terminal: at exit it flushes its terminal's output, which on
// a pseudo-terminal can discard its final ACK before anyone has read it (a
// real serial line would have sent it by then).

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/pty_peer.h"
#include "protocol/xmodem_sender.h"
#include "serial/serial_port.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool HaveProgram(const char* name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t begin = 0;
  while (begin <= dirs.size()) {
    const size_t end = dirs.find(':', begin);
    const std::string dir = dirs.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0) return true;
    if (end == std::string::npos) break;
    begin = end + 1;
  }
  return false;
}

// Copies what one side writes to the other: `fromA` -> `toB` and
// `fromB` -> `toA`, until stopped.
class Relay {
 public:
  Relay(int fromA, int toA, int fromB, int toB)
      : fromA_(fromA), toA_(toA), fromB_(fromB), toB_(toB), thread_([this] { Run(); }) {}
  ~Relay() {
    stop_ = true;
    thread_.join();
  }

 private:
  void Run() {
    bool aOpen = true;
    bool bOpen = true;
    while (!stop_ && (aOpen || bOpen)) {
      pollfd p[2] = {{aOpen ? fromA_ : -1, POLLIN, 0}, {bOpen ? fromB_ : -1, POLLIN, 0}};
      if (::poll(p, 2, 50) <= 0) continue;
      if (p[0].revents != 0) aOpen = Copy(fromA_, toB_);
      if (p[1].revents != 0) bOpen = Copy(fromB_, toA_);
    }
  }
  static bool Copy(int from, int to) {
    uint8_t buffer[1024];
    const ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n <= 0) return false;  // the far side closed its end
    ssize_t done = 0;
    while (done < n) {
      const ssize_t w = ::write(to, buffer + done, static_cast<size_t>(n - done));
      if (w > 0) {
        done += w;
        continue;
      }
      // A full line: wait (bounded) until it takes more.
      pollfd p{to, POLLOUT, 0};
      if (::poll(&p, 1, 1000) <= 0) return true;
    }
    return true;
  }

  int fromA_;
  int toA_;
  int fromB_;
  int toB_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/xmodem-rx-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (made != nullptr) path_ = made;
  }
  ~TempDir() {
    if (!path_.empty()) {
      ::unlink((path_ + "/image.bin").c_str());
      ::unlink((path_ + "/rx.log").c_str());
      ::rmdir(path_.c_str());
    }
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Waits for the child to end within `limitMs`; kills it otherwise.
int WaitChild(pid_t child, int limitMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  int status = 0;
  while (std::chrono::steady_clock::now() < end) {
    if (::waitpid(child, &status, WNOHANG) == child) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, &status, 0);
  return -1;
}

TEST(XmodemInterop, RxReceivesTheImagePaddedWithItsLastByte) {
  if (!HaveProgram("rx")) GTEST_SKIP() << "lrzsz's rx is not installed";

  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  PtyPeer rxLine;
  PtyPeer senderLine;
  ASSERT_TRUE(rxLine.ok());
  ASSERT_TRUE(senderLine.ok());

  SerialPort port;
  ASSERT_TRUE(port.ConnectDevice(senderLine.path(), 57600, 0, 0, 8, 100, 100)) << port.errorText();

  // Every byte value, flow-control characters included, and a short last block.
  Bytes image(1000);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>((i * 151 + 7) & 0xFF);
  image.back() = 0xA5;

  int answers[2];
  ASSERT_EQ(::pipe(answers), 0);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::setsid();
    if (::chdir(dir.path().c_str()) != 0) ::_exit(126);
    const int line = ::open(rxLine.path().c_str(), O_RDWR);
    const int log = ::open("rx.log", O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (line < 0 || log < 0) ::_exit(126);
    ::dup2(line, 0);
    ::dup2(answers[1], 1);
    ::dup2(log, 2);
    ::close(answers[0]);
    ::close(answers[1]);
    ::execlp("rx", "rx", "--xmodem", "-c", "-b", "-q", "image.bin", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(answers[1]);

  int status = -1;
  std::vector<int32_t> results;
  {
    Relay relay(answers[0], rxLine.master(), senderLine.master(), senderLine.master());
    XmodemSender sender(&port);
    sender.Reset();
    for (size_t i = 0; i < image.size(); ++i) {
      const int32_t r = sender.Put(image[i], i + 1 == image.size());
      results.push_back(r);
      if (r != 0) break;
    }
    status = WaitChild(child, 30000);
  }
  ::close(answers[0]);

  std::ifstream rxLog(dir.path() + "/rx.log");
  const std::string log((std::istreambuf_iterator<char>(rxLog)), std::istreambuf_iterator<char>());
  ASSERT_EQ(results.size(), image.size()) << "transfer stopped with state " << results.back() << "\n" << log;
  EXPECT_EQ(results.back(), 0) << log;
  ASSERT_TRUE(WIFEXITED(status)) << "rx did not finish\n" << log;
  EXPECT_EQ(WEXITSTATUS(status), 0) << log;

  std::ifstream file(dir.path() + "/image.bin", std::ios::binary);
  ASSERT_TRUE(file.good());
  const Bytes received((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  Bytes expected = image;
  expected.resize(1024, image.back());
  EXPECT_EQ(received.size(), expected.size());
  EXPECT_TRUE(received == expected);
}

}  // namespace
