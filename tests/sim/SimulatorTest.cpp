// The simulator seen from the host side: the slave end of the pty driven with plain termios
// calls, as a serial port would be, without any of the front-end's code. What is checked here is
// what the front-end's tests trust the simulator for: the answers, the line rates and timing, each
// chip family's behaviour and the wire log. Round trips through the front-end are theirs.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BoardSimulator.h"
#include "link/Commands.h"
#include "support/TempFolder.h"

namespace {

using namespace std::chrono_literals;
using namespace zr7;
using ::testing::HasSubstr;
using Bytes = std::vector<std::uint8_t>;

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
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(from + n));
}

zr7sim::SimOptions Chip(const char* name, zr7sim::Timing timing = zr7sim::Timing::Instant) {
  zr7sim::SimOptions options;
  options.chip = name;
  options.timing = timing;
  return options;
}

// The host's end of the line: a raw 8N1 port at a chosen rate.
class HostPort {
 public:
  ~HostPort() { Close(); }

  bool Open(const std::string& path, speed_t speed) {
    Close();
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return false;
    tcflush(fd_, TCIFLUSH);  // a port opened anew starts with an empty input queue
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

  void Send(const Bytes& bytes) { ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

  // Up to `count` bytes, as many as arrive before the deadline.
  Bytes Receive(std::size_t count, int deadlineMs = kReplyDeadlineMs) {
    Bytes out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs);
    while (out.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      pollfd p{fd_, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      std::uint8_t buf[512];
      const ssize_t n = read(fd_, buf, std::min(sizeof buf, count - out.size()));
      if (n <= 0) break;
      out.insert(out.end(), buf, buf + n);
    }
    return out;
  }

  Bytes Exchange(const Bytes& command, std::size_t replyLength) { Send(command); return Receive(replyLength); }

  bool Silent() { return Receive(1, kSilenceMs).empty(); }

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

  std::size_t Notes(const std::string& text) {
    std::size_t n = 0;
    for (const std::string& note : Log().Notes()) n += note.find(text) != std::string::npos;
    return n;
  }

  // Returns once the log stops growing: the board is blocked on a full line.
  void WaitUntilBoardStalls() {
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    for (std::size_t seen = 0; std::chrono::steady_clock::now() < deadline;) {
      usleep(20000);
      const std::size_t now = Log().Bytes().size();
      if (now == seen && now > 0) return;
      seen = now;
    }
    ADD_FAILURE() << "the board never blocked";
  }

  // A command that must be answered by CR.
  void Ack(const Bytes& command) { EXPECT_EQ(host_.Exchange(command, 1), kCr) << "command " << int(command.at(0)); }

  // The opening of an AVR session as the front-end makes it: device code, address counters at
  // 0, mode, reset, programming enable.
  void OpenAvrSession(std::uint8_t deviceCode, bool polling = false) {
    Ack({CmdSetDevice, deviceCode});
    Ack({CmdSetAddress, 0, 0});
    Ack({CmdSetMode, 0, 0, static_cast<std::uint8_t>(polling)});
    EXPECT_EQ(host_.Exchange({CmdResetShort}, 1).size(), 1u);
    EXPECT_EQ(host_.Exchange({CmdEnableSync}, 1).size(), 1u);
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
      const Bytes got = host_.Exchange({command, Lo(n)}, n);
      out.insert(out.end(), got.begin(), got.end());
      if (got.size() != n) {
        ADD_FAILURE() << "read stopped after " << out.size() << " bytes";
        break;
      }
    }
    return out;
  }

  std::uint8_t SpiRead4(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    const Bytes got = host_.Exchange({CmdSpiRead4, a, b, c}, 1);
    return got.empty() ? 0 : got[0];
  }

  // `count` bytes read by instruction `a` with the index in the third byte.
  Bytes ReadSeries(std::uint8_t a, int count) {
    Bytes out;
    for (int i = 0; i < count; ++i) out.push_back(SpiRead4(a, 0, Lo(i)));
    return out;
  }

  // A Flash page as the front-end writes one: four quarters into the page buffer, then the
  // page write instruction for byte offset `offset`.
  void WritePage(std::size_t offset, const Bytes& page) {
    const std::size_t quarter = page.size() / 4;
    for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(Block(CmdWriteFlash, Slice(page, k * quarter, quarter)), kCr);
    Ack({CmdSpi4, 0x4C, Lo(offset >> 9), Lo(offset >> 1), 0x00});
  }

  void EndSession() { Ack({CmdEndSession}); }

  const Bytes kCr = {ReplyCr};
  const Bytes kEsc = {ReplyEsc};
  std::unique_ptr<zr7sim::BoardSimulator> sim_;
  HostPort host_;
};

TEST_F(SimulatorTest, AnswersAtItsRateAndLogsTheWire) {
  StartBoard();
  EXPECT_EQ(host_.Exchange({CmdWake, 0xFF, CmdGetVersion}, 3), Text("910"));
  auto commands = WaitCommands(3);
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[0].name, "CmdWake");
  EXPECT_TRUE(commands[0].reply.empty());
  EXPECT_EQ(commands[1].name, "unknown");
  EXPECT_EQ(Notes("unknown command 0xFF"), 1u);
  EXPECT_EQ(commands[2].name, "CmdGetVersion");
  EXPECT_EQ(commands[2].reply, Text("910"));
  EXPECT_EQ(commands[2].baud, 19200u);
  EXPECT_EQ(sim_->State().commandsDecoded, 2u);
  for (const auto& b : Log().Bytes()) EXPECT_TRUE(b.hostBaud == 19200u && !b.dropped);
  EXPECT_THAT(Log().Format(), HasSubstr("H>B 40  B>H 39 31 30  CmdGetVersion"));
  // What a faulty front-end does is noted: a programming enable with the target not in reset,
  // and the wrong reset polarity for an AVR.
  Ack({CmdSpi4, 0xAC, 0x53, 0x00, 0x00});
  EXPECT_EQ(host_.Exchange({CmdResetAlt}, 1).size(), 1u);
  WaitCommands(5);
  EXPECT_EQ(Notes("does not hold reset"), 1u);
  EXPECT_EQ(Notes("CmdResetAlt drives reset active high"), 1u);

