#pragma once
// Shared pieces of the benchmarks: line time, statistics, CPU time, child
// processes (the virtual sensor program, the command-line tool, lrzsz's sx)
// and the one-line report each benchmark prints:
//
//   scan buffer 8192 ranges @57600: 3.712 s, line time 3.690 s, ratio 1.006 (target <= 1.10: met)

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// Seconds that `bytes` take on the line: 10 bit times each (start bit,
// 8 data bits, stop bit).
double LineSeconds(uint64_t bytes, int32_t baudRate);

double Seconds(Clock::duration d);
double Milliseconds(Clock::duration d);

// Nearest-rank percentile (0 < p <= 100) of the values; 0 for none.
double Percentile(std::vector<double> values, double p);
double Median(std::vector<double> values);

// CPU time (user + system) in seconds.
double CpuSeconds(const rusage& usage);
// Of this process, and of the calling thread only.
double ProcessCpuSeconds();
double ThreadCpuSeconds();

// "load 1.23 0.98 0.77 (2 cores)" from /proc/loadavg.
std::string LoadText();

// "path/tool": the tool's path from the environment variable `envName`, or
// the path the build put in, or "tool" for a look-up in PATH.
std::string ToolPath(const char* envName, const char* builtPath, const char* tool);

// A temporary directory, removed with its files by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A child process with its standard streams redirected to files (an empty
// path: /dev/null; for stdin and stdout together, a terminal device may be
// named so that both are the same open descriptor).
struct ChildResult {
  bool started = false;
  int status = -1;         // wait status
  double wallSeconds = 0;  // from start to reaped
  double cpuSeconds = 0;   // user + system of the child (wait4)
  double userSeconds = 0;
  double systemSeconds = 0;
  bool exitedOk() const;
};

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  struct Streams {
    std::string in;      // file to read standard input from
    std::string out;     // file to write standard output to
    std::string err;     // file to write standard error to
    std::string device;  // if set: standard input and output both on this device
    int outPipe = -1;    // if >= 0: write end of a pipe for standard output
  };

  bool Start(const std::vector<std::string>& argv, const Streams& streams);
  // Waits at most `limit`; kills the child (SIGKILL) when it runs longer.
  ChildResult Wait(std::chrono::milliseconds limit);
  // SIGTERM, then waits (SIGKILL after `grace`).
  ChildResult Terminate(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  Clock::time_point started_{};
};

// The virtual sensor as a program of its own (so that its CPU time is not
// the host's). Start() returns once it has printed its slave path.
class SensorSimProcess {
 public:
  explicit SensorSimProcess(std::vector<std::string> options) : options_(std::move(options)) {}
  ~SensorSimProcess() { Stop(); }
  bool Start(std::string& error);
  void Stop();
  const std::string& slavePath() const { return slave_; }

 private:
  std::vector<std::string> options_;
  ChildProcess child_;
  std::string slave_;
  bool running_ = false;
};

// The report line. `target` like "<= 1.10"; `met` empty when there is no
// target.
std::string FormatSeconds(double seconds);
void PrintLine(const std::string& text);
std::string TargetText(const std::string& target, bool met);

}  // namespace bench
