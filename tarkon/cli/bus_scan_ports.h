#pragma once
// `bus-scan` over several ports at once (--port given more than once: a
// bus behind each of several serial device servers). The engine scans the
// lines in parallel (tarkon/fleet/several_lines.h); this prints the result
// port by port, as text or as JSON ({"ports": [{"port", "sensors",
// "complete", "error"}...]}).

#include <string>

#include "tarkon/cli/cli_options.h"
#include "tarkon/cli/cli_output.h"
#include "tarkon/fleet/bus_scan.h"

class CliRun;
class SettingsFile;

// The run's options are checked already; `settings` holds the port map.
int RunBusScanOnPorts(CliRun& run, const fleet::BusScanOptions& scan, const SettingsFile& settings);
