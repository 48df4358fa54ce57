// The chip commands end to end: the real serial code, the simulated board and chip, and the
// bytes on the wire for each family's path.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <numeric>

#include "devices/DeviceTable.h"
#include "link/Commands.h"
#include "support/BoardRig.h"
#include "support/RecordingClock.h"

using namespace zr7;
using zr7sim::SimOptions;
using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;
using Outcome = std::pair<std::string, int>;  // the status line and the last operation's result

namespace {

struct Selection : ViewInterface {
  void DeviceSelected(int d) override { selected.push_back(d); }
  std::vector<int> selected;
};

// The shared rig with the window's device selection recorded.
struct Rig : zr7test::BoardRig {
  explicit Rig(const std::string& chip, SimOptions options = {}, Clock* clock = nullptr)
      : BoardRig(chip, {.sim = options, .clock = clock}) {
    bench.ShowIn(&selection);
    EXPECT_TRUE(started) << error;
  }
  // The arguments of every command of this code the board received.
  std::vector<Bytes> Sent(std::uint8_t code) {
    std::vector<Bytes> out;
    for (const auto& c : Only(code)) out.push_back(c.args);
    return out;
  }
  Outcome Ended() const { return {op.LastStatus(), results.lastOperationStatus}; }
  bool AllStates(const MemoryBuffer& b, std::uint8_t state) {
    return std::all_of(b.states().begin(), b.states().end(), [&](std::uint8_t s) { return s == state; });
  }

  Selection selection;
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
  EXPECT_EQ(rig.Ended(), Outcome("Flash program: Done (100 bytes programmed)", 0));
  auto writes = rig.Sent(CmdWriteFlash);
  ASSERT_EQ(writes.size(), 8u);
  for (const auto& w : writes) EXPECT_EQ(w.size(), 17u);  // count 16, then the quarter
  EXPECT_EQ(writes[7].back(), 0xFF);                      // the second page is padded
  EXPECT_EQ(rig.Sent(CmdSpi4), (std::vector<Bytes>{{0x4C, 0x00, 0x00, 0x00}, {0x4C, 0x00, 0x20, 0x00}}));
  EXPECT_EQ(rig.Sent(CmdSetByteDelay).at(0), Bytes{185});
  EXPECT_TRUE(rig.AllStates(rig.flash, StateWritten));
  Bytes chip = rig.sim.FlashContents();
  EXPECT_TRUE(std::equal(rig.flash.data().begin(), rig.flash.data().end(), chip.begin()));
  EXPECT_EQ(chip[100], 0xFF);
  EXPECT_FALSE(rig.op.ProgressBars().empty());

  // Erased pages are skipped but counted.
  Bytes image(128, 0xFF);
  image[64] = 0x12;
  rig.Image(rig.flash, image);
  rig.sim.SetFlashContents(0, Bytes(8192, 0xFF));
  rig.sim.Log().Clear();
  rig.commands.ProgramFlash(rig.job);
  EXPECT_EQ(rig.results.lastOperationStatus, 0);
  EXPECT_EQ(rig.CountOf(CmdWriteFlash), 4u);
  EXPECT_EQ(rig.Sent(CmdSpi4), (std::vector<Bytes>{{0x4C, 0x00, 0x20, 0x00}}));
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
  EXPECT_EQ(rig.Sent(CmdSpi4), (std::vector<Bytes>{{0x4D, 0x00, 0x00, 0x00}, {0x4C, 0x00, 0x00, 0x00},
                                                   {0x4D, 0x00, 0x01, 0x00}, {0x4C, 0x00, 0x00, 0x00}}));
  Bytes chip = rig.sim.FlashContents();
  EXPECT_EQ(chip[0], 0xA5);  // not overwritten by the page of the second bank
  EXPECT_EQ(chip[128 * 1024 + 2], 0x5A);

