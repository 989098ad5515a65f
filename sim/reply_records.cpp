#include "sim/reply_records.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "protocol/frame.h"

namespace sim::records {
namespace {

class Record {
 public:
  Record(size_t size, int32_t mode) : bytes_(size, 0), mode_(mode) {}
  void Byte(size_t at, uint8_t v) { bytes_[at] = v; }
  void Word(size_t at, uint16_t v) { frame::PutWord(&bytes_[at], mode_, v); }
  template <size_t N>
  void Bytes(size_t at, const std::array<uint8_t, N>& v) {
    std::copy(v.begin(), v.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(at));
  }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
  int32_t mode_;
};

uint16_t WordAt(const uint8_t* data, size_t at, int32_t mode) { return frame::GetWord(data + at, mode); }

template <size_t N>
void CopyOut(const uint8_t* data, size_t at, std::array<uint8_t, N>& out) {
  std::copy(data + at, data + at + N, out.begin());
}

}  // namespace

std::vector<uint8_t> Krv02Setup(const SensorState& s, int32_t mode) {
  const Settings& c = s.settings;
  Record r(kKrv02SetupSize, mode);
  r.Bytes(0, c.setupHeader);
  r.Byte(8, s.address);
  r.Byte(9, c.rangeMode);
  r.Word(10, c.setupWord10);
  r.Byte(12, c.threshold);
  r.Word(13, c.scanInterval);
  r.Word(15, c.dropout);
  r.Word(17, c.smooth);
  r.Word(19, c.order);
  r.Word(21, c.rangeOffset);
  r.Word(23, c.cosine);
  r.Word(25, c.multiplier);
  r.Word(27, c.offsetWord3);
  r.Word(29, c.laserOn ? 1 : 0);
  return r.Take();
}

std::vector<uint8_t> Krv04Setup(const SensorState& s, int32_t mode) {
  const Settings& c = s.settings;
  Record r(kKrv04SetupSize, mode);
  r.Bytes(0, c.setupHeader);
  r.Byte(8, c.maxLaserPower);
  r.Byte(9, c.minLaserPower);
  r.Byte(10, c.threshold);
  r.Byte(11, s.address);
  r.Word(12, c.analog.minRange);
  r.Word(14, c.analog.maxRange);
  r.Word(16, c.analog.minVolts);
  r.Word(18, c.analog.maxVolts);
  r.Word(20, c.analog.outOfRangeVolts);
  r.Word(22, c.setupWord22);
  r.Word(24, c.setupWord24);
  r.Byte(26, c.holdLastRange);
  r.Byte(27, c.rangeMode);
  return r.Take();
}

std::vector<uint8_t> AnalogFactors(const Settings& s, int32_t mode) {
  Record r(kAnalogFactorsSize, mode);
  r.Word(0, s.analog.minVolts);
  r.Word(2, s.analog.minRange);
  r.Word(4, s.analog.maxVolts);
  r.Word(6, s.analog.maxRange);
  r.Word(8, s.analog.offsetVolts);
  r.Word(10, s.analog.outOfRangeVolts);
  r.Bytes(12, s.analog.extra);
  r.Word(20, s.analog.word20);
  return r.Take();
}

void ApplyAnalogFactors(Settings& s, const uint8_t* d, int32_t mode) {
  s.analog.minVolts = WordAt(d, 0, mode);
  s.analog.minRange = WordAt(d, 2, mode);
  s.analog.maxVolts = WordAt(d, 4, mode);
  s.analog.maxRange = WordAt(d, 6, mode);
  s.analog.offsetVolts = WordAt(d, 8, mode);
  s.analog.outOfRangeVolts = WordAt(d, 10, mode);
  CopyOut(d, 12, s.analog.extra);
}

std::vector<uint8_t> ConfigVars(const Settings& s, int32_t mode) {
  Record r(kConfigVarsSize, mode);
  r.Word(0, s.configWord0);
  r.Word(2, s.configWord1);
  r.Word(4, s.averagingHigh);
  r.Word(6, s.averagingLow);
  r.Bytes(8, s.configBytes);
  return r.Take();
}

void ApplyConfigVars(Settings& s, const uint8_t* d, int32_t mode) {
  s.configWord0 = WordAt(d, 0, mode);
  s.configWord1 = WordAt(d, 2, mode);
  s.averagingHigh = WordAt(d, 4, mode);
  s.averagingLow = WordAt(d, 6, mode);
  CopyOut(d, 8, s.configBytes);
}

std::vector<uint8_t> Wane(const Settings& s, int32_t mode) {
  Record r(kWaneSize, mode);
  r.Word(0, s.wane.height);
  r.Word(2, s.wane.width);
  r.Word(4, s.wane.speed);
  r.Bytes(6, s.wane.reserved);
  r.Word(10, s.wane.pulse);
  return r.Take();
}

void ApplyWane(Settings& s, const uint8_t* d, int32_t mode) {
  s.wane.height = WordAt(d, 0, mode);
  s.wane.width = WordAt(d, 2, mode);
  s.wane.speed = WordAt(d, 4, mode);
  CopyOut(d, 6, s.wane.reserved);
  s.wane.pulse = WordAt(d, 10, mode);
}

void ApplyFilterFactors(Settings& s, const uint8_t* d, int32_t mode) {
  s.dropout = WordAt(d, 0, mode);
  s.smooth = WordAt(d, 2, mode);
  s.order = WordAt(d, 4, mode);
}

void ApplyOffset(Settings& s, const uint8_t* d, int32_t mode) {
  s.rangeOffset = WordAt(d, 0, mode);
  s.cosine = WordAt(d, 2, mode);
  s.multiplier = WordAt(d, 4, mode);
  s.offsetWord3 = WordAt(d, 6, mode);
}

std::vector<uint8_t> ErrorState(const ErrorCounters& e, int32_t mode) {
  Record r(kErrorStateSize, mode);
  r.Word(0, e.powerUps);
  r.Word(2, e.resets);
  r.Word(4, e.checkErrors);
  r.Word(6, e.commandErrors);
  r.Word(8, e.calibration);
  r.Word(10, e.illegalOperations);
  return r.Take();
}

std::vector<uint8_t> Krv02State(const SensorState& s, int32_t mode) {
  Record r(kLiveStateSize, mode);
  r.Word(0, s.live.basePix);
  r.Word(2, s.live.sumPix);
  r.Word(4, s.live.numPix);
  r.Word(6, s.live.subPix);
  r.Word(8, s.live.range);
  r.Word(10, static_cast<uint16_t>(s.scanCount & 0xFFFFu));
  r.Word(12, s.scanning ? 1 : 0);
  return r.Take();
}

std::vector<uint8_t> SensorStateReply(const SensorState& s, int32_t mode) {
  const bool flipper = s.model == kBoardFlipper;
  Record r(flipper ? kBoardFlipperStateSize : kLiveStateSize, mode);
  r.Word(0, s.live.basePix);
  r.Word(2, s.live.sumPix);
  r.Word(4, s.live.numPix);
  r.Word(6, s.live.subPix);
  r.Word(8, s.live.range);
  r.Word(10, s.live.laserPower);
  r.Word(12, s.live.peak);
  if (flipper)
    for (size_t i = 0; i < s.live.boardFlipper.size(); ++i) r.Word(14 + 2 * i, s.live.boardFlipper[i]);
  return r.Take();
}

std::vector<uint8_t> Version(const SensorState& s, int32_t mode) {
  Record r(kVersionSize, mode);
  r.Word(0, s.firmwareVersion);
  r.Byte(2, s.versionReserved[0]);
  r.Byte(3, s.versionReserved[1]);
  r.Byte(4, s.revision);
  r.Byte(5, s.fpgaVersion);
  return r.Take();
}

std::vector<uint8_t> Hla(const SensorState& s, int32_t mode) {
  Record r(kHlaSize, mode);
  const size_t fill = std::min(s.scanFill, s.scanBuffer.size());
  int high = std::numeric_limits<int>::min();
  int low = std::numeric_limits<int>::max();
  size_t highAt = 0, lowAt = 0, n = 0;
  int64_t sum = 0;
  for (size_t i = 0; i < fill; ++i) {
    if (s.scanBuffer[i] == kOutOfRange) continue;
    const int v = static_cast<int16_t>(s.scanBuffer[i]);
    if (v > high) {
      high = v;
      highAt = i;
    }
    if (v < low) {
      low = v;
      lowAt = i;
    }
    sum += v;
    ++n;
  }
  if (n > 0) {
    r.Word(0, static_cast<uint16_t>(high));
    r.Word(2, static_cast<uint16_t>(highAt));
    r.Word(4, static_cast<uint16_t>(low));
    r.Word(6, static_cast<uint16_t>(lowAt));
    r.Word(8, static_cast<uint16_t>(static_cast<int16_t>(sum / static_cast<int64_t>(n))));
  }
  return r.Take();
}

std::vector<std::vector<uint8_t>> ScanPortions(const SensorState& s, uint32_t start, uint32_t count) {
  std::vector<std::vector<uint8_t>> replies;
  const size_t total = (count + kSamplesPerPortion - 1) / kSamplesPerPortion;
  size_t index = start;
  size_t left = count;
  for (size_t i = 0; i < total; ++i) {
    const size_t n = std::min(left, kSamplesPerPortion);
    std::vector<uint8_t> data(1 + 2 * n);
    data[0] = static_cast<uint8_t>(total - i);
    for (size_t k = 0; k < n; ++k, ++index) {
      const uint16_t v = index < s.scanBuffer.size() ? s.scanBuffer[index] : 0;
      frame::PutWord(&data[1 + 2 * k], frame::kChecksum, v);  // always low byte first
    }
    left -= n;
    replies.push_back(std::move(data));
  }
  return replies;
}

uint16_t MemoryWord(const SensorState& s, uint16_t address) {
  if (auto it = s.memory.find(address); it != s.memory.end()) return it->second;
  switch (address) {
    case 0x0: return s.live.range;
    case 0x1: return s.live.laserPower;
    case 0x2: return s.live.peak;
    case 0x3: return s.live.basePix;
    case 0x4: return s.live.sumPix;
    case 0x5: return s.live.numPix;
    case 0x6: return s.live.subPix;
    case 0x7: return static_cast<uint16_t>(s.scanCount & 0xFFFFu);
    case 0x8: return s.scanning ? 1 : 0;
    case 0x9: return s.settings.threshold;
    case 0xA: return s.settings.minLaserPower;
    case 0xB: return s.settings.maxLaserPower;
    case 0xC: return s.address;
    case 0xD: return static_cast<uint16_t>(s.checkMode);
    case 0xE: return s.errors.checkErrors;
    case 0xF: return s.errors.commandErrors;
    default: break;
  }
  // A fixed, address-dependent pattern, so that every word differs from its
  // neighbours and a misplaced word is noticed.
  return static_cast<uint16_t>((address * 0x9E37u) ^ 0x5A5Au);
}

std::vector<uint8_t> Memory(const SensorState& s, uint16_t address, size_t words, int32_t mode) {
  words = std::min(words, kMaxMemoryWords);
  std::vector<uint8_t> data(2 * words);
  for (size_t i = 0; i < words; ++i)
    frame::PutWord(&data[2 * i], mode, MemoryWord(s, static_cast<uint16_t>(address + i)));
  return data;
}

}  // namespace sim::records
