#include "ostrel/link/port_map.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace ostrel {
namespace {

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// "COMn" in any case, n from 1, at most nine digits.
bool PortNumberOfKey(const std::string& key, unsigned& port) {
  if (key.size() < 4 || key.size() > 12) return false;
  if ((key[0] != 'C' && key[0] != 'c') || (key[1] != 'O' && key[1] != 'o') || (key[2] != 'M' && key[2] != 'm'))
    return false;
  for (size_t i = 3; i < key.size(); ++i)
    if (key[i] < '0' || key[i] > '9') return false;
  port = static_cast<unsigned>(std::strtoul(key.c_str() + 3, nullptr, 10));
  return port != 0;
}

}  // namespace

PortResolver::PortMap ParsePortMap(const std::string& iniText) {
  PortResolver::PortMap map;
  std::istringstream in(iniText);
  std::string line;
  bool inSection = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      const size_t close = line.rfind(']');
      inSection = line.substr(1, close == std::string::npos ? std::string::npos : close - 1) == kPortMapSection;
      continue;
    }
    const size_t equals = line.find('=');
    if (!inSection || equals == std::string::npos) continue;
    unsigned port = 0;
    if (!PortNumberOfKey(Trimmed(line.substr(0, equals)), port)) continue;
    const std::string device = Trimmed(line.substr(equals + 1));
    if (device.empty()) {
      map.erase(port);
    } else if (device[0] == '/') {
      map[port] = device;
    }
  }
  return map;
}

PortResolver::PortMap ReadPortMapFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return {};
  return ParsePortMap(std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
}

}  // namespace ostrel
