#include "gpu/icon.h"

#include "gpu/instance.h"
#include "gpu/png.h"
#include "sprites/frames.h"

#include <algorithm>

namespace perchkin {

RgbaImage crab_icon(int size) {
  size = std::clamp(size, 1, 1024);
  RgbaImage image = make_image(size, size);
  const int unit = std::max(1, size / 16);
  BuddyInstance in;
  in.unit = static_cast<float>(unit);
  in.frame = 0.0f;
  in.shadow = 0.0f;
  in.tint = {0xD7 / 255.0f, 0x77 / 255.0f, 0x57 / 255.0f};
  in.eye = 26.0f / 255.0f;
  in.tint2 = {in.tint.r * 0.7f, in.tint.g * 0.7f, in.tint.b * 0.7f};
  // Feet sit so the 10-cell-high body is centred; whole pixels keep the cells crisp.
  in.pos = {static_cast<float>(size / 2), static_cast<float>((size + 10 * unit) / 2)};
  Frame frame;
  frame.screen = {static_cast<float>(size), static_cast<float>(size)};
  const BuddyInstance one[] = {in};
  draw_sprites(image, frame, one, build_sprite_textures());
  return image;
}

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

}  // namespace

std::vector<std::uint8_t> encode_ico(std::span<const RgbaImage> images) {
  std::vector<std::vector<std::uint8_t>> pngs;
  for (const RgbaImage& image : images) pngs.push_back(encode_png(image));
  std::vector<std::uint8_t> out;
  put16(out, 0);  // reserved
  put16(out, 1);  // icon
  put16(out, static_cast<std::uint32_t>(images.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    // A side of 256 is written as 0.
    out.push_back(static_cast<std::uint8_t>(std::clamp(images[i].width, 0, 256) & 0xFF));
    out.push_back(static_cast<std::uint8_t>(std::clamp(images[i].height, 0, 256) & 0xFF));
    out.push_back(0);  // no palette
    out.push_back(0);
    put16(out, 1);   // planes
    put16(out, 32);  // bits per pixel
    put32(out, static_cast<std::uint32_t>(pngs[i].size()));
    put32(out, offset);
    offset += static_cast<std::uint32_t>(pngs[i].size());
  }
  for (const auto& png : pngs) out.insert(out.end(), png.begin(), png.end());
  return out;
}

}  // namespace perchkin
