#include "BoardSimulator.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "BoardFirmware.h"
#include "ChipStore.h"
#include "TargetChip.h"
#include "devices/DeviceTable.h"
#include "link/Commands.h"

namespace zr7sim {

namespace {

constexpr std::uint8_t kBadAck = 0x3F;  // what a spoiled acknowledgement carries instead of CR
constexpr int kWriteStallMs = 2000;     // a host that reads nothing for this long loses the reply
constexpr std::size_t kLoaderBlocks = LoaderImageSize / LoaderBlockSize;
// A loader that hears nothing for this long gives the transfer up and waits for a new one.
constexpr auto kLoaderGiveUp = std::chrono::milliseconds(500);
// With real timing the loader writes its page after every 32nd block and hears nothing meanwhile.
constexpr auto kLoaderPageWrite = std::chrono::milliseconds(12);
// This thread learns of host bytes when it wakes, so on a loaded machine a block seems to arrive
// later than it did and its page write to end later too: a byte in the window's last few ms may
// have been on time, and is taken. One sent with no pause comes some 10 ms early and is lost.
constexpr auto kLoaderLateWake = std::chrono::milliseconds(4);

std::string Hex2(std::uint8_t b) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", b);
  return buf;
}

const zr7::DeviceRecord* FindChip(std::string_view name) {
  for (const zr7::DeviceRecord& r : zr7::DeviceTable())
    if (r.Name == name) return &r;
  return nullptr;
}

// A 16-bit count or address, high byte first.
std::size_t Word16(const std::vector<std::uint8_t>& args) {
  return static_cast<std::size_t>(args[0]) << 8 | args[1];
}

// Argument bytes the command takes, as far as the bytes collected so far tell: a count has to
// arrive before the length of the data behind it is known.
std::size_t ArgsNeeded(const zr7::CommandInfo& c, const std::vector<std::uint8_t>& args) {
  switch (c.args) {
    case zr7::ArgShape::Fixed: return c.fixedArgs;
    case zr7::ArgShape::CountThenData: return args.empty() ? 1 : 1 + args[0];
    case zr7::ArgShape::Count16ThenData: return args.size() < 2 ? 2 : 2 + Word16(args);
    case zr7::ArgShape::Count: return 1;
    case zr7::ArgShape::Count16: return 2;
  }
  return 0;
}

bool IsKnownSckCode(std::uint8_t code) {
  for (const zr7::SckPeriod& p : zr7::SckPeriods)
    if (p.sckCode == code) return true;
  return false;
}

struct Reply {
  std::vector<std::uint8_t> bytes;
  bool endsWithAck = false;               // the last byte is the CR acknowledgement
  std::optional<std::uint32_t> baudAfter;  // the UART's new rate, once the reply is out
};

Reply Ack() { return Reply{{zr7::ReplyCr}, true, {}}; }

}  // namespace

struct BoardSimulator::Impl {
  Impl(SimOptions o, WireLog& l)
      : options(std::move(o)),
        log(l),
        real(options.timing == Timing::Real),
        times(TimesFor(real)),
        firmware([this](const std::string& text) { Note(text); }) {}

  void Run();
  bool SleepUntil(SimClock::time_point t);
  bool EnsureChip(std::string* error);
  void SaveIfDirty();
  BoardFirmware::Target FirmwareTarget() {
    return {*chip, state, boardTime, times,
            real ? DelayForCode(state.byteDelay) : Duration::zero()};
  }
  void OnHostByte(std::uint8_t b, std::uint32_t hostBaud, SimClock::time_point t);
  void Complete(std::unique_lock<std::mutex>& lock);
  Reply Execute(const zr7::CommandInfo& info, const std::vector<std::uint8_t>& args);
  std::vector<std::uint8_t> Transmit(const std::vector<std::uint8_t>& bytes, std::uint32_t boardBaud);

  void Note(const std::string& text) { log.AddNote(text); }
  void SetSelect(SelectLine line, bool active);
  bool TargetSelected(std::string_view command);
  Reply WriteBlock(bool flash, std::span<const std::uint8_t> data);

