// Whole 2D passes drawn by Cairo into memory, checked pixel by pixel where the geometry is known.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/text.h"
#include "gpu/canvas_cairo.h"
#include "gpu/overlay_2d.h"
#include "props/effects.h"
#include "scene/scene.h"

namespace perchkin {
namespace {

struct Shot {
  int width = 640, height = 360;
  std::vector<std::uint8_t> bgra = std::vector<std::uint8_t>(640 * 360 * 4, 0);
  // 0xRRGGBBAA, premultiplied.
  std::uint32_t at(float fx, float fy) const {
    const int x = static_cast<int>(fx), y = static_cast<int>(fy);
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    const std::uint8_t* p = &bgra[static_cast<std::size_t>((y * width + x) * 4)];
    return (std::uint32_t{p[2]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[0]} << 8) | p[3];
  }
};

TEST(OverlayCairo, ASceneDrawsItsColoursWhereItsGeometrySaysBehindAndInFront) {
  Crew crew;
  RenderEntries entries;
  Scene scene;
  Effects fx;
  Settings settings;
  settings.look.hat = 1;  // Party
  Buddy b;
  b.id = 0;
  b.motion.x = 200;
  b.motion.y = 300;
  b.motion.unit = 4;
  b.motion.mode = BuddyMode::idle;
  b.mind.clock = 1.0;
  b.speech.bubble_text = "hi there";
  b.speech.bubble_until = 20.0;
  b.speech.bubble_serial = 1;
  crew.buddies.push_back(b);
  RenderEntry e;
  e.id = 0;
  e.prev_x = e.x = 200;
  e.prev_y = e.y = 300;
  entries.entries.push_back(e);
  Prop cloud;
  cloud.kind = PropKind::cloud;
  cloud.x = 500;
  cloud.y = 120;
  cloud.size = 100;
  cloud.placed_at = 10.0;
  fx.props.push_back(cloud);
  Drawing line;
  line.id = 1;
  line.points = {{20, 340}, {300, 340}};
  line.color = rgba(0xFF0000);
  line.width = 6;
  line.finished = true;
  scene.drawings[1] = line;
  scene.order = {1};

  FrameInput in;
  in.crew = &crew;
  in.entries = &entries;
  in.scene = &scene;
  in.effects = &fx;
  in.settings = &settings;
  in.overlay = {0, 0, 640, 360};
  in.clock = 10.0;

  CairoCanvas canvas;
  update_bubbles(entries, crew, canvas, 1.0, 9.0);  // popped up a second ago
  const std::vector<BubbleShape> bubbles = visible_bubbles(in);
  ASSERT_EQ(bubbles.size(), 1u);
  const CanvasRect box = bubbles[0].box;
  EXPECT_GT(box.right - box.left, 40.0f);  // the text was measured by Pango, not estimated

  Shot shot;
  canvas.target(shot.bgra.data(), shot.width, shot.height, shot.width * 4);
  draw_pass_one(canvas, in);
  draw_pass_two(canvas, in);
  canvas.flush();

  // The cloud: filled pale in the middle, its outline left on the outer edge only.
  EXPECT_EQ(shot.at(500, 128), 0xEEF1F6FFu);
  EXPECT_EQ(shot.at(500 - 0.34f * 100 + 4, 124), 0xEEF1F6FFu);  // inner outlines covered
  const std::uint32_t edge = shot.at(500 - 0.34f * 100 - 0.26f * 100, 124);
  EXPECT_NE(edge, 0u);
  EXPECT_NE(edge, 0xEEF1F6FFu);
  // The red line, round-capped 3 px beyond its first point.
  EXPECT_EQ(shot.at(100, 340), 0xFF0000FFu);
  EXPECT_EQ(shot.at(18, 340), 0xFF0000FFu);
  // The hat's top cell (column 7.5 of the sprite, row -2): #FFD23F.
  EXPECT_EQ(shot.at(200 - 32 + 7.5f * 4 + 2, 300 - 40 - 8 + 2), 0xFFD23FFFu);
  // The bubble: white inside (left of its text), a soft shadow below and to the right, dark
  // text inside, and the tail's white tip region above the head.
  EXPECT_EQ(shot.at(box.left + 3, (box.top + box.bottom) / 2), 0xFFFFFFFFu);
  const std::uint32_t shadow = shot.at(box.left + 20, box.bottom + 2);
  EXPECT_NEAR(static_cast<int>(shadow & 0xFF), 77, 4);
  EXPECT_EQ(shadow >> 8, 0u);
  int ink = 0;
  for (float y = box.top + 9; y < box.bottom - 9; ++y)
    for (float x = box.left + 9; x < box.right - 9; ++x) ink += (shot.at(x, y) >> 24) < 0x80;
  EXPECT_GT(ink, 15);
  EXPECT_EQ(shot.at(bubbles[0].tail[1].x, bubbles[0].tail[1].y - 4), 0xFFFFFFFFu);
  // Nothing strays to an empty corner.
  EXPECT_EQ(shot.at(630, 350), 0u);
}

// A busy little scene for the golden picture: every layer of both passes at least once.
struct GoldenScene {
  Crew crew;
  RenderEntries entries;
  Scene scene;
  Effects fx;
  Settings settings;
  FrameInput in;

