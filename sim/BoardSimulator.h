#pragma once
// A ZR7 board with a target chip, served on a pseudo-terminal. The front-end reaches it
// through the slave path with its real serial code, exactly as it reaches a board.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Pty.h"
#include "WireLog.h"

namespace zr7sim {

struct SimFaults {
  int silentAfterBytes = -1;     // after this many bytes from the host, answer nothing more
  int badAckAtCommand = -1;      // the K-th command (1-based) gets a wrong acknowledgement
  bool noIdentReply = false;     // CmdGetIdent goes unanswered
  bool noSerialReply = false;    // CmdGetSerial goes unanswered
};

struct SimOptions {
  std::string chip = "ATmega8";          // a device name of the device table
  std::string firmware = "910";          // the three characters answered to CmdGetVersion
  std::string ident = "ZR7 9.10";        // identification text (CmdGetIdent)
  std::array<std::uint8_t, 5> serial = {0x01, 0x23, 0x45, 0x67, 0x89};
  bool locked = false;                   // an AVR whose signature reads 00 01 02
  std::vector<std::uint8_t> calibration; // calibration bytes; empty: chip defaults
  std::optional<std::uint8_t> at45Status;  // DataFlash status override (0xFF: no memory answers)
  SimFaults faults;
};

// The board's own state; it persists across connections as on a real board.
struct BoardState {
  std::uint32_t baud = 19200;
  std::uint8_t deviceCode = 0;
  std::uint8_t sckCode = 0;
  bool polling = false;
  std::uint8_t byteDelay = 0;
  std::uint32_t flashAddress = 0;
  std::uint32_t eepromAddress = 0;
  bool targetInReset = false;
  bool programmingEnabled = false;
  bool flashSelected = false;   // AT45 chip select
  bool eepromSelected = false;  // AT25 chip select
  std::uint64_t commandsDecoded = 0;
};

class BoardSimulator {
 public:
  explicit BoardSimulator(SimOptions options = {});
  ~BoardSimulator();
  BoardSimulator(const BoardSimulator&) = delete;
  BoardSimulator& operator=(const BoardSimulator&) = delete;

  // Opens the pseudo-terminal and serves the board on a thread of its own.
  // False (with a reason) for an unknown chip name or a pty that cannot be made.
  bool Start(std::string* error = nullptr);
  void Stop();

  std::string SlavePath() const;
  WireLog& Log() { return log_; }
  BoardState State() const;

  // Changes take effect from the next byte the board handles.
  void SetFaults(const SimFaults& faults);
  void SetFirmware(const std::string& threeChars);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  WireLog log_;
};

}  // namespace zr7sim
