// The simulator seen from the host side: the slave end of the pty is opened and driven with
// plain termios calls, as a serial port would be, without any of the front-end's code.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BoardSimulator.h"
#include "link/Commands.h"

namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using Bytes = std::vector<std::uint8_t>;
using namespace zr7;

constexpr int kReplyDeadlineMs = 1000;  // only reached when a reply is missing
constexpr int kSilenceMs = 150;         // the board answers within microseconds

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::uint8_t Lo(std::size_t v) { return static_cast<std::uint8_t>(v & 0xFF); }

// Distinct, non-FF bytes, so that a byte at the wrong place or a missed write shows.
Bytes Pattern(std::size_t n, std::uint8_t seed) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = Lo((seed + i * 7) % 0xFF);
  return out;
}

Bytes Slice(const Bytes& b, std::size_t from, std::size_t n) {
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
               b.begin() + static_cast<std::ptrdiff_t>(from + n));
}

// The host's end of the line: a raw 8N1 port at a chosen rate.
class HostPort {
 public:
  ~HostPort() { Close(); }

  bool Open(const std::string& path, speed_t speed) {
    Close();
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return false;
    // A port opened anew starts with an empty input queue.
    tcflush(fd_, TCIFLUSH);
    return SetSpeed(speed);
  }

  bool SetSpeed(speed_t speed) {
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) return false;
    cfmakeraw(&tio);
    cfsetspeed(&tio, speed);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return tcsetattr(fd_, TCSANOW, &tio) == 0;
  }

  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  void Send(const Bytes& bytes) {
    ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // Up to `count` bytes, as many as arrive before the deadline.
  Bytes Receive(std::size_t count, int deadlineMs = kReplyDeadlineMs) {
    Bytes out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs);
    while (out.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      std::uint8_t buf[512];
      ssize_t n = read(fd_, buf, std::min(sizeof buf, count - out.size()));
      if (n <= 0) break;
      out.insert(out.end(), buf, buf + n);
    }
    return out;
  }

  Bytes Exchange(const Bytes& command, std::size_t replyLength) {
    Send(command);
    return Receive(replyLength);
  }

  bool Silent() { return Receive(1, kSilenceMs).empty(); }

  // Reads until the line has been quiet for a while; returns the number of bytes read.
  std::size_t Drain() {
    std::size_t total = 0;
    for (Bytes chunk; !(chunk = Receive(4096, kSilenceMs)).empty();) total += chunk.size();
    return total;
  }

 private:
  int fd_ = -1;
};

class SimulatorTest : public ::testing::Test {
 protected:
  void StartBoard(zr7sim::SimOptions options = {}) {
    sim_ = std::make_unique<zr7sim::BoardSimulator>(std::move(options));
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
    ASSERT_TRUE(host_.Open(sim_->SlavePath(), B19200));
  }

  zr7sim::WireLog& Log() { return sim_->Log(); }

  std::vector<zr7sim::WireCommand> WaitCommands(std::size_t count) {
    EXPECT_TRUE(Log().WaitForCommands(count, 1s)) << Log().Format();
    return Log().Commands();
  }

  std::size_t NotesContaining(const std::string& text) {
    std::size_t n = 0;
    for (const std::string& note : Log().Notes()) n += note.find(text) != std::string::npos;
    return n;
  }

  // Returns once the log stops growing: the board is blocked on a full line.
  void WaitUntilBoardStalls() {
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    std::size_t seen = 0;
    while (std::chrono::steady_clock::now() < deadline) {
      usleep(20000);
      const std::size_t now = Log().Bytes().size();
      if (now == seen && now > 0) return;
      seen = now;
    }
    ADD_FAILURE() << "the board never blocked";
  }

  // A command that must be answered by CR.
  void Ack(const Bytes& command) {
    EXPECT_EQ(host_.Exchange(command, 1), kCr) << "command " << int(command.at(0));
  }

  // The opening of a session as the front-end makes it for an AVR: device code, address
  // counters at 0, mode, reset, programming enable.
  void OpenAvrSession(std::uint8_t deviceCode, bool polling = false) {
    Ack({CmdSetDevice, deviceCode});
    Ack({CmdSetAddress, 0, 0});
    Ack({CmdSetMode, 0, 0, static_cast<std::uint8_t>(polling)});
    EXPECT_EQ(host_.Exchange({CmdResetShort}, 1).size(), 1u);
    EXPECT_EQ(host_.Exchange({CmdEnableSync}, 1).size(), 1u);
  }

  void OpenAt89Session(std::uint8_t deviceCode, bool fourByteInstructions, bool polling = false) {
    Ack({CmdSetDevice, deviceCode});
    Ack({CmdSetAddress, 0, 0});
    Ack({CmdSetMode, 0, 0, static_cast<std::uint8_t>(polling)});
    EXPECT_EQ(host_.Exchange({CmdResetAlt}, 1).size(), 1u);
    if (fourByteInstructions)
      Ack({CmdSpi4, 0xAC, 0x53, 0x00, 0x00});
    else
      Ack({CmdSpi3, 0xAC, 0x53, 0x00});
  }

  // A '{' or '>' block; returns the board's answer.
  Bytes Block(std::uint8_t command, const Bytes& data) {
    Bytes out = {command, Lo(data.size())};
    out.insert(out.end(), data.begin(), data.end());
    return host_.Exchange(out, 1);
  }

  // `total` bytes through '}' or '<', in requests of up to 255.
  Bytes ReadBlocks(std::uint8_t command, std::size_t total) {
    Bytes out;
    while (out.size() < total) {
      const std::size_t n = std::min<std::size_t>(255, total - out.size());
      Bytes got = host_.Exchange({command, Lo(n)}, n);
      if (got.size() != n) {
        ADD_FAILURE() << "read stopped after " << out.size() + got.size() << " bytes";
        break;
      }
      out.insert(out.end(), got.begin(), got.end());
    }
    return out;
  }

  std::uint8_t SpiRead4(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    Bytes got = host_.Exchange({CmdSpiRead4, a, b, c}, 1);
    return got.empty() ? 0 : got[0];
  }

  // A Flash page as the front-end writes one: four quarters into the page buffer, then the
  // page write instruction for byte offset `offset`.
  void WritePage(std::size_t offset, const Bytes& page) {
    const std::size_t quarter = page.size() / 4;
    for (std::size_t k = 0; k < 4; ++k)
      EXPECT_EQ(Block(CmdWriteFlash, Slice(page, k * quarter, quarter)), kCr);
    Ack({CmdSpi4, 0x4C, Lo(offset >> 9), Lo(offset >> 1), 0x00});
  }

  void EndSession() { Ack({CmdEndSession}); }

  const Bytes kCr = {ReplyCr};
  const Bytes kEsc = {ReplyEsc};
  const Bytes kVersion = {CmdGetVersion};
  std::unique_ptr<zr7sim::BoardSimulator> sim_;
  HostPort host_;
};

// ---- Line rates ----------------------------------------------------------------------------

