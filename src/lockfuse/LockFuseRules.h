#pragma once
// What the lock and fuse bits mean to the operator: the lock mode names, the fuse bytes as data
// sheets print them, the settings that can make a chip unreachable, and the comparison that
// verify shows. Plain rules over the layout table; nothing here talks to the board.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lockfuse/LockFuseLayout.h"
#include "lockfuse/LockFuseState.h"

namespace zr7 {

class MessageCatalog;
class OperatorInterface;
struct DeviceRecord;

// Serial memories have no lock or fuse bits, although their rows name a layout.
bool HasLockFuseBits(const DeviceRecord& device);

// Whether lock and fuse settings made for one device mean the same bits on another: bit
// positions of one layout programmed into another can make a chip unreachable. False for a
// number outside the table.
bool SameLockFuseLayout(int madeForDevice, int chipDevice);

// The catalog id of a lock mode's name (0..3) for the chip's programming class: label text,
// with "&&" where a button label shows one "&".
int LockModeNameId(std::uint32_t programmingClass, int lockMode);
// The name as a message box or the command line shows it ("&&" made "&"); "?" outside 0..3.
std::string LockModeName(const MessageCatalog& catalog, std::uint32_t programmingClass, int lockMode);
// A label's text as plain text: "&&" is one "&", a single "&" marks a mnemonic and goes.
std::string PlainLabel(std::string_view label);

// Whether the layout's lock instruction can express the mode. The AT89S 4-byte chips add the
// mode into byte 1; where that byte is already FF every mode above 0 would send the same thing.
bool LockModeEncodable(const LockFuseLayout& layout, std::uint32_t programmingClass, int lockMode);

// A fuse group's byte in the chip's convention (0 = programmed): bits without a fuse read 1.
std::uint8_t FuseGroupByte(const LockFuseLayout& layout, int group, const LockFuseState& state);
// Takes every fuse of the group from the byte; bits without a fuse are ignored.
void SetFuseGroupByte(const LockFuseLayout& layout, int group, std::uint8_t value, LockFuseState& state);
// Index of the fuse (or boot lock bit) with this name, any letter case; -1 when none.
int FindFuse(const LockFuseLayout& layout, std::string_view name);
int FindBootLock(const LockFuseLayout& layout, std::string_view name);

// One fuse setting the operator is warned about, in fuse order.
struct FuseConcern {
  int fuse = 0;
  bool shouldBeProgrammed = false;
};
struct FuseCheck {
  std::vector<FuseConcern> concerns;
  bool externalClockOnly = false;  // CKSEL0..CKSEL3 all programmed
  bool Any() const { return externalClockOnly || !concerns.empty(); }
};
// The settings that can end serial programming or stop the clock: the table's own warnings,
// RSTDISBL and DWEN programmed wherever they exist (each ends serial programming), the clock
// selection; with spienEverywhere also SPIEN unprogrammed on chips the table does not warn for.
FuseCheck CheckFuses(const LockFuseLayout& layout, const LockFuseState& state, bool spienEverywhere = false);
// The question the operator answers before such settings are used (1001 ... 1004); without
// `question` the same warning ends before "Continue?".
std::string FuseWarningText(const MessageCatalog& catalog, const LockFuseLayout& layout, const FuseCheck& check,
                            bool question = true);
// Asks it (Yes/No, caption 1005) when there is anything to warn about; true: go on.
bool ConfirmFuses(OperatorInterface& op, const MessageCatalog& catalog, const LockFuseLayout& layout,
                  const LockFuseState& state);
// After these settings the chip no longer enters serial programming mode.
bool EndsSerialProgramming(const LockFuseLayout& layout, const LockFuseState& state);

// Before the autoprogram settings are edited: the table's warned bits forced to their safe
// state, readable as the layout tells.
void ForceWarnedFuses(const LockFuseLayout& layout, LockFuseState& state);

// Expected against read: the lock mode and the bits the layout counts.
struct LockFuseComparison {
  bool matched = false;
  std::string text;  // 1159, or 1160 followed by one line per difference
};
LockFuseComparison CompareLockFuse(const MessageCatalog& catalog, const DeviceRecord& device,
                                   const LockFuseState& expected, const LockFuseState& actual);

}  // namespace zr7
