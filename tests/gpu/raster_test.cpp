#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

#include "gpu/instance.h"
#include "gpu/raster_cpu.h"

namespace perchkin {
namespace {

const SpriteTextures& textures() {
  static const SpriteTextures t = build_sprite_textures();
  return t;
}

constexpr std::uint32_t rgba(unsigned r, unsigned g, unsigned b, unsigned a) { return (r << 24) | (g << 16) | (b << 8) | a; }

// Orange crab at (100, 200), 4 pixels a cell: the sprite spans x 68..132 and y 160..200.
BuddyInstance crab() {
  BuddyInstance in;
  in.pos = {100.0f, 200.0f};
  in.unit = 4.0f;
  in.sy = 1.0f;
  in.frame = 0.0f;
  in.eye = 26.0f / 255.0f;
  in.tint = {215.0f / 255.0f, 119.0f / 255.0f, 87.0f / 255.0f};
  in.tint2 = {0.0f, 1.0f, 0.0f};
  return in;
}

Frame frame_for(const RgbaImage& image) {
  Frame f;
  f.screen = {static_cast<float>(image.width), static_cast<float>(image.height)};
  return f;
}

// Centre pixel of sprite cell (col, row) for the crab above.
std::uint32_t cell_pixel(const RgbaImage& image, int col, int row) { return pixel_at(image, 68 + 4 * col + 2, 160 + 4 * row + 2); }

RgbaImage draw(const std::vector<BuddyInstance>& instances, float glow = 0.0f) {
  RgbaImage image = make_image(256, 256);
  Frame f = frame_for(image);
  f.glow = glow;
  draw_instances(image, f, instances, textures());
  return image;
}

bool all_transparent(const RgbaImage& image) {
  for (std::uint8_t b : image.pixels) {
    if (b != 0) return false;
  }
  return true;
}

TEST(InstanceLayout, MatchesTheShaderRecordFieldByField) {
  EXPECT_EQ(offsetof(BuddyInstance, pos), 0u);
  EXPECT_EQ(offsetof(BuddyInstance, unit), 8u);
  EXPECT_EQ(offsetof(BuddyInstance, sy), 12u);
  EXPECT_EQ(offsetof(BuddyInstance, angle), 16u);
  EXPECT_EQ(offsetof(BuddyInstance, frame), 20u);
  EXPECT_EQ(offsetof(BuddyInstance, flip), 24u);
  EXPECT_EQ(offsetof(BuddyInstance, eye), 28u);
  EXPECT_EQ(offsetof(BuddyInstance, tint), 32u);
  EXPECT_EQ(offsetof(BuddyInstance, shadow), 44u);
  EXPECT_EQ(offsetof(BuddyInstance, tint2), 48u);
  EXPECT_EQ(offsetof(BuddyInstance, pattern), 60u);
  EXPECT_EQ(offsetof(Frame, screen), 0u);
  EXPECT_EQ(offsetof(Frame, glow), 8u);
  EXPECT_EQ(offsetof(Frame, unused), 12u);
  EXPECT_EQ(offsetof(Frame, origin), 16u);
  EXPECT_EQ(offsetof(Frame, spare), 24u);
}

TEST(InstanceLayout, ListsCompareByteForByte) {
  std::vector<BuddyInstance> a = {crab(), crab()};
  std::vector<BuddyInstance> b = a;
  EXPECT_TRUE(same_instances(a, b));
  b[1].pos.x += 1.0f;
  EXPECT_FALSE(same_instances(a, b));
  b.pop_back();
  EXPECT_FALSE(same_instances(a, b));
  EXPECT_TRUE(same_instances({}, {}));
}

TEST(SpritePass, PlacesCellsOnTheFeetAndColoursThem) {
  const RgbaImage image = draw({crab()});
  EXPECT_EQ(cell_pixel(image, 2, 2), rgba(215, 119, 87, 255));  // body
  EXPECT_EQ(cell_pixel(image, 4, 3), rgba(26, 26, 26, 255));    // eye
  EXPECT_EQ(cell_pixel(image, 0, 0), 0u);                       // clear
  EXPECT_EQ(cell_pixel(image, 3, 9), rgba(215, 119, 87, 255));  // leg
  // The quad's edges: x 68..131 and y 160..199 inclusive.
  EXPECT_EQ(pixel_at(image, 68, 180), rgba(215, 119, 87, 255));
  EXPECT_EQ(pixel_at(image, 67, 180), 0u);
  EXPECT_EQ(pixel_at(image, 131, 180), rgba(215, 119, 87, 255));
  EXPECT_EQ(pixel_at(image, 132, 180), 0u);
  EXPECT_EQ(pixel_at(image, 80, 199), rgba(215, 119, 87, 255));
  EXPECT_EQ(pixel_at(image, 80, 200), 0u);
}

TEST(SpritePass, CharredBuddyIsDarkWithWhiteEyesAndNoPattern) {
  BuddyInstance in = crab();
  in.tint = kCharredTint;
  in.tint2 = {1.0f, 0.0f, 0.0f};
  in.eye = 1.0f;
  in.pattern = kPatternSolid;
  const RgbaImage image = draw({in});
  EXPECT_EQ(cell_pixel(image, 2, 2), rgba(59, 51, 48, 255));
  EXPECT_EQ(cell_pixel(image, 5, 3), rgba(59, 51, 48, 255));  // an odd row stays dark too
  EXPECT_EQ(cell_pixel(image, 4, 3), rgba(255, 255, 255, 255));
  EXPECT_EQ(cell_pixel(image, 11, 4), rgba(255, 255, 255, 255));
}

TEST(SpritePass, PatternsFollowTheCellGrid) {
  BuddyInstance in = crab();
  in.tint = {1.0f, 0.0f, 0.0f};
  in.tint2 = {0.0f, 0.0f, 1.0f};

  in.pattern = kPatternGradient;
  RgbaImage image = draw({in});
  EXPECT_EQ(cell_pixel(image, 2, 2), rgba(255, 0, 0, 255));
  EXPECT_EQ(cell_pixel(image, 2, 5), rgba(128, 0, 128, 255));  // halfway: (5 - 2) / 6
  EXPECT_EQ(cell_pixel(image, 3, 8), rgba(0, 0, 255, 255));    // legs are past the end
  EXPECT_EQ(cell_pixel(image, 4, 3), rgba(26, 26, 26, 255));   // eyes keep their grey

  in.pattern = kPatternStripes;
  image = draw({in});
  EXPECT_EQ(cell_pixel(image, 2, 2), rgba(255, 0, 0, 255));
  EXPECT_EQ(cell_pixel(image, 2, 3), rgba(0, 0, 255, 255));
  EXPECT_EQ(cell_pixel(image, 2, 5), rgba(0, 0, 255, 255));
  EXPECT_EQ(cell_pixel(image, 2, 6), rgba(255, 0, 0, 255));

  in.pattern = kPatternSpots;  // spots where (x + 2y) mod 5 = 0
  image = draw({in});
  EXPECT_EQ(cell_pixel(image, 6, 2), rgba(0, 0, 255, 255));
  EXPECT_EQ(cell_pixel(image, 7, 2), rgba(255, 0, 0, 255));
  EXPECT_EQ(cell_pixel(image, 3, 6), rgba(0, 0, 255, 255));
  // Mirrored, columns are counted after flipping: screen column 9 is cell 6.
  in.flip = 1.0f;
  image = draw({in});
  EXPECT_EQ(cell_pixel(image, 9, 2), rgba(0, 0, 255, 255));
  EXPECT_EQ(cell_pixel(image, 6, 2), rgba(255, 0, 0, 255));
}

TEST(SpritePass, FlipRotationAndSquashMoveTheArt) {
  BuddyInstance in = crab();
  in.frame = 9.0f;  // the wave raises the right claw
  RgbaImage image = draw({in});
  EXPECT_NE(cell_pixel(image, 15, 0), 0u);
  EXPECT_EQ(cell_pixel(image, 0, 0), 0u);
  in.flip = 1.0f;
  image = draw({in});
  EXPECT_NE(cell_pixel(image, 0, 0), 0u);
  EXPECT_EQ(cell_pixel(image, 15, 0), 0u);

  // Turned 180 degrees about the sprite's centre (100, 180): the claw ends up bottom left.
  in.flip = 0.0f;
  in.angle = 3.14159265f;
  image = draw({in});
  EXPECT_EQ(pixel_at(image, 70, 198), rgba(215, 119, 87, 255));
  EXPECT_EQ(pixel_at(image, 130, 162), 0u);

  // Squashed flat, the bottom edge stays on the feet and the sprite gets wider.
  in = crab();
  in.sy = 0.6f;
  image = draw({in});
  // 24 pixels high from y = 176: row 2 (the head) starts at 180.8.
  EXPECT_EQ(pixel_at(image, 100, 181), rgba(215, 119, 87, 255));
  EXPECT_EQ(pixel_at(image, 100, 180), 0u);
  EXPECT_EQ(pixel_at(image, 100, 199), 0u);  // between the legs on the last row
  EXPECT_EQ(pixel_at(image, 100, 175), 0u);
  EXPECT_NE(pixel_at(image, 62, 186), 0u);  // outside the unsquashed 68..131
}

TEST(SpritePass, FramesOutsideTheAtlasDrawNothing) {
  for (float f : {26.0f, -1.0f, -0.5f, 1000.0f}) {
    BuddyInstance in = crab();
    in.frame = f;
    EXPECT_TRUE(all_transparent(draw({in}))) << f;
  }
  BuddyInstance in = crab();
  in.frame = 13.7f;  // the GPU floors the frame index
  const RgbaImage image = draw({in});
  EXPECT_EQ(cell_pixel(image, 3, 6), rgba(244, 162, 154, 255));  // blush of frame 13
}

TEST(ShadowPass, DarkensUnderTheFeetWithPremultipliedOver) {
  BuddyInstance in = crab();
  in.shadow = 1.0f;
  in.frame = 1000.0f;  // shadow only
  RgbaImage image = make_image(256, 256);
  fill(image, {1.0f, 1.0f, 1.0f}, 1.0f);
  draw_instances(image, frame_for(image), std::vector<BuddyInstance>{in}, textures());

  // The shadow box is 60 x 14 pixels centred on the feet; pixel (100, 200) is at u = 0.5083, v = 0.5357.
  const float dx = (100.5f / 60.0f + 0.5f - 100.0f / 60.0f - 0.5f) * 2.0f;
  const float dy = (0.5f / 14.0f) * 2.0f;
  const float a = 1.0f - std::sqrt(dx * dx + dy * dy);
  const auto expected = static_cast<unsigned>(255.0f * (1.0f - 0.32f * a * a) + 0.5f);
  EXPECT_EQ(pixel_at(image, 100, 200), rgba(expected, expected, expected, 255));
  EXPECT_EQ(expected, 185u);
  // Outside the ellipse (the box's corner) the background is untouched.
  EXPECT_EQ(pixel_at(image, 71, 194), rgba(255, 255, 255, 255));

  // On a transparent target the shadow is translucent black.
  const RgbaImage clear = draw({in});
  EXPECT_EQ(pixel_at(clear, 100, 200), rgba(0, 0, 0, 255 - expected));

  in.shadow = 0.0f;
  EXPECT_TRUE(all_transparent(draw({in})));
}

TEST(ShadowPass, EveryBuddyOfOneSizeCastsTheSameShadow) {
  BuddyInstance a = crab();
  a.shadow = 1.0f;
  a.frame = 1000.0f;
  const RgbaImage alone = draw({a});
  for (float other_unit : {4.0f, 3.0f}) {
    BuddyInstance b = a;
    b.pos = {40.0f, 100.0f};
    b.unit = other_unit;
    const RgbaImage both = draw({b, a});
    for (int y = 190; y < 210; ++y) {
      for (int x = 60; x < 140; ++x) {
        ASSERT_EQ(pixel_at(both, x, y), pixel_at(alone, x, y)) << x << "," << y;
      }
    }
    // The other shadow is the same shape, moved.
    if (other_unit == 4.0f) {
      EXPECT_EQ(pixel_at(both, 40, 100), pixel_at(alone, 100, 200));
    }
  }
}

TEST(GlowPass, BrightensAroundTheBodyOnlyWhenOn) {
  BuddyInstance in = crab();
  const RgbaImage off = draw({in}, 0.0f);
  EXPECT_EQ(pixel_at(off, 100, 166), 0u);

  // The glow quad is 96 x 72 pixels from (52, 144): pixel (100, 166) samples halo texel (48, 22)
  // of frame 0 exactly, one cell above the head where the sprite leaves it visible.
  const RgbaImage on = draw({in}, 1.0f);
  const float h = static_cast<float>(textures().halo[22u * 2496u + 48u]) / 255.0f;
  ASSERT_GT(h, 0.1f);
  const float a = h * h * (3.0f - 2.0f * h);
  const auto byte = [](float x) { return static_cast<unsigned>(x * 255.0f + 0.5f); };
  const float light_r = in.tint.r + (1.0f - in.tint.r) * 0.28f;
  const float light_b = in.tint.b + (1.0f - in.tint.b) * 0.28f;
  const std::uint32_t px = pixel_at(on, 100, 166);
  EXPECT_EQ(px & 0xFFu, byte(0.45f * a));
  EXPECT_EQ(px >> 24, byte(light_r * a));
  EXPECT_EQ((px >> 8) & 0xFFu, byte(light_b * a));
  EXPECT_GT(px >> 24, px & 0xFFu);  // colour exceeds coverage: it lights what lies beneath
  // Far outside the halo nothing changes, and the sprite itself is drawn over the glow.
  EXPECT_EQ(pixel_at(on, 20, 178), 0u);
  EXPECT_EQ(cell_pixel(on, 2, 2), rgba(215, 119, 87, 255));

  // A strong glow saturates the 8-bit target instead of wrapping.
  const RgbaImage strong = draw({in}, 2.5f);
  EXPECT_EQ(pixel_at(strong, 100, 166) >> 24, std::min(255u, byte(light_r * a * 2.5f)));
  EXPECT_EQ(pixel_at(strong, 100, 166) & 0xFFu, std::min(255u, byte(0.45f * a * 2.5f)));
}

TEST(Rasterizer, AnInstanceReachesTheRectanglesItCanDrawIn) {
  BuddyInstance b;
  b.pos = {500.0f, 400.0f};
  b.unit = 4.0f;
  b.sy = 1.0f;
  b.shadow = 1.0f;
  Frame frame;
  frame.screen = {1000.0f, 800.0f};
  frame.origin = {100.0f, 100.0f};  // the feet are at (400, 300) in the buffer
  EXPECT_TRUE(instance_reaches(b, frame, {390, 290, 410, 310}));
  EXPECT_TRUE(instance_reaches(b, frame, {440, 300, 460, 320}));  // the glow's side
  EXPECT_FALSE(instance_reaches(b, frame, {600, 300, 700, 400}));
  EXPECT_FALSE(instance_reaches(b, frame, {300, 100, 500, 150}));
  // Everything it draws, turned or squashed, lies in the rectangles it reaches: drawn into a
  // small image around it, each pixel that changed is inside the reach.
  SpriteTextures textures = build_sprite_textures();
  for (float angle : {0.0f, 0.7853982f, 1.5707964f}) {
    for (float sy : {0.6f, 1.4f}) {
      b.angle = angle;
      b.sy = sy;
      frame.glow = 1.0f;
      RgbaImage img = make_image(1000, 800);
      draw_instances(img, frame, {&b, 1}, textures);
      for (int y = 0; y < 800; y += 2)
        for (int x = 0; x < 1000; x += 2)
          if (pixel_at(img, x, y) != 0) {
            ASSERT_TRUE(instance_reaches(b, frame, {x, y, x + 1, y + 1})) << x << "," << y;
          }
    }
  }
  // A coordinate that is not finite rules nothing out along its axis.
  b.pos.x = std::nanf("");
  EXPECT_TRUE(instance_reaches(b, frame, {0, 280, 1, 281}));
  EXPECT_TRUE(instance_reaches(b, frame, {990, 280, 1000, 281}));
}

TEST(Rasterizer, OriginAndScreenMapOverlayPixelsIntoTheBuffer) {
  RgbaImage image = make_image(128, 128);
  Frame f = frame_for(image);
  f.origin = {50.0f, 100.0f};
  draw_instances(image, f, std::vector<BuddyInstance>{crab()}, textures());
  EXPECT_EQ(pixel_at(image, 68 - 50 + 10, 160 - 100 + 10), rgba(215, 119, 87, 255));

  // A buffer drawn at half resolution is scaled by the clip-space mapping.
  RgbaImage half = make_image(128, 128);
  Frame hf;
  hf.screen = {256.0f, 256.0f};
  draw_instances(half, hf, std::vector<BuddyInstance>{crab()}, textures());
  EXPECT_EQ(pixel_at(half, 38, 84), rgba(215, 119, 87, 255));  // cell (2, 2): overlay (77, 169)
}

// A crowd turned (every `turned`th), squashed, flipped and glowing, some across the edges of
// the rectangles below.
std::vector<BuddyInstance> crowd(int turned) {
  std::vector<BuddyInstance> list;
  for (int i = 0; i < 40; ++i) {
    BuddyInstance in = crab();
    in.pos = {static_cast<float>((i * 53) % 300) - 10.0f, static_cast<float>((i * 37) % 220)};
    in.unit = 1.0f + static_cast<float>(i % 5) + (i % 3 == 0 ? 0.37f : 0.0f);
    in.angle = i % turned == 1 ? 0.1f * static_cast<float>(i) : 0.0f;
    in.sy = i % 4 ? 1.0f : 0.7f;
    in.flip = static_cast<float>(i % 2);
    in.frame = static_cast<float>(i % kFrameCount);
    in.pattern = static_cast<float>(i % 4);
    in.shadow = 1.0f;
    list.push_back(in);
  }
  return list;
}

// Rows of bodies standing many deep on three ledges, one across a whole rectangle's width, a
// few of them turned.
std::vector<BuddyInstance> deep_crowd() {
  std::vector<BuddyInstance> list;
  const float ledges[] = {16.0f, 90.0f, 200.0f};
  for (int i = 0; i < 90; ++i) {
    BuddyInstance in = crab();
    in.pos = {static_cast<float>((i * 29) % 330) - 15.0f, ledges[i % 3]};
    in.unit = 4.0f + static_cast<float>(i % 3) + (i % 4 == 0 ? 0.37f : 0.0f);
    // Giants at the back, wider than a mask byte can count, under the smaller ones.
    if (i < 6 && i % 3 == 0) in.unit = 18.0f;
    in.angle = i % 7 == 3 ? 0.3f : 0.0f;
    in.sy = i % 5 ? 1.0f : 0.8f;
    in.flip = static_cast<float>(i % 2);
    in.frame = static_cast<float>((i * 7) % kFrameCount);
    in.pattern = static_cast<float>(i % 4);
    in.shadow = 1.0f;
    list.push_back(in);
  }
  return list;
}

void expect_shared_memory_matches_whole_image(const std::vector<BuddyInstance>& list) {
  RgbaImage want = make_image(300, 200);
  Frame f = frame_for(want);
  f.origin = {-7.0f, 3.0f};
  f.glow = 0.8f;
  draw_instances(want, f, list, textures());

  // Blue first, stale bytes outside the rectangles (cleared inside them); rows padded, or
  // packed with a scratch mask so that bodies hide what lies under them.
  const std::vector<PixelRect> rects = {{0, 0, 300, 16}, {16, 32, 128, 96}, {128, 32, 300, 48}, {200, 100, 290, 200}};
  std::vector<std::uint8_t> covered(300 * 200, 7);
  std::vector<std::uint8_t> memory;
  // Padded rows, packed with the mask, and packed with the mask drawn band by band.
  for (const int mode : {0, 1, 2}) {
    const bool masked = mode > 0;
    const std::size_t stride = masked ? 300 * 4 : 300 * 4 + 16;
    memory.assign(stride * 200, 0xAB);
    for (const PixelRect& r : rects)
      for (int y = r.top; y < r.bottom; ++y)
        std::fill_n(memory.begin() + static_cast<std::ptrdiff_t>(y * stride + r.left * 4), (r.right - r.left) * 4, 0);
    std::vector<PixelRect> with_outside = rects;
    with_outside.push_back({-50, 250, 400, 300});  // wholly outside: ignored
    const PixelTarget target{memory.data(), 300, 200, stride, true, masked ? covered.data() : nullptr};
    if (mode < 2) {
      draw_instances(target, f, list, textures(), with_outside);
    } else {
      const std::vector<int> edges = row_bands(f, list, rects, 200, 3);
      ASSERT_EQ(edges.size(), 4u);
      EXPECT_EQ(edges.front(), 0);
      EXPECT_EQ(edges.back(), 200);
      for (std::size_t k = 0; k + 1 < edges.size(); ++k) {
        EXPECT_LE(edges[k], edges[k + 1]);
        std::vector<PixelRect> band;
        for (const PixelRect& r : rects)
          band.push_back({r.left, std::max(r.top, edges[k]), r.right, std::min(r.bottom, edges[k + 1])});
        draw_instances(target, f, list, textures(), band);
      }
    }

    int differ = 0, touched = 0, drawn = 0;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 300; ++x) {
        const bool inside = std::any_of(rects.begin(), rects.end(), [&](const PixelRect& r) {
          return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
        });
        const std::uint8_t* got = &memory[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 4];
        const std::uint32_t as_rgba = (std::uint32_t{got[2]} << 24) | (std::uint32_t{got[1]} << 16) |
                                      (std::uint32_t{got[0]} << 8) | got[3];
        if (inside) differ += as_rgba != pixel_at(want, x, y);
        if (inside) drawn += as_rgba != 0;
        else touched += as_rgba != 0xABABABABu;
      }
    EXPECT_EQ(differ, 0) << mode;
    EXPECT_EQ(touched, 0) << mode;
    EXPECT_GT(drawn, 2000) << mode;
  }
  // Targets that cannot hold the image are refused.
  draw_instances(PixelTarget{memory.data(), 300, 200, 100, true}, f, list, textures(), rects);
  draw_instances(PixelTarget{nullptr, 300, 200, 1200, true}, f, list, textures(), rects);
}

TEST(Rasterizer, DrawingInsideRectanglesOfSharedMemoryMatchesTheWholeImage) {
  expect_shared_memory_matches_whole_image(crowd(2));
  expect_shared_memory_matches_whole_image(crowd(9));
  expect_shared_memory_matches_whole_image(deep_crowd());
}

TEST(Rasterizer, BodiesFirstThenWhatLiesUnderThemOverAChangedBackground) {
  // The open pixels may change between the halves (a 2D layer is put there): the result is
  // the whole drawing over that layer.
  const std::vector<BuddyInstance> list = deep_crowd();
  RgbaImage want = make_image(300, 200);
  fill(want, {0.2f, 0.4f, 0.6f}, 0.5f);
  Frame f = frame_for(want);
  f.glow = 0.8f;
  draw_instances(want, f, list, textures());
  std::uint8_t layer[4];  // the same colour as the image's fill, blue first
  {
    RgbaImage one = make_image(1, 1);
    fill(one, {0.2f, 0.4f, 0.6f}, 0.5f);
    const std::uint32_t p = pixel_at(one, 0, 0);
    layer[0] = static_cast<std::uint8_t>(p >> 8);
    layer[1] = static_cast<std::uint8_t>(p >> 16);
    layer[2] = static_cast<std::uint8_t>(p >> 24);
    layer[3] = static_cast<std::uint8_t>(p);
  }
  const std::vector<PixelRect> rects = {{0, 0, 300, 100}, {0, 100, 150, 200}, {150, 100, 300, 200}};
  std::vector<std::uint8_t> memory(300 * 200 * 4, 0x5A), covered(300 * 200, 3);
  const PixelTarget target{memory.data(), 300, 200, 300 * 4, true, covered.data()};
  ASSERT_TRUE(draw_bodies(target, f, list, textures(), rects));
  int open = 0;
  for (std::size_t i = 0; i < covered.size(); ++i)
    if (covered[i] == 0) {
      std::copy(layer, layer + 4, memory.begin() + static_cast<std::ptrdiff_t>(i * 4));
      ++open;
    }
  EXPECT_GT(open, 1000);
  EXPECT_LT(open, 300 * 200 - 1000);
  draw_under_bodies(target, f, list, textures(), rects);
  int differ = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) {
      const std::uint8_t* got = &memory[static_cast<std::size_t>(y * 300 + x) * 4];
      const std::uint32_t as_rgba = (std::uint32_t{got[2]} << 24) | (std::uint32_t{got[1]} << 16) |
                                    (std::uint32_t{got[0]} << 8) | got[3];
      differ += as_rgba != pixel_at(want, x, y);
    }
  EXPECT_EQ(differ, 0);
  // Padded rows or no mask: nothing is drawn by halves.
  EXPECT_FALSE(draw_bodies(PixelTarget{memory.data(), 300, 200, 300 * 4, true}, f, list, textures(), rects));
  EXPECT_FALSE(draw_bodies(PixelTarget{memory.data(), 290, 200, 300 * 4, true, covered.data()}, f, list,
                           textures(), rects));
}

