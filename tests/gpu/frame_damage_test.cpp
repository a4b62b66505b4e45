// Frames with drawings and hazards on a target that keeps its pixels: only what changes is
// cleared and redrawn, until the drawings themselves change.
#include "gpu/frame_damage.h"

#include <gtest/gtest.h>

#include "gpu/frame_world.h"

#include <algorithm>
#include <cmath>

namespace perchkin {
namespace {

struct World : FrameWorld {
  FrameState state;
  PreparedFrame frame;
  DamageState damage;

  World() {
    Buddy b;
    b.id = 0;
    b.motion.x = 300;
    b.motion.y = 1000;
    b.motion.unit = 4.0;
    b.motion.mode = BuddyMode::walk;
    b.mind.clock = 1.0;
    crew.buddies.push_back(b);
    Drawing d;
    d.id = 1;
    d.points = {{1500, 100}, {1700, 200}};
    d.finished = true;
    d.width = 4;
    scene.drawings[1] = d;
    scene.order = {1};
    overlay = {0.0, 0.0, 1920.0, 1080.0};
    clock = 10.0;
  }
  // One drawn frame, its clears narrowed; the buddy walks a little each frame.
  const FramePlan& run() {
    crew.buddies[0].motion.x += 3;
    const FrameInput in = input();
    RenderEntry& e = entries.entries[0];
    e.prev_x = e.x = crew.buddies[0].motion.x;
    e.prev_y = e.y = crew.buddies[0].motion.y;
    prepare_frame(state, in, frame);
    EXPECT_TRUE(frame.plan.draw);
    narrow_clears(damage, in, state, frame);
    finish_prepared(state, frame);
    return frame.plan;
  }
};

bool covers(const std::vector<PixelRect>& rects, int x, int y) {
  for (const PixelRect& r : rects)
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
  return false;
}

TEST(FrameDamage, AFinishedDrawingIsRedrawnOnlyWhenTheDrawingsChange) {
  World w;
  const FramePlan first = w.run();
  EXPECT_TRUE(covers(first.clears, 1600, 150));  // the first frame draws everything
  EXPECT_TRUE(covers(first.clears, 10, 10));

  // The second frame places the buffer, which clears it whole; from then on a frame clears the
  // walking buddy's tiles, not the drawing's or empty ones.
  EXPECT_TRUE(w.run().clear_all);
  const FramePlan next = w.run();
  EXPECT_FALSE(next.clear_all);
  EXPECT_TRUE(covers(next.clears, 300, 990));
  EXPECT_FALSE(covers(next.clears, 1600, 150));
  EXPECT_FALSE(covers(next.clears, 10, 10));

  // A new drawing: everything once, then the buddy's tiles again.
  Drawing d;
  d.id = 2;
  d.points = {{100, 100}, {200, 120}};
  d.finished = true;
  w.scene.drawings[2] = d;
  w.scene.order.push_back(2);
  EXPECT_TRUE(covers(w.run().clears, 1600, 150));
  EXPECT_FALSE(covers(w.run().clears, 1600, 150));
  // Removing one, too: its pixels must go.
  w.scene.drawings.erase(1);
  w.scene.order.pop_front();
  EXPECT_TRUE(covers(w.run().clears, 1600, 150));
}

TEST(FrameDamage, HazardsTypedTextAndLinesInFlightAreRedrawnWhereTheyAre) {
  World w;
  (void)w.run();
  Prop cloud;
  cloud.kind = PropKind::cloud;
  cloud.x = 900;
  cloud.y = 300;
  cloud.size = 160;
  w.effects.props.push_back(cloud);
  TextDrawing t;
  t.text = "hi";
  t.origin = {1200, 700};
  t.box = {40, 30};
  w.scene.texts.push_back(t);
  Drawing ink;
  ink.id = 3;
  ink.points = {{200, 400}, {260, 430}};
  w.scene.drawings[3] = ink;
  w.scene.order.push_back(3);
  (void)w.run();  // the drawings changed: everything
  w.scene.drawings[3].points.push_back({280, 440});
  w.scene.drawings[3].version = 1;
  (void)w.run();
  const FramePlan& plan = w.run();
  ASSERT_FALSE(plan.clear_all);
  EXPECT_TRUE(covers(plan.clears, 900 - 90, 300));  // the cloud's puffs, bobbing
  EXPECT_TRUE(covers(plan.clears, 900 + 90, 300 + 50));
  EXPECT_TRUE(covers(plan.clears, 1210, 710));      // the text being typed
  EXPECT_TRUE(covers(plan.clears, 230, 415));       // the line in flight
  EXPECT_FALSE(covers(plan.clears, 1600, 150));     // the finished line
}

TEST(FrameDamage, TheMenuAndTheSelectionStillRedrawEverything) {
  World w;
  FrameInput in = w.input();
  prepare_frame(w.state, in, w.frame);
  finish_prepared(w.state, w.frame);
  in.draw_menu = [](Canvas&) {};
  prepare_frame(w.state, in, w.frame);
  EXPECT_FALSE(damage_boxes(in, w.frame, w.state.previous).has_value());
  in.draw_menu = nullptr;
  in.draw_selection = [](Canvas&) {};
  prepare_frame(w.state, in, w.frame);
  EXPECT_FALSE(damage_boxes(in, w.frame, w.state.previous).has_value());
}

TEST(FrameDamage, AStillCrewIsRedrawnOnlyWhereItsParticlesMove) {
  World w;
  w.scene.clear();
  w.crew.buddies[0].motion.mode = BuddyMode::sleep;
  Particle z = make_particle(ParticleKind::text, rgba(0x5B6BD6), 900, 500, 0, -40, 2);
  z.text = "Z";
  z.style = TextStyle::label;
  w.effects.particles.push_back(z);
  const auto frame = [&] {
    w.effects.particles[0].y -= 2;
    const FrameInput in = w.input();
    prepare_frame(w.state, in, w.frame);
    narrow_clears(w.damage, in, w.state, w.frame);
    finish_prepared(w.state, w.frame);
    return w.frame.plan;
  };
  for (int i = 0; i < 3; ++i) (void)frame();  // the first frames place the buffer
  const FramePlan plan = frame();
  ASSERT_FALSE(plan.clear_all);
  const auto on_overlay = [&](int x, int y) {
    return covers(plan.clears, x - plan.buffer.left, y - plan.buffer.top);
  };
  EXPECT_TRUE(on_overlay(900, 492));   // where the Z is
  EXPECT_TRUE(on_overlay(900, 505));   // and where it was
  EXPECT_FALSE(on_overlay(900, 440));  // well above it
  EXPECT_FALSE(on_overlay(960, 492));  // beside it: a tile, but not the Z's
  EXPECT_FALSE(on_overlay(300, 990));  // the sleeper itself
  // The sleeper turns over: its own box is redrawn, this frame and the next.
  w.crew.buddies[0].motion.facing = -w.crew.buddies[0].motion.facing;
  EXPECT_TRUE(covers(frame().clears, 300 - plan.buffer.left, 990 - plan.buffer.top));
  EXPECT_TRUE(covers(frame().clears, 300 - plan.buffer.left, 990 - plan.buffer.top));
  EXPECT_FALSE(covers(frame().clears, 300 - plan.buffer.left, 990 - plan.buffer.top));
}

TEST(FrameDamage, ATextMovingLessThanAPixelIsDrawnOnlyWhenItsPixelsMove) {
  World w;
  w.scene.clear();
  w.crew.buddies[0].motion.mode = BuddyMode::sleep;
  Particle z = make_particle(ParticleKind::text, rgba(0x5B6BD6), 900, 500, 0, -40, 2);
  z.text = "z";
  z.style = TextStyle::label;
  w.effects.particles.push_back(z);
  int drawn = 0;
  std::vector<PixelRect> last_clears;
  PixelRect buffer;
  for (int i = 0; i < 20; ++i) {
    w.effects.particles[0].y -= 0.25f;  // a pixel every fourth frame
    const FrameInput in = w.input();
    prepare_frame(w.state, in, w.frame);
    if (!w.frame.plan.draw) continue;
    ++drawn;
    narrow_clears(w.damage, in, w.state, w.frame);
    last_clears = w.frame.plan.clears;
    buffer = w.frame.plan.buffer;
    finish_prepared(w.state, w.frame);
  }
  EXPECT_GE(drawn, 5);
  EXPECT_LE(drawn, 7);  // the first frames, then one for each whole pixel
  // The text as it is now, and as it was where it was drawn before.
  ASSERT_FALSE(w.frame.plan.clear_all);
  EXPECT_TRUE(covers(last_clears, 900 - buffer.left, 496 - buffer.top));
  EXPECT_TRUE(covers(last_clears, 900 - buffer.left, 506 - buffer.top));
}

TEST(FrameDamage, ManyBoxesBecomeAFewRectanglesThatStillCoverThem) {
  std::vector<BoxF> boxes;
  for (int i = 0; i < 300; ++i) {
    const double x = (i * 97) % 1900, y = (i * 61) % 1060;
    boxes.push_back({x, y, x + 12, y + 14});
  }
  boxes.push_back({-50, -50, 5, 5});        // partly off the overlay
  boxes.push_back({5000, 5000, 5100, 5100});  // wholly off it
  const std::vector<PixelRect> rects = damage_rects(boxes, 1920, 1080);
  ASSERT_FALSE(rects.empty());
  EXPECT_LE(rects.size(), kMaxDamageRects);
  for (const BoxF& b : boxes) {
    if (b.left >= 1920) continue;
    EXPECT_TRUE(covers(rects, static_cast<int>(std::max(0.0, b.left)), static_cast<int>(std::max(0.0, b.top))));
    EXPECT_TRUE(covers(rects, static_cast<int>(b.right) - 1, static_cast<int>(b.bottom) - 1));
  }
  for (const PixelRect& r : rects) {
    EXPECT_GE(r.left, 0);
    EXPECT_LE(r.right, 1920);
    EXPECT_LE(r.bottom, 1080);
  }
  // A target that takes fewer gets fewer, still covering every box.
  const std::vector<PixelRect> few = damage_rects(boxes, 1920, 1080, kMaxClearRects);
  ASSERT_FALSE(few.empty());
  EXPECT_LE(few.size(), kMaxClearRects);
  for (const BoxF& b : boxes) {
    if (b.left >= 1920) continue;
    EXPECT_TRUE(covers(few, static_cast<int>(std::max(0.0, b.left)), static_cast<int>(std::max(0.0, b.top))));
  }
  // A few small boxes stay small: cells, not tiles.
  const BoxF one[] = {{100, 100, 110, 110}};
  const std::vector<PixelRect> small = damage_rects(one, 1920, 1080);
  ASSERT_EQ(small.size(), 1u);
  EXPECT_EQ(small[0], (PixelRect{96, 96, 112, 112}));
  const BoxF bad[] = {{0, 0, std::nan(""), 4}};
  const std::vector<PixelRect> all = damage_rects(bad, 1920, 1080);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0], (PixelRect{0, 0, 1920, 1080}));
}

