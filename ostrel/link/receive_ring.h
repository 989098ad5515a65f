#pragma once
// The 16384-byte ring that the port's data-available handler fills and
// ReceiveFrame empties, one byte at a time, on the window thread.
//
// A full ring keeps what it holds: bytes beyond 16384 unread ones are
// dropped (and counted), never written over unread bytes. A reply that
// needed them then fails its check like any other damaged reply.

#include <array>
#include <cstddef>
#include <cstdint>

namespace ostrel {

class ReceiveRing {
 public:
  static constexpr size_t kCapacity = 16384;

  // Stores one received byte; false (byte dropped) when the ring is full.
  bool Push(uint8_t byte);
  // Takes the oldest unread byte; false when the ring is empty.
  bool Take(uint8_t& byte);
  // Drops every unread byte (the read position catches up with the write
  // position).
  void Clear();

  bool Empty() const { return unread_ == 0; }
  size_t Unread() const { return unread_; }
  // Bytes dropped because the ring was full, since the program started.
  uint64_t Dropped() const { return dropped_; }

 private:
  std::array<uint8_t, kCapacity> slots_{};
  size_t write_ = 0;
  size_t read_ = 0;
  size_t unread_ = 0;
  uint64_t dropped_ = 0;
};

}  // namespace ostrel
