// The chip commands end to end: the real serial code, the simulated board and chip, and the
// bytes on the wire for each family's path.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <numeric>

#include "BoardSimulator.h"
#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "buffers/MemoryBuffer.h"
#include "devices/DeviceTable.h"
#include "link/BoardLink.h"
#include "link/ComPort.h"
#include "link/Commands.h"
#include "operations/ChipCommands.h"
#include "support/RecordingClock.h"

using namespace zr7;
using zr7sim::BoardSimulator;
using zr7sim::SimOptions;
using zr7sim::WireCommand;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int kPort = 2;

struct Selection : DeviceSelection {
  void SelectDevice(int d) override { selected.push_back(d); }
  std::vector<int> selected;
};

struct Rig {
  explicit Rig(const std::string& chip, SimOptions options = {}, Clock& clock = DefaultClock())
      : sim([&] {
          options.chip = chip;
          return options;
        }()),
        catalog(language),
        link(port, op, catalog, clock),
        commands(link, flash, eeprom, results, &selection) {
    std::string error;
    EXPECT_TRUE(sim.Start(&error)) << error;
    PortMap map;
    map.Set(kPort - 1, sim.SlavePath());
    port.SetPortMap(map);
    flash.Init(op, catalog, false, nullptr, nullptr, nullptr);
    eeprom.Init(op, catalog, true, nullptr, nullptr, nullptr);
    flash.Clear();
    eeprom.Clear();
    job.boardPort = kPort;
    job.connect.deviceNumber = FindDeviceByName(chip);
  }

  void Image(MemoryBuffer& b, const Bytes& bytes, const std::string& name = "image.bin") {
    b.data() = bytes;
    b.states().assign(bytes.size(), StateFromFile);
    b.SetFileName(name);
  }
  std::vector<WireCommand> Commands() {
    // The last command is logged once its answer is out; give the board a moment to finish.
    sim.Log().WaitForCommands(sim.Log().Commands().size() + 1, std::chrono::milliseconds(30));
    return sim.Log().Commands();
  }
  std::vector<WireCommand> Only(std::uint8_t code) {
    std::vector<WireCommand> out;
    for (auto& c : Commands())
      if (c.code == code) out.push_back(c);
    return out;
  }
  std::vector<std::string> BoxTexts() {
    std::vector<std::string> out;
    for (const auto& b : op.Boxes()) out.push_back(b.text);
    return out;
  }

  LanguageSettings language;
  BoardSimulator sim;
  MessageCatalog catalog;
  ScriptedOperator op;
  ComPort port;
  BoardLink link;
  MemoryBuffer flash, eeprom;
  ChipResults results;
  Selection selection;
  ChipCommands commands;
  ChipJob job;
};

Bytes Counting(std::size_t n, std::uint8_t from = 0) {
  Bytes b(n);
  std::iota(b.begin(), b.end(), from);
  return b;
}

TEST(ProgramFlash, AvrPagesGoInQuartersWithPageWrites) {
  Rig rig("ATmega8");
  rig.Image(rig.flash, Counting(100, 1));
  rig.commands.ProgramFlash(rig.job);
  EXPECT_EQ(rig.op.LastStatus(), "Flash program: Done (100 bytes programmed)");
  EXPECT_EQ(rig.results.lastOperationStatus, 0);
  auto writes = rig.Only(CmdWriteFlash);
  ASSERT_EQ(writes.size(), 8u);
  for (const auto& w : writes) EXPECT_EQ(w.args.size(), 17u);  // count 16, then the quarter
  EXPECT_EQ(writes[7].args.back(), 0xFF);                        // the second page is padded
  auto pages = rig.Only(CmdSpi4);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].args, (Bytes{0x4C, 0x00, 0x00, 0x00}));
  EXPECT_EQ(pages[1].args, (Bytes{0x4C, 0x00, 0x20, 0x00}));
  EXPECT_EQ(rig.Only(CmdSetByteDelay).at(0).args, Bytes{185});
  EXPECT_TRUE(std::all_of(rig.flash.states().begin(), rig.flash.states().end(),
                          [](std::uint8_t s) { return s == StateWritten; }));
  Bytes chip = rig.sim.FlashContents();
  EXPECT_TRUE(std::equal(rig.flash.data().begin(), rig.flash.data().end(), chip.begin()));
  EXPECT_EQ(chip[100], 0xFF);
  EXPECT_EQ(rig.op.ProgressBars().empty(), false);
}

