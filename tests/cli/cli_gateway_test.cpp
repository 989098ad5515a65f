// tarkon-cli through real serial device servers: Debian's ser2net (its RFC
// 2217 and its raw TCP accepter, on 127.0.0.1) in front of a throttled
// virtual sensor on a pseudo-terminal, and python3-serial's RFC 2217
// PortManager as a second, independent server.

#include <netinet/in.h>
#include <sys/socket.h>

#include <fstream>
#include <future>

#include "cli/cli_test_support.h"
#include "support/ser2net_gateway.h"

namespace clitest {
namespace {

using testsupport::Ser2netGateway;

constexpr uint8_t kGetModelName = 0x7F;  // the identification command's id
using testsupport::WaitUntil;

class GatewayTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    if (!Ser2netGateway::Installed())
      GTEST_SKIP() << "ser2net is not installed (scripts/install-deps.sh installs it)";
    sim::LineConfig line;
    line.throttle = true;  // the line's own pace, as a real wire
    line.linkPath = dir_.File("line");
    sensor_ = std::make_unique<sim::VirtualSensor>(WithSerial(Sensor("KRV02")), line);
    ASSERT_TRUE(sensor_->Start()) << sensor_->LastError();
    std::string why;
    ASSERT_TRUE(gateway_.Start(dir_.path(), line.linkPath, &why)) << why;
  }

  static sim::SensorConfig WithSerial(sim::SensorConfig config) {
    config.serial = "K2073064";
    return config;
  }

  ProcessResult RunOn(const std::string& url, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"--port", url};
    argv.insert(argv.end(), args.begin(), args.end());
    return Run(argv);
  }

  std::string Image(size_t size, uint8_t value) {
    const std::string path = dir_.File("image.bin");
    std::ofstream(path, std::ios::binary) << std::string(size, static_cast<char>(value));
    return path;
  }

  Ser2netGateway gateway_;
};

