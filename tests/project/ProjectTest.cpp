// Project files and the project commands, with the recent list and the profile around them.

#include <gtest/gtest.h>

#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "support/TempFolder.h"
#include "buffers/BufferCommands.h"
#include "devices/DeviceTable.h"
#include "project/ProjectCommands.h"

namespace fs = std::filesystem;
using namespace zr7;
using zr7test::ReadFile;

namespace {

// What a window shows of the project, from what the project reports.
struct RecordingWindow : ViewInterface {
  void ProjectChanged() override {
    ++refreshes;
    flashInvert = project->settings().flashInvert;
    incrementCheck = project->settings().autoIncrement;
    sck = project->settings().spiPeriod;
  }
  void DeviceSelected(int d) override { device = d; }
  const Project* project = nullptr;
  int refreshes = 0, sck = -1, device = -1;
  bool flashInvert = false, incrementCheck = false;
};

// What a file holding nothing but "Files" "Flash" loads as.
ProjectSettings MissingKeyDefaults() {
  ProjectSettings s;
  s.resetStrobeLength = 400;
  s.delayByteValue = s.delayPageValue = s.delayByteValue2 = s.delayPageValue2 = 0;
  return s;
}

// A value other than the default in every field.
ProjectSettings EveryFieldSet() {
  ProjectSettings s{.flashInvert = true, .polling = true, .resetStrobeLength = 3, .checkSign = true,
                    .noSynchronization = true, .autoErase = true, .autoEmptyCheck = true, .autoFlashReload = true,
                    .autoFlashProgram = true, .autoFlashVerify = true, .autoEepromReload = true,
                    .autoEepromProgram = true, .autoEepromVerify = true, .autoIncrementFlash = true,
                    .autoIncrement = true, .programFuse = true, .lockFuse = {}, .lockFuseDeviceNo = DeviceCount - 2,
                    .autoIncAddressFlash = 0x7FFE, .autoIncAddress = -2, .deviceNo = DeviceCount - 1, .spiPeriod = 7,
                    .delayByte = true, .delayPage = true, .delayByteValue = 11, .delayPageValue = 12,
                    .delayByte2 = true, .delayPage2 = true, .delayByteValue2 = 13, .delayPageValue2 = 14};
  s.lockFuse.lockMode = 3;
  for (int i = 0; i < FuseBitCount; i += 3) s.lockFuse.fuse[i] = true;
  for (int i = 1; i < BootLockBitCount; i += 2) s.lockFuse.bootLock[i] = true;
  return s;
}

const std::string kOnlyFlash = "[Files]\nFlash=[Unspecified]\n";

class ProjectTest : public testing::Test {
 protected:
  void SetUp() override {
    window.project = &project;
    project.Attach(&window, flash, eeprom);
    flash.Init(op, catalog, false, &project, &window);
    eeprom.Init(op, catalog, true, &project, &window);
  }
  std::string File(const std::string& name, const std::string& body) { return dir.File(name, body); }
  std::string Path(const std::string& name) const { return dir / name; }
  const char* Text(int id) const { return catalog.GetText(id); }