TEST(ProgramFlash, ErasedPagesAreSkippedButCounted) {
  Rig rig("ATmega8");
  Bytes image(128, 0xFF);
  image[64] = 0x12;
  rig.Image(rig.flash, image);
  rig.commands.ProgramFlash(rig.job);
  EXPECT_EQ(rig.results.lastOperationStatus, 0);
  EXPECT_EQ(rig.Only(CmdWriteFlash).size(), 4u);
  auto pages = rig.Only(CmdSpi4);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].args, (Bytes{0x4C, 0x00, 0x20, 0x00}));
  EXPECT_EQ(rig.flash.states()[0], StateWritten);
  EXPECT_EQ(rig.sim.FlashContents()[64], 0x12);
}

TEST(ProgramFlash, LargeChipsGetTheirBankBeforeEachPageWrite) {
  Rig rig("ATmega2560/2561");
  Bytes image(132 * 1024, 0xFF);
  image[0] = 0xA5;
  image[128 * 1024 + 2] = 0x5A;  // a page in the second 128 KB bank
  rig.Image(rig.flash, image);
  rig.commands.ProgramFlash(rig.job);
  EXPECT_EQ(rig.results.lastOperationStatus, 0) << rig.op.LastStatus();
  std::vector<Bytes> spi4;
  for (const auto& c : rig.Only(CmdSpi4)) spi4.push_back(c.args);
  EXPECT_EQ(spi4, (std::vector<Bytes>{{0x4D, 0x00, 0x00, 0x00}, {0x4C, 0x00, 0x00, 0x00},
                                      {0x4D, 0x00, 0x01, 0x00}, {0x4C, 0x00, 0x00, 0x00}}));
  Bytes chip = rig.sim.FlashContents();
  EXPECT_EQ(chip[0], 0xA5);  // not overwritten by the page of the second bank
  EXPECT_EQ(chip[128 * 1024 + 2], 0x5A);

  // Chips up to 128 KB see no extended address.
  Rig small("ATmega128");
  small.Image(small.flash, image);  // longer than the chip: answer the size warning with OK
  small.op.QueueAnswer(BoxAnswer::Ok);
  small.commands.ProgramFlash(small.job);
  for (const auto& c : small.Only(CmdSpi4)) EXPECT_NE(c.args[0], 0x4D);
}

// An image longer than the chip: Program and Verify both ask first, a Cancel is no success,
// and the count is of the bytes written or compared.
TEST(SizeWarning, ProgramAndVerifyAskAndCountWhatTheyDid) {
  const struct {
    bool verify;
    BoxAnswer answer;
    const char* status;
  } cases[] = {
      {false, BoxAnswer::Cancel, "Programming cancelled"},
      {false, BoxAnswer::Ok, "Flash program: Done (8192 bytes programmed)"},
      {true, BoxAnswer::Cancel, "Flash verification cancelled"},
      {true, BoxAnswer::Ok, "Flash verify: OK (8192 bytes verified)"},
  };
  for (const auto& c : cases) {
    Rig rig("ATmega8");
    const Bytes image = Counting(8192 + 64, 0x11);
    rig.sim.SetFlashContents(0, Bytes(image.begin(), image.begin() + 8192));
    rig.Image(rig.flash, image);
    rig.op.QueueAnswer(c.answer);
    c.verify ? rig.commands.VerifyFlash(rig.job) : rig.commands.ProgramFlash(rig.job);
    ASSERT_FALSE(rig.op.Boxes().empty()) << c.status;
    EXPECT_EQ(rig.op.Boxes()[0].text, "Warning: only first 8192 bytes Flash will be processed.");
    EXPECT_EQ(rig.op.Boxes()[0].buttons, BoxButtons::OkCancel);
    EXPECT_EQ(rig.op.LastStatus(), c.status);
    const bool ok = c.answer == BoxAnswer::Ok;
    EXPECT_EQ(rig.results.lastOperationStatus, ok ? 0 : -1) << c.status;
    EXPECT_EQ(rig.Only(c.verify ? CmdReadFlash : CmdWriteFlash).empty(), !ok) << c.status;
  }
}

