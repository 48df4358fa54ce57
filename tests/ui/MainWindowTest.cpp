// The main window through its real widgets: commands reach their targets, the window follows the
// chip and the project, starts up from profile and command line, and takes dropped files.

#include <QMimeData>

#include "BoardSimulator.h"
#include "WindowFixture.h"

namespace zr7test {
namespace {

using MainWindowTest = WindowTest;

// A project beside its image: erase, blank check, Flash program and verify.
std::string AutoprogramProject(const ScratchDir& dir, bool erase = true) {
  std::vector<std::uint8_t> image(200);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 3 + 2);
  WriteBytes(dir / "job.bin", image);
  std::ofstream(dir / "job.zr7") << "[Files]\nFlash=job.bin\n[AutoProgram]\nAutoErase=" << (erase ? 1 : 0)
                                 << "\nAutoEmptyCheck=1\nAutoFlashProgram=1\nAutoFlashVerify=1\n";
  return dir / "job.zr7";
}

TEST_F(MainWindowTest, MenuItemsAndButtonsReachTheirCommands) {
  zr7sim::SimOptions options;
  options.calibration = {0x9A, 0x9B, 0x9C, 0x9D};
  zr7sim::BoardSimulator sim(options);
  ASSERT_TRUE(sim.Start());
  WriteProfile(5, sim.SlavePath());
  Start({AutoprogramProject(dir)});
  // A status text, or the title of the dialog the command opens.
  const struct { bool menu; int id; const char *status, *dialog; } routes[] = {
      {true, command::SearchBoard, "ZR7 9.10 on COM2", nullptr},  // the board the others use
      {true, command::ReadCalibration, "Calibration bytes: 9A 9B 9C 9D", nullptr},
      {false, control::ChipErase, "Device erased", nullptr},
      {false, control::ProgramFlash, "Flash program: Done (200 bytes programmed)", nullptr},
      {true, control::VerifyFlash, "Flash verify: OK (200 bytes verified)", nullptr},
      {false, control::ReadSignature, "Signature: 1E 93 07 - ATmega8", nullptr},
      {false, control::Autoprogram, "Autoprogram: DONE (200 Flash bytes programmed)", nullptr},
      {false, control::StatusLine, nullptr, "Project Settings"},
      {true, command::LockFuseBits, nullptr, "Lock/Fuse Bits"},
      {true, command::UpdateFirmware, nullptr, "Self-Program Settings"},
      {true, command::About, nullptr, "About"},
  };
  for (const auto& r : routes) {
    SCOPED_TRACE(r.id);
    QString title;
    std::optional<WhenModal> dialog;
    if (r.dialog) dialog.emplace([&](QDialog& d) {
      title = d.windowTitle();
      d.reject();
    });
    r.menu ? Trigger(r.id) : QTest::mouseClick(window->Control(r.id), Qt::LeftButton);
    EXPECT_EQ(r.dialog ? title : window->StatusText(), U(r.dialog ? r.dialog : r.status));
  }
  // A signature naming another chip selects it.
  ChooseDevice("ATmega16");
  Button(control::ReadSignature)->click();
  EXPECT_EQ(window->CurrentDeviceIndex(), FindDeviceByName("ATmega8"));
  EXPECT_EQ(Combo(control::DeviceCombo)->currentText(), QStringLiteral("ATmega8"));
  // The port the search found goes to the profile when the window goes, not before.
  EXPECT_NE(ReadText(profilePath).find("COM=5"), std::string::npos);
  window.reset();
  EXPECT_NE(ReadText(profilePath).find("COM=2"), std::string::npos);
}

TEST_F(MainWindowTest, ButtonsMenuItemsAndTitleFollowTheChosenChipAndTheProject) {
  WriteProfile(2);
  Start();
  Choose(control::DeviceCombo, Combo(control::DeviceCombo)->currentIndex());  // the same device again
  EXPECT_EQ(window->windowTitle(), QStringLiteral("[Unspecified] - ZR7 In-System Programmer 10.30a"));
  Choose(control::FamilyCombo, static_cast<int>(DeviceFamily::At45));
  EXPECT_EQ(Combo(control::DeviceCombo)->currentText(), QStringLiteral("AT45DB041"));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("[Unspecified]* - ZR7 In-System Programmer 10.30a"));
  namespace k = control;
  namespace m = command;
  const struct { const char* device; std::vector<int> off, on, itemsOff, itemsOn; } cases[] = {
      {"AT25256", {k::ReadFlash, k::ProgramFlash, k::VerifyFlash, k::ChipErase, k::BlankCheck, k::Autoprogram,
                   k::ReadSignature}, {k::ReadEeprom, k::SckCombo}, {m::LockFuseBits},
       {k::ProgramFlash}},  // the operations check for themselves
      {"AT45DB041", {k::SckCombo, k::ReadEeprom, k::ProgramEeprom, k::VerifyEeprom, k::Autoprogram},
       {k::ReadFlash, k::ReadSignature}, {}, {}},
      {"AT90S2313", {k::ProgramFlash}, {k::ReadFlash, k::SckCombo}, {m::ReadCalibration},
       {k::BlankCheck, m::ReadSignatureMenu, m::LockFuseBits, m::SearchBoard, m::BoardInfo, m::UpdateFirmware,
        k::Autoprogram, m::ProjectSettings, m::About}},
      {"ATmega16", {}, {}, {}, {m::ReadCalibration, m::LockFuseBits}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.device);
    ChooseDevice(c.device);
    for (int id : c.off) EXPECT_FALSE(Enabled(id)) << id;
    for (int id : c.on) EXPECT_TRUE(Enabled(id)) << id;
    for (int id : c.itemsOff) EXPECT_FALSE(window->MenuAction(id)->isEnabled()) << id;
    for (int id : c.itemsOn) EXPECT_TRUE(window->MenuAction(id)->isEnabled()) << id;
  }
  EXPECT_EQ(window->CurrentProject().settings().deviceNo, FindDeviceByName("ATmega16"));
  Button(control::InvToggle)->click();
  Button(control::IncToggle)->click();
  EXPECT_TRUE(window->CurrentProject().settings().flashInvert && window->CurrentProject().settings().autoIncrement);
}

