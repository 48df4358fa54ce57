// zr7-cli fuses as a user runs it: the real executable against a simulated board.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "BoardSimulator.h"
#include "support/CliRunner.h"
#include "link/Commands.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

using zr7test::CliRun;

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

  // zr7-cli with its own empty profile, on the board, stdout and stderr kept apart.
  CliRun Cli(const std::string& args) { return zr7test::RunCli(dir_, "--port " + sim_->SlavePath() + " " + args); }
  // Fuse and lock writes the board has seen (AC with an opcode other than erase and enable).
  int Writes() {
    int n = 0;
    for (const auto& c : sim_->Log().Commands())
      if ((c.code == zr7::CmdSpi4 || c.code == zr7::CmdSpi3) && c.args[0] == 0xAC && c.args[1] != 0x53 &&
          (c.args[1] & 0xE0) != 0x80)
        ++n;
    return n;
  }

  fs::path dir_;
  std::unique_ptr<zr7sim::BoardSimulator> sim_;
};

TEST_F(FuseCli, ProgramVerifyAndTheGuardAgainstLockingOut) {
  StartBoard("ATmega8");
  CliRun p = Cli("--device ATmega8 --yes fuses program --fuse-high 0xD1");
  EXPECT_EQ(p.status, 0) << p.out << p.err;
  EXPECT_THAT(p.out, HasSubstr("Fuse byte 2 (high): 0xFF -> 0xD1\n"));
  EXPECT_THAT(p.out, HasSubstr("Lock&Fuse bits verify: OK"));
  EXPECT_EQ(sim_->LockState().fuses[1], 0xD1);

  CliRun v = Cli("--device ATmega8 fuses verify --fuse-high 0xd1");
  EXPECT_EQ(v.status, 0) << v.out << v.err;
  CliRun differs = Cli("--device ATmega8 fuses verify --fuse-high 0xD9 --set cksel0=programmed");
  EXPECT_EQ(differs.status, 1);
  EXPECT_THAT(differs.out, HasSubstr("Lock&Fuse bits verify: Failed\n - CKSEL0 should be programmed, is unprogrammed\n"
                                     " - EESAVE should be unprogrammed, is programmed\n"));

  // 0x59 programs RSTDISBL: refused before anything reaches the chip.
  const int before = Writes();
  CliRun bad = Cli("--device ATmega8 --yes fuses program --fuse-high 0x59");
  EXPECT_EQ(bad.status, 1);
  EXPECT_THAT(bad.err, HasSubstr("RSTDISBL should be unprogrammed"));
  EXPECT_THAT(bad.err, HasSubstr("--allow-unsafe-fuses"));
  EXPECT_EQ(Writes(), before);

  CliRun r = Cli("--device ATmega8 fuses read");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("Lock mode: 0 (No)\n"));
  EXPECT_THAT(r.out, HasSubstr("Fuse byte 1 (low): 0xFF, programmed: none\n"));
  EXPECT_THAT(r.out, HasSubstr("Fuse byte 2 (high): 0xD1, programmed: BOOTSZ0 BOOTSZ1 EESAVE SPIEN\n"));
  EXPECT_THAT(r.out, HasSubstr("Boot lock bits programmed: none\n"));

  // Allowed on purpose, it is written and not read back: the chip would not answer.
  CliRun unsafe = Cli("--device ATmega8 --yes fuses program --fuse-high 0x59 --allow-unsafe-fuses");
  EXPECT_EQ(unsafe.status, 0) << unsafe.out << unsafe.err;
  EXPECT_THAT(unsafe.err, HasSubstr("Not read back"));
  EXPECT_EQ(sim_->LockState().fuses[1], 0x59);
}