TEST(ProgramFlash, AnEmptyImageIsNoSuccessAndSendsNothing) {
  Rig rig("ATmega8");
  rig.commands.ProgramFlash(rig.job);
  EXPECT_EQ(rig.op.LastStatus(), "The Flash image is empty: nothing was programmed.");
  EXPECT_EQ(rig.results.lastOperationStatus, -1);
  rig.results.lastOperationStatus = 0;
  rig.commands.ProgramEeprom(rig.job);
  EXPECT_EQ(rig.op.LastStatus(), "The Eeprom image is empty: nothing was programmed.");
  EXPECT_EQ(rig.results.lastOperationStatus, -1);
  EXPECT_TRUE(rig.sim.Log().Bytes().empty());
}

TEST(ProgramEeprom, BlocksOf64AndTheRest) {
  Rig rig("ATmega16");  // 512 bytes of Eeprom
  rig.Image(rig.eeprom, Counting(130));
  rig.commands.ProgramEeprom(rig.job);
  EXPECT_EQ(rig.op.LastStatus(), "Eeprom program: Done (130 bytes programmed)");
  auto blocks = rig.Only(CmdWriteEeprom);
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0].args[0], 64);
  EXPECT_EQ(blocks[1].args[0], 64);
  EXPECT_EQ(blocks[2].args[0], 2);
  EXPECT_EQ(rig.Only(CmdSetByteDelay).at(0).args, Bytes{129});  // the chip's Eeprom write code
  Bytes chip = rig.sim.EepromContents();
  EXPECT_TRUE(std::equal(rig.eeprom.data().begin(), rig.eeprom.data().end(), chip.begin()));
}

TEST(ProgramFlash, ByteDelayOverrideAndPollingFailure) {
  SimOptions options;
  options.faults.escAtDataBlock = 2;
  Rig rig("AT90S2313", options);  // byte-mode Flash
  rig.job.transfer.delayByte = true;
  rig.job.transfer.delayByteValue = 19;
  rig.Image(rig.flash, Counting(200));
  rig.commands.ProgramFlash(rig.job);
  EXPECT_EQ(rig.Only(CmdSetByteDelay).at(0).args, Bytes{0xF5});
  EXPECT_EQ(rig.BoxTexts(), std::vector<std::string>{"Error during polling"});
  EXPECT_EQ(rig.op.LastStatus(), "Error during polling");
  EXPECT_EQ(rig.results.lastOperationStatus, -1);
  EXPECT_EQ(rig.flash.states()[0], StateWritten);
  EXPECT_EQ(rig.flash.states()[64], StatePending);
}

TEST(ProgramFlash, CancelStopsAtAUnitBoundary) {
  Rig rig("ATmega8");
  rig.Image(rig.flash, Counting(8192, 3));
  rig.op.CancelProgressAt(50);
  rig.commands.ProgramFlash(rig.job);
  EXPECT_EQ(rig.op.LastStatus(), "Programming cancelled");
  EXPECT_EQ(rig.results.lastOperationStatus, -1);
  const auto& s = rig.flash.states();
  EXPECT_EQ(s.front(), StateWritten);
  EXPECT_EQ(s.back(), StatePending);
  EXPECT_FALSE(rig.port.IsConnected());
}

