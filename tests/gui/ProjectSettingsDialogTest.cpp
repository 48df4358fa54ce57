// The Project Settings dialog driven through its widgets: the snapped reset length that stays
// after Cancel, the Flash delays checked while switched off, the addresses, the SCK list, the
// enabling, the lock/fuse editor behind 1144 and "Configure...", the bits forgotten for a chip
// of another layout, and both languages.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <memory>
#include <vector>

#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "present/WindowRules.h"
#include "devices/DeviceTable.h"
#include "project/Project.h"
#include "ui/ProjectSettingsDialog.h"
#include "gui/WhenModal.h"

namespace zr7 {
namespace {

namespace c = settings_control;

QString U(const char* text) { return QString::fromUtf8(text); }

template <class T = QWidget>
T* Find(QWidget& dialog, int id) {
  T* w = dialog.findChild<T*>(QStringLiteral("id%1").arg(id));
  EXPECT_NE(w, nullptr) << id;
  return w;
}

void Click(QWidget& dialog, int id) {
  auto* b = Find<QAbstractButton>(dialog, id);
  if (!b) return;
  // A check box answers only on its mark and text, not on its whole width.
  const bool push = qobject_cast<QPushButton*>(b) != nullptr;
  QTest::mouseClick(b, Qt::LeftButton, {}, push ? b->rect().center() : QPoint(4, b->height() / 2));
}

void Retype(QWidget& dialog, int id, const char* text) {
  auto* edit = Find<QLineEdit>(dialog, id);
  ASSERT_NE(edit, nullptr);
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, U(text));
}

bool Checked(QWidget& dialog, int id) { return Find<QCheckBox>(dialog, id)->isChecked(); }
bool Enabled(QWidget& dialog, int id) { return Find(dialog, id)->isEnabled(); }

LockFuseState SomeBits() {
  LockFuseState s;
  s.lockMode = 1;
  s.fuse[2] = s.fuse[9] = true;
  s.bootLock[0] = true;
  return s;
}

// Records every call and answers as told, changing the working copy like a kept edit would.
struct FakeEditor {
  LockFuseEditor Editor() {
    return [this](int device, LockFuseState& state) {
      devices.push_back(device);
      if (answer) state = result;
      return answer;
    };
  }
  bool answer = false;
  LockFuseState result = SomeBits();
  std::vector<int> devices;
};

class ProjectSettingsDialogTest : public testing::Test {
 protected:
  ProjectSettingsDialogTest() {
    // As a file without its "Settings" and "Delays" keys loads.
    project.settings().resetStrobeLength = 400;
    auto& s = project.settings();
    s.delayByteValue = s.delayPageValue = s.delayByteValue2 = s.delayPageValue2 = 0;
  }
  // A project whose Flash delays pass the checks.
  void ValidDelays() {
    project.settings().delayByteValue = 9;
    project.settings().delayPageValue = 6;
  }
  std::unique_ptr<ProjectSettingsDialog> Open() {
    auto d = std::make_unique<ProjectSettingsDialog>(nullptr, catalog, op, project.settings(), editor.Editor());
    d->show();
    return d;
  }

