#include "link/ChipWire.h"

#include <cstdio>
#include <vector>

#include "link/BoardLink.h"
#include "link/Commands.h"

namespace zr7 {

namespace {

// Serial instructions of the targets.
constexpr std::uint8_t kAt45BufferWrite = 0x84;
constexpr std::uint8_t kAt45BufferToPage = 0x83;
constexpr std::uint8_t kAt45ContinuousRead = 0xE8;
constexpr std::uint8_t kAt45BlockErase = 0x50;
constexpr std::uint8_t kAt25WriteEnable = 0x06;
constexpr std::uint8_t kAt25WriteDisable = 0x04;
constexpr std::uint8_t kAt25Write = 0x02;
constexpr std::uint8_t kAt25Read = 0x03;
constexpr std::uint8_t kAvrPageWrite = 0x4C;
constexpr std::uint8_t kAvrExtendedAddress = 0x4D;
constexpr std::uint8_t kAvrWriteLowByte = 0x40;
constexpr std::uint8_t kAvrChipErase[] = {0xAC, 0x80, 0x04, 0x00};
constexpr std::uint8_t kAt89WriteByte = 0x40;
constexpr std::uint8_t kAt89ReadByte = 0x20;
constexpr std::uint8_t kAt89ReadSignature = 0x28;

std::uint8_t Hi(std::uint32_t v) { return static_cast<std::uint8_t>((v >> 8) & 0xFF); }
std::uint8_t Lo(std::uint32_t v) { return static_cast<std::uint8_t>(v & 0xFF); }

}  // namespace

ChipWire::ChipWire(BoardLink& link) : link_(link) {}

bool ChipWire::Fail(std::string_view what) {
  failure_.assign(command_).append(": ").append(what);
  return false;
}

bool ChipWire::Put(std::string_view name, std::span<const std::uint8_t> bytes) {
  command_ = name;
  return link_.Port().SendBlock(bytes.data(), bytes.size()) || Fail("send failed");
}

int ChipWire::Answer() { return link_.Port().ReceiveByte(); }

bool ChipWire::Acknowledged(int answer) {
  if (answer == ReplyCr) return true;
  if (answer < 0) return Fail("no CR (nothing came)");
  char got[32];
  std::snprintf(got, sizeof got, "no CR (got 0x%02X)", static_cast<unsigned>(answer));
  return Fail(got);
}

int ChipWire::Reply() {
  const int b = Answer();
  if (b < 0) Fail("nothing came");
  return b;
}

const std::uint8_t* ChipWire::Data(std::size_t count) {
  const std::uint8_t* bytes = link_.Port().Receive(count);
  if (!bytes) Fail(std::to_string(count) + " bytes expected, not all came");
  return bytes;
}

bool ChipWire::WriteN(std::string_view name, std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> frame{CmdSpiWriteN, Hi(bytes.size()), Lo(bytes.size())};
  frame.insert(frame.end(), bytes.begin(), bytes.end());
  return Put(name, frame) && Cr();
}

// ---- board commands -----------------------------------------------------------------------

bool ChipWire::FlashSelect() { return PutCr("FlashSelect", {CmdFlashSelect}); }
bool ChipWire::FlashDeselect() { return PutCr("FlashDeselect", {CmdFlashDeselect}); }
bool ChipWire::EepSelect() { return PutCr("EepSelect", {CmdEepSelect}); }
bool ChipWire::EepDeselect() { return PutCr("EepDeselect", {CmdEepDeselect}); }
bool ChipWire::SpiPut(std::uint8_t byte) { return PutCr("SpiPut", {CmdSpiPut, byte}); }

int ChipWire::SpiGet() {
  command_ = "SpiGet";
  if (link_.Port().SendByte(CmdSpiGet)) return Reply();
  Fail("send failed");
  return -1;
}

bool ChipWire::SpiWriteN(std::span<const std::uint8_t> bytes) { return WriteN("SpiWriteN", bytes); }

const std::uint8_t* ChipWire::SpiReadN(std::uint16_t count) {
  return Put("SpiReadN", {CmdSpiReadN, Hi(count), Lo(count)}) ? Data(count) : nullptr;
}

bool ChipWire::SpiReadNEnd() { return Cr(); }

bool ChipWire::SetByteDelay(std::uint8_t code) { return PutCr("SetByteDelay", {CmdSetByteDelay, code}); }

bool ChipWire::SetAddress(std::uint16_t wordAddress) {
  return PutCr("SetAddress", {CmdSetAddress, Hi(wordAddress), Lo(wordAddress)});
}

bool ChipWire::Spi4(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
  return PutCr("Spi4", {CmdSpi4, b0, b1, b2, b3});
}

bool ChipWire::Spi4Send(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
  return Put("Spi4", {CmdSpi4, b0, b1, b2, b3});
}

bool ChipWire::Spi3Send(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
  return Put("Spi3", {CmdSpi3, b0, b1, b2});
}

int ChipWire::SpiRead4(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
  return Put("SpiRead4", {CmdSpiRead4, b0, b1, b2}) ? Reply() : -1;
}

int ChipWire::WriteBlock(bool flash, std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> frame{flash ? CmdWriteFlash : CmdWriteEeprom, static_cast<std::uint8_t>(bytes.size())};
  frame.insert(frame.end(), bytes.begin(), bytes.end());
  if (!Put(flash ? "WriteFlash" : "WriteEeprom", frame)) return -1;
  const int answer = Answer();
  Acknowledged(answer);
  return answer;
}

const std::uint8_t* ChipWire::ReadBlock(bool flash, std::uint8_t count, bool bytewise) {
  const std::uint8_t command = flash ? CmdReadFlash : CmdReadEeprom;
  const std::string_view name = flash ? "ReadFlash" : "ReadEeprom";
  bool sent;
  if (bytewise) {
    command_ = name;
    sent = (link_.Port().SendByte(command) && link_.Port().SendByte(count)) || Fail("send failed");
  } else {
    sent = Put(name, {command, count});
  }
  return sent ? Data(count) : nullptr;
}

bool ChipWire::EndSession() { return PutCr("EndSession", {CmdEndSession}); }

// ---- target instructions ------------------------------------------------------------------

bool ChipWire::At45BlockErase(std::uint32_t address) {
  const std::uint8_t in[] = {kAt45BlockErase, Hi(address), Lo(address), 0x00};
  return WriteN("At45BlockErase", in);
}

bool ChipWire::At45BufferWrite() {
  const std::uint8_t in[] = {kAt45BufferWrite, 0x00, 0x00, 0x00};
  return WriteN("At45BufferWrite", in);
}

bool ChipWire::At45BufferToPage(std::uint32_t address) {
  const std::uint8_t in[] = {kAt45BufferToPage, Hi(address), Lo(address), 0x00};
  return WriteN("At45BufferToPage", in);
}

bool ChipWire::At45ContinuousRead() {
  // The opcode, three address bytes and four don't-care bytes.
  const std::uint8_t in[] = {kAt45ContinuousRead, 0, 0, 0, 0, 0, 0, 0};
  return WriteN("At45ContinuousRead", in);
}

bool ChipWire::At25WriteEnable() { return PutCr("At25WriteEnable", {CmdSpiPut, kAt25WriteEnable}); }
bool ChipWire::At25WriteDisable() { return PutCr("At25WriteDisable", {CmdSpiPut, kAt25WriteDisable}); }

bool ChipWire::At25Write(std::uint16_t address) {
  return PutCr("At25Write", {CmdSpiPut, kAt25Write}) && PutCr("At25Write", {CmdSpiPut, Hi(address)}) &&
         PutCr("At25Write", {CmdSpiPut, Lo(address)});
}

bool ChipWire::At25Read(std::uint16_t address) {
  return PutCr("At25Read", {CmdSpiPut, kAt25Read}) && PutCr("At25Read", {CmdSpiPut, Hi(address)}) &&
         PutCr("At25Read", {CmdSpiPut, Lo(address)});
}

bool ChipWire::AvrPageWrite(std::uint32_t byteOffset) {
  // The page's word address: byte offset / 2, high byte first.
  return Put("AvrPageWrite", {CmdSpi4, kAvrPageWrite, static_cast<std::uint8_t>((byteOffset >> 9) & 0xFF),
                              static_cast<std::uint8_t>((byteOffset >> 1) & 0xFF), 0x00});
}

bool ChipWire::AvrExtendedAddress(std::uint8_t bank) {
  return PutCr("AvrExtendedAddress", {CmdSpi4, kAvrExtendedAddress, 0x00, bank, 0x00});
}

bool ChipWire::AvrChipErase() {
  return Put("AvrChipErase", {CmdSpi4, kAvrChipErase[0], kAvrChipErase[1], kAvrChipErase[2], kAvrChipErase[3]});
}

bool ChipWire::AvrWriteLowByte(std::uint16_t wordAddress, std::uint8_t value) {
  return PutCr("AvrWriteLowByte", {CmdSpi4, kAvrWriteLowByte, Hi(wordAddress), Lo(wordAddress), value});
}

bool ChipWire::ThreeByteChipErase() {
  // The 3-byte chips take one byte more than their instruction uses.
  return Put("ThreeByteChipErase", {CmdSpi3, 0xAC, 0x04, 0x00, 0x00});
}

bool ChipWire::At89WriteByte(std::uint16_t address, std::uint8_t value) {
  return Put("At89WriteByte", {CmdSpi4, kAt89WriteByte, Hi(address), Lo(address), value}) && Reply() >= 0;
}

int ChipWire::At89ReadByte(std::uint16_t address) {
  return Put("At89ReadByte", {CmdSpiRead4, kAt89ReadByte, Hi(address), Lo(address)}) ? Reply() : -1;
}

int ChipWire::At89ReadSignature(std::uint8_t index) {
  return Put("At89ReadSignature", {CmdSpiRead4, kAt89ReadSignature, index, 0x00}) ? Reply() : -1;
}

}  // namespace zr7
