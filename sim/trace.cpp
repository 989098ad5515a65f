#include "sim/trace.h"

namespace sim {

std::string Tracer::Format(double seconds, std::string_view tag, std::string_view label, const uint8_t* bytes,
                           size_t count, std::string_view note) {
  char head[32];
  std::snprintf(head, sizeof head, "%.6f", seconds);
  std::string line = head;
  if (!tag.empty()) {
    line += ' ';
    line += tag;
  }
  line += ' ';
  line += label;
  static const char kHex[] = "0123456789ABCDEF";
  for (size_t i = 0; i < count; ++i) {
    line += ' ';
    line += kHex[bytes[i] >> 4];
    line += kHex[bytes[i] & 0xF];
  }
  if (!note.empty()) {
    line += " (";
    line += note;
    line += ')';
  }
  return line;
}

void Tracer::Emit(const std::string& line) {
  if (sink_) sink_(line);
  if (file_ != nullptr) {
    std::fprintf(file_, "%s\n", line.c_str());
    std::fflush(file_);
  }
}

void Tracer::Bytes(TimePoint t, std::string_view tag, std::string_view label, const uint8_t* bytes, size_t count,
                   std::string_view note) {
  if (!Enabled()) return;
  Emit(Format(std::chrono::duration<double>(t - start_).count(), tag, label, bytes, count, note));
}

void Tracer::Note(TimePoint t, std::string_view tag, std::string_view label, std::string_view text) {
  if (!Enabled()) return;
  Emit(Format(std::chrono::duration<double>(t - start_).count(), tag, label, nullptr, 0, text));
}

}  // namespace sim
