#pragma once
// The Qt side of window translation: which widget, action and menu stand for which control
// id, command id and popup position. Dialogs register their controls once and call Translate.

#include <QMenuBar>
#include <QPointer>
#include <QWidget>
#include <map>
#include <vector>

#include "present/TranslateWindow.h"

class QAction;
class QMenu;

namespace zr7 {

class QtWindowTexts : public TranslatableWindow {
 public:
  explicit QtWindowTexts(QWidget* window) : window_(window) {}

  void AddControl(int controlId, QWidget* widget) { controls_[controlId] = widget; }
  void SetMenuBar(QMenuBar* bar) { menuBar_ = bar; }

  // Translates the window as a dialog of this id.
  void Translate(int dialogId, const MessageCatalog& catalog, OperatorInterface& op);

  bool HasMenu() const override { return menuBar_ != nullptr; }
  void SetMenuItemText(int commandId, std::string_view text) override;
  void SetPopupTitle(int position, std::string_view text, bool rightJustified) override;
  void RedrawMenu() override;
  void SetCaption(std::string_view text) override;
  bool HasControl(int controlId) const override;
  void SetControlText(int controlId, std::string_view text) override;

 private:
  QPointer<QWidget> window_;
  QPointer<QMenuBar> menuBar_;
  std::map<int, QPointer<QWidget>> controls_;
};

// The command id a menu action carries (set with SetCommandId), 0 when none.
int CommandIdOf(const QAction* action);
void SetCommandId(QAction* action, int commandId);

}  // namespace zr7