  zr7test::TempFolder dir;
  ScriptedOperator op;
  LanguageSettings language;
  MessageCatalog catalog{language};
  RecordingWindow window;
  Project project{op, catalog};
  MemoryBuffer flash, eeprom;
};

TEST_F(ProjectTest, WindowsFileLoadsAndIsRewrittenWithItsCommentsUnknownKeysSpellingAndLineEnds) {
  const std::string path = Path("line3.zr7");
  fs::copy_file(std::string(ZR7_TEST_DATA) + "/windows-crlf-mixed-case.zr7", path);
  ASSERT_NE(ReadFile(path).find("\r\n"), std::string::npos) << "the fixture must keep its CR LF line ends";
  ASSERT_TRUE(project.Load(path));
  ProjectSettings want{.flashInvert = true, .polling = true, .resetStrobeLength = 250, .noSynchronization = true,
                       .autoErase = true, .autoEmptyCheck = true, .autoFlashProgram = true, .autoFlashVerify = true,
                       .autoEepromReload = true, .autoEepromVerify = true, .autoIncrementFlash = true,
                       .autoIncrement = true, .programFuse = true, .lockFuse = {}, .lockFuseDeviceNo = 23,
                       .autoIncAddressFlash = 4094, .autoIncAddress = 16, .deviceNo = 23, .spiPeriod = 6,
                       .delayByte = true, .delayByteValue = 12, .delayPageValue = 5, .delayPage2 = true,
                       .delayByteValue2 = 7, .delayPageValue2 = 30};
  want.lockFuse.lockMode = 2;
  want.lockFuse.fuse[0] = want.lockFuse.fuse[5] = want.lockFuse.fuse[31] = want.lockFuse.bootLock[15] = true;
  EXPECT_EQ(project.settings(), want);
  EXPECT_TRUE(op.Boxes().empty()) << "the quoted [Unspecified] names no image";
  EXPECT_TRUE(window.flashInvert && window.incrementCheck);

  want.deviceNo = project.settings().deviceNo = 30;
  ASSERT_TRUE(project.Save());
  const std::string text = ReadFile(path);
  for (const char* kept : {"; Line 3 job: ATmega169, bootloader locked", "; the recipe of the line",
                           "Operator=night shift", "[Notes]\r\nFixture=socket 2 is worn",
                           "; keep this file with the line's documents", "\r\ndeviceno=30\r\n", "flashinvert=1",
                           "Fuse30=0"})
    EXPECT_NE(text.find(kept), std::string::npos) << kept;
  EXPECT_EQ(text.find("DeviceNo="), std::string::npos) << "a key the file has is not added in our spelling";
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::count(text.begin(), text.end(), '\r'));
  ASSERT_TRUE(project.Load(path));
  EXPECT_EQ(project.settings(), want);
  ASSERT_TRUE(project.Save());
  EXPECT_EQ(ReadFile(path), text) << "a second rewrite changes nothing";
}

// A file of nothing but the Flash key loads the defaults of missing keys over whatever was set;
// numbers are read as the profile format reads them.
TEST_F(ProjectTest, MissingKeysLoadTheirDefaultsAndNumbersAreReadAsTheProfileFormatReadsThem) {
  struct Case { const char* line; int lockMode, deviceNo; };
  for (Case c : {Case{"", 0, 8}, {"LockMode=abc", 0, 8}, {"LockMode=3x", 3, 8}, {"LockMode=", 0, 8},
                 {"LockMode= +1 ", 1, 8}, {"DeviceNo=abc", 0, 0}, {"DeviceNo=", 0, 8}, {"DeviceNo=12abc", 0, 12},
                 {"DeviceNo=\"17\"", 0, 17}, {"DeviceNo=0x10", 0, 0}}) {
    SCOPED_TRACE(c.line);
    project.settings() = EveryFieldSet();
    project.SetModified();
    const std::string section = std::string(c.line).starts_with("Lock") ? "[AutoProgram]\n" : "[Device]\n";
    const std::string path = File("n.zr7", kOnlyFlash + section + c.line + "\n");
    ASSERT_TRUE(project.Load(path));
    ProjectSettings want = MissingKeyDefaults();
    want.lockFuse.lockMode = c.lockMode;
    want.deviceNo = want.lockFuseDeviceNo = c.deviceNo;  // a missing LockFuseDevice follows the device
    EXPECT_EQ(project.settings(), want);
    EXPECT_EQ(project.path(), path);
    EXPECT_FALSE(project.modified());
  }
  EXPECT_TRUE(flash.empty() && eeprom.empty());
  EXPECT_TRUE(op.Boxes().empty());
}

