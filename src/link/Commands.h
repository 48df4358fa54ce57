#pragma once
// The ZR7 board's command set: one byte per command, then its argument bytes.
// Shared as plain data by the front-end and the board simulator.

#include <cstdint>
#include <span>
#include <string_view>

namespace zr7 {

inline constexpr std::uint8_t CmdWake = 0x10;
inline constexpr std::uint8_t CmdGetVersion = 0x40;
inline constexpr std::uint8_t CmdGetIdent = 0x3F;      // '?'
inline constexpr std::uint8_t CmdGetSerial = 0x4E;     // 'N'
inline constexpr std::uint8_t CmdQuit = 0x1B;
inline constexpr std::uint8_t CmdEnterLoader = 0x09;
inline constexpr std::uint8_t CmdSetDevice = 0x26;     // '&'
inline constexpr std::uint8_t CmdSetAddress = 0x3A;    // ':'
inline constexpr std::uint8_t CmdSetMode = 0x23;       // '#'
inline constexpr std::uint8_t CmdResetTimed = 0x2A;    // '*'
inline constexpr std::uint8_t CmdResetShort = 0x51;    // 'Q'
inline constexpr std::uint8_t CmdResetAlt = 0x2B;      // '+'
inline constexpr std::uint8_t CmdEnableSync = 0x3D;    // '='
inline constexpr std::uint8_t CmdSpi3 = 0x33;          // '3'
inline constexpr std::uint8_t CmdSpi4 = 0x34;          // '4'
inline constexpr std::uint8_t CmdSpiRead4 = 0x35;      // '5'
inline constexpr std::uint8_t CmdSetByteDelay = 0x57;  // 'W'
inline constexpr std::uint8_t CmdWriteFlash = 0x7B;    // '{'
inline constexpr std::uint8_t CmdWriteEeprom = 0x3E;   // '>'
inline constexpr std::uint8_t CmdReadFlash = 0x7D;     // '}'
inline constexpr std::uint8_t CmdReadEeprom = 0x3C;    // '<'
inline constexpr std::uint8_t CmdFlashSelect = 0x6C;   // 'l'
inline constexpr std::uint8_t CmdFlashDeselect = 0x6B; // 'k'
inline constexpr std::uint8_t CmdEepSelect = 0x39;     // '9'
inline constexpr std::uint8_t CmdEepDeselect = 0x38;   // '8'
inline constexpr std::uint8_t CmdSpiWriteN = 0x30;     // '0'
inline constexpr std::uint8_t CmdSpiReadN = 0x31;      // '1'
inline constexpr std::uint8_t CmdSpiPut = 0x36;        // '6'
inline constexpr std::uint8_t CmdSpiGet = 0x37;        // '7'
inline constexpr std::uint8_t CmdEndSession = 0x2D;    // '-'

// Board replies.
inline constexpr std::uint8_t ReplyCr = 13;
inline constexpr std::uint8_t ReplyEsc = 27;  // data polling failed during a write

// How the bytes after the command byte are counted.
enum class ArgShape : std::uint8_t {
  Fixed,             // exactly `fixedArgs` bytes
  CountThenData,     // one count byte, then that many data bytes
  Count16ThenData,   // 16-bit count (high byte first), then that many data bytes
  Count,             // one count byte; the reply carries that many bytes
  Count16,           // 16-bit count (high byte first); the reply carries that many bytes
};

// What the board sends back.
enum class ReplyShape : std::uint8_t {
  None,
  Cr,                // CR (13); ESC for a failed data poll on writes
  OneByte,           // one data byte (or only waited for)
  Version,           // three version characters
  Ident,             // length n, n text bytes, CR
  Serial,            // five bytes, CR
  CountBytes,        // `count` data bytes
  CountBytesThenCr,  // `count` data bytes, then CR
  Loader,            // CR, or 'e' when a confirmation sequence is due
};

struct CommandInfo {
  std::uint8_t code;
  std::string_view name;
  ArgShape args;
  std::uint8_t fixedArgs;
  ReplyShape reply;
};

// Every command of the board, in the order of the command reference.
std::span<const CommandInfo> CommandTable();

// The entry for a command byte, or nullptr for a byte that is no command.
const CommandInfo* FindCommand(std::uint8_t code);

// Baud rates of the link: every connection starts at the low rate.
inline constexpr std::uint32_t LowBaud = 19200;
inline constexpr std::uint32_t HighBaud = 115200;

// The board's serial-clock code for each "SPIPeriod" index 0..7 of a project.
struct SckPeriod {
  std::string_view label;
  std::uint8_t sckCode;
};
inline constexpr SckPeriod SckPeriods[8] = {
    {"0.5 uS (2 MHz)", 4},  {"1.0 uS (1 MHz)", 0},   {"2.0 uS (500 kHz)", 5}, {"4.0 uS (250 kHz)", 1},
    {"8.0 uS (125 kHz)", 6}, {"16 uS (60 kHz)", 2},  {"32 uS (30 kHz)", 3},   {"125 uS (8 kHz)", 255},
};
// AT45 memories always get this code on connection, whatever the project asks.
inline constexpr std::uint8_t At45SckCode = 4;

// SckCode for a project's SPIPeriod; out-of-range periods fall back to the slowest clock,
// which every target tolerates.
std::uint8_t SckCode(int spiPeriod);

}  // namespace zr7
