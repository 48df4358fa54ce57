// Reading, programming and verifying lock and fuse bits end to end: the real serial code, the
// simulated board and chip, and the instructions on the wire for each programming class.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "BoardSimulator.h"
#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "devices/DeviceTable.h"
#include "link/BoardLink.h"
#include "link/ComPort.h"
#include "link/Commands.h"
#include "lockfuse/LockFuseCommands.h"
#include "lockfuse/LockFuseLayout.h"
#include "lockfuse/LockFuseRules.h"
#include "support/RecordingClock.h"

using namespace zr7;
using zr7sim::BoardSimulator;
using zr7sim::SimOptions;
using zr7sim::WireCommand;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int kPort = 3;

// The simulated chip `chip`, a ComPort on it, and the operations for the device `device`
// (by default the same chip). Waits go to an instant clock, which writes them down.
struct Rig {
  explicit Rig(const std::string& chip, SimOptions options = {}, const std::string& device = "")
      : sim([&] {
          options.chip = chip;
          return options;
        }()),
        catalog(language),
        link(port, op, catalog, clock),
        commands(link) {
    std::string error;
    EXPECT_TRUE(sim.Start(&error)) << error;
    PortMap map;
    map.Set(kPort - 1, sim.SlavePath());
    port.SetPortMap(map);
    job.boardPort = kPort;
    deviceNumber = FindDeviceByName(device.empty() ? chip : device);
    job.connect.deviceNumber = deviceNumber;
  }

  std::vector<WireCommand> Commands() {
    // The last command is logged once its answer is out; give the board a moment to finish.
    sim.Log().WaitForCommands(sim.Log().Commands().size() + 1, std::chrono::milliseconds(30));
    return sim.Log().Commands();
  }
  std::vector<Bytes> Sent(std::uint8_t code) {
    std::vector<Bytes> out;
    for (const auto& c : Commands())
      if (c.code == code) out.push_back(c.args);
    return out;
  }
  // The instructions after the connection's programming enable.
  std::vector<Bytes> LockFuseWrites() {
    std::vector<Bytes> out;
    for (const auto& c : Commands())
      if ((c.code == CmdSpi4 || c.code == CmdSpi3) && !(c.args[0] == 0xAC && c.args[1] == 0x53)) out.push_back(c.args);
    return out;
  }
  std::vector<std::string> BoxTexts() {
    std::vector<std::string> out;
    for (const auto& b : op.Boxes()) out.push_back(b.text);
    return out;
  }
  int Count(int ms) {
    auto s = clock.Sleeps();
    return static_cast<int>(std::count(s.begin(), s.end(), ms));
  }
  const LockFuseLayout& Layout() { return LayoutOf(*DeviceAt(deviceNumber)); }

  LanguageSettings language;
  BoardSimulator sim;
  MessageCatalog catalog;
  ScriptedOperator op;
  zr7test::InstantClock clock;
  ComPort port;
  BoardLink link;
  LockFuseCommands commands;
  ChipJob job;
  int deviceNumber = 0;
};

LockFuseState Fuses(const LockFuseLayout& layout, std::initializer_list<const char*> programmed, int lockMode = 0) {
  LockFuseState s;
  s.lockMode = lockMode;
  for (const char* name : programmed) {
    const int i = FindFuse(layout, name);
    EXPECT_GE(i, 0) << name;
    if (i >= 0) s.fuse[static_cast<std::size_t>(i)] = true;
  }
  return s;
}

