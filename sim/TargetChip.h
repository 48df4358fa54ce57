#pragma once
// The chip on the far side of the board's programming lines. One class per family, chosen from
// the device table row, so each family's instruction set grows in one place.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "ChipTiming.h"
#include "devices/DeviceTable.h"

namespace zr7sim {

struct SimOptions;

// The board's two chip-select lines for serial memories.
enum class SelectLine : std::uint8_t {
  None,
  Flash,   // AT45 DataFlash (CmdFlashSelect / CmdFlashDeselect)
  Eeprom,  // AT25 serial EEPROM (CmdEepSelect / CmdEepDeselect)
};

// How the board drives the target's reset pin.
enum class ResetPolarity : std::uint8_t {
  ActiveLow,   // CmdResetTimed, CmdResetShort: AVR
  ActiveHigh,  // CmdResetAlt: AT89S
};

// What the chip shifted out during each byte of an instruction.
using InstructionReply = std::array<std::uint8_t, 4>;

// What a chip needs from the board around it.
struct ChipContext {
  std::function<void(const std::string&)> note;
  // The board's time: a chip is busy until its write time has passed on this clock.
  std::function<SimClock::time_point()> clock;
  ChipTimes times;
};

class TargetChip {
 public:
  TargetChip(const zr7::DeviceRecord& record, ChipContext context);
  virtual ~TargetChip() = default;
  TargetChip(const TargetChip&) = delete;
  TargetChip& operator=(const TargetChip&) = delete;

  const zr7::DeviceRecord& Record() const { return record_; }
  bool InProgrammingMode() const { return programming_; }

  // A reset pulse; the board then holds the line in its reset state until Release().
  virtual void Reset(ResetPolarity polarity);
  // End of a session: reset let go, programming mode left.
  virtual void Release();
  // One serial-programming instruction of 3 or 4 bytes.
  virtual InstructionReply Instruction(std::span<const std::uint8_t> in);

  // Serial memories: the select line they hang on, select changes, one byte shifted each way.
  virtual SelectLine Line() const { return SelectLine::None; }
  virtual void Select(bool /*active*/) {}
  virtual std::uint8_t Shift(std::uint8_t /*in*/) { return 0xFF; }

  // Nonvolatile contents, what a state file keeps; empty vectors for memories the chip lacks.
  // Whoever changes them through these references calls MarkDirty().
  std::vector<std::uint8_t>& Flash() { return flash_; }
  std::vector<std::uint8_t>& Eeprom() { return eeprom_; }
  const std::vector<std::uint8_t>& Flash() const { return flash_; }
  const std::vector<std::uint8_t>& Eeprom() const { return eeprom_; }
  std::uint8_t LockBits() const { return lock_; }
  const std::array<std::uint8_t, 3>& Fuses() const { return fuses_; }
  void SetLockBits(std::uint8_t lock) { lock_ = lock; MarkDirty(); }
  void SetFuses(const std::array<std::uint8_t, 3>& fuses) { fuses_ = fuses; MarkDirty(); }
  virtual bool WriteProtected() const { return false; }
  virtual bool ReadProtected() const { return false; }

  // Whether the nonvolatile contents changed since the last ClearDirty().
  bool Dirty() const { return dirty_; }
  void MarkDirty() { dirty_ = true; }
  void ClearDirty() { dirty_ = false; }

  // When the write or erase under way ends; in the past when the chip is idle.
  SimClock::time_point ReadyAt() const { return readyAt_; }

 protected:
  // Which reset drive puts this chip into its programming state.
  virtual ResetPolarity WantedReset() const { return ResetPolarity::ActiveLow; }
  void Note(const std::string& text) const;
  // Notes `text` only the first time `kind` comes up until ForgetNotes() (a reset, a new
  // serial-memory transaction), so a block of 64 refused bytes makes one line.
  void NoteOnce(const std::string& kind, const std::string& text);
  void ForgetNotes() { noted_.clear(); }

  SimClock::time_point Now() const { return context_.clock(); }
  bool Busy() const { return Now() < readyAt_; }
  void BusyFor(Duration d) { readyAt_ = Now() + d; }
  const ChipTimes& Times() const { return context_.times; }

  const zr7::DeviceRecord record_;
  bool programming_ = false;
  bool heldInReset_ = false;
  std::vector<std::uint8_t> flash_;
  std::vector<std::uint8_t> eeprom_;
  std::uint8_t lock_ = 0xFF;
  std::array<std::uint8_t, 3> fuses_ = {0xFF, 0xFF, 0xFF};

 private:
  ChipContext context_;
  bool dirty_ = false;
  SimClock::time_point readyAt_{};
  std::set<std::string> noted_;
};

// The model for a device table row; the family and programming class pick the class.
std::unique_ptr<TargetChip> MakeTargetChip(const zr7::DeviceRecord& record,
                                           const SimOptions& options, ChipContext context);

// "AC 53 00 00" for notes.
std::string HexBytes(std::span<const std::uint8_t> bytes);

// What a read-protected chip returns instead of its memory: not its data, and not blank either.
inline std::uint8_t ProtectedReadValue(std::uint32_t address) {
  return static_cast<std::uint8_t>(address * 0x9Du + 0x3Bu);
}

}  // namespace zr7sim
