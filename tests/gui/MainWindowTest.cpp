// The main window driven through its real widgets under the offscreen platform: enabling
// rules, the title, the toggles, the language switch, Load At, drops, start-up, and one
// program-and-verify run against the simulated board.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>

#include "BoardSimulator.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowDialogs.h"
#include "text/MessageCatalog.h"
#include "ui/QtOperator.h"
#include "gui/ScriptedQtOperator.h"
#include "buffers/MemoryBuffer.h"
#include "devices/DeviceTable.h"
#include "project/Profile.h"
#include "ui/ProjectSettingsDialog.h"
#include "present/ByteColours.h"
#include "ui/HexView.h"
#include "WhenModal.h"

namespace zr7 {
namespace {

namespace fs = std::filesystem;

using TestOperator = ScriptedQtOperator;

class FakeDialogs : public MainWindowDialogs {
 public:
  std::optional<bool> language;
  std::optional<BoardSettingsChoice> board;
  int boardCalls = 0;
  bool windowVisibleAtBoard = true;
  QWidget* window = nullptr;

  std::optional<bool> Language(QWidget*, const MessageCatalog&, OperatorInterface&, bool) override { return language; }
  std::optional<BoardDelays> delays;
  std::optional<BoardDelays> Delays(QWidget*, OperatorInterface&, const BoardDelays&) override { return delays; }
  std::optional<BoardSettingsChoice> BoardSettings(QWidget* parent, const MessageCatalog&, OperatorInterface&, int,
                                                   bool, const PortMap&) override {
    ++boardCalls;
    windowVisibleAtBoard = parent && parent->isVisible();
    return board;
  }
};

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Pixels of the role's colour in the hex cell of byte `position` of a view, as painted now.
int InkOf(QWidget* viewWidget, std::uint32_t position, ByteRole role) {
  auto* view = qobject_cast<HexView*>(viewWidget);
  if (!view) return -1;
  const auto cell = view->HexCellRect(position);
  if (!cell) return -1;
  const QImage shot = view->viewport()->grab().toImage();
  const Rgb want = RoleColour(role);
  int count = 0;
  for (int y = cell->top(); y <= cell->bottom(); ++y)
    for (int x = cell->left(); x <= cell->right(); ++x) {
      const QColor c = shot.pixelColor(x, y);
      if (c.red() == want.red && c.green() == want.green && c.blue() == want.blue) ++count;
    }
  return count;
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("zr7-mainwindow-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    profilePath = (dir / "zr7.ini").string();
  }
  void TearDown() override {
    window.reset();
    fs::remove_all(dir);
  }

  // A profile with a board on COM2, so that start-up asks nothing.
  void KnownBoard() {
    std::ofstream(profilePath) << "[Connect]\nCOM=2\n";
  }

  MainWindow& Start(std::vector<std::string> arguments = {}, std::string simulatorPath = "") {
    profile = std::make_unique<Profile>(profilePath, op, catalog);
    window = std::make_unique<MainWindow>(
        MainWindowContext{language, catalog, op, *profile, dialogs, std::move(simulatorPath)});
    dialogs.window = window.get();
    window->Initialise(arguments);
    window->show();
    return *window;
  }

  QPushButton* Button(int id) { return qobject_cast<QPushButton*>(window->Control(id)); }
  QComboBox* Combo(int id) { return qobject_cast<QComboBox*>(window->Control(id)); }
  bool Enabled(int id) { return window->Control(id)->isEnabled(); }

  // The operator's choice in a combo, as the drop-down reports it.
  void Choose(int comboId, int position) {
    QComboBox* c = Combo(comboId);
    c->setCurrentIndex(position);
    emit c->activated(position);
  }
  void ChooseDevice(std::string_view name) {
    const int device = FindDeviceByName(name);
    const int family = static_cast<int>(DeviceTable()[static_cast<std::size_t>(device)].Family);
    Choose(control::FamilyCombo, family);
    Choose(control::DeviceCombo, Combo(control::DeviceCombo)->findText(QString::fromUtf8(name.data(), name.size())));
    ASSERT_EQ(window->CurrentDeviceIndex(), device);
  }
  QPoint CentreOf(QWidget* w) { return w->mapTo(window.get(), w->rect().center()); }

  fs::path dir;
  std::string profilePath;
  LanguageSettings language;
  MessageCatalog catalog{language};
  TestOperator op{catalog};
  FakeDialogs dialogs;
  std::unique_ptr<Profile> profile;
  std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, SerialEepromDisablesFlashEraseBlankCheckAndSignature) {
  KnownBoard();
  Start();
  ChooseDevice("AT25256");
  for (int id : {control::ReadFlash, control::ProgramFlash, control::VerifyFlash, control::ChipErase,
                 control::BlankCheck, control::Autoprogram, control::ReadSignature})
    EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_TRUE(Enabled(control::ReadEeprom));
  EXPECT_TRUE(Enabled(control::SckCombo));
  // The menu items stay enabled; the operations check for themselves.
  EXPECT_TRUE(window->MenuAction(control::ProgramFlash)->isEnabled());
}

TEST_F(MainWindowTest, DataFlashDisablesSckEepromAndAutoprogram) {
  KnownBoard();
  Start();
  Choose(control::FamilyCombo, static_cast<int>(DeviceFamily::At45));
  EXPECT_EQ(Combo(control::DeviceCombo)->currentText(), QStringLiteral("AT45DB041"));
  for (int id : {control::SckCombo, control::ReadEeprom, control::ProgramEeprom, control::VerifyEeprom,
                 control::Autoprogram})
    EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_TRUE(Enabled(control::ReadFlash));
  EXPECT_TRUE(Enabled(control::ReadSignature));
  // Back to another family: the SCK period can be chosen again.
  Choose(control::FamilyCombo, static_cast<int>(DeviceFamily::ATmega));
  EXPECT_TRUE(Enabled(control::SckCombo));
}

TEST_F(MainWindowTest, ChipWithoutCalibrationGreysOnlyThatItem) {
  KnownBoard();
  Start();
  ChooseDevice("AT90S2313");
  EXPECT_FALSE(window->MenuAction(command::ReadCalibration)->isEnabled());
  EXPECT_TRUE(window->MenuAction(control::BlankCheck)->isEnabled());
  EXPECT_TRUE(window->MenuAction(command::ReadSignatureMenu)->isEnabled());
  // Program needs an image; Read does not.
  EXPECT_TRUE(Enabled(control::ReadFlash));
  EXPECT_FALSE(Enabled(control::ProgramFlash));
  // The other items stay as they are.
  for (int id : {command::LockFuseBits, command::SearchBoard, command::BoardInfo, command::UpdateFirmware,
                 control::Autoprogram, command::ProjectSettings, command::About})
    EXPECT_TRUE(window->MenuAction(id)->isEnabled()) << id;
  // A serial memory has no lock or fuse bits to show.
  ChooseDevice("AT25256");
  EXPECT_FALSE(window->MenuAction(command::LockFuseBits)->isEnabled());
  ChooseDevice("ATmega8");
  EXPECT_TRUE(window->MenuAction(command::LockFuseBits)->isEnabled());
}

TEST_F(MainWindowTest, TitleStarFollowsRealChangesOnly) {
  KnownBoard();
  Start();
  EXPECT_EQ(window->windowTitle(), QStringLiteral("[Unspecified] - ZR7 In-System Programmer 10.30a"));
  EXPECT_EQ(window->CurrentDeviceIndex(), ProjectSettings::DefaultDeviceNo());
  // The same device again.
  Choose(control::DeviceCombo, Combo(control::DeviceCombo)->currentIndex());
  EXPECT_FALSE(window->windowTitle().contains('*'));
  Choose(control::SckCombo, 2);
  EXPECT_EQ(window->CurrentProject().settings().spiPeriod, 2);
  EXPECT_FALSE(window->windowTitle().contains('*'));
  ChooseDevice("ATmega16");
  EXPECT_EQ(window->windowTitle(), QStringLiteral("[Unspecified]* - ZR7 In-System Programmer 10.30a"));
  EXPECT_EQ(window->CurrentProject().settings().deviceNo, FindDeviceByName("ATmega16"));
}

TEST_F(MainWindowTest, InvAndIncSetTheProjectAndMarkIt) {
  KnownBoard();
  Start();
  Button(control::InvToggle)->click();
  EXPECT_TRUE(window->CurrentProject().settings().flashInvert);
  EXPECT_TRUE(window->windowTitle().contains('*'));
  Button(control::IncToggle)->click();
  EXPECT_TRUE(window->CurrentProject().settings().autoIncrement);
  Button(control::InvToggle)->click();
  EXPECT_FALSE(window->CurrentProject().settings().flashInvert);
}

TEST_F(MainWindowTest, LanguageSwitchesMenuAndButtonsButNotTheImagePopups) {
  KnownBoard();
  Start();
  dialogs.language = true;
  window->Command(command::SelectLanguage);
  EXPECT_TRUE(language.RussianSelected);
  EXPECT_EQ(window->Popup(0)->title(), QStringLiteral("Проект"));
  EXPECT_EQ(window->Popup(1)->title(), QStringLiteral("&Flash"));
  EXPECT_EQ(window->Popup(2)->title(), QStringLiteral("&Eeprom"));
  EXPECT_EQ(window->Popup(5)->title(), QStringLiteral("Помощь"));
  EXPECT_EQ(Button(control::ProgramFlash)->text(), QStringLiteral("Программир. Flash"));
  EXPECT_EQ(window->MenuAction(command::ProjectOpen)->text(), QStringLiteral("Открыть..."));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("[Unspecified] - Внутрисхемный программатор ZR7 10.30a"));

