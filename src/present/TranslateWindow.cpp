#include "present/TranslateWindow.h"

#include "text/CatalogTables.h"
#include "text/MessageCatalog.h"
#include "operator/OperatorInterface.h"

namespace zr7 {

void TranslateMenu(TranslatableWindow& window, const MessageCatalog& catalog, OperatorInterface& op) {
  if (!window.HasMenu()) {
    // Not from the catalog: this is a fault of the program, not a message for the operator's language.
    op.ShowBox({"Error", "Cannot translate menu.", BoxIcon::Error, BoxButtons::Ok});
    return;
  }
  for (const CatalogRow& row : MenuTextTable()) {
    const char* text = catalog.Pick(row.english, row.russian);
    if (row.id > 0)
      window.SetMenuItemText(row.id, text);
    else
      window.SetPopupTitle(-row.id, text, -row.id == HelpPopupPosition);
  }
  window.RedrawMenu();
}

void TranslateWindow(TranslatableWindow& window, int dialogId, const MessageCatalog& catalog, OperatorInterface& op) {
  if (dialogId == dialog::MainWindow) TranslateMenu(window, catalog, op);
  const DialogTextTable* table = FindDialogTextTable(dialogId);
  if (!table) return;
  window.SetCaption(catalog.Pick(table->titleEnglish, table->titleRussian));
  for (const CatalogRow& row : table->rows)
    if (window.HasControl(row.id)) window.SetControlText(row.id, catalog.Pick(row.english, row.russian));
}

}  // namespace zr7
