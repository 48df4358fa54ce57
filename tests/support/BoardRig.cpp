#include "support/BoardRig.h"

#include "devices/DeviceTable.h"

namespace zr7test {

namespace {
zr7sim::SimOptions WithChip(zr7sim::SimOptions options, const std::string& chip) {
  options.chip = chip;
  return options;
}
}  // namespace

BoardRig::BoardRig(const std::string& chip, Setup setup)
    : sim(WithChip(setup.sim, setup.boardChip.empty() ? chip : setup.boardChip)),
      bench({op, catalog, profile, setup.clock ? *setup.clock : zr7::DefaultClock(), setup.wire}),
      link(bench.link),
      flash(bench.flash),
      eeprom(bench.eeprom),
      results(bench.results),
      commands(bench.chip),
      project(bench.project) {
  boardPort = setup.boardPort;
  bench.board.port = boardPort;
  if (setup.start) {
    started = sim.Start(&error);
    PlugIn();
  }
  bench.device = zr7::FindDeviceByName(chip);
  project.settings().deviceNo = project.settings().lockFuseDeviceNo = bench.device;
  job = bench.Job();
}

void BoardRig::PlugIn() {
  bench.ports.Set(boardPort - 1, sim.SlavePath());
  bench.port.SetPortMap(bench.ports);
}

void BoardRig::Image(zr7::MemoryBuffer& buffer, const std::vector<std::uint8_t>& bytes, const std::string& name) {
  buffer.data() = bytes;
  buffer.states().assign(bytes.size(), zr7::StateFromFile);
  buffer.SetFileName(name);
}

std::vector<zr7sim::WireCommand> BoardRig::Commands(std::chrono::milliseconds settle) {
  sim.Log().WaitForCommands(sim.Log().Commands().size() + 1, settle);
  return sim.Log().Commands();
}

std::vector<zr7sim::WireCommand> BoardRig::Only(std::uint8_t code) {
  std::vector<zr7sim::WireCommand> out;
  for (auto& c : Commands())
    if (c.code == code) out.push_back(c);
  return out;
}

}  // namespace zr7test