  dialogs.language = std::nullopt;  // Cancel changes nothing
  window->Command(command::SelectLanguage);
  EXPECT_TRUE(language.RussianSelected);

  dialogs.language = false;
  window->Command(command::SelectLanguage);
  EXPECT_EQ(window->Popup(0)->title(), QStringLiteral("&Project"));
  EXPECT_EQ(Button(control::ProgramFlash)->text(), QStringLiteral("Program Flash"));
  window.reset();
  EXPECT_NE(ReadText(profilePath).find("Russian=0"), std::string::npos);
}

TEST_F(MainWindowTest, LoadAtAsksAboutAnOverlap) {
  KnownBoard();
  Start();
  std::vector<std::uint8_t> base(100, 0x11), patch(10, 0x22);
  WriteBytes(dir / "base.bin", base);
  WriteBytes(dir / "patch.bin", patch);
  op.files.push_back((dir / "base.bin").string());
  window->Command(control::FlashLoad);
  ASSERT_EQ(window->FlashBuffer().size(), 100u);
  EXPECT_TRUE(Enabled(control::ProgramFlash));

  // At 50 it overlaps: No keeps the image.
  op.files.push_back((dir / "patch.bin").string());
  op.addresses.push_back(50);
  op.answers.push_back(BoxAnswer::No);
  op.boxes.clear();
  window->Command(command::FlashLoadAt);
  ASSERT_GE(op.boxes.size(), 1u);
  EXPECT_EQ(op.boxes[0].text, catalog.GetText(msg::LoadOverlapQuestion));
  EXPECT_EQ(op.boxes[0].buttons, BoxButtons::YesNo);
  EXPECT_EQ(window->FlashBuffer().data()[50], 0x11);

  op.files.push_back((dir / "patch.bin").string());
  op.addresses.push_back(50);
  op.answers.push_back(BoxAnswer::Yes);
  window->Command(command::FlashLoadAt);
  EXPECT_EQ(window->FlashBuffer().size(), 100u);
  EXPECT_EQ(window->FlashBuffer().data()[50], 0x22);
  EXPECT_EQ(window->FlashBuffer().data()[60], 0x11);
  EXPECT_TRUE(window->StatusText().startsWith(QStringLiteral("Flash length: 100 (0x64) bytes")));

  // Past the end it just grows, without a question.
  op.boxes.clear();
  op.files.push_back((dir / "patch.bin").string());
  op.addresses.push_back(200);
  window->Command(command::FlashLoadAt);
  EXPECT_TRUE(op.boxes.empty());
  EXPECT_EQ(window->FlashBuffer().size(), 210u);
  EXPECT_EQ(window->FlashBuffer().data()[150], 0xFF);
}

TEST_F(MainWindowTest, DropsGoByPointAndExtension) {
  KnownBoard();
  Start();
  WriteBytes(dir / "a.bin", std::vector<std::uint8_t>(3, 0x5A));
  const std::string bin = (dir / "a.bin").string();

  window->DropFiles({bin}, CentreOf(window->EepromViewWidget()));
  EXPECT_EQ(window->EepromBuffer().size(), 3u);
  EXPECT_TRUE(window->FlashBuffer().empty());

  window->DropFiles({bin}, CentreOf(window->FlashViewWidget()));
  EXPECT_EQ(window->FlashBuffer().size(), 4u);  // Flash images have an even length
  EXPECT_TRUE(window->StatusText().startsWith(QStringLiteral("Flash length: 4")));

  // Two files, or a point outside both views: nothing is loaded.
  window->FlashBuffer().Clear();
  window->DropFiles({bin, bin}, CentreOf(window->FlashViewWidget()));
  window->DropFiles({bin}, CentreOf(window->Control(control::ProgramFlash)));
  EXPECT_TRUE(window->FlashBuffer().empty());

  // A project anywhere opens it.
  std::ofstream(dir / "p.zr7") << "[Files]\nFlash=" << bin << "\nEeprom=[Unspecified]\n[Device]\nDeviceNo="
                               << FindDeviceByName("ATmega16") << "\n[Settings]\nSpiPeriod=3\n";
  window->DropFiles({(dir / "p.zr7").string()}, CentreOf(window->Control(control::ProgramFlash)));
  EXPECT_EQ(window->CurrentProject().path(), (dir / "p.zr7").string());
  EXPECT_EQ(window->CurrentDeviceIndex(), FindDeviceByName("ATmega16"));
  EXPECT_EQ(Combo(control::SckCombo)->currentIndex(), 3);
  EXPECT_EQ(window->FlashBuffer().size(), 4u);
  EXPECT_FALSE(window->windowTitle().contains('*'));
}

// Unsaved work is not left unasked: a file dropped over a changed image, the close box and
// Exit each ask first, and Cancel keeps everything as it was.
TEST_F(MainWindowTest, DroppingOverOrClosingUnsavedWorkAsksFirst) {
  KnownBoard();
  Start();
  WriteBytes(dir / "a.bin", std::vector<std::uint8_t>(2, 0x5A));
  const std::string bin = (dir / "a.bin").string();
  window->DropFiles({bin}, CentreOf(window->FlashViewWidget()));
  window->FlashBuffer().data()[0] = 0x11;
  window->FlashBuffer().MarkModified();

  op.answers = {BoxAnswer::Cancel, BoxAnswer::Cancel, BoxAnswer::Cancel};
  window->DropFiles({bin}, CentreOf(window->FlashViewWidget()));
  EXPECT_EQ(window->FlashBuffer().data()[0], 0x11);
  EXPECT_FALSE(window->close());
  window->Command(command::Exit);
  EXPECT_TRUE(window->isVisible());
  ASSERT_EQ(op.boxes.size(), 3u);
  for (const MessageBoxRequest& box : op.boxes) EXPECT_EQ(box.buttons, BoxButtons::YesNoCancel);
  EXPECT_EQ(op.boxes[2].text, catalog.GetText(msg::ProjectUnsavedSaveDiscardCancel));

  op.answers = {BoxAnswer::No};  // discard
  window->Command(command::Exit);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, EmptyProfileAsksForTheBoardBeforeTheWindowShows) {
  BoardSettingsChoice choice;
  choice.port = 3;
  choice.highSpeed = true;
  dialogs.board = choice;
  Start();
  EXPECT_EQ(dialogs.boardCalls, 1);
  EXPECT_FALSE(dialogs.windowVisibleAtBoard);
  EXPECT_EQ(window->Board().port, 3);
  const std::string text = ReadText(profilePath);
  EXPECT_NE(text.find("COM=3"), std::string::npos) << text;
  EXPECT_NE(text.find("HighSpeed=1"), std::string::npos) << text;
  EXPECT_NE(text.find("Russian=0"), std::string::npos) << text;
  EXPECT_EQ(window->StatusText(), QStringLiteral("ZR7 In-System Programmer 10.30a"));
}

TEST_F(MainWindowTest, CancelledFirstRunLeavesNoBoardAndCommandsSaySo) {
  Start();
  EXPECT_EQ(dialogs.boardCalls, 1);
  EXPECT_EQ(window->Board().port, 0);
  window->Command(control::ReadSignature);
  EXPECT_EQ(window->StatusText(), QString::fromUtf8(catalog.GetText(msg::SelectComPort)));
}

TEST_F(MainWindowTest, LoadMostRecentOpensTheFirstRecentProject) {
  WriteBytes(dir / "f.bin", std::vector<std::uint8_t>(6, 0x01));
  const std::string project = (dir / "recent.zr7").string();
  std::ofstream(project) << "[Files]\nFlash=" << (dir / "f.bin").string() << "\n[Device]\nDeviceNo="
                         << FindDeviceByName("AT45DB041") << "\n";
  std::ofstream(profilePath) << "[Connect]\nCOM=1\n[Recent]\nLoadMostRecent=1\nProject1=" << project
                             << "\nProject2=/elsewhere/old.zr7\n";
  Start();
  EXPECT_EQ(dialogs.boardCalls, 0);
  EXPECT_EQ(window->CurrentProject().path(), project);
  EXPECT_EQ(window->windowTitle(), QString::fromStdString(project + " - ZR7 In-System Programmer 10.30a"));
  EXPECT_EQ(window->CurrentDeviceIndex(), FindDeviceByName("AT45DB041"));
  // A project bringing a DataFlash leaves no SCK period to choose.
  EXPECT_FALSE(Enabled(control::SckCombo));
  EXPECT_EQ(window->FlashBuffer().size(), 6u);
  const QAction* first = window->MenuAction(32801);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->text(), QString::fromStdString(project));
  ASSERT_NE(window->MenuAction(32802), nullptr);
  EXPECT_FALSE(window->MenuAction(32800)->isVisible());
}

