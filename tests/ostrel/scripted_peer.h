#pragma once
// A scripted sensor on a pseudo-terminal, served on the test's own event
// loop (so the link's waits deliver its answers): it splits what the host
// sends into frames (checksum or CRC mode), XMODEM blocks, EOT and CAN,
// records them, and writes whatever the test's handler returns for each.

#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "protocol/frame.h"
#include "support/pty_peer.h"

namespace ostreltest {

using Bytes = std::vector<uint8_t>;

struct HostItem {
  enum Kind { kFrame, kBlock, kEot, kCan } kind;
  Bytes bytes;
  int command() const { return kind == kFrame && bytes.size() > 3 ? bytes[3] : -1; }
  uint8_t data(size_t i) const { return 4 + i < bytes.size() ? bytes[4 + i] : 0; }
};

class ScriptedPeer {
 public:
  using Handler = std::function<Bytes(const HostItem&)>;

  explicit ScriptedPeer(bool crc = false) : crc_(crc) {
    notifier_ = std::make_unique<QSocketNotifier>(pty_.master(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Take(); });
  }

  const std::string& path() const { return pty_.path(); }
  int master() const { return pty_.master(); }
  void SetHandler(Handler handler) { handler_ = std::move(handler); }
  // Writes bytes now, or after `delayMs` on the event loop.
  void Send(const Bytes& bytes, int delayMs = 0) {
    if (delayMs <= 0) {
      pty_.Write(bytes, 5000);
      return;
    }
    QTimer::singleShot(delayMs, [this, bytes] { pty_.Write(bytes); });
  }

  const std::vector<HostItem>& items() const { return items_; }
  std::vector<HostItem> Frames() const { return Of(HostItem::kFrame); }
  std::vector<HostItem> Blocks() const { return Of(HostItem::kBlock); }
  size_t Count(HostItem::Kind kind) const { return Of(kind).size(); }

  // A reply frame from address 1 in the peer's mode.
  Bytes Reply(uint8_t command, const Bytes& data = {}) const {
    return frame::Build(1, crc_ ? frame::kCrc : frame::kChecksum, command, data);
  }

 private:
  std::vector<HostItem> Of(HostItem::Kind kind) const {
    std::vector<HostItem> out;
    for (const HostItem& i : items_)
      if (i.kind == kind) out.push_back(i);
    return out;
  }

  void Take() {
    uint8_t chunk[1024];
    for (;;) {
      const ssize_t n = ::read(pty_.master(), chunk, sizeof chunk);
      if (n <= 0) break;
      pending_.insert(pending_.end(), chunk, chunk + n);
    }
    while (!pending_.empty()) {
      HostItem item{HostItem::kCan, {}};
      size_t size = 1;
      const uint8_t first = pending_[0];
      if (first == frame::kStx) {
        if (pending_.size() < 3) return;
        size = crc_ ? pending_[2] + 6u : pending_[2] + 4u;
        item.kind = HostItem::kFrame;
      } else if (first == 0x01) {
        size = 133;
        item.kind = HostItem::kBlock;
      } else if (first == 0x04) {
        item.kind = HostItem::kEot;
      } else if (first != 0x18) {
        pending_.erase(pending_.begin());
        continue;
      }
      if (pending_.size() < size) return;
      item.bytes.assign(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(size));
      pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(size));
      items_.push_back(item);
      if (handler_) {
        const Bytes answer = handler_(item);
        if (!answer.empty()) pty_.Write(answer);
      }
    }
  }

  bool crc_;
  PtyPeer pty_;
  std::unique_ptr<QSocketNotifier> notifier_;
  Handler handler_;
  Bytes pending_;
  std::vector<HostItem> items_;
};

}  // namespace ostreltest