  // A byte at another rate is dropped unanswered.
  ASSERT_TRUE(host_.SetSpeed(B115200));
  host_.Send({CmdGetVersion});
  EXPECT_TRUE(host_.Silent());
  const auto dropped = Log().Bytes().back();
  EXPECT_TRUE(dropped.dropped);
  EXPECT_EQ(dropped.hostBaud, 115200u);
  EXPECT_EQ(dropped.boardBaud, 19200u);
  EXPECT_THAT(Log().Format(), HasSubstr("H>B 40  dropped (host 115200, board 19200)"));

  // Two 64 KiB replies the host does not read block the board on a full line: Stop still ends it.
  ASSERT_TRUE(host_.SetSpeed(B19200));
  host_.Send({CmdSpiReadN, 0xFF, 0xFF, CmdSpiReadN, 0xFF, 0xFF});
  WaitUntilBoardStalls();
  const auto stopAt = std::chrono::steady_clock::now();
  sim_->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 500ms);
}

// Signature and calibration bytes answer only in programming mode; a locked chip hides its
// signature; an enable without the board's synchronisation works after a timed reset.
TEST_F(SimulatorTest, AvrSignatureAndCalibrationInProgrammingMode) {
  const struct {
    const char* chip;
    bool locked, sync;
    std::optional<std::array<std::uint8_t, 3>> given;
    Bytes calibrationGiven, signature, calibration;  // as read, five calibration bytes
  } cases[] = {
      {"ATmega8", false, true, {}, {}, {0x1E, 0x93, 0x07}, {0xA0, 0xA1, 0xA2, 0xA3, 0xFF}},
      {"ATtiny13", true, false, {}, {0x5A, 0x5B}, {0x00, 0x01, 0x02}, {0x5A, 0x5B, 0xFF, 0xFF, 0xFF}},
      {"ATmega644", false, true, {{0x1E, 0x96, 0x09}}, {}, {0x1E, 0x96, 0x09}, {0xA0, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"ATmega2560/2561", false, true, {{0x1E, 0x98, 0x01}}, {}, {0x1E, 0x98, 0x01}, {0xA0, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"ATmega644", true, true, {{0x1E, 0x96, 0x09}}, {}, {0x00, 0x01, 0x02}, {0xA0, 0xFF, 0xFF, 0xFF, 0xFF}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.chip) + (c.locked ? ", locked" : ""));
    zr7sim::SimOptions options = Chip(c.chip);
    options.locked = c.locked;
    options.signature = c.given;
    options.calibration = c.calibrationGiven;
    StartBoard(options);
    EXPECT_EQ(SpiRead4(0x30, 0, 0), 0xFF);
    if (c.sync) {
      EXPECT_EQ(host_.Exchange({CmdResetShort}, 1).size(), 1u);
      EXPECT_EQ(host_.Exchange({CmdEnableSync}, 1), Bytes{0x53});
    } else {
      EXPECT_EQ(host_.Exchange({CmdResetTimed}, 1).size(), 1u);
      Ack({CmdSpi4, 0xAC, 0x53, 0x00, 0x00});
    }
    WaitCommands(3);
    EXPECT_TRUE(sim_->State().programmingEnabled && sim_->State().targetInReset);
    EXPECT_EQ(ReadSeries(0x30, 3), c.signature);
    EXPECT_EQ(ReadSeries(0x38, 5), c.calibration);
    EndSession();
    EXPECT_EQ(SpiRead4(0x30, 0, 0), 0xFF);
    WaitCommands(13);
    EXPECT_FALSE(sim_->State().programmingEnabled);
    EXPECT_EQ(Notes("outside programming mode"), 2u);
    EXPECT_EQ(Notes("does not hold reset"), 0u);
  }
}

TEST_F(SimulatorTest, AvrPagesGoThroughThePageBufferToTheAddressedPage) {
  StartBoard();  // ATmega8: 32-word pages of 64 bytes
  const Bytes page0 = Pattern(64, 1), page2 = Pattern(64, 2);
  OpenAvrSession(2);
  Ack({CmdSetByteDelay, 185});
  for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(Block(CmdWriteFlash, Slice(page0, 16 * k, 16)), kCr);
  EXPECT_EQ(sim_->FlashContents()[0], 0xFF) << "a page load must not reach the Flash";
  Ack({CmdSpi4, 0x4C, 0x00, 0x00, 0x00});
  WritePage(128, page2);  // page 1 is all FF: nothing is sent, the board's counter skips it too
  EndSession();

  OpenAvrSession(2);  // the address counters start from 0 again
  const Bytes read = ReadBlocks(CmdReadFlash, 192);
  EXPECT_EQ(read, Slice(sim_->FlashContents(), 0, 192));
  EXPECT_EQ(Slice(read, 0, 64), page0);
  EXPECT_EQ(Slice(read, 64, 64), Bytes(64, 0xFF));
  EXPECT_EQ(Slice(read, 128, 64), page2);

  // Without an erase, programming Flash can only clear bits.
  Ack({CmdSetAddress, 0, 0});
  WritePage(0, Bytes(64, 0x0F));
  Bytes cleared = page0;
  for (auto& b : cleared) b &= 0x0F;
  EXPECT_EQ(Slice(sim_->FlashContents(), 0, 64), cleared);
  EndSession();

  // With another device code the board takes the bytes for byte writes and polls them.
  OpenAvrSession(0, /*polling=*/true);
  EXPECT_EQ(Block(CmdWriteFlash, Pattern(16, 3)), kEsc);
  EXPECT_EQ(Notes("does not match the target"), 1u);
  EXPECT_EQ(Notes("polling failed"), 1u);
}

TEST_F(SimulatorTest, At25WritesNeedTheLatchWrapInThePageAndStartAtDeselect) {
  StartBoard(Chip("AT25256"));  // 64-byte pages, 32 KB
  // One chip-select transaction; returns the `reads` bytes the chip shifts out after `bytes`.
  auto transaction = [&](const Bytes& bytes, int reads = 0, bool deselect = true) {
    Ack({CmdEepSelect});
    for (std::uint8_t b : bytes) Ack({CmdSpiPut, b});
    Bytes out;
    for (int i = 0; i < reads; ++i) out.push_back(host_.Exchange({CmdSpiGet}, 1).at(0));
    if (deselect) Ack({CmdEepDeselect});
    return out;
  };
  transaction({0x02, 0x00, 0x10, 0x11});  // no write enable
  transaction({0x06});
  transaction({0x04});  // and disabled again
  transaction({0x02, 0x00, 0x10, 0x11});
  EXPECT_EQ(sim_->EepromContents()[0x10], 0xFF);
  EXPECT_EQ(Notes("without the write enable latch"), 2u);

  transaction({0x06});
  EXPECT_EQ(transaction({0x05}, 1), Bytes{0x02});
  // Eight bytes from offset 60 of page 1: four up to its end, four from its start.
  transaction({0x02, 0x00, 0x7C, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7}, 0, false);
  EXPECT_EQ(sim_->EepromContents()[0x7C], 0xFF) << "nothing is written before the deselect";
  Ack({CmdEepDeselect});
  const Bytes eeprom = sim_->EepromContents();
  EXPECT_EQ(Slice(eeprom, 0x7C, 4), Bytes({0xA0, 0xA1, 0xA2, 0xA3}));
  EXPECT_EQ(Slice(eeprom, 0x40, 4), Bytes({0xA4, 0xA5, 0xA6, 0xA7}));
  EXPECT_EQ(eeprom[0x80], 0xFF);
  EXPECT_EQ(transaction({0x05}, 1), Bytes{0x00}) << "the write clears the latch";
}

TEST_F(SimulatorTest, At45StatusBufferWritePageProgramAndBlockErase) {
  // Bytes of a page, pages, the shift of the page number in an address, the status byte.
  const struct { const char* chip; std::size_t size, pages; unsigned shift; std::uint8_t status; } layouts[] = {
      {"AT45DB041", 264, 2048, 1, 0x9C}, {"AT45DB161", 528, 4096, 2, 0xAC}, {"AT45DB642", 1056, 8192, 3, 0xBC}};
  for (const auto& c : layouts) {
    SCOPED_TRACE(c.chip);
    StartBoard(Chip(c.chip));
    for (const bool own : {true, false}) {  // the status answers on the DataFlash's select line only
      Ack({own ? CmdFlashSelect : CmdEepSelect});
      Ack({CmdSpiPut, 0x57});
      EXPECT_EQ(host_.Exchange({CmdSpiGet}, 1), Bytes{own ? c.status : std::uint8_t{0xFF}});
      Ack({own ? CmdFlashDeselect : CmdEepDeselect});
    }
    // Selects the chip and sends the opcode, the page shifted left as the front-end addresses
    // it, a zero byte, then `more`.
    auto instruction = [&](std::uint8_t opcode, std::size_t page, const Bytes& more = {}) {
      const std::size_t a = page << c.shift;
      Bytes command = {CmdSpiWriteN, Lo((4 + more.size()) >> 8), Lo(4 + more.size()), opcode, Lo(a >> 8), Lo(a), 0};
      command.insert(command.end(), more.begin(), more.end());
      Ack({CmdFlashSelect});
      Ack(command);
    };
    auto pages = [&](std::size_t first, std::size_t n) {
      return Slice(sim_->FlashContents(), first * c.size, n * c.size);
    };
    ASSERT_EQ(sim_->FlashContents().size(), c.pages * c.size);
    const Bytes page9 = Pattern(c.size, 13), page7 = Pattern(c.size, 14), page16 = Pattern(c.size, 15);
    ASSERT_TRUE(sim_->SetFlashContents(7 * c.size, page7));
    ASSERT_TRUE(sim_->SetFlashContents(16 * c.size, page16));

    instruction(0x84, 0, page9);  // into buffer 1 from its offset 0
    Ack({CmdFlashDeselect});
    EXPECT_EQ(pages(9, 1), Bytes(c.size, 0xFF)) << "only the buffer holds the data yet";
    instruction(0x83, 9);  // the buffer to page 9
    Ack({CmdFlashDeselect});
    EXPECT_EQ(pages(9, 1), page9);

    instruction(0x50, 8);  // a block erase clears the eight pages of its block, 8 to 15, and no others
    Ack({CmdFlashDeselect});
    EXPECT_EQ(pages(7, 1), page7);
    EXPECT_EQ(pages(8, 8), Bytes(8 * c.size, 0xFF));
    EXPECT_EQ(pages(16, 1), page16);
  }
}

std::string StartError(const zr7sim::SimOptions& options) {
  zr7sim::BoardSimulator sim(options);
  std::string error;
  EXPECT_FALSE(sim.Start(&error));
  return error;
}

TEST_F(SimulatorTest, StateFileCarriesTheChipToTheNextSimulatorAndStartRefusals) {
  const zr7test::TempFolder dir;
  zr7sim::SimOptions options;
  options.statePath = dir / "state";
  const Bytes data = Pattern(32, 17);
  StartBoard(options);
  OpenAvrSession(2);
  EXPECT_EQ(Block(CmdWriteEeprom, data), kCr);
  Ack({CmdSpi4, 0xAC, 0xFF, 0xFF, 0xFC});  // LB1 and LB2
  EXPECT_FALSE(std::filesystem::exists(options.statePath));
  EndSession();
  EXPECT_TRUE(std::filesystem::exists(options.statePath)) << "saved when the session ended";
  StartBoard(options);  // another simulator on the same file
  EXPECT_EQ(Slice(sim_->EepromContents(), 0, 32), data);
  EXPECT_EQ(sim_->LockState().lockBits, 0xFC);
  sim_.reset();

  options.chip = "ATtiny13";  // a state made for another chip is refused, not guessed at
  EXPECT_THAT(StartError(options), HasSubstr("ATmega8"));
  // An image larger than its memory (the ATtiny13's 64 bytes of Eeprom), an unknown chip.
  options = Chip("ATtiny13");
  options.eepromImage = dir.File("image", std::string(100, 'x'));
  EXPECT_THAT(StartError(options), HasSubstr("holds 100 bytes"));
  EXPECT_THAT(StartError(Chip("ATmega9")), HasSubstr("ATmega9"));
}

// The fastest of up to three runs of `exchange` against the time expected, in ms: a late
// wake-up on a busy machine only ever adds time, so this is the board's own pace. Never faster
// than expected; the upper bound only catches a pacing that adds up.
void ExpectPace(double expectedMs, const std::function<void()>& exchange) {
  double fastest = 1e9;
  for (int run = 0; run < 3 && fastest > expectedMs * 1.03; ++run) {
    const auto start = std::chrono::steady_clock::now();
    exchange();
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    fastest = std::min(fastest, took.count());
  }
  EXPECT_GE(fastest, expectedMs * 0.99);
  EXPECT_LE(fastest, expectedMs * 1.5);
}

constexpr double kByteMsAt19200 = 10 * 1000.0 / 19200;

TEST_F(SimulatorTest, RealTimingPacesEveryByteAndWaitsTheByteDelay) {
  StartBoard(Chip("AT90S2313", zr7sim::Timing::Real));
  // 2 bytes in, 100 out: 53.1 ms.
  ExpectPace(102 * kByteMsAt19200, [&] { EXPECT_EQ(host_.Exchange({CmdReadFlash, 100}, 100).size(), 100u); });
  OpenAvrSession(0);            // polling off: the board waits the delay after each byte
  Ack({CmdSetByteDelay, 161});  // (255 - 14 * 25) mod 256: 25 ms
  // 4 bytes in, CR out, two delays.
  ExpectPace(5 * kByteMsAt19200 + 2 * 25, [&] { EXPECT_EQ(Block(CmdWriteEeprom, {0x01, 0x02}), kCr); });
}

TEST_F(SimulatorTest, RealTimingKeepsAnAt25BusyThroughItsWriteCycle) {
  StartBoard(Chip("AT25256", zr7sim::Timing::Real));
  // In one burst, as a host that does not wait would send it: write enable, a one-byte write,
  // and straight after it another write enable and a status read, 8 byte times (4.2 ms) later.
  host_.Send({CmdEepSelect, CmdSpiPut, 0x06, CmdEepDeselect, CmdEepSelect, CmdSpiPut, 0x02, CmdSpiPut, 0x00, CmdSpiPut,
              0x00, CmdSpiPut, 0xAB, CmdEepDeselect, CmdEepSelect, CmdSpiPut, 0x06, CmdEepDeselect, CmdEepSelect,
              CmdSpiPut, 0x05, CmdSpiGet});
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

}  // namespace
