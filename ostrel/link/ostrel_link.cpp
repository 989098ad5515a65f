#include "ostrel/link/ostrel_link.h"

#include <QCoreApplication>
#include <QEventLoop>

#include "protocol/frame.h"

namespace ostrel {

uint16_t Reply::Word(size_t i, bool crc) const {
  const uint8_t pair[2] = {Data(i), Data(i + 1)};
  return frame::GetWord(pair, crc ? frame::kCrc : frame::kChecksum);
}

void PutWord(std::vector<uint8_t>& data, uint16_t value, bool crc) {
  uint8_t pair[2];
  frame::PutWord(pair, crc ? frame::kCrc : frame::kChecksum, value);
  data.push_back(pair[0]);
  data.push_back(pair[1]);
}

OstrelLink::OstrelLink() : port_(ring_) {
  clock_.start();
  rest_.setSingleShot(true);
  rest_.setTimerType(Qt::PreciseTimer);
  deadline_.setSingleShot(true);
  deadline_.setTimerType(Qt::PreciseTimer);
  port_.SetHangUpHandler([this] {
    deadline_.stop();  // a wait in progress ends now
    if (lineLost_) lineLost_();
  });
}

void OstrelLink::Pump(bool wait) {
  QCoreApplication::processEvents(wait ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
}

void OstrelLink::SendFrame(uint8_t command, uint8_t address, const std::vector<uint8_t>& data, bool crc) {
  const int32_t mode = crc ? frame::kCrc : frame::kChecksum;
  // At most 254 data bytes in either mode: the checksum mode's length byte
  // (data + 1) must still fit.
  const size_t length = data.size() < frame::kMaxDataChecksum ? data.size() : frame::kMaxDataChecksum;
  const std::vector<uint8_t> request = frame::Build(address, mode, command, data.data(), length);
  ring_.Clear();
  if (crc) {
    const size_t n = request.size();
    lastSentCrc_ = static_cast<uint16_t>((request[n - 2] << 8) | request[n - 1]);
  }
  port_.Write(request.data(), request.size());
  WaitUntilSent(request.size());
  lineFreeAt_ = clock_.nsecsElapsed() / 1000 + LineMicros(request.size());
}

qint64 OstrelLink::LineMicros(size_t bytes) const {
  const qint64 baud = port_.baudRate() > 0 ? port_.baudRate() : 9600;
  return static_cast<qint64>(bytes) * 10 * 1000000 / baud;
}

bool OstrelLink::RestForLine(qint64 micros) {
  if (micros < 1000 || !port_.RestReads()) return false;
  rest_.start(static_cast<int>((micros + 999) / 1000));
  // Timers and the user's input still come; only the port waits.
  while (rest_.isActive() && deadline_.isActive()) Pump(true);
  rest_.stop();
  port_.ResumeReads();
  Pump(false);  // what came meanwhile, in one piece
  return true;
}

void OstrelLink::WriteRaw(const uint8_t* bytes, size_t count) {
  port_.Write(bytes, count);
  WaitUntilSent(count);
}

void OstrelLink::WaitUntilSent(size_t count) {
  if (port_.BytesToWrite() == 0) return;
  // A line always drains; a stalled one (a device that takes nothing) must
  // not hold the window forever. The reply's deadline reports it then.
  const qint64 limitMs = static_cast<qint64>(count) * 10 * 1000 / (port_.baudRate() > 0 ? port_.baudRate() : 9600) +
                         kSendSlackMs;
  QElapsedTimer clock;
  clock.start();
  QTimer wake;
  wake.setSingleShot(true);
  wake.start(static_cast<int>(limitMs));
  while (port_.BytesToWrite() > 0 && !port_.Broken() && clock.elapsed() < limitMs) Pump(true);
}

void OstrelLink::RestartDeadline(int ms) {
  deadline_.stop();
  deadline_.start(ms);
}

bool OstrelLink::ReadBytes(std::vector<uint8_t>& destination, size_t count) {
  size_t sincePump = 0;
  while (count > 0) {
    if (port_.HungUp()) return false;  // nothing more will come
    // Sleep only while there is nothing to take. Bytes already received are
    // taken at once, with a look at the window's events every few of them
    // so that it stays alive during long replies. While bytes are on their
    // way, the wait for the rest rests the port's reads for their line
    // time; a rest that brought nothing (a silent sensor) is not repeated
    // until bytes come again, so a wait for no answer stays one sleep.
    if (ring_.Empty() || ++sincePump == kBytesPerPump) {
      const bool empty = ring_.Empty();
      if (!empty) {
        Pump(false);
      } else if (mayRest_ && count > 1 && RestForLine(LineMicros(count))) {
        mayRest_ = !ring_.Empty();
      } else {
        Pump(true);
        mayRest_ = !ring_.Empty();
      }
      sincePump = 0;
      if (!deadline_.isActive()) return false;
    }
    uint8_t byte = 0;
    if (!ring_.Take(byte)) continue;
    destination.push_back(byte);
    --count;
  }
  return true;
}

bool OstrelLink::ReceiveFrame(bool crc, int timeoutMs, Reply& reply, size_t expectedData) {
  const bool ok = AssembleFrame(crc, timeoutMs, reply, expectedData);
  // After a hang-up the reads that fail at once are no replies.
  if (!port_.HungUp()) ++(ok ? goodReplies_ : failedReplies_);
  return ok;
}

bool OstrelLink::AssembleFrame(bool crc, int timeoutMs, Reply& reply, size_t expectedData) {
  std::vector<uint8_t>& bytes = reply.bytes;
  bytes.clear();
  RestartDeadline(timeoutMs);
  receiveStatus_ = kNoResponse;
  // The reply cannot be whole before the request and then the reply have
  // crossed the line: until then the port's reads rest, and the reply is
  // taken in one piece.
  const size_t expected = frame::kHeaderSize + expectedData + (crc ? 2 : 1);
  if (ring_.Unread() < expected) {
    const qint64 untilWhole = lineFreeAt_ - clock_.nsecsElapsed() / 1000 + LineMicros(expected - ring_.Unread());
    RestForLine(untilWhole);
  }
  mayRest_ = true;
  const auto fail = [this] {
    deadline_.stop();
    return false;
  };
  if (!ReadBytes(bytes, 1)) return fail();
  if (bytes[0] != frame::kStx) {
    receiveStatus_ = kInvalidResponse;
    return fail();
  }
  receiveStatus_ = kTimeOut;
  if (!ReadBytes(bytes, 2)) return fail();
  const size_t body = static_cast<size_t>(bytes[2]) + (crc ? 1 : 0);  // command id and data
  if (!ReadBytes(bytes, body)) return fail();
  std::vector<uint8_t> check;
  if (!ReadBytes(check, crc ? 2 : 1)) return fail();
  deadline_.stop();

  receiveStatus_ = kBadCheck;
  if (!crc) {
    if (check[0] != frame::Checksum(bytes.data(), bytes.size())) return false;
    receiveStatus_ = kReceiveOk;
    return true;
  }
  const uint16_t received = static_cast<uint16_t>((check[0] << 8) | check[1]);
  // Some sensor firmware seeds its reply CRC with the CRC of the request it
  // answers; both are accepted.
  if (received == frame::ShiftInCrcFrom(0, bytes.data(), bytes.size()) ||
      received == frame::ShiftInCrcFrom(lastSentCrc_, bytes.data(), bytes.size())) {
    receiveStatus_ = kReceiveOk;
    return true;
  }
  return false;
}

void OstrelLink::WaitMs(int ms) {
  if (ms <= 0) return;
  QElapsedTimer clock;  // monotonic and 64 bits wide: no wrap ends a wait early
  clock.start();
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  for (qint64 passed = clock.elapsed(); passed < ms; passed = clock.elapsed()) {
    wake.start(static_cast<int>(ms - passed));
    Pump(true);
  }
}

void OstrelLink::SendSetting(uint8_t command, const std::vector<uint8_t>& data) {
  SendFrame(command, address_, data, crc_);
  if (crc_) {
    Reply ack;
    ReceiveFrame(true, kAckTimeoutMs, ack);  // content and failure ignored
  } else {
    WaitMs(kChecksumSettleMs);
  }
}

void OstrelLink::ProcessErrorMsg(int status) {
  // After a hang-up the failures that follow are its consequence; the
  // status line keeps the one report of the device going away.
  if (port_.HungUp()) return;
  ++comErrors_;
  if (errorDisplay_) errorDisplay_(ReceiveStatusText(status), comErrors_);
}

}  // namespace ostrel
