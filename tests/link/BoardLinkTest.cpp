// The connection protocol over the real serial code, against the simulated board.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "BoardSimulator.h"
#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "devices/DeviceTable.h"
#include "link/BoardLink.h"
#include "link/Commands.h"
#include "link/ComPort.h"
#include "support/FakeLink.h"
#include "support/RecordingClock.h"

using namespace zr7;
using zr7sim::BoardSimulator;
using zr7sim::SimOptions;
using zr7sim::WireCommand;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int kPort = 3;  // COM3: the simulator's slave path is mapped there
constexpr int kAtmega8 = 8;
constexpr int kAt45db041 = 36;

struct Rig {
  explicit Rig(SimOptions options = {}) : sim(std::move(options)), catalog(language), link(port, op, catalog, clock) {
    std::string error;
    started = sim.Start(&error);
    EXPECT_TRUE(started) << error;
    PortMap map;
    map.Set(kPort - 1, sim.SlavePath());
    port.SetPortMap(map);
  }

  std::vector<WireCommand> Commands() { return sim.Log().Commands(); }
  std::vector<std::string> Names() {
    std::vector<std::string> out;
    for (const auto& c : Commands()) out.push_back(c.name);
    return out;
  }
  // The first logged command of this code, or nullptr.
  const WireCommand* Find(const std::vector<WireCommand>& cmds, std::uint8_t code, int nth = 0) {
    for (const auto& c : cmds)
      if (c.code == code && nth-- == 0) return &c;
    return nullptr;
  }
  bool AnyDropped() {
    for (const auto& b : sim.Log().Bytes())
      if (b.dropped) return true;
    return false;
  }
  std::vector<std::string> BoxTexts() {
    std::vector<std::string> out;
    for (const auto& b : op.Boxes()) out.push_back(b.text);
    return out;
  }

  BoardSimulator sim;
  bool started = false;
  LanguageSettings language;
  MessageCatalog catalog;
  ScriptedOperator op;
  ComPort port;
  zr7test::RecordingClock clock;
  BoardLink link;
};

ConnectOptions Options(int device = kAtmega8) {
  ConnectOptions o;
  o.deviceNumber = device;
  return o;
}

SimOptions Chip(const std::string& name) {
  SimOptions s;
  s.chip = name;
  return s;
}

TEST(BoardLinkConnect, LowSpeedSessionWireSequence) {
  Rig rig;
  ConnectOptions o = Options();
  o.spiPeriod = 1;
  o.polling = true;
  ASSERT_TRUE(rig.link.Connect(o, kPort, false));
  EXPECT_EQ(rig.op.LastStatus(), "Connection accepted");
  EXPECT_EQ(rig.link.CurrentDevice()->Name, "ATmega8");
  std::array<std::uint8_t, 3> sig{};
  ASSERT_TRUE(rig.link.ReadSignatureBytes(sig));
  EXPECT_EQ(sig, (std::array<std::uint8_t, 3>{0x1E, 0x93, 0x07}));
  ASSERT_TRUE(rig.link.EndSession());
  EXPECT_FALSE(rig.port.IsConnected());

  // EndSession's mode block closes the log.
  rig.sim.Log().WaitForCommands(12, std::chrono::milliseconds(2000));
  auto cmds = rig.Commands();
  ASSERT_EQ(cmds.size(), 12u) << rig.sim.Log().Format();
  EXPECT_EQ(rig.Names(), (std::vector<std::string>{"CmdWake", "CmdGetVersion", "CmdSetDevice", "CmdSetAddress",
                                                   "CmdSetMode", "CmdResetShort", "CmdEnableSync", "CmdSpiRead4",
                                                   "CmdSpiRead4", "CmdSpiRead4", "CmdEndSession", "CmdSetMode"}))
      << rig.sim.Log().Format();
  EXPECT_EQ(cmds[2].args, Bytes{2});            // the ATmega board device code
  EXPECT_EQ(cmds[3].args, (Bytes{0, 0}));
  EXPECT_EQ(cmds[4].args, (Bytes{0, 0, 1}));    // low speed, SPIPeriod 1 -> code 0, polling on
  EXPECT_EQ(cmds[7].args, (Bytes{0x30, 0x00, 0x00}));
  EXPECT_EQ(cmds[9].args, (Bytes{0x30, 0x00, 0x02}));
  EXPECT_EQ(cmds[11].args, (Bytes{0, 0, 1}));
  EXPECT_FALSE(rig.AnyDropped());

  // The protocol's pauses: after wake, around the mode command.
  auto sleeps = rig.clock.Sleeps();
  ASSERT_GE(sleeps.size(), 3u);
  EXPECT_EQ((std::vector<int>(sleeps.begin(), sleeps.begin() + 3)), (std::vector<int>{50, 50, 50}));
}

