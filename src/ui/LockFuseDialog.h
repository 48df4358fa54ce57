#pragma once
// Dialog 140, "Lock/Fuse Bits": the lock mode, fuse bits and boot lock bits of one chip as
// buttons. As a tool it reads, programs, verifies and erases the chip; as the autoprogram
// editor it also hands its state back when closed with "Close and save settings". What the
// buttons show and take back is LockFusePanel's; this class only puts it on widgets.

#include <QDialog>
#include <array>
#include <functional>
#include <optional>

#include "lockfuse/LockFusePanel.h"
#include "lockfuse/LockFuseState.h"
#include "link/ChipJob.h"
#include "ui/QtWindowTexts.h"

class QAbstractButton;
class QCheckBox;
class QPushButton;
class QRadioButton;

namespace zr7 {

class LockFuseCommands;
class MessageCatalog;
class OperatorInterface;
struct DeviceRecord;

// The dialog's result when closed with "Close and save settings" (the button's id).
inline constexpr int LockFuseSaveSettings = 1160;

// Erases the chip of the job; true when it is erased.
using ChipEraser = std::function<bool(ChipJob&)>;

class LockFuseDialog : public QDialog {
  Q_OBJECT

 public:
  // `job` is taken as it is now; every operation runs for `deviceNumber`, whatever the main
  // window selects meanwhile (a chip erase may follow a signature to another device).
  LockFuseDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op, LockFuseCommands& commands,
                 const ChipJob& job, int deviceNumber, const LockFuseState& state, bool autoprogram,
                 ChipEraser erase = {});

  // What the buttons were last loaded from, and what they were last taken into.
  const LockFuseState& Saved() const { return saved_; }
  const LockFuseState& Edit() const { return edit_; }

  void ProgramClicked();
  void ReadClicked();
  void VerifyClicked();
  void ChipEraseClicked();
  // "Close and save settings": closes only once the warning (if any) is accepted.
  void accept() override;

 private:
  void Refresh();
  // The buttons into edit_; with `check` only after the operator accepted the warning.
  bool Exchange(bool check);
  bool ReadChip();

  const MessageCatalog& catalog_;
  OperatorInterface& op_;
  LockFuseCommands& commands_;
  ChipJob job_;
  int deviceNumber_;
  const DeviceRecord& device_;
  bool autoprogram_;
  ChipEraser erase_;
  LockFuseState saved_;
  LockFuseState edit_;
  QtWindowTexts texts_;
  std::array<QRadioButton*, LockModeCount> lockButtons_{};
  std::array<QPushButton*, FuseButtonCount> fuseButtons_{};
  std::array<QCheckBox*, BootLockBoxCount> bootBoxes_{};
  QPushButton* read_ = nullptr;
  QPushButton* verify_ = nullptr;
};

// The main window's "Lock&Fuse Bits...": reads the chip and, when that worked, shows its bits.
void OpenLockFuseTool(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op,
                      LockFuseCommands& commands, const ChipJob& job, int deviceNumber, ChipEraser erase);

// The project settings' "Configure..." for the lock and fuse bits. `settings` takes the
// dialog's state only when it is closed with "Close and save settings" (then true); before it
// opens, the bits the table warns about are put into their safe state in `settings`.
bool EditAutoprogramLockFuse(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op,
                             LockFuseCommands& commands, const ChipJob& job, int chosenDevice, int currentDevice,
                             LockFuseState& settings);

}  // namespace zr7
