// Laser, scan, live state and diagnostics.

#include <algorithm>

#include "protocol/command_ids.h"
#include "sim/command_handler.h"
#include "sim/live_data.h"
#include "sim/reply_records.h"

namespace sim {
namespace {

int16_t Median3(int16_t a, int16_t b, int16_t c) { return std::max(std::min(a, b), std::min(std::max(a, b), c)); }

// Median of three over the filled part of the buffer: a single wild or
// dropped-out sample is replaced by its neighbours' level.
void FilterScanBuffer(SensorState& s) {
  const size_t fill = std::min(s.scanFill, s.scanBuffer.size());
  if (fill < 3) return;
  const std::vector<uint16_t> before(s.scanBuffer.begin(), s.scanBuffer.begin() + static_cast<std::ptrdiff_t>(fill));
  for (size_t i = 1; i + 1 < fill; ++i)
    s.scanBuffer[i] = static_cast<uint16_t>(Median3(static_cast<int16_t>(before[i - 1]),
                                                    static_cast<int16_t>(before[i]),
                                                    static_cast<int16_t>(before[i + 1])));
}

void GetScanBufferPortion(CommandContext& c) {
  if (!c.Expect(4)) return;
  // Start and count always travel least significant byte first.
  const uint32_t start = frame::GetWord(c.data, frame::kChecksum);
  uint32_t count = frame::GetWord(c.data + 2, frame::kChecksum);
  if (start >= kScanBufferCapacity) {
    c.CommandError();
    return;
  }
  // A request running past the end gets what the buffer holds up to its end.
  count = std::min<uint32_t>(count, kScanBufferCapacity - start);
  for (const auto& portion : records::ScanPortions(c.state, start, count)) c.Reply(portion);
  // Fault "double-portion": the whole answer goes out a second time.
  if (c.state.faults.doublePortions)
    for (const auto& portion : records::ScanPortions(c.state, start, count)) c.Reply(portion);
}

}  // namespace

bool HandleMeasurementCommand(CommandContext& c) {
  SensorState& s = c.state;
  const int32_t mode = s.checkMode;
  switch (c.command) {
    case cmd::SetLaserOn:
      // One host sends two (meaningless) data bytes, the other none.
      if (c.ExpectBetween(0, 2)) s.settings.laserOn = true;
      return true;
    case cmd::SetLaserOff:
      if (c.Expect(0)) s.settings.laserOn = false;
      return true;
    case cmd::StartScan:
      if (c.Expect(0)) StartScanning(s, c.now);
      return true;
    case cmd::StopScan:
      if (c.Expect(0)) StopScanning(s, c.now);
      return true;
    case cmd::ApplyScanFilter:
      if (c.Expect(0)) FilterScanBuffer(s);
      return true;
    case cmd::HLAScanResult:
      if (c.Expect(0)) c.Reply(records::Hla(s, mode));
      return true;
    case cmd::GetScanBufferPortion:
      GetScanBufferPortion(c);
      return true;
    case cmd::GetErrorState:
      if (c.Expect(0)) c.Reply(records::ErrorState(s.errors, mode));
      return true;
    case cmd::GetKRV02State:
      if (c.Expect(0)) c.Reply(records::Krv02State(s, mode));
      return true;
    case cmd::GetSensorState:
      if (c.Expect(0)) c.Reply(records::SensorStateReply(s, mode));
      return true;
    case cmd::GetPeak:
      if (c.Expect(0)) c.ReplyWord(s.live.peak);
      return true;
    case cmd::GetRange:
      if (c.Expect(0)) c.ReplyWord(s.live.range);
      return true;
    case cmd::ReadMemory:
      // Word address, then the number of words (one byte).
      if (c.Expect(3)) c.Reply(records::Memory(s, c.Word(0), c.data[2], mode));
      return true;
    default:
      return false;
  }
}

}  // namespace sim
