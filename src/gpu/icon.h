// The program's icon: the crab in its default colour, drawn from the sprite data at any size,
// and the Windows icon file that carries it.
#pragma once

#include "gpu/raster_cpu.h"

#include <cstdint>
#include <span>
#include <vector>

namespace perchkin {

// The sizes the desktop entry and the Windows resource ship.
inline constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

// A size x size picture of the standing crab, centred, in whole sprite pixels (a 16 px icon is
// the sprite cell for cell). Premultiplied, transparent around the crab.
RgbaImage crab_icon(int size);

// An .ico file holding each image as a PNG entry (sides 1-256).
std::vector<std::uint8_t> encode_ico(std::span<const RgbaImage> images);

}  // namespace perchkin
