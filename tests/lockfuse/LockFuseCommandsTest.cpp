// Reading, programming and verifying lock and fuse bits end to end: the real serial code, the
// simulated board and chip, and the instructions on the wire for each programming class.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "devices/DeviceTable.h"
#include "link/Commands.h"
#include "lockfuse/LockFuseLayout.h"
#include "lockfuse/LockFuseRules.h"
#include "support/BoardRig.h"
#include "support/RecordingClock.h"

using namespace zr7;
using zr7sim::SimOptions;
using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

namespace {

// The shared rig on the simulated chip `chip`, the operations for the device `device` (by
// default the same chip). Waits go to an instant clock, which writes them down.
struct Rig : zr7test::BoardRig {
  explicit Rig(const std::string& chip, SimOptions options = {}, const std::string& device = "")
      : BoardRig(device.empty() ? chip : device, {.sim = options, .boardChip = chip, .clock = &clock}),
        commands(bench.lockFuse),
        deviceNumber(bench.device) {
    EXPECT_TRUE(started) << error;
  }

  bool Program(const LockFuseState& s, bool fuses = true) { return commands.Program(job, deviceNumber, s, fuses); }
  bool Read(LockFuseState& s) { return commands.Read(job, deviceNumber, s); }
  LockFuseVerifyResult Verify(const LockFuseState& s) { return commands.Verify(job, deviceNumber, s); }
  // The instructions after the connection's programming enable.
  std::vector<Bytes> LockFuseWrites() {
    std::vector<Bytes> out;
    for (const auto& c : Commands())
      if ((c.code == CmdSpi4 || c.code == CmdSpi3) && !(c.args[0] == 0xAC && c.args[1] == 0x53)) out.push_back(c.args);
    return out;
  }
  int Slept(int ms) {
    auto s = clock.Sleeps();
    return static_cast<int>(std::count(s.begin(), s.end(), ms));
  }
  const LockFuseLayout& Layout() { return LayoutOf(*DeviceAt(deviceNumber)); }

