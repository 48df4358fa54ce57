// The firmware update over the real serial code, against the simulated board's loader.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>

#include <unistd.h>

#include "BoardSimulator.h"
#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "link/BoardLink.h"
#include "link/ComPort.h"
#include "link/FirmwareUpdate.h"
#include "support/RecordingClock.h"

using namespace zr7;
using zr7sim::BoardSimulator;
using zr7sim::SimOptions;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int kPort = 4;
constexpr LoaderConfirmation kSequence = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

Bytes RandomImage(std::size_t size = FirmwareImageSize) {
  std::mt19937 random(12345);
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(random());
  return out;
}

std::string WriteTemp(const Bytes& bytes) {
  char name[] = "/tmp/zr7-fw-XXXXXX";
  const int fd = mkstemp(name);
  EXPECT_GE(fd, 0);
  close(fd);
  std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  return name;
}

template <class ClockType>
struct Rig {
  explicit Rig(SimOptions options = {}, const Bytes& image = RandomImage())
      : sim(std::move(options)), catalog(language), link(port, op, catalog, clock), image(image) {
    std::string error;
    EXPECT_TRUE(sim.Start(&error)) << error;
    PortMap map;
    map.Set(kPort - 1, sim.SlavePath());
    port.SetPortMap(map);
    path = WriteTemp(image);
  }
  ~Rig() { std::remove(path.c_str()); }

  bool Update(FirmwareSpeed speed = FirmwareSpeed::Normal, std::optional<LoaderConfirmation> confirmation = {}) {
    FirmwareUpdateRequest request{kPort, path, confirmation, speed};
    return UpdateFirmware(link, request, [this](const FirmwareVersions& v) {
      asked.push_back(v);
      return true;
    });
  }
  std::vector<zr7sim::WireCommand> Loader(const std::string& name) {
    std::vector<zr7sim::WireCommand> out;
    for (const auto& c : sim.Log().Commands())
      if (c.name == name) out.push_back(c);
    return out;
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> out;
    for (const auto& b : op.Boxes()) out.push_back(b.text);
    return out;
  }
  bool Status(const std::string& text) const {
    auto s = op.StatusTexts();
    return std::find(s.begin(), s.end(), text) != s.end();
  }

  BoardSimulator sim;
  LanguageSettings language;
  MessageCatalog catalog;
  ScriptedOperator op;
  ComPort port;
  ClockType clock;
  BoardLink link;
  Bytes image;
  std::string path;
  std::vector<FirmwareVersions> asked;
};

using InstantRig = Rig<zr7test::InstantClock>;

// The operation's pauses, from the three that open it (before and after the loader command,
// then the next one) on; the connections before and after have pauses of their own.
std::vector<int> TransferSleeps(const std::vector<int>& all, std::vector<int> opening) {
  auto it = std::search(all.begin(), all.end(), opening.begin(), opening.end());
  return std::vector<int>(it, all.end());
}

TEST(FirmwareUpdate, NormalSpeedStreamsTheWholeImageAndTheBoardReportsTheNewVersion) {
  SimOptions s;
  s.firmware = "908";
  s.ident = "ZR7 9.08";
  InstantRig rig(s);
  ASSERT_TRUE(rig.Update());
  ASSERT_EQ(rig.asked.size(), 1u);
  EXPECT_EQ(rig.asked[0].current, "9.08");  // a version conflict: no identification, its version
  EXPECT_EQ(rig.asked[0].offered, "ZR7 9.10");

  EXPECT_EQ(rig.sim.FirmwareImage(), rig.image);
  EXPECT_EQ(rig.sim.Firmware(), "910");
  const auto blocks = rig.Loader("LoaderBlock");
  ASSERT_EQ(blocks.size(), FirmwareBlockCount);
  EXPECT_EQ(blocks[5].args, Bytes(rig.image.begin() + 20, rig.image.begin() + 24));
  for (const auto& b : blocks) ASSERT_EQ(b.reply, Bytes{13});
  EXPECT_TRUE(rig.Loader("LoaderConfirmation").empty());

  // Pauses: enter, reply, first block, then only after every 32nd block.
  const auto sleeps = TransferSleeps(rig.clock.Sleeps(), {50, 50, 25});
  std::vector<int> expected{50, 50, 25};
  expected.insert(expected.end(), FirmwareBlockCount / 32, 17);
  ASSERT_GE(sleeps.size(), expected.size());
  EXPECT_EQ(std::vector<int>(sleeps.begin(), sleeps.begin() + static_cast<long>(expected.size())), expected);

  EXPECT_TRUE(rig.Status("Version successfully updated"));
  EXPECT_EQ(rig.op.LastStatus(), "ZR7 9.10 (Serial number 01 23 45 67 89)");
  ASSERT_FALSE(rig.op.ProgressBars().empty());
  EXPECT_EQ(rig.op.ProgressBars().back(), 100);
  EXPECT_TRUE(rig.op.Boxes().empty());
}

