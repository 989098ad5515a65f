#include "sim/virtual_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace sim {
namespace {

struct SpeedEntry {
  speed_t speed;
  int32_t rate;
};
constexpr std::array<SpeedEntry, 10> kSpeeds = {{{B1200, 1200},
                                                 {B2400, 2400},
                                                 {B4800, 4800},
                                                 {B9600, 9600},
                                                 {B19200, 19200},
                                                 {B38400, 38400},
                                                 {B57600, 57600},
                                                 {B115200, 115200},
                                                 {B230400, 230400},
                                                 {B0, 0}}};

speed_t SpeedOf(int32_t rate) {
  for (const auto& e : kSpeeds)
    if (e.rate == rate) return e.speed;
  return B57600;
}

int32_t RateOf(speed_t speed) {
  for (const auto& e : kSpeeds)
    if (e.speed == speed) return e.rate;
  return -1;  // a rate no sensor runs at
}

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// ptsname() uses a static buffer.
std::mutex ptsnameMutex;

void SetFlags(int fd, int addStatus) {
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  if (addStatus != 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | addStatus);
}

}  // namespace

VirtualLine::VirtualLine(LineConfig config) : config_(std::move(config)) {
  writer_.SetThrottle(config_.throttle);
  writer_.SetBurst(config_.burst);
}

VirtualLine::~VirtualLine() {
  Stop();
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& n : nodes_) n->SetTracer(nullptr, {});
}

std::shared_ptr<SensorNode> VirtualLine::Attach(const SensorConfig& config) {
  auto node = std::make_shared<SensorNode>(config);
  Attach(node);
  return node;
}

void VirtualLine::Attach(std::shared_ptr<SensorNode> node) {
  std::lock_guard<std::mutex> lock(mutex_);
  nodes_.push_back(std::move(node));
  // Tags only matter once several sensors share the line.
  const bool several = nodes_.size() > 1;
  for (size_t i = 0; i < nodes_.size(); ++i)
    nodes_[i]->SetTracer(&tracer_, several ? "#" + std::to_string(i + 1) : std::string());
}

std::vector<std::shared_ptr<SensorNode>> VirtualLine::Sensors() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return nodes_;
}

std::string VirtualLine::SlavePath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return slavePath_;
}

bool VirtualLine::Plugged() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !slavePath_.empty();
}

bool VirtualLine::OpenPty(std::string& error) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) {
    error = Errno("posix_openpt");
    return false;
  }
  std::string path;
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    error = Errno("grantpt/unlockpt");
    ::close(master);
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(ptsnameMutex);
    const char* name = ::ptsname(master);
    if (name != nullptr) path = name;
  }
  if (path.empty()) {
    error = Errno("ptsname");
    ::close(master);
    return false;
  }
  SetFlags(master, O_NONBLOCK);
  const int slave = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (slave < 0) {
    error = Errno(("open " + path).c_str());
    ::close(master);
    return false;
  }
  SetFlags(slave, 0);
  // Raw 8N1 at the sensor's rate, so a client that configures nothing still
  // gets the bytes unchanged.
  termios t{};
  if (::tcgetattr(slave, &t) == 0) {
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    int32_t rate = 57600;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!nodes_.empty()) rate = nodes_.front()->BaudRate();
    }
    ::cfsetispeed(&t, SpeedOf(rate));
    ::cfsetospeed(&t, SpeedOf(rate));
    ::tcsetattr(slave, TCSANOW, &t);
  }
  master_ = master;
  slaveHold_ = slave;
  std::lock_guard<std::mutex> lock(mutex_);
  slavePath_ = path;
  return true;
}

void VirtualLine::ClosePty() {
  if (master_ >= 0) ::close(master_);
  if (slaveHold_ >= 0) ::close(slaveHold_);
  master_ = -1;
  slaveHold_ = -1;
  writer_.Clear();
  reader_.Clear();
  std::lock_guard<std::mutex> lock(mutex_);
  slavePath_.clear();
}

