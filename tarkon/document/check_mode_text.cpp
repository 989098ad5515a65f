#include "tarkon/document/check_mode_text.h"

#include <cctype>

#include "protocol/frame.h"

std::vector<std::string> CheckModeWords() { return {CheckModeWord(frame::kChecksum), CheckModeWord(frame::kCrc)}; }

std::optional<int32_t> CheckModeOfWord(const std::string& word) {
  std::string lower = word;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const int32_t mode : {frame::kChecksum, frame::kCrc})
    if (lower == CheckModeWord(mode)) return mode;
  return std::nullopt;
}

std::string CheckModeWord(int32_t mode) { return mode == frame::kCrc ? "crc" : "checksum"; }

std::string CheckModeCaption(int32_t mode) { return mode == frame::kCrc ? "CRC" : "Checksum"; }
