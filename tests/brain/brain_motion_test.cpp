// The brain together with the real motion: falls, walks, climbs and naps interrupted by a fall.
#include "brain/brain.h"
#include "brain_fixture.h"

#include <gtest/gtest.h>

namespace perchkin {
namespace {

using test::reply_text;
using test::floor_support;
using test::standing_buddy;
using test::tick;
using test::view_with;

void add_surface(WorldView& v, const Support& s) {
  v.platforms.push_back(s);
  v.surface_count = v.platforms.size();
  v.surface_by_id[s.id] = static_cast<std::uint32_t>(v.platforms.size() - 1);
  v.surface_by_x.clear();
  v.surface_x_keys.clear();
  std::vector<std::uint32_t> order;
  for (std::uint32_t i = 0; i < v.platforms.size(); ++i) order.push_back(i);
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return v.platforms[a].left + v.platforms[a].right < v.platforms[b].left + v.platforms[b].right;
  });
  for (std::uint32_t i : order) {
    v.surface_by_x.push_back(i);
    v.surface_x_keys.push_back((v.platforms[i].left + v.platforms[i].right) / 2.0);
    v.max_half_width =
        std::max(v.max_half_width, (v.platforms[i].right - v.platforms[i].left) / 2.0);
  }
}

int ticks_until_grounded(Buddy& b, WorldView& v) {
  for (int i = 0; i < 600; ++i) {
    tick(b, v);
    if (is_grounded(b.motion.mode)) return i + 1;
  }
  return -1;
}

TEST(BrainMotion, AnActAskedForWhileFallingPlaysOnLanding) {
  const Support floor = floor_support();
  WorldView v = view_with(floor);
  Buddy b = standing_buddy(test::seed(1), floor, 500.0);
  tick(b, v);
  b.motion.support.reset();
  b.motion.mode = BuddyMode::fall;
  b.motion.y = 700.0;
  EXPECT_EQ(reply_text(act_command(b, Act::wave, v)), "queued until he lands");
  ASSERT_GT(ticks_until_grounded(b, v), 0);
  EXPECT_DOUBLE_EQ(b.motion.y, floor.top);
  EXPECT_EQ(b.motion.mode, BuddyMode::act);
  EXPECT_EQ(b.mind.act, Act::wave);
  EXPECT_FALSE(b.mind.queued_act);
}

TEST(BrainMotion, APlainFallEndsInASquatThenARest) {
  const Support floor = floor_support();
  WorldView v = view_with(floor);
  Buddy b = standing_buddy(test::seed(2), floor, 500.0);
  b.world.w.energy = 0.25;
  tick(b, v);
  b.motion.support.reset();
  b.motion.mode = BuddyMode::fall;
  b.motion.y = 900.0;
  ASSERT_GT(ticks_until_grounded(b, v), 0);
  EXPECT_EQ(b.mind.act, Act::squat);
  for (int i = 0; i < 12 && b.motion.mode == BuddyMode::act; ++i) tick(b, v);
  EXPECT_EQ(b.motion.mode, BuddyMode::idle);
  EXPECT_GE(b.mind.act_time, 4.0);
  EXPECT_LT(b.mind.act_time, 12.0);
}

TEST(BrainMotion, AWalkEndsInARestScaledByEnergy) {
  const Support floor = floor_support();
  WorldView v = view_with(floor);
  Buddy b = standing_buddy(test::seed(3), floor, 500.0, 2.0);
  b.world.w.energy = 0.25;
  tick(b, v);
  EXPECT_EQ(reply_text(walk_to(b, 560.0, v)), "walking to x=560");
  ASSERT_EQ(b.motion.mode, BuddyMode::walk);
  int steps = 0;
  while (b.motion.mode == BuddyMode::walk && steps < 2000) {
    tick(b, v);
    ++steps;
  }
  EXPECT_DOUBLE_EQ(b.motion.x, 560.0);
  EXPECT_EQ(b.motion.mode, BuddyMode::idle);
  EXPECT_GE(b.mind.act_time, 4.0 - 1.0 / 60.0);
  EXPECT_LT(b.mind.act_time, 12.0);
  // 60 px at 16 units/s of 2 px: just under two seconds.
  EXPECT_NEAR(steps, 60.0 / 32.0 * 60.0, 2.0);
}