TEST_F(SimulatorTest, WakeAndVersionAt19200) {
  StartBoard();
  EXPECT_EQ(host_.Exchange({CmdWake, CmdGetVersion}, 3), Text("910"));

  auto commands = WaitCommands(2);
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].name, "CmdWake");
  EXPECT_TRUE(commands[0].reply.empty());
  EXPECT_EQ(commands[1].name, "CmdGetVersion");
  EXPECT_EQ(commands[1].reply, Text("910"));
  EXPECT_EQ(commands[1].baud, 19200u);
  auto bytes = Log().Bytes();
  ASSERT_EQ(bytes.size(), 5u);
  for (const auto& b : bytes) {
    EXPECT_EQ(b.hostBaud, 19200u);
    EXPECT_FALSE(b.dropped);
  }
  EXPECT_EQ(bytes[4].direction, zr7sim::Direction::BoardToHost);
  EXPECT_THAT(Log().Format(), HasSubstr("H>B 40  B>H 39 31 30  CmdGetVersion"));
}

TEST_F(SimulatorTest, ByteAtAnotherRateIsDroppedAndUnanswered) {
  StartBoard();
  ASSERT_TRUE(host_.SetSpeed(B115200));
  host_.Send(kVersion);
  EXPECT_TRUE(host_.Silent());
  ASSERT_TRUE(host_.SetSpeed(B19200));
  EXPECT_EQ(host_.Exchange(kVersion, 3), Text("910"));

  auto commands = WaitCommands(1);
  EXPECT_EQ(commands.size(), 1u);
  auto bytes = Log().Bytes();
  ASSERT_FALSE(bytes.empty());
  EXPECT_TRUE(bytes[0].dropped);
  EXPECT_EQ(bytes[0].hostBaud, 115200u);
  EXPECT_EQ(bytes[0].boardBaud, 19200u);
  EXPECT_THAT(Log().Format(), HasSubstr("H>B 40  dropped (host 115200, board 19200)"));
}

TEST_F(SimulatorTest, HighSpeedModeAcksAtOldRateThenListensOnlyAt115200) {
  StartBoard();
  EXPECT_EQ(host_.Exchange({CmdSetMode, 1, 4, 1}, 1), kCr);
  WaitCommands(1);
  auto state = sim_->State();
  EXPECT_EQ(state.baud, 115200u);
  EXPECT_EQ(state.sckCode, 4);
  EXPECT_TRUE(state.polling);
  auto ack = Log().Bytes().back();
  EXPECT_EQ(ack.direction, zr7sim::Direction::BoardToHost);
  EXPECT_EQ(ack.boardBaud, 19200u);
  EXPECT_FALSE(ack.dropped);

  host_.Send(kVersion);  // still at 19200: the board no longer understands it
  EXPECT_TRUE(host_.Silent());
  ASSERT_TRUE(host_.SetSpeed(B115200));
  EXPECT_EQ(host_.Exchange(kVersion, 3), Text("910"));

  EXPECT_EQ(host_.Exchange({CmdSetMode, 0, 255, 0}, 1), kCr);  // acknowledged at 115200
  WaitCommands(3);
  EXPECT_EQ(sim_->State().baud, 19200u);
  host_.Send(kVersion);
  EXPECT_TRUE(host_.Silent());
  ASSERT_TRUE(host_.SetSpeed(B19200));
  EXPECT_EQ(host_.Exchange(kVersion, 3), Text("910"));
}

TEST_F(SimulatorTest, BoardStateOutlivesTheHostsConnection) {
  StartBoard();
  EXPECT_EQ(host_.Exchange({CmdSetDevice, 2}, 1), kCr);
  EXPECT_EQ(host_.Exchange({CmdSetMode, 1, 0, 0}, 1), kCr);
  host_.Close();

  ASSERT_TRUE(host_.Open(sim_->SlavePath(), B19200));
  host_.Send(kVersion);
  EXPECT_TRUE(host_.Silent()) << "a board left at high speed must not answer at 19200";
  ASSERT_TRUE(host_.Open(sim_->SlavePath(), B115200));
  EXPECT_EQ(host_.Exchange(kVersion, 3), Text("910"));
  EXPECT_EQ(sim_->State().deviceCode, 2);
}

// ---- Decoding ------------------------------------------------------------------------------

TEST_F(SimulatorTest, CountedArgumentsKeepTheDecoderInStep) {
  StartBoard();
  OpenAvrSession(2);
  // Data bytes that are also command bytes: a decoder that miscounts answers them.
  const Bytes data = {CmdGetVersion, CmdWake, CmdGetIdent, ReplyCr};
  EXPECT_EQ(Block(CmdWriteEeprom, data), kCr);

  Bytes spiWrite = {CmdSpiWriteN, 0x01, 0x02};  // 258 bytes: the high count byte matters
  spiWrite.insert(spiWrite.end(), 258, CmdGetVersion);
  EXPECT_EQ(host_.Exchange(spiWrite, 1), kCr);
  EXPECT_EQ(host_.Exchange({CmdSpiReadN, 0x00, 0x03}, 4), Bytes({0xFF, 0xFF, 0xFF, ReplyCr}));

  EXPECT_EQ(host_.Exchange({CmdSetAddress, 0, 0}, 1), kCr);
  EXPECT_EQ(host_.Exchange({CmdReadEeprom, 4}, 4), data);
  EXPECT_EQ(host_.Exchange({CmdReadEeprom, 2}, 2), Bytes({0xFF, 0xFF}));  // the counter moved on
  EXPECT_EQ(host_.Exchange(kVersion, 3), Text("910"));
  EXPECT_TRUE(host_.Silent());

  auto commands = WaitCommands(12);
  ASSERT_EQ(commands.size(), 12u);
  EXPECT_EQ(commands[5].args.size(), 5u);
  EXPECT_EQ(commands[6].args.size(), 260u);
  EXPECT_EQ(sim_->State().commandsDecoded, 12u);
  EXPECT_EQ(NotesContaining("no chip select active"), 2u);  // an ATmega8 is no serial memory
}

TEST_F(SimulatorTest, UnknownCommandByteIsNotedAndIgnored) {
  StartBoard();
  EXPECT_EQ(host_.Exchange({0x00, 0xFF, CmdGetVersion}, 3), Text("910"));
  EXPECT_TRUE(host_.Silent());
  auto commands = WaitCommands(3);
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[0].name, "unknown");
  EXPECT_EQ(commands[1].code, 0xFF);
  EXPECT_EQ(NotesContaining("unknown command 0x00"), 1u);
  EXPECT_EQ(NotesContaining("unknown command 0xFF"), 1u);
  EXPECT_EQ(sim_->State().commandsDecoded, 1u);
}

// ---- Target chips --------------------------------------------------------------------------

Bytes Read4(std::uint8_t a, std::uint8_t b, std::uint8_t c) { return {CmdSpiRead4, a, b, c}; }