TEST(ProgramLockFuse, AvrFuseGroupsThenLockWithEveryLockPositionExplicit) {
  Rig rig("ATmega32");
  // SUT0 (low bit 4), SPIEN (high bit 5), EESAVE (high bit 3); no lock write for mode 0.
  LockFuseState state = Fuses(rig.Layout(), {"SUT0", "SPIEN", "EESAVE"});
  EXPECT_TRUE(rig.commands.Program(rig.job, rig.deviceNumber, state, true));
  EXPECT_EQ(rig.LockFuseWrites(), (std::vector<Bytes>{{0xAC, 0xA0, 0xFF, 0xEF}, {0xAC, 0xA8, 0xFF, 0xD7}}));
  EXPECT_EQ(rig.sim.LockState().fuses[1], 0xD7);
  EXPECT_EQ(rig.op.LastStatus(), "Lock/fuse bits programmed");
  EXPECT_EQ(rig.BoxTexts(), std::vector<std::string>{"Lock/fuse bits programmed"});

  // Lock bits only: LB1 programmed, LB2 and every boot lock bit set, 40 ms for the chip.
  rig.sim.Log().Clear();
  state.lockMode = 1;
  EXPECT_TRUE(rig.commands.Program(rig.job, rig.deviceNumber, state, false));
  EXPECT_EQ(rig.LockFuseWrites(), (std::vector<Bytes>{{0xAC, 0xFF, 0xFF, 0xFE}}));
  EXPECT_EQ(rig.Count(40), 1);
  // Boot lock bits alone are a reason to write the lock byte.
  rig.sim.Log().Clear();
  LockFuseState boot;
  boot.bootLock[1] = boot.bootLock[3] = true;
  EXPECT_TRUE(rig.commands.Program(rig.job, rig.deviceNumber, boot, false));
  EXPECT_EQ(rig.LockFuseWrites(), (std::vector<Bytes>{{0xAC, 0xFF, 0xFF, 0xD7}}));

  // The AT86RF401's template holds LB1 and LB2 at 0: mode 1 has to set LB2.
  Rig at86("AT86RF401");
  EXPECT_TRUE(at86.commands.Program(at86.job, at86.deviceNumber, state, true));
  EXPECT_EQ(at86.LockFuseWrites(), (std::vector<Bytes>{{0xAC, 0xE4, 0x00, 0x00}}));
}

// The command number of the n-th lock or fuse write of a clean run, to spoil it next time.
int NthWrite(const std::string& chip, const LockFuseState& state, int n) {
  Rig probe(chip);
  EXPECT_TRUE(probe.commands.Program(probe.job, probe.deviceNumber, state, true));
  const auto commands = probe.Commands();
  for (std::size_t i = 0, seen = 0; i < commands.size(); ++i)
    if (commands[i].code == CmdSpi4 && commands[i].args[1] != 0x53 && ++seen == static_cast<std::size_t>(n))
      return static_cast<int>(i + 1);
  return -1;
}

TEST(ProgramLockFuse, ARejectedWriteStopsTheSequence) {
  {
    // A NAK at the second fuse group: no lock write, and the line ends on the error although
    // group 1 had been reported programmed.
    const LockFuseState state = Fuses(LayoutOf(*DeviceAt(FindDeviceByName("ATmega8"))), {"SPIEN"}, 1);
    SimOptions options;
    options.faults.badAckAtCommand = NthWrite("ATmega8", state, 2);
    Rig rig("ATmega8", options);
    EXPECT_FALSE(rig.commands.Program(rig.job, rig.deviceNumber, state, true));
    const auto writes = rig.LockFuseWrites();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[1][1], 0xA8);
    EXPECT_EQ(rig.BoxTexts(), std::vector<std::string>{"Error programming lock/fuse bits"});
    const auto statuses = rig.op.StatusTexts();
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Lock/fuse bits programmed"), statuses.end());
    EXPECT_EQ(rig.op.LastStatus(), "Error programming lock/fuse bits");
    EXPECT_EQ(rig.sim.LockState().lockBits, 0xFF);
    EXPECT_FALSE(rig.port.IsConnected());
  }
  {
    // The AT89S chips stop at their first rejected lock bit as well.
    LockFuseState state;
    state.lockMode = 3;
    SimOptions options;
    options.faults.badAckAtCommand = NthWrite("AT89S52", state, 2);
    Rig rig("AT89S52", options);
    EXPECT_FALSE(rig.commands.Program(rig.job, rig.deviceNumber, state, true));
    EXPECT_EQ(rig.LockFuseWrites().size(), 2u);
    EXPECT_EQ(rig.BoxTexts(), std::vector<std::string>{"Error programming lock/fuse bits"});
    EXPECT_EQ(rig.op.LastStatus(), "Error programming lock/fuse bits");
  }
}

