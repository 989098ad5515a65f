#pragma once
// The data of the sensor's replies and of the records it is sent, byte by
// byte. 16-bit fields travel in the byte order of the check mode (least
// significant byte first in checksum mode, most significant first in CRC
// mode); single bytes and the pass-through bytes of a record are never
// reordered. The scan buffer portion replies are the exception: their
// samples are always least significant byte first.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/sensor_state.h"

namespace sim::records {

constexpr size_t kKrv02SetupSize = 31;
constexpr size_t kKrv04SetupSize = 28;
constexpr size_t kAnalogFactorsSize = 22;
constexpr size_t kAnalogRecordSize = 20;
constexpr size_t kConfigVarsSize = 10;
constexpr size_t kWaneSize = 12;
constexpr size_t kFilterSize = 6;
constexpr size_t kOffsetSize = 8;
constexpr size_t kErrorStateSize = 12;
constexpr size_t kLiveStateSize = 14;
constexpr size_t kBoardFlipperStateSize = 22;
constexpr size_t kVersionSize = 6;
constexpr size_t kHlaSize = 10;
constexpr size_t kSamplesPerPortion = 126;
constexpr size_t kMaxMemoryWords = 127;

// Setup reply of the KRV02 family (31 bytes): bytes 0..7 header, 8 address,
// 9 range mode, word 10, byte 12 threshold, words at 13 scan interval,
// 15 dropout, 17 smooth, 19 order, 21 range offset, 23 cosine,
// 25 multiplier, 27 fourth offset word, 29 laser (1 on).
std::vector<uint8_t> Krv02Setup(const SensorState& s, int32_t mode);

// Setup reply of the KRV04 family (28 bytes): bytes 0..7 header, 8 max laser
// power, 9 min laser power, 10 threshold, 11 address, words at 12 analog
// min range, 14 max range, 16 min volts, 18 max volts, 20 out-of-range
// volts, 22 and 24 unused by hosts, byte 26 hold last range, 27 range mode.
std::vector<uint8_t> Krv04Setup(const SensorState& s, int32_t mode);

// Analog factors (22 bytes): words min volts, min range, max volts, max
// range, offset volts, out-of-range volts, bytes 12..19 as stored, word 20.
std::vector<uint8_t> AnalogFactors(const Settings& s, int32_t mode);
// The 20-byte record of SetAnalogOuputFactors: the first 20 bytes above.
void ApplyAnalogFactors(Settings& s, const uint8_t* data, int32_t mode);

// Configuration variables (10 bytes): four words, two bytes.
std::vector<uint8_t> ConfigVars(const Settings& s, int32_t mode);
void ApplyConfigVars(Settings& s, const uint8_t* data, int32_t mode);

// Wane parameters (12 bytes): words height, width, speed, bytes 6..9 as
// stored, word pulse.
std::vector<uint8_t> Wane(const Settings& s, int32_t mode);
void ApplyWane(Settings& s, const uint8_t* data, int32_t mode);

// SetFilterFactors (6 bytes): dropout, smooth, order.
void ApplyFilterFactors(Settings& s, const uint8_t* data, int32_t mode);
// SetOffset (8 bytes): range offset, cosine, multiplier, fourth word.
void ApplyOffset(Settings& s, const uint8_t* data, int32_t mode);

// Error state (12 bytes): power-ups, resets, check errors, command errors,
// calibration, illegal operations.
std::vector<uint8_t> ErrorState(const ErrorCounters& e, int32_t mode);

// KRV02 live state (14 bytes): 4 pixel words, range, scan count, scanning.
std::vector<uint8_t> Krv02State(const SensorState& s, int32_t mode);
// KRV04 / Qmt Short live state (14 bytes): 4 pixel words, range, laser
// power, peak; the board flipper adds its 4 words (22 bytes).
std::vector<uint8_t> SensorStateReply(const SensorState& s, int32_t mode);

// Version (6 bytes): word firmware x 100, 2 reserved bytes, revision
// letter, FPGA x 10.
std::vector<uint8_t> Version(const SensorState& s, int32_t mode);

// High/low/average over the filled part of the scan buffer (10 bytes):
// words high value, its scan number, low value, its scan number, average.
// Values are signed ranges; out-of-range samples (0x8000) are left out;
// an empty buffer gives zeros.
std::vector<uint8_t> Hla(const SensorState& s, int32_t mode);

// The count-down replies of a scan buffer portion: ceil(count / 126)
// replies, each data[0] = replies still to come including itself, then up
// to 126 samples, least significant byte first. The caller checks
// start + count <= 8192.
std::vector<std::vector<uint8_t>> ScanPortions(const SensorState& s, uint32_t start, uint32_t count);

// ReadMemory contents. Words 0x0000..0x000F mirror live values: range,
// laser power, peak, the 4 pixel words, scan count, scanning, threshold,
// min and max laser power, address, check mode, check errors, command
// errors. Every other word is a fixed pattern of its address. Entries of
// SensorState::memory override both.
uint16_t MemoryWord(const SensorState& s, uint16_t address);
std::vector<uint8_t> Memory(const SensorState& s, uint16_t address, size_t words, int32_t mode);

}  // namespace sim::records
