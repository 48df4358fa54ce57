// zr7-cli's chip commands as a user runs them: the real executable against a simulated board.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "BoardSimulator.h"
#include "support/CliRunner.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using Bytes = std::vector<std::uint8_t>;

namespace {

using zr7test::CliRun;

class CliChip : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = zr7test::CaseDir("zr7-cli"); }
  void TearDown() override { fs::remove_all(dir_); }

  void StartBoard(zr7sim::SimOptions options) {
    sim_ = std::make_unique<zr7sim::BoardSimulator>(options);
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
  }

  // Runs zr7-cli with its own empty profile, stdout and stderr kept apart.
  CliRun Cli(const std::string& args) { return zr7test::RunCli(dir_, args); }
  std::string Port() const { return "--port " + sim_->SlavePath(); }
  std::string File(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Read(const std::string& path) { return zr7test::ReadWhole(path); }
  void Write(const std::string& name, const Bytes& bytes) {
    std::ofstream(File(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }

  fs::path dir_;
  std::unique_ptr<zr7sim::BoardSimulator> sim_;
};

Bytes Random(std::size_t n) {
  std::mt19937 r(7);
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(r());
  return b;
}

TEST_F(CliChip, ProgramVerifyReadRoundTrip) {
  StartBoard({});
  const Bytes image = Random(3000);
  Write("image.bin", image);
  CliRun p = Cli(Port() + " --device atmega8 program flash " + File("image.bin"));
  EXPECT_EQ(p.status, 0) << p.out << p.err;
  EXPECT_THAT(p.out, HasSubstr("Flash program: Done (3000 bytes programmed)\n"));

  CliRun v = Cli(Port() + " --device ATmega8 verify flash " + File("image.bin"));
  EXPECT_EQ(v.status, 0) << v.out << v.err;
  EXPECT_THAT(v.out, HasSubstr("Flash verify: OK (3000 bytes verified)\n"));

  CliRun r = Cli(Port() + " read flash " + File("out.bin") + " --device ATmega8");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  const std::string back = Read(File("out.bin"));
  ASSERT_EQ(back.size(), 8192u);
  EXPECT_EQ(Bytes(back.begin(), back.begin() + 3000), image);
  EXPECT_EQ(back.find_first_not_of('\xFF', 3000), std::string::npos);

  // A changed image no longer verifies, and a programmed chip is not blank.
  Bytes changed = image;
  changed[1234] ^= 0x01;
  Write("changed.bin", changed);
  CliRun bad = Cli(Port() + " --device ATmega8 verify flash " + File("changed.bin"));
  EXPECT_EQ(bad.status, 1);
  EXPECT_THAT(bad.out, HasSubstr("Flash verify: ERROR at byte 1234 (0x4D2)"));
  EXPECT_EQ(Cli(Port() + " --device ATmega8 blank-check").status, 1);
  EXPECT_EQ(Cli(Port() + " --device ATmega8 erase").status, 0);
  EXPECT_EQ(Cli(Port() + " --device ATmega8 blank-check").status, 0);
}

TEST_F(CliChip, BuiltInSimulatorAndRussianTexts) {
  CliRun r = Cli("--simulator --device atmega16 --lang ru signature");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("Сигнатура: 1E 94 03 - ATmega16"));
  // The simulator may hold another chip than the one selected: the signature names it.
  CliRun other = Cli("--simulator=ATtiny13 --device ATmega8 signature");
  EXPECT_EQ(other.status, 0) << other.err;
  EXPECT_THAT(other.out, HasSubstr("Signature: 1E 90 07 - ATtiny13"));
}

TEST_F(CliChip, UsageErrorsAndMissingPorts) {
  CliRun unknown = Cli("--simulator --device ATmega9 signature");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_THAT(unknown.err, HasSubstr("Unknown device 'ATmega9'"));
  EXPECT_EQ(Cli("--simulator program rom x.bin").status, 2);
  EXPECT_EQ(Cli("--simulator program flash").status, 2);
  EXPECT_EQ(Cli("--port 9 signature").status, 2);

  CliRun missing = Cli("--port " + File("no-such-tty") + " signature");
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.err, HasSubstr("does not exist"));
  EXPECT_THAT(missing.out, HasSubstr("Connection error"));
  // No serial device at all: nobody is to look for another program using it.
  fs::create_directory(File("folder"));
  Write("plain", Bytes{1});
  for (const std::string name : {"folder", "plain"}) {
    CliRun notTty = Cli("--port " + File(name) + " signature");
    EXPECT_EQ(notTty.status, 1);
    EXPECT_THAT(notTty.err, HasSubstr(File(name) + " is not a serial port."));
    EXPECT_THAT(notTty.err, Not(HasSubstr("other applications")));
  }

  CliRun noFile = Cli("--simulator program flash " + File("absent.hex"));
  EXPECT_EQ(noFile.status, 1);
  EXPECT_THAT(noFile.err, HasSubstr("Cannot read file"));
  CliRun noEeprom = Cli("--simulator --device AT89S51 program eeprom " + File("absent.hex"));
  EXPECT_EQ(noEeprom.status, 1);
}

