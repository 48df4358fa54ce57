#include "present/WindowRules.h"

#include <algorithm>

#include "text/CatalogTables.h"
#include "devices/DeviceTable.h"
#include "devices/ChipActions.h"
#include "project/Project.h"
#include "project/ProjectCommands.h"
#include "project/RecentList.h"

namespace zr7 {

namespace {

using enum ControlKind;

constexpr ControlSpec kControls[] = {
    {control::FlashFrame, GroupFrame, "Flash", 5, 5, 335, 120},
    {control::EepromFrame, GroupFrame, "EEPROM", 5, 125, 335, 110},
    {control::DeviceFrame, GroupFrame, "Device", 345, 5, 95, 250},
    {control::FlashLabel, SunkenLabel, "", 10, 15, 245, 10},
    {control::InvToggle, Toggle, "Inv", 265, 15, 26, 10},
    {control::FlashLoad, Button, ">>", 298, 15, 15, 10},
    {control::FlashReload, Button, "!", 320, 15, 15, 10},
    {control::FlashView, HiddenFrame, "", 10, 30, 325, 90},
    {control::EepromLabel, SunkenLabel, "", 10, 140, 245, 10},
    {control::IncToggle, Toggle, "Inc", 260, 140, 26, 10},
    {control::EepromLoad, Button, ">>", 293, 140, 15, 10},
    {control::EepromReload, Button, "!", 315, 140, 15, 10},
    {control::EepromView, HiddenFrame, "", 10, 162, 325, 69},
    {control::StatusLine, StatusLine, "Please wait...", 5, 240, 229, 12},
    // A drop-down's height is that of its open list; the closed box is one line high.
    {control::SckCombo, DropList, "", 240, 240, 100, 200},
    {control::FamilyCombo, DropList, "", 350, 20, 85, 500},
    {control::DeviceCombo, DropList, "", 350, 35, 85, 500},
    {control::ReadSignature, Button, "Read signature", 350, 55, 85, 15},
    {control::Autoprogram, Button, "Auto-program", 350, 75, 85, 15},
    {control::BlankCheck, Button, "Blank check", 350, 90, 85, 15},
    {control::ProgramFlash, Button, "Program Flash", 350, 115, 85, 15},
    {control::ReadFlash, Button, "Read Flash", 350, 130, 85, 15},
    {control::VerifyFlash, Button, "Verify Flash", 350, 145, 85, 15},
    {control::ProgramEeprom, Button, "Program EEPROM", 350, 170, 85, 15},
    {control::ReadEeprom, Button, "Read EEPROM", 350, 185, 85, 15},
    {control::VerifyEeprom, Button, "Verify EEPROM", 350, 200, 85, 15},
    {control::ChipErase, Button, "Chip Erase", 350, 230, 85, 15},
};

constexpr Anchor kAnchors[] = {
    {control::StatusLine, AnchorMoveY},  {control::SckCombo, AnchorMoveY},    {control::EepromFrame, AnchorMoveY},
    {control::EepromLabel, AnchorMoveY}, {control::IncToggle, AnchorMoveY},   {control::EepromLoad, AnchorMoveY},
    {control::EepromReload, AnchorMoveY}, {control::EepromView, AnchorMoveY}, {control::FlashFrame, AnchorSizeY},
    {control::FlashView, AnchorSizeY},
};

constexpr int S = MenuSeparator;
constexpr int kProjectItems[] = {32784, 32780, 32783, 32781, 32782, 32792, S, 1015, S, RecentPlaceholderCommand, S, 1056};
constexpr int kFlashItems[] = {1006, 32908, 32790, 32776, 32774, 32771, S, 1009, 1010, 1013};
constexpr int kEepromItems[] = {1007, 32909, 32791, 32772, 32775, 32773, S, 1011, 1012, 1014};
constexpr int kSettingsItems[] = {32795, 1016, S, 32785, S, 32907};
constexpr int kAdvancedItems[] = {32779, 32777, S, 32904, S, 32910, S, 32788, 32901};
constexpr int kHelpItems[] = {32789, S, 16};

constexpr MenuPopupSpec kMenu[] = {
    {"&Project", kProjectItems, false}, {"&Flash", kFlashItems, false},       {"&Eeprom", kEepromItems, false},
    {"&Settings", kSettingsItems, false}, {"&Advanced", kAdvancedItems, false}, {"&Help", kHelpItems, true},
};

constexpr std::array<std::string_view, SckPeriodCount> kSckPeriods = {
    "0.5 uS (2 MHz)", "1.0 uS (1 MHz)",   "2.0 uS (500 kHz)", "4.0 uS (250 kHz)",
    "8.0 uS (125 kHz)", "16 uS (60 kHz)", "32 uS (30 kHz)",   "125 uS (8 kHz)",
};

}  // namespace

std::span<const ControlSpec> MainWindowControls() { return kControls; }

const ControlSpec* FindControl(int id) {
  for (const ControlSpec& c : kControls)
    if (c.id == id) return &c;
  return nullptr;
}

std::span<const Anchor> MainWindowAnchors() { return kAnchors; }

EdgeRect ApplyAnchor(EdgeRect r, unsigned flags, int dx, int dy) {
  if (dx != 0) {
    if (flags & AnchorSizeX) {
      r.right += dx;
    } else if (flags & AnchorMoveX) {
      r.left += dx;
      r.right += dx;
    }
  }
  if (dy != 0) {
    if (flags & AnchorSizeY) {
      r.bottom += dy;
    } else if (flags & AnchorMoveY) {
      r.top += dy;
      r.bottom += dy;
    }
  }
  return r;
}

void AnchorSet::AddAnchor(int controlId, unsigned flags) {
  if (flags == 0) return;
  words_.push_back((static_cast<std::uint32_t>(flags) << 16) | (static_cast<std::uint32_t>(controlId) & 0xFFFFu));
}

std::optional<AnchorSet::Change> AnchorSet::OnSize(int clientWidth, int clientHeight) {
  const bool known = lastWidth_ != 0 || lastHeight_ != 0;
  const Change change{clientWidth - lastWidth_, clientHeight - lastHeight_};
  lastWidth_ = clientWidth;
  lastHeight_ = clientHeight;
  if (!known || words_.empty()) return std::nullopt;
  return change;
}

std::span<const MenuPopupSpec> MainWindowMenu() { return kMenu; }

const char* BuiltMenuText(int commandId) {
  for (const CatalogRow& row : MenuTextTable())
    if (row.id == commandId && row.id > 0) return row.english;
  return "";
}

bool MenuItemBuiltDisabled(int commandId) { return commandId == RecentPlaceholderCommand; }

Route RouteCommand(int id, int code) {
  using C = WindowCommand;
  using T = ImageTarget;
  if (code == CodeSelectionChange) {
    switch (id) {
      case control::FamilyCombo: return {C::FamilyChanged};
      case control::DeviceCombo: return {C::DeviceChanged};
      case control::SckCombo: return {C::SckChanged};
      default: return {};
    }
  }
  if (code != CodeClicked) return {};
  if (id >= FirstRecentCommand && id < FirstRecentCommand + RecentSlotCount) return {C::ProjectCommand};
  switch (id) {
    case command::ProjectNew:
    case command::ProjectOpen:
    case command::ProjectReload:
    case command::ProjectSave:
    case command::ProjectSaveAs:
    case command::ProjectClose: return {C::ProjectCommand};
    case control::Autoprogram: return {C::Autoprogram};
    case command::Exit: return {C::Exit};
    case control::FlashLoad: return {C::Load, T::Flash};
    case control::EepromLoad: return {C::Load, T::Eeprom};
    case command::FlashLoadAt: return {C::LoadAt, T::Flash};
    case command::EepromLoadAt: return {C::LoadAt, T::Eeprom};
    case control::FlashReload: return {C::Reload, T::Flash};
    case control::EepromReload: return {C::Reload, T::Eeprom};
    case command::FlashSave: return {C::Save, T::Flash};
    case command::EepromSave: return {C::Save, T::Eeprom};
    case command::FlashSaveAs: return {C::SaveAs, T::Flash};
    case command::EepromSaveAs: return {C::SaveAs, T::Eeprom};
    case command::FlashClose: return {C::Close, T::Flash};
    case command::EepromClose: return {C::Close, T::Eeprom};
    case control::ProgramFlash: return {C::Program, T::Flash};
    case control::ProgramEeprom: return {C::Program, T::Eeprom};
    case control::ReadFlash: return {C::Read, T::Flash};
    case control::ReadEeprom: return {C::Read, T::Eeprom};
    case control::VerifyFlash: return {C::Verify, T::Flash};
    case control::VerifyEeprom: return {C::Verify, T::Eeprom};
    case control::ChipErase: return {C::ChipErase};
    case control::ReadSignature: return {C::SignatureButton};
    case command::ReadSignatureMenu: return {C::SignatureMenu};
    case control::BlankCheck: return {C::BlankCheck};
    case command::ProjectSettings:
    case control::StatusLine: return {C::ProjectSettings};
    case command::LockFuseBits: return {C::LockFuseBits};
    case command::BoardSettings: return {C::BoardSettings};
    case command::SelectLanguage: return {C::SelectLanguage};
    case command::ReadCalibration: return {C::ReadCalibration};
    case command::SearchBoard: return {C::SearchBoard};
    case command::BoardInfo: return {C::BoardInfo};
    case command::UpdateFirmware: return {C::UpdateFirmware};
    case command::AdvancedBoardSettings: return {C::AdvancedBoardSettings};
    case command::Help: return {C::Help};
    case command::About: return {C::About};
    case control::InvToggle: return {C::InvToggled};
    case control::IncToggle: return {C::IncToggled};
    default: return {};
  }
}

bool CommandConnected(WindowCommand command) {
  using C = WindowCommand;
  switch (command) {
    case C::None: return false;
    default: return true;
  }
}

std::string WindowTitle(std::string_view path, bool modified, std::string_view productTitle) {
  std::string title(path);
  if (modified) title += '*';
  title += " - ";
  title += productTitle;
  return title;
}

ControlStates ComputeControlStates(const DeviceRecord& d, bool flashHasData, bool eepromHasData) {
  using A = ChipAction;
  ControlStates s;
  s.readCalibration = ActionAllowed(d, A::ReadCalibration);
  s.lockFuseBits = ActionAllowed(d, A::LockFuseBits);
  s.readFlash = ActionAllowed(d, A::ReadFlash);
  s.programFlash = ActionAllowed(d, A::ProgramFlash) && flashHasData;
  s.verifyFlash = ActionAllowed(d, A::VerifyFlash) && flashHasData;
  s.readEeprom = ActionAllowed(d, A::ReadEeprom);
  s.programEeprom = ActionAllowed(d, A::ProgramEeprom) && eepromHasData;
  s.verifyEeprom = ActionAllowed(d, A::VerifyEeprom) && eepromHasData;
  s.chipErase = ActionAllowed(d, A::ChipErase);
  s.blankCheck = ActionAllowed(d, A::BlankCheck);
  s.autoprogram = ActionAllowed(d, A::Autoprogram);
  s.readSignature = ActionAllowed(d, A::ReadSignature);
  s.sckCombo = d.Family != DeviceFamily::At45;
  return s;
}

std::vector<int> DevicesOfFamily(int family) {
  std::vector<int> out;
  const auto table = DeviceTable();
  for (int i = 0; i < DeviceCount; ++i)
    if (static_cast<int>(table[static_cast<std::size_t>(i)].Family) == family) out.push_back(i);
  return out;
}

int CurrentDeviceIndex(int familyPosition, int devicePosition) {
  if (devicePosition < 0) return -1;
  const std::vector<int> devices = DevicesOfFamily(familyPosition);
  if (static_cast<std::size_t>(devicePosition) >= devices.size()) return -1;
  return devices[static_cast<std::size_t>(devicePosition)];
}

std::optional<ComboPosition> PositionOfDevice(int deviceIndex) {
  const DeviceRecord* d = DeviceAt(deviceIndex);
  if (!d) return std::nullopt;
  const int family = static_cast<int>(d->Family);
  const std::vector<int> devices = DevicesOfFamily(family);
  const auto it = std::find(devices.begin(), devices.end(), deviceIndex);
  return ComboPosition{family, static_cast<int>(it - devices.begin())};
}

std::span<const std::string_view, SckPeriodCount> SckPeriodTexts() { return kSckPeriods; }

bool ApplyDeviceChoice(Project& project, int deviceIndex) {
  if (deviceIndex < 0 || deviceIndex == project.settings().deviceNo) return false;
  project.settings().deviceNo = deviceIndex;
  project.SetModified();
  return true;
}

std::string DialogFilterText(std::string_view filter) {
  std::vector<std::string_view> parts;
  while (!filter.empty()) {
    const auto bar = filter.find('|');
    parts.push_back(filter.substr(0, bar));
    if (bar == std::string_view::npos) break;
    filter.remove_prefix(bar + 1);
  }
  std::string out;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty()) continue;
    std::string patterns;
    std::string_view list = parts[i + 1];
    // Several patterns of one entry are separated by ";" in the pairs, by blanks in the list.
    while (!list.empty()) {
      const auto semi = list.find(';');
      std::string_view p = list.substr(0, semi);
      if (!patterns.empty()) patterns += ' ';
      patterns += p == "*.*" ? std::string("*") : std::string(p);
      if (semi == std::string_view::npos) break;
      list.remove_prefix(semi + 1);
    }
    if (!out.empty()) out += ";;";
    out += std::string(parts[i]) + " (" + patterns + ")";
  }
  return out;
}

}  // namespace zr7
