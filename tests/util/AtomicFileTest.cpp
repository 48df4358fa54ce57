// Saving must never destroy what was there: every failure leaves the old file whole.

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "support/TempFolder.h"
#include "util/AtomicFile.h"

namespace fs = std::filesystem;

namespace {

using zr7test::ReadFile;

TEST(AtomicFile, ReplacesTheTargetKeepsItsPermissionsAndLeavesNothingBehind) {
  zr7test::TempFolder dir;
  const std::string target = dir.File("image.hex", "old");
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  const std::string big(200000, 'x');  // larger than one buffer
  ASSERT_TRUE(zr7::WriteFileAtomically(target, big));
  EXPECT_EQ(ReadFile(target), big);
  EXPECT_EQ(dir.Entries(), 1u);
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  {
    zr7::AtomicFile f;
    ASSERT_TRUE(f.Open(target));
    f.Write("half of the new");
  }  // never committed
  EXPECT_EQ(ReadFile(target), big);
  EXPECT_EQ(dir.Entries(), 1u);
}

// What cannot be replaced is refused with its cause, and the check made before a job agrees
// with what the save itself meets.
TEST(AtomicFile, WhatCannotBeReplacedIsRefusedWithItsCause) {
  zr7test::TempFolder dir;
  const fs::path locked = dir.File("locked.bin", "old");
  fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::create_directories(dir / "taken");
  const struct { fs::path path; int error; } cases[] = {
      {locked, EACCES},  // read-only, even for root
      {dir / "taken", EISDIR},
      {dir / "no-such-dir/x.bin", ENOENT},
      {locked / "x.bin", ENOTDIR},
      {dir / "fine.bin", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(zr7::AtomicFile::ReplaceProblem(c.path.string()), c.error) << c.path;
    int error = -1;
    EXPECT_EQ(zr7::WriteFileAtomically(c.path.string(), "new", &error), c.error == 0) << c.path;
    EXPECT_EQ(error, c.error) << c.path;
  }
  EXPECT_EQ(ReadFile(locked), "old");
  EXPECT_TRUE(fs::is_directory(dir / "taken"));
  EXPECT_EQ(dir.Entries(), 3u);  // locked.bin, taken, fine.bin: no temporary file left
}

// A device is written through and stays a device; a link stays a link and its target, in
// its own folder, gets the new contents.
TEST(AtomicFile, DevicesAreWrittenThroughAndLinksFollowed) {
  zr7test::TempFolder dir;
  const std::string null = dir / "null", full = dir / "full";  // as the system's own
  ASSERT_EQ(mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  ASSERT_EQ(mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
  int error = -1;
  EXPECT_TRUE(zr7::WriteFileAtomically(null, "image", &error));
  EXPECT_FALSE(zr7::WriteFileAtomically(full, "image", &error));
  EXPECT_EQ(error, ENOSPC);
  EXPECT_TRUE(fs::is_character_file(fs::symlink_status(null)));
  EXPECT_TRUE(fs::is_character_file(fs::symlink_status(full)));

  fs::create_directories(dir / "images");
  dir.File("images/flash.hex", "old");
  fs::create_symlink("images/flash.hex", dir / "link.hex");
  fs::create_symlink(dir / "images/new.bin", dir / "dangling.bin");
  ASSERT_TRUE(zr7::WriteFileAtomically(dir / "link.hex", "new"));
  ASSERT_TRUE(zr7::WriteFileAtomically(dir / "dangling.bin", "made"));
  EXPECT_TRUE(fs::is_symlink(dir / "link.hex"));
  EXPECT_TRUE(fs::is_symlink(dir / "dangling.bin"));
  EXPECT_EQ(ReadFile(dir / "images/flash.hex"), "new");
  EXPECT_EQ(ReadFile(dir / "images/new.bin"), "made");
  EXPECT_EQ(dir.Entries(), 5u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "images"), {}), 2);
}

// A FIFO is written through; its reader leaving fails the save, and only the save.
TEST(AtomicFile, AFifoWhoseReaderLeftFailsTheSaveNotTheProgram) {
  zr7test::TempFolder dir;
  const std::string fifo = dir / "pipe.bin";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  zr7::AtomicFile f;
  ASSERT_TRUE(f.Open(fifo));  // a reader is there: no wait
  close(reader);
  f.Write(std::string(1000, 'x'));
  EXPECT_FALSE(f.Commit());
  EXPECT_EQ(f.ErrorNumber(), EPIPE);
  EXPECT_TRUE(fs::is_fifo(fifo));
}

}  // namespace
