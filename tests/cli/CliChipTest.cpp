// zr7-cli's chip commands as a user runs them: the real executable against a simulated board.
// What only the command line shows is checked here: arguments, exit codes, which stream a
// message goes to, output files, refusals before any byte, --yes and signals. What the commands
// do to the chip is the operations tests'.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "BoardSimulator.h"
#include "support/CliRunner.h"
#include "support/TempFolder.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using zr7test::CliRun;
using zr7test::LastLine;

namespace {

std::string Random(std::size_t n) {
  const std::vector<std::uint8_t> bytes = zr7test::RandomBytes(n, 7);
  return {bytes.begin(), bytes.end()};
}

std::string NotAvailable(const std::string& command, const std::string& chip) {
  return "The command '" + command + "' is not available for the " + chip + ": nothing was sent to the board.\n";
}

// A project beside its image `flash`: erase, blank check, Flash program and verify, and the
// extra keys given.
std::string Recipe(const std::string& extra, const std::string& flash = "serial.bin", int device = 8) {
  return "[Files]\nFlash=" + flash + "\n[Settings]\nResetStrobeLength=20\n[AutoProgram]\nAutoErase=1\n" +
         "AutoEmptyCheck=1\nAutoFlashProgram=1\nAutoFlashVerify=1\n" + extra + "[Device]\nDeviceNo=" +
         std::to_string(device) + "\n";
}

class CliChip : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = zr7test::CaseDir("zr7-cli"); }
  void TearDown() override { fs::remove_all(dir_); }

  // A board with `chip` whose Flash holds `flash`, and which has heard nothing yet.
  void StartBoard(const std::string& chip = "ATmega8", const std::string& flash = "") {
    zr7sim::SimOptions options;
    options.chip = chip;
    if (!flash.empty()) {
      Write("old.bin", flash);
      options.flashImage = File("old.bin");
    }
    sim_ = std::make_unique<zr7sim::BoardSimulator>(options);
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
  }
  bool BoardHeardNothing() const { return sim_->Log().Bytes().empty(); }

  // zr7-cli with its own empty profile, expected to exit with `status`.
  CliRun Cli(int status, const std::string& args) { return zr7test::RunCliExpecting(dir_, status, args); }
  std::string Port() const { return "--port " + sim_->SlavePath() + " "; }
  std::string File(const std::string& name) const { return (dir_ / name).string(); }
  std::string Read(const std::string& name) const { return zr7test::ReadWhole(File(name)); }
  void Write(const std::string& name, const std::string& bytes) { zr7test::WriteFile(File(name), bytes); }

  fs::path dir_;
  std::unique_ptr<zr7sim::BoardSimulator> sim_;
};

TEST_F(CliChip, CommandsExitWithTheirOutcome) {
  StartBoard();
  const std::string image = Random(3000);
  std::string changed = image;
  changed[1234] ^= 0x01;
  Write("image.bin", image);
  Write("changed.bin", changed);
  const struct { std::string args; int status; std::string out; } runs[] = {
      {Port() + "--device atmega8 program flash " + File("image.bin"), 0,
       "Flash program: Done (3000 bytes programmed)\n"},
      {Port() + "--device ATmega8 verify flash " + File("image.bin"), 0, "Flash verify: OK (3000 bytes verified)\n"},
      {Port() + "read flash " + File("out.bin") + " --device ATmega8", 0, ""},  // options after the command
      {Port() + "--device ATmega8 verify flash " + File("changed.bin"), 1, "Flash verify: ERROR at byte 1234 (0x4D2)"},
      {Port() + "--device ATmega8 blank-check", 1, ""},
      {Port() + "--device ATmega8 erase", 0, ""},
      {Port() + "--device ATmega8 blank-check", 0, ""},
      {"--simulator --device atmega16 --lang ru signature", 0, "Сигнатура: 1E 94 03 - ATmega16"},
      // The simulator may hold another chip than the one selected: the signature names it.
      {"--simulator=ATtiny13 --device ATmega8 signature", 0, "Signature: 1E 90 07 - ATtiny13"},
      {"--simulator --device ATMEGA3250 signature", 0, "Signature: 1E 95 05 - ATmega325/3250"},
  };
  for (const auto& r : runs) EXPECT_THAT(Cli(r.status, r.args).out, HasSubstr(r.out)) << r.args;
  EXPECT_TRUE(Read("out.bin") == image + std::string(8192 - 3000, '\xFF')) << "the chip as read";
}

