#pragma once
// The line view's engine: every sensor of one RS-485 bus polled in turn,
// one exchange at a time on the half-duplex line, each with its model's
// live-state command. Per sensor it keeps the last range and diagnostics,
// the good and failed replies, the time of the last good reply and the
// ranges of the last minute.
//
// A sensor that stops answering is marked silent and asked again only now
// and then, with a short wait, so that it does not slow the others. A
// sensor that answers with another serial number is marked changed and
// polled no more: its readings are never merged into the old sensor's.
//
// LinePoller runs on a line the caller opened; LineWatch opens the port,
// finds the sensors when none are given and polls on a thread of its own,
// for the window and the command-line tool alike.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tarkon/fleet/bus_scan.h"
#include "tarkon/models/live_panel_parts.h"

class PacketLink;
class ProtocolTrace;

namespace fleet {

// A sensor to poll, as a bus scan found it or as the technician named it.
struct PolledSensor {
  int address = 1;
  int checkMode = 0;  // 0 checksum, 1 CRC
  int model = -1;     // model index; -1: asked for at the first poll
  std::string serialNumber;  // empty: taken from the first answer
};

// The sensors a bus scan found, as the poller takes them.
std::vector<PolledSensor> PolledSensorsOf(const std::vector<FoundSensor>& found);

enum class LineSensorState { kWaiting, kAnswering, kSilent, kChanged, kUnknownModel };
// "waiting", "answering", "silent", "changed", "unknown model": the words
// every front end shows (never a colour alone).
const char* LineSensorStateWord(LineSensorState state);

struct RangePoint {
  double secondsAgo = 0;  // before the snapshot was taken
  double range = 0;       // display units
};

struct LineSensorReading {
  PolledSensor sensor;
  std::string model;  // display name ("" before the model is known)
  LineSensorState state = LineSensorState::kWaiting;
  double secondsSinceGood = -1;  // at the snapshot; -1 before the first good reply
  std::string rangeText;  // as the sensor's panel shows it ("Out of Range" too)
  std::optional<double> range;  // in display units; nothing out of range
  std::string unit;             // of the sensor's range mode ("inch", "mm")
  std::string laserPower;       // as the panel shows them; empty until read
  std::string peak;
  PanelRows rows;  // the model's whole live panel
  long good = 0;
  long failed = 0;
  std::optional<std::chrono::system_clock::time_point> lastGood;
  std::string otherSerial;  // changed: the serial number that answered instead
  std::vector<RangePoint> history;  // the last minute, oldest first
  // "answering", "silent (last answer 12 s ago)", "silent (never answered)",
  // "changed: S/N 1234 answers now"
  std::string StateText() const;
};

struct LinePollerTiming {
  // Polls that fail in a row before a sensor counts as silent.
  int failuresToSilent = 2;
  // A silent sensor is asked again this often.
  uint32_t silentRetryMs = 3000;
  // The serial number is asked every this many polls of a sensor.
  int serialEvery = 40;
  // A model whose panel needs more than its state command (the KRV02
  // family's laser power and peak) reads the rest every this many polls.
  int extrasEvery = 25;
  // How much history a sensor keeps.
  double historySeconds = 60;
};

class LinePoller {
 public:
  // `link` is open on the bus at the sensors' baud rate (`baudRate`, for
  // the short wait of a silent sensor's retry). The sensors are polled (and
  // listed) those in checksum mode first, then those in CRC mode.
  LinePoller(PacketLink& link, int baudRate, std::vector<PolledSensor> sensors, LinePollerTiming timing = {});
  ~LinePoller();
  LinePoller(const LinePoller&) = delete;
  LinePoller& operator=(const LinePoller&) = delete;

  // Polls the next sensor that is due. False when none was (every sensor
  // silent and not yet due again, or changed): the caller waits a little
  // (TimeToNextDue()) before it steps again.
  bool Step();
  std::chrono::milliseconds TimeToNextDue() const;
  // Whether the port itself failed (then nothing more is polled).
  bool portFailed() const { return portFailed_; }
  const std::string& portError() const { return portError_; }

