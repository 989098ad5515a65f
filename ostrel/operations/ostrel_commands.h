#pragma once
// The sensor commands Ostrel sends (the identifiers of the shared command
// set, and Ostrel's own three reads of the board flipper).

#include <cstdint>

namespace ostrel::command {
constexpr uint8_t SetLaserOn = 1;
constexpr uint8_t SetLaserOff = 2;
constexpr uint8_t GetScanBufferPortion = 11;
constexpr uint8_t GetRange = 12;
constexpr uint8_t SetSensorAddress = 18;
constexpr uint8_t GetKRV04Setup = 19;
constexpr uint8_t SetKRV04Mode = 36;
constexpr uint8_t GetKRV04Version = 39;
constexpr uint8_t GetSensorState = 41;
constexpr uint8_t WriteWaneParams = 46;
constexpr uint8_t ReadWaneParams = 47;
constexpr uint8_t SetBoardTimeout = 48;
constexpr uint8_t GetBoardTimeout = 49;
constexpr uint8_t SetDefaults = 66;
constexpr uint8_t SetSensorCheckMode = 77;
constexpr uint8_t WriteFlashProtect1 = 78;
constexpr uint8_t WriteFlashProtect2 = 79;
constexpr uint8_t SetModelName = 80;
constexpr uint8_t SetSerialNum = 81;
constexpr uint8_t SetThreshold = 82;
constexpr uint8_t SetMaxLP = 83;
constexpr uint8_t SetMinLP = 84;
constexpr uint8_t UploadCode = 86;
constexpr uint8_t UploadFPGA = 87;
constexpr uint8_t UploadCalibration = 88;
constexpr uint8_t SetBaudRate = 92;
constexpr uint8_t GetModelName = 127;
constexpr uint8_t GetSerialNum = 128;
constexpr uint8_t GetMaxLP = 129;
constexpr uint8_t GetMinLP = 130;
constexpr uint8_t GetThreshold = 131;
constexpr uint8_t ReadMemory = 150;
}  // namespace ostrel::command
