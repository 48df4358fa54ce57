// Search, board information and calibration bytes over the real serial code, against one
// simulated board per port.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>

#include "BoardSimulator.h"
#include "devices/DeviceTable.h"
#include "link/BoardLink.h"
#include "link/BoardManagement.h"
#include "link/Commands.h"
#include "session/Workbench.h"
#include "support/RecordingClock.h"
#include "support/ScriptedOperator.h"
#include "text/MessageCatalog.h"

using namespace zr7;
using zr7sim::BoardSimulator;
using zr7sim::SimOptions;
using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

namespace {

// Boards on some of COM1..COM8; every other port names a path that does not exist, so it
// costs no wait.
struct Rig {
  explicit Rig(std::map<int, SimOptions> boards) {
    PortMap& map = bench.ports;
    for (int i = 0; i < PortCount; ++i) map.Set(i, "/nonexistent/zr7-board-" + std::to_string(i));
    for (auto& [com, options] : boards) {
      auto sim = std::make_unique<BoardSimulator>(options);
      std::string error;
      EXPECT_TRUE(sim->Start(&error)) << error;
      map.Set(com - 1, sim->SlavePath());
      sims[com] = std::move(sim);
    }
    bench.port.SetPortMap(map);
  }
  // The commands the board on COM`com` received, "CmdSpiRead4 38 00 01", once `count` are in.
  Texts Wire(int com, std::size_t count) {
    sims[com]->Log().WaitForCommands(count, std::chrono::milliseconds(500));
    Texts out;
    for (const auto& c : sims[com]->Log().Commands()) {
      out.push_back(c.name);
      for (std::uint8_t b : c.args) out.back() += FormatText(" %02X", b);
    }
    return out;
  }
  bool Slept(int ms) const {
    const auto s = clock.Sleeps();
    return std::find(s.begin(), s.end(), ms) != s.end();
  }

