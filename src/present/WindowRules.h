#pragma once
// The main window without widgets: its controls and menu as built, the routing of every
// command id, the title, the enabling rules, the device/family/SCK combo logic and the
// anchors that move controls when the window grows. The Qt window only applies these.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zr7 {

struct DeviceRecord;
class Project;

// Control ids of the main window (dialog template 102).
namespace control {
inline constexpr int EepromView = 1001;  // hidden placeholder frame of the Eeprom view
inline constexpr int FlashView = 1002;   // hidden placeholder frame of the Flash view
inline constexpr int FlashLabel = 1003;
inline constexpr int EepromLabel = 1004;
inline constexpr int FamilyCombo = 1005;
inline constexpr int FlashLoad = 1006;
inline constexpr int EepromLoad = 1007;
inline constexpr int ChipErase = 1008;
inline constexpr int ProgramFlash = 1009;
inline constexpr int VerifyFlash = 1010;
inline constexpr int ProgramEeprom = 1011;
inline constexpr int VerifyEeprom = 1012;
inline constexpr int ReadFlash = 1013;
inline constexpr int ReadEeprom = 1014;
inline constexpr int Autoprogram = 1015;
inline constexpr int DeviceCombo = 1016;
inline constexpr int StatusLine = 1057;
inline constexpr int InvToggle = 1059;
inline constexpr int IncToggle = 1060;
inline constexpr int DeviceFrame = 1079;
inline constexpr int ReadSignature = 1103;
inline constexpr int FlashFrame = 1111;
inline constexpr int EepromFrame = 1112;
inline constexpr int SckCombo = 1148;
inline constexpr int BlankCheck = 32779;
inline constexpr int FlashReload = 32790;
inline constexpr int EepromReload = 32791;
}  // namespace control

// Command ids of the menu and of the commands without a control of their own.
namespace command {
inline constexpr int About = 16;
inline constexpr int Exit = 1056;
inline constexpr int LockFuseBits = 1016;  // shares its id with the device combo (code 0)
inline constexpr int FlashClose = 32771;
inline constexpr int EepromSave = 32772;
inline constexpr int EepromClose = 32773;
inline constexpr int FlashSaveAs = 32774;
inline constexpr int EepromSaveAs = 32775;
inline constexpr int FlashSave = 32776;
inline constexpr int ReadSignatureMenu = 32777;
inline constexpr int BoardSettings = 32785;
inline constexpr int AdvancedBoardSettings = 32786;
inline constexpr int SearchBoard = 32788;
inline constexpr int Help = 32789;
inline constexpr int ProjectSettings = 32795;
inline constexpr int BoardInfo = 32901;
inline constexpr int ReadCalibration = 32904;
inline constexpr int SelectLanguage = 32907;
inline constexpr int FlashLoadAt = 32908;
inline constexpr int EepromLoadAt = 32909;
inline constexpr int UpdateFirmware = 32910;
}  // namespace command

// Notification codes: a click (menu item, button, status line) and a combo's selection change.
inline constexpr int CodeClicked = 0;
inline constexpr int CodeSelectionChange = 1;

// ---- Controls as built ----

enum class ControlKind { GroupFrame, SunkenLabel, Toggle, Button, HiddenFrame, StatusLine, DropList };

struct ControlSpec {
  int id;
  ControlKind kind;
  const char* text;  // as built; the catalog replaces some of them
  int x, y, width, height;  // dialog units
};

inline constexpr int MainWindowWidthDu = 448;
inline constexpr int MainWindowHeightDu = 262;

// In creation order (frames first, so they lie below what they hold).
std::span<const ControlSpec> MainWindowControls();
const ControlSpec* FindControl(int id);

// ---- Anchors ----

enum AnchorFlag : unsigned {
  AnchorMoveX = 1,
  AnchorMoveY = 2,
  AnchorSizeX = 4,  // takes precedence over AnchorMoveX
  AnchorSizeY = 8,  // takes precedence over AnchorMoveY
};

struct Anchor {
  int controlId;
  unsigned flags;
};

// The main window's anchors in registration order.
std::span<const Anchor> MainWindowAnchors();

struct EdgeRect {
  int left, top, right, bottom;
  bool operator==(const EdgeRect&) const = default;
};

// Where a control goes when the client area changed by dx, dy.
EdgeRect ApplyAnchor(EdgeRect rect, unsigned flags, int dx, int dy);

