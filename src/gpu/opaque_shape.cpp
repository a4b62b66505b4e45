#include "gpu/opaque_shape.h"

#include <algorithm>

namespace perchkin {

void opaque_rectangles(const std::uint8_t* bgra, std::size_t stride, const PixelRect& rect, int dx,
                       int dy, std::vector<PixelRect>& out) {
  // The open block: the runs of the rows since `open_top`, all alike, not yet in `out`.
  std::vector<PixelRect> open, runs;
  int open_top = rect.top;
  const auto close = [&](int bottom) {
    for (PixelRect r : open) {
      r.top = open_top + dy;
      r.bottom = bottom + dy;
      out.push_back(r);
    }
    open.clear();
  };
  for (int y = rect.top; y < rect.bottom; ++y) {
    const std::uint8_t* row = bgra + static_cast<std::size_t>(y) * stride;
    runs.clear();
    for (int x = rect.left; x < rect.right;) {
      if (row[static_cast<std::size_t>(x) * 4 + 3] < kShapeAlpha) {
        ++x;
        continue;
      }
      const int start = x;
      while (x < rect.right && row[static_cast<std::size_t>(x) * 4 + 3] >= kShapeAlpha) ++x;
      runs.push_back({start + dx, 0, x + dx, 0});
    }
    const bool same = runs.size() == open.size() &&
                      std::equal(runs.begin(), runs.end(), open.begin(), [](const PixelRect& a,
                                                                            const PixelRect& b) {
                        return a.left == b.left && a.right == b.right;
                      });
    if (same) continue;
    close(y);
    open.swap(runs);
    open_top = y;
  }
  close(rect.bottom);
}

}  // namespace perchkin
