#pragma once
// Dialog 138, "Project Settings": every setting of the project but its image files. The
// controls are copied into a ProjectSettingsForm, and ProjectSettingsRules decides the rest.

#include <QDialog>
#include <functional>
#include <map>
#include <optional>

#include "lockfuse/LockFuseState.h"
#include "present/ProjectSettingsRules.h"
#include "ui/QtWindowTexts.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;

namespace zr7 {

class MessageCatalog;
class OperatorInterface;
class Project;
struct ProjectSettings;

// Edits the lock and fuse bits autoprogram is to program, for the device chosen in the
// dialog; true when the operator kept the edit. The desktop program passes one that runs
// EditAutoprogramLockFuse against the project's current device.
using LockFuseEditor = std::function<bool(int chosenDevice, LockFuseState& settings)>;

class ProjectSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  // Snaps the project's reset pulse length at once (kept even on Cancel); everything else
  // reaches `project` only on OK.
  ProjectSettingsDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op,
                        ProjectSettings& project, LockFuseEditor editor);

  // The device list's selection.
  int ChosenDevice() const;
  // The lock and fuse bits as the editor last left them.
  const LockFuseState& WorkingLockFuse() const { return lockFuse_; }
  // The controls as they stand.
  ProjectSettingsForm Form() const;

  // Stores and closes, or shows why not and focuses the edit at fault.
  void accept() override;

 private:
  QCheckBox* AddCheck(int id, const char* text, int x, int y, int width);
  QLineEdit* AddEdit(int id, int x, int y, int width);
  void UpdateEnabling();
  void ProgramFuseClicked();
  void ConfigureClicked();
  bool RunEditor();

  const MessageCatalog& catalog_;
  OperatorInterface& op_;
  ProjectSettings& project_;
  LockFuseEditor editor_;
  LockFuseState lockFuse_;
  int lockFuseDevice_ = 0;  // the chip lockFuse_ was made for
  QtWindowTexts texts_;
  std::map<int, QWidget*> controls_;
  std::map<int, QCheckBox*> checks_;
  std::map<int, QLineEdit*> edits_;
  QComboBox* device_ = nullptr;
  QComboBox* sck_ = nullptr;
  QSlider* reset_ = nullptr;
  QLabel* resetLabel_ = nullptr;
  QLabel* lockFuseNote_ = nullptr;  // says when the lock/fuse settings do not fit the chosen chip
};

// The dialog on the current project; on OK the chosen device number (the project then holds
// everything else), nothing on Cancel. The main window selects the device afterwards.
std::optional<int> RunProjectSettingsDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op,
                                            Project& project, LockFuseEditor editor);

}  // namespace zr7
