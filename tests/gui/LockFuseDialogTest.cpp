// The Lock/Fuse Bits dialog driven through its widgets against the simulated board: the
// warning before dangerous fuses (and that a declined one sends nothing), the panel of a chip
// without fuses, a chip without lock read, the autoprogram editor, and the main window's menu.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>

#include "BoardSimulator.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowDialogs.h"
#include "text/MessageCatalog.h"
#include "ui/QtOperator.h"
#include "support/ScriptedOperator.h"
#include "devices/DeviceTable.h"
#include "link/BoardLink.h"
#include "link/ComPort.h"
#include "link/Commands.h"
#include "lockfuse/LockFuseCommands.h"
#include "ui/LockFuseDialog.h"
#include "lockfuse/LockFuseLayout.h"
#include "lockfuse/LockFuseRules.h"
#include "project/Profile.h"
#include "support/RecordingClock.h"
#include "gui/WhenModal.h"

namespace zr7 {
namespace {

namespace fs = std::filesystem;
using zr7sim::BoardSimulator;
using zr7sim::SimOptions;

constexpr int kPort = 2;
constexpr std::array<int, 24> kFuseIds = {1091, 1095, 1096, 1097, 1098, 1099, 1100, 1101, 1110, 1111, 1112, 1113,
                                          1117, 1118, 1119, 1120, 1102, 1121, 1104, 1122, 1107, 1108, 1109, 1116};
constexpr std::array<int, 4> kLockIds = {1086, 1087, 1088, 1089};
constexpr std::array<int, 4> kBootIds = {1092, 1103, 1093, 1094};

QString Q(const std::string& s) { return QString::fromStdString(s); }

template <class T = QAbstractButton>
T* Find(QWidget& dialog, int id) {
  T* w = dialog.findChild<T*>(QStringLiteral("id%1").arg(id));
  EXPECT_NE(w, nullptr) << id;
  return w;
}


// A simulated chip, the board link on it and the lock/fuse operations; waits are instant.
struct Rig {
  explicit Rig(const std::string& chip, std::optional<std::array<std::uint8_t, 3>> fuses = std::nullopt)
      : sim([&] {
          SimOptions o;
          o.chip = chip;
          o.fuses = fuses;
          return o;
        }()),
        link(port, op, catalog, clock),
        commands(link) {
    std::string error;
    EXPECT_TRUE(sim.Start(&error)) << error;
    PortMap map;
    map.Set(kPort - 1, sim.SlavePath());
    port.SetPortMap(map);
    job.boardPort = kPort;
    device = FindDeviceByName(chip);
    job.connect.deviceNumber = device;
  }
  const LockFuseLayout& Layout() const { return LayoutOf(*DeviceAt(device)); }
  QAbstractButton* Fuse(QWidget& d, std::string_view name) {
    const int i = FindFuse(Layout(), name);
    EXPECT_GE(i, 0) << name;
    return Find(d, kFuseIds[static_cast<std::size_t>(i < 0 ? 0 : i)]);
  }
  // Fuse and lock writes that reached the chip (not the programming enable).
  int Writes() {
    sim.Log().WaitForCommands(sim.Log().Commands().size() + 1, std::chrono::milliseconds(30));
    int n = 0;
    for (const auto& c : sim.Log().Commands())
      if ((c.code == CmdSpi4 || c.code == CmdSpi3) && c.args.size() >= 2 && c.args[0] == 0xAC && c.args[1] != 0x53) ++n;
    return n;
  }
  std::vector<std::string> Boxes() {
    std::vector<std::string> out;
    for (const auto& b : op.Boxes()) out.push_back(b.text);
    return out;
  }