TEST(FrameDamage, OverlappingRectanglesBecomeDisjointOnesCoveringThem) {
  // Bounding boxes of the reduction can cover each other; each pixel must be drawn once. The
  // join of the first two reaches the fifth.
  const std::vector<PixelRect> in = {{0, 0, 100, 100},   {50, 50, 150, 150}, {20, 20, 40, 40},
                                     {0, 200, 10, 210},  {140, 0, 200, 30},  {5, 5, 5, 50},
                                     {120, 60, 130, 70}};
  const std::vector<PixelRect> out = without_overlaps(in);
  EXPECT_LE(out.size(), in.size());
  std::vector<int> got(220 * 220, 0);
  for (const PixelRect& r : out) {
    ASSERT_LT(r.left, r.right);
    ASSERT_LT(r.top, r.bottom);
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) ++got[static_cast<std::size_t>(y * 220 + x)];
  }
  EXPECT_EQ(*std::max_element(got.begin(), got.end()), 1);
  for (const PixelRect& r : in)
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) EXPECT_EQ(got[static_cast<std::size_t>(y * 220 + x)], 1);
  EXPECT_EQ(out, (std::vector<PixelRect>{{0, 0, 200, 150}, {0, 200, 10, 210}}));
  // Rectangles already apart are kept as they are.
  const std::vector<PixelRect> apart = {{0, 0, 10, 10}, {10, 0, 20, 10}, {0, 10, 20, 30}};
  EXPECT_EQ(without_overlaps(apart), apart);
}

}  // namespace
}  // namespace perchkin
