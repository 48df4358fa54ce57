#include "link/PortMap.h"

namespace zr7 {

namespace {
const std::string kNoPath;
}

PortMap::PortMap() {
  for (int i = 0; i < PortCount; ++i) paths_[i] = DefaultPath(i);
}

std::string PortMap::DefaultPath(int portIndex) {
  if (portIndex < 0 || portIndex >= PortCount) return {};
  if (portIndex < 2) return "/dev/ttyS" + std::to_string(portIndex);
  if (portIndex < 6) return "/dev/ttyUSB" + std::to_string(portIndex - 2);
  return "/dev/ttyACM" + std::to_string(portIndex - 6);
}

const std::string& PortMap::PathFor(int portIndex) const {
  if (portIndex < 0 || portIndex >= PortCount) return kNoPath;
  return paths_[portIndex];
}

void PortMap::Set(int portIndex, std::string path) {
  if (portIndex < 0 || portIndex >= PortCount) return;
  paths_[portIndex] = std::move(path);
}

std::string PortMap::PortName(int portIndex) {
  // A single digit, as the port names are built.
  return std::string("COM") + static_cast<char>('1' + portIndex);
}

}  // namespace zr7
