// A hang-up told from a passing read error without reading (POSIX): the
// descriptors of a pseudo-terminal whose master end is gone, of a pipe
// whose writer is gone, and of a descriptor that is no longer open.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>

#include "serial/line_hang_up.h"
#include "support/pty_peer.h"

namespace {

struct Pipe {
  int fds[2] = {-1, -1};
  Pipe() {
    if (::pipe(fds) != 0) fds[0] = fds[1] = -1;
  }
  ~Pipe() {
    CloseWriter();
    if (fds[0] >= 0) ::close(fds[0]);
  }
  void CloseWriter() {
    if (fds[1] >= 0) ::close(fds[1]);
    fds[1] = -1;
  }
};

TEST(LineHangUp, OnlyALineWhoseFarEndIsGoneHasHungUp) {
  struct Case {
    const char* what;
    // Sets up the line and gives its descriptor; the objects it needs are
    // kept in `keep` until the case is over.
    std::function<int(std::shared_ptr<void>& keep)> line;
    bool hungUp;
  };
  const Case cases[] = {
      {"a pseudo-terminal with its master open",
       [](std::shared_ptr<void>& keep) {
         auto pty = std::make_shared<PtyPeer>();
         keep = pty;
         return pty->ok() ? pty->slave() : -2;
       },
       false},
      {"a pseudo-terminal with bytes waiting",
       [](std::shared_ptr<void>& keep) {
         auto pty = std::make_shared<PtyPeer>();
         keep = pty;
         return pty->ok() && pty->Write({0x55, 0xAA}) ? pty->slave() : -2;
       },
       false},
      {"a pseudo-terminal whose master closed (an unplugged adapter)",
       [](std::shared_ptr<void>& keep) {
         auto pty = std::make_shared<PtyPeer>();
         keep = pty;
         if (!pty->ok()) return -2;
         pty->CloseMaster();
         return pty->slave();
       },
       true},
      {"a pipe with its writer open",
       [](std::shared_ptr<void>& keep) {
         auto channel = std::make_shared<Pipe>();
         keep = channel;
         return channel->fds[0] >= 0 ? channel->fds[0] : -2;
       },
       false},
      {"a pipe whose writer closed",
       [](std::shared_ptr<void>& keep) {
         auto channel = std::make_shared<Pipe>();
         keep = channel;
         if (channel->fds[0] < 0) return -2;
         channel->CloseWriter();
         return channel->fds[0];
       },
       true},
      {"a descriptor no longer open",
       [](std::shared_ptr<void>&) {
         const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
         if (fd < 0) return -2;
         ::close(fd);
         return fd;
       },
       true},
      {"no descriptor at all", [](std::shared_ptr<void>&) { return static_cast<int>(kInvalidSerialHandle); },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::shared_ptr<void> keep;
    const int fd = c.line(keep);
    ASSERT_NE(fd, -2) << "the line could not be set up";
    EXPECT_EQ(LineHungUp(fd), c.hungUp);
  }
}

TEST(LineHangUp, AskingReadsNothing) {
  PtyPeer pty;
  ASSERT_TRUE(pty.ok());
  ASSERT_TRUE(pty.Write({0x01, 0x02, 0x03}));
  pollfd ready{pty.slave(), POLLIN, 0};
  ASSERT_EQ(::poll(&ready, 1, 1000), 1);
  EXPECT_FALSE(LineHungUp(pty.slave()));
  EXPECT_FALSE(LineHungUp(pty.slave()));
  unsigned char bytes[8] = {};
  EXPECT_EQ(::read(pty.slave(), bytes, sizeof bytes), 3);
  EXPECT_EQ(bytes[0], 0x01);
  EXPECT_EQ(bytes[2], 0x03);
}

TEST(LineHangUp, ADescriptorIsTheSerialLayersHandle) {
  EXPECT_EQ(ToSerialHandle(7), SerialHandle{7});
  EXPECT_EQ(ToSerialHandle(-1), kInvalidSerialHandle);
  EXPECT_EQ(ToSerialHandle(static_cast<long>(42)), SerialHandle{42});
}

}  // namespace