TEST(BoardLinkConnect, HighSpeedSwitchesAfterTheModeAcknowledgement) {
  Rig rig;
  ConnectOptions o = Options();
  o.spiPeriod = 7;
  ASSERT_TRUE(rig.link.Connect(o, kPort, true));
  EXPECT_EQ(rig.port.IsConnected(), true);
  EXPECT_EQ(rig.sim.State().baud, 115200u);
  ASSERT_TRUE(rig.link.EndSession());
  rig.sim.Log().WaitForCommands(9, std::chrono::milliseconds(2000));

  auto cmds = rig.Commands();
  const WireCommand* setMode = rig.Find(cmds, CmdSetMode, 0);
  ASSERT_NE(setMode, nullptr);
  EXPECT_EQ(setMode->args, (Bytes{1, 255, 0}));  // SPIPeriod 7 is code 255
  EXPECT_EQ(setMode->baud, 19200u);
  EXPECT_EQ(setMode->reply, Bytes{ReplyCr});
  bool afterMode = false;
  for (const auto& c : cmds) {
    if (afterMode) {
      EXPECT_EQ(c.baud, 115200u) << c.name;
    }
    if (&c == setMode) afterMode = true;
  }
  ASSERT_GE(cmds.size(), 2u);
  EXPECT_EQ(cmds[cmds.size() - 2].code, CmdEndSession);
  EXPECT_EQ(cmds.back().code, CmdSetMode);
  EXPECT_EQ(cmds.back().args, (Bytes{0, 255, 0}));
  EXPECT_EQ(cmds.back().baud, 115200u);
  // The acknowledgement of the switch travelled at the old rate.
  for (const auto& b : rig.sim.Log().Bytes()) {
    EXPECT_FALSE(b.dropped);
    EXPECT_EQ(b.hostBaud, b.boardBaud);
  }
  EXPECT_EQ(rig.sim.State().baud, 19200u);

  // The board is back at 19200: the next ordinary session works.
  EXPECT_TRUE(rig.link.Connect(Options(), kPort, false));
  EXPECT_TRUE(rig.link.EndSession());
}

TEST(BoardLinkConnect, SkippingEndSessionAfterHighSpeedBreaksTheNextConnection) {
  Rig rig;
  ASSERT_TRUE(rig.link.Connect(Options(), kPort, true));
  rig.port.Disconnect();  // a careless caller: no EndSession
  EXPECT_FALSE(rig.link.Connect(Options(), kPort, false));
  EXPECT_TRUE(rig.AnyDropped());
  EXPECT_EQ(rig.op.LastStatus(), "Connection error");
  EXPECT_FALSE(rig.port.IsConnected());
}

