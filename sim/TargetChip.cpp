#include "TargetChip.h"

#include <cstdio>
#include <optional>

#include "BoardSimulator.h"

namespace zr7sim {

namespace {

constexpr InstructionReply kNoAnswer = {0xFF, 0xFF, 0xFF, 0xFF};  // MISO idles high

constexpr std::uint8_t kProgEnable0 = 0xAC;
constexpr std::uint8_t kProgEnable1 = 0x53;

bool IsProgrammingEnable(std::span<const std::uint8_t> in) {
  return in.size() >= 2 && in[0] == kProgEnable0 && in[1] == kProgEnable1;
}

// ---- AVR (programming class 0, also the AT86RF401) --------------------------------------------

class AvrChip final : public TargetChip {
 public:
  AvrChip(const zr7::DeviceRecord& record, const SimOptions& options, NoteSink note)
      : TargetChip(record, std::move(note)), locked_(options.locked) {
    flash_.assign(record.FlashSize, 0xFF);
    eeprom_.assign(record.EepromSize, 0xFF);
    for (std::uint32_t i = 0; i < record.CalibrationCount; ++i)
      calibration_.push_back(i < options.calibration.size() ? options.calibration[i]
                                                            : static_cast<std::uint8_t>(0xA0 + i));
  }

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
      Note("instruction " + HexBytes(in) + " outside programming mode, answered FF");
      return kNoAnswer;
    }
    switch (in[0]) {
      case 0x30:  // read signature byte
        out[3] = SignatureByte(in[2]);
        break;
      case 0x38:  // read calibration byte
        out[3] = in[2] < calibration_.size() ? calibration_[in[2]] : 0xFF;
        break;
      default:
        Note("AVR instruction " + HexBytes(in) + " not modelled yet, answered FF");
        out[3] = 0xFF;
        break;
    }
    return out;
  }

 private:
  std::uint8_t SignatureByte(std::uint8_t index) const {
    if (index > 2) return 0xFF;
    // A locked AVR hides its signature behind this fixed pattern.
    if (locked_) return index;
    return record_.Signature[index];
  }

  bool locked_;
  std::vector<std::uint8_t> calibration_;
};

// ---- AT89S (programming classes 1, 3: 3-byte instructions; 4: 4-byte) -------------------------

class At89Chip final : public TargetChip {
 public:
  At89Chip(const zr7::DeviceRecord& record, NoteSink note) : TargetChip(record, std::move(note)) {
    flash_.assign(record.FlashSize, 0xFF);
    eeprom_.assign(record.EepromSize, 0xFF);
  }

  InstructionReply Instruction(std::span<const std::uint8_t> in) override {
    const std::size_t length = record_.ProgrammingClass == zr7::ClassAt89S4Byte ? 4 : 3;
    if (in.size() != length) {
      Note(std::to_string(in.size()) + "-byte instruction " + HexBytes(in) + " to a chip with " +
           std::to_string(length) + "-byte instructions, ignored");
      return kNoAnswer;
    }
    InstructionReply out = kNoAnswer;
    if (IsProgrammingEnable(in)) {
      if (!heldInReset_) Note("programming enable while the board does not hold reset");
      programming_ = true;
      if (length == 4) out[3] = 0x69;  // the 4-byte family's acknowledgement of the enable
      return out;
    }
    if (!programming_) {
      Note("instruction " + HexBytes(in) + " outside programming mode, answered FF");
      return out;
    }
    if (length == 4 && in[0] == 0x28) {  // signature byte at address i * 256
      out[3] = in[1] < 3 ? record_.Signature[in[1]] : 0xFF;
      return out;
    }
    Note("AT89S instruction " + HexBytes(in) + " not modelled yet, answered FF");
    return out;
  }

 protected:
  ResetPolarity WantedReset() const override { return ResetPolarity::ActiveHigh; }
};

// ---- Serial memories: a transaction runs from select to deselect, the first byte is the opcode ---

class SerialMemory : public TargetChip {
 public:
  using TargetChip::TargetChip;

  void Reset(ResetPolarity) override {}  // no reset pin; the board's reset line goes nowhere
  void Release() override { Select(false); }

  void Select(bool active) override {
    selected_ = active;
    opcode_.reset();
    position_ = 0;
    complained_ = false;
  }

  std::uint8_t Shift(std::uint8_t in) override {
    if (!selected_) return 0xFF;
    if (!opcode_) {
      opcode_ = in;
      return 0xFF;
    }
    return OnByte(*opcode_, position_++, in);
  }

