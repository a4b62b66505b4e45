// Reference rasterizer of the three GPU passes (shadows, glow, sprites) on the CPU: the same
// maths as the shaders, drawn with premultiplied "over" blending into an RGBA image. It serves
// tests, the headless desktop's screenshots and developer tools; it needs no graphics API.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "gpu/instance.h"
#include "region/tile_grid.h"
#include "sprites/frames.h"

namespace perchkin {

// Images are clamped to this many pixels a side, so a bogus size cannot exhaust memory.
inline constexpr int kMaxImageSide = 16384;

// Premultiplied RGBA, 8 bits a channel, row-major, 4 * width bytes a row.
struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;
};

// Transparent black; each side clamped to 0..kMaxImageSide.
RgbaImage make_image(int width, int height);
void fill(RgbaImage& image, Float3 colour, float alpha);  // premultiplies
// Premultiplied pixel (r, g, b, a); transparent black outside the image.
std::uint32_t pixel_at(const RgbaImage& image, int x, int y);  // 0xRRGGBBAA

// Colour the sprite pass gives a cell: body cells by tint and pattern (on the cell grid, after
// mirroring), eyes by the eye grey, blush and heart eyes fixed. Clear cells give black.
Float3 cell_colour(const BuddyInstance& instance, std::uint8_t code, int column, int row);

// The three passes over all instances, each in list order. The image stands for a buffer of
// frame.screen pixels whose top-left is frame.origin on the overlay.
void draw_shadows(RgbaImage& target, const Frame& frame, std::span<const BuddyInstance> instances);
void draw_glow(RgbaImage& target, const Frame& frame, std::span<const BuddyInstance> instances,
               const SpriteTextures& textures);
void draw_sprites(RgbaImage& target, const Frame& frame, std::span<const BuddyInstance> instances,
                  const SpriteTextures& textures);

// Whether any of an instance's quads (sprite, glow or shadow, turned any way) may reach into
// `rect`, in pixels of the buffer whose top-left is frame.origin on the overlay. An instance
// with numbers that are not finite is kept: the passes decide what it draws.
bool instance_reaches(const BuddyInstance& instance, const Frame& frame, const PixelRect& rect);
// The box (buffer pixels) those quads may reach; not finite when the instance's numbers are not.
struct ReachBox {
  double left = 0.0, top = 0.0, right = 0.0, bottom = 0.0;
};
ReachBox instance_reach(const BuddyInstance& instance, const Frame& frame);

// Shadows, then glow (only when frame.glow > 0), then sprites.
void draw_instances(RgbaImage& target, const Frame& frame, std::span<const BuddyInstance> instances,
                    const SpriteTextures& textures);

// Premultiplied pixels owned elsewhere (a window's shared image, say): `stride` bytes a row,
// RGBA or, with `bgra`, blue first.
struct PixelTarget {
  std::uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  std::size_t stride = 0;
  bool bgra = false;
  // Optional scratch of width * height bytes (with stride == 4 * width): with it, pixels hidden
  // behind a buddy's body cost no drawing. Its contents inside the clips are overwritten.
  std::uint8_t* covered = nullptr;
};

// The three passes as above, on the whole target but only inside `clips`, which must not
// overlap: each pixel there ends as the whole image's would, and pixels outside are untouched.
// Each instance is placed once however many rectangles it reaches.
void draw_instances(const PixelTarget& target, const Frame& frame,
                    std::span<const BuddyInstance> instances, const SpriteTextures& textures,
                    std::span<const PixelRect> clips);

// draw_instances on a packed target with a mask, in two halves. The bodies first: the mask is
// reset inside the clips and marks every pixel a body covers, whose colour is then final;
// false (nothing drawn) without a mask or with padded rows. Then, after the pixels the mask
// leaves open may have been changed, what lies under the bodies (shadows, glow) is drawn
// there over them: the pixels of draw_instances over those changed ones.
bool draw_bodies(const PixelTarget& target, const Frame& frame,
                 std::span<const BuddyInstance> instances, const SpriteTextures& textures,
                 std::span<const PixelRect> clips);
void draw_under_bodies(const PixelTarget& target, const Frame& frame,
                       std::span<const BuddyInstance> instances, const SpriteTextures& textures,
                       std::span<const PixelRect> clips);

// Row edges (parts + 1 of them, from 0 to height, never decreasing) that cut the clips into
// bands about equally costly to draw: a row costs more the more instances reach it, and
// nothing outside the clips. Drawing each band's part of the clips on its own gives the
// pixels of drawing them all at once, so bands may be drawn side by side.
std::vector<int> row_bands(const Frame& frame, std::span<const BuddyInstance> instances,
                           std::span<const PixelRect> clips, int height, int parts);

}  // namespace perchkin