TEST(BoardLinkConnect, ResetStrobeLengthChoosesTheResetCommand) {
  {
    Rig rig;
    ConnectOptions o = Options();
    o.resetStrobeLengthMs = 5;
    ASSERT_TRUE(rig.link.Connect(o, kPort, false));
    rig.link.EndSession();
    auto cmds = rig.Commands();
    EXPECT_NE(rig.Find(cmds, CmdResetShort), nullptr);
    EXPECT_EQ(rig.Find(cmds, CmdResetTimed), nullptr);
  }
  {
    Rig rig;
    ConnectOptions o = Options();
    o.resetStrobeLengthMs = 6;
    ASSERT_TRUE(rig.link.Connect(o, kPort, false));
    auto statuses = rig.op.StatusTexts();
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Reset strobe... (6 ms)"), statuses.end());
    rig.link.EndSession();
    auto cmds = rig.Commands();
    const WireCommand* reset = rig.Find(cmds, CmdResetTimed);
    const WireCommand* enable = rig.Find(cmds, CmdEnableSync);
    ASSERT_NE(reset, nullptr);
    ASSERT_NE(enable, nullptr);
    EXPECT_EQ(rig.Find(cmds, CmdResetShort), nullptr);
    EXPECT_GE(enable->time - reset->time, std::chrono::milliseconds(6));
    auto sleeps = rig.clock.Sleeps();
    EXPECT_NE(std::find(sleeps.begin(), sleeps.end(), 6), sleeps.end());
  }
}

TEST(BoardLinkConnect, NoSynchronizationSendsTheEnableInstruction) {
  Rig rig;
  ConnectOptions o = Options();
  o.noSynchronization = true;
  ASSERT_TRUE(rig.link.Connect(o, kPort, false));
  std::array<std::uint8_t, 3> sig{};
  ASSERT_TRUE(rig.link.ReadSignatureBytes(sig));
  EXPECT_EQ(sig[1], 0x93);
  rig.link.EndSession();
  auto cmds = rig.Commands();
  EXPECT_EQ(rig.Find(cmds, CmdEnableSync), nullptr);
  const WireCommand* spi4 = rig.Find(cmds, CmdSpi4);
  ASSERT_NE(spi4, nullptr);
  EXPECT_EQ(spi4->args, (Bytes{0xAC, 0x53, 0x00, 0x00}));
}

TEST(BoardLinkConnect, ProgrammingClassesResetAndEnableTheirOwnWay) {
  struct Case {
    const char* chip;
    std::uint8_t enableCmd;
    Bytes enableArgs;
    std::uint8_t deviceCode;
  };
  for (const Case& c : {Case{"AT89S51", CmdSpi4, {0xAC, 0x53, 0x00, 0x00}, 1},
                        Case{"AT89S8252", CmdSpi3, {0xAC, 0x53, 0x00}, 1},
                        Case{"AT89S53", CmdSpi3, {0xAC, 0x53, 0x00}, 3},
                        Case{"AT25256", CmdSpi3, {0xAC, 0x53, 0x00}, 0}}) {
    Rig rig(Chip(c.chip));
    ASSERT_TRUE(rig.link.Connect(Options(FindDeviceByName(c.chip)), kPort, false)) << c.chip;
    EXPECT_EQ(rig.op.LastStatus(), "Connection accepted");
    rig.link.EndSession();
    auto cmds = rig.Commands();
    EXPECT_EQ(rig.Find(cmds, CmdSetDevice)->args, Bytes{c.deviceCode}) << c.chip;
    EXPECT_NE(rig.Find(cmds, CmdResetAlt), nullptr) << c.chip;
    EXPECT_EQ(rig.Find(cmds, CmdResetShort), nullptr) << c.chip;
    EXPECT_EQ(rig.Find(cmds, CmdEnableSync), nullptr) << c.chip;
    const WireCommand* enable = rig.Find(cmds, c.enableCmd);
    ASSERT_NE(enable, nullptr) << c.chip;
    EXPECT_EQ(enable->args, c.enableArgs) << c.chip;
  }
}

