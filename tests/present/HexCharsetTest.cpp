// The hex view's character glyphs (code page 437) and its colour table, checked as data.

#include <gtest/gtest.h>

#include <set>

#include "present/ByteColours.h"
#include "present/Cp437.h"

namespace {

using zr7::ByteRole;
using zr7::Cp437ByteOf;
using zr7::Cp437Glyph;
using zr7::Rgb;

TEST(HexCharsetTest, EveryByteButZeroHasItsOwnGlyphAndTypingItGivesTheByte) {
  EXPECT_EQ(Cp437Glyph(0), 0u);
  std::set<char32_t> seen;
  for (int b = 1; b < 256; ++b) {
    const char32_t g = Cp437Glyph(static_cast<std::uint8_t>(b));
    EXPECT_TRUE(seen.insert(g).second) << "glyph of " << b << " repeats";
    EXPECT_EQ(Cp437ByteOf(g), b) << b;
  }
  // Spot checks at the block edges keep the table from sliding by one.
  EXPECT_EQ(Cp437Glyph(0x01), U'\u263A');
  EXPECT_EQ(Cp437Glyph(0x7F), U'\u2302');
  EXPECT_EQ(Cp437Glyph(0x80), U'\u00C7');
  EXPECT_EQ(Cp437Glyph(0xB0), U'\u2591');
  EXPECT_EQ(Cp437Glyph(0xDB), U'\u2588');
  EXPECT_EQ(Cp437Glyph(0xFF), U'\u00A0');
  // Typed control codes are their own bytes; characters outside the code page give none.
  EXPECT_EQ(Cp437ByteOf(0x0D), 0x0D);
  EXPECT_EQ(Cp437ByteOf(U'\u0416'), std::nullopt);
  EXPECT_EQ(Cp437ByteOf(0x80), std::nullopt);
}

TEST(HexCharsetTest, ColoursOfTheByteStates) {
  const Rgb byState[8] = {{0, 0, 0},  {0, 0, 128}, {0, 0, 255},   {0, 128, 0},
                          {0, 96, 0}, {255, 0, 0}, {255, 0, 255}, {0, 128, 128}};
  for (std::uint8_t s = 0; s < 8; ++s) EXPECT_EQ(zr7::RoleColour(zr7::RoleOfState(s)), byState[s]) << int(s);
  EXPECT_EQ(zr7::RoleColour(ByteRole::Selected), (Rgb{0, 128, 128}));
  EXPECT_EQ(zr7::RoleColour(ByteRole::Busy), (Rgb{0, 0, 0}));
  EXPECT_EQ(zr7::RoleOfState(8), ByteRole::Unassigned);
}

}  // namespace
