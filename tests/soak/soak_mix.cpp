#include "soak/soak_mix.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <utility>

#include "protocol/frame.h"
#include "sim/reply_records.h"

namespace soak {
namespace {

using Bytes = std::vector<uint8_t>;

// SetBaudRate waits this long for the sensor to switch before it reads the
// acknowledgement.
constexpr uint32_t kBaudRatePauseMs = 300;

Bytes Of(const uint8_t* p, size_t n) { return Bytes(p, p + n); }

Bytes WordBytes(uint16_t v) { return Bytes{static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>(v >> 8)}; }

template <size_t N>
Bytes Of(const std::array<uint8_t, N>& a) {
  return Bytes(a.begin(), a.end());
}

// "" when equal; otherwise the first differing byte.
std::string Compare(const Bytes& host, const Bytes& sensor) {
  if (host.size() != sensor.size()) {
    return "size " + std::to_string(host.size()) + " instead of " + std::to_string(sensor.size());
  }
  for (size_t i = 0; i < host.size(); ++i) {
    if (host[i] != sensor[i]) {
      char text[96];
      std::snprintf(text, sizeof text, "byte %zu is 0x%02X, the sensor holds 0x%02X", i, host[i], sensor[i]);
      return text;
    }
  }
  return "";
}

std::string ValueDiffers(const char* what, uint32_t sent, uint32_t held) {
  if (sent == held) return "";
  return std::string(what) + " holds " + std::to_string(held) + ", " + std::to_string(sent) + " was sent";
}

}  // namespace

CommandMix::CommandMix(SensorCommands& commands, sim::VirtualSensor& sensor, bool krv02Family,
                       uint64_t seed, TimeRules rules)
    : commands_(commands),
      sensor_(sensor),
      krv02Family_(krv02Family),
      crc_(commands.checkMode() == frame::kCrc),
      rules_(rules),
      rng_(seed) {
  AddQueries();
  AddSettings();
  AddScanRead();
  for (const Op& op : ops_) totalWeight_ += op.weight;
}

void CommandMix::AddQueries() {
  SensorCommands& c = commands_;
  // A query whose whole reply area is compared with the sensor's record of
  // it, encoded least significant byte first (the host's order).
  auto query = [this](std::string name, int weight, std::function<int()> run,
                      std::function<Bytes()> host, std::function<Bytes(const sim::SensorState&)> sensor) {
    Op op;
    op.name = std::move(name);
    op.weight = weight;
    op.run = std::move(run);
    op.area = host;
    op.check = [host, sensor](const sim::SensorState& s) { return Compare(host(), sensor(s)); };
    ops_.push_back(std::move(op));
  };
  constexpr int32_t kHostOrder = frame::kChecksum;

  query("GetModelName", 2, [&c] { return c.GetModelName(); }, [&c] { return Of(c.modelName, 16); },
        [](const sim::SensorState& s) { return Of(s.modelName); });
  query("GetSerialNum", 2, [&c] { return c.GetSerialNum(); }, [&c] { return Of(c.serialNumber, 16); },
        [](const sim::SensorState& s) { return Of(s.serialNumber); });
  query("GetMinLP", 3, [&c] { return c.GetMinLP(); }, [&c] { return Bytes{c.minLP}; },
        [](const sim::SensorState& s) { return Bytes{s.settings.minLaserPower}; });
  query("GetMaxLP", 3, [&c] { return c.GetMaxLP(); }, [&c] { return Bytes{c.maxLP}; },
        [](const sim::SensorState& s) { return Bytes{s.settings.maxLaserPower}; });
  query("GetAnalogFactors", 2, [&c] { return c.GetAnalogFactors(); }, [&c] { return Of(c.analogFactors, 22); },
        [](const sim::SensorState& s) { return sim::records::AnalogFactors(s.settings, kHostOrder); });
  query("GetConfigVars", 2, [&c] { return c.GetConfigVars(); }, [&c] { return Of(c.configVars, 10); },
        [](const sim::SensorState& s) { return sim::records::ConfigVars(s.settings, kHostOrder); });
  query("ReadWaneParams", 2, [&c] { return c.ReadWaneParams(); }, [&c] { return Of(c.waneParams, 12); },
        [](const sim::SensorState& s) { return sim::records::Wane(s.settings, kHostOrder); });
  query("GetErrorState", 2, [&c] { return c.GetErrorState(); }, [&c] { return Of(c.errorState, 12); },
        [](const sim::SensorState& s) { return sim::records::ErrorState(s.errors, kHostOrder); });
  query("GetNumHoldScans", 2, [&c] { return c.GetNumHoldScans(); }, [&c] { return WordBytes(c.holdScans); },
        [](const sim::SensorState& s) { return WordBytes(s.settings.holdScans); });
  ops_.back().quiet = true;  // read within a settings refresh, which reports for it
  query("GetBoardTimeout", 2, [&c] { return c.GetBoardTimeout(); }, [&c] { return WordBytes(c.boardTimeout); },
        [](const sim::SensorState& s) { return WordBytes(s.settings.boardTimeout); });
  query("GetPeak", 2, [&c] { return c.GetPeak(); }, [&c] { return WordBytes(c.peak); },
        [](const sim::SensorState& s) { return WordBytes(s.live.peak); });
  query("GetLaserPower", 2, [&c] { return c.GetLaserPower(); }, [&c] { return Bytes{c.laserPower}; },
        [](const sim::SensorState& s) { return Bytes{s.live.laserPower}; });
  query("HLAScanResult", 1, [&c] { return c.HLAScanResult(); }, [&c] { return Of(c.hlaResult, 10); },
        [](const sim::SensorState& s) { return sim::records::Hla(s, kHostOrder); });
  if (krv02Family_) {
    query("GetVersion", 2, [&c] { return c.GetVersion(); }, [&c] { return Of(c.version, 6); },
          [](const sim::SensorState& s) { return sim::records::Version(s, kHostOrder); });
    query("GetSensorSetup", 4, [&c] { return c.GetSensorSetup(); }, [&c] { return Of(c.sensorSetup, 31); },
          [](const sim::SensorState& s) { return sim::records::Krv02Setup(s, kHostOrder); });
    query("GetKRV02State", 4, [&c] { return c.GetKRV02State(); }, [&c] { return Of(c.krv02State, 14); },
          [](const sim::SensorState& s) { return sim::records::Krv02State(s, kHostOrder); });
  } else {
    query("GetKRV04Version", 2, [&c] { return c.GetKRV04Version(); }, [&c] { return Of(c.krv04Version, 6); },
          [](const sim::SensorState& s) { return sim::records::Version(s, kHostOrder); });
    query("GetKRV04Setup", 4, [&c] { return c.GetKRV04Setup(); }, [&c] { return Of(c.krv04Setup, 28); },
          [](const sim::SensorState& s) { return sim::records::Krv04Setup(s, kHostOrder); });
    query("GetSensorState", 4, [&c] { return c.GetSensorState(); }, [&c] { return Of(c.sensorState, 14); },
          [](const sim::SensorState& s) { return sim::records::SensorStateReply(s, kHostOrder); });
  }
}

void CommandMix::AddSettings() {
  SensorCommands& c = commands_;
  // Settings read an acknowledgement in CRC mode only.
  const uint32_t waits = crc_ ? 1 : 0;
  auto setting = [this, waits](std::string name, int weight, uint32_t range, std::function<int(uint32_t)> send,
                               std::function<uint32_t(const sim::SensorState&)> held) {
    Op op;
    op.name = name;
    op.weight = weight;
    op.replyWaits = waits;
    op.run = [this, range, send] {
      value_ = static_cast<uint32_t>(rng_() % range);
      return send(value_);
    };
    auto check = [name, held](uint32_t sent, const sim::SensorState& s) {
      return ValueDiffers(name.c_str(), sent, held(s));
    };
    settingChecks_.emplace(name, check);
    ops_.push_back(std::move(op));
  };
  auto i32 = [](uint32_t v) { return static_cast<int32_t>(v); };
  setting("SetMinLP", 3, 256, [&c, i32](uint32_t v) { return c.SetMinLP(i32(v)); },
          [](const sim::SensorState& s) { return uint32_t{s.settings.minLaserPower}; });
  setting("SetMaxLP", 3, 256, [&c, i32](uint32_t v) { return c.SetMaxLP(i32(v)); },
          [](const sim::SensorState& s) { return uint32_t{s.settings.maxLaserPower}; });
  setting("SetThreshold", 2, 256, [&c, i32](uint32_t v) { return c.SetThreshold(i32(v)); },
          [](const sim::SensorState& s) { return uint32_t{s.settings.threshold}; });
  setting("SetNumHoldScans", 2, 65536, [&c, i32](uint32_t v) { return c.SetNumHoldScans(i32(v)); },
          [](const sim::SensorState& s) { return uint32_t{s.settings.holdScans}; });
  setting("SetBoardTimeout", 2, 65536, [&c, i32](uint32_t v) { return c.SetBoardTimeout(i32(v)); },
          [](const sim::SensorState& s) { return uint32_t{s.settings.boardTimeout}; });
  setting("SetAnalogMinVolts", 1, 65536, [&c, i32](uint32_t v) { return c.SetAnalogMinVolts(i32(v)); },
          [](const sim::SensorState& s) { return uint32_t{s.settings.analog.minVolts}; });
  setting("SetAnalogMaxRange", 1, 65536, [&c, i32](uint32_t v) { return c.SetAnalogMaxRange(i32(v)); },
          [](const sim::SensorState& s) { return uint32_t{s.settings.analog.maxRange}; });
  // The rate the line already runs at: the command's pause and
  // acknowledgement without a change of speed.
  setting("SetBaudRate", 1, 1, [&c](uint32_t) { return c.SetBaudRate(57600); },
          [](const sim::SensorState& s) { return s.baudRate == 57600 ? 0u : static_cast<uint32_t>(s.baudRate); });
  ops_.back().pausesMs = kBaudRatePauseMs;
  if (krv02Family_) {
    setting("SetScanInterval", 2, 65536, [&c, i32](uint32_t v) { return c.SetScanInterval(i32(v)); },
            [](const sim::SensorState& s) { return uint32_t{s.settings.scanInterval}; });
  }
}

void CommandMix::AddScanRead() {
  Op op;
  op.name = "GetScanBufferPortion";
  op.weight = 3;
  op.run = [this] {
    scanCount_ = 1 + static_cast<int32_t>(rng_() % 252);  // one or two replies
    scanStart_ = static_cast<int32_t>(rng_() % static_cast<uint64_t>(SensorCommands::kScanBufferCapacity - scanCount_ + 1));
    return commands_.GetScanBufferPortion(scanStart_, scanCount_);
  };
  op.check = [this](const sim::SensorState& s) -> std::string {
    const auto per = static_cast<int32_t>(SensorCommands::kScanSamplesPerReply);
    const int32_t replies = (scanCount_ + per - 1) / per;
    for (int32_t i = 0; i < replies; ++i) {
      const int32_t n = std::min(per, scanCount_ - i * per);
      const uint8_t* slot = commands_.scanBuffer + static_cast<size_t>(i) * SensorCommands::kScanSlotSize;
      Bytes sensor(1 + 2 * static_cast<size_t>(n));
      sensor[0] = static_cast<uint8_t>(replies - i);
      for (int32_t k = 0; k < n; ++k) {
        const uint16_t v = s.scanBuffer[static_cast<size_t>(scanStart_ + i * per + k)];
        sensor[1 + 2 * static_cast<size_t>(k)] = static_cast<uint8_t>(v & 0xFF);
        sensor[2 + 2 * static_cast<size_t>(k)] = static_cast<uint8_t>(v >> 8);
      }
      const std::string diff = Compare(Of(slot, commands_.scanReplyLength[i]), sensor);
      if (!diff.empty()) return "reply " + std::to_string(i) + ": " + diff;
    }
    return "";
  };
  ops_.push_back(std::move(op));
}

StepResult CommandMix::Step() {
  int pick = static_cast<int>(rng_() % static_cast<uint64_t>(totalWeight_));
  size_t index = 0;
  while (pick >= ops_[index].weight) pick -= ops_[index++].weight;
  const Op& op = ops_[index];

  StepResult r;
  r.name = op.name;
  r.quiet = op.quiet;
  r.setting = settingChecks_.count(op.name) != 0;
  const Bytes before = op.area ? op.area() : Bytes();

  const auto start = std::chrono::steady_clock::now();
  r.ok = op.run() != 0;
  const auto end = std::chrono::steady_clock::now();
  r.elapsedMs = std::chrono::duration<double, std::milli>(end - start).count();

  uint32_t waits = op.replyWaits;
  if (op.name == "GetScanBufferPortion") {
    const auto per = static_cast<int32_t>(SensorCommands::kScanSamplesPerReply);
    waits = static_cast<uint32_t>((scanCount_ + per - 1) / per);
  }
  r.boundMs = rules_.BoundMs(waits, op.pausesMs);

  if (settingChecks_.count(op.name) != 0) {
    // Checked once a later reply shows that the sensor has handled it (in
    // checksum mode nothing answers the setting itself).
    pending_[op.name] = value_;
  }
  if (r.ok && op.check) {
    const sim::SensorState s = sensor_.Snapshot();
    r.checked = true;
    r.wrongData = op.check(s);
    for (const auto& [name, sent] : pending_) {
      const std::string diff = settingChecks_.at(name)(sent, s);
      if (!diff.empty() && r.notApplied.empty()) r.notApplied = diff;
    }
    pending_.clear();
  }
  if (!r.ok && op.area) r.areaChangedOnFailure = op.area() != before;
  return r;
}

}  // namespace soak
