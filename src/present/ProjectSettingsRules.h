#pragma once
// What the Project Settings dialog (138) decides, over a plain copy of its controls' values:
// the reset pulse lengths of the slider, the first values of the controls, which edits are
// enabled, the checks on OK and what OK stores into the project. The Qt dialog only copies
// its widgets into a ProjectSettingsForm and back.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "operator/OperatorInterface.h"  // MessageBoxRequest
#include "lockfuse/LockFuseState.h"

namespace zr7 {

class MessageCatalog;
struct ProjectSettings;

// Control ids of dialog 138 that the rules name.
namespace settings_control {
inline constexpr int Ok = 1;
inline constexpr int Cancel = 2;
inline constexpr int Configure = 3;
inline constexpr int Device = 1005;
inline constexpr int Polling = 1030;
inline constexpr int CheckSign = 1036;
inline constexpr int FlashReload = 1060;
inline constexpr int FlashProgram = 1061;
inline constexpr int FlashVerify = 1062;
inline constexpr int Erase = 1063;
inline constexpr int EepromReload = 1064;
inline constexpr int EepromProgram = 1065;
inline constexpr int EepromVerify = 1066;
inline constexpr int FlashIncrement = 1067;
inline constexpr int FlashAddress = 1068;
inline constexpr int BlankCheck = 1069;
inline constexpr int EepromIncrement = 1070;
inline constexpr int EepromAddress = 1071;
inline constexpr int ResetSlider = 1084;
inline constexpr int ResetLabel = 1085;
inline constexpr int NoSynchronization = 1096;
inline constexpr int DelayByte = 1140;
inline constexpr int DelayPage = 1141;
inline constexpr int DelayPageValue = 1142;
inline constexpr int DelayByteValue = 1143;
inline constexpr int ProgramFuse = 1144;
inline constexpr int Sck = 1145;
inline constexpr int DelayByte2 = 1147;
inline constexpr int DelayByteValue2 = 1148;
inline constexpr int DelayPage2 = 1149;
inline constexpr int DelayPageValue2 = 1150;
}  // namespace settings_control

// --- Reset pulse length ---

inline constexpr int ResetStrobePositions = 7;
inline constexpr int ResetStrobeLineStep = 1;
inline constexpr int ResetStrobePageStep = 3;

// Milliseconds of a slider position (0..6: 20, 50, 100, 150, 300, 500, 1000); positions
// outside are taken as the nearest end.
int ResetStrobeMs(int position);
// The first position whose length is at least `ms`; 6 beyond 1000.
int ResetStrobePosition(int ms);
// Label 1085: "<length> ms".
std::string ResetStrobeText(int position);

// --- The dialog's values ---

// Everything the controls hold, plus the working copy of the lock and fuse bits.
struct ProjectSettingsForm {
  int device = 0;       // the device list's selection: a device number
  int sckPosition = 0;  // the SCK list's selection: the stored spiPeriod
  int resetPosition = 0;
  bool polling = false;
  bool checkSign = false;
  bool noSynchronization = false;
  bool autoErase = false;
  bool autoEmptyCheck = false;
  bool autoFlashReload = false;
  bool autoFlashProgram = false;
  bool autoFlashVerify = false;
  bool autoEepromReload = false;
  bool autoEepromProgram = false;
  bool autoEepromVerify = false;
  bool programFuse = false;
  LockFuseState lockFuse;
  int lockFuseDevice = 0;  // the chip lockFuse was made for
  bool autoIncrementFlash = false;
  std::string flashAddress;
  bool autoIncrement = false;
  std::string eepromAddress;
  bool delayByte = false;
  std::string delayByteValue;
  bool delayPage = false;
  std::string delayPageValue;
  bool delayByte2 = false;
  std::string delayByteValue2;
  bool delayPage2 = false;
  std::string delayPageValue2;

  bool operator==(const ProjectSettingsForm&) const = default;
};

// The values the dialog opens with. Snaps the project's reset pulse length to a slider
// position at once: that change stays even when the dialog is cancelled.
ProjectSettingsForm OpenProjectSettings(ProjectSettings& project);

// --- Enabling ---

struct ControlEnabling {
  int control;
  bool enabled;
  bool operator==(const ControlEnabling&) const = default;
};
// Each delay and address edit follows its check box, "Configure..." follows 1144.
std::array<ControlEnabling, 7> ProjectSettingsEnabling(const ProjectSettingsForm& form);

// --- OK ---

// The address edits take at most this many characters.
inline constexpr int AutoIncAddressMaxChars = 8;

// An integer as the delay edits take it: blanks around an optional sign and decimal digits,
// nothing else, within 32 bits.
std::optional<std::int32_t> ParseSettingsInteger(std::string_view text);
// An address as "%x" reads it: blanks, an optional sign, an optional "0x", hexadecimal
// digits up to the first that does not belong ("1A2" is 418). Nothing when the text does not
// start with a digit, so that the previous address stays.
std::optional<std::int32_t> ParseAutoIncAddress(std::string_view text);

// A value that OK refuses: the box that says why and the edit that gets the focus.
struct SettingsRefusal {
  int control;
  MessageBoxRequest box;
};
// The Flash delays must be integers 0..18 and 3..50 even while their check boxes are off, the
// Eeprom byte delay an integer, the Eeprom page delay 0..MaxPageDelayMs, the addresses at most
// 8 characters; the first failure in the order of the dialog, nothing when all pass.
std::optional<SettingsRefusal> CheckProjectSettings(const ProjectSettingsForm& form, const MessageCatalog& catalog);

// Stores a checked form into the project, except the device, which the main window selects:
// every flag, the reset length of the slider, the delays, the addresses (an unreadable one
// keeps its value), the SCK position, and the lock and fuse bits, cleared unless programFuse.
void StoreProjectSettings(const ProjectSettingsForm& form, ProjectSettings& project);

// Empty while the lock and fuse settings fit the chosen device (or are not programmed); else
// the note the dialog shows: autoprogram would stop before its lock and fuse step.
std::string LockFuseMismatchNote(const ProjectSettingsForm& form, const MessageCatalog& catalog);

struct ProjectSettingsOk {
  std::optional<SettingsRefusal> refusal;  // set: nothing was stored, the dialog stays open
};
// OK: checks, then stores. The lock and fuse settings keep the chip they were made for.
ProjectSettingsOk AcceptProjectSettings(const ProjectSettingsForm& form, const MessageCatalog& catalog,
                                        ProjectSettings& project);

}  // namespace zr7
