// Window translation against a fake window that records what was changed.

#include <gtest/gtest.h>

#include <map>

#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "present/TranslateWindow.h"

using namespace zr7;

namespace {

class FakeWindow : public TranslatableWindow {
 public:
  struct Popup {
    std::string title;
    bool rightJustified = false;
  };

  explicit FakeWindow(bool withMenu, std::vector<int> controls = {}) : hasMenu_(withMenu) {
    for (int id : controls) controls_[id] = "built";
    if (withMenu) {
      // The main window's menu as built: six popups, the last at the right end.
      for (const char* t : {"&Project", "&Flash", "&Eeprom", "&Settings", "&Advanced", "&Help"}) popups_.push_back({t});
      popups_[5].rightJustified = true;
      for (int id : {32784, 1006, 1007, 1016, 32910, 16}) items_[id] = "built";
    }
  }

  bool HasMenu() const override { return hasMenu_; }
  void SetMenuItemText(int commandId, std::string_view text) override {
    ++calls;
    auto it = items_.find(commandId);
    if (it != items_.end()) it->second = text;
  }
  void SetPopupTitle(int position, std::string_view text, bool rightJustified) override {
    ++calls;
    ASSERT_LT(position, static_cast<int>(popups_.size()));
    popups_[position] = {std::string(text), rightJustified};
  }
  void RedrawMenu() override {
    ++calls;
    ++redraws;
  }
  void SetCaption(std::string_view text) override {
    ++calls;
    caption = text;
  }
  bool HasControl(int controlId) const override { return controls_.count(controlId) != 0; }
  void SetControlText(int controlId, std::string_view text) override {
    ++calls;
    ASSERT_TRUE(HasControl(controlId)) << controlId;
    controls_[controlId] = text;
  }

  std::string Control(int id) const { return controls_.at(id); }
  std::string Item(int id) const { return items_.at(id); }
  const Popup& PopupAt(int position) const { return popups_.at(position); }

  std::string caption = "as built";
  int calls = 0;
  int redraws = 0;

 private:
  bool hasMenu_;
  std::map<int, std::string> controls_;
  std::map<int, std::string> items_;
  std::vector<Popup> popups_;
};

const std::vector<int> kMainButtons = {1079, 1009, 1013, 1010, 1011, 1014, 1012, 1015, 1103, 1008, 32779};

TEST(TranslateWindow, MainWindowMenuPopupsAndButtonsFollowTheLanguage) {
  LanguageSettings language;
  MessageCatalog catalog(language);
  ScriptedOperator op;
  std::vector<int> controls = kMainButtons;
  controls.push_back(1005);  // a control without a row keeps its text
  FakeWindow w(true, controls);

  TranslateWindow(w, dialog::MainWindow, catalog, op);
  EXPECT_EQ(w.Item(32784), "&New");
  EXPECT_EQ(w.Item(1016), "&Lock&&Fuse Bits...");
  EXPECT_EQ(w.PopupAt(0).title, "&Project");
  EXPECT_EQ(w.PopupAt(3).title, "&Settings");
  EXPECT_EQ(w.Control(1009), "Program Flash");
  EXPECT_EQ(w.Control(32779), "Blank check");
  EXPECT_EQ(w.Control(1005), "built");
  EXPECT_EQ(w.caption, "");  // the real caption comes later from the window's own refresh
  EXPECT_EQ(w.redraws, 1);

  language.RussianSelected = true;
  TranslateWindow(w, dialog::MainWindow, catalog, op);
  EXPECT_EQ(w.Item(32784), "Новый");
  EXPECT_EQ(w.Item(1006), "Открыть...");
  EXPECT_EQ(w.Item(16), "О программе...");
  EXPECT_EQ(w.PopupAt(0).title, "Проект");
  EXPECT_EQ(w.PopupAt(4).title, "Дополнительно");
  EXPECT_EQ(w.PopupAt(5).title, "Помощь");
  EXPECT_TRUE(w.PopupAt(5).rightJustified);
  for (int p = 0; p < 5; ++p) EXPECT_FALSE(w.PopupAt(p).rightJustified) << p;
  // Flash and Eeprom have no row: the built titles stay in both languages.
  EXPECT_EQ(w.PopupAt(1).title, "&Flash");
  EXPECT_EQ(w.PopupAt(2).title, "&Eeprom");
  EXPECT_EQ(w.Control(1009), "Программир. Flash");
  EXPECT_EQ(w.Control(1008), "Стирание микросхемы");
  EXPECT_EQ(w.redraws, 2);
  EXPECT_TRUE(op.Boxes().empty());
}

TEST(TranslateWindow, MissingMenuIsReportedAndTheLabelsStillTranslated) {
  LanguageSettings language;
  MessageCatalog catalog(language);
  ScriptedOperator op;
  FakeWindow w(false, {1009});
  TranslateWindow(w, dialog::MainWindow, catalog, op);
  auto boxes = op.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(boxes[0].text, "Cannot translate menu.");
  EXPECT_EQ(boxes[0].icon, BoxIcon::Error);
  EXPECT_EQ(w.redraws, 0);
  EXPECT_EQ(w.Control(1009), "Program Flash");
}

TEST(TranslateWindow, DialogsWithoutATableAndOtherDialogsLeaveTheMenuAlone) {
  LanguageSettings language{true};
  MessageCatalog catalog(language);
  ScriptedOperator op;
  FakeWindow untouched(true, {2, 1054});
  TranslateWindow(untouched, 139, catalog, op);
  EXPECT_EQ(untouched.calls, 0);

  FakeWindow board(true, {1054, 2, 1056});
  TranslateWindow(board, dialog::BoardSettings, catalog, op);
  EXPECT_EQ(board.caption, "Настройки платы");
  EXPECT_EQ(board.Control(1054), "Включить 115200 бод");
  EXPECT_EQ(board.Control(2), "Отмена");
  EXPECT_EQ(board.Control(1056), "built");
  EXPECT_EQ(board.redraws, 0);
  EXPECT_EQ(board.Item(32784), "built");
  EXPECT_TRUE(op.Boxes().empty());
}

TEST(TranslateWindow, LaterRowsOfADialogWin) {
  LanguageSettings language;
  MessageCatalog catalog(language);
  ScriptedOperator op;
  FakeWindow w(false, {1155, 1157, 1158, 1});
  TranslateWindow(w, dialog::SelfProgram, catalog, op);
  EXPECT_EQ(w.caption, "Self-Program Settings");
  EXPECT_EQ(w.Control(1155), "-");
  EXPECT_EQ(w.Control(1157), "-");
  EXPECT_EQ(w.Control(1158), "Program at normal speed");
  EXPECT_EQ(w.Control(1), "Update");
}

}  // namespace