TEST(ProgramFlash, SignatureCheckAsksAndLockedChipsAreErasedFirst) {
  {
    Rig rig("ATtiny12");
    rig.job.connect.deviceNumber = FindDeviceByName("ATmega8");  // the wrong chip is selected
    rig.job.transfer.checkSign = true;
    rig.Image(rig.flash, Counting(10));
    rig.op.QueueAnswer(BoxAnswer::No);
    rig.commands.ProgramFlash(rig.job);
    EXPECT_EQ(rig.BoxTexts(), std::vector<std::string>{"Device signature does not match your selection or device is "
                                                       "locked. Do you still want to program it?"});
    EXPECT_EQ(rig.op.Boxes()[0].defaultAnswer, std::nullopt);
    EXPECT_EQ(rig.op.LastStatus(), "Programming cancelled");
    EXPECT_EQ(rig.results.lastOperationStatus, -1);
    EXPECT_TRUE(rig.Only(CmdWriteFlash).empty());
  }
  {
    SimOptions options;
    options.locked = true;
    Rig rig("ATmega8", options);
    rig.job.transfer.checkSign = true;
    rig.Image(rig.flash, Counting(64, 7));
    rig.op.QueueAnswer(BoxAnswer::Yes);
    rig.commands.ProgramFlash(rig.job);
    EXPECT_EQ(rig.BoxTexts(), std::vector<std::string>{"Device is locked. Erase it now?"});
    EXPECT_EQ(rig.op.Boxes()[0].defaultAnswer, BoxAnswer::No) << "Enter must not erase a locked chip";
    auto spi4 = rig.Only(CmdSpi4);
    ASSERT_FALSE(spi4.empty());
    EXPECT_EQ(spi4[0].args, (Bytes{0xAC, 0x80, 0x04, 0x00}));
    EXPECT_EQ(rig.results.lastOperationStatus, 0);
    EXPECT_EQ(rig.sim.FlashContents()[1], 8);
  }
}

TEST(ProgramFlash, AutoIncrementAfterProgramming) {
  Rig rig("ATmega8");
  rig.job.transfer.autoIncrementFlash = true;
  rig.job.transfer.autoIncAddressFlash = 3;
  rig.Image(rig.flash, Bytes{0x00, 0x00, 0xFF, 0xFF}, "serial.hex");
  rig.commands.ProgramFlash(rig.job);
  EXPECT_EQ(rig.sim.FlashContents()[3], 0xFF);  // the chip got the number before the increment
  EXPECT_EQ(rig.flash.data(), (Bytes{0x00, 0x01, 0x00, 0x00}));
  EXPECT_EQ(rig.flash.states(), (Bytes{StateWritten, StateChanged, StateChanged, StateChanged}));
  EXPECT_TRUE(rig.flash.modified());
}

