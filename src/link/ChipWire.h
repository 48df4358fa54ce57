#pragma once
// The wire protocol of the chip commands in one place: each board command and each target
// instruction they send, as a named call over an open BoardLink. A call whose command the board
// acknowledges with CR requires that CR. When a call fails, LastFailure() names the command and
// what came instead; it is for diagnostics and tests, never shown to the operator.
// Each command goes out as one write (the verify's block request excepted, see ReadBlock).

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace zr7 {

class BoardLink;

class ChipWire {
 public:
  explicit ChipWire(BoardLink& link);

  // "FlashSelect: no CR (got 0x1B)", "SpiGet: nothing came", ...; empty until a call fails.
  const std::string& LastFailure() const { return failure_; }

  // ---- board commands -------------------------------------------------------------------
  bool FlashSelect();
  bool FlashDeselect();
  bool EepSelect();
  bool EepDeselect();
  bool SpiPut(std::uint8_t byte);
  // The byte the target shifted out; -1 when none came.
  int SpiGet();
  bool SpiWriteN(std::span<const std::uint8_t> bytes);
  // The `count` bytes shifted in (valid until the next read), or null; the board's CR after them
  // is awaited apart, with SpiReadNEnd, so that the caller may look at the bytes first.
  const std::uint8_t* SpiReadN(std::uint16_t count);
  bool SpiReadNEnd();
  bool SetByteDelay(std::uint8_t code);
  bool SetAddress(std::uint16_t wordAddress);
  // A 4-byte instruction; the Send forms leave the board's CR to Cr (or Answer/Acknowledged).
  bool Spi4(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3);
  bool Spi4Send(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3);
  bool Spi3Send(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2);
  // The target's fourth byte of the instruction; -1 when none came.
  int SpiRead4(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2);
  // One data block (up to 64 bytes) to the board's Flash or Eeprom writer. The board's answer:
  // ReplyCr, ReplyEsc (its data poll failed), another byte, or -1 (not sent, or nothing came).
  int WriteBlock(bool flash, std::span<const std::uint8_t> bytes);
  // `count` bytes from the board's Flash or Eeprom reader, or null. `bytewise` sends the
  // request as two single-byte writes (the verify's way).
  const std::uint8_t* ReadBlock(bool flash, std::uint8_t count, bool bytewise = false);
  bool EndSession();

  // An answer awaited apart from its command (after a wait, or timed by the caller).
  int Answer();
  // True for CR; otherwise the failure is put on the last command sent.
  bool Acknowledged(int answer);
  bool Cr() { return Acknowledged(Answer()); }

  // ---- target instructions --------------------------------------------------------------
  // DataFlash, under FlashSelect; `address` is the page address as shifted for the chip.
  bool At45BlockErase(std::uint32_t address);
  bool At45BufferWrite();  // buffer 1 from its first byte; the data follows by SpiWriteN
  bool At45BufferToPage(std::uint32_t address);
  bool At45ContinuousRead();  // from address 0; the data comes by SpiReadN
  // SPI Eeprom, under EepSelect; Write and Read are followed by the data bytes.
  bool At25WriteEnable();
  bool At25WriteDisable();
  bool At25Write(std::uint16_t address);
  bool At25Read(std::uint16_t address);
  // AVR: the page write is only sent (the caller times its answer); the bank requires CR.
  bool AvrPageWrite(std::uint32_t byteOffset);
  bool AvrExtendedAddress(std::uint8_t bank);
  // The chip erase is only sent: the board answers once the erase has had its time (Cr()).
  bool AvrChipErase();
  bool AvrWriteLowByte(std::uint16_t wordAddress, std::uint8_t value);
  // The 3-byte AT89S chips' chip erase, only sent like the AVR one.
  bool ThreeByteChipErase();
  // AT89S 4-byte: the write's answer says nothing, only its absence fails.
  bool At89WriteByte(std::uint16_t address, std::uint8_t value);
  int At89ReadByte(std::uint16_t address);
  int At89ReadSignature(std::uint8_t index);

 private:
  bool Put(std::string_view name, std::span<const std::uint8_t> bytes);
  bool Put(std::string_view name, std::initializer_list<std::uint8_t> bytes) {
    return Put(name, std::span<const std::uint8_t>(bytes.begin(), bytes.size()));
  }
  bool PutCr(std::string_view name, std::initializer_list<std::uint8_t> bytes) { return Put(name, bytes) && Cr(); }
  bool WriteN(std::string_view name, std::span<const std::uint8_t> bytes);
  int Reply();  // one byte of any value; -1 (recorded) when none came
  const std::uint8_t* Data(std::size_t count);
  bool Fail(std::string_view what);

  BoardLink& link_;
  std::string_view command_;  // the name of the last command sent
  std::string failure_;
};

}  // namespace zr7