  enum class LoaderPhase : std::uint8_t { Off, Confirm, Blocks };
  void LoaderByte(std::uint8_t b, SimClock::time_point t, std::unique_lock<std::mutex>& lock);
  void LoaderReply(WireCommand command, std::vector<std::uint8_t> bytes, std::unique_lock<std::mutex>& lock);
  void StartBlocks();
  void LeaveLoader(const std::string& why);
  void SaveBoard();
  void LoadBoardOnce();

  SimOptions options;  // faults and firmware change at run time
  WireLog& log;
  const bool real;        // Timing::Real
  const ChipTimes times;  // all zero unless real
  Pty pty;
  int stopFd = -1;
  std::thread thread;

  // Guards everything below and `options`; the board thread drops it only while transmitting.
  mutable std::mutex mutex;
  BoardState state;
  std::unique_ptr<TargetChip> chip;  // made once, kept across Stop and Start
  BoardFirmware firmware;
  const zr7::CommandInfo* pending = nullptr;  // command whose argument bytes are still arriving
  WireCommand current;
  std::uint64_t hostBytes = 0;
  bool silentNoted = false;

  LoaderPhase loader = LoaderPhase::Off;
  std::vector<std::uint8_t> loaderBytes;  // the confirmation or block being collected
  std::vector<std::uint8_t> receiving;    // the image so far
  std::size_t loaderBlock = 0;            // blocks acknowledged in this transfer
  SimClock::time_point loaderLast{};      // the loader's last byte from the host
  SimClock::time_point loaderBusyUntil{};
  std::vector<std::uint8_t> installed;    // the last image taken whole
  bool boardLoaded = false;

  // Pacing. The board runs on its own time: a host byte counts as arrived when its last bit
  // has, chip waits move the time on, and each reply byte leaves a byte time after the one
  // before. Every deadline is taken from these scheduled times, never from when a sleep
  // happened to end, so oversleeping does not add up. Only the board thread touches them.
  SimClock::time_point boardTime{};
  SimClock::time_point rxFree{};  // when the last host byte had arrived
  SimClock::time_point txFree{};  // when the last reply byte had left
};

bool BoardSimulator::Impl::SleepUntil(SimClock::time_point t) {
  for (;;) {
    const SimClock::time_point now = SimClock::now();
    if (now >= t) return true;
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(t - now).count();
    const timespec ts{static_cast<time_t>(left / 1'000'000'000), static_cast<long>(left % 1'000'000'000)};
    pollfd stop{stopFd, POLLIN, 0};
    const int ready = ppoll(&stop, 1, &ts, nullptr);
    if (ready > 0) return false;
    if (ready < 0 && errno != EINTR) return true;  // cannot wait: better early than never
  }
}

bool BoardSimulator::Impl::EnsureChip(std::string* error) {
  if (chip) return true;
  auto fail = [&](const std::string& text) {
    chip.reset();
    if (error) *error = text;
    return false;
  };
  const zr7::DeviceRecord* record = FindChip(options.chip);
  if (!record) return fail("unknown chip \"" + options.chip + "\": no such device name in the device table");
  ChipContext context{[this](const std::string& text) { Note(text); },
                      [this] { return boardTime; }, times};
  chip = MakeTargetChip(*record, options, std::move(context));
  std::string reason;
  struct stat st {};
  if (!options.statePath.empty() && stat(options.statePath.c_str(), &st) == 0 &&
      !LoadState(options.statePath, *chip, &reason))
    return fail(reason);
  if (!options.flashImage.empty() && !LoadImage(options.flashImage, chip->Flash(), "Flash", &reason))
    return fail(reason);
  if (!options.eepromImage.empty() &&
      !LoadImage(options.eepromImage, chip->Eeprom(), "Eeprom", &reason))
    return fail(reason);
  if (!options.flashImage.empty() || !options.eepromImage.empty()) chip->MarkDirty();
  return true;
}

void BoardSimulator::Impl::SaveIfDirty() {
  if (!chip || !chip->Dirty() || options.statePath.empty()) return;
  std::string reason;
  if (SaveState(options.statePath, *chip, &reason))
    chip->ClearDirty();
  else
    Note("state not saved: " + reason);
}