TEST(AutoIncrement, CountsBigEndianUpToFourBytes) {
  LanguageSettings language;
  MessageCatalog catalog(language);
  ScriptedOperator op;
  auto run = [&](Bytes data, std::int32_t address, bool named = true) {
    MemoryBuffer b;
    b.Init(op, catalog, false, nullptr, nullptr, nullptr);
    b.data() = data;
    b.states().assign(data.size(), StateFromFile);
    b.SetFileName(named ? "x.hex" : std::string(Unspecified));
    ChipCommands::AutoIncrement(b, true, address);
    return b.data();
  };
  EXPECT_EQ(run({0x00, 0x00, 0xFF, 0xFF}, 2), (Bytes{0x00, 0x01, 0x00, 0xFF}));
  EXPECT_EQ(run({0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 4), (Bytes{0xFF, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(run({0x10, 0x20}, 7), (Bytes{0x10, 0x21}));   // beyond the image: the last byte
  EXPECT_EQ(run({0x10, 0x20}, -5), (Bytes{0x10, 0x21}));  // a negative address likewise
  EXPECT_EQ(run({0x10, 0x20}, 0, false), (Bytes{0x10, 0x20}));  // an image without a file
}

TEST(ReadFlash, BlocksOf64AndTheLengthLine) {
  Rig rig("ATmega8");
  Bytes content = Counting(8192);
  rig.sim.SetFlashContents(0, content);
  rig.commands.ReadFlash(rig.job);
  EXPECT_EQ(rig.flash.data(), content);
  EXPECT_EQ(rig.Only(CmdReadFlash).size(), 128u);
  unsigned sum = std::accumulate(content.begin(), content.end(), 0u) & 0xFFFF;
  char expected[80];
  std::snprintf(expected, sizeof expected, "Flash length: 8192 (0x2000) bytes, Checksum = 0x%04X", sum);
  EXPECT_EQ(rig.op.LastStatus(), expected);
  auto statuses = rig.op.StatusTexts();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Flash read: OK"), statuses.end());
  EXPECT_TRUE(std::all_of(rig.flash.states().begin(), rig.flash.states().end(),
                          [](std::uint8_t s) { return s == StateRead; }));
}

TEST(ReadFlash, CancelSaysHowFarItGotAndLeavesTheRestPending) {
  Rig rig("ATmega8");
  rig.sim.SetFlashContents(0, Counting(8192));
  rig.op.CancelProgressAt(50);
  EXPECT_FALSE(rig.commands.ReadFlash(rig.job));
  const auto& s = rig.flash.states();
  const auto read = std::count(s.begin(), s.end(), std::uint8_t{StateRead});
  EXPECT_GT(read, 0);
  EXPECT_LT(read, 8192);
  EXPECT_EQ(std::count(s.begin(), s.end(), std::uint8_t{StatePending}), 8192 - read);
  EXPECT_EQ(s.back(), StatePending);
  EXPECT_EQ(rig.flash.data().back(), 0xFF);
  EXPECT_EQ(rig.op.LastStatus(),
            FormatText(rig.catalog.GetText(msg::FlashReadCancelledAfter), static_cast<int>(read), 8192));
}

TEST(ReadEeprom, DeviceWithoutEepromOpensNoConnection) {
  Rig rig("AT89S51");
  rig.commands.ReadEeprom(rig.job);
  EXPECT_EQ(rig.op.LastStatus(), "This device does not have Eeprom on-chip");
  EXPECT_TRUE(rig.sim.Log().Bytes().empty());
}

// The window's menu items stay enabled where the buttons are greyed: the handlers refuse what
// the chip does not allow before the board hears a byte.
TEST(MenuCommands, WhatTheChipDoesNotAllowSendsNothing) {
  Rig at45("AT45DB041");
  at45.Image(at45.eeprom, Counting(100));
  at45.commands.ProgramEeprom(at45.job);
  EXPECT_EQ(at45.op.LastStatus(),
            "The command 'Program Eeprom' is not available for the AT45DB041: nothing was sent to the board.");
  at45.commands.VerifyEeprom(at45.job);
  EXPECT_EQ(at45.results.lastOperationStatus, -1);
  EXPECT_FALSE(at45.commands.ReadEeprom(at45.job));

  Rig at25("AT25256");
  at25.commands.ChipErase(at25.job);
  EXPECT_EQ(at25.results.lastOperationStatus, -1);
  at25.commands.BlankCheck(at25.job);
  EXPECT_EQ(at25.op.LastStatus(),
            "The command 'Blank check' is not available for the AT25256: nothing was sent to the board.");
  EXPECT_EQ(at25.results.lastOperationStatus, -1);
  for (Rig* rig : {&at45, &at25}) {
    EXPECT_TRUE(rig->sim.Log().Bytes().empty());
    EXPECT_TRUE(rig->op.Boxes().empty());
  }
}

TEST(VerifyFlash, FirstMismatchAndStates) {
  Rig rig("ATmega8");
  rig.sim.SetFlashContents(0, Bytes{0x01, 0xFF, 0x03, 0x00});
  rig.Image(rig.flash, Bytes{0x01, 0x02, 0x03, 0x04});
  rig.commands.VerifyFlash(rig.job);
  EXPECT_EQ(rig.op.LastStatus(), "Flash verify: ERROR at byte 1 (0x1)");
  EXPECT_EQ(rig.flash.states(), (Bytes{StateVerified, StatePending, StateVerified, StatePending}));
  EXPECT_EQ(rig.results.lastOperationStatus, -1);
  EXPECT_FALSE(rig.results.flashVerified);

  rig.Image(rig.flash, Bytes{0x01, 0xFF, 0x03, 0x00});
  rig.commands.VerifyFlash(rig.job);
  EXPECT_EQ(rig.op.LastStatus(), "Flash verify: OK (4 bytes verified)");
  EXPECT_TRUE(rig.results.flashVerified);
  EXPECT_EQ(rig.results.lastOperationStatus, 0);

  rig.flash.Clear();
  rig.sim.Log().Clear();
  rig.commands.VerifyFlash(rig.job);
  EXPECT_EQ(rig.op.LastStatus(), "No Flash file selected");
  EXPECT_TRUE(rig.sim.Log().Bytes().empty());
}

TEST(BlankCheck, StopsAtTheFirstBlockThatIsNotErased) {
  Rig rig("ATmega8");
  rig.commands.BlankCheck(rig.job);
  EXPECT_EQ(rig.op.LastStatus(), "Blank check: Flash is blank");
  EXPECT_EQ(rig.results.lastOperationStatus, 0);
  EXPECT_EQ(rig.Only(CmdReadFlash).size(), 128u);

  rig.sim.SetFlashContents(10 * 64 + 5, Bytes{0x00});
  rig.sim.Log().Clear();
  rig.commands.BlankCheck(rig.job);
  EXPECT_EQ(rig.op.LastStatus(), "Blank check: Flash is not empty");
  EXPECT_EQ(rig.results.lastOperationStatus, 1);
  EXPECT_EQ(rig.Only(CmdReadFlash).size(), 11u);
}

TEST(ChipErase, InstructionsByClassAndTheSignatureAfterwards) {
  {
    Rig rig("AT89S51");
    rig.commands.ChipErase(rig.job);
    EXPECT_EQ(rig.op.LastStatus(), "Device erased");
    EXPECT_EQ(rig.results.lastOperationStatus, 0);
    std::vector<Bytes> spi4;
    for (const auto& c : rig.Only(CmdSpi4)) spi4.push_back(c.args);
    EXPECT_NE(std::find(spi4.begin(), spi4.end(), Bytes{0xAC, 0x80, 0x04, 0x00}), spi4.end());
    EXPECT_TRUE(rig.Only(CmdSpiRead4).empty());  // no signature to check
  }
  {
    Rig rig("AT89S8252");
    rig.commands.ChipErase(rig.job);
    EXPECT_EQ(rig.op.LastStatus(), "Device erased");
    std::vector<Bytes> spi3;
    for (const auto& c : rig.Only(CmdSpi3)) spi3.push_back(c.args);
    EXPECT_NE(std::find(spi3.begin(), spi3.end(), Bytes{0xAC, 0x04, 0x00}), spi3.end());
  }
  {
    SimOptions options;
    options.locked = true;
    Rig rig("ATtiny12", options);
    rig.sim.SetFlashContents(0, Bytes{0x00, 0x11});
    rig.commands.ChipErase(rig.job);
    EXPECT_EQ(rig.op.LastStatus(), "Device erased");
    EXPECT_EQ(rig.results.lastOperationStatus, 0);
    std::vector<Bytes> spi4;
    for (const auto& c : rig.Only(CmdSpi4)) spi4.push_back(c.args);
    ASSERT_GE(spi4.size(), 3u);
    EXPECT_EQ(std::vector<Bytes>(spi4.end() - 3, spi4.end()),
              (std::vector<Bytes>{{0xAC, 0x80, 0x04, 0x00}, {0x40, 0x00, 0x00, 0xFF}, {0xAC, 0x80, 0x04, 0x00}}));
    EXPECT_EQ(rig.sim.FlashContents()[0], 0xFF);
    EXPECT_FALSE(rig.sim.LockState().readProtected);
  }
  {
    SimOptions options;
    options.faults.silentAfterBytes = 13;  // the connection's bytes, then nothing answered
    Rig rig("ATmega8", options);
    rig.commands.ChipErase(rig.job);
    EXPECT_EQ(rig.results.lastOperationStatus, -1);
    EXPECT_EQ(rig.op.LastStatus(), "Connection error");
  }
}

TEST(ChipErase, At45BlocksOfEightPages) {
  zr7test::InstantClock clock;
  Rig rig("AT45DB041", {}, clock);
  rig.sim.SetFlashContents(0, Bytes(300, 0x00));
  rig.commands.ChipErase(rig.job);
  EXPECT_EQ(rig.op.LastStatus(), "Device erased");
  EXPECT_EQ(rig.results.lastOperationStatus, 0);
  std::vector<WireCommand> erases;
  for (const auto& c : rig.Only(CmdSpiWriteN))
    if (c.args.size() == 6 && c.args[2] == 0x50) erases.push_back(c);
  ASSERT_EQ(erases.size(), 249u);
  EXPECT_EQ(erases[0].args, (Bytes{0x00, 0x04, 0x50, 0x00, 0x00, 0x00}));
  EXPECT_EQ(erases[1].args, (Bytes{0x00, 0x04, 0x50, 0x00, 0x10, 0x00}));
  EXPECT_EQ(erases.back().args, (Bytes{0x00, 0x04, 0x50, 0x0F, 0x80, 0x00}));  // page 1984 << 1
  EXPECT_EQ(rig.op.ProgressBars().back(), 1984 * 100 / 1986);
  EXPECT_EQ(rig.sim.FlashContents()[0], 0xFF);
  auto sleeps = clock.Sleeps();
  EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 20), 249);  // before each block's deselect
  EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 50), 249 + 3);  // after it; Connect's own 50s too
}