TEST_F(SimulatorTest, AvrAnswersSignatureAndCalibrationOnlyInProgrammingMode) {
  StartBoard();  // ATmega8: signature 1E 93 07, four calibration bytes
  EXPECT_EQ(host_.Exchange(Read4(0x30, 0, 0), 1), Bytes{0xFF});
  EXPECT_EQ(host_.Exchange({CmdResetShort}, 1).size(), 1u);
  EXPECT_EQ(host_.Exchange({CmdEnableSync}, 1), Bytes{0x53});
  WaitCommands(3);
  EXPECT_TRUE(sim_->State().programmingEnabled);
  EXPECT_TRUE(sim_->State().targetInReset);

  Bytes signature, calibration;
  for (std::uint8_t i = 0; i < 3; ++i) signature.push_back(host_.Exchange(Read4(0x30, 0, i), 1).at(0));
  for (std::uint8_t i = 0; i < 5; ++i) calibration.push_back(host_.Exchange(Read4(0x38, 0, i), 1).at(0));
  EXPECT_EQ(signature, Bytes({0x1E, 0x93, 0x07}));
  EXPECT_EQ(calibration, Bytes({0xA0, 0xA1, 0xA2, 0xA3, 0xFF}));

  EXPECT_EQ(host_.Exchange({CmdEndSession}, 1), kCr);
  EXPECT_EQ(host_.Exchange(Read4(0x30, 0, 0), 1), Bytes{0xFF});
  WaitCommands(13);
  EXPECT_FALSE(sim_->State().programmingEnabled);
  EXPECT_EQ(NotesContaining("outside programming mode"), 2u);
}

TEST_F(SimulatorTest, LockedAvrEnabledWithoutBoardSync) {
  zr7sim::SimOptions options;
  options.chip = "ATtiny13";  // two calibration bytes (data sheet; the table had one)
  options.locked = true;
  options.calibration = {0x5A, 0x5B};
  StartBoard(options);
  EXPECT_EQ(host_.Exchange({CmdResetTimed}, 1).size(), 1u);
  EXPECT_EQ(host_.Exchange({CmdSpi4, 0xAC, 0x53, 0x00, 0x00}, 1), kCr);
  Bytes signature;
  for (std::uint8_t i = 0; i < 3; ++i) signature.push_back(host_.Exchange(Read4(0x30, 0, i), 1).at(0));
  EXPECT_EQ(signature, Bytes({0x00, 0x01, 0x02}));
  EXPECT_EQ(host_.Exchange(Read4(0x38, 0, 0), 1), Bytes{0x5A});
  EXPECT_EQ(host_.Exchange(Read4(0x38, 0, 1), 1), Bytes{0x5B});
  EXPECT_EQ(host_.Exchange(Read4(0x38, 0, 2), 1), Bytes{0xFF});
  EXPECT_EQ(NotesContaining("programming enable while the board does not hold reset"), 0u);
}

TEST_F(SimulatorTest, AvrAnswersTheSignatureItWasGiven) {
  const struct {
    const char* chip;
    Bytes given;
    bool locked;
    Bytes answered;
  } cases[] = {
      {"ATmega644", {0x1E, 0x96, 0x09}, false, {0x1E, 0x96, 0x09}},
      {"ATmega2560/2561", {0x1E, 0x98, 0x01}, false, {0x1E, 0x98, 0x01}},
      {"ATmega644", {0x1E, 0x96, 0x09}, true, {0x00, 0x01, 0x02}},  // a locked chip still hides it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.chip) + (c.locked ? ", locked" : ""));
    zr7sim::SimOptions options;
    options.chip = c.chip;
    options.signature = {c.given.at(0), c.given.at(1), c.given.at(2)};
    options.locked = c.locked;
    StartBoard(options);
    EXPECT_EQ(host_.Exchange({CmdResetShort}, 1).size(), 1u);
    EXPECT_EQ(host_.Exchange({CmdEnableSync}, 1), Bytes{0x53});
    Bytes signature;
    for (std::uint8_t i = 0; i < 3; ++i) signature.push_back(host_.Exchange(Read4(0x30, 0, i), 1).at(0));
    EXPECT_EQ(signature, c.answered);
  }
}

TEST_F(SimulatorTest, ProgrammingEnableWithoutResetIsNoted) {
  StartBoard();
  EXPECT_EQ(host_.Exchange({CmdSpi4, 0xAC, 0x53, 0x00, 0x00}, 1), kCr);
  WaitCommands(1);
  EXPECT_EQ(NotesContaining("does not hold reset"), 1u);
  EXPECT_EQ(host_.Exchange({CmdResetAlt}, 1).size(), 1u);  // the wrong polarity for an AVR
  WaitCommands(2);
  EXPECT_EQ(NotesContaining("CmdResetAlt drives reset active high"), 1u);
}

struct At45Case {
  const char* chip;
  std::optional<std::uint8_t> statusOverride;
  std::uint8_t status;
};

void PrintTo(const At45Case& c, std::ostream* os) {
  *os << c.chip << (c.statusOverride ? " with status override" : "");
}

class At45StatusTest : public SimulatorTest, public ::testing::WithParamInterface<At45Case> {};

TEST_P(At45StatusTest, StatusReadThroughFlashSelect) {
  zr7sim::SimOptions options;
  options.chip = GetParam().chip;
  options.at45Status = GetParam().statusOverride;
  StartBoard(options);
  EXPECT_EQ(host_.Exchange({CmdFlashSelect}, 1), kCr);
  EXPECT_EQ(host_.Exchange({CmdSpiPut, 0x57}, 1), kCr);
  EXPECT_EQ(host_.Exchange({CmdSpiGet}, 1), Bytes{GetParam().status});
  EXPECT_EQ(host_.Exchange({CmdFlashDeselect}, 1), kCr);
  // The AT25 select line does not reach a DataFlash.
  EXPECT_EQ(host_.Exchange({CmdEepSelect}, 1), kCr);
  EXPECT_EQ(host_.Exchange({CmdSpiPut, 0x57}, 1), kCr);
  EXPECT_EQ(host_.Exchange({CmdSpiGet}, 1), Bytes{0xFF});
  WaitCommands(7);
  EXPECT_EQ(NotesContaining("a chip select the target is not on"), 2u);
}

INSTANTIATE_TEST_SUITE_P(Chips, At45StatusTest,
                         ::testing::Values(At45Case{"AT45DB041", std::nullopt, 0x9C},
                                           At45Case{"AT45DB642", std::nullopt, 0xBC},
                                           At45Case{"AT45DB041", 0xFF, 0xFF}));

TEST(SimulatorStart, UnknownChipIsRefusedWithItsName) {
  zr7sim::SimOptions options;
  options.chip = "ATmega9";
  zr7sim::BoardSimulator sim(options);
  std::string error;
  EXPECT_FALSE(sim.Start(&error));
  EXPECT_THAT(error, HasSubstr("ATmega9"));
}

// ---- Board identity and injected faults ----------------------------------------------------