void BoardSimulator::Impl::Run() {
  std::uint8_t buffer[4096];
  pollfd fds[2] = {{pty.MasterFd(), POLLIN, 0}, {stopFd, POLLIN, 0}};
  for (;;) {
    int ready = poll(fds, 2, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      Note(std::string("board stopped: poll failed: ") + std::strerror(errno));
      return;
    }
    if (fds[1].revents) return;
    if (fds[0].revents & POLLIN) {
      // The host's rate is sampled as soon as its bytes are seen: the host may legitimately
      // switch rates right after the board's reply, while this chunk is still being handled.
      const SimClock::time_point arrived = SimClock::now();
      const std::uint32_t hostBaud = pty.HostBaud();
      long n = pty.Read(buffer, sizeof buffer, 0);
      if (n < 0) {
        Note(std::string("board stopped: read failed: ") + std::strerror(errno));
        return;
      }
      for (long i = 0; i < n; ++i) {
        if (!real) {
          OnHostByte(buffer[i], hostBaud, arrived);
          continue;
        }
        std::uint32_t baud;
        {
          std::lock_guard<std::mutex> lock(mutex);
          baud = state.baud;
        }
        // The board cannot have a byte before the wire has delivered all ten of its bits.
        rxFree = std::max(arrived, rxFree) + ByteTime(baud);
        if (!SleepUntil(rxFree)) return;
        OnHostByte(buffer[i], hostBaud, rxFree);
      }
    } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      // Only when no slave descriptor is left; spinning on it would help nobody.
      Note("board stopped: the line hung up");
      poll(&fds[1], 1, -1);
      return;
    }
  }
}

void BoardSimulator::Impl::OnHostByte(std::uint8_t b, std::uint32_t hostBaud,
                                      SimClock::time_point t) {
  std::unique_lock<std::mutex> lock(mutex);
  const std::uint32_t boardBaud = state.baud;
  const bool dropped = hostBaud != boardBaud;
  log.AddByte({t, Direction::HostToBoard, b, hostBaud, boardBaud, dropped});
  ++hostBytes;
  boardTime = std::max(boardTime, t);

  const int silentAfter = options.faults.silentAfterBytes;
  if (silentAfter >= 0 && hostBytes > static_cast<std::uint64_t>(silentAfter)) {
    if (!silentNoted) {
      Note("fault: silent after " + std::to_string(silentAfter) + " host bytes");
      silentNoted = true;
    }
    return;
  }
  if (dropped) return;  // a UART at another rate sees only framing errors

  if (loader != LoaderPhase::Off && t - loaderLast > kLoaderGiveUp)
    LeaveLoader("the host fell silent; the loader waits for a new transfer");
  if (loader != LoaderPhase::Off) {
    LoaderByte(b, t, lock);
    return;
  }

  if (!pending) {
    pending = zr7::FindCommand(b);
    if (!pending) {
      Note("unknown command " + Hex2(b) + " ignored");
      log.AddCommand({t, b, "unknown", {}, {}, boardBaud});
      return;
    }
    current = WireCommand{t, b, std::string(pending->name), {}, {}, boardBaud};
  } else {
    current.args.push_back(b);
  }
  if (current.args.size() < ArgsNeeded(*pending, current.args)) return;
  Complete(lock);
}

void BoardSimulator::Impl::Complete(std::unique_lock<std::mutex>& lock) {
  const zr7::CommandInfo& info = *pending;
  pending = nullptr;
  WireCommand command = std::move(current);
  current = {};
  const std::uint64_t number = ++state.commandsDecoded;

  Reply reply = Execute(info, command.args);
  state.programmingEnabled = chip->InProgrammingMode();

  const int badAck = options.faults.badAckAtCommand;
  if (badAck > 0 && number == static_cast<std::uint64_t>(badAck)) {
    const std::string which = "command " + std::to_string(number) + " (" + command.name + ")";
    if (reply.endsWithAck && !reply.bytes.empty()) {
      reply.bytes.back() = kBadAck;
      Note("fault: " + which + " acknowledged with 0x3F instead of CR");
    } else {
      Note("fault: " + which + " has no CR acknowledgement to spoil; reply left alone");
    }
  }

  const std::uint32_t boardBaud = state.baud;
  lock.unlock();
  command.reply = Transmit(reply.bytes, boardBaud);
  lock.lock();
  // The UART changes rate only after the acknowledgement has left at the old one.
  if (reply.baudAfter) state.baud = *reply.baudAfter;
  log.AddCommand(std::move(command));
}

