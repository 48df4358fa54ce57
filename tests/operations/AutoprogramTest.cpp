// Autoprogram end to end: the real serial code and the simulated board and chip, with the
// run's own pauses on an instant clock.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <numeric>

#include "BoardSimulator.h"
#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "buffers/MemoryBuffer.h"
#include "devices/DeviceTable.h"
#include "link/BoardLink.h"
#include "link/ComPort.h"
#include "link/Commands.h"
#include "lockfuse/LockFuseCommands.h"
#include "operations/Autoprogram.h"
#include "operations/ChipCommands.h"
#include "project/Project.h"
#include "support/RecordingClock.h"

using namespace zr7;
using zr7sim::BoardSimulator;
using zr7sim::SimOptions;
using zr7test::InstantClock;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int kPort = 2;

class TempDir {
 public:
  TempDir() {
    path_ = std::filesystem::temp_directory_path() /
            ("zr7-autoprogram-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// A preloaded chip image for the simulator, in the test's own directory.
std::string ChipImage(const TempDir& dir, const std::string& bytes) {
  const std::string path = dir.File("chip.bin");
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

struct Rig {
  explicit Rig(const std::string& chip, SimOptions options = {})
      : sim([&] {
          options.chip = chip;
          return options;
        }()),
        catalog(language),
        link(port, op, catalog),
        commands(link, flash, eeprom, results),
        lockFuse(link),
        project(op, catalog),
        autoprogram(commands, flash, eeprom, project, lockFuse, pauses) {
    std::string error;
    EXPECT_TRUE(sim.Start(&error)) << error;
    PortMap map;
    map.Set(kPort - 1, sim.SlavePath());
    port.SetPortMap(map);
    project.Attach(nullptr, flash, eeprom);
    flash.Init(op, catalog, false, nullptr, &project, nullptr);
    eeprom.Init(op, catalog, true, nullptr, &project, nullptr);
    flash.Clear();
    eeprom.Clear();
    project.settings().deviceNo = project.settings().lockFuseDeviceNo = FindDeviceByName(chip);
    project.settings().resetStrobeLength = 20;
    job.boardPort = kPort;
    job.connect.deviceNumber = FindDeviceByName(chip);
  }

  void Image(MemoryBuffer& b, const Bytes& bytes, const std::string& name = "image.bin") {
    b.data() = bytes;
    b.states().assign(bytes.size(), StateFromFile);
    b.SetFileName(name);
  }
  bool Run(bool unattended = false) { return autoprogram.Run(job, unattended, outcome); }
  std::vector<std::string> BoxTexts() {
    std::vector<std::string> out;
    for (const auto& b : op.Boxes()) out.push_back(b.text);
    return out;
  }
  std::size_t CountOf(std::uint8_t code) {
    sim.Log().WaitForCommands(sim.Log().Commands().size() + 1, std::chrono::milliseconds(30));
    const auto all = sim.Log().Commands();
    return static_cast<std::size_t>(std::count_if(all.begin(), all.end(), [&](const auto& c) { return c.code == code; }));
  }

  LanguageSettings language;
  BoardSimulator sim;
  MessageCatalog catalog;
  ScriptedOperator op;
  ComPort port;
  BoardLink link;
  MemoryBuffer flash, eeprom;
  ChipResults results;
  ChipCommands commands;
  LockFuseCommands lockFuse;
  Project project;
  InstantClock pauses;
  Autoprogram autoprogram;
  ChipJob job;
  AutoprogramOutcome outcome;
};

Bytes Counting(std::size_t n, std::uint8_t from = 0) {
  Bytes b(n);
  std::iota(b.begin(), b.end(), from);
  return b;
}

void FullRecipe(ProjectSettings& s) {
  s.autoErase = s.autoEmptyCheck = true;
  s.autoFlashProgram = s.autoFlashVerify = true;
  s.autoEepromProgram = s.autoEepromVerify = true;
}

TEST(Autoprogram, FullRecipeProgramsAndVerifiesBothMemories) {
  TempDir dir;
  SimOptions options;
  options.flashImage = ChipImage(dir, std::string(300, '\x5A'));  // erase must clear it before the blank check
  Rig rig("ATmega8", options);
  FullRecipe(rig.project.settings());
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
  auto statuses = rig.op.StatusTexts();
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

TEST(Autoprogram, VerifyMismatchStopsTheRunAndKeepsTheSerialNumber) {
  Rig rig("ATmega8");
  auto& s = rig.project.settings();
  s.autoFlashVerify = true;
  s.autoEepromProgram = true;  // must not run after the failed verify
  rig.job.transfer.autoIncrementFlash = true;
  rig.job.transfer.autoIncAddressFlash = 2;
  rig.Image(rig.flash, Bytes{0x00, 0x00, 0x05});  // the chip is blank: it differs
  rig.Image(rig.eeprom, Counting(10));
  EXPECT_FALSE(rig.Run());
  EXPECT_FALSE(rig.outcome.AutoprogramSucceeded);
  EXPECT_EQ(rig.op.LastStatus(), "Autoprogram: ERROR verifying Flash");
  EXPECT_EQ(rig.results.lastOperationStatus, -1);
  EXPECT_FALSE(rig.results.flashVerified);
  EXPECT_EQ(rig.flash.data(), (Bytes{0x00, 0x00, 0x05}));
  EXPECT_TRUE(rig.job.transfer.autoIncrementFlash);
  EXPECT_EQ(rig.CountOf(CmdWriteEeprom), 0u);
}

TEST(Autoprogram, SerialNumberAdvancesOnlyAfterTheVerify) {
  Rig rig("ATmega8");
  auto& s = rig.project.settings();
  s.autoFlashProgram = s.autoFlashVerify = true;
  rig.job.transfer.autoIncrementFlash = true;
  rig.job.transfer.autoIncAddressFlash = 2;
  rig.Image(rig.flash, Bytes{0x00, 0x00, 0x05});
  ASSERT_TRUE(rig.Run()) << rig.op.LastStatus();
  EXPECT_EQ(rig.op.LastStatus(), "Autoprogram: DONE (3 Flash bytes programmed)");
  EXPECT_EQ(rig.flash.data(), (Bytes{0x00, 0x00, 0x06}));
  const Bytes chip = rig.sim.FlashContents();
  EXPECT_EQ((Bytes{chip[0], chip[1], chip[2]}), (Bytes{0x00, 0x00, 0x05}));
  EXPECT_TRUE(rig.job.transfer.autoIncrementFlash);
  EXPECT_TRUE(rig.flash.modified());
}

TEST(Autoprogram, SerialNumberAdvancesAlsoInAnImageWithoutFile) {
  // An image read from a master chip has no file name; programming alone would not count it.
  Rig rig("ATmega8");
  auto& s = rig.project.settings();
  s.autoFlashProgram = s.autoFlashVerify = true;
  rig.job.transfer.autoIncrementFlash = true;
  rig.job.transfer.autoIncAddressFlash = 1;
  rig.Image(rig.flash, Bytes{0x00, 0xFF}, std::string(Unspecified));
  ASSERT_TRUE(rig.Run()) << rig.op.LastStatus();
  EXPECT_EQ(rig.flash.data(), (Bytes{0x01, 0x00}));
}

TEST(Autoprogram, NotBlankChipStopsBeforeProgramming) {
  TempDir dir;
  SimOptions options;
  options.flashImage = ChipImage(dir, std::string(64, '\x11'));
  Rig rig("ATmega8", options);
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
  s.autoErase = true;
  s.programFuse = true;
  s.lockFuse.lockMode = 1;
  EXPECT_FALSE(rig.Run(true));
  EXPECT_FALSE(rig.outcome.AutoprogramSucceeded);
  EXPECT_EQ(rig.op.LastStatus(), "Autoprogram: ERROR programming lock and fuse bits");
  EXPECT_EQ(rig.results.lastOperationStatus, -1);
  const auto boxes = rig.BoxTexts();
  EXPECT_NE(std::find(boxes.begin(), boxes.end(), "Error programming lock bits"), boxes.end());
}

// The erase names the chip by its signature. Settings made for the ATmega8 would set other
// bits on an ATmega88: the lock/fuse step fails unsent, and the run is no success.
TEST(Autoprogram, LockFuseSettingsReachOnlyAChipOfTheirLayout) {
  for (const char* board : {"ATmega88", "ATmega8"}) {
    SCOPED_TRACE(board);
    Rig rig(board);
    const int mega8 = FindDeviceByName("ATmega8");
    auto& s = rig.project.settings();
    s.deviceNo = s.lockFuseDeviceNo = rig.job.connect.deviceNumber = mega8;
    s.autoErase = s.autoFlashProgram = s.autoFlashVerify = true;
    s.programFuse = true;
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

TEST(Autoprogram, OnlyLockFuseBitsProgramsThemButIsNoSuccess) {
  Rig rig("ATmega8");
  auto& s = rig.project.settings();
  s.programFuse = true;
  s.lockFuse.lockMode = 1;
  EXPECT_FALSE(rig.Run(true));
  EXPECT_FALSE(rig.outcome.AutoprogramSucceeded);
  EXPECT_EQ(rig.op.LastStatus(), "No actions in autoprogram");
  EXPECT_NE(rig.sim.LockState().lockBits & 0x03, 0x03);  // LB1 programmed
  EXPECT_EQ(rig.BoxTexts(), std::vector<std::string>{"Lock/fuse bits programmed"});
}

TEST(Autoprogram, NothingToDoIsNoSuccess) {
  Rig rig("ATmega8");
  rig.project.settings().autoFlashProgram = true;  // but the Flash image is empty
  EXPECT_FALSE(rig.Run());
  EXPECT_EQ(rig.op.LastStatus(), "No actions in autoprogram");
  EXPECT_EQ(rig.CountOf(CmdWriteFlash), 0u);
}

TEST(Autoprogram, NoBoardChosen) {
  Rig rig("ATmega8");
  rig.project.settings().autoErase = true;
  rig.job.boardPort = 0;
  EXPECT_FALSE(rig.Run());
  EXPECT_EQ(rig.op.LastStatus(), "Select COM port or click 'search board'");
  EXPECT_EQ(rig.BoxTexts(), std::vector<std::string>{"No board specified"});
}

TEST(Autoprogram, UnattendedRunFailsOnAnImageThatDidNotLoad) {
  TempDir dir;
  const std::string projectFile = dir.File("job.zr7");
  {
    std::ofstream out(projectFile);
    out << "[Files]\nFlash=" << dir.File("gone.hex") << "\nEeprom=\n";
  }
  for (bool unattended : {true, false}) {
    SimOptions options;
    options.flashImage = ChipImage(dir, std::string(16, '\x22'));
    Rig rig("ATmega8", options);
    ASSERT_TRUE(rig.project.Load(projectFile));
    ASSERT_TRUE(rig.flash.empty());
    auto& s = rig.project.settings();
    s.autoErase = true;
    s.autoFlashProgram = s.autoFlashVerify = true;
    const bool ok = rig.Run(unattended);
    if (unattended) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(rig.op.LastStatus(), "Autoprogram: ERROR reloading Flash");
      EXPECT_EQ(rig.results.lastOperationStatus, -1);
      EXPECT_EQ(rig.sim.FlashContents()[0], 0x22);  // no chip step ran
      EXPECT_TRUE(rig.pauses.Sleeps().empty());
    } else {
      // At the window the operator sees the empty buffer; the Flash steps are skipped.
      EXPECT_TRUE(ok) << rig.op.LastStatus();
      EXPECT_EQ(rig.op.LastStatus(), "Autoprogram: DONE (no buffers programmed)");
      EXPECT_EQ(rig.sim.FlashContents()[0], 0xFF);
    }
  }
}

TEST(Autoprogram, UnattendedRunIgnoresAMemoryTheRecipeLeavesAlone) {
  Rig rig("ATmega8");
  rig.autoprogram.SetNamedImages({"", "gone.eep"});
  rig.project.settings().autoErase = true;
  EXPECT_TRUE(rig.Run(true)) << rig.op.LastStatus();
  rig.project.settings().autoEepromVerify = true;
  EXPECT_FALSE(rig.Run(true));
  EXPECT_EQ(rig.op.LastStatus(), "Autoprogram: ERROR reloading Eeprom");
}

}  // namespace
