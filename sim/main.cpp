// zr7-sim: a ZR7 board with a target chip on a pseudo-terminal, so the front-end can be run
// against it by hand. The first line on stdout is the port to open.

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "BoardSimulator.h"
#include "devices/DeviceTable.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: zr7-sim --chip NAME [options]\n"
    "Serves a simulated ZR7 board with a target chip on a pseudo-terminal until SIGINT/SIGTERM.\n"
    "The first line printed on stdout is the port (slave) path.\n"
    "\n"
    "  --chip NAME          target chip, a device name as listed by --list-chips\n"
    "  --link PATH          also make PATH a symbolic link to the port (removed on exit)\n"
    "  --firmware XYZ       three characters answered to the version request (default 910;\n"
    "                       ldr = loader only, err = internal error)\n"
    "  --ident TEXT         identification text (default \"ZR7 9.10\")\n"
    "  --serial HEX10       serial number as 10 hex digits (default 0123456789)\n"
    "  --locked             the AVR target is locked (signature reads 00 01 02)\n"
    "  --signature HEX6     the AVR target answers this signature instead of its table\n"
    "                       row's, as 6 hex digits, e.g. 1E9609\n"
    "  --at45-status HEX    DataFlash status byte override (FF: no memory answers)\n"
    "  --flash-image FILE   preload the Flash (AT45: the whole memory) from a raw binary\n"
    "  --eeprom-image FILE  preload the Eeprom (AT25: the whole memory) from a raw binary\n"
    "  --state FILE         keep the chip's memories, lock and fuse bytes in FILE between\n"
    "                       runs: read at start if it exists (images then overwrite it),\n"
    "                       written after each session that changed the chip and on exit\n"
    "                       (and the board's firmware in FILE.board)\n"
    "  --loader-confirmation HEX16\n"
    "                       the loader answers 'e' and wants these 8 bytes before the image\n"
    "  --new-version XYZ    version reported after a complete firmware update (default 910)\n"
    "  --dump-firmware FILE with --state: write the last firmware image received to FILE, exit\n"
    "  --loader-silent-at K the loader leaves its K-th block unanswered and drops out\n"
    "  --loader-bad-reply-at K  the loader answers its K-th block with 0x3F and drops out\n"
    "  --timing MODE        instant (default): answer at once; real: every byte takes its\n"
    "                       wire time and chip writes their datasheet-like times\n"
    "  --esc-at K           the K-th Flash/Eeprom data block fails its poll (ESC reply)\n"
    "  --silent-after N     answer nothing after N bytes from the host\n"
    "  --bad-ack K          the K-th command gets 0x3F instead of its CR acknowledgement\n"
    "  --no-ident           leave the identification request unanswered\n"
    "  --no-serial          leave the serial number request unanswered\n"
    "  --log                echo the wire log to stderr as it happens\n"
    "  --list-chips         print the device names and exit\n"
    "  --help               print this text and exit\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "zr7-sim: %s\nTry 'zr7-sim --help'.\n", message.c_str());
  return kExitUsage;
}

bool IsChipName(std::string_view name) {
  for (const zr7::DeviceRecord& r : zr7::DeviceTable())
    if (r.Name == name) return true;
  return false;
}

