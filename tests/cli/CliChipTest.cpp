// zr7-cli's chip commands as a user runs them: the real executable against a simulated board.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "BoardSimulator.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct CliRun {
  int status = -1;
  std::string out, err;
};

class CliChip : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("zr7-cli-" + std::to_string(getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void StartBoard(zr7sim::SimOptions options) {
    sim_ = std::make_unique<zr7sim::BoardSimulator>(options);
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
  }

  // Runs zr7-cli with its own empty profile, stdout and stderr kept apart.
  CliRun Cli(const std::string& args) {
    const std::string out = (dir_ / "stdout").string(), err = (dir_ / "stderr").string();
    const std::string command = "XDG_CONFIG_HOME='" + (dir_ / "config").string() + "' " + ZR7_CLI_PATH + " " + args +
                                " > '" + out + "' 2> '" + err + "' < /dev/null";
    CliRun r;
    const int status = std::system(command.c_str());
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Read(out);
    r.err = Read(err);
    return r;
  }
  std::string Port() const { return "--port " + sim_->SlavePath(); }
  std::string File(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
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

  CliRun noFile = Cli("--simulator program flash " + File("absent.hex"));
  EXPECT_EQ(noFile.status, 1);
  EXPECT_THAT(noFile.err, HasSubstr("Cannot read file"));
  CliRun noEeprom = Cli("--simulator --device AT89S51 program eeprom " + File("absent.hex"));
  EXPECT_EQ(noEeprom.status, 1);
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

}  // namespace
