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

namespace {

LockFuseState SomeBits() {
  LockFuseState s;
  s.lockMode = 2;
  s.fuse[0] = s.fuse[5] = s.fuse[17] = true;
  s.bootLock[1] = true;
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
  ProjectSettingsForm Valid() {
    ProjectSettings p;
    return OpenProjectSettings(p);
  }
  LanguageSettings english;
  LanguageSettings russian{true};
  MessageCatalog en{english};
  MessageCatalog ru{russian};
};

TEST_F(ProjectSettingsRules, ResetStrobeLengthsAndTheFirstPositionLongEnough) {
  const int lengths[] = {20, 50, 100, 150, 300, 500, 1000};
  for (int i = 0; i < ResetStrobePositions; ++i) {
    EXPECT_EQ(ResetStrobeMs(i), lengths[i]);
    EXPECT_EQ(ResetStrobePosition(lengths[i]), i);
    if (i > 0) {
      EXPECT_EQ(ResetStrobePosition(lengths[i - 1] + 1), i);
    }
  }
  EXPECT_EQ(ResetStrobePosition(0), 0);
  EXPECT_EQ(ResetStrobePosition(-5), 0);
  EXPECT_EQ(ResetStrobePosition(1001), 6);
  EXPECT_EQ(ResetStrobePosition(2000), 6);
  EXPECT_EQ(ResetStrobeText(5), "500 ms");
  EXPECT_EQ(ResetStrobeText(0), "20 ms");
}

TEST_F(ProjectSettingsRules, OpeningSnapsTheResetLengthInTheProjectItself) {
  for (auto [stored, snapped] : {std::pair{400, 500}, {20, 20}, {2000, 1000}, {3, 20}, {151, 300}}) {
    ProjectSettings p;
    p.resetStrobeLength = stored;
    const ProjectSettingsForm f = OpenProjectSettings(p);
    EXPECT_EQ(p.resetStrobeLength, snapped) << stored;
    EXPECT_EQ(ResetStrobeMs(f.resetPosition), snapped) << stored;
  }
}

TEST_F(ProjectSettingsRules, OpeningShowsAddressesInCapitalHexAndDelaysInDecimal) {
  ProjectSettings p;
  p.autoIncAddressFlash = 0x1A2;
  p.autoIncAddress = -1;
  p.delayByteValue = 0;
  p.delayPageValue = 50;
  p.delayByteValue2 = -3;
  p.delayPageValue2 = 1234;
  p.deviceNo = 17;
  p.spiPeriod = 6;
  p.programFuse = true;
  p.lockFuse = SomeBits();
  p.polling = p.autoEepromVerify = p.delayPage2 = true;
  const ProjectSettingsForm f = OpenProjectSettings(p);
  EXPECT_EQ(f.flashAddress, "1A2");
  EXPECT_EQ(f.eepromAddress, "FFFFFFFF");
  EXPECT_EQ(f.delayByteValue, "0");
  EXPECT_EQ(f.delayPageValue, "50");
  EXPECT_EQ(f.delayByteValue2, "-3");
  EXPECT_EQ(f.delayPageValue2, "1234");
  EXPECT_EQ(f.device, 17);
  EXPECT_EQ(f.sckPosition, 6);
  EXPECT_TRUE(f.programFuse);
  EXPECT_EQ(f.lockFuse, SomeBits());
  EXPECT_TRUE(f.polling && f.autoEepromVerify && f.delayPage2);
  EXPECT_FALSE(f.checkSign || f.autoEepromProgram || f.delayPage);

  // What the dialog opens with is stored back unchanged (the snapped length aside).
  ProjectSettings again = p;
  StoreProjectSettings(f, again);
  EXPECT_EQ(again, p);
}

TEST_F(ProjectSettingsRules, EachEditAndConfigureFollowsItsOwnCheckBox) {
  using Flag = bool ProjectSettingsForm::*;
  const std::pair<Flag, int> pairs[] = {
      {&ProjectSettingsForm::delayByte, c::DelayByteValue},    {&ProjectSettingsForm::delayPage, c::DelayPageValue},
      {&ProjectSettingsForm::delayByte2, c::DelayByteValue2},  {&ProjectSettingsForm::delayPage2, c::DelayPageValue2},
      {&ProjectSettingsForm::programFuse, c::Configure},       {&ProjectSettingsForm::autoIncrementFlash, c::FlashAddress},
      {&ProjectSettingsForm::autoIncrement, c::EepromAddress},
  };
  ProjectSettingsForm none;
  for (const ControlEnabling& e : ProjectSettingsEnabling(none)) EXPECT_FALSE(e.enabled) << e.control;
  for (auto [flag, control] : pairs) {
    ProjectSettingsForm f;
    f.*flag = true;
    for (const ControlEnabling& e : ProjectSettingsEnabling(f))
      EXPECT_EQ(e.enabled, e.control == control) << "switched on for " << control << ", looking at " << e.control;
  }
}

TEST_F(ProjectSettingsRules, IntegersAreWholeDecimalNumbersWithBlanksAround) {
  EXPECT_EQ(ParseSettingsInteger("25"), 25);
  EXPECT_EQ(ParseSettingsInteger("  12 "), 12);
  EXPECT_EQ(ParseSettingsInteger("+5"), 5);
  EXPECT_EQ(ParseSettingsInteger("-7"), -7);
  EXPECT_EQ(ParseSettingsInteger("2147483647"), 2147483647);
  EXPECT_EQ(ParseSettingsInteger("-2147483648"), -2147483647 - 1);
  for (const char* bad : {"", "  ", "-", "1a", "12 3", "0x10", "2147483648", "99999999999999999999", "1.5"})
    EXPECT_EQ(ParseSettingsInteger(bad), std::nullopt) << bad;
}

TEST_F(ProjectSettingsRules, AddressesReadAsHexUpToTheFirstForeignCharacter) {
  EXPECT_EQ(ParseAutoIncAddress("1A2"), 418);
  EXPECT_EQ(ParseAutoIncAddress("1a2"), 418);
  EXPECT_EQ(ParseAutoIncAddress("0x1f"), 31);
  EXPECT_EQ(ParseAutoIncAddress(" 0X1F"), 31);
  EXPECT_EQ(ParseAutoIncAddress("12G4"), 0x12);
  EXPECT_EQ(ParseAutoIncAddress("0"), 0);
  EXPECT_EQ(ParseAutoIncAddress("0xg"), 0);  // the 0 is the number
  EXPECT_EQ(ParseAutoIncAddress("FFFFFFFF"), -1);
  EXPECT_EQ(ParseAutoIncAddress("-1"), -1);
  EXPECT_EQ(ParseAutoIncAddress("7FFFFFFF"), 0x7FFFFFFF);
  for (const char* none : {"zz", "", " ", "-", "x1", "Ж1", "g0"}) EXPECT_EQ(ParseAutoIncAddress(none), std::nullopt) << none;
}

TEST_F(ProjectSettingsRules, FlashDelaysMustLieInTheirRangesEvenWhileSwitchedOff) {
  using Text = std::string ProjectSettingsForm::*;
  struct Case {
    Text field;
    int control;
    const char* bad[4];
    const char* good[2];
    const char* range;
  };
  const Case cases[] = {
      {&ProjectSettingsForm::delayByteValue, c::DelayByteValue, {"-1", "19", "abc", ""}, {"0", "18"}, "0 to 18"},
      {&ProjectSettingsForm::delayPageValue, c::DelayPageValue, {"0", "2", "51", "5x"}, {"3", "50"}, "3 to 50"},
  };
  for (const Case& k : cases) {
    for (const char* bad : k.bad) {
      ProjectSettingsForm f = Valid();
      ASSERT_FALSE(f.delayByte || f.delayPage);
      f.*k.field = bad;
      const auto refusal = CheckProjectSettings(f, en);
      ASSERT_TRUE(refusal.has_value()) << bad;
      EXPECT_EQ(refusal->control, k.control) << bad;
      EXPECT_EQ(refusal->box.text, std::string("Enter an integer from ") + k.range + ".") << bad;
      EXPECT_EQ(refusal->box.caption, en.GetText(msg::ProgrammerCaption));
    }
    for (const char* good : k.good) {
      ProjectSettingsForm f = Valid();
      f.*k.field = good;
      EXPECT_EQ(CheckProjectSettings(f, en), std::nullopt) << good;
    }
  }
}

TEST_F(ProjectSettingsRules, EepromDelaysAndAddressesHaveTheirLimits) {
  ProjectSettingsForm f = Valid();
  f.delayByteValue2 = "-25";
  f.delayPageValue2 = "1000";
  f.flashAddress = "FFFFFFFF";
  f.eepromAddress = "zz";  // unreadable, but short: it keeps the address
  EXPECT_EQ(CheckProjectSettings(f, en), std::nullopt);

  ProjectSettingsForm g = Valid();
  g.delayByteValue2 = "1 0";
  auto refusal = CheckProjectSettings(g, ru);
  ASSERT_TRUE(refusal.has_value());
  EXPECT_EQ(refusal->control, c::DelayByteValue2);
  EXPECT_EQ(refusal->box.text, ru.GetText(msg::SettingsIntegerNeeded));
  // The page delay is waited after every page: a project holding more would be refused on load.
  for (const char* text : {"1001", "-1", "1 0"}) {
    g = Valid();
    g.delayPageValue2 = text;
    refusal = CheckProjectSettings(g, en);
    ASSERT_TRUE(refusal.has_value()) << text;
    EXPECT_EQ(refusal->control, c::DelayPageValue2);
    EXPECT_EQ(refusal->box.text, "Enter an integer from 0 to 1000.");
  }
  for (auto [field, control] : {std::pair{&ProjectSettingsForm::flashAddress, c::FlashAddress},
                                {&ProjectSettingsForm::eepromAddress, c::EepromAddress}}) {
    ProjectSettingsForm g = Valid();
    g.*field = "123456789";
    const auto refusal = CheckProjectSettings(g, en);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->control, control);
    EXPECT_EQ(refusal->box.text, "Enter no more than 8 characters.");
  }
}

