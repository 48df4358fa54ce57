// The Language, Load Address, Advanced Board Settings and Board Settings dialogs, driven
// through their widgets.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>

#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "ui/BoardSettingsDialog.h"
#include "project/Profile.h"
#include "ui/BoardDelaysDialog.h"
#include "ui/LanguageDialog.h"
#include "ui/LoadAddressDialog.h"
#include "gui/WhenModal.h"

namespace fs = std::filesystem;
using namespace zr7;

namespace {

QString U(const char* text) { return QString::fromUtf8(text); }

template <class T = QWidget>
T* Control(QWidget& dialog, const QString& name) {
  T* w = dialog.findChild<T*>(name);
  EXPECT_NE(w, nullptr) << name.toStdString();
  return w;
}

template <class T = QWidget>
T* Control(QWidget& dialog, int id) {
  return Control<T>(dialog, QStringLiteral("id%1").arg(id));
}

void Click(QWidget& dialog, int id) {
  auto* b = Control<QAbstractButton>(dialog, id);
  if (!b) return;
  // Radio buttons and check boxes answer only on their mark and text, not on the whole width.
  const bool push = qobject_cast<QPushButton*>(b) != nullptr;
  QTest::mouseClick(b, Qt::LeftButton, {}, push ? b->rect().center() : QPoint(4, b->height() / 2));
}

void Retype(QLineEdit* edit, const char* text) {
  ASSERT_NE(edit, nullptr);
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, U(text));
}


class DialogsTest : public testing::Test {
 protected:
  ScriptedOperator op;
  LanguageSettings english;
  LanguageSettings russian{true};
  MessageCatalog en{english};
  MessageCatalog ru{russian};
};

// --- Language ---

TEST_F(DialogsTest, LanguageOpenedInRussianShowsRussianAndReturnsTheNewChoice) {
  LanguageDialog dialog(nullptr, ru, op, true);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), U("Язык"));
  EXPECT_EQ(Control<QGroupBox>(dialog, 1104)->title(), U("Язык"));
  EXPECT_EQ(Control<QPushButton>(dialog, 2)->text(), U("Отмена"));
  EXPECT_EQ(Control<QRadioButton>(dialog, 1125)->text(), U("English/Английский"));
  EXPECT_TRUE(Control<QRadioButton>(dialog, 1126)->isChecked());
  EXPECT_FALSE(Control<QRadioButton>(dialog, 1125)->isChecked());

  Click(dialog, 1125);
  Click(dialog, 1);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(dialog.Russian());
}

TEST_F(DialogsTest, LanguageRunGivesTheChoiceOrNothing) {
  WhenModal chooseRussian([](QDialog& d) {
    EXPECT_TRUE(Control<QRadioButton>(d, 1125)->isChecked());
    EXPECT_EQ(Control<QGroupBox>(d, 1104)->title(), U("Language"));
    Click(d, 1126);
    Click(d, 1);
  });
  EXPECT_EQ(RunLanguageDialog(nullptr, en, op, false), std::optional<bool>(true));
  EXPECT_TRUE(chooseRussian.Acted());

  WhenModal cancel([](QDialog& d) {
    Click(d, 1125);
    Click(d, 2);
  });
  EXPECT_EQ(RunLanguageDialog(nullptr, en, op, true), std::nullopt);
}

// --- Load Address ---

struct TypedAddress {
  const char* typed;
  bool decimal;
  std::uint32_t expected;
};

TEST_F(DialogsTest, LoadAddressReadsWhatIsTypedInTheCheckedBase) {
  for (const TypedAddress& t : {TypedAddress{"100", true, 100}, {"100", false, 256}, {"1a", true, 1}, {"1a", false, 26}}) {
    SCOPED_TRACE(t.typed);
    LoadAddressDialog dialog(nullptr, en, op, 0x1A);
    dialog.show();
    auto* edit = Control<QLineEdit>(dialog, 1128);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), U("001A"));
    EXPECT_TRUE(Control<QRadioButton>(dialog, 1130)->isChecked());
    Retype(edit, t.typed);
    if (t.decimal) Click(dialog, 1129);
    Click(dialog, 1);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Address(), t.expected);
  }
}