 protected:
  // The byte the memory shifts out while `in` is shifted in, `position` bytes after the opcode.
  virtual std::uint8_t OnByte(std::uint8_t opcode, std::size_t position, std::uint8_t in) = 0;

  // One note per transaction is enough to see a missing opcode without flooding the log.
  std::uint8_t NotModelled(std::uint8_t opcode) {
    if (!complained_) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "opcode 0x%02X not modelled yet, answered FF", opcode);
      Note(buf);
      complained_ = true;
    }
    return 0xFF;
  }

 private:
  bool selected_ = false;
  std::optional<std::uint8_t> opcode_;
  std::size_t position_ = 0;
  bool complained_ = false;
};

class At25Memory final : public SerialMemory {
 public:
  At25Memory(const zr7::DeviceRecord& record, NoteSink note) : SerialMemory(record, std::move(note)) {
    eeprom_.assign(record.EepromSize, 0xFF);  // an AT25's whole memory
  }
  SelectLine Line() const override { return SelectLine::Eeprom; }

  // Without its chip select an AT25 ignores the MCU programming instructions that the board
  // clocks out during a connection.
  InstructionReply Instruction(std::span<const std::uint8_t>) override { return kNoAnswer; }

 protected:
  std::uint8_t OnByte(std::uint8_t opcode, std::size_t, std::uint8_t) override {
    return NotModelled(opcode);
  }
};

class At45Memory final : public SerialMemory {
 public:
  At45Memory(const zr7::DeviceRecord& record, const SimOptions& options, NoteSink note)
      : SerialMemory(record, std::move(note)),
        // Ready bit plus the density bits the device table expects of this memory.
        status_(options.at45Status.value_or(static_cast<std::uint8_t>(0x80 | record.Signature[0]))) {
    flash_.assign(record.FlashSize, 0xFF);
  }
  SelectLine Line() const override { return SelectLine::Flash; }

  void Reset(ResetPolarity) override { Note("reset pulse to a DataFlash, which has no reset line"); }

  InstructionReply Instruction(std::span<const std::uint8_t> in) override {
    Note("MCU instruction " + HexBytes(in) + " sent to a DataFlash, answered FF");
    return kNoAnswer;
  }

 protected:
  std::uint8_t OnByte(std::uint8_t opcode, std::size_t, std::uint8_t) override {
    switch (opcode) {
      case 0x57:  // status register read (legacy and current opcodes)
      case 0xD7:
        return status_;
      default:
        return NotModelled(opcode);
    }
  }

 private:
  std::uint8_t status_;
};

}  // namespace

TargetChip::TargetChip(const zr7::DeviceRecord& record, NoteSink note)
    : record_(record), note_(std::move(note)) {}

void TargetChip::Reset(ResetPolarity polarity) {
  programming_ = false;
  heldInReset_ = polarity == WantedReset();
  if (!heldInReset_)
    Note(polarity == ResetPolarity::ActiveHigh
             ? "CmdResetAlt drives reset active high, this chip needs it low"
             : "active-low reset pulse, this chip needs CmdResetAlt (active high)");
}

void TargetChip::Release() {
  programming_ = false;
  heldInReset_ = false;
}

InstructionReply TargetChip::Instruction(std::span<const std::uint8_t> in) {
  Note("instruction " + HexBytes(in) + " not understood, answered FF");
  return kNoAnswer;
}

void TargetChip::Note(const std::string& text) const {
  if (note_) note_(std::string(record_.Name) + ": " + text);
}

std::unique_ptr<TargetChip> MakeTargetChip(const zr7::DeviceRecord& record,
                                           const SimOptions& options, TargetChip::NoteSink note) {
  if (record.Family == zr7::DeviceFamily::At45)
    return std::make_unique<At45Memory>(record, options, std::move(note));
  switch (record.ProgrammingClass) {
    case zr7::ClassAt25:
      return std::make_unique<At25Memory>(record, std::move(note));
    case zr7::ClassAt89S3Byte:
    case zr7::ClassAt89S53:
    case zr7::ClassAt89S4Byte:
      return std::make_unique<At89Chip>(record, std::move(note));
    default:
      return std::make_unique<AvrChip>(record, options, std::move(note));
  }
}

std::string HexBytes(std::span<const std::uint8_t> bytes) {
  std::string out;
  char buf[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
    if (i) out += ' ';
    out += buf;
  }
  return out;
}

}  // namespace zr7sim