  // Chips up to 128 KB see no extended address.
  Rig small("ATmega128");
  small.Image(small.flash, image);  // longer than the chip: answer the size warning with OK
  small.op.QueueAnswer(BoxAnswer::Ok);
  small.commands.ProgramFlash(small.job);
  for (const auto& args : small.Sent(CmdSpi4)) EXPECT_NE(args[0], 0x4D);
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
    SCOPED_TRACE(c.status);
    Rig rig("ATmega8");
    const Bytes image = Counting(8192 + 64, 0x11);
    rig.sim.SetFlashContents(0, Bytes(image.begin(), image.begin() + 8192));
    rig.Image(rig.flash, image);
    rig.op.QueueAnswer(c.answer);
    c.verify ? rig.commands.VerifyFlash(rig.job) : rig.commands.ProgramFlash(rig.job);
    ASSERT_FALSE(rig.op.Boxes().empty());
    EXPECT_EQ(rig.op.Boxes()[0].text, "Warning: only first 8192 bytes Flash will be processed.");
    EXPECT_EQ(rig.op.Boxes()[0].buttons, BoxButtons::OkCancel);
    EXPECT_EQ(rig.op.LastStatus(), c.status);
    const bool ok = c.answer == BoxAnswer::Ok;
    EXPECT_EQ(rig.results.lastOperationStatus, ok ? 0 : -1);
    EXPECT_EQ(rig.Only(c.verify ? CmdReadFlash : CmdWriteFlash).empty(), !ok);
  }
}

