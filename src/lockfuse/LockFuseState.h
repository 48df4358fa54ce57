#pragma once
// Which lock, fuse and boot lock bits are programmed: what a read of the chip gives, what
// programming sends, and what a project keeps for autoprogram. true = programmed (on the wire
// a programmed bit is 0). Only the first fuse and boot lock entries that the chip's layout
// counts carry meaning; the rest stay false.

#include <array>
#include <cstdint>

namespace zr7 {

inline constexpr int FuseBitCount = 32;
inline constexpr int BootLockBitCount = 16;
// Lock modes 0 (no locking) to 3; the mode is ORed into a chip instruction, so nothing
// outside this range may reach the chip.
inline constexpr int LockModeCount = 4;

struct LockFuseState {
  bool readable = false;  // set by a read: the chip's lock bits could be read back
  std::int32_t lockMode = 0;
  std::array<bool, FuseBitCount> fuse{};
  std::array<bool, BootLockBitCount> bootLock{};

  bool operator==(const LockFuseState&) const = default;
};

}  // namespace zr7
