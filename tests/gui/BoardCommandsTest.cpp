// Search Board, board information, calibration bytes and the firmware update as the main
// window runs them, against simulated boards on the profile's port paths.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "BoardSimulator.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowDialogs.h"
#include "text/MessageCatalog.h"
#include "ui/QtOperator.h"
#include "gui/ScriptedQtOperator.h"
#include "devices/DeviceTable.h"
#include "link/Commands.h"
#include "ui/SelfProgramDialog.h"
#include "project/Profile.h"
#include "gui/WhenModal.h"

namespace zr7 {
namespace {

namespace fs = std::filesystem;

using TestOperator = ScriptedQtOperator;


template <typename T>
T* Find(QWidget& dialog, const QString& name) {
  T* w = dialog.findChild<T*>(name);
  EXPECT_NE(w, nullptr) << name.toStdString();
  return w;
}

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + i / 256);
  return bytes;
}

class BoardCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("zr7-boardcommands-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    profilePath = (dir / "zr7.ini").string();
  }
  void TearDown() override {
    window.reset();
    fs::remove_all(dir);
  }

  // Every slot on a path of its own: `board` (when given) on COM`boardPort`, the others absent,
  // so that no real adapter of the machine answers. "Connect" "COM" is `chosenPort`.
  void Profile(int chosenPort, const std::string& board = "", int boardPort = 0) {
    std::ofstream out(profilePath);
    out << "[Connect]\nCOM=" << chosenPort << "\n[Ports]\n";
    for (int com = 1; com <= 8; ++com)
      out << "COM" << com << "=" << (com == boardPort ? board : (dir / ("absent" + std::to_string(com))).string())
          << "\n";
  }

  MainWindow& Start() {
    profile = std::make_unique<zr7::Profile>(profilePath, op, catalog);
    window = std::make_unique<MainWindow>(MainWindowContext{language, catalog, op, *profile, dialogs, ""});
    window->Initialise({});
    window->show();
    return *window;
  }

  void Trigger(int commandId) {
    QAction* a = window->MenuAction(commandId);
    ASSERT_NE(a, nullptr) << commandId;
    ASSERT_TRUE(a->isEnabled()) << commandId;
    a->trigger();
  }

  void ChooseDevice(std::string_view name) {
    const int device = FindDeviceByName(name);
    const int family = static_cast<int>(DeviceTable()[static_cast<std::size_t>(device)].Family);
    auto* families = qobject_cast<QComboBox*>(window->Control(control::FamilyCombo));
    families->setCurrentIndex(family);
    emit families->activated(family);
    auto* devices = qobject_cast<QComboBox*>(window->Control(control::DeviceCombo));
    const int position = devices->findText(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    devices->setCurrentIndex(position);
    emit devices->activated(position);
    ASSERT_EQ(window->CurrentDeviceIndex(), device);
  }

  std::string WriteImage(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const fs::path p = dir / name;
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return p.string();
  }

  static bool LoaderEntered(zr7sim::BoardSimulator& sim) {
    for (const auto& c : sim.Log().Commands())
      if (c.code == CmdEnterLoader) return true;
    return false;
  }

  fs::path dir;
  std::string profilePath;
  LanguageSettings language;
  MessageCatalog catalog{language};
  TestOperator op{catalog};
  MainWindowDialogs dialogs;
  std::unique_ptr<zr7::Profile> profile;
  std::unique_ptr<MainWindow> window;
};

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(BoardCommandsTest, SearchFindsTheBoardOnCom2AndKeepsItsPortForShutDown) {
  zr7sim::BoardSimulator sim;
  ASSERT_TRUE(sim.Start());
  Profile(5, sim.SlavePath(), 2);
  Start();
  ASSERT_EQ(window->Board().port, 5);
  Trigger(command::SearchBoard);
  EXPECT_EQ(window->Board().port, 2);
  EXPECT_EQ(window->StatusText().toStdString(), FormatText(catalog.GetText(1068), "ZR7 9.10", 2));
  EXPECT_TRUE(op.boxes.empty());
  // Not written at once, only when the window goes.
  EXPECT_NE(ReadText(profilePath).find("COM=5"), std::string::npos);
  window.reset();
  EXPECT_NE(ReadText(profilePath).find("COM=2"), std::string::npos) << ReadText(profilePath);
  sim.Stop();
}

