#include "ChipCommandLine.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <grp.h>
#include <iostream>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "BoardSimulator.h"
#include "ConsoleOperator.h"
#include "text/MessageCatalog.h"
#include "buffers/BufferCommands.h"
#include "buffers/ImageFiles.h"
#include "buffers/MemoryBuffer.h"
#include "devices/DeviceTable.h"
#include "link/BoardLink.h"
#include "link/ComPort.h"
#include "operations/ActionRefusal.h"
#include "operations/ChipCommands.h"
#include "project/Profile.h"
#include "project/Project.h"

namespace zr7cli {

using namespace zr7;

namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// "ATmega325/3250" answers to "ATmega325" and "ATmega3250" as well.
std::vector<std::string> NamesOf(std::string_view name) {
  std::vector<std::string> out{std::string(name)};
  const auto slash = name.find('/');
  if (slash == std::string_view::npos) return out;
  std::string first(name.substr(0, slash));
  std::string prefix = first;
  while (!prefix.empty() && std::isdigit(static_cast<unsigned char>(prefix.back()))) prefix.pop_back();
  out.push_back(first);
  std::string_view rest = name.substr(slash + 1);
  while (!rest.empty()) {
    const auto next = rest.find('/');
    out.push_back(prefix + std::string(rest.substr(0, next)));
    if (next == std::string_view::npos) break;
    rest = rest.substr(next + 1);
  }
  return out;
}

// After the protocol's own message: why the port did not open, in words a Linux user can act on.
void ExplainOpenFailure(const ComPort& port, int portIndex, ConsoleOperator& op, const MessageCatalog& catalog) {
  const std::string& path = port.Ports().PathFor(portIndex);
  switch (port.LastOpenError()) {
    case EACCES:
    case EPERM: {
      struct stat st {};
      std::string group = "dialout";
      if (::stat(path.c_str(), &st) == 0)
        if (const ::group* g = ::getgrgid(st.st_gid)) group = g->gr_name;
      op.Note(FormatText(catalog.GetText(msg::PortPermissionDenied), path.c_str(), group.c_str(), group.c_str()));
      break;
    }
    case ENOENT:
    case ENXIO:
    case ENODEV:
      op.Note(FormatText(catalog.GetText(msg::PortMissing), path.c_str()));
      break;
    case EBUSY:
      op.Note(FormatText(catalog.GetText(msg::PortBusy), path.c_str()));
      break;
    default:
      break;
  }
}

}  // namespace

int DeviceByUserName(const std::string& name) {
  const std::string wanted = Lower(name);
  for (int i = 0; i < DeviceCount; ++i)
    for (const std::string& n : NamesOf(DeviceTable()[i].Name))
      if (Lower(n) == wanted) return i;
  return -1;
}

namespace {
// `read flash /dev/stdout` pipes the image: the status lines must not run into it.
bool ImageGoesToStdout(const ChipCommandLine& line) {
  struct stat out {}, file {};
  return line.command == "read" && ::fstat(STDOUT_FILENO, &out) == 0 && ::stat(line.file.c_str(), &file) == 0 &&
         out.st_dev == file.st_dev && out.st_ino == file.st_ino;
}
}  // namespace

ChipSession::ChipSession(const ChipCommandLine& line)
    : catalog(language),
      op(ImageGoesToStdout(line) ? std::cerr : std::cout, std::cerr, line.yes),
      profile(DefaultProfilePath(), op, catalog),
      bench({op, catalog, profile}) {}

