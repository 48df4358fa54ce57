#pragma once
// zr7-cli board search|info|calibration and zr7-cli firmware: the board's own commands, on
// the same session setup as the chip commands.

#include <string>

#include <CLI/CLI.hpp>

#include "ChipCommandLine.h"

namespace zr7cli {

struct BoardCommandLine {
  std::string action;  // search, info, calibration; "firmware" for the update
  bool save = false;   // search: store the port found in the profile
  std::string firmwareFile;
  bool reducedSpeed = false;
  std::string confirmation;  // 16 hex digits, empty when none were given
};

// Adds "board" and "firmware" to the application.
void AddBoardCommands(CLI::App& app, BoardCommandLine& line);
// True when one of them was chosen on this command line.
bool BoardCommandChosen(const BoardCommandLine& line);
// Exit status as for the chip commands.
int RunBoardCommand(const ChipCommandLine& common, const BoardCommandLine& line, bool progressBar);

}  // namespace zr7cli
