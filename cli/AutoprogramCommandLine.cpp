#include "AutoprogramCommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>

#include "ChipCommandLine.h"
#include "StopSignals.h"
#include "text/MessageCatalog.h"
#include "buffers/BufferCommands.h"
#include "buffers/ImageFiles.h"
#include "devices/DeviceTable.h"
#include "link/Clock.h"
#include "lockfuse/LockFuseCommands.h"
#include "lockfuse/LockFuseLayout.h"
#include "lockfuse/LockFuseRules.h"
#include "operations/Autoprogram.h"
#include "operations/ChipCommands.h"

namespace zr7cli {

using namespace zr7;

namespace {

constexpr int kIncrementBytes = 4;

// The counter as it now stands in the image: up to four bytes ending at the address (the last
// byte for an address outside the image), in hex as they lie in memory.
std::string SerialText(const MemoryBuffer& buffer, std::int32_t address) {
  const auto& data = buffer.data();
  if (data.empty()) return "";
  const std::int64_t used = static_cast<std::int64_t>(data.size());
  const std::int64_t end = (address < 0 || address >= used) ? used - 1 : address;
  const std::int64_t begin = std::max<std::int64_t>(0, end - (kIncrementBytes - 1));
  std::string text;
  char digits[3];
  for (std::int64_t i = begin; i <= end; ++i) {
    std::snprintf(digits, sizeof digits, "%02X", data[static_cast<std::size_t>(i)]);
    text += digits;
  }
  return text;
}

// The lock and fuse step's guard, before any chip step: settings made for another chip's
// layout, or settings the fuses command would call dangerous, are not sent on their own.
bool LockFuseAllowed(ChipSession& s, const AutoprogramCommandLine& line) {
  const ProjectSettings& settings = s.bench.project.settings();
  if (!settings.programFuse) return true;
  const DeviceRecord& device = *DeviceAt(s.bench.device);
  if (!SameLockFuseLayout(settings.lockFuseDeviceNo, s.bench.device)) {
    const DeviceRecord* own = DeviceAt(settings.lockFuseDeviceNo);
    s.op.Note(FormatText(s.catalog.GetText(msg::FusesProjectLayoutDiffers), s.bench.project.path().c_str(),
                         own ? std::string(own->Name).c_str() : "?", std::string(device.Name).c_str()));
    return false;
  }
  if (!HasLockFuseBits(device)) return true;  // the step itself refuses, with its message
  const LockFuseLayout& layout = LayoutOf(device);
  const FuseCheck check = CheckFuses(layout, settings.lockFuse, true);
  if (check.Any() && !line.allowUnsafe) {
    s.op.Note(FuseWarningText(s.catalog, layout, check, false));
    s.op.Note(s.catalog.GetText(msg::FusesUnsafeRefused));
    return false;
  }
  return true;
}

// Before any chip step: a serial number that could not be saved afterwards would be
// programmed into the next chip again, so an image file that cannot take it stops the run.
bool SerialSavable(ChipSession& s) {
  for (const bool isFlash : {true, false}) {
    const MemoryBuffer& buffer = isFlash ? s.bench.flash : s.bench.eeprom;
    const bool counted = isFlash ? s.job.transfer.autoIncrementFlash : s.job.transfer.autoIncrementEeprom;
    if (!counted || buffer.empty() || !buffer.HasFileName()) continue;
    const std::int32_t address = isFlash ? s.job.transfer.autoIncAddressFlash : s.job.transfer.autoIncAddressEeprom;
    bool hex = false;
    const std::string problem = SerialSaveProblem(s.catalog, buffer.fileName(), buffer.data(), address, hex);
    if (!problem.empty()) {
      s.op.Note(FormatText(s.catalog.GetText(msg::SerialNotSavableChipUntouched), buffer.fileName().c_str(),
                           problem.c_str()));
      return false;
    }
  }
  return true;
}

}  // namespace

void AddAutoprogramCommand(CLI::App& app, AutoprogramCommandLine& line) {
  CLI::App* c = app.add_subcommand(
      "autoprogram", "Run the project's autoprogram recipe on the chip (needs --project; exit 0 only on success)");
  c->add_flag("--save-serial", line.saveSerial,
              "After a good run, write the advanced serial number back into its image file");
  c->add_flag("--allow-unsafe-fuses", line.allowUnsafe,
              "Program lock/fuse settings that can end serial programming of the chip");
  c->callback([&line] { line.chosen = true; });
}

int RunAutoprogramCommand(const ChipCommandLine& common, const AutoprogramCommandLine& line, bool progressBar) {
  ChipSession session(common);
  if (common.project.empty()) {
    session.op.Note(session.catalog.GetText(msg::AutoprogramNeedsProject));
    return 2;
  }
  ConsoleOperator& op = session.op;
  const MessageCatalog& catalog = session.catalog;
  // A station's script reads the last line: every run that was not a usage error ends with it.
  auto finish = [&](bool ok) {
    op.SetStatus(catalog.GetText(ok ? msg::AutoprogramOk : msg::AutoprogramError));
    return ok ? 0 : 1;
  };
  if (const int status = session.Prepare(common, progressBar, ChipAction::Autoprogram, "autoprogram"))
    return status == 1 ? finish(false) : status;
  if (!LockFuseAllowed(session, line)) return finish(false);
  if (line.saveSerial && !SerialSavable(session)) return finish(false);

  StopAwareClock pauses;  // Ctrl+C ends the pauses between steps too
  AutoprogramOutcome outcome;
  session.bench.RunAutoprogram(true, outcome, pauses);
  if (!outcome.AutoprogramSucceeded) {
    session.ExplainFailure();
    return finish(false);
  }

  // An unattended run lives for one chip: unless the number goes back into its file, the next
  // run programs the same one, so say which number comes next and where it lives.
  const ChipJob& job = session.job;
  bool saved = true;
  for (const bool isFlash : {true, false}) {
    MemoryBuffer& buffer = isFlash ? session.bench.flash : session.bench.eeprom;
    const bool counted = isFlash ? job.transfer.autoIncrementFlash : job.transfer.autoIncrementEeprom;
    if (!counted || !buffer.modified()) continue;
    const std::int32_t address = isFlash ? job.transfer.autoIncAddressFlash : job.transfer.autoIncAddressEeprom;
    const std::string serial = SerialText(buffer, address);
    const std::string file = buffer.HasFileName() ? buffer.fileName() : std::string(Unspecified);
    if (!line.saveSerial) {
      op.Note(FormatText(catalog.GetText(msg::AutoprogramNextSerial), serial.c_str(), isFlash ? "Flash" : "Eeprom",
                         file.c_str()));
      continue;
    }
    // Only the number may change in the file: the file is read back and compared first.
    bool hex = false;
    const std::string problem =
        buffer.HasFileName() ? SerialSaveProblem(catalog, file, buffer.data(), address, hex) : std::string();
    if (buffer.HasFileName() && problem.empty() && WriteImageFileAs(op, catalog, buffer.data(), file, hex)) {
      op.SetStatus(FormatText(catalog.GetText(msg::AutoprogramSerialSaved), serial.c_str(), file.c_str()));
      continue;
    }
    if (!problem.empty()) op.Note(FormatText(catalog.GetText(msg::SerialNotSaved), file.c_str(), problem.c_str()));
    op.Note(FormatText(catalog.GetText(msg::AutoprogramSerialNotSaved), file.c_str()));
    saved = false;
  }
  return finish(saved);
}

}  // namespace zr7cli
