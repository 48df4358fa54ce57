// The Lock/Fuse Bits dialog against the simulated board: its buttons show the chip's bits and send
// what was pressed, a declined warning sends nothing, the autoprogram editor returns the bits.

#include "Widgets.h"
#include "devices/DeviceTable.h"
#include "link/Commands.h"
#include "lockfuse/LockFuseLayout.h"
#include "support/BoardRig.h"
#include "support/RecordingClock.h"
#include "ui/LockFuseDialog.h"

namespace zr7 {
namespace {

constexpr std::array<int, 24> kFuseIds = {1091, 1095, 1096, 1097, 1098, 1099, 1100, 1101, 1110, 1111, 1112, 1113,
                                          1117, 1118, 1119, 1120, 1102, 1121, 1104, 1122, 1107, 1108, 1109, 1116};
constexpr std::array<int, 4> kLockIds = {1086, 1087, 1088, 1089};

QString Q(const std::string& s) { return QString::fromStdString(s); }
QAbstractButton* Find(QWidget& dialog, int id) { return zr7test::Find<QAbstractButton>(dialog, id); }

zr7sim::SimOptions WithFuses(std::optional<std::array<std::uint8_t, 3>> fuses) {
  zr7sim::SimOptions options;
  options.fuses = fuses;
  return options;
}

// The shared rig with the lock/fuse operations; waits are instant.
struct Rig : zr7test::BoardRig {
  explicit Rig(const std::string& chip, std::optional<std::array<std::uint8_t, 3>> fuses = std::nullopt)
      : BoardRig(chip, {.sim = WithFuses(fuses), .clock = &clock}), commands(bench.lockFuse), device(bench.device) {
    EXPECT_TRUE(started) << error;
  }
  const LockFuseLayout& Layout() const { return LayoutOf(*DeviceAt(device)); }
  QAbstractButton* Fuse(QWidget& d, std::string_view name) {
    const int i = FindFuse(Layout(), name);
    EXPECT_GE(i, 0) << name;
    return Find(d, kFuseIds[static_cast<std::size_t>(i < 0 ? 0 : i)]);
  }
  // Fuse and lock writes that reached the chip (not the programming enable).
  int Writes() {
    int n = 0;
    for (const auto& c : Commands())
      if ((c.code == CmdSpi4 || c.code == CmdSpi3) && c.args.size() >= 2 && c.args[0] == 0xAC && c.args[1] != 0x53) ++n;
    return n;
  }
  std::vector<std::string> Boxes() const { return op.BoxTexts(); }

  zr7test::InstantClock clock;
  LockFuseCommands& commands;
  int device;
};

// ATmega32 as delivered: CKSEL0 unprogrammed, CKSEL1..3 programmed, SPIEN programmed.
constexpr std::array<std::uint8_t, 3> kMega32Fuses = {0xE1, 0x99, 0xFF};

TEST(LockFuseDialog, ShowsTheChipsBitsADeclinedWarningSendsNothingAndProgramSendsTheButtons) {
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
  r.op.QueueAnswer(BoxAnswer::No);
  Find(d, 1132)->click();
  EXPECT_EQ(r.Boxes(), std::vector<std::string>{std::string(r.catalog.GetText(1001)) +
                                                 FormatText(r.catalog.GetText(1003), "SPIEN") +
                                                 r.catalog.GetText(1165) + r.catalog.GetText(1004)});
  EXPECT_EQ(r.Writes(), writes);
  EXPECT_EQ(d.Edit(), before);
  EXPECT_TRUE(r.Fuse(d, "CKSEL0")->isChecked());  // the buttons stay as the operator left them
  EXPECT_FALSE(r.Fuse(d, "SPIEN")->isChecked());

  r.op.ClearEvents();
  r.Fuse(d, "SPIEN")->click();
  r.Fuse(d, "CKSEL3")->click();
  Find(d, kLockIds[1])->click();
  Find(d, 1132)->click();
  for (const auto& b : r.op.Boxes()) EXPECT_NE(b.buttons, BoxButtons::YesNo) << "a safe setting asks nothing";
  // Low byte: CKSEL0..2 programmed (0), CKSEL3 unprogrammed; lock mode 1 programs LB1.
  EXPECT_EQ(r.sim.LockState().fuses[0], 0xE8);
  EXPECT_EQ(r.sim.LockState().fuses[1], 0x99);
  EXPECT_EQ(r.sim.LockState().lockBits & 0x03, 0x02);
  EXPECT_EQ(d.Saved().lockMode, 1);
  EXPECT_TRUE(Find(d, kLockIds[1])->isChecked() && !Find(d, kLockIds[0])->isChecked());
}

// The editor starts from the settings with the warned bits safe, stays open on a declined
// warning, and gives what was pressed on Save only; the chip hears nothing.
TEST(LockFuseDialog, AutoprogramEditorGivesThePressedBitsOnSaveOnly) {
  Rig r("ATtiny15");
  const auto bit = [&](const char* name) { return static_cast<std::size_t>(FindFuse(r.Layout(), name)); };
  LockFuseState settings;
  settings.fuse[bit("RSTDISBL")] = true;
  for (const int button : {2, 1160}) {  // Cancel, then Save
    r.op.QueueAnswer(BoxAnswer::No);
    WhenModal act([&](QDialog& d) {
      EXPECT_EQ(d.windowTitle(), Q(r.catalog.GetText(1194)));
      EXPECT_FALSE(Find(d, 5)->isEnabled());
      EXPECT_TRUE(r.Fuse(d, "SPIEN")->isChecked());
      EXPECT_FALSE(r.Fuse(d, "RSTDISBL")->isChecked());
      Find(d, kLockIds[1])->click();
      r.Fuse(d, "RSTDISBL")->click();
      Find(d, 1160)->click();
      EXPECT_TRUE(d.isVisible());
      r.Fuse(d, "RSTDISBL")->click();
      Find(d, button)->click();
    });
    EXPECT_EQ(EditAutoprogramLockFuse(nullptr, r.catalog, r.op, r.commands, r.job, r.device, r.device, settings),
              button == 1160);
    EXPECT_TRUE(act.Acted());
    EXPECT_EQ(settings.lockMode, button == 1160 ? 1 : 0);
  }
  ASSERT_EQ(r.Boxes().size(), 2u);
  EXPECT_NE(r.Boxes()[0].find("RSTDISBL"), std::string::npos);
  EXPECT_TRUE(settings.fuse[bit("SPIEN")]);
  EXPECT_FALSE(settings.fuse[bit("RSTDISBL")]);
  EXPECT_EQ(r.Writes(), 0);
}

}  // namespace
}  // namespace zr7
