// The connection protocol over the real serial code, against the simulated board.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "devices/DeviceTable.h"
#include "link/BoardLink.h"
#include "link/Commands.h"
#include "link/ComPort.h"
#include "support/BoardRig.h"
#include "support/FakeLink.h"
#include "support/RecordingClock.h"
#include "support/TempFolder.h"

using namespace zr7;
using zr7sim::SimOptions;
using Texts = std::vector<std::string>;
using Signature = std::array<std::uint8_t, 3>;

namespace {

constexpr int kPort = 3;

// The shared rig at the link's level, every wait written down; COM5 leads nowhere.
struct Rig : zr7test::BoardRig {
  explicit Rig(SimOptions options = {})
      : BoardRig(options.chip, {.sim = options, .clock = &clock, .boardPort = kPort}), port(bench.port) {
    EXPECT_TRUE(started) << error;
    bench.ports.Set(4, "/nonexistent/zr7-com5");
    port.SetPortMap(bench.ports);
  }
  // The commands the board received, "CmdSetMode 00 04 00", once `count` are in (or 2 s passed).
  Texts Wire(std::size_t count) {
    sim.Log().WaitForCommands(count, std::chrono::milliseconds(2000));
    Texts out;
    for (const auto& c : Commands()) {
      out.push_back(c.name);
      for (std::uint8_t b : c.args) out.back() += FormatText(" %02X", b);
    }
    return out;
  }
  bool AnyDropped() {
    const auto& bytes = sim.Log().Bytes();
    return std::any_of(bytes.begin(), bytes.end(), [](const auto& b) { return b.dropped; });
  }
  int Slept(int ms) const {
    const auto s = clock.Sleeps();
    return static_cast<int>(std::count(s.begin(), s.end(), ms));
  }

