#pragma once
// What the Language, Load Address, Advanced Board Settings and Board Settings dialogs decide,
// kept apart from their widgets so that it can be checked without a display.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "operator/OperatorInterface.h"  // MessageBoxRequest
#include "link/PortMap.h"
#include "link/ChipJob.h"  // BoardDelays

namespace zr7 {

class Profile;

// --- Load Address ---

// The edit takes this many characters at most: FFFFFF or 999999 is the largest address typed.
inline constexpr int LoadAddressMaxChars = 6;

// The edit's first text: at least four upper-case hexadecimal digits.
std::string LoadAddressText(std::uint32_t address);

// The leading number of the text as "%d" (decimal) or "%x" (hexadecimal) reads it: blanks,
// an optional sign, digits up to the first one that does not belong ("1A" decimal is 1, the
// hexadecimal form may start with "0x"). 0 when the text does not start with a number. A
// negative number wraps round as it does when stored in the unsigned address; the load
// command then refuses it as lying beyond every image.
std::uint32_t ParseLoadAddress(std::string_view text, bool decimal);

// --- Advanced Board Settings (the four board delays) ---

inline constexpr int BoardDelayCount = 4;
using BoardDelayTexts = std::array<std::string, BoardDelayCount>;

// The dialog's texts in the order of the BoardDelays fields, in decimal.
BoardDelayTexts DelayTexts(const BoardDelays& delays);

// An integer from 0 to MaxBoardDelayMs, blanks around it allowed, nothing else.
std::optional<std::int32_t> ParseDelay(std::string_view text);

struct DelaysCheck {
  std::optional<BoardDelays> delays;  // set when all four are valid
  int invalidIndex = -1;              // the first edit that is not, -1 when none
};
DelaysCheck CheckDelays(const BoardDelayTexts& texts);

// The box that names the allowed range. The dialog has no catalog texts, so neither has this.
MessageBoxRequest DelayRangeBox();

// --- Board Settings ---

struct BoardSettingsChoice {
  int port = 0;  // 1..8
  bool highSpeed = false;
  PortMap ports;
};

// The radio button (0 = COM1) to check for a board port; COM1 when no port is chosen.
int CheckedPortPosition(int port);
// The port after OK: 1 + the checked position, or the previous port when none is checked (-1).
int PortFromPosition(int checkedPosition, int previousPort);

// A slot's path as typed, made fit for the profile: blanks around it and line breaks dropped,
// and the slot's built-in path when nothing is left (the profile reads an empty one so too).
std::string NormalizedPortPath(std::string_view typed, int portIndex);

// Whether something is at the path now (a device node comes and goes with its adapter).
bool PortPresent(const std::string& path);

// The Board Settings command: reloads high speed, then the port, from the profile (replacing
// what the caller held), shows the dialog with them and the caller's port paths, and on OK
// keeps the choice and writes "COM", "HighSpeed" and every path that was changed. Returns
// whether the dialog was confirmed; on Cancel the reloaded values stay.
bool BoardSettingsCommand(Profile& profile, int& port, bool& highSpeed, PortMap& ports,
                          const std::function<std::optional<BoardSettingsChoice>(int, bool, const PortMap&)>& dialog);

}  // namespace zr7
