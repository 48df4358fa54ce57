#pragma once
// Dialog 130, "Board Settings": the board's port COM1..COM8 with the device file each one
// stands for, and the high-speed switch.

#include <QDialog>
#include <array>
#include <optional>

#include "link/PortMap.h"
#include "present/DialogRules.h"  // BoardSettingsChoice
#include "ui/QtWindowTexts.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;

namespace zr7 {

class MessageCatalog;
class OperatorInterface;

class BoardSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  BoardSettingsDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op, int port,
                      bool highSpeed, const PortMap& ports);

  // The choice, valid once the dialog is accepted; until then what was given.
  const BoardSettingsChoice& Choice() const { return choice_; }

  void accept() override;

  // Looks again whether each slot's device file is there (also done every second while open).
  void RefreshPresence();

 private:
  void ShowPresence(int portIndex);

  const MessageCatalog& catalog_;
  QtWindowTexts texts_;
  QButtonGroup* radios_;
  QCheckBox* highSpeed_;
  std::array<QLineEdit*, PortCount> paths_{};
  std::array<QLabel*, PortCount> notes_{};
  BoardSettingsChoice choice_;
};

// The control ids of the COM1..COM8 radio buttons, in port order.
inline constexpr std::array<int, PortCount> PortRadioIds = {1056, 1057, 1058, 1059, 1149, 1150, 1151, 1152};

// The choice on OK, nothing on Cancel.
std::optional<BoardSettingsChoice> RunBoardSettingsDialog(QWidget* parent, const MessageCatalog& catalog,
                                                          OperatorInterface& op, int port, bool highSpeed,
                                                          const PortMap& ports);

}  // namespace zr7