// An older profile's relative entry opens from where it was made; started elsewhere, where it
// does not open, it is kept as it was rather than turned into a wrong absolute path.
TEST_F(MainWindowTest, ARelativeRecentEntryThatDoesNotOpenHereStaysAsItWas) {
  std::ofstream(profilePath) << "[Connect]\nCOM=1\n[Recent]\nLoadMostRecent=1\nProject1=no-such-folder/job.zr7\n";
  Start();
  EXPECT_EQ(window->CurrentProject().path(), Unspecified);
  window.reset();
  EXPECT_NE(ReadText(profilePath).find("Project1=no-such-folder/job.zr7\n"), std::string::npos);
}

TEST_F(MainWindowTest, CommandLineProjectReplacesTheRecentOneAndGoesFirst) {
  KnownBoard();
  const std::string project = (dir / "cmd.zr7").string();
  std::ofstream(project) << "[Files]\nFlash=[Unspecified]\n";
  Start({project});
  EXPECT_EQ(window->CurrentProject().path(), project);
  EXPECT_EQ(window->MenuAction(32801)->text(), QString::fromStdString(project));
  window.reset();
  EXPECT_NE(ReadText(profilePath).find("Project1=" + project), std::string::npos);
}

TEST_F(MainWindowTest, AnchorsStretchTheFlashAreaOnly) {
  KnownBoard();
  Start();
  QApplication::processEvents();
  const QRect flash = window->FlashViewWidget()->geometry();
  const QRect eeprom = window->EepromViewWidget()->geometry();
  const QRect erase = window->Control(control::ChipErase)->geometry();
  const int width = window->width();
  window->resize(width + 100, window->height() + 60);
  QApplication::processEvents();
  EXPECT_EQ(window->width(), width);  // the width is fixed
  EXPECT_EQ(window->FlashViewWidget()->geometry(), flash.adjusted(0, 0, 0, 60));
  EXPECT_EQ(window->EepromViewWidget()->geometry(), eeprom.translated(0, 60));
  EXPECT_EQ(window->Control(control::ChipErase)->geometry(), erase);
  window->resize(width, window->height() - 200);  // never shorter than at the start
  QApplication::processEvents();
  EXPECT_EQ(window->FlashViewWidget()->geometry(), flash);
}

