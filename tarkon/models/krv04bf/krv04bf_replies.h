#pragma once
// The board flipper's own reply: the 12-byte wane record, the same layout
// read (ReadWaneParams) and written (WriteWaneParams). Its other replies
// are the KRV04 family's (krv04_family/krv04_replies.h).

#include <cstddef>

namespace krv04bf {

inline constexpr size_t kWaneHeight = 0;  // raw range units
inline constexpr size_t kWaneWidth = 2;   // raw range units
inline constexpr size_t kWaneSpeed = 4;
inline constexpr size_t kWaneSpare = 6;  // bytes 6 to 9: sent back as last read
inline constexpr size_t kWaneSpareLength = 4;
inline constexpr size_t kWanePulse = 10;

}  // namespace krv04bf
