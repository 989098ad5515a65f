#pragma once
// Where each value sits in the replies of the KRV04 family (KRV04, Qmt
// Short, KRV04 Board Flipper), as the command object leaves them: 16-bit
// fields in host order. Every 16-bit field and byte of this family is
// unsigned. Every offset of the family is written here once; the settings
// records, the document and the backup layouts read them from here.

#include <cstddef>

namespace krv04 {

// GetKRV04Setup: the 28-byte setup record.
inline constexpr size_t kSetupMaxLaserPower = 8;
inline constexpr size_t kSetupMinLaserPower = 9;
inline constexpr size_t kSetupThreshold = 10;
inline constexpr size_t kSetupAddress = 11;  // byte: the sensor's address
inline constexpr size_t kSetupMinRange = 12;  // raw range units
inline constexpr size_t kSetupMaxRange = 14;
inline constexpr size_t kSetupMinVolts = 16;
inline constexpr size_t kSetupMaxVolts = 18;
inline constexpr size_t kSetupOutOfRange = 20;
inline constexpr size_t kSetupHoldLastRange = 26;  // KRV04: 1 holds the last valid range
inline constexpr size_t kSetupMode = 27;           // byte: range mode number

// GetNumHoldScans (KRV04) and GetBoardTimeout (board flipper): one word.
inline constexpr size_t kCountWord = 0;

// GetSensorState and GetKRV04BFState: the state the live panel shows.
inline constexpr size_t kStateBasePixel = 0;
inline constexpr size_t kStateSumPixel = 2;
inline constexpr size_t kStateNumPixel = 4;
inline constexpr size_t kStateSubPixel = 6;
inline constexpr size_t kStateRange = 8;  // signed raw range
inline constexpr size_t kStateLaserPower = 10;
inline constexpr size_t kStatePeak = 12;

// GetKRV04Version: the firmware version in hundredths, its letter, and
// the FPGA version in tenths.
inline constexpr size_t kVersionFirmware = 0;
inline constexpr size_t kVersionLetter = 4;
inline constexpr size_t kVersionFpga = 5;

}  // namespace krv04
