// What a device's name leads to, for the reason a refused open gives
// (POSIX): nothing there, a node this user may not use, or a node there to
// be opened.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "serial/port_access.h"
#include "support/pty_peer.h"
#include "support/temp_dir.h"

namespace {

const char* Name(DeviceNode node) {
  switch (node) {
    case DeviceNode::kMissing: return "missing";
    case DeviceNode::kNotPermitted: return "not permitted";
    case DeviceNode::kThere: return "there";
  }
  return "?";
}

TEST(ExamineDeviceNode, MissingNotPermittedOrThere) {
  testsupport::TempDir dir;
  ASSERT_TRUE(dir.ok());
  PtyPeer pty;
  ASSERT_TRUE(pty.ok());
  const std::string plain = dir.File("plain");
  ASSERT_TRUE(testsupport::WriteWholeFile(plain, ""));
  const std::string locked = dir.File("ttyLocked");
  ASSERT_TRUE(testsupport::WriteWholeFile(locked, ""));
  ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
  ASSERT_EQ(::symlink(dir.File("gone").c_str(), dir.File("dangling").c_str()), 0);
  ASSERT_EQ(::symlink(pty.path().c_str(), dir.File("ttyLink").c_str()), 0);
  const bool root = ::geteuid() == 0;  // root may read and write anything

  struct Case {
    std::string device;
    DeviceNode node;
  };
  const Case cases[] = {
      {"/dev/ttyNoSuchDevice7", DeviceNode::kMissing},
      {"", DeviceNode::kMissing},
      {plain + "/ttyS0", DeviceNode::kMissing},  // through a file, not a folder
      {dir.File("dangling"), DeviceNode::kMissing},
      {locked, root ? DeviceNode::kThere : DeviceNode::kNotPermitted},
      {pty.path(), DeviceNode::kThere},
      {dir.File("ttyLink"), DeviceNode::kThere},
      {"/dev/null", DeviceNode::kThere},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(Name(ExamineDeviceNode(c.device)), Name(c.node)) << c.device;
  }
}

}  // namespace
