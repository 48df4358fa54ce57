// The recent-projects list: order rules, path comparison, menu entries, profile keys.

#include <gtest/gtest.h>

#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "support/TempFolder.h"
#include "buffers/MemoryBuffer.h"
#include "project/RecentList.h"

using namespace zr7;
using Paths = std::vector<std::string>;

namespace {

class RecentListTest : public testing::Test {
 protected:
  static std::string Job(int n) { return "/jobs/p" + std::to_string(n) + ".zr7"; }
  static Paths Slots(const RecentList& list) {
    Paths s;
    for (int n = 1; n <= RecentSlotCount; ++n) s.push_back(list.Slot(n));
    return s;
  }
  zr7test::TempFolder dir;
  ScriptedOperator op;
  LanguageSettings language;
  MessageCatalog catalog{language};
  Profile profile{dir / "zr7.ini", op, catalog};
  RecentList list{profile, PathCase::Exact};
};

TEST_F(RecentListTest, OtherLetterCaseIsTheSameEntryOnlyWhereTheFileSystemIgnoresCase) {
  RecentList ignoring(profile, PathCase::IgnoreCase);
  for (const char* p : {"/Jobs/Board.zr7", "/jobs/other.zr7", "/JOBS/board.ZR7"}) ignoring.AddToRecent(p);
  EXPECT_EQ(Slots(ignoring), (Paths{"/JOBS/board.ZR7", "/jobs/other.zr7", "", "", "", "", "", ""}));

  for (const char* p : {"/Jobs/Board.zr7", "/JOBS/board.ZR7"}) list.AddToRecent(p);
  EXPECT_EQ(list.Slot(2), "/Jobs/Board.zr7") << "two files on a case-sensitive file system";
  EXPECT_EQ(NativePathCase(), PathCase::Exact);
}

TEST_F(RecentListTest, NinthDropsTheOldestAndSlotFiveMovesToTheFront) {
  for (int n = 8; n >= 1; --n) list.AddToRecent(Job(n));
  list.AddToRecent(Job(9));
  EXPECT_EQ(Slots(list), (Paths{Job(9), Job(1), Job(2), Job(3), Job(4), Job(5), Job(6), Job(7)}));
  list.AddToRecent(std::string(list.Slot(5)));
  EXPECT_EQ(Slots(list), (Paths{Job(4), Job(9), Job(1), Job(2), Job(3), Job(5), Job(6), Job(7)}));

  RecentList reloaded(profile, PathCase::Exact);
  reloaded.LoadRecentList();
  EXPECT_EQ(Slots(reloaded), Slots(list)) << "every change is in the profile";
}

// An entry opens wherever the program starts next; an entry an older version stored relative
// stays as it is, and is the same file when it is so from where the program runs.
TEST_F(RecentListTest, PathsAreStoredAbsoluteAndAnOldRelativeEntryIsTheSameFile) {
  ASSERT_TRUE(profile.SetRecentProject(1, "jobs/old.zr7"));
  ASSERT_TRUE(profile.SetRecentProject(2, "/x/y.zr7"));
  list.LoadRecentList();
  EXPECT_EQ(list.Slot(1), "jobs/old.zr7");
  list.AddToRecent("examples/../jobs/old.zr7");
  const std::string full = (std::filesystem::current_path() / "jobs" / "old.zr7").string();
  EXPECT_EQ(Slots(list), (Paths{full, "/x/y.zr7", "", "", "", "", "", ""}));
  EXPECT_EQ(profile.RecentProject(1), full);
}

TEST_F(RecentListTest, MenuShowsSlotsUpToTheFirstUnspecifiedOneOrTheGreyedPlaceholder) {
  EXPECT_EQ(list.MenuEntries("Recent Projects"),
            (std::vector<RecentMenuEntry>{{RecentPlaceholderCommand, "Recent Projects", false}}));
  for (int n = 1; n <= RecentSlotCount; ++n) profile.SetRecentProject(n, n == 3 ? std::string(Unspecified) : Job(n));
  list.LoadRecentList();
  EXPECT_EQ(list.MenuEntries("Recent Projects"),
            (std::vector<RecentMenuEntry>{{32801, Job(1), true}, {32802, Job(2), true}}));
  EXPECT_EQ(list.Slot(3), "");
  list.SaveRecentList();
  EXPECT_EQ(profile.GetText("Recent", "Project3", ""), Unspecified);
  EXPECT_EQ(profile.GetText("Recent", "Project4", ""), Job(4));
}

}  // namespace
