#include "operations/ActionRefusal.h"

#include "text/CatalogTables.h"
#include "text/MessageCatalog.h"
#include "devices/DeviceTable.h"

namespace zr7 {

namespace {

constexpr int kMainWindowDialog = 102;
constexpr int kLockFuseMenu = 1016;
constexpr int kReadCalibrationMenu = 32904;

// The button (or, without one, the menu item) that starts the action.
int CommandIdOf(ChipAction action) {
  switch (action) {
    case ChipAction::ReadSignature: return 1103;
    case ChipAction::ChipErase: return 1008;
    case ChipAction::BlankCheck: return 32779;
    case ChipAction::ReadFlash: return 1013;
    case ChipAction::ProgramFlash: return 1009;
    case ChipAction::VerifyFlash: return 1010;
    case ChipAction::ReadEeprom: return 1014;
    case ChipAction::ProgramEeprom: return 1011;
    case ChipAction::VerifyEeprom: return 1012;
    case ChipAction::Autoprogram: return 1015;
    case ChipAction::LockFuseBits: return kLockFuseMenu;
    case ChipAction::ReadCalibration: return kReadCalibrationMenu;
  }
  return 0;
}

// A menu text without its access-key marks and trailing dots: "&Lock&&Fuse Bits..." is "Lock&Fuse Bits".
std::string PlainMenuText(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') out += text[++i];
      continue;
    }
    out += text[i];
  }
  while (!out.empty() && out.back() == '.') out.pop_back();
  return out;
}

}  // namespace

std::string ActionLabel(const MessageCatalog& catalog, ChipAction action) {
  const int id = CommandIdOf(action);
  if (id == kLockFuseMenu || id == kReadCalibrationMenu) {
    for (const CatalogRow& row : MenuTextTable())
      if (row.id == id) return PlainMenuText(catalog.Pick(row.english, row.russian));
    return "";
  }
  if (const DialogTextTable* table = FindDialogTextTable(kMainWindowDialog))
    for (const CatalogRow& row : table->rows)
      if (row.id == id) return catalog.Pick(row.english, row.russian);
  return "";
}

std::string NotAvailableText(const MessageCatalog& catalog, std::string_view command, const DeviceRecord& device) {
  return FormatText(catalog.GetText(msg::NotAvailableForDevice), std::string(command).c_str(),
                    std::string(device.Name).c_str());
}

}  // namespace zr7
