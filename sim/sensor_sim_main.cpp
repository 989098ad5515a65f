// sensor-sim: a virtual sensor on a pseudo-terminal, until interrupted.

#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "sim/sim_options.h"
#include "sim/sensor_node.h"
#include "sim/virtual_line.h"
#include "sim/virtual_sensor.h"

int main(int argc, char** argv) {
  sim::SimOptions options;
  std::string error;
  switch (sim::ParseSimOptions(argc, argv, options, error)) {
    case sim::ParseResult::kHelp:
      std::fputs(sim::SimUsage().c_str(), stdout);
      return 0;
    case sim::ParseResult::kVersion:
      std::printf("sensor-sim %s\n", LRS_VERSION);
      return 0;
    case sim::ParseResult::kError:
      std::fprintf(stderr, "sensor-sim: %s\nTry 'sensor-sim --help' for more information.\n", error.c_str());
      return 2;
    case sim::ParseResult::kRun:
      break;
  }

  FILE* traceFile = nullptr;
  if (!options.traceFile.empty()) {
    traceFile = std::fopen(options.traceFile.c_str(), "w");
    if (traceFile == nullptr) {
      std::perror(("sensor-sim: " + options.traceFile).c_str());
      return 1;
    }
    options.line.traceFile = traceFile;
  }
  if (options.traceToStderr) options.line.traceSink = [](const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
  };

  // The service thread inherits this mask, so only sigwait below sees the
  // signals that end the program.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  int status = 0;
  {
    sim::VirtualLine line(options.line);
    for (const sim::SensorConfig& config : sim::LineSensors(options)) line.Attach(config);
    if (!line.Start()) {
      std::fprintf(stderr, "sensor-sim: %s\n", line.LastError().c_str());
      status = 1;
    } else {
      std::printf("%s\n", line.SlavePath().c_str());
      std::fflush(stdout);
      for (const auto& node : line.Sensors()) {
        const sim::SensorState s = node->Snapshot();
        std::fprintf(stderr, "sensor-sim: %s \"%s\" serial %s at address %u, %s mode, %d bit/s%s%s%s\n",
                     sim::DisplayName(static_cast<sim::ModelIndex>(s.model)), sim::IdentityText(s.modelName).c_str(),
                     sim::IdentityText(s.serialNumber).c_str(), static_cast<unsigned>(s.address),
                     s.checkMode == 1 ? "CRC" : "checksum", static_cast<int>(s.baudRate),
                     options.line.throttle ? ", throttled" : "", options.line.linkPath.empty() ? "" : ", link ",
                     options.line.linkPath.c_str());
      }
      int received = 0;
      sigwait(&signals, &received);
      line.Stop();
    }
  }
  if (traceFile != nullptr) std::fclose(traceFile);
  return status;
}
