// The per-user profile, and the section-and-key reading it shares with project files.

#include <gtest/gtest.h>

#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "support/TempFolder.h"
#include "buffers/MemoryBuffer.h"
#include "project/Profile.h"

namespace fs = std::filesystem;
using namespace zr7;

namespace {

class ProfileTest : public testing::Test {
 protected:
  void Write(const std::string& text) {
    fs::create_directories(fs::path(file).parent_path());
    zr7test::WriteFile(file, text);
  }
  zr7test::TempFolder dir;
  ScriptedOperator op;
  LanguageSettings language;
  MessageCatalog catalog{language};
  std::string file = dir / "config/zr7/zr7.ini";
  Profile profile{file, op, catalog};
};

TEST_F(ProfileTest, MissingProfileGivesTheDefaultsAndWritesPersistInANewFolder) {
  EXPECT_EQ(profile.ComPort(), 0);
  EXPECT_FALSE(profile.HighSpeed() || profile.Russian() || profile.LoadMostRecent());
  EXPECT_EQ(profile.Delays(), BoardDelays{});
  EXPECT_EQ(profile.RecentProject(8), Unspecified);
  for (int i = 0; i < PortCount; ++i) EXPECT_EQ(PortMapOf(profile).PathFor(i), PortMap().PathFor(i));
  EXPECT_FALSE(fs::exists(dir / "config")) << "reading creates nothing";

  ASSERT_TRUE(profile.SetComPort(3) && profile.SetHighSpeed(true) && profile.SetRussian(true));
  ASSERT_TRUE(profile.SetDelays({1, 2, 3, 1000}) && profile.SetRecentProject(2, "/jobs/b.zr7"));
  ASSERT_TRUE(profile.SetLoadMostRecent(true) && profile.SetPortPath(6, "/dev/serial/by-id/zr7"));
  Profile again(file, op, catalog);
  EXPECT_EQ(again.ComPort(), 3);
  EXPECT_TRUE(again.HighSpeed() && again.Russian() && again.LoadMostRecent());
  EXPECT_EQ(again.Delays(), (BoardDelays{1, 2, 3, 1000}));
  EXPECT_EQ(again.RecentProject(1), Unspecified);
  EXPECT_EQ(again.RecentProject(2), "/jobs/b.zr7");
  EXPECT_EQ(PortMapOf(again).PathFor(6), "/dev/serial/by-id/zr7");
  EXPECT_EQ(PortMapOf(again).PathFor(7), "/dev/ttyACM1");
  EXPECT_TRUE(op.Boxes().empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "config/zr7"), {}), 1) << "no temporary file left behind";
}

TEST_F(ProfileTest, HandEditedProfileIsReadLikeTheProfileFormatAndKeptOnWrite) {
  Write("; mine\r\n\r\n[connect]\r\ncom = 5\r\nSPECIAL2=\"40\"\r\nSpecial3=99999\r\nSpecial4=-7\r\n"
        "[ports]\r\ncom1=/dev/ttyS4\r\nCOM2=\r\n[Mine]\r\nColour=green\r\n; the end\r\n");
  EXPECT_EQ(profile.ComPort(), 5);
  EXPECT_EQ(profile.Delays(), (BoardDelays{0, 40, MaxBoardDelayMs, 0})) << "held to the dialog's 0..1000";
  EXPECT_EQ(profile.PortPath(0), "/dev/ttyS4");
  EXPECT_EQ(profile.PortPath(1), "/dev/ttyS1") << "an empty path is the built-in one";
  ASSERT_TRUE(profile.SetHighSpeed(true));
  const std::string text = zr7test::ReadFile(file);
  for (const char* kept : {"; mine", "com=5", "Colour=green", "; the end", "HighSpeed=1"})
    EXPECT_NE(text.find(kept), std::string::npos) << kept;
  for (const char* port : {"9", "-1", "abc"}) {
    Write(std::string("[Connect]\nCOM=") + port + "\n");
    EXPECT_EQ(profile.ComPort(), 0) << "COM=" << port << " names no port";
  }
}

TEST_F(ProfileTest, WriteFailureIsReportedOnceUntilAWriteSucceedsAndAnUnreadableFileIsKept) {
  fs::create_directories(dir / "config");
  dir.File("config/zr7", "a file where the folder should be");
  EXPECT_FALSE(profile.SetComPort(1));
  EXPECT_FALSE(profile.SetRecentProject(1, "/a.zr7"));
  EXPECT_EQ(op.BoxTexts(), std::vector<std::string>{"Cannot save settings to '" + file +
                                                    "': a part of the path is a file, not a folder."});

  fs::remove(dir / "config/zr7");
  EXPECT_TRUE(profile.SetComPort(2));
  fs::remove(file);
  fs::create_directories(file);  // a folder in the profile's place cannot be read, so is not replaced
  EXPECT_FALSE(profile.SetComPort(3));
  ASSERT_EQ(op.Boxes().size(), 2u);
  EXPECT_EQ(op.Boxes()[1].text, "Cannot save settings to '" + file + "': it is a folder.");
  EXPECT_TRUE(fs::is_directory(file));
}

TEST(ProfileLocation, FollowsXdgConfigHomeElseHome) {
  EXPECT_EQ(DefaultProfilePath("/x/conf", "/home/u"), "/x/conf/zr7/zr7.ini");
  EXPECT_EQ(DefaultProfilePath(nullptr, "/home/u"), "/home/u/.config/zr7/zr7.ini");
  EXPECT_EQ(DefaultProfilePath("", "/home/u"), "/home/u/.config/zr7/zr7.ini");
  EXPECT_EQ(DefaultProfilePath("rel/conf", "/home/u"), "/home/u/.config/zr7/zr7.ini") << "relative is invalid";
  EXPECT_EQ(DefaultProfilePath(nullptr, nullptr), "");
}

TEST(IniDocument, ReadsTheFirstOfDuplicatesAndStoresValuesSoTheyComeBack) {
  IniDocument doc;
  doc.Parse("[S]\r\nA=first\r\nD=\"half\r\nA=second\r\n");
  EXPECT_EQ(doc.Value("s", "a"), "first");
  EXPECT_EQ(doc.Value("S", "D"), "\"half");
  EXPECT_EQ(LeadingNumber("-99999999999999999999"), -2147483647 - 1);
  for (std::string value : {" lead", "trail\t", "\"both\"", "'x'", ""}) {
    ASSERT_TRUE(doc.Set("S", "K", value));
    IniDocument back;
    back.Parse(doc.Serialize());
    EXPECT_EQ(back.Value("S", "K"), value) << "[" << value << "]";
  }
  EXPECT_FALSE(doc.Set("S", "K", "two\nlines"));
  EXPECT_EQ(doc.Value("S", "K"), "");
}

}  // namespace
