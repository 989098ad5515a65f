#pragma once
// Helpers shared by the fuzz targets: taking typed values off the front of
// the fuzzer's input, and invariant checks that stop the run with a reason.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// A violated invariant is a finding: print why and abort, so that libFuzzer
// keeps the input as a crash.
#define FUZZ_CHECK(condition, ...)                                              \
  do {                                                                          \
    if (!(condition)) {                                                         \
      std::fprintf(stderr, "invariant failed at %s:%d: %s\n", __FILE__, __LINE__, \
                   #condition);                                                 \
      std::fprintf(stderr, __VA_ARGS__);                                        \
      std::fprintf(stderr, "\n");                                               \
      std::abort();                                                             \
    }                                                                           \
  } while (false)

// Reads the input front to back; past its end every value reads as zero.
class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t Word() {
    const uint8_t low = Byte();
    return static_cast<uint16_t>(low | (Byte() << 8));
  }
  bool Flag() { return (Byte() & 1) != 0; }
  // Up to `count` bytes (fewer at the end of the input).
  std::vector<uint8_t> Bytes(size_t count) {
    const size_t take = count < Remaining() ? count : Remaining();
    std::vector<uint8_t> out(data_ + pos_, data_ + pos_ + take);
    pos_ += take;
    return out;
  }
  // Text up to the next `separator` byte (not included) or the end.
  std::string Text(uint8_t separator) {
    std::string out;
    while (pos_ < size_ && data_[pos_] != separator) out.push_back(static_cast<char>(data_[pos_++]));
    if (pos_ < size_) ++pos_;
    return out;
  }
  std::vector<uint8_t> Rest() { return Bytes(Remaining()); }
  size_t Remaining() const { return size_ - pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};
