#include "util/DataFiles.h"

#include <filesystem>

namespace zr7 {

std::string FindDataFile(const std::string& programDir, const std::string& relative) {
  namespace fs = std::filesystem;
  const fs::path dir(programDir);
  std::error_code ec;
  for (const fs::path& candidate : {dir / relative, dir.parent_path() / "share" / "zr7" / relative})
    if (fs::is_regular_file(candidate, ec)) return candidate.lexically_normal().string();
  return "";
}

}  // namespace zr7
