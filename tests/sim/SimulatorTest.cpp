// The simulator seen from the host side: the slave end of the pty is opened and driven with
// plain termios calls, as a serial port would be, without any of the front-end's code.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
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

  const Bytes kCr = {ReplyCr};
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
  // Data bytes that are also command bytes: a decoder that miscounts answers them.
  const Bytes data = {CmdGetVersion, CmdWake, CmdGetIdent, ReplyCr};
  Bytes writeFlash = {CmdWriteFlash, static_cast<std::uint8_t>(data.size())};
  writeFlash.insert(writeFlash.end(), data.begin(), data.end());
  EXPECT_EQ(host_.Exchange({CmdSetAddress, 0, 0}, 1), kCr);
  EXPECT_EQ(host_.Exchange(writeFlash, 1), kCr);

  Bytes spiWrite = {CmdSpiWriteN, 0x01, 0x02};  // 258 bytes: the high count byte matters
  spiWrite.insert(spiWrite.end(), 258, CmdGetVersion);
  EXPECT_EQ(host_.Exchange(spiWrite, 1), kCr);
  EXPECT_EQ(host_.Exchange({CmdSpiReadN, 0x00, 0x03}, 4), Bytes({0xFF, 0xFF, 0xFF, ReplyCr}));

  EXPECT_EQ(host_.Exchange({CmdSetAddress, 0, 0}, 1), kCr);
  EXPECT_EQ(host_.Exchange({CmdReadFlash, 4}, 4), data);
  EXPECT_EQ(host_.Exchange({CmdReadFlash, 2}, 2), Bytes({0xFF, 0xFF}));  // the counter moved on
  EXPECT_EQ(host_.Exchange(kVersion, 3), Text("910"));
  EXPECT_TRUE(host_.Silent());

  auto commands = WaitCommands(8);
  ASSERT_EQ(commands.size(), 8u);
  EXPECT_EQ(commands[1].args.size(), 5u);
  EXPECT_EQ(commands[2].args.size(), 260u);
  EXPECT_EQ(sim_->State().commandsDecoded, 8u);
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
  options.chip = "ATtiny13";  // one calibration byte
  options.locked = true;
  options.calibration = {0x5A};
  StartBoard(options);
  EXPECT_EQ(host_.Exchange({CmdResetTimed}, 1).size(), 1u);
  EXPECT_EQ(host_.Exchange({CmdSpi4, 0xAC, 0x53, 0x00, 0x00}, 1), kCr);
  Bytes signature;
  for (std::uint8_t i = 0; i < 3; ++i) signature.push_back(host_.Exchange(Read4(0x30, 0, i), 1).at(0));
  EXPECT_EQ(signature, Bytes({0x00, 0x01, 0x02}));
  EXPECT_EQ(host_.Exchange(Read4(0x38, 0, 0), 1), Bytes{0x5A});
  EXPECT_EQ(host_.Exchange(Read4(0x38, 0, 1), 1), Bytes{0xFF});
  EXPECT_EQ(NotesContaining("programming enable while the board does not hold reset"), 0u);
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

}  // namespace
