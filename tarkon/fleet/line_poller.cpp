#include "tarkon/fleet/line_poller.h"

#include <algorithm>
#include <cstdio>
#include <deque>

#include "protocol/bus_probe.h"
#include "protocol/command_ids.h"
#include "protocol/packet_link.h"
#include "protocol/sensor_commands.h"
#include "tarkon/document/number_reading.h"
#include "tarkon/document/range_mode_table.h"
#include "tarkon/models/model_table.h"
#include "tarkon/models/setting_fields.h"
#include "tarkon/models/setting_values.h"

namespace fleet {
namespace {

using Clock = std::chrono::steady_clock;

// The serial number proper: the first 8 bytes of the reply's 16.
constexpr size_t kSerialChars = 8;

const RangeModeTable& Modes() {
  static const RangeModeTable modes;
  return modes;
}

std::string RowValue(const PanelRows& rows, const char* name) {
  for (const PanelRow& row : rows)
    if (row.name == name) return row.value;
  return std::string();
}

}  // namespace

struct LinePoller::Sensor {
  LineSensorReading reading;  // what a snapshot copies (under the poller's lock)
  SensorCommands commands;
  const ModelParts* parts = nullptr;
  const RangeModeRow* modeRow = nullptr;
  bool learned = false;   // model, serial number and range mode known
  bool extrasRead = false;
  int failuresInRow = 0;
  long polls = 0;
  Clock::time_point nextTry{};  // a silent sensor's next turn
  std::optional<Clock::time_point> lastGood;
  std::deque<std::pair<Clock::time_point, double>> points;
};

std::vector<PolledSensor> PolledSensorsOf(const std::vector<FoundSensor>& found) {
  std::vector<PolledSensor> sensors;
  for (const FoundSensor& f : found) {
    PolledSensor s;
    s.address = f.address;
    s.checkMode = f.checkMode;
    s.model = ModelIndexOfString(f.modelString);
    s.serialNumber = f.serialNumber;
    sensors.push_back(s);
  }
  return sensors;
}

const char* LineSensorStateWord(LineSensorState state) {
  switch (state) {
    case LineSensorState::kWaiting: return "waiting";
    case LineSensorState::kAnswering: return "answering";
    case LineSensorState::kSilent: return "silent";
    case LineSensorState::kChanged: return "changed";
    case LineSensorState::kUnknownModel: return "unknown model";
  }
  return "?";
}

std::string LineSensorReading::StateText() const {
  switch (state) {
    case LineSensorState::kSilent:
      if (secondsSinceGood < 0) return "silent (never answered)";
      return "silent (last answer " + std::to_string(static_cast<long>(secondsSinceGood)) + " s ago)";
    case LineSensorState::kChanged:
      return "changed: S/N " + otherSerial + " answers now";
    case LineSensorState::kUnknownModel:
      return "unknown model \"" + model + "\"";
    default:
      return LineSensorStateWord(state);
  }
}

LinePoller::LinePoller(PacketLink& link, int baudRate, std::vector<PolledSensor> sensors, LinePollerTiming timing)
    : link_(link), baudRate_(baudRate), timing_(timing) {
  // Those of one check mode one after the other: a round of a mixed bus
  // changes the mode (and waits for a quiet line) twice, not per sensor.
  std::stable_sort(sensors.begin(), sensors.end(),
                   [](const PolledSensor& a, const PolledSensor& b) { return a.checkMode < b.checkMode; });
  for (const PolledSensor& given : sensors) {
    auto s = std::make_unique<Sensor>();
    s->reading.sensor = given;
    s->reading.model = ModelDisplayName(given.model);
    s->commands.AttachLink(&link_);
    s->commands.UseAddress(given.address);
    s->commands.UseCheckMode(given.checkMode);
    sensors_.push_back(std::move(s));
  }
}

LinePoller::~LinePoller() = default;

bool LinePoller::Step() {
  if (portFailed_ || sensors_.empty()) return false;
  const Clock::time_point now = Clock::now();
  for (size_t i = 0; i < sensors_.size(); ++i) {
    const size_t index = (next_ + i) % sensors_.size();
    Sensor& s = *sensors_[index];
    const LineSensorState state = s.reading.state;
    if (state == LineSensorState::kChanged || state == LineSensorState::kUnknownModel) continue;
    if (state == LineSensorState::kSilent && now < s.nextTry) continue;
    next_ = index + 1;
    CountRound(index);
    // A sensor of the other check mode may have taken the last frame for
    // the start of one of its own: the line stays quiet until it gave up.
    if (lastMode_ && *lastMode_ != s.reading.sensor.checkMode) BusProbe(link_).Settle(kQuietLineMs);
    lastMode_ = s.reading.sensor.checkMode;
    // After a failed poll the sensor is asked with a short wait: a sensor
    // that went away costs the others one full exchange budget, not two.
    if (s.failuresInRow > 0 || state == LineSensorState::kSilent) {
      RetrySilent(s);
    } else if (!s.learned) {
      LearnSensor(s);
    } else {
      PollSensor(s);
    }
    return true;
  }
  return false;
}

std::chrono::milliseconds LinePoller::TimeToNextDue() const {
  const Clock::time_point now = Clock::now();
  std::optional<Clock::time_point> soonest;
  for (const auto& s : sensors_) {
    const LineSensorState state = s->reading.state;
    if (state == LineSensorState::kChanged || state == LineSensorState::kUnknownModel) continue;
    if (state != LineSensorState::kSilent) return std::chrono::milliseconds(0);
    if (!soonest || s->nextTry < *soonest) soonest = s->nextTry;
  }
  if (!soonest) return std::chrono::milliseconds(1000);  // nobody left to poll
  return std::max(std::chrono::milliseconds(0),
                  std::chrono::duration_cast<std::chrono::milliseconds>(*soonest - now));
}

void LinePoller::CountRound(size_t index) {
  // A round ends when the turn comes back to a sensor at or before the
  // last one polled: every sensor due has had its turn.
  const Clock::time_point now = Clock::now();
  std::lock_guard<std::mutex> lock(mutex_);
  if (!lastPolled_) {
    roundStart_ = now;
  } else if (index <= *lastPolled_) {
    ++rounds_;
    lastRoundSeconds_ = std::chrono::duration<double>(now - roundStart_).count();
    roundStart_ = now;
  }
  lastPolled_ = index;
}

bool LinePoller::LearnSensor(Sensor& s) {
  SensorCommands& c = s.commands;
  int model = s.reading.sensor.model;
  if (model < 0) {
    if (!c.GetModelName(true)) {
      Failed(s);
      return false;
    }
    const ModelIdentification id = IdentifyModelReply(c.modelName, false);
    if (!id.identified) {
      std::lock_guard<std::mutex> lock(mutex_);
      s.reading.state = LineSensorState::kUnknownModel;
      s.reading.model = ReplyText(c.modelName, sizeof c.modelName);
      return true;
    }
    model = id.model;
  }
  const ModelParts* parts = PartsOfModel(model);
  if (parts == nullptr) {
    std::lock_guard<std::mutex> lock(mutex_);
    s.reading.state = LineSensorState::kUnknownModel;
    return true;
  }
  if (!c.GetSerialNum()) {
    Failed(s);
    return false;
  }
  TakeSerial(s, ReplyText(c.serialNumber, sizeof c.serialNumber, kSerialChars));
  if (s.reading.state == LineSensorState::kChanged) return true;
  // The range mode, from the reply the model's "Mode" setting is read
  // from; a model of one mode has none.
  int mode = 0;
  if (const SettingField* row = setting_fields::Find(parts->settingRows(), "Mode");
      row != nullptr && row->source != nullptr) {
    if (!setting_values::ReadReply(c, row->source)) {
      Failed(s);
      return false;
    }
    mode = parts->modeByte(c);
  }
  s.parts = parts;
  s.modeRow = &Modes().Lookup(model, mode);
  s.learned = true;
  std::lock_guard<std::mutex> lock(mutex_);
  s.reading.sensor.model = model;
  s.reading.model = ModelDisplayName(model);
  s.reading.unit = RangeModeTable::UnitOfFormat(s.modeRow->unitFormat);
  s.reading.rows = live_panel_text::Named(parts->livePanel().names);
  return true;
}

void LinePoller::TakeSerial(Sensor& s, const std::string& serial) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (s.reading.sensor.serialNumber.empty()) {
    s.reading.sensor.serialNumber = serial;
  } else if (serial != s.reading.sensor.serialNumber) {
    // Another sensor at this address: what it reads is not this one's.
    s.reading.state = LineSensorState::kChanged;
    s.reading.otherSerial = serial;
  }
}

