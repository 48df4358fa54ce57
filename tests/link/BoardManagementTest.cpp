// Search, board information and calibration bytes over the real serial code, against one
// simulated board per port.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>

#include "BoardSimulator.h"
#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "link/BoardLink.h"
#include "link/BoardManagement.h"
#include "link/Commands.h"
#include "link/ComPort.h"
#include "support/RecordingClock.h"

using namespace zr7;
using zr7sim::BoardSimulator;
using zr7sim::SimOptions;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int kAtmega8 = 8;   // four calibration bytes
constexpr int kAtmega48 = 7;  // one (its data sheet; the table once gave it four)

SimOptions Board(const std::string& ident = "ZR7 9.10") {
  SimOptions s;
  s.ident = ident;
  return s;
}

// Boards on some of COM1..COM8; every other port names a path that does not exist, so it
// costs no wait.
struct Rig {
  explicit Rig(std::map<int, SimOptions> boards) : catalog(language), link(port, op, catalog, clock) {
    PortMap map;
    for (int i = 0; i < PortCount; ++i) map.Set(i, "/nonexistent/zr7-board-" + std::to_string(i));
    for (auto& [com, options] : boards) {
      auto sim = std::make_unique<BoardSimulator>(options);
      std::string error;
      EXPECT_TRUE(sim->Start(&error)) << error;
      map.Set(com - 1, sim->SlavePath());
      sims[com] = std::move(sim);
    }
    port.SetPortMap(map);
  }

  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> out;
    for (const auto& b : op.Boxes()) out.push_back(b.text);
    return out;
  }
  std::vector<std::string> Names(int com) {
    std::vector<std::string> out;
    for (const auto& c : sims[com]->Log().Commands()) out.push_back(c.name);
    return out;
  }

  std::map<int, std::unique_ptr<BoardSimulator>> sims;
  LanguageSettings language;
  MessageCatalog catalog;
  ScriptedOperator op;
  ComPort port;
  zr7test::InstantClock clock;
  BoardLink link;
  BoardManagement board{link};
};

ConnectOptions Device(int number) {
  ConnectOptions o;
  o.deviceNumber = number;
  return o;
}

TEST(SearchBoard, TwoBoardsAreListedInPortOrderAndTheFirstIsChosen) {
  Rig rig({{5, Board("ZR7 9.10 five")}, {2, Board("ZR7 9.10 two")}});
  const SearchResult found = rig.board.SearchBoard();
  EXPECT_EQ(found.port, 2);
  EXPECT_EQ(found.ports, (std::vector<int>{2, 5}));
  EXPECT_EQ(found.listText, "ZR7 9.10 two on COM2,  ZR7 9.10 five on COM5");
  EXPECT_EQ(rig.op.LastStatus(), found.listText);
  EXPECT_TRUE(rig.op.Boxes().empty()) << "connection errors on the empty ports stay silent";

  // Every port is announced, in order, after the opening line.
  auto statuses = rig.op.StatusTexts();
  ASSERT_GE(statuses.size(), 9u);
  EXPECT_EQ(statuses[0], "Searching for ZR7...");
  for (int com = 1; com <= 8; ++com) EXPECT_EQ(statuses[com], "Searching for ZR7 on COM" + std::to_string(com));
  EXPECT_EQ(rig.op.WaitCursorDepth(), 0);
  EXPECT_FALSE(rig.port.IsConnected());
  // Each board's connection ends with CmdQuit.
  rig.sims[5]->Log().WaitForCommands(4, std::chrono::milliseconds(500));
  EXPECT_EQ(rig.Names(5), (std::vector<std::string>{"CmdWake", "CmdGetVersion", "CmdGetIdent", "CmdQuit"}));
  // The identification gets its short pause before the length byte is read.
  auto sleeps = rig.clock.Sleeps();
  EXPECT_NE(std::find(sleeps.begin(), sleeps.end(), 20), sleeps.end());
}

TEST(SearchBoard, NothingFoundLeavesNoPortAndSaysSo) {
  Rig rig({});
  const auto started = std::chrono::steady_clock::now();
  const SearchResult found = rig.board.SearchBoard();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500)) << "missing paths cost no wait";
  EXPECT_EQ(found.port, 0);
  EXPECT_EQ(rig.op.LastStatus(), "ZR7 was not found");
  EXPECT_TRUE(rig.op.Boxes().empty());
}

