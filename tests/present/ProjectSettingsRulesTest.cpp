// What the Project Settings dialog decides without its widgets: the reset pulse lengths, the
// values it opens with, the enabling, the checks on OK, what OK stores, and the lock and fuse
// settings forgotten when the chip changes to another layout.

#include <gtest/gtest.h>

#include "text/MessageCatalog.h"
#include "devices/DeviceTable.h"
#include "project/Project.h"
#include "present/ProjectSettingsRules.h"

using namespace zr7;
namespace c = zr7::settings_control;
using Form = ProjectSettingsForm;

namespace {

LockFuseState SomeBits() {
  LockFuseState s;
  s.lockMode = 2;
  s.fuse[0] = s.fuse[5] = s.fuse[17] = s.bootLock[1] = true;
  return s;
}

int Device(const char* name) {
  const int d = FindDeviceByName(name);
  EXPECT_EQ(DeviceTable()[static_cast<std::size_t>(d)].Name, name);
  return d;
}

class ProjectSettingsRules : public testing::Test {
 protected:
  // A form that passes every check.
  static Form Valid() {
    ProjectSettings p;
    return OpenProjectSettings(p);
  }
  // The refusal of a valid form with one text changed.
  std::optional<SettingsRefusal> RefusalWith(std::string Form::*field, const char* text,
                                             const MessageCatalog& catalog) const {
    Form f = Valid();
    f.*field = text;
    return CheckProjectSettings(f, catalog);
  }
  LanguageSettings english, russian{true};
  MessageCatalog en{english}, ru{russian};
};

TEST_F(ProjectSettingsRules, ResetStrobeLengthsTheFirstPositionLongEnoughAndTheSnapOnOpening) {
  const int lengths[] = {20, 50, 100, 150, 300, 500, 1000};
  for (int i = 0; i < ResetStrobePositions; ++i) {
    EXPECT_EQ(ResetStrobeMs(i), lengths[i]);
    EXPECT_EQ(ResetStrobePosition(lengths[i]), i);
    EXPECT_EQ(ResetStrobePosition(i == 0 ? 1 : lengths[i - 1] + 1), i) << "the first position long enough";
  }
  for (auto [ms, position] : {std::pair{0, 0}, {-5, 0}, {1001, 6}, {2000, 6}})
    EXPECT_EQ(ResetStrobePosition(ms), position) << ms;
  EXPECT_EQ(ResetStrobeText(5), "500 ms");
  EXPECT_EQ(ResetStrobeText(0), "20 ms");
  // Opening the dialog snaps the length in the project itself.
  for (auto [stored, snapped] : {std::pair{400, 500}, {20, 20}, {2000, 1000}, {3, 20}, {151, 300}}) {
    ProjectSettings p;
    p.resetStrobeLength = stored;
    const Form f = OpenProjectSettings(p);
    EXPECT_EQ(p.resetStrobeLength, snapped) << stored;
    EXPECT_EQ(ResetStrobeMs(f.resetPosition), snapped) << stored;
  }
}

TEST_F(ProjectSettingsRules, OpeningShowsAddressesInCapitalHexAndDelaysInDecimal) {
  ProjectSettings p;
  p.autoIncAddressFlash = 0x1A2, p.autoIncAddress = -1;
  p.delayByteValue = 0, p.delayPageValue = 50, p.delayByteValue2 = -3, p.delayPageValue2 = 1234;
  p.deviceNo = 17, p.lockFuseDeviceNo = 23, p.spiPeriod = 6;
  p.programFuse = p.polling = p.autoEepromVerify = p.delayPage2 = true;
  p.lockFuse = SomeBits();
  const Form want{.device = 17, .sckPosition = 6, .resetPosition = 0, .polling = true, .autoEepromVerify = true,
                  .programFuse = true, .lockFuse = SomeBits(), .lockFuseDevice = 23, .flashAddress = "1A2",
                  .eepromAddress = "FFFFFFFF", .delayByteValue = "0", .delayPageValue = "50",
                  .delayByteValue2 = "-3", .delayPage2 = true, .delayPageValue2 = "1234"};
  const Form f = OpenProjectSettings(p);
  EXPECT_TRUE(f == want);

  // What the dialog opens with is stored back unchanged (the snapped length aside).
  ProjectSettings again = p;
  StoreProjectSettings(f, again);
  EXPECT_EQ(again, p);
}

TEST_F(ProjectSettingsRules, EachEditAndConfigureFollowsItsOwnCheckBox) {
  const std::pair<bool Form::*, int> pairs[] = {
      {&Form::delayByte, c::DelayByteValue},   {&Form::delayPage, c::DelayPageValue},
      {&Form::delayByte2, c::DelayByteValue2}, {&Form::delayPage2, c::DelayPageValue2},
      {&Form::programFuse, c::Configure},      {&Form::autoIncrementFlash, c::FlashAddress},
      {&Form::autoIncrement, c::EepromAddress},
  };
  for (const ControlEnabling& e : ProjectSettingsEnabling(Form{})) EXPECT_FALSE(e.enabled) << e.control;
  for (auto [flag, control] : pairs) {
    Form f;
    f.*flag = true;
    for (const ControlEnabling& e : ProjectSettingsEnabling(f))
      EXPECT_EQ(e.enabled, e.control == control) << "switched on for " << control << ", looking at " << e.control;
  }
}

TEST_F(ProjectSettingsRules, IntegersAreWholeDecimalNumbersWithBlanksAround) {
  for (auto [text, value] : {std::pair{"25", 25}, {"  12 ", 12}, {"+5", 5}, {"-7", -7}, {"2147483647", 2147483647},
                             {"-2147483648", -2147483647 - 1}})
    EXPECT_EQ(ParseSettingsInteger(text), value) << text;
  for (const char* bad : {"", "  ", "-", "1a", "12 3", "0x10", "2147483648", "99999999999999999999", "1.5"})
    EXPECT_EQ(ParseSettingsInteger(bad), std::nullopt) << bad;
}

TEST_F(ProjectSettingsRules, AddressesReadAsHexUpToTheFirstForeignCharacter) {
  for (auto [text, value] : {std::pair{"1A2", 418}, {"1a2", 418}, {"0x1f", 31}, {" 0X1F", 31}, {"12G4", 0x12},
                             {"0", 0}, {"0xg", 0} /* the 0 is the number */, {"FFFFFFFF", -1}, {"-1", -1},
                             {"7FFFFFFF", 0x7FFFFFFF}})
    EXPECT_EQ(ParseAutoIncAddress(text), value) << text;
  for (const char* none : {"zz", "", " ", "-", "x1", "Ж1", "g0"}) EXPECT_EQ(ParseAutoIncAddress(none), std::nullopt) << none;
}

// Every delay must lie in its range even while switched off; the page delay of the Eeprom is
// waited after every page, and a project holding more would be refused on load.
TEST_F(ProjectSettingsRules, DelaysMustLieInTheirRangesEvenWhileSwitchedOff) {
  ASSERT_FALSE(Valid().delayByte || Valid().delayPage);
  const struct {
    std::string Form::*field;
    int control;
    std::vector<const char*> bad, good;
    std::string text;
  } cases[] = {
      {&Form::delayByteValue, c::DelayByteValue, {"-1", "19", "abc", ""}, {"0", "18"}, "Enter an integer from 0 to 18."},
      {&Form::delayPageValue, c::DelayPageValue, {"0", "2", "51", "5x"}, {"3", "50"}, "Enter an integer from 3 to 50."},
      {&Form::delayPageValue2, c::DelayPageValue2, {"1001", "-1", "1 0"}, {"1000", "0"}, "Enter an integer from 0 to 1000."},
      {&Form::delayByteValue2, c::DelayByteValue2, {"1 0", "x"}, {"-25", "1000"}, en.GetText(msg::SettingsIntegerNeeded)},
      // Unreadable but short addresses keep the address.
      {&Form::flashAddress, c::FlashAddress, {"123456789"}, {"FFFFFFFF", "zz"}, "Enter no more than 8 characters."},
      {&Form::eepromAddress, c::EepromAddress, {"123456789"}, {"zz"}, "Enter no more than 8 characters."},
  };
  for (const auto& k : cases) {
    for (const char* bad : k.bad) {
      const auto refusal = RefusalWith(k.field, bad, en);
      ASSERT_TRUE(refusal.has_value()) << bad;
      EXPECT_EQ(refusal->control, k.control) << bad;
      EXPECT_EQ(refusal->box.text, k.text) << bad;
      EXPECT_EQ(refusal->box.caption, en.GetText(msg::ProgrammerCaption));
    }
    for (const char* good : k.good) EXPECT_EQ(RefusalWith(k.field, good, en), std::nullopt) << good;
  }
  EXPECT_EQ(RefusalWith(&Form::delayByteValue2, "1 0", ru)->box.text, ru.GetText(msg::SettingsIntegerNeeded));
}

TEST_F(ProjectSettingsRules, TheFirstFailureInDialogOrderIsReported) {
  Form f = Valid();
  f.eepromAddress = "123456789";
  f.delayPageValue2 = "x";
  f.delayPageValue = "0";
  EXPECT_EQ(CheckProjectSettings(f, en)->control, c::DelayPageValue);
  f.delayByteValue = "99";
  EXPECT_EQ(CheckProjectSettings(f, en)->control, c::DelayByteValue);
}

TEST_F(ProjectSettingsRules, StoringTakesEveryControlButTheDevice) {
  ProjectSettings p;
  p.autoIncAddressFlash = 0x55, p.autoIncAddress = 0x66;
  Form f = OpenProjectSettings(p);
  f.device = Device("ATmega16");
  f.sckPosition = 0, f.resetPosition = 4;
  f.polling = f.checkSign = f.noSynchronization = true;
  f.autoErase = f.autoEmptyCheck = f.autoFlashReload = f.autoFlashProgram = f.autoFlashVerify = true;
  f.autoEepromReload = f.autoEepromProgram = f.autoEepromVerify = f.autoIncrementFlash = f.autoIncrement = true;
  f.flashAddress = "1A2", f.eepromAddress = "zz";
  f.delayByte = f.delayPage = f.delayByte2 = f.delayPage2 = true;
  f.delayByteValue = "18", f.delayPageValue = " 3", f.delayByteValue2 = "25", f.delayPageValue2 = "-4";
  StoreProjectSettings(f, p);

  // deviceNo stays ATmega8: the main window selects the choice.
  const ProjectSettings want{.polling = true, .resetStrobeLength = 300, .checkSign = true, .noSynchronization = true,
                             .autoErase = true, .autoEmptyCheck = true, .autoFlashReload = true,
                             .autoFlashProgram = true, .autoFlashVerify = true, .autoEepromReload = true,
                             .autoEepromProgram = true, .autoEepromVerify = true, .autoIncrementFlash = true,
                             .autoIncrement = true, .lockFuse = {}, .autoIncAddressFlash = 418, .autoIncAddress = 0x66,
                             .spiPeriod = 0, .delayByte = true, .delayPage = true, .delayByteValue = 18,
                             .delayPageValue = 3, .delayByte2 = true, .delayPage2 = true, .delayByteValue2 = 25,
                             .delayPageValue2 = -4};
  EXPECT_EQ(p, want);
}

// Choosing another chip never touches the lock/fuse settings: they keep the chip they were
// made for, and the dialog says when they do not fit the chosen one.
TEST_F(ProjectSettingsRules, LockFuseSettingsKeepTheirChipAndAreKeptOnlyWhileProgrammed) {
  ProjectSettings p;
  p.deviceNo = p.lockFuseDeviceNo = Device("ATmega8");
  p.programFuse = true;
  p.lockFuse = SomeBits();
  Form f = OpenProjectSettings(p);
  const ProjectSettings opened = p;
  EXPECT_EQ(LockFuseMismatchNote(f, en), "");

  f.device = Device("ATtiny13");
  f.polling = true;
  f.delayPageValue = "2";
  ASSERT_TRUE(AcceptProjectSettings(f, en, p).refusal.has_value());
  EXPECT_EQ(p, opened) << "a refused OK stores nothing";
  EXPECT_EQ(LockFuseMismatchNote(f, en),
            "The lock/fuse settings are for the ATmega8; the ATtiny13 has its bits elsewhere. Autoprogram stops "
            "before them until they are configured for this chip.");

  f.delayPageValue = "3";
  EXPECT_FALSE(AcceptProjectSettings(f, en, p).refusal.has_value());
  EXPECT_TRUE(p.polling && p.programFuse);
  EXPECT_EQ(p.lockFuse, SomeBits());
  EXPECT_EQ(p.lockFuseDeviceNo, Device("ATmega8"));

  // Chips of one layout share settings; without ProgramFuse there is nothing to warn about.
  f.device = Device("ATmega168");
  f.lockFuseDevice = Device("ATmega88");
  EXPECT_EQ(LockFuseMismatchNote(f, en), "");
  f.device = Device("ATtiny13");
  f.programFuse = false;
  EXPECT_EQ(LockFuseMismatchNote(f, en), "");

  // The bits are kept only while Autoprogram programs them; the readable flag goes with them.
  StoreProjectSettings(f, p);
  EXPECT_FALSE(p.programFuse);
  EXPECT_EQ(p.lockFuse, LockFuseState{});
  f.programFuse = true;
  f.lockFuse.readable = true;
  StoreProjectSettings(f, p);
  EXPECT_TRUE(p.programFuse);
  EXPECT_EQ(p.lockFuse, f.lockFuse);
}

}  // namespace
