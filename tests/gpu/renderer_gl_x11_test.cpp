// The OpenGL pass against the reference rasterizer, offscreen. Opaque sprite pixels match
// exactly, except where a pixel centre lies exactly on a cell edge of a diagonally rotated
// sprite (either cell is right there). llvmpipe blends in 8-bit fixed point, so a translucent
// pixel (shadow, glow, layer) may differ by 1/255 a blend, 2/255 where translucent layers
// stack; and a colour that falls exactly half-way between two bytes may round either way.
#include <gtest/gtest.h>

#include "gl_context.h"
#include "gpu/frame_world.h"
#include "gpu/render_entries.h"
#include "gpu/renderer_gl.h"
#include "gpu/renderer_x11.h"
#include "props/effects.h"
#include "scene/scene.h"
#include "settings/settings.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

// Mesa's llvmpipe leaks from code it unloads again, which the leak checker can only name as an
// unknown module, so no suppression matches: leak checking is off for the offscreen GL tests.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

// Under the sanitizer build: the GL driver and Xlib keep allocations they never free.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libGLX_mesa\nleak:libEGL_mesa\nleak:swrast_dri\nleak:libgallium\nleak:libLLVM\n"
         "leak:libglapi\nleak:libX11\nleak:libxcb\nleak:libdrm\n";
}

namespace perchkin {
namespace {

const SpriteTextures& textures() {
  static const SpriteTextures t = build_sprite_textures();
  return t;
}

BuddyInstance crab(float x, float y, float unit, int frame) {
  BuddyInstance in;
  in.pos = {x, y};
  in.unit = unit;
  in.sy = 1.0f;
  in.frame = static_cast<float>(frame);
  in.eye = 26.0f / 255.0f;
  in.tint = {215.0f / 255.0f, 119.0f / 255.0f, 87.0f / 255.0f};
  in.tint2 = {0.3f, 0.55f, 0.9f};
  in.shadow = 1.0f;
  return in;
}

struct Difference {
  int max = 0;
  long differing = 0;     // pixels with any channel off
  long opaque_off = 0;    // of those, pixels that are opaque in the reference
};

Difference compare(const RgbaImage& got, const RgbaImage& want) {
  Difference d;
  if (got.width != want.width || got.height != want.height) return {255, -1, -1};
  for (std::size_t i = 0; i < want.pixels.size(); i += 4) {
    int worst = 0;
    for (std::size_t k = 0; k < 4; ++k)
      worst = std::max(worst, std::abs(int(got.pixels[i + k]) - int(want.pixels[i + k])));
    if (worst > 0) {
      if (std::getenv("GL_DIFF") && (worst > 1 || want.pixels[i+3] == 255)) {
        const std::size_t px = i / 4;
        std::printf("diff at %zu,%zu got %02x%02x%02x%02x want %02x%02x%02x%02x\n", px % want.width, px / want.width,
                    got.pixels[i], got.pixels[i+1], got.pixels[i+2], got.pixels[i+3],
                    want.pixels[i], want.pixels[i+1], want.pixels[i+2], want.pixels[i+3]);
      }
      ++d.differing;
      if (want.pixels[i + 3] == 255) ++d.opaque_off;
    }
    d.max = std::max(d.max, worst);
  }
  return d;
}

class GlPassTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!context.ok()) GTEST_SKIP() << "no offscreen OpenGL: " << context.error();
    ASSERT_TRUE(pass.init(textures()).ok());
  }

  // Draws the instances on both and returns the difference.
  Difference both(int w, int h, const std::vector<BuddyInstance>& instances, float glow,
                  Float2 origin = {}) {
    EXPECT_TRUE(pass.resize(w, h).ok());
    Frame f;
    f.screen = {float(w), float(h)};
    f.origin = origin;
    f.glow = glow;
    const PixelRect all{0, 0, w, h};
    pass.draw_instances(f, instances, {&all, 1});
    EXPECT_TRUE(pass.check("drawing").ok());
    RgbaImage want = make_image(w, h);
    draw_instances(want, f, instances, textures());
    last_want = want;
    return compare(pass.read_back(), want);
  }

  testing_gl::OffscreenContext context;
  GlPass pass;
  RgbaImage last_want;
};

