// The simulator seen from the host: the fixture drives its pty as a raw 8N1 port with plain termios
// calls and none of the front-end's code, and checks what the front-end's tests trust it for.

#include <gmock/gmock.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "BoardSimulator.h"
#include "link/Commands.h"
#include "support/TempFolder.h"


namespace {

using namespace std::chrono_literals;
using namespace zr7;
using ::testing::HasSubstr;
using zr7test::RandomBytes;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

std::uint8_t Lo(std::size_t v) { return static_cast<std::uint8_t>(v & 0xFF); }
Bytes Slice(const Bytes& b, std::size_t at, std::size_t n) {
  return Bytes(b.begin() + long(at), b.begin() + long(at + n));
}

class SimulatorTest : public ::testing::Test {
 protected:
  ~SimulatorTest() override { if (fd_ >= 0) close(fd_); }

  void StartBoard(zr7sim::SimOptions options = {}) {
    if (fd_ >= 0) close(fd_);
    sim_ = std::make_unique<zr7sim::BoardSimulator>(std::move(options));
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
    fd_ = open(sim_->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd_, 0);
    tcflush(fd_, TCIFLUSH);  // a port opened anew starts with an empty input queue
    ASSERT_TRUE(SetSpeed(B19200));
  }

  bool SetSpeed(speed_t speed) {
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) return false;
    cfmakeraw(&tio);
    cfsetspeed(&tio, speed);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 1;  // a read waits at most 0.1 s
    return tcsetattr(fd_, TCSANOW, &tio) == 0;
  }

  // Sends `command`, returns up to `count` bytes of reply: as many as arrive before the deadline.
  Bytes Exchange(const Bytes& command, std::size_t count, std::chrono::milliseconds wait = 1000ms) {
    EXPECT_EQ(write(fd_, command.data(), command.size()), ssize_t(command.size()));
    Bytes out(count);
    std::size_t got = 0;
    for (const auto end = Clock::now() + wait; got < count && Clock::now() < end;)
      got += std::size_t(std::max(ssize_t{0}, read(fd_, out.data() + got, count - got)));
    out.resize(got);
    return out;
  }

  void Ack(const Bytes& command) { EXPECT_EQ(Exchange(command, 1), kCr) << "command " << int(command[0]); }

  zr7sim::WireLog& Log() { return sim_->Log(); }
  void WaitCommands(std::size_t count) { EXPECT_TRUE(Log().WaitForCommands(count, 1s)) << Log().Format(); }
  std::size_t Notes(const std::string& text) {
    return std::ranges::count_if(Log().Notes(), [&](const auto& n) { return n.find(text) != n.npos; });
  }

  // The opening of an AVR session as the front-end makes it.
  void OpenAvrSession(std::uint8_t deviceCode, bool polling = false) {
    Ack({CmdSetDevice, deviceCode});
    Ack({CmdSetAddress, 0, 0});
    Ack({CmdSetMode, 0, 0, std::uint8_t(polling)});
    EXPECT_EQ(Exchange({CmdResetShort}, 1).size(), 1u);
    EXPECT_EQ(Exchange({CmdEnableSync}, 1).size(), 1u);
  }

  Bytes Block(std::uint8_t command, const Bytes& data) {
    Bytes out = {command, Lo(data.size())};
    out.insert(out.end(), data.begin(), data.end());
    return Exchange(out, 1);
  }

  // `count` bytes read by instruction `a` with the index in its third byte.
  Bytes ReadSeries(std::uint8_t a, int count) {
    Bytes out;
    for (int i = 0; i < count; ++i) out.push_back(Exchange({CmdSpiRead4, a, 0, Lo(i)}, 1).at(0));
    return out;
  }

  // A Flash page as the front-end writes one: four quarters into the page buffer, which must not
  // reach the Flash, then the page write instruction for byte offset `offset`.
  void WritePage(std::size_t offset, const Bytes& page) {
    const std::size_t quarter = page.size() / 4;
    const Bytes before = Slice(sim_->FlashContents(), offset, page.size());
    for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(Block(CmdWriteFlash, Slice(page, k * quarter, quarter)), kCr);
    EXPECT_EQ(Slice(sim_->FlashContents(), offset, page.size()), before) << "a page load reached the Flash";
    Ack({CmdSpi4, 0x4C, Lo(offset >> 9), Lo(offset >> 1), 0x00});
  }

  const Bytes kCr = {ReplyCr};
  std::unique_ptr<zr7sim::BoardSimulator> sim_;
  int fd_ = -1;
};

