#pragma once
// A short exchange for looking for sensors on an RS-485 bus: one request
// without data, then a wait of a few milliseconds for the reply. Unlike the
// packet layer's 1000 ms exchange with its 250 ms recovery, an address
// where nobody answers costs only the short budget, so a whole bus can be
// probed in seconds. Frames that fail their check or answer another command
// are skipped; a valid reply from another address (a late answer to an
// earlier probe) is handed back as well, so no sensor is lost to timing.

#include <cstdint>
#include <vector>

#include "protocol/packet_link.h"

class BusProbe {
 public:
  struct Reply {
    uint8_t address = 0;
    std::vector<uint8_t> data;
  };

  explicit BusProbe(PacketLink& link) : link_(link) {}

  // Sends `command` to `address` in `checkMode` and reads for at most
  // `budgetMs`. True when the probed address answered (its reply in
  // `reply`); every valid reply of that command from another address seen
  // on the way lands in `others`.
  bool Query(uint8_t address, int32_t checkMode, uint8_t command, uint32_t budgetMs, Reply& reply,
             std::vector<Reply>& others);

  // Reads and drops whatever arrives within `ms`.
  void Settle(uint32_t ms);

  // After a Query that returned false: true when the port itself failed
  // (its text in the link's error record), false for a plain silence.
  bool PortFailed() const { return portFailed_; }

 private:
  bool Failed() {
    portFailed_ = true;
    return false;
  }

  PacketLink& link_;
  bool portFailed_ = false;
};
