// What the small dialogs decide: the load address typed, the board delays allowed, and the
// Board Settings command's use of the profile.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "project/Profile.h"
#include "present/DialogRules.h"

namespace fs = std::filesystem;
using namespace zr7;

namespace {

TEST(LoadAddressRules, OfferedInHexAndReadUpToTheFirstCharacterThatDoesNotBelong) {
  EXPECT_EQ(LoadAddressText(0x1A), "001A");
  EXPECT_EQ(LoadAddressText(0xABCDE), "ABCDE");
  for (std::uint32_t a : {0u, 0x1Au, 0x10000u, 0xFFFFFFu}) EXPECT_EQ(ParseLoadAddress(LoadAddressText(a), false), a);

  EXPECT_EQ(ParseLoadAddress("100", true), 100u);
  EXPECT_EQ(ParseLoadAddress("100", false), 256u);
  EXPECT_EQ(ParseLoadAddress("1A", true), 1u);
  EXPECT_EQ(ParseLoadAddress("12G4", false), 0x12u);
  EXPECT_EQ(ParseLoadAddress(" 0X1F", false), 0x1Fu);
  EXPECT_EQ(ParseLoadAddress("FFFFFF", false), 16777215u);
  EXPECT_EQ(ParseLoadAddress("999999", true), 999999u);
  for (bool decimal : {true, false})
    for (const char* none : {"G", "", "-", "Ж1"}) EXPECT_EQ(ParseLoadAddress(none, decimal), 0u) << none;
  EXPECT_EQ(ParseLoadAddress("A1", true), 0u);
  EXPECT_EQ(ParseLoadAddress("0XG", false), 0u);
  // Negative numbers wrap, as in the unsigned address; the load command refuses them.
  EXPECT_EQ(ParseLoadAddress("-1", true), 0xFFFFFFFFu);
  EXPECT_EQ(ParseLoadAddress("-10", false), 0xFFFFFFF0u);
}

TEST(BoardDelayRules, OnlyWholeNumbersFromZeroToAThousand) {
  EXPECT_EQ(ParseDelay("0"), 0);
  EXPECT_EQ(ParseDelay("1000"), 1000);
  EXPECT_EQ(ParseDelay(" 25 "), 25);
  EXPECT_EQ(ParseDelay("+7"), 7);
  for (const char* bad : {"1001", "-1", "", " ", "+", "12ab", "1 2", "0x10", "5.0", "99999999999", "-99999999999"})
    EXPECT_EQ(ParseDelay(bad), std::nullopt) << '"' << bad << '"';
}

TEST(BoardDelayRules, TheFirstBadEditIsNamedAndNothingIsTaken) {
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
  const std::pair<int, int> positions[] = {{0, 0}, {1, 0}, {5, 4}, {8, 7}, {9, 0}, {-1, 0}};
  for (auto [port, position] : positions)
    EXPECT_EQ(CheckedPortPosition(port), position) << port;
  EXPECT_EQ(PortFromPosition(7, 0), 8);
  EXPECT_EQ(PortFromPosition(-1, 6), 6) << "nothing checked keeps the port";

  EXPECT_EQ(NormalizedPortPath("  /dev/my port \t", 0), "/dev/my port");
  EXPECT_EQ(NormalizedPortPath("/dev/tty\nUSB9\r", 0), "/dev/ttyUSB9");
  EXPECT_EQ(NormalizedPortPath(" \n ", 3), "/dev/ttyUSB1") << "empty stands for the built-in path";
}

class BoardSettingsCommandTest : public testing::Test {
 protected:
  void TearDown() override { fs::remove_all(dir); }
  std::string dir = [] {
    std::string pattern = (fs::temp_directory_path() / "zr7-dialogs-XXXXXX").string();
    return std::string(mkdtemp(pattern.data()));
  }();
  ScriptedOperator op;
  LanguageSettings language;
  MessageCatalog catalog{language};
  Profile profile{dir + "/zr7.ini", op, catalog};
};

TEST_F(BoardSettingsCommandTest, CancelAfterASearchKeepsTheStoredValues) {
  ASSERT_TRUE(profile.SetComPort(3) && profile.SetHighSpeed(true));
  int port = 5;  // found by a search, not yet stored
  bool highSpeed = false;
  PortMap ports;
  int shownPort = -1;
  bool shownSpeed = false;
  const bool confirmed = BoardSettingsCommand(profile, port, highSpeed, ports, [&](int p, bool h, const PortMap&) {
    shownPort = p;
    shownSpeed = h;
    return std::optional<BoardSettingsChoice>{};
  });
  EXPECT_FALSE(confirmed);
  EXPECT_EQ(shownPort, 3) << "the dialog shows the stored port";
  EXPECT_TRUE(shownSpeed);
  EXPECT_EQ(port, 3);
  EXPECT_TRUE(highSpeed);
  EXPECT_EQ(profile.ComPort(), 3);
}

TEST_F(BoardSettingsCommandTest, OkStoresPortSpeedAndOnlyTheChangedPaths) {
  ASSERT_TRUE(profile.SetComPort(2) && profile.SetHighSpeed(true) && profile.SetPortPath(2, "/dev/custom"));
  int port = 0;
  bool highSpeed = false;
  PortMap ports = PortMapOf(profile);
  ports.Set(0, "/dev/pts/9");  // a path for this run only, as the simulator sets it
  const bool confirmed = BoardSettingsCommand(profile, port, highSpeed, ports, [&](int p, bool h, const PortMap& shown) {
    EXPECT_EQ(p, 2);
    EXPECT_TRUE(h);
    EXPECT_EQ(shown.PathFor(0), "/dev/pts/9");
    BoardSettingsChoice choice{6, false, shown};
    choice.ports.Set(3, " /dev/serial/by-id/zr7 ");
    choice.ports.Set(2, "");  // back to the built-in path
    return std::optional{choice};
  });
  ASSERT_TRUE(confirmed);
  EXPECT_EQ(port, 6);
  EXPECT_FALSE(highSpeed);
  EXPECT_EQ(profile.ComPort(), 6);
  EXPECT_FALSE(profile.HighSpeed());
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
