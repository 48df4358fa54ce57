#pragma once
// What start-up decides before any window exists: the program's own options, the project
// named on the command line, which project to open, and which board port this run uses.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/ChipJob.h"

namespace zr7 {

// Options of this program that the original command line did not have; they are taken out
// before the command line is read. "--simulator[=CHIP]" serves the board from an in-process
// simulator on port 1 for this run.
struct OwnOptions {
  bool simulator = false;
  std::string simulatorChip;  // a device-table name; the default chip when none was given
  std::vector<std::string> rest;  // everything else, in order
  std::string error;  // non-empty: the options cannot be used (an unknown chip, say)
};

// `arguments` without the program name.
OwnOptions SplitOwnOptions(const std::vector<std::string>& arguments);

// The device-table name a user's chip name stands for (any letter case, "ATmega3250" for
// "ATmega325/3250"); nothing when no row has it.
std::optional<std::string> DeviceTableName(std::string_view userName);

// The command line as one text, the way the project name and option are read from it: the
// shell has already split and unquoted the words, so the first becomes the quoted project
// name and the others follow it after one blank each.
std::string CommandLineOf(std::string_view program, const std::vector<std::string>& arguments);

struct CommandLine {
  std::string projectName;  // empty: none given
  std::string option;
  bool operator==(const CommandLine&) const = default;
};

// The program name is skipped; a quoted name may be followed by one separator and an option,
// an unquoted rest is all project name.
CommandLine ParseCommandLine(std::string_view line);

struct StartupProject {
  std::string name;          // "[Unspecified]" for none
  bool autoprogram = false;  // an unattended autoprogram run is wanted
  bool operator==(const StartupProject&) const = default;
};

// "Recent" "LoadMostRecent" opens recent slot 1, a name on the command line replaces it;
// "-autoprogram" counts only exactly so and only with a project.
StartupProject ChooseStartupProject(bool loadMostRecent, std::string_view recentProject1, const CommandLine& line);

BoardChoice StartupBoard(int profilePort, bool profileHighSpeed, bool simulator);
// The first run (no port in the profile) asks for the board before the window shows; not
// when the simulator provides it.
bool AskBoardAtStartup(const BoardChoice& board);
// Whether "Connect" "COM" may be written from this choice.
bool StorePort(const BoardChoice& board);
// The board after the Board Settings command: the dialog's port and speed on OK (`confirmed`),
// else those reloaded from the profile, except that a cancelled dialog leaves this run's
// simulated board in use.
BoardChoice BoardAfterSettings(const BoardChoice& before, bool confirmed, int port, bool highSpeed);

}  // namespace zr7
