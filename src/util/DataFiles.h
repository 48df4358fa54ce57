#pragma once
// Where the program's own files (help, examples) are, found from the program's location so that
// neither the build tree nor an installation depends on the current folder.

#include <string>

namespace zr7 {

// The file `relative` (e.g. "Help/ZR7.HTM") beside the program in `programDir` (the build
// tree), else in ../share/zr7 of it (an installation); "" when neither holds it.
std::string FindDataFile(const std::string& programDir, const std::string& relative);

}  // namespace zr7
