// The main window's rules without widgets: enabling, title, combos, routing, menu, anchors.

#include <gtest/gtest.h>

#include <set>

#include "text/CatalogTables.h"
#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "present/TranslateWindow.h"
#include "present/WindowRules.h"
#include "devices/DeviceTable.h"
#include "project/Project.h"
#include "project/RecentList.h"

namespace zr7 {

namespace {

const DeviceRecord& Device(std::string_view name) {
  const int i = FindDeviceByName(name);
  EXPECT_EQ(DeviceTable()[static_cast<std::size_t>(i)].Name, name);
  return DeviceTable()[static_cast<std::size_t>(i)];
}

// The names of the enabled controls, so that a failure says which.
std::string Enabled(const ControlStates& s) {
  const std::pair<bool, const char*> all[] = {
      {s.readFlash, "readFlash"}, {s.programFlash, "programFlash"}, {s.verifyFlash, "verifyFlash"},
      {s.readEeprom, "readEeprom"}, {s.programEeprom, "programEeprom"}, {s.verifyEeprom, "verifyEeprom"},
      {s.chipErase, "erase"}, {s.blankCheck, "blank"}, {s.autoprogram, "auto"}, {s.readCalibration, "calibration"},
      {s.lockFuseBits, "lockFuse"}, {s.readSignature, "signature"}, {s.sckCombo, "sck"}};
  std::string out;
  for (const auto& [on, name] : all) out += on ? (out.empty() ? "" : " ") + std::string(name) : "";
  return out;
}

// A serial Eeprom has no Flash, erase, blank check or signature; a DataFlash (whose EepromSize
// holds the page-address shift) no Eeprom, SCK or Autoprogram; an AT89S without Eeprom nothing
// of it even with an image loaded; signature only for class 4; calibration by its count;
// program and verify follow the image.
TEST(WindowEnabling, FollowsTheDeviceAndTheImages) {
  const struct { const char* device; bool flash, eeprom; const char* enabled; } cases[] = {
      {"AT25256", true, true, "readEeprom programEeprom verifyEeprom sck"},
      {"AT45DB041", true, true, "readFlash programFlash verifyFlash erase blank signature"},
      {"AT90S2313", false, false, "readFlash readEeprom erase blank auto lockFuse signature sck"},
      {"ATmega8", false, false, "readFlash readEeprom erase blank auto calibration lockFuse signature sck"},
      {"ATmega8", true, false,
       "readFlash programFlash verifyFlash readEeprom erase blank auto calibration lockFuse signature sck"},
      {"AT89S51", true, true, "readFlash programFlash verifyFlash erase blank auto lockFuse signature sck"},
      {"AT89S8252", true, true,
       "readFlash programFlash verifyFlash readEeprom programEeprom verifyEeprom erase blank auto lockFuse sck"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Enabled(ComputeControlStates(Device(c.device), c.flash, c.eeprom)), c.enabled) << c.device << c.flash;
}

TEST(WindowTitle, PathStarAndProduct) {
  EXPECT_EQ(WindowTitle("[Unspecified]", false, "ZR7 In-System Programmer 10.30a"),
            "[Unspecified] - ZR7 In-System Programmer 10.30a");
  EXPECT_EQ(WindowTitle("/p/a.zr7", true, "P"), "/p/a.zr7* - P");
}

TEST(DeviceCombos, EveryDeviceHasOnePositionAndComesBackFromIt) {
  std::set<int> seen;
  for (int family = 0; family < FamilyCount; ++family)
    for (int i : DevicesOfFamily(family)) {
      EXPECT_TRUE(seen.insert(i).second) << i;
      EXPECT_EQ(static_cast<int>(DeviceTable()[static_cast<std::size_t>(i)].Family), family);
    }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(DeviceCount));
  for (int i = 0; i < DeviceCount; ++i) {
    const auto pos = PositionOfDevice(i);
    ASSERT_TRUE(pos) << i;
    EXPECT_EQ(CurrentDeviceIndex(pos->family, pos->device), i) << DeviceTable()[static_cast<std::size_t>(i)].Name;
  }
  EXPECT_FALSE(PositionOfDevice(DeviceCount));
  EXPECT_FALSE(PositionOfDevice(-1));
  // Positions outside a family name no device.
  for (auto [family, device] : {std::pair{0, static_cast<int>(DevicesOfFamily(0).size())}, {0, -1}, {7, 0}})
    EXPECT_EQ(CurrentDeviceIndex(family, device), -1) << family << " " << device;
  // The AT90CAN128 stands late in the table but in the AT90 family's list.
  EXPECT_EQ(PositionOfDevice(FindDeviceByName("AT90CAN128")), (ComboPosition{4, 2}));
}

TEST(DeviceCombos, SameDeviceAgainLeavesTheProjectUnmodified) {
  ScriptedOperator op;
  LanguageSettings language;
  MessageCatalog catalog(language);
  Project project(op, catalog);
  const int current = project.settings().deviceNo;
  EXPECT_FALSE(ApplyDeviceChoice(project, current));
  EXPECT_FALSE(ApplyDeviceChoice(project, -1));
  EXPECT_FALSE(project.modified());
  EXPECT_EQ(project.settings().deviceNo, current);
  EXPECT_TRUE(ApplyDeviceChoice(project, current + 1));
  EXPECT_TRUE(project.modified());
  EXPECT_EQ(project.settings().deviceNo, current + 1);
}

TEST(CommandRouting, EveryButtonAndMenuItemLeadsSomewhere) {
  for (const ControlSpec& c : MainWindowControls()) {
    const bool clicked = c.kind == ControlKind::Button || c.kind == ControlKind::Toggle ||
                         c.kind == ControlKind::StatusLine;
    if (clicked || c.kind == ControlKind::DropList) {
      EXPECT_NE(RouteCommand(c.id, clicked ? CodeClicked : CodeSelectionChange).command, WindowCommand::None) << c.id;
    }
  }
  for (const MenuPopupSpec& popup : MainWindowMenu())
    for (int id : popup.items)
      if (id != MenuSeparator && id != RecentPlaceholderCommand) {
        EXPECT_NE(RouteCommand(id, CodeClicked).command, WindowCommand::None) << id;
      }
  EXPECT_FALSE(CommandConnected(WindowCommand::None));
  for (int id : {1016, 1009, 1010, 1013, 1008, 1103, 32777, 32779, 32785, 32786, 32907, 32789, 1056, 32780, 32788,
                 32901, 32904, 32910, 1015, 32795, 1057, 16})
    EXPECT_TRUE(CommandConnected(RouteCommand(id, CodeClicked).command)) << id;
}

TEST(CommandRouting, SharedIdsAndTargets) {
  const struct { int id, code; WindowCommand command; } cases[] = {
      // 1016 is both the device combo and the Lock&Fuse item: the code decides.
      {1016, CodeClicked, WindowCommand::LockFuseBits},     {1016, CodeSelectionChange, WindowCommand::DeviceChanged},
      {1009, CodeSelectionChange, WindowCommand::None},      {32801, CodeClicked, WindowCommand::ProjectCommand},
      {32808, CodeClicked, WindowCommand::ProjectCommand},   {32809, CodeClicked, WindowCommand::None},
      {32800, CodeClicked, WindowCommand::None},
  };
  for (const auto& c : cases) EXPECT_EQ(RouteCommand(c.id, c.code).command, c.command) << c.id << " " << c.code;
  EXPECT_EQ(RouteCommand(1057, CodeClicked), RouteCommand(32795, CodeClicked));

  const std::pair<int, int> pairs[] = {{1006, 1007},   {32908, 32909}, {32790, 32791}, {32776, 32772}, {32774, 32775},
                                       {32771, 32773}, {1009, 1011},   {1013, 1014},   {1010, 1012}};
  for (auto [flash, eeprom] : pairs) {
    const Route f = RouteCommand(flash, CodeClicked), e = RouteCommand(eeprom, CodeClicked);
    EXPECT_EQ(f.target, ImageTarget::Flash) << flash;
    EXPECT_EQ(e.target, ImageTarget::Eeprom) << eeprom;
    EXPECT_EQ(f.command, e.command) << flash << " " << eeprom;
  }
}

TEST(MainWindowMenu, EveryMenuRowHasItsItemAndEveryItemItsText) {
  std::multiset<int> items;
  for (const MenuPopupSpec& popup : MainWindowMenu())
    for (int id : popup.items)
      if (id != MenuSeparator) {
        items.insert(id);
        EXPECT_STRNE(BuiltMenuText(id), "") << id;
      }
  for (const CatalogRow& row : MenuTextTable())
    if (row.id > 0) {
      EXPECT_EQ(items.count(row.id), 1u) << row.id;
    }
  ASSERT_EQ(MainWindowMenu().size(), 6u);
  EXPECT_TRUE(MainWindowMenu()[HelpPopupPosition].rightJustified);
  EXPECT_TRUE(MenuItemBuiltDisabled(RecentPlaceholderCommand));
}

TEST(MainWindowLayout, TranslatedAndAnchoredControlsExist) {
  const DialogTextTable* table = FindDialogTextTable(102);
  ASSERT_NE(table, nullptr);
  for (const CatalogRow& row : table->rows) EXPECT_NE(FindControl(row.id), nullptr) << row.id;
  for (const Anchor& a : MainWindowAnchors()) EXPECT_NE(FindControl(a.controlId), nullptr) << a.controlId;
  std::set<int> ids;
  for (const ControlSpec& c : MainWindowControls()) {
    EXPECT_TRUE(ids.insert(c.id).second) << c.id;
    EXPECT_LE(c.x + c.width, MainWindowWidthDu) << c.id;
    if (c.kind != ControlKind::DropList) {
      EXPECT_LE(c.y + c.height, MainWindowHeightDu) << c.id;
    }
  }
}

TEST(Anchors, FlashAreaStretchesEepromAreaAndBottomLineMoveDown) {
  AnchorSet anchors;
  for (const Anchor& a : MainWindowAnchors()) anchors.AddAnchor(a.controlId, a.flags);
  EXPECT_FALSE(anchors.OnSize(896, 524));  // the first event only remembers
  const auto change = anchors.OnSize(896, 574);
  ASSERT_TRUE(change);
  EXPECT_EQ(std::pair(change->dx, change->dy), std::pair(0, 50));

  auto placed = [&](int id) {
    const ControlSpec* c = FindControl(id);
    EdgeRect r{c->x, c->y, c->x + c->width, c->y + c->height};
    for (std::uint32_t w : anchors.Words())
      if (static_cast<int>(w & 0xFFFF) == id) r = ApplyAnchor(r, w >> 16, change->dx, change->dy);
    return r;
  };
  EXPECT_EQ(placed(1002), (EdgeRect{10, 30, 335, 170}));   // Flash view grows
  EXPECT_EQ(placed(1001), (EdgeRect{10, 212, 335, 281}));  // Eeprom view keeps its height
  EXPECT_EQ(placed(1057), (EdgeRect{5, 290, 234, 302}));
  EXPECT_EQ(placed(1008), (EdgeRect{350, 230, 435, 245}));  // the button column stays
}

TEST(Anchors, SizeFlagsWinAndZeroFlagsAreNotKept) {
  EXPECT_EQ(ApplyAnchor({0, 0, 10, 10}, AnchorMoveX | AnchorSizeX, 5, 0), (EdgeRect{0, 0, 15, 10}));
  EXPECT_EQ(ApplyAnchor({0, 0, 10, 10}, AnchorMoveX | AnchorMoveY, 5, 7), (EdgeRect{5, 7, 15, 17}));
  EXPECT_EQ(ApplyAnchor({0, 0, 10, 10}, AnchorSizeY | AnchorMoveY, 0, -3), (EdgeRect{0, 0, 10, 7}));
  AnchorSet set;
  set.AddAnchor(1234, 0);
  EXPECT_TRUE(set.Words().empty());
  EXPECT_FALSE(set.OnSize(10, 10));
  EXPECT_FALSE(set.OnSize(10, 20));  // no anchors: nothing to move
  set.AddAnchor(32791, AnchorMoveY);
  EXPECT_EQ(set.Words().front(), (2u << 16) | 32791u);
}

TEST(FileFilters, PairsBecomeDialogFilters) {
  EXPECT_EQ(DialogFilterText("HEX Files|*.hex|BIN Files|*.bin|All Files|*.*"),
            "HEX Files (*.hex);;BIN Files (*.bin);;All Files (*)");
  EXPECT_EQ(DialogFilterText("ZR7 Projects|*.zr7|"), "ZR7 Projects (*.zr7)");
  EXPECT_EQ(DialogFilterText("Images|*.hex;*.eep"), "Images (*.hex *.eep)");
  EXPECT_EQ(DialogFilterText(""), "");
  EXPECT_EQ(DialogFilterText("Dangling label"), "");
}

}  // namespace
}  // namespace zr7