TEST_F(SimulatorTest, AnswersAtItsRateAndLogsTheWire) {
  StartBoard();
  EXPECT_EQ(Exchange({CmdWake, 0xFF, CmdGetVersion}, 3), Bytes({'9', '1', '0'}));
  WaitCommands(3);
  EXPECT_EQ(sim_->State().commandsDecoded, 2u);
  EXPECT_EQ(Notes("unknown command 0xFF"), 1u);
  for (const auto& b : Log().Bytes()) EXPECT_TRUE(b.hostBaud == 19200u && !b.dropped);
  EXPECT_THAT(Log().Format(), AllOf(HasSubstr("19200  H>B 10  CmdWake\n"), HasSubstr("19200  H>B FF  unknown\n"),
                                    HasSubstr("19200  H>B 40  B>H 39 31 30  CmdGetVersion\n")));
  // What a faulty front-end does is noted: a programming enable with the target not in reset,
  // and the wrong reset polarity for an AVR.
  Ack({CmdSpi4, 0xAC, 0x53, 0x00, 0x00});
  EXPECT_EQ(Exchange({CmdResetAlt}, 1).size(), 1u);
  WaitCommands(5);
  EXPECT_EQ(Notes("does not hold reset"), 1u);
  EXPECT_EQ(Notes("CmdResetAlt drives reset active high"), 1u);

  ASSERT_TRUE(SetSpeed(B115200));
  EXPECT_TRUE(Exchange({CmdGetVersion}, 1, 150ms).empty()) << "a byte at another rate is dropped unanswered";
  EXPECT_THAT(Log().Format(), HasSubstr("H>B 40  dropped (host 115200, board 19200)"));

  // Two 64 KiB replies the host does not read block the board on a full line: Stop still ends it.
  ASSERT_TRUE(SetSpeed(B19200));
  Exchange({CmdSpiReadN, 0xFF, 0xFF, CmdSpiReadN, 0xFF, 0xFF}, 0);
  std::size_t seen = 0, now = 0;  // the log stops growing once the board is blocked
  for (int i = 0; i < 100 && (now == 0 || now != seen); ++i) {
    usleep(20000);
    seen = std::exchange(now, Log().Bytes().size());
  }
  ASSERT_TRUE(now > 0 && now == seen) << "the board never blocked";
  const auto stopAt = Clock::now();
  sim_->Stop();
  EXPECT_LT(Clock::now() - stopAt, 500ms);
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
    StartBoard({.chip = c.chip, .locked = c.locked, .signature = c.given, .calibration = c.calibrationGiven});
    EXPECT_EQ(ReadSeries(0x30, 1), Bytes{0xFF});
    EXPECT_EQ(Exchange({c.sync ? CmdResetShort : CmdResetTimed}, 1).size(), 1u);
    const Bytes enable = c.sync ? Bytes{CmdEnableSync} : Bytes{CmdSpi4, 0xAC, 0x53, 0x00, 0x00};
    EXPECT_EQ(Exchange(enable, 1), c.sync ? Bytes{0x53} : kCr);
    EXPECT_EQ(ReadSeries(0x30, 3), c.signature);
    EXPECT_EQ(ReadSeries(0x38, 5), c.calibration);
    Ack({CmdEndSession});
    EXPECT_EQ(ReadSeries(0x30, 1), Bytes{0xFF});
    WaitCommands(13);
    EXPECT_EQ(Notes("outside programming mode"), 2u);
    EXPECT_EQ(Notes("does not hold reset"), 0u);
  }
}

TEST_F(SimulatorTest, AvrPagesGoThroughThePageBufferToTheAddressedPage) {
  StartBoard();  // ATmega8: 32-word pages of 64 bytes
  Bytes expected = RandomBytes(192, 1);
  std::fill(expected.begin() + 64, expected.begin() + 128, 0xFF);
  OpenAvrSession(2);
  WritePage(0, Slice(expected, 0, 64));
  WritePage(128, Slice(expected, 128, 64));  // page 1 is all FF: nothing is sent, the board's counter skips it too
  Ack({CmdEndSession});

  OpenAvrSession(2);  // the address counters start from 0 again
  EXPECT_EQ(Exchange({CmdReadFlash, 192}, 192), expected);

  // Without an erase, programming Flash can only clear bits.
  Ack({CmdSetAddress, 0, 0});
  WritePage(0, Bytes(64, 0x0F));
  for (auto& b : expected) b &= 0x0F;
  EXPECT_EQ(Slice(sim_->FlashContents(), 0, 64), Slice(expected, 0, 64));
  Ack({CmdEndSession});

  // With another device code the board takes the bytes for byte writes and polls them.
  OpenAvrSession(0, /*polling=*/true);
  EXPECT_EQ(Block(CmdWriteFlash, RandomBytes(16, 3)), Bytes{ReplyEsc});
  EXPECT_EQ(Notes("does not match the target"), 1u);
  EXPECT_EQ(Notes("polling failed"), 1u);
}