std::vector<std::uint8_t> BoardSimulator::Impl::Transmit(const std::vector<std::uint8_t>& bytes,
                                                         std::uint32_t boardBaud) {
  std::vector<std::uint8_t> delivered;
  for (std::uint8_t b : bytes) {
    SimClock::time_point sent{};
    if (real) {
      // A byte is with the host once its stop bit is; each follows the one before.
      txFree = std::max(boardTime, txFree) + ByteTime(boardBaud);
      sent = txFree;
      if (!SleepUntil(sent)) {
        Note("reply cut short: the board is stopping");
        break;
      }
    }
    const std::uint32_t hostBaud = pty.HostBaud();
    const bool dropped = hostBaud != boardBaud;
    if (!dropped && !pty.Write(&b, 1)) {
      Note("reply cut short: the line took no more bytes (host not reading, or board stopping)");
      break;
    }
    log.AddByte({real ? sent : SimClock::now(), Direction::BoardToHost, b, hostBaud, boardBaud,
                 dropped});
    if (!dropped) delivered.push_back(b);
  }
  return delivered;
}

Reply BoardSimulator::Impl::Execute(const zr7::CommandInfo& info,
                                    const std::vector<std::uint8_t>& args) {
  using namespace zr7;
  switch (info.code) {
    case CmdWake:
      return {};
    case CmdGetVersion:
      return Reply{std::vector<std::uint8_t>(options.firmware.begin(), options.firmware.end()), false, {}};
    case CmdGetIdent: {
      if (options.faults.noIdentReply) {
        Note("fault: CmdGetIdent left unanswered");
        return {};
      }
      Reply r;
      r.bytes.reserve(options.ident.size() + 2);
      r.bytes.push_back(static_cast<std::uint8_t>(options.ident.size()));
      for (char c : options.ident) r.bytes.push_back(static_cast<std::uint8_t>(c));
      r.bytes.push_back(ReplyCr);
      r.endsWithAck = true;
      return r;
    }
    case CmdGetSerial: {
      if (options.faults.noSerialReply) {
        Note("fault: CmdGetSerial left unanswered");
        return {};
      }
      Reply r{std::vector<std::uint8_t>(options.serial.begin(), options.serial.end()), true, {}};
      r.bytes.push_back(ReplyCr);
      return r;
    }
    case CmdQuit:
      Note("host ended its board-management connection (CmdQuit)");
      SaveIfDirty();
      return {};
    case CmdEnterLoader:
      loaderLast = boardTime;
      if (options.loaderConfirmation) {
        loader = LoaderPhase::Confirm;
        loaderBytes.clear();
        return Reply{{'e'}, false, {}};
      }
      StartBlocks();
      return Ack();

    case CmdSetDevice:
      state.deviceCode = args[0];
      if (args[0] != chip->Record().BoardDeviceCode)
        Note("device code " + std::to_string(args[0]) + " does not match the target " +
             std::string(chip->Record().Name) + " (code " +
             std::to_string(chip->Record().BoardDeviceCode) + ")");
      return Ack();
    case CmdSetAddress:
      state.flashAddress = state.eepromAddress = static_cast<std::uint32_t>(Word16(args));
      return Ack();
    case CmdSetMode: {
      const std::uint8_t speed = args[0];
      if (speed > 1) Note("CmdSetMode speed flag " + std::to_string(speed) + " taken as 19200 baud");
      if (!IsKnownSckCode(args[1])) Note("CmdSetMode SckCode " + std::to_string(args[1]) + " is no known code");
      state.sckCode = args[1];
      state.polling = args[2] != 0;
      Reply r = Ack();
      r.baudAfter = speed == 1 ? HighBaud : LowBaud;
      return r;
    }

    case CmdResetTimed:
    case CmdResetShort:
    case CmdResetAlt:
      chip->Reset(info.code == CmdResetAlt ? ResetPolarity::ActiveHigh : ResetPolarity::ActiveLow);
      firmware.TargetReset();
      state.targetInReset = true;
      return Ack();
    case CmdEnableSync: {
      // The board's own programming enable. Its synchronisation would retry with an extra clock
      // pulse on a bad echo; the model is always in step, so one try tells the same.
      const std::uint8_t enable[4] = {0xAC, 0x53, 0x00, 0x00};
      return Reply{{chip->Instruction(enable)[2]}, false, {}};
    }
    case CmdSpi3:
    case CmdSpi4:
      chip->Instruction(std::span(args.data(), args.size()));
      firmware.SawInstruction(args);
      return Ack();
    case CmdSpiRead4: {
      const std::uint8_t in[4] = {args[0], args[1], args[2], 0x00};
      return Reply{{chip->Instruction(in)[3]}, false, {}};
    }
    case CmdSetByteDelay:
      state.byteDelay = args[0];
      return Ack();

    case CmdWriteFlash:
    case CmdWriteEeprom:
      return WriteBlock(info.code == CmdWriteFlash, std::span(args).subspan(1));
    case CmdReadFlash:
      return Reply{firmware.Read(FirmwareTarget(), BoardMemory::Flash, state.flashAddress, args[0]),
                   false, {}};
    case CmdReadEeprom:
      return Reply{firmware.Read(FirmwareTarget(), BoardMemory::Eeprom, state.eepromAddress, args[0]),
                   false, {}};

    case CmdFlashSelect:
    case CmdFlashDeselect:
      SetSelect(SelectLine::Flash, info.code == CmdFlashSelect);
      return Ack();
    case CmdEepSelect:
    case CmdEepDeselect:
      SetSelect(SelectLine::Eeprom, info.code == CmdEepSelect);
      return Ack();
    case CmdSpiPut:
      if (TargetSelected(info.name)) chip->Shift(args[0]);
      return Ack();
    case CmdSpiGet:
      return Reply{{TargetSelected(info.name) ? chip->Shift(0x00) : std::uint8_t{0xFF}},
                   false, {}};
    case CmdSpiWriteN:
      if (TargetSelected(info.name))
        for (std::size_t i = 2; i < args.size(); ++i) chip->Shift(args[i]);
      return Ack();
    case CmdSpiReadN: {
      const bool selected = TargetSelected(info.name);
      Reply r;
      for (std::size_t i = 0, n = Word16(args); i < n; ++i)
        r.bytes.push_back(selected ? chip->Shift(0x00) : 0xFF);
      r.bytes.push_back(ReplyCr);
      r.endsWithAck = true;
      return r;
    }

    case CmdEndSession:
      chip->Release();
      firmware.TargetReset();
      state.targetInReset = false;
      state.flashSelected = state.eepromSelected = false;
      SaveIfDirty();
      return Ack();
  }
  Note(std::string(info.name) + " is in the command table but not simulated");
  return {};
}