TEST_F(GlPassTest, AllFramesInEveryPatternAndBothFacingsMatchTheReference) {
  std::vector<BuddyInstance> crew;
  for (int f = 0; f < kFrameCount; ++f) {
    for (int pattern = 0; pattern < 4; ++pattern) {
      BuddyInstance in = crab(40.0f + 72.0f * float(f % 13), 60.0f + 50.0f * float(pattern + 4 * (f / 13)), 4.0f, f);
      in.pattern = float(pattern);
      in.flip = float((f + pattern) % 2);
      in.shadow = 0.0f;
      crew.push_back(in);
    }
  }
  const Difference d = both(960, 440, crew, 0.0f);
  EXPECT_LE(d.max, 1) << "only half-way gradient colours may round the other way";
  EXPECT_EQ(d.opaque_off, d.differing);
}

TEST_F(GlPassTest, RotationSquashGlowShadowAndCharredMatchTheReference) {
  std::vector<BuddyInstance> crew;
  const float angles[] = {0.0f, 15.0f, 90.0f, 180.0f, 345.0f};
  for (int i = 0; i < 5; ++i) {
    BuddyInstance in = crab(60.0f + 110.0f * float(i), 120.0f, 5.0f, i * 3);
    in.angle = angles[i] * 0.017453292f;
    crew.push_back(in);
  }
  const float squash[] = {0.6f, 0.84f, 1.2f, 1.4f};
  for (int i = 0; i < 4; ++i) {
    BuddyInstance in = crab(60.0f + 110.0f * float(i), 240.0f, 3.0f, 17);
    in.sy = squash[i];
    crew.push_back(in);
  }
  BuddyInstance charred = crab(500.0f, 240.0f, 4.0f, 0);
  charred.tint = kCharredTint;
  charred.eye = 1.0f;
  crew.push_back(charred);
  // The carried buddy last, overlapping another: it must cover it.
  BuddyInstance held = crab(515.0f, 236.0f, 4.0f, 17);
  held.shadow = 0.0f;
  held.tint = {0.36f, 0.55f, 0.94f};
  crew.push_back(held);

  const Difference d = both(640, 300, crew, 1.4f);
  EXPECT_LE(d.max, 2) << "overlapping shadows and glow";
  EXPECT_EQ(d.opaque_off, 0) << "sprite pixels are exact";
  // The carried buddy's body shows where the two overlap.
  const RgbaImage got = pass.read_back();
  EXPECT_EQ(pixel_at(got, 515, 220), pixel_at(last_want, 515, 220));
}

TEST_F(GlPassTest, DiagonalRotationsDifferOnlyOnCellEdgeTies) {
  std::vector<BuddyInstance> crew;
  for (int i = 0; i < 4; ++i) {
    BuddyInstance in = crab(60.0f + 110.0f * float(i), 120.0f, 5.0f, 2 * i);
    in.angle = float(45 + 90 * i) * 0.017453292f;
    in.shadow = 0.0f;
    crew.push_back(in);
  }
  const Difference d = both(480, 160, crew, 0.0f);
  // A 45-degree sprite of 5-pixel cells has at most one tie per pixel row of a cell edge.
  EXPECT_LE(d.opaque_off, 4 * 40);
  EXPECT_LT(d.differing, 4 * 40);
}

TEST_F(GlPassTest, ABufferAwayFromTheOverlayOriginDrawsInItsOwnPixels) {
  std::vector<BuddyInstance> crew = {crab(1300.0f, 700.0f, 4.0f, 3), crab(1380.0f, 690.0f, 6.0f, 9)};
  const Difference d = both(256, 256, crew, 0.8f, {1280.0f, 512.0f});
  EXPECT_LE(d.max, 1);
  EXPECT_EQ(d.opaque_off, 0);
}

