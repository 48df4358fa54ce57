#pragma once
// What the board's firmware makes of its block commands: each data byte of '{' / '>' becomes
// the target's own write instruction, each byte of '}' / '<' its read instruction, in the form
// the device code of CmdSetDevice selects. A front-end that sends the wrong code therefore gets
// the wrong instructions, as it would from a real board.
//
//   code    chips                          Flash byte            Eeprom byte
//   0, 4    AT90S, ATtiny, AT86RF401       40/48 write, settle   C0 write, settle
//   2       ATmega, AT90CAN                40/48 page load       C0 write, settle
//   1       AT89S8252                      3-byte 8252 write     3-byte data write
//   3       AT89S53                        3-byte S53 write      none
//
// (The 4-byte AT89S chips share codes 1 and 3 but are written with instructions of their own,
// never with blocks.)
//
// Reads use 20/28, A0, or the 3-byte read forms. "Settle" is the wait after a byte write: the
// byte delay of 'W' when polling is off, else reading the byte back until it reads as written,
// up to the board's poll limit, and ESC when it never does. A page load finishes at once, so
// it needs neither. Flash reads past 128 KB first load the chip's extended address (4D).

#include <cstdint>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "BoardSimulator.h"
#include "ChipTiming.h"
#include "TargetChip.h"

namespace zr7sim {

enum class BoardMemory : std::uint8_t { Flash, Eeprom };

class BoardFirmware {
 public:
  using NoteSink = std::function<void(const std::string&)>;
  explicit BoardFirmware(NoteSink note) : note_(std::move(note)) {}

  // What a transfer works on; all of it belongs to the board.
  struct Target {
    TargetChip& chip;
    const BoardState& state;
    SimClock::time_point& now;  // the board's time, moved on by its waits
    const ChipTimes& times;
    Duration byteDelay;         // what the 'W' code stands for; zero without real timing
  };

  // Writes the bytes from `address` on, moving it along. False when a poll failed: the board
  // then answers ESC, and the bytes after the failed one are not written.
  bool Write(const Target& t, BoardMemory memory, std::uint32_t& address,
             std::span<const std::uint8_t> data);
  std::vector<std::uint8_t> Read(const Target& t, BoardMemory memory, std::uint32_t& address,
                                 std::size_t count);

  // An instruction the host had the board pass through (CmdSpi3 / CmdSpi4): the board keeps
  // track of the extended address it leaves in the chip.
  void SawInstruction(std::span<const std::uint8_t> in);
  // A reset of the target, or a new session: the chip's extended address is 0 again.
  void TargetReset();

 private:
  struct Instr {
    std::array<std::uint8_t, 4> bytes{};
    std::size_t length = 0;
    std::span<const std::uint8_t> Span() const { return std::span(bytes.data(), length); }
  };
  Instr WriteInstruction(std::uint8_t code, BoardMemory memory, std::uint32_t a, std::uint8_t b);
  Instr ReadInstruction(std::uint8_t code, BoardMemory memory, std::uint32_t a);
  std::uint8_t ReadByte(const Target& t, BoardMemory memory, std::uint32_t a);
  bool Settle(const Target& t, BoardMemory memory, std::uint32_t a, std::uint8_t b);
  void NoteOnce(const std::string& text);

  NoteSink note_;
  std::uint8_t bank_ = 0;  // the chip's extended address, as far as the board knows
  std::set<std::string> noted_;
};

}  // namespace zr7sim