TEST_F(ProjectTest, RefusedFileIsNamedInABoxAndLeavesTheProjectUntouched) {
  const std::string image = File("image.bin", "\x01\x02\x03\x04");
  const std::string good = File("good.zr7", "[Files]\nFlash=" + image + "\n[Device]\nDeviceNo=23\n");
  ASSERT_TRUE(project.Load(good));
  project.settings().polling = true;
  project.SetModified();
  const ProjectSettings before = project.settings();
  fs::create_directory(Path("folder.zr7"));
  File("large.zr7", "[Files]\nFlash=x\n" + std::string(2 << 20, ';'));
  File("noflash.zr7", "[Settings]\nFlash=x.hex\n");

  struct Case {
    std::string body, key, value;
    int high;
  };
  for (Case c : {Case{"[Device]\nDeviceNo=41", "DeviceNo", "41", 40}, {"[Device]\nDeviceNo=-1", "DeviceNo", "-1", 40},
                 {"[Device]\nDeviceNo=99999999999", "DeviceNo", "99999999999", 40},
                 {"[AutoProgram]\nLockFuseDevice=41", "LockFuseDevice", "41", 40},
                 {"[Settings]\nSPIPeriod=8", "SPIPeriod", "8", 7}, {"[AutoProgram]\nLockMode=4", "LockMode", "4", 3},
                 {"[AutoProgram]\nLockMode=-1x", "LockMode", "-1x", 3},
                 // Waits that would stand a job still for days.
                 {"[Settings]\nResetStrobeLength=2000000000", "ResetStrobeLength", "2000000000", MaxResetStrobeMs},
                 {"[Delays]\nDelayPageValue=2000000000", "DelayPageValue", "2000000000", MaxPageDelayMs},
                 {"[Delays]\nDelayPageValue2=-5", "DelayPageValue2", "-5", MaxPageDelayMs},
                 // Files refused as a whole, with the reason.
                 {"noflash.zr7", "", "", msg::ProjectFileNotAProject},
                 {"missing.zr7", "", "", msg::ProjectFileMissing},
                 {"folder.zr7", "", "", msg::ProjectFileNotRegular},
                 {"large.zr7", "", "", msg::ProjectFileTooLarge}}) {
    op.ClearEvents();
    const std::string bad = c.key.empty() ? Path(c.body) : File("bad.zr7", kOnlyFlash + c.body + "\n");
    EXPECT_FALSE(project.Load(bad)) << bad;
    EXPECT_EQ(op.BoxTexts(), std::vector<std::string>{
                                 c.key.empty() ? FormatText(Text(msg::ErrorReadingProjectFileBecause), bad.c_str(),
                                                            Text(c.high))
                                               : FormatText(Text(msg::ProjectValueOutOfRange), bad.c_str(),
                                                            c.key.c_str(), c.value.c_str(), 0, c.high)});
    EXPECT_EQ(op.Boxes().at(0).caption, Text(msg::ProductTitle));
    EXPECT_EQ(project.settings(), before);
    EXPECT_EQ(project.path(), good);
    EXPECT_TRUE(project.modified());
    EXPECT_EQ(flash.size(), 4u);
  }
}

TEST_F(ProjectTest, NewProjectSavedAtOnceWritesItsValuesWithSectionsAndKeysInFileOrder) {
  op.QueueFile(Path("new.zr7"));
  ASSERT_TRUE(project.SaveAs());
  std::string want =
      "[Files]\nFlash=[Unspecified]\nEeprom=[Unspecified]\nFlashInvert=0\n\n[Settings]\nPolling=0\nCheckSign=0\n"
      "NoSynchronization=0\nResetStrobeLength=20\nSPIPeriod=4\n\n[AutoProgram]\nAutoErase=0\nAutoEmptyCheck=0\n"
      "AutoFlashReload=0\nAutoFlashProgram=0\nAutoFlashVerify=0\nAutoEepromReload=0\nAutoEepromProgram=0\n"
      "AutoEepromVerify=0\nAutoIncrementFlash=0\nAutoIncrement=0\nProgramFuse=0\nLockMode=0\n";
  for (int i = 0; i < 32; ++i) want += "Fuse" + std::to_string(i) + "=0\n";
  for (int i = 0; i < 16; ++i) want += "BootLock" + std::to_string(i) + "=0\n";
  want += "LockFuseDevice=8\nAutoIncAddressFlash=0\nAutoIncAddress=0\n\n[Device]\nDeviceNo=8\n\n[Delays]\nDelayByte=0\n"
          "DelayPage=0\nDelayByteValue=9\nDelayPageValue=6\nDelayByte2=0\nDelayPage2=0\nDelayByteValue2=10\n"
          "DelayPageValue2=10\n";
  EXPECT_EQ(ReadFile(project.path()), want);
}

TEST_F(ProjectTest, EveryFieldAndAnImageNameWithATrailingBlankSurviveWriteAndLoad) {
  const std::string image = File("trailing blank.hex ", ":020000001020CE\n:00000001FF\n");
  ASSERT_TRUE(LoadFile(flash, image));
  project.settings() = EveryFieldSet();
  ASSERT_TRUE(project.Write(Path("all.zr7")));
  project.Reset();
  flash.Clear();
  ASSERT_TRUE(project.Load(Path("all.zr7")));
  EXPECT_EQ(project.settings(), EveryFieldSet());
  EXPECT_EQ(flash.fileName(), image);
  EXPECT_EQ(flash.data(), (std::vector<std::uint8_t>{0x10, 0x20}));
}

