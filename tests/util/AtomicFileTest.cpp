// Saving must never destroy what was there: every failure leaves the old file whole.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "util/AtomicFile.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct TempDir {
  TempDir() {
    path = fs::temp_directory_path() / ("zr7-atomic-" + std::to_string(getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
  std::size_t Entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(path), {})); }
  fs::path path;
};

TEST(AtomicFile, ReplacesTheTargetAndLeavesNothingBehind) {
  TempDir dir;
  const fs::path target = dir.path / "image.hex";
  { std::ofstream(target) << "old"; }
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  std::string big(200000, 'x');  // larger than one buffer
  ASSERT_TRUE(zr7::WriteFileAtomically(target.string(), big));
  EXPECT_EQ(ReadAll(target), big);
  EXPECT_EQ(dir.Entries(), 1u);
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

TEST(AtomicFile, AbandonedOrFailedWritesKeepTheOldFile) {
  TempDir dir;
  const fs::path target = dir.path / "project.zr7";
  { std::ofstream(target) << "old contents"; }
  {
    zr7::AtomicFile f;
    ASSERT_TRUE(f.Open(target.string()));
    f.Write("half of the new");
  }  // never committed
  EXPECT_EQ(ReadAll(target), "old contents");
  EXPECT_EQ(dir.Entries(), 1u);

  std::string error;
  EXPECT_FALSE(zr7::WriteFileAtomically((dir.path / "no-such-dir" / "x.bin").string(), "data", &error));
  EXPECT_FALSE(error.empty());

  // A target that is a folder cannot be replaced: the rename fails and nothing is left behind.
  fs::create_directories(dir.path / "taken");
  { std::ofstream(dir.path / "taken" / "inside") << "x"; }
  EXPECT_FALSE(zr7::WriteFileAtomically((dir.path / "taken").string(), "data", &error));
  EXPECT_TRUE(fs::is_directory(dir.path / "taken"));
  EXPECT_EQ(dir.Entries(), 2u);  // no temporary file left
}

}  // namespace