int ChipSession::Prepare(const ChipCommandLine& line, bool progressBar, std::optional<ChipAction> action,
                         std::string_view command) {
  op.SetProgressBar(progressBar);
  language.RussianSelected = line.lang.empty() ? profile.Russian() : line.lang == "ru";

  MemoryBuffer& flash = bench.flash;
  MemoryBuffer& eeprom = bench.eeprom;
  Project& project = bench.project;
  // Unattended, nobody sees a box before the chip is written: an image file that is not the
  // Intel HEX its name promises is refused, here and in the project's images and reloads.
  flash.SetRawFallback(false);
  eeprom.SetRawFallback(false);
  if (!line.project.empty() && !project.Load(line.project)) return 1;

  int& device = bench.device;
  device = project.settings().deviceNo;
  if (!line.device.empty()) {
    device = DeviceByUserName(line.device);
    if (device < 0) {
      std::string names;
      for (const DeviceRecord& d : DeviceTable()) names += (names.empty() ? "" : ", ") + std::string(d.Name);
      op.Note(FormatText(catalog.GetText(msg::UnknownDeviceName), line.device.c_str(), names.c_str()));
      return 2;
    }
  }
  const DeviceRecord& record = bench.Device();
  if (action && !bench.Allows(*action)) {
    op.Note(NotAvailableText(catalog, command, record));
    return 1;
  }

  bench.board.port = profile.ComPort();
  bench.board.highSpeed = line.highSpeed;
  bench.delays = profile.Delays();
  if (line.simulator) {
    zr7sim::SimOptions options;
    options.chip = line.simulator->empty() ? std::string(record.Name) : *line.simulator;
    const int simDevice = DeviceByUserName(options.chip);
    if (simDevice >= 0) options.chip = DeviceTable()[simDevice].Name;
    sim = std::make_unique<zr7sim::BoardSimulator>(options);
    std::string error;
    if (!sim->Start(&error)) {
      op.Note(error);
      return 2;
    }
    bench.UseBoardAt(sim->SlavePath());
  } else if (!line.port.empty()) {
    const bool number = std::all_of(line.port.begin(), line.port.end(), [](unsigned char c) { return std::isdigit(c); });
    if (number) {
      bench.board.port = std::stoi(line.port.substr(0, 3));
      if (bench.board.port < 1 || bench.board.port > PortCount) {
        op.Note("--port takes 1 to 8 or a device path");
        return 2;
      }
    } else {
      bench.UseBoardAt(line.port);
    }
  }

  job = bench.Job();
  return 0;
}

void ChipSession::ExplainFailure() {
  if (!bench.port.IsConnected() && bench.port.LastOpenError() != 0)
    ExplainOpenFailure(bench.port, bench.board.port - 1, op, catalog);
}

// The action a chip command runs, for the device's rules.
ChipAction ActionOf(const ChipCommandLine& line) {
  const bool isFlash = line.memory != "eeprom";
  if (line.command == "signature") return ChipAction::ReadSignature;
  if (line.command == "erase") return ChipAction::ChipErase;
  if (line.command == "blank-check") return ChipAction::BlankCheck;
  if (line.command == "program") return isFlash ? ChipAction::ProgramFlash : ChipAction::ProgramEeprom;
  if (line.command == "read") return isFlash ? ChipAction::ReadFlash : ChipAction::ReadEeprom;
  return isFlash ? ChipAction::VerifyFlash : ChipAction::VerifyEeprom;
}

int RunChipCommand(const ChipCommandLine& line, bool progressBar) {
  ChipSession session(line);
  const std::string words = line.memory.empty() ? line.command : line.command + " " + line.memory;
  if (const int status = session.Prepare(line, progressBar, ActionOf(line), words)) return status;
  MemoryBuffer& flash = session.bench.flash;
  MemoryBuffer& eeprom = session.bench.eeprom;
  ChipResults& results = session.bench.results;
  ChipCommands& commands = session.bench.chip;
  ChipJob& job = session.job;

  const bool isFlash = line.memory != "eeprom";
  MemoryBuffer& buffer = isFlash ? flash : eeprom;

  bool ok = false;
  if (line.command == "signature") {
    ok = commands.SignatureButton(job);
  } else if (line.command == "erase") {
    commands.ChipErase(job);
    ok = results.lastOperationStatus == 0;
  } else if (line.command == "blank-check") {
    commands.BlankCheck(job);
    ok = results.lastOperationStatus == 0;
  } else if (line.command == "program") {
    if (!LoadFile(buffer, line.file)) return 1;
    ShowBufferStatus(buffer);
    isFlash ? commands.ProgramFlash(job) : commands.ProgramEeprom(job);
    ok = results.lastOperationStatus == 0;
  } else if (line.command == "verify") {
    if (!LoadFile(buffer, line.file)) return 1;
    ShowBufferStatus(buffer);
    isFlash ? commands.VerifyFlash(job) : commands.VerifyEeprom(job);
    ok = results.lastOperationStatus == 0 && (isFlash ? results.flashVerified : results.eepromVerified);
  } else if (line.command == "read") {
    ok = isFlash ? commands.ReadFlash(job) : commands.ReadEeprom(job);
    if (ok) {
      buffer.SetFileName(line.file);
      ok = WriteFile(buffer, line.file);
    }
  } else {
    return 2;
  }
  if (!ok) session.ExplainFailure();
  return ok ? 0 : 1;
}

}  // namespace zr7cli