bool VirtualLine::PointLink(const std::string& target, std::string& error) {
  if (config_.linkPath.empty()) return true;
  struct stat st {};
  if (::lstat(config_.linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    error = config_.linkPath + " exists and is not a symbolic link";
    return false;
  }
  // Replace atomically, so a client never finds the link missing.
  const std::string temporary = config_.linkPath + ".new-" + std::to_string(::getpid());
  ::unlink(temporary.c_str());
  if (::symlink(target.c_str(), temporary.c_str()) != 0) {
    error = Errno(("symlink " + temporary).c_str());
    return false;
  }
  if (::rename(temporary.c_str(), config_.linkPath.c_str()) != 0) {
    error = Errno(("rename to " + config_.linkPath).c_str());
    ::unlink(temporary.c_str());
    return false;
  }
  linkedTo_ = target;
  return true;
}

void VirtualLine::RemoveLink() {
  if (config_.linkPath.empty() || linkedTo_.empty()) return;
  // Only a link that still points where this line put it.
  std::array<char, 4096> buffer{};
  const ssize_t n = ::readlink(config_.linkPath.c_str(), buffer.data(), buffer.size() - 1);
  if (n > 0 && std::string(buffer.data(), static_cast<size_t>(n)) == linkedTo_) ::unlink(config_.linkPath.c_str());
  linkedTo_.clear();
}

bool VirtualLine::Start() {
  if (running_) return true;
  error_.clear();
  tracer_ = Tracer(config_.traceSink, config_.traceFile, Clock::now());
  if (!OpenPty(error_)) return false;
  if (!PointLink(SlavePath(), error_)) {
    ClosePty();
    return false;
  }
  int fds[2];
  if (::pipe(fds) != 0) {
    error_ = Errno("pipe");
    RemoveLink();
    ClosePty();
    return false;
  }
  wakeRead_ = fds[0];
  wakeWrite_ = fds[1];
  SetFlags(wakeRead_, O_NONBLOCK);
  SetFlags(wakeWrite_, O_NONBLOCK);
  stop_ = false;
  running_ = true;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void VirtualLine::Stop() {
  if (!running_) return;
  stop_ = true;
  const char c = 's';
  [[maybe_unused]] const ssize_t n = ::write(wakeWrite_, &c, 1);
  if (thread_.joinable()) thread_.join();
  running_ = false;
  const TimePoint now = Clock::now();
  for (auto& node : Sensors()) node->LineLost(now);
  RemoveLink();
  ClosePty();
  ::close(wakeRead_);
  ::close(wakeWrite_);
  wakeRead_ = wakeWrite_ = -1;
}

bool VirtualLine::Post(Request request) {
  std::unique_lock<std::mutex> lock(mutex_);
  request_ = request;
  const uint64_t seq = ++requestSeq_;
  const char c = 'r';
  [[maybe_unused]] const ssize_t n = ::write(wakeWrite_, &c, 1);
  if (!requestDone_.wait_for(lock, std::chrono::seconds(5), [&] { return doneSeq_ >= seq; })) return false;
  return requestResult_;
}

bool VirtualLine::Unplug() {
  if (!running_) return false;
  return Post(Request::kUnplug);
}

bool VirtualLine::Replug() {
  if (!running_) return false;
  return Post(Request::kReplug);
}

void VirtualLine::ServeRequest() {
  Request request;
  uint64_t seq;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    request = request_;
    seq = requestSeq_;
    request_ = Request::kNone;
  }
  if (request == Request::kNone) return;
  bool ok = true;
  std::string error;
  const TimePoint now = Clock::now();
  if (request == Request::kUnplug) {
    if (master_ >= 0) {
      for (auto& node : Sensors()) node->LineLost(now);
      // The link goes with the line, as a pulled adapter's by-id link
      // does: left, it would point at a pseudo-terminal number that the
      // next one opened on this machine takes over.
      RemoveLink();
      ClosePty();
      tracer_.Note(now, {}, "line", "unplugged");
    }
  } else {
    if (master_ >= 0) ClosePty();
    ok = OpenPty(error) && PointLink(SlavePath(), error);
    tracer_.Note(now, {}, "line", ok ? "plugged in at " + SlavePath() : "replug failed: " + error);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  requestResult_ = ok;
  if (!ok) error_ = error;
  doneSeq_ = seq;
  requestDone_.notify_all();
}

int32_t VirtualLine::HostBaudRate() const {
  if (!config_.checkHostBaud || slaveHold_ < 0) return 0;
  termios t{};
  if (::tcgetattr(slaveHold_, &t) != 0) return 0;
  return RateOf(::cfgetospeed(&t));
}

int32_t VirtualLine::ReceiveBaudRate(const std::vector<std::shared_ptr<SensorNode>>& nodes) const {
  if (slaveHold_ >= 0) {
    termios t{};
    if (::tcgetattr(slaveHold_, &t) == 0) {
      const int32_t rate = RateOf(::cfgetospeed(&t));
      if (rate > 0) return rate;
    }
  }
  return nodes.empty() ? 57600 : nodes.front()->BaudRate();
}

void VirtualLine::Deliver(const std::vector<std::shared_ptr<SensorNode>>& nodes, const uint8_t* bytes,
                          size_t count, int32_t hostRate, TimePoint now) {
  std::vector<OutgoingItem> out;
  for (auto& node : nodes) node->Receive(bytes, count, hostRate, now, out);
  for (auto& item : out) writer_.Queue(std::move(item));
  bool hangUp = false;
  for (auto& node : nodes) hangUp = node->TakeHangUp() || hangUp;
  if (hangUp && master_ >= 0) {
    // A sensor's fault pulled the adapter: as Unplug, from this thread.
    for (auto& node : nodes) node->LineLost(now);
    ClosePty();
    tracer_.Note(now, {}, "line", "unplugged by a fault");
  }
}

void VirtualLine::Serve() {
  std::array<uint8_t, 4096> buffer{};
  std::vector<OutgoingItem> out;
  while (!stop_) {
    TimePoint now = Clock::now();
    const auto nodes = Sensors();
    // Throttled: the host's bytes that have finished arriving by now.
    while (auto due = reader_.TakeDue(now))
      Deliver(nodes, due->bytes.data(), due->bytes.size(), due->hostBaudRate, now);
    out.clear();
    for (auto& node : nodes) node->Tick(now, out);
    for (auto& item : out) writer_.Queue(std::move(item));

    bool wantWritable = false;
    std::optional<TimePoint> next;
    if (master_ >= 0)
      next = writer_.Pump(master_, now, tracer_, wantWritable);
    else
      writer_.Clear();
    for (auto& node : nodes)
      if (auto d = node->Deadline(); d && (!next || *d < *next)) next = d;
    if (auto d = reader_.NextDue(); d && (!next || *d < *next)) next = d;

    pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {master_, static_cast<short>(POLLIN | (wantWritable ? POLLOUT : 0)), 0}};
    const nfds_t count = master_ >= 0 ? 2 : 1;
    timespec timeout{};
    timespec* wait = nullptr;
    if (next) {
      const auto left = std::max<Clock::duration>(*next - now, Clock::duration::zero());
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
      timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
      timeout.tv_nsec = static_cast<long>(ns % 1000000000);
      wait = &timeout;
    }
    const int ready = ::ppoll(fds, count, wait, nullptr);
    if (ready < 0 && errno != EINTR) break;
    if (stop_) break;
    if (ready <= 0) continue;

    if (fds[0].revents & POLLIN) {
      char drain[64];
      while (::read(wakeRead_, drain, sizeof drain) > 0) {
      }
      ServeRequest();
      continue;  // the descriptors may have changed
    }
    if (count < 2) continue;
    if (fds[1].revents & POLLIN) {
      const ssize_t n = ::read(master_, buffer.data(), buffer.size());
      if (n > 0) {
        now = Clock::now();
        const int32_t hostRate = HostBaudRate();
        if (config_.throttle)
          reader_.Arrive(buffer.data(), static_cast<size_t>(n), ReceiveBaudRate(nodes), hostRate, now);
        else
          Deliver(nodes, buffer.data(), static_cast<size_t>(n), hostRate, now);
      }
    } else if (fds[1].revents & (POLLHUP | POLLERR)) {
      // Not expected while the line holds its own slave descriptor; do not
      // spin on it.
      ::usleep(10000);
    }
  }
}

}  // namespace sim
