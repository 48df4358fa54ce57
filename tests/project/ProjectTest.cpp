// Project files and the project commands, with the recent list and the profile around them.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "buffers/BufferCommands.h"
#include "devices/DeviceTable.h"
#include "project/ProjectCommands.h"

namespace fs = std::filesystem;
using namespace zr7;

namespace {

std::string ReadText(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

struct RecordingWindow : ProjectWindow {
  void RefreshControls() override { ++refreshes; }
  void SetFlashInvert(bool on) override { flashInvert = on; }
  void SetIncrementCheck(bool on) override { incrementCheck = on; }
  void SelectSckPeriod(int i) override { sck = i; }
  void SelectDevice(int d) override { device = d; }
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
  ProjectSettings s;
  s.flashInvert = s.polling = s.checkSign = s.noSynchronization = true;
  s.autoErase = s.autoEmptyCheck = s.autoFlashReload = s.autoFlashProgram = s.autoFlashVerify = true;
  s.autoEepromReload = s.autoEepromProgram = s.autoEepromVerify = true;
  s.autoIncrementFlash = s.autoIncrement = s.programFuse = true;
  s.delayByte = s.delayPage = s.delayByte2 = s.delayPage2 = true;
  s.resetStrobeLength = 3;
  s.lockFuse.lockMode = 3;
  for (int i = 0; i < FuseBitCount; i += 3) s.lockFuse.fuse[i] = true;
  for (int i = 1; i < BootLockBitCount; i += 2) s.lockFuse.bootLock[i] = true;
  s.autoIncAddressFlash = 0x7FFE;
  s.autoIncAddress = -2;
  s.deviceNo = DeviceCount - 1;
  s.lockFuseDeviceNo = DeviceCount - 2;
  s.spiPeriod = 7;
  s.delayByteValue = 11, s.delayPageValue = 12, s.delayByteValue2 = 13, s.delayPageValue2 = 14;
  return s;
}

class ProjectTest : public testing::Test {
 protected:
  void SetUp() override {
    project.Attach(&window, flash, eeprom);
    flash.Init(op, catalog, false, nullptr, &project, &window);
    eeprom.Init(op, catalog, true, nullptr, &project, &window);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string File(const std::string& name, const std::string& body = "") {
    std::string path = dir + "/" + name;
    if (!body.empty()) WriteText(path, body);
    return path;
  }
  const char* Text(int id) const { return catalog.GetText(id); }

  std::string dir = [] {
    std::string pattern = (fs::temp_directory_path() / "zr7-project-XXXXXX").string();
    return std::string(mkdtemp(pattern.data()));
  }();
  ScriptedOperator op;
  LanguageSettings language;
  MessageCatalog catalog{language};
  RecordingWindow window;
  Project project{op, catalog};
  MemoryBuffer flash, eeprom;
};

TEST_F(ProjectTest, FileWithOnlyTheFlashKeyLoadsTheMissingKeyDefaults) {
  project.settings() = EveryFieldSet();
  project.SetModified();
  std::string path = File("only-flash.zr7", "[Files]\nFlash=[Unspecified]\n");
  ASSERT_TRUE(project.Load(path));
  EXPECT_EQ(project.settings(), MissingKeyDefaults());
  EXPECT_EQ(project.settings().deviceNo, 8);
  EXPECT_EQ(project.path(), path);
  EXPECT_FALSE(project.modified());
  EXPECT_TRUE(flash.empty() && eeprom.empty());
  EXPECT_TRUE(op.Boxes().empty());
}

TEST_F(ProjectTest, WindowsFileLoadsAndIsRewrittenWithItsCommentsUnknownKeysSpellingAndLineEnds) {
  std::string path = File("line3.zr7");
  fs::copy_file(std::string(ZR7_TEST_DATA) + "/windows-crlf-mixed-case.zr7", path);
  ASSERT_NE(ReadText(path).find("\r\n"), std::string::npos) << "the fixture must keep its CR LF line ends";
  ASSERT_TRUE(project.Load(path));
  ProjectSettings want = MissingKeyDefaults();
  want.flashInvert = want.polling = want.noSynchronization = true;
  want.autoErase = want.autoEmptyCheck = want.autoFlashProgram = want.autoFlashVerify = true;
  want.autoEepromReload = want.autoEepromVerify = true;
  want.autoIncrementFlash = want.autoIncrement = want.programFuse = true;
  want.delayByte = want.delayPage2 = true;
  want.resetStrobeLength = 250;
  want.spiPeriod = 6;
  want.lockFuse.lockMode = 2;
  want.lockFuse.fuse[0] = want.lockFuse.fuse[5] = want.lockFuse.fuse[31] = want.lockFuse.bootLock[15] = true;
  want.autoIncAddressFlash = 4094, want.autoIncAddress = 16, want.deviceNo = want.lockFuseDeviceNo = 23;
  want.delayByteValue = 12, want.delayPageValue = 5, want.delayByteValue2 = 7, want.delayPageValue2 = 30;
  EXPECT_EQ(project.settings(), want);
  EXPECT_TRUE(op.Boxes().empty()) << "the quoted [Unspecified] names no image";
  EXPECT_TRUE(window.flashInvert && window.incrementCheck);

  want.deviceNo = project.settings().deviceNo = 30;
  ASSERT_TRUE(project.Save());
  std::string text = ReadText(path);
  for (const char* kept : {"; Line 3 job: ATmega169, bootloader locked", "; the recipe of the line",
                           "Operator=night shift", "[Notes]\r\nFixture=socket 2 is worn",
                           "; keep this file with the line's documents", "\r\ndeviceno=30\r\n", "flashinvert=1",
                           "Fuse30=0"}) {
    EXPECT_NE(text.find(kept), std::string::npos) << kept;
  }
  EXPECT_EQ(text.find("DeviceNo="), std::string::npos) << "a key the file has is not added in our spelling";
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::count(text.begin(), text.end(), '\r'));
  ASSERT_TRUE(project.Load(path));
  EXPECT_EQ(project.settings(), want);
  ASSERT_TRUE(project.Save());
  EXPECT_EQ(ReadText(path), text) << "a second rewrite changes nothing";
}

TEST_F(ProjectTest, NumbersAreReadAsTheProfileFormatReadsThem) {
  struct Case {
    const char* line;
    int lockMode, deviceNo;
  };
  for (Case c : {Case{"LockMode=abc", 0, 8}, {"LockMode=3x", 3, 8}, {"LockMode=", 0, 8}, {"LockMode= +1 ", 1, 8},
                 {"DeviceNo=abc", 0, 0}, {"DeviceNo=", 0, 8}, {"DeviceNo=12abc", 0, 12}, {"DeviceNo=\"17\"", 0, 17},
                 {"DeviceNo=0x10", 0, 0}}) {
    std::string section = std::string(c.line).starts_with("Lock") ? "[AutoProgram]\n" : "[Device]\n";
    ASSERT_TRUE(project.Load(File("n.zr7", "[Files]\nFlash=[Unspecified]\n" + section + c.line + "\n"))) << c.line;
    EXPECT_EQ(project.settings().lockFuse.lockMode, c.lockMode) << c.line;
    EXPECT_EQ(project.settings().deviceNo, c.deviceNo) << c.line;
  }
}

TEST_F(ProjectTest, RefusedFileIsNamedInABoxAndLeavesTheProjectUntouched) {
  std::string image = File("image.bin", std::string("\x01\x02\x03\x04", 4));
  std::string good = File("good.zr7", "[Files]\nFlash=" + image + "\n[Device]\nDeviceNo=23\n");
  ASSERT_TRUE(project.Load(good));
  project.settings().polling = true;
  project.SetModified();
  const ProjectSettings before = project.settings();
  fs::create_directory(File("folder.zr7"));

  struct Case {
    std::string body, key, value;
    int high;
    int reason = 0;  // for a file refused as a whole: why
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
                 {"[Settings]\nFlash=x.hex", "", "", 0, msg::ProjectFileNotAProject},
                 {"", "", "", 0, msg::ProjectFileMissing},
                 {"folder", "", "", 0, msg::ProjectFileNotRegular},
                 {"large", "", "", 0, msg::ProjectFileTooLarge}}) {
    op.ClearEvents();
    std::string bad = c.body == "folder" ? File("folder.zr7")
                      : c.body == "large" ? File("large.zr7", "[Files]\nFlash=x\n" + std::string(2 << 20, ';'))
                      : c.body.empty()   ? File("missing.zr7")
                      : c.key.empty()    ? File("noflash.zr7", c.body + "\n")
                                         : File("bad.zr7", "[Files]\nFlash=[Unspecified]\n" + c.body + "\n");
    EXPECT_FALSE(project.Load(bad)) << bad;
    ASSERT_EQ(op.Boxes().size(), 1u);
    EXPECT_EQ(op.Boxes()[0].text,
              c.key.empty() ? FormatText(Text(msg::ErrorReadingProjectFileBecause), bad.c_str(), Text(c.reason))
                            : FormatText(Text(msg::ProjectValueOutOfRange), bad.c_str(), c.key.c_str(),
                                         c.value.c_str(), 0, c.high));
    EXPECT_EQ(op.Boxes()[0].caption, Text(msg::ProductTitle));
    EXPECT_EQ(project.settings(), before);
    EXPECT_EQ(project.path(), good);
    EXPECT_TRUE(project.modified());
    EXPECT_EQ(flash.size(), 4u);
  }
}

TEST_F(ProjectTest, NewProjectSavedAtOnceWritesItsValuesWithSectionsAndKeysInFileOrder) {
  op.QueueFile(File("new.zr7"));
  ASSERT_TRUE(project.SaveAs());
  std::string want =
      "[Files]\nFlash=[Unspecified]\nEeprom=[Unspecified]\nFlashInvert=0\n\n[Settings]\nPolling=0\nCheckSign=0\n"
      "NoSynchronization=0\nResetStrobeLength=20\nSPIPeriod=4\n\n[AutoProgram]\nAutoErase=0\nAutoEmptyCheck=0\n"
      "AutoFlashReload=0\nAutoFlashProgram=0\nAutoFlashVerify=0\nAutoEepromReload=0\nAutoEepromProgram=0\n"
      "AutoEepromVerify=0\nAutoIncrementFlash=0\nAutoIncrement=0\nProgramFuse=0\nLockMode=0\n";
  for (int i = 0; i < 32; ++i) want += "Fuse" + std::to_string(i) + "=0\n";
  for (int i = 0; i < 16; ++i) want += "BootLock" + std::to_string(i) + "=0\n";
  want += "LockFuseDevice=8\nAutoIncAddressFlash=0\nAutoIncAddress=0\n\n[Device]\nDeviceNo=8\n\n[Delays]\nDelayByte=0\nDelayPage=0\n"
          "DelayByteValue=9\nDelayPageValue=6\nDelayByte2=0\nDelayPage2=0\nDelayByteValue2=10\nDelayPageValue2=10\n";
  EXPECT_EQ(ReadText(project.path()), want);
}

TEST_F(ProjectTest, EveryFieldAndAnImageNameWithATrailingBlankSurviveWriteAndLoad) {
  std::string image = File("trailing blank.hex ", ":020000001020CE\n:00000001FF\n");
  ASSERT_TRUE(LoadFile(flash, image));
  project.settings() = EveryFieldSet();
  ASSERT_TRUE(project.Write(File("all.zr7")));

  Project other(op, catalog);
  MemoryBuffer otherFlash, otherEeprom;
  other.Attach(nullptr, otherFlash, otherEeprom);
  otherFlash.Init(op, catalog, false, nullptr, &other, nullptr);
  otherEeprom.Init(op, catalog, true, nullptr, &other, nullptr);
  ASSERT_TRUE(other.Load(File("all.zr7")));
  EXPECT_EQ(other.settings(), EveryFieldSet());
  EXPECT_EQ(otherFlash.fileName(), image);
  EXPECT_EQ(otherFlash.data(), (std::vector<std::uint8_t>{0x10, 0x20}));
}

// An image is written over its file with the project only when the file is to change: never
// when the image is what the file holds, and after a question defaulting to No when the image
// came from elsewhere (read from a chip, edited, merged at an address).
TEST_F(ProjectTest, SavingWritesAnImageOverItsFileOnlyWhenItChangedAndTheOperatorAgrees) {
  struct Case {
    const char* how;
    std::optional<BoxAnswer> answer;  // none: no question
  };
  for (Case c : {Case{"loaded", std::nullopt}, {"read", BoxAnswer::No}, {"read", BoxAnswer::Yes},
                 {"edited", BoxAnswer::No}, {"merged", BoxAnswer::No}, {"merged", BoxAnswer::Yes}}) {
    const std::string how = c.how;
    ASSERT_TRUE(project.Load(File("p.zr7", "[Files]\nFlash=" + File("blink.bin", "\x01\x02\x03\x04") + "\n")));
    if (how == "read") flash.Allocate(8);  // the chip's bytes under the file's name
    if (how == "edited") {
      flash.data()[1] = 0x55;
      flash.MarkModified();
    }
    if (how == "merged") {
      op.QueueFile(File("patch.bin", "\x0A\x0B"));
      ASSERT_TRUE(OpenAt(flash));
    }
    const std::string watched = flash.fileName();
    const std::vector<std::uint8_t> image = flash.data();
    WriteText(watched, "kept");
    op.ClearEvents();
    if (c.answer) op.QueueAnswer(*c.answer);
    ASSERT_TRUE(project.Save()) << how;

    const bool written = c.answer == BoxAnswer::Yes;
    ASSERT_EQ(op.Boxes().size(), c.answer ? 1u : 0u) << how;
    if (c.answer) {
      EXPECT_EQ(op.Boxes()[0].text, FormatText(Text(msg::FlashImageOverOtherContent), watched.c_str()));
      EXPECT_EQ(op.Boxes()[0].buttons, BoxButtons::YesNo);
      EXPECT_EQ(op.Boxes()[0].defaultAnswer, BoxAnswer::No);
    }
    EXPECT_EQ(ReadText(watched), written ? std::string(image.begin(), image.end()) : "kept") << how;
    const bool unsaved = c.answer == BoxAnswer::No;
    EXPECT_EQ(flash.modified(), unsaved) << how;
    EXPECT_EQ(project.modified(), unsaved) << how;
  }
}

TEST_F(ProjectTest, ARelativeImageNameStaysRelativeSoTheFolderCanMove) {
  fs::create_directory(dir + "/job");
  WriteText(dir + "/job/blink.bin", "\x01\x02");
  WriteText(dir + "/job/p.zr7", "[Files]\nFlash=blink.bin\n");
  ASSERT_TRUE(project.Load(dir + "/job/p.zr7"));
  project.settings().polling = true;
  ASSERT_TRUE(project.Save());
  EXPECT_NE(ReadText(dir + "/job/p.zr7").find("Flash=blink.bin\n"), std::string::npos);

  fs::rename(dir + "/job", dir + "/moved");
  ASSERT_TRUE(project.Load(dir + "/moved/p.zr7"));
  EXPECT_EQ(flash.data(), (std::vector<std::uint8_t>{0x01, 0x02}));
  EXPECT_TRUE(project.settings().polling);

  // Another image is stored by its own name.
  const std::string other = File("other.bin", "\x03\x04");
  ASSERT_TRUE(LoadFile(flash, other));
  ASSERT_TRUE(project.Save());
  EXPECT_NE(ReadText(dir + "/moved/p.zr7").find("Flash=" + other + "\n"), std::string::npos);
}

TEST_F(ProjectTest, FailedWriteIsReportedAndKeepsTheFileThePathAndTheModifiedFlag) {
  std::string path = File("p.zr7", "[Files]\nFlash=[Unspecified]\n; mine\n");
  ASSERT_TRUE(project.Load(path));
  project.SetModified();
  fs::create_directory(File("taken.zr7"));
  const std::pair<std::string, const char*> cases[] = {
      {File("no-such-folder/p.zr7"), "the folder does not exist"},
      {File("taken.zr7"), "it is a folder"},
  };
  for (const auto& [target, cause] : cases) {
    op.ClearEvents();
    op.QueueFile(target);
    EXPECT_FALSE(project.SaveAs()) << target;
    ASSERT_EQ(op.Boxes().size(), 1u);
    EXPECT_EQ(op.Boxes()[0].text, "Cannot save project file '" + target + "': " + cause + ".");
    EXPECT_TRUE(project.modified());
    EXPECT_EQ(project.path(), path);
  }
  op.ClearEvents();
  flash.SetFileName(File("two\nlines.hex"));  // a name the format cannot hold
  EXPECT_FALSE(project.Save());
  ASSERT_FALSE(op.Boxes().empty());
  EXPECT_EQ(op.Boxes().back().text, "Cannot save project file '" + path +
                                        "': a file name or value holds a line break, which the file cannot store.");
  EXPECT_EQ(ReadText(path), "[Files]\nFlash=[Unspecified]\n; mine\n");
}

TEST_F(ProjectTest, ResetKeepsDeviceTimingDelaysAndModifiedWhichFollowsTheImages) {
  project.settings() = EveryFieldSet();
  project.settings().lockFuse.readable = true;
  window.flashInvert = window.incrementCheck = true;
  int refreshes = window.refreshes;
  project.SetModified();
  project.SetModified();
  EXPECT_EQ(window.refreshes, refreshes + 1);
  project.Reset();

  ProjectSettings want = EveryFieldSet();
  ProjectSettings fresh;
  want.lockFuse = fresh.lockFuse;
  want.lockFuseDeviceNo = want.deviceNo;
  want.flashInvert = want.polling = want.autoErase = want.autoEmptyCheck = want.autoFlashReload = false;
  want.autoFlashProgram = want.autoFlashVerify = want.autoEepromReload = want.autoEepromProgram = false;
  want.autoEepromVerify = want.autoIncrementFlash = want.autoIncrement = want.programFuse = false;
  want.spiPeriod = 4, want.autoIncAddressFlash = want.autoIncAddress = 0;
  EXPECT_EQ(project.settings(), want);
  EXPECT_EQ(project.path(), Unspecified);
  EXPECT_FALSE(window.flashInvert || window.incrementCheck);

  EXPECT_TRUE(project.modified());
  eeprom.SetModifiedFlag(true);
  project.ClearModifiedIfClean();
  EXPECT_TRUE(project.modified());
  eeprom.SetModifiedFlag(false);
  project.ClearModifiedIfClean();
  EXPECT_FALSE(project.modified());
}

// ---- Project commands -------------------------------------------------------------------

class ProjectCommandsTest : public ProjectTest {
 protected:
  std::string Job(const std::string& name, int device, int sck) {
    return File(name, "[Files]\nFlash=[Unspecified]\n[Settings]\nSPIPeriod=" + std::to_string(sck) +
                          "\n[Device]\nDeviceNo=" + std::to_string(device) + "\n");
  }
  Profile profile{dir + "/config/zr7.ini", op, catalog};
  RecentList recent{profile, PathCase::Exact};
  ProjectCommands commands{project, profile, recent, op, catalog};
};

TEST_F(ProjectCommandsTest, OpenLoadsSelectsAndListsTheProjectAndCancelLeavesAll) {
  EXPECT_TRUE(commands.Execute(command::ProjectOpen));
  EXPECT_EQ(op.LastStatus(), Text(msg::ProjectNotLoaded));
  EXPECT_EQ(recent.Slot(1), "");

  std::string path = Job("a.zr7", 17, 2);
  op.QueueFile(path);
  EXPECT_TRUE(commands.Execute(command::ProjectOpen));
  EXPECT_EQ(op.LastStatus(), Text(msg::ProjectLoaded));
  EXPECT_EQ(profile.RecentProject(1), path);
  EXPECT_TRUE(profile.LoadMostRecent());
  EXPECT_EQ(window.sck, 2);
  EXPECT_EQ(window.device, 17);
}

TEST_F(ProjectCommandsTest, ReloadOfADeletedFileReportsItAndKeepsTheProjectForARetry) {
  std::string path = Job("a.zr7", 17, 2);
  ASSERT_TRUE(project.Load(path));
  project.settings().autoErase = true;
  fs::remove(path);
  op.ClearEvents();
  EXPECT_FALSE(commands.Reload());
  ASSERT_EQ(op.Boxes().size(), 1u);
  EXPECT_EQ(op.Boxes()[0].text,
            FormatText(Text(msg::ErrorReadingProjectFileBecause), path.c_str(), Text(msg::ProjectFileMissing)));
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

  op.QueueFile(File("first.zr7"));
  EXPECT_TRUE(commands.Save());
  EXPECT_EQ(recent.Slot(1), File("first.zr7"));
  recent.AddToRecent("/jobs/other.zr7");
  EXPECT_TRUE(commands.Save()) << "in place, without a dialog";
  EXPECT_EQ(recent.Slot(1), "/jobs/other.zr7");
}

TEST_F(ProjectCommandsTest, NewKeepsTheImagesCloseEmptiesThemAndBothStopTheStartUpProject) {
  op.QueueFile(File("p.zr7", "[Files]\nFlash=" + File("f.bin", "\x01\x02") + "\n"));
  ASSERT_TRUE(commands.Open());
  project.SetModified();
  op.QueueAnswer(BoxAnswer::No);  // discard
  commands.Execute(command::ProjectNew);
  EXPECT_FALSE(profile.LoadMostRecent());
  EXPECT_FALSE(project.modified());
  EXPECT_EQ(project.path(), Unspecified);
  EXPECT_EQ(flash.size(), 2u);

  profile.SetLoadMostRecent(true);
  commands.Execute(command::ProjectClose);
  EXPECT_FALSE(profile.LoadMostRecent());
  EXPECT_TRUE(flash.empty());
}

// Leaving unsaved changes asks: Yes saves first, No discards, Cancel stays; a save that did not
// happen (a new project whose Save As was cancelled) stays too.
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
    const std::string a = File("a.zr7", "[Files]\nFlash=" + File("f.bin", "\x01\x02") + "\n");
    if (c.named) {
      ASSERT_TRUE(project.Load(a));
    } else {
      project.Reset();
      ASSERT_TRUE(LoadFile(flash, File("f.bin", "\x01\x02")));
    }
    recent.AddToRecent(b);
    project.settings().autoErase = true;
    project.SetModified();
    op.ClearEvents();
    if (c.command == command::ProjectOpen) op.QueueFile(b);
    op.QueueAnswer(c.answer);
    commands.Execute(c.command);

