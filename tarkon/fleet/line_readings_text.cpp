#include "tarkon/fleet/line_readings_text.h"

#include <cstdio>

#include "tarkon/document/printable_text.h"
#include "tarkon/fleet/range_log.h"

namespace fleet {

std::string LineCsvHeader() {
  return "time,round,address,model,serial_number,state,range,unit,laser_power,peak,good,failed";
}

std::string RangeNumberText(const LineSensorReading& r) {
  if (!r.range) return std::string();
  char text[48];
  std::snprintf(text, sizeof text, "%.4f", *r.range);
  return text;
}

std::string LineCsvLine(const std::string& time, long round, const LineSensorReading& r) {
  return CsvField(time) + "," + std::to_string(round) + "," + std::to_string(r.sensor.address) + "," +
         CsvField(r.model) + "," + CsvField(r.sensor.serialNumber) + "," + CsvField(r.StateText()) + "," +
         RangeNumberText(r) + "," + CsvField(r.unit) + "," + CsvField(r.laserPower) + "," + CsvField(r.peak) + "," +
         std::to_string(r.good) + "," + std::to_string(r.failed);
}

std::string LineReadingsCsv(const std::string& time, long round, const std::vector<LineSensorReading>& readings) {
  std::string text = LineCsvHeader() + "\n";
  for (const LineSensorReading& r : readings) text += LineCsvLine(time, round, r) + "\n";
  return text;
}

std::string LineTextLine(const LineSensorReading& r) {
  char head[96];
  std::snprintf(head, sizeof head, "%3d  %-20s  S/N %-8s  ", r.sensor.address, PrintableText(r.model).c_str(),
                PrintableText(r.sensor.serialNumber).c_str());
  std::string line = head + r.StateText();
  if (!r.rangeText.empty()) line += "  " + r.rangeText;
  if (!r.laserPower.empty()) line += "  laser power " + r.laserPower;
  if (!r.peak.empty()) line += "  peak " + r.peak;
  return line + "  good " + std::to_string(r.good) + " failed " + std::to_string(r.failed);
}

}  // namespace fleet
