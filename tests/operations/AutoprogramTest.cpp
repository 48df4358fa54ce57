// Autoprogram end to end: the real serial code and the simulated board and chip, with the
// run's own pauses on an instant clock.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "devices/DeviceTable.h"
#include "link/Commands.h"
#include "support/BoardRig.h"
#include "support/RecordingClock.h"
#include "support/TempFolder.h"

using namespace zr7;
using zr7sim::SimOptions;
using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

namespace {

struct Rig : zr7test::BoardRig {
  explicit Rig(const std::string& chip, SimOptions options = {}) : BoardRig(chip, {.sim = options}) {
    EXPECT_TRUE(started) << error;
  }
  bool Run(bool unattended = false) { return bench.RunAutoprogram(unattended, outcome, pauses, named); }

  zr7test::InstantClock pauses;
  AutoprogramOutcome outcome;
  std::optional<NamedImages> named;
};

Bytes Counting(std::size_t n, std::uint8_t from = 0) {
  Bytes b(n);
  std::iota(b.begin(), b.end(), from);
  return b;
}

TEST(Autoprogram, FullRecipeProgramsAndVerifiesBothMemories) {
  zr7test::TempFolder dir;
  // Erase must clear this before the blank check.
  Rig rig("ATmega8", {.flashImage = dir.File("chip.bin", std::string(300, '\x5A'))});
  auto& s = rig.project.settings();
  s.autoErase = s.autoEmptyCheck = s.autoFlashProgram = s.autoFlashVerify = true;
  s.autoEepromProgram = s.autoEepromVerify = true;
  rig.Image(rig.flash, Counting(1000, 1));
  rig.Image(rig.eeprom, Counting(100, 9));
  ASSERT_TRUE(rig.Run(true)) << rig.op.LastStatus();
  EXPECT_TRUE(rig.outcome.AutoprogramSucceeded);
  EXPECT_EQ(rig.op.LastStatus(), "Autoprogram: DONE (1000 Flash and 100 Eeprom bytes programmed)");
  EXPECT_EQ(rig.results.lastOperationStatus, 0);
  const Bytes chip = rig.sim.FlashContents();
  EXPECT_TRUE(std::equal(rig.flash.data().begin(), rig.flash.data().end(), chip.begin()));
  EXPECT_EQ(chip[1000], 0xFF);
  const Bytes rom = rig.sim.EepromContents();
  EXPECT_TRUE(std::equal(rig.eeprom.data().begin(), rig.eeprom.data().end(), rom.begin()));
  // Five chip steps, each after the reset-length pause and followed by the settle time.
  EXPECT_EQ(rig.pauses.Sleeps(), (std::vector<int>{20, 50, 20, 50, 20, 50, 20, 50, 20, 50, 20, 50}));
  const Texts statuses = rig.op.StatusTexts();
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "Pausing..."), 6);
  EXPECT_EQ(statuses.front(), "Autoprogram...");
}

// The verdict counts what reached the chip: an image larger than the chip is cut to its size.
TEST(Autoprogram, DoneCountsTheBytesTheChipGot) {
  Rig rig("ATtiny13");
  rig.project.settings().autoFlashProgram = true;
  rig.Image(rig.flash, Counting(1030));
  rig.op.QueueAnswer(BoxAnswer::Ok);  // "only first 1024 bytes will be processed"
  ASSERT_TRUE(rig.Run()) << rig.op.LastStatus();
  EXPECT_EQ(rig.op.LastStatus(), "Autoprogram: DONE (1024 Flash bytes programmed)");
}

