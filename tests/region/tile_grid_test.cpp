#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "region/tile_grid.h"

namespace perchkin {
namespace {

std::vector<std::pair<int, int>> marked_tiles(const TileGrid& g) {
  std::vector<std::pair<int, int>> out;
  for (int r = 0; r < g.rows; ++r) {
    for (int c = 0; c < g.columns; ++c) {
      if (is_marked(g, c, r)) out.emplace_back(c, r);
    }
  }
  return out;
}

void mark_tile(TileGrid& g, int column, int row) {
  mark(g, column * 128.0f + 10.0f, row * 128.0f + 10.0f, column * 128.0f + 20.0f, row * 128.0f + 20.0f);
}

bool covered(const std::vector<PixelRect>& rects, int column, int row) {
  for (const PixelRect& r : rects) {
    if (column * 128 >= r.left && column * 128 < r.right && row * 128 >= r.top && row * 128 < r.bottom) return true;
  }
  return false;
}

TEST(TileGrid, SizesRoundUpToWholeTilesAndStayAtLeastOne) {
  const TileGrid uhd = new_grid(3840, 2160);
  EXPECT_EQ(uhd.columns, 30);
  EXPECT_EQ(uhd.rows, 17);
  EXPECT_EQ(uhd.tiles.size(), 510u);
  EXPECT_FALSE(any_marked(uhd));

  const TileGrid tiny = new_grid(0, -5);
  EXPECT_EQ(tiny.width, 1);
  EXPECT_EQ(tiny.height, 1);
  EXPECT_EQ(tiny.tiles.size(), 1u);

  const TileGrid odd = new_grid(129, 128);
  EXPECT_EQ(odd.columns, 2);
  EXPECT_EQ(odd.rows, 1);
}

TEST(TileMarking, BoxesMarkEveryTileTheyTouch) {
  TileGrid g = new_grid(1920, 1080);
  mark(g, -50, -50, 10, 10);
  EXPECT_EQ(marked_tiles(g), (std::vector<std::pair<int, int>>{{0, 0}}));

  g = new_grid(1920, 1080);
  mark(g, 100, 10, 128, 20);  // the right edge lies exactly on the next tile
  EXPECT_EQ(marked_tiles(g), (std::vector<std::pair<int, int>>{{0, 0}, {1, 0}}));

  g = new_grid(1920, 1080);
  mark(g, 1800, 1000, 5000, 9000);  // clipped to the last column and row
  EXPECT_EQ(marked_tiles(g), (std::vector<std::pair<int, int>>{{14, 7}, {14, 8}}));
}

TEST(TileMarking, NonFiniteCoordinatesMarkEverything) {
  const float inf = std::numeric_limits<float>::infinity();
  for (float bad : {std::nanf(""), inf, -inf}) {
    TileGrid g = new_grid(1920, 1080);
    mark(g, 10, 10, bad, 20);
    EXPECT_EQ(marked_tiles(g).size(), 15u * 9u);
  }
}

TEST(TileMarking, BoxesOutsideOrInsideOutMarkNothing) {
  TileGrid g = new_grid(1920, 1080);
  mark(g, -100, 10, -1, 20);
  mark(g, 10, -100, 20, -0.5f);
  mark(g, 1920, 10, 2000, 20);
  mark(g, 10, 1080, 20, 1100);
  mark(g, 500, 500, 100, 100);
  mark(g, -3e38f, -3e38f, -1e38f, -1e38f);
  EXPECT_FALSE(any_marked(g));

  mark(g, -3e38f, -3e38f, 3e38f, 3e38f);  // huge but finite: all tiles, no overflow
  EXPECT_EQ(marked_tiles(g).size(), 15u * 9u);
}

TEST(TileUnion, CombinesTilesAndMarksAllWhenSizesDiffer) {
  TileGrid a = new_grid(512, 512);
  TileGrid b = new_grid(512, 512);
  mark_tile(a, 0, 0);
  mark_tile(b, 3, 3);
  EXPECT_EQ(marked_tiles(unite(a, b)), (std::vector<std::pair<int, int>>{{0, 0}, {3, 3}}));

  const TileGrid other = new_grid(640, 512);
  const TileGrid mixed = unite(a, other);
  EXPECT_EQ(mixed.width, 512);
  EXPECT_EQ(marked_tiles(mixed).size(), 16u);
}

TEST(TileRectangles, RunsMergeDownRowsAndClipToTheOverlay) {
  TileGrid g = new_grid(300, 200);
  mark_all(g);
  EXPECT_EQ(rectangles(g), (std::vector<PixelRect>{{0, 0, 300, 200}}));

  g = new_grid(1920, 1080);
  EXPECT_TRUE(rectangles(g).empty());

  // Two tiles in a column and one beside the upper one: two rectangles, not three.
  mark_tile(g, 0, 0);
  mark_tile(g, 1, 0);
  mark_tile(g, 0, 1);
  EXPECT_EQ(rectangles(g), (std::vector<PixelRect>{{0, 0, 256, 128}, {0, 128, 128, 256}}));

  // A column of three tiles is one rectangle.
  g = new_grid(1920, 1080);
  for (int r = 2; r < 5; ++r) mark_tile(g, 4, r);
  EXPECT_EQ(rectangles(g), (std::vector<PixelRect>{{512, 256, 640, 640}}));
}

TEST(TileRectangles, TenScatteredTilesMergeTheClosestPairsFirst) {
  TileGrid g = new_grid(2560, 2560);
  // Two pairs one tile apart (wasting one tile each when merged) among far-apart singles.
  for (auto [c, r] : std::vector<std::pair<int, int>>{
           {0, 0}, {2, 0}, {5, 5}, {15, 3}, {10, 10}, {17, 8}, {10, 12}, {3, 15}, {7, 17}, {18, 18}}) {
    mark_tile(g, c, r);
  }
  const std::vector<PixelRect> rects = rectangles(g);
  ASSERT_EQ(rects.size(), 8u);
  // Scan order: (0,0) (2,0) (15,3) (5,5) (17,8) (10,10) (10,12) (3,15) (7,17) (18,18); the first
  // merge keeps (0,0)'s place and moves the last rectangle into (2,0)'s.
  EXPECT_EQ(rects[0], (PixelRect{0, 0, 384, 128}));
  EXPECT_EQ(rects[1], (PixelRect{2304, 2304, 2432, 2432}));
  EXPECT_EQ(rects[5], (PixelRect{1280, 1280, 1408, 1664}));
  for (int c = 0; c < 20; ++c) {
    for (int r = 0; r < 20; ++r) {
      if (is_marked(g, c, r)) {
        EXPECT_TRUE(covered(rects, c, r)) << c << "," << r;
      }
    }
  }
}

TEST(TileRectangles, TiesMergeTheFirstPairInScanOrder) {
  TileGrid g = new_grid(2560, 2560);
  // Nine singles; (0,0)-(2,0) and (0,10)-(2,10) waste the same, the first pair wins.
  for (auto [c, r] : std::vector<std::pair<int, int>>{
           {0, 0}, {2, 0}, {8, 4}, {15, 2}, {0, 10}, {2, 10}, {18, 14}, {9, 18}, {14, 9}}) {
    mark_tile(g, c, r);
  }
  const std::vector<PixelRect> rects = rectangles(g);
  ASSERT_EQ(rects.size(), 8u);
  EXPECT_EQ(rects[0], (PixelRect{0, 0, 384, 128}));
  EXPECT_TRUE(std::find(rects.begin(), rects.end(), PixelRect{0, 1280, 128, 1408}) != rects.end());
  EXPECT_TRUE(std::find(rects.begin(), rects.end(), PixelRect{256, 1280, 384, 1408}) != rects.end());
}

TEST(TileRectangles, ACheckerboardOnAHugeOverlayStillEndsWithEightCoveringRects) {
  TileGrid g = new_grid(20000, 12000);
  for (int r = 0; r < g.rows; ++r) {
    for (int c = (r % 2); c < g.columns; c += 2) mark_tile(g, c, r);
  }
  const std::vector<PixelRect> rects = rectangles(g);
  EXPECT_LE(rects.size(), 8u);
  for (int r = 0; r < g.rows; ++r) {
    for (int c = 0; c < g.columns; ++c) {
      if (is_marked(g, c, r)) {
        ASSERT_TRUE(covered(rects, c, r)) << c << "," << r;
      }
    }
  }
  for (const PixelRect& r : rects) {
    EXPECT_LE(r.right, 20000);
    EXPECT_LE(r.bottom, 12000);
  }
}

}  // namespace
}  // namespace perchkin
