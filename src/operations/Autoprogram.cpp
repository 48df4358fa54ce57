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

constexpr int kAutoprogramRunning = 1121;
constexpr int kEraseFailed = 1122;
constexpr int kFlashNotEmpty = 1123;
constexpr int kCheckFailed = 1124;
constexpr int kFlashReloadFailed = 1125;
constexpr int kFlashProgramFailed = 1126;
constexpr int kFlashVerifyFailed = 1127;
constexpr int kEepromReloadFailed = 1128;
constexpr int kEepromProgramFailed = 1129;
constexpr int kEepromVerifyFailed = 1130;
constexpr int kLockBits = 1131;
constexpr int kLockBitsError = 1132;
constexpr int kNoActions = 1133;
constexpr int kDoneNothing = 1063;
constexpr int kDoneFlash = 1064;
constexpr int kDoneEeprom = 1065;
constexpr int kDoneBoth = 1066;
constexpr int kVerificationFailed = 1067;
constexpr int kPausing = 1180;

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
  Op().SetStatus(Catalog().GetText(kPausing));
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
    if (!Good()) return Fail(isFlash ? kFlashReloadFailed : kEepromReloadFailed);
    Settle();
  }
  if (isFlash ? s.autoFlashProgram : s.autoEepromProgram) {
    Pause();
    anyAction_ = true;
    if (isFlash)
      chip_.ProgramFlash(job);
    else
      chip_.ProgramEeprom(job);
    if (!Good()) return Fail(isFlash ? kFlashProgramFailed : kEepromProgramFailed);
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
    if (!Good() || !verified) return Fail(isFlash ? kFlashVerifyFailed : kEepromVerifyFailed);
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
  Op().SetStatus(Catalog().GetText(kAutoprogramRunning));

  if (unattended) {
    const NamedImages named = named_ ? *named_ : ImagesNamedBy(project_);
    if (ImageMissing(true, named)) return Fail(kFlashReloadFailed);
    if (ImageMissing(false, named)) return Fail(kEepromReloadFailed);
  }

  if (s.autoErase) {
    anyAction_ = true;
    Pause();
    chip_.ChipErase(job);
    if (!Good()) return Fail(kEraseFailed);
    Settle();
  }
  if (s.autoEmptyCheck) {
    Pause();
    chip_.BlankCheck(job);
    if (results.lastOperationStatus == 1) return Fail(kFlashNotEmpty);
    if (!Good()) return Fail(kCheckFailed);
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
    Op().SetStatus(Catalog().GetText(kLockBits));
    bool programmed = false;
    {
      WaitCursor wait(Op());
      programmed = lockFuse_.Program(job, job.connect.deviceNumber, s.lockFuse, s.programFuse);
    }
    if (!programmed) {
      ShowInfo(Op(), Catalog(), Catalog().GetText(kLockBitsError));
      // A chip left unlocked must not pass as done.
      return Fail(msg::AutoprogramLockFuseFailed);
    }
    Settle();
  }

  if (!anyAction_) return Fail(kNoActions);
  if (!results.flashVerified || !results.eepromVerified) return Fail(kVerificationFailed);
  std::string text;
  if (flashBytes == 0 && eepromBytes == 0)
    text = Catalog().GetText(kDoneNothing);
  else if (flashBytes == 0)
    text = FormatText(Catalog().GetText(kDoneEeprom), static_cast<int>(eepromBytes));
  else if (eepromBytes == 0)
    text = FormatText(Catalog().GetText(kDoneFlash), static_cast<int>(flashBytes));
  else
    text = FormatText(Catalog().GetText(kDoneBoth), static_cast<int>(flashBytes), static_cast<int>(eepromBytes));
  Op().SetStatus(text);
  results.lastOperationStatus = 0;
  outcome.AutoprogramSucceeded = true;
  return true;
}

}  // namespace zr7
