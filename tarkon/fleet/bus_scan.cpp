#include "tarkon/fleet/bus_scan.h"

#include <algorithm>
#include <cmath>

#include "protocol/bus_probe.h"
#include "protocol/command_ids.h"
#include "protocol/packet_link.h"
#include "tarkon/document/connect_values.h"
#include "tarkon/document/number_reading.h"
#include "tarkon/models/model_table.h"

namespace fleet {
namespace {

constexpr double kProbeLineBytes = 28;  // CRC request (6) and model-name reply (22)
constexpr uint32_t kTurnaroundMs = 10;
constexpr int64_t kLongestProbeBudgetMs = 10000;

bool Known(const std::vector<FoundSensor>& found, int address, int baudRate) {
  return std::any_of(found.begin(), found.end(),
                     [&](const FoundSensor& f) { return f.address == address && f.baudRate == baudRate; });
}

}  // namespace

uint32_t ProbeBudgetMs(int baudRate) {
  if (baudRate <= 0) return 1000;
  const double lineMs = kProbeLineBytes * 10.0 * 1000.0 / baudRate;
  return static_cast<uint32_t>(std::ceil(1.25 * lineMs)) + kTurnaroundMs;
}

std::string CheckScanOptions(const BusScanOptions& o) {
  if (o.from < 1 || o.from > 255 || o.to < 1 || o.to > 255) return "the addresses run from 1 to 255";
  if (o.from > o.to) return "the first address must not be above the last";
  if (o.baudRates.empty()) return "choose at least one baud rate";
  for (int rate : o.baudRates)
    if (!IsSensorBaudRate(rate)) return "a sensor runs at " + BaudRatesPhrase() + " bit/s, not " + std::to_string(rate);
  return std::string();
}

std::string CheckProbeBudgetText(const std::string& text, uint32_t* ms) {
  int64_t value = 0;
  if (!IsWholeNumber(text, &value) || value < 1 || value > kLongestProbeBudgetMs)
    return "--budget needs a whole number of milliseconds from 1 to 10000, not \"" + text + "\"";
  if (ms != nullptr) *ms = static_cast<uint32_t>(value);
  return std::string();
}

long ProbeCount(const BusScanOptions& o) {
  const long addresses = std::max(0, o.to - o.from + 1);
  return addresses * static_cast<long>(o.checkModes.size()) * static_cast<long>(o.baudRates.size());
}

ScanClock::ScanClock(const BusScanOptions& o) : start_(std::chrono::steady_clock::now()) {
  // Nearly every address is silent: a probe waits out its budget, and each
  // check mode begins with a quiet line.
  const double addresses = std::max(0, o.to - o.from + 1);
  double plannedMs = 0;
  for (int baud : o.baudRates) {
    const double budget = o.budgetMs != 0 ? o.budgetMs : ProbeBudgetMs(baud);
    plannedMs +=
        static_cast<double>(o.checkModes.size()) * (addresses * budget + std::max<double>(budget, kQuietLineMs));
  }
  const long total = ProbeCount(o);
  plannedMsPerProbe_ = total > 0 ? plannedMs / static_cast<double>(total) : 0;
}

long ScanClock::SecondsLeft(long done, long total) const {
  // A few probes and a moment are needed before the pace says more than
  // the plan.
  constexpr long kPaceProbes = 8;
  constexpr double kPaceMs = 500;
  const double elapsedMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
  const double perProbe = done >= kPaceProbes && elapsedMs >= kPaceMs ? elapsedMs / static_cast<double>(done)
                                                                      : plannedMsPerProbe_;
  const long left = std::max(0L, total - done);
  return std::lround(perProbe * static_cast<double>(left) / 1000.0);
}

std::string ScanClock::LeftText(long done, long total) const {
  const long seconds = SecondsLeft(done, total);
  if (seconds < 1) return "less than a second left";
  if (seconds < 60) return "about " + std::to_string(seconds) + " s left";
  return "about " + std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s left";
}

bool BusScanner::Scan(const BusScanOptions& o, const Progress& progress, std::vector<FoundSensor>& found,
                      std::string& error) {
  BusProbe probe(link_);
  const long total = ProbeCount(o);
  long done = 0;
  // A stop ends the asking of addresses, but the sensors already found at
  // the current rate are still asked for their serial numbers.
  bool stopped = false;
  // Over raw TCP the rate is the gateway's: a scan at other rates would
  // find the same sensors again under rates they do not run at.
  if (link_.settingsAtGateway() && o.baudRates.size() > 1) {
    error = "the baud rate of a tcp:// line is set at its gateway; scan at the gateway's rate only (one --baud)";
    return false;
  }
  for (int baud : o.baudRates) {
    if (!link_.ApplyBaudRate(baud)) {
      error = std::string("cannot set the port to ") + std::to_string(baud) + " bit/s: " + link_.errorText();
      return false;
    }
    // A gateway's line adds its allowance: a sensor behind it is never
    // taken for absent on a deadline made for a local line.
    const uint32_t budget = (o.budgetMs != 0 ? o.budgetMs : ProbeBudgetMs(baud)) + link_.allowanceMs();
    for (int mode : o.checkModes) {
      if (stopped) break;
      // Let partial frames of the other mode or rate die away on the line.
      probe.Settle(std::max(budget, kQuietLineMs));
      // A sensor's answer, on time or late, identified by the address in it.
      auto take = [&](const BusProbe::Reply& reply) {
        if (reply.address < o.from || reply.address > o.to || Known(found, reply.address, baud)) return;
        FoundSensor f;
        f.address = reply.address;
        f.checkMode = mode;
        f.baudRate = baud;
        f.modelString = ReplyText(reply.data.data(), std::min<size_t>(reply.data.size(), 16));
        f.model = DisplayNameOfModelString(f.modelString);
        found.push_back(f);
        if (sighting_) sighting_(found.size() - 1, found.back());
      };
      for (int address = o.from; address <= o.to; ++address) {
        if (progress && !progress(done, total)) {
          stopped = true;
          break;
        }
        ++done;
        if (Known(found, address, baud)) continue;
        BusProbe::Reply reply;
        std::vector<BusProbe::Reply> others;
        const bool answered =
            probe.Query(static_cast<uint8_t>(address), mode, cmd::GetModelName, budget, reply, others);
        for (const BusProbe::Reply& r : others) take(r);
        if (answered) take(reply);
        // Only a silence means nobody is at the address; a port that failed
        // says nothing about the addresses still to come.
        if (!answered && probe.PortFailed()) {
          error = "the port failed at address " + std::to_string(address) + ": " + link_.errorText();
          return false;
        }
      }
    }
    // The serial numbers of this rate's sensors, each in its own mode.
    for (size_t index = 0; index < found.size(); ++index) {
      FoundSensor& f = found[index];
      if (f.baudRate != baud || !f.serialNumber.empty()) continue;
      for (int attempt = 0; attempt < 2 && f.serialNumber.empty(); ++attempt) {
        probe.Settle(std::max(budget, kQuietLineMs));
        BusProbe::Reply reply;
        std::vector<BusProbe::Reply> others;
        if (probe.Query(static_cast<uint8_t>(f.address), f.checkMode, cmd::GetSerialNum, budget * 2, reply, others)) {
          f.serialNumber = ReplyText(reply.data.data(), std::min<size_t>(reply.data.size(), 16), 8);
          if (sighting_ && !f.serialNumber.empty()) sighting_(index, f);
        } else if (probe.PortFailed()) {
          error = "the port failed asking address " + std::to_string(f.address) + " for its serial number: " +
                  link_.errorText();
          return false;
        }
      }
    }
    if (stopped) return true;
  }
  if (progress) progress(total, total);
  return true;
}

bool ScanBusOnDevice(const std::string& device, const BusScanOptions& options, ProtocolTrace* trace,
                     const BusScanner::Progress& progress, std::vector<FoundSensor>& found, std::string& error,
                     const BusScanner::Sighting& sighting) {
  error = CheckScanOptions(options);
  if (!error.empty()) return false;
  PacketLink link;
  link.SetTrace(trace);
  // A platform read bound of 2 ms keeps each wait within the probe budget.
  if (!link.ConnectDevice(device, options.baudRates.front(), kParityNone, kStopOne, 8, 100, 2)) {
    error = "cannot open " + device + ": " + link.errorText();
    return false;
  }
  BusScanner scanner(link);
  scanner.OnSighting(sighting);
  const bool ok = scanner.Scan(options, progress, found, error);
  link.Disconnect();
  return ok;
}

}  // namespace fleet
