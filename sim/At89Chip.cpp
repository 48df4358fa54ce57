// AT89S serial programming. The 4-byte family (AT89S2051/4051/51/52) takes AVR-like
// instructions; the AT89S8252 and AT89S53 take 3 bytes with the high address bits and the
// operation packed into the first byte: A12..A8 in bits 7..3, then bits 2..0 001 read code,
// 010 write code, and on the 8252 101 / 110 read / write data memory; the AT89S53 puts A13
// into bit 2 and has no data memory.

#include <cstdio>

#include "BoardSimulator.h"
#include "ChipModels.h"

namespace zr7sim {

namespace {

class At89Chip final : public TargetChip {
 public:
  At89Chip(const zr7::DeviceRecord& record, const SimOptions& options, ChipContext context)
      : TargetChip(record, std::move(context)),
        length_(record.ProgrammingClass == zr7::ClassAt89S4Byte ? 4 : 3) {
    flash_.assign(record.FlashSize, 0xFF);
    eeprom_.assign(record.EepromSize, 0xFF);
    if (options.locked) lock_ = 0xFC;  // LB1 and LB2 programmed
  }

  // One programmed lock bit stops programming, two stop verifying as well.
  bool WriteProtected() const override { return Programmed() >= 1; }
  bool ReadProtected() const override { return Programmed() >= 2; }

  InstructionReply Instruction(std::span<const std::uint8_t> in) override {
    if (in.size() != length_) {
      Note(std::to_string(in.size()) + "-byte instruction " + HexBytes(in) + " to a chip with " +
           std::to_string(length_) + "-byte instructions, ignored");
      return kNoAnswer;
    }
    InstructionReply out = kNoAnswer;
    if (IsProgrammingEnable(in)) {
      if (!heldInReset_) Note("programming enable while the board does not hold reset");
      programming_ = true;
      if (length_ == 4) out[3] = 0x69;  // the 4-byte family's acknowledgement of the enable
      return out;
    }
    if (!programming_) {
      NoteOnce("outside", "instruction " + HexBytes(in) + " outside programming mode, answered FF");
      return out;
    }
    if (length_ == 4)
      out[3] = FourByte(in);
    else
      out[2] = ThreeByte(in);
    return out;
  }

 protected:
  ResetPolarity WantedReset() const override { return ResetPolarity::ActiveHigh; }

 private:
  int Programmed() const {
    return !(lock_ & 1) + !(lock_ & 2) + !(lock_ & 4);
  }

  std::uint8_t FourByte(std::span<const std::uint8_t> in) {
    const std::uint32_t address = in[1] << 8 | in[2];
    switch (in[0]) {
      case 0xAC:
        if ((in[1] & 0xE0) == 0x80) {
          Erase();
        } else if ((in[1] & 0xFC) == 0xE0) {
          // E0 | m programs lock bit m (1..3); 0 programs none.
          if (in[1] & 3) lock_ &= static_cast<std::uint8_t>(~(1u << ((in[1] & 3) - 1)));
          MarkDirty();
        } else {
          NotUnderstood(in);
        }
        return 0xFF;
      case 0x20:
        return Read(flash_, address);
      case 0x40:
        Write(flash_, address, in[3], true);
        return 0xFF;
      case 0x28:  // signature byte at address i * 256
        return in[1] < 3 ? record_.Signature[in[1]] : 0xFF;
      case 0x24:  // lock bits, 1 = programmed, LB1..LB3 in bits 2..4
        return static_cast<std::uint8_t>((~lock_ & 0x07) << 2);
      default:
        NotUnderstood(in);
        return 0xFF;
    }
  }

  std::uint8_t ThreeByte(std::span<const std::uint8_t> in) {
    if (in[0] == 0xAC) {
      switch (in[1] & 0x07) {
        case 0x04:
          Erase();
          break;
        case 0x07:
          // Lock bits in bits 5..7 of the second byte, 0 = programme.
          lock_ &= static_cast<std::uint8_t>(0xF8 | (in[1] >> 5));
          MarkDirty();
          break;
        default:
          NotUnderstood(in);
          break;
      }
      return 0xFF;
    }
    const bool at89s53 = record_.ProgrammingClass == zr7::ClassAt89S53;
    const std::uint32_t high = in[0] >> 3;
    const std::uint32_t codeAddress = (at89s53 ? (in[0] >> 2 & 1) << 13 : 0) | high << 8 | in[1];
    const std::uint32_t dataAddress = (high & 0x07) << 8 | in[1];
    switch (at89s53 ? in[0] & 0x03 : in[0] & 0x07) {
      case 0x01:
        return Read(flash_, codeAddress);
      case 0x02:
        Write(flash_, codeAddress, in[2], true);
        return 0xFF;
      case 0x05:
        return Read(eeprom_, dataAddress);
      case 0x06:
        Write(eeprom_, dataAddress, in[2], false);
        return 0xFF;
      default:
        NotUnderstood(in);
        return 0xFF;
    }
  }

  void Erase() {
    if (Busy()) {
      NoteOnce("busy", "chip erase while a write is still in progress, ignored");
      return;
    }
    std::fill(flash_.begin(), flash_.end(), 0xFF);
    std::fill(eeprom_.begin(), eeprom_.end(), 0xFF);
    lock_ = 0xFF;
    MarkDirty();
    BusyFor(Times().at89ChipErase);
  }

  std::uint8_t Read(const std::vector<std::uint8_t>& memory, std::uint32_t address) const {
    if (memory.empty() || Busy()) return 0xFF;
    address %= static_cast<std::uint32_t>(memory.size());
    return ReadProtected() ? ProtectedReadValue(address) : memory[address];
  }

  // Code memory is Flash, whose bits only an erase sets again; the 8252's data memory erases
  // each byte as it writes it.
  void Write(std::vector<std::uint8_t>& memory, std::uint32_t address, std::uint8_t value,
             bool flash) {
    if (memory.empty()) return;
    if (Busy()) {
      NoteOnce("busy", "byte write while a write is still in progress, ignored");
      return;
    }
    if (WriteProtected()) {
      NoteOnce("locked", "byte write to a locked chip, ignored");
      return;
    }
    std::uint8_t& cell = memory[address % memory.size()];
    cell = flash ? static_cast<std::uint8_t>(cell & value) : value;
    MarkDirty();
    BusyFor(length_ == 4 ? Times().at89ByteWrite : Times().at89Byte3Write);
  }

  void NotUnderstood(std::span<const std::uint8_t> in) {
    char kind[16];
    std::snprintf(kind, sizeof kind, "op %02X", in[0]);
    NoteOnce(kind, "AT89S instruction " + HexBytes(in) + " not understood, answered FF");
  }

  const std::size_t length_;
};

}  // namespace

std::unique_ptr<TargetChip> MakeAt89Chip(const zr7::DeviceRecord& record, const SimOptions& options,
                                         ChipContext context) {
  return std::make_unique<At89Chip>(record, options, std::move(context));
}

}  // namespace zr7sim
