// The opaque part of a drawn image as rectangles: what a window shows when no compositor blends
// its alpha, so the desktop stays visible around what is drawn.
#pragma once

#include "region/tile_grid.h"

#include <cstdint>
#include <vector>

namespace perchkin {

// Pixels at least this opaque are shown; fainter ones (shadows, glow, soft edges) are cut away,
// since without blending they would show as dark smudges.
inline constexpr std::uint8_t kShapeAlpha = 128;

// Appends the opaque pixels of `rect` in a BGRA image (alpha last) as rectangles, each row's
// runs joined with the rows above while they repeat exactly (pixel art's rows come in blocks),
// offset by (dx, dy). `rect` must lie inside the image.
void opaque_rectangles(const std::uint8_t* bgra, std::size_t stride, const PixelRect& rect, int dx,
                       int dy, std::vector<PixelRect>& out);

}  // namespace perchkin
