#pragma once
// Names of the sensor commands by identifier, as the command log and the
// protocol trace print them.

#include <cstddef>
#include <cstdint>
#include <string>

namespace cmd {

// The command a frame with this id and this many data bytes stands for.
// Ids that two commands share are told apart where the data length decides
// (67: GetLaserPower without data, SetNumHoldScans with two bytes; the
// replies of 19 and 41 by their size); otherwise both names are given.
// An unknown id reads "Unknown(0xNN)".
std::string CommandName(uint8_t id, size_t dataLength, bool reply);

}  // namespace cmd
