#include "operations/ChipCommands.h"

#include <algorithm>
#include <string>

#include "text/MessageCatalog.h"
#include "operator/OperatorInterface.h"
#include "buffers/MemoryBuffer.h"
#include "devices/DeviceTable.h"
#include "link/BoardLink.h"
#include "link/ChipWire.h"
#include "operations/ActionRefusal.h"
#include "text/MessageIds.h"
#include "operations/TransferOperations.h"

namespace zr7 {

namespace {

constexpr std::array<std::uint8_t, 3> kLockedSignature = {0x00, 0x01, 0x02};
constexpr int kEraseSettleMs = 10;
constexpr int kEraseAfterMs = 15;
constexpr int kTinyEraseGapMs = 7;
constexpr int kSignatureAfterEraseMs = 85;
constexpr int kIncrementBytes = 4;

bool ThreeByteClass(const DeviceRecord& d) {
  return d.ProgrammingClass == ClassAt89S3Byte || d.ProgrammingClass == ClassAt89S53;
}

}  // namespace

ChipCommands::ChipCommands(BoardLink& link, MemoryBuffer& flash, MemoryBuffer& eeprom, ChipResults& results)
    : link_(link),
      op_(link.Operator()),
      catalog_(link.Catalog()),
      flash_(flash),
      eeprom_(eeprom),
      results_(results) {}

void ChipCommands::Status(int id) { op_.SetStatus(catalog_.GetText(id)); }
void ChipCommands::Box(int id) { ShowInfo(op_, catalog_, catalog_.GetText(id)); }

bool ChipCommands::BoardChosen(const ChipJob& job) {
  if (job.boardPort != 0) return true;
  Status(msg::SelectComPort);
  Box(msg::NoBoardSpecified);
  return false;
}

bool ChipCommands::Allowed(const ChipJob& job, ChipAction action) {
  const DeviceRecord* device = DeviceAt(job.connect.deviceNumber);
  if (device && ActionAllowed(*device, action)) return true;
  results_.lastOperationStatus = -1;
  if (device) op_.SetStatus(NotAvailableText(catalog_, ActionLabel(catalog_, action), *device));
  return false;
}

void ChipCommands::EndSessionWarn() {
  if (!link_.EndSession()) Box(msg::IncorrectDisconnection);
}

bool ChipCommands::ReadSignatureOf(const DeviceRecord& device, std::array<std::uint8_t, 3>& sig) {
  if (device.ProgrammingClass != ClassAt89S4Byte) return link_.ReadSignatureBytes(sig);
  sig = {0xFF, 0xFF, 0xFF};
  ChipWire wire(link_);
  for (std::uint8_t i = 0; i < 3; ++i) {
    const int b = wire.At89ReadSignature(i);
    if (b < 0) return false;
    sig[i] = static_cast<std::uint8_t>(b);
  }
  return true;
}

int ChipCommands::NameSignature(ChipJob& job, const std::array<std::uint8_t, 3>& sig) {
  for (int i = 0; i < 3; ++i) results_.signature[i] = sig[i];
  const int found = FindDeviceBySignature(sig[0], sig[1], sig[2]);
  if (found >= 0 && found != job.connect.deviceNumber) {
    job.connect.deviceNumber = found;
    if (view_) view_->DeviceSelected(found);
  }
  return found;
}

bool ChipCommands::ReadSignature(ChipJob& job) {
  Status(msg::ReadingSignature);
  WaitCursor wait(op_);
  if (!BoardChosen(job)) return false;
  if (!link_.Connect(job.connect, job.boardPort, false)) return false;
  std::array<std::uint8_t, 3> sig{};
  if (!ReadSignatureOf(*link_.CurrentDevice(), sig)) {
    link_.EndSession();
    return false;
  }
  EndSessionWarn();
  const int found = NameSignature(job, sig);
  std::string name;
  if (found >= 0) {
    name = DeviceAt(found)->Name;
  } else if (sig[0] == 0x1E) {
    name = catalog_.GetText(msg::UnknownAtmelDevice);
  } else if (sig == kLockedSignature) {
    Status(msg::DeviceIsLocked);
    return true;
  } else {
    name = catalog_.GetText(msg::UnknownDevice);
  }
  op_.SetStatus(FormatText(catalog_.GetText(msg::SignatureLine), sig[0], sig[1], sig[2], name.c_str()));
  return true;
}

bool ChipCommands::SignatureButton(ChipJob& job) {
  if (!Allowed(job, ChipAction::ReadSignature)) return false;
  const DeviceRecord* device = DeviceAt(job.connect.deviceNumber);
  if (!device || device->Family != DeviceFamily::At45) return ReadSignature(job);
  // The DataFlash has no signature: the connection itself reports whether the memory answers.
  WaitCursor wait(op_);
  if (!BoardChosen(job)) return false;
  if (!link_.Connect(job.connect, job.boardPort, false)) return false;
  EndSessionWarn();
  return true;
}

void ChipCommands::SignatureCheck(const ChipJob& job) {
  results_.lastOperationStatus = -1;
  std::array<std::uint8_t, 3> sig{};
  if (!link_.ReadSignatureBytes(sig)) {
    Box(msg::ErrorReadingSignatureCheck);
    return;
  }
  for (int i = 0; i < 3; ++i) results_.signature[i] = sig[i];
  if (sig == kLockedSignature) {
    results_.lastOperationStatus = 2;
    return;
  }
  results_.lastOperationStatus = FindDeviceBySignature(sig[0], sig[1], sig[2]) == job.connect.deviceNumber ? 0 : 1;
}

bool ChipCommands::SendEraseInstruction(const DeviceRecord& device) {
  ChipWire wire(link_);
  if (ThreeByteClass(device)) return wire.ThreeByteChipErase();
  if (device.Name == "ATtiny12" || device.Name == "ATtiny26") {
    // These chips need the erase twice, with 0xFF written to the low byte of word 0 in between.
    if (!wire.AvrChipErase() || !wire.Cr()) return false;
    link_.Time().SleepMs(kTinyEraseGapMs);
    if (!wire.AvrWriteLowByte(0, 0xFF)) return false;
  }
  return wire.AvrChipErase();
}

void ChipCommands::ChipErase(ChipJob& job) {
  results_.lastOperationStatus = -1;
  if (!Allowed(job, ChipAction::ChipErase)) return;
  Status(msg::ErasingDevice);
  WaitCursor wait(op_);
  if (!BoardChosen(job)) return;
  if (!link_.Connect(job.connect, job.boardPort, false)) {
    link_.EndSession();
    return;
  }
  const DeviceRecord& device = *link_.CurrentDevice();
  if (device.Family == DeviceFamily::At45) {
    EraseOperation erase(link_, device, job);
    const std::int32_t r = op_.RunProgress(erase);
    if (r == ResultSuccess) {
      Status(msg::DeviceErased);
      results_.lastOperationStatus = 0;
    } else if (erase.CancelledByUser()) {
      Status(msg::EraseTerminated);
    } else {
      Box(msg::ConnectionError);
      Status(msg::ConnectionError);
    }
    link_.EndSession();
    return;
  }
  bool ok = SendEraseInstruction(device);
  if (ok) {
    link_.Time().SleepMs(kEraseSettleMs);
    ok = link_.ExpectCr();
    link_.Time().SleepMs(kEraseAfterMs);
  }
  if (!ok) {
    link_.EndSession();
    Box(msg::ConnectionError);
    Status(msg::ConnectionError);
    return;
  }
  link_.EndSession();
  if (device.ProgrammingClass != ClassAvr) {
    // Nothing to check the erase by.
    Status(msg::DeviceErased);
    results_.lastOperationStatus = 0;
    return;
  }
  Status(msg::CheckingSignature);
  link_.Time().SleepMs(kSignatureAfterEraseMs);
  if (!link_.Connect(job.connect, job.boardPort, false)) {
    link_.EndSession();
    return;
  }
  bool locked = false;
  std::array<std::uint8_t, 3> sig{};
  if (!link_.ReadSignatureBytes(sig)) {
    Box(msg::ErrorReadingSignature);
  } else {
    EndSessionWarn();
    NameSignature(job, sig);
    locked = sig == kLockedSignature;
    if (locked) Status(msg::ChipNotErasedLocked);
  }
  results_.lastOperationStatus = locked ? -1 : 0;
  if (locked) {
    Box(msg::DeviceStillLocked);
  } else {
    Status(msg::DeviceErased);
  }
  link_.EndSession();
}

void ChipCommands::Program(const ChipJob& job, bool isFlash) {
  results_.lastOperationStatus = -1;
  if (!Allowed(job, isFlash ? ChipAction::ProgramFlash : ChipAction::ProgramEeprom)) return;
  Status(isFlash ? msg::ProgrammingFlash : msg::ProgrammingEeprom);
  MemoryBuffer& buffer = isFlash ? flash_ : eeprom_;
  if (buffer.empty()) {
    // Writing nothing is no success: a job whose image came out empty must not pass.
    op_.SetStatus(FormatText(catalog_.GetText(msg::ImageEmptyNotProgrammed), isFlash ? "Flash" : "Eeprom"));
    return;
  }
  WaitCursor wait(op_);
  if (!BoardChosen(job)) return;
  if (!link_.Connect(job.connect, job.boardPort, job.highSpeed)) {
    link_.EndSession();
    return;
  }
  const DeviceRecord& device = *link_.CurrentDevice();

  if (isFlash && device.Family != DeviceFamily::At45 && job.transfer.checkSign) {
    SignatureCheck(job);
    const std::int32_t check = results_.lastOperationStatus;
    auto refuse = [&] {
      results_.lastOperationStatus = -1;
      link_.EndSession();
      Status(msg::ProgrammingCancelled);
    };
    if (check == -1) {
      Status(msg::ConnectionErrorVerifyingSignature);
      Box(msg::ConnectionErrorVerifyingSignature);
      link_.EndSession();
      return;
    }
    if (check == 1 && device.ProgrammingClass == ClassAvr) {
      const BoxAnswer a = op_.ShowBox({catalog_.GetText(msg::ProductTitle), catalog_.GetText(msg::SignatureMismatchProgram),
                                       BoxIcon::Question, BoxButtons::YesNo});
      if (a != BoxAnswer::Yes) return refuse();
    }
    if (check == 2) {
      const BoxAnswer a = op_.ShowBox({catalog_.GetText(msg::ProductTitle), catalog_.GetText(msg::DeviceLockedEraseNow),
                                       BoxIcon::Question, BoxButtons::YesNo, BoxAnswer::No});
      if (a != BoxAnswer::Yes) return refuse();
      ChipWire wire(link_);
      const bool erased = device.ProgrammingClass == ClassAvr ? wire.AvrChipErase() : wire.ThreeByteChipErase();
      if (!erased || !wire.Cr()) {
        link_.EndSession();
        Box(msg::ConnectionError);
        Status(msg::ConnectionError);
        return;
      }
    }
    // The check's answer was acted on; from here the command itself is running.
    results_.lastOperationStatus = -1;
  }

  ProgramOperation program(link_, device, job, buffer, isFlash);
  buffer.SetBusy(true);
  const std::int32_t r = op_.RunProgress(program);
  buffer.SetBusy(false);

  if (r == ResultSuccess) {
    op_.SetStatus(FormatText(catalog_.GetText(isFlash ? msg::FlashProgramDone : msg::EepromProgramDone),
                             static_cast<int>(program.length)));
    results_.bytesProgrammed = static_cast<std::int32_t>(program.length);
    results_.lastOperationStatus = 0;
  } else if (program.CancelledByUser()) {
    Status(isFlash ? msg::ProgrammingCancelled : msg::EepromProgramCancelled);
  } else if (r == ResultPollingFailure) {
    Box(msg::PollingError);
    Status(msg::PollingError);
  } else if (isFlash) {
    Box(msg::ErrorProgrammingFlash);
    Status(msg::FlashProgramError);
  } else {
    Box(msg::ErrorProgrammingEeprom);
    Status(msg::ErrorProgrammingEeprom);
  }
  EndSessionWarn();
  if (isFlash)
    AutoIncrement(buffer, job.transfer.autoIncrementFlash, job.transfer.autoIncAddressFlash);
  else
    AutoIncrement(buffer, job.transfer.autoIncrementEeprom, job.transfer.autoIncAddressEeprom);
}

void ChipCommands::AutoIncrement(MemoryBuffer& buffer, bool enabled, std::int32_t address, bool needsFile) {
  if (!enabled || (needsFile && !buffer.HasFileName()) || buffer.empty()) return;
  auto& data = buffer.data();
  auto& states = buffer.states();
  const std::int64_t used = data.size();
  // An address outside the image counts at its last byte.
  const std::int64_t last = (address < 0 || address >= used) ? used - 1 : address;
  std::int64_t first = last;
  for (std::int64_t pos = last; pos > last - kIncrementBytes && pos >= 0; --pos) {
    const auto at = static_cast<std::size_t>(pos);
    first = pos;
    data[at] = static_cast<std::uint8_t>(data[at] + 1);
    if (at < states.size()) states[at] = StateChanged;
    if (data[at] != 0) break;
  }
  buffer.MarkModified();
  buffer.Changed(static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(last - first + 1));
}

bool ChipCommands::Read(const ChipJob& job, bool isFlash) {
  Status(isFlash ? msg::ReadingFlash : msg::ReadingEeprom);
  const DeviceRecord* device = DeviceAt(job.connect.deviceNumber);
  if (!device) return false;
  if (!isFlash && device->EepromSize == 0) {
    Status(msg::NoEepromOnChip);
    return false;
  }
  if (!Allowed(job, isFlash ? ChipAction::ReadFlash : ChipAction::ReadEeprom)) return false;
  WaitCursor wait(op_);
  if (!BoardChosen(job)) return false;
  MemoryBuffer& buffer = isFlash ? flash_ : eeprom_;
  buffer.Allocate(isFlash ? device->FlashSize : device->EepromSize);
  auto lengthLine = [&] {
    op_.SetStatus(FormatText(catalog_.GetText(isFlash ? msg::FlashLength : msg::EepromLength),
                             static_cast<int>(buffer.size()), static_cast<unsigned>(buffer.size()),
                             static_cast<unsigned>(buffer.Checksum())));
  };
  if (!link_.Connect(job.connect, job.boardPort, job.highSpeed)) {
    link_.EndSession();
    return false;
  }
  ReadOperation read(link_, *link_.CurrentDevice(), job, buffer, isFlash);
  buffer.SetBusy(true);
  const std::int32_t r = op_.RunProgress(read);
  buffer.SetBusy(false);
  if (r == ResultSuccess) {
    Status(isFlash ? msg::FlashReadOk : msg::EepromReadOk);
  } else if (read.CancelledByUser()) {
    Status(isFlash ? msg::FlashReadCancelled : msg::EepromReadCancelled);
  } else if (isFlash) {
    Box(msg::ErrorReadingFlash);
    Status(msg::FlashReadError);
  } else {
    Box(msg::ErrorReadingEeprom);
    Status(msg::ErrorReadingEeprom);
  }
  EndSessionWarn();
  if (read.CancelledByUser() && r != ResultSuccess) {
    // The length line would describe a whole memory; the bytes not read keep their state 5.
    const auto& states = buffer.states();
    const auto got = std::count(states.begin(), states.end(), std::uint8_t{StateRead});
    op_.SetStatus(FormatText(catalog_.GetText(isFlash ? msg::FlashReadCancelledAfter : msg::EepromReadCancelledAfter),
                             static_cast<int>(got), static_cast<int>(buffer.size())));
  } else {
    lengthLine();
  }
  return r == ResultSuccess;
}

void ChipCommands::Verify(const ChipJob& job, bool isFlash) {
  (isFlash ? results_.flashVerified : results_.eepromVerified) = false;
  results_.lastOperationStatus = -1;
  Status(isFlash ? msg::VerifyingFlash : msg::VerifyingEepromStatus);
  MemoryBuffer& buffer = isFlash ? flash_ : eeprom_;
  if (buffer.size() < 1) {
    Status(isFlash ? msg::NoFlashFile : msg::NoEepromFile);
    return;
  }
  const DeviceRecord* device = DeviceAt(job.connect.deviceNumber);
  if (!device) return;
  if (!isFlash && device->EepromSize == 0) {
    Status(msg::NoEepromOnChipVerify);
    return;
  }
  if (!Allowed(job, isFlash ? ChipAction::VerifyFlash : ChipAction::VerifyEeprom)) return;
  WaitCursor wait(op_);
  if (!BoardChosen(job)) return;
  if (!link_.Connect(job.connect, job.boardPort, job.highSpeed)) {
    link_.EndSession();
    return;
  }
  VerifyOperation verify(link_, *link_.CurrentDevice(), job, buffer, isFlash, results_);
  results_.firstMismatchAddress = -1;
  buffer.SetBusy(true);
  const std::int32_t r = op_.RunProgress(verify);
  buffer.SetBusy(false);
  if (r == ResultSuccess && verify.matched) {
    op_.SetStatus(FormatText(catalog_.GetText(isFlash ? msg::FlashVerifyOk : msg::EepromVerifyOk),
                             static_cast<int>(verify.length)));
    (isFlash ? results_.flashVerified : results_.eepromVerified) = true;
    results_.lastOperationStatus = 0;
  } else if (r == ResultSuccess) {
    const int at = results_.firstMismatchAddress;
    op_.SetStatus(FormatText(catalog_.GetText(isFlash ? msg::FlashVerifyError : msg::EepromVerifyError), at,
                             static_cast<unsigned>(at)));
  } else if (verify.CancelledByUser()) {
    Status(isFlash ? msg::FlashVerifyCancelled : msg::EepromVerifyCancelled);
  } else {
    const int id = isFlash ? msg::ConnectionErrorVerifyingFlash : msg::ConnectionErrorVerifyingEeprom;
    Box(id);
    Status(id);
  }
  EndSessionWarn();
}

void ChipCommands::BlankCheck(const ChipJob& job) {
  results_.lastOperationStatus = -1;
  if (!Allowed(job, ChipAction::BlankCheck)) return;
  Status(msg::CheckingDevice);
  WaitCursor wait(op_);
  if (!BoardChosen(job)) return;
  if (!link_.Connect(job.connect, job.boardPort, job.highSpeed)) {
    link_.EndSession();
    return;
  }
  BlankCheckOperation check(link_, *link_.CurrentDevice(), job);
  const std::int32_t r = op_.RunProgress(check);
  if (r == ResultPollingFailure) {
    results_.lastOperationStatus = 1;
    Status(msg::BlankNotEmpty);
  } else if (r == ResultSuccess) {
    results_.lastOperationStatus = 0;
    Status(msg::BlankOk);
  } else {
    results_.lastOperationStatus = -1;
    if (check.CancelledByUser()) {
      Status(msg::BlankCancelled);
    } else {
      Box(msg::ErrorCheckingFlash);
      Status(msg::BlankError);
    }
  }
  EndSessionWarn();
}

}  // namespace zr7