// An image is written over its file with the project only when the file is to change: never
// when the image is what the file holds, and after a question defaulting to No when the image
// came from elsewhere (read from a chip, edited, merged at an address).
TEST_F(ProjectTest, SavingWritesAnImageOverItsFileOnlyWhenItChangedAndTheOperatorAgrees) {
  struct Case { std::string how; std::optional<BoxAnswer> answer; };  // no answer: no question
  for (const Case& c : {Case{"loaded", std::nullopt}, {"read", BoxAnswer::No}, {"read", BoxAnswer::Yes},
                        {"edited", BoxAnswer::No}, {"merged", BoxAnswer::No}, {"merged", BoxAnswer::Yes}}) {
    SCOPED_TRACE(c.how);
    ASSERT_TRUE(project.Load(File("p.zr7", "[Files]\nFlash=" + File("blink.bin", "\x01\x02\x03\x04") + "\n")));
    if (c.how == "read") flash.Allocate(8);  // the chip's bytes under the file's name
    if (c.how == "edited") {
      flash.data()[1] = 0x55;
      flash.MarkModified();
    }
    if (c.how == "merged") {
      op.QueueFile(File("patch.bin", "\x0A\x0B"));
      ASSERT_TRUE(OpenAt(flash));
    }
    const std::string watched = flash.fileName();
    const std::vector<std::uint8_t> image = flash.data();
    zr7test::WriteFile(watched, "kept");
    op.ClearEvents();
    if (c.answer) op.QueueAnswer(*c.answer);
    ASSERT_TRUE(project.Save());

    const std::string question = FormatText(Text(msg::FlashImageOverOtherContent), watched.c_str());
    ASSERT_EQ(op.BoxTexts(), c.answer ? std::vector{question} : std::vector<std::string>{});
    if (c.answer) {
      EXPECT_EQ(std::tuple(op.Boxes()[0].buttons, op.Boxes()[0].defaultAnswer),
                std::tuple(BoxButtons::YesNo, BoxAnswer::No));
    }
    EXPECT_EQ(ReadFile(watched), c.answer == BoxAnswer::Yes ? std::string(image.begin(), image.end()) : "kept");
    EXPECT_EQ(flash.modified(), c.answer == BoxAnswer::No);
    EXPECT_EQ(project.modified(), c.answer == BoxAnswer::No);
  }
}

TEST_F(ProjectTest, ARelativeImageNameStaysRelativeSoTheFolderCanMove) {
  fs::create_directory(Path("job"));
  File("job/blink.bin", "\x01\x02");
  File("job/p.zr7", "[Files]\nFlash=blink.bin\n");
  ASSERT_TRUE(project.Load(Path("job/p.zr7")));
  project.settings().polling = true;
  ASSERT_TRUE(project.Save());
  EXPECT_NE(ReadFile(Path("job/p.zr7")).find("Flash=blink.bin\n"), std::string::npos);

  fs::rename(Path("job"), Path("moved"));
  ASSERT_TRUE(project.Load(Path("moved/p.zr7")));
  EXPECT_EQ(flash.data(), (std::vector<std::uint8_t>{0x01, 0x02}));
  EXPECT_TRUE(project.settings().polling);

  // Another image is stored by its own name.
  const std::string other = File("other.bin", "\x03\x04");
  ASSERT_TRUE(LoadFile(flash, other));
  ASSERT_TRUE(project.Save());
  EXPECT_NE(ReadFile(Path("moved/p.zr7")).find("Flash=" + other + "\n"), std::string::npos);
}

TEST_F(ProjectTest, FailedWriteIsReportedAndKeepsTheFileThePathAndTheModifiedFlag) {
  const std::string path = File("p.zr7", kOnlyFlash + "; mine\n");
  ASSERT_TRUE(project.Load(path));
  project.SetModified();
  fs::create_directory(Path("taken.zr7"));
  const std::pair<std::string, const char*> cases[] = {
      {Path("no-such-folder/p.zr7"), "the folder does not exist"},
      {Path("taken.zr7"), "it is a folder"},
  };
  for (const auto& [target, cause] : cases) {
    op.ClearEvents();
    op.QueueFile(target);
    EXPECT_FALSE(project.SaveAs()) << target;
    EXPECT_EQ(op.BoxTexts(), std::vector<std::string>{"Cannot save project file '" + target + "': " + cause + "."});
    EXPECT_TRUE(project.modified());
    EXPECT_EQ(project.path(), path);
  }
  op.ClearEvents();
  flash.SetFileName(Path("two\nlines.hex"));  // a name the format cannot hold
  EXPECT_FALSE(project.Save());
  ASSERT_FALSE(op.Boxes().empty());
  EXPECT_EQ(op.BoxTexts().back(), "Cannot save project file '" + path +
                                      "': a file name or value holds a line break, which the file cannot store.");
  EXPECT_EQ(ReadFile(path), kOnlyFlash + "; mine\n");
}

