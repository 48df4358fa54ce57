// AVR serial programming (programming class 0, also the AT86RF401): 4-byte instructions, Flash
// written through a page buffer or byte by byte, Eeprom byte by byte, lock and fuse bytes.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

#include "BoardSimulator.h"
#include "ChipModels.h"

namespace zr7sim {

namespace {

constexpr std::uint32_t kBankBytes = 128 * 1024;  // what 16 bits of word address reach

// The first AVRs (and the chips built like them) put LB1 and LB2 into bits 1 and 2 of the lock
// instruction's second byte and have a single fuse byte; the later ones take the lock byte as
// the instruction's last byte and have up to three fuse bytes. The device table's lock/fuse
// layout index tells the generations apart.
bool FirstGenerationLocks(std::uint32_t layout) {
  return layout == 0 || (layout >= 2 && layout <= 8) || layout == 22;
}

class AvrChip final : public TargetChip {
 public:
  AvrChip(const zr7::DeviceRecord& record, const SimOptions& options, ChipContext context)
      : TargetChip(record, std::move(context)),
        firstGeneration_(FirstGenerationLocks(record.LockFuseLayoutIndex)),
        signature_(options.signature.value_or(record.Signature)) {
    flash_.assign(record.FlashSize, 0xFF);
    eeprom_.assign(record.EepromSize, 0xFF);
    pageBuffer_.assign(2 * record.PageSize, 0xFF);
    for (std::uint32_t i = 0; i < record.CalibrationCount; ++i)
      calibration_.push_back(i < options.calibration.size() ? options.calibration[i]
                                                            : static_cast<std::uint8_t>(0xA0 + i));
    if (options.locked) lock_ = 0xFC;  // LB1 and LB2 programmed
    if (options.fuses) fuses_ = *options.fuses;
    // The chips whose table gives a 5 ms Eeprom delay are the ones that write a byte that fast.
    eepromWrite_ = DelayForCode(static_cast<std::uint8_t>(record.EepromWriteDelay)) >=
                           std::chrono::milliseconds(9)
                       ? Times().avrEepromByte
                       : Times().avrEepromByteFast;
  }

  void Reset(ResetPolarity polarity) override {
    TargetChip::Reset(polarity);
    ClearVolatile();
  }
  void Release() override {
    TargetChip::Release();
    ClearVolatile();
  }

  // LB1 alone stops programming, LB1 with LB2 stops verifying too.
  bool WriteProtected() const override { return (lock_ & 0x03) != 0x03; }
  bool ReadProtected() const override { return (lock_ & 0x03) == 0x00; }

  InstructionReply Instruction(std::span<const std::uint8_t> in) override {
    if (in.size() != 4) {
      // Three bytes leave the chip's shift register out of step; it acts on nothing.
      Note(std::to_string(in.size()) + "-byte instruction " + HexBytes(in) +
           " to a chip with 4-byte instructions, ignored");
      return kNoAnswer;
    }
    // In step, an AVR echoes each byte one byte later; the fourth byte carries read data.
    InstructionReply out = {0xFF, in[0], in[1], in[2]};
    if (IsProgrammingEnable(in)) {
      if (!heldInReset_) Note("programming enable while the board does not hold reset");
      programming_ = true;
      return out;
    }
    if (!programming_) {
      NoteOnce("outside", "instruction " + HexBytes(in) + " outside programming mode, answered FF");
      return kNoAnswer;
    }
    const std::uint32_t word = ext_ << 16 | in[1] << 8 | in[2];
    const std::uint32_t eepromAddress = in[1] << 8 | in[2];
    out[3] = 0xFF;
    switch (in[0]) {
      case 0xAC:
        Special(in);
        break;
      case 0x30:  // signature byte
        // A locked AVR hides its signature behind this fixed pattern.
        out[3] = in[2] > 2 ? 0xFF : ReadProtected() ? in[2] : signature_[in[2]];
        break;
      case 0x38:  // calibration byte
        out[3] = in[2] < calibration_.size() ? calibration_[in[2]] : 0xFF;
        break;
      case 0x20:
      case 0x28:
        out[3] = ReadFlash(word * 2 + (in[0] == 0x28));
        break;
      case 0x40:
      case 0x48:
        LoadFlash(word, in[0] == 0x48, in[3]);
        break;
      case 0x4C:
        WritePage(word);
        break;
      case 0x4D:  // load extended address: the 128 KB bank of later word addresses
        if (record_.FlashSize > kBankBytes)
          ext_ = in[2];
        else
          NotUnderstood(in);
        break;
      case 0xA0:
        out[3] = ReadEeprom(eepromAddress);
        break;
      case 0xC0:
        WriteEeprom(eepromAddress, in[3]);
        break;
      case 0x50:
      case 0x58:
        out[3] = ReadLockOrFuse(in);
        break;
      case 0xF0:  // ready/busy poll, a page-mode chip's instruction
        if (record_.PageSize)
          out[3] = Busy() ? 0x01 : 0x00;
        else
          NotUnderstood(in);
        break;
      default:
        NotUnderstood(in);
        break;
    }
    return out;
  }

 private:
  void ClearVolatile() {
    ext_ = 0;
    std::fill(pageBuffer_.begin(), pageBuffer_.end(), 0xFF);
  }