TEST_F(FuseCli, NothingIsWrittenWithoutYesAndUsageErrors) {
  StartBoard("ATmega8", {0xE1, 0xD9, 0xFF});
  CliRun no = Cli("--device ATmega8 fuses program --lock 1 --set BLB01=programmed");
  EXPECT_EQ(no.status, 1);
  EXPECT_THAT(no.out, HasSubstr("Lock mode: 0 (No) -> 1 (LB1: Write protect)\nFuse byte 1 (low): 0xE1 -> 0xE1\n"));
  EXPECT_THAT(no.out, HasSubstr("Boot lock bits programmed: none -> BLB01\n"));
  EXPECT_THAT(no.err, HasSubstr("Program these lock and fuse bits into the ATmega8? [No]"));

  struct Case {
    std::string args, says;
  };
  for (const Case& c : {Case{"fuses program --lock 3", "Lock mode 3 is not available on the ATmega8 (0 to 2)."},
                        Case{"fuses program --fuse-ext 0xFF", "The ATmega8 has no fuse byte 3 (extended)."},
                        Case{"fuses verify --set JTAGEN=programmed", "The ATmega8 has no lock, fuse or boot lock bit 'JTAGEN'"},
                        Case{"fuses program --set SPIEN=on", "--set takes NAME=programmed"},
                        Case{"fuses program --fuse-low 0x1FF", "--fuse-low takes a byte"},
                        Case{"fuses program --lock-only --fuse-low 0xE1", "--lock-only writes no fuse bits"},
                        Case{"fuses verify", "fuses verify compares what it is given"}}) {
    CliRun r = Cli("--device ATmega8 --yes " + c.args);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_THAT(r.err, HasSubstr(c.says)) << c.args;
  }
  EXPECT_EQ(Writes(), 0);

  CliRun yes = Cli("--device ATmega8 --yes fuses program --lock 1 --set BLB01=programmed --lock-only");
  EXPECT_EQ(yes.status, 0) << yes.out << yes.err;
  EXPECT_EQ(Writes(), 1);  // the lock write only
  EXPECT_EQ(sim_->LockState().lockBits & 0x3F, 0x3A);
}

TEST_F(FuseCli, ProjectSettingsAndTheirRefusals) {
  StartBoard("ATmega8", {0xE1, 0xD9, 0xFF});
  auto project = [&](const std::string& name, int programFuse, int device) {
    std::ofstream((dir_ / name).string()) << "[Files]\nFlash=\"[Unspecified]\"\nEeprom=\"[Unspecified]\"\n"
                                          << "[AutoProgram]\nProgramFuse=" << programFuse
                                          << "\nLockMode=1\nFuse13=1\nFuse11=1\n[Device]\nDeviceNo=" << device << "\n";
    return "--project " + (dir_ / name).string();
  };
  const std::string off = project("off.zr7", 0, 8);
  CliRun refused = Cli(off + " --yes fuses program");
  EXPECT_EQ(refused.status, 1);
  EXPECT_THAT(refused.err, HasSubstr("does not program lock and fuse bits (ProgramFuse is off)"));
  // Another chip's settings (the ATmega16 has its bits elsewhere).
  CliRun other = Cli(project("m8.zr7", 1, 8) + " --device ATmega16 --yes fuses program");
  EXPECT_EQ(other.status, 1);
  EXPECT_THAT(other.err, HasSubstr("are for the ATmega8; the ATmega16 has its bits elsewhere"));
  EXPECT_EQ(Writes(), 0);

  // The project's settings replace the chip's; an option still changes what it names.
  CliRun p = Cli(project("on.zr7", 1, 8) + " --yes fuses program --fuse-low 0xE4");
  EXPECT_EQ(p.status, 0) << p.out << p.err;
  EXPECT_EQ(sim_->LockState().fuses[0], 0xE4);
  EXPECT_EQ(sim_->LockState().fuses[1], 0xD7);  // SPIEN and EESAVE only
  EXPECT_EQ(sim_->LockState().lockBits & 0x03, 0x02);
  EXPECT_EQ(Cli(project("on.zr7", 1, 8) + " fuses verify --fuse-low 0xE4").status, 0);
  EXPECT_EQ(Cli(off + " fuses verify --fuse-low 0xE4").status, 0);  // verify compares, ProgramFuse or not
  EXPECT_EQ(Cli(off + " fuses verify").status, 1);                   // the project's low byte is FF
}

TEST_F(FuseCli, OtherFamilies) {
  StartBoard("AT89S52");
  CliRun lock = Cli("--device AT89S52 --yes fuses program --lock 2");
  EXPECT_EQ(lock.status, 0) << lock.out << lock.err;
  EXPECT_THAT(lock.out, HasSubstr("Lock mode: 0 (No locking) -> 2 (LB1+LB2)\n"));
  EXPECT_THAT(Cli("--device AT89S52 fuses read").out, HasSubstr("Lock mode: 2 (LB1+LB2)\n"));

  CliRun at2051 = Cli("--device AT89S2051 --yes fuses program --lock 1");
  EXPECT_EQ(at2051.status, 1);
  EXPECT_THAT(at2051.err, HasSubstr("Lock mode 'LB1' cannot be programmed on this device"));
  CliRun memory = Cli("--device AT25256 --yes fuses read");
  EXPECT_EQ(memory.status, 1);
  EXPECT_THAT(memory.err, HasSubstr("The command 'fuses read' is not available for the AT25256"));
  CliRun unreadable = Cli("--device AT89S8252 fuses read");
  EXPECT_EQ(unreadable.status, 1);
  EXPECT_THAT(unreadable.err, HasSubstr("This device do not have a 'read lock/fuse bits' function."));
}

}  // namespace