TEST_F(CliChip, UsageErrorsExit2AndFailures1OnStderr) {
  fs::create_directory(File("folder"));
  Write("plain", "x");
  Write("job.zr7", Recipe(""));
  const struct { std::string args; int status; std::string err, out; } runs[] = {
      {"--simulator --device ATmega9 signature", 2, "Unknown device 'ATmega9'", ""},
      {"--simulator program rom x.bin", 2, "", ""},
      {"--simulator program flash", 2, "", ""},
      {"--port 9 signature", 2, "--port takes 1 to 8 or a device path", ""},
      {"--simulator autoprogram", 2, "", ""},
      {"--simulator --device NoSuchChip --project " + File("job.zr7") + " autoprogram", 2, "", ""},
      {"--port " + File("no-such-tty") + " signature", 1, "does not exist", "Connection error"},
      // No serial device at all: nobody is to look for another program using it.
      {"--port " + File("folder") + " signature", 1, File("folder") + " is not a serial port.", ""},
      {"--port " + File("plain") + " signature", 1, File("plain") + " is not a serial port.", ""},
      {"--simulator program flash " + File("absent.hex"), 1, "Cannot read file", ""},
  };
  for (const auto& r : runs) {
    const CliRun c = Cli(r.status, r.args);
    EXPECT_THAT(c.err, HasSubstr(r.err)) << r.args;
    if (r.err.ends_with("is not a serial port.")) {
      EXPECT_THAT(c.err, Not(HasSubstr("other applications"))) << r.args;
    }
    EXPECT_THAT(c.out, HasSubstr(r.out)) << r.args;
  }
}

// Refused before the port opens, with the reason alone on stderr and the output file left as it
// was. What the window greys for a chip: an AVR erase sent to a serial EEPROM, or an Eeprom
// transfer to a DataFlash, would report success. Unattended, a ".hex" file that is not Intel HEX:
// its characters are not programmed as an image.
TEST_F(CliChip, RefusalsComeBeforeAnyByte) {
  Write("image.bin", std::string(100, 'Z'));
  Write("out.bin", "\x01\x02\x03");
  Write("notes.hex", "firmware notes, not Intel HEX\n");
  const std::string notHex =
      "'" + File("notes.hex") + "' is not valid Intel HEX: line 1 does not begin with ':'. Nothing was loaded.\n";
  const struct { const char* chip; std::string args, err; } cases[] = {
      {"AT45DB041", "--yes program eeprom " + File("image.bin"), NotAvailable("program eeprom", "AT45DB041")},
      {"AT45DB041", "verify eeprom " + File("image.bin"), NotAvailable("verify eeprom", "AT45DB041")},
      {"AT45DB041", "read eeprom " + File("out.bin"), NotAvailable("read eeprom", "AT45DB041")},
      {"AT45DB041", "fuses read", NotAvailable("fuses read", "AT45DB041")},
      {"AT25256", "erase", NotAvailable("erase", "AT25256")},
      {"AT25256", "blank-check", NotAvailable("blank-check", "AT25256")},
      {"AT25256", "read flash " + File("out.bin"), NotAvailable("read flash", "AT25256")},
      {"AT25256", "signature", NotAvailable("signature", "AT25256")},
      {"AT89S8252", "signature", NotAvailable("signature", "AT89S8252")},
      {"AT89S51", "program eeprom " + File("absent.hex"), NotAvailable("program eeprom", "AT89S51")},
      {"AT90S2313", "board calibration", NotAvailable("board calibration", "AT90S2313")},
      {"ATmega8", "program flash " + File("notes.hex"), notHex},
      {"ATmega8", "verify flash " + File("notes.hex"), notHex},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.chip) + " " + c.args);
    StartBoard(c.chip);
    const CliRun r = Cli(1, Port() + "--device " + c.chip + " " + c.args);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(BoardHeardNothing());
    EXPECT_EQ(Read("out.bin"), "\x01\x02\x03");
  }
}

