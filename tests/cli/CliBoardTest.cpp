// zr7-cli's board commands as a user runs them: search over the profile's ports, board
// information, calibration bytes, and a firmware update, against simulated boards.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "BoardSimulator.h"
#include "support/CliRunner.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using Bytes = std::vector<std::uint8_t>;

namespace {

using zr7test::CliRun;

class CliBoard : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = zr7test::CaseDir("zr7-cliboard");
    fs::create_directories(dir_ / "config" / "zr7");
  }
  void TearDown() override { fs::remove_all(dir_); }

  zr7sim::BoardSimulator& Board(zr7sim::SimOptions options = {}) {
    boards_.push_back(std::make_unique<zr7sim::BoardSimulator>(options));
    std::string error;
    EXPECT_TRUE(boards_.back()->Start(&error)) << error;
    return *boards_.back();
  }
  // Every port gets a path of our own, so no device of this machine is ever opened.
  void Ports(const std::map<int, std::string>& paths) {
    std::ofstream ini(dir_ / "config" / "zr7" / "zr7.ini");
    ini << "[Ports]\n";
    for (int com = 1; com <= 8; ++com) {
      auto it = paths.find(com);
      ini << "COM" << com << "=" << (it != paths.end() ? it->second : (dir_ / ("absent" + std::to_string(com))).string())
          << "\n";
    }
  }
  std::string Profile() const { return zr7test::ReadWhole(dir_ / "config" / "zr7" / "zr7.ini"); }
  CliRun Cli(const std::string& args) { return zr7test::RunCli(dir_, args); }

  fs::path dir_;
  std::vector<std::unique_ptr<zr7sim::BoardSimulator>> boards_;
};

TEST_F(CliBoard, SearchListsBoardsInPortOrderAndSavesOnlyWhenAsked) {
  zr7sim::SimOptions second;
  second.ident = "ZR7 9.10";
  second.serial = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE};
  zr7sim::BoardSimulator& a = Board();
  zr7sim::BoardSimulator& b = Board(second);
  Ports({{5, b.SlavePath()}, {2, a.SlavePath()}});
  CliRun r = Cli("board search");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_THAT(r.out, HasSubstr("ZR7 9.10 on COM2,  ZR7 9.10 on COM5"));
  EXPECT_THAT(Profile(), ::testing::Not(HasSubstr("COM=")));
  EXPECT_EQ(Cli("board search --save").status, 0);
  EXPECT_THAT(Profile(), HasSubstr("COM=2"));

  CliRun info = Cli("--port 5 board info");
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_THAT(info.out + info.err, HasSubstr("AA BB CC DD EE"));
  CliRun cal = Cli("--port 2 --device ATmega8 board calibration");
  EXPECT_EQ(cal.status, 0) << cal.err;
  EXPECT_THAT(cal.out, HasSubstr("Calibration bytes:"));
  EXPECT_EQ(Cli("--port 2 --device AT90S2313 board calibration").status, 1);  // it has none
}

TEST_F(CliBoard, NothingFoundAndShortIdentifications) {
  Ports({});
  CliRun none = Cli("board search");
  EXPECT_EQ(none.status, 1);
  EXPECT_THAT(none.out, HasSubstr("ZR7 was not found"));

  zr7sim::SimOptions shortIdent;
  shortIdent.ident = "ZR";  // shorter than the characters the information shows
  zr7sim::BoardSimulator& b = Board(shortIdent);
  CliRun info = Cli("--port " + b.SlavePath() + " board info");
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_THAT(info.out + info.err, HasSubstr("ZR? Version ?.??"));
}

TEST_F(CliBoard, FirmwareUpdateTakesTheFileWholeOrNothing) {
  zr7sim::SimOptions options;
  options.loaderConfirmation = std::array<std::uint8_t, 8>{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  zr7sim::BoardSimulator& b = Board(options);
  std::mt19937 random(3);
  Bytes image(12288);
  for (auto& x : image) x = static_cast<std::uint8_t>(random());
  const std::string file = (dir_ / "fw.bin").string();
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
  const std::string shortFile = (dir_ / "short.bin").string();
  std::ofstream(shortFile, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), 12287);
  const std::string port = "--port " + b.SlavePath();

  EXPECT_EQ(Cli(port + " --yes firmware " + shortFile + " --confirmation 0123456789ABCDEF").status, 1);
  EXPECT_EQ(Cli(port + " firmware " + file + " --confirmation 0123456789ABCDEF").status, 1);  // no --yes
  EXPECT_TRUE(b.Log().Bytes().empty());

  CliRun ok = Cli(port + " --yes firmware " + file + " --confirmation 0123456789ABCDEF");
  EXPECT_EQ(ok.status, 0) << ok.out << ok.err;
  EXPECT_EQ(b.FirmwareImage(), image);
}

}  // namespace