TEST_F(ProjectTest, ResetKeepsDeviceTimingDelaysAndModifiedWhichFollowsTheImages) {
  project.settings() = EveryFieldSet();
  project.settings().lockFuse.readable = true;
  window.flashInvert = window.incrementCheck = true;
  const int refreshes = window.refreshes;
  project.SetModified();
  project.SetModified();
  EXPECT_EQ(window.refreshes, refreshes + 1);
  project.Reset();

  ProjectSettings want = EveryFieldSet();
  want.lockFuse = ProjectSettings().lockFuse;
  want.lockFuseDeviceNo = want.deviceNo;
  want.flashInvert = want.polling = want.autoErase = want.autoEmptyCheck = want.autoFlashReload = false;
  want.autoFlashProgram = want.autoFlashVerify = want.autoEepromReload = want.autoEepromProgram = false;
  want.autoEepromVerify = want.autoIncrementFlash = want.autoIncrement = want.programFuse = false;
  want.spiPeriod = 4, want.autoIncAddressFlash = want.autoIncAddress = 0;
  EXPECT_EQ(project.settings(), want);
  EXPECT_EQ(project.path(), Unspecified);
  EXPECT_FALSE(window.flashInvert || window.incrementCheck);

  EXPECT_TRUE(project.modified());
  for (bool eepromModified : {true, false}) {
    eeprom.SetModifiedFlag(eepromModified);
    project.ClearModifiedIfClean();
    EXPECT_EQ(project.modified(), eepromModified);
  }
}

// ---- Project commands -------------------------------------------------------------------

class ProjectCommandsTest : public ProjectTest {
 protected:
  std::string Job(const std::string& name, int device, int sck) {
    return File(name, kOnlyFlash + "[Settings]\nSPIPeriod=" + std::to_string(sck) + "\n[Device]\nDeviceNo=" +
                          std::to_string(device) + "\n");
  }
  Profile profile{dir / "config/zr7.ini", op, catalog};
  RecentList recent{profile, PathCase::Exact};
  ProjectCommands commands{project, profile, recent, op, catalog};
};


TEST_F(ProjectCommandsTest, ReloadOfADeletedFileReportsItAndKeepsTheProjectForARetry) {
  const std::string path = Job("a.zr7", 17, 2);
  ASSERT_TRUE(project.Load(path));
  project.settings().autoErase = true;
  fs::remove(path);
  op.ClearEvents();
  EXPECT_FALSE(commands.Reload());
  EXPECT_EQ(op.BoxTexts(), std::vector<std::string>{FormatText(Text(msg::ErrorReadingProjectFileBecause), path.c_str(),
                                                               Text(msg::ProjectFileMissing))});
  EXPECT_EQ(op.LastStatus(), Text(msg::ProjectNotLoaded));
  EXPECT_TRUE(project.settings().autoErase);
  EXPECT_EQ(project.path(), path);

  Job("a.zr7", 20, 1);
  EXPECT_TRUE(commands.Execute(command::ProjectReload));
  EXPECT_EQ(window.device, 20);
  EXPECT_EQ(recent.Slot(1), "") << "Reload leaves the recent list";
}

TEST_F(ProjectCommandsTest, SaveAsCancelledLeavesTheListAndAFirstSaveListsTheProject) {
  recent.AddToRecent("/jobs/old.zr7");
  EXPECT_FALSE(commands.SaveAs());
  EXPECT_EQ(recent.Slot(1), "/jobs/old.zr7");
  EXPECT_EQ(recent.Slot(2), "");

  op.QueueFile(Path("first.zr7"));
  EXPECT_TRUE(commands.Save());
  EXPECT_EQ(recent.Slot(1), Path("first.zr7"));
  recent.AddToRecent("/jobs/other.zr7");
  EXPECT_TRUE(commands.Save()) << "in place, without a dialog";
  EXPECT_EQ(recent.Slot(1), "/jobs/other.zr7");
}

