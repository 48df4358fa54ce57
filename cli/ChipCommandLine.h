#pragma once
// The chip commands of zr7-cli: one connection job on the board (or the built-in simulator),
// with the same handlers the window's buttons run.

#include <optional>
#include <string>

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

// Exit status: 0 success, 1 failed, refused or cancelled, 2 usage error.
// progressBar: stderr is a terminal, so long operations draw a bar there.
int RunChipCommand(const ChipCommandLine& line, bool progressBar);

// The device number for a name as the user may type it ("atmega8", "ATmega2561"), or -1.
int DeviceByUserName(const std::string& name);

}  // namespace zr7cli