// Without a board in the profile the first start asks for one before the window shows; what
// the operator sets then is there at the next start, which asks nothing.
TEST_F(MainWindowTest, FirstStartAsksForTheBoardAndTheNextFindsWhatWasSet) {
  WriteProfile(0);
  dialogs.board = std::pair{5, true};
  Start();
  EXPECT_EQ(dialogs.boardCalls, 1);
  EXPECT_FALSE(dialogs.windowVisibleAtBoard);
  EXPECT_EQ(window->StatusText(), QStringLiteral("ZR7 In-System Programmer 10.30a"));
  dialogs.language = true;
  window->Command(command::SelectLanguage);
  EXPECT_EQ(Button(control::ProgramFlash)->text(), QStringLiteral("Программир. Flash"));
  dialogs.delays = BoardDelays{11, 22, 33, 44};
  window->Command(command::AdvancedBoardSettings);
  const std::string project = dir / "p.zr7";
  std::ofstream(project) << "[Files]\nFlash=[Unspecified]\n";
  op.files.push_back(project);
  window->Command(command::ProjectOpen);
  window.reset();  // the shutdown writes the profile
  language.RussianSelected = false;
  Start();
  EXPECT_EQ(dialogs.boardCalls, 1);
  EXPECT_EQ(window->Board().port, 5);
  EXPECT_TRUE(window->Board().highSpeed);
  EXPECT_EQ(window->windowTitle(), QString::fromStdString(project) + U(" - Внутрисхемный программатор ZR7 10.30a"));
  EXPECT_EQ(profile->Delays(), (BoardDelays{11, 22, 33, 44}));
  EXPECT_EQ(window->MenuAction(32801)->text(), QString::fromStdString(project));
}

TEST_F(MainWindowTest, StartUpOpensTheRecentProjectOrTheCommandLinesAndListsOnlyOneThatOpens) {
  const std::string recent = dir / "recent.zr7", given = dir / "given.zr7";
  std::ofstream(recent) << "[Files]\nFlash=" << WriteBytes(dir / "f.bin", std::vector<std::uint8_t>(6, 1))
                        << "\n[Device]\nDeviceNo=" << FindDeviceByName("AT45DB041") << "\n";
  std::ofstream(given) << "[Files]\nFlash=[Unspecified]\n";
  WriteProfile(1, "", "[Recent]\nLoadMostRecent=1\nProject1=" + recent + "\nProject2=/elsewhere/old.zr7\n");
  Start();
  EXPECT_EQ(window->windowTitle(), QString::fromStdString(recent) + " - ZR7 In-System Programmer 10.30a");
  EXPECT_EQ(window->CurrentDeviceIndex(), FindDeviceByName("AT45DB041"));
  EXPECT_FALSE(Enabled(control::SckCombo)) << "a DataFlash leaves no SCK period to choose";
  EXPECT_EQ(window->FlashBuffer().size(), 6u);
  EXPECT_EQ(window->MenuAction(32802)->text(), QStringLiteral("/elsewhere/old.zr7"));
  EXPECT_FALSE(window->MenuAction(32800)->isVisible());

  Start({given});
  EXPECT_EQ(window->CurrentProject().path(), given);
  EXPECT_EQ(window->MenuAction(32801)->text(), QString::fromStdString(given));
  // An older profile's relative entry that does not open from here is kept as it was.
  window.reset();
  WriteProfile(1, "", "[Recent]\nLoadMostRecent=1\nProject1=no-such-folder/job.zr7\n");
  Start();
  EXPECT_EQ(window->CurrentProject().path(), Unspecified);
  window.reset();
  EXPECT_NE(ReadText(profilePath).find("Project1=no-such-folder/job.zr7\n"), std::string::npos);
}