  zr7test::RecordingClock clock;
  ComPort& port;
};

TEST(BoardLinkConnect, LowSpeedSessionWireSequence) {
  Rig rig;
  ASSERT_TRUE(rig.link.Connect({.spiPeriod = 1, .polling = true}, kPort, false));
  EXPECT_EQ(rig.op.LastStatus(), "Connection accepted");
  EXPECT_EQ(rig.link.CurrentDevice()->Name, "ATmega8");
  Signature sig{};
  ASSERT_TRUE(rig.link.ReadSignatureBytes(sig));
  EXPECT_EQ(sig, (Signature{0x1E, 0x93, 0x07}));
  ASSERT_TRUE(rig.link.EndSession());
  EXPECT_FALSE(rig.port.IsConnected());
  // The ATmega board device code; low speed, SPIPeriod 1 is code 0, polling on.
  EXPECT_EQ(rig.Wire(12), (Texts{"CmdWake", "CmdGetVersion", "CmdSetDevice 02", "CmdSetAddress 00 00",
                                 "CmdSetMode 00 00 01", "CmdResetShort", "CmdEnableSync", "CmdSpiRead4 30 00 00",
                                 "CmdSpiRead4 30 00 01", "CmdSpiRead4 30 00 02", "CmdEndSession", "CmdSetMode 00 00 01"}))
      << rig.sim.Log().Format();
  EXPECT_FALSE(rig.AnyDropped());
  // After wake, and around the mode command.
  auto sleeps = rig.clock.Sleeps();
  sleeps.resize(3);
  EXPECT_EQ(sleeps, (std::vector<int>{50, 50, 50}));
}

TEST(BoardLinkConnect, HighSpeedSwitchesAfterTheModeAcknowledgementAndBackAtEndSession) {
  Rig rig;
  ASSERT_TRUE(rig.link.Connect({.spiPeriod = 7}, kPort, true));
  ASSERT_TRUE(rig.link.EndSession());
  // SPIPeriod 7 is code 255.
  ASSERT_EQ(rig.Wire(9), (Texts{"CmdWake", "CmdGetVersion", "CmdSetDevice 02", "CmdSetAddress 00 00", "CmdSetMode 01 FF 00",
                                "CmdResetShort", "CmdEnableSync", "CmdEndSession", "CmdSetMode 00 FF 00"}));
  const auto cmds = rig.Commands();
  EXPECT_EQ(cmds[4].reply, std::vector<std::uint8_t>{ReplyCr});
  for (std::size_t i = 0; i < cmds.size(); ++i) EXPECT_EQ(cmds[i].baud, i <= 4 ? 19200u : 115200u) << cmds[i].name;
  // The acknowledgement of the switch travelled at the old rate.
  for (const auto& b : rig.sim.Log().Bytes()) EXPECT_EQ(b.hostBaud, b.boardBaud);
  EXPECT_TRUE(rig.link.Connect({}, kPort, false));
  EXPECT_TRUE(rig.link.EndSession());

  // Without EndSession the board stays at 115200 and the next connection fails.
  ASSERT_TRUE(rig.link.Connect({}, kPort, true));
  rig.port.Disconnect();
  EXPECT_FALSE(rig.link.Connect({}, kPort, false));
  EXPECT_TRUE(rig.AnyDropped());
  EXPECT_EQ(rig.op.LastStatus(), "Connection error");
  EXPECT_FALSE(rig.port.IsConnected());
}

// The reset and the programming enable follow the chip's class and the options.
TEST(BoardLinkConnect, ResetAndEnableByClassAndOptions) {
  const struct {
    const char* chip;
    ConnectOptions options;
    Texts setDeviceResetEnable;
  } cases[] = {
      {"ATmega8", {.resetStrobeLengthMs = 5}, {"CmdSetDevice 02", "CmdResetShort", "CmdEnableSync"}},
      {"ATmega8", {.resetStrobeLengthMs = 6}, {"CmdSetDevice 02", "CmdResetTimed", "CmdEnableSync"}},
      {"ATmega8", {.noSynchronization = true}, {"CmdSetDevice 02", "CmdResetShort", "CmdSpi4 AC 53 00 00"}},
      {"AT89S51", {}, {"CmdSetDevice 01", "CmdResetAlt", "CmdSpi4 AC 53 00 00"}},
      {"AT89S8252", {}, {"CmdSetDevice 01", "CmdResetAlt", "CmdSpi3 AC 53 00"}},
      {"AT89S53", {}, {"CmdSetDevice 03", "CmdResetAlt", "CmdSpi3 AC 53 00"}},
      {"AT25256", {}, {"CmdSetDevice 00", "CmdResetAlt", "CmdSpi3 AC 53 00"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.chip << " row " << (&c - cases));
    Rig rig({.chip = c.chip});
    ConnectOptions o = c.options;
    o.deviceNumber = FindDeviceByName(c.chip);
    ASSERT_TRUE(rig.link.Connect(o, kPort, false));
    EXPECT_EQ(rig.op.LastStatus(), "Connection accepted");
    const Texts statuses = rig.op.StatusTexts();
    const bool timed = c.setDeviceResetEnable[1] == "CmdResetTimed";
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "Reset strobe... (6 ms)"), timed ? 1 : 0);
    rig.link.EndSession();
    const Texts& mid = c.setDeviceResetEnable;
    ASSERT_EQ(rig.Wire(9), (Texts{"CmdWake", "CmdGetVersion", mid[0], "CmdSetAddress 00 00", "CmdSetMode 00 04 00", mid[1],
                                  mid[2], "CmdEndSession", "CmdSetMode 00 04 00"}));
    EXPECT_EQ(rig.Slept(6), timed ? 1 : 0);
    if (timed) {
      EXPECT_GE(rig.Only(CmdEnableSync).at(0).time - rig.Only(CmdResetTimed).at(0).time, std::chrono::milliseconds(6));
    }
  }
}

