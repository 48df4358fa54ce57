#pragma once
// A session on a simulated board, composed as the programs compose theirs: the simulator on
// its pseudo-terminal as port `Port` (or another), a scripted operator, a profile of defaults that is never
// written, and the Workbench on them with the chip chosen.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "BoardSimulator.h"
#include "support/ScriptedOperator.h"
#include "session/Workbench.h"
#include "text/MessageCatalog.h"

namespace zr7test {

class BoardRig {
 public:
  static constexpr int Port = 2;

  struct Setup {
    zr7sim::SimOptions sim = {};    // its chip is set from the rig's chip or `boardChip`
    std::string boardChip;          // the chip on the board when it is not the selected one
    zr7::Clock* clock = nullptr;    // the link's clock; none: the real one
    zr7::SerialLink* wire = nullptr;  // between the link and the port (a recording link)
    bool start = true;              // false: the caller starts the board, then calls PlugIn
    int boardPort = Port;           // the port the board sits on
  };

  explicit BoardRig(const std::string& chip) : BoardRig(chip, Setup{}) {}
  BoardRig(const std::string& chip, Setup setup);

  // Maps the board's port to the started simulator's terminal.
  void PlugIn();
  // Puts `bytes` into an image as if loaded from file `name`.
  void Image(zr7::MemoryBuffer& buffer, const std::vector<std::uint8_t>& bytes,
             const std::string& name = "image.bin");
  // The commands the board received; the last one is logged once its answer is out, so this
  // waits a moment (bounded) for it.
  std::vector<zr7sim::WireCommand> Commands(std::chrono::milliseconds settle = std::chrono::milliseconds(30));
  std::vector<zr7sim::WireCommand> Only(std::uint8_t code);
  std::size_t CountOf(std::uint8_t code) { return Only(code).size(); }

  bool started = false;
  std::string error;  // why the simulator did not start
  zr7::LanguageSettings language;
  zr7::MessageCatalog catalog{language};
  zr7::ScriptedOperator op;
  zr7::Profile profile{"", op, catalog};
  zr7sim::BoardSimulator sim;
  zr7::Workbench bench;
  // Shorthands into the session.
  zr7::BoardLink& link;
  zr7::MemoryBuffer& flash;
  zr7::MemoryBuffer& eeprom;
  zr7::ChipResults& results;
  zr7::ChipCommands& commands;
  zr7::Project& project;
  int boardPort;
  zr7::ChipJob job;  // the session's job for the chip on the board's port
};

}  // namespace zr7test