    const auto boxes = op.Boxes();
    ASSERT_EQ(boxes.size(), 1u) << c.command;
    EXPECT_EQ(boxes[0].text, Text(msg::ProjectUnsavedSaveDiscardCancel));
    EXPECT_EQ(boxes[0].buttons, BoxButtons::YesNoCancel);
    const bool saved = c.answer == BoxAnswer::Yes && c.named;
    EXPECT_EQ(ReadText(a).find("AutoErase=1") != std::string::npos, saved) << c.command;
    const bool left = c.answer == BoxAnswer::No || saved;
    const bool opens = c.command == command::ProjectOpen || c.command == FirstRecentCommand;
    const std::string was = c.named ? a : std::string(Unspecified);
    EXPECT_EQ(project.path(), !left ? was : opens ? b : std::string(Unspecified)) << c.command;
    EXPECT_EQ(project.settings().autoErase, !left) << c.command;
    EXPECT_EQ(flash.empty(), left && c.command != command::ProjectNew) << "New keeps the images";
  }
}

TEST_F(ProjectCommandsTest, RecentEntryOpensAndMovesFirstButAGoneFileStaysWhereItWas) {
  std::string a = Job("a.zr7", 3, 1), b = Job("b.zr7", 4, 5);
  recent.AddToRecent(a);
  recent.AddToRecent(b);
  EXPECT_TRUE(commands.Execute(FirstRecentCommand + 1));  // slot 2
  EXPECT_EQ(project.path(), a);
  EXPECT_EQ(recent.Slot(1), a);
  EXPECT_TRUE(profile.LoadMostRecent());
  EXPECT_EQ(window.device, 3);

  fs::remove(b);
  profile.SetLoadMostRecent(false);
  EXPECT_FALSE(commands.OpenRecent(2));
  EXPECT_EQ(recent.Slot(1), a);
  EXPECT_FALSE(profile.LoadMostRecent());
  EXPECT_EQ(op.LastStatus(), Text(msg::ProjectNotLoaded));
}

}  // namespace
