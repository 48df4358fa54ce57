#include "session/Workbench.h"

namespace zr7 {

Workbench::Workbench(const WorkbenchParts& parts)
    : op(parts.op),
      catalog(parts.catalog),
      profile(parts.profile),
      ports(PortMapOf(parts.profile)),
      port(ports),
      link(parts.wire ? *parts.wire : port, parts.op, parts.catalog, parts.clock),
      project(parts.op, parts.catalog),
      recent(parts.profile),
      projectCommands(project, parts.profile, recent, parts.op, parts.catalog),
      chip(link, flash, eeprom, results),
      lockFuse(link) {
  ShowIn(nullptr);
}

void Workbench::UseBoardAt(const std::string& path) {
  ports.Set(0, path);
  port.SetPortMap(ports);
  board.port = 1;
}

void Workbench::ShowIn(ViewInterface* view) {
  project.Attach(view, flash, eeprom);
  flash.Init(op, catalog, false, &project, view);
  eeprom.Init(op, catalog, true, &project, view);
  chip.ShowIn(view);
  flash.Clear();
  eeprom.Clear();
}

const DeviceRecord& Workbench::Device() const {
  const DeviceRecord* record = DeviceAt(device);
  return record ? *record : DeviceTable()[0];
}

ChipJob Workbench::Job() const {
  ChipJob job = ChipJobOf(project, board.port, board.highSpeed, delays);
  job.connect.deviceNumber = device;
  return job;
}

bool Workbench::RunAutoprogram(bool unattended, AutoprogramOutcome& outcome, Clock& pauses,
                               const std::optional<NamedImages>& named) {
  Autoprogram run(chip, flash, eeprom, project, lockFuse, pauses);
  if (named) run.SetNamedImages(*named);
  ChipJob job = Job();
  return run.Run(job, unattended, outcome);
}

}  // namespace zr7