// A station script's time-out (SIGTERM) or Ctrl+C stops a transfer inside its longest wait,
// ends the board's session and exits 1: the next run finds the board ready.
TEST_F(CliChip, SignalsStopATransferAndLeaveTheBoardReady) {
  StartBoard();
  Write("image.bin", Random(8000));
  Write("slow.zr7", "[Files]\nFlash=[Unspecified]\n[Delays]\nDelayPage=1\nDelayPageValue=1000\n");
  for (const char* signal : {"TERM", "INT"}) {
    const auto start = std::chrono::steady_clock::now();
    CliRun r = zr7test::RunCli(dir_, Port() + "--project " + File("slow.zr7") + " program flash " + File("image.bin"),
                               std::string("timeout --preserve-status -s ") + signal + " 1");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << signal;
    EXPECT_EQ(r.status, 1) << signal << r.out << r.err;
    EXPECT_THAT(r.err, HasSubstr("Stopped by a signal")) << signal;
    Cli(0, Port() + "signature");
  }
}

TEST_F(CliChip, QuestionsAreAnsweredNoUnlessAskedOtherwise) {
  StartBoard();
  Write("big.bin", std::string(8192 + 100, '\x22'));  // longer than the chip: the size warning asks
  const CliRun no = Cli(1, Port() + "program flash " + File("big.bin"));
  EXPECT_THAT(no.err, HasSubstr("Warning: only first 8192 bytes Flash will be processed. [Cancel]"));
  EXPECT_THAT(no.out, HasSubstr("Programming cancelled"));
  EXPECT_EQ(sim_->FlashContents()[8191], 0xFF);
  Cli(0, Port() + "--yes program flash " + File("big.bin"));
  EXPECT_EQ(sim_->FlashContents()[8191], 0x22);
}

// A FIFO stays a FIFO and its reader gets the image whole and alone, even when the FIFO is
// also the program's stdout, as with `read flash /dev/stdout` in a pipe.
TEST_F(CliChip, ReadIntoAFifoPipesTheImageAlone) {
  const std::string image = Random(8192);
  StartBoard("ATmega8", image);
  const std::string fifo = File("pipe.bin");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // no wait for a writer
  ASSERT_GE(reader, 0);
  std::string got;
  std::thread drain([&] {  // until the last writer closes, or the deadline
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    char chunk[4096];
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{reader, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      const ssize_t n = read(reader, chunk, sizeof chunk);
      if (n == 0) break;
      if (n > 0) got.append(chunk, static_cast<std::size_t>(n));
    }
  });
  const std::string command = "XDG_CONFIG_HOME='" + File("config") + "' timeout 30 " ZR7_CLI_PATH " " + Port() +
                              "--device ATmega8 read flash '" + fifo + "' > '" + fifo + "' 2> '" + File("err") +
                              "' < /dev/null";
  const int status = std::system(command.c_str());
  drain.join();
  close(reader);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Read("err");
  EXPECT_TRUE(got == image) << got.size() << " bytes: " << got.substr(0, 80);
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_THAT(Read("err"), HasSubstr("Flash length: 8192"));
}

