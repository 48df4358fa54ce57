// The bilingual catalog as data: lookups, row order, and the placeholder agreement that keeps
// Russian mode from formatting garbage or crashing.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "text/CatalogTables.h"
#include "text/MessageCatalog.h"

using namespace zr7;
using ::testing::HasSubstr;

namespace {

bool ValidUtf8(const char* s) {
  for (const auto* p = reinterpret_cast<const unsigned char*>(s); *p;) {
    const int extra = *p < 0x80 ? 0 : (*p >> 5) == 6 ? 1 : (*p >> 4) == 14 ? 2 : (*p >> 3) == 30 ? 3 : -1;
    if (extra < 0) return false;
    for (int i = 0; i <= extra; ++i, ++p)  // the lead byte, then its continuation bytes
      if (i > 0 && (*p >> 6) != 2) return false;
  }
  return true;
}

// Cyrillic letters are U+0400..U+04FF: lead bytes 0xD0..0xD3 in UTF-8.
bool HasCyrillic(const std::string& s) { return s.find_first_of("\xD0\xD1\xD2\xD3") != std::string::npos; }

TEST(MessageCatalog, LookupInTheLanguageOfTheMoment) {
  const struct { int id; bool russian; const char* text; } cases[] = {
      {1002, false, "\n  -  %s should be unprogrammed"}, {1102, false, "This device doesn't have Eeprom on-chip"},
      // The language is read at every lookup.
      {1025, false, "ZR7 Programmer"}, {1025, true, "Программатор ZR7"}, {1025, false, "ZR7 Programmer"},
      {1016, true, "Внутрисхемный программатор ZR7 10.30a"}, {1150, true, "Плата не выбрана"},
      {1052, true, "Программирование Flash: Завершено (%d байт(а))"}, {1053, true, "Проверка Flash: OK (%d байт(а))"},
      {1190, true, "Автопрограммирование: ЗАВЕРШЕНО УСПЕШНО"}, {1191, true, "Автопрограммирование: произошла ошибка"},
      {2020, false, "Project loaded"},  // our own texts are searched after the table
  };
  LanguageSettings language;
  MessageCatalog catalog(language);
  for (const auto& c : cases) {
    language.RussianSelected = c.russian;
    EXPECT_STREQ(catalog.GetText(c.id), c.text) << c.id << (c.russian ? " ru" : " en");
  }
  for (bool russian : {false, true})
    for (int id : {1018, 1082, 1152, 1156, 1157, 1167, 0, -1, 2000}) {
      language.RussianSelected = russian;
      EXPECT_STREQ(catalog.GetText(id), "NOT TRANSLATED") << id;
    }

  language.RussianSelected = false;
  EXPECT_EQ(FormatText(catalog.GetText(1151), 50), "50% completed");
  EXPECT_THAT(catalog.GetText(1179), HasSubstr("'\\Advanced\\Update firmware version...'"));
  EXPECT_EQ(FormatText(catalog.GetText(1036), 0x01, 0xAB, 0, 0x10, 0xFF), " (Serial number 01 AB 00 10 FF)");
  EXPECT_EQ(FormatText(catalog.GetText(1038), '9', '1', '1', '9', '1', '0'),
            "Version conflict.\nZR7 version: 9.11\nRequired version 9.10.\nUpdate version and try again.");
  language.RussianSelected = true;
  EXPECT_EQ(FormatText(catalog.GetText(1151), 50), "50% завершено");
}

TEST(MessageCatalog, TableOrderAndShape) {
  auto table = MessageTable();
  ASSERT_EQ(table.size(), 188u);
  auto indexOf = [&](int id) {
    return std::find_if(table.begin(), table.end(), [&](const CatalogRow& r) { return r.id == id; }) - table.begin();
  };
  EXPECT_EQ(table.front().id, 1001);
  EXPECT_EQ(table.back().id, 1194);
  // Ids are deliberately out of order where the rows were added later.
  const std::pair<int, int> follows[] = {{1165, 1004}, {1169, 1070}, {1179, 1174}};
  for (const auto& [id, after] : follows) EXPECT_EQ(indexOf(id), indexOf(after) + 1) << id;
  EXPECT_LT(indexOf(1172), indexOf(1170));
  EXPECT_EQ(MenuTextTable().size(), 43u);
  EXPECT_EQ(DialogTextTables().size(), 9u);
  for (int id : {102, 129, 130, 132, 138, 140, 148, 149, 150}) EXPECT_NE(FindDialogTextTable(id), nullptr) << id;
  EXPECT_EQ(FindDialogTextTable(139), nullptr);  // Advanced Board Settings keeps its built-in labels
}

// Every row of every table: a Russian text, valid UTF-8, Cyrillic unless it is a name or code,
// and for messages the same printf conversions in the same order as the English text.
TEST(MessageCatalog, EveryRowIsTranslatedWithMatchingPlaceholders) {
  const std::set<int> sameInBothLanguages = {1011, 1012, 1013, 1137};  // lock modes, "COM%d..."
  std::vector<std::pair<std::string, std::span<const CatalogRow>>> all = {
      {"message", MessageTable()}, {"own message", OwnMessageTable()}, {"menu", MenuTextTable()}};
  for (const DialogTextTable& t : DialogTextTables()) {
    EXPECT_LE(t.rows.size(), static_cast<std::size_t>(MaxDialogRows));
    all.emplace_back("dialog " + std::to_string(t.dialogId), t.rows);
  }
  std::set<int> messageIds;
  for (const auto& [table, rows] : all)
    for (const CatalogRow& row : rows) {
      SCOPED_TRACE(table + " row " + std::to_string(row.id));
      ASSERT_TRUE(row.english && row.russian);
      EXPECT_TRUE(ValidUtf8(row.english) && ValidUtf8(row.russian));
      const std::string en = row.english, ru = row.russian;
      const bool message = table.ends_with("message");
      if (message) {
        EXPECT_EQ(Placeholders(ru), Placeholders(en));
        EXPECT_TRUE(messageIds.insert(row.id).second) << "id twice";
        EXPECT_EQ(row.id > 2000, table == "own message");
      }
      if (en.empty() || (message && sameInBothLanguages.count(row.id))) {
        EXPECT_EQ(ru, en);
      } else if (!HasCyrillic(en) && en.find_first_of("abcdefghijklmnopqrstuvwxyz") != std::string::npos &&
                 en != "Flash" && en != "Eeprom") {
        EXPECT_TRUE(HasCyrillic(ru)) << ru;  // names and symbols may read the same in both languages
      } else {
        EXPECT_NE(ru, "");
      }
    }
}

TEST(MessageCatalog, PlaceholderScanner) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"%02X %d%% of %s, %c.%c%c 0x%04X", {"%02X", "%d", "%s", "%c", "%c", "%c", "%04X"}},
      {"100%% done", {}}, {"%-5ld|%", {"%-5ld", "%"}}};
  for (const auto& [text, expected] : cases) EXPECT_EQ(Placeholders(text), expected) << text;
}

TEST(MessageCatalog, ListingWritesEveryRowOnOneLine) {
  auto listing = [](bool russian, bool withOwn) {
    std::ostringstream out;
    WriteCatalogListing(out, russian, withOwn);
    return out.str();
  };
  const std::string en = listing(false, false), ru = listing(true, false), all = listing(false, true);
  for (const auto& [text, lines] : {std::pair{en, 188u}, {ru, 188u}, {all, 188 + OwnMessageTable().size()}})
    EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')), lines);
  EXPECT_EQ(en.substr(0, 5), "1001\t");
  EXPECT_THAT(en, HasSubstr("1002\t\\n  -  %s should be unprogrammed\n"));
  EXPECT_THAT(ru, HasSubstr("1025\tПрограмматор ZR7\n"));
  EXPECT_EQ(all.substr(0, en.size()), en);
  EXPECT_THAT(all, HasSubstr("\n2020\tProject loaded\n"));
}

}  // namespace