TEST_F(GatewayTest, BothAcceptersIdentifyKeepSettingsAndTakeAnImageOfFFBytes) {
  int threshold = 41;
  for (const std::string& url : {gateway_.Rfc2217Url(), gateway_.TcpUrl()}) {
    SCOPED_TRACE(url);
    ProcessResult r = RunOn(url, {"info"});
    ASSERT_EQ(r.exitCode, kOk) << r.err;
    EXPECT_NE(r.out.find("Port                 " + url), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Serial number        K2073064"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, QuietRun("KRV02"));

    r = RunOn(url, {"set", "Threshold", std::to_string(threshold)});
    EXPECT_EQ(r.exitCode, kOk) << r.err;
    EXPECT_EQ(r.out, "Threshold  " + std::to_string(threshold) + "\n");
    EXPECT_EQ(sensor_->Snapshot().settings.threshold, threshold);
    ++threshold;

    // Every byte 0xFF: each is doubled on the telnet line, and none of
    // them may be taken for a command or dropped.
    r = RunOn(url, {"--manufacturing", "--yes", "upload", "dsp", Image(1536, 0xFF)});
    EXPECT_EQ(r.exitCode, kOk) << r.err;
    EXPECT_NE(r.out.find("Upload completed: 12 of 12 blocks, 0 retries"), std::string::npos) << r.out;
    const sim::SensorState state = sensor_->Snapshot();
    EXPECT_EQ(state.upload.image, std::vector<uint8_t>(1536, 0xFF));
    EXPECT_FALSE(state.FlashUnlocked());
  }
  // The connection is kept as the technician made it.
  EXPECT_NE(testsupport::ReadWholeFile(Ini()).find("Device=" + gateway_.TcpUrl()), std::string::npos);
}

TEST_F(GatewayTest, ABaudChangeReachesTheLineOverRfc2217AndIsAskedFirstOverRawTcp) {
  const std::string telnet = gateway_.Rfc2217Url();
  ProcessResult r = RunOn(telnet, {"baud", "19200"});
  ASSERT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(r.out, "Sensor baudrate  19200\n");
  EXPECT_EQ(sensor_->Snapshot().baudRate, 19200);
  // The sensor checks the rate of the host's side of its line: an answer
  // at 19200 and none at 57600 show that the rate reached it.
  r = RunOn(telnet, {"--baud", "19200", "info"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  r = RunOn(telnet, {"--baud", "57600", "info"});
  EXPECT_EQ(r.exitCode, kFailed);
  EXPECT_NE(r.err.find("No answer from a sensor at address 1 and 57600 bit/s"), std::string::npos) << r.err;

  // Raw TCP leaves the rate to the gateway (57600 here): the change is
  // asked first, and without a yes nothing is sent.
  r = RunOn(telnet, {"--baud", "19200", "baud", "57600"});
  ASSERT_EQ(r.exitCode, kOk) << r.err;
  r = RunOn(gateway_.TcpUrl(), {"baud", "38400"});
  EXPECT_EQ(r.exitCode, kUsage);
  EXPECT_NE(r.err.find("Not changed: the gateway 127.0.0.1:" + std::to_string(gateway_.rawPort()) +
                       " keeps its own line settings."),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("not confirmed"), std::string::npos) << r.err;
  EXPECT_EQ(sensor_->Snapshot().baudRate, 57600);
}

TEST_F(GatewayTest, AGatewayKilledMidExchangeIsALostLinkAndAnUploadLocksTheFlashWhenItIsBack) {
  // An upload: the gateway dies in the middle and comes back a moment
  // later; the flash is locked again over the new connection.
  std::future<ProcessResult> upload = std::async(std::launch::async, [&] {
    return RunOn(gateway_.Rfc2217Url(), {"--manufacturing", "--yes", "upload", "dsp", Image(20480, 0x5A)});
  });
  ASSERT_TRUE(WaitUntil([&] { return sensor_->Snapshot().upload.blocks >= 10; }, std::chrono::seconds(30)));
  gateway_.Kill();
  std::string why;
  ASSERT_TRUE(gateway_.Restart(&why)) << why;
  ProcessResult r = upload.get();
  EXPECT_EQ(r.exitCode, kFailed);
  EXPECT_NE(r.out.find("the connection to the gateway 127.0.0.1:" + std::to_string(gateway_.telnetPort()) +
                       " was lost and made again to lock the flash"),
            std::string::npos)
      << r.out << r.err;
  EXPECT_FALSE(sensor_->Snapshot().FlashUnlocked());

  // Polling: the gateway dies and stays away.
  std::future<ProcessResult> watch =
      std::async(std::launch::async, [&] { return RunOn(gateway_.TcpUrl(), {"watch", "--count", "400"}); });
  const uint64_t before = sensor_->Snapshot().activity.framesReceived;
  ASSERT_TRUE(WaitUntil([&] { return sensor_->Snapshot().activity.framesReceived > before + 5; }, std::chrono::seconds(30)));
  gateway_.Kill();
  r = watch.get();
  EXPECT_EQ(r.exitCode, kFailed);
  EXPECT_NE(r.err.find("error: The connection to " + gateway_.TcpUrl() + " was lost: the gateway 127.0.0.1:" +
                       std::to_string(gateway_.rawPort()) + " closed or reset it; polling stopped."),
            std::string::npos)
      << r.err;
}

TEST_F(GatewayTest, ASecondClientIsRefusedAndASilentListenerIsNoSensor) {
  // A first client holds each accepter; ser2net refuses a second one in
  // its own words.
  for (const std::string& url : {gateway_.Rfc2217Url(), gateway_.TcpUrl()}) {
    SCOPED_TRACE(url);
    const uint16_t port = url == gateway_.TcpUrl() ? gateway_.rawPort() : gateway_.telnetPort();
    // The first client: served once the sensor's reply comes back through
    // it (the gateway may still be letting go of the line for the client
    // before: then it says so, and the client comes again).
    const uint8_t request[] = {0x02, 0x01, 0x01, kGetModelName,
                               static_cast<uint8_t>(-(0x02 + 0x01 + 0x01 + kGetModelName))};
    int first = -1;
    std::string received;
    const bool served = WaitUntil(
        [&] {
          if (first < 0 || received.find("in use") != std::string::npos) {
            if (first >= 0) ::close(first);
            received.clear();
            first = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(port);
            if (::connect(first, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
            (void)::send(first, request, sizeof request, 0);
          }
          char chunk[256];
          const ssize_t n = ::recv(first, chunk, sizeof chunk, MSG_DONTWAIT);
          if (n > 0) received.append(chunk, static_cast<size_t>(n));
          return received.find("M7-30-6") != std::string::npos;
        },
        std::chrono::seconds(20));
    ASSERT_TRUE(served) << "received: " << received;
    const ProcessResult r = RunOn(url, {"info"});
    ::close(first);
    EXPECT_EQ(r.exitCode, kFailed);
    EXPECT_NE(r.err.find("Port already in use"), std::string::npos) << r.err;
  }

  // A listener that takes the connection and never says a word.
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  socklen_t size = sizeof a;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &size);
  ASSERT_EQ(::listen(listener, 4), 0);
  const std::string port = std::to_string(ntohs(a.sin_port));
  ProcessResult r = Run({"--port", "rfc2217://127.0.0.1:" + port, "info"});
  EXPECT_EQ(r.exitCode, kFailed);
  EXPECT_NE(r.err.find("did not answer the telnet negotiation within 2000 ms"), std::string::npos) << r.err;
  r = Run({"--port", "tcp://127.0.0.1:" + port, "info"});
  EXPECT_EQ(r.exitCode, kFailed);
  EXPECT_NE(r.err.find("No answer from a sensor at address 1"), std::string::npos) << r.err;
  ::close(listener);
}

// tarkon.ini's port map may name a gateway for a COM port: the port number
// is what the technician connected by, so only it is stored, never the URL
// the map resolved it to.
TEST_F(GatewayTest, APortMapEntryNamesAGatewayAndOnlyThePortNumberIsStored) {
  const std::string map = "[Port Map]\nCOM7=" + gateway_.Rfc2217Url() + "\nCOM8=" + gateway_.TcpUrl() + "\n\n";
  ASSERT_TRUE(testsupport::WriteWholeFile(Ini(), "[Serial Settings]\nPort=2\nBaudrate=57600\nAddress=1\n"
                                                 "Read timeout=100\nWrite timeout=100\n\n" + map));
  for (const std::string port : {"COM7", "com8"}) {
    SCOPED_TRACE(port);
    const ProcessResult r = Run({"--port", port, "--json", "info"});
    ASSERT_EQ(r.exitCode, kOk) << r.err;
    EXPECT_EQ(OneObject(r)["serial_number"].text, "K2073064");
    const std::string ini = testsupport::ReadWholeFile(Ini());
    EXPECT_EQ(StoredInteger("Port"), port == "COM7" ? 7 : 8);
    EXPECT_EQ(ini.find("Device="), std::string::npos) << ini;
    EXPECT_NE(ini.find(map), std::string::npos) << "the map is kept as written:\n" << ini;
  }
  const ProcessResult r = Run({"ports"});
  EXPECT_NE(r.out.find("  COM7  " + gateway_.Rfc2217Url() + "\n"), std::string::npos) << r.out;
}

// Two buses, each behind its own gateway, swept at once: a result per
// gateway, and one that cannot be reached fails alone.
TEST_F(GatewayTest, BusScanAndRestoreSweepTwoGatewaysAtOnceWithAResultPerGateway) {
  sim::LineConfig secondLine;
  secondLine.throttle = true;
  secondLine.linkPath = dir_.File("line2");
  sim::SensorConfig second = Sensor("KRV02", 0, 5);
  second.serial = "K2000005";
  sim::VirtualSensor secondSensor(second, secondLine);
  ASSERT_TRUE(secondSensor.Start()) << secondSensor.LastError();
  Ser2netGateway secondGateway;
  std::string why;
  ASSERT_TRUE(secondGateway.Start(dir_.path(), secondLine.linkPath, &why)) << why;
  const std::string first = gateway_.Rfc2217Url();
  const std::string other = secondGateway.TcpUrl();
  const std::string nowhere = "tcp://127.0.0.1:" + std::to_string(testsupport::FreeLoopbackPort());
  const std::vector<std::string> sweep = {"--from", "1", "--to", "6", "--budget", "250"};
  auto onPorts = [&](const std::vector<std::string>& ports, std::vector<std::string> args) {
    std::vector<std::string> argv;
    for (const std::string& p : ports) argv.insert(argv.end(), {"--port", p});
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.end(), sweep.begin(), sweep.end());
    return Run(argv);
  };

  ProcessResult r = onPorts({first, other}, {"bus-scan"});
  ASSERT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(r.out, "Port " + first +
                       "\nAddress  Check mode  Baud rate  Model                 Serial number\n"
                       "      1  Checksum        57600  KRV02                 K2073064\n1 sensor found\n\n"
                       "Port " + other +
                       "\nAddress  Check mode  Baud rate  Model                 Serial number\n"
                       "      5  Checksum        57600  KRV02                 K2000005\n1 sensor found\n");

  // A gateway that is not there fails on its own; the others are found.
  r = onPorts({first, nowhere, other}, {"bus-scan", "--json"});
  EXPECT_EQ(r.exitCode, kFailed);
  EXPECT_NE(r.err.find("bus-scan: " + nowhere + ": cannot open " + nowhere), std::string::npos) << r.err;
  const Json scan = OneObject(r);
  ASSERT_EQ(scan["ports"].items.size(), 3u) << r.out;
  EXPECT_FALSE(scan["complete"].boolean);
  const struct {
    std::string port;
    int address;
    std::string serial;
  } expected[] = {{first, 1, "K2073064"}, {nowhere, 0, ""}, {other, 5, "K2000005"}};
  for (size_t i = 0; i < std::size(expected); ++i) {
    const Json& port = scan["ports"].items[i];
    EXPECT_EQ(port["port"].text, expected[i].port);
    EXPECT_EQ(port["complete"].boolean, expected[i].address != 0);
    if (expected[i].address == 0) {
      EXPECT_TRUE(port["sensors"].items.empty());
      EXPECT_NE(port["error"].text.find("refused the connection"), std::string::npos) << port["error"].text;
      continue;
    }
    ASSERT_EQ(port["sensors"].items.size(), 1u) << r.out;
    EXPECT_EQ(port["sensors"].items[0]["address"].Int(), expected[i].address);
    EXPECT_EQ(port["sensors"].items[0]["serial_number"].text, expected[i].serial);
    EXPECT_EQ(port["error"].text, "");
  }

  // restore --bus: the file of a KRV02 with threshold 66 goes to the
  // KRV02 behind each gateway.
  ASSERT_EQ(RunOn(first, {"set", "Threshold", "66"}).exitCode, kOk);
  const std::string file = dir_.File("krv02.json");
  ASSERT_EQ(RunOn(first, {"backup", file}).exitCode, kOk);
  ASSERT_EQ(RunOn(first, {"set", "Threshold", "40"}).exitCode, kOk);
  r = onPorts({first, other}, {"--json", "restore", file, "--bus"});
  ASSERT_EQ(r.exitCode, kOk) << r.err << r.out;
  const Json restored = OneObject(r);
  ASSERT_EQ(restored["ports"].items.size(), 2u) << r.out;
  for (size_t i = 0; i < 2; ++i) {
    const Json& port = restored["ports"].items[i];
    EXPECT_EQ(port["port"].text, i == 0 ? first : other);
    ASSERT_EQ(port["sensors"].items.size(), 1u) << r.out;
    EXPECT_EQ(port["sensors"].items[0]["serial_number"].text, i == 0 ? "K2073064" : "K2000005");
    EXPECT_GE(port["sensors"].items[0]["verified"].Int(), 1);
    EXPECT_TRUE(port["sensors"].items[0]["ok"].boolean);
  }
  EXPECT_EQ(sensor_->Snapshot().settings.threshold, 66);
  EXPECT_EQ(secondSensor.Snapshot().settings.threshold, 66);

  // Any other command works on one sensor: several ports are refused.
  r = Run({"--port", first, "--port", other, "info"});
  EXPECT_EQ(r.exitCode, kUsage);
  EXPECT_NE(r.err.find("only bus-scan and restore --bus take several ports"), std::string::npos) << r.err;
}

// python3-serial's own RFC 2217 server in front of the same kind of line.
TEST_F(GatewayTest, AnIndependentServerPythonSerialsPortManager) {
  gateway_.Kill();  // the pseudo-terminal is the Python server's alone
  if (std::system("/usr/bin/python3 -c 'import serial.rfc2217' 2>/dev/null") != 0)
    GTEST_SKIP() << "python3-serial is not installed (scripts/install-deps.sh installs it)";
  const uint16_t port = testsupport::FreeLoopbackPort();
  const std::string script = std::string(LRS_TEST_SOURCE_DIR) + "/cli/rfc2217_port_server.py";
  pid_t pid = -1;
  std::vector<std::string> args = {"/usr/bin/python3", script, dir_.File("line"), std::to_string(port)};
  std::vector<char*> argv;
  for (std::string& s : args) argv.push_back(s.data());
  argv.push_back(nullptr);
  ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
  ASSERT_TRUE(WaitUntil([&] { return testsupport::ListensOnLoopback(port); }, std::chrono::seconds(20)));
  const std::string url = "rfc2217://127.0.0.1:" + std::to_string(port);
  ProcessResult r = RunOn(url, {"info"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_NE(r.out.find("Serial number        K2073064"), std::string::npos) << r.out;
  r = RunOn(url, {"baud", "38400"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(sensor_->Snapshot().baudRate, 38400);
  r = RunOn(url, {"--baud", "38400", "set", "Threshold", "47"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(sensor_->Snapshot().settings.threshold, 47);
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
}

}  // namespace
}  // namespace clitest
