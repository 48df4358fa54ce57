// Reading the signature: always at the board's normal speed, and a locked chip's bytes count
// as read (the command line's exit status follows that).

#include <gtest/gtest.h>

#include "support/BoardRig.h"

using namespace zr7;

TEST(ReadSignature, NormalSpeedWhateverTheJobAndALockedChipIsRead) {
  for (const bool locked : {false, true}) {
    SCOPED_TRACE(locked ? "locked" : "open");
    zr7sim::SimOptions board;
    board.locked = locked;
    zr7test::BoardRig rig("ATmega8", {.sim = board});
    ASSERT_TRUE(rig.started) << rig.error;
    rig.job.highSpeed = true;  // the transfers' speed; a signature never asks for it
    EXPECT_TRUE(rig.commands.ReadSignature(rig.job));
    EXPECT_EQ(rig.op.LastStatus(), locked ? "Device is locked" : "Signature: 1E 93 07 - ATmega8");
    for (const auto& c : rig.Commands()) EXPECT_EQ(c.baud, 19200u) << c.name;
  }
}
