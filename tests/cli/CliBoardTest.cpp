// zr7-cli's board commands as a user runs them, against simulated boards: exit codes, the
// profile written only when asked, and a firmware update that needs --yes and a whole file.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "BoardSimulator.h"
#include "support/CliRunner.h"
#include "support/TempFolder.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using zr7test::CliRun;

namespace {

class CliBoard : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = zr7test::CaseDir("zr7-cliboard"); }
  void TearDown() override { fs::remove_all(dir_); }

  zr7sim::BoardSimulator& Board(zr7sim::SimOptions options = {}) {
    boards_.push_back(std::make_unique<zr7sim::BoardSimulator>(options));
    std::string error;
    EXPECT_TRUE(boards_.back()->Start(&error)) << error;
    return *boards_.back();
  }
  // Every port gets a path of our own, so no device of this machine is ever opened.
  void Ports(const std::map<int, std::string>& paths) {
    std::string ini = "[Ports]\n";
    for (int com = 1; com <= 8; ++com)
      ini += "COM" + std::to_string(com) + "=" +
             (paths.count(com) ? paths.at(com) : (dir_ / ("absent" + std::to_string(com))).string()) + "\n";
    fs::create_directories(dir_ / "config" / "zr7");
    zr7test::WriteFile(dir_ / "config" / "zr7" / "zr7.ini", ini);
  }
  std::string Profile() const { return zr7test::ReadWhole(dir_ / "config" / "zr7" / "zr7.ini"); }
  CliRun Cli(int status, const std::string& args) { return zr7test::RunCliExpecting(dir_, status, args); }

  fs::path dir_;
  std::vector<std::unique_ptr<zr7sim::BoardSimulator>> boards_;
};

TEST_F(CliBoard, SearchSavesOnlyWhenAskedAndExitCodesFollowTheOutcome) {
  Ports({});
  EXPECT_THAT(Cli(1, "board search").out, HasSubstr("ZR7 was not found"));

  zr7sim::SimOptions second;
  second.serial = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE};
  zr7sim::BoardSimulator& a = Board();
  zr7sim::BoardSimulator& b = Board(second);
  Ports({{5, b.SlavePath()}, {2, a.SlavePath()}});
  EXPECT_THAT(Cli(0, "board search").out, HasSubstr("ZR7 9.10 on COM2,  ZR7 9.10 on COM5"));
  EXPECT_THAT(Profile(), ::testing::Not(HasSubstr("COM=")));
  Cli(0, "board search --save");
  EXPECT_THAT(Profile(), HasSubstr("COM=2"));
  const CliRun info = Cli(0, "--port 5 board info");
  EXPECT_THAT(info.out + info.err, HasSubstr("AA BB CC DD EE"));
  EXPECT_THAT(Cli(0, "--port 2 --device ATmega8 board calibration").out, HasSubstr("Calibration bytes:"));
}

TEST_F(CliBoard, FirmwareUpdateTakesTheFileWholeOrNothing) {
  zr7sim::SimOptions options;
  options.loaderConfirmation = std::array<std::uint8_t, 8>{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  zr7sim::BoardSimulator& b = Board(options);
  const std::vector<std::uint8_t> bytes = zr7test::RandomBytes(12288, 3);
  const std::string image(bytes.begin(), bytes.end());
  zr7test::WriteFile(dir_ / "fw.bin", image);
  zr7test::WriteFile(dir_ / "short.bin", image.substr(1));
  const std::string port = "--port " + b.SlavePath();
  const std::string confirmation = " --confirmation 0123456789ABCDEF";

  Cli(1, port + " --yes firmware " + (dir_ / "short.bin").string() + confirmation);
  Cli(1, port + " firmware " + (dir_ / "fw.bin").string() + confirmation);  // no --yes
  EXPECT_TRUE(b.Log().Bytes().empty());
  Cli(0, port + " --yes firmware " + (dir_ / "fw.bin").string() + confirmation);
  EXPECT_EQ(b.FirmwareImage(), bytes);
}

}  // namespace
