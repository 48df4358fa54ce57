// Start-up decisions without widgets: own options, the command line, the project to open,
// the board port of this run.

#include <gtest/gtest.h>

#include "present/StartupLogic.h"

namespace zr7 {
namespace {

TEST(StartupCommandLine, AQuotedNameThenItsOptionAfterOneSeparator) {
  const std::pair<const char*, CommandLine> cases[] = {
      {R"("C:\zr7.exe" "D:\p q.zr7" -autoprogram)", {R"(D:\p q.zr7)", "-autoprogram"}},
      {R"(zr7 "D:\p.zr7" -autoprogram)", {R"(D:\p.zr7)", "-autoprogram"}},
      {"zr7 p.zr7 -autoprogram", {"p.zr7 -autoprogram", ""}},  // unquoted: the whole rest is one name
      {R"(zr7 "p.zr7"-autoprogram)", {"p.zr7", "autoprogram"}},  // no blank: the option loses a character
      {R"(zr7 "p.zr7" )", {"p.zr7", ""}},  // one character after the quote is no option
      {R"(zr7 "p q.zr7)", {"p q.zr7", ""}},  // an unclosed quote runs to the end
      {"zr7", {}},
      {R"("/opt/my zr7/zr7")", {}},
      {R"("/opt/my zr7/zr7" /p.zr7)", {"/p.zr7", ""}},
  };
  for (const auto& [line, want] : cases) EXPECT_EQ(ParseCommandLine(line), want) << line;

  EXPECT_EQ(CommandLineOf("zr7", {}), "zr7");
  const std::string line = CommandLineOf("zr7", {"/home/u/my project.zr7", "-autoprogram"});
  EXPECT_EQ(line, R"(zr7 "/home/u/my project.zr7" -autoprogram)");
  EXPECT_EQ(ParseCommandLine(line), (CommandLine{"/home/u/my project.zr7", "-autoprogram"}));
}

TEST(StartupProjectChoice, RecentCommandLineAndAutoprogram) {
  EXPECT_EQ(ChooseStartupProject(false, "/r.zr7", {}), (StartupProject{"[Unspecified]", false}));
  EXPECT_EQ(ChooseStartupProject(true, "/r.zr7", {}), (StartupProject{"/r.zr7", false}));
  EXPECT_EQ(ChooseStartupProject(true, "[Unspecified]", {}), (StartupProject{"[Unspecified]", false}));
  EXPECT_EQ(ChooseStartupProject(true, "/r.zr7", {"/c.zr7", ""}), (StartupProject{"/c.zr7", false}));
  EXPECT_EQ(ChooseStartupProject(false, "", {"/c.zr7", "-autoprogram"}), (StartupProject{"/c.zr7", true}));
  EXPECT_FALSE(ChooseStartupProject(false, "", {"/c.zr7", "-Autoprogram"}).autoprogram);
  EXPECT_FALSE(ChooseStartupProject(false, "", {"[Unspecified]", "-autoprogram"}).autoprogram);
}

TEST(StartupOwnOptions, SimulatorWithAndWithoutChip) {
  const OwnOptions plain = SplitOwnOptions({"/p.zr7"});
  EXPECT_FALSE(plain.simulator);
  EXPECT_EQ(plain.rest, std::vector<std::string>{"/p.zr7"});

  const OwnOptions sim = SplitOwnOptions({"--simulator", "/p.zr7", "-autoprogram"});
  EXPECT_TRUE(sim.simulator);
  EXPECT_EQ(sim.simulatorChip, "ATmega8");
  EXPECT_EQ(sim.rest, (std::vector<std::string>{"/p.zr7", "-autoprogram"}));
  EXPECT_TRUE(sim.error.empty());

  EXPECT_EQ(SplitOwnOptions({"--simulator=at45db041"}).simulatorChip, "AT45DB041");
  EXPECT_EQ(SplitOwnOptions({"--simulator=ATmega3250"}).simulatorChip, "ATmega325/3250");
  EXPECT_FALSE(SplitOwnOptions({"--simulator=ATmega9"}).error.empty());
  // Not ours: a file that happens to start with the option's letters.
  EXPECT_FALSE(SplitOwnOptions({"--simulatorx"}).simulator);
}

TEST(StartupBoard, SimulatorPortIsForThisRunOnly) {
  const auto fields = [](const BoardChoice& b) { return std::tuple(b.port, b.highSpeed, b.simulatorPort); };
  const BoardChoice first = StartupBoard(0, false, false), known = StartupBoard(3, true, false),
                    sim = StartupBoard(0, false, true);
  EXPECT_TRUE(AskBoardAtStartup(first) && StorePort(first));
  EXPECT_FALSE(AskBoardAtStartup(known));
  EXPECT_EQ(fields(known), std::tuple(3, true, false));
  EXPECT_EQ(sim.port, 1);
  EXPECT_FALSE(AskBoardAtStartup(sim) || StorePort(sim));

  // Board Settings: OK takes the dialog's board; Cancel the profile's (3, high speed), but not
  // in place of the simulator.
  const BoardChoice profile{3, true, false};
  const std::tuple<BoardChoice, bool, BoardChoice> cases[] = {
      {sim, false, sim}, {sim, true, profile}, {known, false, profile}, {{5, false, false}, false, profile}};
  for (const auto& [before, confirmed, after] : cases)
    EXPECT_EQ(fields(BoardAfterSettings(before, confirmed, 3, true)), fields(after)) << before.port << confirmed;
}

}  // namespace
}  // namespace zr7
