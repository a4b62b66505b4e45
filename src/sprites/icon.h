// The crab as a small square picture, for the tray icon when the program carries none.
#pragma once

#include <cstdint>
#include <vector>

namespace perchkin {

// The standing frame in the default orange, centred on a `side` x `side` square (1..256) with
// whole-pixel cells: 0xAARRGGBB values, row-major from the top, clear around the crab. Sides
// outside the range give an empty list.
std::vector<std::uint32_t> crab_icon_pixels(int side);

}  // namespace perchkin
