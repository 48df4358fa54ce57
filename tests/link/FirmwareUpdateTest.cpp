// The firmware update over the real serial code, against the simulated board's loader.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "link/BoardLink.h"
#include "link/FirmwareUpdate.h"
#include "support/BoardRig.h"
#include "support/RecordingClock.h"
#include "support/TempFolder.h"

using namespace zr7;
using zr7sim::SimOptions;
using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

namespace {

constexpr int kPort = 4;
constexpr LoaderConfirmation kSequence = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

template <class ClockType>
struct Rig : zr7test::BoardRig {
  explicit Rig(SimOptions options = {})
      : BoardRig(options.chip, {.sim = options, .clock = &clock, .boardPort = kPort}),
        image(zr7test::RandomBytes(FirmwareImageSize, 12345)),
        path(folder.File("fw.bin", image)) {
    EXPECT_TRUE(started) << error;
  }

  bool Update(FirmwareSpeed speed = FirmwareSpeed::Normal, std::optional<LoaderConfirmation> confirmation = {}) {
    return UpdateFirmware(link, {kPort, path, confirmation, speed}, [this](const FirmwareVersions& v) {
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

  ClockType clock;
  zr7test::TempFolder folder;
  Bytes image;
  std::string path;
  std::vector<FirmwareVersions> asked;
};

using InstantRig = Rig<zr7test::InstantClock>;

// Both speeds stream the whole image; the board reports the new version. The pauses are counted
// from the three that open the operation (around the loader command, then the next one).
TEST(FirmwareUpdate, StreamsTheWholeImageWithTheSpeedsPauses) {
  std::vector<int> normal{50, 50, 25}, reduced{100, 100, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50};
  for (std::size_t j = 0; j < FirmwareBlockCount; ++j) {
    if (j % 32 == 31) normal.push_back(17);
    reduced.push_back(j % 32 == 31 ? 30 : 5);
  }
  const struct {
    SimOptions sim;
    FirmwareSpeed speed;
    std::optional<LoaderConfirmation> confirmation;
    const char* current;  // a version conflict: no identification, its version
    std::vector<int> pauses;
  } cases[] = {
      {{.firmware = "908", .ident = "ZR7 9.08"}, FirmwareSpeed::Normal, std::nullopt, "9.08", normal},
      {{.loaderConfirmation = kSequence}, FirmwareSpeed::Reduced, kSequence, "ZR7 9.10", reduced},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.current);
    InstantRig rig(c.sim);
    ASSERT_TRUE(rig.Update(c.speed, c.confirmation));
    ASSERT_EQ(rig.asked.size(), 1u);
    EXPECT_EQ(rig.asked[0].current, c.current);
    EXPECT_EQ(rig.asked[0].offered, "ZR7 9.10");
    EXPECT_EQ(rig.sim.FirmwareImage(), rig.image);
    EXPECT_EQ(rig.sim.Firmware(), "910");
    const auto blocks = rig.Loader("LoaderBlock");
    ASSERT_EQ(blocks.size(), FirmwareBlockCount);
    const auto confirmation = rig.Loader("LoaderConfirmation");
    ASSERT_EQ(confirmation.size(), c.confirmation ? 1u : 0u);
    if (c.confirmation) {
      EXPECT_EQ(confirmation[0].args, Bytes(kSequence.begin(), kSequence.end()));
    }

    const auto all = rig.clock.Sleeps();
    const auto from = std::search(all.begin(), all.end(), c.pauses.begin(), c.pauses.begin() + 3);
    ASSERT_GE(all.end() - from, static_cast<long>(c.pauses.size()));
    EXPECT_EQ(std::vector<int>(from, from + static_cast<long>(c.pauses.size())), c.pauses);

    const Texts statuses = rig.op.StatusTexts();
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Version successfully updated"), statuses.end());
    EXPECT_EQ(rig.op.LastStatus(), "ZR7 9.10 (Serial number 01 23 45 67 89)");
    ASSERT_FALSE(rig.op.ProgressBars().empty());
    EXPECT_EQ(rig.op.ProgressBars().back(), 100);
    EXPECT_TRUE(rig.op.Boxes().empty());
  }
}

TEST(FirmwareUpdate, NormalSpeedPausesShowOnTheWire) {
  Rig<zr7test::RecordingClock> rig;  // real pauses: about 1.8 s
  ASSERT_TRUE(rig.Update());
  std::vector<zr7sim::SimClock::time_point> ends;
  for (const auto& c : rig.Loader("LoaderBlock")) ends.push_back(c.time);  // each block's last byte
  ASSERT_EQ(ends.size(), FirmwareBlockCount);
  // After block 31 (0-based) the host waits 17 ms before it reads the CR and goes on.
  EXPECT_GE(ends[32] - ends[31], std::chrono::milliseconds(17));
  EXPECT_LT(ends[31] - ends[30], std::chrono::milliseconds(17));
}

TEST(FirmwareUpdate, ABoardAskingForAConfirmationNobodyGaveKeepsItsFirmware) {
  InstantRig rig({.loaderConfirmation = kSequence});
  EXPECT_FALSE(rig.Update());
  ASSERT_EQ(rig.op.BoxTexts().size(), 1u);
  EXPECT_NE(rig.op.BoxTexts()[0].find("confirmation sequence"), std::string::npos);
  EXPECT_EQ(rig.op.LastStatus(), "Error while version updating");
  EXPECT_TRUE(rig.Loader("LoaderBlock").empty());
  EXPECT_TRUE(rig.sim.FirmwareImage().empty());
  // The loader was never entered: the next connection finds the old firmware.
  EXPECT_EQ(rig.sim.Firmware(), "910");
  EXPECT_TRUE(rig.link.ReadBoardIdent(kPort, nullptr, nullptr, false));
}

TEST(FirmwareUpdate, AFailedBlockLeavesTheLoaderAndASecondUpdateMendsIt) {
  InstantRig rig({.faults = {.loaderBadReplyAtBlock = 100}});
  EXPECT_FALSE(rig.Update());
  EXPECT_EQ(rig.op.BoxTexts(), Texts{"Connection error"});
  EXPECT_EQ(rig.op.LastStatus(), "Error while version updating");
  EXPECT_EQ(rig.Loader("LoaderBlock").size(), 100u);
  EXPECT_EQ(rig.sim.Firmware(), "ldr");

  rig.sim.SetFaults({});
  ASSERT_TRUE(rig.Update());
  ASSERT_EQ(rig.asked.size(), 2u);
  EXPECT_TRUE(rig.asked[1].boardEmpty);
  EXPECT_EQ(rig.asked[1].current, "Not programmed");
  EXPECT_EQ(rig.sim.FirmwareImage(), rig.image);
  EXPECT_EQ(rig.sim.Firmware(), "910");
}

// A wrong or missing file, a cancelled dialog and no port: the loader is never entered. The
// file chosen in the dialog is read after the choice.
TEST(FirmwareUpdate, NothingIsSentWithoutAGoodFileAChoiceAndAPort) {
  InstantRig rig;
  int questions = 0;
  auto yes = [&](const FirmwareVersions&) { return ++questions > 0; };
  const std::string wrong = rig.folder.File("short.bin", zr7test::RandomBytes(FirmwareImageSize - 1, 1));
  EXPECT_FALSE(UpdateFirmware(rig.link, {kPort, wrong, {}, FirmwareSpeed::Normal}, yes));
  ASSERT_EQ(rig.op.BoxTexts().size(), 1u);
  EXPECT_NE(rig.op.BoxTexts()[0].find("12287 bytes"), std::string::npos) << rig.op.BoxTexts()[0];
  EXPECT_FALSE(UpdateFirmware(rig.link, {kPort, rig.folder / "missing.bin", {}, FirmwareSpeed::Normal}, yes));
  EXPECT_NE(rig.op.BoxTexts().back().find("Cannot read"), std::string::npos);
  EXPECT_EQ(questions, 0);
  EXPECT_TRUE(rig.sim.Log().Bytes().empty());

  EXPECT_FALSE(UpdateFirmware(rig.link, {kPort, rig.path, {}, FirmwareSpeed::Normal},
                              [](const FirmwareVersions&) { return false; }));
  rig.op.ClearEvents();
  EXPECT_FALSE(UpdateFirmware(rig.link, {0, rig.path, {}, FirmwareSpeed::Normal}, yes));
  EXPECT_EQ(rig.op.BoxTexts(), Texts{"No board specified"});

  const FirmwareUpdateRequest request{kPort, "", {}, FirmwareSpeed::Normal};
  EXPECT_FALSE(UpdateFirmware(rig.link, request, [&](const FirmwareVersions& v, FirmwareUpdateRequest& r) {
    ++questions;
    EXPECT_EQ(v.current.substr(4), "9.10");
    r.imagePath = wrong;
    return true;
  }));
  EXPECT_EQ(questions, 1);  // the dialog alone: no question without a port
  EXPECT_TRUE(rig.Loader("LoaderBlock").empty());
  EXPECT_EQ(rig.sim.Firmware(), "910");
  EXPECT_TRUE(UpdateFirmware(rig.link, request, [&](const FirmwareVersions&, FirmwareUpdateRequest& r) {
    r.imagePath = rig.path;
    return true;
  }));
  EXPECT_EQ(rig.sim.FirmwareImage(), rig.image);
}

TEST(FirmwareUpdate, ConfirmationParsing) {
  EXPECT_EQ(ParseConfirmation("0123456789abcdef"), kSequence);
  EXPECT_EQ(ParseConfirmation("0123456789ABCDEF"), kSequence);
  EXPECT_FALSE(ParseConfirmation("0123456789ABCDE"));
  EXPECT_FALSE(ParseConfirmation("0123456789ABCDEF0"));
  EXPECT_FALSE(ParseConfirmation("0123456789ABCDEG"));
}

}  // namespace
