#include "sim/line_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace sim {

namespace {
constexpr auto kGiveUpAfter = std::chrono::seconds(2);
}  // namespace

Clock::duration LineWriter::ByteTime(int32_t baudRate, size_t bytes) {
  const double seconds = static_cast<double>(bytes) * 10.0 / static_cast<double>(std::max(baudRate, 1));
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

void LineWriter::Clear() { queue_.clear(); }

TimePoint LineWriter::TickBefore(TimePoint t) const {
  if (burst_ <= Clock::duration::zero()) return t;
  return TimePoint(t.time_since_epoch() - t.time_since_epoch() % burst_);
}

TimePoint LineWriter::TickAfter(TimePoint t) const {
  const TimePoint before = TickBefore(t);
  return before == t ? t : before + burst_;
}

std::optional<TimePoint> LineWriter::Pump(int fd, TimePoint now, Tracer& tracer, bool& wantWritable) {
  // A write may take less than offered (the loop goes on), so offering at
  // most 64 KiB keeps the count within every platform's type for it.
  const auto sink = [fd](const uint8_t* bytes, size_t count) {
    return static_cast<long>(::write(fd, bytes, static_cast<unsigned>(std::min<size_t>(count, 65536))));
  };
  return Pump(sink, now, tracer, wantWritable);
}

std::optional<TimePoint> LineWriter::Pump(const Sink& write, TimePoint now, Tracer& tracer, bool& wantWritable) {
  wantWritable = false;
  while (!queue_.empty()) {
    Entry& e = queue_.front();
    const OutgoingItem& item = e.item;
    if (!e.started) {
      if (now < item.notBefore) return item.notBefore;
      e.started = true;
      e.start = throttle_ ? std::max(now, lineFree_) : now;
      tracer.Bytes(now, item.tag, item.label, item.bytes.data(), item.bytes.size(), item.note);
    }
    size_t due = item.bytes.size();
    if (throttle_) {
      // Bytes whose last bit has been on the line by now (in bursts: by
      // the latest tick).
      const auto elapsed = std::max(TickBefore(now) - e.start, Clock::duration::zero());
      const auto perByte = ByteTime(item.baudRate, 1);
      due = std::min(item.bytes.size(), static_cast<size_t>(elapsed / perByte));
      if (due <= e.written) {
        const TimePoint next = TickAfter(e.start + ByteTime(item.baudRate, e.written + 1));
        // A byte that rounding leaves just short of this tick goes at the
        // next one; asking again within the same tick would only spin.
        return burst_ > Clock::duration::zero() && next <= now ? TickBefore(now) + burst_ : next;
      }
    }
    const long n = write(item.bytes.data() + e.written, due - e.written);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        if (!e.blockedSince) e.blockedSince = now;
        if (now - *e.blockedSince >= kGiveUpAfter) {
          tracer.Note(now, item.tag, "tx-drop", "line full, nobody reading");
          queue_.pop_front();
          continue;
        }
        wantWritable = true;
        return *e.blockedSince + kGiveUpAfter;
      }
      // The line is gone; what was queued cannot arrive.
      queue_.clear();
      return std::nullopt;
    }
    e.blockedSince.reset();
    e.written += static_cast<size_t>(n);
    if (e.written < item.bytes.size()) {
      if (e.written < due) {
        wantWritable = true;  // short write: the descriptor is full
        return now + kGiveUpAfter;
      }
      continue;  // throttled: wait for the next byte's time
    }
    lineFree_ = throttle_ ? e.start + ByteTime(item.baudRate, item.bytes.size()) : now;
    queue_.pop_front();
  }
  return std::nullopt;
}

}  // namespace sim