bool LinePoller::PollSensor(Sensor& s) {
  const LivePanelParts& panel = s.parts->livePanel();
  SensorCommands& c = s.commands;
  ++s.polls;
  if (!(panel.pollState != nullptr ? panel.pollState(c) : panel.poll(c))) {
    Failed(s);
    return false;
  }
  bool extrasFailed = false;
  if (panel.pollExtras != nullptr && (!s.extrasRead || s.polls % timing_.extrasEvery == 0)) {
    s.extrasRead = panel.pollExtras(c) || s.extrasRead;
    extrasFailed = !s.extrasRead;
  }
  if (timing_.serialEvery > 0 && s.polls % timing_.serialEvery == 0) {
    if (!c.GetSerialNum()) {
      Failed(s);
      return false;
    }
    TakeSerial(s, ReplyText(c.serialNumber, sizeof c.serialNumber, kSerialChars));
    if (s.reading.state == LineSensorState::kChanged) return true;
  }
  const RangeModeRow& row = *s.modeRow;
  const std::vector<std::string> values =
      panel.values(c, [&row](int16_t raw) { return RangeModeTable::RangeText(row, raw); });
  const int16_t raw = panel.rawRange(c);
  const Clock::time_point now = Clock::now();
  std::lock_guard<std::mutex> lock(mutex_);
  LineSensorReading& r = s.reading;
  for (size_t i = 0; i < r.rows.size() && i < values.size(); ++i) r.rows[i].value = values[i];
  r.rangeText = RangeModeTable::RangeText(row, raw);
  r.range = RangeModeTable::RangeValue(row, raw);
  // Until the extras came in, the panel's laser power and peak are not
  // this sensor's: they stay empty.
  const bool extrasShown = panel.pollExtras == nullptr || s.extrasRead;
  r.laserPower = extrasShown ? RowValue(r.rows, "Laser power") : std::string();
  r.peak = extrasShown ? RowValue(r.rows, "Peak") : std::string();
  if (extrasFailed) ++r.failed;
  ++r.good;
  r.state = LineSensorState::kAnswering;
  r.lastGood = std::chrono::system_clock::now();
  s.lastGood = now;
  if (r.range) s.points.emplace_back(now, *r.range);
  const auto oldest = now - std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double>(timing_.historySeconds));
  while (!s.points.empty() && s.points.front().first < oldest) s.points.pop_front();
  return true;
}

