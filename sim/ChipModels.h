#pragma once
// The chip families behind TargetChip; only MakeTargetChip needs to know them.

#include <memory>
#include <span>

#include "TargetChip.h"

namespace zr7sim {

inline constexpr InstructionReply kNoAnswer = {0xFF, 0xFF, 0xFF, 0xFF};  // MISO idles high

inline bool IsProgrammingEnable(std::span<const std::uint8_t> in) {
  return in.size() >= 2 && in[0] == 0xAC && in[1] == 0x53;
}

std::unique_ptr<TargetChip> MakeAvrChip(const zr7::DeviceRecord& record, const SimOptions& options,
                                        ChipContext context);
std::unique_ptr<TargetChip> MakeAt89Chip(const zr7::DeviceRecord& record, const SimOptions& options,
                                         ChipContext context);
std::unique_ptr<TargetChip> MakeAt25Memory(const zr7::DeviceRecord& record, ChipContext context);
std::unique_ptr<TargetChip> MakeAt45Memory(const zr7::DeviceRecord& record,
                                           const SimOptions& options, ChipContext context);

}  // namespace zr7sim
