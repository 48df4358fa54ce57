#pragma once
// What the Lock/Fuse dialog shows and takes back, without the widgets: the labels, states and
// enabling of its radio buttons, fuse buttons and boot lock boxes, computed from the chip's
// layout and a state, and the state taken back from them.

#include <array>
#include <string>

#include "lockfuse/LockFuseState.h"

namespace zr7 {

class MessageCatalog;
class OperatorInterface;
struct DeviceRecord;

inline constexpr int FuseButtonCount = 24;  // three columns of 8; no chip has more fuse bits
inline constexpr int BootLockBoxCount = 4;

struct LockFusePanel {
  // Label texts keep "&&" for a literal "&", as button labels want it.
  std::array<std::string, LockModeCount> lockLabels;
  std::array<bool, LockModeCount> lockEnabled{};
  int lockChecked = -1;  // -1: none
  std::array<std::string, FuseButtonCount> fuseLabels;
  std::array<bool, FuseButtonCount> fuseEnabled{};
  std::array<bool, FuseButtonCount> fusePressed{};
  std::array<std::string, BootLockBoxCount> bootLabels;
  std::array<bool, BootLockBoxCount> bootEnabled{};
  std::array<bool, BootLockBoxCount> bootChecked{};
  bool readVerifyEnabled = false;
};

// The controls for `saved` on this chip; mode 3 is offered only where a third lock bit exists.
LockFusePanel RefreshPanel(const MessageCatalog& catalog, const DeviceRecord& device, const LockFuseState& saved);
// The controls back into `edit`: fuse bits 0..23, the first checked mode (unchanged when none),
// boot lock bits 0..3; everything else of `edit` stays.
void ExchangePanel(const LockFusePanel& panel, LockFuseState& edit);
// The state the dialog keeps after a successful Program: what was sent, readable only where
// the chip can read back (so Read and Verify stay off for the others).
LockFuseState SavedAfterProgram(const DeviceRecord& device, const LockFuseState& edit);

// Before the autoprogram lock/fuse settings are edited. False (after message 1166) when the
// device chosen in the settings is not the project's current one; otherwise the table's warned
// bits are forced to their safe state in `state`.
bool PrepareAutoprogramEdit(OperatorInterface& op, const MessageCatalog& catalog, int chosenDevice, int currentDevice,
                            LockFuseState& state);

}  // namespace zr7