  GoldenScene() {
    settings.look.hat = 3;      // Crown
    settings.look.glasses = 1;  // Shades
    for (int i = 0; i < 3; ++i) {
      Buddy b;
      b.id = static_cast<std::uint32_t>(i);
      b.motion.x = 60.0 + 100.0 * i;
      b.motion.y = 230;
      b.motion.unit = 4;
      b.motion.mode = BuddyMode::idle;
      b.mind.clock = 1.0;
      b.speech.bubble_until = 20.0;
      crew.buddies.push_back(b);
      RenderEntry e;
      e.id = b.id;
      e.prev_x = e.x = b.motion.x;
      e.prev_y = e.y = b.motion.y;
      entries.entries.push_back(e);
    }
    crew.buddies[0].speech.bubble_text = "hello!";
    crew.buddies[0].speech.bubble_serial = 1;
    crew.buddies[1].motion.mode = BuddyMode::act;
    crew.buddies[1].mind.act = Act::dizzy;
    crew.buddies[2].speech.bubble_text = "a longer line that wraps onto two";
    crew.buddies[2].speech.bubble_serial = 1;
    Drawing heart;
    heart.id = 1;
    heart.points = {{20, 20}, {40, 10}, {60, 30}, {40, 60}, {20, 30}};
    heart.color = rgba(0xFF0000);
    heart.width = 4;
    scene.drawings[1] = heart;
    scene.order = {1};
    TextDrawing text;
    text.text = "Hi!";
    text.size = 24;
    text.color = rgba(0x0000FF);
    text.start = 0.0;
    text.origin = {80, 10};
    scene.texts.push_back(text);
    auto prop = [&](PropKind kind, double x, double y, double size) {
      Prop p;
      p.kind = kind;
      p.x = x;
      p.y = y;
      p.size = size;
      p.placed_at = 9.0;
      fx.props.push_back(p);
      return &fx.props.back();
    };
    prop(PropKind::cloud, 200, 40, 80);
    prop(PropKind::fire, 290, 110, 60);
    prop(PropKind::bolt, 150, 30, 50);
    prop(PropKind::bomb, 250, 150, 40)->lit_at = 7.0;
    Prop* ledge = prop(PropKind::platform, 20, 120, 0);
    ledge->x2 = 120;
    ledge->y2 = 110;
    Particle confetti = make_particle(ParticleKind::rect, rgba(0x4D9DFF), 130, 100, 0, 0, 2);
    confetti.width = 8;
    confetti.height = 5;
    fx.particles.push_back(confetti);
    Particle snow = make_particle(ParticleKind::dot, rgba(0xFFFFFF), 150, 100, 0, 0, 2);
    snow.width = snow.height = 6;
    snow.outline = rgba(0xB9D7F2);
    fx.particles.push_back(snow);
    fx.particles.push_back(make_particle(ParticleKind::heart, rgba(0), 170, 100, 0, 0, 2));
    fx.particles.push_back(make_particle(ParticleKind::sparkle, rgba(0), 190, 100, 0, 0, 2));
    Particle boom = make_particle(ParticleKind::text, rgba(0xFF4D1A), 80, 90, 0, 0, 2);
    boom.text = "BOOM!";
    fx.particles.push_back(boom);
    Ring ring;
    ring.x = 80;
    ring.y = 90;
    ring.radius = 30;
    ring.color = rgba(0xFFB627);
    ring.width = 3;
    fx.rings.push_back(ring);

    in.crew = &crew;
    in.entries = &entries;
    in.scene = &scene;
    in.effects = &fx;
    in.settings = &settings;
    in.overlay = {0, 0, 320, 240};
    in.clock = 10.0;
  }
};

TEST(OverlayCairo, TextParticlesInkStaysInsideTheirMarkedBox) {
  struct Case {
    const char* text;
    TextStyle style;
  };
  const Case cases[] = {{"Z", TextStyle::label}, {"z", TextStyle::label},
                        {"BOOM!", TextStyle::shout}, {"WWW", TextStyle::shout},
                        {"?", TextStyle::symbol}, {"!", TextStyle::symbol},
                        {"\u266a", TextStyle::symbol}, {"\u2605", TextStyle::symbol},
                        {"\u00c5gj", TextStyle::label}};
  CairoCanvas canvas;
  for (double s : {1.0, 1.5}) {
    for (const Case& c : cases) {
      Effects fx;
      fx.scale = s;
      Particle p = make_particle(ParticleKind::text, rgba(0xFF0000), 320.3, 180.6, 0, 0, 2);
      p.text = c.text;
      p.style = c.style;
      fx.particles.push_back(p);
      FrameInput in;
      in.effects = &fx;
      in.ui_scale = s;
      in.overlay = {0, 0, 640, 360};
      Shot shot;
      canvas.target(shot.bgra.data(), shot.width, shot.height, shot.width * 4);
      draw_pass_one(canvas, in);
      canvas.flush();
      canvas.release_target();
      const BoxF box = text_particle_box(p, s);
      if (char_count(c.text) == 1) {  // far tighter than the layout square
        EXPECT_LT(box.right - box.left, 0.5 * kTextParticleHalf * s) << c.text;
      }
      int inked = 0;
      for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
          if ((shot.at(static_cast<float>(x), static_cast<float>(y)) & 0xFF) == 0) continue;
          ++inked;
          EXPECT_TRUE(x >= box.left && x + 1 <= box.right && y >= box.top && y + 1 <= box.bottom)
              << c.text << " at scale " << s << ": ink at " << x << "," << y;
        }
      EXPECT_GT(inked, 5) << c.text;
    }
  }
}

std::filesystem::path golden_path() {
  return std::filesystem::path(PERCHKIN_SOURCE_DIR) / "tests" / "gpu" / "golden" /
         "overlay_scene.png";
}

// Regenerate with: PERCHKIN_GOLDEN=write build/<dir>/test_gpu_desktop --gtest_filter=OverlayGolden.*
TEST(OverlayGolden, BusySceneMatchesThePictureWithinATolerance) {
  GoldenScene g;
  CairoCanvas canvas;
  update_bubbles(g.entries, g.crew, canvas, 1.0, 9.0);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 320, 240);
  std::uint8_t* pixels = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  canvas.target(pixels, 320, 240, stride);
  draw_pass_one(canvas, g.in);
  draw_pass_two(canvas, g.in);
  canvas.flush();
  canvas.release_target();
  cairo_surface_mark_dirty(surface);

