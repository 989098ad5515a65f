#pragma once
// Command identifiers of the sensor protocol, for both programs (Ostrel
// sends GetRange, GetThreshold and ReadMemory, which Tarkon does not).

#include <cstdint>

namespace cmd {
constexpr uint8_t SetLaserOn = 1;
constexpr uint8_t SetLaserOff = 2;
constexpr uint8_t StartScan = 3;
constexpr uint8_t StopScan = 4;
constexpr uint8_t SetScanInterval = 5;
constexpr uint8_t ResetSensor = 6;
constexpr uint8_t SetOffset = 8;
constexpr uint8_t SetMode = 9;
constexpr uint8_t HLAScanResult = 10;
constexpr uint8_t GetScanBufferPortion = 11;
constexpr uint8_t GetRange = 12;
constexpr uint8_t SetFilterFactors = 14;
constexpr uint8_t ApplyScanFilter = 15;
constexpr uint8_t SetSensorAddress = 18;
constexpr uint8_t GetSensorSetup = 19;
constexpr uint8_t GetKRV04Setup = 19;  // the same id; the KRV04 family's layout
constexpr uint8_t GetErrorState = 20;
constexpr uint8_t GetKRV02State = 21;
constexpr uint8_t SetAnalogOuputFactors = 26;
constexpr uint8_t GetAnalogFactors = 27;
constexpr uint8_t GetVersion = 30;
constexpr uint8_t GetConfigVars = 32;
constexpr uint8_t SetConfigVars = 33;
constexpr uint8_t SetKRV04Mode = 36;
constexpr uint8_t GetPeak = 38;
constexpr uint8_t GetKRV04Version = 39;
constexpr uint8_t SetOutOfRangeMode = 40;
constexpr uint8_t GetSensorState = 41;  // also GetKRV04BFState
constexpr uint8_t WriteWaneParams = 46;
constexpr uint8_t ReadWaneParams = 47;
constexpr uint8_t SetBoardTimeout = 48;
constexpr uint8_t GetBoardTimeout = 49;
constexpr uint8_t SetDefaults = 66;
constexpr uint8_t GetLaserPower = 67;  // no data; with 2 data bytes it is SetNumHoldScans
constexpr uint8_t SetNumHoldScans = 67;
constexpr uint8_t GetNumHoldScans = 68;
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
constexpr uint8_t SetAnalogMinVolts = 90;
constexpr uint8_t SetAnalogMaxVolts = 91;
constexpr uint8_t SetBaudRate = 92;
constexpr uint8_t SetAnalogMinRange = 93;
constexpr uint8_t SetAnalogMaxRange = 94;
constexpr uint8_t GetModelName = 127;
constexpr uint8_t GetSerialNum = 128;
constexpr uint8_t GetMaxLP = 129;
constexpr uint8_t GetMinLP = 130;
constexpr uint8_t GetThreshold = 131;
constexpr uint8_t SetAnalogOutOfRange = 146;
constexpr uint8_t ReadMemory = 150;
}  // namespace cmd
