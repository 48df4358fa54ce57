#pragma once
// The chip's nonvolatile contents on disk: raw images to preload a memory, and the state file
// that carries a chip from one simulator run to the next.
//
// State file: a few text lines, then each memory as raw bytes behind the line that gives its
// size:
//
//   zr7-sim state 1
//   chip ATmega8
//   lock FC
//   fuses E1 D9 FF
//   flash 8192
//   <8192 bytes>
//   eeprom 512
//   <512 bytes>
//
// A file made for another chip, or with other memory sizes, is refused rather than guessed at.

#include <string>
#include <vector>

#include "TargetChip.h"

namespace zr7sim {

// Copies the file into the start of `memory`; a file longer than the memory is an error.
bool LoadImage(const std::string& path, std::vector<std::uint8_t>& memory, const std::string& what,
               std::string* error);

bool LoadState(const std::string& path, TargetChip& chip, std::string* error);

// Written to a temporary file beside `path`, then renamed over it, so a reader (or a crash)
// never sees half a state.
bool SaveState(const std::string& path, const TargetChip& chip, std::string* error);

}  // namespace zr7sim
