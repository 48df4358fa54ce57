#pragma once
// zr7-cli autoprogram: the project's production recipe on one chip, unattended, with the same
// core run the window's Auto-program button starts.

namespace CLI {
class App;
}

namespace zr7cli {

struct ChipCommandLine;

struct AutoprogramCommandLine {
  bool chosen = false;
  bool saveSerial = false;   // write an advanced serial number back into its image file
  bool allowUnsafe = false;  // program lock/fuse settings that can lock the programmer out
};

void AddAutoprogramCommand(CLI::App& app, AutoprogramCommandLine& line);

// 0 "AUTOPROGRAM: OK", 1 "AUTOPROGRAM: Error" (or refused before the chip was touched),
// 2 usage error (no project).
int RunAutoprogramCommand(const ChipCommandLine& common, const AutoprogramCommandLine& line, bool progressBar);

}  // namespace zr7cli