void BoardSimulator::Impl::SetSelect(SelectLine line, bool active) {
  (line == SelectLine::Flash ? state.flashSelected : state.eepromSelected) = active;
  if (chip->Line() == line) chip->Select(active);
}

bool BoardSimulator::Impl::TargetSelected(std::string_view command) {
  const SelectLine line = chip->Line();
  if ((line == SelectLine::Flash && state.flashSelected) ||
      (line == SelectLine::Eeprom && state.eepromSelected))
    return true;
  Note(std::string(command) +
       (state.flashSelected || state.eepromSelected
            ? " with a chip select the target is not on; the target answers nothing (FF)"
            : " with no chip select active; the target answers nothing (FF)"));
  return false;
}

Reply BoardSimulator::Impl::WriteBlock(bool flash, std::span<const std::uint8_t> data) {
  const std::uint64_t block = ++state.dataBlocks;
  const int escAt = options.faults.escAtDataBlock;
  if (escAt > 0 && block == static_cast<std::uint64_t>(escAt)) {
    Note("fault: data block " + std::to_string(block) +
         " fails its poll: nothing of it written, answered ESC");
    return Reply{{zr7::ReplyEsc}, true, {}};
  }
  const bool done = firmware.Write(FirmwareTarget(), flash ? BoardMemory::Flash : BoardMemory::Eeprom,
                                   flash ? state.flashAddress : state.eepromAddress, data);
  return done ? Ack() : Reply{{zr7::ReplyEsc}, true, {}};
}

