#include "bench/bench_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace bench {

double LineSeconds(uint64_t bytes, int32_t baudRate) {
  return static_cast<double>(bytes) * 10.0 / static_cast<double>(std::max<int32_t>(baudRate, 1));
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }
double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  // Nearest rank: the smallest value with at least p % of all at or below it.
  auto rank = static_cast<size_t>(std::ceil(p / 100.0 * static_cast<double>(values.size())));
  rank = std::clamp<size_t>(rank, 1, values.size());
  return values[rank - 1];
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double CpuSeconds(const rusage& usage) {
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return CpuSeconds(usage);
}

double ThreadCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return CpuSeconds(usage);
}

std::string LoadText() {
  std::ifstream file("/proc/loadavg");
  std::string one, five, fifteen;
  file >> one >> five >> fifteen;
  const unsigned cores = std::thread::hardware_concurrency();
  return "load " + one + " " + five + " " + fifteen + " (" + std::to_string(cores) + " cores)";
}

std::string ToolPath(const char* envName, const char* builtPath, const char* tool) {
  if (const char* env = std::getenv(envName); env != nullptr && *env != '\0') return env;
  if (builtPath != nullptr && *builtPath != '\0' && ::access(builtPath, X_OK) == 0) return builtPath;
  return tool;
}

TempDir::TempDir() {
  char pattern[] = "/tmp/lrs-bench-XXXXXX";
  if (::mkdtemp(pattern) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

bool ChildResult::exitedOk() const { return started && WIFEXITED(status) && WEXITSTATUS(status) == 0; }

ChildProcess::~ChildProcess() {
  if (pid_ > 0) Terminate(std::chrono::milliseconds(1000));
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const Streams& streams) {
  if (argv.empty() || pid_ > 0) return false;
  // Everything the child needs is prepared before fork: between fork and
  // exec only async-signal-safe calls are made (the parent may have threads).
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const std::string in = streams.in.empty() ? "/dev/null" : streams.in;
  const std::string out = streams.out.empty() ? "/dev/null" : streams.out;
  const std::string err = streams.err.empty() ? "/dev/null" : streams.err;
  const std::string device = streams.device;
  const int outPipe = streams.outPipe;

  started_ = Clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    int inFd = -1;
    int outFd = -1;
    if (!device.empty()) {
      inFd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
      outFd = inFd;
    } else {
      inFd = ::open(in.c_str(), O_RDONLY);
      outFd = outPipe >= 0 ? outPipe : ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (inFd < 0 || outFd < 0 || errFd < 0) ::_exit(126);
    ::dup2(inFd, 0);
    ::dup2(outFd, 1);
    ::dup2(errFd, 2);
    // Close everything else: the child must not hold the parent's port.
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  pid_ = pid;
  return true;
}

ChildResult ChildProcess::Wait(std::chrono::milliseconds limit) {
  ChildResult r;
  if (pid_ <= 0) return r;
  r.started = true;
  const auto end = Clock::now() + limit;
  rusage usage{};
  int status = 0;
  // Wait on a process descriptor: the child is reaped the moment it ends,
  // with no polling cadence of our own.
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
  for (;;) {
    const pid_t done = ::wait4(pid_, &status, WNOHANG, &usage);
    if (done == pid_) break;
    if (done < 0 && errno != EINTR) {
      if (pidfd >= 0) ::close(pidfd);
      pid_ = -1;
      r.started = false;
      return r;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0) {
      ::kill(pid_, SIGKILL);
      ::wait4(pid_, &status, 0, &usage);
      break;
    }
    if (pidfd >= 0) {
      pollfd p{pidfd, POLLIN, 0};
      ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  if (pidfd >= 0) ::close(pidfd);
  r.wallSeconds = Seconds(Clock::now() - started_);
  r.status = status;
  r.userSeconds = static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_utime.tv_usec) / 1e6;
  r.systemSeconds = static_cast<double>(usage.ru_stime.tv_sec) + static_cast<double>(usage.ru_stime.tv_usec) / 1e6;
  r.cpuSeconds = r.userSeconds + r.systemSeconds;
  pid_ = -1;
  return r;
}

ChildResult ChildProcess::Terminate(std::chrono::milliseconds grace) {
  if (pid_ <= 0) return {};
  ::kill(pid_, SIGTERM);
  return Wait(grace);
}

bool SensorSimProcess::Start(std::string& error) {
  int fds[2];
  if (::pipe(fds) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  std::vector<std::string> argv = {ToolPath("LRS_SENSOR_SIM", SENSOR_SIM_PATH, "sensor-sim")};
  argv.insert(argv.end(), options_.begin(), options_.end());
  ChildProcess::Streams streams;
  streams.outPipe = fds[1];
  if (!child_.Start(argv, streams)) {
    ::close(fds[0]);
    ::close(fds[1]);
    error = "cannot start " + argv[0];
    return false;
  }
  ::close(fds[1]);
  // The first line of its output is the slave path.
  std::string line;
  const auto end = Clock::now() + std::chrono::seconds(10);
  while (line.find('\n') == std::string::npos && Clock::now() < end) {
    pollfd p{fds[0], POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buffer[256];
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    line.append(buffer, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  const size_t newline = line.find('\n');
  if (newline == std::string::npos || newline == 0) {
    child_.Terminate();
    error = argv[0] + " printed no slave path";
    return false;
  }
  slave_ = line.substr(0, newline);
  running_ = true;
  return true;
}

void SensorSimProcess::Stop() {
  if (!running_) return;
  child_.Terminate();
  running_ = false;
}

std::string FormatSeconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", seconds);
  return text;
}

void PrintLine(const std::string& text) {
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
}

std::string TargetText(const std::string& target, bool met) {
  return "(target " + target + ": " + (met ? "met" : "MISSED") + ")";
}

}  // namespace bench
