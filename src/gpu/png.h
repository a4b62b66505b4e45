// A minimal PNG writer (stored deflate blocks, no compression library) so frames drawn by the
// reference rasterizer can be looked at without a display.
#pragma once

#include "base/status.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "gpu/raster_cpu.h"

namespace perchkin {

std::uint32_t crc32(std::span<const std::uint8_t> bytes);
std::uint32_t adler32(std::span<const std::uint8_t> bytes);

// 8-bit RGBA PNG of the image, alpha un-premultiplied as PNG expects.
std::vector<std::uint8_t> encode_png(const RgbaImage& image);

// Writes the PNG to `path`; returns "" on success or the failure text.
Status write_png(const std::string& path, const RgbaImage& image);

}  // namespace perchkin