TEST_F(DialogsTest, LoadAddressInRussianTakesSixCapitals) {
  LoadAddressDialog dialog(nullptr, ru, op, 0x12345);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), U("Загрузить по адресу"));
  EXPECT_EQ(Control<QLabel>(dialog, 1131)->text(), U("Адрес"));
  EXPECT_EQ(Control<QRadioButton>(dialog, 1129)->text(), U("Десятичный"));
  EXPECT_EQ(Control<QRadioButton>(dialog, 1130)->text(), U("Шестнадцатиричный"));
  EXPECT_EQ(Control<QPushButton>(dialog, 2)->text(), U("Отмена"));
  auto* edit = Control<QLineEdit>(dialog, 1128);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->text(), U("12345"));
  Retype(edit, "abcdef12");
  EXPECT_EQ(edit->text(), U("ABCDEF"));
  edit->clear();
  edit->insert(U("x1f"));  // as a paste does
  EXPECT_EQ(edit->text(), U("X1F"));
}

TEST_F(DialogsTest, LoadAddressRunStartsInHexadecimalEveryTimeAndCancelGivesNothing) {
  WhenModal decimal([](QDialog& d) {
    Retype(Control<QLineEdit>(d, 1128), "200");
    Click(d, 1129);
    Click(d, 1);
  });
  EXPECT_EQ(RunLoadAddressDialog(nullptr, en, op, 0x40), std::optional<std::uint32_t>(200));

  bool hexChecked = false;
  WhenModal cancel([&](QDialog& d) {
    hexChecked = Control<QRadioButton>(d, 1130)->isChecked();
    Retype(Control<QLineEdit>(d, 1128), "300");
    Click(d, 2);
  });
  EXPECT_EQ(RunLoadAddressDialog(nullptr, en, op, 0x40), std::nullopt);
  EXPECT_TRUE(hexChecked);
}

// --- Advanced Board Settings ---

TEST_F(DialogsTest, BoardDelaysRefuseOutOfRangeValuesAndFocusTheEdit) {
  BoardDelaysDialog dialog(nullptr, op, {1, 2, 3, 4});
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), U("Advanced Board Settings"));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Control<QLineEdit>(dialog, 1076 + i)->text(), QString::number(i + 1));

  for (int i = 0; i < 4; ++i)
    for (const char* bad : {"1001", "-1"}) {
      SCOPED_TRACE(std::to_string(i) + " " + bad);
      auto* edit = Control<QLineEdit>(dialog, 1076 + i);
      Retype(edit, bad);
      Control<QLineEdit>(dialog, 1076 + (i + 1) % 4)->setFocus();
      op.ClearEvents();
      Click(dialog, 1);
      ASSERT_EQ(op.Boxes().size(), 1u);
      EXPECT_NE(op.Boxes()[0].text.find("0 to 1000"), std::string::npos);
      EXPECT_TRUE(dialog.isVisible()) << "the dialog stays open";
      EXPECT_EQ(dialog.focusWidget(), edit);
      Retype(edit, i % 2 ? "1000" : "0");
    }
  op.ClearEvents();
  Click(dialog, 1);
  EXPECT_TRUE(op.Boxes().empty());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Delays(), (BoardDelays{0, 1000, 0, 1000}));
}

TEST_F(DialogsTest, BoardDelaysRunGivesTheValuesOrNothing) {
  WhenModal ok([](QDialog& d) {
    Retype(Control<QLineEdit>(d, 1078), "250");
    Click(d, 1);
  });
  EXPECT_EQ(RunBoardDelaysDialog(nullptr, op, {5, 6, 7, 8}), (BoardDelays{5, 6, 250, 8}));

  WhenModal cancel([](QDialog& d) {
    Retype(Control<QLineEdit>(d, 1076), "5000");
    Click(d, 2);
  });
  EXPECT_EQ(RunBoardDelaysDialog(nullptr, op, {5, 6, 7, 8}), std::nullopt);
  EXPECT_TRUE(op.Boxes().empty()) << "Cancel checks nothing";
}

// --- Board Settings ---

class BoardSettingsDialogTest : public DialogsTest {
 protected:
  void TearDown() override { fs::remove_all(dir); }
  std::string dir = [] {
    std::string pattern = (fs::temp_directory_path() / "zr7-boardsettings-XXXXXX").string();
    return std::string(mkdtemp(pattern.data()));
  }();
  std::string present = [this] {
    std::string path = dir + "/ttyFAKE0";
    std::ofstream(path) << "";
    return path;
  }();
};

