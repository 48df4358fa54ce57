// Window translation against a fake window that records what was changed.

#include <gtest/gtest.h>

#include <map>

#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "present/TranslateWindow.h"

using namespace zr7;

namespace {

// Texts by "item <id>", "popup <position>", "control <id>" and "caption"; a right-justified
// popup's title ends in " >".
class FakeWindow : public TranslatableWindow {
 public:
  explicit FakeWindow(bool withMenu, std::vector<int> controls = {}) : hasMenu_(withMenu) {
    for (int id : controls) text["control " + std::to_string(id)] = "built";
    if (!withMenu) return;
    // The main window's menu as built: six popups, the last at the right end.
    const char* titles[] = {"&Project", "&Flash", "&Eeprom", "&Settings", "&Advanced", "&Help >"};
    for (int p = 0; p < 6; ++p) text["popup " + std::to_string(p)] = titles[p];
    for (int id : {32784, 1006, 1007, 1016, 32910, 16}) text["item " + std::to_string(id)] = "built";
  }
  bool HasMenu() const override { return hasMenu_; }
  void SetMenuItemText(int id, std::string_view t) override { Set("item " + std::to_string(id), t, false); }
  void SetPopupTitle(int position, std::string_view t, bool right) override {
    Set("popup " + std::to_string(position), std::string(t) + (right ? " >" : ""), true);
  }
  void RedrawMenu() override { ++calls, ++redraws; }
  void SetCaption(std::string_view t) override { ++calls, text["caption"] = t; }
  bool HasControl(int id) const override { return text.count("control " + std::to_string(id)) != 0; }
  void SetControlText(int id, std::string_view t) override { Set("control " + std::to_string(id), t, true); }

  std::map<std::string, std::string> text{{"caption", "as built"}};
  int calls = 0, redraws = 0;

 private:
  // Only what the window has can be changed; a menu item the window lacks is skipped.
  void Set(const std::string& key, std::string_view t, bool mustExist) {
    ++calls;
    if (text.count(key)) text[key] = t;
    else EXPECT_FALSE(mustExist) << key << " does not exist";
  }
  bool hasMenu_;
};

class TranslateWindowTest : public testing::Test {
 protected:
  LanguageSettings language;
  MessageCatalog catalog{language};
  ScriptedOperator op;
};

TEST_F(TranslateWindowTest, MainWindowMenuPopupsAndButtonsFollowTheLanguage) {
  // The main window's buttons, and a control without a row, which keeps its text.
  FakeWindow w(true, {1079, 1009, 1013, 1010, 1011, 1014, 1012, 1015, 1103, 1008, 32779, 1005});
  TranslateWindow(w, dialog::MainWindow, catalog, op);
  const std::map<std::string, std::string> english = {
      {"item 32784", "&New"}, {"item 1016", "&Lock&&Fuse Bits..."}, {"popup 0", "&Project"},
      {"popup 3", "&Settings"}, {"control 1009", "Program Flash"}, {"control 32779", "Blank check"},
      {"control 1005", "built"},
      {"caption", ""},  // the real caption comes later from the window's own refresh
  };
  for (const auto& [key, want] : english) EXPECT_EQ(w.text[key], want) << key;
  EXPECT_EQ(w.redraws, 1);

  language.RussianSelected = true;
  TranslateWindow(w, dialog::MainWindow, catalog, op);
  const std::map<std::string, std::string> russian = {
      {"item 32784", "Новый"}, {"item 1006", "Открыть..."}, {"item 16", "О программе..."},
      {"popup 0", "Проект"}, {"popup 4", "Дополнительно"}, {"popup 5", "Помощь >"},
      // Flash and Eeprom have no row: the built titles stay in both languages.
      {"popup 1", "&Flash"}, {"popup 2", "&Eeprom"},
      {"control 1009", "Программир. Flash"}, {"control 1008", "Стирание микросхемы"},
  };
  for (const auto& [key, want] : russian) EXPECT_EQ(w.text[key], want) << key;
  for (int p = 0; p < 5; ++p) EXPECT_FALSE(w.text["popup " + std::to_string(p)].ends_with(" >")) << p;
  EXPECT_EQ(w.redraws, 2);
  EXPECT_TRUE(op.Boxes().empty());
}

TEST_F(TranslateWindowTest, MissingMenuIsReportedAndTheLabelsStillTranslated) {
  FakeWindow w(false, {1009});
  TranslateWindow(w, dialog::MainWindow, catalog, op);
  ASSERT_EQ(op.BoxTexts(), std::vector<std::string>{"Cannot translate menu."});
  EXPECT_EQ(std::tuple(op.Boxes()[0].caption, op.Boxes()[0].icon), std::tuple("Error", BoxIcon::Error));
  EXPECT_EQ(w.redraws, 0);
  EXPECT_EQ(w.text["control 1009"], "Program Flash");
}

// A dialog without a table is left as built; another dialog gets its caption and labels, and
// the later of two rows for one control; the menu stays.
TEST_F(TranslateWindowTest, DialogsGetTheirOwnRowsAndLeaveTheMenuAlone) {
  FakeWindow untouched(true, {2, 1054});
  TranslateWindow(untouched, 139, catalog, op);
  EXPECT_EQ(untouched.calls, 0);

  FakeWindow self(false, {1155, 1157, 1158, 1});
  TranslateWindow(self, dialog::SelfProgram, catalog, op);
  const std::map<std::string, std::string> selfProgram = {
      {"caption", "Self-Program Settings"}, {"control 1155", "-"}, {"control 1157", "-"},
      {"control 1158", "Program at normal speed"}, {"control 1", "Update"}};
  EXPECT_EQ(self.text, selfProgram);

  language.RussianSelected = true;
  FakeWindow board(true, {1054, 2, 1056});
  TranslateWindow(board, dialog::BoardSettings, catalog, op);
  EXPECT_EQ(board.text["caption"], "Настройки платы");
  EXPECT_EQ(board.text["control 1054"], "Включить 115200 бод");
  EXPECT_EQ(board.text["control 2"], "Отмена");
  EXPECT_EQ(board.text["control 1056"], "built");
  EXPECT_EQ(board.text["item 32784"], "built");
  EXPECT_EQ(board.redraws, 0);
  EXPECT_TRUE(op.Boxes().empty());
}

}  // namespace
