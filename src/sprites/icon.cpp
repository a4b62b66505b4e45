#include "sprites/icon.h"

#include "crowd/crew.h"
#include "sprites/frames.h"

#include <algorithm>

namespace perchkin {

std::vector<std::uint32_t> crab_icon_pixels(int side) {
  if (side < 1 || side > 256) return {};
  std::vector<std::uint32_t> out(static_cast<std::size_t>(side) * static_cast<std::size_t>(side),
                                 0u);
  const int cell = std::max(1, side / kFrameColumns);
  const int left = (side - kFrameColumns * cell) / 2;
  const int top = (side - kFrameRows * cell) / 2;
  const FrameCells cells = frame_cells(0);
  for (int row = 0; row < kFrameRows; ++row)
    for (int column = 0; column < kFrameColumns; ++column) {
      std::uint32_t rgb = 0;
      switch (cells[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]) {
        case kCellBody: rgb = kBuddyColors[0].rgb; break;
        case kCellEye: rgb = 0x1A1A1A; break;
        case kCellBlush: rgb = kBlushRgb; break;
        case kCellHeartEye: rgb = kHeartEyeRgb; break;
        default: continue;
      }
      for (int dy = 0; dy < cell; ++dy)
        for (int dx = 0; dx < cell; ++dx) {
          const int x = left + column * cell + dx, y = top + row * cell + dy;
          if (x < 0 || y < 0 || x >= side || y >= side) continue;
          out[static_cast<std::size_t>(y) * static_cast<std::size_t>(side) +
              static_cast<std::size_t>(x)] = 0xFF000000u | rgb;
        }
    }
  return out;
}

}  // namespace perchkin
