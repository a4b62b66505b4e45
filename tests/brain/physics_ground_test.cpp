// Standing on supports, walking, chasing, leaps, hops and carrying.
#include "brain/physics.h"
#include "physics_world.h"

#include <gtest/gtest.h>

#include <cmath>

namespace perchkin {
namespace {

using test::floor_world;
using test::PhysicsWorld;

TEST(PhysicsSupport, DraggedWindowCarriesItsBuddyButAResizedOneDropsIt) {
  PhysicsWorld w;
  w.add_surface(0, 0, 1920, 1080);
  w.add_surface(42, 200, 600, 400, SurfaceKind::window);
  const Support on = w.surfaces[1];
  Buddy& b = w.add_buddy(250, 400, 2.0, &on);
  w.surfaces[1].left += 100;
  w.surfaces[1].right += 100;
  w.surfaces[1].top = 380;
  EXPECT_EQ(w.tick()[0], MotionOutcome::none);
  EXPECT_DOUBLE_EQ(b.motion.x, 350.0);
  EXPECT_DOUBLE_EQ(b.motion.y, 380.0);
  EXPECT_DOUBLE_EQ(b.motion.support->left, 300.0);

  // Moved another 100 px and made wider: not carried, and x is now off the ledge.
  w.surfaces[1].left += 100;
  w.surfaces[1].right += 150;
  EXPECT_EQ(w.tick()[0], MotionOutcome::started_falling);
  EXPECT_EQ(b.motion.mode, BuddyMode::fall);
  EXPECT_FALSE(b.motion.support);
  EXPECT_DOUBLE_EQ(b.motion.x, 350.0);
  EXPECT_EQ(b.motion.vx, 0.0);
  EXPECT_DOUBLE_EQ(b.motion.air_drag, 3.0);

  // Resized in place, with the buddy's spot still on it: it falls all the same.
  PhysicsWorld r;
  r.add_surface(42, 200, 600, 400, SurfaceKind::window);
  const Support ledge = r.surfaces[0];
  Buddy& c = r.add_buddy(250, 400, 2.0, &ledge);
  r.surfaces[0].right += 40;
  EXPECT_EQ(r.tick()[0], MotionOutcome::started_falling);
  EXPECT_EQ(c.motion.mode, BuddyMode::fall);
  EXPECT_DOUBLE_EQ(c.motion.x, 250.0);
}

TEST(PhysicsSupport, VanishedOrRekindedSurfaceDropsTheBuddy) {
  PhysicsWorld w;
  w.add_surface(7, 100, 500, 300, SurfaceKind::window);
  const Support on = w.surfaces[0];
  Buddy& b = w.add_buddy(300, 300, 2.0, &on);
  b.motion.mode = BuddyMode::sleep;
  w.surfaces.clear();
  EXPECT_EQ(w.tick()[0], MotionOutcome::started_falling);
  // A drawn platform whose id equals a buddy's complemented id is not that buddy.
  PhysicsWorld v;
  v.add_surface(buddy_platform_id(1), 0, 1000, 500, SurfaceKind::drawn);
  v.add_buddy(100, 1000, 1.0);
  Support fake;
  fake.id = buddy_platform_id(1);
  fake.kind = SurfaceKind::buddy;
  fake.left = 0;
  fake.right = 1000;
  fake.top = 500;
  Buddy& rider = v.add_buddy(300, 500, 1.0, &fake);
  EXPECT_EQ(v.tick()[1], MotionOutcome::started_falling);
  (void)rider;
}

TEST(PhysicsSupport, NoTwoBuddyStandingLoops) {
  PhysicsWorld w = floor_world();
  const Support floor = w.surfaces[0];
  w.add_buddy(500, 1000, 2.0, &floor);  // 0 stands on the floor
  w.build();
  Support on_zero = *find_platform(w.view, buddy_platform_id(0), SurfaceKind::buddy);
  Buddy& one = w.add_buddy(500, on_zero.top, 2.0, &on_zero);  // 1 rides 0
  (void)one;
  w.build();
  EXPECT_FALSE(may_stand_on(0, buddy_platform_id(1), SurfaceKind::buddy, w.view));
  EXPECT_FALSE(may_stand_on(0, buddy_platform_id(0), SurfaceKind::buddy, w.view));
  EXPECT_TRUE(may_stand_on(1, buddy_platform_id(0), SurfaceKind::buddy, w.view));
  EXPECT_TRUE(may_stand_on(0, 0, SurfaceKind::floor, w.view));

  // Buddy 0 drops from above its own rider: it passes the rider's back and lands on the floor.
  Buddy& zero = w.buddy(0);
  zero.motion.support.reset();
  zero.motion.mode = BuddyMode::fall;
  zero.motion.y = on_zero.top - 40.0;
  for (int i = 0; i < 120 && !zero.motion.support; ++i) {
    w.build();
    w.buddy(1).mind.now = w.now;
    step_motion(zero, w.view);  // the rider is left standing where it was
  }
  ASSERT_TRUE(zero.motion.support);
  EXPECT_EQ(zero.motion.support->kind, SurfaceKind::floor);
}

TEST(PhysicsSupport, BuddyPlatformsFollowTheCarrierPose) {
  PhysicsWorld w = floor_world();
  const Support floor = w.surfaces[0];
  Buddy& a = w.add_buddy(500, 1000, 3.0, &floor);
  Buddy& s = w.add_buddy(900, 1000, 3.0, &floor);
  s.motion.mode = BuddyMode::sit;
  Buddy& ceiling = w.add_buddy(1200, 30, 3.0);
  ceiling.motion.mode = BuddyMode::idle;
  ceiling.motion.support = Support{kCeilingId, 24, 1896, 30, SurfaceKind::ceiling, {}};
  w.add_buddy(1400, 300, 3.0);  // airborne: not a platform
  w.build();
  const Support* pa = find_platform(w.view, buddy_platform_id(a.id), SurfaceKind::buddy);
  ASSERT_TRUE(pa);
  EXPECT_DOUBLE_EQ(pa->left, 482.0);
  EXPECT_DOUBLE_EQ(pa->right, 518.0);
  EXPECT_DOUBLE_EQ(pa->top, 976.0);
  EXPECT_DOUBLE_EQ(find_platform(w.view, buddy_platform_id(s.id), SurfaceKind::buddy)->top, 982.0);
  EXPECT_FALSE(find_platform(w.view, buddy_platform_id(2), SurfaceKind::buddy));
  EXPECT_FALSE(find_platform(w.view, buddy_platform_id(3), SurfaceKind::buddy));
  EXPECT_EQ(w.view.grounded_by_x.size(), 3u);

  WorldSettings off;
  off.collide = false;
  w.set_world(off);
  w.build();
  EXPECT_FALSE(find_platform(w.view, buddy_platform_id(a.id), SurfaceKind::buddy));
}

TEST(PhysicsWalk, ReachesTheTargetExactlyOrWalksOffTheEdge) {
  PhysicsWorld w;
  w.add_surface(0, 100, 700, 1000);
  const Support floor = w.surfaces[0];
  Buddy& b = w.add_buddy(300, 1000, 2.0, &floor);
  b.motion.mode = BuddyMode::walk;
  b.mind.walk_target = 330.0;  // 32 px/s: 0.5333 px per step
  int steps = 0;
  MotionOutcome out = MotionOutcome::none;
  while (out == MotionOutcome::none && steps++ < 200) out = w.tick()[0];
  EXPECT_EQ(out, MotionOutcome::walk_stopped);
  EXPECT_EQ(steps, 57);
  EXPECT_EQ(b.motion.x, 330.0);
  EXPECT_EQ(b.motion.mode, BuddyMode::idle);
  EXPECT_FALSE(b.mind.walk_target);

  b.motion.mode = BuddyMode::walk;
  b.mind.walk_target = 50.0;  // beyond the left end of the ledge
  b.motion.x = 100.2;
  EXPECT_EQ(w.tick()[0], MotionOutcome::started_falling);
  EXPECT_EQ(b.motion.mode, BuddyMode::fall);
  EXPECT_EQ(b.motion.facing, -1);
  EXPECT_DOUBLE_EQ(b.motion.vx, -0.6 * 32.0);
  EXPECT_EQ(b.motion.vy, 0.0);
  EXPECT_EQ(b.mind.walk_target, 50.0);  // walking on after the landing
}

TEST(PhysicsWalk, StopsAtTheBuddyAheadOnTheSameSupport) {
  PhysicsWorld w = floor_world();
  const Support floor = w.surfaces[0];
  Buddy& b = w.add_buddy(300, 1000, 2.0, &floor);
  w.add_buddy(337, 1000, 2.0, &floor);  // free distance 37 - 36 = 1 px
  b.motion.mode = BuddyMode::walk;
  b.mind.walk_target = 800.0;
  w.build();
  const BuddySummary* blocker = nullptr;
  EXPECT_DOUBLE_EQ(blocker_distance(b, w.view, &blocker), 1.0);
  ASSERT_TRUE(blocker);
  EXPECT_EQ(blocker->id, 1u);
  b.motion.facing = -1;
  EXPECT_EQ(blocker_distance(b, w.view, &blocker), std::numeric_limits<double>::infinity());
  EXPECT_FALSE(blocker);
  b.motion.facing = 1;

  w.tick();  // 0.533 px
  EXPECT_EQ(w.tick()[0], MotionOutcome::walk_stopped);
  EXPECT_DOUBLE_EQ(b.motion.x, 301.0);
}

TEST(PhysicsChase, EndsWhenTheWindowCloses) {
  PhysicsWorld w = floor_world();
  const Support floor = w.surfaces[0];
  Buddy& b = w.add_buddy(300, 1000, 2.0, &floor);
  b.motion.mode = BuddyMode::chase;
  b.mind.chase_until = 0.5;
  b.mind.partner = 7;  // gone: it chases the cursor
  w.cursor_x = 900;
  w.cursor_y = 1000;
  for (int i = 0; i < 29; ++i) EXPECT_EQ(w.tick()[0], MotionOutcome::none);
  EXPECT_NEAR(b.motion.x, 300.0 + 29 * 76.0 / 60.0, 1e-9);
  int more = 0;
  while (w.tick()[0] != MotionOutcome::chase_ended && more < 5) ++more;
  EXPECT_LE(more, 2);
  EXPECT_EQ(b.motion.mode, BuddyMode::idle);
  EXPECT_FALSE(b.mind.partner);
  EXPECT_EQ(b.mind.chase_until, 0.0);
}

TEST(PhysicsChase, WaitsUntilTheWindowOpens) {
  PhysicsWorld w = floor_world();
  const Support floor = w.surfaces[0];
  Buddy& b = w.add_buddy(300, 1000, 2.0, &floor);
  b.motion.facing = 1;
  b.motion.mode = BuddyMode::chase;
  b.mind.chase_from = 0.79;  // past the 47th step, before the 48th
  b.mind.chase_until = 10.0;
  w.cursor_x = 100;  // to the left, on the floor
  w.cursor_y = 1000;
  for (int i = 0; i < 48; ++i) {
    EXPECT_EQ(w.tick()[0], MotionOutcome::none);
    EXPECT_EQ(b.motion.x, 300.0) << "step " << i;
  }
  EXPECT_EQ(b.motion.mode, BuddyMode::chase);
  EXPECT_EQ(b.motion.facing, -1);  // it turns to the target while it waits
  w.tick();
  EXPECT_LT(b.motion.x, 300.0);
}

TEST(PhysicsChase, RunningOffTheEdgeKeepsTheFullChasePace) {
  // max_speed and negative friction change the chase speed, not the speed off the edge.
  for (const double friction : {1.0, -0.5}) {
    PhysicsWorld w;
    w.add_surface(0, 0, 700, 1000);
    WorldSettings s;
    s.speed = 1.5;
    s.max_speed = 20.0;
    s.friction = friction;
    w.set_world(s);
    const Support ledge = w.surfaces[0];
    Buddy& b = w.add_buddy(699.9, 1000, 2.0, &ledge);
    b.motion.mode = BuddyMode::chase;
    b.mind.chase_until = 10.0;
    w.cursor_x = 900;
    w.cursor_y = 1000;
    EXPECT_EQ(w.tick()[0], MotionOutcome::started_falling) << friction;
    EXPECT_DOUBLE_EQ(b.motion.vx, 0.6 * 38.0 * 1.5 * 2.0) << friction;
  }
}

TEST(PhysicsChase, LeapsOverABlockerAndUpAtTheTarget) {
  PhysicsWorld w = floor_world();
  const Support floor = w.surfaces[0];
  Buddy& b = w.add_buddy(300, 1000, 2.0, &floor);
  w.add_buddy(336.5, 1000, 2.0, &floor);
  b.motion.mode = BuddyMode::chase;
  b.mind.chase_until = 10;
  w.cursor_x = 900;
  w.cursor_y = 1000;
  w.tick();
  EXPECT_EQ(b.motion.mode, BuddyMode::fall);
  EXPECT_DOUBLE_EQ(b.mind.hop_ready, 1.2);
  EXPECT_GT(b.motion.vx, 0.0);
  EXPECT_EQ(test::count_events<DustEvent>(b), 1u);

  PhysicsWorld up = floor_world();
  const Support f2 = up.surfaces[0];
  Buddy& c = up.add_buddy(300, 1000, 2.0, &f2);
  c.motion.mode = BuddyMode::chase;
  c.mind.chase_until = 10;
  up.cursor_x = 330;
  up.cursor_y = 900;  // 50 units above the feet
  up.tick();
  EXPECT_EQ(c.motion.mode, BuddyMode::fall);
  EXPECT_LT(c.motion.vy, 0.0);
}

TEST(PhysicsLeap, PathPassesOverTheTarget) {
  for (const double gravity : {1.0, 3.0, -1.0}) {
    PhysicsWorld w;
    w.right = 1e6;
    WorldSettings s;
    s.gravity = gravity;
    s.max_speed = 50000;
    w.set_world(s);
    Buddy& b = w.add_buddy(300, 1000, 2.0);
    leap_to(b, 700, 800);
    EXPECT_EQ(b.motion.facing, 1);
    EXPECT_EQ(b.motion.air_drag, 0.0);
    double best = 1e9;
    for (int i = 0; i < 400 && b.motion.x < 700; ++i) {
      w.build();
      step_motion(b, w.view);
      if (gravity > 0.0) best = std::min(best, std::hypot(b.motion.x - 700, b.motion.y - 800));
    }
    // The step integrates velocity first, so the path runs a little below the ideal arc.
    if (gravity > 0.0) {
      EXPECT_LT(best, 12.0) << gravity;
    }
  }
}

TEST(PhysicsHop, LandsOnItsTargetOrFalls) {
  PhysicsWorld w = floor_world();
  w.add_surface(9, 400, 800, 700, SurfaceKind::window);
  const Support floor = w.surfaces[0];
  Buddy& b = w.add_buddy(300, 1000, 2.0, &floor);
  hop(b, 500, 700, 44, 0.5, 360, w.surfaces[1]);
  EXPECT_EQ(b.motion.mode, BuddyMode::hop);
  EXPECT_FALSE(b.motion.support);
  MotionOutcome out = MotionOutcome::none;
  int steps = 0;
  while (out == MotionOutcome::none && steps++ < 100) out = w.tick()[0];
  EXPECT_EQ(out, MotionOutcome::hop_landed);
  EXPECT_EQ(steps, 30);
  EXPECT_EQ(b.motion.support->id, 9);
  EXPECT_DOUBLE_EQ(b.motion.x, 500);
  EXPECT_DOUBLE_EQ(b.motion.y, 700);
  EXPECT_EQ(b.motion.angle, 0.0);
  EXPECT_DOUBLE_EQ(b.mind.act_time, 0.3);
  ASSERT_FALSE(b.events.empty());
  ASSERT_TRUE(std::holds_alternative<PuffEvent>(b.events.back()));
  EXPECT_DOUBLE_EQ(std::get<PuffEvent>(b.events.back()).strength, 0.15);

  // The window went away meanwhile: it falls from the arc's end.
  hop(b, 450, 700, 20, 0.2, 0, w.surfaces[1]);
  w.surfaces.pop_back();
  while (b.motion.mode == BuddyMode::hop) w.tick();
  EXPECT_EQ(b.motion.mode, BuddyMode::fall);
  EXPECT_FALSE(b.motion.support);

  // No target: falls at once.
  PhysicsWorld v;
  Buddy& c = v.add_buddy(100, 100, 1.0);
  c.motion.mode = BuddyMode::idle;
  hop(c, 200, 100, 10, 0.5, 0, std::nullopt);
  EXPECT_EQ(c.motion.mode, BuddyMode::fall);
}

TEST(PhysicsHop, OntoABuddyThatMovedLandsInsideItsBack) {
  PhysicsWorld w = floor_world();
  const Support floor = w.surfaces[0];
  w.add_buddy(500, 1000, 2.0, &floor);
  Buddy& h = w.add_buddy(300, 1000, 2.0, &floor);
  w.build();
  hop(h, 500, 984, 40, 0.3, 0, *find_platform(w.view, buddy_platform_id(0), SurfaceKind::buddy));
  w.buddy(0).motion.x = 530;  // the carrier walked on
  while (h.motion.mode == BuddyMode::hop) w.tick();
  ASSERT_TRUE(h.motion.support);
  EXPECT_EQ(h.motion.support->kind, SurfaceKind::buddy);
  EXPECT_DOUBLE_EQ(h.motion.x,
                   518.0);  // clamped into the carrier as the view saw it
}

TEST(PhysicsCarry, SamplesSwingAndRelease) {
  PhysicsWorld w;
  Buddy& b = w.add_buddy(500, 500, 2.0);
  b.motion.mode = BuddyMode::held;
  b.motion.grab_dx = 3;
  b.motion.grab_dy = 12;
  double t = 0.0;
  for (int i = 0; i < 12; ++i, t += kTick) carry_to(b, t, 400 + 5 * i, 300);
  EXPECT_DOUBLE_EQ(b.motion.x, 400 + 55 + 3);
  EXPECT_DOUBLE_EQ(b.motion.y, 312);
  EXPECT_LE(b.motion.pointer_samples.size(), 7u);  // only the last 0.1 s
  EXPECT_NEAR(b.motion.vx, 300.0, 1e-6);
  EXPECT_EQ(b.motion.vy, 0.0);
  // Many samples at one instant neither divide by zero nor pile up.
  for (int i = 0; i < 1000; ++i) carry_to(b, t, 460, 300);
  EXPECT_LE(b.motion.pointer_samples.size(), 64u);
  EXPECT_TRUE(std::isfinite(b.motion.vx));

  b.motion.vx = 300.0;  // 150 units/s to the right: leans to 18 degrees
  b.motion.facing = -1;
  b.motion.angle = 0.0;
  b.motion.spin = 0.0;
  for (int i = 0; i < 600; ++i) step_motion(b, w.view);
  EXPECT_NEAR(b.motion.angle, 18.0, 1e-3);
  EXPECT_EQ(b.motion.facing, 1);
  b.motion.vx = -300.0;
  for (int i = 0; i < 600; ++i) step_motion(b, w.view);
  EXPECT_NEAR(b.motion.angle, 342.0, 1e-3);

  b.mind.now = 4.9;
  step_motion(b, w.view);
  EXPECT_FALSE(b.mind.hold_line_said);
  b.mind.now = 5.0;
  step_motion(b, w.view);
  EXPECT_TRUE(b.mind.hold_line_said);
}

TEST(PhysicsShift, StaysInsideTheSupportOrTheBounds) {
  PhysicsWorld w;
  w.add_surface(0, 100, 500, 1000);
  const Support floor = w.surfaces[0];
  Buddy& b = w.add_buddy(480, 1000, 2.0, &floor);
  EXPECT_DOUBLE_EQ(shift_x(b, 50, 0, 1920), 20.0);
  EXPECT_DOUBLE_EQ(b.motion.x, 500.0);
  b.motion.x = 501;  // a little past the edge: a push inwards still works, outwards doesn't
  EXPECT_DOUBLE_EQ(shift_x(b, 5, 0, 1920), 0.0);
  EXPECT_DOUBLE_EQ(shift_x(b, -5, 0, 1920), -5.0);
  b.motion.support.reset();
  b.motion.mode = BuddyMode::fall;
  b.motion.x = 20;
  EXPECT_DOUBLE_EQ(shift_x(b, -10, 0, 1920), -4.0);
  b.motion.mode = BuddyMode::held;
  EXPECT_EQ(shift_x(b, 10, 0, 1920), 0.0);
  EXPECT_EQ(shift_x(b, std::nan(""), 0, 1920), 0.0);
}

}  // namespace
}  // namespace perchkin