TEST(FirmwareUpdate, ReducedSpeedWithConfirmationSequence) {
  SimOptions s;
  s.loaderConfirmation = kSequence;
  InstantRig rig(s);
  ASSERT_TRUE(rig.Update(FirmwareSpeed::Reduced, kSequence));
  EXPECT_EQ(rig.asked[0].current, "ZR7 9.10");
  const auto confirmation = rig.Loader("LoaderConfirmation");
  ASSERT_EQ(confirmation.size(), 1u);
  EXPECT_EQ(confirmation[0].args, Bytes(kSequence.begin(), kSequence.end()));
  EXPECT_EQ(rig.sim.FirmwareImage(), rig.image);

  const auto sleeps = TransferSleeps(rig.clock.Sleeps(), {100, 100, 50});
  std::vector<int> expected{100, 100, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50};
  for (std::size_t j = 0; j < FirmwareBlockCount; ++j) expected.push_back(j % 32 == 31 ? 30 : 5);
  ASSERT_GE(sleeps.size(), expected.size());
  EXPECT_EQ(std::vector<int>(sleeps.begin(), sleeps.begin() + static_cast<long>(expected.size())), expected);
}

TEST(FirmwareUpdate, NormalSpeedPausesShowOnTheWire) {
  Rig<zr7test::RecordingClock> rig;  // real pauses: about 1.8 s
  ASSERT_TRUE(rig.Update());
  std::vector<zr7sim::SimClock::time_point> starts;
  for (const auto& c : rig.Loader("LoaderBlock")) starts.push_back(c.time);  // each block's last byte
  ASSERT_EQ(starts.size(), FirmwareBlockCount);
  // After block 31 (0-based) the host waits 17 ms before it reads the CR and goes on.
  EXPECT_GE(starts[32] - starts[31], std::chrono::milliseconds(17));
  EXPECT_LT(starts[31] - starts[30], std::chrono::milliseconds(17));
}

TEST(FirmwareUpdate, ABoardAskingForAConfirmationNobodyGaveKeepsItsFirmware) {
  SimOptions s;
  s.loaderConfirmation = kSequence;
  InstantRig rig(s);
  EXPECT_FALSE(rig.Update());
  EXPECT_EQ(rig.BoxTexts().size(), 1u);
  EXPECT_NE(rig.BoxTexts()[0].find("confirmation sequence"), std::string::npos);
  EXPECT_EQ(rig.op.LastStatus(), "Error while version updating");
  EXPECT_TRUE(rig.Loader("LoaderBlock").empty());
  EXPECT_TRUE(rig.sim.FirmwareImage().empty());
  // The loader was never entered: the next connection finds the old firmware.
  EXPECT_EQ(rig.sim.Firmware(), "910");
  EXPECT_TRUE(rig.link.ReadBoardIdent(kPort, nullptr, nullptr, false));
}