TEST_F(MainWindowTest, ProgramAndVerifyFlashOnTheSimulatedBoard) {
  zr7sim::BoardSimulator sim;
  ASSERT_TRUE(sim.Start());
  Start({}, sim.SlavePath());
  EXPECT_EQ(dialogs.boardCalls, 0);  // the simulator is the board
  EXPECT_EQ(window->Board().port, 1);

  std::vector<std::uint8_t> image(300);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 1);
  WriteBytes(dir / "image.bin", image);
  op.files.push_back((dir / "image.bin").string());
  Button(control::FlashLoad)->click();
  ASSERT_EQ(window->FlashBuffer().size(), 300u);

  Button(control::ProgramFlash)->click();
  EXPECT_EQ(window->StatusText(), QString::fromStdString(FormatText(catalog.GetText(1052), 300)));
  for (std::uint8_t s : window->FlashBuffer().states()) ASSERT_EQ(s, StateWritten);
  EXPECT_GT(InkOf(window->FlashViewWidget(), 0, ByteRole::Written), 0);
  const std::vector<std::uint8_t> chip = sim.FlashContents();
  ASSERT_GE(chip.size(), image.size());
  EXPECT_TRUE(std::equal(image.begin(), image.end(), chip.begin()));

  Button(control::VerifyFlash)->click();
  EXPECT_EQ(window->StatusText(), QString::fromStdString(FormatText(catalog.GetText(1053), 300)));
  for (std::uint8_t s : window->FlashBuffer().states()) ASSERT_EQ(s, StateVerified);
  EXPECT_GT(InkOf(window->FlashViewWidget(), 0, ByteRole::Verified), 0);
  EXPECT_EQ(InkOf(window->FlashViewWidget(), 0, ByteRole::Written), 0);
  EXPECT_EQ(window->Results().lastOperationStatus.load(), 0);
  EXPECT_TRUE(op.boxes.empty());

  window.reset();
  // The simulator's port was this run's only.
  EXPECT_EQ(ReadText(profilePath).find("COM="), std::string::npos) << ReadText(profilePath);
  sim.Stop();
}

