// How a refused action is worded: the window's own name for it, in the language of the moment.

#include <gtest/gtest.h>

#include "devices/DeviceTable.h"
#include "operations/ActionRefusal.h"
#include "text/MessageCatalog.h"

using namespace zr7;

TEST(ActionRefusal, ActionsAreNamedAsTheWindowNamesThem) {
  const struct { ChipAction action; bool russian; const char* label; } cases[] = {
      {ChipAction::ChipErase, false, "Chip erase"},
      {ChipAction::BlankCheck, false, "Blank check"},
      {ChipAction::VerifyEeprom, true, "Проверка Eeprom"},
      {ChipAction::LockFuseBits, false, "Lock&Fuse Bits"},  // a menu item: no access keys, no dots
      {ChipAction::ReadCalibration, false, "Read Calibration Bytes"},
      {ChipAction::LockFuseBits, true, "Lock/Fuse биты"},
  };
  for (const auto& c : cases) {
    LanguageSettings language{c.russian};
    const MessageCatalog catalog(language);
    EXPECT_EQ(ActionLabel(catalog, c.action), c.label);
  }
  LanguageSettings language;
  const MessageCatalog catalog(language);
  EXPECT_EQ(NotAvailableText(catalog, "Chip erase", DeviceTable()[FindDeviceByName("AT25256")]),
            "The command 'Chip erase' is not available for the AT25256: nothing was sent to the board.");
}
