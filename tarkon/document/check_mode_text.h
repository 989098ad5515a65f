#pragma once
// The error checking method in words: the word a command line, a backup
// file and JSON use ("checksum", "crc"), and the caption menus, panes and
// tables show ("Checksum", "CRC"), each tied here once to the value the
// link sends with (0 checksum, 1 CRC).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/frame.h"

// The two methods by the engine's names: a front end speaks of them
// through the engine, never through the frame layer's own names.
inline constexpr int32_t kCheckModeChecksum = frame::kChecksum;
inline constexpr int32_t kCheckModeCrc = frame::kCrc;

// "checksum", "crc", in the order of their values.
std::vector<std::string> CheckModeWords();
// The value of a word, in any case; nothing for any other text.
std::optional<int32_t> CheckModeOfWord(const std::string& word);
// "crc" for CRC mode, else "checksum".
std::string CheckModeWord(int32_t mode);
// "CRC" for CRC mode, else "Checksum".
std::string CheckModeCaption(int32_t mode);