// A DataFlash is neither reset nor enabled: its status byte names it, at clock code 4 whatever
// the options say, and the operation goes on whatever answered.
TEST(BoardLinkConnect, At45ProbeOutcomes) {
  const struct {
    SimOptions sim;
    const char* status;
    std::uint8_t reply;
    int attempts;
  } cases[] = {
      {{.chip = "AT45DB041"}, "AT45 memory detected", 0x9C, 1},
      {{.chip = "AT45DB041", .at45Status = 0xFF}, "AT45 memory not detected", 0xFF, 5},
      {{.chip = "AT45DB642"}, "AT45 memory not detected (signature as AT45DB642)", 0xBC, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    Rig rig(c.sim);
    ASSERT_TRUE(rig.link.Connect({.deviceNumber = FindDeviceByName("AT45DB041"), .spiPeriod = 7}, kPort, false));
    EXPECT_EQ(rig.op.LastStatus(), c.status);
    rig.link.EndSession();
    Texts expected{"CmdWake", "CmdGetVersion", "CmdSetDevice 00", "CmdSetAddress 00 00", "CmdSetMode 00 04 00"};
    for (int i = 0; i < c.attempts; ++i)
      expected.insert(expected.end(), {"CmdFlashSelect", "CmdSpiPut 57", "CmdSpiGet", "CmdFlashDeselect"});
    expected.insert(expected.end(), {"CmdEndSession", "CmdSetMode 00 FF 00"});  // the options' code on the way out
    EXPECT_EQ(rig.Wire(expected.size()), expected) << rig.sim.Log().Format();
    EXPECT_EQ(rig.Only(CmdSpiGet).at(0).reply, std::vector<std::uint8_t>{c.reply});
    EXPECT_EQ(rig.Slept(40), c.attempts - 1);  // between the attempts
  }
}

// A board that answers another version: the connection is refused and ended; a quiet read
// records the same and shows nothing; a read without the check leaves the port open.
TEST(BoardLinkVersion, RepliesOtherThanTheRequiredVersion) {
  const struct {
    const char* firmware;
    const char* box;
    const char* status;
    bool loader, conflict;
  } cases[] = {
      {"ldr", "Version conflict. Update firmware version with '\\Advanced\\Update firmware version...' command.",
       "Version conflict. You need to update firmware version.", true, false},
      {"911", "Version conflict.\nZR7 version: 9.11\nRequired version 9.10.\nUpdate version and try again.",
       "Version conflict. You need to update firmware version.", false, true},
      {"err", "Internal error while synchronizing with ZR7", "Connection error", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.firmware);
    Rig rig({.firmware = c.firmware});
    EXPECT_FALSE(rig.link.Connect({}, kPort, false));
    EXPECT_EQ(rig.link.LoaderMode(), c.loader);
    EXPECT_EQ(rig.link.VersionConflict(), c.conflict);
    EXPECT_EQ(rig.op.BoxTexts(), Texts{c.box});
    EXPECT_EQ(rig.op.LastStatus(), c.status);
    EXPECT_FALSE(rig.port.IsConnected());

    rig.op.ClearEvents();
    EXPECT_FALSE(rig.link.ReadBoardIdent(kPort, nullptr, nullptr, false));
    EXPECT_EQ(rig.link.LoaderMode(), c.loader);
    EXPECT_EQ(rig.link.VersionConflict(), c.conflict);
    EXPECT_EQ(rig.op.StatusTexts(), Texts{"Reading firmware version..."});
    EXPECT_TRUE(rig.op.Boxes().empty());
    EXPECT_EQ(rig.op.WaitCursorDepth(), 0);
    const auto& version = rig.link.BoardVersion();
    EXPECT_EQ(std::string(version.begin(), version.end()), c.firmware);
    EXPECT_FALSE(rig.port.IsConnected());
    EXPECT_EQ(rig.Wire(7), (Texts{"CmdWake", "CmdGetVersion", "CmdEndSession", "CmdSetMode 00 04 00", "CmdWake",
                                  "CmdGetVersion", "CmdQuit"}));
    EXPECT_FALSE(rig.link.ReadBoardIdent(kPort, nullptr, nullptr, true));
    EXPECT_EQ(rig.op.BoxTexts(), Texts{c.box});

    EXPECT_TRUE(rig.link.ReadVersion(kPort, false, false, false));
    EXPECT_TRUE(rig.port.IsConnected());
    EXPECT_FALSE(rig.link.VersionConflict() || rig.link.LoaderMode());
    EXPECT_TRUE(rig.link.Quit());
  }
}

// Refusals that come before any byte reaches the board.
TEST(BoardLinkFailures, RefusedBeforeTheWire) {
  zr7test::TempFolder folder;
  const std::string plain = folder.File("not-a-tty", "");  // COM6
  const struct {
    std::function<bool(BoardLink&)> call;
    Texts statuses, boxes;
  } cases[] = {
      // COM5 cannot open; a silent version read there adds nothing.
      {[](BoardLink& l) { return l.Connect({}, 5, false) || l.ReadVersion(5, true, true, false); },
       {"Connection error"},
       {"Connection error: cannot open COM port. Check for other applications using it."}},
      {[](BoardLink& l) { return l.Connect({}, 6, false); }, {"Connection error"},
       {"Connection error: " + plain + " is not a serial port."}},
      {[](BoardLink& l) { return l.Connect({.deviceNumber = 41}, kPort, false); }, {"Connection error"}, {"Connection error"}},
      {[](BoardLink& l) { return l.Connect({.deviceNumber = -1}, kPort, false); }, {"Connection error"}, {"Connection error"}},
      {[](BoardLink& l) { return l.ReadBoardIdent(0, nullptr, nullptr, true); },
       {"Reading firmware version...", "Select COM port or click 'search board'"},
       {"No board specified"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.statuses.back() + " / " + c.boxes[0]);
    Rig rig;
    rig.bench.ports.Set(5, plain);
    rig.port.SetPortMap(rig.bench.ports);
    EXPECT_FALSE(c.call(rig.link));
    EXPECT_EQ(rig.op.StatusTexts(), c.statuses);
    EXPECT_EQ(rig.op.BoxTexts(), c.boxes);
    EXPECT_TRUE(rig.sim.Log().Bytes().empty());
  }
}

// A board that answers wrongly or not at all: the session is ended, within its deadline (a
// version reply that times out, then EndSession's own acknowledgement), and nothing more sent.
TEST(BoardLinkFailures, ABoardFailingMidConnectionEndsIt) {
  for (const auto& faults : {zr7sim::SimFaults{.badAckAtCommand = 3}, zr7sim::SimFaults{.silentAfterBytes = 0}}) {
    SCOPED_TRACE(faults.badAckAtCommand);
    Rig rig({.faults = faults});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(rig.link.Connect({}, kPort, false));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5500));
    EXPECT_EQ(rig.op.BoxTexts(), Texts{"Connection error"});
    EXPECT_EQ(rig.op.LastStatus(), "Connection error");
    EXPECT_FALSE(rig.port.IsConnected());
    if (faults.badAckAtCommand == 3) {  // CmdSetDevice
      EXPECT_EQ(rig.Wire(5), (Texts{"CmdWake", "CmdGetVersion", "CmdSetDevice 02", "CmdEndSession", "CmdSetMode 00 04 00"}));
    }
  }
}