TEST_F(BoardCommandsTest, SearchWithoutBoardLeavesNoPort) {
  Profile(3);
  Start();
  Trigger(command::SearchBoard);
  EXPECT_EQ(window->Board().port, 0);
  EXPECT_EQ(window->StatusText().toStdString(), catalog.GetText(1139));
}

TEST_F(BoardCommandsTest, BoardInfoShowsIdentityAndSerial) {
  zr7sim::SimOptions o;
  o.serial = {0xDE, 0xAD, 0x01, 0x02, 0x03};
  zr7sim::BoardSimulator sim(o);
  ASSERT_TRUE(sim.Start());
  Profile(2, sim.SlavePath(), 2);
  Start();
  Trigger(command::BoardInfo);
  ASSERT_EQ(op.boxes.size(), 1u);
  EXPECT_EQ(op.boxes[0].text,
            FormatText(catalog.GetText(1069), 'Z', 'R', '7', '9', '1', '0', "3.3", 0xDE, 0xAD, 0x01, 0x02, 0x03));
  sim.Stop();
}

TEST_F(BoardCommandsTest, CalibrationOfAnAtmega8ReadsItsFourBytes) {
  zr7sim::SimOptions o;
  o.calibration = {0x9A, 0x9B, 0x9C, 0x9D};
  zr7sim::BoardSimulator sim(o);
  ASSERT_TRUE(sim.Start());
  Profile(2, sim.SlavePath(), 2);
  Start();
  ChooseDevice("ATmega8");
  Trigger(command::ReadCalibration);
  EXPECT_EQ(window->StatusText().toStdString(), std::string(catalog.GetText(1182)) + " 9A 9B 9C 9D");
  ASSERT_EQ(op.boxes.size(), 1u);
  EXPECT_NE(op.boxes[0].text.find("8 MHz: 0x9D"), std::string::npos) << op.boxes[0].text;
  sim.Stop();
}

TEST_F(BoardCommandsTest, CalibrationItemFollowsTheChosenChip) {
  Profile(2);
  Start();
  ChooseDevice("AT90S2313");
  EXPECT_FALSE(window->MenuAction(command::ReadCalibration)->isEnabled());
  ChooseDevice("ATmega8");
  EXPECT_TRUE(window->MenuAction(command::ReadCalibration)->isEnabled());
}

TEST_F(BoardCommandsTest, UpdateDialogShowsVersionsAndCancelSendsNothing) {
  zr7sim::BoardSimulator sim;
  ASSERT_TRUE(sim.Start());
  Profile(2, sim.SlavePath(), 2);
  Start();
  WhenModalOf<SelfProgramDialog> cancel([&](SelfProgramDialog& d) {
    // The versions survive the table's "-" rows.
    EXPECT_EQ(Find<QLineEdit>(d, "id1155")->text(), QStringLiteral("ZR7 9.10"));
    EXPECT_EQ(Find<QLineEdit>(d, "id1157")->text(), QStringLiteral("ZR7 9.10"));
    EXPECT_TRUE(Find<QLineEdit>(d, "id1155")->isReadOnly());
    EXPECT_TRUE(Find<QRadioButton>(d, "id1158")->isChecked());
    EXPECT_FALSE(Find<QRadioButton>(d, "id1159")->isChecked());
    EXPECT_TRUE(Find<QLineEdit>(d, "imagePath")->text().isEmpty()) << "no file until one is named";
    EXPECT_EQ(Find<QPushButton>(d, "id1")->text(), QStringLiteral("Update"));
    Find<QPushButton>(d, "id2")->click();
  });
  Trigger(command::UpdateFirmware);
  EXPECT_TRUE(cancel.Acted());
  EXPECT_FALSE(LoaderEntered(sim));
  EXPECT_TRUE(sim.FirmwareImage().empty());
  EXPECT_TRUE(op.boxes.empty());
  sim.Stop();
}

