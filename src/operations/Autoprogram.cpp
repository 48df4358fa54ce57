#include "operations/Autoprogram.h"

#include "text/MessageCatalog.h"
#include "operator/OperatorInterface.h"
#include "buffers/BufferCommands.h"
#include "buffers/MemoryBuffer.h"
#include "devices/DeviceTable.h"
#include "link/Clock.h"
#include "lockfuse/LockFuseCommands.h"
#include "lockfuse/LockFuseRules.h"
#include "operations/ActionRefusal.h"
#include "operations/ChipCommands.h"
#include "project/Profile.h"
#include "project/Project.h"

namespace zr7 {

namespace {

constexpr int kSettleMs = 50;

bool Named(const std::string& name) { return !name.empty() && name != Unspecified; }

}  // namespace

NamedImages ImagesNamedBy(const Project& project) {
  NamedImages named;
  if (!project.HasPath()) return named;
  IniDocument doc;
  if (doc.ReadFile(project.path()) != IniDocument::ReadResult::Read) return named;
  named.flash = doc.Text("Files", "Flash", "");
  named.eeprom = doc.Text("Files", "Eeprom", "");
  return named;
}

Autoprogram::Autoprogram(ChipCommands& chip, MemoryBuffer& flash, MemoryBuffer& eeprom, Project& project,
                         LockFuseCommands& lockFuse, Clock& clock)
    : chip_(chip), flash_(flash), eeprom_(eeprom), project_(project), lockFuse_(lockFuse), clock_(clock) {}

OperatorInterface& Autoprogram::Op() const { return *flash_.Operator(); }
const MessageCatalog& Autoprogram::Catalog() const { return *flash_.Catalog(); }

bool Autoprogram::Fail(int id) { return Fail(std::string(Catalog().GetText(id))); }

bool Autoprogram::Fail(const std::string& text) {
  // Whatever a step left (a blank check's 1, a signature answer), a failed run reads as -1.
  chip_.Results().lastOperationStatus = -1;
  Op().SetStatus(text);
  return false;
}

void Autoprogram::Pause() {
  Op().SetStatus(Catalog().GetText(msg::AutoprogramPausing));
  clock_.SleepMs(project_.settings().resetStrobeLength);
}

void Autoprogram::Settle() { clock_.SleepMs(kSettleMs); }

bool Autoprogram::Good() const { return chip_.Results().lastOperationStatus == 0; }

bool Autoprogram::ImageMissing(bool isFlash, const NamedImages& named) const {
  const ProjectSettings& s = project_.settings();
  const bool used = isFlash ? (s.autoFlashReload || s.autoFlashProgram || s.autoFlashVerify)
                            : (s.autoEepromReload || s.autoEepromProgram || s.autoEepromVerify);
  const MemoryBuffer& buffer = isFlash ? flash_ : eeprom_;
  return used && Named(isFlash ? named.flash : named.eeprom) && buffer.empty();
}

bool Autoprogram::MemorySteps(ChipJob& job, bool isFlash, std::int32_t& bytes) {
  const ProjectSettings& s = project_.settings();
  MemoryBuffer& buffer = isFlash ? flash_ : eeprom_;
  ChipResults& results = chip_.Results();
  bool& increment = isFlash ? job.transfer.autoIncrementFlash : job.transfer.autoIncrementEeprom;
  const std::int32_t address = isFlash ? job.transfer.autoIncAddressFlash : job.transfer.autoIncAddressEeprom;
  // Program would count by itself; the number must only advance once the chip is verified.
  const bool incrementWanted = increment;
  increment = false;
  struct Restore {
    bool& flag;
    bool value;
    ~Restore() { flag = value; }
  } restore{increment, incrementWanted};

  if (isFlash ? s.autoFlashReload : s.autoEepromReload) {
    std::int32_t status = -1;
    ReloadCommand(buffer, status);
    results.lastOperationStatus = status;
    if (!Good()) return Fail(isFlash ? msg::AutoprogramFlashReloadFailed : msg::AutoprogramEepromReloadFailed);
    Settle();
  }
  if (isFlash ? s.autoFlashProgram : s.autoEepromProgram) {
    Pause();
    anyAction_ = true;
    if (isFlash)
      chip_.ProgramFlash(job);
    else
      chip_.ProgramEeprom(job);
    if (!Good()) return Fail(isFlash ? msg::AutoprogramFlashProgramFailed : msg::AutoprogramEepromProgramFailed);
    // What reached the chip: an image larger than the chip is cut to its size.
    bytes = results.bytesProgrammed;
    Settle();
  }
  if (isFlash ? s.autoFlashVerify : s.autoEepromVerify) {
    anyAction_ = true;
    Pause();
    if (isFlash)
      chip_.VerifyFlash(job);
    else
      chip_.VerifyEeprom(job);
    const bool verified = isFlash ? results.flashVerified : results.eepromVerified;
    if (!Good() || !verified)
      return Fail(isFlash ? msg::AutoprogramFlashVerifyFailed : msg::AutoprogramEepromVerifyFailed);
    Settle();
  }
  if (incrementWanted) {
    ChipCommands::AutoIncrement(buffer, true, address, false);
    buffer.Changed();
  }
  return true;
}

bool Autoprogram::Run(ChipJob& job, bool unattended, AutoprogramOutcome& outcome) {
  outcome.AutoprogramSucceeded = false;
  anyAction_ = false;
  std::int32_t flashBytes = 0;
  std::int32_t eepromBytes = 0;
  ChipResults& results = chip_.Results();
  const ProjectSettings& s = project_.settings();

  results.flashVerified = true;
  results.eepromVerified = true;
  const DeviceRecord* device = DeviceAt(job.connect.deviceNumber);
  if (!device || !ActionAllowed(*device, ChipAction::Autoprogram)) {
    results.lastOperationStatus = -1;
    if (device)
      Op().SetStatus(NotAvailableText(Catalog(), ActionLabel(Catalog(), ChipAction::Autoprogram), *device));
    return false;
  }
  if (job.boardPort == 0) {
    Op().SetStatus(Catalog().GetText(msg::SelectComPort));
    ShowInfo(Op(), Catalog(), Catalog().GetText(msg::NoBoardSpecified));
    results.lastOperationStatus = -1;
    return false;
  }
  Op().SetStatus(Catalog().GetText(msg::AutoprogramRunning));

  if (unattended) {
    const NamedImages named = named_ ? *named_ : ImagesNamedBy(project_);
    if (ImageMissing(true, named)) return Fail(msg::AutoprogramFlashReloadFailed);
    if (ImageMissing(false, named)) return Fail(msg::AutoprogramEepromReloadFailed);
  }

  if (s.autoErase) {
    anyAction_ = true;
    Pause();
    chip_.ChipErase(job);
    if (!Good()) return Fail(msg::AutoprogramEraseFailed);
    Settle();
  }
  if (s.autoEmptyCheck) {
    Pause();
    chip_.BlankCheck(job);
    if (results.lastOperationStatus == 1) return Fail(msg::AutoprogramFlashNotEmpty);
    if (!Good()) return Fail(msg::AutoprogramCheckFailed);
    Settle();
  }
  if (!flash_.empty() && !MemorySteps(job, true, flashBytes)) return false;
  if (!eeprom_.empty() && !MemorySteps(job, false, eepromBytes)) return false;

  if (s.programFuse) {
    // The erase may have named another chip by its signature: settings made for one layout
    // would set other bits, perhaps ending serial programming, on a chip of another.
    if (!SameLockFuseLayout(s.lockFuseDeviceNo, job.connect.deviceNumber)) {
      const DeviceRecord* madeFor = DeviceAt(s.lockFuseDeviceNo);
      const DeviceRecord* chip = DeviceAt(job.connect.deviceNumber);
      const std::string text = FormatText(Catalog().GetText(msg::AutoprogramLockFuseOtherLayout),
                                          madeFor ? std::string(madeFor->Name).c_str() : "?",
                                          chip ? std::string(chip->Name).c_str() : "?");
      ShowInfo(Op(), Catalog(), text);
      return Fail(text);
    }
    Op().SetStatus(Catalog().GetText(msg::AutoprogramLockBits));
    bool programmed = false;
    {
      WaitCursor wait(Op());
      programmed = lockFuse_.Program(job, job.connect.deviceNumber, s.lockFuse, s.programFuse);
    }
    if (!programmed) {
      ShowInfo(Op(), Catalog(), Catalog().GetText(msg::AutoprogramLockBitsError));
      // A chip left unlocked must not pass as done.
      return Fail(msg::AutoprogramLockFuseFailed);
    }
    Settle();
  }

  if (!anyAction_) return Fail(msg::AutoprogramNoActions);
  if (!results.flashVerified || !results.eepromVerified) return Fail(msg::AutoprogramVerificationFailed);
  std::string text;
  if (flashBytes == 0 && eepromBytes == 0)
    text = Catalog().GetText(msg::AutoprogramDoneNothing);
  else if (flashBytes == 0)
    text = FormatText(Catalog().GetText(msg::AutoprogramDoneEeprom), static_cast<int>(eepromBytes));
  else if (eepromBytes == 0)
    text = FormatText(Catalog().GetText(msg::AutoprogramDoneFlash), static_cast<int>(flashBytes));
  else
    text = FormatText(Catalog().GetText(msg::AutoprogramDoneBoth), static_cast<int>(flashBytes),
                      static_cast<int>(eepromBytes));
  Op().SetStatus(text);
  results.lastOperationStatus = 0;
  outcome.AutoprogramSucceeded = true;
  return true;
}

}  // namespace zr7