// Kept as the board sent it, shown with question marks for what cannot be shown.
TEST(BoardLinkIdent, ReadsIdentificationAndSerialNumber) {
  for (const auto& [ident, shown] : {std::pair<std::string, std::string>{"ZR7 9.10", "ZR7 9.10"},
                                     {std::string("ZR7\x01 9~\x7F", 8), "ZR7? 9~?"}}) {
    Rig rig({.ident = ident});
    std::string got;
    std::array<std::uint8_t, 5> serial{};
    ASSERT_TRUE(rig.link.ReadBoardIdent(kPort, &got, &serial, true));
    EXPECT_EQ(got, ident);
    EXPECT_EQ(serial, (std::array<std::uint8_t, 5>{0x01, 0x23, 0x45, 0x67, 0x89}));
    EXPECT_EQ(rig.op.StatusTexts(), (Texts{"Reading firmware version...", shown + " (Serial number 01 23 45 67 89)"}));
    EXPECT_TRUE(rig.op.Boxes().empty());
    EXPECT_EQ(rig.op.WaitCursorDepth(), 0);
    EXPECT_EQ(rig.op.MaxWaitCursorDepth(), 1);
    EXPECT_FALSE(rig.port.IsConnected());
    EXPECT_EQ(rig.Wire(5), (Texts{"CmdWake", "CmdGetVersion", "CmdGetIdent", "CmdGetSerial", "CmdQuit"}));
  }
}

