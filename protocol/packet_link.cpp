#include "protocol/packet_link.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "serial/counter.h"

namespace {

uint32_t ToBudget(uint64_t ms) { return static_cast<uint32_t>(std::min<uint64_t>(ms, UINT32_MAX)); }

}  // namespace

bool PacketLink::dcs_ReadHeader(uint8_t* buffer, const DeadlineTimer& timer) {
  // Hunt for the start byte; anything before it is line noise or the tail
  // of an earlier reply and is dropped.
  bool found = false;
  for (;;) {
    size_t got = 0;
    if (!sc_Read(handle_, buffer, 1, &got, ToBudget(timer.RemainingMs()), &error_)) return false;
    if (got == 1 && buffer[0] == frame::kStx) {
      found = true;
      break;
    }
    if (timer.Remaining() == 0) break;
  }
  if (!found) {
    SetSerialError(&error_, kPacketNoStx, "dcs_ReadHeader timeout waiting for STX");
    return false;
  }
  size_t got = 0;
  if (!sc_Read(handle_, buffer + 1, 3, &got, ToBudget(timer.RemainingMs()), &error_)) return false;
  if (got < 3) {
    SetSerialError(&error_, kPacketShort, "dcs_ReadHeader did not receive complete packet header.");
    return false;
  }
  return true;
}

bool PacketLink::dcs_ReadPacket(uint8_t* buffer, uint32_t budgetMs, bool verify) {
  if (buffer == nullptr) {
    SetSerialError(&error_, kSerialInvalidArgument, "dcs_ReadPacket: invalid argument");
    return false;
  }
  DeadlineTimer timer;
  timer.Start(uint64_t{budgetMs} * 1000);
  if (!dcs_ReadHeader(buffer, timer)) {
    RecoverHere();
    return false;
  }
  // At most 255 + 2 bytes after the header: every frame buffer holds them.
  const size_t bodySize = frame::BodySize(checkMode_, buffer[2]);
  size_t got = 0;
  const bool read = sc_Read(handle_, buffer + frame::kHeaderSize, bodySize, &got, ToBudget(timer.RemainingMs()),
                            &error_);
  Trace(ProtocolTrace::kReceived, buffer, frame::kHeaderSize + (read ? got : 0));
  if (!read) {
    RecoverHere();
    return false;
  }
  if (got < bodySize) {
    char text[sizeof(error_.text)];
    std::snprintf(text, sizeof(text),
                  "dcs_ReadPacket did not receive complete packet data (expectedBytes=%d, actualBytes=%d)",
                  static_cast<int>(bodySize), static_cast<int>(got));
    SetSerialError(&error_, kPacketShort, text);
    RecoverHere();
    return false;
  }
  if (verify) {
    size_t dataLength = 0;
    if (!frame::DataLength(checkMode_, buffer[2], dataLength)) {
      // Checksum mode counts the check byte in the length: 0 cannot be a frame.
      SetSerialError(&error_, kPacketBadCheck,
                     "dcs_ReadPacket received an invalid packet length (length=0 leaves no room for the checksum)");
      RecoverHere();
      return false;
    }
    if (!frame::Verify(buffer, checkMode_)) {
      SetSerialError(&error_, kPacketBadCheck, "dcs_ReadPacket detected an invalid checksum");
      RecoverHere();
      return false;
    }
  }
  // The address of the reply is not compared: on a point-to-point line any
  // sensor that answers is the one asked.
  return true;
}

bool PacketLink::dcs_WritePacket(uint8_t* buffer, uint32_t budgetMs) {
  if (buffer == nullptr) {
    SetSerialError(&error_, kSerialInvalidArgument, "dcs_WritePacket: invalid argument");
    return false;
  }
  if (checkMode_ != frame::kCrc && buffer[2] == 0) {
    // Checksum mode counts the check byte in the length; 0 cannot be sent.
    SetSerialError(&error_, kSerialInvalidArgument, "dcs_WritePacket: invalid argument");
    return false;
  }
  const size_t total = frame::Seal(buffer, checkMode_);
  size_t written = 0;
  const bool wrote = sc_Write(handle_, buffer, total, &written, budgetMs, &error_);
  Trace(ProtocolTrace::kSent, buffer, wrote ? written : 0);
  if (!wrote) {
    RecoverHere();
    return false;
  }
  if (written < total) {
    char text[sizeof(error_.text)];
    std::snprintf(text, sizeof(text),
                  "dcs_WritePacket could not write complete packet (attemptedBytes=%d, completedBytes=%d)",
                  static_cast<int>(total), static_cast<int>(written));
    SetSerialError(&error_, kPacketWriteShort, text);
    RecoverHere();
    return false;
  }
  return true;
}

bool PacketLink::dcs_SendAndConfirm(uint8_t* buffer, uint32_t budgetMs, bool matchId, bool verify) {
  if (buffer == nullptr) {
    SetSerialError(&error_, kSerialInvalidArgument, "dcs_WritePacket: invalid argument");
    return false;
  }
  const uint8_t command = buffer[3];
  DeadlineTimer timer;
  timer.Start(uint64_t{budgetMs} * 1000);
  if (!dcs_WritePacket(buffer, budgetMs)) return false;
  if (!dcs_ReadPacket(buffer, ToBudget(timer.RemainingMs()), verify)) return false;
  if (matchId && buffer[3] != command) {
    SetSerialError(&error_, kPacketWrongId, "dcs_SendAndConfirm received incorrect packet ID");
    // The frame answers an earlier request: it came later than that
    // exchange's budget and recovery pause. This request's own reply follows
    // it; left on the line, it would be read by the next request, and so on,
    // keeping the link one reply behind for good. Whatever is waiting is
    // dropped (no pause: nothing is broken on the line).
    SerialError scratch;
    sc_PurgeBuffers(handle_, &scratch);
    return false;
  }
  return true;
}

