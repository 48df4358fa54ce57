// zr7-cli fuses as a user runs it: the real executable against a simulated board. The options,
// what the command prints, refuses and writes are the command line's own; the instructions on
// the wire are the lockfuse tests'.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "BoardSimulator.h"
#include "link/Commands.h"
#include "support/CliRunner.h"
#include "support/TempFolder.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

class FuseCli : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = zr7test::CaseDir("zr7-fuses"); }
  void TearDown() override { fs::remove_all(dir_); }

  void StartBoard(const std::string& chip, std::array<std::uint8_t, 3> fuses = {0xFF, 0xFF, 0xFF}) {
    zr7sim::SimOptions options;
    options.chip = chip;
    options.fuses = fuses;
    sim_ = std::make_unique<zr7sim::BoardSimulator>(options);
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
  }

  // zr7-cli on the board, expected to exit with `status`.
  zr7test::CliRun Cli(int status, const std::string& args) {
    return zr7test::RunCliExpecting(dir_, status, "--port " + sim_->SlavePath() + " " + args);
  }
  // Fuse and lock writes the board has seen (AC with an opcode other than erase and enable).
  int Writes() {
    int n = 0;
    for (const auto& c : sim_->Log().Commands())
      if ((c.code == zr7::CmdSpi4 || c.code == zr7::CmdSpi3) && c.args[0] == 0xAC && c.args[1] != 0x53 &&
          (c.args[1] & 0xE0) != 0x80)
        ++n;
    return n;
  }
  std::array<std::uint8_t, 3> Fuses() const { return sim_->LockState().fuses; }

  fs::path dir_;
  std::unique_ptr<zr7sim::BoardSimulator> sim_;
};

TEST_F(FuseCli, ProgramVerifyAndTheGuardAgainstLockingOut) {
  StartBoard("ATmega8");
  const std::string programmed = Cli(0, "--device ATmega8 --yes fuses program --fuse-high 0xD1").out;
  EXPECT_THAT(programmed, HasSubstr("Fuse byte 2 (high): 0xFF -> 0xD1\n"));
  EXPECT_THAT(programmed, HasSubstr("Lock&Fuse bits verify: OK"));
  EXPECT_EQ(Fuses()[1], 0xD1);
  Cli(0, "--device ATmega8 fuses verify --fuse-high 0xd1");
  EXPECT_THAT(Cli(1, "--device ATmega8 fuses verify --fuse-high 0xD9 --set cksel0=programmed").out,
              HasSubstr("Lock&Fuse bits verify: Failed\n - CKSEL0 should be programmed, is unprogrammed\n"
                        " - EESAVE should be unprogrammed, is programmed\n"));

  // 0x59 programs RSTDISBL: refused before anything reaches the chip.
  const int before = Writes();
  const std::string refused = Cli(1, "--device ATmega8 --yes fuses program --fuse-high 0x59").err;
  EXPECT_THAT(refused, HasSubstr("RSTDISBL should be unprogrammed"));
  EXPECT_THAT(refused, HasSubstr("--allow-unsafe-fuses"));
  EXPECT_EQ(Writes(), before);

  const std::string read = Cli(0, "--device ATmega8 fuses read").out;
  EXPECT_THAT(read, HasSubstr("Lock mode: 0 (No)\n"));
  EXPECT_THAT(read, HasSubstr("Fuse byte 1 (low): 0xFF, programmed: none\n"));
  EXPECT_THAT(read, HasSubstr("Fuse byte 2 (high): 0xD1, programmed: BOOTSZ0 BOOTSZ1 EESAVE SPIEN\n"));
  EXPECT_THAT(read, HasSubstr("Boot lock bits programmed: none\n"));

  // Allowed on purpose, it is written and not read back: the chip would not answer.
  EXPECT_THAT(Cli(0, "--device ATmega8 --yes fuses program --fuse-high 0x59 --allow-unsafe-fuses").err,
              HasSubstr("Not read back"));
  EXPECT_EQ(Fuses()[1], 0x59);
}