// The chips the AVR model serves, the only one that takes --signature.
bool AnswersAvrSignature(std::string_view name) {
  for (const zr7::DeviceRecord& r : zr7::DeviceTable())
    if (r.Name == name) return r.ProgrammingClass == zr7::ClassAvr && r.Family != zr7::DeviceFamily::At45;
  return false;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHexByte(std::string_view text, std::uint8_t& out) {
  if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
  if (text.empty() || text.size() > 2) return false;
  int value = 0;
  for (char c : text) {
    int d = HexDigit(c);
    if (d < 0) return false;
    value = value * 16 + d;
  }
  out = static_cast<std::uint8_t>(value);
  return true;
}

bool ParseSerial(std::string_view text, std::array<std::uint8_t, 5>& out) {
  if (text.size() != 10) return false;
  for (std::size_t i = 0; i < 5; ++i)
    if (!ParseHexByte(text.substr(2 * i, 2), out[i])) return false;
  return true;
}

bool ParseSignature(std::string_view text, std::array<std::uint8_t, 3>& out) {
  if (text.size() != 6) return false;
  for (std::size_t i = 0; i < 3; ++i)
    if (!ParseHexByte(text.substr(2 * i, 2), out[i])) return false;
  return true;
}

bool ParseCount(std::string_view text, int& out) {
  if (text.empty() || text.size() > 9) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  out = value;
  return true;
}

// Makes `link` point at `target`, replacing an older symbolic link but nothing else.
bool MakeLink(const std::string& link, const std::string& target) {
  struct stat st {};
  if (lstat(link.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      std::fprintf(stderr, "zr7-sim: refusing to replace %s: it is not a symbolic link\n", link.c_str());
      return false;
    }
    if (unlink(link.c_str()) != 0) {
      std::fprintf(stderr, "zr7-sim: cannot remove %s: %s\n", link.c_str(), std::strerror(errno));
      return false;
    }
  }
  if (symlink(target.c_str(), link.c_str()) != 0) {
    std::fprintf(stderr, "zr7-sim: cannot create %s: %s\n", link.c_str(), std::strerror(errno));
    return false;
  }
  return true;
}

// Removes the link only while it is still ours: another simulator may have taken the name over.
void RemoveLink(const std::string& link, const std::string& target) {
  char buf[4096];
  ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
  if (n < 0) return;
  buf[n] = '\0';
  if (target == buf) unlink(link.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  zr7sim::SimOptions options;
  options.chip.clear();
  std::string link;
  bool echoLog = false;
  std::string dumpFirmware;

  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string_view inlineValue;
    bool hasInline = false;
    if (auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
      inlineValue = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      hasInline = true;
    }
    auto value = [&](std::string_view& out) {
      if (hasInline) {
        out = inlineValue;
        return true;
      }
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    auto flag = [&] { return !hasInline; };
    std::string_view v;

    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--list-chips") {
      for (const zr7::DeviceRecord& r : zr7::DeviceTable())
        std::printf("%.*s\n", static_cast<int>(r.Name.size()), r.Name.data());
      return 0;
    } else if (arg == "--chip") {
      if (!value(v)) return UsageError("--chip needs a device name");
      options.chip = v;
    } else if (arg == "--link") {
      if (!value(v) || v.empty()) return UsageError("--link needs a path");
      link = v;
    } else if (arg == "--firmware") {
      if (!value(v) || v.size() != 3) return UsageError("--firmware needs exactly three characters");
      options.firmware = v;
    } else if (arg == "--ident") {
      if (!value(v) || v.size() > 255) return UsageError("--ident needs a text of at most 255 characters");
      options.ident = v;
    } else if (arg == "--serial") {
      if (!value(v) || !ParseSerial(v, options.serial))
        return UsageError("--serial needs 10 hexadecimal digits, e.g. 0123456789");
    } else if (arg == "--signature") {
      std::array<std::uint8_t, 3> signature{};
      if (!value(v) || !ParseSignature(v, signature))
        return UsageError("--signature needs 6 hexadecimal digits, e.g. 1E9609");
      options.signature = signature;
    } else if (arg == "--locked" && flag()) {
      options.locked = true;
    } else if (arg == "--at45-status") {
      std::uint8_t status = 0;
      if (!value(v) || !ParseHexByte(v, status)) return UsageError("--at45-status needs a hex byte, e.g. 9C");
      options.at45Status = status;
    } else if (arg == "--flash-image") {
      if (!value(v) || v.empty()) return UsageError("--flash-image needs a file");
      options.flashImage = v;
    } else if (arg == "--eeprom-image") {
      if (!value(v) || v.empty()) return UsageError("--eeprom-image needs a file");
      options.eepromImage = v;
    } else if (arg == "--state") {
      if (!value(v) || v.empty()) return UsageError("--state needs a file");
      options.statePath = v;
    } else if (arg == "--timing") {
      if (!value(v) || (v != "instant" && v != "real"))
        return UsageError("--timing needs 'instant' or 'real'");
      options.timing = v == "real" ? zr7sim::Timing::Real : zr7sim::Timing::Instant;
    } else if (arg == "--esc-at") {
      if (!value(v) || !ParseCount(v, options.faults.escAtDataBlock) || options.faults.escAtDataBlock < 1)
        return UsageError("--esc-at needs a data block number from 1");
    } else if (arg == "--silent-after") {
      if (!value(v) || !ParseCount(v, options.faults.silentAfterBytes))
        return UsageError("--silent-after needs a byte count");
    } else if (arg == "--bad-ack") {
      if (!value(v) || !ParseCount(v, options.faults.badAckAtCommand) || options.faults.badAckAtCommand < 1)
        return UsageError("--bad-ack needs a command number from 1");
    } else if (arg == "--loader-confirmation") {
      std::array<std::uint8_t, 8> bytes{};
      bool ok = value(v) && v.size() == 16;
      for (std::size_t k = 0; ok && k < 8; ++k) ok = ParseHexByte(v.substr(2 * k, 2), bytes[k]);
      if (!ok) return UsageError("--loader-confirmation needs 16 hexadecimal digits");
      options.loaderConfirmation = bytes;
    } else if (arg == "--new-version") {
      if (!value(v) || v.size() != 3) return UsageError("--new-version needs exactly three characters");
      options.newVersion = v;
    } else if (arg == "--dump-firmware") {
      if (!value(v) || v.empty()) return UsageError("--dump-firmware needs a file");
      dumpFirmware = v;
    } else if (arg == "--loader-silent-at") {
      if (!value(v) || !ParseCount(v, options.faults.loaderSilentAtBlock) || options.faults.loaderSilentAtBlock < 1)
        return UsageError("--loader-silent-at needs a block number from 1");
    } else if (arg == "--loader-bad-reply-at") {
      if (!value(v) || !ParseCount(v, options.faults.loaderBadReplyAtBlock) ||
          options.faults.loaderBadReplyAtBlock < 1)
        return UsageError("--loader-bad-reply-at needs a block number from 1");
    } else if (arg == "--no-ident" && flag()) {
      options.faults.noIdentReply = true;
    } else if (arg == "--no-serial" && flag()) {
      options.faults.noSerialReply = true;
    } else if (arg == "--log" && flag()) {
      echoLog = true;
    } else {
      return UsageError("unknown option '" + std::string(argv[i]) + "'");
    }
  }
  if (!dumpFirmware.empty()) {
    if (options.statePath.empty()) return UsageError("--dump-firmware needs --state FILE");
    zr7sim::BoardRecord record;
    std::string error;
    if (!zr7sim::LoadBoardRecord(options.statePath, record, &error)) {
      std::fprintf(stderr, "zr7-sim: %s\n", error.c_str());
      return kExitFailure;
    }
    if (record.image.empty()) {
      std::fprintf(stderr, "zr7-sim: the board has received no complete firmware image\n");
      return kExitFailure;
    }
    FILE* out = std::fopen(std::string(dumpFirmware).c_str(), "wb");
    const bool ok = out && std::fwrite(record.image.data(), 1, record.image.size(), out) == record.image.size();
    if (out && std::fclose(out) != 0) return kExitFailure;
    if (!ok) {
      std::fprintf(stderr, "zr7-sim: cannot write %s\n", std::string(dumpFirmware).c_str());
      return kExitFailure;
    }
    return 0;
  }
  if (options.chip.empty()) return UsageError("--chip NAME is required (see --list-chips)");
  if (!IsChipName(options.chip))
    return UsageError("unknown chip '" + options.chip + "' (see --list-chips for the names)");
  if (options.signature && !AnswersAvrSignature(options.chip))
    return UsageError("--signature applies to AVR targets only, not to " + options.chip);

  // Signals are taken synchronously by this thread; the board thread inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  zr7sim::BoardSimulator board(options);
  if (echoLog) board.Log().SetEcho(stderr);
  std::string error;
  if (!board.Start(&error)) {
    std::fprintf(stderr, "zr7-sim: %s\n", error.c_str());
    return kExitFailure;
  }
  const std::string port = board.SlavePath();
  if (!link.empty() && !MakeLink(link, port)) return kExitFailure;

  // The link exists before the path is announced, so a reader of the first line can use either.
  std::printf("%s\n", port.c_str());
  std::fflush(stdout);
  std::fprintf(stderr, "zr7-sim: %s board on %s%s%s; stop with Ctrl-C\n", options.chip.c_str(),
               port.c_str(), link.empty() ? "" : " via ", link.c_str());

  int signal = 0;
  sigwait(&stopSignals, &signal);

  board.Stop();
  if (!link.empty()) RemoveLink(link, port);
  return 0;
}
