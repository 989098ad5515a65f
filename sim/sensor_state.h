#pragma once
// Everything a virtual sensor knows about itself, as one plain struct.
//
// Tests read it with VirtualSensor::Snapshot() and change any part of it
// with Mutate(); the sensor's own command handling works on the same
// struct. 16-bit values are kept as raw 16-bit patterns (a negative range
// offset is simply its two's complement); the replies put them on the wire
// in the byte order of the current check mode.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/fault_plan.h"
#include "sim/model_table.h"
#include "sim/sensor_config.h"

namespace sim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

constexpr size_t kScanBufferCapacity = 8192;
constexpr uint16_t kCalibrated = 21845;
constexpr uint16_t kOutOfRange = 0x8000;

// Analog output settings. The KRV02 family reads and writes them as one
// record (commands 27 and 26), the KRV04 family finds them in its setup
// reply and writes them value by value; both use this one storage.
struct AnalogSettings {
  uint16_t minVolts = 0;         // millivolts at the minimum range
  uint16_t minRange = 0;         // raw range units
  uint16_t maxVolts = 10000;     // millivolts at the maximum range
  uint16_t maxRange = 32000;     // raw range units
  uint16_t offsetVolts = 0;      // millivolts
  uint16_t outOfRangeVolts = 0;  // millivolts while out of range
  std::array<uint8_t, 8> extra{};  // record bytes 12..19, passed through unconverted
  uint16_t word20 = 0;             // last word of the 22-byte read-back
};

// Wane detection variables of the board flipper (commands 46 and 47).
struct WaneSettings {
  uint16_t height = 250;   // raw range units of the current mode
  uint16_t width = 500;    // raw range units of the current mode
  uint16_t speed = 600;    // conveyer speed, mm/s
  std::array<uint8_t, 4> reserved{};  // bytes 6..9, passed through unconverted
  uint16_t pulse = 20;     // flipper pulse, ms
};

// The stored settings. SetDefaults puts back the model's defaults of this
// record (see DefaultSettings); address, check mode and baud rate are
// communication settings and are kept.
struct Settings {
  uint8_t minLaserPower = 10;
  uint8_t maxLaserPower = 200;
  uint8_t threshold = 40;
  uint8_t rangeMode = 0;       // KRV02 family 0..15, KRV04 and board flipper 0..1, Qmt Short 0
  bool laserOn = true;

  // Setup record bytes that no host setting uses, reported unchanged.
  std::array<uint8_t, 8> setupHeader{};  // bytes 0..7 of both setup replies
  uint16_t setupWord10 = 0;              // 31-byte setup, word at 10
  uint16_t setupWord22 = 0;              // 28-byte setup, word at 22
  uint16_t setupWord24 = 0;              // 28-byte setup, word at 24

  // KRV02 family scan and filter settings.
  uint16_t scanInterval = 10;
  uint16_t dropout = 3;
  uint16_t smooth = 5;
  uint16_t order = 3;
  // KRV02 family range offset record (command 8): words 0..3 are the
  // setup reply's words at 21, 23, 25 and 27.
  uint16_t rangeOffset = 0;
  uint16_t cosine = 10000;     // x 0.0001
  uint16_t multiplier = 1000;  // x 0.001
  uint16_t offsetWord3 = 0;

  AnalogSettings analog;

  // Configuration variables (commands 32 and 33): four words and two bytes.
  // The averaging count is the 32-bit value averagingHigh:averagingLow.
  uint16_t configWord0 = 1;
  uint16_t configWord1 = 0;
  uint16_t averagingHigh = 0;
  uint16_t averagingLow = 6000;
  std::array<uint8_t, 2> configBytes{};

  // KRV04: hold the last valid range while out of range, for up to
  // holdScans scans.
  uint8_t holdLastRange = 0;
  uint16_t holdScans = 5;

  // Board flipper.
  WaneSettings wane;
  uint16_t boardTimeout = 1000;  // ms
};

// The model's factory settings.
Settings DefaultSettings(int model);

// Live measurement values. While `animate` is set they follow the clock (a
// slow sine within the current mode's range, with pixel statistics, laser
// power and peak to match) and are recomputed before every reply; clear it
// to freeze them at values of your own (a raw range of 0x8000 reads as out
// of range).
struct LiveState {
  bool animate = true;
  uint16_t basePix = 0;
  uint16_t sumPix = 0;
  uint16_t numPix = 0;
  uint16_t subPix = 0;
  uint16_t range = 0;  // raw, signed 16-bit pattern
  uint8_t laserPower = 0;
  uint16_t peak = 0;
  // Words 7..10 of the board flipper's 22-byte state: boards seen, boards
  // flipped, last wane height, last wane width.
  std::array<uint16_t, 4> boardFlipper{};
};