void BoardSimulator::Impl::StartBlocks() {
  loader = LoaderPhase::Blocks;
  loaderBytes.clear();
  receiving.clear();
  loaderBlock = 0;
  // From here on the old application is gone: only the loader answers until an image is whole.
  options.firmware = "ldr";
  SaveBoard();
}

void BoardSimulator::Impl::LeaveLoader(const std::string& why) {
  Note("loader: " + why);
  loader = LoaderPhase::Off;
  loaderBytes.clear();
}

void BoardSimulator::Impl::LoaderReply(WireCommand command, std::vector<std::uint8_t> bytes,
                                       std::unique_lock<std::mutex>& lock) {
  const std::uint32_t boardBaud = state.baud;
  lock.unlock();
  command.reply = Transmit(bytes, boardBaud);
  lock.lock();
  log.AddCommand(std::move(command));
}

void BoardSimulator::Impl::LoaderByte(std::uint8_t b, SimClock::time_point t,
                                      std::unique_lock<std::mutex>& lock) {
  if (t + kLoaderLateWake < loaderBusyUntil) {
    Note("loader: byte " + Hex2(b) + " lost while the page was being written");
    return;
  }
  loaderLast = t;
  loaderBytes.push_back(b);
  if (loader == LoaderPhase::Confirm) {
    // Judged byte by byte: a host that gives up (CmdQuit) ends the wait at once.
    const std::size_t at = loaderBytes.size() - 1;
    const bool wrong = b != (*options.loaderConfirmation)[at];
    if (!wrong && loaderBytes.size() < 8) return;
    WireCommand command{t, 0, "LoaderConfirmation", loaderBytes, {}, state.baud};
    if (wrong) {
      LeaveLoader("wrong confirmation sequence; the firmware is kept");
      log.AddCommand(std::move(command));
      return;
    }
    StartBlocks();
    LoaderReply(std::move(command), {zr7::ReplyCr}, lock);
    return;
  }
  if (loaderBytes.size() < LoaderBlockSize) return;
  const std::size_t number = loaderBlock + 1;
  WireCommand command{t, 0, "LoaderBlock", loaderBytes, {}, state.baud};
  if (static_cast<int>(number) == options.faults.loaderSilentAtBlock) {
    LeaveLoader("fault: block " + std::to_string(number) + " left unanswered");
    log.AddCommand(std::move(command));
    return;
  }
  if (static_cast<int>(number) == options.faults.loaderBadReplyAtBlock) {
    LeaveLoader("fault: block " + std::to_string(number) + " answered with 0x3F");
    LoaderReply(std::move(command), {kBadAck}, lock);
    return;
  }
  receiving.insert(receiving.end(), loaderBytes.begin(), loaderBytes.end());
  loaderBytes.clear();
  loaderBlock = number;
  const bool last = loaderBlock == kLoaderBlocks;
  if (last) {
    installed = receiving;
    const std::string& v = options.newVersion;
    options.firmware = v;
    options.ident = std::string("ZR7 ") + v[0] + "." + v.substr(1);
    loader = LoaderPhase::Off;
    Note("loader: image complete; the board now reports " + v);
    SaveBoard();
  }
  LoaderReply(std::move(command), {zr7::ReplyCr}, lock);
  // The page write starts once the block's CR is out, reckoned from when the block's last byte
  // arrived on the wire rather than from when this thread got to it, so a late wake-up on a
  // loaded machine does not stretch the busy time past what the board itself would take.
  if (real && !last && loaderBlock % 32 == 0)
    loaderBusyUntil = loaderLast + std::chrono::microseconds(10'000'000 / std::max<std::uint32_t>(state.baud, 1)) +
                      kLoaderPageWrite;
}