TEST(BrainMotion, CuriousBuddiesClimbOntoLedgesWithinReach) {
  const Support floor = floor_support();
  WorldView v = view_with(floor);
  Support shelf;
  shelf.id = 2;
  shelf.left = 560.0;
  shelf.right = 700.0;
  shelf.top = 1000.0;  // 40 units above the feet at unit 2
  shelf.kind = SurfaceKind::window;
  add_surface(v, shelf);
  Buddy b = standing_buddy(test::seed(4), floor, 500.0, 2.0);
  b.world.w.climb = true;
  b.world.w.curiosity = 4.0;  // climbs at every decision
  b.mind.act_time = 0.0;
  tick(b, v);
  ASSERT_EQ(b.motion.mode, BuddyMode::hop);
  EXPECT_EQ(b.motion.facing, 1);
  for (int i = 0; i < 60 && b.motion.mode == BuddyMode::hop; ++i) tick(b, v);
  ASSERT_TRUE(b.motion.support);
  EXPECT_EQ(b.motion.support->id, 2);
  EXPECT_DOUBLE_EQ(b.motion.x, 576.0);  // nearest standing point: left + 8 units
  EXPECT_DOUBLE_EQ(b.motion.y, 1000.0);

  // A ledge 300 units away is out of reach: the buddy does something else.
  Buddy far = standing_buddy(test::seed(4), floor, 1500.0, 2.0);
  far.world.w.climb = true;
  far.world.w.curiosity = 4.0;
  far.mind.act_time = 0.0;
  tick(far, v);
  EXPECT_NE(far.motion.mode, BuddyMode::hop);
}

TEST(BrainMotion, ANapInterruptedByAFallContinuesAfterLanding) {
  const Support floor = floor_support();
  WorldView v = view_with(floor);
  Support window;
  window.id = 5;
  window.left = 400.0;
  window.right = 700.0;
  window.top = 800.0;
  window.kind = SurfaceKind::window;
  add_surface(v, window);
  Buddy b = standing_buddy(test::seed(5), window, 500.0, 2.0);
  b.world.w.sleepy = 9.0;
  tick(b, v);
  b.motion.mode = BuddyMode::sleep;
  b.mind.nap = true;
  b.mind.wake_at = v.now + 30.0;
  const double wake_at = b.mind.wake_at;
  tick(b, v);
  ASSERT_EQ(b.motion.mode, BuddyMode::sleep);

  // The window closes under it.
  WorldView gone = view_with(floor);
  gone.now = v.now;
  tick(b, gone);
  EXPECT_EQ(b.motion.mode, BuddyMode::fall);
  EXPECT_EQ(b.mind.queued_act, Act::sleep);
  ASSERT_GT(ticks_until_grounded(b, gone), 0);
  EXPECT_EQ(b.motion.mode, BuddyMode::sleep);
  EXPECT_TRUE(b.mind.nap);
  EXPECT_DOUBLE_EQ(b.mind.wake_at, wake_at);
  while (b.motion.mode == BuddyMode::sleep && gone.now < wake_at + 1.0) tick(b, gone);
  EXPECT_EQ(b.motion.mode, BuddyMode::idle);
  EXPECT_GE(gone.now, wake_at);
}

TEST(BrainMotion, FirstStepDropsANewBuddyInFromTheTop) {
  const Support floor = floor_support();
  WorldView v = view_with(floor);
  Buddy b;
  b.rng = Xorshift64(test::seed(6));
  b.motion.unit = 3.0;
  b.world = test::calm_world();
  tick(b, v);
  EXPECT_TRUE(b.mind.started);
  EXPECT_GE(b.motion.x, 24.0);
  EXPECT_LE(b.motion.x, 1920.0 - 24.0);
  EXPECT_GT(b.motion.y, 30.0);  // one step of fall from the top edge
  EXPECT_LT(b.motion.y, 31.0);
  EXPECT_EQ(b.motion.mode, BuddyMode::fall);
  ASSERT_GT(ticks_until_grounded(b, v), 0);
  EXPECT_DOUBLE_EQ(b.motion.y, 1080.0);
}

}  // namespace
}  // namespace perchkin
