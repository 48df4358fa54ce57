// Hex view geometry: cells, hit testing, scroll range and steps, the swapped-pair positions.

#include <gtest/gtest.h>

#include "present/HexLayout.h"

namespace {

using zr7::CellRect;
using zr7::HexHit;
using zr7::HexLayout;
using zr7::PositionMap;
using zr7::ScrollRange;
using zr7::ScrollRequest;
using Area = HexHit::Area;

// A font 8 pixels wide on average and 15 high: cells of 12 by 19.
const HexLayout layout(8, 15);

TEST(HexLayoutTest, CellsFollowTheCharacterMetrics) {
  EXPECT_EQ(layout.ColumnRuleXs(), (std::array<int, 3>{38, 424, 618}));
  EXPECT_EQ(layout.HeaderHexCell(15), (CellRect{399, 0, 423, 19}));
  EXPECT_EQ(layout.HeaderCharCell(0), (CellRect{425, 0, 437, 19}));
  EXPECT_EQ(layout.AddressCell(2), (CellRect{1, 59, 36, 78}));
  EXPECT_EQ(layout.HexCell(1, 15), (CellRect{398, 40, 422, 59}));
  EXPECT_EQ(layout.CharCell(3, 15), (CellRect{606, 78, 618, 97}));
  // Unmeasured metrics still give cells to divide by.
  EXPECT_EQ(HexLayout(0, 0).HitTest(20, 20, 0, 100).area, Area::HexCell);
}

TEST(HexLayoutTest, EveryPixelOfACellHitsItsByteAndNothingElseDoes) {
  const int topRow = 7;
  int hits = 0;
  for (int y = 0; y < 21 + 3 * 19; ++y) {
    for (int x = 0; x < 640; ++x) {
      const HexHit hit = layout.HitTest(x, y, topRow, 1000);
      if (y < 21) {
        ASSERT_EQ(hit.area, Area::Header) << x << "," << y;
        continue;
      }
      const int row = (y - 21) / 19;
      const bool inHex = x >= layout.HexCell(row, 0).left && x < layout.HexCell(row, 15).right;
      const bool inChar = x >= layout.CharCell(row, 0).left && x < layout.CharCell(row, 15).right;
      ASSERT_EQ(hit.area, inHex ? Area::HexCell : inChar ? Area::CharCell : Area::Nothing) << x << "," << y;
      if (hit.area == Area::Nothing) continue;
      const CellRect cell = inHex ? layout.HexCell(row, hit.position % 16) : layout.CharCell(row, hit.position % 16);
      ASSERT_EQ(hit.position / 16, static_cast<std::uint32_t>(topRow + row));
      ASSERT_TRUE(x >= cell.left && x < cell.right && y >= cell.top && y < cell.bottom) << x << "," << y;
      ++hits;
    }
  }
  EXPECT_EQ(hits, 3 * 19 * (16 * 24 + 16 * 12));
  // Past the end of a 20-byte image, and anywhere in an empty one, nothing is hit.
  EXPECT_EQ(layout.HitTest(layout.HexCell(1, 3).left, 45, 0, 20).position, 19u);
  EXPECT_EQ(layout.HitTest(layout.HexCell(1, 4).left, 45, 0, 20).area, Area::Nothing);
  EXPECT_EQ(layout.HitTest(100, 5, 0, 0).area, Area::Nothing);
}

TEST(HexLayoutTest, ScrollRangeStopsAtTheFirst32768Rows) {
  const int h = 99;  // five rows painted, four of them whole
  EXPECT_EQ(layout.FullRows(h), 4);
  EXPECT_EQ(layout.ComputeScrollRange(64, h), (ScrollRange{false, 0}));
  EXPECT_EQ(layout.ComputeScrollRange(65, h), (ScrollRange{true, 1}));
  EXPECT_EQ(layout.ComputeScrollRange(0, 10), (ScrollRange{false, 0}));  // not laid out yet
  EXPECT_EQ(layout.ComputeScrollRange(32768 * 16, h), (ScrollRange{true, 32768 - 4}));
  EXPECT_EQ(layout.ComputeScrollRange(8 << 20, h), (ScrollRange{true, 32768 - 4}));
  // At the bottom the last whole row is the last one below 512 KiB.
  const int bottom = 32768 - 4;
  EXPECT_EQ(layout.FirstPainted(bottom + 4), 0x80000u);
  EXPECT_EQ(layout.EndPainted(bottom, h, 8 << 20), 0x80010u);
  EXPECT_EQ(layout.EndPainted(bottom, h, 0x7FFF5), 0x7FFF5u);
}

TEST(HexLayoutTest, ScrollStepsAreClamped) {
  EXPECT_EQ(HexLayout::Scroll(ScrollRequest::LineDown, 5, 0, 100), 6);
  EXPECT_EQ(HexLayout::Scroll(ScrollRequest::LineUp, 0, 0, 100), 0);
  EXPECT_EQ(HexLayout::Scroll(ScrollRequest::PageDown, 90, 0, 100), 100);
  EXPECT_EQ(HexLayout::Scroll(ScrollRequest::PageUp, 20, 0, 100), 4);
  EXPECT_EQ(HexLayout::Scroll(ScrollRequest::ThumbTrack, 5, 500, 100), 100);
  EXPECT_EQ(HexLayout::Scroll(ScrollRequest::ThumbPosition, 5, 43, 100), 43);
  EXPECT_EQ(HexLayout::Scroll(ScrollRequest::Other, 5, 42, 100), 5);
}

TEST(HexLayoutTest, AnOddSwappedImageHasOneAbsentPositionAndKeepsItsLastByte) {
  const PositionMap even(6, true);
  for (std::uint32_t i = 0; i < 6; ++i) EXPECT_EQ(even.StorageIndex(i), i ^ 1u);
  EXPECT_EQ(even.StorageIndex(6), std::nullopt);
  const PositionMap odd(5, true);
  EXPECT_EQ(odd.DisplayLength(), 6u);
  EXPECT_EQ(odd.StorageIndex(4), std::nullopt);  // would be storage 5, past the image
  EXPECT_EQ(odd.StorageIndex(5), 4u);
  EXPECT_EQ(odd.Next(3), 5u);
  EXPECT_EQ(odd.Next(5), std::nullopt);
  EXPECT_EQ(PositionMap(5, false).DisplayLength(), 5u);
  EXPECT_EQ(PositionMap(5, false).Next(3), 4u);
}

}  // namespace