TEST(BoardLinkConnect, At45ProbeOutcomes) {
  {
    Rig rig(Chip("AT45DB041"));
    ConnectOptions o = Options(kAt45db041);
    o.spiPeriod = 7;
    ASSERT_TRUE(rig.link.Connect(o, kPort, false));
    EXPECT_EQ(rig.op.LastStatus(), "AT45 memory detected");
    rig.link.EndSession();
    // Connect's nine commands, then EndSession's two.
    rig.sim.Log().WaitForCommands(11, std::chrono::milliseconds(2000));
    auto cmds = rig.Commands();
    ASSERT_NE(rig.Find(cmds, CmdSetMode, 1), nullptr) << rig.sim.Log().Format();
    EXPECT_EQ(rig.Find(cmds, CmdSetMode, 0)->args, (Bytes{0, 4, 0}));  // AT45 always at code 4
    EXPECT_EQ(rig.Find(cmds, CmdSetMode, 1)->args, (Bytes{0, 255, 0}));  // the table on the way out
    ASSERT_NE(rig.Find(cmds, CmdSpiGet), nullptr);
    EXPECT_EQ(rig.Find(cmds, CmdSpiPut)->args, Bytes{0x57});
    EXPECT_EQ(rig.Find(cmds, CmdSpiGet)->reply, Bytes{0x9C});
    // No reset, no programming enable for a DataFlash.
    EXPECT_EQ(rig.Find(cmds, CmdResetShort), nullptr);
    EXPECT_EQ(rig.Find(cmds, CmdEnableSync), nullptr);
  }
  {
    SimOptions s = Chip("AT45DB041");
    s.at45Status = 0xFF;
    Rig rig(s);
    ASSERT_TRUE(rig.link.Connect(Options(kAt45db041), kPort, false));  // the operation goes on
    EXPECT_EQ(rig.op.LastStatus(), "AT45 memory not detected");
    auto cmds = rig.Commands();
    EXPECT_EQ(std::count_if(cmds.begin(), cmds.end(), [](const WireCommand& c) { return c.code == CmdSpiGet; }), 5);
    auto sleeps = rig.clock.Sleeps();
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 40), 4);  // between the five attempts
    rig.link.EndSession();
  }
  {
    Rig rig(Chip("AT45DB642"));
    ASSERT_TRUE(rig.link.Connect(Options(kAt45db041), kPort, false));
    EXPECT_EQ(rig.op.LastStatus(), "AT45 memory not detected (signature as AT45DB642)");
    rig.link.EndSession();
  }
}

TEST(BoardLinkVersion, LoaderReplyIsReportedAndTheSessionEnded) {
  SimOptions s;
  s.firmware = "ldr";
  Rig rig(s);
  EXPECT_FALSE(rig.link.Connect(Options(), kPort, false));
  EXPECT_TRUE(rig.link.LoaderMode());
  EXPECT_EQ(rig.BoxTexts(), (std::vector<std::string>{
                                "Version conflict. Update firmware version with '\\Advanced\\Update firmware version...' "
                                "command."}));
  EXPECT_EQ(rig.op.LastStatus(), "Version conflict. You need to update firmware version.");
  auto names = rig.Names();
  ASSERT_GE(names.size(), 3u);
  EXPECT_EQ(names[2], "CmdEndSession");
  EXPECT_FALSE(rig.port.IsConnected());

  // Quiet version reads still record loader mode, and show nothing.
  rig.op.ClearEvents();
  EXPECT_FALSE(rig.link.ReadVersion(kPort, true, false, true));
  EXPECT_TRUE(rig.link.LoaderMode());
  EXPECT_TRUE(rig.op.Boxes().empty());
  EXPECT_EQ(rig.link.BoardVersion(), (std::array<std::uint8_t, 3>{'l', 'd', 'r'}));
}