  zr7test::InstantClock clock;
  LockFuseCommands& commands;
  int deviceNumber;
};

LockFuseState Fuses(const std::string& chip, std::initializer_list<const char*> programmed, int lockMode = 0) {
  LockFuseState s;
  s.lockMode = lockMode;
  for (const char* name : programmed) {
    const int i = FindFuse(LayoutOf(*DeviceAt(FindDeviceByName(chip))), name);
    EXPECT_GE(i, 0) << name;
    if (i >= 0) s.fuse[static_cast<std::size_t>(i)] = true;
  }
  return s;
}

// AVR fuse groups, then the lock byte with every lock position explicit (40 ms for the chip);
// AT89S lock bits one instruction each (250 ms), the 3-byte chips from the third position.
TEST(ProgramLockFuse, InstructionsAndPausesByClass) {
  LockFuseState boot;
  boot.bootLock[1] = boot.bootLock[3] = true;  // boot lock bits alone are a reason to write the lock byte
  const struct {
    const char* chip;
    LockFuseState state;
    bool fuses;
    std::vector<Bytes> writes;
    int pauseMs, pauses;
  } cases[] = {
      // SUT0 (low bit 4), SPIEN (high bit 5), EESAVE (high bit 3); no lock write for mode 0.
      {"ATmega32", Fuses("ATmega32", {"SUT0", "SPIEN", "EESAVE"}), true,
       {{0xAC, 0xA0, 0xFF, 0xEF}, {0xAC, 0xA8, 0xFF, 0xD7}}, 40, 0},
      // LB1 programmed, LB2 and every boot lock bit set.
      {"ATmega32", Fuses("ATmega32", {"SUT0"}, 1), false, {{0xAC, 0xFF, 0xFF, 0xFE}}, 40, 1},
      {"ATmega32", boot, false, {{0xAC, 0xFF, 0xFF, 0xD7}}, 40, 1},
      // Its template holds LB1 and LB2 at 0: mode 1 has to set LB2.
      {"AT86RF401", Fuses("AT86RF401", {}, 1), true, {{0xAC, 0xE4, 0x00, 0x00}}, 40, 1},
      {"AT89S52", Fuses("AT89S52", {}, 3), true,
       {{0xAC, 0xE1, 0x00, 0xFF}, {0xAC, 0xE2, 0x00, 0xFF}, {0xAC, 0xE3, 0x00, 0xFF}}, 250, 3},
      {"AT89S8252", Fuses("AT89S8252", {}, 2), true, {{0xAC, 0x3F, 0xFF}}, 150, 1},
      // It shares its record with the AT89S2051 but has lock positions to write.
      {"AT89S53", Fuses("AT89S53", {}, 3), true, {{0xAC, 0x1F, 0xFF}}, 150, 1},
      {"AT89S2051", Fuses("AT89S2051", {}, 0), true, {}, 250, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.chip << " row " << (&c - cases));
    Rig rig(c.chip);
    EXPECT_TRUE(rig.Program(c.state, c.fuses));
    EXPECT_EQ(rig.LockFuseWrites(), c.writes);
    EXPECT_EQ(rig.Slept(c.pauseMs), c.pauses);
    EXPECT_EQ(rig.op.LastStatus(), "Lock/fuse bits programmed");
    EXPECT_EQ(rig.op.BoxTexts(), Texts{"Lock/fuse bits programmed"});
    if (c.chip == std::string("AT89S8252")) {
      EXPECT_TRUE(rig.sim.LockState().readProtected);
    }
    if (&c == cases) {
      EXPECT_EQ(rig.sim.LockState().fuses[1], 0xD7);
    }
  }
}

// A NAK at the second write (command 9: after the connection's seven and the first write) stops
// the sequence; the line ends on the error although an AVR's group 1 had been reported programmed.
TEST(ProgramLockFuse, ARejectedWriteStopsTheSequence) {
  const struct {
    const char* chip;
    LockFuseState state;
    std::uint8_t secondWrite;
  } cases[] = {{"ATmega8", Fuses("ATmega8", {"SPIEN"}, 1), 0xA8}, {"AT89S52", Fuses("AT89S52", {}, 3), 0xE2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.chip);
    Rig rig(c.chip, {.faults = {.badAckAtCommand = 9}});
    EXPECT_FALSE(rig.Program(c.state));
    const auto writes = rig.LockFuseWrites();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[1][1], c.secondWrite);
    EXPECT_EQ(rig.op.BoxTexts(), Texts{"Error programming lock/fuse bits"});
    EXPECT_EQ(rig.op.LastStatus(), "Error programming lock/fuse bits");
    const Texts statuses = rig.op.StatusTexts();
    const bool avr = c.secondWrite == 0xA8;
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "Lock/fuse bits programmed"), avr ? 1 : 0);
    EXPECT_FALSE(rig.bench.port.IsConnected());
    if (avr) {
      EXPECT_EQ(rig.sim.LockState().lockBits, 0xFF);
    }
  }
}

TEST(LockFuse, WhatCannotBeDoneIsRefusedUnsent) {
  for (const char* chip : {"AT25256", "AT45DB041"}) {
    SCOPED_TRACE(chip);
    Rig rig(chip);
    LockFuseState s = Fuses("ATmega8", {}, 1);
    EXPECT_FALSE(rig.Program(s));
    EXPECT_FALSE(rig.Read(s));
    EXPECT_EQ(rig.Verify(s), LockFuseVerifyResult::NotRead);
    EXPECT_EQ(rig.op.LastStatus(), "This device has no lock or fuse bits.");
    EXPECT_TRUE(rig.sim.Log().Bytes().empty());
  }
  Rig rig("ATmega8");
  rig.job.boardPort = 0;
  LockFuseState s;
  EXPECT_FALSE(rig.Read(s));
  EXPECT_FALSE(rig.Program(s));
  EXPECT_EQ(rig.Verify(s), LockFuseVerifyResult::NotRead);
  EXPECT_EQ(rig.op.BoxTexts(), Texts(3, "No board specified"));
  EXPECT_EQ(rig.op.LastStatus(), "Select COM port or click 'search board'");
  EXPECT_TRUE(rig.sim.Log().Bytes().empty());

  // The AT89S2051's lock write has FF where the mode would go.
  Rig s2051("AT89S2051");
  EXPECT_FALSE(s2051.Program(Fuses("AT89S2051", {}, 1)));
  EXPECT_TRUE(s2051.sim.Log().Bytes().empty());
  EXPECT_EQ(s2051.op.LastStatus(),
            "Lock mode 'LB1' cannot be programmed on this device: its lock instruction has no room for it. Nothing was sent.");
}