TEST(ProgramLockFuse, At89SLockModes) {
  LockFuseState state;
  state.lockMode = 3;
  Rig s52("AT89S52");
  EXPECT_TRUE(s52.commands.Program(s52.job, s52.deviceNumber, state, true));
  EXPECT_EQ(s52.LockFuseWrites(),
            (std::vector<Bytes>{{0xAC, 0xE1, 0x00, 0xFF}, {0xAC, 0xE2, 0x00, 0xFF}, {0xAC, 0xE3, 0x00, 0xFF}}));
  EXPECT_EQ(s52.Count(250), 3);

  // LB1 and LB2 programmed read back as mode 2, so program-then-verify agrees.
  Rig s51("AT89S51");
  state.lockMode = 2;
  EXPECT_TRUE(s51.commands.Program(s51.job, s51.deviceNumber, state, true));
  EXPECT_EQ(s51.commands.Verify(s51.job, s51.deviceNumber, state), LockFuseVerifyResult::Matched);

  // The 3-byte chips program from the third position; the AT89S53 shares its record with the
  // AT89S2051 but has lock positions to write.
  Rig s8252("AT89S8252");
  EXPECT_TRUE(s8252.commands.Program(s8252.job, s8252.deviceNumber, state, true));
  EXPECT_EQ(s8252.LockFuseWrites(), (std::vector<Bytes>{{0xAC, 0x3F, 0xFF}}));
  EXPECT_EQ(s8252.Count(150), 1);
  EXPECT_TRUE(s8252.sim.LockState().readProtected);
  Rig s53("AT89S53");
  state.lockMode = 3;
  EXPECT_TRUE(s53.commands.Program(s53.job, s53.deviceNumber, state, true));
  EXPECT_EQ(s53.LockFuseWrites(), (std::vector<Bytes>{{0xAC, 0x1F, 0xFF}}));

  // The AT89S2051's lock write has FF where the mode would go: refused unsent; mode 0 is no work.
  Rig s2051("AT89S2051");
  state.lockMode = 1;
  EXPECT_FALSE(s2051.commands.Program(s2051.job, s2051.deviceNumber, state, true));
  EXPECT_TRUE(s2051.sim.Log().Bytes().empty());
  EXPECT_EQ(s2051.op.LastStatus(),
            "Lock mode 'LB1' cannot be programmed on this device: its lock instruction has no room for it. Nothing was sent.");
  state.lockMode = 0;
  EXPECT_TRUE(s2051.commands.Program(s2051.job, s2051.deviceNumber, state, true));
  EXPECT_TRUE(s2051.LockFuseWrites().empty());
}

TEST(LockFuse, SerialMemoriesAndMissingBoardsAreRefusedUnsent) {
  for (const char* chip : {"AT25256", "AT45DB041"}) {
    Rig rig(chip);
    LockFuseState s;
    s.lockMode = 1;
    EXPECT_FALSE(rig.commands.Program(rig.job, rig.deviceNumber, s, true)) << chip;
    EXPECT_FALSE(rig.commands.Read(rig.job, rig.deviceNumber, s)) << chip;
    EXPECT_EQ(rig.commands.Verify(rig.job, rig.deviceNumber, s), LockFuseVerifyResult::NotRead);
    EXPECT_EQ(rig.op.LastStatus(), "This device has no lock or fuse bits.") << chip;
    EXPECT_TRUE(rig.sim.Log().Bytes().empty()) << chip;
  }
  Rig rig("ATmega8");
  rig.job.boardPort = 0;
  LockFuseState s;
  EXPECT_FALSE(rig.commands.Read(rig.job, rig.deviceNumber, s));
  EXPECT_FALSE(rig.commands.Program(rig.job, rig.deviceNumber, s, true));
  EXPECT_EQ(rig.commands.Verify(rig.job, rig.deviceNumber, s), LockFuseVerifyResult::NotRead);
  EXPECT_EQ(rig.BoxTexts(), std::vector<std::string>(3, "No board specified"));
  EXPECT_EQ(rig.op.LastStatus(), "Select COM port or click 'search board'");
  EXPECT_TRUE(rig.sim.Log().Bytes().empty());
}

TEST(ReadLockFuse, LockBitCombinationsAndBootLocks) {
  Rig rig("ATmega16");
  rig.sim.SetLockBits(0xFD);  // LB2 programmed without LB1
  LockFuseState s;
  EXPECT_TRUE(rig.commands.Read(rig.job, rig.deviceNumber, s));
  EXPECT_EQ(s.lockMode, 0);
  EXPECT_EQ(rig.BoxTexts(),
            std::vector<std::string>{"Warning: unrecognized combination of lock bits while reading. Assumed not locked."});

  rig.sim.SetLockBits(0xDE);  // LB1, BLB12
  rig.sim.SetFuseBytes({0xE1, 0x99, 0xFF});
  EXPECT_TRUE(rig.commands.Read(rig.job, rig.deviceNumber, s));
  EXPECT_EQ(s.lockMode, 1);
  EXPECT_EQ(s.bootLock, (std::array<bool, BootLockBitCount>{false, false, false, true}));
  EXPECT_EQ(FuseGroupByte(rig.Layout(), 1, s), 0xE1);
  EXPECT_EQ(FuseGroupByte(rig.Layout(), 2, s), 0x99);
  EXPECT_TRUE(s.readable);
  // Lock byte, then the groups in order 1, 2.
  EXPECT_EQ(rig.Sent(CmdSpiRead4).size(), 2 * (3 + 3u));
}