TEST_F(SimulatorTest, IdentSerialAndFirmwareChange) {
  StartBoard();
  Bytes ident = {8};
  for (std::uint8_t c : Text("ZR7 9.10")) ident.push_back(c);
  ident.push_back(ReplyCr);
  EXPECT_EQ(host_.Exchange({CmdGetIdent}, ident.size()), ident);
  EXPECT_EQ(host_.Exchange({CmdGetSerial}, 6), Bytes({0x01, 0x23, 0x45, 0x67, 0x89, ReplyCr}));
  sim_->SetFirmware("ldr");
  EXPECT_EQ(host_.Exchange(kVersion, 3), Text("ldr"));

  zr7sim::SimFaults faults;
  faults.noIdentReply = true;
  faults.noSerialReply = true;
  sim_->SetFaults(faults);
  host_.Send({CmdGetIdent});
  EXPECT_TRUE(host_.Silent());
  host_.Send({CmdGetSerial});
  EXPECT_TRUE(host_.Silent());
  EXPECT_EQ(host_.Exchange(kVersion, 3), Text("ldr"));
}

TEST_F(SimulatorTest, SilentAfterBytes) {
  zr7sim::SimOptions options;
  options.faults.silentAfterBytes = 2;
  StartBoard(options);
  EXPECT_EQ(host_.Exchange({CmdWake, CmdGetVersion}, 3), Text("910"));
  host_.Send({CmdGetVersion, CmdGetVersion});
  EXPECT_TRUE(host_.Silent());
  EXPECT_EQ(Log().Bytes().size(), 7u);  // the ignored bytes still crossed the line
  EXPECT_EQ(NotesContaining("silent after 2 host bytes"), 1u);
  EXPECT_EQ(sim_->State().commandsDecoded, 2u);
}

TEST_F(SimulatorTest, BadAckSpoilsOnlyTheChosenCommandsCr) {
  zr7sim::SimOptions options;
  options.faults.badAckAtCommand = 2;
  StartBoard(options);
  EXPECT_EQ(host_.Exchange({CmdSetDevice, 2}, 1), kCr);
  EXPECT_EQ(host_.Exchange({CmdSetAddress, 0, 0}, 1), Bytes{0x3F});
  EXPECT_EQ(host_.Exchange({CmdSetDevice, 2}, 1), kCr);
  EXPECT_EQ(host_.Exchange({CmdSpiReadN, 0, 1}, 2), Bytes({0xFF, ReplyCr}));

  zr7sim::SimFaults faults;
  faults.badAckAtCommand = 5;  // counted since Start, so the next command
  sim_->SetFaults(faults);
  EXPECT_EQ(host_.Exchange(kVersion, 3), Text("910"));  // data is never altered
  faults.badAckAtCommand = 6;
  sim_->SetFaults(faults);
  EXPECT_EQ(host_.Exchange({CmdSpiReadN, 0, 1}, 2), Bytes({0xFF, 0x3F}));
  WaitCommands(6);
  EXPECT_EQ(NotesContaining("no CR acknowledgement to spoil"), 1u);
}

// ---- Lifetime ------------------------------------------------------------------------------

TEST_F(SimulatorTest, ReplyBytesAfterTheHostChangesRateAreDropped) {
  StartBoard();
  // Two 64 KiB replies overfill the pty while the host reads nothing, so the board is still
  // transmitting when the host switches to 115200.
  host_.Send({CmdSpiReadN, 0xFF, 0xFF, CmdSpiReadN, 0xFF, 0xFF});
  WaitUntilBoardStalls();
  ASSERT_TRUE(host_.SetSpeed(B115200));
  const std::size_t received = host_.Drain();

  auto commands = WaitCommands(2);
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_GT(received, 0u);
  EXPECT_EQ(commands[0].reply.size() + commands[1].reply.size(), received);
  std::size_t dropped = 0;
  for (const auto& b : Log().Bytes())
    if (b.dropped) {
      EXPECT_EQ(b.direction, zr7sim::Direction::BoardToHost);
      EXPECT_EQ(b.hostBaud, 115200u);
      ++dropped;
    }
  EXPECT_GT(dropped, 0u);
  EXPECT_EQ(received + dropped, 2u * (0xFFFF + 1));
}

TEST_F(SimulatorTest, StopIsPromptWhileTheBoardIsBlockedWriting) {
  StartBoard();
  host_.Send({CmdSpiReadN, 0xFF, 0xFF, CmdSpiReadN, 0xFF, 0xFF});
  WaitUntilBoardStalls();
  const auto stopAt = std::chrono::steady_clock::now();
  sim_->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 500ms);
}

// ---- AVR memories --------------------------------------------------------------------------

TEST_F(SimulatorTest, AvrPagesGoThroughThePageBufferToTheAddressedPage) {
  StartBoard();  // ATmega8: 32-word pages of 64 bytes
  const Bytes page0 = Pattern(64, 1), page2 = Pattern(64, 2);
  OpenAvrSession(2);
  Ack({CmdSetByteDelay, 185});
  Ack({CmdSetAddress, 0, 0});
  for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(Block(CmdWriteFlash, Slice(page0, 16 * k, 16)), kCr);
  EXPECT_EQ(sim_->FlashContents()[0], 0xFF) << "a page load must not reach the Flash";
  Ack({CmdSpi4, 0x4C, 0x00, 0x00, 0x00});
  // Page 1 is all FF: nothing is sent for it, so the board's counter skips it too.
  WritePage(128, page2);
  EndSession();

  OpenAvrSession(2);  // the address counters start from 0 again
  Ack({CmdSetByteDelay, 185});
  const Bytes read = ReadBlocks(CmdReadFlash, 192);
  EXPECT_EQ(Slice(read, 0, 64), page0);
  EXPECT_EQ(Slice(read, 64, 64), Bytes(64, 0xFF));
  EXPECT_EQ(Slice(read, 128, 64), page2);
  EXPECT_EQ(Slice(sim_->FlashContents(), 0, 192), read);

  // Without an erase, programming Flash can only clear bits.
  Ack({CmdSetAddress, 0, 0});
  WritePage(0, Bytes(64, 0x0F));
  Bytes cleared = page0;
  for (auto& b : cleared) b &= 0x0F;
  EXPECT_EQ(Slice(sim_->FlashContents(), 0, 64), cleared);
}

TEST_F(SimulatorTest, WrongDeviceCodeMakesTheBoardPollPageLoads) {
  StartBoard();  // an ATmega8 wants code 2: its Flash bytes are page loads
  OpenAvrSession(0, /*polling=*/true);
  Ack({CmdSetByteDelay, 185});
  EXPECT_EQ(Block(CmdWriteFlash, Pattern(16, 3)), kEsc);
  EndSession();
  OpenAvrSession(2, /*polling=*/true);
  Ack({CmdSetByteDelay, 185});
  EXPECT_EQ(Block(CmdWriteFlash, Pattern(16, 3)), kCr);
  EXPECT_EQ(NotesContaining("does not match the target"), 1u);
  EXPECT_EQ(NotesContaining("polling failed"), 1u);
}

