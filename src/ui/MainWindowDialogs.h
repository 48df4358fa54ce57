#pragma once
// The small dialogs the main window opens, behind one seam so that tests can answer them.

#include <optional>

#include "link/ChipJob.h"
#include "present/DialogRules.h"

class QWidget;

namespace zr7 {

class MessageCatalog;
class OperatorInterface;
class PortMap;

class MainWindowDialogs {
 public:
  virtual ~MainWindowDialogs() = default;
  // Dialog 148: the language chosen, nothing on Cancel.
  virtual std::optional<bool> Language(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op,
                                       bool russian);
  // Dialog 139: the four board delays.
  virtual std::optional<BoardDelays> Delays(QWidget* parent, OperatorInterface& op, const BoardDelays& delays);
  // Dialog 130: port, speed and the ports' device paths.
  virtual std::optional<BoardSettingsChoice> BoardSettings(QWidget* parent, const MessageCatalog& catalog,
                                                           OperatorInterface& op, int port, bool highSpeed,
                                                           const PortMap& ports);
};

}  // namespace zr7