// Every autoprogram run that was not a usage error ends with the verdict line.
TEST_F(CliChip, AutoprogramEndsWithItsVerdict) {
  Write("serial.bin", Random(300));
  Write("job.zr7", Recipe(""));
  Write("gone.zr7", Recipe("", "absent.bin"));
  Write("bad.zr7", Recipe("", "serial.bin", 99));
  // Started from another folder: the image is found beside the project.
  const CliRun ok = Cli(0, "--simulator --project " + File("job.zr7") + " autoprogram");
  EXPECT_EQ(LastLine(ok.out), "AUTOPROGRAM: OK");
  EXPECT_THAT(ok.out, HasSubstr("Autoprogram: DONE (300 Flash bytes programmed)"));
  const CliRun missing = Cli(1, "--simulator --project " + File("gone.zr7") + " autoprogram");
  EXPECT_EQ(LastLine(missing.out), "AUTOPROGRAM: Error");
  EXPECT_THAT(missing.out, Not(HasSubstr("Erasing device"))) << "a named image that failed stops the run first";
  EXPECT_EQ(LastLine(Cli(1, "--simulator --project " + File("bad.zr7") + " autoprogram").out), "AUTOPROGRAM: Error")
      << "a project that does not load is a failed run";
}

TEST_F(CliChip, SerialNumberAdvancesAcrossRunsOnlyWhenSaved) {
  StartBoard();
  std::string image = Random(64);
  image[0] = 0x00, image[1] = 0x00, image[2] = 0x05;
  Write("serial.bin", image);
  Write("job.zr7", Recipe("AutoIncrementFlash=1\nAutoIncAddressFlash=2\n"));
  const std::string run = Port() + "--project " + File("job.zr7") + " autoprogram";
  EXPECT_THAT(Cli(0, run).err, HasSubstr("Next serial number 000006"));
  EXPECT_EQ(Read("serial.bin"), image) << "nothing written unasked";
  for (int chip = 5; chip < 8; ++chip) {
    EXPECT_EQ(LastLine(Cli(0, run + " --save-serial").out), "AUTOPROGRAM: OK");
    EXPECT_EQ(sim_->FlashContents()[2], chip) << "each chip gets the next number";
  }
  image[2] = 0x08;
  EXPECT_EQ(Read("serial.bin"), image);
}

// Refusals before the chip is touched: a serial number that could not be saved into its file
// (read-only, or a text that only loaded as raw bytes and would be saved as Intel HEX of its own
// characters), since the next run would program the same number; unsafe fuse settings; a
// DataFlash project, which has no recipe to run.
TEST_F(CliChip, AutoprogramRefusalsLeaveTheChipUntouched) {
  StartBoard("ATmega8", std::string(64, 'Z'));
  const std::string locked(64, '\x11'), text = "firmware 1.0, kept as text\n";
  Write("locked.bin", locked);
  fs::permissions(File("locked.bin"), fs::perms::owner_read);
  Write("text.hex", text);
  Write("serial.bin", Random(32));
  const std::string increment = "AutoIncrementFlash=1\nAutoIncAddressFlash=2\n";
  const struct { std::string recipe, options, err; } cases[] = {  // err "": the refusal is the image reader's
      {Recipe(increment, "locked.bin"), "--save-serial",
       "cannot be saved to '" + File("locked.bin") +
           "': no permission to write it (the file or its folder is read-only). The chip was not touched."},
      {Recipe(increment, "text.hex"), "--save-serial", ""},
      // No fuse keys: every fuse unprogrammed, SPIEN with them.
      {Recipe("ProgramFuse=1\n"), "--yes", "--allow-unsafe-fuses"},
      {Recipe("AutoEepromProgram=1\n", "serial.bin", 36), "--yes", NotAvailable("autoprogram", "AT45DB041")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.recipe);
    Write("job.zr7", c.recipe);
    const CliRun r = Cli(1, Port() + "--project " + File("job.zr7") + " autoprogram " + c.options);
    EXPECT_EQ(LastLine(r.out), "AUTOPROGRAM: Error");
    EXPECT_THAT(r.err, HasSubstr(c.err));
    EXPECT_TRUE(BoardHeardNothing());
    EXPECT_EQ(Read("locked.bin"), locked);
    EXPECT_EQ(Read("text.hex"), text);
  }
}

}  // namespace
