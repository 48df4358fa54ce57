// The chip commands' wire helpers against a scripted board: the bytes of each, and a failure
// that names the command and what came instead of its answer.

#include <gtest/gtest.h>

#include <functional>

#include "link/BoardLink.h"
#include "link/ChipWire.h"
#include "link/Commands.h"
#include "support/FakeLink.h"
#include "support/ScriptedOperator.h"
#include "text/MessageCatalog.h"

using namespace zr7;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct Wire {
  Wire() { fake.Open(0, LowBaud); }
  zr7test::FakeLink fake;
  LanguageSettings language;
  MessageCatalog catalog{language};
  ScriptedOperator op;
  BoardLink link{fake, op, catalog};
  ChipWire wire{link};
};

TEST(ChipWire, EachHelperSendsItsBytesAndNamesItsFailure) {
  const Bytes two = {0x11, 0x22};
  const struct {
    std::function<bool(ChipWire&)> call;
    std::vector<std::pair<Bytes, Bytes>> steps;  // each write and the board's answer to it
    std::string failure;                         // empty: the call succeeds
  } cases[] = {
      {[](ChipWire& w) { return w.FlashSelect(); }, {{{CmdFlashSelect}, {ReplyCr}}}, ""},
      {[](ChipWire& w) { return w.FlashSelect(); }, {{{CmdFlashSelect}, {ReplyEsc}}}, "FlashSelect: no CR (got 0x1B)"},
      {[](ChipWire& w) { return w.EepDeselect(); }, {{{CmdEepDeselect}, {}}}, "EepDeselect: no CR (nothing came)"},
      {[](ChipWire& w) { return w.At45BlockErase(0x0A10); }, {{{CmdSpiWriteN, 0, 4, 0x50, 0x0A, 0x10, 0}, {0x3F}}},
       "At45BlockErase: no CR (got 0x3F)"},
      {[](ChipWire& w) { return w.At45ContinuousRead(); },
       {{{CmdSpiWriteN, 0, 8, 0xE8, 0, 0, 0, 0, 0, 0, 0}, {ReplyCr}}}, ""},
      {[](ChipWire& w) { return w.SpiReadN(4); }, {{{CmdSpiReadN, 0, 4}, {1, 2, 3}}},
       "SpiReadN: 4 bytes expected, not all came"},
      {[](ChipWire& w) { return w.SpiGet() >= 0; }, {{{CmdSpiGet}, {}}}, "SpiGet: nothing came"},
      {[](ChipWire& w) { return w.At25Read(0x0102); },
       {{{CmdSpiPut, 0x03}, {ReplyCr}}, {{CmdSpiPut, 0x01}, {ReplyCr}}, {{CmdSpiPut, 0x02}, {0x00}}},
       "At25Read: no CR (got 0x00)"},
      {[&](ChipWire& w) { return w.WriteBlock(true, two) == ReplyCr; }, {{{CmdWriteFlash, 2, 0x11, 0x22}, {ReplyEsc}}},
       "WriteFlash: no CR (got 0x1B)"},
      {[](ChipWire& w) { return w.ReadBlock(false, 2, true); }, {{{CmdReadEeprom}, {}}, {{2}, {0xAA}}},
       "ReadEeprom: 2 bytes expected, not all came"},
      {[](ChipWire& w) { return w.At89WriteByte(0x0102, 0x55); }, {{{CmdSpi4, 0x40, 1, 2, 0x55}, {}}},
       "At89WriteByte: nothing came"},
      {[](ChipWire& w) { return w.AvrPageWrite(0x1240) && w.Cr(); }, {{{CmdSpi4, 0x4C, 0x09, 0x20, 0}, {ReplyCr}}}, ""},
      {[](ChipWire& w) { return w.AvrChipErase() && w.Cr(); }, {{{CmdSpi4, 0xAC, 0x80, 4, 0}, {}}},
       "AvrChipErase: no CR (nothing came)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    Wire w;
    for (const auto& [write, reply] : c.steps) w.fake.Then(write, reply);
    EXPECT_EQ(c.call(w.wire), c.failure.empty());
    EXPECT_EQ(w.wire.LastFailure(), c.failure);
    EXPECT_FALSE(w.fake.SawUnexpectedWrite());
    EXPECT_TRUE(w.fake.ScriptDone());
  }
  Wire w;
  w.fake.ThenSendFails({CmdEepSelect});
  EXPECT_FALSE(w.wire.EepSelect());
  EXPECT_EQ(w.wire.LastFailure(), "EepSelect: send failed");
}

}  // namespace