// Open and a recent entry load the project, select its device and SCK, list it first and make
// it the start-up project; a cancelled dialog or a gone file leaves all as it was.
TEST_F(ProjectCommandsTest, OpenAndRecentEntriesLoadSelectAndListTheProject) {
  EXPECT_TRUE(commands.Execute(command::ProjectOpen));
  EXPECT_EQ(op.LastStatus(), Text(msg::ProjectNotLoaded));
  EXPECT_EQ(recent.Slot(1), "");

  const std::string a = Job("a.zr7", 3, 1), b = Job("b.zr7", 17, 2);
  recent.AddToRecent(a);
  op.QueueFile(b);
  EXPECT_TRUE(commands.Execute(command::ProjectOpen));
  EXPECT_EQ(op.LastStatus(), Text(msg::ProjectLoaded));
  EXPECT_EQ(std::tuple(profile.RecentProject(1), profile.LoadMostRecent()), std::tuple(b, true));
  EXPECT_EQ(std::pair(window.sck, window.device), std::pair(2, 17));

  EXPECT_TRUE(commands.Execute(FirstRecentCommand + 1));  // slot 2
  EXPECT_EQ(std::tuple(project.path(), recent.Slot(1), recent.Slot(2)), std::tuple(a, a, b));
  EXPECT_EQ(std::pair(window.sck, window.device), std::pair(1, 3));

  fs::remove(b);
  profile.SetLoadMostRecent(false);
  EXPECT_FALSE(commands.OpenRecent(2));
  EXPECT_EQ(std::tuple(recent.Slot(1), profile.LoadMostRecent()), std::tuple(a, false));
  EXPECT_EQ(op.LastStatus(), Text(msg::ProjectNotLoaded));
}

// Leaving unsaved changes asks: Yes saves first, No discards, Cancel stays; a save that did not
// happen (a new project whose Save As was cancelled) stays too. New keeps the images, Close
// empties them, and both stop the start-up project.
TEST_F(ProjectCommandsTest, LeavingUnsavedChangesAsksSaveDiscardOrCancel) {
  const std::string b = Job("b.zr7", 4, 5);
  struct Case {
    int command;
    BoxAnswer answer;
    bool named = true;  // the project has a file
  };
  for (Case c : {Case{command::ProjectNew, BoxAnswer::Cancel}, {command::ProjectNew, BoxAnswer::No},
                 {command::ProjectClose, BoxAnswer::Yes}, {command::ProjectOpen, BoxAnswer::Cancel},
                 {command::ProjectOpen, BoxAnswer::Yes}, {FirstRecentCommand, BoxAnswer::No},
                 {command::ProjectClose, BoxAnswer::Yes, false}}) {
    SCOPED_TRACE(c.command);
    const std::string image = File("f.bin", "\x01\x02"), a = File("a.zr7", "[Files]\nFlash=" + image + "\n");
    if (c.named) {
      ASSERT_TRUE(project.Load(a));
    } else {
      project.Reset();
      ASSERT_TRUE(LoadFile(flash, image));
    }
    recent.AddToRecent(b);
    profile.SetLoadMostRecent(true);
    project.settings().autoErase = true;
    project.SetModified();
    op.ClearEvents();
    if (c.command == command::ProjectOpen) op.QueueFile(b);
    op.QueueAnswer(c.answer);
    commands.Execute(c.command);

    EXPECT_EQ(op.BoxTexts(), std::vector<std::string>{Text(msg::ProjectUnsavedSaveDiscardCancel)});
    EXPECT_EQ(op.Boxes().at(0).buttons, BoxButtons::YesNoCancel);
    const bool saved = c.answer == BoxAnswer::Yes && c.named;
    EXPECT_EQ(ReadFile(a).find("AutoErase=1") != std::string::npos, saved);
    const bool left = c.answer == BoxAnswer::No || saved;
    const bool opens = c.command == command::ProjectOpen || c.command == FirstRecentCommand;
    const std::string was = c.named ? a : std::string(Unspecified);
    EXPECT_EQ(project.path(), !left ? was : opens ? b : std::string(Unspecified));
    EXPECT_EQ(project.settings().autoErase, !left);
    EXPECT_EQ(project.modified(), !left);
    EXPECT_EQ(flash.empty(), left && c.command != command::ProjectNew);
    EXPECT_EQ(profile.LoadMostRecent(), !left || opens);
  }
}

}  // namespace
