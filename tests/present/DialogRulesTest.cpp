// What the small dialogs decide: the load address typed, the board delays allowed, and the
// Board Settings command's use of the profile.

#include <gtest/gtest.h>

#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "support/TempFolder.h"
#include "project/Profile.h"
#include "present/DialogRules.h"

using namespace zr7;

namespace {

TEST(LoadAddressRules, OfferedInHexAndReadUpToTheFirstCharacterThatDoesNotBelong) {
  EXPECT_EQ(LoadAddressText(0x1A), "001A");
  EXPECT_EQ(LoadAddressText(0xABCDE), "ABCDE");
  for (std::uint32_t a : {0u, 0x1Au, 0x10000u, 0xFFFFFFu}) EXPECT_EQ(ParseLoadAddress(LoadAddressText(a), false), a);
  const struct { const char* text; bool decimal; std::uint32_t address; } cases[] = {
      {"100", true, 100}, {"100", false, 256}, {"1A", true, 1}, {"12G4", false, 0x12}, {" 0X1F", false, 0x1F},
      {"FFFFFF", false, 16777215}, {"999999", true, 999999}, {"A1", true, 0}, {"0XG", false, 0},
      // Negative numbers wrap, as in the unsigned address; the load command refuses them.
      {"-1", true, 0xFFFFFFFF}, {"-10", false, 0xFFFFFFF0},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseLoadAddress(c.text, c.decimal), c.address) << c.text << c.decimal;
  for (bool decimal : {true, false})
    for (const char* none : {"G", "", "-", "Ж1"}) EXPECT_EQ(ParseLoadAddress(none, decimal), 0u) << none;
}

// Only whole numbers from 0 to 1000; the first bad edit is named and nothing is taken.
TEST(BoardDelayRules, WholeNumbersUpToAThousandAndTheFirstBadEditNamed) {
  for (auto [text, ms] : {std::pair{"0", 0}, {"1000", 1000}, {" 25 ", 25}, {"+7", 7}}) EXPECT_EQ(ParseDelay(text), ms);
  for (const char* bad : {"1001", "-1", "", " ", "+", "12ab", "1 2", "0x10", "5.0", "99999999999", "-99999999999"})
    EXPECT_EQ(ParseDelay(bad), std::nullopt) << '"' << bad << '"';
  const BoardDelays given{1, 20, 300, 1000};
  const BoardDelayTexts texts = DelayTexts(given);
  EXPECT_EQ(texts, (BoardDelayTexts{"1", "20", "300", "1000"}));
  const DelaysCheck good = CheckDelays(texts);
  EXPECT_EQ(good.delays, given) << "each text goes to its own field";
  EXPECT_EQ(good.invalidIndex, -1);

  for (int i = 0; i < BoardDelayCount; ++i)
    for (const char* bad : {"1001", "-1"}) {
      BoardDelayTexts edited = texts;
      edited[static_cast<std::size_t>(i)] = bad;
      const DelaysCheck check = CheckDelays(edited);
      EXPECT_EQ(check.delays, std::nullopt) << i << ' ' << bad;
      EXPECT_EQ(check.invalidIndex, i) << bad;
    }
  EXPECT_EQ(CheckDelays({"0", "x", "1001", "0"}).invalidIndex, 1);
  EXPECT_EQ(CheckDelays({"0", "0", "0", "0"}).delays, BoardDelays{});
}

TEST(BoardSettingsRules, RadioPositionPortAndTypedPath) {
  for (auto [port, position] : {std::pair{0, 0}, {1, 0}, {5, 4}, {8, 7}, {9, 0}, {-1, 0}})
    EXPECT_EQ(CheckedPortPosition(port), position) << port;
  EXPECT_EQ(PortFromPosition(7, 0), 8);
  EXPECT_EQ(PortFromPosition(-1, 6), 6) << "nothing checked keeps the port";

  EXPECT_EQ(NormalizedPortPath("  /dev/my port \t", 0), "/dev/my port");
  EXPECT_EQ(NormalizedPortPath("/dev/tty\nUSB9\r", 0), "/dev/ttyUSB9");
  EXPECT_EQ(NormalizedPortPath(" \n ", 3), "/dev/ttyUSB1") << "empty stands for the built-in path";
}

class BoardSettingsCommandTest : public testing::Test {
 protected:
  zr7test::TempFolder dir;
  ScriptedOperator op;
  LanguageSettings language;
  MessageCatalog catalog{language};
  Profile profile{dir / "zr7.ini", op, catalog};
};

TEST_F(BoardSettingsCommandTest, CancelAfterASearchKeepsTheStoredValues) {
  ASSERT_TRUE(profile.SetComPort(3) && profile.SetHighSpeed(true));
  int port = 5;  // found by a search, not yet stored
  bool highSpeed = false;
  PortMap ports;
  std::pair<int, bool> shown{-1, false};
  EXPECT_FALSE(BoardSettingsCommand(profile, port, highSpeed, ports, [&](int p, bool h, const PortMap&) {
    shown = {p, h};
    return std::optional<BoardSettingsChoice>{};
  }));
  EXPECT_EQ(shown, std::pair(3, true)) << "the dialog shows the stored port";
  EXPECT_EQ(std::pair(port, highSpeed), std::pair(3, true));
  EXPECT_EQ(profile.ComPort(), 3);
}

TEST_F(BoardSettingsCommandTest, OkStoresPortSpeedAndOnlyTheChangedPaths) {
  ASSERT_TRUE(profile.SetComPort(2) && profile.SetHighSpeed(true) && profile.SetPortPath(2, "/dev/custom"));
  int port = 0;
  bool highSpeed = false;
  PortMap ports = PortMapOf(profile);
  ports.Set(0, "/dev/pts/9");  // a path for this run only, as the simulator sets it
  ASSERT_TRUE(BoardSettingsCommand(profile, port, highSpeed, ports, [&](int p, bool h, const PortMap& shown) {
    EXPECT_EQ(std::pair(p, h), std::pair(2, true));
    EXPECT_EQ(shown.PathFor(0), "/dev/pts/9");
    BoardSettingsChoice choice{6, false, shown};
    choice.ports.Set(3, " /dev/serial/by-id/zr7 ");
    choice.ports.Set(2, "");  // back to the built-in path
    return std::optional{choice};
  }));
  EXPECT_EQ(std::pair(port, highSpeed), std::pair(6, false));
  EXPECT_EQ(std::pair(profile.ComPort(), profile.HighSpeed()), std::pair(6, false));
  EXPECT_EQ(profile.PortPath(3), "/dev/serial/by-id/zr7");
  EXPECT_EQ(ports.PathFor(3), "/dev/serial/by-id/zr7");
  EXPECT_EQ(profile.PortPath(2), "/dev/ttyUSB0");
  EXPECT_EQ(ports.PathFor(2), "/dev/ttyUSB0");
  EXPECT_EQ(ports.PathFor(0), "/dev/pts/9");
  EXPECT_EQ(profile.GetText("Ports", "COM1", "none"), "none") << "an unchanged slot is not written";
  EXPECT_EQ(profile.GetText("Ports", "COM5", "none"), "none");
  EXPECT_TRUE(op.Boxes().empty());
}

}  // namespace
