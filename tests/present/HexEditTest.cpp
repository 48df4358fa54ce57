// Editing in the hex view: selection by click, typed hex digits and characters, where the
// selection goes next, what the image and its states become, and the role of every byte.

#include <gtest/gtest.h>

#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "buffers/MemoryBuffer.h"
#include "present/HexEdit.h"

namespace {

using zr7::ByteRole;
using zr7::EditMode;
using zr7::HexEdit;
using Area = zr7::HexHit::Area;

struct Project : zr7::ModificationListener {
  void SetModified() override { ++setModified; }
  void ClearModifiedIfClean() override {}
  int setModified = 0;
};

class HexEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    buffer.Init(op, catalog, false, &project, nullptr);
    Load(32);
  }
  // n bytes 0x00, 0x01, ... as loaded from a file (state 0, not modified).
  void Load(std::uint32_t n) {
    buffer.data().resize(n);
    for (std::uint32_t i = 0; i < n; ++i) buffer.data()[i] = static_cast<std::uint8_t>(i);
    buffer.states().assign(n, zr7::StateFromFile);
    buffer.SetModifiedFlag(false);
    project.setModified = 0;
  }
  void TypeAll(std::u32string_view text) { for (char32_t ch : text) edit.Type(ch); }

  zr7::ScriptedOperator op;
  zr7::LanguageSettings language;
  zr7::MessageCatalog catalog{language};
  Project project;
  zr7::MemoryBuffer buffer;
  HexEdit edit{buffer};
};

TEST_F(HexEditTest, HexDigitsReplaceTheHighThenTheLowHalfAndMoveOn) {
  ASSERT_TRUE(edit.Click({Area::HexCell, 5}));
  EXPECT_EQ(edit.mode(), EditMode::HexHigh);
  EXPECT_TRUE(edit.Type('a'));
  EXPECT_EQ(std::tuple(buffer.data()[5], buffer.states()[5], edit.mode()),
            std::tuple(0xA5, zr7::StateChanged, EditMode::HexLow));  // the low half kept until its digit comes
  EXPECT_TRUE(buffer.modified());
  for (char32_t ch : U"gG x\r\u0416") EXPECT_FALSE(edit.Type(ch)) << static_cast<int>(ch);
  EXPECT_TRUE(edit.Type('B'));
  EXPECT_EQ(std::tuple(buffer.data()[5], edit.mode(), edit.selectedIndex()), std::tuple(0xAB, EditMode::HexHigh, 6u));
  EXPECT_EQ(project.setModified, 2);  // every digit tells the project, other keys do not
  EXPECT_EQ(buffer.states()[6], zr7::StateFromFile);
}

TEST_F(HexEditTest, ClicksOffTheBytesKeepTheSelectionAndTheRightButtonEndsTheEdit) {
  edit.Click({Area::CharCell, 4});
  EXPECT_FALSE(edit.Click({Area::Header, 0}));
  EXPECT_FALSE(edit.Click({Area::HexCell, 32}));
  EXPECT_EQ(std::pair(edit.mode(), edit.selectedIndex()), std::pair(EditMode::Ascii, std::optional(4u)));
  EXPECT_TRUE(edit.Cancel());
  EXPECT_FALSE(edit.Cancel());
  EXPECT_FALSE(edit.Type('q'));
  EXPECT_EQ(buffer.data()[4], 4);
  edit.Click({Area::CharCell, 31});  // the last byte: typing ends the edit, no wrap-around
  EXPECT_TRUE(edit.Type(U'é'));
  EXPECT_EQ(std::tuple(buffer.data()[31], edit.mode(), edit.selectedIndex()), std::tuple(0x82, EditMode::None, 31u));
}

TEST_F(HexEditTest, SwappedPairsEditTheNeighbourAndSkipTheAbsentPosition) {
  edit.SetSwapBytePairs(true);
  edit.Click({Area::HexCell, 0});
  TypeAll(U"AB");
  EXPECT_EQ(std::tuple(buffer.data()[0], buffer.data()[1]), std::tuple(0x00, 0xAB));
  EXPECT_EQ(edit.RoleAt(0), ByteRole::Changed);

  Load(5);
  EXPECT_FALSE(edit.Click({Area::HexCell, 4}));  // storage 5 would be past the image
  EXPECT_EQ(edit.RoleAt(4), std::nullopt);
  edit.Click({Area::HexCell, 3});
  TypeAll(U"11");
  EXPECT_EQ(edit.selectedIndex(), 5u);
  TypeAll(U"44");
  EXPECT_EQ(std::tuple(buffer.data()[2], buffer.data()[4], edit.mode()), std::tuple(0x11, 0x44, EditMode::None));
}

TEST_F(HexEditTest, NoTypingPastAShorterNewImageOrWhileAnOperationRuns) {
  edit.Click({Area::HexCell, 30});
  Load(8);  // the image was replaced under the selection
  EXPECT_TRUE(edit.Type('1'));
  EXPECT_EQ(edit.mode(), EditMode::None);
  edit.Click({Area::HexCell, 0});
  buffer.busy = true;
  EXPECT_FALSE(edit.Type('1'));
  EXPECT_EQ(buffer.data()[0], 0x00);
  EXPECT_EQ(project.setModified, 0);
}

TEST_F(HexEditTest, RolesFollowBusyThenSelectionThenState) {
  for (std::uint8_t s = 0; s < 8; ++s) buffer.states()[s] = s;
  for (std::uint8_t s = 0; s < 8; ++s) EXPECT_EQ(edit.RoleAt(s), static_cast<ByteRole>(s)) << int(s);
  EXPECT_EQ(edit.RoleAt(32), std::nullopt);
  edit.Click({Area::CharCell, 2});
  EXPECT_EQ(edit.RoleAt(2), ByteRole::Selected);
  buffer.busy = true;
  EXPECT_EQ(edit.RoleAt(2), ByteRole::Busy);
  EXPECT_EQ(edit.RoleAt(5), ByteRole::Busy);
  buffer.busy = false;
  edit.Cancel();
  EXPECT_EQ(edit.RoleAt(2), ByteRole::Written);  // selected, but no longer edited
  buffer.Detach();  // the states are gone: bytes show as loaded, typing still works
  EXPECT_EQ(edit.RoleAt(5), ByteRole::FromFile);
  edit.Click({Area::HexCell, 5});
  TypeAll(U"12");
  EXPECT_EQ(buffer.data()[5], 0x12);
}

}  // namespace
