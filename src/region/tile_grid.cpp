#include "region/tile_grid.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace perchkin {

namespace {

constexpr int kMaxExactMergeRects = 64;

// A rectangle in tile units while runs are still being merged down the rows.
struct TileRect {
  int left;
  int top;
  int right;   // exclusive column
  int bottom;  // exclusive row
};

}  // namespace

TileGrid new_grid(int width, int height) {
  TileGrid grid;
  grid.width = std::clamp(width, 1, kMaxGridSide);
  grid.height = std::clamp(height, 1, kMaxGridSide);
  grid.columns = (grid.width + kTileSize - 1) / kTileSize;
  grid.rows = (grid.height + kTileSize - 1) / kTileSize;
  grid.tiles.assign(static_cast<std::size_t>(grid.columns) * static_cast<std::size_t>(grid.rows), 0);
  return grid;
}

void mark_all(TileGrid& grid) { std::fill(grid.tiles.begin(), grid.tiles.end(), std::uint8_t{1}); }

void mark(TileGrid& grid, float left, float top, float right, float bottom) {
  if (!std::isfinite(left) || !std::isfinite(top) || !std::isfinite(right) || !std::isfinite(bottom)) {
    mark_all(grid);
    return;
  }
  if (right < 0.0f || bottom < 0.0f || left >= static_cast<float>(grid.width) ||
      top >= static_cast<float>(grid.height)) {
    return;
  }
  // Clamp while still in floating point so a huge coordinate never overflows an int.
  const float last_column = static_cast<float>(grid.columns - 1);
  const float last_row = static_cast<float>(grid.rows - 1);
  const int c0 = static_cast<int>(std::min(std::floor(std::max(left, 0.0f) * kTileScale), last_column));
  const int r0 = static_cast<int>(std::min(std::floor(std::max(top, 0.0f) * kTileScale), last_row));
  const int c1 = static_cast<int>(std::min(std::floor(right * kTileScale), last_column));
  const int r1 = static_cast<int>(std::min(std::floor(bottom * kTileScale), last_row));
  for (int r = r0; r <= r1; ++r) {
    for (int c = c0; c <= c1; ++c) {
      grid.tiles[static_cast<std::size_t>(r) * static_cast<std::size_t>(grid.columns) + static_cast<std::size_t>(c)] = 1;
    }
  }
}

bool is_marked(const TileGrid& grid, int column, int row) {
  if (column < 0 || column >= grid.columns || row < 0 || row >= grid.rows) return false;
  return grid.tiles[static_cast<std::size_t>(row) * static_cast<std::size_t>(grid.columns) + static_cast<std::size_t>(column)] != 0;
}

bool any_marked(const TileGrid& grid) {
  return std::any_of(grid.tiles.begin(), grid.tiles.end(), [](std::uint8_t t) { return t != 0; });
}

TileGrid unite(const TileGrid& a, const TileGrid& b) {
  TileGrid result = a;
  if (a.width != b.width || a.height != b.height || a.tiles.size() != b.tiles.size()) {
    mark_all(result);
    return result;
  }
  for (std::size_t i = 0; i < result.tiles.size(); ++i) result.tiles[i] = (a.tiles[i] | b.tiles[i]) != 0 ? 1 : 0;
  return result;
}

std::vector<PixelRect> rectangles(const TileGrid& grid) {
  std::vector<TileRect> found;
  // Indices of the rectangles that reach the row above: only those can grow into this row.
  std::vector<std::size_t> open;
  std::vector<std::size_t> next_open;
  for (int row = 0; row < grid.rows; ++row) {
    next_open.clear();
    int col = 0;
    while (col < grid.columns) {
      if (!is_marked(grid, col, row)) {
        ++col;
        continue;
      }
      const int start = col;
      while (col < grid.columns && is_marked(grid, col, row)) ++col;
      auto same_run = std::find_if(open.begin(), open.end(), [&](std::size_t i) {
        return found[i].left == start && found[i].right == col && found[i].bottom == row;
      });
      if (same_run != open.end()) {
        found[*same_run].bottom = row + 1;
        next_open.push_back(*same_run);
      } else {
        found.push_back({start, row, col, row + 1});
        next_open.push_back(found.size() - 1);
      }
    }
    open.swap(next_open);
  }

  std::vector<PixelRect> rects;
  rects.reserve(found.size());
  for (const TileRect& t : found) {
    rects.push_back({t.left * kTileSize, t.top * kTileSize, std::min(t.right * kTileSize, grid.width),
                     std::min(t.bottom * kTileSize, grid.height)});
  }

  // The least-waste search costs a cubic number of steps; a pathological pattern of hundreds of
  // runs is first halved by merging neighbours in scan order. Clearing more is harmless: an
  // unmarked tile holds nothing from this frame or the last.
  while (rects.size() > static_cast<std::size_t>(kMaxExactMergeRects)) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < rects.size(); i += 2) {
      rects[kept++] = i + 1 < rects.size() ? bounding_box(rects[i], rects[i + 1]) : rects[i];
    }
    rects.resize(kept);
  }

  while (rects.size() > static_cast<std::size_t>(kMaxClearRects)) {
    std::size_t best_a = 0;
    std::size_t best_b = 1;
    std::int64_t best_waste = 0;
    bool have_best = false;
    for (std::size_t a = 0; a < rects.size(); ++a) {
      for (std::size_t b = a + 1; b < rects.size(); ++b) {
        const std::int64_t waste = area(bounding_box(rects[a], rects[b])) - area(rects[a]) - area(rects[b]);
        if (!have_best || waste < best_waste) {
          best_a = a;
          best_b = b;
          best_waste = waste;
          have_best = true;
        }
      }
    }
    rects[best_a] = bounding_box(rects[best_a], rects[best_b]);
    rects[best_b] = rects.back();
    rects.pop_back();
  }
  return rects;
}

}  // namespace perchkin
