#pragma once
// The long transfers between an image and the chip, each run on a worker thread behind the
// progress window: AT45 erase, program, read, verify and blank check, in every family's framing.

#include <atomic>
#include <cstdint>

#include "link/ChipJob.h"
#include "link/ChipWire.h"
#include "operator/ProgressOperation.h"

namespace zr7 {

class BoardLink;
class MemoryBuffer;
struct DeviceRecord;

// How a device's memory travels on the wire; chosen by data from the device record.
enum class WirePath {
  At45,        // DataFlash: raw SPI transfers through the board
  At89S4Byte,  // one 4-byte instruction per byte
  At25,        // SPI EEPROM bytes under chip select
  AvrPaged,    // Flash page buffer loaded in quarters, then a page write (Flash only)
  Blocks,      // the board's 64-byte block commands: byte-mode Flash, all Eeprom, 3-byte AT89S
};
WirePath PathFor(const DeviceRecord& device, bool isFlash);

// The byte-delay code sent with CmdSetByteDelay: the override converted, else the device's code.
std::uint8_t ByteDelayCode(bool overrideOn, std::int32_t overrideMs, std::int32_t deviceCode);

// Common to the transfers: the link, the device, and the job's settings.
class TransferOperation : public ProgressOperation {
 public:
  TransferOperation(BoardLink& link, const DeviceRecord& device, const ChipJob& job);

  // The run's wire; its LastFailure names the command a failed run stopped at.
  const ChipWire& Wire() const { return wire_; }

 protected:
  void ShowConnectionError();
  // The box, then the result code of a communication error.
  std::int32_t ConnectionFailure();
  // Sleeps on the link's clock (tests see every wait).
  void Sleep(std::int32_t ms);
  // An image longer than the memory asks message 1028 (OK/Cancel) and is then done up to
  // `limit`. False when the operator cancelled: the run is then the operator's cancel.
  bool AcceptLimit(std::uint32_t used, std::int32_t limit, bool isFlash);
  // A configurable wait (a page delay, the board delays) that Cancel and Ctrl+C end at once;
  // false when they did. The chip's own timing waits use Sleep and are always waited out.
  bool Delay(std::int32_t ms);

  BoardLink& link_;
  ChipWire wire_;
  const DeviceRecord& device_;
  const ChipJob job_;
};

// Block erase of a whole AT45 DataFlash, eight pages a block.
class EraseOperation : public TransferOperation {
 public:
  EraseOperation(BoardLink& link, const DeviceRecord& device, const ChipJob& job);
  std::int32_t Run() override;

  std::int32_t flashSize;
  std::int32_t pageSize;
  std::int32_t pageShift;
};

class ProgramOperation : public TransferOperation {
 public:
  ProgramOperation(BoardLink& link, const DeviceRecord& device, const ChipJob& job, MemoryBuffer& buffer,
                   bool isFlash);
  std::int32_t Run() override;

  MemoryBuffer& buffer;
  const bool isFlash;
  const std::int32_t limit;
  // The bytes the run writes: the image up to the memory's size.
  std::uint32_t length = 0;

 private:
  std::int32_t RunAt45(std::uint32_t n);
  std::int32_t RunAt89S(std::uint32_t n);
  std::int32_t RunAt25(std::uint32_t n);
  std::int32_t RunBlocks(std::uint32_t n);
  std::int32_t RunPaged(std::uint32_t n);
  void MarkWritten(std::uint32_t from, std::uint32_t count);
};

class ReadOperation : public TransferOperation {
 public:
  ReadOperation(BoardLink& link, const DeviceRecord& device, const ChipJob& job, MemoryBuffer& buffer,
                bool isFlash);
  std::int32_t Run() override;

  MemoryBuffer& buffer;
  const bool isFlash;

 protected:
  // What to do with each byte that arrives at offset `at`; reading stores, verifying compares.
  virtual void Take(std::uint32_t at, std::uint8_t value);
  // Reads `n` bytes in the device's framing; the first phase has begun.
  std::int32_t ReadChip(std::uint32_t n, std::int32_t captionId);
  // The general path's block request as two single bytes (the verify's way).
  bool requestBytewise_ = false;
};

class VerifyOperation : public ReadOperation {
 public:
  VerifyOperation(BoardLink& link, const DeviceRecord& device, const ChipJob& job, MemoryBuffer& buffer,
                  bool isFlash, ChipResults& results);
  std::int32_t Run() override;

  const std::int32_t limit;
  std::atomic<bool> matched{true};
  // The bytes the run compares: the image up to the memory's size.
  std::uint32_t length = 0;

 protected:
  void Take(std::uint32_t at, std::uint8_t value) override;

 private:
  ChipResults& results_;
};

// Reads the Flash and stops at the first byte that is not 0xFF (result 100).
class BlankCheckOperation : public TransferOperation {
 public:
  BlankCheckOperation(BoardLink& link, const DeviceRecord& device, const ChipJob& job);
  std::int32_t Run() override;
};

}  // namespace zr7
