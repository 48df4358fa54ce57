#pragma once
// zr7-cli fuses: read, program and verify the chip's lock, fuse and boot lock bits with the
// core's own operations, guarded against settings that would lock the programmer out.

#include <array>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace zr7cli {

struct ChipCommandLine;

struct FuseCommandLine {
  std::string action;  // read, program, verify
  int lock = -1;       // --lock 0..3; -1: not given
  // --fuse-low, --fuse-high, --fuse-ext as typed: the bytes of fuse groups 1, 2 and 3 in the
  // chip's convention (0 = programmed); empty: not given.
  std::array<std::string, 3> groupBytes;
  std::vector<std::string> set;  // NAME=programmed|unprogrammed
  bool lockOnly = false;
  bool noVerify = false;
  bool allowUnsafe = false;
};

// Adds "fuses read|program|verify" with their options.
CLI::App* AddFuseCommand(CLI::App& app, FuseCommandLine& line);

// Exit status as the other chip commands: 0 success (verify: a match), 1 failed, refused,
// cancelled or different, 2 usage error.
int RunFuseCommand(const ChipCommandLine& common, const FuseCommandLine& line, bool progressBar);

}  // namespace zr7cli