TEST_F(GlPassTest, DirtyRectanglesRedrawAMovedBuddyAndKeepTheRest) {
  ASSERT_TRUE(pass.resize(512, 256).ok());
  Frame f;
  f.screen = {512.0f, 256.0f};
  const PixelRect all{0, 0, 512, 256};
  std::vector<BuddyInstance> before = {crab(60.0f, 200.0f, 4.0f, 0), crab(400.0f, 200.0f, 4.0f, 5)};
  pass.draw_instances(f, before, {&all, 1});

  // The second buddy walks; only the tiles it touched then and now are cleared and redrawn.
  std::vector<BuddyInstance> after = before;
  after[1].pos.x = 330.0f;
  after[1].frame = 3.0f;
  const PixelRect dirty{256, 128, 512, 256};
  pass.clear({&dirty, 1});
  pass.draw_instances(f, after, {&dirty, 1});

  RgbaImage want = make_image(512, 256);
  draw_instances(want, f, after, textures());
  const Difference d = compare(pass.read_back(), want);
  EXPECT_LE(d.max, 1);
  EXPECT_EQ(d.opaque_off, 0);
  // Translucent shadows were not blended twice outside the dirty rectangle.
  EXPECT_EQ(pixel_at(pass.read_back(), 60, 200) & 0xFF, pixel_at(want, 60, 200) & 0xFF);
}

TEST_F(GlPassTest, LayersCompositeUnderAndOverTheBuddiesInsideTheirRectangles) {
  ASSERT_TRUE(pass.resize(128, 64).ok());
  // A half-transparent red band in premultiplied BGRA, with a wide stride.
  const int stride = 160 * 4;
  std::vector<std::uint8_t> layer(static_cast<std::size_t>(stride) * 64, 0);
  for (int y = 20; y < 40; ++y)
    for (int x = 0; x < 128; ++x) {
      std::uint8_t* p = &layer[static_cast<std::size_t>(y * stride + x * 4)];
      p[0] = 0, p[1] = 0, p[2] = 128, p[3] = 128;
    }
  const PixelRect left{0, 0, 64, 64};
  pass.composite_layer(layer.data(), stride, {&left, 1});
  const RgbaImage got = pass.read_back();
  EXPECT_EQ(pixel_at(got, 10, 30), 0x80000080u);
  EXPECT_EQ(pixel_at(got, 100, 30), 0u) << "outside the rectangle nothing was uploaded";
  EXPECT_EQ(pixel_at(got, 10, 10), 0u);

  Frame f;
  f.screen = {128.0f, 64.0f};
  BuddyInstance in = crab(32.0f, 50.0f, 2.0f, 0);
  in.shadow = 0.0f;
  pass.draw_instances(f, std::vector<BuddyInstance>{in}, {&left, 1});
  // An opaque body cell over the band shows the body colour alone.
  EXPECT_EQ(pixel_at(pass.read_back(), 32, 41) & 0xFF, 0xFFu);
}

// Every layer pixel lands on its own target pixel, blended "over" what the target holds, in
// each rectangle and nowhere else: odd sizes, a one-pixel column, the far edges, and layer
// pixels that differ from each neighbour, so a row or column off by one shows.
TEST_F(GlPassTest, ALayerBlendsTexelForTexelInsideEachRectangle) {
  const int w = 301, h = 157, stride = w * 4;
  ASSERT_TRUE(pass.resize(w, h).ok());
  std::vector<std::uint8_t> under(static_cast<std::size_t>(stride) * h), over(under.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* u = &under[static_cast<std::size_t>(y * stride + x * 4)];
      u[0] = std::uint8_t(x * 7), u[1] = std::uint8_t(y * 5), u[2] = 200, u[3] = 255;
      std::uint8_t* o = &over[static_cast<std::size_t>(y * stride + x * 4)];
      const int a = (x * 13 + y * 29) % 256;
      o[3] = std::uint8_t(a), o[0] = std::uint8_t(a * ((x + y) % 3) / 2),
      o[1] = std::uint8_t(a / 3), o[2] = std::uint8_t(a * (x % 2));
    }
  const PixelRect all{0, 0, w, h};
  pass.copy_layer(under.data(), stride, {&all, 1});
  const PixelRect rects[] = {{3, 5, 70, 41}, {150, 0, 151, h}, {200, 90, w, h}};
  pass.composite_layer(over.data(), stride, rects);
  const RgbaImage got = pass.read_back();
  int worst = 0;
  long outside_changed = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool inside = std::any_of(std::begin(rects), std::end(rects), [&](const PixelRect& r) {
        return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
      });
      const std::uint8_t* u = &under[static_cast<std::size_t>(y * stride + x * 4)];
      const std::uint8_t* o = &over[static_cast<std::size_t>(y * stride + x * 4)];
      const std::uint8_t* g = &got.pixels[static_cast<std::size_t>((y * w + x) * 4)];
      for (int k = 0; k < 4; ++k) {
        const int bgra = k == 3 ? 3 : 2 - k;  // read back as RGBA
        const int want = inside ? o[bgra] + (u[bgra] * (255 - o[3]) + 127) / 255 : u[bgra];
        if (!inside && g[k] != want) ++outside_changed;
        worst = std::max(worst, std::abs(int(g[k]) - std::min(255, want)));
      }
    }
  EXPECT_LE(worst, 1);
  EXPECT_EQ(outside_changed, 0);
}