bool PacketLink::BuildRequest(uint8_t* request, uint8_t address, uint8_t command, const uint8_t* data,
                              size_t dataLength) {
  if (dataLength > frame::MaxData(checkMode_) || (dataLength != 0 && data == nullptr)) {
    SetSerialError(&error_, kSerialInvalidArgument, "dcs_WritePacket: invalid argument");
    return false;
  }
  request[1] = address;
  request[2] = frame::LengthByte(checkMode_, dataLength);
  request[3] = command;
  if (dataLength != 0) std::memcpy(request + frame::kHeaderSize, data, dataLength);
  return true;
}

bool PacketLink::Exchange(const std::function<bool()>& exchange) {
  if (runner_ == nullptr) return exchange();
  bool ok = false;
  if (!runner_->Run([&] { ok = exchange(); })) {
    SetSerialError(&error_, kPacketLineBusy, kLineBusyText);
    return false;
  }
  return ok;
}

bool PacketLink::dcs_Query(uint8_t address, int32_t checkMode, uint8_t command, const uint8_t* data,
                           size_t dataLength, uint8_t* reply, size_t replyLength) {
  return Exchange([&] { return QueryHere(address, checkMode, command, data, dataLength, reply, replyLength); });
}

bool PacketLink::dcs_Send(uint8_t address, int32_t checkMode, uint8_t command, const uint8_t* data,
                          size_t dataLength) {
  return Exchange([&] { return SendHere(address, checkMode, command, data, dataLength); });
}

bool PacketLink::dcs_Receive(uint8_t /*address*/, int32_t checkMode, uint8_t command,
                             uint8_t* destination, size_t* dataLength) {
  return Exchange([&] { return ReceiveHere(checkMode, command, destination, dataLength); });
}

void PacketLink::dcs_Recover() {
  Exchange([this] {
    RecoverHere();
    return true;
  });
}

bool PacketLink::ReopenGatewayLine(uint32_t withinMs) {
  return Exchange([this, withinMs] { return ReopenNetworkLine(withinMs); });
}

void PacketLink::Pause(uint32_t ms) {
  Exchange([ms] {
    SleepMs(ms);
    return true;
  });
}

bool PacketLink::QueryHere(uint8_t address, int32_t checkMode, uint8_t command, const uint8_t* data,
                           size_t dataLength, uint8_t* reply, size_t replyLength) {
  checkMode_ = checkMode;
  replyNote_.clear();
  if (replyLength > frame::MaxData(checkMode_) || (replyLength != 0 && reply == nullptr)) {
    SetSerialError(&error_, kSerialInvalidArgument, "dcs_ReadPacket: invalid argument");
    return false;
  }
  uint8_t buffer[frame::kBufferSize] = {};
  if (!BuildRequest(buffer, address, command, data, dataLength)) return false;
  const uint8_t expectedLength = frame::LengthByte(checkMode_, replyLength);
  if (!dcs_SendAndConfirm(buffer, ExchangeBudgetMs(), true, true)) return false;
  // A reply of another size is refused without touching the error record.
  if (buffer[2] != expectedLength) {
    size_t got = 0;
    frame::DataLength(checkMode_, buffer[2], got);
    replyNote_ = "the sensor's reply held " + std::to_string(got) + " data bytes where " +
                 std::to_string(replyLength) + " were expected";
    return false;
  }
  if (replyLength != 0) std::memcpy(reply, buffer + frame::kHeaderSize, replyLength);
  return true;
}

bool PacketLink::SendHere(uint8_t address, int32_t checkMode, uint8_t command, const uint8_t* data,
                          size_t dataLength) {
  checkMode_ = checkMode;
  uint8_t buffer[frame::kBufferSize] = {};
  if (!BuildRequest(buffer, address, command, data, dataLength)) return false;
  return dcs_WritePacket(buffer, ExchangeBudgetMs());
}

bool PacketLink::ReceiveHere(int32_t checkMode, uint8_t command, uint8_t* destination, size_t* dataLength) {
  checkMode_ = checkMode;
  replyNote_.clear();
  if (destination == nullptr || dataLength == nullptr) {
    SetSerialError(&error_, kSerialInvalidArgument, "dcs_ReadPacket: invalid argument");
    return false;
  }
  uint8_t buffer[frame::kBufferSize] = {};
  if (!dcs_ReadPacket(buffer, ExchangeBudgetMs(), true)) return false;
  // Another command's frame is refused without touching the error record.
  if (buffer[3] != command) {
    replyNote_ = "the sensor sent a reply to command " + std::to_string(buffer[3]) + " where one to command " +
                 std::to_string(command) + " was expected";
    return false;
  }
  size_t length = 0;
  if (!frame::DataLength(checkMode_, buffer[2], length)) {
    SetSerialError(&error_, kPacketBadCheck,
                   "dcs_Receive received an invalid packet length (length=0 leaves no room for the checksum)");
    return false;
  }
  *dataLength = length;  // at most 255: the destination holds 255 bytes
  if (length != 0) std::memcpy(destination, buffer + frame::kHeaderSize, length);
  return true;
}

void PacketLink::RecoverHere() {
  SleepMs(kRecoverPauseMs);
  // The purge reports into a scratch record: the failure that called for
  // the recovery is what the user needs to read, not a second one it caused.
  SerialError scratch;
  sc_PurgeBuffers(handle_, &scratch);
}