// The six counters of the error-state reply (command 20).
struct ErrorCounters {
  uint16_t powerUps = 12;
  uint16_t resets = 3;
  uint16_t checkErrors = 0;     // frames ignored for a failed checksum/CRC
  uint16_t commandErrors = 0;   // unknown commands, wrong data lengths, refused values
  uint16_t calibration = kCalibrated;
  uint16_t illegalOperations = 0;  // e.g. an upload while the flash is locked
};

enum class UploadOutcome {
  kNone,        // no upload yet
  kReceiving,   // XMODEM transfer running
  kCompleted,   // ended by EOT
  kCancelled,   // the sender cancelled (two CAN)
  kNoSender,    // no block came after all start requests
  kTimedOut,    // silence in the middle of the transfer
  kOutOfSync,   // a block number neither expected nor repeated
  kReceiverCancelled,  // the receiver gave up and sent CAN (fault cancel@N)
};
const char* UploadOutcomeName(UploadOutcome outcome);

// The last firmware transfer.
struct UploadRecord {
  uint8_t command = 0;           // 86 code, 87 FPGA, 88 calibration
  UploadOutcome outcome = UploadOutcome::kNone;
  std::vector<uint8_t> image;    // every accepted block, padding included
  uint32_t blocks = 0;           // blocks accepted
  uint32_t naks = 0;             // NAKs sent (bad CRC, complement, short block)
  uint32_t repeats = 0;          // repeated blocks acknowledged and ignored
  uint32_t requests = 0;         // "C" start requests sent
  uint32_t completedUploads = 0; // transfers that ended by EOT, over the sensor's life
};

// Traffic seen by the sensor, for tests.
struct Activity {
  uint64_t framesReceived = 0;   // well-formed frames to this sensor or to address 0
  uint64_t framesForOthers = 0;  // well-formed frames to other addresses (ignored)
  uint64_t badFrames = 0;        // failed check, impossible length or incomplete
  uint64_t repliesSent = 0;      // reply frames sent or dropped; the fault numbering
  uint64_t acksSent = 0;
  uint64_t garbledBytes = 0;     // bytes received while the host's baud rate differed
  uint64_t ignoredWhileReset = 0;
};

struct SensorState {
  // Identity.
  int model = kKrv02;                      // decides the reply sizes
  std::array<uint8_t, 16> modelName{};     // reported as it is
  std::array<uint8_t, 16> serialNumber{};  // the first 8 bytes are the serial proper
  uint16_t firmwareVersion = 0;            // x 100
  std::array<uint8_t, 2> versionReserved{};
  uint8_t revision = 'C';
  uint8_t fpgaVersion = 0;                 // x 10

  // Communication.
  uint8_t address = 1;
  int32_t checkMode = 0;   // 0 checksum, 1 CRC
  int32_t baudRate = 57600;

  Settings settings;
  ErrorCounters errors;

  // Flash protection: open while protect1 == 0x3C and protect2 == 0xC3.
  uint8_t flashProtect1 = 0;
  uint8_t flashProtect2 = 0;
  bool FlashUnlocked() const { return flashProtect1 == 0x3C && flashProtect2 == 0xC3; }

  LiveState live;

  // Scanning. While scanning, one scan every scanPeriod raises scanCount and
  // appends the live range to the scan buffer; the buffer keeps the first
  // 8192 scans of a run (index = scan number, from 0) and then stops
  // filling while the count goes on. StartScan clears both.
  bool scanning = false;
  uint32_t scanCount = 0;  // reported as its low 16 bits
  std::chrono::microseconds scanPeriod{2000};
  std::vector<uint16_t> scanBuffer = std::vector<uint16_t>(kScanBufferCapacity, 0);
  size_t scanFill = 0;  // scans held, 0..8192
  TimePoint scanClock{};  // time of the last scan accounted for

  // Memory words that ReadMemory reports instead of the built-in contents.
  std::map<uint16_t, uint16_t> memory;

  UploadRecord upload;

  FaultPlan faults;
  FaultCounts injected;

  Activity activity;

  // Time base of the live values.
  TimePoint epoch = Clock::now();
};

// Copies text into a 16-byte NUL-padded identity field.
std::array<uint8_t, 16> IdentityField(const std::string& text);
// Text of an identity field up to its first NUL.
std::string IdentityText(const std::array<uint8_t, 16>& field);

// The state a sensor powers up with: the model's identity (with the
// configuration's serial and revision, when given), factory settings, the
// configured address, check mode, baud rate, faults and scan period.
SensorState InitialState(const SensorConfig& config);

}  // namespace sim