TEST_F(SimulatorTest, At25WritesNeedTheLatchWrapInThePageAndStartAtDeselect) {
  StartBoard({.chip = "AT25256"});  // 64-byte pages, 32 KB
  // One chip-select transaction; returns the `reads` bytes the chip shifts out after `bytes`.
  auto transaction = [&](const Bytes& bytes, int reads = 0, bool deselect = true) {
    Ack({CmdEepSelect});
    for (std::uint8_t b : bytes) Ack({CmdSpiPut, b});
    Bytes out;
    for (int i = 0; i < reads; ++i) out.push_back(Exchange({CmdSpiGet}, 1).at(0));
    if (deselect) Ack({CmdEepDeselect});
    return out;
  };
  // A write without the latch, then with the latch set and reset again.
  for (const Bytes& t : {Bytes{0x02, 0x00, 0x10, 0x11}, {0x06}, {0x04}, {0x02, 0x00, 0x10, 0x11}}) transaction(t);
  EXPECT_EQ(sim_->EepromContents()[0x10], 0xFF);
  EXPECT_EQ(Notes("without the write enable latch"), 2u);

  transaction({0x06});
  EXPECT_EQ(transaction({0x05}, 1), Bytes{0x02});
  // Eight bytes from offset 60 of page 1: four up to its end, four from its start.
  transaction({0x02, 0x00, 0x7C, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7}, 0, false);
  EXPECT_EQ(sim_->EepromContents()[0x7C], 0xFF) << "nothing is written before the deselect";
  Ack({CmdEepDeselect});
  EXPECT_EQ(Slice(sim_->EepromContents(), 0x7C, 5), Bytes({0xA0, 0xA1, 0xA2, 0xA3, 0xFF}));
  EXPECT_EQ(Slice(sim_->EepromContents(), 0x40, 4), Bytes({0xA4, 0xA5, 0xA6, 0xA7}));
  EXPECT_EQ(transaction({0x05}, 1), Bytes{0x00}) << "the write clears the latch";
}

TEST_F(SimulatorTest, At45StatusBufferWritePageProgramAndBlockErase) {
  // Bytes of a page, pages, the shift of the page number in an address, the status byte.
  const struct { const char* chip; std::size_t size, pages; unsigned shift; std::uint8_t status; } layouts[] = {
      {"AT45DB041", 264, 2048, 1, 0x9C}, {"AT45DB161", 528, 4096, 2, 0xAC}, {"AT45DB642", 1056, 8192, 3, 0xBC}};
  for (const auto& c : layouts) {
    SCOPED_TRACE(c.chip);
    StartBoard({.chip = c.chip});
    for (const bool own : {true, false}) {  // the status answers on the DataFlash's select line only
      Ack({own ? CmdFlashSelect : CmdEepSelect});
      Ack({CmdSpiPut, 0x57});
      EXPECT_EQ(Exchange({CmdSpiGet}, 1), Bytes{own ? c.status : std::uint8_t{0xFF}});
      Ack({own ? CmdFlashDeselect : CmdEepDeselect});
    }
    // Selected: the opcode, the page shifted as the front-end addresses it, a zero byte, then `more`.
    auto instruction = [&](std::uint8_t opcode, std::size_t page, const Bytes& more = {}) {
      const std::size_t a = page << c.shift;
      Bytes command = {CmdSpiWriteN, Lo((4 + more.size()) >> 8), Lo(4 + more.size()), opcode, Lo(a >> 8), Lo(a), 0};
      command.insert(command.end(), more.begin(), more.end());
      Ack({CmdFlashSelect});
      Ack(command);
      Ack({CmdFlashDeselect});
    };
    auto pages = [&](std::size_t i, std::size_t n) { return Slice(sim_->FlashContents(), i * c.size, n * c.size); };
    ASSERT_EQ(sim_->FlashContents().size(), c.pages * c.size);
    const Bytes page9 = RandomBytes(c.size, 13), page7 = RandomBytes(c.size, 14), page16 = RandomBytes(c.size, 15);
    ASSERT_TRUE(sim_->SetFlashContents(7 * c.size, page7));
    ASSERT_TRUE(sim_->SetFlashContents(16 * c.size, page16));

    instruction(0x84, 0, page9);  // into buffer 1 from its offset 0
    EXPECT_EQ(pages(9, 1), Bytes(c.size, 0xFF)) << "only the buffer holds the data yet";
    instruction(0x83, 9);  // the buffer to page 9
    EXPECT_EQ(pages(9, 1), page9);
    instruction(0x50, 8);  // a block erase clears the eight pages of its block, 8 to 15, and no others
    EXPECT_EQ(pages(7, 1), page7);
    EXPECT_EQ(pages(8, 8), Bytes(8 * c.size, 0xFF));
    EXPECT_EQ(pages(16, 1), page16);
  }
}

