#pragma once
// tarkon-cli watch --bus: every sensor of one line polled in turn (the bus
// scan's sensors, or --addresses), one line, JSON object or CSV line per
// sensor per round, until Ctrl+C, --count rounds or --duration.

#include <string>

class CliRun;
struct CliOptions;

int RunWatchBus(CliRun& run);
// The options of watch that go with --bus, and those that do not.
bool CheckWatchUsage(const CliOptions& options, std::string& error);