void BoardSimulator::Impl::SaveBoard() {
  if (options.statePath.empty()) return;
  std::string reason;
  if (!SaveBoardRecord(options.statePath, {options.firmware, options.ident, installed}, &reason))
    Note("board state not saved: " + reason);
}

void BoardSimulator::Impl::LoadBoardOnce() {
  if (boardLoaded) return;
  boardLoaded = true;
  if (options.statePath.empty()) return;
  struct stat st {};
  if (stat(BoardRecordPath(options.statePath).c_str(), &st) != 0) return;
  BoardRecord record;
  std::string reason;
  if (!LoadBoardRecord(options.statePath, record, &reason)) {
    Note("board state not loaded: " + reason);
    return;
  }
  // The board remembers its own firmware, whatever it was started with.
  options.firmware = record.firmware;
  options.ident = record.ident;
  installed = std::move(record.image);
}

std::string BoardRecordPath(const std::string& statePath) { return statePath + ".board"; }

bool LoadBoardRecord(const std::string& statePath, BoardRecord& record, std::string* error) {
  const std::string path = BoardRecordPath(statePath);
  auto fail = [&](const std::string& text) {
    if (error) *error = path + ": " + text;
    return false;
  };
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail(std::strerror(errno));
  std::string magic, version, ident, image;
  if (!std::getline(in, magic) || magic != "zr7-sim board 1") return fail("not a board state file");
  if (!std::getline(in, version) || version.rfind("version ", 0) != 0 || version.size() != 11)
    return fail("no version line");
  if (!std::getline(in, ident) || ident.rfind("ident ", 0) != 0) return fail("no ident line");
  std::size_t size = 0;
  if (!std::getline(in, image) || image.rfind("image ", 0) != 0) return fail("no image line");
  std::istringstream(image.substr(6)) >> size;
  if (size != 0 && size != LoaderImageSize) return fail("an image of " + std::to_string(size) + " bytes");
  std::vector<std::uint8_t> bytes(size);
  if (size && !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
    return fail("the image is cut short");
  record = {version.substr(8), ident.substr(6), std::move(bytes)};
  return true;
}

bool SaveBoardRecord(const std::string& statePath, const BoardRecord& record, std::string* error) {
  const std::string path = BoardRecordPath(statePath);
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << "zr7-sim board 1\nversion " << record.firmware << "\nident " << record.ident << "\nimage "
        << record.image.size() << "\n";
    out.write(reinterpret_cast<const char*>(record.image.data()), static_cast<std::streamsize>(record.image.size()));
    out.close();
    if (!out) {
      if (error) *error = "cannot write " + temporary;
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    if (error) *error = "cannot replace " + path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

BoardSimulator::BoardSimulator(SimOptions options)
    : impl_(std::make_unique<Impl>(std::move(options), log_)) {}

BoardSimulator::~BoardSimulator() { Stop(); }

bool BoardSimulator::Start(std::string* error) {
  auto fail = [&](const std::string& text) {
    if (error) *error = text;
    return false;
  };
  Impl& s = *impl_;
  if (s.thread.joinable()) return fail("the simulator is already running");
  if (s.options.firmware.size() != 3)
    return fail("firmware version must be three characters, not \"" + s.options.firmware + "\"");
  if (s.options.ident.size() > 255)
    return fail("identification text is longer than 255 characters");
  if (s.options.newVersion.size() != 3)
    return fail("new firmware version must be three characters, not \"" + s.options.newVersion + "\"");

  {
    std::lock_guard<std::mutex> lock(s.mutex);
    std::string reason;
    if (!s.EnsureChip(&reason)) return fail(reason);
    s.LoadBoardOnce();
    // A board powered up anew: a transfer cut off by the power is given up.
    s.loader = Impl::LoaderPhase::Off;
    s.loaderBusyUntil = {};
    // A board powered up anew: its own state is fresh, the chip keeps its memories.
    s.state = BoardState{};
    s.pending = nullptr;
    s.hostBytes = 0;
    s.silentNoted = false;
    s.boardTime = s.rxFree = s.txFree = SimClock::now();
    s.chip->Release();
    s.firmware.TargetReset();
  }
  std::string reason;
  if (!s.pty.Open(&reason)) return fail("cannot create a pseudo-terminal: " + reason);
  s.stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (s.stopFd < 0) {
    s.pty.Close();
    return fail(std::string("eventfd: ") + std::strerror(errno));
  }
  s.pty.SetWriteInterrupt(s.stopFd, kWriteStallMs);
  s.thread = std::thread([&s] { s.Run(); });
  return true;
}

void BoardSimulator::Stop() {
  Impl& s = *impl_;
  if (!s.thread.joinable()) return;
  const std::uint64_t one = 1;
  // An eventfd write fails only on counter overflow, which one Stop cannot cause.
  [[maybe_unused]] const ssize_t written = write(s.stopFd, &one, sizeof one);
  s.thread.join();
  close(s.stopFd);
  s.stopFd = -1;
  s.pty.SetWriteInterrupt(-1, kWriteStallMs);
  s.pty.Close();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.SaveIfDirty();
}

std::string BoardSimulator::SlavePath() const { return impl_->pty.SlavePath(); }

BoardState BoardSimulator::State() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->state;
}

void BoardSimulator::SetFaults(const SimFaults& faults) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->options.faults = faults;
  impl_->silentNoted = false;
}

void BoardSimulator::SetFirmware(const std::string& threeChars) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (threeChars.size() != 3) {
    impl_->Note("SetFirmware ignored: \"" + threeChars + "\" is not three characters");
    return;
  }
  impl_->options.firmware = threeChars;
}

