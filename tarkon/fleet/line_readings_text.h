#pragma once
// The line view's readings as text, the same for every front end: a CSV
// line per sensor (the window's "Save CSV", `watch --bus --csv`) and a
// terminal line per sensor.

#include <string>
#include <vector>

#include "tarkon/fleet/line_poller.h"

namespace fleet {

// "time,round,address,model,serial_number,state,range,unit,laser_power,peak,good,failed"
std::string LineCsvHeader();
// One sensor's line under that header; `time` as IsoTimeNow() gives it.
std::string LineCsvLine(const std::string& time, long round, const LineSensorReading& reading);
// The header and a line per sensor, as saved from the window.
std::string LineReadingsCsv(const std::string& time, long round, const std::vector<LineSensorReading>& readings);
// "  3  KRV02        S/N 00012345  answering  12.345 inch  laser power 40  peak 310  good 12 failed 0"
std::string LineTextLine(const LineSensorReading& reading);
// The range as a number in the sensor's units ("12.3450"); empty when out
// of range or not read.
std::string RangeNumberText(const LineSensorReading& reading);

}  // namespace fleet
