// SPI serial memories behind the board's chip-select lines: AT25 EEPROMs and AT45 DataFlash.
// A transaction runs from select to deselect; its first byte is the opcode, and whatever
// programs or erases the array starts when the chip select is released.

#include <algorithm>
#include <bit>
#include <cstdio>
#include <optional>

#include "BoardSimulator.h"
#include "ChipModels.h"

namespace zr7sim {

namespace {

std::string OpcodeText(std::uint8_t opcode) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", opcode);
  return buf;
}

class SerialMemory : public TargetChip {
 public:
  using TargetChip::TargetChip;

  void Reset(ResetPolarity) override {}  // no reset pin; the board's reset line goes nowhere
  void Release() override { Select(false); }

  // A select while selected, or a deselect while deselected, is no edge: nothing happens.
  void Select(bool active) override {
    if (active == selected_) return;
    if (!active && opcode_) OnDeselect(*opcode_, position_);
    selected_ = active;
    opcode_.reset();
    position_ = 0;
    refused_ = false;
    ForgetNotes();
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
  // Bytes of a transaction that came while the chip was busy are dropped, and so is the
  // operation they belong to.
  std::uint8_t Refuse(std::uint8_t opcode) {
    refused_ = true;
    NoteOnce("busy", "opcode " + OpcodeText(opcode) + " while the chip is busy, ignored");
    return 0xFF;
  }
  bool Refused() const { return refused_; }

  // The byte the memory shifts out while `in` is shifted in, `position` bytes after the opcode.
  virtual std::uint8_t OnByte(std::uint8_t opcode, std::size_t position, std::uint8_t in) = 0;
  // The chip select is released after `bytes` bytes behind the opcode.
  virtual void OnDeselect(std::uint8_t opcode, std::size_t bytes) = 0;

  std::uint8_t NotModelled(std::uint8_t opcode) {
    NoteOnce("opcode", "opcode " + OpcodeText(opcode) + " not modelled, answered FF");
    return 0xFF;
  }

 private:
  bool selected_ = false;
  std::optional<std::uint8_t> opcode_;
  std::size_t position_ = 0;
  bool refused_ = false;
};

// ---- AT25 ----------------------------------------------------------------------------------

constexpr std::uint8_t kWrsr = 0x01, kWrite = 0x02, kRead = 0x03, kWrdi = 0x04, kRdsr = 0x05,
                       kWren = 0x06;
constexpr std::uint8_t kStatusNonvolatile = 0x8C;  // WPEN, BP1, BP0

class At25Memory final : public SerialMemory {
 public:
  At25Memory(const zr7::DeviceRecord& record, ChipContext context)
      : SerialMemory(record, std::move(context)), latch_(record.PageSize) {
    eeprom_.assign(record.EepromSize, 0xFF);  // an AT25's whole memory
    lock_ = 0x00;                             // no block protected
  }
  SelectLine Line() const override { return SelectLine::Eeprom; }

  // Without its chip select an AT25 ignores the MCU programming instructions that the board
  // clocks out during a connection.
  InstructionReply Instruction(std::span<const std::uint8_t>) override { return kNoAnswer; }

  bool WriteProtected() const override { return (lock_ & 0x0C) != 0; }

 protected:
  std::uint8_t OnByte(std::uint8_t opcode, std::size_t position, std::uint8_t in) override {
    if (opcode == kRdsr) return Status();
    if (Busy()) return Refuse(opcode);
    switch (opcode) {
      case kRead:
        if (position < 2) {
          TakeAddress(position, in);
          return 0xFF;
        }
        {
          const std::uint8_t value = eeprom_[address_];
          address_ = (address_ + 1) % eeprom_.size();  // on across the whole memory
          return value;
        }
      case kWrite:
        if (position < 2) {
          TakeAddress(position, in);
          if (position == 1) std::fill(latch_.begin(), latch_.end(), std::nullopt);
        } else {
          // Bytes past the end of the page wrap to its start.
          latch_[(address_ + position - 2) % latch_.size()] = in;
        }
        return 0xFF;
      case kWrsr:
        if (position == 0) newStatus_ = in;
        return 0xFF;
      case kWren:
      case kWrdi:
        return 0xFF;
      default:
        return NotModelled(opcode);
    }
  }

