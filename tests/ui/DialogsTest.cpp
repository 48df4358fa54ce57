// The Language, Load Address, Advanced Board Settings and Board Settings dialogs, driven
// through their widgets: they show what they were given and return what was typed.

#include <QGroupBox>

#include "Widgets.h"
#include "support/ScriptedOperator.h"
#include "text/MessageCatalog.h"
#include "ui/BoardDelaysDialog.h"
#include "ui/BoardSettingsDialog.h"
#include "ui/LanguageDialog.h"
#include "ui/LoadAddressDialog.h"

using namespace zr7;
using namespace zr7test;

namespace {

class DialogsTest : public testing::Test {
 protected:
  ScriptedOperator op;
  LanguageSettings english;
  LanguageSettings russian{true};
  MessageCatalog en{english};
  MessageCatalog ru{russian};
};

TEST_F(DialogsTest, LanguageShowsTheGivenChoiceInItsLanguageAndGivesTheNewOneOrNothing) {
  const struct { const MessageCatalog* catalog; bool russian; int clicked; Qt::Key key; std::optional<bool> result;
                 const char* title; } cases[] = {{&ru, true, 1125, Qt::Key_Return, false, "Язык"},
               {&en, false, 1126, Qt::Key_Return, true, "Language"},
               {&en, true, 1125, Qt::Key_Escape, std::nullopt, "Language"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    WhenModal act([&](QDialog& d) {
      EXPECT_EQ(d.windowTitle(), U(c.title));
      EXPECT_EQ(Find<QGroupBox>(d, 1104)->title(), U(c.title));
      EXPECT_EQ(Find<QRadioButton>(d, 1126)->isChecked(), c.russian);
      EXPECT_EQ(Find<QRadioButton>(d, 1125)->isChecked(), !c.russian);
      Click(d, c.clicked);
      QTest::keyClick(&d, c.key);
    });
    EXPECT_EQ(RunLanguageDialog(nullptr, *c.catalog, op, c.russian), c.result);
    EXPECT_TRUE(act.Acted());
  }
}

// Opened in hexadecimal every time; six capitals at most.
TEST_F(DialogsTest, LoadAddressReadsWhatIsTypedInTheCheckedBase) {
  const struct { const char *typed, *shown; bool decimal; Qt::Key key; std::optional<std::uint32_t> result; }
  cases[] = {
      {"100", "100", true, Qt::Key_Return, 100},
      {"1a", "1A", false, Qt::Key_Return, 26},
      {"abcdef12", "ABCDEF", false, Qt::Key_Return, 0xABCDEF},
      {"300", "300", true, Qt::Key_Escape, std::nullopt}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    WhenModal act([&](QDialog& d) {
      auto* edit = Find<QLineEdit>(d, 1128);
      EXPECT_EQ(edit->text(), U("001A"));
      EXPECT_TRUE(Find<QRadioButton>(d, 1130)->isChecked());
      Retype(edit, c.typed);
      EXPECT_EQ(edit->text(), U(c.shown));
      if (c.decimal) Click(d, 1129);
      QTest::keyClick(edit, c.key);
    });
    EXPECT_EQ(RunLoadAddressDialog(nullptr, en, op, 0x1A), c.result);
    EXPECT_TRUE(act.Acted());
  }
}

// A value out of 0..1000 is named, and the dialog stays open with its edit focused.
TEST_F(DialogsTest, BoardDelaysNameTheBadEditAndGiveTheValues) {
  BoardDelaysDialog dialog(nullptr, op, {1, 2, 3, 4});
  dialog.show();
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    auto* edit = Find<QLineEdit>(dialog, 1076 + i);
    EXPECT_EQ(edit->text(), QString::number(i + 1));
    Retype(edit, i % 2 ? "1001" : "-1");
    Find<QLineEdit>(dialog, 1076 + (i + 1) % 4)->setFocus();
    op.ClearEvents();
    Click(dialog, 1);
    ASSERT_EQ(op.Boxes().size(), 1u);
    EXPECT_NE(op.Boxes()[0].text.find("0 to 1000"), std::string::npos);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.focusWidget(), edit);
    Retype(edit, i % 2 ? "1000" : "0");
  }
  Click(dialog, 1);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Delays(), (BoardDelays{0, 1000, 0, 1000}));
}

TEST_F(DialogsTest, BoardSettingsShowThePortSpeedAndPathsGivenAndWhetherEachIsThere) {
  ScratchDir dir;
  const std::string present = dir / "ttyFAKE0";
  std::ofstream(present) << "";
  PortMap ports;
  ports.Set(0, present);
  ports.Set(1, dir / "ttyFAKE1");
  BoardSettingsDialog dialog(nullptr, ru, op, 0, true, ports);
  for (int i = 0; i < PortCount; ++i) {
    auto* radio = Find<QRadioButton>(dialog, PortRadioIds[static_cast<std::size_t>(i)]);
    EXPECT_EQ(radio->text(), QString("COM%1").arg(i + 1));
    EXPECT_EQ(radio->isChecked(), i == 0) << "no port yet: COM1";
  }
  EXPECT_TRUE(Find<QCheckBox>(dialog, 1054)->isChecked());
  EXPECT_EQ(Find<QCheckBox>(dialog, 1054)->text(), U("Включить 115200 бод"));
  EXPECT_EQ(Find<QLineEdit>(dialog, "path1")->text(), QString::fromStdString(present));
  EXPECT_EQ(Find<QLineEdit>(dialog, "path5")->text(), U("/dev/ttyUSB2"));
  EXPECT_EQ(Find<QLabel>(dialog, "presence1")->text(), U("(присутствует)"));
  EXPECT_EQ(Find<QLabel>(dialog, "presence2")->text(), U("(отсутствует)"));
  Find<QLineEdit>(dialog, "path2")->setText(QString::fromStdString(present));
  EXPECT_EQ(Find<QLabel>(dialog, "presence2")->text(), U("(присутствует)"));
  std::filesystem::remove(present);
  dialog.RefreshPresence();
  EXPECT_EQ(Find<QLabel>(dialog, "presence1")->text(), U("(отсутствует)"));
}

TEST_F(DialogsTest, BoardSettingsGiveThePortSpeedAndPathsAsTyped) {
  PortMap ports;
  ports.Set(6, "/dev/pts/9");
  WhenModal ok([&](QDialog& d) {
    EXPECT_TRUE(Find<QRadioButton>(d, 1058)->isChecked());
    Click(d, 1150);
    Click(d, 1054);
    Retype(Find<QLineEdit>(d, "path6"), " /dev/ttyZR7 ");
    Find<QLineEdit>(d, "path7")->clear();
    Click(d, 1);
  });
  const auto choice = RunBoardSettingsDialog(nullptr, en, op, 3, true, ports);
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->port, 6);
  EXPECT_FALSE(choice->highSpeed);
  EXPECT_EQ(choice->ports.PathFor(5), "/dev/ttyZR7");
  EXPECT_EQ(choice->ports.PathFor(6), "/dev/ttyACM0") << "an emptied slot takes its built-in path";
  EXPECT_EQ(choice->ports.PathFor(0), ports.PathFor(0));
}

}  // namespace
