#include "sim/live_data.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {

constexpr double kPi = 3.14159265358979323846;

double Seconds(const SensorState& s, TimePoint t) {
  return std::chrono::duration<double>(t - s.epoch).count();
}

// Position of the target within the span, 0..1.
double Position(double seconds) {
  return 0.5 + 0.3 * std::sin(2 * kPi * seconds / 8.0) + 0.01 * std::sin(2 * kPi * seconds / 0.37);
}

uint16_t Clamp16(double v) { return static_cast<uint16_t>(std::clamp(v, 0.0, 65535.0)); }

}  // namespace

RangeSpan SpanOf(int model, int rangeMode) {
  if (IsKrv02Family(model)) {
    if (rangeMode < 0 || rangeMode > 15) return {0, 10000};
    const int high = (rangeMode == 12 || rangeMode == 13) ? 26600 : 32000;
    return (rangeMode % 2 == 0) ? RangeSpan{0, high} : RangeSpan{-high, 0};
  }
  if (model == kQmtShort) return {4000, 24000};
  if (rangeMode == 0) return {0, 8000};
  if (rangeMode == 1) return {0, 20000};
  return {0, 10000};
}

uint16_t RangeAt(const SensorState& s, TimePoint t) {
  if (!s.live.animate) return s.live.range;
  if (!s.settings.laserOn) return kOutOfRange;
  const RangeSpan span = SpanOf(s.model, s.settings.rangeMode);
  double position = Position(Seconds(s, t));
  // Counting downwards: the near end of the span is its top.
  if (span.high <= 0) position = 1.0 - position;
  const double raw = span.low + position * (span.high - span.low);
  return static_cast<uint16_t>(static_cast<int16_t>(std::lround(raw)));
}

void AdvanceLive(SensorState& s, TimePoint now) {
  if (s.scanning && s.scanPeriod.count() > 0) {
    const auto elapsed = now - s.scanClock;
    const int64_t due = elapsed / s.scanPeriod;
    if (due > 0) {
      const size_t capacity = std::min(kScanBufferCapacity, s.scanBuffer.size());
      const int64_t room = static_cast<int64_t>(capacity - std::min(s.scanFill, capacity));
      const int64_t stored = std::min(due, room);
      for (int64_t i = 1; i <= stored; ++i)
        s.scanBuffer[s.scanFill++] =
            RangeAt(s, s.scanClock + std::chrono::duration_cast<Clock::duration>(s.scanPeriod * i));
      s.scanCount += static_cast<uint32_t>(due);
      s.scanClock += std::chrono::duration_cast<Clock::duration>(s.scanPeriod * due);
    }
  }
  if (!s.live.animate) return;
  const double t = Seconds(s, now);
  const double wobble = 0.5 + 0.5 * std::sin(2 * kPi * t / 3.1);
  s.live.range = RangeAt(s, now);
  if (!s.settings.laserOn) {
    s.live.laserPower = 0;
    s.live.peak = static_cast<uint16_t>(5 + 3 * wobble);
    s.live.numPix = 0;
    s.live.sumPix = 0;
    s.live.subPix = 0;
    s.live.basePix = static_cast<uint16_t>(20 + 6 * wobble);
    return;
  }
  const double lowPower = s.settings.minLaserPower;
  const double highPower = std::max<double>(s.settings.maxLaserPower, lowPower);
  s.live.laserPower = static_cast<uint8_t>(std::lround(lowPower + (highPower - lowPower) * (0.3 + 0.4 * wobble)));
  s.live.peak = Clamp16(s.settings.threshold + 80 + 60 * std::sin(2 * kPi * t / 5.3));
  s.live.numPix = Clamp16(7 + 4 * wobble);
  s.live.sumPix = Clamp16(s.live.peak * s.live.numPix * 0.6);
  s.live.basePix = Clamp16(110 + 25 * std::sin(2 * kPi * t / 4.7));
  s.live.subPix = static_cast<uint16_t>(s.live.range & 0xFFu);
  if (s.model == kBoardFlipper) {
    const auto boards = static_cast<uint16_t>(static_cast<int64_t>(t / 2.0) & 0xFFFF);
    s.live.boardFlipper[0] = boards;
    s.live.boardFlipper[1] = static_cast<uint16_t>(boards / 3);
    s.live.boardFlipper[2] = Clamp16(s.settings.wane.height * (0.8 + 0.4 * wobble));
    s.live.boardFlipper[3] = Clamp16(s.settings.wane.width * (0.8 + 0.4 * wobble));
  }
}

void StartScanning(SensorState& s, TimePoint now) {
  s.scanning = true;
  s.scanCount = 0;
  s.scanFill = 0;
  std::fill(s.scanBuffer.begin(), s.scanBuffer.end(), 0);
  s.scanClock = now;
}

void StopScanning(SensorState& s, TimePoint now) {
  AdvanceLive(s, now);
  s.scanning = false;
}

}  // namespace sim
