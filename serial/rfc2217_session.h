#pragma once
// The client's side of a network line's protocol, without I/O: what to send
// when the connection opens, how received bytes split into data and the
// gateway's answers, and what those answers say. Over RFC 2217 (telnet com
// port control) the line settings travel to the gateway and each is
// acknowledged with the value the gateway's port now has; over raw TCP the
// bytes pass unchanged and the settings stay the gateway's own.
//
// Used by the serial layer's socket line (network_line.cpp) and by
// Ostrel's Qt socket alike, so the protocol is written once:
//
//   Rfc2217Session s(NetworkProtocol::kRfc2217);
//   send(s.Opening());
//   send(s.RequestLineSettings({57600, 8, kParityNone, kStopOne}));
//   on bytes: s.Receive(bytes, n, data, reply); send(reply); deliver(data);
//   until s.settings() != kWaiting (or a time-out: the gateway did not answer)

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "serial/network_port_name.h"
#include "serial/telnet_codec.h"

// The four settings RFC 2217 sets together, in the serial layer's
// numbering (SerialSettings: parity 0 none .. 4 space; stop bits 0 one,
// 1 one and a half, 2 two).
struct LineRequest {
  int32_t baudRate = 57600;
  int32_t dataBits = 8;
  int32_t parity = 0;
  int32_t stopBits = 0;
};

// What a gateway said before it closed a connection, as a quotation for a
// message: ": \"Port already in use\"" (printable characters only, at most
// 80); empty when it said nothing readable.
std::string GatewayWords(const std::vector<uint8_t>& bytes);

// A gateway lets go of its serial port a moment after a client leaves and
// turns new clients away until then (ser2net: "Port already in use"): a
// refusal right at the open is tried again for this long, this far apart.
constexpr uint32_t kGatewayBusyRetryMs = 1500;
constexpr uint32_t kGatewayBusyRetryPauseMs = 100;

class Rfc2217Session {
 public:
  // RFC 2217 com port control sub-commands (client to gateway; the
  // gateway answers with the same number plus 100).
  enum Command : uint8_t {
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
    kNotifyLineState = 6,
    kNotifyModemState = 7,
    kSetLineStateMask = 10,
    kPurgeData = 12,
  };
  static constexpr uint8_t kServerOffset = 100;
  // PURGE-DATA values.
  static constexpr uint8_t kPurgeReceived = 1;  // the gateway's buffer of bytes from the device
  static constexpr uint8_t kPurgeToSend = 2;    // the gateway's buffer of bytes for the device
  static constexpr uint8_t kPurgeBoth = 3;
  // NOTIFY-LINESTATE bits that are line errors.
  static constexpr uint8_t kLineStateBreak = 0x10;
  static constexpr uint8_t kLineStateFraming = 0x08;
  static constexpr uint8_t kLineStateParity = 0x04;
  static constexpr uint8_t kLineStateOverrun = 0x02;

  enum class Answer { kNone, kWaiting, kAcknowledged, kRefused };

  explicit Rfc2217Session(NetworkProtocol protocol) : protocol_(protocol) {}
  bool telnet() const { return protocol_ == NetworkProtocol::kRfc2217; }

  // What the client says first: over RFC 2217 it offers com port control,
  // binary transfer both ways and no go-aheads, and asks to hear of line
  // errors; nothing over raw TCP.
  std::vector<uint8_t> Opening();

  // Data bytes for the gateway's serial port, as they go on the wire.
  void Encode(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) const;

  // Bytes from the connection: data for the reader to `data`; answers the
  // protocol owes the gateway (option negotiation) to `reply`, to be sent.
  void Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& data, std::vector<uint8_t>& reply);

  // The four settings requests, sent together. From now on settings()
  // is kWaiting until all four are acknowledged as asked (kAcknowledged)
  // or one is answered with another value or refused (kRefused, with
  // refusal()). Empty over raw TCP (settings() stays kNone).
  std::vector<uint8_t> RequestLineSettings(const LineRequest& request);
  Answer settings() const { return settings_; }
  // "the baud rate 19200 bit/s was answered with 9600 bit/s", ...
  const std::string& refusal() const { return refusal_; }
  // What is still unanswered of the settings asked: "the baud rate, the
  // parity"; empty when all came.
  std::string Unanswered() const;

  // SET-CONTROL for DTR and RTS, on or off. Not waited for: a gateway on
  // a pseudo-terminal does not acknowledge the modem lines. Empty over raw
  // TCP.
  std::vector<uint8_t> SetModemLines(bool dtr, bool rts) const;

  // PURGE-DATA. Until the gateway acknowledges it (purgeAnswered()),
  // Receive drops the data it decodes: it was on its way before the purge.
  // The data after the acknowledgement is kept.
  std::vector<uint8_t> RequestPurge(uint8_t which);
  bool purgeAnswered() const { return purgeAnswered_; }
  // Stops waiting for a purge's acknowledgement (a gateway that gives
  // none): data is kept again from here on.
  void CancelPurge() { purgeAnswered_ = true; }

  // Asks the baud rate the gateway's port has (SET-BAUDRATE 0): a round
  // trip that changes nothing, answered when baudAnswered() turns true.
  std::vector<uint8_t> QueryBaudRate();
  bool baudAnswered() const { return baudAnswered_; }

  // The gateway refused com port control (DONT or WONT for it).
  bool comPortRefused() const { return comPortRefused_; }
  // The gateway said it will do com port control (DO for it).
  bool comPortAccepted() const { return comPortAccepted_; }
  // Line errors the gateway reported since the last call, as
  // NOTIFY-LINESTATE bits (kLineState*); cleared by the call.
  uint8_t TakeLineErrors();

 private:
  void Negotiate(const telnet::Event& event, std::vector<uint8_t>& reply);
  void ComPortAnswer(const telnet::Event& event);
  static void Subnegotiation(uint8_t command, const std::vector<uint8_t>& value, std::vector<uint8_t>& out);

  // What is asked and what has come back, per setting.
  enum class Setting { kBaud, kDataSize, kParity, kStopSize };
  struct Pending {
    Setting setting;
    const char* name;
    uint32_t asked = 0;
    bool waiting = false;
  };
  void Settle(Pending& pending, uint32_t answered);
  static std::string ValueText(Setting setting, uint32_t wire);

  NetworkProtocol protocol_;
  telnet::Decoder decoder_;
  std::vector<telnet::Event> events_;
  // Options we said WILL / DO for, and those we refused, so that an
  // answer to our own offer is not answered again (no negotiation loop).
  bool willSent_[256] = {};
  bool doSent_[256] = {};
  bool refusedWill_[256] = {};
  bool refusedDo_[256] = {};
  Pending baud_{Setting::kBaud, "the baud rate"};
  Pending dataSize_{Setting::kDataSize, "the data bits"};
  Pending parity_{Setting::kParity, "the parity"};
  Pending stopSize_{Setting::kStopSize, "the stop bits"};
  Answer settings_ = Answer::kNone;
  std::string refusal_;
  bool purgeAnswered_ = true;
  size_t staleEnd_ = 0;  // during Receive: the data before this is stale
  bool baudAnswered_ = true;
  bool baudQuery_ = false;
  bool comPortRefused_ = false;
  bool comPortAccepted_ = false;
  uint8_t lineErrors_ = 0;
};
