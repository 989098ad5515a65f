// The link: status line, title, plain explanations, reply counts, the port
// that comes back, and reconnect against a virtual sensor whose line is
// unplugged and plugged back under the same name.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "protocol/command_ids.h"
#include "support/sim_document.h"
#include "tarkon/document/link_loss.h"
#include "tarkon/document/link_status.h"

namespace {

using testsupport::SimDocumentTest;

TEST(LinkTexts, StatusLineTitleAndSensorName) {
  LinkFacts f;
  EXPECT_EQ(LinkStatusText(f), "Not connected");
  EXPECT_EQ(LinkWindowTitle(f), "");
  f = {true, "/dev/ttyUSB0", "/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_A5-if00-port0", 57600, 7, 1,
       "KRV04", "482913", PollingState::kOn, 120, 3, 1, "", false, 0, 0};
  EXPECT_EQ(LinkStatusText(f),
            "/dev/ttyUSB0 (usb-FTDI_FT232R_A5-if00-port0) \xC2\xB7 57600 bit/s \xC2\xB7 address 7 \xC2\xB7 CRC \xC2\xB7 "
            "KRV04 SN482913 \xC2\xB7 polling on \xC2\xB7 replies 120 good, 3 failed (1 in the last minute)");
  EXPECT_EQ(LinkWindowTitle(f), "Tarkon \xE2\x80\x94 KRV04 SN482913 on /dev/ttyUSB0");
  // Through a gateway: which one, how, and what the deadlines get for it.
  LinkFacts g = f;
  g.portName = g.device = "rfc2217://10.0.0.5:4001";
  g.byId.clear();
  g.gateway = "10.0.0.5:4001";
  g.roundTripUs = 1430;
  g.allowanceMs = 26;
  EXPECT_EQ(LinkStatusText(g).rfind(
                "rfc2217://10.0.0.5:4001 \xC2\xB7 gateway 10.0.0.5:4001, RFC 2217, round trip 1.4 ms, allowance 26 ms "
                "\xC2\xB7 57600 bit/s",
                0),
            0u)
      << LinkStatusText(g);
  g.rawTcp = true;
  EXPECT_NE(LinkStatusText(g).find("gateway 10.0.0.5:4001, raw TCP: the gateway sets the line, round trip"),
            std::string::npos);

  struct Case {
    std::string port, device, byId, shown;
  } ports[] = {
      {"COM3", "/dev/ttyS2", "", "COM3 (/dev/ttyS2)"},
      {"/dev/ttyUSB0", "/dev/ttyUSB0", "", "/dev/ttyUSB0"},
      {"/dev/serial/by-id/usb-X", "/dev/serial/by-id/usb-X", "/dev/serial/by-id/usb-X", "/dev/serial/by-id/usb-X"},
      {"", "/dev/pts/4", "", "/dev/pts/4"},
  };
  for (const Case& c : ports) EXPECT_EQ(PortDisplay(c.port, c.device, c.byId), c.shown) << c.port;

  EXPECT_EQ(SensorName("KRV02", "K2073064"), "KRV02 SN K2073064");
  EXPECT_EQ(SensorName("KRV04", "482913"), "KRV04 SN482913");
  EXPECT_EQ(SensorName("KRV04", ""), "KRV04");
  EXPECT_EQ(SensorName("KRV04", "\x1b]0;x"), "KRV04 SN \\x1B]0;x");  // shown, never obeyed
  f.polling = PollingState::kPaused;
  f.checkMode = 0;
  EXPECT_NE(LinkStatusText(f).find("Checksum \xC2\xB7 KRV04 SN482913 \xC2\xB7 polling paused (transfer)"),
            std::string::npos);
}

TEST(LinkTexts, InternalTextsGetTheirPlainExplanation) {
  struct Case {
    const char* line;
    const char* explanationStart;  // empty: no explanation
  } cases[] = {
      {"Command GetPeak failed. ::sc_Write WriteFile failed (An I/O error occurred during communications with the "
       "device.)",
       "In plain words: Tarkon could not send on the port"},
      {"Command GetPeak failed. ::sc_Read ReadFile failed (The hardware detected a break condition.)",
       "In plain words: Tarkon could not read from the port"},
      {"Command SetMinLP failed. ::sc_Write FlushFileBuffers failed (Input/output error)",
       "In plain words: The port did not pass the request on"},
      {"Command GetKRV02State failed. dcs_ReadHeader timeout waiting for STX",
       "In plain words: The sensor did not answer within 1 second"},
      {"Command GetPeak failed. dcs_ReadHeader did not receive complete packet header.",
       "In plain words: The sensor's reply stopped part way"},
      {"Command GetPeak failed. dcs_ReadPacket detected an invalid checksum", "In plain words: A reply arrived damaged"},
      {"Command GetPeak failed. dcs_SendAndConfirm received incorrect packet ID",
       "In plain words: The reply answered another request"},
      {"Cannot connect to the sensor...", ""},
      {"Disconnected...", ""},
  };
  for (const Case& c : cases) {
    const std::string plain = PlainExplanation(c.line);
    if (*c.explanationStart == '\0') {
      EXPECT_EQ(plain, "") << c.line;
    } else {
      EXPECT_EQ(plain.rfind(c.explanationStart, 0), 0u) << c.line << " -> " << plain;
    }
  }
  // The same explanation again within a minute is left out; another one, or
  // the same a minute later, is given.
  LogExplainer explainer;
  const auto t0 = LogExplainer::Clock::now();
  const std::string silent = "Command GetPeak failed. dcs_ReadHeader timeout waiting for STX";
  EXPECT_NE(explainer.ExplanationFor(silent, t0), "");
  EXPECT_EQ(explainer.ExplanationFor(silent, t0 + std::chrono::seconds(5)), "");
  EXPECT_EQ(explainer.ExplanationFor("Disconnected...", t0 + std::chrono::seconds(6)), "");
  EXPECT_NE(explainer.ExplanationFor("x ::sc_Read ReadFile failed", t0 + std::chrono::seconds(7)), "");
  EXPECT_NE(explainer.ExplanationFor(silent, t0 + std::chrono::seconds(8)), "");
  EXPECT_EQ(explainer.ExplanationFor(silent, t0 + std::chrono::seconds(30)), "");
  EXPECT_NE(explainer.ExplanationFor(silent, t0 + std::chrono::seconds(69)), "");
}

TEST(LinkTexts, ReplyCounterKeepsTheLastMinuteAndTheFailuresInARow) {
  ReplyCounter counter;
  const auto t0 = ReplyCounter::Clock::now();
  counter.Count(false, t0);
  counter.Count(true, t0 + std::chrono::seconds(1));
  counter.Count(false, t0 + std::chrono::seconds(30));
  counter.Count(false, t0 + std::chrono::seconds(40));
  EXPECT_EQ(counter.good(), 1u);
  EXPECT_EQ(counter.failed(), 3u);
  EXPECT_EQ(counter.failedInARow(), 2u);
  EXPECT_EQ(counter.FailedWithinLastMinute(t0 + std::chrono::seconds(50)), 3u);
  EXPECT_EQ(counter.FailedWithinLastMinute(t0 + std::chrono::seconds(61)), 2u);
  EXPECT_EQ(counter.FailedWithinLastMinute(t0 + std::chrono::seconds(101)), 0u);
  counter.Reset();
  EXPECT_EQ(counter.failed() + counter.good() + counter.failedInARow(), 0u);
}

TEST(PortIsBack, SameByIdNameNameOrUsbSerial) {
  const LinkIdentity usb{"/dev/ttyUSB0", "/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_A5-if00-port0", "A5"};
  const LinkIdentity byId{"/dev/serial/by-id/usb-FTDI_A5-if00-port0", "/dev/serial/by-id/usb-FTDI_A5-if00-port0",
                          "/dev/serial/by-id/usb-FTDI_A5-if00-port0", "A5"};
  const LinkIdentity pty{"/tmp/sensor", "/tmp/sensor", "", ""};
  struct Case {
    const LinkIdentity* lost;
    std::vector<std::string> names;
    std::string usbSerial;
    bool back;
    std::string reopen;
  } cases[] = {
      {&usb, {"/dev/ttyUSB0"}, "", true, "/dev/ttyUSB0"},
      {&usb, {"ttyUSB0"}, "", true, "/dev/ttyUSB0"},  // a bare kernel name
      {&usb, {"/dev/ttyUSB1", "/dev/serial/by-id/usb-FTDI_A5-if00-port0"}, "", true,
       "/dev/serial/by-id/usb-FTDI_A5-if00-port0"},
      {&usb, {"/dev/ttyUSB1"}, "A5", true, "/dev/serial/by-id/usb-FTDI_A5-if00-port0"},
      {&usb, {"/dev/ttyUSB1"}, "B7", false, ""},
      {&usb, {"/dev/ttyUSB1"}, "", false, ""},
      {&byId, {"/dev/ttyUSB3", "/dev/serial/by-id/usb-FTDI_A5-if00-port0"}, "", true,
       "/dev/serial/by-id/usb-FTDI_A5-if00-port0"},
      {&pty, {"/tmp/sensor"}, "", true, "/tmp/sensor"},
      {&pty, {"/tmp/other"}, "", false, ""},
      {&pty, {"/tmp/other"}, "", false, ""},
      {&pty, {}, "A5", false, ""},  // no serial known for the lost port
  };
  for (const Case& c : cases) {
    std::string reopen;
    EXPECT_EQ(PortIsBack(*c.lost, c.names, c.usbSerial, &reopen), c.back) << c.names.size() << " " << c.usbSerial;
    EXPECT_EQ(reopen, c.reopen);
  }
}

TEST(IdentifyPort, ByIdLinkAndUsbSerialNumberFromTheSystemTree) {
  namespace fs = std::filesystem;
  testsupport::TempDir dir;
  ASSERT_TRUE(dir.ok());
  const fs::path dev = fs::path(dir.path()) / "dev";
  const fs::path sys = fs::path(dir.path()) / "sys";
  fs::create_directories(dev / "serial" / "by-id");
  std::ofstream(dev / "ttyUSB0").put('\n');
  fs::create_symlink("../../ttyUSB0", dev / "serial" / "by-id" / "usb-FTDI_FT232R_A50285BI-if00-port0");
  const fs::path usbDevice = sys / "devices" / "usb1" / "1-1";
  fs::create_directories(usbDevice / "1-1:1.0" / "ttyUSB0");
  std::ofstream(usbDevice / "idVendor") << "0403\n";
  std::ofstream(usbDevice / "serial") << "A50285BI\n";
  fs::create_directories(sys / "class" / "tty" / "ttyUSB0");
  fs::create_symlink(usbDevice / "1-1:1.0", sys / "class" / "tty" / "ttyUSB0" / "device");

  const LinkIdentity id = IdentifyPort("/dev/ttyUSB0", (dev / "ttyUSB0").string(), dev.string(), sys.string());
  EXPECT_EQ(id.byId, (dev / "serial" / "by-id" / "usb-FTDI_FT232R_A50285BI-if00-port0").string());
  EXPECT_EQ(id.usbSerial, "A50285BI");
  const LinkIdentity none = IdentifyPort("/x", (dev / "nothing").string(), dev.string(), sys.string());
  EXPECT_EQ(none.byId, "");
  EXPECT_EQ(none.usbSerial, "");
}

class LinkDocumentTest : public SimDocumentTest {
 protected:
  // A sensor whose line keeps its name across an unplug.
  void StartLinkedSensor(const std::string& model, int32_t checkMode = 0) {
    sim::LineConfig line = trace_.Line();
    line.linkPath = dir_.File("sensor");
    sensor_ = std::make_unique<sim::VirtualSensor>(testsupport::SensorOf(model, checkMode), line);
    ASSERT_TRUE(sensor_->Start()) << sensor_->LastError();
  }
  bool ConnectLinked() {
    return ConnectDoc([this](ConnectValues& v) { v.portText = dir_.File("sensor"); });
  }
  // Unplugs and lets a command find out.
  void UnplugAndNotice() {
    ASSERT_TRUE(sensor_->Unplug());
    EXPECT_FALSE(Doc().operations().RereadSettings());
    ASSERT_FALSE(Doc().connected());
  }
};

TEST_F(LinkDocumentTest, LostLinkIsNoticedOfferedAndReconnectedWithTheSameSettings) {
  StartLinkedSensor("KRV02", 1);
  ASSERT_TRUE(ConnectLinked());
  CKRV02Doc& doc = Doc();
  ASSERT_EQ(doc.sensor().checkMode(), 1);
  ASSERT_TRUE(doc.polling().RefreshPolledState());
  LinkFacts facts = doc.connection().linkFacts();
  EXPECT_EQ(facts.portName, dir_.File("sensor"));
  EXPECT_GE(facts.good, 1u);
  EXPECT_EQ(facts.failed, 0u);
  EXPECT_EQ(doc.connection().WindowTitle(), "Tarkon \xE2\x80\x94 KRV02 SN K2073064 on " + dir_.File("sensor"));
  EXPECT_EQ(doc.connection().linkNotice().kind, LinkNoticeKind::kNone);
  EXPECT_FALSE(doc.connection().CanReconnect());

  UnplugAndNotice();
  EXPECT_EQ(doc.connection().linkNotice().kind, LinkNoticeKind::kPortGone);
  EXPECT_EQ(doc.connection().linkNotice().text,
            "The connection to the KRV02 SN K2073064 was lost: the port " + dir_.File("sensor") +
                " went away (adapter unplugged or line hung up). Polling stopped. Plug it back "
                "in, then press Reconnect.");
  EXPECT_TRUE(doc.connection().linkNotice().offersReconnect);
  EXPECT_EQ(doc.connection().LinkStatus(), "Not connected");
  EXPECT_TRUE(doc.connection().CanReconnect());
  // Not back yet: nothing is tried.
  listener_.Clear();
  EXPECT_EQ(doc.connection().Reconnect(), ReconnectOutcome::kPortAbsent);
  EXPECT_TRUE(listener_.lines().empty());

  ASSERT_TRUE(sensor_->Replug());
  EXPECT_EQ(doc.connection().PortAppeared("/dev/ttyUSB7"), PortBackAction::kNotOurs);
  EXPECT_EQ(doc.connection().PortAppeared(dir_.File("sensor")), PortBackAction::kOffered);
  EXPECT_EQ(doc.connection().linkNotice().kind, LinkNoticeKind::kPortBack);
  EXPECT_FALSE(doc.connected());

  trace_.Clear();
  EXPECT_EQ(doc.connection().Reconnect(), ReconnectOutcome::kReconnected);
  EXPECT_TRUE(doc.connected());
  EXPECT_EQ(doc.sensor().checkMode(), 1);
  // Asked in CRC first, as before: the sensor refused no frame.
  for (const auto& frame : trace_.Frames()) {
    if (frame.label == "rx") {
      EXPECT_EQ(frame.note, "");
    }
  }
  EXPECT_EQ(doc.sensor().baudRate(), 57600);
  EXPECT_EQ(doc.sensor().address(), 1);
  EXPECT_EQ(doc.connection().linkNotice().kind, LinkNoticeKind::kNone);
  EXPECT_EQ(listener_.TextsOfKind(kLogSuccess).back(),
            "Reconnected to the KRV02 SN K2073064 on " + dir_.File("sensor") + ".");
  EXPECT_EQ(doc.connection().linkFacts().failed, 0u);                                       // counts start again
  EXPECT_EQ(doc.connection().PortAppeared(dir_.File("sensor")), PortBackAction::kNotOurs);  // connected

  // A removal the port monitor reports ends the link while nothing polls.
  EXPECT_FALSE(doc.connection().PortDisappeared({dir_.File("sensor")}));  // still there
  ASSERT_TRUE(sensor_->Unplug());
  EXPECT_FALSE(doc.connection().PortDisappeared({"/dev/ttyUSB7"}));
  EXPECT_TRUE(doc.connection().PortDisappeared({dir_.File("sensor")}));
  EXPECT_FALSE(doc.connected());
  EXPECT_EQ(doc.connection().linkNotice().kind, LinkNoticeKind::kPortGone);
}

// Another sensor on the port is another serial number, or another model
// with the same serial number: either is said, never taken for the same.
TEST_F(LinkDocumentTest, AutomaticReconnectSaysWhenAnotherSensorAnswers) {
  struct Case {
    const char* name;
    void (*swap)(sim::SensorState&);
    const char* now;
  };
  const Case cases[] = {
      {"another serial number",
       [](sim::SensorState& s) { std::copy_n("K4999999", 8, s.serialNumber.begin()); }, "KRV04 SN K4999999"},
      {"another model with the same serial number",
       [](sim::SensorState& s) {
         s.model = sim::kKrv02;
         s.modelName.fill(0);
         std::copy_n("0 M7-30-6", 9, s.modelName.begin());
       },
       "KRV02 SN K4030961"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartLinkedSensor("KRV04");
    ASSERT_TRUE(ConnectLinked());
    CKRV02Doc& doc = Doc();
    doc.options().SetAutoReconnect(true);
    UnplugAndNotice();
    EXPECT_NE(doc.connection().linkNotice().text.find("Tarkon reconnects when the port is back."), std::string::npos);
    sensor_->Mutate(c.swap);
    ASSERT_TRUE(sensor_->Replug());
    EXPECT_EQ(doc.connection().PortAppeared(std::vector<std::string>{"/dev/pts/99", dir_.File("sensor")}),
              PortBackAction::kReconnected);
    EXPECT_TRUE(doc.connected());
    EXPECT_EQ(doc.connection().linkNotice().kind, LinkNoticeKind::kOtherSensor);
    const std::string other = "Reconnected on " + dir_.File("sensor") + ", but another sensor answers there: " +
                              c.now + " instead of KRV04 SN K4030961.";
    EXPECT_EQ(doc.connection().linkNotice().text, other);
    EXPECT_EQ(listener_.TextsOfKind(kLogNotice).back(), other);
    DestroyDoc();
    sensor_.reset();
  }
}

// A serial number lost on the way is no proof of the same sensor: what the
// reply held before is the lost sensor's.
TEST_F(LinkDocumentTest, ReconnectWithoutASerialNumberIsNotTakenForTheSameSensor) {
  // Once without a fault, to learn which reply answers the reconnect's
  // serial number query; then with that reply dropped.
  uint64_t serialReply = 0;
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass == 0 ? "every reply" : "the serial number's reply dropped");
    sim::LineConfig line = trace_.Line();
    line.linkPath = dir_.File("sensor");
    sim::SensorConfig config = testsupport::SensorOf("KRV04", 0);
    if (pass == 1) config.faults.rule(sim::FaultKind::kDrop).atReplies = {serialReply};
    trace_.Clear();
    sensor_ = std::make_unique<sim::VirtualSensor>(config, line);
    ASSERT_TRUE(sensor_->Start()) << sensor_->LastError();
    ASSERT_TRUE(ConnectLinked());
    UnplugAndNotice();
    ASSERT_TRUE(sensor_->Replug());
    const ReconnectOutcome outcome = Doc().connection().Reconnect();
    EXPECT_TRUE(Doc().connected());
    if (pass == 0) {
      ASSERT_EQ(outcome, ReconnectOutcome::kReconnected);
      const std::vector<int> commands = trace_.Commands();
      const auto last = std::find(commands.rbegin(), commands.rend(), int{cmd::GetSerialNum});
      ASSERT_NE(last, commands.rend());
      serialReply = static_cast<uint64_t>(commands.rend() - last);  // replies are numbered from 1
    } else {
      EXPECT_EQ(outcome, ReconnectOutcome::kOtherSensor);
      EXPECT_EQ(Doc().connection().linkNotice().kind, LinkNoticeKind::kOtherSensor);
      EXPECT_EQ(Doc().connection().linkNotice().text,
                "Reconnected on " + dir_.File("sensor") +
                    ", but the sensor there could not be identified as the KRV04 SN K4030961: KRV04 (serial number "
                    "not read). Check which sensor this is before changing anything.");
    }
    DestroyDoc();
    sensor_.reset();
  }
}