std::string StartError(const zr7sim::SimOptions& options) {
  std::string error;
  EXPECT_FALSE(zr7sim::BoardSimulator(options).Start(&error));
  return error;
}

TEST_F(SimulatorTest, StateFileCarriesTheChipToTheNextSimulatorAndStartRefusals) {
  const zr7test::TempFolder dir;
  zr7sim::SimOptions options{.statePath = dir / "state"};
  const Bytes data = RandomBytes(32, 17);
  StartBoard(options);
  OpenAvrSession(2);
  EXPECT_EQ(Block(CmdWriteEeprom, data), kCr);
  Ack({CmdSpi4, 0xAC, 0xFF, 0xFF, 0xFC});  // LB1 and LB2
  EXPECT_FALSE(std::filesystem::exists(options.statePath));
  Ack({CmdEndSession});
  EXPECT_TRUE(std::filesystem::exists(options.statePath)) << "saved when the session ended";
  StartBoard(options);  // another simulator on the same file
  EXPECT_EQ(Slice(sim_->EepromContents(), 0, 32), data);
  EXPECT_EQ(sim_->LockState().lockBits, 0xFC);
  sim_.reset();

  options.chip = "ATtiny13";  // a state made for another chip is refused, not guessed at
  EXPECT_THAT(StartError(options), HasSubstr("ATmega8"));
  // An image larger than its memory (the ATtiny13's 64 bytes of Eeprom), an unknown chip.
  EXPECT_THAT(StartError({.chip = "ATtiny13", .eepromImage = dir.File("image", std::string(100, 'x'))}),
              HasSubstr("holds 100 bytes"));
  EXPECT_THAT(StartError({.chip = "ATmega9"}), HasSubstr("ATmega9"));
}

// The fastest of up to three runs of `exchange`, in ms, against the time expected: a late wake-up
// on a busy machine only ever adds time. Never faster; the upper bound catches a pacing that adds up.
void ExpectPace(double expectedMs, const auto& exchange) {
  double fastest = 1e9;
  for (int run = 0; run < 3 && fastest > expectedMs * 1.03; ++run) {
    const auto start = Clock::now();
    exchange();
    fastest = std::min(fastest, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  EXPECT_THAT(fastest, testing::AllOf(testing::Ge(expectedMs * 0.99), testing::Le(expectedMs * 1.5)));
}

TEST_F(SimulatorTest, RealTimingPacesEveryByteWaitsTheByteDelayAndKeepsAnAt25Busy) {
  constexpr double kByteMs = 10 * 1000.0 / 19200;
  StartBoard({.chip = "AT90S2313", .timing = zr7sim::Timing::Real});
  ExpectPace((2 + 100) * kByteMs, [&] { EXPECT_EQ(Exchange({CmdReadFlash, 100}, 100).size(), 100u); });
  OpenAvrSession(0);            // polling off: the board waits the delay after each byte
  Ack({CmdSetByteDelay, 161});  // (255 - 14 * 25) mod 256: 25 ms, waited after each of the two data bytes
  ExpectPace((4 + 1) * kByteMs + 2 * 25, [&] { EXPECT_EQ(Block(CmdWriteEeprom, {0x01, 0x02}), kCr); });

  StartBoard({.chip = "AT25256", .timing = zr7sim::Timing::Real});
  // In one burst, as a host that does not wait would send it: write enable, a one-byte write,
  // and straight after it another write enable and a status read, 8 byte times (4.2 ms) later.
  Bytes busy(16, ReplyCr);
  busy[14] = 0x01;  // busy, and the write enable sent meanwhile was ignored
  const Bytes burst = {CmdEepSelect, CmdSpiPut, 0x06, CmdEepDeselect, CmdEepSelect, CmdSpiPut, 0x02, CmdSpiPut, 0x00,
                       CmdSpiPut, 0x00, CmdSpiPut, 0xAB, CmdEepDeselect, CmdEepSelect, CmdSpiPut, 0x06, CmdEepDeselect,
                       CmdEepSelect, CmdSpiPut, 0x05, CmdSpiGet, CmdEepDeselect};
  EXPECT_EQ(Exchange(burst, 16), busy);
  usleep(6000);
  const Bytes status = {CmdEepSelect, CmdSpiPut, 0x05, CmdSpiGet, CmdEepDeselect};
  EXPECT_EQ(Exchange(status, 4), Bytes({ReplyCr, ReplyCr, 0x00, ReplyCr})) << "the write cycle is over";
  EXPECT_EQ(sim_->EepromContents()[0], 0xAB);
}

}  // namespace
