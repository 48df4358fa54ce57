#pragma once
// The bilingual text tables: messages by id, the main window's menu, and the dialogs' labels.
// Texts are UTF-8. Printf-style placeholders are the same, in the same order, in both languages.

#include <span>

namespace zr7 {

struct CatalogRow {
  int id;
  const char* english;
  const char* russian;
};

// A dialog's title and the labels of its controls (rows: control id, English, Russian).
struct DialogTextTable {
  int dialogId;
  const char* titleEnglish;
  const char* titleRussian;
  std::span<const CatalogRow> rows;
};

inline constexpr int MaxDialogRows = 100;

// In table order; lookups are linear and the first row with an id wins.
std::span<const CatalogRow> MessageTable();
// Our own texts (ids from 2001 on), searched after the message table.
std::span<const CatalogRow> OwnMessageTable();
// Ids above 0 are menu command ids; 0 and below name the top-level popup at position -id.
std::span<const CatalogRow> MenuTextTable();
std::span<const DialogTextTable> DialogTextTables();

}  // namespace zr7
