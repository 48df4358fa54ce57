#pragma once
// A ZR7 board with a target chip, served on a pseudo-terminal. The front-end reaches it
// through the slave path with its real serial code, exactly as it reaches a board.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
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
  int escAtDataBlock = -1;       // the K-th '{' / '>' block (1-based, since Start) fails its poll:
                                 // nothing of it is written and it is answered by ESC
  int loaderSilentAtBlock = -1;  // the loader drops out at its K-th block (1-based): no CR
  int loaderBadReplyAtBlock = -1;  // the loader answers its K-th block with 0x3F and drops out
};

// Instant: every answer at once, chip writes take no time. Real: every byte takes its wire time
// at the board's baud rate and the chip's writes take their datasheet-like times.
enum class Timing : std::uint8_t { Instant, Real };

struct SimOptions {
  std::string chip = "ATmega8";          // a device name of the device table
  std::string firmware = "910";          // the three characters answered to CmdGetVersion
  std::string ident = "ZR7 9.10";        // identification text (CmdGetIdent)
  std::array<std::uint8_t, 5> serial = {0x01, 0x23, 0x45, 0x67, 0x89};
  bool locked = false;                   // an AVR whose signature reads 00 01 02
  // An AVR that answers this signature instead of its table row's, as another chip of the same
  // row or a part the table does not know would.
  std::optional<std::array<std::uint8_t, 3>> signature;
  std::vector<std::uint8_t> calibration; // calibration bytes; empty: chip defaults
  std::optional<std::uint8_t> at45Status;  // DataFlash status override (0xFF: no memory answers)
  std::optional<std::array<std::uint8_t, 3>> fuses;  // AVR fuse bytes low, high, extended; default FF
  std::string flashImage;   // raw binary preloaded into the Flash (AT45: the whole memory)
  std::string eepromImage;  // raw binary preloaded into the Eeprom (AT25: the whole memory)
  // Keeps the chip's memories, lock and fuse bytes between runs: read when the chip is made if the
  // file exists (the images above then overwrite what they cover), written whenever a session
  // that changed something ends, and at Stop.
  std::string statePath;
  // The loader: with a sequence, CmdEnterLoader answers 'e' and wants these eight bytes first.
  std::optional<std::array<std::uint8_t, 8>> loaderConfirmation;
  std::string newVersion = "910";  // what the board reports after a complete update
  Timing timing = Timing::Instant;
  SimFaults faults;
};

// The loader's side of the firmware update.
inline constexpr std::size_t LoaderImageSize = 12288;
inline constexpr std::size_t LoaderBlockSize = 4;

// What the board keeps of its own firmware across runs: beside the chip's state file, in
// "<state>.board" (text lines, then the image as raw bytes):
//
//   zr7-sim board 1
//   version 910
//   ident ZR7 9.10
//   image 12288
//   <12288 bytes>
struct BoardRecord {
  std::string firmware;             // three version characters; "ldr" after a broken update
  std::string ident;
  std::vector<std::uint8_t> image;  // the last image received whole; empty before any
};
std::string BoardRecordPath(const std::string& statePath);
bool LoadBoardRecord(const std::string& statePath, BoardRecord& record, std::string* error);
bool SaveBoardRecord(const std::string& statePath, const BoardRecord& record, std::string* error);

// The chip's lock and fuse bytes, 0 bits programmed. AVR: the lock byte as instruction 58 00 00
// reads it (bit 0 LB1, bit 1 LB2, bits 2-5 boot lock bits); AT89S: bits 0-2 the three lock bits;
// AT25: the status register's nonvolatile bits (WPEN, BP1, BP0), 1 = set, as the chip reads them.
struct ChipLockState {
  std::uint8_t lockBits = 0xFF;
  std::array<std::uint8_t, 3> fuses = {0xFF, 0xFF, 0xFF};
  bool writeProtected = false;  // the lock bits forbid writing the memories
  bool readProtected = false;   // ... and reading them (an AVR then hides its signature)
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
  std::uint64_t dataBlocks = 0;  // '{' and '>' blocks received since Start
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
  // The version characters the board answers now, and the last firmware image it took whole.
  std::string Firmware() const;
  std::vector<std::uint8_t> FirmwareImage() const;
  bool InLoader() const;  // between an acknowledged CmdEnterLoader and the end of the transfer

  // The target chip's memories, as copies; empty for a memory the chip lacks or an unknown chip.
  // They live as long as this object (across Stop and Start), and may be read and changed before
  // Start, while the board runs and after Stop. The chip is made, with the state file and images
  // loaded, on the first of these calls or Start.
  std::vector<std::uint8_t> FlashContents() const;
  std::vector<std::uint8_t> EepromContents() const;
  ChipLockState LockState() const;
  // False (and nothing changed) when the bytes do not fit into the memory.
  bool SetFlashContents(std::size_t offset, std::span<const std::uint8_t> bytes);
  bool SetEepromContents(std::size_t offset, std::span<const std::uint8_t> bytes);
  void SetLockBits(std::uint8_t lockBits);
  void SetFuseBytes(const std::array<std::uint8_t, 3>& fuses);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  WireLog log_;
};

}  // namespace zr7sim