TEST_F(SimulatorTest, Mega2560PagesAbove128KNeedTheExtendedAddress) {
  zr7sim::SimOptions options;
  options.chip = "ATmega2560/2561";  // 128-word pages of 256 bytes
  StartBoard(options);
  constexpr std::size_t kBank = 128 * 1024;
  const Bytes upper = Pattern(256, 4), misplaced = Pattern(256, 5);
  OpenAvrSession(2);
  Ack({CmdSetByteDelay, 185});
  Ack({CmdSpi4, 0x4D, 0x00, 0x01, 0x00});
  WritePage(kBank, upper);
  EndSession();
  OpenAvrSession(2);            // the reset sets the extended address back to 0
  WritePage(kBank, misplaced);  // 4C 00 00 00 alone addresses page 0
  EndSession();

  const Bytes flash = sim_->FlashContents();
  ASSERT_EQ(flash.size(), 2 * kBank);
  EXPECT_EQ(Slice(flash, kBank, 256), upper);
  EXPECT_EQ(Slice(flash, 0, 256), misplaced);

  // Reading on past 128 KB, the board loads the extended address itself.
  OpenAvrSession(2);
  const Bytes read = ReadBlocks(CmdReadFlash, kBank + 256);
  EXPECT_EQ(Slice(read, 0, 256), misplaced);
  EXPECT_EQ(Slice(read, kBank, 256), upper);
}

TEST_F(SimulatorTest, ByteModeWritesArePolledByReadingBack) {
  zr7sim::SimOptions options;
  options.chip = "AT90S2313";  // no Flash pages
  StartBoard(options);
  const Bytes code = Pattern(64, 6), data = Pattern(64, 7);
  OpenAvrSession(0, /*polling=*/true);
  Ack({CmdSetByteDelay, 185});
  EXPECT_EQ(Block(CmdWriteFlash, code), kCr);
  EXPECT_EQ(Block(CmdWriteEeprom, data), kCr);
  EndSession();

  OpenAvrSession(0, /*polling=*/true);
  EXPECT_EQ(ReadBlocks(CmdReadFlash, 64), code);
  EXPECT_EQ(ReadBlocks(CmdReadEeprom, 64), data);
  // An Eeprom byte is erased as it is written. A Flash byte needs a chip erase first: setting
  // its bits again never reads back, and the board gives up at that byte.
  Ack({CmdSetAddress, 0, 0});
  EXPECT_EQ(Block(CmdWriteEeprom, Bytes(8, 0x5A)), kCr);
  EXPECT_EQ(Block(CmdWriteFlash, Bytes(8, 0x5A)), kEsc);
  EXPECT_EQ(Slice(sim_->EepromContents(), 0, 8), Bytes(8, 0x5A));
  const Bytes flash = sim_->FlashContents();
  EXPECT_EQ(flash[0], code[0] & 0x5A);
  EXPECT_EQ(flash[1], code[1]) << "the bytes after a failed poll are not written";
}

TEST_F(SimulatorTest, LockAndFuseBytesAreKeptAndReadBack) {
  StartBoard();  // ATmega8: lock byte as the instruction's last byte, two fuse bytes
  OpenAvrSession(2);
  Ack({CmdSpi4, 0xAC, 0xA0, 0xFF, 0xE1});
  Ack({CmdSpi4, 0xAC, 0xA8, 0xFF, 0xD9});
  EXPECT_EQ(SpiRead4(0x50, 0x00, 0x00), 0xE1);
  EXPECT_EQ(SpiRead4(0x58, 0x08, 0x00), 0xD9);
  Ack({CmdSpi4, 0xAC, 0xFF, 0xFF, 0xFE});  // LB1: no more programming
  Ack({CmdSpi4, 0xAC, 0xFF, 0xFF, 0xFF});  // lock bits are not unprogrammed but by an erase
  EXPECT_EQ(SpiRead4(0x58, 0x00, 0x00), 0xFE);
  EXPECT_EQ(Block(CmdWriteEeprom, Bytes(4, 0x11)), kCr);
  EXPECT_EQ(sim_->EepromContents()[0], 0xFF);
  const zr7sim::ChipLockState lock = sim_->LockState();
  EXPECT_TRUE(lock.writeProtected);
  EXPECT_FALSE(lock.readProtected);
  EXPECT_EQ(lock.fuses, (std::array<std::uint8_t, 3>{0xE1, 0xD9, 0xFF}));

  // The first generation: LB1 and LB2 in bits 1 and 2 of the second byte, one fuse byte.
  zr7sim::SimOptions tiny;
  tiny.chip = "ATtiny12";
  StartBoard(tiny);
  OpenAvrSession(4);
  Ack({CmdSpi4, 0xAC, 0xBF, 0xFF, 0x52});
  Ack({CmdSpi4, 0xAC, 0xFD, 0x00, 0x00});  // LB1
  EXPECT_EQ(SpiRead4(0x50, 0xFF, 0xFF), 0x52);
  EXPECT_EQ(SpiRead4(0x58, 0xFF, 0xFF), 0xFD);
  EXPECT_EQ(sim_->LockState().lockBits, 0xFE);
}

struct EraseCase {
  const char* chip;
  std::uint8_t deviceCode;
  std::vector<Bytes> erase;  // the instructions the front-end sends
  Bytes signature;
};

void PrintTo(const EraseCase& c, std::ostream* os) { *os << c.chip; }

class EraseTest : public SimulatorTest, public ::testing::WithParamInterface<EraseCase> {};

TEST_P(EraseTest, LockedChipIsHiddenUntilTheEraseClearsEverything) {
  const EraseCase& c = GetParam();
  zr7sim::SimOptions options;
  options.chip = c.chip;
  options.locked = true;
  StartBoard(options);
  const Bytes code = Pattern(64, 8), data = Pattern(16, 9);
  ASSERT_TRUE(sim_->SetFlashContents(0, code));
  ASSERT_TRUE(sim_->SetEepromContents(0, data));
  OpenAvrSession(c.deviceCode);
  Bytes signature;
  for (std::uint8_t i = 0; i < 3; ++i) signature.push_back(SpiRead4(0x30, 0x00, i));
  EXPECT_EQ(signature, Bytes({0x00, 0x01, 0x02}));
  const Bytes hidden = ReadBlocks(CmdReadFlash, 64);
  EXPECT_NE(hidden, code);
  EXPECT_NE(hidden, Bytes(64, 0xFF));

  for (const Bytes& instruction : c.erase) Ack(instruction);
  EXPECT_EQ(sim_->FlashContents(), Bytes(sim_->FlashContents().size(), 0xFF));
  EXPECT_EQ(sim_->EepromContents(), Bytes(sim_->EepromContents().size(), 0xFF));
  EXPECT_EQ(sim_->LockState().lockBits, 0xFF);
  EndSession();

  OpenAvrSession(c.deviceCode);
  signature.clear();
  for (std::uint8_t i = 0; i < 3; ++i) signature.push_back(SpiRead4(0x30, 0x00, i));
  EXPECT_EQ(signature, c.signature);
}

const Bytes kAvrErase = {CmdSpi4, 0xAC, 0x80, 0x04, 0x00};
const Bytes kTinyEraseFix = {CmdSpi4, 0x40, 0x00, 0x00, 0xFF};

