#pragma once
// How long things take on the simulated board and chip, in one place. With Timing::Instant every
// entry is zero, so nothing waits and no chip is ever busy.

#include <chrono>
#include <cstdint>

#include "WireLog.h"

namespace zr7sim {

using Duration = std::chrono::nanoseconds;

struct ChipTimes {
  // AVR
  Duration avrPageWrite;       // Flash page write (4C)
  Duration avrFlashByte;       // byte-mode Flash write (40 / 48 on a chip without pages)
  Duration avrEepromByte;      // Eeprom byte write (C0) on chips whose table Eeprom delay is >= 9 ms
  Duration avrEepromByteFast;  // ... on the others, whose default board delay is 5 ms
  Duration avrChipErase;       // AC 80
  // AT89S
  Duration at89ByteWrite;      // 4-byte family, code byte (64 clocks + 400 us at 12 MHz)
  Duration at89Byte3Write;     // AT89S8252 / AT89S53, code or data byte
  Duration at89ChipErase;
  // Serial memories
  Duration at25WriteCycle;     // page write or status register write, from chip select release
  Duration at45PageProgram;    // buffer to page with built-in erase (83 / 86)
  Duration at45PageWrite;      // buffer to page without erase (88 / 89), page erase (81)
  Duration at45BlockErase;     // 50: eight pages
  Duration at45Transfer;       // page to buffer (53 / 55)
  // The board
  Duration pollLimit;          // how long the board polls a written byte before it answers ESC
};

// The datasheet-like times of Timing::Real; zero for Timing::Instant.
inline ChipTimes TimesFor(bool real) {
  using namespace std::chrono;
  if (!real) return ChipTimes{};
  return ChipTimes{
      .avrPageWrite = microseconds(4500),
      .avrFlashByte = milliseconds(4),
      .avrEepromByte = milliseconds(9),
      .avrEepromByteFast = milliseconds(4),
      .avrChipErase = milliseconds(9),
      .at89ByteWrite = microseconds(405),
      .at89Byte3Write = microseconds(2500),
      .at89ChipErase = milliseconds(20),
      .at25WriteCycle = milliseconds(5),
      .at45PageProgram = milliseconds(20),
      .at45PageWrite = milliseconds(15),
      .at45BlockErase = milliseconds(45),
      .at45Transfer = microseconds(250),
      .pollLimit = milliseconds(20),
  };
}

// The wire time of one byte: start bit, 8 data bits, stop bit.
inline Duration ByteTime(std::uint32_t baud) {
  return baud ? Duration(10'000'000'000LL / baud) : Duration::zero();
}

// The board's byte delay for a 'W' code. Codes are (255 - 14 * ms) mod 256; where that has an
// exact inverse (odd codes) it is the delay, else the code is taken as the board's timer start
// value, counting 14 ticks a millisecond up to 255.
inline Duration DelayForCode(std::uint8_t code) {
  const unsigned diff = 255u - code;
  if (diff % 2 == 0) {
    // 14 n = diff (mod 256)  <=>  7 n = diff / 2 (mod 128); 55 is 7's inverse modulo 128.
    return std::chrono::milliseconds((diff / 2 * 55u) % 128u);
  }
  return Duration(diff * 1'000'000LL / 14);
}

}  // namespace zr7sim