TEST(ReadSignature, NamesTheChipAndSelectsIt) {
  Rig rig("ATtiny12");
  rig.job.connect.deviceNumber = FindDeviceByName("ATmega8");
  rig.commands.ReadSignature(rig.job);
  EXPECT_EQ(rig.op.LastStatus(), "Signature: 1E 90 05 - ATtiny12");
  EXPECT_EQ(rig.selection.selected, std::vector<int>{0});
  EXPECT_EQ(rig.job.connect.deviceNumber, 0);
  EXPECT_EQ(rig.op.WaitCursorDepth(), 0);

  SimOptions locked;
  locked.locked = true;
  Rig lockedRig("ATmega8", locked);
  lockedRig.commands.ReadSignature(lockedRig.job);
  EXPECT_EQ(lockedRig.op.LastStatus(), "Device is locked");

  Rig at89("AT89S52");
  at89.commands.ReadSignature(at89.job);
  EXPECT_EQ(at89.op.LastStatus(), "Signature: 1E 52 06 - AT89S52");
  EXPECT_EQ(at89.Only(CmdSpiRead4).at(1).args, (Bytes{0x28, 0x01, 0x00}));
}

TEST(OtherFamilies, RoundTripsThroughTheirOwnPaths) {
  for (const char* chip : {"AT89S51", "AT25256", "AT45DB041", "AT89S8252"}) {
    Rig rig(chip);
    const bool eepromOnly = std::string(chip) == "AT25256";
    MemoryBuffer& b = eepromOnly ? rig.eeprom : rig.flash;
    Bytes image = Counting(600, 9);
    rig.Image(b, image);
    if (eepromOnly)
      rig.commands.ProgramEeprom(rig.job);
    else
      rig.commands.ProgramFlash(rig.job);
    EXPECT_EQ(rig.results.lastOperationStatus, 0) << chip << ": " << rig.op.LastStatus();
    if (eepromOnly)
      rig.commands.VerifyEeprom(rig.job);
    else
      rig.commands.VerifyFlash(rig.job);
    EXPECT_EQ(rig.results.lastOperationStatus, 0) << chip << ": " << rig.op.LastStatus();
    EXPECT_TRUE(eepromOnly ? rig.results.eepromVerified : rig.results.flashVerified) << chip;
  }
}