// Unattended, a ".hex" file that is not Intel HEX is refused before the port opens: its
// characters are not programmed as an image.
TEST_F(CliChip, AFileThatIsNotItsImageIsNotProgrammed) {
  StartBoard({});
  std::ofstream(File("notes.hex")) << "firmware notes, not Intel HEX\n";
  for (const char* command : {"program", "verify"}) {
    CliRun r = Cli(Port() + " --device ATmega8 " + command + " flash " + File("notes.hex"));
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_EQ(r.err, "'" + File("notes.hex") +
                         "' is not valid Intel HEX: line 1 does not begin with ':'. Nothing was loaded.\n");
    EXPECT_EQ(r.out, "") << command;
  }
  EXPECT_TRUE(sim_->Log().Bytes().empty());
}

// What the window greys for a chip, the command line refuses before the port opens: an AVR
// erase sent to a serial EEPROM, or an Eeprom transfer to a DataFlash, would report success.
TEST_F(CliChip, CommandsTheChipDoesNotAllowAreRefusedBeforeAnyByte) {
  Write("image.bin", Bytes(100, 0x5A));
  Write("out.bin", Bytes{1, 2, 3});
  const struct {
    const char* chip;
    std::string args;
    const char* command;
  } cases[] = {
      {"AT45DB041", "--yes program eeprom " + File("image.bin"), "program eeprom"},
      {"AT45DB041", "verify eeprom " + File("image.bin"), "verify eeprom"},
      {"AT45DB041", "read eeprom " + File("out.bin"), "read eeprom"},
      {"AT45DB041", "fuses read", "fuses read"},
      {"AT25256", "erase", "erase"},
      {"AT25256", "blank-check", "blank-check"},
      {"AT25256", "read flash " + File("out.bin"), "read flash"},
      {"AT25256", "signature", "signature"},
      {"AT89S8252", "signature", "signature"},
      {"AT90S2313", "board calibration", "board calibration"},
  };
  for (const auto& c : cases) {
    zr7sim::SimOptions options;
    options.chip = c.chip;
    StartBoard(options);
    CliRun r = Cli(Port() + " --device " + c.chip + " " + c.args);
    EXPECT_EQ(r.status, 1) << c.chip << " " << c.args << "\n" << r.out << r.err;
    EXPECT_THAT(r.err, HasSubstr(std::string("'") + c.command + "' is not available for the " + c.chip)) << c.args;
    EXPECT_TRUE(sim_->Log().Bytes().empty()) << c.chip << " " << c.args;
    EXPECT_EQ(Read(File("out.bin")), std::string("\x01\x02\x03")) << c.args;
  }
  // An AT45 project whose recipe programs the Eeprom is refused as a whole.
  std::ofstream(File("at45.zr7")) << "[Device]\nDeviceNo=36\n[AutoProgram]\nAutoEepromProgram=1\n";
  zr7sim::SimOptions at45;
  at45.chip = "AT45DB041";
  StartBoard(at45);
  CliRun a = Cli(Port() + " --project " + File("at45.zr7") + " --yes autoprogram");
  EXPECT_EQ(a.status, 1);
  EXPECT_THAT(a.out, HasSubstr("AUTOPROGRAM: Error"));
  EXPECT_TRUE(sim_->Log().Bytes().empty());
}

// A station script's time-out (SIGTERM) or Ctrl+C stops a transfer inside its longest wait,
// ends the board's session and exits 1: the next run finds the board ready.
TEST_F(CliChip, SignalsStopATransferAndLeaveTheBoardReady) {
  StartBoard({});
  Write("image.bin", Random(8000));
  std::ofstream(File("slow.zr7")) << "[Files]\nFlash=[Unspecified]\n[Delays]\nDelayPage=1\nDelayPageValue=1000\n";
  for (const char* signal : {"TERM", "INT"}) {
    const auto start = std::chrono::steady_clock::now();
    CliRun r = zr7test::RunCli(dir_, Port() + " --project " + File("slow.zr7") + " program flash " + File("image.bin"),
                               std::string("timeout --preserve-status -s ") + signal + " 1");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << signal;
    EXPECT_EQ(r.status, 1) << signal << r.out << r.err;
    EXPECT_THAT(r.err, HasSubstr("Stopped by a signal")) << signal;
    CliRun next = Cli(Port() + " signature");
    EXPECT_EQ(next.status, 0) << signal << next.out << next.err;
  }
}