  void OnDeselect(std::uint8_t opcode, std::size_t bytes) override {
    if (opcode == kRdsr || opcode == kRead) return;
    if (Refused() || Busy()) {
      Refuse(opcode);
      return;
    }
    switch (opcode) {
      case kWren:
        wel_ = true;
        break;
      case kWrdi:
        wel_ = false;
        break;
      case kWrite:
        if (bytes < 3) break;
        if (!wel_) {
          Note("write without the write enable latch set, ignored");
          break;
        }
        CommitPage();
        break;
      case kWrsr:
        if (bytes < 1) break;
        if (!wel_) {
          Note("status register write without the write enable latch set, ignored");
          break;
        }
        lock_ = newStatus_ & kStatusNonvolatile;
        wel_ = false;
        MarkDirty();
        BusyFor(Times().at25WriteCycle);
        break;
      default:
        break;
    }
  }

 private:
  // Two address bytes, high first; the bits above the memory's size are not looked at.
  void TakeAddress(std::size_t position, std::uint8_t in) {
    address_ = (position == 0 ? in : (address_ << 8 | in)) % eeprom_.size();
  }

  std::uint8_t Status() const {
    return static_cast<std::uint8_t>((Busy() ? 0x01 : 0x00) | (wel_ ? 0x02 : 0x00) |
                                     (lock_ & kStatusNonvolatile));
  }

  // BP1 BP0: none, the upper quarter, the upper half, everything.
  bool Protected(std::size_t address) const {
    const unsigned level = lock_ >> 2 & 0x03;
    if (level == 0) return false;
    const std::size_t size = eeprom_.size();
    const std::size_t from = level == 1 ? size - size / 4 : level == 2 ? size / 2 : 0;
    return address >= from;
  }

  void CommitPage() {
    const std::size_t page = address_ - address_ % latch_.size();
    std::size_t refused = 0;
    for (std::size_t i = 0; i < latch_.size(); ++i) {
      if (!latch_[i]) continue;
      if (Protected(page + i))
        ++refused;
      else
        eeprom_[page + i] = *latch_[i];
    }
    if (refused) Note(std::to_string(refused) + " bytes of a write to protected blocks ignored");
    wel_ = false;
    MarkDirty();
    BusyFor(Times().at25WriteCycle);
  }

  std::vector<std::optional<std::uint8_t>> latch_;  // the page's bytes waiting for deselect
  std::size_t address_ = 0;
  std::uint8_t newStatus_ = 0;
  bool wel_ = false;
};

// ---- AT45 ----------------------------------------------------------------------------------

class At45Memory final : public SerialMemory {
 public:
  At45Memory(const zr7::DeviceRecord& record, const SimOptions& options, ChipContext context)
      : SerialMemory(record, std::move(context)),
        pageSize_(record.PageSize),
        addressBits_(8 + record.At45PageShift),
        // The table's size counts each page as the power of two below its real size (256 of
        // 264 bytes), so it tells the page count but not the whole memory.
        pages_(record.FlashSize / std::bit_floor(record.PageSize)),
        statusOverride_(options.at45Status) {
    flash_.assign(pages_ * pageSize_, 0xFF);
    for (auto& b : buffers_) b.assign(pageSize_, 0xFF);
  }
  SelectLine Line() const override { return SelectLine::Flash; }

  void Reset(ResetPolarity) override { Note("reset pulse to a DataFlash, which has no reset line"); }

  InstructionReply Instruction(std::span<const std::uint8_t> in) override {
    Note("MCU instruction " + HexBytes(in) + " sent to a DataFlash, answered FF");
    return kNoAnswer;
  }

 protected:
  std::uint8_t OnByte(std::uint8_t opcode, std::size_t position, std::uint8_t in) override {
    if (opcode == 0x57 || opcode == 0xD7) return Status();  // legacy and current opcodes
    if (Busy()) return Refuse(opcode);
    if (position < 3) {
      address_ = (position == 0 ? 0 : address_ << 8) | in;
      return 0xFF;
    }
    switch (opcode) {
      case 0x84:  // buffer 1 / 2 write
      case 0x87:
        Buffer(opcode)[(ByteInPage() + position - 3) % pageSize_] = in;
        return 0xFF;
      case 0xE8:  // continuous array read: 4 don't-care bytes, then on across pages
      case 0x68:
        if (position < 7) return 0xFF;
        return flash_[(Page() * pageSize_ + ByteInPage() + position - 7) % flash_.size()];
      case 0xD2:  // main memory page read: 4 don't-care bytes, wraps inside the page
      case 0x52:
        if (position < 7) return 0xFF;
        return flash_[Page() * pageSize_ + (ByteInPage() + position - 7) % pageSize_];
      case 0xD4:  // buffer 1 / 2 read: 1 don't-care byte
      case 0x54:
      case 0xD6:
      case 0x56:
        if (position < 4) return 0xFF;
        return Buffer(opcode)[(ByteInPage() + position - 4) % pageSize_];
      case 0x83:
      case 0x86:
      case 0x88:
      case 0x89:
      case 0x81:
      case 0x50:
      case 0x53:
      case 0x55:
        return 0xFF;  // address only; the work starts at deselect
      default:
        return NotModelled(opcode);
    }
  }

