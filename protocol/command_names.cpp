#include "protocol/command_names.h"

#include <cstdio>

#include "protocol/command_ids.h"

namespace cmd {
namespace {

struct Named {
  uint8_t id;
  const char* name;
};

// Every id that either program sends; shared ids are decided below.
constexpr Named kNames[] = {
    {SetLaserOn, "SetLaserOn"},
    {SetLaserOff, "SetLaserOff"},
    {StartScan, "StartScan"},
    {StopScan, "StopScan"},
    {SetScanInterval, "SetScanInterval"},
    {ResetSensor, "ResetSensor"},
    {SetOffset, "SetOffset"},
    {SetMode, "SetMode"},
    {HLAScanResult, "HLAScanResult"},
    {GetScanBufferPortion, "GetScanBufferPortion"},
    {GetRange, "GetRange"},
    {SetFilterFactors, "SetFilterFactors"},
    {ApplyScanFilter, "ApplyScanFilter"},
    {SetSensorAddress, "SetSensorAddress"},
    {GetErrorState, "GetErrorState"},
    {GetKRV02State, "GetKRV02State"},
    {SetAnalogOuputFactors, "SetAnalogOuputFactors"},
    {GetAnalogFactors, "GetAnalogFactors"},
    {GetVersion, "GetVersion"},
    {GetConfigVars, "GetConfigVars"},
    {SetConfigVars, "SetConfigVars"},
    {SetKRV04Mode, "SetKRV04Mode"},
    {GetPeak, "GetPeak"},
    {GetKRV04Version, "GetKRV04Version"},
    {SetOutOfRangeMode, "SetOutOfRangeMode"},
    {WriteWaneParams, "WriteWaneParams"},
    {ReadWaneParams, "ReadWaneParams"},
    {SetBoardTimeout, "SetBoardTimeout"},
    {GetBoardTimeout, "GetBoardTimeout"},
    {SetDefaults, "SetDefaults"},
    {GetNumHoldScans, "GetNumHoldScans"},
    {SetSensorCheckMode, "SetSensorCheckMode"},
    {WriteFlashProtect1, "WriteFlashProtect1"},
    {WriteFlashProtect2, "WriteFlashProtect2"},
    {SetModelName, "SetModelName"},
    {SetSerialNum, "SetSerialNum"},
    {SetThreshold, "SetThreshold"},
    {SetMaxLP, "SetMaxLP"},
    {SetMinLP, "SetMinLP"},
    {UploadCode, "UploadCode"},
    {UploadFPGA, "UploadFPGA"},
    {UploadCalibration, "UploadCalibration"},
    {SetAnalogMinVolts, "SetAnalogMinVolts"},
    {SetAnalogMaxVolts, "SetAnalogMaxVolts"},
    {SetBaudRate, "SetBaudRate"},
    {SetAnalogMinRange, "SetAnalogMinRange"},
    {SetAnalogMaxRange, "SetAnalogMaxRange"},
    {GetModelName, "GetModelName"},
    {GetSerialNum, "GetSerialNum"},
    {GetMaxLP, "GetMaxLP"},
    {GetMinLP, "GetMinLP"},
    {GetThreshold, "GetThreshold"},
    {SetAnalogOutOfRange, "SetAnalogOutOfRange"},
    {ReadMemory, "ReadMemory"},
};

}  // namespace

std::string CommandName(uint8_t id, size_t dataLength, bool reply) {
  switch (id) {
    case GetSensorSetup:
      if (reply && dataLength == 31) return "GetSensorSetup";
      if (reply && dataLength == 28) return "GetKRV04Setup";
      return "GetSensorSetup/GetKRV04Setup";
    case GetSensorState:
      if (reply && dataLength == 14) return "GetSensorState";
      if (reply && dataLength == 22) return "GetKRV04BFState";
      return "GetSensorState/GetKRV04BFState";
    case GetLaserPower:
      if (!reply) return dataLength == 2 ? "SetNumHoldScans" : "GetLaserPower";
      return dataLength == 1 ? "GetLaserPower" : "SetNumHoldScans";
    default: break;
  }
  for (const Named& n : kNames)
    if (n.id == id) return n.name;
  char text[24];
  std::snprintf(text, sizeof text, "Unknown(0x%02X)", id);
  return text;
}

}  // namespace cmd