TEST(Rasterizer, BandsShareTheCrowdsRowsEvenly) {
  // Two equal crowds, one on a ledge and one on the floor: the cut falls between them, and
  // only rows inside the clips count.
  std::vector<BuddyInstance> list;
  for (int i = 0; i < 40; ++i) {
    BuddyInstance in = crab();
    in.unit = 4.0f;
    in.pos = {static_cast<float>(i * 7), i % 2 ? 100.0f : 190.0f};
    list.push_back(in);
  }
  Frame f;
  f.screen = {300.0f, 200.0f};
  const PixelRect all{0, 0, 300, 200};
  std::vector<int> edges = row_bands(f, list, {&all, 1}, 200, 2);
  ASSERT_EQ(edges.size(), 3u);
  EXPECT_GT(edges[1], 95);
  EXPECT_LT(edges[1], 140);
  const PixelRect floor_only{0, 150, 300, 200};
  edges = row_bands(f, list, {&floor_only, 1}, 200, 2);
  EXPECT_GT(edges[1], 150);
  EXPECT_LT(edges[1], 200);

  // Nothing to share, hostile numbers, no rows: edges still run from 0 to the height.
  list.front().pos.y = std::nanf("");
  list.back().unit = std::numeric_limits<float>::infinity();
  EXPECT_EQ(row_bands(f, {}, {}, 200, 3), (std::vector<int>{0, 200, 200, 200}));
  EXPECT_EQ(row_bands(f, list, {&all, 1}, 0, 2), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(row_bands(f, list, {&all, 1}, 200, 0).size(), 2u);
}

TEST(Rasterizer, HostileNumbersNeitherCrashNorHang) {
  const float nan = std::nanf("");
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<BuddyInstance> list;
  for (float bad : {nan, inf, -inf, 3e38f, -3e38f, 0.0f}) {
    BuddyInstance in = crab();
    in.unit = bad;
    in.shadow = 1.0f;
    list.push_back(in);
    in = crab();
    in.pos.x = bad;
    list.push_back(in);
    in = crab();
    in.angle = bad;
    in.sy = bad;
    list.push_back(in);
    in = crab();
    in.tint = {bad, bad, bad};
    in.eye = bad;
    in.pattern = bad;
    list.push_back(in);
  }
  RgbaImage image = draw(list, 2.5f);
  EXPECT_EQ(image.pixels.size(), 256u * 256u * 4u);

  RgbaImage empty = make_image(-5, 1 << 30);
  EXPECT_EQ(empty.width, 0);
  EXPECT_EQ(empty.height, kMaxImageSide);
  draw_instances(empty, frame_for(empty), list, textures());

  Frame broken;
  broken.screen = {0.0f, nan};
  RgbaImage small = make_image(16, 16);
  draw_instances(small, broken, list, textures());
  EXPECT_TRUE(all_transparent(small));
}

}  // namespace
}  // namespace perchkin