INSTANTIATE_TEST_SUITE_P(
    Chips, EraseTest,
    ::testing::Values(EraseCase{"ATmega8", 2, {kAvrErase}, {0x1E, 0x93, 0x07}},
                      EraseCase{"ATtiny12", 4, {kAvrErase, kTinyEraseFix, kAvrErase}, {0x1E, 0x90, 0x05}},
                      EraseCase{"ATtiny26", 0, {kAvrErase, kTinyEraseFix, kAvrErase}, {0x1E, 0x91, 0x09}}));

// ---- AT89S ---------------------------------------------------------------------------------

TEST_F(SimulatorTest, At89S51ByteWritesReadsSignatureAndLock) {
  zr7sim::SimOptions options;
  options.chip = "AT89S51";
  StartBoard(options);
  OpenAt89Session(1, true);
  Bytes signature;
  for (std::uint8_t i = 0; i < 3; ++i) signature.push_back(SpiRead4(0x28, i, 0x00));
  EXPECT_EQ(signature, Bytes({0x1E, 0x51, 0x06}));

  Ack({CmdSpi4, 0x40, 0x00, 0x00, 0x12});
  Ack({CmdSpi4, 0x40, 0x0F, 0xFF, 0x34});
  Ack({CmdSpi4, 0x40, 0x01, 0x23, 0xF5});
  Ack({CmdSpi4, 0x40, 0x01, 0x23, 0x0F});  // Flash: only clears bits
  EXPECT_EQ(SpiRead4(0x20, 0x00, 0x00), 0x12);
  EXPECT_EQ(SpiRead4(0x20, 0x0F, 0xFF), 0x34);
  EXPECT_EQ(SpiRead4(0x20, 0x01, 0x23), 0x05);
  EXPECT_EQ(sim_->FlashContents()[0x0FFF], 0x34);

  Ack({CmdSpi4, 0xAC, 0xE1, 0x00, 0xFF});  // LB1
  EXPECT_EQ(SpiRead4(0x24, 0x00, 0x00), 0x04);
  Ack({CmdSpi4, 0x40, 0x00, 0x01, 0x00});
  EXPECT_EQ(SpiRead4(0x20, 0x00, 0x01), 0xFF) << "a locked chip takes no more writes";

  Ack({CmdSpi4, 0xAC, 0x80, 0x04, 0x00});
  EXPECT_EQ(SpiRead4(0x20, 0x00, 0x00), 0xFF);
  EXPECT_EQ(SpiRead4(0x24, 0x00, 0x00), 0x00);
}

TEST_F(SimulatorTest, At89S8252BlocksUseItsThreeByteInstructions) {
  zr7sim::SimOptions options;
  options.chip = "AT89S8252";
  StartBoard(options);
  const Bytes code = Pattern(320, 10), data = Pattern(130, 11);  // past 256: high address bits
  OpenAt89Session(1, false, /*polling=*/true);
  Ack({CmdSetByteDelay, 161});
  for (std::size_t o = 0; o < code.size(); o += 64) EXPECT_EQ(Block(CmdWriteFlash, Slice(code, o, 64)), kCr);
  Ack({CmdSetByteDelay, 185});
  EXPECT_EQ(Block(CmdWriteEeprom, Slice(data, 0, 64)), kCr);
  EXPECT_EQ(Block(CmdWriteEeprom, Slice(data, 64, 64)), kCr);
  EXPECT_EQ(Block(CmdWriteEeprom, Slice(data, 128, 2)), kCr);
  EXPECT_EQ(Slice(sim_->FlashContents(), 0, 320), code);
  EXPECT_EQ(Slice(sim_->EepromContents(), 0, 130), data);
  Ack({CmdSetAddress, 0, 0});
  EXPECT_EQ(ReadBlocks(CmdReadFlash, 320), code);
  EXPECT_EQ(ReadBlocks(CmdReadEeprom, 130), data);

  // The erase as the front-end sends it: a fifth byte that no instruction has room for.
  host_.Send({CmdSpi3, 0xAC, 0x04, 0x00, 0x00});
  EXPECT_EQ(host_.Receive(1), kCr);
  EXPECT_TRUE(host_.Silent());
  EXPECT_EQ(sim_->FlashContents(), Bytes(8192, 0xFF));
  EXPECT_EQ(sim_->EepromContents(), Bytes(2048, 0xFF));
  EXPECT_EQ(NotesContaining("unknown command 0x00"), 1u);
}

TEST_F(SimulatorTest, At89S53ReadsReachPast8KThroughAddressBit13) {
  zr7sim::SimOptions options;
  options.chip = "AT89S53";  // 12 KB
  StartBoard(options);
  const Bytes top = Pattern(64, 12);
  ASSERT_TRUE(sim_->SetFlashContents(0x2000, top));
  OpenAt89Session(3, false);
  Ack({CmdSetByteDelay, 161});
  const Bytes read = ReadBlocks(CmdReadFlash, 0x2040);
  EXPECT_EQ(Slice(read, 0, 64), Bytes(64, 0xFF));
  EXPECT_EQ(Slice(read, 0x2000, 64), top);
}

// ---- Serial memories -----------------------------------------------------------------------

TEST_F(SimulatorTest, At25WritesNeedTheLatchWrapInThePageAndStartAtDeselect) {
  zr7sim::SimOptions options;
  options.chip = "AT25256";  // 64-byte pages, 32 KB
  StartBoard(options);
  auto put = [&](std::uint8_t b) { Ack({CmdSpiPut, b}); };
  auto transaction = [&](const Bytes& bytes) {
    Ack({CmdEepSelect});
    for (std::uint8_t b : bytes) put(b);
    Ack({CmdEepDeselect});
  };
  auto status = [&] {
    Ack({CmdEepSelect});
    put(0x05);
    const Bytes s = host_.Exchange({CmdSpiGet}, 1);
    Ack({CmdEepDeselect});
    return s;
  };

  transaction({0x02, 0x00, 0x10, 0x11});  // no write enable
  transaction({0x06});
  transaction({0x04});                    // and disabled again
  transaction({0x02, 0x00, 0x10, 0x11});
  EXPECT_EQ(sim_->EepromContents()[0x10], 0xFF);
  EXPECT_EQ(NotesContaining("without the write enable latch"), 2u);

  transaction({0x06});
  EXPECT_EQ(status(), Bytes{0x02});
  // Eight bytes from offset 60 of page 1: four up to its end, four from its start.
  Ack({CmdEepSelect});
  for (std::uint8_t b : Bytes{0x02, 0x00, 0x7C}) put(b);
  for (std::uint8_t i = 0; i < 8; ++i) put(0xA0 + i);
  EXPECT_EQ(sim_->EepromContents()[0x7C], 0xFF) << "nothing is written before the deselect";
  Ack({CmdEepDeselect});
  const Bytes eeprom = sim_->EepromContents();
  EXPECT_EQ(Slice(eeprom, 0x7C, 4), Bytes({0xA0, 0xA1, 0xA2, 0xA3}));
  EXPECT_EQ(Slice(eeprom, 0x40, 4), Bytes({0xA4, 0xA5, 0xA6, 0xA7}));
  EXPECT_EQ(eeprom[0x80], 0xFF);
  EXPECT_EQ(status(), Bytes{0x00}) << "the write clears the latch";

  // A read runs on across the end of the memory.
  ASSERT_TRUE(sim_->SetEepromContents(0x7FFE, Bytes{0x01, 0x02}));
  ASSERT_TRUE(sim_->SetEepromContents(0x0000, Bytes{0x03, 0x04}));
  Ack({CmdEepSelect});
  for (std::uint8_t b : Bytes{0x03, 0x7F, 0xFE}) put(b);
  Bytes read;
  for (int i = 0; i < 4; ++i) read.push_back(host_.Exchange({CmdSpiGet}, 1).at(0));
  Ack({CmdEepDeselect});
  EXPECT_EQ(read, Bytes({0x01, 0x02, 0x03, 0x04}));
}

