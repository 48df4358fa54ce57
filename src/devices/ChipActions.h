#pragma once
// What may run on the selected chip. The window greys its buttons by these rules, its menu
// commands and the command line refuse by them: one decision for every front-end, so a command
// that would send another family's instructions (an AVR erase to a serial EEPROM, an Eeprom
// transfer to a DataFlash) never reaches the board.

namespace zr7 {

struct DeviceRecord;

enum class ChipAction {
  ReadSignature,
  ChipErase,
  BlankCheck,
  ReadFlash,
  ProgramFlash,
  VerifyFlash,
  ReadEeprom,
  ProgramEeprom,
  VerifyEeprom,
  Autoprogram,
  LockFuseBits,
  ReadCalibration,
};

// Whether the device allows the action at all (whether an image holds data is the caller's).
bool ActionAllowed(const DeviceRecord& device, ChipAction action);

}  // namespace zr7
