#include "devices/ChipActions.h"

#include "devices/DeviceTable.h"

namespace zr7 {

bool ActionAllowed(const DeviceRecord& d, ChipAction action) {
  const bool at45 = d.Family == DeviceFamily::At45;
  const bool at25 = d.ProgrammingClass == ClassAt25;
  switch (action) {
    case ChipAction::ReadSignature: return d.ProgrammingClass == ClassAvr || d.ProgrammingClass == ClassAt89S4Byte;
    case ChipAction::ChipErase:
    case ChipAction::BlankCheck: return !at25;
    case ChipAction::ReadFlash:
    case ChipAction::ProgramFlash:
    case ChipAction::VerifyFlash: return d.FlashSize != 0;
    // A DataFlash has one memory, its Flash.
    case ChipAction::ReadEeprom:
    case ChipAction::ProgramEeprom:
    case ChipAction::VerifyEeprom: return d.EepromSize != 0 && !at45;
    case ChipAction::Autoprogram:
    case ChipAction::LockFuseBits: return !at25 && !at45;
    case ChipAction::ReadCalibration: return d.CalibrationCount != 0;
  }
  return false;
}

}  // namespace zr7