  void NotUnderstood(std::span<const std::uint8_t> in) {
    char kind[16];
    std::snprintf(kind, sizeof kind, "op %02X", in[0]);
    NoteOnce(kind, "AVR instruction " + HexBytes(in) + " not understood, answered FF");
  }

  // Writes are refused while the chip is busy or locked; says so once.
  bool MayWrite(const char* what) {
    if (Busy()) {
      NoteOnce("busy", std::string(what) + " while a write is still in progress, ignored");
      return false;
    }
    if (WriteProtected()) {
      NoteOnce("locked", std::string(what) + " to a locked chip, ignored");
      return false;
    }
    return true;
  }

  std::uint8_t ReadFlash(std::uint32_t address) const {
    if (Busy()) return 0xFF;  // data polling: the chip answers FF until its write is done
    address %= static_cast<std::uint32_t>(flash_.size());
    return ReadProtected() ? ProtectedReadValue(address) : flash_[address];
  }

  void LoadFlash(std::uint32_t word, bool high, std::uint8_t value) {
    if (record_.PageSize) {
      // Loading the page buffer touches no Flash: always possible, takes no time.
      pageBuffer_[(word % record_.PageSize) * 2 + high] = value;
      return;
    }
    if (!MayWrite("Flash byte write")) return;
    // Without an erase, programming can only clear bits.
    flash_[(word * 2 + high) % flash_.size()] &= value;
    MarkDirty();
    BusyFor(Times().avrFlashByte);
  }

  void WritePage(std::uint32_t word) {
    if (!record_.PageSize) {
      NoteOnce("page", "page write 4C to a chip that writes its Flash byte by byte, ignored");
      return;
    }
    if (!MayWrite("Flash page write")) return;
    const std::size_t start = static_cast<std::size_t>(word / record_.PageSize) *
                              record_.PageSize * 2 % flash_.size();
    for (std::size_t i = 0; i < pageBuffer_.size(); ++i) flash_[start + i] &= pageBuffer_[i];
    std::fill(pageBuffer_.begin(), pageBuffer_.end(), 0xFF);
    MarkDirty();
    BusyFor(Times().avrPageWrite);
  }

  std::uint8_t ReadEeprom(std::uint32_t address) const {
    if (eeprom_.empty() || Busy()) return 0xFF;
    address %= static_cast<std::uint32_t>(eeprom_.size());
    return ReadProtected() ? ProtectedReadValue(address) : eeprom_[address];
  }

  void WriteEeprom(std::uint32_t address, std::uint8_t value) {
    if (eeprom_.empty() || !MayWrite("Eeprom write")) return;
    eeprom_[address % eeprom_.size()] = value;  // each Eeprom byte is erased as it is written
    MarkDirty();
    BusyFor(eepromWrite_);
  }

  // AC xx ...: chip erase, lock and fuse writes.
  void Special(std::span<const std::uint8_t> in) {
    const std::uint8_t op = in[1];
    if ((op & 0xE0) == 0x80) {
      if (Busy()) {
        NoteOnce("busy", "chip erase while a write is still in progress, ignored");
        return;
      }
      std::fill(flash_.begin(), flash_.end(), 0xFF);
      std::fill(eeprom_.begin(), eeprom_.end(), 0xFF);
      lock_ = 0xFF;
      MarkDirty();
      BusyFor(Times().avrChipErase);
    } else if ((op & 0xE0) == 0xE0) {
      // Lock bits can be programmed one way only; an erase is the way back.
      const std::uint8_t bits =
          firstGeneration_
              ? static_cast<std::uint8_t>(0xFC | (op >> 1 & 1) | (op >> 2 & 1) << 1)
              : static_cast<std::uint8_t>(in[3] | 0xC0);
      lock_ &= bits;
      MarkDirty();
    } else if (firstGeneration_ && (op & 0xE0) == 0xA0) {
      fuses_[0] = in[3];
      MarkDirty();
    } else if (!firstGeneration_ && (op == 0xA0 || op == 0xA8 || op == 0xA4)) {
      fuses_[op == 0xA0 ? 0 : op == 0xA8 ? 1 : 2] = in[3];
      MarkDirty();
    } else if (!firstGeneration_ && op == 0xAF) {
      // The ATmega161 writes its single fuse byte with this opcode of its own.
      fuses_[0] = in[3];
      MarkDirty();
    } else {
      NotUnderstood(in);
    }
  }

  std::uint8_t ReadLockOrFuse(std::span<const std::uint8_t> in) const {
    if (firstGeneration_) {
      if (in[0] == 0x50) return fuses_[0];
      return static_cast<std::uint8_t>(0xF9 | (lock_ & 1) << 1 | (lock_ >> 1 & 1) << 2);
    }
    const bool second = in[1] == 0x08;
    if (in[0] == 0x58) return second ? fuses_[1] : lock_;
    return second ? fuses_[2] : fuses_[0];
  }

  const bool firstGeneration_;
  const std::array<std::uint8_t, 3> signature_;
  std::vector<std::uint8_t> calibration_;
  std::vector<std::uint8_t> pageBuffer_;
  std::uint32_t ext_ = 0;
  Duration eepromWrite_{};
};

}  // namespace

std::unique_ptr<TargetChip> MakeAvrChip(const zr7::DeviceRecord& record, const SimOptions& options,
                                        ChipContext context) {
  return std::make_unique<AvrChip>(record, options, std::move(context));
}

}  // namespace zr7sim
