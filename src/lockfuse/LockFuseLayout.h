#pragma once
// Where a chip's lock bits, fuse bits and boot lock bits sit in its serial-programming
// instructions and in the bytes it answers. One constant record per arrangement; every device
// row names its record by LockFuseLayoutIndex, so a new chip with a known arrangement needs no
// code. On the chip a bit value 0 means "programmed".

#include <array>
#include <cstdint>
#include <string_view>

#include "lockfuse/LockFuseState.h"

namespace zr7 {

struct DeviceRecord;

// A bit inside a 4-byte instruction; (-1, -1) when the bit is not in it.
struct BitPosition {
  std::int32_t byte = -1;  // 0..3
  std::int32_t bit = -1;   // 0..7
  constexpr bool Valid() const { return byte >= 0 && byte <= 3 && bit >= 0 && bit <= 7; }
  bool operator==(const BitPosition&) const = default;
};

inline constexpr int LockFuseLayoutCount = 33;
inline constexpr int BootLockLayoutBits = 4;  // boot lock bits a layout can have

using Instruction4 = std::array<std::uint8_t, 4>;
using Instruction3 = std::array<std::uint8_t, 3>;
using WritePositions = std::array<BitPosition, FuseBitCount>;
using ReadBits = std::array<std::int32_t, FuseBitCount>;  // bit of the one-byte reply, -1: none

struct LockFuseLayout {
  Instruction4 lockWrite{};        // writes the lock bits, every lock bit at 1
  WritePositions lockWritePos{};   // LB1, LB2, LB3 in lockWrite (only the first three used)
  std::int32_t fuseCount = 0;
  Instruction4 fuseWrite1{};       // the first fuse byte, every bit at 1
  WritePositions fuseWritePos1{};
  bool lockReadPresent = false;
  Instruction3 lockRead{};         // sent with CmdSpiRead4
  std::array<std::int32_t, 3> lockReadBit{-1, -1, -1};  // LB1, LB2, LB3 in the lock byte
  bool fuseRead1Present = false;   // false: the fuse bits are in the lock byte
  Instruction3 fuseRead1{};
  ReadBits fuseReadBit1{};
  std::array<std::string_view, FuseBitCount> fuseName{};
  // 1: the bit must stay programmed; -1: it must stay unprogrammed; 0: no warning.
  std::array<std::int32_t, FuseBitCount> fuseWarn{};
  bool fuseWrite2Present = false;
  Instruction4 fuseWrite2{};
  WritePositions fuseWritePos2{};
  Instruction3 fuseRead2{};
  ReadBits fuseReadBit2{};
  std::int32_t bootLockCount = 0;  // 0 or 4
  // Bit of each boot lock bit in the lock byte read back and in lockWrite's last byte.
  std::array<std::int32_t, BootLockLayoutBits> bootLockBit{-1, -1, -1, -1};
  std::array<std::string_view, BootLockLayoutBits> bootLockName{};
  bool fuseWrite3Present = false;
  Instruction4 fuseWrite3{};
  WritePositions fuseWritePos3{};
  Instruction3 fuseRead3{};
  ReadBits fuseReadBit3{};
};

// The record of a layout index; nullptr outside the table.
const LockFuseLayout* LockFuseLayoutAt(int index);
// The device's record (every device row names a valid one).
const LockFuseLayout& LayoutOf(const DeviceRecord& device);

// Fuse groups are the fuse write instructions 1, 2 and 3.
inline constexpr int FuseGroupCount = 3;
// Whether the layout writes this group (1 whenever it has fuses, 2 and 3 when present).
bool HasFuseGroup(const LockFuseLayout& layout, int group);
const Instruction4& FuseWriteOf(const LockFuseLayout& layout, int group);
const WritePositions& FuseWritePosOf(const LockFuseLayout& layout, int group);
const Instruction3& FuseReadOf(const LockFuseLayout& layout, int group);
const ReadBits& FuseReadBitOf(const LockFuseLayout& layout, int group);
// The group that writes fuse `index`, 0 when none does (record 31's last bits).
int GroupOfFuse(const LockFuseLayout& layout, int index);

}  // namespace zr7