TEST_F(FuseCli, NothingIsWrittenWithoutYesAndUsageErrors) {
  StartBoard("ATmega8", {0xE1, 0xD9, 0xFF});
  const zr7test::CliRun no = Cli(1, "--device ATmega8 fuses program --lock 1 --set BLB01=programmed");
  EXPECT_THAT(no.out, HasSubstr("Lock mode: 0 (No) -> 1 (LB1: Write protect)\nFuse byte 1 (low): 0xE1 -> 0xE1\n"));
  EXPECT_THAT(no.out, HasSubstr("Boot lock bits programmed: none -> BLB01\n"));
  EXPECT_THAT(no.err, HasSubstr("Program these lock and fuse bits into the ATmega8? [No]"));

  const std::pair<const char*, const char*> usage[] = {
      {"fuses program --lock 3", "Lock mode 3 is not available on the ATmega8 (0 to 2)."},
      {"fuses program --fuse-ext 0xFF", "The ATmega8 has no fuse byte 3 (extended)."},
      {"fuses verify --set JTAGEN=programmed", "The ATmega8 has no lock, fuse or boot lock bit 'JTAGEN'"},
      {"fuses program --set SPIEN=on", "--set takes NAME=programmed"},
      {"fuses program --fuse-low 0x1FF", "--fuse-low takes a byte"},
      {"fuses program --lock-only --fuse-low 0xE1", "--lock-only writes no fuse bits"},
      {"fuses verify", "fuses verify compares what it is given"}};
  for (const auto& [args, says] : usage)
    EXPECT_THAT(Cli(2, std::string("--device ATmega8 --yes ") + args).err, HasSubstr(says)) << args;
  EXPECT_EQ(Writes(), 0);

  Cli(0, "--device ATmega8 --yes fuses program --lock 1 --set BLB01=programmed --lock-only");
  EXPECT_EQ(Writes(), 1);  // the lock write only
  EXPECT_EQ(sim_->LockState().lockBits & 0x3F, 0x3A);
}

TEST_F(FuseCli, ProjectSettingsAndTheirRefusals) {
  StartBoard("ATmega8", {0xE1, 0xD9, 0xFF});
  auto project = [&](const std::string& name, int programFuse) {
    zr7test::WriteFile(dir_ / name, "[Files]\nFlash=\"[Unspecified]\"\nEeprom=\"[Unspecified]\"\n[AutoProgram]\n"
                                     "ProgramFuse=" + std::to_string(programFuse) +
                                         "\nLockMode=1\nFuse13=1\nFuse11=1\n[Device]\nDeviceNo=8\n");
    return "--project " + (dir_ / name).string();
  };
  const std::string off = project("off.zr7", 0), on = project("on.zr7", 1);
  EXPECT_THAT(Cli(1, off + " --yes fuses program").err,
              HasSubstr("does not program lock and fuse bits (ProgramFuse is off)"));
  // Another chip's settings (the ATmega16 has its bits elsewhere).
  EXPECT_THAT(Cli(1, on + " --device ATmega16 --yes fuses program").err,
              HasSubstr("are for the ATmega8; the ATmega16 has its bits elsewhere"));
  EXPECT_EQ(Writes(), 0);

  // The project's settings replace the chip's; an option still changes what it names.
  Cli(0, on + " --yes fuses program --fuse-low 0xE4");
  EXPECT_EQ(Fuses()[0], 0xE4);
  EXPECT_EQ(Fuses()[1], 0xD7);  // SPIEN and EESAVE only
  EXPECT_EQ(sim_->LockState().lockBits & 0x03, 0x02);
  Cli(0, on + " fuses verify --fuse-low 0xE4");
  Cli(0, off + " fuses verify --fuse-low 0xE4");  // verify compares, ProgramFuse or not
  Cli(1, off + " fuses verify");                  // the project's low byte is FF
}

TEST_F(FuseCli, OtherFamilies) {
  StartBoard("AT89S52");
  EXPECT_THAT(Cli(0, "--device AT89S52 --yes fuses program --lock 2").out,
              HasSubstr("Lock mode: 0 (No locking) -> 2 (LB1+LB2)\n"));
  EXPECT_THAT(Cli(0, "--device AT89S52 fuses read").out, HasSubstr("Lock mode: 2 (LB1+LB2)\n"));
  // Refused before anything is written: a mode the chip's lock instruction cannot carry, a read
  // the chip has no instruction for.
  EXPECT_THAT(Cli(1, "--device AT89S2051 --yes fuses program --lock 1").err,
              HasSubstr("Lock mode 'LB1' cannot be programmed on this device"));
  EXPECT_THAT(Cli(1, "--device AT89S8252 fuses read").err,
              HasSubstr("This device do not have a 'read lock/fuse bits' function."));
  EXPECT_EQ(Writes(), 2);  // the AT89S52's lock writes, one for each mode up to 2
}

}  // namespace