bool LinePoller::RetrySilent(Sensor& s) {
  BusProbe probe(link_);
  BusProbe::Reply reply;
  std::vector<BusProbe::Reply> others;
  const uint32_t budget = 2 * ProbeBudgetMs(baudRate_) + link_.allowanceMs();
  if (probe.Query(static_cast<uint8_t>(s.reading.sensor.address), s.reading.sensor.checkMode, cmd::GetSerialNum,
                  budget, reply, others)) {
    TakeSerial(s, ReplyText(reply.data.data(), std::min(reply.data.size(), size_t{16}), kSerialChars));
    if (s.reading.state != LineSensorState::kChanged) Answered(s);
    return true;
  }
  if (probe.PortFailed()) {
    portFailed_ = true;
    portError_ = std::string("the port failed: ") + link_.errorText();
    return false;
  }
  Failed(s);
  return false;
}

void LinePoller::Answered(Sensor& s) {
  s.failuresInRow = 0;
  std::lock_guard<std::mutex> lock(mutex_);
  ++s.reading.good;
  // Back from a silence: the next turn polls it (or learns it first).
  s.reading.state = s.learned ? LineSensorState::kAnswering : LineSensorState::kWaiting;
}

void LinePoller::Failed(Sensor& s) {
  ++s.failuresInRow;
  std::lock_guard<std::mutex> lock(mutex_);
  ++s.reading.failed;
  if (s.failuresInRow >= timing_.failuresToSilent) {
    s.reading.state = LineSensorState::kSilent;
    s.nextTry = Clock::now() + std::chrono::milliseconds(timing_.silentRetryMs);
  }
}

std::vector<LineSensorReading> LinePoller::Snapshot() const {
  const Clock::time_point now = Clock::now();
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<LineSensorReading> out;
  out.reserve(sensors_.size());
  for (const auto& s : sensors_) {
    LineSensorReading r = s->reading;
    r.secondsSinceGood = s->lastGood ? std::chrono::duration<double>(now - *s->lastGood).count() : -1;
    r.history.clear();
    for (const auto& [when, range] : s->points)
      r.history.push_back({std::chrono::duration<double>(now - when).count(), range});
    out.push_back(std::move(r));
  }
  return out;
}

long LinePoller::rounds() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return rounds_;
}

double LinePoller::lastRoundSeconds() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastRoundSeconds_;
}

std::string PollingRateText(const std::vector<LineSensorReading>& readings, double roundSeconds, long rounds) {
  long silent = 0;
  long changed = 0;
  for (const LineSensorReading& r : readings) {
    if (r.state == LineSensorState::kSilent) ++silent;
    if (r.state == LineSensorState::kChanged || r.state == LineSensorState::kUnknownModel) ++changed;
  }
  std::string text = std::to_string(readings.size()) + (readings.size() == 1 ? " sensor" : " sensors");
  std::string notes;
  if (silent > 0) notes += std::to_string(silent) + " silent";
  if (changed > 0) notes += (notes.empty() ? "" : ", ") + std::to_string(changed) + " not polled";
  if (!notes.empty()) text += " (" + notes + ")";
  if (rounds == 0) return text + ", the first round runs";
  char period[64];
  if (roundSeconds >= 0.1) {
    std::snprintf(period, sizeof period, ", each every %.2f s", roundSeconds);
  } else {
    std::snprintf(period, sizeof period, ", each every %.1f ms", roundSeconds * 1000);
  }
  return text + period;
}