TEST(ReadLockFuse, LockBitCombinationsAndBootLocks) {
  Rig rig("ATmega16");
  rig.sim.SetLockBits(0xFD);  // LB2 programmed without LB1
  LockFuseState s;
  EXPECT_TRUE(rig.Read(s));
  EXPECT_EQ(s.lockMode, 0);
  EXPECT_EQ(rig.op.BoxTexts(), Texts{"Warning: unrecognized combination of lock bits while reading. Assumed not locked."});

  rig.sim.SetLockBits(0xDE);  // LB1, BLB12
  rig.sim.SetFuseBytes({0xE1, 0x99, 0xFF});
  EXPECT_TRUE(rig.Read(s));
  EXPECT_EQ(s.lockMode, 1);
  EXPECT_EQ(s.bootLock, (std::array<bool, BootLockBitCount>{false, false, false, true}));
  EXPECT_EQ(FuseGroupByte(rig.Layout(), 1, s), 0xE1);
  EXPECT_EQ(FuseGroupByte(rig.Layout(), 2, s), 0x99);
  EXPECT_TRUE(s.readable);
  // Signature, lock byte, then the groups in order 1, 2.
  EXPECT_EQ(rig.CountOf(CmdSpiRead4), 2 * (3 + 3u));
}

TEST(ReadLockFuse, SignatureQuestionAndChipsThatCannotReadBack) {
  Rig rig("ATmega8", {}, "ATmega16");
  rig.op.QueueAnswer(BoxAnswer::No);
  LockFuseState s = Fuses("ATmega16", {}, 2);
  EXPECT_FALSE(rig.Read(s));
  EXPECT_EQ(s, LockFuseState{});
  EXPECT_EQ(rig.op.BoxTexts(), Texts{"Device signature does not match your selection or device is locked. "
                                     "Do you still want to continue?"});
  EXPECT_EQ(rig.op.LastStatus(), "Operation cancelled");
  rig.op.QueueAnswer(BoxAnswer::Yes);
  EXPECT_TRUE(rig.Read(s));
  EXPECT_TRUE(s.readable);

  // An AVR without a lock read still checks the signature, then says it cannot read.
  Rig avr("AT90S2313");
  s.fuse[0] = true;
  EXPECT_TRUE(avr.Read(s));
  EXPECT_EQ(s, LockFuseState{});
  EXPECT_EQ(avr.op.BoxTexts(), Texts{"This device do not have a 'read lock/fuse bits' function."});
  EXPECT_EQ(avr.CountOf(CmdSpiRead4), 3u);
  EXPECT_EQ(avr.op.StatusTexts().front(), "Verifying signature");

  // The others say so without a connection, and verify compares nothing.
  Rig at89("AT89S8252");
  EXPECT_TRUE(at89.Read(s));
  EXPECT_EQ(at89.Verify(s), LockFuseVerifyResult::NotRead);
  EXPECT_EQ(at89.op.BoxTexts(), Texts(2, "This device do not have a 'read lock/fuse bits' function."));
  EXPECT_TRUE(at89.sim.Log().Bytes().empty());
}

