// Saving must never destroy what was there: every failure leaves the old file whole.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

TEST(AtomicFile, AnAbandonedWriteKeepsTheOldFile) {
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
}

// What cannot be replaced is refused with its cause, and the check made before a job agrees
// with what the save itself meets.
TEST(AtomicFile, WhatCannotBeReplacedIsRefusedWithItsCause) {
  TempDir dir;
  const fs::path locked = dir.path / "locked.bin";
  { std::ofstream(locked) << "old"; }
  fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::create_directories(dir.path / "taken");
  const struct {
    fs::path path;
    int error;
  } cases[] = {
      {locked, EACCES},  // read-only, even for root
      {dir.path / "taken", EISDIR},
      {dir.path / "no-such-dir" / "x.bin", ENOENT},
      {locked / "x.bin", ENOTDIR},
      {dir.path / "fine.bin", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(zr7::AtomicFile::ReplaceProblem(c.path.string()), c.error) << c.path;
    int error = -1;
    EXPECT_EQ(zr7::WriteFileAtomically(c.path.string(), "new", &error), c.error == 0) << c.path;
    EXPECT_EQ(error, c.error) << c.path;
  }
  EXPECT_EQ(ReadAll(locked), "old");
  EXPECT_TRUE(fs::is_directory(dir.path / "taken"));
  EXPECT_EQ(dir.Entries(), 3u);  // locked.bin, taken, fine.bin: no temporary file left
}

// A device is written through and stays a device; a link stays a link and its target, in
// its own folder, gets the new contents.
TEST(AtomicFile, DevicesAreWrittenThroughAndLinksFollowed) {
  TempDir dir;
  const fs::path null = dir.path / "null", full = dir.path / "full";  // as the system's own
  ASSERT_EQ(mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  ASSERT_EQ(mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
  int error = -1;
  EXPECT_TRUE(zr7::WriteFileAtomically(null.string(), "image", &error));
  EXPECT_FALSE(zr7::WriteFileAtomically(full.string(), "image", &error));
  EXPECT_EQ(error, ENOSPC);
  EXPECT_TRUE(fs::is_character_file(fs::symlink_status(null)));
  EXPECT_TRUE(fs::is_character_file(fs::symlink_status(full)));

  const fs::path images = dir.path / "images";
  fs::create_directories(images);
  { std::ofstream(images / "flash.hex") << "old"; }
  fs::create_symlink("images/flash.hex", dir.path / "link.hex");
  fs::create_symlink(images / "new.bin", dir.path / "dangling.bin");
  ASSERT_TRUE(zr7::WriteFileAtomically((dir.path / "link.hex").string(), "new"));
  ASSERT_TRUE(zr7::WriteFileAtomically((dir.path / "dangling.bin").string(), "made"));
  EXPECT_TRUE(fs::is_symlink(dir.path / "link.hex"));
  EXPECT_TRUE(fs::is_symlink(dir.path / "dangling.bin"));
  EXPECT_EQ(ReadAll(images / "flash.hex"), "new");
  EXPECT_EQ(ReadAll(images / "new.bin"), "made");
  EXPECT_EQ(dir.Entries(), 5u);
  EXPECT_EQ(std::distance(fs::directory_iterator(images), {}), 2);
}

// A FIFO is written through; its reader leaving fails the save, and only the save.
TEST(AtomicFile, AFifoWhoseReaderLeftFailsTheSaveNotTheProgram) {
  TempDir dir;
  const fs::path fifo = dir.path / "pipe.bin";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  zr7::AtomicFile f;
  ASSERT_TRUE(f.Open(fifo.string()));  // a reader is there: no wait
  close(reader);
  f.Write(std::string(1000, 'x'));
  EXPECT_FALSE(f.Commit());
  EXPECT_EQ(f.ErrorNumber(), EPIPE);
  EXPECT_TRUE(fs::is_fifo(fifo));
}

}  // namespace