std::string ParseAddressList(const std::string& text, std::vector<int>& addresses) {
  addresses.clear();
  const std::string why = "--addresses needs addresses from 1 to 255 such as 3,5,7-9, not \"" + text + "\"";
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    const std::string item = text.substr(start, comma - start);
    const size_t dash = item.find('-');
    int64_t first = 0;
    int64_t last = 0;
    if (!IsWholeNumber(item.substr(0, dash), &first)) return why;
    last = first;
    if (dash != std::string::npos && !IsWholeNumber(item.substr(dash + 1), &last)) return why;
    if (first < 1 || last > 255 || first > last) return why;
    for (int64_t a = first; a <= last; ++a) {
      if (std::find(addresses.begin(), addresses.end(), a) != addresses.end())
        return "--addresses names address " + std::to_string(a) + " twice";
      addresses.push_back(static_cast<int>(a));
    }
    start = comma + 1;
  }
  return std::string();
}

// --- LineWatch -----------------------------------------------------------------

LineWatch::~LineWatch() { Stop(); }

bool LineWatch::Start(const Setup& setup, ProtocolTrace* trace, Changed changed, std::string& error) {
  if (running_) {
    error = "the line view polls already";
    return false;
  }
  if (thread_.joinable()) thread_.join();  // a watch that ended on its own
  // The baud rate (and a scan's addresses) by the bus scan's own rule.
  BusScanOptions scan = setup.sensors.empty() ? setup.scan : BusScanOptions{};
  scan.baudRates = {setup.baudRate};
  error = CheckScanOptions(scan);
  if (!error.empty()) return false;
  stop_ = false;
  running_ = true;
  changed_ = std::move(changed);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    error_.clear();
    poller_.reset();
  }
  thread_ = std::thread([this, setup, trace] { Work(setup, trace); });
  return true;
}

void LineWatch::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void LineWatch::Fail(const std::string& why) {
  std::lock_guard<std::mutex> lock(mutex_);
  error_ = why;
}

void LineWatch::Work(Setup setup, ProtocolTrace* trace) {
  auto link = std::make_unique<PacketLink>();
  link->SetTrace(trace);
  // A platform read bound of 2 ms keeps each wait within a short budget.
  if (!link->ConnectDevice(setup.device, setup.baudRate, kParityNone, kStopOne, 8, 100, 2)) {
    Fail("cannot open " + setup.device + ": " + link->errorText());
  } else {
    std::vector<PolledSensor> sensors = setup.sensors;
    bool ok = true;
    if (sensors.empty()) {
      BusScanOptions scan = setup.scan;
      scan.baudRates = {setup.baudRate};
      scanning_ = true;
      std::vector<FoundSensor> found;
      std::string error;
      BusScanner scanner(*link);
      ok = scanner.Scan(
          scan,
          [this](long done, long total) {
            scanDone_ = done;
            scanTotal_ = total;
            if (changed_) changed_();
            return !stop_;
          },
          found, error);
      scanning_ = false;
      if (!ok) Fail(error);
      sensors = PolledSensorsOf(found);
      if (ok && sensors.empty() && !stop_)
        Fail("no sensor answered on " + setup.device + " at addresses " + std::to_string(scan.from) + " to " +
             std::to_string(scan.to));
    }
    if (ok && !sensors.empty()) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        poller_ = std::make_unique<LinePoller>(*link, setup.baudRate, std::move(sensors), setup.timing);
      }
      LinePoller& poller = *poller_;
      long reported = 0;
      while (!stop_) {
        const bool polled = poller.Step();
        if (setup.roundDone && poller.rounds() > reported) {
          reported = poller.rounds();
          setup.roundDone(reported, poller.Snapshot());
        }
        if (poller.portFailed()) {
          Fail(poller.portError());
          break;
        }
        if (changed_) changed_();
        if (!polled) {
          // Every sensor is silent and not due yet: wait, but wake for Stop.
          std::unique_lock<std::mutex> lock(mutex_);
          wake_.wait_for(lock, std::min(poller.TimeToNextDue(), std::chrono::milliseconds(200)),
                         [this] { return stop_.load(); });
        }
      }
    }
    link->Disconnect();
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    link_ = std::move(link);
  }
  running_ = false;
  if (changed_) changed_();
}

std::vector<LineSensorReading> LineWatch::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return poller_ ? poller_->Snapshot() : std::vector<LineSensorReading>();
}

std::string LineWatch::RateText() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!poller_) return std::string();
  return PollingRateText(poller_->Snapshot(), poller_->lastRoundSeconds(), poller_->rounds());
}

long LineWatch::rounds() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return poller_ ? poller_->rounds() : 0;
}

std::string LineWatch::error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

}  // namespace fleet
