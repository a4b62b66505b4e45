#include "sprites/icon.h"

#include "sprites/frames.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace perchkin {
namespace {

TEST(CrabIcon, StandingFrameCentredWithWholeCells) {
  const auto px = crab_icon_pixels(16);
  ASSERT_EQ(px.size(), 256u);
  // 10 rows of cells on 16 pixels: three clear rows above, three below.
  for (int x = 0; x < 16; ++x) {
    EXPECT_EQ(px[static_cast<std::size_t>(2 * 16 + x)], 0u);
    EXPECT_EQ(px[static_cast<std::size_t>(13 * 16 + x)], 0u);
  }
  int opaque = 0;
  for (int row = 0; row < kFrameRows; ++row)
    for (int col = 0; col < kFrameColumns; ++col) {
      const std::uint32_t p = px[static_cast<std::size_t>((row + 3) * 16 + col)];
      const bool filled = frame_cell(0, col, row) != kCellClear;
      EXPECT_EQ(p != 0u, filled) << row << "," << col;
      if (filled) {
        EXPECT_EQ(p >> 24, 0xFFu);
        ++opaque;
      }
    }
  EXPECT_GT(opaque, 40);
  EXPECT_NE(std::find(px.begin(), px.end(), 0xFFD77757u), px.end());
}

TEST(CrabIcon, LargerSidesScaleTheCellsAndOddSidesStayInside) {
  const auto small = crab_icon_pixels(16);
  const auto large = crab_icon_pixels(32);
  ASSERT_EQ(large.size(), 1024u);
  // Each 16-pixel cell becomes a 2 x 2 block.
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const std::uint32_t p = small[static_cast<std::size_t>(y * 16 + x)];
      EXPECT_EQ(large[static_cast<std::size_t>((2 * y) * 32 + 2 * x)], p);
      EXPECT_EQ(large[static_cast<std::size_t>((2 * y + 1) * 32 + 2 * x + 1)], p);
    }
  EXPECT_EQ(crab_icon_pixels(20).size(), 400u);
  EXPECT_EQ(crab_icon_pixels(7).size(), 49u);  // smaller than the frame: clipped, not overrun
  EXPECT_TRUE(crab_icon_pixels(0).empty());
  EXPECT_TRUE(crab_icon_pixels(-3).empty());
  EXPECT_TRUE(crab_icon_pixels(100000).empty());
}

}  // namespace
}  // namespace perchkin
