// The network line through the serial layer's own calls, against a
// scripted gateway on 127.0.0.1: the telnet decoding of what the gateway
// sends (split anywhere, with notifications between a frame's bytes), the
// RFC 2217 acknowledgements compared with what was asked, purge, and a
// connection that closes.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "serial/fake_gateway.h"
#include "serial/network_line.h"
#include "serial/network_port_name.h"
#include "serial/serial_comm.h"
#include "serial/serial_port.h"
#include "serial/telnet_codec.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint8_t IAC = 0xFF, SB = 0xFA, SE = 0xF0, WILL = 0xFB, DO = 0xFD, CPO = 44;

Bytes Sub(std::initializer_list<uint8_t> body) {
  Bytes out{IAC, SB, CPO};
  out.insert(out.end(), body);
  out.insert(out.end(), {IAC, SE});
  return out;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
const Bytes kBaudQuery = Sub({1, 0, 0, 0, 0});
const Bytes kBaud57600Answer = Sub({101, 0, 0, 0xE1, 0x00});

// What every RFC 2217 gateway of these tests does first: take com port
// control and answer the client's three round-trip queries.
void ServeOpening(FakeGateway::Peer& peer) {
  if (!peer.WaitFor({IAC, WILL, CPO})) return;
  peer.Send({IAC, DO, CPO});
  for (size_t i = 1; i <= 3; ++i) {
    if (!peer.WaitFor(kBaudQuery, i)) return;
    peer.Send(kBaud57600Answer);
  }
}

void AckSettings(FakeGateway::Peer& peer, uint32_t baud) {
  if (!peer.WaitFor(Sub({4, 1}))) return;  // the stop bits, the last of the four
  peer.Send(Cat({Sub({101, uint8_t(baud >> 24), uint8_t(baud >> 16), uint8_t(baud >> 8), uint8_t(baud)}),
                 Sub({102, 8}), Sub({103, 1}), Sub({104, 1})}));
}

SerialHandle Open(const std::string& url, SerialError& err) { return sc_OpenDevice(url, &err); }

SerialSettings At(int32_t baud) {
  SerialSettings s;
  s.baudRate = baud;
  return s;
}

TEST(TelnetDecoder, TheSameResultWhereverTheStreamIsCut) {
  // Data with a doubled 0xFF, a negotiation, a sub-negotiation holding a
  // doubled 0xFF, and a frame's bytes around a line-state notification.
  const Bytes stream = Cat({{0x02, 0x01, IAC, IAC, 0x05}, {IAC, WILL, 3}, Sub({101, 0, 0, IAC, IAC}),
                            {0x10}, Sub({106, 0x08}), {IAC, IAC, 0x20}});
  const Bytes wantData = {0x02, 0x01, 0xFF, 0x05, 0x10, 0xFF, 0x20};
  for (size_t cut1 = 0; cut1 <= stream.size(); ++cut1) {
    for (size_t cut2 = cut1; cut2 <= stream.size(); ++cut2) {
      telnet::Decoder decoder;
      Bytes data;
      std::vector<telnet::Event> events;
      decoder.Feed(stream.data(), cut1, data, events);
      decoder.Feed(stream.data() + cut1, cut2 - cut1, data, events);
      decoder.Feed(stream.data() + cut2, stream.size() - cut2, data, events);
      ASSERT_EQ(data, wantData) << "cut at " << cut1 << " and " << cut2;
      ASSERT_EQ(events.size(), 3u) << "cut at " << cut1 << " and " << cut2;
      EXPECT_EQ(events[0].verb, WILL);
      EXPECT_EQ(events[1].payload, (Bytes{101, 0, 0, 0xFF}));
      EXPECT_EQ(events[2].payload, (Bytes{106, 0x08}));
    }
  }
}

// The acknowledgements of the four settings, as a gateway may give them.
TEST(NetworkLine, SettingsAreAcknowledgedAsAskedOrTheFailureNamesTheGateway) {
  struct Case {
    const char* name;
    std::function<void(FakeGateway::Peer&)> answer;
    bool ok;
    const char* text;  // in the error text when not ok
  };
  const Case cases[] = {
      {"as asked", [](FakeGateway::Peer& p) { AckSettings(p, 19200); }, true, ""},
      {"another rate", [](FakeGateway::Peer& p) { AckSettings(p, 9600); }, false,
       "refused: the baud rate 19200 bit/s was answered with 9600 bit/s"},
      {"no answer", [](FakeGateway::Peer&) {}, false,
       "did not acknowledge the baud rate, the data bits, the parity, the stop bits within 2000 ms"},
      {"only some", [](FakeGateway::Peer& p) {
         p.WaitFor(Sub({4, 1}));
         p.Send(Cat({Sub({101, 0, 0, 0x4B, 0x00}), Sub({103, 1})}));
       },
       false, "did not acknowledge the data bits, the stop bits"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeGateway gateway([&](FakeGateway::Peer& peer) {
      ServeOpening(peer);
      c.answer(peer);
    });
    SerialError err;
    const SerialHandle h = Open(gateway.Url(), err);
    ASSERT_NE(h, kInvalidSerialHandle) << err.text;
    EXPECT_EQ(sc_SetSettings(h, At(19200), &err), c.ok);
    if (!c.ok) {
      EXPECT_EQ(err.code, kSerialPlatformCall);
      EXPECT_NE(std::string(err.text).find("sc_SetSettings: SetCommState failed"), std::string::npos) << err.text;
      EXPECT_NE(std::string(err.text).find("the gateway 127.0.0.1:" + std::to_string(gateway.port())),
                std::string::npos)
          << err.text;
      EXPECT_NE(std::string(err.text).find(c.text), std::string::npos) << err.text;
    }
    sc_Close(h, &err);
  }
}

TEST(NetworkLine, FramesComeWholeThroughSplitEscapesAndNotificationsAndLateAnswers) {
  const Bytes frame = {0x02, 0x01, 0x06, 0xFF, 0xFF, 0x10, 0xFF, 0x7F};
  std::atomic<bool> written{false};
  {
  FakeGateway gateway([&](FakeGateway::Peer& peer) {
    ServeOpening(peer);
    AckSettings(peer, 57600);
    // A late answer (to the queries, long settled), then the frame with
    // every 0xFF doubled, cut into single bytes, a framing error and a
    // modem-state notice between its bytes.
    peer.SendSplit(Cat({Sub({101, 0, 0, 0x4B, 0x00}), {0x02, 0x01, 0x06, IAC, IAC}, Sub({106, 0x08}),
                        {IAC, IAC, 0x10}, Sub({107, 0x30}), {IAC, IAC, 0x7F}}));
    // The client's own 0xFF go out doubled.
    written = peer.WaitFor({0x02, IAC, IAC, IAC, IAC, 0x03});
  });
  SerialError err;
  const SerialHandle h = Open(gateway.Url(), err);
  ASSERT_NE(h, kInvalidSerialHandle) << err.text;
  ASSERT_TRUE(sc_SetSettings(h, At(57600), &err)) << err.text;
  Bytes got(frame.size());
  size_t done = 0;
  ASSERT_TRUE(sc_Read(h, got.data(), got.size(), &done, 3000, &err)) << err.text;
  EXPECT_EQ(done, frame.size());
  EXPECT_EQ(got, frame);
  uint32_t errors = 0;
  LineStatus status;
  ASSERT_TRUE(sc_ClearError(h, &errors, &status));
  EXPECT_EQ(errors, uint32_t{kLineFrame});
  const Bytes out = {0x02, 0xFF, 0xFF, 0x03};
  ASSERT_TRUE(sc_Write(h, out.data(), out.size(), &done, 1000, &err)) << err.text;
  EXPECT_EQ(done, out.size());
  sc_Close(h, &err);
  }  // the gateway's script has ended
  EXPECT_TRUE(written);
}

TEST(NetworkLine, PurgeDropsWhatCameBeforeTheGatewaysAcknowledgement) {
  FakeGateway gateway([](FakeGateway::Peer& peer) {
    ServeOpening(peer);
    AckSettings(peer, 57600);
    peer.Send({0xAA, 0xAA});  // stale
    if (!peer.WaitFor(Sub({12, 3}))) return;
    peer.Send(Cat({{0xBB}, Sub({112, 3}), {0x02, 0x05}}));  // stale, the answer, then fresh
  });
  SerialError err;
  const SerialHandle h = Open(gateway.Url(), err);
  ASSERT_NE(h, kInvalidSerialHandle) << err.text;
  ASSERT_TRUE(sc_SetSettings(h, At(57600), &err)) << err.text;
  ASSERT_EQ(sc_WaitInput(h, 3000), InputWait::kInput);
  ASSERT_TRUE(sc_PurgeBuffers(h, &err)) << err.text;
  uint8_t got[2] = {};
  size_t done = 0;
  ASSERT_TRUE(sc_Read(h, got, 2, &done, 3000, &err)) << err.text;
  ASSERT_EQ(done, 2u);
  EXPECT_EQ(got[0], 0x02);
  EXPECT_EQ(got[1], 0x05);
  sc_Close(h, &err);
}

TEST(NetworkLine, AClosedConnectionIsALineThatHasGone) {
  FakeGateway gateway([](FakeGateway::Peer& peer) {
    ServeOpening(peer);
    AckSettings(peer, 57600);
    if (!peer.WaitFor(Sub({12, 3}))) return;  // the purge of the connect
    peer.Send(Cat({Sub({112, 3}), {0x02}}));
    peer.Close();
  });
  SerialPort port;
  ASSERT_TRUE(port.ConnectDevice(gateway.Url(), 57600, kParityNone, kStopOne, 8, 100, 100)) << port.errorText();
  NetworkLineFacts facts;
  ASSERT_TRUE(port.networkFacts(&facts));
  EXPECT_EQ(facts.gateway, "127.0.0.1:" + std::to_string(gateway.port()));
  EXPECT_EQ(port.allowanceMs(), NetworkAllowanceMs(facts.roundTripUs));
  uint8_t got[4] = {};
  size_t done = 0;
  EXPECT_FALSE(port.Read(got, 4, &done, 3000));
  EXPECT_EQ(done, 1u);  // what came before the close is still read
  EXPECT_EQ(port.errorCode(), kSerialIoError);
  EXPECT_NE(std::string(port.errorText()).find("::sc_Read ReadFile failed (the gateway 127.0.0.1:"),
            std::string::npos)
      << port.errorText();
  EXPECT_NE(std::string(port.errorText()).find("the connection"), std::string::npos);
  EXPECT_TRUE(port.LineGone());
  EXPECT_EQ(port.WaitForInput(100), InputWait::kGone);
}

TEST(NetworkLine, OpenFailsWithTheGatewaysOwnWordsOrItsSilence) {
  struct Case {
    const char* name;
    const char* scheme;
    std::function<void(FakeGateway::Peer&)> script;
    const char* text;
  };
  const Case cases[] = {
      {"second client, telnet", "rfc2217",
       [](FakeGateway::Peer& p) {
         p.Send({IAC, WILL, 3, IAC, DO, CPO});
         p.Send({'P', 'o', 'r', 't', ' ', 'i', 'n', ' ', 'u', 's', 'e', '\r', '\n'});
         p.Close();
       },
       "the connection: \"Port in use\""},  // closed, or reset when the close found the client's bytes unread
      {"second client, raw", "tcp",
       [](FakeGateway::Peer& p) {
         p.Send({'P', 'o', 'r', 't', ' ', 'i', 'n', ' ', 'u', 's', 'e', '\r', '\n'});
         p.Close();
       },
       "closed the connection: \"Port in use\""},
      {"a listener that never answers", "rfc2217", [](FakeGateway::Peer&) {},
       "did not answer the telnet negotiation within 2000 ms"},
      {"no com port control", "rfc2217",
       [](FakeGateway::Peer& p) {
         p.WaitFor({IAC, WILL, CPO});
         p.Send({IAC, 0xFE, CPO});  // DONT
       },
       "does not offer RFC 2217 com port control"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeGateway gateway(c.script);
    SerialError err;
    const SerialHandle handle = Open(gateway.Url(c.scheme), err);
    if (handle != kInvalidSerialHandle && std::string(c.scheme) == "tcp") {
      // Over raw TCP the open only looks briefly for a refusal; a gateway
      // slower than that is found at the first read: its words come as the
      // bytes they are, then the line is gone.
      std::string said;
      char buffer[64];
      size_t done = 0;
      SerialError readErr;
      while (sc_Read(handle, buffer, sizeof buffer, &done, 10000, &readErr)) said.append(buffer, done);
      said.append(buffer, done);
      EXPECT_NE(said.find("Port in use"), std::string::npos) << said;
      EXPECT_NE(std::string(readErr.text).find("closed the connection"), std::string::npos) << readErr.text;
      sc_Close(handle, &readErr);
      continue;
    }
    EXPECT_EQ(handle, kInvalidSerialHandle);
    EXPECT_EQ(err.code, kSerialCannotOpen);
    EXPECT_NE(std::string(err.text).find("sc_Open: could not open"), std::string::npos) << err.text;
    EXPECT_NE(std::string(err.text).find(c.text), std::string::npos) << err.text;
  }
  SerialError err;
  EXPECT_EQ(Open("rfc2217://127.0.0.1", err), kInvalidSerialHandle);
  EXPECT_NE(std::string(err.text).find("the port number is missing"), std::string::npos) << err.text;
}

TEST(NetworkLine, RawTcpPassesBytesUnchangedAndLeavesTheSettingsToTheGateway) {
  std::atomic<bool> raw{false};
  FakeGateway gateway([&](FakeGateway::Peer& peer) {
    raw = peer.WaitFor({0x02, 0xFF, 0x03});
    peer.Send({0xFF, 0x10});
  });
  SerialPort port;
  ASSERT_TRUE(port.ConnectDevice(gateway.Url("socket"), 9600, kParityNone, kStopOne, 8, 100, 100))
      << port.errorText();
  EXPECT_TRUE(port.settingsAtGateway());
  EXPECT_TRUE(port.ApplyBaudRate(19200));
  const Bytes out = {0x02, 0xFF, 0x03};
  size_t done = 0;
  ASSERT_TRUE(port.Write(out.data(), out.size(), &done, 1000));
  uint8_t got[2] = {};
  ASSERT_TRUE(port.Read(got, 2, &done, 3000));
  ASSERT_EQ(done, 2u);
  EXPECT_EQ(got[0], 0xFF);
  EXPECT_EQ(got[1], 0x10);
  EXPECT_TRUE(raw);
}

}  // namespace

namespace {

TEST(NetworkPortName, FormsTakenAndRefused) {
  struct Case {
    const char* text;
    bool ok;
    const char* canonical;  // or the refusal's reason
  };
  const Case cases[] = {
      {"rfc2217://127.0.0.1:4001", true, "rfc2217://127.0.0.1:4001"},
      {"RFC2217://gateway-7.plant.example:23", true, "rfc2217://gateway-7.plant.example:23"},
      {"tcp://10.0.0.5:4002", true, "tcp://10.0.0.5:4002"},
      {"socket://10.0.0.5:4002", true, "tcp://10.0.0.5:4002"},
      {"rfc2217://[::1]:4001", true, "rfc2217://[::1]:4001"},
      {"tcp://[fe80::1%eth0]:7", true, "tcp://[fe80::1%eth0]:7"},
      {"rfc2217://::1:4001", false, "an IPv6 address goes in brackets"},
      {"rfc2217://[::1:4001", false, "no closing bracket"},
      {"tcp://host", false, "the port number is missing"},
      {"tcp://host:0", false, "from 1 to 65535"},
      {"tcp://host:65536", false, "from 1 to 65535"},
      {"tcp://host:40a", false, "from 1 to 65535"},
      {"tcp://:4001", false, "the host is missing"},
      {"tcp://ho st:4001", false, "the host name is not valid"},
      {"tcp://host:4001/path", false, "from 1 to 65535"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    NetworkPortName name;
    std::string why;
    EXPECT_TRUE(IsNetworkPortName(c.text));
    ASSERT_EQ(ParseNetworkPortName(c.text, &name, &why), c.ok) << why;
    if (c.ok) {
      EXPECT_EQ(name.Canonical(), c.canonical);
    } else {
      EXPECT_NE(why.find(c.canonical), std::string::npos) << why;
    }
  }
  EXPECT_FALSE(IsNetworkPortName("/dev/ttyUSB0"));
  EXPECT_FALSE(IsNetworkPortName("COM3"));
}

}  // namespace