TEST_F(CliChip, SilentBoardEndsWithinSeconds) {
  zr7sim::SimOptions options;
  options.faults.silentAfterBytes = 0;
  StartBoard(options);
  const auto start = std::chrono::steady_clock::now();
  CliRun r = Cli(Port() + " signature");
  EXPECT_EQ(r.status, 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  EXPECT_THAT(r.out, HasSubstr("Connection error"));
}

TEST_F(CliChip, QuestionsAreAnsweredNoUnlessAskedOtherwise) {
  StartBoard({});
  Write("big.bin", Bytes(8192 + 100, 0x22));  // longer than the chip: the size warning asks
  CliRun no = Cli(Port() + " program flash " + File("big.bin"));
  EXPECT_EQ(no.status, 1);
  EXPECT_THAT(no.err, HasSubstr("Warning: only first 8192 bytes Flash will be processed. [Cancel]"));
  EXPECT_THAT(no.out, HasSubstr("Programming cancelled"));
  CliRun yes = Cli(Port() + " --yes program flash " + File("big.bin"));
  EXPECT_EQ(yes.status, 0) << yes.out << yes.err;
  EXPECT_EQ(sim_->FlashContents()[8191], 0x22);
}

// A FIFO stays a FIFO and its reader gets the image whole and alone, even when the FIFO is
// also the program's stdout, as with `read flash /dev/stdout` in a pipe.
TEST_F(CliChip, ReadIntoAFifoPipesTheImageAlone) {
  const Bytes image = Random(8192);
  Write("chip.bin", image);
  zr7sim::SimOptions options;
  options.flashImage = File("chip.bin");
  StartBoard(options);
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
                              " --device ATmega8 read flash '" + fifo + "' > '" + fifo + "' 2> '" + File("err") +
                              "' < /dev/null";
  const int status = std::system(command.c_str());
  drain.join();
  close(reader);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Read(File("err"));
  EXPECT_TRUE(got == std::string(image.begin(), image.end())) << got.size() << " bytes: " << got.substr(0, 80);
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_THAT(Read(File("err")), HasSubstr("Flash length: 8192"));
}

// ---- autoprogram ----

// A project beside its images: erase, blank check, Flash program and verify, and the extra
// keys given.
std::string Recipe(const std::string& extra) {
  return "[Files]\nFlash=serial.bin\n[Settings]\nResetStrobeLength=20\n[AutoProgram]\nAutoErase=1\n"
         "AutoEmptyCheck=1\nAutoFlashProgram=1\nAutoFlashVerify=1\n" + extra + "[Device]\nDeviceNo=8\n";
}

std::string LastLine(const std::string& text) {
  std::string t = text;
  while (!t.empty() && t.back() == '\n') t.pop_back();
  return t.substr(t.rfind('\n') + 1);
}

TEST_F(CliChip, AutoprogramNeedsAProjectAndEndsWithItsVerdict) {
  EXPECT_EQ(Cli("--simulator autoprogram").status, 2);
  Write("serial.bin", Random(300));
  std::ofstream(File("job.zr7")) << Recipe("");
  // Started from another folder: the image is found beside the project.
  CliRun ok = Cli("--simulator --project " + File("job.zr7") + " autoprogram");
  EXPECT_EQ(ok.status, 0) << ok.out << ok.err;
  EXPECT_EQ(LastLine(ok.out), "AUTOPROGRAM: OK");
  EXPECT_THAT(ok.out, HasSubstr("Autoprogram: DONE (300 Flash bytes programmed)"));

  std::ofstream(File("gone.zr7")) << Recipe("").replace(Recipe("").find("serial.bin"), 10, "absent.bin");
  CliRun missing = Cli("--simulator --project " + File("gone.zr7") + " autoprogram");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(LastLine(missing.out), "AUTOPROGRAM: Error");
  EXPECT_THAT(missing.out, Not(HasSubstr("Erasing device"))) << "a named image that failed stops the run first";

  std::ofstream(File("bad.zr7")) << Recipe("").replace(Recipe("").find("DeviceNo=8"), 10, "DeviceNo=99");
  CliRun refused = Cli("--simulator --project " + File("bad.zr7") + " autoprogram");
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(LastLine(refused.out), "AUTOPROGRAM: Error") << "a project that does not load is a failed run";
  EXPECT_EQ(Cli("--simulator --device NoSuchChip --project " + File("job.zr7") + " autoprogram").status, 2);
}

TEST_F(CliChip, SerialNumberAdvancesAcrossRunsOnlyWhenSaved) {
  StartBoard({});
  Bytes image = Random(64);
  image[0] = 0x00, image[1] = 0x00, image[2] = 0x05;
  Write("serial.bin", image);
  std::ofstream(File("job.zr7")) << Recipe("AutoIncrementFlash=1\nAutoIncAddressFlash=2\n");
  const std::string run = Port() + " --project " + File("job.zr7") + " autoprogram";

  CliRun unsaved = Cli(run);
  ASSERT_EQ(unsaved.status, 0) << unsaved.out << unsaved.err;
  EXPECT_THAT(unsaved.err, HasSubstr("Next serial number 000006"));
  EXPECT_EQ(Read(File("serial.bin"))[2], 0x05) << "nothing written unasked";

  for (int chip = 5; chip < 8; ++chip) {
    CliRun saved = Cli(run + " --save-serial");
    ASSERT_EQ(saved.status, 0) << saved.out << saved.err;
    EXPECT_EQ(sim_->FlashContents()[2], chip) << "each chip gets the next number";
    EXPECT_EQ(LastLine(saved.out), "AUTOPROGRAM: OK");
  }
  const std::string file = Read(File("serial.bin"));
  ASSERT_EQ(file.size(), image.size());
  EXPECT_EQ(static_cast<std::uint8_t>(file[2]), 0x08);
  EXPECT_EQ(file.substr(3), std::string(image.begin() + 3, image.end()));
}

// An image file the number cannot be saved into stops the run before the chip is touched,
// or the next run would program the same number: a read-only file, and a text that only
// loaded as raw bytes and would be saved as Intel HEX of its own characters.
TEST_F(CliChip, SerialSaveThatWouldFailIsRefusedBeforeTheChip) {
  zr7sim::SimOptions options;
  Write("old.bin", Bytes(64, 0x5A));
  options.flashImage = File("old.bin");
  StartBoard(options);
  const std::string text = "firmware 1.0, kept as text\n";
  const struct {
    const char* name;
    std::string contents;
    const char* message;  // "": the refusal is the reader's
  } cases[] = {
      {"locked.bin", std::string(64, '\x11'),
       "cannot be saved to '%s': no permission to write it (the file or its folder is read-only). "
       "The chip was not touched."},
      {"text.hex", text, ""},
  };
  for (const auto& c : cases) {
    std::ofstream(File(c.name), std::ios::binary) << c.contents;
    if (std::string(c.name) == "locked.bin") fs::permissions(File(c.name), fs::perms::owner_read);
    std::string recipe = Recipe("AutoIncrementFlash=1\nAutoIncAddressFlash=2\n");
    recipe.replace(recipe.find("serial.bin"), 10, c.name);
    std::ofstream(File("job.zr7")) << recipe;
    CliRun r = Cli(Port() + " --project " + File("job.zr7") + " autoprogram --save-serial");
    EXPECT_EQ(r.status, 1) << c.name << "\n" << r.out << r.err;
    EXPECT_EQ(LastLine(r.out), "AUTOPROGRAM: Error") << c.name;
    if (*c.message) {
      char expected[512];
      std::snprintf(expected, sizeof expected, c.message, File(c.name).c_str());
      EXPECT_THAT(r.err, HasSubstr(expected)) << c.name;
    }
    EXPECT_TRUE(sim_->Log().Bytes().empty()) << c.name;
    EXPECT_EQ(Read(File(c.name)), c.contents) << c.name;
  }
}

TEST_F(CliChip, AutoprogramRefusesUnsafeFusesBeforeTouchingTheChip) {
  zr7sim::SimOptions options;
  Write("old.bin", Bytes(32, 0x5A));
  options.flashImage = File("old.bin");
  StartBoard(options);
  Write("serial.bin", Random(32));
  // No fuse keys: every fuse unprogrammed, SPIEN with them.
  std::ofstream(File("job.zr7")) << Recipe("ProgramFuse=1\n");
  CliRun r = Cli(Port() + " --yes --project " + File("job.zr7") + " autoprogram");
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("--allow-unsafe-fuses"));
  EXPECT_EQ(LastLine(r.out), "AUTOPROGRAM: Error");
  EXPECT_EQ(sim_->FlashContents()[0], 0x5A) << "the chip was not erased";
}

}  // namespace