  std::vector<LineSensorReading> Snapshot() const;
  // Full rounds over the answering sensors so far, and the time the last
  // one took (0 before the first).
  long rounds() const;
  double lastRoundSeconds() const;

 private:
  struct Sensor;
  bool PollSensor(Sensor& s);
  bool RetrySilent(Sensor& s);
  bool LearnSensor(Sensor& s);
  void TakeSerial(Sensor& s, const std::string& serial);
  void Failed(Sensor& s);
  void Answered(Sensor& s);
  void CountRound(size_t index);

  PacketLink& link_;
  int baudRate_;
  LinePollerTiming timing_;
  std::vector<std::unique_ptr<Sensor>> sensors_;
  size_t next_ = 0;
  std::optional<size_t> lastPolled_;
  std::optional<int> lastMode_;  // check mode of the last frame sent
  mutable std::mutex mutex_;  // the readings, rounds and round time
  long rounds_ = 0;
  double lastRoundSeconds_ = 0;
  std::chrono::steady_clock::time_point roundStart_;
  bool portFailed_ = false;
  std::string portError_;
};

// "24 sensors, each every 0.31 s"; "24 sensors, 3 silent, each every ...";
// before the first round: "24 sensors, the first round runs".
std::string PollingRateText(const std::vector<LineSensorReading>& readings, double roundSeconds, long rounds);

// A line view's poller on a thread of its own: it opens `device`, finds
// the sensors first when none are given (a bus scan with `scan`), then
// polls until Stop(). Stop() returns within one exchange.
class LineWatch {
 public:
  struct Setup {
    std::string device;
    int baudRate = 57600;
    std::vector<PolledSensor> sensors;  // empty: a bus scan finds them
    BusScanOptions scan;                // its baud rates: only the first is used
    LinePollerTiming timing;
    // Called on the watch's thread at the end of every round with the
    // readings then (a terminal prints each round; none is skipped).
    std::function<void(long round, const std::vector<LineSensorReading>& readings)> roundDone;
  };
  // Called on the watch's thread after each poll (a window only posts).
  using Changed = std::function<void()>;

  LineWatch() = default;
  ~LineWatch();
  LineWatch(const LineWatch&) = delete;
  LineWatch& operator=(const LineWatch&) = delete;

  // False with `error` when the setup is not taken or a watch still runs;
  // a port that does not open is reported by error() once it ended.
  bool Start(const Setup& setup, ProtocolTrace* trace, Changed changed, std::string& error);
  // Ends the polling after the exchange in flight and waits for the thread.
  void Stop();
  bool running() const { return running_; }

  // While the scan runs: its progress (done, total); after it, the
  // poller's readings.
  bool scanning() const { return scanning_; }
  long scanDone() const { return scanDone_; }
  long scanTotal() const { return scanTotal_; }
  std::vector<LineSensorReading> Snapshot() const;
  std::string RateText() const;
  // Full polling rounds so far (a front end prints each new one).
  long rounds() const;
  // Why the watch ended on its own (the port did not open, or failed);
  // empty while it runs or when it was stopped.
  std::string error() const;

 private:
  void Work(Setup setup, ProtocolTrace* trace);
  void Fail(const std::string& why);

  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  std::atomic<bool> scanning_{false};
  std::atomic<long> scanDone_{0};
  std::atomic<long> scanTotal_{0};
  Changed changed_;
  mutable std::mutex mutex_;  // poller_, link_, error_
  std::unique_ptr<PacketLink> link_;
  std::unique_ptr<LinePoller> poller_;  // kept after the end, for its last readings
  std::string error_;
  std::condition_variable wake_;  // Stop() ends a wait for a silent sensor's turn
};

// The check of a polled address list ("3,5,7-9"): each address 1 to 255,
// each once. Empty and `addresses` set, or why not.
std::string ParseAddressList(const std::string& text, std::vector<int>& addresses);

}  // namespace fleet
