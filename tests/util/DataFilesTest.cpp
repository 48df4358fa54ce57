#include <gtest/gtest.h>

#include "support/TempFolder.h"
#include "util/DataFiles.h"

TEST(DataFiles, FoundBesideTheProgramThenInItsShareFolder) {
  zr7test::TempFolder dir;
  const std::filesystem::path root = dir.path() / "zr7 data";  // a blank in it
  const std::string bin = (root / "bin").string();
  std::filesystem::create_directories(root / "share/zr7/Help");
  std::filesystem::create_directories(root / "bin/Help");
  zr7test::WriteFile(root / "share/zr7/Help/ZR7.HTM", "installed");
  EXPECT_EQ(zr7::FindDataFile(bin, "Help/ZR7.HTM"), (root / "share/zr7/Help/ZR7.HTM").string());

  zr7test::WriteFile(root / "bin/Help/ZR7.HTM", "build tree");
  EXPECT_EQ(zr7::FindDataFile(bin, "Help/ZR7.HTM"), (root / "bin/Help/ZR7.HTM").string());
  EXPECT_EQ(zr7::FindDataFile(bin, "Help/absent.htm"), "");
  EXPECT_EQ(zr7::FindDataFile(bin, "Help"), "") << "a folder is not a file";
}
