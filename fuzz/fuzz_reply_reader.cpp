// The packet layer's reply reader fed arbitrary bytes as the sensor's side
// of a real serial line: a pseudo-terminal pair opened once, the link on
// its slave side, the fuzzer's bytes written into the master side.
//
// Input: a control byte (bits 0-1 the operation: dcs_Query, dcs_Receive,
// GetScanBufferPortion or a reply-area query of the command set; bit 2 the
// check mode; bit 3 "seal": the harness puts the right check bytes into
// every frame of the stream, so that the reader's success paths are reached
// as often as its failures), a command id, a reply length, the request data
// length, scan start and count, an address, then the bytes the "sensor"
// sends.
//
// Everything the reader may ask for is on the line before it starts: the
// input is followed by a tail of 0x02 bytes long enough to complete any
// frame, so no read waits out its budget. The 250 ms pause after a broken
// reply is real sleep in the program; here nanosleep returns at once while
// the link works, and the pause's length is the packet tests' business.
//
// Each outcome is compared with a model of the reader that sees the same
// stream: hunt for 0x02, three header bytes, the body its length byte
// announces, the check (computed here independently of the frame code), the
// command id and the reply length. Invariants:
// - the operation succeeds exactly when the model says so, with the
//   model's data, and fails with the model's error code, leaving the error
//   record untouched where no error is reported;
// - reply areas, lengths and scan buffer slots change only on success (the
//   slots of a scan read only up to the reply that failed), nothing is
//   written beyond them (AddressSanitizer watches the exact-size buffers);
// - a successful exchange put exactly the request frame on the line.

#include <poll.h>
#include <sys/syscall.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "protocol/command_ids.h"
#include "protocol/log_sink.h"
#include "protocol/packet_link.h"
#include "protocol/sensor_commands.h"
#include "support/pty_peer.h"

namespace {

using Bytes = std::vector<uint8_t>;

thread_local bool skipSleep = false;

// Sleeps skipped while the link runs (see above).
class NoSleep {
 public:
  NoSleep() { skipSleep = true; }
  ~NoSleep() { skipSleep = false; }
  NoSleep(const NoSleep&) = delete;
  NoSleep& operator=(const NoSleep&) = delete;
};

}  // namespace

extern "C" int nanosleep(const struct timespec* requested, struct timespec* remaining) {
  if (skipSleep) return 0;
  return static_cast<int>(syscall(SYS_nanosleep, requested, remaining));
}