TEST_F(ProjectSettingsRules, TheFirstFailureInDialogOrderIsReported) {
  ProjectSettingsForm f = Valid();
  f.eepromAddress = "123456789";
  f.delayPageValue2 = "x";
  f.delayPageValue = "0";
  EXPECT_EQ(CheckProjectSettings(f, en)->control, c::DelayPageValue);
  f.delayByteValue = "99";
  EXPECT_EQ(CheckProjectSettings(f, en)->control, c::DelayByteValue);
}

TEST_F(ProjectSettingsRules, StoringTakesEveryControlButTheDevice) {
  ProjectSettings p;
  p.autoIncAddressFlash = 0x55;
  p.autoIncAddress = 0x66;
  ProjectSettingsForm f = OpenProjectSettings(p);
  f.device = Device("ATmega16");
  f.sckPosition = 0;
  f.resetPosition = 4;
  f.polling = f.checkSign = f.noSynchronization = true;
  f.autoErase = f.autoEmptyCheck = f.autoFlashReload = f.autoFlashProgram = f.autoFlashVerify = true;
  f.autoEepromReload = f.autoEepromProgram = f.autoEepromVerify = true;
  f.autoIncrementFlash = f.autoIncrement = true;
  f.flashAddress = "1A2";
  f.eepromAddress = "zz";
  f.delayByte = f.delayPage = f.delayByte2 = f.delayPage2 = true;
  f.delayByteValue = "18";
  f.delayPageValue = " 3";
  f.delayByteValue2 = "25";
  f.delayPageValue2 = "-4";
  StoreProjectSettings(f, p);

  ProjectSettings expected;
  expected.spiPeriod = 0;
  expected.resetStrobeLength = 300;
  expected.polling = expected.checkSign = expected.noSynchronization = true;
  expected.autoErase = expected.autoEmptyCheck = expected.autoFlashReload = true;
  expected.autoFlashProgram = expected.autoFlashVerify = true;
  expected.autoEepromReload = expected.autoEepromProgram = expected.autoEepromVerify = true;
  expected.autoIncrementFlash = expected.autoIncrement = true;
  expected.autoIncAddressFlash = 418;
  expected.autoIncAddress = 0x66;
  expected.delayByte = expected.delayPage = expected.delayByte2 = expected.delayPage2 = true;
  expected.delayByteValue = 18;
  expected.delayPageValue = 3;
  expected.delayByteValue2 = 25;
  expected.delayPageValue2 = -4;
  EXPECT_EQ(p, expected);  // deviceNo stays ATmega8: the main window selects the choice
}

