// Start-up decisions without widgets: own options, the command line, the project to open,
// the board port of this run.

#include <gtest/gtest.h>

#include "present/StartupLogic.h"

namespace zr7 {
namespace {

TEST(StartupCommandLine, QuotedNameWithOption) {
  EXPECT_EQ(ParseCommandLine(R"("C:\zr7.exe" "D:\p q.zr7" -autoprogram)"),
            (CommandLine{R"(D:\p q.zr7)", "-autoprogram"}));
  EXPECT_EQ(ParseCommandLine(R"(zr7 "D:\p.zr7" -autoprogram)"), (CommandLine{R"(D:\p.zr7)", "-autoprogram"}));
}

TEST(StartupCommandLine, OptionNeedsAQuotedNameAndOneSeparator) {
  // Unquoted: the whole rest is one file name.
  EXPECT_EQ(ParseCommandLine("zr7 p.zr7 -autoprogram"), (CommandLine{"p.zr7 -autoprogram", ""}));
  // No blank after the quote: the option loses its first character.
  EXPECT_EQ(ParseCommandLine(R"(zr7 "p.zr7"-autoprogram)"), (CommandLine{"p.zr7", "autoprogram"}));
  // One character after the quote is not enough for an option.
  EXPECT_EQ(ParseCommandLine(R"(zr7 "p.zr7" )"), (CommandLine{"p.zr7", ""}));
  // An unclosed quote runs to the end.
  EXPECT_EQ(ParseCommandLine(R"(zr7 "p q.zr7)"), (CommandLine{"p q.zr7", ""}));
}

TEST(StartupCommandLine, ProgramNameAloneOrQuoted) {
  EXPECT_EQ(ParseCommandLine("zr7"), CommandLine{});
  EXPECT_EQ(ParseCommandLine(R"("/opt/my zr7/zr7")"), CommandLine{});
  EXPECT_EQ(ParseCommandLine(R"("/opt/my zr7/zr7" /p.zr7)"), (CommandLine{"/p.zr7", ""}));
}

TEST(StartupCommandLine, ShellWordsBecomeAQuotedNameAndItsOption) {
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
  OwnOptions plain = SplitOwnOptions({"/p.zr7"});
  EXPECT_FALSE(plain.simulator);
  EXPECT_EQ(plain.rest, std::vector<std::string>{"/p.zr7"});

  OwnOptions sim = SplitOwnOptions({"--simulator", "/p.zr7", "-autoprogram"});
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
  const BoardChoice first = StartupBoard(0, false, false);
  EXPECT_TRUE(AskBoardAtStartup(first));
  EXPECT_TRUE(StorePort(first));
  const BoardChoice known = StartupBoard(3, true, false);
  EXPECT_FALSE(AskBoardAtStartup(known));
  EXPECT_EQ(known.port, 3);
  EXPECT_TRUE(known.highSpeed);
  const BoardChoice sim = StartupBoard(0, false, true);
  EXPECT_EQ(sim.port, 1);
  EXPECT_FALSE(AskBoardAtStartup(sim));
  EXPECT_FALSE(StorePort(sim));

  // Board Settings: OK takes the dialog's board; Cancel the profile's (3, high speed), but not
  // in place of the simulator.
  struct Case {
    BoardChoice before;
    bool confirmed;
    BoardChoice after;
  };
  for (const Case& c : {Case{sim, false, sim}, {sim, true, {3, true, false}}, {known, false, {3, true, false}},
                        {{5, false, false}, false, {3, true, false}}}) {
    const BoardChoice after = BoardAfterSettings(c.before, c.confirmed, 3, true);
    EXPECT_EQ(after.port, c.after.port);
    EXPECT_EQ(after.highSpeed, c.after.highSpeed);
    EXPECT_EQ(after.simulatorPort, c.after.simulatorPort);
  }
}

}  // namespace
}  // namespace zr7
