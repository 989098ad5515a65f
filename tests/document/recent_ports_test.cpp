// The last ports used: newest first, one entry per port, at most four, and
// only texts that read back as a port the connect dialog takes.

#include <gtest/gtest.h>

#include "tarkon/document/recent_ports.h"

namespace {

TEST(RecentPorts, NewestFirstOncePerPortAtMostFour) {
  std::vector<RecentPort> list;
  for (const char* port : {"COM1", "/dev/ttyUSB0", "COM3", "COM1", "/dev/ttyS4", "COM7"}) {
    list = RememberRecentPort(list, RecentPort{port, 57600, 1});
  }
  std::vector<std::string> ports;
  for (const RecentPort& p : list) ports.push_back(p.portText);
  EXPECT_EQ(ports, (std::vector<std::string>{"COM7", "/dev/ttyS4", "COM1", "COM3"}));
  // The same port at another rate replaces its entry.
  list = RememberRecentPort(list, RecentPort{"COM3", 9600, 5});
  EXPECT_EQ(list.front(), (RecentPort{"COM3", 9600, 5}));
  EXPECT_EQ(list.size(), 4u);
}

TEST(RecentPorts, TextsRoundTripAndBadOnesAreDropped) {
  const RecentPort port{"/dev/serial/by-id/usb-FTDI_a,b-if00", 19200, 0};
  EXPECT_EQ(RecentPortText(port), "19200,0,/dev/serial/by-id/usb-FTDI_a,b-if00");
  EXPECT_EQ(RecentPortOfText(RecentPortText(port)), port);
  for (const char* bad : {"", "57600", "57600,1", "57601,1,COM1", "57600,256,COM1", "57600,-1,COM1", "57600,1,",
                          "57600,1,tty", " 57600,1,COM1", "57600,x,COM1"}) {
    EXPECT_FALSE(RecentPortOfText(bad)) << bad;
  }
  const auto read = RecentPortsOfTexts({"bad", "9600,3,COM2", "57600,1,COM2", "38400,9,/dev/ttyUSB1"});
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0], (RecentPort{"COM2", 9600, 3}));
  EXPECT_EQ(read[1], (RecentPort{"/dev/ttyUSB1", 38400, 9}));
}

TEST(RecentPorts, LabelAndConnectValues) {
  EXPECT_EQ(RecentPortLabel({"/dev/ttyUSB0", 57600, 1}), "/dev/ttyUSB0, 57600 baud, address 1");
  EXPECT_EQ(RecentPortLabel({"COM2", 9600, 0}), "COM2, 9600 baud, global address");
  ConnectValues base;
  base.readTimeout = 250;
  base.portText = "COM9";
  const ConnectValues v = ConnectValuesOfRecent({"/dev/ttyUSB0", 19200, 7}, base);
  EXPECT_EQ(v.portText, "/dev/ttyUSB0");
  EXPECT_EQ(v.baudChoice, 1);
  EXPECT_EQ(v.address, 7);
  EXPECT_FALSE(v.globalAddress);
  EXPECT_EQ(v.readTimeout, 250u);
  EXPECT_TRUE(ConnectValuesOfRecent({"COM1", 57600, 0}, base).globalAddress);
  // What a connect went through is what the page offers next time.
  EXPECT_EQ(RecentPortOfConnect(v), (RecentPort{"/dev/ttyUSB0", 19200, 7}));
}

}  // namespace