namespace {

// ---------------------------------------------------------------- the model

constexpr uint8_t kStx = 0x02;

uint8_t ReferenceChecksum(const uint8_t* bytes, size_t count) {
  unsigned sum = 0;
  for (size_t i = 0; i < count; ++i) sum += bytes[i];
  return static_cast<uint8_t>(0x100 - (sum & 0xFF));
}

// Shift-in division: top bit noted, shift left with the message bit in
// bit 0, then exclusive-or 0x1021 if the noted bit was set.
uint16_t ReferenceCrc(const uint8_t* bytes, size_t count) {
  uint32_t reg = 0;
  for (size_t i = 0; i < count; ++i) {
    for (int bit = 7; bit >= 0; --bit) {
      const bool top = (reg & 0x8000) != 0;
      reg = ((reg << 1) | ((bytes[i] >> bit) & 1u)) & 0xFFFF;
      if (top) reg ^= 0x1021;
    }
  }
  return static_cast<uint16_t>(reg);
}

size_t BodySize(bool crc, uint8_t length) { return crc ? size_t{length} + 2 : length; }

enum class Read { kFrame, kNoStx, kShortHeader, kShortBody };

// One frame from `pos`, the way the reader takes bytes off the line.
Read NextFrame(const Bytes& stream, size_t& pos, bool crc, Bytes& frame) {
  while (pos < stream.size() && stream[pos] != kStx) ++pos;
  if (pos == stream.size()) return Read::kNoStx;
  const size_t start = pos++;
  if (stream.size() - pos < 3) {
    pos = stream.size();
    return Read::kShortHeader;
  }
  pos += 3;
  const size_t body = BodySize(crc, stream[start + 2]);
  if (stream.size() - pos < body) {
    pos = stream.size();
    return Read::kShortBody;
  }
  pos += body;
  frame.assign(stream.begin() + static_cast<long>(start), stream.begin() + static_cast<long>(pos));
  return Read::kFrame;
}

bool CheckIsRight(const Bytes& frame, bool crc) {
  const uint8_t length = frame[2];
  if (!crc) {
    if (length == 0) return false;  // no room for the check byte
    return ReferenceChecksum(frame.data(), size_t{length} + 3) == frame[size_t{length} + 3];
  }
  const uint16_t value = ReferenceCrc(frame.data(), size_t{length} + 4);
  return frame[size_t{length} + 4] == (value >> 8) && frame[size_t{length} + 5] == (value & 0xFF);
}

// Puts the right check bytes into every frame the reader would find.
void Seal(Bytes& stream, bool crc) {
  size_t pos = 0;
  Bytes frame;
  while (NextFrame(stream, pos, crc, frame) == Read::kFrame) {
    const size_t start = pos - frame.size();
    const uint8_t length = frame[2];
    if (!crc) {
      if (length == 0) continue;
      stream[start + length + 3] = ReferenceChecksum(&stream[start], size_t{length} + 3);
    } else {
      const uint16_t value = ReferenceCrc(&stream[start], size_t{length} + 4);
      stream[start + length + 4] = static_cast<uint8_t>(value >> 8);
      stream[start + length + 5] = static_cast<uint8_t>(value & 0xFF);
    }
  }
}

// What one dcs_ReadPacket with verification makes of the stream at `pos`.
struct Expected {
  bool frame = false;     // a checked frame was read
  int32_t code = 0;       // otherwise the error code it sets
  Bytes bytes;            // the frame
};

Expected ReadPacketModel(const Bytes& stream, size_t& pos, bool crc) {
  Expected e;
  switch (NextFrame(stream, pos, crc, e.bytes)) {
    case Read::kNoStx:
      e.code = kPacketNoStx;
      return e;
    case Read::kShortHeader:
    case Read::kShortBody:
      e.code = kPacketShort;
      return e;
    case Read::kFrame:
      break;
  }
  if (!CheckIsRight(e.bytes, crc)) {
    e.code = kPacketBadCheck;
    return e;
  }
  e.frame = true;
  return e;
}

size_t DataLength(const Bytes& frame, bool crc) { return crc ? frame[2] : size_t{frame[2]} - 1u; }

Bytes RequestFrame(uint8_t address, bool crc, uint8_t command, const Bytes& data) {
  Bytes frame{kStx, address, static_cast<uint8_t>(crc ? data.size() : data.size() + 1), command};
  frame.insert(frame.end(), data.begin(), data.end());
  if (crc) {
    const uint16_t value = ReferenceCrc(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(value >> 8));
    frame.push_back(static_cast<uint8_t>(value & 0xFF));
  } else {
    frame.push_back(ReferenceChecksum(frame.data(), frame.size()));
  }
  return frame;
}

// ---------------------------------------------------------------- the line

class LineRecorder : public LogSink {
 public:
  void LogLine(int /*kind*/, const std::string& text) override { lines.push_back(text); }
  std::vector<std::string> lines;
};

struct Line {
  PtyPeer peer;
  PacketLink link;
};

constexpr int32_t kSentinelCode = 77;
constexpr char kSentinelText[] = "earlier failure";
constexpr uint8_t kCanary = 0xA5;

void Purge(Line& line) {
  tcflush(line.link.handle(), TCIOFLUSH);
  tcflush(line.peer.master(), TCIOFLUSH);
}

// The first time: the reference check against its known value, the line,
// and the purge that every input relies on to start clean.
Line& TheLine() {
  static Line* line = [] {
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    FUZZ_CHECK(ReferenceCrc(digits, sizeof digits) == 0xBEEF, "reference CRC");
    auto* l = new Line;
    FUZZ_CHECK(l->peer.ok(), "no pseudo-terminal");
    FUZZ_CHECK(l->link.ConnectDevice(l->peer.path(), 57600, kParityNone, kStopOne, 8, 100, 100),
               "cannot open %s: %s", l->peer.path().c_str(), l->link.errorText());
    const Bytes noise(600, 0x55);
    FUZZ_CHECK(l->peer.Write(noise), "cannot write to the line");
    Purge(*l);
    pollfd p{l->link.handle(), POLLIN, 0};
    FUZZ_CHECK(poll(&p, 1, 50) == 0, "bytes written before a purge arrive after it");
    return l;
  }();
  return *line;
}

void ExpectError(const SerialError& error, int32_t code) {
  if (code == 0) {
    FUZZ_CHECK(error.code == kSentinelCode && std::strcmp(error.text, kSentinelText) == 0,
               "error record changed to %d '%s'", error.code, error.text);
  } else {
    FUZZ_CHECK(error.code == code, "error %d '%s', expected %d", error.code, error.text, code);
  }
}

// The request a successful exchange put on the line.
void ExpectRequest(Line& line, const Bytes& request) {
  const Bytes got = line.peer.Read(request.size(), 1000);
  FUZZ_CHECK(got == request, "request of %zu bytes on the line, %zu expected", got.size(),
             request.size());
}

// ---------------------------------------------------------------- operations

void RunQuery(Line& line, const Bytes& stream, bool crc, uint8_t address, uint8_t command,
              size_t replyLength, const Bytes& data) {
  // Exact-size areas: any write beyond them is caught.
  auto reply = std::make_unique<uint8_t[]>(std::max<size_t>(replyLength, 1));
  std::memset(reply.get(), kCanary, std::max<size_t>(replyLength, 1));
  bool ok = false;
  {
    NoSleep noSleep;
    ok = line.link.dcs_Query(address, crc ? 1 : 0, command, data.empty() ? nullptr : data.data(),
                             data.size(), reply.get(), replyLength);
  }
  size_t pos = 0;
  Expected e;
  bool success = false;
  if (replyLength > (crc ? 255u : 254u)) {
    e.code = kSerialInvalidArgument;
  } else {
    e = ReadPacketModel(stream, pos, crc);
    if (e.frame) {
      if (e.bytes[3] != command) {
        e.code = kPacketWrongId;
      } else if (e.bytes[2] != (crc ? replyLength : replyLength + 1)) {
        e.code = 0;  // refused without a word in the error record
      } else {
        success = true;
      }
    }
  }
  FUZZ_CHECK(ok == success, "dcs_Query gave %d, expected %d (error %d '%s')", ok, success,
             line.link.errorCode(), line.link.errorText());
  if (success) {
    ExpectError(line.link.error(), 0);
    FUZZ_CHECK(replyLength == 0 || std::memcmp(reply.get(), e.bytes.data() + 4, replyLength) == 0,
               "reply data differ");
    ExpectRequest(line, RequestFrame(address, crc, command, data));
  } else {
    ExpectError(line.link.error(), e.code);
    for (size_t i = 0; i < replyLength; ++i) {
      FUZZ_CHECK(reply[i] == kCanary, "failed query wrote reply byte %zu", i);
    }
  }
}

void RunReceive(Line& line, const Bytes& stream, bool crc, uint8_t command) {
  // The destination holds the 255 bytes the interface promises, no more.
  auto destination = std::make_unique<uint8_t[]>(255);
  std::memset(destination.get(), kCanary, 255);
  size_t length = 999;
  bool ok = false;
  {
    NoSleep noSleep;
    ok = line.link.dcs_Receive(0, crc ? 1 : 0, command, destination.get(), &length);
  }
  size_t pos = 0;
  Expected e = ReadPacketModel(stream, pos, crc);
  const bool success = e.frame && e.bytes[3] == command;
  FUZZ_CHECK(ok == success, "dcs_Receive gave %d, expected %d (error %d '%s')", ok, success,
             line.link.errorCode(), line.link.errorText());
  if (success) {
    ExpectError(line.link.error(), 0);
    FUZZ_CHECK(length == DataLength(e.bytes, crc), "data length %zu", length);
    FUZZ_CHECK(std::memcmp(destination.get(), e.bytes.data() + 4, length) == 0, "data differ");
    for (size_t i = length; i < 255; ++i) FUZZ_CHECK(destination[i] == kCanary, "byte %zu written", i);
  } else {
    ExpectError(line.link.error(), e.frame ? 0 : e.code);
    FUZZ_CHECK(length == 999, "failed receive set a length");
    for (size_t i = 0; i < 255; ++i) FUZZ_CHECK(destination[i] == kCanary, "byte %zu written", i);
  }
}

void RunScanPortion(Line& line, const Bytes& stream, bool crc, uint8_t address, uint16_t start,
                    uint16_t count) {
  auto commands = std::make_unique<SensorCommands>();
  LineRecorder log;
  commands->AttachLink(&line.link);
  commands->SetLogSink(&log);
  commands->UseAddress(address);
  commands->UseCheckMode(crc ? 1 : 0);
  std::memset(commands->scanBuffer, kCanary, sizeof commands->scanBuffer);
  std::fill(std::begin(commands->scanReplyLength), std::end(commands->scanReplyLength), 999);
  int ok = 0;
  {
    NoSleep noSleep;
    ok = commands->GetScanBufferPortion(start, count);
  }
  const auto first = static_cast<int16_t>(start);
  const auto samples = static_cast<int16_t>(count);
  if (first < 0 || samples < 0 || first + samples > 8192) {
    // Refused before any traffic.
    FUZZ_CHECK(ok == 0 && log.lines.empty(), "scan request beyond the buffer went out");
    ExpectError(line.link.error(), 0);
    for (size_t n : commands->scanReplyLength) FUZZ_CHECK(n == 999, "refused read changed a length");
    for (uint8_t b : commands->scanBuffer) FUZZ_CHECK(b == kCanary, "refused read changed the buffer");
    return;
  }
  const size_t replies = (static_cast<size_t>(samples) + 125) / 126;
  size_t pos = 0;
  size_t good = 0;
  Expected failed;
  bool success = true;
  for (; good < replies; ++good) {
    Expected e = ReadPacketModel(stream, pos, crc);
    if (!e.frame || e.bytes[3] != cmd::GetScanBufferPortion) {
      failed = e;
      success = false;
      break;
    }
    const size_t length = std::min<size_t>(DataLength(e.bytes, crc), SensorCommands::kScanSlotSize);
    const uint8_t* slot = commands->scanBuffer + good * SensorCommands::kScanSlotSize;
    FUZZ_CHECK(commands->scanReplyLength[good] == length, "reply %zu: length %zu, expected %zu",
               good, commands->scanReplyLength[good], length);
    FUZZ_CHECK(std::memcmp(slot, e.bytes.data() + 4, length) == 0, "reply %zu: data differ", good);
    for (size_t i = length; i < SensorCommands::kScanSlotSize; ++i) {
      FUZZ_CHECK(slot[i] == kCanary, "reply %zu wrote byte %zu of its slot", good, i);
    }
  }
  FUZZ_CHECK((ok != 0) == success, "GetScanBufferPortion gave %d after %zu of %zu replies", ok, good,
             replies);
  for (size_t i = good; i < SensorCommands::kScanSlots; ++i) {
    FUZZ_CHECK(commands->scanReplyLength[i] == 0, "slot %zu length %zu", i,
               commands->scanReplyLength[i]);
    const uint8_t* slot = commands->scanBuffer + i * SensorCommands::kScanSlotSize;
    for (size_t k = 0; k < SensorCommands::kScanSlotSize; ++k) {
      FUZZ_CHECK(slot[k] == kCanary, "slot %zu written without its reply", i);
    }
  }
  if (success) {
    ExpectError(line.link.error(), 0);
    FUZZ_CHECK(log.lines.empty(), "a good scan read logged '%s'", log.lines[0].c_str());
    Bytes data{static_cast<uint8_t>(first & 0xFF), static_cast<uint8_t>(first >> 8),
               static_cast<uint8_t>(samples & 0xFF), static_cast<uint8_t>(samples >> 8)};
    ExpectRequest(line, RequestFrame(address, crc, cmd::GetScanBufferPortion, data));
  } else {
    ExpectError(line.link.error(), failed.frame ? 0 : failed.code);
    FUZZ_CHECK(log.lines.size() == 1 &&
                   log.lines[0] == std::string("Command GetScanBufferPortion failed. ") +
                                       line.link.errorText(),
               "scan read failure not logged as such");
  }
}

// A reply-area query of the command set: the area changes only on success,
// to the reply's data with every word in host order.
void RunAreaQuery(Line& line, const Bytes& stream, bool crc, uint8_t address, uint8_t choice) {
  auto commands = std::make_unique<SensorCommands>();
  LineRecorder log;
  commands->AttachLink(&line.link);
  commands->SetLogSink(&log);
  commands->UseAddress(address);
  commands->UseCheckMode(crc ? 1 : 0);
  struct Area {
    uint8_t* bytes;
    size_t size;
    uint8_t command;
    const char* name;
  };
  const Area areas[] = {
      {commands->errorState, sizeof commands->errorState, cmd::GetErrorState, "GetErrorState"},
      {commands->krv02State, sizeof commands->krv02State, cmd::GetKRV02State, "GetKRV02State"},
      {commands->sensorState, sizeof commands->sensorState, cmd::GetSensorState, "GetSensorState"},
      {commands->bfState, sizeof commands->bfState, cmd::GetSensorState, nullptr},
  };
  const Area& area = areas[choice % 4];
  std::memset(area.bytes, kCanary, area.size);
  int ok = 0;
  {
    NoSleep noSleep;
    switch (choice % 4) {
      case 0: ok = commands->GetErrorState(); break;
      case 1: ok = commands->GetKRV02State(); break;
      case 2: ok = commands->GetSensorState(); break;
      default: ok = commands->GetKRV04BFState(); break;
    }
  }
  size_t pos = 0;
  Expected e = ReadPacketModel(stream, pos, crc);
  const bool success = e.frame && e.bytes[3] == area.command &&
                       e.bytes[2] == (crc ? area.size : area.size + 1);
  FUZZ_CHECK((ok != 0) == success, "%s gave %d", area.name ? area.name : "GetKRV04BFState", ok);
  if (success) {
    for (size_t i = 0; i < area.size; i += 2) {
      const uint8_t* wire = e.bytes.data() + 4 + i;
      const uint8_t low = crc ? wire[1] : wire[0];
      const uint8_t high = crc ? wire[0] : wire[1];
      FUZZ_CHECK(area.bytes[i] == low && area.bytes[i + 1] == high, "word %zu not in host order", i / 2);
    }
    FUZZ_CHECK(log.lines.empty(), "a good query logged a line");
    ExpectRequest(line, RequestFrame(address, crc, area.command, {}));
  } else {
    for (size_t i = 0; i < area.size; ++i) FUZZ_CHECK(area.bytes[i] == kCanary, "failed query wrote its area");
    // The board-flipper state is polled without log lines.
    FUZZ_CHECK(log.lines.size() == (area.name != nullptr ? 1u : 0u), "%zu log lines", log.lines.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Line& line = TheLine();
  FuzzInput in(data, size);
  const uint8_t control = in.Byte();
  const int operation = control & 3;
  const bool crc = (control & 4) != 0;
  const bool seal = (control & 8) != 0;
  const uint8_t command = in.Byte();
  const uint8_t replyLength = in.Byte();
  const size_t dataLength = in.Byte() % 8;
  const uint16_t scanStart = in.Word();
  const uint16_t scanCount = in.Word();
  const uint8_t address = in.Byte();
  const Bytes requestData = in.Bytes(dataLength);

  Bytes stream = in.Rest();
  if (seal) Seal(stream, crc);
  // Whatever frame the input leaves unfinished is finished by the tail; a
  // frame that ends in it leaves enough for one more short frame, which
  // fails its check.
  stream.insert(stream.end(), 4 + 261 + 8, kStx);

  Purge(line);
  SetSerialError(&line.link.error(), kSentinelCode, kSentinelText);
  FUZZ_CHECK(line.peer.Write(stream, 5000), "cannot write %zu bytes to the line", stream.size());

  switch (operation) {
    case 0:
      RunQuery(line, stream, crc, address, command, replyLength, requestData);
      break;
    case 1:
      RunReceive(line, stream, crc, command);
      break;
    case 2:
      RunScanPortion(line, stream, crc, address, scanStart, scanCount);
      break;
    default:
      RunAreaQuery(line, stream, crc, address, command);
      break;
  }
  return 0;
}