TEST(BoardLinkIdent, UnansweredRequestsFail) {
  for (const auto& faults : {zr7sim::SimFaults{.noIdentReply = true}, zr7sim::SimFaults{.noSerialReply = true}}) {
    SCOPED_TRACE(faults.noIdentReply);
    Rig rig({.faults = faults});
    std::string ident;
    EXPECT_FALSE(rig.link.ReadBoardIdent(kPort, &ident, nullptr, true));
    EXPECT_EQ(ident, "Unknown firmware version");
    const char* box = faults.noIdentReply ? "Error reading version" : "Error reading serial number";
    EXPECT_EQ(rig.op.BoxTexts(), Texts{box});
    if (faults.noIdentReply) {
      EXPECT_EQ(rig.op.LastStatus(), box);
    }
    EXPECT_EQ(rig.op.WaitCursorDepth(), 0);
    EXPECT_FALSE(rig.port.IsConnected());
  }
}

// On a scripted link: failures a pseudo-terminal cannot produce on demand.
TEST(BoardLinkIdent, FailedSerialRequestStillShowsTheIdentification) {
  zr7test::FakeLink fake;
  zr7test::BoardRig s("ATmega8", {.wire = &fake, .start = false});
  fake.Then({CmdWake});
  fake.Then({CmdGetVersion}, {'9', '1', '0'});
  fake.Then({CmdGetIdent}, {8, 'Z', 'R', '7', ' ', '9', '.', '1', '0', ReplyCr});
  fake.ThenSendFails({CmdGetSerial});
  fake.ThenSendFails({CmdQuit});
  std::string ident;
  std::array<std::uint8_t, 5> serial{9, 9, 9, 9, 9};
  EXPECT_TRUE(s.link.ReadBoardIdent(kPort, &ident, &serial, true));
  EXPECT_EQ(ident, "ZR7 9.10");
  EXPECT_EQ(s.link.BoardIdent(), "ZR7 9.10");
  EXPECT_EQ(s.op.LastStatus(), "ZR7 9.10");
  EXPECT_EQ(serial, (std::array<std::uint8_t, 5>{9, 9, 9, 9, 9}));  // untouched
  EXPECT_EQ(s.op.BoxTexts(), (Texts{"Error reading serial number", "Warning: incorrect disconnection."}));
  EXPECT_FALSE(fake.SawUnexpectedWrite());
  EXPECT_TRUE(fake.ScriptDone());
  EXPECT_EQ(fake.OpenedIndex(), kPort - 1);
}

TEST(BoardLinkSignature, LockedChipReadsZeroOneTwoAndAFailedReadOrSendLeavesTheRestUnread) {
  Rig rig({.locked = true});
  ASSERT_TRUE(rig.link.Connect({}, kPort, false));
  Signature sig{};
  ASSERT_TRUE(rig.link.ReadSignatureBytes(sig));
  EXPECT_EQ(sig, (Signature{0x00, 0x01, 0x02}));
  rig.link.EndSession();

  zr7test::FakeLink fake;
  zr7test::BoardRig s("ATmega8", {.wire = &fake, .start = false});
  fake.Open(0, LowBaud);
  fake.Then({CmdSpiRead4, 0x30, 0x00, 0x00}, {0x1E});
  fake.Then({CmdSpiRead4, 0x30, 0x00, 0x01});  // no answer
  EXPECT_FALSE(s.link.ReadSignatureBytes(sig));
  EXPECT_EQ(sig, (Signature{0x1E, 0xFF, 0xFF}));
  EXPECT_EQ(fake.Writes().size(), 2u);
  fake.ThenSendFails({CmdSpiRead4, 0x30, 0x00, 0x00});
  EXPECT_FALSE(s.link.ReadSignatureBytes(sig));
  EXPECT_EQ(sig, (Signature{0xFF, 0xFF, 0xFF}));
}

}  // namespace
