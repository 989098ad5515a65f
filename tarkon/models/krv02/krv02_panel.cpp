#include "tarkon/models/krv02/krv02_panel.h"

#include "tarkon/models/krv02/krv02_replies.h"

namespace krv02 {
namespace {

using live_panel_text::Signed;
using live_panel_text::Unsigned;

uint16_t W(const uint8_t* area, size_t offset) { return SensorCommands::Word(area, offset); }

bool PollState(SensorCommands& c) { return c.GetKRV02State() != 0; }
bool PollExtras(SensorCommands& c) { return c.GetLaserPower() && c.GetPeak(); }
bool Poll(SensorCommands& c) { return PollState(c) && PollExtras(c); }

std::vector<std::string> Values(const SensorCommands& c, const RangeTextOf& rangeText) {
  const uint8_t* s = c.krv02State;
  return {Unsigned(W(s, kStateBasePixel)), Unsigned(W(s, kStateSumPixel)),
          Unsigned(W(s, kStateNumPixel)),  Unsigned(W(s, kStateSubPixel)),
          Signed(W(s, kStateScanCount)),   W(s, kStateScanning) != 0 ? "On" : "Off",
          std::to_string(c.laserPower),    Signed(c.peak),
          "",                              rangeText(static_cast<int16_t>(W(s, kStateRange)))};
}

int16_t RawRange(const SensorCommands& c) { return static_cast<int16_t>(W(c.krv02State, kStateRange)); }

}  // namespace

const LivePanelParts& LivePanel() {
  static const LivePanelParts parts = {
      {"Base pix.", "Sum pix.", "Num pix.", "Sub pix.", "Scan count", "Scanning", "Laser power", "Peak", "",
       "Range"},
      Poll,
      Values,
      RawRange,
      true,
      PollState,
      PollExtras,
  };
  return parts;
}

const std::vector<const char*>& ErrorNames() {
  static const std::vector<const char*> names = {"PowerUp count",     "Callibration status", "Reset count",
                                                 "Illegal opertions", "Command errors",      "Checksum/CRC errors"};
  return names;
}

std::vector<std::string> ErrorValues(const SensorCommands& c) {
  const uint8_t* e = c.errorState;
  return {Signed(W(e, kErrorPowerUps)),
          static_cast<int16_t>(W(e, kErrorCalibration)) == kCalibratedStatus ? "Callibration OK"
                                                                             : "No Callibration",
          Signed(W(e, kErrorResets)),  Signed(W(e, kErrorIllegal)),
          Signed(W(e, kErrorCommand)), Signed(W(e, kErrorChecksum))};
}

const std::vector<const char*>& StatisticsNames() {
  static const std::vector<const char*> names = {"Scans count",     " High scan number", "High scan value",
                                                 "Low scan number", "Low scan value",    "Average scan value"};
  return names;
}

std::vector<std::string> StatisticsValues(const SensorCommands& c, const RangeTextOf& rangeText) {
  const uint8_t* h = c.hlaResult;
  return {Signed(W(c.krv02State, kStateScanCount)),
          Signed(W(h, kScanHighNumber)),
          rangeText(static_cast<int16_t>(W(h, kScanHighValue))),
          Signed(W(h, kScanLowNumber)),
          rangeText(static_cast<int16_t>(W(h, kScanLowValue))),
          rangeText(static_cast<int16_t>(W(h, kScanAverage)))};
}

}  // namespace krv02