struct At45Layout {
  const char* chip;
  std::size_t pageSize;
  unsigned shift;
  std::size_t pages;
};

void PrintTo(const At45Layout& c, std::ostream* os) { *os << c.chip; }

class At45MemoryTest : public SimulatorTest, public ::testing::WithParamInterface<At45Layout> {
 protected:
  void Spi(const Bytes& bytes) {
    Bytes command = {CmdSpiWriteN, Lo(bytes.size() >> 8), Lo(bytes.size())};
    command.insert(command.end(), bytes.begin(), bytes.end());
    Ack(command);
  }
  // The 24-bit address the front-end sends for a page: page << shift, then a zero byte.
  Bytes Address(std::size_t page) {
    const std::size_t a = page << GetParam().shift;
    return {Lo(a >> 8), Lo(a), 0x00};
  }
  void Transaction(std::uint8_t opcode, std::size_t page, const Bytes& more = {}) {
    Bytes bytes = {opcode};
    for (std::uint8_t b : Address(page)) bytes.push_back(b);
    bytes.insert(bytes.end(), more.begin(), more.end());
    Ack({CmdFlashSelect});
    Spi(bytes);
    Ack({CmdFlashDeselect});
  }
};

TEST_P(At45MemoryTest, BufferWritePageProgramContinuousReadAndBlockErase) {
  const At45Layout& c = GetParam();
  zr7sim::SimOptions options;
  options.chip = c.chip;
  StartBoard(options);
  ASSERT_EQ(sim_->FlashContents().size(), c.pages * c.pageSize);
  const Bytes page9 = Pattern(c.pageSize, 13), page7 = Pattern(c.pageSize, 14),
              page16 = Pattern(c.pageSize, 15);
  ASSERT_TRUE(sim_->SetFlashContents(7 * c.pageSize, page7));
  ASSERT_TRUE(sim_->SetFlashContents(16 * c.pageSize, page16));

  // Page 9 as the front-end programs it: buffer 1 from offset 0, then the buffer to the page.
  Ack({CmdFlashSelect});
  Spi({0x84, 0x00, 0x00, 0x00});
  Spi(page9);
  Ack({CmdFlashDeselect});
  EXPECT_EQ(Slice(sim_->FlashContents(), 9 * c.pageSize, c.pageSize), Bytes(c.pageSize, 0xFF))
      << "only the buffer holds the data yet";
  Transaction(0x83, 9);
  EXPECT_EQ(Slice(sim_->FlashContents(), 9 * c.pageSize, c.pageSize), page9);

  // A continuous read runs on from page to page.
  Ack({CmdFlashSelect});
  Bytes e8 = {0xE8};
  for (std::uint8_t b : Address(7)) e8.push_back(b);
  e8.insert(e8.end(), 4, 0x00);
  Spi(e8);
  Bytes read;
  for (int p = 0; p < 3; ++p) {
    const Bytes got = host_.Exchange({CmdSpiReadN, Lo(c.pageSize >> 8), Lo(c.pageSize)}, c.pageSize + 1);
    ASSERT_EQ(got.size(), c.pageSize + 1);
    EXPECT_EQ(got.back(), ReplyCr);
    read.insert(read.end(), got.begin(), got.end() - 1);
  }
  Ack({CmdFlashDeselect});
  EXPECT_EQ(Slice(read, 0, c.pageSize), page7);
  EXPECT_EQ(Slice(read, c.pageSize, c.pageSize), Bytes(c.pageSize, 0xFF));
  EXPECT_EQ(Slice(read, 2 * c.pageSize, c.pageSize), page9);

  // A block erase clears the eight pages of its block, 8 to 15, and no others.
  Transaction(0x50, 8);
  const Bytes flash = sim_->FlashContents();
  EXPECT_EQ(Slice(flash, 7 * c.pageSize, c.pageSize), page7);
  EXPECT_EQ(Slice(flash, 8 * c.pageSize, 8 * c.pageSize), Bytes(8 * c.pageSize, 0xFF));
  EXPECT_EQ(Slice(flash, 16 * c.pageSize, c.pageSize), page16);
}

INSTANTIATE_TEST_SUITE_P(Chips, At45MemoryTest,
                         ::testing::Values(At45Layout{"AT45DB041", 264, 1, 2048},
                                           At45Layout{"AT45DB161", 528, 2, 4096},
                                           At45Layout{"AT45DB642", 1056, 3, 8192}));

// ---- Faults --------------------------------------------------------------------------------

