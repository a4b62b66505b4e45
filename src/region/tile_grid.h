// Which 128-pixel tiles of the overlay a frame touches, and the few rectangles that cover them,
// so the renderer clears and redraws only what changed.
#pragma once

#include "base/geometry.h"

#include <cstdint>
#include <vector>

namespace perchkin {

inline constexpr int kTileSize = 128;
inline constexpr float kTileScale = 0.0078125f;  // 1 / 128, exact in binary
inline constexpr int kMaxClearRects = 8;
// Overlay sides are clamped to this so a bogus size cannot allocate a huge grid.
inline constexpr int kMaxGridSide = 65536;

struct TileGrid {
  int width = 1;   // pixels
  int height = 1;  // pixels
  int columns = 1;
  int rows = 1;
  std::vector<std::uint8_t> tiles = std::vector<std::uint8_t>(1, 0);  // 0 clean, 1 marked; row-major
};

// All tiles clean; each side is clamped to 1..kMaxGridSide.
TileGrid new_grid(int width, int height);

// Marks every tile the box touches (edges inclusive). A non-finite coordinate marks every tile;
// a box wholly outside the overlay marks nothing.
void mark(TileGrid& grid, float left, float top, float right, float bottom);
void mark_all(TileGrid& grid);

bool is_marked(const TileGrid& grid, int column, int row);
bool any_marked(const TileGrid& grid);

// Tile-wise OR. Grids of different sizes cannot be matched tile for tile, so the result
// (sized like `a`) is fully marked: nothing stale can survive a size change.
TileGrid unite(const TileGrid& a, const TileGrid& b);

// Runs of marked tiles merged down the rows into pixel rectangles clipped to the overlay,
// then reduced to at most kMaxClearRects by merging the pair that wastes least area.
std::vector<PixelRect> rectangles(const TileGrid& grid);

}  // namespace perchkin
