#include <gtest/gtest.h>

#include "serial/port_resolver.h"

namespace {

// The map is process-wide; each test leaves it empty again.
class SerialPortResolver : public ::testing::Test {
 protected:
  void TearDown() override { PortResolver::SetPortMap({}); }
};

TEST_F(SerialPortResolver, DefaultMapsComNToTheNthOnBoardUart) {
  EXPECT_EQ(PortResolver::Resolve(1), "/dev/ttyS0");
  EXPECT_EQ(PortResolver::Resolve(4), "/dev/ttyS3");
  EXPECT_EQ(PortResolver::Resolve(12), "/dev/ttyS11");
  EXPECT_EQ(PortResolver::Resolve(0), "");  // there is no COM0
}

TEST_F(SerialPortResolver, PortNameIsComAndTheNumber) {
  EXPECT_EQ(PortResolver::PortName(1), "COM1");
  EXPECT_EQ(PortResolver::PortName(17), "COM17");
}

TEST_F(SerialPortResolver, MapEntriesOverrideTheDefault) {
  PortResolver::SetPortMap({{3, "/dev/ttyUSB0"}, {9, "/dev/pts/5"}});
  EXPECT_EQ(PortResolver::Resolve(3), "/dev/ttyUSB0");
  EXPECT_EQ(PortResolver::Resolve(9), "/dev/pts/5");
  EXPECT_EQ(PortResolver::Resolve(2), "/dev/ttyS1");
  const PortResolver::PortMap map = PortResolver::GetPortMap();
  EXPECT_EQ(map.size(), 2u);
  PortResolver::SetPortMap({});
  EXPECT_EQ(PortResolver::Resolve(3), "/dev/ttyS2");
}

TEST_F(SerialPortResolver, NamesResolveAsTypedOrPassThroughAsPaths) {
  PortResolver::SetPortMap({{5, "/dev/ttyACM0"}});
  EXPECT_EQ(PortResolver::ResolveName("COM1"), "/dev/ttyS0");
  EXPECT_EQ(PortResolver::ResolveName("com5"), "/dev/ttyACM0");
  EXPECT_EQ(PortResolver::ResolveName("/dev/ttyUSB1"), "/dev/ttyUSB1");
  EXPECT_EQ(PortResolver::ResolveName("COMx"), "COMx");
  EXPECT_EQ(PortResolver::ResolveName("COM"), "COM");
  EXPECT_EQ(PortResolver::ResolveName("COM99999999999999"), "COM99999999999999");
}

}  // namespace
