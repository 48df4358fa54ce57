#pragma once
// The application object: restores the language, the profile and (with --simulator) the
// simulated board, runs the one main window, and ends the process when it closes.

#include <string>
#include <vector>

namespace zr7 {

class ProgrammerApp {
 public:
  // `arguments` are the command line's words after the program name (the toolkit's own
  // options already taken out). Returns the process exit code.
  int Run(const std::vector<std::string>& arguments, const std::string& profilePath);
};

}  // namespace zr7
