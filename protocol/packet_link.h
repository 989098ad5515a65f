#pragma once
// Packet exchange over a serial port: write one request frame, find and
// read one reply frame within a time budget, check it, and after any
// transport failure pause 250 ms and purge so the next exchange starts clean.
// Nothing here retries.

#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/exchange_runner.h"
#include "protocol/frame.h"
#include "protocol/protocol_trace.h"
#include "serial/deadline_timer.h"
#include "serial/serial_port.h"

enum PacketErrorCode : int32_t {
  kPacketNoStx = 100,
  kPacketShort = 101,
  kPacketWriteShort = 102,
  kPacketBadCheck = 103,
  kPacketWrongId = 104,
  kPacketWrongReply = 105,  // a well-formed reply that does not answer what was asked
  kPacketLineBusy = 106,    // refused by the runner: another exchange is on the line
};

constexpr const char* kLineBusyText = "dcs: the line is busy with another exchange; nothing was sent";

class PacketLink : public SerialPort {
 public:
  static constexpr uint32_t kBudgetMs = 1000;
  // The budget of one exchange on this line: kBudgetMs, plus a network
  // line's allowance for the gateway and the round trips.
  uint32_t ExchangeBudgetMs() const { return kBudgetMs + allowanceMs(); }
  static constexpr uint32_t kRecoverPauseMs = 250;

  PacketLink() = default;

  // Frame buffers passed to these hold at least frame::kBufferSize bytes.
  bool dcs_ReadHeader(uint8_t* buffer, const DeadlineTimer& timer);
  bool dcs_ReadPacket(uint8_t* buffer, uint32_t budgetMs, bool verify);
  bool dcs_WritePacket(uint8_t* buffer, uint32_t budgetMs);
  bool dcs_SendAndConfirm(uint8_t* buffer, uint32_t budgetMs, bool matchId, bool verify);

  // Request with a reply of exactly `replyLength` data bytes, copied to `reply`.
  bool dcs_Query(uint8_t address, int32_t checkMode, uint8_t command, const uint8_t* data,
                 size_t dataLength, uint8_t* reply, size_t replyLength);
  // Request without a reply.
  bool dcs_Send(uint8_t address, int32_t checkMode, uint8_t command, const uint8_t* data,
                size_t dataLength);
  // One unsolicited reply with command id `command`; its data (up to 255
  // bytes) go to `destination`, their count to `dataLength`.
  bool dcs_Receive(uint8_t address, int32_t checkMode, uint8_t command, uint8_t* destination,
                   size_t* dataLength);
  // 250 ms pause, then purge both driver queues.
  void dcs_Recover();
  // ReopenNetworkLine through the runner (the window keeps working while
  // a gateway is waited for).
  bool ReopenGatewayLine(uint32_t withinMs);
  // A pause a command makes on purpose (the sensor restarts, switches its
  // rate), waited where the exchanges wait.
  void Pause(uint32_t ms);

  // dcs_Query, dcs_Send, dcs_Receive, dcs_Recover and Pause run through
  // `runner` (null: on the calling thread). The runner outlives the link's
  // use of it.
  void SetRunner(ExchangeRunner* runner) { runner_ = runner; }

  int32_t checkMode() const { return checkMode_; }
  // What was wrong with the reply that made the last dcs_Query or
  // dcs_Receive fail without touching the error record (a reply of the
  // wrong length, another command's reply); empty for any other outcome.
  const std::string& replyNote() const { return replyNote_; }
  // The reason a failure line quotes: the error record's text, or, while
  // the record is still empty, the reply note, so that the line is never
  // left without a reason.
  std::string failureText() const {
    return errorText()[0] == '\0' ? replyNote_ : std::string(errorText());
  }
  // The sensor answered, but not as asked (wrong length or command): the
  // line works, the reply does not fit.
  bool lastReplyMisfit() const { return !replyNote_.empty(); }
  // Every frame written or read goes to `trace` as well (null: none).
  void SetTrace(ProtocolTrace* trace) { trace_ = trace; }
  ProtocolTrace* trace() const { return trace_; }

 private:
  // Runs `exchange` through the runner; a refused one fails with
  // kPacketLineBusy.
  bool Exchange(const std::function<bool()>& exchange);
  bool QueryHere(uint8_t address, int32_t checkMode, uint8_t command, const uint8_t* data, size_t dataLength,
                 uint8_t* reply, size_t replyLength);
  bool SendHere(uint8_t address, int32_t checkMode, uint8_t command, const uint8_t* data, size_t dataLength);
  bool ReceiveHere(int32_t checkMode, uint8_t command, uint8_t* destination, size_t* dataLength);
  void RecoverHere();

  // Fills address, length byte, command id and data of a request buffer.
  bool BuildRequest(uint8_t* request, uint8_t address, uint8_t command, const uint8_t* data,
                    size_t dataLength);

  void Trace(ProtocolTrace::Direction direction, const uint8_t* bytes, size_t count) const {
    if (trace_ != nullptr) trace_->Frame(direction, bytes, count, checkMode_);
  }

  int32_t checkMode_ = frame::kChecksum;
  std::string replyNote_;  // see failureText
  ProtocolTrace* trace_ = nullptr;
  ExchangeRunner* runner_ = nullptr;
};
