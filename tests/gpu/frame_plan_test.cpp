#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "frame_world.h"
#include "gpu/frame_plan.h"
#include "gpu/instances.h"
#include "gpu/render_entries.h"
#include "sprites/frames.h"

namespace perchkin {
namespace {

// The frame world's idle buddy at the companion's default size.
Buddy default_size_buddy(std::uint32_t id, double x, double y) {
  Buddy b = idle_buddy(id, x, y);
  b.motion.unit = 9.0;
  return b;
}

// One frame as a backend would run it; returns whether it drew.
struct Frames {
  FrameState state;
  std::vector<BuddyInstance> list;
  LookSettings look;
  FramePlan last;

  bool frame(const Crew& crew, const RenderEntries& re, const SceneActivity& activity,
             double alpha = 1.0) {
    InstanceParams p;
    p.alpha = alpha;
    build_instances(list, crew, re, p);
    MarkInput mi;
    mi.overlay_width = 1920;
    mi.overlay_height = 1080;
    Effects fx;
    TileGrid marks = mark_frame(mi, list, crew, re, fx, activity);
    last = plan_frame(state, list, marks, activity, look);
    if (last.draw) finish_frame(state, last, list, std::move(marks));
    return last.draw;
  }
};

TEST(FramePlan, UnchangedIdleCrewSkipsEveryFrameAfterTheFirst) {
  Crew crew;
  for (std::uint32_t i = 0; i < 5; ++i)
    crew.buddies.push_back(default_size_buddy(i, 200.0 * (i + 1), 1000.0));
  RenderEntries re;
  sync_entries(re, crew);
  Frames f;
  const SceneActivity quiet;
  EXPECT_TRUE(f.frame(crew, re, quiet));
  EXPECT_EQ(f.last.present_interval, 0);  // the grid was just built
  for (int i = 0; i < 10; ++i) EXPECT_FALSE(f.frame(crew, re, quiet, 0.1 * i)) << i;

  // A step moves one buddy: drawn once, then quiet again.
  crew.buddies[2].motion.x += 3.0;
  (void)update_render_entries(re, crew, {}, EntryTickInput{});
  EXPECT_TRUE(f.frame(crew, re, quiet));
  EXPECT_EQ(f.last.present_interval, 1);
  EXPECT_FALSE(f.frame(crew, re, quiet));

  // A forced redraw and moving 2D content each force a frame; the content also forces the one
  // after it disappears, so it is erased.
  f.state.forced_redraw = true;
  EXPECT_TRUE(f.frame(crew, re, quiet));
  EXPECT_FALSE(f.frame(crew, re, quiet));
  SceneActivity sparks;
  sparks.particles = true;
  EXPECT_TRUE(f.frame(crew, re, sparks));
  EXPECT_TRUE(f.frame(crew, re, quiet));
  EXPECT_FALSE(f.frame(crew, re, quiet));
  SceneActivity menu;
  menu.menu_open = true;
  EXPECT_TRUE(f.frame(crew, re, menu));
}

TEST(FramePlan, EmptyCrewDrawsOnceWithoutAGpuPass) {
  Crew crew;
  RenderEntries re;
  Frames f;
  EXPECT_TRUE(f.frame(crew, re, {}));
  EXPECT_FALSE(f.last.gpu_pass);
  EXPECT_FALSE(f.frame(crew, re, {}));
}

TEST(FramePlan, GlowOnlyWhenOnWithAPositiveStrength) {
  Crew crew;
  crew.buddies.push_back(default_size_buddy(0, 300.0, 700.0));
  RenderEntries re;
  sync_entries(re, crew);
  for (const auto& [on, power, expected] :
       std::vector<std::tuple<bool, double, float>>{{true, 0.8, 0.8f}, {false, 0.8, 0.0f},
                                                     {true, 0.0, 0.0f}, {true, std::nan(""), 0.0f}}) {
    Frames f;
    f.look.glow = on;
    f.look.glow_power = power;
    ASSERT_TRUE(f.frame(crew, re, {}));
    EXPECT_EQ(f.last.constants.glow, expected);
  }
}

TEST(MarkFrame, BoxesOfBuddiesHatsEffectsAndBubbles) {
  Crew crew;
  RenderEntries re;
  Effects fx;
  fx.scale = 1.0;
  MarkInput mi;
  mi.overlay_width = 1920;
  mi.overlay_height = 1080;
  BuddyInstance in;
  in.unit = 2.0f;
  in.pos = {640.0f, 700.0f};  // square 592..688 by 642..738 with 24 cells
  const std::vector<BuddyInstance> one{in};

  TileGrid g = mark_frame(mi, one, crew, re, fx, {});
  EXPECT_EQ(rectangles(g), (std::vector<PixelRect>{{512, 640, 768, 768}}));
  mi.box_cells = instance_box_cells(LookSettings{}, false, false);
  EXPECT_EQ(mi.box_cells, 24.0);
  LookSettings hat;
  hat.hat = 2;
  EXPECT_EQ(instance_box_cells(hat, false, false), 30.0);
  hat.hat_lift = -5.0;
  hat.glasses_size = 2.0;
  EXPECT_EQ(instance_box_cells(hat, false, true), 5.0 + 48.0 + 24.0);

  // A heart particle near a tile corner, a ring, and a bubble box.
  Particle heart;
  heart.kind = ParticleKind::heart;
  heart.x = 130.0f;
  heart.y = 130.0f;
  fx.particles.push_back(heart);
  Ring ring;
  ring.x = 1800.0f;
  ring.y = 100.0f;
  ring.radius = 10.0f;
  ring.width = 2.0f;
  fx.rings.push_back(ring);
  const std::vector<BoxF> bubble{{1000.0, 300.0, 1100.0, 340.0}};
  mi.extra_boxes = bubble;
  g = mark_frame(mi, {}, crew, re, fx, {});
  EXPECT_TRUE(is_marked(g, 0, 0) && is_marked(g, 1, 1));  // 114..146 spans two tiles each way
  EXPECT_TRUE(is_marked(g, 14, 0));
  EXPECT_TRUE(is_marked(g, 7, 2) && is_marked(g, 8, 2));
  EXPECT_FALSE(is_marked(g, 5, 5));

  // A broken box, or the menu, redraws the whole overlay.
  const std::vector<BoxF> broken{{std::nan(""), 0.0, 1.0, 1.0}};
  mi.extra_boxes = broken;
  g = mark_frame(mi, {}, crew, re, fx, {});
  EXPECT_TRUE(is_marked(g, 5, 5));
  SceneActivity menu;
  menu.menu_open = true;
  mi.extra_boxes = {};
  g = mark_frame(mi, {}, crew, re, fx, menu);
  EXPECT_EQ(rectangles(g), (std::vector<PixelRect>{{0, 0, 1920, 1080}}));
}

TEST(MarkFrame, AShortTextParticleMarksTheTilesOfItsTextNotOfItsLayoutSquare) {
  Particle z = make_particle(ParticleKind::text, rgba(0x5B6BD6), 300, 300, 0, 0, 2);
  z.text = "Z";
  z.style = TextStyle::label;
  const BoxF box = text_particle_box(z, 1.0);
  EXPECT_GT(box.left, 256.0);
  EXPECT_LT(box.right, 384.0);
  EXPECT_GT(box.top, 256.0);
  EXPECT_LT(box.bottom, 384.0);
  EXPECT_LE(box.left, 300.0 - 12.0);  // at least a wide glyph's room
  EXPECT_GE(box.bottom, 300.0 + 16.0);
  // Twice the scale, twice the room.
  const BoxF big = text_particle_box(z, 2.0);
  EXPECT_NEAR(big.right - 300.0, 2.0 * (box.right - 300.0) - 3.0, 1e-9);
  Effects fx;
  fx.particles.push_back(z);
  TileGrid g = new_grid(1920, 1080);
  mark_effects(g, fx);
  EXPECT_TRUE(is_marked(g, 2, 2));
  EXPECT_FALSE(is_marked(g, 1, 1) || is_marked(g, 3, 3) || is_marked(g, 1, 2) || is_marked(g, 2, 3));
  // A text that may wrap, or has lines of its own, keeps the whole square.
  for (const char* text : {"a shout far too long to stay on one line", "two\nlines"}) {
    z.text = text;
    z.style = TextStyle::shout;
    const BoxF whole = text_particle_box(z, 1.0);
    EXPECT_EQ(whole.left, 300.0 - kTextParticleHalf) << text;
    EXPECT_EQ(whole.bottom, 300.0 + kTextParticleHalf) << text;
  }
}

TEST(FramePlan, BufferGrowsAtOnceAndShrinksAfter180Frames) {
  EXPECT_EQ(wanted_rect({256, 128, 768, 768}, 1920, 1080), (PixelRect{0, 0, 1024, 1024}));
  EXPECT_EQ(wanted_rect({1792, 1024, 1920, 1080}, 1920, 1080), (PixelRect{1536, 768, 1920, 1080}));

  FrameState state;
  TileGrid corner = new_grid(1920, 1080);
  mark(corner, 10, 10, 20, 20);
  update_buffer_rect(state, corner);  // no rectangle yet: the wanted one
  EXPECT_EQ(state.buffer, (PixelRect{0, 0, 256, 256}));

  TileGrid both = corner;
  mark(both, 400, 300, 410, 310);
  update_buffer_rect(state, both);  // union of current and wanted
  EXPECT_EQ(state.buffer, (PixelRect{0, 0, 768, 512}));

  TileGrid far = new_grid(1920, 1080);
  mark(far, 1900, 1000, 1910, 1010);
  update_buffer_rect(state, far);  // the union would be more than 3x the wanted: jump
  EXPECT_EQ(state.buffer, (PixelRect{1536, 768, 1920, 1080}));

  state.buffer = PixelRect{0, 0, 1920, 1080};
  for (int i = 1; i < kShrinkFrames; ++i) {
    update_buffer_rect(state, corner);
    ASSERT_EQ(state.buffer, (PixelRect{0, 0, 1920, 1080})) << i;
  }
  update_buffer_rect(state, corner);
  EXPECT_EQ(state.buffer, (PixelRect{0, 0, 256, 256}));
  EXPECT_EQ(state.shrink_count, 0);

  // Nothing marked leaves it alone.
  update_buffer_rect(state, new_grid(1920, 1080));
  EXPECT_EQ(state.buffer, (PixelRect{0, 0, 256, 256}));
}

TEST(FramePlan, ClearsLastAndThisFramesTilesInBufferPixels) {
  Crew crew;
  crew.buddies.push_back(default_size_buddy(0, 300.0, 700.0));
  RenderEntries re;
  sync_entries(re, crew);
  Frames f;
  f.look.glow = true;
  f.look.glow_power = 1.5;
  ASSERT_TRUE(f.frame(crew, re, {}));
  ASSERT_FALSE(f.frame(crew, re, {}, 0.5));  // nothing changed yet: skipped
  crew.buddies[0].motion.x = 310.0;
  (void)update_render_entries(re, crew, {}, EntryTickInput{});
  // The first planned rectangle replaces the whole-overlay buffer: everything is cleared.
  ASSERT_TRUE(f.frame(crew, re, {}));
  EXPECT_TRUE(f.last.clear_all);
  const PixelRect buffer = f.last.buffer;
  EXPECT_EQ(buffer, (PixelRect{0, 256, 768, 1024}));
  EXPECT_EQ(f.last.constants.origin.y, 256.0f);
  EXPECT_EQ(f.last.constants.screen.x, 768.0f);
  EXPECT_EQ(f.last.constants.glow, 1.5f);

  crew.buddies[0].motion.x = 320.0;
  (void)update_render_entries(re, crew, {}, EntryTickInput{});
  ASSERT_TRUE(f.frame(crew, re, {}));
  EXPECT_FALSE(f.last.clear_all);
  ASSERT_EQ(f.last.clears.size(), 1u);
  // Box x 104..536, y 439..871 (and 94..526 last frame): tiles 0-4 by 3-6, shifted by the
  // buffer's top.
  EXPECT_EQ(f.last.clears[0], (PixelRect{0, 128, 640, 640}));
}

TEST(RenderEntries, SpringKicksTrailAndSleepMarks) {
  Crew crew;
  crew.buddies.push_back(default_size_buddy(0, 500.0, 800.0));
  RenderEntries re;
  EntryTickInput in;
  in.overlay_left = 100.0;
  in.overlay_top = 50.0;

  RenderRequests landing;
  landing.squash_kicks.push_back({0, 11.0});
  (void)update_render_entries(re, crew, landing, in);
  const RenderEntry& e = re.entries.at(0);
  EXPECT_LT(e.squash, 0.9);  // pressed flat on landing
  for (int i = 0; i < 120; ++i) (void)update_render_entries(re, crew, {}, in);
  EXPECT_NEAR(e.squash, 1.0, 0.03);  // and back to breathing

  // Taking off from the ground stretches; already falling does not.
  crew.buddies[0].motion.mode = BuddyMode::fall;
  crew.buddies[0].motion.vy = -100.0;
  const double before = e.squash_v;
  (void)update_render_entries(re, crew, {}, in);
  EXPECT_GT(e.squash_v, before + 3.0);

  // Trail puffs only for a real move, with the setting on, in overlay pixels.
  in.look.trail = 1;
  crew.buddies[0].motion.x += 3.0;  // 0.33 cells: too small
  EXPECT_TRUE(update_render_entries(re, crew, {}, in).trail_puffs.empty());
  crew.buddies[0].motion.x += 4.0;
  const EntryTickOutput moved = update_render_entries(re, crew, {}, in);
  ASSERT_EQ(moved.trail_puffs.size(), 1u);
  EXPECT_EQ(moved.trail_puffs[0].x, 407.0);
  EXPECT_EQ(moved.trail_puffs[0].y, 732.0);

  // One sleep mark every 1.8 s.
  crew.buddies[0].motion.mode = BuddyMode::sleep;
  int marks = 0;
  for (int i = 0; i < 240; ++i) {
    in.now = 10.0 + i / 60.0;
    const EntryTickOutput out = update_render_entries(re, crew, {}, in);
    if (!out.sleep_marks.empty()) {
      ++marks;
      EXPECT_EQ(out.sleep_marks[0].x, 407.0 + 54.0);
      EXPECT_EQ(out.sleep_marks[0].y, 660.0);
    }
  }
  EXPECT_EQ(marks, 3);  // at 10.0, 11.8, 13.6

  // A non-finite kick cannot poison the spring.
  RenderRequests bad;
  bad.squash_kicks.push_back({0, std::nan("")});
  (void)update_render_entries(re, crew, bad, in);
  EXPECT_TRUE(std::isfinite(e.squash));
}

TEST(RenderEntries, BurstScattersStaysAboveTheFloorAndReforms) {
  Crew crew;
  Buddy b = default_size_buddy(0, 500.0, 800.0);
  b.motion.mode = BuddyMode::act;
  b.mind.act = Act::explode;
  crew.buddies.push_back(b);
  RenderEntries re;
  EntryTickInput in;
  in.now = 5.0;
  RenderRequests boom;
  boom.bursts.push_back({0, 2.6});
  (void)update_render_entries(re, crew, boom, in);
  const RenderEntry& e = re.entries.at(0);
  ASSERT_TRUE(e.burst);

  int filled = 0;
  for (const auto& row : frame_cells(0))
    for (const std::uint8_t c : row) filled += c != kCellClear;
  EXPECT_EQ(static_cast<int>(e.burst->pixels.size()), filled);
  EXPECT_DOUBLE_EQ(e.burst->ends, 5.0 + 2.4);

  std::vector<BuddyInstance> list;
  build_instances(list, crew, re, InstanceParams{});
  EXPECT_TRUE(list.empty());  // drawn as loose pixels instead

  for (int i = 1; i < 100; ++i) {
    in.now = 5.0 + i / 60.0;
    (void)update_render_entries(re, crew, {}, in);
    ASSERT_TRUE(e.burst);
    for (const LoosePixel& p : e.burst->pixels) ASSERT_LE(p.y, 800.0 - 9.0 + 1e-9);
  }
  // In the last stretch every pixel is pulled home.
  in.now = 7.39;
  (void)update_render_entries(re, crew, {}, in);
  for (const LoosePixel& p : e.burst->pixels) {
    EXPECT_NEAR(p.x, home_x(crew.buddies[0], p, 0.0), 1.0);
    EXPECT_NEAR(p.y, home_y(crew.buddies[0], p, 0.0), 1.0);
  }
  const double v = e.squash_v;
  in.now = 7.41;
  (void)update_render_entries(re, crew, {}, in);
  EXPECT_FALSE(e.burst);
  EXPECT_LT(e.squash_v, v - 4.0);
}

}  // namespace
}  // namespace perchkin
