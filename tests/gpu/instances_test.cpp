#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "gpu/frame_plan.h"
#include "gpu/instances.h"
#include "gpu/render_entries.h"

namespace perchkin {
namespace {

Buddy buddy_at(std::uint32_t id, double x, double y, BuddyMode mode = BuddyMode::idle) {
  Buddy b;
  b.id = id;
  b.color = "blue";
  b.motion.x = x;
  b.motion.y = y;
  b.motion.unit = 9.0;
  b.motion.mode = mode;
  b.mind.clock = 1.0;  // clear of the idle blink
  Support floor;
  floor.kind = SurfaceKind::floor;
  b.motion.support = floor;
  return b;
}

RenderEntry entry_for(const Buddy& b) {
  RenderEntry e;
  e.id = b.id;
  e.prev_x = e.x = b.motion.x;
  e.prev_y = e.y = b.motion.y;
  return e;
}

constexpr float kRad = 0.017453292f;

TEST(InstanceCapacity, GrowsToTheNextPowerOfTwoAndNeverShrinks) {
  EXPECT_EQ(instance_capacity(256, 0), 256u);
  EXPECT_EQ(instance_capacity(256, 256), 256u);
  EXPECT_EQ(instance_capacity(256, 257), 512u);
  EXPECT_EQ(instance_capacity(512, 513), 1024u);
  EXPECT_EQ(instance_capacity(256, 513), 1024u);
  EXPECT_EQ(instance_capacity(1024, 3), 1024u);

  // Through the frame plan: the backend is told when to replace the buffer.
  FrameState state;
  const LookSettings look;
  const SceneActivity quiet;
  for (const auto& [count, capacity, grew] :
       std::vector<std::tuple<std::size_t, std::size_t, bool>>{
           {10, 256, false}, {257, 512, true}, {300, 512, false}, {513, 1024, true}, {5, 1024, false}}) {
    std::vector<BuddyInstance> list(count);
    for (std::size_t i = 0; i < count; ++i) list[i].pos.x = static_cast<float>(i % 100);
    list[0].pos.y = static_cast<float>(count);  // differs from the last frame, so it draws
    const TileGrid marks = new_grid(1920, 1080);
    const FramePlan plan = plan_frame(state, list, marks, quiet, look);
    ASSERT_TRUE(plan.draw);
    EXPECT_EQ(plan.capacity, capacity) << count;
    EXPECT_EQ(plan.capacity_grew, grew) << count;
    finish_frame(state, plan, list, marks);
  }
}

TEST(BuildInstances, InterpolatesButDrawsATeleportAtItsNewPlace) {
  const Buddy b = buddy_at(0, 1000.0, 500.0, BuddyMode::walk);
  RenderEntry e = entry_for(b);
  InstanceParams p;
  p.alpha = 0.5;
  p.overlay_left = 100.0;
  p.overlay_top = 50.0;

  e.prev_x = 990.0;  // an ordinary step: half way, in overlay pixels, whole numbers
  e.prev_y = 497.0;
  BuddyInstance in = buddy_instance(b, e, p);
  EXPECT_EQ(in.pos.x, 895.0f);
  EXPECT_EQ(in.pos.y, 449.0f);  // 448.5 rounds away from zero

  e.prev_x = 1000.0 - 1801.0;  // more than 200 cells away in one tick
  e.prev_y = 500.0;
  in = buddy_instance(b, e, p);
  EXPECT_EQ(in.pos.x, 900.0f);
  EXPECT_EQ(in.pos.y, 450.0f);

  // A held buddy follows the hand exactly.
  Buddy held = b;
  held.motion.mode = BuddyMode::held;
  e.prev_x = 990.0;
  in = buddy_instance(held, e, p);
  EXPECT_EQ(in.pos.x, 900.0f);
}

TEST(BuildInstances, CeilingBuddyIsTurnedOverMirroredTheOtherWayWithoutShadow) {
  Buddy b = buddy_at(0, 300.0, 40.0);
  b.motion.support->kind = SurfaceKind::ceiling;
  const RenderEntry e = entry_for(b);
  const InstanceParams p;
  for (const int facing : {1, -1}) {
    b.motion.facing = facing;
    const BuddyInstance in = buddy_instance(b, e, p);
    EXPECT_FLOAT_EQ(in.angle, 180.0f * kRad);
    EXPECT_EQ(in.flip, facing == 1 ? 1.0f : 0.0f);
    EXPECT_EQ(in.shadow, 0.0f);
    EXPECT_EQ(in.sy, 1.0f);  // turned, so not squashed
  }
  // Hopping up to the ceiling already counts as upside down; on the floor it does not.
  b.motion.support->kind = SurfaceKind::floor;
  b.motion.facing = 1;
  EXPECT_EQ(buddy_instance(b, e, p).flip, 0.0f);
  EXPECT_EQ(buddy_instance(b, e, p).shadow, 1.0f);
  b.motion.mode = BuddyMode::hop;
  Support ceiling;
  ceiling.kind = SurfaceKind::ceiling;
  b.motion.hop.target = ceiling;
  EXPECT_FLOAT_EQ(buddy_instance(b, e, p).angle, 180.0f * kRad);
}

TEST(BuildInstances, TiltSnapsTo15DegreesAndOnlyUnturnedBuddiesSquash) {
  Buddy b = buddy_at(0, 300.0, 400.0);
  RenderEntry e = entry_for(b);
  e.squash = 0.83;
  const InstanceParams p;

  b.motion.angle = 10.0;
  BuddyInstance in = buddy_instance(b, e, p);
  EXPECT_FLOAT_EQ(in.angle, 15.0f * kRad);
  EXPECT_EQ(in.sy, 1.0f);

  b.motion.angle = 7.0;
  in = buddy_instance(b, e, p);
  EXPECT_EQ(in.angle, 0.0f);
  EXPECT_FLOAT_EQ(in.sy, 0.84f);

  EXPECT_EQ(snapped_degrees(-7.5), 345);
  EXPECT_EQ(snapped_degrees(720.0 + 352.0), 345);
  EXPECT_EQ(snapped_degrees(std::nan("")), 0);
  EXPECT_FLOAT_EQ(snapped_squash(0.3), 0.6f);
  EXPECT_FLOAT_EQ(snapped_squash(1.55), 1.4f);
  EXPECT_EQ(snapped_squash(std::nan("")), 1.0f);
}

TEST(BuildInstances, CharredBuddyIgnoresTheLook) {
  Buddy b = buddy_at(0, 300.0, 400.0);
  b.mind.now = 10.0;
  b.mind.hot_until = 12.0;
  LookSettings look;
  look.custom = true;
  look.color = 0xFFFFFF;
  look.color2 = 0x00FF00;
  look.pattern = 3;
  InstanceParams p;
  p.look = look;
  const BuddyInstance in = buddy_instance(b, entry_for(b), p);
  EXPECT_EQ(in.tint.r, kCharredTint.r);
  EXPECT_EQ(in.tint.g, kCharredTint.g);
  EXPECT_EQ(in.tint.b, kCharredTint.b);
  EXPECT_EQ(in.eye, 1.0f);
  EXPECT_EQ(in.pattern, kPatternSolid);

  // Cooled down: the shared look applies again, dark eyes on a light body.
  b.mind.hot_until = 9.0;
  const BuddyInstance cool = buddy_instance(b, entry_for(b), p);
  EXPECT_EQ(cool.tint.r, 1.0f);
  EXPECT_EQ(cool.tint2.g, 1.0f);
  EXPECT_FLOAT_EQ(cool.eye, 26.0f / 255.0f);
  EXPECT_EQ(cool.pattern, kPatternSpots);

  // Without the shared look: the buddy's own colour, a darker second colour, light eyes on black.
  p.look.custom = false;
  b.color = "black";
  const BuddyInstance own = buddy_instance(b, entry_for(b), p);
  EXPECT_FLOAT_EQ(own.tint.r, 0x3A / 255.0f);
  EXPECT_FLOAT_EQ(own.tint2.r, 0x3A / 255.0f * 0.7f);
  EXPECT_EQ(own.eye, 1.0f);
}

TEST(BuildInstances, CarriedBuddyIsDrawnLastAndBurstBuddiesAreLeftOut) {
  Crew crew;
  RenderEntries re;
  for (std::uint32_t i = 0; i < 4; ++i) crew.buddies.push_back(buddy_at(i, 100.0 * (i + 1), 500.0));
  crew.buddies[1].motion.mode = BuddyMode::held;
  crew.buddies[2].motion.mode = BuddyMode::held;  // only the first held one moves
  sync_entries(re, crew);
  std::vector<BuddyInstance> list;
  build_instances(list, crew, re, InstanceParams{});
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[3].pos.x, 200.0f);
  EXPECT_EQ(list[1].pos.x, 400.0f);
  EXPECT_EQ(list[2].pos.x, 300.0f);