TEST(BoardLinkVersion, OtherVersionIsAConflict) {
  SimOptions s;
  s.firmware = "911";
  Rig rig(s);
  EXPECT_FALSE(rig.link.Connect(Options(), kPort, false));
  EXPECT_TRUE(rig.link.VersionConflict());
  EXPECT_FALSE(rig.link.LoaderMode());
  EXPECT_EQ(rig.BoxTexts(), (std::vector<std::string>{
                                "Version conflict.\nZR7 version: 9.11\nRequired version 9.10.\nUpdate version and try again."}));
  EXPECT_EQ(rig.op.LastStatus(), "Version conflict. You need to update firmware version.");

  rig.op.ClearEvents();
  EXPECT_FALSE(rig.link.ReadVersion(kPort, true, true, true));
  EXPECT_TRUE(rig.link.VersionConflict());
  EXPECT_TRUE(rig.op.Events().empty());
  EXPECT_FALSE(rig.port.IsConnected());
  rig.sim.Log().WaitForCommands(7, std::chrono::milliseconds(2000));
  EXPECT_EQ(rig.Names().back(), "CmdQuit");

  // Without the check the board answers and the port stays open for further commands.
  EXPECT_TRUE(rig.link.ReadVersion(kPort, false, false, false));
  EXPECT_TRUE(rig.port.IsConnected());
  EXPECT_FALSE(rig.link.VersionConflict());
  EXPECT_TRUE(rig.link.Quit());
}

TEST(BoardLinkVersion, InternalErrorReply) {
  SimOptions s;
  s.firmware = "err";
  Rig rig(s);
  EXPECT_FALSE(rig.link.Connect(Options(), kPort, false));
  EXPECT_EQ(rig.BoxTexts(), (std::vector<std::string>{"Internal error while synchronizing with ZR7"}));
  EXPECT_EQ(rig.op.LastStatus(), "Connection error");
  EXPECT_FALSE(rig.link.LoaderMode());
  EXPECT_FALSE(rig.link.VersionConflict());
}

TEST(BoardLinkFailures, PortThatCannotOpenSendsNothing) {
  Rig rig;
  EXPECT_FALSE(rig.link.Connect(Options(), 5, false));  // COM5 has no device here
  EXPECT_EQ(rig.op.StatusTexts(), std::vector<std::string>{"Connection error"});
  EXPECT_EQ(rig.BoxTexts(), std::vector<std::string>{
                                "Connection error: cannot open COM port. Check for other applications using it."});
  EXPECT_FALSE(rig.link.ReadVersion(5, true, true, false));  // silent: nothing shown
  EXPECT_EQ(rig.op.Boxes().size(), 1u);
  EXPECT_TRUE(rig.sim.Log().Bytes().empty());
}

TEST(BoardLinkFailures, DeviceOutsideTheTableIsRefusedBeforeTheWire) {
  Rig rig;
  EXPECT_FALSE(rig.link.Connect(Options(41), kPort, false));
  EXPECT_FALSE(rig.link.Connect(Options(-1), kPort, false));
  EXPECT_EQ(rig.op.LastStatus(), "Connection error");
  EXPECT_TRUE(rig.sim.Log().Bytes().empty());
}

TEST(BoardLinkFailures, WrongAcknowledgementEndsTheConnection) {
  SimOptions s;
  s.faults.badAckAtCommand = 3;  // CmdSetDevice
  Rig rig(s);
  EXPECT_FALSE(rig.link.Connect(Options(), kPort, false));
  EXPECT_EQ(rig.BoxTexts(), std::vector<std::string>{"Connection error"});
  EXPECT_EQ(rig.op.LastStatus(), "Connection error");
  EXPECT_FALSE(rig.port.IsConnected());
  rig.sim.Log().WaitForCommands(5, std::chrono::milliseconds(2000));
  auto names = rig.Names();
  ASSERT_EQ(names.size(), 5u) << rig.sim.Log().Format();
  EXPECT_EQ(names[3], "CmdEndSession");  // nothing more of the connection after the bad byte
  EXPECT_EQ(names[4], "CmdSetMode");
}