TEST_F(BoardSettingsDialogTest, ChecksThePortAndSpeedGivenAndTranslates) {
  for (int port : {0, 1, 6, 8}) {
    SCOPED_TRACE(port);
    BoardSettingsDialog dialog(nullptr, ru, op, port, port == 6, PortMap());
    for (int i = 0; i < PortCount; ++i) {
      auto* radio = Control<QRadioButton>(dialog, PortRadioIds[static_cast<std::size_t>(i)]);
      EXPECT_EQ(radio->text(), QString("COM%1").arg(i + 1));
      EXPECT_EQ(radio->isChecked(), i == (port == 0 ? 0 : port - 1));
    }
    EXPECT_EQ(Control<QCheckBox>(dialog, 1054)->isChecked(), port == 6);
  }
  BoardSettingsDialog dialog(nullptr, ru, op, 0, false, PortMap());
  EXPECT_EQ(dialog.windowTitle(), U("Настройки платы"));
  EXPECT_EQ(Control<QGroupBox>(dialog, 1113)->title(), U("Коммуникационный порт"));
  EXPECT_EQ(Control<QCheckBox>(dialog, 1054)->text(), U("Включить 115200 бод"));
  EXPECT_EQ(Control<QPushButton>(dialog, 2)->text(), U("Отмена"));
}

TEST_F(BoardSettingsDialogTest, ShowsEachPathAndWhetherItIsThereAsItIsTyped) {
  PortMap ports;
  ports.Set(0, present);
  ports.Set(1, dir + "/ttyFAKE1");
  BoardSettingsDialog dialog(nullptr, en, op, 1, false, ports);
  auto* path2 = Control<QLineEdit>(dialog, "path2");
  ASSERT_NE(path2, nullptr);
  EXPECT_EQ(Control<QLineEdit>(dialog, "path1")->text(), QString::fromStdString(present));
  EXPECT_EQ(path2->text(), QString::fromStdString(dir + "/ttyFAKE1"));
  EXPECT_EQ(Control<QLineEdit>(dialog, "path5")->text(), U("/dev/ttyUSB2"));
  EXPECT_EQ(Control<QLabel>(dialog, "presence1")->text(), U("(present)"));
  EXPECT_EQ(Control<QLabel>(dialog, "presence2")->text(), U("(absent)"));

  path2->setText(QString::fromStdString(present));
  EXPECT_EQ(Control<QLabel>(dialog, "presence2")->text(), U("(present)"));
  fs::remove(present);
  dialog.RefreshPresence();
  EXPECT_EQ(Control<QLabel>(dialog, "presence1")->text(), U("(absent)"));

  BoardSettingsDialog russianDialog(nullptr, ru, op, 1, false, ports);
  EXPECT_EQ(Control<QLabel>(russianDialog, "presence2")->text(), U("(отсутствует)"));
}

TEST_F(BoardSettingsDialogTest, TheCommandThroughTheRealDialog) {
  Profile profile(dir + "/zr7.ini", op, en);
  ASSERT_TRUE(profile.SetComPort(3));
  int port = 7;
  bool highSpeed = true;
  PortMap ports;
  auto show = [&](int p, bool h, const PortMap& m) { return RunBoardSettingsDialog(nullptr, en, op, p, h, m); };

  bool com3Checked = false;
  WhenModal cancel([&](QDialog& d) {
    com3Checked = Control<QRadioButton>(d, 1058)->isChecked();
    Click(d, 1150);
    Click(d, 2);
  });
  EXPECT_FALSE(BoardSettingsCommand(profile, port, highSpeed, ports, show));
  EXPECT_TRUE(com3Checked);
  EXPECT_EQ(port, 3);
  EXPECT_FALSE(highSpeed);

  ports.Set(6, "/dev/pts/9");
  WhenModal ok([&](QDialog& d) {
    Click(d, 1150);
    Click(d, 1054);
    Retype(Control<QLineEdit>(d, "path6"), " /dev/ttyZR7 ");
    Control<QLineEdit>(d, "path7")->clear();
    Click(d, 1);
  });
  EXPECT_TRUE(BoardSettingsCommand(profile, port, highSpeed, ports, show));
  EXPECT_EQ(profile.ComPort(), 6);
  EXPECT_TRUE(profile.HighSpeed());
  EXPECT_EQ(profile.PortPath(5), "/dev/ttyZR7");
  EXPECT_EQ(ports.PathFor(5), "/dev/ttyZR7");
  EXPECT_EQ(ports.PathFor(6), "/dev/ttyACM0") << "an emptied slot takes its built-in path";
  EXPECT_EQ(profile.GetText("Ports", "COM1", "none"), "none") << "untouched slots are not written";
}

}  // namespace
