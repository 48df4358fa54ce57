#pragma once
// What a chip command works with: the settings of the job at the moment it starts, and the
// outcomes that the program keeps between commands (autoprogram decides from them).

#include <array>
#include <atomic>
#include <cstdint>

#include "link/BoardLink.h"

namespace zr7 {

// The project's per-job transfer options (delays in milliseconds).
struct TransferOptions {
  bool checkSign = false;
  bool autoIncrementFlash = false;
  std::int32_t autoIncAddressFlash = 0;
  bool autoIncrementEeprom = false;  // the project key "AutoIncrement"
  std::int32_t autoIncAddressEeprom = 0;
  bool delayByte = false;  // Flash byte-delay override
  std::int32_t delayByteValue = 9;
  bool delayPage = false;  // Flash page-delay override
  std::int32_t delayPageValue = 6;
  bool delayByte2 = false;  // the same two for Eeprom
  std::int32_t delayByteValue2 = 10;
  bool delayPage2 = false;
  std::int32_t delayPageValue2 = 10;
};

// The four per-user board timing values, in milliseconds.
struct BoardDelays {
  std::int32_t preRead = 0;    // "Special1"
  std::int32_t pageRead = 0;   // "Special2": after each block read
  std::int32_t pageWrite = 0;  // "Special3": after each block or page written
  std::int32_t postSend = 0;   // "Special4"
  bool operator==(const BoardDelays&) const = default;
};

// The board this run talks to. The simulator's port is for this run only and is never
// written to the profile.
struct BoardChoice {
  int port = 0;  // 1..8, 0 = none chosen
  bool highSpeed = false;
  bool simulatorPort = false;  // `port` is the simulator's, not the user's
};

struct ChipJob {
  ConnectOptions connect;   // includes the selected device number
  TransferOptions transfer;
  int boardPort = 0;        // 1..8; 0 = no board chosen
  bool highSpeed = false;   // 115200 baud for Flash and Eeprom transfers
  BoardDelays delays;
};

// Outcomes kept between commands.
struct ChipResults {
  std::atomic<std::int32_t> lastOperationStatus{-1};
  bool flashVerified = false;
  bool eepromVerified = false;
  std::atomic<std::int32_t> firstMismatchAddress{-1};
  std::array<int, 3> signature = {255, 255, 255};  // the last signature read
  std::int32_t bytesProgrammed = 0;                 // by the last good Program, as its line says
};

}  // namespace zr7
