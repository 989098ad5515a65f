#pragma once
// How a virtual sensor and its line are set up.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "sim/fault_plan.h"

namespace sim {

struct SensorConfig {
  // A model string ("0 M3-9-6BF") or a display name ("KRV04 Board Flipper");
  // see ResolveModelString. Any other text is reported as the model string
  // as it is, by a sensor of the KRV02 kind.
  std::string model = "0 M7-30-6";
  uint8_t address = 1;
  int32_t checkMode = 0;    // 0 checksum, 1 CRC
  int32_t baudRate = 57600; // 9600, 19200, 38400 or 57600
  std::optional<std::string> serial;  // replaces the model's factory serial
  std::optional<char> revision;       // replaces the model's revision letter

  uint64_t seed = 1;   // random generator of faults and live data jitter
  FaultPlan faults;

  // An incomplete frame is thrown away (and counted as a bad frame) after
  // this much silence on the line.
  std::chrono::milliseconds silenceTimeout{50};
  // ResetSensor: the sensor ignores the line this long.
  std::chrono::milliseconds resetSilence{500};
  // One scan per period while scanning.
  std::chrono::microseconds scanPeriod{2000};
  // Time the flash erase takes before an upload command is answered.
  std::chrono::milliseconds eraseTime{0};

  // XMODEM receiver: the first "C" goes out startDelay after the upload
  // reply, then one every requestInterval until a block arrives; after
  // requestTries of them it gives up. A block must be complete within
  // byteTimeout of its previous byte (else NAK); silenceTimeout without any
  // byte ends the transfer.
  std::chrono::milliseconds xmodemStartDelay{0};
  std::chrono::milliseconds xmodemRequestInterval{3000};
  unsigned xmodemRequestTries = 10;
  std::chrono::milliseconds xmodemByteTimeout{1000};
  std::chrono::milliseconds xmodemSilenceTimeout{10000};

  // SetDefaults also puts the address back to 1.
  bool defaultsResetAddress = false;
  // Another sensor put in its place: from its N-th reply on (0: never) it
  // answers with this serial number.
  uint64_t serialChangesAtReply = 0;
  std::string changedSerial;
};

struct LineConfig {
  // Bytes leave no faster than the sending sensor's baud rate allows
  // (10 bit times per byte), against an absolute schedule; the host's bytes
  // reach the sensors no faster than its port's baud rate allows.
  bool throttle = false;
  // Throttled only: when above zero, the bytes that have crossed the line
  // reach the host together at the ticks of a clock of this period, as a
  // USB serial adapter hands them over once per USB frame; zero, each byte
  // at its own time.
  std::chrono::microseconds burst{0};
  // When not empty: a symbolic link to the slave side, kept pointing at the
  // current slave across Replug and removed by Stop. An existing symbolic
  // link there is replaced; any other file makes Start fail.
  std::string linkPath;
  // Bytes that arrive while the host's port runs at another baud rate than
  // the sensor are garbled on a real line; the sensor drops them.
  bool checkHostBaud = true;
  // Trace of every frame: "12.345678 rx 02 01 01 7F 7D". Lines go to the
  // callback and/or the file (flushed per line); both may be set. The
  // callback runs on the line's service thread while a sensor is busy with
  // the frame: it must be quick and must not call back into the sensor
  // (Snapshot, Mutate).
  std::function<void(const std::string&)> traceSink;
  FILE* traceFile = nullptr;
};

}  // namespace sim