TEST_F(LinkDocumentTest, SilentSensorShowsTheBarUntilItAnswersAndCanBeReconnected) {
  StartLinkedSensor("KRV02");
  ASSERT_TRUE(ConnectLinked());
  CKRV02Doc& doc = Doc();
  // The replies as the command layer counts them.
  LogSink& replies = doc;
  for (uint32_t i = 1; i < kSilentAfterFailures; ++i) replies.CommandOutcome(false);
  EXPECT_EQ(doc.connection().linkNotice().kind, LinkNoticeKind::kNone);
  replies.CommandOutcome(false);
  EXPECT_EQ(doc.connection().linkNotice().kind, LinkNoticeKind::kSilent);
  EXPECT_EQ(doc.connection().linkFacts().failedLastMinute, kSilentAfterFailures);
  EXPECT_TRUE(doc.connection().CanReconnect());
  EXPECT_TRUE(doc.polling().RefreshPolledState());  // it answers again
  EXPECT_EQ(doc.connection().linkNotice().kind, LinkNoticeKind::kNone);
  EXPECT_EQ(listener_.TextsOfKind(kLogNotice).back(), "The sensor on " + dir_.File("sensor") + " answers again.");

  for (uint32_t i = 0; i < kSilentAfterFailures; ++i) replies.CommandOutcome(false);
  doc.connection().DismissLinkNotice();
  EXPECT_EQ(doc.connection().linkNotice().kind, LinkNoticeKind::kNone);
  for (uint32_t i = 0; i < kSilentAfterFailures; ++i) replies.CommandOutcome(false);
  EXPECT_EQ(doc.connection().linkNotice().kind, LinkNoticeKind::kNone);  // dismissed until it answers
  replies.CommandOutcome(true);
  for (uint32_t i = 0; i < kSilentAfterFailures; ++i) replies.CommandOutcome(false);
  ASSERT_EQ(doc.connection().linkNotice().kind, LinkNoticeKind::kSilent);
  EXPECT_EQ(doc.connection().Reconnect(), ReconnectOutcome::kReconnected);
  EXPECT_TRUE(doc.connected());
  EXPECT_EQ(doc.connection().linkNotice().kind, LinkNoticeKind::kNone);
}

TEST_F(LinkDocumentTest, ExplanationsFollowInternalTextsWhenAskedFor) {
  StartLinkedSensor("KRV02");
  ASSERT_TRUE(ConnectLinked());
  CKRV02Doc& doc = Doc();
  doc.options().SetExplainLines(true);
  listener_.Clear();
  ASSERT_TRUE(sensor_->Unplug());
  EXPECT_FALSE(doc.polling().RefreshPolledState());
  const testsupport::LogLines lines = listener_.lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0].first, kLogError);
  EXPECT_EQ(lines[0].second.rfind("Command GetKRV02State failed. ", 0), 0u) << lines[0].second;
  EXPECT_EQ(lines[1].first, kLogNotice);
  EXPECT_EQ(lines[1].second, PlainExplanation(lines[0].second));
  EXPECT_NE(lines[1].second, "");
}

}  // namespace
