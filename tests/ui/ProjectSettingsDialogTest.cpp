// The Project Settings dialog driven through its widgets: it shows the project, focuses the edit
// at fault, runs the lock/fuse editor behind 1144 and "Configure...", and stores what was typed.

#include <memory>

#include "Widgets.h"
#include "devices/DeviceTable.h"
#include "present/WindowRules.h"
#include "project/Project.h"
#include "support/ScriptedOperator.h"
#include "text/MessageCatalog.h"
#include "ui/ProjectSettingsDialog.h"

namespace zr7 {
namespace {

namespace c = settings_control;
using namespace zr7test;

LockFuseState SomeBits() {
  LockFuseState s;
  s.lockMode = 1;
  s.fuse[2] = s.fuse[9] = true;
  s.bootLock[0] = true;
  return s;
}

class ProjectSettingsDialogTest : public testing::Test {
 protected:
  // As a file without its "Settings" and "Delays" keys loads, with Flash delays that pass.
  ProjectSettingsDialogTest() {
    auto& s = project.settings();
    s.resetStrobeLength = 400;
    s.delayByteValue2 = s.delayPageValue2 = 0;
    s.delayByteValue = 9;
    s.delayPageValue = 6;
  }
  std::unique_ptr<ProjectSettingsDialog> Open() {
    auto d = std::make_unique<ProjectSettingsDialog>(nullptr, catalog, op, project.settings(),
                                                     [this](int device, LockFuseState& state) {
                                                       editedFor.push_back(device);
                                                       if (keepEdit) state = SomeBits();
                                                       return keepEdit;
                                                     });
    d->show();
    return d;
  }
  QLineEdit* Edit(QWidget& d, int id) { return Find<QLineEdit>(d, id); }
  bool Checked(QWidget& d, int id) { return Find<QCheckBox>(d, id)->isChecked(); }

  LanguageSettings language;
  MessageCatalog catalog{language};
  ScriptedOperator op;
  Project project{op, catalog};
  bool keepEdit = false;        // the lock/fuse editor's answer
  std::vector<int> editedFor;  // the chips it was opened for
};

TEST_F(ProjectSettingsDialogTest, FlashPageZeroIsRefusedWhileItsEditIsOffUntilMended) {
  project.settings().delayPageValue = 0;
  auto d = Open();
  auto* page = Edit(*d, c::DelayPageValue);
  EXPECT_EQ(page->text(), U("0"));
  EXPECT_FALSE(Checked(*d, c::DelayPage) || page->isEnabled());
  Click(*d, c::Ok);
  ASSERT_EQ(op.Boxes().size(), 1u);
  EXPECT_EQ(op.Boxes()[0].text, "Enter an integer from 3 to 50.");
  EXPECT_TRUE(d->isVisible());
  EXPECT_EQ(d->focusWidget(), page);

  Retype(page, "7");
  // A disabled edit takes no typing: the operator switches the override on first.
  Click(*d, c::DelayByte2);
  Retype(Edit(*d, c::DelayByteValue2), "25");
  Click(*d, c::Ok);
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(project.settings().delayPageValue, 7);
  EXPECT_FALSE(project.settings().delayPage);
  EXPECT_EQ(project.settings().delayByteValue2, 25);
  EXPECT_TRUE(project.settings().delayByte2);
}

TEST_F(ProjectSettingsDialogTest, ListsAndAddressesShowTheProjectAndGiveWhatWasChosen) {
  project.settings().deviceNo = FindDeviceByName("ATmega32");
  project.settings().spiPeriod = 2;
  project.settings().autoIncAddressFlash = 0xABC;
  const int tiny = FindDeviceByName("ATtiny2313");
  WhenModal choose([&](QDialog& d) {
    auto* sck = Find<QComboBox>(d, c::Sck);
    auto* list = Find<QComboBox>(d, c::Device);
    ASSERT_EQ(sck->count(), SckPeriodCount);
    for (int i = 0; i < SckPeriodCount; ++i)
      EXPECT_EQ(sck->itemText(i).toStdString(), SckPeriodTexts()[static_cast<std::size_t>(i)]);
    ASSERT_EQ(list->count(), DeviceCount);
    for (int i = 0; i < DeviceCount; ++i)
      EXPECT_EQ(list->itemText(i).toStdString(), DeviceTable()[static_cast<std::size_t>(i)].Name);
    EXPECT_EQ(sck->currentIndex(), 2);
    EXPECT_EQ(list->currentIndex(), FindDeviceByName("ATmega32"));
    EXPECT_EQ(Edit(d, c::FlashAddress)->text(), U("ABC"));
    sck->setCurrentIndex(5);
    list->setCurrentIndex(tiny);
    Click(d, c::FlashIncrement);
    Retype(Edit(d, c::FlashAddress), "123456789");
    EXPECT_EQ(Edit(d, c::FlashAddress)->text(), U("12345678"));
    QTest::keyClick(Edit(d, c::FlashAddress), Qt::Key_Return);
  });
  EXPECT_EQ(RunProjectSettingsDialog(nullptr, catalog, op, project, {}), std::optional<int>(tiny));
  EXPECT_EQ(project.settings().spiPeriod, 5);
  EXPECT_EQ(project.settings().autoIncAddressFlash, 0x12345678);
  EXPECT_TRUE(project.settings().autoIncrementFlash);
  EXPECT_EQ(project.settings().deviceNo, FindDeviceByName("ATmega32")) << "the main window selects it";
}

TEST_F(ProjectSettingsDialogTest, AutoprogramBitsComeFromTheEditorForTheChosenChipOrAreNotProgrammed) {
  const int mega8 = FindDeviceByName("ATmega8"), tiny13 = FindDeviceByName("ATtiny13");
  project.settings().deviceNo = project.settings().lockFuseDeviceNo = mega8;
  auto d = Open();
  auto* device = Find<QComboBox>(*d, c::Device);
  device->setCurrentIndex(tiny13);
  Click(*d, c::ProgramFuse);
  EXPECT_FALSE(Checked(*d, c::ProgramFuse)) << "a cancelled or refused edit unchecks it again";
  EXPECT_FALSE(Find(*d, c::Configure)->isEnabled());

  device->setCurrentIndex(mega8);
  keepEdit = true;
  Click(*d, c::ProgramFuse);
  EXPECT_TRUE(Checked(*d, c::ProgramFuse) && Find(*d, c::Configure)->isEnabled());
  EXPECT_EQ(d->WorkingLockFuse(), SomeBits());
  device->setCurrentIndex(tiny13);
  EXPECT_TRUE(Find<QLabel>(*d, "lockFuseNote")->text().contains(QStringLiteral("ATtiny13")));
  // "Configure..." edits the working copy; a cancel there leaves 1144 as it is.
  keepEdit = false;
  Click(*d, c::Configure);
  EXPECT_TRUE(Checked(*d, c::ProgramFuse));
  EXPECT_EQ(project.settings().lockFuse, LockFuseState{}) << "nothing reaches the project before OK";
  keepEdit = true;
  Click(*d, c::Configure);
  EXPECT_EQ(Find<QLabel>(*d, "lockFuseNote")->text(), QString());
  Click(*d, c::Ok);
  EXPECT_EQ(editedFor, (std::vector<int>{tiny13, mega8, tiny13, tiny13}));
  EXPECT_TRUE(project.settings().programFuse);
  EXPECT_EQ(project.settings().lockFuse, SomeBits());
  EXPECT_EQ(project.settings().lockFuseDeviceNo, tiny13);
}

}  // namespace
}  // namespace zr7
