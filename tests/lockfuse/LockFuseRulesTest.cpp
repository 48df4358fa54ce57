// The operator-facing rules of lock and fuse bits: warnings before dangerous settings, names,
// fuse bytes, and what the dialog's controls show and take back.

#include <gtest/gtest.h>

#include <algorithm>

#include "devices/DeviceTable.h"
#include "lockfuse/LockFuseLayout.h"
#include "lockfuse/LockFusePanel.h"
#include "lockfuse/LockFuseRules.h"
#include "support/ScriptedOperator.h"
#include "text/MessageCatalog.h"

using namespace zr7;

namespace {

const DeviceRecord& Chip(const char* name) { return *DeviceAt(FindDeviceByName(name)); }
const LockFuseLayout& Layout(const char* chip) { return LayoutOf(Chip(chip)); }

LockFuseState With(const char* chip, std::initializer_list<const char*> programmed) {
  LockFuseState s;
  for (const char* name : programmed) {
    const int i = FindFuse(Layout(chip), name);
    EXPECT_GE(i, 0) << name;
    s.fuse[static_cast<std::size_t>(i)] = true;
  }
  return s;
}

struct Texts {
  LanguageSettings language;
  MessageCatalog catalog{language};
  ScriptedOperator op;
};

TEST(FuseWarning, SpienReleasedAndExternalClockOnAnATmega32) {
  Texts t;
  const LockFuseState s = With("ATmega32", {"CKSEL0", "CKSEL1", "CKSEL2", "CKSEL3"});
  EXPECT_EQ(FuseWarningText(t.catalog, Layout("ATmega32"), CheckFuses(Layout("ATmega32"), s)),
            "Warning: some of fuse bits you are going to program can make this device not programmable by serial "
            "programmers or not operating under some conditions:"
            "\n  -  SPIEN should be programmed"
            "\nCKSELx: The clock selection fuses settings will allow the device to operate only with external clock "
            "source. Crystal resonator will not work."
            "\nContinue?");
  // Declined, nothing is to be used; accepted, it is; a safe setting asks nothing.
  t.op.QueueAnswer(BoxAnswer::No);
  EXPECT_FALSE(ConfirmFuses(t.op, t.catalog, Layout("ATmega32"), s));
  ASSERT_EQ(t.op.Boxes().size(), 1u);
  EXPECT_EQ(t.op.Boxes()[0].caption, "Warning");
  EXPECT_EQ(t.op.Boxes()[0].buttons, BoxButtons::YesNo);
  t.op.QueueAnswer(BoxAnswer::Yes);
  EXPECT_TRUE(ConfirmFuses(t.op, t.catalog, Layout("ATmega32"), s));
  EXPECT_TRUE(ConfirmFuses(t.op, t.catalog, Layout("ATmega32"), With("ATmega32", {"SPIEN", "CKSEL1"})));
  EXPECT_EQ(t.op.Boxes().size(), 2u);
}

TEST(FuseWarning, BitsThatEndSerialProgrammingWhereverTheyExist) {
  auto concerns = [](const char* chip, std::initializer_list<const char*> on, bool strict = false) {
    return CheckFuses(Layout(chip), With(chip, on), strict).concerns.size();
  };
  // RSTDISBL on the ATmega8 and DWEN on the ATtiny13 carry no table warning but end serial
  // programming all the same; where the table warns about RSTDISBL it is listed once.
  EXPECT_EQ(concerns("ATmega8", {"SPIEN", "RSTDISBL"}), 1u);
  EXPECT_EQ(concerns("ATtiny13", {"SPIEN", "DWEN"}), 1u);
  EXPECT_EQ(concerns("ATtiny15", {"SPIEN", "RSTDISBL"}), 1u);
  // The ATtiny13's SPIEN has no table warning: only the strict check asks for it.
  EXPECT_EQ(concerns("ATtiny13", {}), 0u);
  EXPECT_EQ(concerns("ATtiny13", {}, true), 1u);
  EXPECT_TRUE(EndsSerialProgramming(Layout("ATtiny13"), LockFuseState{}));
  EXPECT_TRUE(EndsSerialProgramming(Layout("ATmega48"), With("ATmega48", {"SPIEN", "DWEN"})));
  EXPECT_FALSE(EndsSerialProgramming(Layout("ATmega48"), With("ATmega48", {"SPIEN"})));
  EXPECT_FALSE(EndsSerialProgramming(Layout("AT89S52"), LockFuseState{}));
  // The clock check needs CKSEL0..3 as the first four: the ATtiny13's are CKSEL0, CKSEL1, SUT0, SUT1.
  EXPECT_EQ(concerns("ATtiny13", {"SPIEN", "CKSEL0", "CKSEL1", "SUT0", "SUT1"}), 0u);
  EXPECT_TRUE(CheckFuses(Layout("ATtiny12"), With("ATtiny12", {"SPIEN", "CKSEL0", "CKSEL1", "CKSEL2", "CKSEL3"}))
                  .externalClockOnly);
}

TEST(LockFuseNames, ModeNamesFuseBytesAndNames) {
  Texts t;
  EXPECT_EQ(LockModeName(t.catalog, ClassAvr, 2), "LB1+LB2: R&W protect");
  EXPECT_EQ(LockModeName(t.catalog, ClassAt89S4Byte, 3), "LB1+LB2+LB3");
  EXPECT_EQ(LockModeName(t.catalog, ClassAvr, 4), "?");
  EXPECT_EQ(LockModeNameId(ClassAvr, 9), LockModeNameId(ClassAvr, 3));  // never another message's id
  EXPECT_EQ(PlainLabel("&Lock&&Fuse Bits..."), "Lock&Fuse Bits...");
  t.language.RussianSelected = true;
  EXPECT_EQ(LockModeName(t.catalog, ClassAt89S53, 0), "Без защиты");

  const LockFuseLayout& m8 = Layout("ATmega8");
  LockFuseState s;
  SetFuseGroupByte(m8, 2, 0xD9, s);
  EXPECT_EQ(FuseGroupByte(m8, 2, s), 0xD9);
  EXPECT_EQ(FuseGroupByte(m8, 1, s), 0xFF);
  EXPECT_TRUE(s.fuse[static_cast<std::size_t>(FindFuse(m8, "spien"))]);
  // Bits that carry no fuse are neither taken nor shown programmed.
  SetFuseGroupByte(Layout("ATmega48"), 3, 0x00, s);
  EXPECT_EQ(FuseGroupByte(Layout("ATmega48"), 3, s), 0xFE);
  EXPECT_EQ(FindBootLock(m8, "blb12"), 3);
  EXPECT_EQ(FindFuse(m8, "BLB12"), -1);
}

TEST(LockFusePanel, RefreshExchangeAndTheStatesAroundIt) {
  Texts t;
  LockFuseState saved;
  saved.readable = true;
  saved.lockMode = 3;
  LockFusePanel p = RefreshPanel(t.catalog, Chip("AT89S52"), saved);
  EXPECT_EQ(p.lockLabels, (std::array<std::string, 4>{"No locking", "LB1", "LB1+LB2", "LB1+LB2+LB3"}));
  EXPECT_EQ(p.lockEnabled, (std::array<bool, 4>{true, true, true, true}));
  EXPECT_EQ(p.lockChecked, 3);
  EXPECT_EQ(std::count(p.fuseLabels.begin(), p.fuseLabels.end(), "Unused"), FuseButtonCount);
  EXPECT_EQ(std::count(p.fuseEnabled.begin(), p.fuseEnabled.end(), true), 0);
  EXPECT_EQ(std::count(p.bootEnabled.begin(), p.bootEnabled.end(), true), 0);

  saved = With("ATmega32", {"SPIEN"});
  saved.bootLock[1] = true;
  p = RefreshPanel(t.catalog, Chip("ATmega32"), saved);
  EXPECT_EQ(p.lockLabels[2], "LB1+LB2: R&&W protect");  // a button label keeps the escape
  EXPECT_FALSE(p.lockEnabled[3]);
  EXPECT_EQ(p.fuseLabels[13], "SPIEN");
  EXPECT_TRUE(p.fusePressed[13]);
  EXPECT_EQ(p.fuseLabels[16], "Unused");
  EXPECT_TRUE(p.bootChecked[1]);
  EXPECT_FALSE(p.readVerifyEnabled);
  // No radio checked (or one out of range) leaves the mode; bits without a button are left alone.
  p.fusePressed[0] = true;
  p.lockChecked = -1;
  LockFuseState edit;
  edit.lockMode = 2;
  edit.fuse[FuseButtonCount] = edit.bootLock[BootLockBoxCount] = true;
  ExchangePanel(p, edit);
  EXPECT_EQ(edit.lockMode, 2);
  p.lockChecked = LockModeCount;
  ExchangePanel(p, edit);
  EXPECT_EQ(edit.lockMode, 2);
  EXPECT_TRUE(edit.fuse[0] && edit.fuse[13] && edit.fuse[FuseButtonCount] && edit.bootLock[1] &&
              edit.bootLock[BootLockBoxCount]);

  // After Program, Read and Verify stay off for a chip that cannot read back.
  edit.readable = true;
  EXPECT_FALSE(RefreshPanel(t.catalog, Chip("AT89S8252"), SavedAfterProgram(Chip("AT89S8252"), edit)).readVerifyEnabled);
  EXPECT_TRUE(SavedAfterProgram(Chip("ATmega8"), LockFuseState{}).readable);
}

TEST(LockFusePanel, AutoprogramEditorForcesTheWarnedBits) {
  Texts t;
  const int tiny15 = FindDeviceByName("ATtiny15");
  LockFuseState s = With("ATtiny15", {"RSTDISBL"});
  EXPECT_TRUE(PrepareAutoprogramEdit(t.op, t.catalog, tiny15, tiny15, s));
  LockFuseState forced = With("ATtiny15", {"SPIEN"});
  forced.readable = true;
  EXPECT_EQ(s, forced);
  EXPECT_TRUE(t.op.Boxes().empty());

  s = With("ATtiny15", {"RSTDISBL"});
  EXPECT_FALSE(PrepareAutoprogramEdit(t.op, t.catalog, FindDeviceByName("ATmega8"), tiny15, s));
  EXPECT_EQ(s, With("ATtiny15", {"RSTDISBL"}));
  ASSERT_EQ(t.op.Boxes().size(), 1u);
  EXPECT_EQ(t.op.Boxes()[0].text.rfind("Select the proper chip first.", 0), 0u);
}

}  // namespace
