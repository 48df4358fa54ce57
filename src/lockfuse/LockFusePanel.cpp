#include "lockfuse/LockFusePanel.h"

#include "text/MessageCatalog.h"
#include "operator/OperatorInterface.h"
#include "devices/DeviceTable.h"
#include "lockfuse/LockFuseLayout.h"
#include "text/MessageIds.h"
#include "lockfuse/LockFuseRules.h"

namespace zr7 {

LockFusePanel RefreshPanel(const MessageCatalog& catalog, const DeviceRecord& device, const LockFuseState& saved) {
  const LockFuseLayout& layout = LayoutOf(device);
  LockFusePanel p;
  for (int m = 0; m < LockModeCount; ++m) {
    const auto at = static_cast<std::size_t>(m);
    p.lockLabels[at] = catalog.GetText(LockModeNameId(device.ProgrammingClass, m));
    p.lockEnabled[at] = m < 3 || device.ProgrammingClass != ClassAvr;
  }
  if (saved.lockMode >= 0 && saved.lockMode < LockModeCount) p.lockChecked = saved.lockMode;
  for (int i = 0; i < FuseButtonCount; ++i) {
    const auto at = static_cast<std::size_t>(i);
    const bool used = i < layout.fuseCount;
    p.fuseLabels[at] = used ? std::string(layout.fuseName[at]) : catalog.GetText(msg::UnusedBit);
    p.fuseEnabled[at] = used;
    p.fusePressed[at] = used && saved.fuse[at];
  }
  for (int i = 0; i < BootLockBoxCount; ++i) {
    const auto at = static_cast<std::size_t>(i);
    const bool used = i < layout.bootLockCount;
    p.bootLabels[at] = used ? std::string(layout.bootLockName[at]) : catalog.GetText(msg::UnusedBit);
    p.bootEnabled[at] = used;
    p.bootChecked[at] = used && saved.bootLock[at];
  }
  p.readVerifyEnabled = saved.readable;
  return p;
}

void ExchangePanel(const LockFusePanel& panel, LockFuseState& edit) {
  for (std::size_t i = 0; i < FuseButtonCount; ++i) edit.fuse[i] = panel.fusePressed[i];
  if (panel.lockChecked >= 0 && panel.lockChecked < LockModeCount) edit.lockMode = panel.lockChecked;
  for (std::size_t i = 0; i < BootLockBoxCount; ++i) edit.bootLock[i] = panel.bootChecked[i];
}

LockFuseState SavedAfterProgram(const DeviceRecord& device, const LockFuseState& edit) {
  LockFuseState saved = edit;
  saved.readable = LayoutOf(device).lockReadPresent;
  return saved;
}

bool PrepareAutoprogramEdit(OperatorInterface& op, const MessageCatalog& catalog, int chosenDevice, int currentDevice,
                            LockFuseState& state) {
  const DeviceRecord* device = DeviceAt(currentDevice);
  if (chosenDevice != currentDevice || !device) {
    ShowInfo(op, catalog, catalog.GetText(msg::SelectProperChipFirst));
    return false;
  }
  ForceWarnedFuses(LayoutOf(*device), state);
  return true;
}

}  // namespace zr7