std::string BoardSimulator::Firmware() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->options.firmware;
}

std::vector<std::uint8_t> BoardSimulator::FirmwareImage() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->installed;
}

bool BoardSimulator::InLoader() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->loader != Impl::LoaderPhase::Off;
}

std::vector<std::uint8_t> BoardSimulator::FlashContents() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->EnsureChip(nullptr) ? impl_->chip->Flash() : std::vector<std::uint8_t>{};
}

std::vector<std::uint8_t> BoardSimulator::EepromContents() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->EnsureChip(nullptr) ? impl_->chip->Eeprom() : std::vector<std::uint8_t>{};
}

ChipLockState BoardSimulator::LockState() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (!impl_->EnsureChip(nullptr)) return {};
  const TargetChip& chip = *impl_->chip;
  return {chip.LockBits(), chip.Fuses(), chip.WriteProtected(), chip.ReadProtected()};
}

namespace {

bool Overwrite(std::vector<std::uint8_t>& memory, std::size_t offset,
               std::span<const std::uint8_t> bytes) {
  if (offset > memory.size() || bytes.size() > memory.size() - offset) return false;
  std::copy(bytes.begin(), bytes.end(), memory.begin() + static_cast<std::ptrdiff_t>(offset));
  return true;
}

}  // namespace

bool BoardSimulator::SetFlashContents(std::size_t offset, std::span<const std::uint8_t> bytes) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (!impl_->EnsureChip(nullptr) || !Overwrite(impl_->chip->Flash(), offset, bytes)) return false;
  impl_->chip->MarkDirty();
  return true;
}

bool BoardSimulator::SetEepromContents(std::size_t offset, std::span<const std::uint8_t> bytes) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (!impl_->EnsureChip(nullptr) || !Overwrite(impl_->chip->Eeprom(), offset, bytes)) return false;
  impl_->chip->MarkDirty();
  return true;
}

void BoardSimulator::SetLockBits(std::uint8_t lockBits) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->EnsureChip(nullptr)) impl_->chip->SetLockBits(lockBits);
}

void BoardSimulator::SetFuseBytes(const std::array<std::uint8_t, 3>& fuses) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->EnsureChip(nullptr)) impl_->chip->SetFuses(fuses);
}

}  // namespace zr7sim
