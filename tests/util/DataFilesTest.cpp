#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "util/DataFiles.h"

namespace fs = std::filesystem;

TEST(DataFiles, FoundBesideTheProgramThenInItsShareFolder) {
  const fs::path root = fs::temp_directory_path() / ("zr7 data " + std::to_string(getpid()));  // a blank in it
  fs::remove_all(root);
  fs::create_directories(root / "bin");
  fs::create_directories(root / "share" / "zr7" / "Help");
  std::ofstream(root / "share" / "zr7" / "Help" / "ZR7.HTM") << "installed";
  const std::string bin = (root / "bin").string();
  EXPECT_EQ(zr7::FindDataFile(bin, "Help/ZR7.HTM"), (root / "share/zr7/Help/ZR7.HTM").string());

  fs::create_directories(root / "bin" / "Help");
  std::ofstream(root / "bin" / "Help" / "ZR7.HTM") << "build tree";
  EXPECT_EQ(zr7::FindDataFile(bin, "Help/ZR7.HTM"), (root / "bin/Help/ZR7.HTM").string());
  EXPECT_EQ(zr7::FindDataFile(bin, "Help/absent.htm"), "");
  EXPECT_EQ(zr7::FindDataFile(bin, "Help"), "") << "a folder is not a file";
  fs::remove_all(root);
}