TEST(FirmwareUpdate, AFailedBlockLeavesTheLoaderAndASecondUpdateMendsIt) {
  SimOptions s;
  s.faults.loaderBadReplyAtBlock = 100;
  InstantRig rig(s);
  EXPECT_FALSE(rig.Update());
  EXPECT_EQ(rig.BoxTexts(), (std::vector<std::string>{"Connection error"}));
  EXPECT_EQ(rig.op.LastStatus(), "Error while version updating");
  EXPECT_EQ(rig.Loader("LoaderBlock").size(), 100u);
  EXPECT_EQ(rig.sim.Firmware(), "ldr");

  rig.sim.SetFaults({});
  rig.op.ClearEvents();
  ASSERT_TRUE(rig.Update());
  ASSERT_EQ(rig.asked.size(), 2u);
  EXPECT_TRUE(rig.asked[1].boardEmpty);
  EXPECT_EQ(rig.asked[1].current, "Not programmed");
  EXPECT_EQ(rig.sim.FirmwareImage(), rig.image);
  EXPECT_EQ(rig.sim.Firmware(), "910");
}

TEST(FirmwareUpdate, AWrongImageIsRefusedBeforeTheBoardHearsAnything) {
  InstantRig rig({}, RandomImage(FirmwareImageSize - 1));
  EXPECT_FALSE(rig.Update());
  ASSERT_EQ(rig.BoxTexts().size(), 1u);
  EXPECT_NE(rig.BoxTexts()[0].find("12287 bytes"), std::string::npos) << rig.BoxTexts()[0];
  EXPECT_TRUE(rig.asked.empty());

  FirmwareUpdateRequest missing{kPort, "/nonexistent/fw.bin", {}, FirmwareSpeed::Normal};
  EXPECT_FALSE(UpdateFirmware(rig.link, missing, [](const FirmwareVersions&) { return true; }));
  EXPECT_NE(rig.BoxTexts().back().find("Cannot read"), std::string::npos);
  EXPECT_TRUE(rig.sim.Log().Bytes().empty());
}

TEST(FirmwareUpdate, TheFileChosenInTheDialogIsReadAfterTheChoice) {
  InstantRig rig;
  FirmwareUpdateRequest request{kPort, "", {}, FirmwareSpeed::Normal};
  const std::string wrong = WriteTemp(RandomImage(100));
  bool asked = false;
  // A file of the wrong size chosen in the dialog: refused, and the loader never entered.
  EXPECT_FALSE(UpdateFirmware(rig.link, request, [&](const FirmwareVersions& v, FirmwareUpdateRequest& r) {
    asked = true;
    EXPECT_EQ(v.current.substr(4), "9.10");
    r.imagePath = wrong;
    return true;
  }));
  EXPECT_TRUE(asked);
  EXPECT_TRUE(rig.Loader("LoaderBlock").empty());
  EXPECT_EQ(rig.sim.Firmware(), "910");
  std::remove(wrong.c_str());

  EXPECT_TRUE(UpdateFirmware(rig.link, request, [&](const FirmwareVersions&, FirmwareUpdateRequest& r) {
    r.imagePath = rig.path;
    return true;
  }));
  EXPECT_EQ(rig.sim.FirmwareImage(), rig.image);
}

TEST(FirmwareUpdate, CancelledDialogAndNoPortSendNoImage) {
  InstantRig rig;
  FirmwareUpdateRequest request{kPort, rig.path, {}, FirmwareSpeed::Normal};
  EXPECT_FALSE(UpdateFirmware(rig.link, request, [](const FirmwareVersions&) { return false; }));
  EXPECT_TRUE(rig.Loader("LoaderBlock").empty());
  EXPECT_EQ(rig.sim.Firmware(), "910");

  request.portNumber = 0;
  rig.op.ClearEvents();
  EXPECT_FALSE(UpdateFirmware(rig.link, request, [](const FirmwareVersions&) { return true; }));
  EXPECT_EQ(rig.BoxTexts(), (std::vector<std::string>{"No board specified"}));
}

TEST(FirmwareUpdate, ConfirmationParsing) {
  EXPECT_EQ(ParseConfirmation("0123456789abcdef"), kSequence);
  EXPECT_EQ(ParseConfirmation("0123456789ABCDEF"), kSequence);
  EXPECT_FALSE(ParseConfirmation("0123456789ABCDE"));
  EXPECT_FALSE(ParseConfirmation("0123456789ABCDEF0"));
  EXPECT_FALSE(ParseConfirmation("0123456789ABCDEG"));
}

}  // namespace