TEST_F(MainWindowTest, EveryPerUserValueAndTheRecentListSurviveARestart) {
  BoardSettingsChoice choice;
  choice.port = 5;
  choice.highSpeed = true;
  dialogs.board = choice;
  Start();
  dialogs.language = true;
  window->Command(command::SelectLanguage);
  dialogs.delays = BoardDelays{11, 22, 33, 44};
  window->Command(command::AdvancedBoardSettings);
  std::vector<std::string> projects;
  for (int i = 0; i < 9; ++i) {
    projects.push_back((dir / ("p" + std::to_string(i) + ".zr7")).string());
    std::ofstream(projects.back()) << "[Files]\nFlash=[Unspecified]\n";
    op.files.push_back(projects.back());
    window->Command(32780);  // Open
  }
  window.reset();  // the shutdown writes the profile

  dialogs.board.reset();
  language.RussianSelected = false;
  Start();
  EXPECT_EQ(dialogs.boardCalls, 1) << "only the first start, with no board yet, asks for one";
  EXPECT_EQ(window->Board().port, 5);
  EXPECT_TRUE(window->Board().highSpeed);
  EXPECT_TRUE(language.RussianSelected);
  EXPECT_EQ(profile->Delays(), (BoardDelays{11, 22, 33, 44}));
  // The newest eight, newest first; the project opened last opens again.
  for (int slot = 1; slot <= 8; ++slot)
    EXPECT_EQ(window->MenuAction(32800 + slot)->text(), QString::fromStdString(projects[9 - slot])) << slot;
  EXPECT_EQ(window->CurrentProject().path(), projects[8]);
}