TEST(ReadLockFuse, SignatureQuestionAndChipsThatCannotReadBack) {
  Rig rig("ATmega8", {}, "ATmega16");
  rig.op.QueueAnswer(BoxAnswer::No);
  LockFuseState s;
  s.lockMode = 2;
  EXPECT_FALSE(rig.commands.Read(rig.job, rig.deviceNumber, s));
  EXPECT_EQ(s, LockFuseState{});
  EXPECT_EQ(rig.BoxTexts(), std::vector<std::string>{"Device signature does not match your selection or device is locked. "
                                                     "Do you still want to continue?"});
  EXPECT_EQ(rig.op.LastStatus(), "Operation cancelled");
  rig.op.QueueAnswer(BoxAnswer::Yes);
  EXPECT_TRUE(rig.commands.Read(rig.job, rig.deviceNumber, s));
  EXPECT_TRUE(s.readable);

  // An AVR without a lock read still checks the signature, then says it cannot read.
  Rig avr("AT90S2313");
  s.fuse[0] = true;
  EXPECT_TRUE(avr.commands.Read(avr.job, avr.deviceNumber, s));
  EXPECT_EQ(s, LockFuseState{});
  EXPECT_EQ(avr.BoxTexts(), std::vector<std::string>{"This device do not have a 'read lock/fuse bits' function."});
  EXPECT_EQ(avr.Sent(CmdSpiRead4).size(), 3u);
  EXPECT_EQ(avr.op.StatusTexts().front(), "Verifying signature");

  // The others say so without a connection, and verify compares nothing.
  Rig at89("AT89S8252");
  EXPECT_TRUE(at89.commands.Read(at89.job, at89.deviceNumber, s));
  EXPECT_EQ(at89.commands.Verify(at89.job, at89.deviceNumber, s), LockFuseVerifyResult::NotRead);
  EXPECT_EQ(at89.BoxTexts(), std::vector<std::string>(2, "This device do not have a 'read lock/fuse bits' function."));
  EXPECT_TRUE(at89.sim.Log().Bytes().empty());
}

TEST(ReadLockFuse, SilentBoardFailsWithinSeconds) {
  SimOptions options;
  options.faults.silentAfterBytes = 13 + 12;  // the connection and the signature, then nothing
  Rig rig("ATmega8", options);
  LockFuseState s;
  s.lockMode = 1;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(rig.commands.Read(rig.job, rig.deviceNumber, s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  EXPECT_EQ(s, LockFuseState{});
  EXPECT_EQ(rig.BoxTexts().at(0), "Connection error");
  EXPECT_FALSE(rig.port.IsConnected());
}

TEST(VerifyLockFuse, ListsOnlyTheDifferencesTheLayoutCounts) {
  Rig rig("ATmega8");
  rig.sim.SetFuseBytes({0xE1, 0xD9, 0xFF});
  LockFuseState expected;
  ASSERT_TRUE(rig.commands.Read(rig.job, rig.deviceNumber, expected));
  expected.fuse[20] = true;  // beyond the chip's 16 fuse bits: carries no meaning
  EXPECT_EQ(rig.commands.Verify(rig.job, rig.deviceNumber, expected), LockFuseVerifyResult::Matched);

  expected.lockMode = 2;
  // E1 has CKSEL0 unprogrammed; D9 has BOOTSZ0 programmed and CKOPT unprogrammed.
  expected.fuse[static_cast<std::size_t>(FindFuse(rig.Layout(), "CKSEL0"))] = true;
  expected.fuse[static_cast<std::size_t>(FindFuse(rig.Layout(), "BOOTSZ0"))] = false;
  expected.fuse[static_cast<std::size_t>(FindFuse(rig.Layout(), "CKOPT"))] = true;
  expected.bootLock[2] = true;
  EXPECT_EQ(rig.commands.Verify(rig.job, rig.deviceNumber, expected), LockFuseVerifyResult::Differs);
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
      ASSERT_TRUE(rig.commands.Program(rig.job, rig.deviceNumber, want, true)) << rig.op.LastStatus();
      LockFuseState back;
      ASSERT_TRUE(rig.commands.Read(rig.job, rig.deviceNumber, back)) << rig.op.LastStatus();
      LockFuseState expected = want;
      expected.readable = true;
      EXPECT_EQ(back, expected);
      EXPECT_TRUE(rig.sim.Log().Notes().empty()) << rig.sim.Log().Format();
    }
  }
  EXPECT_EQ(chips, 26);
}

}  // namespace