  find_entry(re, 0)->burst = Burst{};
  crew.buddies.push_back(buddy_at(9, 50.0, 50.0));  // no entry yet
  build_instances(list, crew, re, InstanceParams{});
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list.back().pos.x, 200.0f);
}

TEST(FrameTable, ModesActsAndAlternation) {
  EXPECT_EQ(frame_for(BuddyMode::idle, Act::none, 1.0, false), 0);
  EXPECT_EQ(frame_for(BuddyMode::idle, Act::none, 3.25, false), 1);  // blink
  EXPECT_EQ(frame_for(BuddyMode::idle, Act::none, 1.0, true), 2);
  EXPECT_EQ(frame_for(BuddyMode::walk, Act::none, 0.1, false), 3);
  EXPECT_EQ(frame_for(BuddyMode::walk, Act::none, 0.13, false), 4);
  EXPECT_EQ(frame_for(BuddyMode::chase, Act::none, 0.09, false), 4);
  EXPECT_EQ(frame_for(BuddyMode::act, Act::wave, 0.25, false), 10);
  EXPECT_EQ(frame_for(BuddyMode::act, Act::celebrate, 0.0, false), 11);
  EXPECT_EQ(frame_for(BuddyMode::act, Act::angry, 0.13, false), 22);
  EXPECT_EQ(frame_for(BuddyMode::act, Act::explode, 5.0, false), 0);
  EXPECT_EQ(frame_for(BuddyMode::held, Act::none, 0.2, false), 18);
  EXPECT_EQ(frame_for(BuddyMode::drawing, Act::none, 0.0, false), 19);
  // Huge or broken clocks still give a frame of the pair.
  EXPECT_EQ(frame_for(BuddyMode::walk, Act::none, 1e300, false), 3);
  EXPECT_EQ(frame_for(BuddyMode::walk, Act::none, std::nan(""), false), 3);
  EXPECT_EQ(frame_for(BuddyMode::type, Act::none, -1e300, false), 6);
}

}  // namespace
}  // namespace perchkin