TEST(ProgramEeprom, At25PagesSurviveTheWriteCycleAtHighSpeed) {
  SimOptions options;
  options.timing = zr7sim::Timing::Real;  // the chip ignores instructions while it writes
  Rig rig("AT25256", options);
  rig.job.highSpeed = true;
  Bytes image = Counting(192, 40);
  rig.Image(rig.eeprom, image);
  rig.commands.ProgramEeprom(rig.job);
  EXPECT_EQ(rig.results.lastOperationStatus, 0) << rig.op.LastStatus();
  Bytes chip = rig.sim.EepromContents();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), chip.begin()));
}

TEST(Failures, SilentBoardInTheMiddleOfATransfer) {
  SimOptions options;
  options.faults.silentAfterBytes = 200;
  Rig rig("ATmega8", options);
  rig.Image(rig.flash, Counting(4096));
  const auto start = std::chrono::steady_clock::now();
  rig.commands.ProgramFlash(rig.job);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  auto boxes = rig.BoxTexts();
  EXPECT_NE(std::find(boxes.begin(), boxes.end(), "Error programming Flash"), boxes.end());
  EXPECT_EQ(rig.op.LastStatus(), "Flash program: ERROR");
  EXPECT_EQ(rig.results.lastOperationStatus, -1);
  EXPECT_FALSE(rig.port.IsConnected());
}

}  // namespace