TEST_F(SimulatorTest, EscOnTheKthDataBlockWritesNothingOfIt) {
  zr7sim::SimOptions options;
  options.faults.escAtDataBlock = 2;
  StartBoard(options);
  OpenAvrSession(2);
  EXPECT_EQ(Block(CmdWriteEeprom, Bytes(4, 0x11)), kCr);
  EXPECT_EQ(Block(CmdWriteEeprom, Bytes(4, 0x22)), kEsc);
  EXPECT_EQ(Block(CmdWriteFlash, Bytes(4, 0x33)), kCr);  // '{' blocks are counted too
  EXPECT_EQ(Slice(sim_->EepromContents(), 0, 8),
            Bytes({0x11, 0x11, 0x11, 0x11, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(sim_->State().dataBlocks, 3u);
  EXPECT_EQ(NotesContaining("fault: data block 2 "), 1u);
}

TEST_F(SimulatorTest, SilenceInTheMiddleOfABlock) {
  zr7sim::SimOptions options;
  options.faults.silentAfterBytes = 11 + 9;  // the session's opening, then 9 bytes of the block
  StartBoard(options);
  OpenAvrSession(2);
  Bytes block = {CmdWriteEeprom, 16};
  for (std::uint8_t b : Pattern(16, 16)) block.push_back(b);
  host_.Send(block);
  EXPECT_TRUE(host_.Silent());
  EXPECT_EQ(sim_->EepromContents()[0], 0xFF);
  EXPECT_EQ(sim_->State().commandsDecoded, 5u);
}

// ---- Persistence ---------------------------------------------------------------------------

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "zr7sim-" + name + "-" + std::to_string(getpid());
}

TEST_F(SimulatorTest, StateFileCarriesTheChipToTheNextSimulator) {
  const std::string path = TempPath("state");
  std::filesystem::remove(path);
  zr7sim::SimOptions options;
  options.statePath = path;
  const Bytes data = Pattern(32, 17);
  StartBoard(options);
  OpenAvrSession(2);
  EXPECT_EQ(Block(CmdWriteEeprom, data), kCr);
  Ack({CmdSpi4, 0xAC, 0xFF, 0xFF, 0xFC});  // LB1 and LB2
  EXPECT_FALSE(std::filesystem::exists(path));
  EndSession();
  EXPECT_TRUE(std::filesystem::exists(path)) << "saved when the session ended";

  StartBoard(options);  // another simulator on the same file
  EXPECT_EQ(Slice(sim_->EepromContents(), 0, 32), data);
  EXPECT_EQ(sim_->LockState().lockBits, 0xFC);
  OpenAvrSession(2);
  EXPECT_EQ(SpiRead4(0x30, 0x00, 0x01), 0x01) << "still locked";
  sim_.reset();

  // A state made for another chip is refused, not guessed at.
  options.chip = "ATtiny13";
  zr7sim::BoardSimulator other(options);
  std::string error;
  EXPECT_FALSE(other.Start(&error));
  EXPECT_THAT(error, HasSubstr("ATmega8"));
  std::filesystem::remove(path);
}

TEST_F(SimulatorTest, ImagesPreloadTheMemories) {
  const std::string path = TempPath("image");
  const Bytes image = Pattern(100, 18);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), 100);
  zr7sim::SimOptions options;
  options.flashImage = options.eepromImage = path;
  StartBoard(options);
  OpenAvrSession(2);
  const Bytes flash = ReadBlocks(CmdReadFlash, 128);
  EXPECT_EQ(Slice(flash, 0, 100), image);
  EXPECT_EQ(Slice(flash, 100, 28), Bytes(28, 0xFF));
  EXPECT_EQ(ReadBlocks(CmdReadEeprom, 100), image);
  sim_.reset();

  options.chip = "ATtiny13";  // 64 bytes of Eeprom
  zr7sim::BoardSimulator small(options);
  std::string error;
  EXPECT_FALSE(small.Start(&error));
  EXPECT_THAT(error, HasSubstr("holds 100 bytes"));
  std::filesystem::remove(path);
}

// ---- Real timing ---------------------------------------------------------------------------

// The fastest of up to three runs of `exchange`, in ms: a late wake-up on a busy machine only
// ever adds time, so this is the board's own pace; pacing that drifts is slow in every run.
template <typename Exchange>
double FastestMs(double expectedMs, Exchange exchange) {
  double fastest = 1e9;
  for (int run = 0; run < 3 && fastest > expectedMs * 1.03; ++run) {
    const auto start = std::chrono::steady_clock::now();
    exchange();
    const auto end = std::chrono::steady_clock::now();
    fastest = std::min(fastest, std::chrono::duration<double, std::milli>(end - start).count());
  }
  return fastest;
}

constexpr double kByteMsAt19200 = 10 * 1000.0 / 19200;

TEST_F(SimulatorTest, RealTimingPacesEveryByteAtTheBaudRate) {
  zr7sim::SimOptions options;
  options.timing = zr7sim::Timing::Real;
  StartBoard(options);
  const double wire = 102 * kByteMsAt19200;  // 2 bytes in, 100 out: 53.1 ms
  const double ms = FastestMs(wire, [&] { EXPECT_EQ(host_.Exchange({CmdReadFlash, 100}, 100).size(), 100u); });
  // Never faster than the wire; the upper bound only catches a pacing that adds up (a loaded
  // machine delays the wake-ups, which is what the fastest of several runs smooths out).
  EXPECT_GE(ms, wire * 0.99);
  EXPECT_LE(ms, wire * 1.5);
}

TEST_F(SimulatorTest, RealTimingWaitsTheByteDelayOfW) {
  zr7sim::SimOptions options;
  options.chip = "AT90S2313";
  options.timing = zr7sim::Timing::Real;
  StartBoard(options);
  OpenAvrSession(0);             // polling off: the board waits the delay after each byte
  Ack({CmdSetByteDelay, 161});   // (255 - 14 * 25) mod 256: 25 ms
  const double expected = 5 * kByteMsAt19200 + 2 * 25;  // 4 bytes in, CR out, two delays
  const double ms = FastestMs(expected, [&] { EXPECT_EQ(Block(CmdWriteEeprom, {0x01, 0x02}), kCr); });
  EXPECT_GE(ms, expected * 0.99);
  EXPECT_LE(ms, expected * 1.5);
}

TEST_F(SimulatorTest, RealTimingKeepsAnAt25BusyThroughItsWriteCycle) {
  zr7sim::SimOptions options;
  options.chip = "AT25256";
  options.timing = zr7sim::Timing::Real;
  StartBoard(options);
  // In one burst, as a host that does not wait would send it: write enable, a one-byte write,
  // and straight after it another write enable and a status read, 8 byte times (4.2 ms) later.
  const Bytes burst = {CmdEepSelect, CmdSpiPut, 0x06, CmdEepDeselect,
                       CmdEepSelect, CmdSpiPut, 0x02, CmdSpiPut, 0x00, CmdSpiPut, 0x00,
                       CmdSpiPut,    0xAB,      CmdEepDeselect,
                       CmdEepSelect, CmdSpiPut, 0x06, CmdEepDeselect,
                       CmdEepSelect, CmdSpiPut, 0x05, CmdSpiGet};
  host_.Send(burst);
  const Bytes replies = host_.Receive(15);
  ASSERT_EQ(replies.size(), 15u);
  EXPECT_EQ(replies.back(), 0x01) << "busy, and the write enable sent meanwhile was ignored";
  Ack({CmdEepDeselect});

  usleep(6000);
  Ack({CmdEepSelect});
  Ack({CmdSpiPut, 0x05});
  EXPECT_EQ(host_.Exchange({CmdSpiGet}, 1), Bytes{0x00});
  Ack({CmdEepDeselect});
  EXPECT_EQ(sim_->EepromContents()[0], 0xAB);
}

TEST_F(SimulatorTest, RealTimingLoaderLosesABlockSentDuringItsPageWrite) {
  // The loader writes a page after every 32nd block; a host that does not pause loses bytes.
  for (const bool pause : {false, true}) {
    zr7sim::SimOptions options;
    options.timing = zr7sim::Timing::Real;
    StartBoard(options);
    ASSERT_EQ(host_.Exchange({CmdEnterLoader}, 1), kCr);
    for (int block = 1; block <= 32; ++block)
      ASSERT_EQ(host_.Exchange({0x11, 0x22, 0x33, static_cast<std::uint8_t>(block)}, 1), kCr) << block;
    if (pause) usleep(17000);
    const Bytes reply = host_.Exchange({0x44, 0x55, 0x66, 0x77}, 1);
    if (pause) {
      EXPECT_EQ(reply, kCr);
      EXPECT_EQ(NotesContaining("lost while the page was being written"), 0u);
    } else {
      EXPECT_TRUE(reply.empty()) << "the block lost a byte and stays incomplete";
      EXPECT_GE(NotesContaining("lost while the page was being written"), 1u);
    }
    sim_.reset();
  }
}

}  // namespace