TEST(SearchBoard, ABoardOfAnotherVersionIsShownButNotListed) {
  SimOptions old = Board();
  old.firmware = "911";
  Rig rig({{4, old}, {6, Board()}});
  const SearchResult found = rig.board.SearchBoard();
  EXPECT_EQ(found.port, 6);
  EXPECT_EQ(found.listText, "ZR7 9.10 on COM6");
  ASSERT_EQ(rig.op.Boxes().size(), 1u);
  EXPECT_NE(rig.BoxTexts()[0].find("ZR7 version: 9.11"), std::string::npos) << rig.BoxTexts()[0];
}

TEST(SearchBoard, BoardsWithoutAReadableIdentificationAreListedAsUnknown) {
  SimOptions silent = Board();
  silent.faults.noIdentReply = true;  // costs the 2000 ms of one unanswered read
  Rig rig({{3, silent}, {7, Board("ZR7\x01" "9.10")}});
  const SearchResult found = rig.board.SearchBoard();
  EXPECT_EQ(found.listText, "Unknown version on COM3,  ZR7?9.10 on COM7");
  EXPECT_EQ(found.port, 3);
}

TEST(ShowBoardInfo, NoticeShowsVersionVoltageAndSerial) {
  Rig rig({{2, Board()}});
  std::string ident;
  std::array<std::uint8_t, 5> serial{};
  ASSERT_TRUE(rig.board.ShowBoardInfo(2, &ident, &serial));
  EXPECT_EQ(ident, "ZR7 9.10");
  EXPECT_EQ(serial, (std::array<std::uint8_t, 5>{0x01, 0x23, 0x45, 0x67, 0x89}));
  ASSERT_EQ(rig.op.Boxes().size(), 1u);
  EXPECT_EQ(rig.op.Boxes()[0].text, "ZR7 Version 9.10\nVoltage: 3.3...5.5V\nSerial number: 01 23 45 67 89");
  EXPECT_EQ(rig.op.Boxes()[0].icon, BoxIcon::None);
  EXPECT_EQ(rig.op.LastStatus(), "ZR7 9.10 (Serial number 01 23 45 67 89)");
}

TEST(ShowBoardInfo, ShortOrUnprintableIdentificationShowsQuestionMarks) {
  Rig rig({{1, Board("Z\tR")}, {2, Board("")}});
  ASSERT_TRUE(rig.board.ShowBoardInfo(1));
  ASSERT_TRUE(rig.board.ShowBoardInfo(2));
  auto boxes = rig.BoxTexts();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].substr(0, boxes[0].find('\n')), "Z?R Version ?.??");
  EXPECT_EQ(boxes[1].substr(0, boxes[1].find('\n')), "??? Version ?.??");
}

TEST(ShowBoardInfo, NoPortChosenAsksForOneWithoutTouchingAnyBoard) {
  Rig rig({{1, Board()}});
  EXPECT_FALSE(rig.board.ShowBoardInfo(0));
  EXPECT_EQ(rig.op.LastStatus(), "Select COM port or click 'search board'");
  EXPECT_EQ(rig.BoxTexts(), (std::vector<std::string>{"No board specified"}));
  EXPECT_TRUE(rig.sims[1]->Log().Bytes().empty());
}

TEST(ShowBoardInfo, IdentVersionCharsCoverEveryLength) {
  EXPECT_EQ(std::string(IdentVersionChars("ZR7 9.10").data(), 6), "ZR7910");
  EXPECT_EQ(std::string(IdentVersionChars("ZR7 9.1").data(), 6), "ZR791?");
  EXPECT_EQ(std::string(IdentVersionChars("ZR7 9.10 extra").data(), 6), "ZR7910");
  EXPECT_EQ(std::string(IdentVersionChars(std::string("ZR7 \x7F.10")).data(), 6), "ZR7?10");
  EXPECT_EQ(PrintableText(std::string("a\nb\x80", 4)), "a?b?");
}

