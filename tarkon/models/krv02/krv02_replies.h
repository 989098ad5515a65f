#pragma once
// Where each value sits in the replies of the KRV02 family (KRV02 and Qmt
// Long), as the command object leaves them: 16-bit fields already in host
// order, signed unless said otherwise. Every offset of the family is
// written here once; its settings record, the document and the backup
// layout all read them from here.

#include <cstddef>

namespace krv02 {

// GetSensorSetup: the 31-byte setup record. Bytes, then 16-bit fields at
// odd offsets.
inline constexpr size_t kSetupAddress = 8;  // byte: the sensor's address
inline constexpr size_t kSetupMode = 9;     // byte: range mode number
inline constexpr size_t kSetupThreshold = 12;
inline constexpr size_t kSetupScanInterval = 13;
inline constexpr size_t kSetupDropout = 15;
inline constexpr size_t kSetupSmooth = 17;
inline constexpr size_t kSetupOrder = 19;
inline constexpr size_t kSetupRangeOffset = 21;  // raw range units
inline constexpr size_t kSetupCosine = 23;
inline constexpr size_t kSetupMultiplier = 25;
// The fourth word of the offset record: the sensor reports it after the
// three that the dialog shows, and gets it back unchanged.
inline constexpr size_t kSetupOffsetSpare = 27;
inline constexpr size_t kSetupLaser = 29;

// GetMinLP and GetMaxLP: one byte each.
inline constexpr size_t kLaserPower = 0;

// GetAnalogFactors: the reply's six words are the record's six words in
// the same order; bytes 12 to 19 travel unconverted both ways.
inline constexpr size_t kAnalogMinVolts = 0;
inline constexpr size_t kAnalogMinRange = 2;
inline constexpr size_t kAnalogMaxVolts = 4;
inline constexpr size_t kAnalogMaxRange = 6;
inline constexpr size_t kAnalogOffset = 8;
inline constexpr size_t kAnalogOutOfRange = 10;
inline constexpr size_t kAnalogSpare = 12;
inline constexpr size_t kAnalogSpareLength = 8;

// GetConfigVars: the averaging count, unsigned 32 bits, high word first.
inline constexpr size_t kConfigAveragingHigh = 4;
inline constexpr size_t kConfigAveragingLow = 6;

// GetKRV02State: unsigned words unless said otherwise.
inline constexpr size_t kStateBasePixel = 0;
inline constexpr size_t kStateSumPixel = 2;
inline constexpr size_t kStateNumPixel = 4;
inline constexpr size_t kStateSubPixel = 6;
inline constexpr size_t kStateRange = 8;       // signed raw range
inline constexpr size_t kStateScanCount = 10;  // signed
inline constexpr size_t kStateScanning = 12;   // non-zero while scanning

}  // namespace krv02

namespace krv02 {

// GetErrorState: six signed counters.
inline constexpr size_t kErrorPowerUps = 0;
inline constexpr size_t kErrorResets = 2;
inline constexpr size_t kErrorChecksum = 4;
inline constexpr size_t kErrorCommand = 6;
inline constexpr size_t kErrorCalibration = 8;  // kCalibratedStatus when calibrated
inline constexpr size_t kErrorIllegal = 10;

// HLAScanResult: the statistics of the last scan, signed words.
inline constexpr size_t kScanHighValue = 0;  // raw range
inline constexpr size_t kScanHighNumber = 2;
inline constexpr size_t kScanLowValue = 4;   // raw range
inline constexpr size_t kScanLowNumber = 6;
inline constexpr size_t kScanAverage = 8;    // raw range

// GetVersion: the firmware version in hundredths, its letter, and the
// FPGA version in tenths.
inline constexpr size_t kVersionFirmware = 0;
inline constexpr size_t kVersionLetter = 4;
inline constexpr size_t kVersionFpga = 5;

}  // namespace krv02