  LanguageSettings language;
  BoardSimulator sim;
  MessageCatalog catalog{language};
  ScriptedOperator op;
  zr7test::InstantClock clock;
  ComPort port;
  BoardLink link;
  LockFuseCommands commands;
  ChipJob job;
  int device = -1;
};

// ATmega32 as delivered: CKSEL0 unprogrammed, CKSEL1..3 programmed, SPIEN programmed.
constexpr std::array<std::uint8_t, 3> kMega32Fuses = {0xE1, 0x99, 0xFF};

TEST(LockFuseDialog, DangerousFusesAskOnceAndADeclineSendsNothing) {
  Rig r("ATmega32", kMega32Fuses);
  LockFuseState state;
  ASSERT_TRUE(r.commands.Read(r.job, r.device, state));
  LockFuseDialog d(nullptr, r.catalog, r.op, r.commands, r.job, r.device, state, false);
  EXPECT_EQ(d.windowTitle(), Q(r.catalog.GetText(1193)));
  EXPECT_FALSE(Find(d, 1160)->isEnabled());
  EXPECT_TRUE(r.Fuse(d, "CKSEL3")->isChecked());
  EXPECT_FALSE(r.Fuse(d, "CKSEL0")->isChecked());
  EXPECT_TRUE(r.Fuse(d, "SPIEN")->isChecked());

  r.Fuse(d, "CKSEL0")->click();
  r.Fuse(d, "SPIEN")->click();
  const LockFuseState before = d.Edit();
  const int writes = r.Writes();
  r.op.ClearEvents();
  r.op.QueueAnswer(BoxAnswer::No);
  Find(d, 1132)->click();

  const auto boxes = r.op.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, std::string(r.catalog.GetText(1001)) + FormatText(r.catalog.GetText(1003), "SPIEN") +
                               r.catalog.GetText(1165) + r.catalog.GetText(1004));
  EXPECT_EQ(boxes[0].caption, r.catalog.GetText(1005));
  EXPECT_EQ(boxes[0].buttons, BoxButtons::YesNo);
  EXPECT_EQ(r.Writes(), writes);
  EXPECT_EQ(r.sim.LockState().fuses, kMega32Fuses);
  EXPECT_EQ(d.Edit(), before);
  EXPECT_TRUE(r.Fuse(d, "CKSEL0")->isChecked());  // the buttons stay as the operator left them
  EXPECT_FALSE(r.Fuse(d, "SPIEN")->isChecked());
}

TEST(LockFuseDialog, ProgramSendsTheButtonsAndRefreshesFromThem) {
  Rig r("ATmega32", kMega32Fuses);
  LockFuseState state;
  ASSERT_TRUE(r.commands.Read(r.job, r.device, state));
  LockFuseDialog d(nullptr, r.catalog, r.op, r.commands, r.job, r.device, state, false);
  r.Fuse(d, "CKSEL0")->click();
  r.Fuse(d, "CKSEL3")->click();
  Find(d, kLockIds[1])->click();
  r.op.ClearEvents();
  Find(d, 1132)->click();
  for (const auto& b : r.op.Boxes()) EXPECT_NE(b.buttons, BoxButtons::YesNo) << b.text;
  // Low byte: CKSEL0..2 programmed (0), CKSEL3 unprogrammed; lock mode 1 programs LB1.
  EXPECT_EQ(r.sim.LockState().fuses[0], 0xE8);
  EXPECT_EQ(r.sim.LockState().fuses[1], 0x99);
  EXPECT_EQ(r.sim.LockState().lockBits & 0x03, 0x02);
  EXPECT_EQ(d.Saved().lockMode, 1);
  EXPECT_TRUE(d.Saved().readable);
  EXPECT_TRUE(Find(d, kLockIds[1])->isChecked());
  EXPECT_FALSE(Find(d, kLockIds[0])->isChecked());
}

TEST(LockFuseDialog, ChipWithoutFusesShowsUnusedButtonsAndFourLockModes) {
  Rig r("AT89S52");
  LockFuseDialog d(nullptr, r.catalog, r.op, r.commands, r.job, r.device, LockFuseState{}, false);
  const QString unused = Q(r.catalog.GetText(1014));
  for (int id : kFuseIds) {
    EXPECT_FALSE(Find(d, id)->isEnabled()) << id;
    EXPECT_EQ(Find(d, id)->text(), unused) << id;
  }
  for (int id : kBootIds) {
    EXPECT_FALSE(Find(d, id)->isEnabled()) << id;
    EXPECT_EQ(Find(d, id)->text(), unused) << id;
  }
  const char* names[] = {"No locking", "LB1", "LB1+LB2", "LB1+LB2+LB3"};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_TRUE(Find(d, kLockIds[i])->isEnabled()) << i;
    EXPECT_EQ(Find(d, kLockIds[i])->text(), QString::fromUtf8(names[i])) << i;
  }
  EXPECT_TRUE(Find(d, kLockIds[0])->isChecked());
}

