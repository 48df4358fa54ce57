#pragma once
// One programming session: the board's port and link, the two images, the project, the recent
// projects, the chip, lock/fuse and project commands and the results they keep. The window, the
// command line, the test rigs and the benches all build it here, so a second board on the same
// machine is a second Workbench and nothing in it is shared with the first.

#include <optional>
#include <string>

#include "devices/ChipActions.h"
#include "devices/DeviceTable.h"
#include "buffers/MemoryBuffer.h"
#include "link/BoardLink.h"
#include "link/ChipJob.h"
#include "link/Clock.h"
#include "link/ComPort.h"
#include "link/PortMap.h"
#include "operator/ViewInterface.h"
#include "lockfuse/LockFuseCommands.h"
#include "operations/Autoprogram.h"
#include "operations/ChipCommands.h"
#include "project/Profile.h"
#include "project/Project.h"
#include "project/ProjectCommands.h"
#include "project/RecentList.h"

namespace zr7 {

// What a session works with and that outlives it.
struct WorkbenchParts {
  OperatorInterface& op;
  const MessageCatalog& catalog;
  Profile& profile;
  // The chip's timing waits and the link's deadlines (tests pass a recording clock).
  Clock& clock = DefaultClock();
  // The byte link under the board protocol; none: the serial port of the port map.
  SerialLink* wire = nullptr;
};

class Workbench {
 public:
  explicit Workbench(const WorkbenchParts& parts);
  Workbench(const Workbench&) = delete;
  Workbench& operator=(const Workbench&) = delete;

  // Port 1 is the board at this device path for this session (a simulated board, or a device
  // the command line names); the profile's port paths are not changed.
  void UseBoardAt(const std::string& path);
  // Reports every change of the images, the project and the recent list to `view` from now
  // on, beginning with two empty images; until then they tell nobody (command line, rigs).
  void ShowIn(ViewInterface* view);

  // The selected chip and whether it allows an action: the same answer greys a button in the
  // window and refuses a command on the command line.
  const DeviceRecord& Device() const;
  bool Allows(ChipAction action) const { return ActionAllowed(Device(), action); }

  // The settings of a chip command starting now: project options, board, delays, chip.
  ChipJob Job() const;
  // One autoprogram run; `pauses` times the waits between its steps. `named` overrides the
  // images an unattended run takes from the project file.
  bool RunAutoprogram(bool unattended, AutoprogramOutcome& outcome, Clock& pauses = DefaultClock(),
                      const std::optional<NamedImages>& named = std::nullopt);

  OperatorInterface& op;
  const MessageCatalog& catalog;
  Profile& profile;

  PortMap ports;
  ComPort port;
  BoardLink link;
  BoardChoice board;
  BoardDelays delays;
  int device = 0;  // the selected chip's row in the device table

  ChipResults results;
  MemoryBuffer flash, eeprom;
  Project project;
  RecentList recent;
  ProjectCommands projectCommands;
  ChipCommands chip;
  LockFuseCommands lockFuse;
};

}  // namespace zr7