// The window's menu items stay enabled where the buttons are greyed: the handlers refuse what
// cannot be done before the board hears a byte, and writing nothing is no success.
TEST(ChipCommands, WhatCannotBeDoneSendsNothing) {
  const struct {
    const char* chip;
    std::function<void(Rig&)> call;
    const char* status;
  } cases[] = {
      {"ATmega8", [](Rig& r) { r.commands.ProgramFlash(r.job); }, "The Flash image is empty: nothing was programmed."},
      {"ATmega8", [](Rig& r) { r.commands.ProgramEeprom(r.job); }, "The Eeprom image is empty: nothing was programmed."},
      {"ATmega8", [](Rig& r) { r.commands.VerifyFlash(r.job); }, "No Flash file selected"},
      {"AT89S51", [](Rig& r) { EXPECT_FALSE(r.commands.ReadEeprom(r.job)); }, "This device does not have Eeprom on-chip"},
      {"AT45DB041", [](Rig& r) { EXPECT_FALSE(r.commands.ReadEeprom(r.job)); }, "This device does not have Eeprom on-chip"},
      {"AT45DB041",
       [](Rig& r) {
         r.Image(r.eeprom, Counting(100));
         r.commands.ProgramEeprom(r.job);
       },
       "The command 'Program Eeprom' is not available for the AT45DB041: nothing was sent to the board."},
      {"AT45DB041",
       [](Rig& r) {
         r.Image(r.eeprom, Counting(100));
         r.commands.VerifyEeprom(r.job);
       },
       "This device doesn't have Eeprom on-chip"},
      {"AT25256", [](Rig& r) { r.commands.ChipErase(r.job); },
       "The command 'Chip erase' is not available for the AT25256: nothing was sent to the board."},
      {"AT25256", [](Rig& r) { r.commands.BlankCheck(r.job); },
       "The command 'Blank check' is not available for the AT25256: nothing was sent to the board."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    Rig rig(c.chip);
    rig.results.lastOperationStatus = 0;
    c.call(rig);
    EXPECT_EQ(rig.op.LastStatus(), c.status);
    const bool read = std::string(c.status).find("does not have") != std::string::npos;
    EXPECT_EQ(rig.results.lastOperationStatus, read ? 0 : -1);
    EXPECT_TRUE(rig.sim.Log().Bytes().empty());
    EXPECT_TRUE(rig.op.Boxes().empty());
  }
}

TEST(ProgramEeprom, BlocksOf64AndTheRest) {
  Rig rig("ATmega16");  // 512 bytes of Eeprom
  rig.Image(rig.eeprom, Counting(130));
  rig.commands.ProgramEeprom(rig.job);
  EXPECT_EQ(rig.op.LastStatus(), "Eeprom program: Done (130 bytes programmed)");
  std::vector<int> counts;
  for (const auto& args : rig.Sent(CmdWriteEeprom)) counts.push_back(args[0]);
  EXPECT_EQ(counts, (std::vector<int>{64, 64, 2}));
  EXPECT_EQ(rig.Sent(CmdSetByteDelay).at(0), Bytes{129});  // the chip's Eeprom write code
  Bytes chip = rig.sim.EepromContents();
  EXPECT_TRUE(std::equal(rig.eeprom.data().begin(), rig.eeprom.data().end(), chip.begin()));
}

TEST(ProgramFlash, ByteDelayOverrideAndPollingFailure) {
  Rig rig("AT90S2313", {.faults = {.escAtDataBlock = 2}});  // byte-mode Flash
  rig.job.transfer.delayByte = true;
  rig.job.transfer.delayByteValue = 19;
  rig.Image(rig.flash, Counting(200));
  rig.commands.ProgramFlash(rig.job);
  EXPECT_EQ(rig.Sent(CmdSetByteDelay).at(0), Bytes{0xF5});
  EXPECT_EQ(rig.op.BoxTexts(), Texts{"Error during polling"});
  EXPECT_EQ(rig.Ended(), Outcome("Error during polling", -1));
  EXPECT_EQ(rig.flash.states()[0], StateWritten);
  EXPECT_EQ(rig.flash.states()[64], StatePending);
}

TEST(ProgramFlash, CancelStopsAtAUnitBoundary) {
  Rig rig("ATmega8");
  rig.Image(rig.flash, Counting(8192, 3));
  rig.op.CancelProgressAt(50);
  rig.commands.ProgramFlash(rig.job);
  EXPECT_EQ(rig.Ended(), Outcome("Programming cancelled", -1));
  EXPECT_EQ(rig.flash.states().front(), StateWritten);
  EXPECT_EQ(rig.flash.states().back(), StatePending);
  EXPECT_FALSE(rig.bench.port.IsConnected());
}

TEST(ProgramFlash, SignatureCheckAsksAndLockedChipsAreErasedFirst) {
  Rig rig("ATtiny12");
  rig.job.connect.deviceNumber = FindDeviceByName("ATmega8");  // the wrong chip is selected
  rig.job.transfer.checkSign = true;
  rig.Image(rig.flash, Counting(10));
  rig.op.QueueAnswer(BoxAnswer::No);
  rig.commands.ProgramFlash(rig.job);
  EXPECT_EQ(rig.op.BoxTexts(), Texts{"Device signature does not match your selection or device is "
                                     "locked. Do you still want to program it?"});
  EXPECT_EQ(rig.op.Boxes()[0].defaultAnswer, std::nullopt);
  EXPECT_EQ(rig.Ended(), Outcome("Programming cancelled", -1));
  EXPECT_TRUE(rig.Only(CmdWriteFlash).empty());

  Rig locked("ATmega8", {.locked = true});
  locked.job.transfer.checkSign = true;
  locked.Image(locked.flash, Counting(64, 7));
  locked.op.QueueAnswer(BoxAnswer::Yes);
  locked.commands.ProgramFlash(locked.job);
  EXPECT_EQ(locked.op.BoxTexts(), Texts{"Device is locked. Erase it now?"});
  EXPECT_EQ(locked.op.Boxes()[0].defaultAnswer, BoxAnswer::No) << "Enter must not erase a locked chip";
  EXPECT_EQ(locked.Sent(CmdSpi4).at(0), (Bytes{0xAC, 0x80, 0x04, 0x00}));
  EXPECT_EQ(locked.results.lastOperationStatus, 0);
  EXPECT_EQ(locked.sim.FlashContents()[1], 8);
}

// The serial number is counted big-endian in up to four bytes after programming; the chip got the
// number before the increment.
TEST(ProgramFlash, AutoIncrementAfterProgramming) {
  Rig rig("ATmega8");
  rig.job.transfer.autoIncrementFlash = true;
  rig.job.transfer.autoIncAddressFlash = 3;
  rig.Image(rig.flash, Bytes{0x00, 0x00, 0xFF, 0xFF}, "serial.hex");
  rig.commands.ProgramFlash(rig.job);
  EXPECT_EQ(rig.sim.FlashContents()[3], 0xFF);
  EXPECT_EQ(rig.flash.data(), (Bytes{0x00, 0x01, 0x00, 0x00}));
  EXPECT_EQ(rig.flash.states(), (Bytes{StateWritten, StateChanged, StateChanged, StateChanged}));
  EXPECT_TRUE(rig.flash.modified());

  auto run = [&](const Bytes& data, std::int32_t address, bool named = true) {
    rig.Image(rig.flash, data, named ? "x.hex" : std::string(Unspecified));
    ChipCommands::AutoIncrement(rig.flash, true, address);
    return rig.flash.data();
  };
  EXPECT_EQ(run({0x00, 0x00, 0xFF, 0xFF}, 2), (Bytes{0x00, 0x01, 0x00, 0xFF}));
  EXPECT_EQ(run({0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 4), (Bytes{0xFF, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(run({0x10, 0x20}, 7), (Bytes{0x10, 0x21}));   // beyond the image: the last byte
  EXPECT_EQ(run({0x10, 0x20}, -5), (Bytes{0x10, 0x21}));  // a negative address likewise
  EXPECT_EQ(run({0x10, 0x20}, 0, false), (Bytes{0x10, 0x20}));  // an image without a file
}

TEST(ReadFlash, BlocksOf64AndTheLengthLineOrHowFarACancelGot) {
  Rig rig("ATmega8");
  Bytes content = Counting(8192);
  rig.sim.SetFlashContents(0, content);
  EXPECT_TRUE(rig.commands.ReadFlash(rig.job));
  EXPECT_EQ(rig.flash.data(), content);
  EXPECT_EQ(rig.CountOf(CmdReadFlash), 128u);
  const unsigned sum = std::accumulate(content.begin(), content.end(), 0u) & 0xFFFF;
  EXPECT_EQ(rig.op.LastStatus(), FormatText("Flash length: 8192 (0x2000) bytes, Checksum = 0x%04X", sum));
  const Texts statuses = rig.op.StatusTexts();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Flash read: OK"), statuses.end());
  EXPECT_TRUE(rig.AllStates(rig.flash, StateRead));

  rig.op.CancelProgressAt(50);
  EXPECT_FALSE(rig.commands.ReadFlash(rig.job));
  const auto& s = rig.flash.states();
  const auto read = std::count(s.begin(), s.end(), std::uint8_t{StateRead});
  EXPECT_GT(read, 0);
  EXPECT_LT(read, 8192);
  EXPECT_EQ(std::count(s.begin(), s.end(), std::uint8_t{StatePending}), 8192 - read);
  EXPECT_EQ(s.back(), StatePending);
  EXPECT_EQ(rig.flash.data().back(), 0xFF);
  EXPECT_EQ(rig.op.LastStatus(), FormatText("Flash read cancelled: %d of %d bytes read, the rest is marked as not read",
                                            static_cast<int>(read), 8192));
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
}

TEST(BlankCheck, StopsAtTheFirstBlockThatIsNotErased) {
  Rig rig("ATmega8");
  rig.commands.BlankCheck(rig.job);
  EXPECT_EQ(rig.Ended(), Outcome("Blank check: Flash is blank", 0));
  EXPECT_EQ(rig.CountOf(CmdReadFlash), 128u);

  rig.sim.SetFlashContents(10 * 64 + 5, Bytes{0x00});
  rig.sim.Log().Clear();
  rig.commands.BlankCheck(rig.job);
  EXPECT_EQ(rig.Ended(), Outcome("Blank check: Flash is not empty", 1));
  EXPECT_EQ(rig.CountOf(CmdReadFlash), 11u);
}

TEST(ChipErase, InstructionsByClassAndTheSignatureAfterwards) {
  Rig at89("AT89S51");
  at89.commands.ChipErase(at89.job);
  EXPECT_EQ(at89.Ended(), Outcome("Device erased", 0));
  const auto spi4 = at89.Sent(CmdSpi4);
  EXPECT_NE(std::find(spi4.begin(), spi4.end(), Bytes{0xAC, 0x80, 0x04, 0x00}), spi4.end());
  EXPECT_TRUE(at89.Only(CmdSpiRead4).empty());  // no signature to check

  Rig s8252("AT89S8252");
  s8252.commands.ChipErase(s8252.job);
  EXPECT_EQ(s8252.op.LastStatus(), "Device erased");
  const auto spi3 = s8252.Sent(CmdSpi3);
  EXPECT_NE(std::find(spi3.begin(), spi3.end(), Bytes{0xAC, 0x04, 0x00}), spi3.end());

  Rig tiny("ATtiny12", {.locked = true});
  tiny.sim.SetFlashContents(0, Bytes{0x00, 0x11});
  tiny.commands.ChipErase(tiny.job);
  EXPECT_EQ(tiny.Ended(), Outcome("Device erased", 0));
  const auto tinySpi4 = tiny.Sent(CmdSpi4);
  ASSERT_GE(tinySpi4.size(), 3u);
  EXPECT_EQ(std::vector<Bytes>(tinySpi4.end() - 3, tinySpi4.end()),
            (std::vector<Bytes>{{0xAC, 0x80, 0x04, 0x00}, {0x40, 0x00, 0x00, 0xFF}, {0xAC, 0x80, 0x04, 0x00}}));
  EXPECT_EQ(tiny.sim.FlashContents()[0], 0xFF);
  EXPECT_FALSE(tiny.sim.LockState().readProtected);

  Rig silent("ATmega8", {.faults = {.silentAfterBytes = 13}});  // the connection's bytes, then nothing
  silent.commands.ChipErase(silent.job);
  EXPECT_EQ(silent.Ended(), Outcome("Connection error", -1));
}

TEST(ChipErase, At45BlocksOfEightPages) {
  zr7test::InstantClock clock;
  Rig rig("AT45DB041", {}, &clock);
  rig.sim.SetFlashContents(0, Bytes(300, 0x00));
  rig.commands.ChipErase(rig.job);
  EXPECT_EQ(rig.Ended(), Outcome("Device erased", 0));
  std::vector<Bytes> erases;
  for (const auto& args : rig.Sent(CmdSpiWriteN))
    if (args.size() == 6 && args[2] == 0x50) erases.push_back(args);
  ASSERT_EQ(erases.size(), 249u);
  EXPECT_EQ(erases[0], (Bytes{0x00, 0x04, 0x50, 0x00, 0x00, 0x00}));
  EXPECT_EQ(erases[1], (Bytes{0x00, 0x04, 0x50, 0x00, 0x10, 0x00}));
  EXPECT_EQ(erases.back(), (Bytes{0x00, 0x04, 0x50, 0x0F, 0x80, 0x00}));  // page 1984 << 1
  EXPECT_EQ(rig.op.ProgressBars().back(), 1984 * 100 / 1986);
  EXPECT_EQ(rig.sim.FlashContents()[0], 0xFF);
  auto sleeps = clock.Sleeps();
  EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 20), 249);      // before each block's deselect
  EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 50), 249 + 3);  // after it; Connect's own 50s too
}

// The Signature button reads and names the chip, and selects it; a DataFlash has no signature:
// the connection says whether the memory answers.
TEST(ReadSignature, NamesTheChipAndSelectsIt) {
  Rig rig("ATtiny12");
  rig.job.connect.deviceNumber = FindDeviceByName("ATmega8");
  EXPECT_TRUE(rig.commands.SignatureButton(rig.job));
  EXPECT_EQ(rig.op.LastStatus(), "Signature: 1E 90 05 - ATtiny12");
  EXPECT_EQ(rig.selection.selected, std::vector<int>{0});
  EXPECT_EQ(rig.job.connect.deviceNumber, 0);
  EXPECT_EQ(rig.op.WaitCursorDepth(), 0);

  Rig locked("ATmega8", {.locked = true});
  locked.commands.ReadSignature(locked.job);
  EXPECT_EQ(locked.op.LastStatus(), "Device is locked");

  Rig at89("AT89S52");
  at89.commands.SignatureButton(at89.job);
  EXPECT_EQ(at89.op.LastStatus(), "Signature: 1E 52 06 - AT89S52");
  EXPECT_EQ(at89.Sent(CmdSpiRead4).at(1), (Bytes{0x28, 0x01, 0x00}));

  Rig at45("AT45DB041");
  EXPECT_TRUE(at45.commands.SignatureButton(at45.job));
  EXPECT_EQ(at45.op.LastStatus(), "AT45 memory detected");
  EXPECT_EQ(at45.CountOf(CmdSpiRead4), 0u);
}

TEST(OtherFamilies, RoundTripsThroughTheirOwnPaths) {
  for (const char* chip : {"AT89S51", "AT25256", "AT45DB041", "AT89S8252"}) {
    SCOPED_TRACE(chip);
    Rig rig(chip);
    const bool eeprom = std::string(chip) == "AT25256";
    rig.Image(eeprom ? rig.eeprom : rig.flash, Counting(600, 9));
    eeprom ? rig.commands.ProgramEeprom(rig.job) : rig.commands.ProgramFlash(rig.job);
    EXPECT_EQ(rig.results.lastOperationStatus, 0) << rig.op.LastStatus();
    eeprom ? rig.commands.VerifyEeprom(rig.job) : rig.commands.VerifyFlash(rig.job);
    EXPECT_EQ(rig.results.lastOperationStatus, 0) << rig.op.LastStatus();
    EXPECT_TRUE(eeprom ? rig.results.eepromVerified : rig.results.flashVerified);
    // A page's padding leaves the bytes after the image erased.
    EXPECT_EQ((eeprom ? rig.sim.EepromContents() : rig.sim.FlashContents()).at(600), 0xFF);
  }
}

TEST(ProgramEeprom, At25PagesSurviveTheWriteCycleAtHighSpeed) {
  Rig rig("AT25256", {.timing = zr7sim::Timing::Real});  // the chip ignores instructions while it writes
  rig.job.highSpeed = true;
  const Bytes image = Counting(192, 40);
  rig.Image(rig.eeprom, image);
  rig.commands.ProgramEeprom(rig.job);
  EXPECT_EQ(rig.results.lastOperationStatus, 0) << rig.op.LastStatus();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), rig.sim.EepromContents().begin()));
}

TEST(Failures, SilentBoardInTheMiddleOfATransfer) {
  Rig rig("ATmega8", {.faults = {.silentAfterBytes = 200}});
  rig.Image(rig.flash, Counting(4096));
  const auto start = std::chrono::steady_clock::now();
  rig.commands.ProgramFlash(rig.job);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  const Texts boxes = rig.op.BoxTexts();
  EXPECT_NE(std::find(boxes.begin(), boxes.end(), "Error programming Flash"), boxes.end());
  EXPECT_EQ(rig.Ended(), Outcome("Flash program: ERROR", -1));
  EXPECT_FALSE(rig.bench.port.IsConnected());
}

}  // namespace