// A project beside its image: erase, blank check, Flash program and verify.
std::string AutoprogramProject(const fs::path& dir, bool erase) {
  std::vector<std::uint8_t> image(200);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 3 + 2);
  WriteBytes(dir / "job.bin", image);
  const std::string project = (dir / "job.zr7").string();
  std::ofstream(project) << "[Files]\nFlash=job.bin\n[AutoProgram]\nAutoErase=" << (erase ? 1 : 0)
                         << "\nAutoEmptyCheck=1\nAutoFlashProgram=1\nAutoFlashVerify=1\n";
  return project;
}

TEST_F(MainWindowTest, UnattendedAutoprogramShowsOneVerdictAndNeverTheWindow) {
  for (const bool erase : {true, false}) {
    zr7sim::SimOptions options;
    WriteBytes(dir / "old.bin", std::vector<std::uint8_t>(16, 0x42));
    options.flashImage = (dir / "old.bin").string();
    zr7sim::BoardSimulator sim(options);
    ASSERT_TRUE(sim.Start());
    op.boxes.clear();
    profile = std::make_unique<Profile>(profilePath, op, catalog);
    window = std::make_unique<MainWindow>(MainWindowContext{language, catalog, op, *profile, dialogs, sim.SlavePath()});
    window->Initialise({AutoprogramProject(dir, erase), "-autoprogram"});
    EXPECT_TRUE(window->AutoprogramRequested());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->Outcome().AutoprogramSucceeded, erase) << window->StatusText().toStdString();
    ASSERT_FALSE(op.boxes.empty());
    EXPECT_EQ(op.boxes.back().text, erase ? "AUTOPROGRAM: OK" : "AUTOPROGRAM: Error");
    EXPECT_EQ(op.boxes.back().icon, BoxIcon::None);
    EXPECT_EQ(window->StatusText(), QString::fromUtf8(erase ? "Autoprogram: DONE (200 Flash bytes programmed)"
                                                             : "Autoprogram: ERROR Flash is not empty"));
    EXPECT_EQ(sim.FlashContents()[0], erase ? 0x02 : 0x42);
    // Nobody is there to answer a question about unsaved changes.
    window->CurrentProject().SetModified();
    const std::size_t boxes = op.boxes.size();
    EXPECT_TRUE(window->close());
    EXPECT_EQ(op.boxes.size(), boxes);
    window.reset();
    sim.Stop();
  }
}