TEST(LockFuseDialog, ChipWithoutLockReadKeepsReadAndVerifyOffAlsoAfterProgram) {
  Rig r("AT89S8252");
  bool checked = false;
  WhenModal act([&](QDialog& d) {
    EXPECT_FALSE(Find(d, 3)->isEnabled());
    EXPECT_FALSE(Find(d, 4)->isEnabled());
    Find(d, kLockIds[2])->click();
    Find(d, 1132)->click();
    EXPECT_FALSE(Find(d, 3)->isEnabled());
    EXPECT_FALSE(Find(d, 4)->isEnabled());
    EXPECT_TRUE(Find(d, kLockIds[2])->isChecked());
    checked = true;
    Find(d, 2)->click();
  });
  OpenLockFuseTool(nullptr, r.catalog, r.op, r.commands, r.job, r.device, {});
  EXPECT_TRUE(checked);
  const auto boxes = r.Boxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.front(), r.catalog.GetText(1059));
  EXPECT_GT(r.Writes(), 0);
}

TEST(LockFuseDialog, FailedReadOpensNothing) {
  Rig r("ATmega32", kMega32Fuses);
  r.job.boardPort = 0;
  WhenModal act([](QDialog& d) { d.reject(); });
  OpenLockFuseTool(nullptr, r.catalog, r.op, r.commands, r.job, r.device, {});
  EXPECT_FALSE(act.Acted());
  EXPECT_EQ(r.Boxes(), std::vector<std::string>{r.catalog.GetText(1032)});
}

TEST(LockFuseDialog, ChipEraseRunsForTheShownDeviceAndReadsItBack) {
  Rig r("ATmega32", kMega32Fuses);
  LockFuseState state;
  ASSERT_TRUE(r.commands.Read(r.job, r.device, state));
  ChipJob windowJob = r.job;
  windowJob.connect.deviceNumber = FindDeviceByName("ATmega8");  // the window moved on
  int erasedDevice = -1;
  bool eraseWorks = false;
  LockFuseDialog d(nullptr, r.catalog, r.op, r.commands, windowJob, r.device, state, false, [&](ChipJob& job) {
    erasedDevice = job.connect.deviceNumber;
    return eraseWorks;
  });
  r.sim.SetFuseBytes({0xE0, 0x99, 0xFF});  // CKSEL0 now programmed on the chip

  Find(d, 5)->click();  // a failed erase reads nothing
  EXPECT_EQ(erasedDevice, r.device);
  EXPECT_FALSE(r.Fuse(d, "CKSEL0")->isChecked());

  eraseWorks = true;
  Find(d, 5)->click();
  EXPECT_TRUE(r.Fuse(d, "CKSEL0")->isChecked());
  EXPECT_TRUE(d.Saved().fuse[static_cast<std::size_t>(FindFuse(r.Layout(), "CKSEL0"))]);
}

TEST(LockFuseDialog, AutoprogramEditorForcesWarnedBitsAndSavesOnlyOnSave) {
  Rig r("ATtiny15");
  const int spien = FindFuse(r.Layout(), "SPIEN");
  const int rstdisbl = FindFuse(r.Layout(), "RSTDISBL");
  ASSERT_GE(spien, 0);
  ASSERT_GE(rstdisbl, 0);
  LockFuseState settings;
  settings.fuse[static_cast<std::size_t>(rstdisbl)] = true;

  WhenModal cancel([&](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), Q(r.catalog.GetText(1194)));
    EXPECT_FALSE(Find(d, 5)->isEnabled());
    EXPECT_TRUE(Find(d, 1160)->isEnabled());
    EXPECT_TRUE(r.Fuse(d, "SPIEN")->isChecked());
    EXPECT_FALSE(r.Fuse(d, "RSTDISBL")->isChecked());
    Find(d, kLockIds[1])->click();
    Find(d, 2)->click();
  });
  EXPECT_FALSE(EditAutoprogramLockFuse(nullptr, r.catalog, r.op, r.commands, r.job, r.device, r.device, settings));
  EXPECT_TRUE(cancel.Acted());
  EXPECT_TRUE(settings.fuse[static_cast<std::size_t>(spien)]);
  EXPECT_FALSE(settings.fuse[static_cast<std::size_t>(rstdisbl)]);
  EXPECT_EQ(settings.lockMode, 0);

  WhenModal save([&](QDialog& d) {
    Find(d, kLockIds[1])->click();
    Find(d, 1160)->click();
  });
  EXPECT_TRUE(EditAutoprogramLockFuse(nullptr, r.catalog, r.op, r.commands, r.job, r.device, r.device, settings));
  EXPECT_EQ(settings.lockMode, 1);
  EXPECT_EQ(r.Writes(), 0);  // the editor changes the project, not the chip
}

