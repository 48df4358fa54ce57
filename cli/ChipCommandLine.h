#pragma once
// The chip commands of zr7-cli: one connection job on the board (or the built-in simulator),
// with the same handlers the window's buttons run.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "BoardSimulator.h"
#include "ConsoleOperator.h"
#include "text/MessageCatalog.h"
#include "devices/ChipActions.h"
#include "link/ChipJob.h"
#include "project/Profile.h"
#include "session/Workbench.h"

namespace zr7cli {

struct ChipCommandLine {
  std::string port;                      // "" = the profile's port; 1..8; or a device path
  std::optional<std::string> simulator;  // set: the built-in simulator; its chip ("" = the device)
  std::string device;                    // a device name, any letter case; "" = the project's
  std::string project;                   // a .zr7 file for the device and options
  bool highSpeed = false;
  bool yes = false;                      // the answer to every question (default No)
  std::string lang;                      // "en", "ru", or "" for the profile's language
  std::string command;                   // signature, erase, blank-check, program, read, verify
  std::string memory;                    // flash or eeprom
  std::string file;
};

// What every chip command runs with: texts, operator, profile, and the session on the board
// (or the built-in simulator). Members in construction order.
struct ChipSession {
  explicit ChipSession(const ChipCommandLine& line);
  // Loads the project, picks the device, starts the simulator or maps the port. 0 when ready,
  // otherwise the exit status (the reason already shown). An action the device does not allow
  // (the window greys it) is refused, exit 1, before any port or simulator is opened; `command`
  // names it as the user typed it.
  int Prepare(const ChipCommandLine& line, bool progressBar, std::optional<zr7::ChipAction> action = std::nullopt,
              std::string_view command = {});
  // After a failed command: why the port did not open, when that was the cause.
  void ExplainFailure();

  zr7::LanguageSettings language;
  zr7::MessageCatalog catalog;
  ConsoleOperator op;
  zr7::Profile profile;
  std::unique_ptr<zr7sim::BoardSimulator> sim;
  zr7::Workbench bench;
  zr7::ChipJob job;  // the job the command runs, made by Prepare
};

// Exit status: 0 success, 1 failed, refused or cancelled, 2 usage error.
// progressBar: stderr is a terminal, so long operations draw a bar there.
int RunChipCommand(const ChipCommandLine& line, bool progressBar);

// The device number for a name as the user may type it ("atmega8", "ATmega2561"), or -1.
int DeviceByUserName(const std::string& name);

}  // namespace zr7cli