  void OnDeselect(std::uint8_t opcode, std::size_t bytes) override {
    if (bytes < 3) return;  // no complete address: nothing starts
    const bool starts = opcode == 0x83 || opcode == 0x86 || opcode == 0x88 || opcode == 0x89 ||
                        opcode == 0x81 || opcode == 0x50 || opcode == 0x53 || opcode == 0x55;
    if (!starts) return;
    if (Refused() || Busy()) {
      Refuse(opcode);
      return;
    }
    const std::size_t page = Page();
    auto pageBytes = flash_.begin() + static_cast<std::ptrdiff_t>(page * pageSize_);
    switch (opcode) {
      case 0x83:  // buffer to main memory page with built-in erase
      case 0x86:
        std::copy(Buffer(opcode).begin(), Buffer(opcode).end(), pageBytes);
        BusyFor(Times().at45PageProgram);
        break;
      case 0x88:  // without erase: bits can only be cleared
      case 0x89:
        for (std::size_t i = 0; i < pageSize_; ++i) pageBytes[i] &= Buffer(opcode)[i];
        BusyFor(Times().at45PageWrite);
        break;
      case 0x81:
        std::fill_n(pageBytes, pageSize_, 0xFF);
        BusyFor(Times().at45PageWrite);
        break;
      case 0x50: {  // block erase: the eight pages of the block
        const std::size_t first = page & ~std::size_t{7};
        const std::size_t count = std::min<std::size_t>(8, pages_ - first);
        std::fill_n(flash_.begin() + static_cast<std::ptrdiff_t>(first * pageSize_),
                    count * pageSize_, 0xFF);
        BusyFor(Times().at45BlockErase);
        break;
      }
      case 0x53:  // main memory page to buffer 1 / 2
      case 0x55:
        std::copy_n(pageBytes, pageSize_, Buffer(opcode).begin());
        BusyFor(Times().at45Transfer);
        return;  // the array is unchanged
    }
    MarkDirty();
  }

 private:
  std::uint8_t Status() const {
    if (statusOverride_ == 0xFF) return 0xFF;
    // Ready bit plus the density bits the device table expects of this memory.
    const std::uint8_t status =
        statusOverride_.value_or(static_cast<std::uint8_t>(0x80 | record_.At45StatusBits));
    return Busy() ? static_cast<std::uint8_t>(status & 0x7F) : status;
  }

  // The 24-bit address: page number above the byte-in-page bits, as wide as the page needs.
  std::size_t Page() const { return (address_ >> addressBits_) % pages_; }
  std::size_t ByteInPage() const {
    return (address_ & ((std::uint32_t{1} << addressBits_) - 1)) % pageSize_;
  }

  // Buffer 2 has opcodes of its own: 87, 86, 89, 55, D6, 56.
  std::vector<std::uint8_t>& Buffer(std::uint8_t opcode) {
    const bool second = opcode == 0x87 || opcode == 0x86 || opcode == 0x89 || opcode == 0x55 ||
                        opcode == 0xD6 || opcode == 0x56;
    return buffers_[second ? 1 : 0];
  }

  const std::size_t pageSize_;
  const unsigned addressBits_;
  const std::size_t pages_;
  const std::optional<std::uint8_t> statusOverride_;
  std::array<std::vector<std::uint8_t>, 2> buffers_;
  std::uint32_t address_ = 0;
};

}  // namespace

std::unique_ptr<TargetChip> MakeAt25Memory(const zr7::DeviceRecord& record, ChipContext context) {
  return std::make_unique<At25Memory>(record, std::move(context));
}

std::unique_ptr<TargetChip> MakeAt45Memory(const zr7::DeviceRecord& record,
                                           const SimOptions& options, ChipContext context) {
  return std::make_unique<At45Memory>(record, options, std::move(context));
}

}  // namespace zr7sim
