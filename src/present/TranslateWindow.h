#pragma once
// Applies the catalog to an open window: menu texts (main window only), caption, and the
// labels of its controls. The window toolkit only supplies the adapter below.

#include <string_view>

namespace zr7 {

class MessageCatalog;
class OperatorInterface;

class TranslatableWindow {
 public:
  virtual ~TranslatableWindow() = default;

  virtual bool HasMenu() const = 0;
  // The item with this command id, searched through all popups; its id stays.
  virtual void SetMenuItemText(int commandId, std::string_view text) = 0;
  // The top-level popup at this position (0 = first); its items stay. A right-justified popup
  // must be given its placement again, as replacing a title may reset it.
  virtual void SetPopupTitle(int position, std::string_view text, bool rightJustified) = 0;
  // Puts the menu on the window again so the menu bar shows the new texts.
  virtual void RedrawMenu() = 0;
  virtual void SetCaption(std::string_view text) = 0;
  virtual bool HasControl(int controlId) const = 0;
  virtual void SetControlText(int controlId, std::string_view text) = 0;
};

// Position of the Help popup, which sits at the right end of the menu bar.
inline constexpr int HelpPopupPosition = 5;

// The menu rows in table order; reports "Cannot translate menu." when the window has no menu.
void TranslateMenu(TranslatableWindow& window, const MessageCatalog& catalog, OperatorInterface& op);

// The main window (dialog id 102) gets its menu translated first; a dialog id without a text
// table leaves the window as built.
void TranslateWindow(TranslatableWindow& window, int dialogId, const MessageCatalog& catalog, OperatorInterface& op);

}  // namespace zr7
