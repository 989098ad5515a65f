// The advice of a refused open names a group to join only when that group
// may read and write the device; a node only its owner may use gets the
// cure that works (a udev rule, or the owner granting access).

#include <gtest/gtest.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <cerrno>
#include <fstream>

#include "support/temp_dir.h"
#include "tarkon/document/connect_failure.h"

namespace {

TEST(ConnectFailure, PermissionAdviceFollowsTheNodesGroupPermission) {
  testsupport::TempDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string node = dir.File("ttyUSB9");
  std::ofstream(node).put('x');
  struct stat st {};
  ASSERT_EQ(stat(node.c_str(), &st), 0);
  const std::string group = getgrgid(st.st_gid)->gr_name;
  const std::string owner = getpwuid(st.st_uid)->pw_name;
  SerialError denied;
  denied.osError = EACCES;

  const struct {
    mode_t mode;
    std::string advice;
  } cases[] = {
      {0660, "Permission denied on " + node + ", which belongs to the group " + group +
                 ". Add your user to it with: sudo usermod -aG " + group + " $USER, then log out and log in again."},
      {0600, "Permission denied on " + node + ": only its owner, " + owner + ", may read and write it; its group " +
                 group +
                 " has no read and write permission. Ask an administrator to add a udev rule that gives it a group "
                 "with read and write permission (for example GROUP=\"dialout\", MODE=\"0660\"), or have the owner "
                 "grant that permission, then connect again."},
      // Reading alone is not enough to use a serial port.
      {0640, ""},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(chmod(node.c_str(), c.mode), 0);
    const ConnectFailure failure = OpenFailure(node, denied);
    EXPECT_EQ(failure.cause, ConnectFailureCause::kPermissionDenied);
    if (!c.advice.empty()) {
      EXPECT_EQ(failure.text, c.advice) << std::oct << c.mode;
    }
    EXPECT_EQ(failure.text.find("usermod") != std::string::npos, c.mode == 0660) << std::oct << c.mode;
  }
}

}  // namespace