  LanguageSettings language;
  MessageCatalog catalog{language};
  ScriptedOperator op;
  Project project{op, catalog};
  FakeEditor editor;
};

TEST_F(ProjectSettingsDialogTest, ResetLengthSnapsToTheSliderAndStaysAfterCancel) {
  ValidDelays();
  bool shown = false;
  WhenModal cancel([&](QDialog& d) {
    shown = true;
    EXPECT_EQ(Find<QLabel>(d, c::ResetLabel)->text(), U("500 ms"));
    auto* slider = Find<QSlider>(d, c::ResetSlider);
    EXPECT_EQ(slider->value(), 5);
    EXPECT_EQ(slider->maximum(), 6);
    EXPECT_EQ(slider->pageStep(), 3);
    QTest::keyClick(slider, Qt::Key_Left);
    EXPECT_EQ(Find<QLabel>(d, c::ResetLabel)->text(), U("300 ms"));
    QTest::keyClick(slider, Qt::Key_PageDown);
    EXPECT_EQ(slider->value(), 1);
    EXPECT_EQ(Find<QLabel>(d, c::ResetLabel)->text(), U("50 ms"));
    Click(d, c::Polling);
    Click(d, c::Cancel);
  });
  EXPECT_EQ(RunProjectSettingsDialog(nullptr, catalog, op, project, editor.Editor()), std::nullopt);
  EXPECT_TRUE(shown);
  EXPECT_EQ(project.settings().resetStrobeLength, 500);
  EXPECT_FALSE(project.settings().polling) << "Cancel stores nothing else";

  for (auto [stored, snapped] : {std::pair{20, "20 ms"}, {2000, "1000 ms"}}) {
    project.settings().resetStrobeLength = stored;
    auto d = Open();
    EXPECT_EQ(Find<QLabel>(*d, c::ResetLabel)->text(), U(snapped));
    EXPECT_EQ(std::to_string(project.settings().resetStrobeLength) + " ms", snapped);
  }
}

TEST_F(ProjectSettingsDialogTest, FlashPageZeroIsRefusedWhileItsEditIsOffUntilMended) {
  project.settings().delayByteValue = 9;
  auto d = Open();
  auto* page = Find<QLineEdit>(*d, c::DelayPageValue);
  EXPECT_EQ(page->text(), U("0"));
  EXPECT_FALSE(Checked(*d, c::DelayPage));
  EXPECT_FALSE(page->isEnabled());

  Find(*d, c::Device)->setFocus();
  Click(*d, c::Ok);
  ASSERT_EQ(op.Boxes().size(), 1u);
  EXPECT_EQ(op.Boxes()[0].text, "Enter an integer from 3 to 50.");
  EXPECT_TRUE(d->isVisible());
  EXPECT_EQ(d->focusWidget(), page);
  EXPECT_EQ(project.settings().delayPageValue, 0);

  Retype(*d, c::DelayPageValue, "7");
  // A disabled edit takes no typing: the operator switches the override on first.
  Click(*d, c::DelayByte2);
  Retype(*d, c::DelayByteValue2, "25");
  Click(*d, c::Ok);
  EXPECT_EQ(op.Boxes().size(), 1u);
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(project.settings().delayPageValue, 7);
  EXPECT_FALSE(project.settings().delayPage);
  EXPECT_EQ(project.settings().delayByteValue2, 25);
  EXPECT_TRUE(project.settings().delayByte2);
}

TEST_F(ProjectSettingsDialogTest, AddressesAreReadAsHexAndUnreadableTextKeepsThePrevious) {
  ValidDelays();
  project.settings().autoIncAddressFlash = 0xABC;
  project.settings().autoIncAddress = 0x10;
  auto d = Open();
  EXPECT_EQ(Find<QLineEdit>(*d, c::FlashAddress)->text(), U("ABC"));
  EXPECT_EQ(Find<QLineEdit>(*d, c::EepromAddress)->text(), U("10"));
  Click(*d, c::FlashIncrement);
  Click(*d, c::EepromIncrement);
  Retype(*d, c::FlashAddress, "1A2");
  Retype(*d, c::EepromAddress, "zz");
  Click(*d, c::Ok);
  ASSERT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(project.settings().autoIncAddressFlash, 418);
  EXPECT_EQ(project.settings().autoIncAddress, 0x10);
  EXPECT_TRUE(project.settings().autoIncrementFlash);
  EXPECT_TRUE(project.settings().autoIncrement);

  auto again = Open();
  EXPECT_TRUE(Checked(*again, c::EepromIncrement));
  EXPECT_EQ(Find<QLineEdit>(*again, c::FlashAddress)->text(), U("1A2"));
  Retype(*again, c::EepromAddress, "0x1f");
  Retype(*again, c::FlashAddress, "123456789");
  EXPECT_EQ(Find<QLineEdit>(*again, c::FlashAddress)->text(), U("12345678"));
  Click(*again, c::Ok);
  ASSERT_EQ(again->result(), QDialog::Accepted);
  EXPECT_EQ(project.settings().autoIncAddress, 31);
  EXPECT_EQ(project.settings().autoIncAddressFlash, 0x12345678);
}

TEST_F(ProjectSettingsDialogTest, SckPositionIsTheStoredIndexBothWays) {
  ValidDelays();
  for (int period = 0; period < SckPeriodCount; ++period) {
    project.settings().spiPeriod = period;
    auto d = Open();
    auto* sck = Find<QComboBox>(*d, c::Sck);
    ASSERT_EQ(sck->count(), SckPeriodCount);
    EXPECT_EQ(sck->currentIndex(), period);
    EXPECT_EQ(sck->currentText().toStdString(), SckPeriodTexts()[static_cast<std::size_t>(period)]);
    if (period == 0) {
      EXPECT_EQ(sck->currentText(), U("0.5 uS (2 MHz)"));
    }
    sck->setCurrentIndex((period + 3) % SckPeriodCount);
    Click(*d, c::Ok);
    EXPECT_EQ(project.settings().spiPeriod, (period + 3) % SckPeriodCount);
  }
}

TEST_F(ProjectSettingsDialogTest, DeviceListHoldsTheTableAndItsChoiceIsTheResult) {
  ValidDelays();
  project.settings().deviceNo = FindDeviceByName("ATmega32");
  const int tiny = FindDeviceByName("ATtiny2313");
  WhenModal choose([&](QDialog& d) {
    auto* list = Find<QComboBox>(d, c::Device);
    ASSERT_EQ(list->count(), DeviceCount);
    for (int i = 0; i < DeviceCount; ++i)
      EXPECT_EQ(list->itemText(i).toStdString(), DeviceTable()[static_cast<std::size_t>(i)].Name);
    EXPECT_EQ(list->currentIndex(), FindDeviceByName("ATmega32"));
    list->setCurrentIndex(tiny);
    Click(d, c::Ok);
  });
  EXPECT_EQ(RunProjectSettingsDialog(nullptr, catalog, op, project, editor.Editor()), std::optional<int>(tiny));
  EXPECT_EQ(project.settings().deviceNo, FindDeviceByName("ATmega32")) << "the main window selects it";
}

TEST_F(ProjectSettingsDialogTest, EachEditFollowsItsCheckBoxClick) {
  ValidDelays();
  auto d = Open();
  const std::pair<int, int> pairs[] = {{c::DelayByte, c::DelayByteValue},     {c::DelayPage, c::DelayPageValue},
                                       {c::DelayByte2, c::DelayByteValue2},   {c::DelayPage2, c::DelayPageValue2},
                                       {c::FlashIncrement, c::FlashAddress},  {c::EepromIncrement, c::EepromAddress}};
  for (auto [check, edit] : pairs) {
    EXPECT_FALSE(Enabled(*d, edit)) << edit;
    Click(*d, check);
    for (auto [otherCheck, other] : pairs) EXPECT_EQ(Enabled(*d, other), other == edit) << check << " " << other;
    Click(*d, check);
    EXPECT_FALSE(Enabled(*d, edit)) << edit;
  }
  EXPECT_FALSE(Enabled(*d, c::Configure));

  project.settings().delayPage2 = true;
  project.settings().programFuse = true;
  auto opened = Open();
  EXPECT_TRUE(Enabled(*opened, c::DelayPageValue2));
  EXPECT_TRUE(Enabled(*opened, c::Configure));
  Find<QComboBox>(*opened, c::Device)->setCurrentIndex(3);
  EXPECT_TRUE(Enabled(*opened, c::DelayPageValue2));
  EXPECT_FALSE(Enabled(*opened, c::DelayPageValue));
}

TEST_F(ProjectSettingsDialogTest, AutoprogramBitsComeFromTheEditorOrAreNotProgrammed) {
  ValidDelays();
  auto d = Open();
  const int chosen = FindDeviceByName("ATmega16");
  Find<QComboBox>(*d, c::Device)->setCurrentIndex(chosen);

  editor.answer = false;
  Click(*d, c::ProgramFuse);
  EXPECT_EQ(editor.devices, std::vector<int>{chosen});
  EXPECT_FALSE(Checked(*d, c::ProgramFuse)) << "a cancelled or refused edit unchecks it again";
  EXPECT_FALSE(Enabled(*d, c::Configure));

  Find<QComboBox>(*d, c::Device)->setCurrentIndex(project.settings().deviceNo);
  editor.answer = true;
  Click(*d, c::ProgramFuse);
  EXPECT_TRUE(Checked(*d, c::ProgramFuse));
  EXPECT_TRUE(Enabled(*d, c::Configure));
  EXPECT_EQ(d->WorkingLockFuse(), SomeBits());

  // "Configure..." edits the working copy; a cancel there leaves 1144 as it is.
  editor.answer = false;
  Click(*d, c::Configure);
  EXPECT_EQ(editor.devices.size(), 3u);
  EXPECT_TRUE(Checked(*d, c::ProgramFuse));
  EXPECT_EQ(project.settings().lockFuse, LockFuseState{}) << "nothing reaches the project before OK";

  Click(*d, c::Ok);
  ASSERT_EQ(d->result(), QDialog::Accepted);
  EXPECT_TRUE(project.settings().programFuse);
  EXPECT_EQ(project.settings().lockFuse, SomeBits());
}

TEST_F(ProjectSettingsDialogTest, UncheckingAutoprogramClearsLockModeFuseAndBootLockBits) {
  ValidDelays();
  project.settings().programFuse = true;
  project.settings().lockFuse = SomeBits();
  auto d = Open();
  EXPECT_TRUE(Checked(*d, c::ProgramFuse));
  Click(*d, c::ProgramFuse);
  EXPECT_TRUE(editor.devices.empty()) << "unchecking asks nothing";
  EXPECT_FALSE(Enabled(*d, c::Configure));
  Click(*d, c::Ok);
  ASSERT_EQ(d->result(), QDialog::Accepted);
  EXPECT_FALSE(project.settings().programFuse);
  EXPECT_EQ(project.settings().lockFuse.lockMode, 0);
  EXPECT_EQ(project.settings().lockFuse, LockFuseState{});
}

// Another chip keeps the settings and their chip; the dialog says when they do not fit it, and
// settings confirmed for the new chip in the editor become that chip's.
TEST_F(ProjectSettingsDialogTest, AChipOfAnotherLayoutKeepsTheBitsAndSaysSo) {
  ValidDelays();
  const int mega8 = FindDeviceByName("ATmega8"), tiny13 = FindDeviceByName("ATtiny13");
  project.settings().deviceNo = project.settings().lockFuseDeviceNo = mega8;
  project.settings().programFuse = true;
  project.settings().lockFuse = SomeBits();
  auto note = [](QDialog& d) { return d.findChild<QLabel*>(QStringLiteral("lockFuseNote"))->text(); };
  {
    auto d = Open();
    EXPECT_EQ(note(*d), QString());
    Find<QComboBox>(*d, c::Device)->setCurrentIndex(tiny13);
    EXPECT_TRUE(note(*d).contains(QStringLiteral("ATtiny13"))) << note(*d).toStdString();
    Click(*d, c::Ok);
    ASSERT_EQ(d->result(), QDialog::Accepted);
    EXPECT_TRUE(project.settings().programFuse);
    EXPECT_EQ(project.settings().lockFuse, SomeBits());
    EXPECT_EQ(project.settings().lockFuseDeviceNo, mega8);
  }
  auto d = Open();
  Find<QComboBox>(*d, c::Device)->setCurrentIndex(tiny13);
  editor.answer = true;
  Click(*d, c::Configure);
  EXPECT_EQ(note(*d), QString());
  Click(*d, c::Ok);
  EXPECT_EQ(project.settings().lockFuseDeviceNo, tiny13);
}

TEST_F(ProjectSettingsDialogTest, TextsFollowTheLanguageChosenBeforeOpening) {
  ValidDelays();
  {
    auto d = Open();
    EXPECT_EQ(d->windowTitle(), U("Project Settings"));
    EXPECT_EQ(Find<QGroupBox>(*d, 1125)->title(), U("Delays overriring"));
    EXPECT_EQ(Find<QCheckBox>(*d, c::ProgramFuse)->text(), U("Autoprogram"));
  }
  language.RussianSelected = true;
  auto d = Open();
  EXPECT_EQ(d->windowTitle(), U("Настройки проекта"));
  EXPECT_EQ(Find<QGroupBox>(*d, 1116)->title(), U("Настройки программирования"));
  EXPECT_EQ(Find<QLabel>(*d, 1126)->text(), U("Микросхема:"));
  EXPECT_EQ(Find<QLabel>(*d, 1146)->text(), U("Частота SPI"));
  EXPECT_EQ(Find<QCheckBox>(*d, c::ProgramFuse)->text(), U("Автопрограммировать"));
  EXPECT_EQ(Find<QCheckBox>(*d, c::DelayPage2)->text(), U("Eeprom, страница"));
  EXPECT_EQ(Find<QPushButton>(*d, c::Configure)->text(), U("Настроить..."));
  EXPECT_EQ(Find<QPushButton>(*d, c::Cancel)->text(), U("Отмена"));
  EXPECT_EQ(Find<QLabel>(*d, c::ResetLabel)->text(), U("500 ms"));

  Click(*d, c::DelayByte2);
  Retype(*d, c::DelayByteValue2, "x");
  Click(*d, c::Ok);
  ASSERT_EQ(op.Boxes().size(), 1u);
  EXPECT_EQ(op.Boxes()[0].text, catalog.GetText(msg::SettingsIntegerNeeded));
  EXPECT_EQ(op.Boxes()[0].caption, U("Программатор ZR7").toStdString());
}

}  // namespace
}  // namespace zr7
