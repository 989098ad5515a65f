#include "sim/in_process_sensor.h"

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

namespace sim {

namespace {
// The longest the service thread sleeps without a reason to wake: it also
// wakes for every byte the host sends and for Stop.
constexpr auto kIdleWait = std::chrono::milliseconds(50);
}  // namespace

InProcessSensor::InProcessSensor(const SensorConfig& config, LineConfig line)
    : config_(std::move(line)), node_(std::make_shared<SensorNode>(config)) {
  // The line itself paces both ways at the host's baud rate.
  writer_.SetThrottle(false);
}

InProcessSensor::~InProcessSensor() {
  Stop();
  node_->SetTracer(nullptr, {});
}

bool InProcessSensor::Start() {
  if (running_) return true;
  error_.clear();
  tracer_ = Tracer(config_.traceSink, config_.traceFile, Clock::now());
  node_->SetTracer(&tracer_, std::string());
  stop_ = false;
  running_ = true;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void InProcessSensor::Stop() {
  if (!running_) return;
  stop_ = true;
  line_.Wake();
  if (thread_.joinable()) thread_.join();
  running_ = false;
  node_->LineLost(Clock::now());
}

void InProcessSensor::Unplug() {
  line_.Unplug();
  node_->LineLost(Clock::now());
  tracer_.Note(Clock::now(), {}, "line", "unplugged");
}

void InProcessSensor::Replug() {
  line_.Replug();
  tracer_.Note(Clock::now(), {}, "line", "plugged in at " + line_.name());
}

void InProcessSensor::Serve() {
  std::vector<OutgoingItem> out;
  const LineWriter::Sink toHost = [this](const uint8_t* bytes, size_t count) {
    line_.SendToHost(bytes, count);
    return static_cast<long>(count);
  };
  while (!stop_) {
    TimePoint now = Clock::now();
    out.clear();
    node_->Tick(now, out);
    for (auto& item : out) writer_.Queue(std::move(item));
    bool wantWritable = false;
    std::optional<TimePoint> next = writer_.Pump(toHost, now, tracer_, wantWritable);
    if (auto d = node_->Deadline(); d && (!next || *d < *next)) next = d;
    TimePoint until = now + kIdleWait;
    if (next && *next < until) until = std::max(*next, now);

    const std::vector<uint8_t> bytes = line_.TakeFromHost(until);
    if (stop_) break;
    if (bytes.empty()) continue;
    now = Clock::now();
    out.clear();
    // The host's rate: bytes sent at another rate than the sensor's are
    // garbled on a real line, and the sensor drops them.
    const int32_t hostRate = config_.checkHostBaud ? line_.HostBaudRate() : 0;
    node_->Receive(bytes.data(), bytes.size(), hostRate, now, out);
    for (auto& item : out) writer_.Queue(std::move(item));
    if (node_->TakeHangUp()) {
      // A fault pulled the adapter.
      writer_.Clear();
      Unplug();
    }
  }
}

}  // namespace sim