  const std::string path = golden_path().string();
  const char* mode = std::getenv("PERCHKIN_GOLDEN");
  if (mode && std::string(mode) == "write") {
    std::filesystem::create_directories(golden_path().parent_path());
    ASSERT_EQ(cairo_surface_write_to_png(surface, path.c_str()), CAIRO_STATUS_SUCCESS);
  }
  cairo_surface_t* golden = cairo_image_surface_create_from_png(path.c_str());
  ASSERT_EQ(cairo_surface_status(golden), CAIRO_STATUS_SUCCESS) << path;
  ASSERT_EQ(cairo_image_surface_get_width(golden), 320);
  ASSERT_EQ(cairo_image_surface_get_height(golden), 240);
  cairo_surface_flush(golden);
  const std::uint8_t* want = cairo_image_surface_get_data(golden);
  const int want_stride = cairo_image_surface_get_stride(golden);
  // Font versions may move antialiased edges a little; shapes in the wrong place fail.
  int off = 0;
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320 * 4; ++x) {
      const int d = std::abs(int{pixels[y * stride + x]} - int{want[y * want_stride + x]});
      off += d > 24;
    }
  EXPECT_LT(off, 320 * 240 * 4 / 200) << "differs from " << path;
  cairo_surface_destroy(golden);
  cairo_surface_destroy(surface);
}

}  // namespace
}  // namespace perchkin
