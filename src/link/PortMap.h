#pragma once
// Towards the operator the board ports stay "COM1".."COM8"; on POSIX each maps to a device path.

#include <array>
#include <string>

namespace zr7 {

inline constexpr int PortCount = 8;

class PortMap {
 public:
  // COM1-2 -> /dev/ttyS0-1, COM3-6 -> /dev/ttyUSB0-3, COM7-8 -> /dev/ttyACM0-1.
  PortMap();

  // portIndex is 0-based; an index outside 0..7 has no path (empty text).
  const std::string& PathFor(int portIndex) const;
  void Set(int portIndex, std::string path);
  static std::string DefaultPath(int portIndex);

  // "COM1".."COM8" for 0..7.
  static std::string PortName(int portIndex);

 private:
  std::array<std::string, PortCount> paths_;
};

}  // namespace zr7