TEST_F(MainWindowTest, AutoprogramButtonRunsTheRecipeAndAnOptionWithoutQuotesIsAFileName) {
  zr7sim::BoardSimulator sim;
  ASSERT_TRUE(sim.Start());
  const std::string project = AutoprogramProject(dir, true);
  Start({project}, sim.SlavePath());
  EXPECT_FALSE(window->AutoprogramRequested());
  Button(control::Autoprogram)->click();
  EXPECT_EQ(window->StatusText(), QStringLiteral("Autoprogram: DONE (200 Flash bytes programmed)"));
  EXPECT_EQ(sim.FlashContents()[1], 0x05);
  window.reset();
  sim.Stop();
}

TEST_F(MainWindowTest, StatusLineOpensProjectSettingsAndOkSelectsItsChoices) {
  KnownBoard();
  Start();
  auto& settings = window->CurrentProject().settings();
  settings.autoIncrement = true;
  WhenModalOf<ProjectSettingsDialog> cancel([](ProjectSettingsDialog& d) { d.reject(); });
  QTest::mouseClick(window->Control(control::StatusLine), Qt::LeftButton);
  EXPECT_TRUE(cancel.Acted());
  EXPECT_FALSE(window->windowTitle().contains('*')) << "Cancel changes nothing";

  WhenModalOf<ProjectSettingsDialog> ok([](ProjectSettingsDialog& d) {
    d.findChild<QComboBox*>(QStringLiteral("id1145"))->setCurrentIndex(6);
    d.findChild<QComboBox*>(QStringLiteral("id1005"))->setCurrentIndex(FindDeviceByName("ATmega16"));
    d.accept();
  });
  window->Command(command::ProjectSettings);
  EXPECT_TRUE(ok.Acted());
  EXPECT_EQ(Combo(control::SckCombo)->currentIndex(), 6);
  EXPECT_EQ(window->CurrentDeviceIndex(), FindDeviceByName("ATmega16"));
  EXPECT_EQ(settings.deviceNo, FindDeviceByName("ATmega16"));
  EXPECT_TRUE(Button(control::IncToggle)->isChecked());
  EXPECT_TRUE(window->windowTitle().contains('*'));
}

// Browsing the combos is no reason to lose the autoprogram's lock/fuse settings: they keep the
// chip they were made for, and coming back finds them as they were.
TEST_F(MainWindowTest, BrowsingOtherChipsKeepsTheAutoprogramFuses) {
  KnownBoard();
  Start();
  auto& settings = window->CurrentProject().settings();
  ASSERT_EQ(settings.deviceNo, FindDeviceByName("ATmega8"));
  settings.programFuse = true;
  settings.lockFuse.lockMode = 2;
  settings.lockFuse.fuse[3] = true;
  settings.lockFuseDeviceNo = settings.deviceNo;
  const ProjectSettings before = settings;
  ChooseDevice("ATtiny13");
  ChooseDevice("AT25256");
  ChooseDevice("ATmega8");
  EXPECT_EQ(settings, before);
}

TEST_F(MainWindowTest, AboutOpensItsBoxAndOkClosesIt) {
  KnownBoard();
  Start();
  WhenModal ok([](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), QStringLiteral("About"));
    d.accept();
  });
  window->MenuAction(command::About)->trigger();
  EXPECT_TRUE(ok.Acted());
}

}  // namespace
}  // namespace zr7