// The serial number advances only after the verify, also in an image read from a master chip,
// which has no file name (programming alone would not count it); a failed verify keeps it and
// stops the run.
TEST(Autoprogram, SerialNumberAdvancesOnlyAfterTheVerify) {
  const struct {
    Bytes image;
    std::string name;
    int address;
    Bytes after;
  } cases[] = {{{0x00, 0x00, 0x05}, "image.bin", 2, {0x00, 0x00, 0x06}},
               {{0x00, 0xFF}, std::string(Unspecified), 1, {0x01, 0x00}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig("ATmega8");
    auto& s = rig.project.settings();
    s.autoFlashProgram = s.autoFlashVerify = s.autoIncrementFlash = true;
    s.autoIncAddressFlash = c.address;
    rig.Image(rig.flash, c.image, c.name);
    ASSERT_TRUE(rig.Run()) << rig.op.LastStatus();
    EXPECT_EQ(rig.op.LastStatus(), FormatText("Autoprogram: DONE (%d Flash bytes programmed)", int(c.image.size())));
    EXPECT_EQ(rig.flash.data(), c.after);
    const Bytes chip = rig.sim.FlashContents();
    EXPECT_EQ(Bytes(chip.begin(), chip.begin() + static_cast<long>(c.image.size())), c.image);
    EXPECT_TRUE(s.autoIncrementFlash);
    EXPECT_TRUE(rig.flash.modified());
  }

  Rig rig("ATmega8");
  auto& s = rig.project.settings();
  s.autoFlashVerify = s.autoIncrementFlash = true;
  s.autoEepromProgram = true;  // must not run after the failed verify
  s.autoIncAddressFlash = 2;
  rig.Image(rig.flash, Bytes{0x00, 0x00, 0x05});  // the chip is blank: it differs
  rig.Image(rig.eeprom, Counting(10));
  EXPECT_FALSE(rig.Run());
  EXPECT_FALSE(rig.outcome.AutoprogramSucceeded);
  EXPECT_EQ(rig.op.LastStatus(), "Autoprogram: ERROR verifying Flash");
  EXPECT_EQ(rig.results.lastOperationStatus, -1);
  EXPECT_FALSE(rig.results.flashVerified);
  EXPECT_EQ(rig.flash.data(), (Bytes{0x00, 0x00, 0x05}));
  EXPECT_TRUE(s.autoIncrementFlash);
  EXPECT_EQ(rig.CountOf(CmdWriteEeprom), 0u);

  // An Eeprom that differs stops the run the same way.
  Rig rom("ATmega8");
  rom.project.settings().autoEepromVerify = true;
  rom.Image(rom.eeprom, Counting(10, 1));
  EXPECT_FALSE(rom.Run());
  EXPECT_EQ(rom.op.LastStatus(), "Autoprogram: ERROR verifying Eeprom");
}

TEST(Autoprogram, NotBlankChipStopsBeforeProgramming) {
  zr7test::TempFolder dir;
  Rig rig("ATmega8", {.flashImage = dir.File("chip.bin", std::string(64, '\x11'))});
  auto& s = rig.project.settings();
  s.autoEmptyCheck = s.autoFlashProgram = true;
  rig.Image(rig.flash, Counting(64));
  EXPECT_FALSE(rig.Run());
  EXPECT_EQ(rig.op.LastStatus(), "Autoprogram: ERROR Flash is not empty");
  EXPECT_EQ(rig.results.lastOperationStatus, -1);  // not the blank check's 1
  EXPECT_EQ(rig.CountOf(CmdWriteFlash), 0u);
  EXPECT_EQ(rig.sim.FlashContents()[0], 0x11);
}

TEST(Autoprogram, FailedLockFuseStepIsNoSuccess) {
  Rig rig("AT89S2051");  // its lock instruction cannot carry mode 1: refused unsent
  auto& s = rig.project.settings();
  s.autoErase = s.programFuse = true;
  s.lockFuse.lockMode = 1;
  EXPECT_FALSE(rig.Run(true));
  EXPECT_FALSE(rig.outcome.AutoprogramSucceeded);
  EXPECT_EQ(rig.op.LastStatus(), "Autoprogram: ERROR programming lock and fuse bits");
  EXPECT_EQ(rig.results.lastOperationStatus, -1);
  const Texts boxes = rig.op.BoxTexts();
  EXPECT_NE(std::find(boxes.begin(), boxes.end(), "Error programming lock bits"), boxes.end());
}

// Lock and fuse bits alone are programmed, but are no success; nor is a run with nothing to do
// or no board.
TEST(Autoprogram, NothingToDoIsNoSuccess) {
  Rig rig("ATmega8");
  auto& s = rig.project.settings();
  s.programFuse = true;
  s.lockFuse.lockMode = 1;
  EXPECT_FALSE(rig.Run(true));
  EXPECT_FALSE(rig.outcome.AutoprogramSucceeded);
  EXPECT_EQ(rig.op.LastStatus(), "No actions in autoprogram");
  EXPECT_NE(rig.sim.LockState().lockBits & 0x03, 0x03);  // LB1 programmed
  EXPECT_EQ(rig.op.BoxTexts(), Texts{"Lock/fuse bits programmed"});

  Rig empty("ATmega8");
  empty.project.settings().autoFlashProgram = true;  // but the Flash image is empty
  EXPECT_FALSE(empty.Run());
  EXPECT_EQ(empty.op.LastStatus(), "No actions in autoprogram");
  EXPECT_EQ(empty.CountOf(CmdWriteFlash), 0u);

  Rig none("ATmega8");
  none.project.settings().autoErase = true;
  none.bench.board.port = 0;
  EXPECT_FALSE(none.Run());
  EXPECT_EQ(none.op.LastStatus(), "Select COM port or click 'search board'");
  EXPECT_EQ(none.op.BoxTexts(), Texts{"No board specified"});
}

// The erase names the chip by its signature. Settings made for the ATmega8 would set other
// bits on an ATmega88: the lock/fuse step fails unsent, and the run is no success.
TEST(Autoprogram, LockFuseSettingsReachOnlyAChipOfTheirLayout) {
  for (const char* board : {"ATmega88", "ATmega8"}) {
    SCOPED_TRACE(board);
    Rig rig(board);
    const int mega8 = FindDeviceByName("ATmega8");
    auto& s = rig.project.settings();
    s.deviceNo = s.lockFuseDeviceNo = rig.bench.device = mega8;
    s.autoErase = s.autoFlashProgram = s.autoFlashVerify = s.programFuse = true;
    s.lockFuse.lockMode = 2;
    s.lockFuse.fuse[13] = true;  // SPIEN stays programmed
    rig.Image(rig.flash, Counting(64));
    const bool other = std::string(board) != "ATmega8";
    EXPECT_EQ(rig.Run(true), !other);
    EXPECT_EQ(rig.outcome.AutoprogramSucceeded, !other);
    const zr7sim::ChipLockState chip = rig.sim.LockState();
    if (other) {
      EXPECT_EQ(rig.op.LastStatus(),
                "Autoprogram: ERROR the lock/fuse settings are for the ATmega8; the ATmega88 in the socket has its bits "
                "elsewhere: no lock or fuse bit was programmed");
      EXPECT_EQ(rig.results.lastOperationStatus, -1);
      EXPECT_EQ(chip.lockBits, 0xFF);
      EXPECT_EQ(chip.fuses, (std::array<std::uint8_t, 3>{0xFF, 0xFF, 0xFF}));
    } else {
      EXPECT_NE(chip.lockBits & 0x03, 0x03);
      EXPECT_NE(chip.fuses[1], 0xFF);
    }
  }
}

// Unattended, an image that did not load fails the run before any chip step; at the window the
// operator sees the empty buffer and the Flash steps are skipped. A memory the recipe leaves
// alone may be missing.
TEST(Autoprogram, UnattendedRunFailsOnAnImageThatDidNotLoad) {
  zr7test::TempFolder dir;
  const std::string projectFile = dir.File("job.zr7", "[Files]\nFlash=" + (dir / "gone.hex") + "\nEeprom=\n");
  for (bool unattended : {true, false}) {
    SCOPED_TRACE(unattended);
    Rig rig("ATmega8", {.flashImage = dir.File("chip.bin", std::string(16, '\x22'))});
    ASSERT_TRUE(rig.project.Load(projectFile));
    ASSERT_TRUE(rig.flash.empty());
    auto& s = rig.project.settings();
    s.autoErase = s.autoFlashProgram = s.autoFlashVerify = true;
    const bool ok = rig.Run(unattended);
    EXPECT_EQ(ok, !unattended) << rig.op.LastStatus();
    EXPECT_EQ(rig.op.LastStatus(),
              unattended ? "Autoprogram: ERROR reloading Flash" : "Autoprogram: DONE (no buffers programmed)");
    EXPECT_EQ(rig.sim.FlashContents()[0], unattended ? 0x22 : 0xFF);
    if (unattended) {
      EXPECT_EQ(rig.results.lastOperationStatus, -1);
      EXPECT_TRUE(rig.pauses.Sleeps().empty());
    }
  }

  Rig rig("ATmega8");
  rig.named = NamedImages{"", "gone.eep"};
  rig.project.settings().autoErase = true;
  EXPECT_TRUE(rig.Run(true)) << rig.op.LastStatus();
  rig.project.settings().autoEepromVerify = true;
  EXPECT_FALSE(rig.Run(true));
  EXPECT_EQ(rig.op.LastStatus(), "Autoprogram: ERROR reloading Eeprom");
}

}  // namespace