// Anchor words (id low 16 bits, flags high 16 bits) and the size seen by the last size event.
class AnchorSet {
 public:
  // Only a word with flags is kept.
  void AddAnchor(int controlId, unsigned flags);
  const std::vector<std::uint32_t>& Words() const { return words_; }
  // A size event: the change against the last one; nothing on the first event (which only
  // remembers the size) or without anchors.
  struct Change {
    int dx, dy;
  };
  std::optional<Change> OnSize(int clientWidth, int clientHeight);
  void Reset() { lastWidth_ = lastHeight_ = 0; }

 private:
  std::vector<std::uint32_t> words_;
  int lastWidth_ = 0;
  int lastHeight_ = 0;
};

// ---- Menu as built ----

inline constexpr int MenuSeparator = 0;

struct MenuPopupSpec {
  const char* title;  // as built; Flash and Eeprom keep it in both languages
  std::span<const int> items;  // command ids, MenuSeparator for a line
  bool rightJustified;
};

std::span<const MenuPopupSpec> MainWindowMenu();
// The English text of a menu command as built (its menu text table row).
const char* BuiltMenuText(int commandId);
// Built greyed: the recent-projects placeholder.
bool MenuItemBuiltDisabled(int commandId);

// ---- Routing ----

enum class WindowCommand {
  None,
  ProjectCommand,  // New, Open, Reload, Save, Save As, Close, a recent entry
  Autoprogram,
  Exit,
  Load,
  LoadAt,
  Reload,
  Save,
  SaveAs,
  Close,
  Program,
  Read,
  Verify,
  ChipErase,
  SignatureButton,
  SignatureMenu,
  BlankCheck,
  ProjectSettings,
  LockFuseBits,
  BoardSettings,
  SelectLanguage,
  ReadCalibration,
  SearchBoard,
  BoardInfo,
  UpdateFirmware,
  AdvancedBoardSettings,
  Help,
  About,
  FamilyChanged,
  DeviceChanged,
  SckChanged,
  InvToggled,
  IncToggled,
};

enum class ImageTarget { None, Flash, Eeprom };

struct Route {
  WindowCommand command = WindowCommand::None;
  ImageTarget target = ImageTarget::None;
  bool operator==(const Route&) const = default;
};

Route RouteCommand(int id, int code);

// Whether this program already performs the command; those that arrive later are shown
// greyed, so nothing pretends to work.
bool CommandConnected(WindowCommand command);

// ---- Title and enabling ----

// The project's path, "*" when modified, " - ", the product title.
std::string WindowTitle(std::string_view path, bool modified, std::string_view productTitle);

struct ControlStates {
  bool readFlash = false;
  bool programFlash = false;
  bool verifyFlash = false;
  bool readEeprom = false;
  bool programEeprom = false;
  bool verifyEeprom = false;
  bool chipErase = false;
  bool blankCheck = false;
  bool autoprogram = false;
  bool readCalibration = false;  // the menu item
  bool lockFuseBits = false;     // the menu item; serial memories have no such bits
  bool readSignature = false;    // the button; set when the device changes
  bool sckCombo = false;         // set when the family changes
  bool operator==(const ControlStates&) const = default;
};

ControlStates ComputeControlStates(const DeviceRecord& device, bool flashHasData, bool eepromHasData);

// ---- Device, family and SCK combos ----

// The device-table indexes of a family, in table order (the device combo's entries).
std::vector<int> DevicesOfFamily(int family);
// The device at these combo positions; -1 when there is none.
int CurrentDeviceIndex(int familyPosition, int devicePosition);
struct ComboPosition {
  int family;
  int device;
  bool operator==(const ComboPosition&) const = default;
};
// Where a device stands in the two combos; nothing for a number outside the table.
std::optional<ComboPosition> PositionOfDevice(int deviceIndex);

inline constexpr int SckPeriodCount = 8;
std::span<const std::string_view, SckPeriodCount> SckPeriodTexts();

// The device combo's choice reaches the project: a different device is stored and marks the
// project modified; the same one changes nothing. True when it was different.
bool ApplyDeviceChoice(Project& project, int deviceIndex);

// ---- File dialogs ----

// "HEX Files|*.hex|All Files|*.*" as a file dialog's filter list:
// "HEX Files (*.hex);;All Files (*)". "*.*" matches every name, also those without a dot.
std::string DialogFilterText(std::string_view filter);

}  // namespace zr7