TEST(BoardLinkFailures, SilentBoardFailsWithinItsDeadline) {
  SimOptions s;
  s.faults.silentAfterBytes = 0;
  Rig rig(s);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(rig.link.Connect(Options(), kPort, false));
  auto took = std::chrono::steady_clock::now() - start;
  // The version reply times out, then EndSession's own acknowledgement does.
  EXPECT_LT(took, std::chrono::milliseconds(5500));
  EXPECT_EQ(rig.BoxTexts(), std::vector<std::string>{"Connection error"});
  EXPECT_EQ(rig.op.LastStatus(), "Connection error");
  EXPECT_FALSE(rig.port.IsConnected());
}

TEST(BoardLinkIdent, ReadsIdentificationAndSerialNumber) {
  Rig rig;
  std::string ident;
  std::array<std::uint8_t, 5> serial{};
  ASSERT_TRUE(rig.link.ReadBoardIdent(kPort, &ident, &serial, true));
  EXPECT_EQ(ident, "ZR7 9.10");
  EXPECT_EQ(serial, (std::array<std::uint8_t, 5>{0x01, 0x23, 0x45, 0x67, 0x89}));
  EXPECT_EQ(rig.op.LastStatus(), "ZR7 9.10 (Serial number 01 23 45 67 89)");
  EXPECT_EQ(rig.op.StatusTexts().front(), "Reading firmware version...");
  EXPECT_TRUE(rig.op.Boxes().empty());
  EXPECT_EQ(rig.op.WaitCursorDepth(), 0);
  EXPECT_EQ(rig.op.MaxWaitCursorDepth(), 1);
  EXPECT_FALSE(rig.port.IsConnected());
  rig.sim.Log().WaitForCommands(5, std::chrono::milliseconds(2000));
  EXPECT_EQ(rig.Names(), (std::vector<std::string>{"CmdWake", "CmdGetVersion", "CmdGetIdent", "CmdGetSerial", "CmdQuit"}));
}

TEST(BoardLinkIdent, UnprintableCharactersShowAsQuestionMarks) {
  SimOptions s;
  s.ident = std::string("ZR7\x01" "9.1\xFF", 8);
  Rig rig(s);
  std::string ident;
  ASSERT_TRUE(rig.link.ReadBoardIdent(kPort, &ident, nullptr, true));
  EXPECT_EQ(ident, s.ident);  // kept as the board sent it
  EXPECT_EQ(rig.op.LastStatus(), "ZR7?9.1? (Serial number 01 23 45 67 89)");
}

TEST(BoardLinkIdent, NoBoardChosen) {
  Rig rig;
  std::string ident;
  EXPECT_FALSE(rig.link.ReadBoardIdent(0, &ident, nullptr, true));
  EXPECT_EQ(ident, "Unknown firmware version");
  EXPECT_EQ(rig.op.LastStatus(), "Select COM port or click 'search board'");
  EXPECT_EQ(rig.BoxTexts(), std::vector<std::string>{"No board specified"});
  EXPECT_TRUE(rig.sim.Log().Bytes().empty());
}

TEST(BoardLinkIdent, UnansweredRequestsFail) {
  {
    SimOptions s;
    s.faults.noIdentReply = true;
    Rig rig(s);
    std::string ident;
    EXPECT_FALSE(rig.link.ReadBoardIdent(kPort, &ident, nullptr, true));
    EXPECT_EQ(ident, "Unknown firmware version");
    EXPECT_EQ(rig.op.LastStatus(), "Error reading version");
    EXPECT_EQ(rig.BoxTexts(), std::vector<std::string>{"Error reading version"});
    EXPECT_EQ(rig.op.WaitCursorDepth(), 0);
    EXPECT_FALSE(rig.port.IsConnected());
  }
  {
    SimOptions s;
    s.faults.noSerialReply = true;
    Rig rig(s);
    EXPECT_FALSE(rig.link.ReadBoardIdent(kPort, nullptr, nullptr, true));
    EXPECT_EQ(rig.BoxTexts(), std::vector<std::string>{"Error reading serial number"});
    EXPECT_EQ(rig.op.WaitCursorDepth(), 0);
    EXPECT_FALSE(rig.port.IsConnected());
  }
}

