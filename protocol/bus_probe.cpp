#include "protocol/bus_probe.h"

#include <algorithm>

#include "serial/deadline_timer.h"

namespace {

uint32_t Left(const DeadlineTimer& timer) {
  return static_cast<uint32_t>(std::min<uint64_t>(timer.RemainingMs(), UINT32_MAX));
}

}  // namespace

bool BusProbe::Query(uint8_t address, int32_t checkMode, uint8_t command, uint32_t budgetMs, Reply& reply,
                     std::vector<Reply>& others) {
  portFailed_ = false;
  const std::vector<uint8_t> request = frame::Build(address, checkMode, command);
  DeadlineTimer timer;
  timer.Start(uint64_t{budgetMs} * 1000);
  size_t written = 0;
  const bool wrote = sc_Write(link_.handle(), request.data(), request.size(), &written, budgetMs, &link_.error());
  if (ProtocolTrace* trace = link_.trace()) trace->Frame(ProtocolTrace::kSent, request.data(), written, checkMode);
  if (!wrote) return Failed();
  if (written != request.size()) return false;

  uint8_t buffer[frame::kBufferSize] = {};
  while (timer.Remaining() > 0) {
    // Hunt for a start byte, then take the header and the body.
    size_t got = 0;
    if (!sc_Read(link_.handle(), buffer, 1, &got, Left(timer), &link_.error())) return Failed();
    if (got != 1 || buffer[0] != frame::kStx) continue;
    if (!sc_Read(link_.handle(), buffer + 1, 3, &got, Left(timer), &link_.error())) return Failed();
    if (got != 3) break;
    const size_t body = frame::BodySize(checkMode, buffer[2]);
    size_t bodyGot = 0;
    if (!sc_Read(link_.handle(), buffer + frame::kHeaderSize, body, &bodyGot, Left(timer), &link_.error()))
      return Failed();
    if (ProtocolTrace* trace = link_.trace())
      trace->Frame(ProtocolTrace::kReceived, buffer, frame::kHeaderSize + bodyGot, checkMode);
    size_t dataLength = 0;
    if (bodyGot != body || !frame::DataLength(checkMode, buffer[2], dataLength) || !frame::Verify(buffer, checkMode) ||
        buffer[3] != command) {
      continue;
    }
    Reply r;
    r.address = buffer[1];
    r.data.assign(buffer + frame::kHeaderSize, buffer + frame::kHeaderSize + dataLength);
    if (r.address == address) {
      reply = std::move(r);
      return true;
    }
    others.push_back(std::move(r));
  }
  return false;
}

void BusProbe::Settle(uint32_t ms) {
  DeadlineTimer timer;
  timer.Start(uint64_t{ms} * 1000);
  uint8_t scratch[64];
  while (timer.Remaining() > 0) {
    size_t got = 0;
    SerialError ignored;
    if (!sc_Read(link_.handle(), scratch, sizeof scratch, &got, Left(timer), &ignored)) break;
  }
}