TEST_F(ProjectSettingsRules, LockFuseBitsAreKeptOnlyWhileAutoprogramProgramsThem) {
  ProjectSettings p;
  p.programFuse = true;
  p.lockFuse = SomeBits();
  ProjectSettingsForm f = OpenProjectSettings(p);
  f.programFuse = false;
  StoreProjectSettings(f, p);
  EXPECT_FALSE(p.programFuse);
  EXPECT_EQ(p.lockFuse, LockFuseState{});

  f.programFuse = true;
  f.lockFuse = SomeBits();
  f.lockFuse.readable = true;
  StoreProjectSettings(f, p);
  EXPECT_TRUE(p.programFuse);
  EXPECT_EQ(p.lockFuse, f.lockFuse);
}

// Choosing another chip never touches the lock/fuse settings: they keep the chip they were
// made for, and the dialog says when they do not fit the chosen one.
TEST_F(ProjectSettingsRules, LockFuseSettingsKeepTheirChipAcrossDeviceChanges) {
  ProjectSettings p;
  p.deviceNo = p.lockFuseDeviceNo = Device("ATmega8");
  p.programFuse = true;
  p.lockFuse = SomeBits();
  ProjectSettingsForm f = OpenProjectSettings(p);
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
  EXPECT_TRUE(p.polling);
  EXPECT_TRUE(p.programFuse);
  EXPECT_EQ(p.lockFuse, SomeBits());
  EXPECT_EQ(p.lockFuseDeviceNo, Device("ATmega8"));

  // Chips of one layout share settings; without ProgramFuse there is nothing to warn about.
  f.device = Device("ATmega168");
  f.lockFuseDevice = Device("ATmega88");
  EXPECT_EQ(LockFuseMismatchNote(f, en), "");
  f.device = Device("ATtiny13");
  f.programFuse = false;
  EXPECT_EQ(LockFuseMismatchNote(f, en), "");
}

}  // namespace
