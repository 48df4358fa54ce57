// The bilingual catalog as data: lookups, row order, and the placeholder agreement that keeps
// Russian mode from formatting garbage or crashing.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>

#include "text/CatalogTables.h"
#include "text/MessageCatalog.h"

using namespace zr7;
using ::testing::HasSubstr;

namespace {

// Ids whose Russian text may stay the English one: names and codes.
const std::set<int> kSameInBothLanguages = {1011, 1012, 1013, 1137};  // lock modes, "COM%d..."

bool ValidUtf8(const char* s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  while (*p) {
    int extra = *p < 0x80 ? 0 : (*p >> 5) == 6 ? 1 : (*p >> 4) == 14 ? 2 : (*p >> 3) == 30 ? 3 : -1;
    if (extra < 0) return false;
    ++p;
    for (int i = 0; i < extra; ++i, ++p)
      if ((*p >> 6) != 2) return false;
  }
  return true;
}

bool HasCyrillic(const char* s) {
  // Cyrillic letters are U+0400..U+04FF: lead bytes 0xD0..0xD3 in UTF-8.
  for (const auto* p = reinterpret_cast<const unsigned char*>(s); *p; ++p)
    if (*p >= 0xD0 && *p <= 0xD3) return true;
  return false;
}

struct Catalogs {
  LanguageSettings english;
  LanguageSettings russian{true};
  MessageCatalog en{english};
  MessageCatalog ru{russian};
};

TEST(MessageCatalog, LookupTakesTheFirstRowAndFallsBackForMissingIds) {
  Catalogs c;
  EXPECT_STREQ(c.en.GetText(1002), "\n  -  %s should be unprogrammed");
  EXPECT_STREQ(c.en.GetText(1102), "This device doesn't have Eeprom on-chip");
  EXPECT_STRNE(c.ru.GetText(1102), c.en.GetText(1102));
  for (int id : {1018, 1082, 1152, 1156, 1157, 1167, 0, -1, 2000}) {
    EXPECT_STREQ(c.en.GetText(id), "NOT TRANSLATED") << id;
    EXPECT_STREQ(c.ru.GetText(id), "NOT TRANSLATED") << id;
  }
}

TEST(MessageCatalog, LanguageIsReadAtEveryLookup) {
  LanguageSettings language;
  MessageCatalog catalog(language);
  EXPECT_STREQ(catalog.GetText(1025), "ZR7 Programmer");
  language.RussianSelected = true;
  EXPECT_STREQ(catalog.GetText(1025), "Программатор ZR7");
  language.RussianSelected = false;
  EXPECT_STREQ(catalog.GetText(1025), "ZR7 Programmer");
}

TEST(MessageCatalog, TableOrderAndShape) {
  auto table = MessageTable();
  ASSERT_EQ(table.size(), 188u);
  auto indexOf = [&](int id) {
    for (std::size_t i = 0; i < table.size(); ++i)
      if (table[i].id == id) return static_cast<long>(i);
    return -1L;
  };
  EXPECT_EQ(table.front().id, 1001);
  EXPECT_EQ(indexOf(1165), indexOf(1004) + 1);
  EXPECT_EQ(indexOf(1169), indexOf(1070) + 1);
  EXPECT_LT(indexOf(1172), indexOf(1170));
  EXPECT_EQ(indexOf(1179), indexOf(1174) + 1);
  EXPECT_EQ(table.back().id, 1194);
  EXPECT_EQ(MenuTextTable().size(), 43u);
  EXPECT_EQ(DialogTextTables().size(), 9u);
  for (int id : {102, 129, 130, 132, 138, 140, 148, 149, 150}) EXPECT_NE(FindDialogTextTable(id), nullptr) << id;
  EXPECT_EQ(FindDialogTextTable(139), nullptr);  // Advanced Board Settings keeps its built-in labels
}

TEST(MessageCatalog, QuotedTextsAndEscapes) {
  Catalogs c;
  EXPECT_STREQ(c.ru.GetText(1016), "Внутрисхемный программатор ZR7 10.30a");
  EXPECT_STREQ(c.ru.GetText(1052), "Программирование Flash: Завершено (%d байт(а))");
  EXPECT_STREQ(c.ru.GetText(1053), "Проверка Flash: OK (%d байт(а))");
  EXPECT_STREQ(c.ru.GetText(1150), "Плата не выбрана");
  EXPECT_STREQ(c.ru.GetText(1190), "Автопрограммирование: ЗАВЕРШЕНО УСПЕШНО");
  EXPECT_STREQ(c.ru.GetText(1191), "Автопрограммирование: произошла ошибка");
  EXPECT_EQ(FormatText(c.en.GetText(1151), 50), "50% completed");
  EXPECT_EQ(FormatText(c.ru.GetText(1151), 50), "50% завершено");
  EXPECT_THAT(c.en.GetText(1179), HasSubstr("'\\Advanced\\Update firmware version...'"));
  EXPECT_EQ(FormatText(c.en.GetText(1036), 0x01, 0xAB, 0, 0x10, 0xFF), " (Serial number 01 AB 00 10 FF)");
  EXPECT_EQ(FormatText(c.en.GetText(1038), '9', '1', '1', '9', '1', '0'),
            "Version conflict.\nZR7 version: 9.11\nRequired version 9.10.\nUpdate version and try again.");
}

// Every row of every table: a Russian text, valid UTF-8, Cyrillic unless it is a name or code,
// and the same printf conversions in the same order as the English text.
void CheckRows(std::span<const CatalogRow> rows, const std::string& table, bool placeholdersMatter) {
  for (const CatalogRow& row : rows) {
    const std::string where = table + " row " + std::to_string(row.id);
    ASSERT_NE(row.english, nullptr) << where;
    ASSERT_NE(row.russian, nullptr) << where;
    EXPECT_TRUE(ValidUtf8(row.english)) << where;
    EXPECT_TRUE(ValidUtf8(row.russian)) << where;
    if (placeholdersMatter) {
      EXPECT_EQ(Placeholders(row.russian), Placeholders(row.english)) << where;
    }
    const std::string en = row.english;
    if (en.empty()) {
      EXPECT_STREQ(row.russian, "") << where;
      continue;
    }
    EXPECT_STRNE(row.russian, "") << where;
    if (kSameInBothLanguages.count(row.id) && table == "message") {
      EXPECT_EQ(en, row.russian) << where;
    } else if (HasCyrillic(row.english) || en.find_first_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos ||
               en == "Flash" || en == "Eeprom") {
      // Names and symbols ("-", "Flash", "English/Английский") may read the same in both languages.
    } else {
      EXPECT_TRUE(HasCyrillic(row.russian)) << where << ": " << row.russian;
    }
  }
}

TEST(MessageCatalog, EveryRowIsTranslatedWithMatchingPlaceholders) {
  CheckRows(MessageTable(), "message", true);
  CheckRows(OwnMessageTable(), "message", true);
  std::set<int> ids;
  for (auto table : {MessageTable(), OwnMessageTable()})
    for (const CatalogRow& row : table) EXPECT_TRUE(ids.insert(row.id).second) << "id " << row.id << " twice";
  for (const CatalogRow& row : OwnMessageTable()) EXPECT_GT(row.id, 2000);
  CheckRows(MenuTextTable(), "menu", false);
  for (const DialogTextTable& t : DialogTextTables()) {
    EXPECT_LE(t.rows.size(), static_cast<std::size_t>(MaxDialogRows));
    CheckRows(t.rows, "dialog " + std::to_string(t.dialogId), false);
  }
}

TEST(MessageCatalog, PlaceholderScanner) {
  EXPECT_EQ(Placeholders("%02X %d%% of %s, %c.%c%c 0x%04X"),
            (std::vector<std::string>{"%02X", "%d", "%s", "%c", "%c", "%c", "%04X"}));
  EXPECT_TRUE(Placeholders("100%% done").empty());
  EXPECT_EQ(Placeholders("%-5ld|%"), (std::vector<std::string>{"%-5ld", "%"}));
}

TEST(MessageCatalog, ListingWritesEveryRowOnOneLine) {
  std::ostringstream en, ru;
  WriteCatalogListing(en, false);
  WriteCatalogListing(ru, true);
  for (const std::string& text : {en.str(), ru.str()}) EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 188);
  EXPECT_THAT(en.str(), HasSubstr("1002\t\\n  -  %s should be unprogrammed\n"));
  EXPECT_THAT(ru.str(), HasSubstr("1025\tПрограмматор ZR7\n"));
  EXPECT_EQ(en.str().substr(0, 5), "1001\t");
  std::ostringstream all;
  WriteCatalogListing(all, false, true);
  const std::string listing = all.str();
  EXPECT_EQ(static_cast<std::size_t>(std::count(listing.begin(), listing.end(), '\n')),
            188 + OwnMessageTable().size());
  EXPECT_THAT(listing, HasSubstr("\n2020\tProject loaded\n"));
}

}  // namespace