  std::map<int, std::unique_ptr<BoardSimulator>> sims;
  LanguageSettings language;
  MessageCatalog catalog{language};
  ScriptedOperator op;
  Profile profile{"", op, catalog};
  zr7test::InstantClock clock;
  Workbench bench{{op, catalog, profile, clock}};
  BoardManagement board{bench.link};
};

ConnectOptions Device(const char* name) { return {.deviceNumber = FindDeviceByName(name)}; }

// Ports in order; connection errors on the empty ones stay silent; a board of another version is
// shown but not listed; one without a readable identification is listed as unknown.
TEST(SearchBoard, ListsTheBoardsInPortOrderAndChoosesTheFirst) {
  const struct {
    std::map<int, SimOptions> boards;
    int port;
    std::vector<int> ports;
    std::string list;
    Texts boxes;
  } cases[] = {
      {{{5, {.ident = "ZR7 9.10 five"}}, {2, {.ident = "ZR7 9.10 two"}}},
       2, {2, 5}, "ZR7 9.10 two on COM2,  ZR7 9.10 five on COM5", {}},
      {{}, 0, {}, "ZR7 was not found", {}},
      {{{4, {.firmware = "911"}}, {6, {}}}, 6, {6}, "ZR7 9.10 on COM6",
       {"Version conflict.\nZR7 version: 9.11\nRequired version 9.10.\nUpdate version and try again."}},
      // The silent identification costs the 2000 ms of one unanswered read.
      {{{3, {.faults = {.noIdentReply = true}}}, {7, {.ident = "ZR7\x01" "9.10"}}},
       3, {3, 7}, "Unknown version on COM3,  ZR7?9.10 on COM7", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.list);
    Rig rig(c.boards);
    const auto started = std::chrono::steady_clock::now();
    const SearchResult found = rig.board.SearchBoard();
    if (c.boards.empty()) {
      EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
    }
    EXPECT_EQ(found.port, c.port);
    EXPECT_EQ(found.ports, c.ports);
    EXPECT_EQ(found.listText, c.list);
    EXPECT_EQ(rig.op.LastStatus(), c.list);
    EXPECT_EQ(rig.op.BoxTexts(), c.boxes);
    Texts searching;
    for (const auto& s : rig.op.StatusTexts())
      if (s.rfind("Searching", 0) == 0) searching.push_back(s);
    ASSERT_EQ(searching.size(), 9u);
    EXPECT_EQ(searching[0], "Searching for ZR7...");
    for (int com = 1; com <= 8; ++com) EXPECT_EQ(searching[com], "Searching for ZR7 on COM" + std::to_string(com));
    EXPECT_EQ(rig.op.WaitCursorDepth(), 0);
    EXPECT_FALSE(rig.bench.port.IsConnected());
    // The identification gets its short pause before the length byte is read.
    EXPECT_EQ(rig.Slept(20), !c.ports.empty());
    for (int com : c.ports) EXPECT_EQ(rig.Wire(com, 4), (Texts{"CmdWake", "CmdGetVersion", "CmdGetIdent", "CmdQuit"}));
  }
}

TEST(ShowBoardInfo, NoticeShowsVersionVoltageAndSerial) {
  Rig rig({{1, {}}, {2, {.ident = "Z\tR"}}, {3, {.ident = ""}}});
  std::string ident;
  std::array<std::uint8_t, 5> serial{};
  ASSERT_TRUE(rig.board.ShowBoardInfo(1, &ident, &serial));
  EXPECT_EQ(ident, "ZR7 9.10");
  EXPECT_EQ(serial, (std::array<std::uint8_t, 5>{0x01, 0x23, 0x45, 0x67, 0x89}));
  EXPECT_EQ(rig.op.LastStatus(), "ZR7 9.10 (Serial number 01 23 45 67 89)");
  // Short or unprintable identifications show question marks.
  ASSERT_TRUE(rig.board.ShowBoardInfo(2));
  ASSERT_TRUE(rig.board.ShowBoardInfo(3));
  const char* rest = "\nVoltage: 3.3...5.5V\nSerial number: 01 23 45 67 89";
  EXPECT_EQ(rig.op.BoxTexts(), (Texts{std::string("ZR7 Version 9.10") + rest, std::string("Z?R Version ?.??") + rest,
                                      std::string("??? Version ?.??") + rest}));
  EXPECT_EQ(rig.op.Boxes()[0].icon, BoxIcon::None);
}

TEST(ShowBoardInfo, IdentVersionCharsCoverEveryLength) {
  EXPECT_EQ(std::string(IdentVersionChars("ZR7 9.10").data(), 6), "ZR7910");
  EXPECT_EQ(std::string(IdentVersionChars("ZR7 9.1").data(), 6), "ZR791?");
  EXPECT_EQ(std::string(IdentVersionChars("ZR7 9.10 extra").data(), 6), "ZR7910");
  EXPECT_EQ(std::string(IdentVersionChars(std::string("ZR7 \x7F.10")).data(), 6), "ZR7?10");
  EXPECT_EQ(PrintableText(std::string("a\nb\x80~", 5)), "a?b?~");
}

// One line per frequency, with singular headings for a single byte.
TEST(ReadCalibration, ReadsTheChipsBytesAndShowsThem) {
  const struct {
    const char* chip;
    Bytes bytes;
    const char* status;
    const char* box;
  } cases[] = {
      {"ATmega8", {0xA1, 0xB2, 0xC3, 0xD4}, "Calibration bytes: A1 B2 C3 D4",
       "Calibration bytes:\n\n    1 MHz: 0xA1\n    2 MHz: 0xB2\n    4 MHz: 0xC3\n    8 MHz: 0xD4"},
      {"ATmega48", {0x5A}, "Calibration byte: 5A", "Calibration byte:\n\n    1 MHz: 0x5A"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.chip);
    Rig rig({{3, {.chip = c.chip, .calibration = c.bytes}}});
    CalibrationResult result;
    ASSERT_TRUE(rig.board.ReadCalibration(Device(c.chip), 3, &result));
    EXPECT_EQ(result.bytes, c.bytes);
    EXPECT_EQ(rig.op.LastStatus(), c.status);
    EXPECT_EQ(rig.op.BoxTexts(), Texts{c.box});
    const Texts statuses = rig.op.StatusTexts();
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Reading calibration bytes..."), statuses.end());
    EXPECT_TRUE(rig.Slept(40));
    EXPECT_FALSE(rig.bench.port.IsConnected());
    EXPECT_EQ(rig.op.WaitCursorDepth(), 0);
    Texts wire{"CmdWake",       "CmdGetVersion", "CmdSetDevice 02", "CmdSetAddress 00 00", "CmdSetMode 00 04 00",
               "CmdResetShort", "CmdEnableSync"};
    for (std::size_t i = 0; i < c.bytes.size(); ++i) wire.push_back(FormatText("CmdSpiRead4 38 00 %02X", int(i)));
    wire.insert(wire.end(), {"CmdEndSession", "CmdSetMode 00 04 00"});
    EXPECT_EQ(rig.Wire(3, wire.size()), wire);
  }
}

TEST(ReadCalibration, ASilentChipEndsTheSessionAndNoPortIsCheckedBeforeAnyOpen) {
  Rig rig({{2, SimOptions{}}});
  auto hostBytes = [&] {
    Bytes out;
    for (const auto& b : rig.sims[2]->Log().Bytes())
      if (b.direction == zr7sim::Direction::HostToBoard) out.push_back(b.value);
    return out;
  };
  EXPECT_FALSE(rig.board.ReadCalibration(Device("ATmega8"), 0));
  EXPECT_EQ(rig.op.LastStatus(), "Select COM port or click 'search board'");
  EXPECT_EQ(rig.op.BoxTexts(), (Texts{"No board specified"}));
  EXPECT_TRUE(hostBytes().empty());

  // The connection's 13 bytes and the first read are answered, the second read is not (two 2000 ms waits).
  rig.op.ClearEvents();
  rig.sims[2]->SetFaults({.silentAfterBytes = 13 + 4});
  EXPECT_FALSE(rig.board.ReadCalibration(Device("ATmega8"), 2));
  EXPECT_EQ(rig.op.LastStatus(), "Error reading calibration bytes");
  EXPECT_EQ(rig.op.BoxTexts(), (Texts{"Connection error"}));
  EXPECT_FALSE(rig.bench.port.IsConnected());
  EXPECT_EQ(rig.op.WaitCursorDepth(), 0);
  // After the unanswered second read the session was ended, not simply dropped.
  const Bytes wire = hostBytes();
  ASSERT_GE(wire.size(), 5u);
  EXPECT_EQ(Bytes(wire.end() - 5, wire.end()), (Bytes{CmdSpiRead4, 0x38, 0x00, 0x01, CmdEndSession}));
}

}  // namespace