TEST(LockFuseDialog, AutoprogramSaveWithDeclinedWarningStaysOpen) {
  Rig r("ATtiny15");
  LockFuseState settings;
  r.op.QueueAnswer(BoxAnswer::No);
  int saveClicks = 0;
  WhenModal act([&](QDialog& d) {
    r.Fuse(d, "RSTDISBL")->click();
    Find(d, 1160)->click();
    ++saveClicks;
    EXPECT_TRUE(d.isVisible());
    Find(d, 2)->click();
  });
  EXPECT_FALSE(EditAutoprogramLockFuse(nullptr, r.catalog, r.op, r.commands, r.job, r.device, r.device, settings));
  EXPECT_EQ(saveClicks, 1);
  ASSERT_EQ(r.op.Boxes().size(), 1u);
  EXPECT_NE(r.op.Boxes()[0].text.find("RSTDISBL"), std::string::npos);
  EXPECT_FALSE(settings.fuse[static_cast<std::size_t>(FindFuse(r.Layout(), "RSTDISBL"))]);
}

TEST(LockFuseDialog, AutoprogramEditorWantsTheProjectsDevice) {
  Rig r("ATtiny15");
  LockFuseState settings;
  WhenModal act([](QDialog& d) { d.reject(); });
  EXPECT_FALSE(EditAutoprogramLockFuse(nullptr, r.catalog, r.op, r.commands, r.job, FindDeviceByName("ATmega8"),
                                       r.device, settings));
  EXPECT_FALSE(act.Acted());
  EXPECT_EQ(r.Boxes(), std::vector<std::string>{r.catalog.GetText(1166)});
  EXPECT_EQ(settings, LockFuseState{});
}

// ---- The main window's menu item ----

class AnsweringOperator : public QtOperator {
 public:
  using QtOperator::QtOperator;
  std::vector<std::string> boxes;

 protected:
  BoxAnswer AskOnGuiThread(const MessageBoxRequest& box) override {
    boxes.push_back(box.text);
    return box.buttons == BoxButtons::Ok ? BoxAnswer::Ok : BoxAnswer::Yes;
  }
};

TEST(LockFuseMainWindow, MenuItemOpensTheToolForTheSelectedChip) {
  const fs::path dir = fs::temp_directory_path() / ("zr7-lockfuse-window-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  SimOptions options;
  options.chip = "ATmega8";
  options.fuses = std::array<std::uint8_t, 3>{0xE1, 0xD9, 0xFF};
  BoardSimulator sim(options);
  ASSERT_TRUE(sim.Start());
  LanguageSettings language;
  MessageCatalog catalog{language};
  AnsweringOperator op{catalog};
  MainWindowDialogs dialogs;
  {
    Profile profile((dir / "zr7.ini").string(), op, catalog);
    MainWindow window(MainWindowContext{language, catalog, op, profile, dialogs, sim.SlavePath()});
    window.Initialise({});
    window.show();
    window.SelectDevice(FindDeviceByName("ATmega8"));
    QAction* item = window.MenuAction(command::LockFuseBits);
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->isEnabled());

    // The same id from the device combo is a selection, not the tool.
    {
      WhenModal none([](QDialog& d) { d.reject(); });
      window.Command(command::LockFuseBits, CodeSelectionChange);
      QApplication::processEvents();
      EXPECT_FALSE(none.Acted());
    }

    QString title, ckselLabel;
    bool ckselPressed = false;
    WhenModal act([&](QDialog& d) {
      title = d.windowTitle();
      QAbstractButton* b = Find(d, kFuseIds[1]);
      ckselLabel = b->text();
      ckselPressed = b->isChecked();
      Find(d, 2)->click();
    });
    item->trigger();
    EXPECT_TRUE(act.Acted());
    EXPECT_EQ(title, Q(catalog.GetText(1193)));
    EXPECT_EQ(ckselLabel, QStringLiteral("CKSEL1"));
    EXPECT_TRUE(ckselPressed);
    EXPECT_TRUE(op.boxes.empty()) << op.boxes.front();
  }
  sim.Stop();
  fs::remove_all(dir);
}

}  // namespace
}  // namespace zr7
