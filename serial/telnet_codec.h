#pragma once
// The telnet layer of a network line (RFC 854, 855): data bytes with every
// 0xFF (IAC) doubled, and commands and sub-negotiations in between. The
// decoder keeps its state between calls, so an IAC, a command or a whole
// sub-negotiation may be split across any number of reads, and a
// sub-negotiation may arrive in the middle of a frame's bytes. No I/O and
// no toolkit: the serial layer's socket line and Ostrel's Qt socket feed
// it alike.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace telnet {

constexpr uint8_t kIac = 0xFF;
constexpr uint8_t kDont = 0xFE;
constexpr uint8_t kDo = 0xFD;
constexpr uint8_t kWont = 0xFC;
constexpr uint8_t kWill = 0xFB;
constexpr uint8_t kSb = 0xFA;
constexpr uint8_t kSe = 0xF0;

constexpr uint8_t kOptionBinary = 0;
constexpr uint8_t kOptionEcho = 1;
constexpr uint8_t kOptionSuppressGoAhead = 3;
constexpr uint8_t kOptionComPort = 44;

// Appends `count` data bytes to `out` with every 0xFF doubled.
void Escape(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out);

// What the decoder found besides data.
struct Event {
  enum Kind { kNegotiation, kSubnegotiation };
  Kind kind = kNegotiation;
  uint8_t verb = 0;    // kWill, kWont, kDo or kDont (kNegotiation)
  uint8_t option = 0;  // the option negotiated or sub-negotiated
  std::vector<uint8_t> payload;  // kSubnegotiation: the bytes after the option, IACs undoubled
  size_t dataAt = 0;  // the size of the data output when the event ended: where it stands among the data
};

class Decoder {
 public:
  // Takes bytes as they came off the connection: data bytes go to `data`,
  // negotiations and sub-negotiations to `events`, each event with its
  // place among the data (dataAt). Other commands (NOP, GA,
  // ...) are dropped. A sub-negotiation longer than kMaxSubnegotiation is
  // dropped whole, so a broken peer cannot make it grow without limit.
  void Feed(const uint8_t* bytes, size_t count, std::vector<uint8_t>& data, std::vector<Event>& events);
  // Forgets a half-read command (a new connection).
  void Reset() { state_ = State::kInData; }

  static constexpr size_t kMaxSubnegotiation = 64;

 private:
  enum class State { kInData, kAfterIac, kVerb, kSbOption, kInSb, kSbAfterIac };
  State state_ = State::kInData;
  uint8_t verb_ = 0;
  Event sub_;
  bool subTooLong_ = false;
};

}  // namespace telnet