TEST_F(MainWindowTest, UnattendedAutoprogramShowsOneVerdictAndNeverTheWindow) {
  for (const bool erase : {true, false}) {
    SCOPED_TRACE(erase);
    zr7sim::SimOptions options;
    options.flashImage = WriteBytes(dir / "old.bin", std::vector<std::uint8_t>(16, 0x42));
    zr7sim::BoardSimulator sim(options);
    ASSERT_TRUE(sim.Start());
    op.boxes.clear();
    Start({AutoprogramProject(dir, erase), "-autoprogram"}, sim.SlavePath());
    EXPECT_TRUE(window->AutoprogramRequested());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->Outcome().AutoprogramSucceeded, erase);
    ASSERT_EQ(op.boxes.size(), 1u);
    EXPECT_EQ(op.boxes[0].text, erase ? "AUTOPROGRAM: OK" : "AUTOPROGRAM: Error");
    EXPECT_EQ(op.boxes[0].icon, BoxIcon::None);
    EXPECT_EQ(sim.FlashContents()[0], erase ? 0x02 : 0x42);
    // Nobody is there to answer a question about unsaved changes.
    window->CurrentProject().SetModified();
    EXPECT_TRUE(window->close());
    EXPECT_EQ(op.boxes.size(), 1u);
    window.reset();
  }
}

TEST_F(MainWindowTest, DroppedFilesGoByPointAndExtensionAndUnsavedWorkIsNotLeftUnasked) {
  WriteProfile(2);
  Start();
  const std::string bin = WriteBytes(dir / "a.bin", std::vector<std::uint8_t>(3, 0x5A));
  std::ofstream(dir / "p.zr7") << "[Files]\nFlash=" << bin << "\n[Device]\nDeviceNo=" << FindDeviceByName("ATmega16")
                               << "\n[Settings]\nSpiPeriod=3\n";
  auto drop = [&](std::vector<std::string> files, QWidget* onto) {
    QMimeData data;
    QList<QUrl> urls;
    for (const auto& f : files) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(f)));
    data.setUrls(urls);
    QDragEnterEvent enter(CentreOf(onto), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent event(CentreOf(onto), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &event);
  };
  drop({bin}, window->EepromViewWidget());
  EXPECT_EQ(window->EepromBuffer().size(), 3u);
  EXPECT_TRUE(window->FlashBuffer().empty());
  drop({bin, bin}, window->FlashViewWidget());  // two files, or a point outside both views: nothing
  drop({bin}, window->Control(control::ProgramFlash));
  EXPECT_TRUE(window->FlashBuffer().empty());
  drop({bin}, window->FlashViewWidget());
  EXPECT_EQ(window->FlashBuffer().size(), 4u);  // Flash images have an even length
  drop({dir / "p.zr7"}, window->Control(control::ProgramFlash));  // a project anywhere opens it
  EXPECT_EQ(window->CurrentProject().path(), dir / "p.zr7");
  EXPECT_EQ(window->CurrentDeviceIndex(), FindDeviceByName("ATmega16"));
  EXPECT_EQ(Combo(control::SckCombo)->currentIndex(), 3);

  window->FlashBuffer().MarkModified();
  op.answers = {BoxAnswer::Cancel, BoxAnswer::No};  // then discard
  EXPECT_FALSE(window->close());
  window->Command(command::Exit);
  EXPECT_FALSE(window->isVisible());
  ASSERT_EQ(op.boxes.size(), 2u);
  EXPECT_EQ(op.boxes[1].buttons, BoxButtons::YesNoCancel);
}

}  // namespace
}  // namespace zr7test