TEST_F(BoardCommandsTest, WrongSizedImageKeepsTheDialogOpenAndTheBoardUntouched) {
  zr7sim::BoardSimulator sim;
  ASSERT_TRUE(sim.Start());
  Profile(2, sim.SlavePath(), 2);
  Start();
  const std::string shortImage = WriteImage("short.bin", Pattern(FirmwareImageSize - 1));
  const std::string good = WriteImage("fw.bin", Pattern(FirmwareImageSize));
  bool stayedOpen = false;
  WhenModalOf<SelfProgramDialog> act([&](SelfProgramDialog& d) {
    Find<QLineEdit>(d, "imagePath")->setText(QString::fromStdString(shortImage));
    Find<QPushButton>(d, "id1")->click();
    stayedOpen = d.isVisible();
    // Browse offers another file; the dialog then takes it.
    op.files.push_back(good);
    Find<QPushButton>(d, "browse")->click();
    EXPECT_EQ(Find<QLineEdit>(d, "imagePath")->text().toStdString(), good);
    d.reject();
  });
  Trigger(command::UpdateFirmware);
  EXPECT_TRUE(stayedOpen);
  ASSERT_EQ(op.boxes.size(), 1u);
  EXPECT_FALSE(LoaderEntered(sim));
  sim.Stop();
}

TEST_F(BoardCommandsTest, SequenceTypedInTheDialogReachesTheLoaderAndTheImageArrives) {
  zr7sim::SimOptions o;
  o.loaderConfirmation = std::array<std::uint8_t, 8>{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  zr7sim::BoardSimulator sim(o);
  ASSERT_TRUE(sim.Start());
  Profile(2, sim.SlavePath(), 2);
  Start();
  const std::vector<std::uint8_t> bytes = Pattern(FirmwareImageSize);
  const std::string image = WriteImage("fw.bin", bytes);
  WhenModalOf<SelfProgramDialog> update([&](SelfProgramDialog& d) {
    Find<QLineEdit>(d, "imagePath")->setText(QString::fromStdString(image));
    Find<QLineEdit>(d, "confirmation")->setText(QStringLiteral("0123456789abcdef"));
    Find<QPushButton>(d, "id1")->click();
  });
  Trigger(command::UpdateFirmware);
  EXPECT_TRUE(update.Acted());
  EXPECT_EQ(sim.FirmwareImage(), bytes);
  EXPECT_FALSE(sim.InLoader());
  EXPECT_TRUE(op.boxes.empty()) << (op.boxes.empty() ? "" : op.boxes[0].text);
  sim.Stop();
}

TEST_F(BoardCommandsTest, MalformedSequenceKeepsTheDialogOpen) {
  zr7sim::BoardSimulator sim;
  ASSERT_TRUE(sim.Start());
  Profile(2, sim.SlavePath(), 2);
  Start();
  const std::string image = WriteImage("fw.bin", Pattern(FirmwareImageSize));
  bool stayedOpen = false;
  WhenModalOf<SelfProgramDialog> act([&](SelfProgramDialog& d) {
    Find<QLineEdit>(d, "imagePath")->setText(QString::fromStdString(image));
    Find<QLineEdit>(d, "confirmation")->setText(QStringLiteral("0123456789abcdeg"));
    Find<QPushButton>(d, "id1")->click();
    stayedOpen = d.isVisible();
    d.reject();
  });
  Trigger(command::UpdateFirmware);
  EXPECT_TRUE(stayedOpen);
  ASSERT_EQ(op.boxes.size(), 1u);
  EXPECT_EQ(op.boxes[0].text, FormatText(catalog.GetText(msg::FirmwareBadConfirmation), "0123456789abcdeg"));
  EXPECT_FALSE(LoaderEntered(sim));
  sim.Stop();
}

}  // namespace
}  // namespace zr7
