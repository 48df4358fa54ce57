#pragma once
// The chip on the far side of the board's programming lines. One class per family, chosen from
// the device table row, so each family's instruction set grows in one place.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

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

class TargetChip {
 public:
  using NoteSink = std::function<void(const std::string&)>;

  TargetChip(const zr7::DeviceRecord& record, NoteSink note);
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

  // Backing arrays of the board's block transfers; empty when the chip has no such memory.
  std::vector<std::uint8_t>& Flash() { return flash_; }
  std::vector<std::uint8_t>& Eeprom() { return eeprom_; }

 protected:
  // Which reset drive puts this chip into its programming state.
  virtual ResetPolarity WantedReset() const { return ResetPolarity::ActiveLow; }
  void Note(const std::string& text) const;

  const zr7::DeviceRecord record_;
  bool programming_ = false;
  bool heldInReset_ = false;
  std::vector<std::uint8_t> flash_;
  std::vector<std::uint8_t> eeprom_;

 private:
  NoteSink note_;
};

// The model for a device table row; the family and programming class pick the class.
std::unique_ptr<TargetChip> MakeTargetChip(const zr7::DeviceRecord& record,
                                           const SimOptions& options, TargetChip::NoteSink note);

// "AC 53 00 00" for notes.
std::string HexBytes(std::span<const std::uint8_t> bytes);

}  // namespace zr7sim
