#pragma once
// Every text the operator sees, by message id, in English or Russian. Callers fill the
// printf-style placeholders with FormatText after the lookup.

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "text/MessageIds.h"

namespace zr7 {

struct DialogTextTable;

// The language choice, passed to whoever looks texts up. Nothing is cached from it, so
// switching it and translating the window again is enough to change the language.
struct LanguageSettings {
  bool RussianSelected = false;
};

// Dialog ids of the translated windows.
namespace dialog {
inline constexpr int MainWindow = 102;
inline constexpr int Progress = 129;
inline constexpr int BoardSettings = 130;
inline constexpr int About = 132;
inline constexpr int ProjectSettings = 138;
inline constexpr int LockFuse = 140;
inline constexpr int Language = 148;
inline constexpr int LoadAddress = 149;
inline constexpr int SelfProgram = 150;
}  // namespace dialog

inline constexpr const char* NotTranslated = "NOT TRANSLATED";

class MessageCatalog {
 public:
  explicit MessageCatalog(const LanguageSettings& language) : language_(&language) {}

  // The text of the first row with this id in the current language, or "NOT TRANSLATED".
  // The text lives as long as the process.
  const char* GetText(int id) const;
  const LanguageSettings& Language() const { return *language_; }
  bool Russian() const { return language_->RussianSelected; }

  // The text of a table row or title in the current language.
  const char* Pick(const char* english, const char* russian) const { return Russian() ? russian : english; }

 private:
  const LanguageSettings* language_;
};

// The first dialog table with this id, or nullptr.
const DialogTextTable* FindDialogTextTable(int dialogId);

// printf-style formatting of a catalog text.
std::string FormatText(const char* format, ...);

// Why a file could not be written, from the errno of the failure, in the current language.
std::string FileErrorText(const MessageCatalog& catalog, int errorNumber);

// The printf conversions of a text in order ("%02X", "%s", ...), without the literal "%%".
std::vector<std::string> Placeholders(std::string_view text);

// Every message row in table order as "id<TAB>text", line breaks written as "\n"; withOwn
// adds our own texts (ids from 2001 on) after them.
void WriteCatalogListing(std::ostream& out, bool russian, bool withOwn = false);

}  // namespace zr7