TEST(BoardLinkIdent, VersionMessagesOnlyWhenAskedFor) {
  SimOptions s;
  s.firmware = "911";
  Rig rig(s);
  EXPECT_FALSE(rig.link.ReadBoardIdent(kPort, nullptr, nullptr, false));
  EXPECT_TRUE(rig.op.Boxes().empty());
  EXPECT_TRUE(rig.link.VersionConflict());
  EXPECT_EQ(rig.op.WaitCursorDepth(), 0);
  EXPECT_FALSE(rig.link.ReadBoardIdent(kPort, nullptr, nullptr, true));
  EXPECT_EQ(rig.op.Boxes().size(), 1u);
}

TEST(BoardLinkIdent, FailedSerialRequestStillShowsTheIdentification) {
  zr7test::FakeLink fake;
  fake.Then({CmdWake});
  fake.Then({CmdGetVersion}, {'9', '1', '0'});
  fake.Then({CmdGetIdent}, {8, 'Z', 'R', '7', ' ', '9', '.', '1', '0', ReplyCr});
  fake.ThenSendFails({CmdGetSerial});
  fake.ThenSendFails({CmdQuit});
  LanguageSettings language;
  MessageCatalog catalog(language);
  ScriptedOperator op;
  zr7test::RecordingClock clock;
  BoardLink link(fake, op, catalog, clock);
  std::string ident;
  std::array<std::uint8_t, 5> serial{9, 9, 9, 9, 9};
  EXPECT_TRUE(link.ReadBoardIdent(kPort, &ident, &serial, true));
  EXPECT_EQ(ident, "ZR7 9.10");
  EXPECT_EQ(link.BoardIdent(), "ZR7 9.10");
  EXPECT_EQ(op.LastStatus(), "ZR7 9.10");
  EXPECT_EQ(serial, (std::array<std::uint8_t, 5>{9, 9, 9, 9, 9}));  // untouched
  std::vector<std::string> boxes;
  for (const auto& b : op.Boxes()) boxes.push_back(b.text);
  EXPECT_EQ(boxes, (std::vector<std::string>{"Error reading serial number", "Warning: incorrect disconnection."}));
  EXPECT_FALSE(fake.SawUnexpectedWrite());
  EXPECT_TRUE(fake.ScriptDone());
  EXPECT_EQ(fake.OpenedIndex(), kPort - 1);
}

TEST(BoardLinkSignature, LockedChipReadsZeroOneTwo) {
  SimOptions s;
  s.locked = true;
  Rig rig(s);
  ASSERT_TRUE(rig.link.Connect(Options(), kPort, false));
  std::array<std::uint8_t, 3> sig{};
  ASSERT_TRUE(rig.link.ReadSignatureBytes(sig));
  EXPECT_EQ(sig, (std::array<std::uint8_t, 3>{0x00, 0x01, 0x02}));
  rig.link.EndSession();
}

TEST(BoardLinkSignature, FailedReadLeavesTheRestUnread) {
  zr7test::FakeLink fake;
  fake.Open(0, 19200);
  fake.Then({CmdSpiRead4, 0x30, 0x00, 0x00}, {0x1E});
  fake.Then({CmdSpiRead4, 0x30, 0x00, 0x01});  // no answer
  LanguageSettings language;
  MessageCatalog catalog(language);
  ScriptedOperator op;
  BoardLink link(fake, op, catalog);
  std::array<std::uint8_t, 3> sig{};
  EXPECT_FALSE(link.ReadSignatureBytes(sig));
  EXPECT_EQ(sig, (std::array<std::uint8_t, 3>{0x1E, 0xFF, 0xFF}));
  EXPECT_EQ(fake.Writes().size(), 2u);
}

}  // namespace