TEST(ReadLockFuse, SilentBoardFailsWithinSeconds) {
  Rig rig("ATmega8", {.faults = {.silentAfterBytes = 13 + 12}});  // the connection and the signature
  LockFuseState s = Fuses("ATmega8", {}, 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(rig.Read(s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  EXPECT_EQ(s, LockFuseState{});
  EXPECT_EQ(rig.op.BoxTexts().at(0), "Connection error");
  EXPECT_FALSE(rig.bench.port.IsConnected());
}

TEST(VerifyLockFuse, ListsOnlyTheDifferencesTheLayoutCounts) {
  Rig rig("ATmega8");
  rig.sim.SetFuseBytes({0xE1, 0xD9, 0xFF});
  LockFuseState expected;
  ASSERT_TRUE(rig.Read(expected));
  expected.fuse[20] = true;  // beyond the chip's 16 fuse bits: carries no meaning
  EXPECT_EQ(rig.Verify(expected), LockFuseVerifyResult::Matched);

  expected.lockMode = 2;
  // E1 has CKSEL0 unprogrammed; D9 has BOOTSZ0 programmed and CKOPT unprogrammed.
  expected.fuse[static_cast<std::size_t>(FindFuse(rig.Layout(), "CKSEL0"))] = true;
  expected.fuse[static_cast<std::size_t>(FindFuse(rig.Layout(), "BOOTSZ0"))] = false;
  expected.fuse[static_cast<std::size_t>(FindFuse(rig.Layout(), "CKOPT"))] = true;
  expected.bootLock[2] = true;
  EXPECT_EQ(rig.Verify(expected), LockFuseVerifyResult::Differs);
  const auto box = rig.op.Boxes().back();
  EXPECT_EQ(box.text,
            "Lock&Fuse bits verify: Failed\n"
            " - lock mode should be 'LB1+LB2: R&W protect', is 'No'\n"
            " - CKSEL0 should be programmed, is unprogrammed\n"
            " - BOOTSZ0 should be unprogrammed, is programmed\n"
            " - CKOPT should be programmed, is unprogrammed\n"
            " - BLB11 should be programmed, is unprogrammed\n");
  EXPECT_EQ(box.icon, BoxIcon::Error);
  EXPECT_EQ(box.caption, "ZR7 In-System Programmer 10.30a");

  // LB1 and LB2 programmed on an AT89S51 read back as mode 2, so program-then-verify agrees.
  Rig s51("AT89S51");
  EXPECT_TRUE(s51.Program(Fuses("AT89S51", {}, 2)));
  EXPECT_EQ(s51.Verify(Fuses("AT89S51", {}, 2)), LockFuseVerifyResult::Matched);
}

// Random settings that keep the chip reachable, for a chip's layout and class.
LockFuseState RandomSafeState(const DeviceRecord& device, std::mt19937& random) {
  const LockFuseLayout& layout = LayoutOf(device);
  LockFuseState s;
  for (int i = 0; i < layout.fuseCount; ++i) s.fuse[static_cast<std::size_t>(i)] = random() % 2;
  for (int i = 0; i < layout.bootLockCount; ++i) s.bootLock[static_cast<std::size_t>(i)] = random() % 2;
  s.lockMode = static_cast<int>(random() % (device.ProgrammingClass == ClassAvr ? 3 : 4));
  for (const FuseConcern& c : CheckFuses(layout, s, true).concerns) s.fuse[static_cast<std::size_t>(c.fuse)] = c.shouldBeProgrammed;
  if (CheckFuses(layout, s, true).externalClockOnly) s.fuse[0] = false;
  return s;
}

TEST(LockFuse, ProgramThenReadRoundTripsOnEveryChipThatReadsBack) {
  std::mt19937 random(2080);
  int chips = 0;
  for (int d = 0; d < DeviceCount; ++d) {
    const DeviceRecord& device = DeviceTable()[d];
    if (!HasLockFuseBits(device) || !LayoutOf(device).lockReadPresent) continue;
    ++chips;
    for (int round = 0; round < 2; ++round) {
      SCOPED_TRACE(std::string(device.Name) + " round " + std::to_string(round));
      Rig rig(std::string(device.Name));
      const LockFuseState want = RandomSafeState(device, random);
      ASSERT_FALSE(CheckFuses(LayoutOf(device), want, true).Any());
      ASSERT_TRUE(rig.Program(want)) << rig.op.LastStatus();
      LockFuseState back;
      ASSERT_TRUE(rig.Read(back)) << rig.op.LastStatus();
      LockFuseState expected = want;
      expected.readable = true;
      EXPECT_EQ(back, expected);
      EXPECT_TRUE(rig.sim.Log().Notes().empty()) << rig.sim.Log().Format();
    }
  }
  EXPECT_EQ(chips, 26);
}

}  // namespace
