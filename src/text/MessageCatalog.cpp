#include "text/MessageCatalog.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ostream>

#include "text/CatalogTables.h"

namespace zr7 {

const char* MessageCatalog::GetText(int id) const {
  for (auto table : {MessageTable(), OwnMessageTable()})
    for (const CatalogRow& row : table)
      if (row.id == id) return Pick(row.english, row.russian);
  return NotTranslated;
}

const DialogTextTable* FindDialogTextTable(int dialogId) {
  for (const DialogTextTable& t : DialogTextTables())
    if (t.dialogId == dialogId) return &t;
  return nullptr;
}

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<std::size_t>(n));
  }
  va_end(args);
  return out;
}

std::string FileErrorText(const MessageCatalog& catalog, int errorNumber) {
  switch (errorNumber) {
    case EACCES:
    case EPERM: return catalog.GetText(msg::FileErrorNoPermission);
    case EROFS: return catalog.GetText(msg::FileErrorReadOnlyFileSystem);
    case ENOSPC: return catalog.GetText(msg::FileErrorDiskFull);
    case EDQUOT: return catalog.GetText(msg::FileErrorQuota);
    case ENOENT: return catalog.GetText(msg::FileErrorNoFolder);
    case ENOTDIR: return catalog.GetText(msg::FileErrorNotAFolder);
    case EISDIR: return catalog.GetText(msg::FileErrorIsAFolder);
    case ENAMETOOLONG: return catalog.GetText(msg::FileErrorNameTooLong);
    default: return std::strerror(errorNumber);  // rare causes: the system's own English words
  }
}

std::vector<std::string> Placeholders(std::string_view text) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    std::size_t j = i + 1;
    if (j < text.size() && text[j] == '%') {
      i = j;
      continue;
    }
    // flags, width, precision and length, then the conversion letter
    while (j < text.size() && std::string_view("-+ #0123456789.hlLqjzt").find(text[j]) != std::string_view::npos) ++j;
    const std::size_t end = j < text.size() ? j + 1 : j;
    out.emplace_back(text.substr(i, end - i));
    i = end - 1;
  }
  return out;
}

void WriteCatalogListing(std::ostream& out, bool russian, bool withOwn) {
  auto rows = MessageTable();
  std::vector<CatalogRow> all(rows.begin(), rows.end());
  if (withOwn) all.insert(all.end(), OwnMessageTable().begin(), OwnMessageTable().end());
  for (const CatalogRow& row : all) {
    out << row.id << '\t';
    for (const char* p = russian ? row.russian : row.english; *p; ++p) {
      if (*p == '\n')
        out << "\\n";
      else
        out << *p;
    }
    out << '\n';
  }
}

}  // namespace zr7