TEST_F(GlPassTest, InstanceStorageGrowsPastOneTextureRow) {
  std::vector<BuddyInstance> crew;
  for (int i = 0; i < 600; ++i) {
    BuddyInstance in = crab(float(8 + (i % 40) * 16), float(12 + (i / 40) * 14), 1.0f, i % 26);
    in.shadow = 0.0f;
    crew.push_back(in);
  }
  const Difference d = both(660, 230, crew, 0.0f);
  EXPECT_EQ(d.max, 0) << d.differing << " pixels differ";
}

// Draws nothing; its context is lost while `lose` says so.
struct StandInPresenter final : Presenter {
  const bool* lose;
  explicit StandInPresenter(const bool* l) : lose(l) {}
  Status resize(int, int) override { return Status::success(); }
  Status begin(const FrameDraw&) override { return Status::success(); }
  Status layer(const FrameDraw&, Layer) override { return Status::success(); }
  Status buddies(const FrameDraw&) override { return Status::success(); }
  Status present(const FrameDraw&) override {
    return *lose ? Status::fail("GL_CONTEXT_LOST") : Status::success();
  }
  bool lost() override { return *lose; }
};

TEST(X11Renderer, ALostContextStartsOpenGLAgainThenFallsBackToTheSoftwarePresenter) {
  bool gpu_lost = false;
  const bool software_lost = false;
  int opengl_starts = 0, software_starts = 0;
  const auto make = [](const bool* lose, int* starts) {
    return [lose, starts]() -> Result<std::unique_ptr<Presenter>> {
      ++*starts;
      return Result<std::unique_ptr<Presenter>>::success(std::make_unique<StandInPresenter>(lose));
    };
  };
  auto renderer = make_x11_renderer(nullptr, make(&gpu_lost, &opengl_starts),
                                    make(&software_lost, &software_starts));
  ASSERT_TRUE(renderer->start(0, {0, 0, 640, 480}, false).ok());
  EXPECT_EQ(opengl_starts, 1);

  FrameWorld world;
  world.overlay = {0, 0, 640, 480};
  const auto frame = [&] {
    FrameInput in = world.input();
    in.forced = true;
    return renderer->frame(in);
  };
  ASSERT_TRUE(frame().ok());
  // Lost: started again three times in a row, then the software presenter draws on.
  gpu_lost = true;
  for (int i = 1; i <= 4; ++i) {
    const Result<FrameResult> r = frame();
    ASSERT_TRUE(r.ok()) << "a lost context ended the program: " << r.error;
    EXPECT_EQ(opengl_starts, 1 + std::min(i, 3));
  }
  EXPECT_EQ(software_starts, 1);
  const Result<FrameResult> after = frame();
  ASSERT_TRUE(after.ok()) << after.error;
  EXPECT_TRUE(after->drawn);
  EXPECT_EQ(software_starts, 1);
}

}  // namespace
}  // namespace perchkin
