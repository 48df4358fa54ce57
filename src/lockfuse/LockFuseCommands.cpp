#include "lockfuse/LockFuseCommands.h"

#include <algorithm>
#include <array>
#include <string>

#include "text/MessageCatalog.h"
#include "operator/OperatorInterface.h"
#include "devices/DeviceTable.h"
#include "link/BoardLink.h"
#include "link/ChipWire.h"
#include "lockfuse/LockFuseLayout.h"
#include "text/MessageIds.h"

namespace zr7 {

namespace {

// What the chips need after a lock write before the next instruction.
constexpr int kAt89S4ByteLockMs = 250;
constexpr int kThreeByteLockMs = 150;
constexpr int kAvrLockMs = 40;

// The chip convention: a programmed bit is 0, an unprogrammed one 1.
void Put(Instruction4& instruction, BitPosition at, bool programmed) {
  if (!at.Valid()) return;
  auto& byte = instruction[static_cast<std::size_t>(at.byte)];
  const auto mask = static_cast<std::uint8_t>(1u << at.bit);
  byte = programmed ? static_cast<std::uint8_t>(byte & ~mask) : static_cast<std::uint8_t>(byte | mask);
}

// Bit `bit` of a reply is 0 (programmed); a bit the reply does not hold counts as unprogrammed.
bool ProgrammedIn(int reply, std::int32_t bit) { return bit >= 0 && bit <= 7 && (reply >> bit & 1) == 0; }

}  // namespace

LockFuseCommands::LockFuseCommands(BoardLink& link)
    : link_(link), op_(link.Operator()), catalog_(link.Catalog()) {}

void LockFuseCommands::Status(int id) { op_.SetStatus(catalog_.GetText(id)); }
void LockFuseCommands::Box(int id) { ShowInfo(op_, catalog_, catalog_.GetText(id)); }

void LockFuseCommands::EndSessionWarn() {
  if (!link_.EndSession()) Box(msg::IncorrectDisconnection);
}

const DeviceRecord* LockFuseCommands::Usable(const ChipJob& job, int deviceNumber) {
  if (job.boardPort == 0) {
    Status(msg::SelectComPort);
    Box(msg::NoBoardSpecified);
    return nullptr;
  }
  const DeviceRecord* device = DeviceAt(deviceNumber);
  if (!device) {
    Status(msg::ConnectionError);
    Box(msg::ConnectionError);
    return nullptr;
  }
  if (!HasLockFuseBits(*device)) {
    // Their rows share an AVR layout; an AVR lock instruction would be "acknowledged" by the
    // board and mean nothing to the memory.
    Status(msg::NoLockFuseBits);
    Box(msg::NoLockFuseBits);
    return nullptr;
  }
  return device;
}

bool LockFuseCommands::ConnectTo(const ChipJob& job, int deviceNumber) {
  ConnectOptions options = job.connect;
  options.deviceNumber = deviceNumber;
  // Lock and fuse exchanges are a few bytes: always at 19200 baud.
  return link_.Connect(options, job.boardPort, false);
}

LockFuseCommands::Signature LockFuseCommands::CheckSignature(int deviceNumber) {
  std::array<std::uint8_t, 3> sig{};
  if (!link_.ReadSignatureBytes(sig)) return Signature::Unread;
  if (FindDeviceBySignature(sig[0], sig[1], sig[2]) == deviceNumber) return Signature::Matches;
  const BoxAnswer answer = op_.ShowBox({catalog_.GetText(msg::ProductTitle), catalog_.GetText(msg::SignatureMismatchContinue),
                                        BoxIcon::Question, BoxButtons::YesNo});
  return answer == BoxAnswer::Yes ? Signature::GoOn : Signature::Refused;
}

bool LockFuseCommands::ReadByte(const Instruction3& instruction, int& value) {
  value = ChipWire(link_).SpiRead4(instruction[0], instruction[1], instruction[2]);
  return value >= 0;
}

bool LockFuseCommands::Read(const ChipJob& job, int deviceNumber, LockFuseState& state) {
  state = {};
  WaitCursor wait(op_);
  const DeviceRecord* device = Usable(job, deviceNumber);
  if (!device) return false;
  const LockFuseLayout& layout = LayoutOf(*device);

  if (!layout.lockReadPresent) {
    // Nothing to read; an AVR still shows whether the selected chip is the one connected.
    if (device->ProgrammingClass == ClassAvr) {
      Status(msg::VerifyingSignature);
      if (!ConnectTo(job, deviceNumber)) return false;
      const Signature sig = CheckSignature(deviceNumber);
      if (sig == Signature::Unread) {
        link_.EndSession();
        Box(msg::ConnectionError);
        return false;
      }
      if (sig == Signature::Refused) {
        link_.EndSession();
        Status(msg::OperationCancelled);
        return false;
      }
      EndSessionWarn();
    }
    Box(msg::NoLockFuseRead);
    return true;
  }

  if (!ConnectTo(job, deviceNumber)) return false;
  if (device->ProgrammingClass != ClassAt89S4Byte) {
    const Signature sig = CheckSignature(deviceNumber);
    if (sig == Signature::Unread) {
      link_.EndSession();
      Box(msg::ConnectionErrorReadingSignature);
      return false;
    }
    if (sig == Signature::Refused) {
      link_.EndSession();
      Status(msg::OperationCancelled);
      return false;
    }
  }
  LockFuseState read;
  read.readable = true;
  if (!ReadChipBits(*device, layout, read)) {
    link_.EndSession();
    Box(msg::ConnectionError);
    return false;
  }
  EndSessionWarn();
  state = read;
  return true;
}

bool LockFuseCommands::ReadChipBits(const DeviceRecord& device, const LockFuseLayout& layout, LockFuseState& state) {
  int lock = 0;
  if (!ReadByte(layout.lockRead, lock)) return false;

  if (device.ProgrammingClass == ClassAt89S4Byte) {
    // This reply has 1 for a programmed lock bit. LB2 is only programmed on top of LB1 and LB3
    // on top of both, so the highest one set tells the mode.
    for (int k = 3; k >= 1 && state.lockMode == 0; --k) {
      const std::int32_t bit = layout.lockReadBit[static_cast<std::size_t>(k - 1)];
      if (bit >= 0 && (lock >> bit & 1)) state.lockMode = k;
    }
  } else {
    const bool lb1 = ProgrammedIn(lock, layout.lockReadBit[0]);
    const bool lb2 = ProgrammedIn(lock, layout.lockReadBit[1]);
    if (lb1 && lb2) {
      state.lockMode = 2;
    } else if (lb1) {
      state.lockMode = 1;
    } else if (lb2) {
      Box(msg::UnrecognizedLockBits);
    }
    for (int i = 0; i < layout.bootLockCount; ++i)
      state.bootLock[static_cast<std::size_t>(i)] = ProgrammedIn(lock, layout.bootLockBit[static_cast<std::size_t>(i)]);
  }

  if (!layout.fuseRead1Present) {
    // The few fuse bits of these chips come back in the lock byte.
    for (int i = 0; i < layout.fuseCount; ++i)
      state.fuse[static_cast<std::size_t>(i)] = ProgrammedIn(lock, layout.fuseReadBit1[static_cast<std::size_t>(i)]);
    return true;
  }
  // In order 1, 2, 3: the later groups overwrite what the first reply said about their bits.
  for (int g = 1; g <= FuseGroupCount; ++g) {
    if (g > 1 && !HasFuseGroup(layout, g)) continue;
    int value = 0;
    if (!ReadByte(FuseReadOf(layout, g), value)) return false;
    const ReadBits& bits = FuseReadBitOf(layout, g);
    for (int i = 0; i < layout.fuseCount; ++i) {
      const auto at = static_cast<std::size_t>(i);
      if (g == 1 || bits[at] >= 0) state.fuse[at] = ProgrammedIn(value, bits[at]);
    }
  }
  return true;
}

bool LockFuseCommands::Program(const ChipJob& job, int deviceNumber, const LockFuseState& state, bool programFuses) {
  WaitCursor wait(op_);
  const DeviceRecord* device = Usable(job, deviceNumber);
  if (!device) return false;
  const LockFuseLayout& layout = LayoutOf(*device);
  if (!LockModeEncodable(layout, device->ProgrammingClass, state.lockMode)) {
    const std::string name = LockModeName(catalog_, device->ProgrammingClass, state.lockMode);
    const std::string text = FormatText(catalog_.GetText(msg::LockModeNotEncodable), name.c_str());
    op_.SetStatus(text);
    ShowInfo(op_, catalog_, text);
    return false;
  }
  if (!ConnectTo(job, deviceNumber)) return false;

  bool ok = false;
  switch (device->ProgrammingClass) {
    case ClassAt89S4Byte:
      ok = ProgramAt89S4Byte(layout, state);
      break;
    case ClassAvr:
      ok = ProgramAvr(layout, state, programFuses);
      break;
    default:
      ok = ProgramThreeByte(layout, state);
      break;
  }
  EndSessionWarn();
  if (!ok) {
    // The AVR path has already said which instruction failed.
    if (device->ProgrammingClass != ClassAvr) Box(msg::ErrorProgrammingLockFuse);
    // An earlier group's "programmed" must not stay in the line over a failure.
    Status(msg::ErrorProgrammingLockFuse);
    return false;
  }
  Status(msg::LockFuseProgrammed);
  Box(msg::LockFuseProgrammed);
  return true;
}

bool LockFuseCommands::ProgramAt89S4Byte(const LockFuseLayout& layout, const LockFuseState& state) {
  // One instruction per lock bit, LB1 first: the mode number goes into byte 1.
  const Instruction4& w = layout.lockWrite;
  ChipWire wire(link_);
  for (int k = 1; k <= state.lockMode; ++k) {
    if (!wire.Spi4Send(w[0], static_cast<std::uint8_t>(w[1] | k), w[2], 0xFF)) {
      Box(msg::ConnectionError);
      return false;
    }
    const bool acknowledged = wire.Cr();
    link_.Time().SleepMs(kAt89S4ByteLockMs);
    if (!acknowledged) return false;
  }
  return true;
}

bool LockFuseCommands::ProgramThreeByte(const LockFuseLayout& layout, const LockFuseState& state) {
  Instruction4 in = layout.lockWrite;
  const int k = state.lockMode;
  // These chips number their lock positions the other way round: mode 1 programs the third.
  Put(in, layout.lockWritePos[2], k >= 1);
  Put(in, layout.lockWritePos[1], k >= 2);
  Put(in, layout.lockWritePos[0], k == 3);
  ChipWire wire(link_);
  if (!wire.Spi3Send(in[0], in[1], in[2])) {
    Box(msg::ConnectionError);
    link_.Time().SleepMs(kThreeByteLockMs);
    return false;
  }
  if (!wire.Cr()) return false;
  link_.Time().SleepMs(kThreeByteLockMs);
  return true;
}

bool LockFuseCommands::ProgramAvr(const LockFuseLayout& layout, const LockFuseState& state, bool programFuses) {
  ChipWire wire(link_);
  if (layout.fuseCount != 0 && programFuses) {
    for (int g = 1; g <= FuseGroupCount; ++g) {
      if (!HasFuseGroup(layout, g)) continue;
      // Bits that carry no fuse keep what the instruction holds.
      Instruction4 in = FuseWriteOf(layout, g);
      const WritePositions& pos = FuseWritePosOf(layout, g);
      for (int i = 0; i < layout.fuseCount; ++i)
        Put(in, pos[static_cast<std::size_t>(i)], state.fuse[static_cast<std::size_t>(i)]);
      if (!wire.Spi4Send(in[0], in[1], in[2], in[3])) {
        Box(msg::ConnectionError);
        return false;
      }
      if (!wire.Cr()) {
        // No further group and no lock bits: a half-written set is better left unlocked.
        Box(msg::ErrorProgrammingLockFuse);
        return false;
      }
      if (g == 1) Status(msg::LockFuseProgrammed);
    }
  }

  const auto boot = state.bootLock.begin();
  const bool anyBootLock = std::any_of(boot, boot + layout.bootLockCount, [](bool b) { return b; });
  if (state.lockMode == 0 && !anyBootLock) return true;
  // Every lock position is set or cleared: some templates hold 0 there.
  Instruction4 in = layout.lockWrite;
  Put(in, layout.lockWritePos[0], state.lockMode != 0);
  Put(in, layout.lockWritePos[1], state.lockMode >= 2);
  for (int i = 0; i < layout.bootLockCount; ++i)
    Put(in, BitPosition{3, layout.bootLockBit[static_cast<std::size_t>(i)]}, state.bootLock[static_cast<std::size_t>(i)]);
  if (!wire.Spi4Send(in[0], in[1], in[2], in[3])) {
    Box(msg::ConnectionError);
    return false;
  }
  link_.Time().SleepMs(kAvrLockMs);
  if (!wire.Cr()) {
    Box(msg::ErrorProgrammingLockFuse);
    return false;
  }
  Status(msg::LockFuseProgrammed);
  return true;
}

LockFuseVerifyResult LockFuseCommands::Verify(const ChipJob& job, int deviceNumber, const LockFuseState& expected) {
  comparison_ = {};
  const DeviceRecord* device = Usable(job, deviceNumber);
  if (!device) return LockFuseVerifyResult::NotRead;
  if (!LayoutOf(*device).lockReadPresent) {
    // Comparing with a cleared state would tell nothing about the chip.
    Box(msg::NoLockFuseRead);
    return LockFuseVerifyResult::NotRead;
  }
  LockFuseState actual;
  if (!Read(job, deviceNumber, actual)) return LockFuseVerifyResult::NotRead;
  comparison_ = CompareLockFuse(catalog_, *device, expected, actual);
  op_.ShowBox({catalog_.GetText(msg::ProductTitle), comparison_.text,
               comparison_.matched ? BoxIcon::Information : BoxIcon::Error, BoxButtons::Ok});
  return comparison_.matched ? LockFuseVerifyResult::Matched : LockFuseVerifyResult::Differs;
}

}  // namespace zr7
