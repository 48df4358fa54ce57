#include "ui/MainWindowDialogs.h"

#include "ui/BoardSettingsDialog.h"
#include "ui/BoardDelaysDialog.h"
#include "ui/LanguageDialog.h"

namespace zr7 {

std::optional<bool> MainWindowDialogs::Language(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op,
                                                bool russian) {
  return RunLanguageDialog(parent, catalog, op, russian);
}

std::optional<BoardDelays> MainWindowDialogs::Delays(QWidget* parent, OperatorInterface& op,
                                                     const BoardDelays& delays) {
  return RunBoardDelaysDialog(parent, op, delays);
}

std::optional<BoardSettingsChoice> MainWindowDialogs::BoardSettings(QWidget* parent, const MessageCatalog& catalog,
                                                                    OperatorInterface& op, int port, bool highSpeed,
                                                                    const PortMap& ports) {
  return RunBoardSettingsDialog(parent, catalog, op, port, highSpeed, ports);
}

}  // namespace zr7
