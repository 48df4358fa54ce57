#include "BoardFirmware.h"

#include <algorithm>

namespace zr7sim {

namespace {

constexpr std::uint32_t kBankShift = 17;  // 128 KB: what 16 bits of word address reach

bool IsAvrCode(std::uint8_t code) { return code == 0 || code == 2 || code == 4; }

std::uint8_t Lo(std::uint32_t v) { return static_cast<std::uint8_t>(v & 0xFF); }

}  // namespace

BoardFirmware::Instr BoardFirmware::WriteInstruction(std::uint8_t code, BoardMemory memory,
                                                     std::uint32_t a, std::uint8_t b) {
  const bool flash = memory == BoardMemory::Flash;
  switch (code) {
    case 0:
    case 2:
    case 4:
      if (flash) return {{Lo(0x40 | (a & 1) << 3), Lo(a >> 9), Lo(a >> 1), b}, 4};
      return {{0xC0, Lo(a >> 8), Lo(a), b}, 4};
    case 1:
      if (flash) return {{Lo((a >> 8 & 0x1F) << 3 | 0x02), Lo(a), b}, 3};
      return {{Lo((a >> 8 & 0x07) << 3 | 0x06), Lo(a), b}, 3};
    case 3:
      if (flash) return {{Lo((a >> 8 & 0x1F) << 3 | (a >> 13 & 1) << 2 | 0x02), Lo(a), b}, 3};
      return {};
    default:
      return {};
  }
}

BoardFirmware::Instr BoardFirmware::ReadInstruction(std::uint8_t code, BoardMemory memory,
                                                    std::uint32_t a) {
  const bool flash = memory == BoardMemory::Flash;
  switch (code) {
    case 0:
    case 2:
    case 4:
      if (flash) return {{Lo(0x20 | (a & 1) << 3), Lo(a >> 9), Lo(a >> 1), 0x00}, 4};
      return {{0xA0, Lo(a >> 8), Lo(a), 0x00}, 4};
    case 1:
      if (flash) return {{Lo((a >> 8 & 0x1F) << 3 | 0x01), Lo(a), 0x00}, 3};
      return {{Lo((a >> 8 & 0x07) << 3 | 0x05), Lo(a), 0x00}, 3};
    case 3:
      if (flash) return {{Lo((a >> 8 & 0x1F) << 3 | (a >> 13 & 1) << 2 | 0x01), Lo(a), 0x00}, 3};
      return {};
    default:
      return {};
  }
}

std::uint8_t BoardFirmware::ReadByte(const Target& t, BoardMemory memory, std::uint32_t a) {
  const std::uint8_t code = t.state.deviceCode;
  const Instr read = ReadInstruction(code, memory, a);
  if (!read.length) return 0xFF;
  if (IsAvrCode(code) && memory == BoardMemory::Flash && (a >> kBankShift) != bank_) {
    bank_ = Lo(a >> kBankShift);
    const std::uint8_t load[4] = {0x4D, 0x00, bank_, 0x00};
    t.chip.Instruction(load);
  }
  const InstructionReply out = t.chip.Instruction(read.Span());
  return read.length == 4 ? out[3] : out[2];
}

bool BoardFirmware::Settle(const Target& t, BoardMemory memory, std::uint32_t a, std::uint8_t b) {
  // FF reads the same before and after a write, so it cannot be polled: only waited for.
  if (!t.state.polling || b == 0xFF) {
    t.now += t.byteDelay;
    return true;
  }
  const SimClock::time_point deadline = t.now + t.times.pollLimit;
  t.now = std::clamp(t.chip.ReadyAt(), t.now, deadline);
  if (ReadByte(t, memory, a) == b) return true;
  if (t.now < deadline) {
    t.now = deadline;
    if (ReadByte(t, memory, a) == b) return true;
  }
  note_(std::string(memory == BoardMemory::Flash ? "Flash" : "Eeprom") + " byte at " +
        std::to_string(a) + " never read back as written: polling failed, block answered ESC");
  return false;
}

bool BoardFirmware::Write(const Target& t, BoardMemory memory, std::uint32_t& address,
                          std::span<const std::uint8_t> data) {
  const std::uint8_t code = t.state.deviceCode;
  for (std::uint8_t b : data) {
    const std::uint32_t a = address++;
    const Instr write = WriteInstruction(code, memory, a, b);
    if (!write.length) {
      NoteOnce(std::string("device code ") + std::to_string(code) + " has no " +
               (memory == BoardMemory::Flash ? "Flash" : "Eeprom") +
               " write instruction; the block's bytes go nowhere");
      continue;
    }
    t.chip.Instruction(write.Span());
    if (code == 2 && memory == BoardMemory::Flash) continue;  // a page load
    if (!Settle(t, memory, a, b)) return false;
  }
  return true;
}

std::vector<std::uint8_t> BoardFirmware::Read(const Target& t, BoardMemory memory,
                                              std::uint32_t& address, std::size_t count) {
  std::vector<std::uint8_t> out;
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) out.push_back(ReadByte(t, memory, address++));
  return out;
}

void BoardFirmware::SawInstruction(std::span<const std::uint8_t> in) {
  if (in.size() == 4 && in[0] == 0x4D) bank_ = in[2];
}

void BoardFirmware::TargetReset() {
  bank_ = 0;
  noted_.clear();
}

void BoardFirmware::NoteOnce(const std::string& text) {
  if (noted_.insert(text).second) note_(text);
}

}  // namespace zr7sim