TEST(ReadCalibration, FourBytesGetOneLinePerFrequency) {
  SimOptions s = Board();
  s.calibration = {0xA1, 0xB2, 0xC3, 0xD4};
  Rig rig({{3, s}});
  CalibrationResult result;
  ASSERT_TRUE(rig.board.ReadCalibration(Device(kAtmega8), 3, &result));
  EXPECT_EQ(result.bytes, (Bytes{0xA1, 0xB2, 0xC3, 0xD4}));
  EXPECT_EQ(rig.op.LastStatus(), "Calibration bytes: A1 B2 C3 D4");
  EXPECT_EQ(rig.BoxTexts(), (std::vector<std::string>{"Calibration bytes:\n\n    1 MHz: 0xA1\n    2 MHz: 0xB2\n"
                                                       "    4 MHz: 0xC3\n    8 MHz: 0xD4"}));
  auto statuses = rig.op.StatusTexts();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Reading calibration bytes..."), statuses.end());
  auto sleeps = rig.clock.Sleeps();
  EXPECT_NE(std::find(sleeps.begin(), sleeps.end(), 40), sleeps.end());

  rig.sims[3]->Log().WaitForCommands(13, std::chrono::milliseconds(500));
  std::vector<Bytes> reads;
  for (const auto& c : rig.sims[3]->Log().Commands())
    if (c.code == CmdSpiRead4) reads.push_back(c.args);
  EXPECT_EQ(reads, (std::vector<Bytes>{{0x38, 0, 0}, {0x38, 0, 1}, {0x38, 0, 2}, {0x38, 0, 3}}));
  const auto names = rig.Names(3);
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(names[names.size() - 2], "CmdEndSession");
  EXPECT_FALSE(rig.port.IsConnected());
  EXPECT_EQ(rig.op.WaitCursorDepth(), 0);
}

TEST(ReadCalibration, OneByteUsesTheSingularHeadings) {
  SimOptions s = Board();
  s.chip = "ATmega48";
  s.calibration = {0x5A};
  Rig rig({{1, s}});
  ASSERT_TRUE(rig.board.ReadCalibration(Device(kAtmega48), 1));
  EXPECT_EQ(rig.op.LastStatus(), "Calibration byte: 5A");
  EXPECT_EQ(rig.BoxTexts(), (std::vector<std::string>{"Calibration byte:\n\n    1 MHz: 0x5A"}));
}

TEST(ReadCalibration, ASilentChipEndsTheSessionAndReports) {
  Rig rig({{2, Board()}});
  auto hostBytes = [&] {
    Bytes out;
    for (const auto& b : rig.sims[2]->Log().Bytes())
      if (b.direction == zr7sim::Direction::HostToBoard) out.push_back(b.value);
    return out;
  };
  ASSERT_TRUE(rig.board.ReadCalibration(Device(kAtmega8), 2));  // learn how long a session is
  const std::size_t session = hostBytes().size();
  const std::size_t connect = session - 4 * 4 - 5;  // less the reads and EndSession's two commands
  rig.op.ClearEvents();
  // The first read is answered, the chip is silent from the second on (two 2000 ms waits).
  zr7sim::SimFaults faults;
  faults.silentAfterBytes = static_cast<int>(session + connect + 4);
  rig.sims[2]->SetFaults(faults);
  EXPECT_FALSE(rig.board.ReadCalibration(Device(kAtmega8), 2));
  EXPECT_EQ(rig.op.LastStatus(), "Error reading calibration bytes");
  EXPECT_EQ(rig.BoxTexts(), (std::vector<std::string>{"Connection error"}));
  EXPECT_FALSE(rig.port.IsConnected());
  EXPECT_EQ(rig.op.WaitCursorDepth(), 0);
  // After the unanswered second read the session was ended, not simply dropped.
  const Bytes wire = hostBytes();
  ASSERT_GE(wire.size(), 5u);
  EXPECT_EQ(Bytes(wire.end() - 5, wire.end()), (Bytes{CmdSpiRead4, 0x38, 0x00, 0x01, CmdEndSession}));
}

TEST(ReadCalibration, NoPortChosenIsCheckedBeforeAnyOpen) {
  Rig rig({{1, Board()}});
  EXPECT_FALSE(rig.board.ReadCalibration(Device(kAtmega8), 0));
  EXPECT_EQ(rig.op.LastStatus(), "Select COM port or click 'search board'");
  EXPECT_EQ(rig.BoxTexts(), (std::vector<std::string>{"No board specified"}));
  EXPECT_TRUE(rig.sims[1]->Log().Bytes().empty());
}

}  // namespace
