// Free flight, screen edges, landing, bounces and the throw/drop rule.
#include "brain/physics.h"
#include "brain/speech.h"
#include "physics_world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace perchkin {
namespace {

using test::floor_world;
using test::PhysicsWorld;

bool in_table(std::string_view category, const std::string& text) {
  const auto t = line_table(category);
  return std::find(t.begin(), t.end(), text) != t.end();
}

TEST(PhysicsGravity, ZeroGravityFloatsInPlace) {
  PhysicsWorld w;
  w.add_surface(0, 0, 1920, 1080);
  WorldSettings s;
  s.gravity = 0.0;
  w.set_world(s);
  w.add_buddy(500, 400);
  for (int i = 0; i < 600; ++i) w.tick();
  EXPECT_EQ(w.buddy(0).motion.mode, BuddyMode::fall);
  EXPECT_DOUBLE_EQ(w.buddy(0).motion.y, 400.0);
  EXPECT_DOUBLE_EQ(w.buddy(0).motion.x, 500.0);
  EXPECT_FALSE(w.buddy(0).motion.support);
}

TEST(PhysicsGravity, NegativeGravityRisesAndClingsToTheCeiling) {
  PhysicsWorld w;
  w.top = 40.0;
  w.add_surface(0, 0, 1920, 1080);
  WorldSettings s;
  s.gravity = -1.0;
  w.set_world(s);
  w.add_buddy(700, 900, 3.0);
  bool landed = false;
  for (int i = 0; i < 600 && !landed; ++i)
    landed = w.tick()[0] == MotionOutcome::landed;
  ASSERT_TRUE(landed);
  Buddy& b = w.buddy(0);
  ASSERT_TRUE(b.motion.support);
  EXPECT_EQ(b.motion.support->kind, SurfaceKind::ceiling);
  EXPECT_EQ(b.motion.support->id, kCeilingId);
  EXPECT_DOUBLE_EQ(b.motion.y, 40.0 + 30.0);
  EXPECT_DOUBLE_EQ(b.motion.support->left, 24.0);
  EXPECT_DOUBLE_EQ(b.motion.support->right, 1920.0 - 24.0);
  EXPECT_EQ(b.status()["on"], "ceiling");

  // It stays up there while standing; when gravity turns positive it lets go.
  for (int i = 0; i < 60; ++i) EXPECT_EQ(w.tick()[0], MotionOutcome::none);
  EXPECT_EQ(b.motion.support->kind, SurfaceKind::ceiling);
  s.gravity = 1.0;
  w.set_world(s);
  EXPECT_EQ(w.tick()[0], MotionOutcome::started_falling);
  EXPECT_EQ(b.motion.mode, BuddyMode::fall);
}

TEST(PhysicsGravity, TopEdgeBounceUnderNegativeGravityOnlyForFastThrows) {
  PhysicsWorld w;
  WorldSettings s;
  s.gravity = -1.0;
  s.friction = 0.0;
  s.max_speed = 5000.0;
  w.set_world(s);
  Buddy& b = w.add_buddy(500, 25, 1.0);  // head 15 px below the top edge
  b.motion.thrown = true;
  b.motion.vy = -1200.0;  // reaches the edge this step
  w.tick();
  EXPECT_DOUBLE_EQ(b.motion.y, 10.0);
  EXPECT_GT(b.motion.vy, 0.0);  // bounced back down
  EXPECT_EQ(test::count_events<PuffEvent>(b), 1u);
  EXPECT_EQ(test::count_events<DizzyEvent>(b), 1u);

  Buddy& slow = w.add_buddy(900, 10.5, 1.0);
  slow.motion.vy = -60.0;
  w.tick();
  EXPECT_EQ(slow.motion.vy, 0.0);
  ASSERT_TRUE(slow.motion.support);
  EXPECT_EQ(slow.motion.support->kind, SurfaceKind::ceiling);
}

TEST(PhysicsEdges, SideWallsReflectInwardsAndPuffOnHardHits) {
  PhysicsWorld w;
  WorldSettings s;
  s.gravity = 0.0;
  s.friction = 0.0;
  w.set_world(s);
  Buddy& b = w.add_buddy(1900, 500, 2.0);
  b.motion.vx = 600.0;  // 300 units/s into the right wall
  b.motion.spin = 100.0;
  w.tick();
  EXPECT_DOUBLE_EQ(b.motion.x, 1920.0 - 16.0);
  EXPECT_DOUBLE_EQ(b.motion.vx, -420.0);
  EXPECT_DOUBLE_EQ(b.motion.spin, -70.0);
  ASSERT_EQ(b.events.size(), 1u);
  ASSERT_TRUE(std::holds_alternative<PuffEvent>(b.events[0]));
  EXPECT_TRUE(std::get<PuffEvent>(b.events[0]).wall);
  EXPECT_DOUBLE_EQ(std::get<PuffEvent>(b.events[0]).strength, 300.0 / 900.0);

  Buddy& soft = w.add_buddy(17, 500, 2.0);
  soft.motion.vx = -100.0;  // 50 units/s: no puff
  w.tick();
  EXPECT_DOUBLE_EQ(soft.motion.x, 16.0);
  EXPECT_DOUBLE_EQ(soft.motion.vx, 70.0);
  EXPECT_TRUE(soft.events.empty());
}

// A buddy just above a floor at y 1000 that reaches it this step at `units` units/s.
Buddy& about_to_land(PhysicsWorld& w, double units, bool thrown) {
  Buddy& b = w.add_buddy(500, 999, 2.0);
  b.motion.vy = units * 2.0;
  b.motion.thrown = thrown;
  b.motion.air_drag = 0.15;
  return b;
}

PhysicsWorld landing_world(double bounce = 1.0, bool unleashed = false) {
  PhysicsWorld w = floor_world();
  WorldSettings s;
  s.gravity = 0.0;  // the impact speed is exactly the speed we set
  s.bounce = bounce;
  w.set_world(s, unleashed);
  return w;
}

TEST(PhysicsLanding, BounceThresholdsDependOnThrown) {
  {
    PhysicsWorld w = landing_world();
    Buddy& b = about_to_land(w, 100, true);
    EXPECT_EQ(w.tick()[0], MotionOutcome::none);
    EXPECT_EQ(b.motion.mode, BuddyMode::fall);
    EXPECT_DOUBLE_EQ(b.motion.vy, -0.55 * 200.0);
    EXPECT_DOUBLE_EQ(b.motion.y, 1000.0);
    EXPECT_DOUBLE_EQ(b.motion.flight_peak, 100.0);
  }
  {
    PhysicsWorld w = landing_world();
    Buddy& b = about_to_land(w, 70, true);  // not above the threshold
    EXPECT_EQ(w.tick()[0], MotionOutcome::landed);
    EXPECT_EQ(b.motion.mode, BuddyMode::idle);
  }
  {
    PhysicsWorld w = landing_world();
    Buddy& b = about_to_land(w, 100, false);
    EXPECT_EQ(w.tick()[0], MotionOutcome::landed);
    ASSERT_TRUE(b.motion.support);
    EXPECT_EQ(b.motion.support->id, 0);
    EXPECT_DOUBLE_EQ(b.motion.y, 1000.0);
    EXPECT_EQ(b.motion.vy, 0.0);
    ASSERT_EQ(b.events.size(), 1u);
    ASSERT_TRUE(std::holds_alternative<PuffEvent>(b.events[0]));
    EXPECT_DOUBLE_EQ(std::get<PuffEvent>(b.events[0]).strength, 100.0 / 900.0);
    EXPECT_FALSE(std::get<PuffEvent>(b.events[0]).wall);
  }
  {
    PhysicsWorld w = landing_world();
    Buddy& b = about_to_land(w, 320, false);
    EXPECT_EQ(w.tick()[0], MotionOutcome::landed);
    (void)b;
  }
  {
    PhysicsWorld w = landing_world();
    Buddy& b = about_to_land(w, 330, false);
    EXPECT_EQ(w.tick()[0], MotionOutcome::none);
    EXPECT_TRUE(b.motion.thrown);
    EXPECT_LT(b.motion.vy, 0.0);
  }
}

TEST(PhysicsLanding, BounceFactorsAndTheirCap) {
  struct Case {
    double bounce;
    bool unleashed;
    double factor;
  };
  for (const Case c : {Case{1.6, false, 0.88}, Case{1.65, false, 0.9075}, Case{3.0, false, 1.0},
                       Case{1.7, false, 0.935}, Case{1.6, true, 0.88}, Case{1.0, false, 0.55},
                       Case{2.0, true, 1.0}}) {
    PhysicsWorld w = landing_world(c.bounce, c.unleashed);
    Buddy& b = about_to_land(w, 400, true);
    b.motion.vx = 100.0;
    w.tick();
    EXPECT_NEAR(b.motion.vy, -c.factor * 800.0, 1e-9) << c.bounce;
    EXPECT_DOUBLE_EQ(b.motion.vx, 80.0 * (1.0 - 0.15 / 60.0)) << c.bounce;
    EXPECT_DOUBLE_EQ(b.motion.spin, b.motion.vx / 2.0 * 2.5);
  }
}

TEST(PhysicsLanding, ThrownFastLandingSlidesThenEnds) {
  PhysicsWorld w = landing_world();
  Buddy& b = about_to_land(w, 60, true);
  b.motion.vx = 400.0;  // 200 units/s sideways
  EXPECT_EQ(w.tick()[0], MotionOutcome::none);
  EXPECT_EQ(b.motion.mode, BuddyMode::slide);
  MotionOutcome last = MotionOutcome::none;
  int steps = 0;
  while (last == MotionOutcome::none && steps++ < 600) last = w.tick()[0];
  EXPECT_EQ(last, MotionOutcome::slide_ended);
  EXPECT_EQ(b.motion.mode, BuddyMode::idle);
  EXPECT_EQ(b.motion.vx, 0.0);
  EXPECT_DOUBLE_EQ(b.motion.y, 1000.0);
  EXPECT_GT(test::count_events<DustEvent>(b), 0u);
}

TEST(PhysicsLanding, FastFallLandsOnTheHighestLedgeCrossed) {
  PhysicsWorld w;
  w.add_surface(0, 0, 1920, 1080);
  w.add_surface(5, 300, 900, 500, SurfaceKind::window);
  Buddy& b = w.add_buddy(600, 450, 1.0);
  b.motion.vy = 60.0 * 700.0;  // crosses the window and the floor in one step
  WorldSettings s;
  s.max_speed = 50000.0;
  w.set_world(s);
  w.tick();
  EXPECT_DOUBLE_EQ(b.motion.y, 500.0);  // hit the window (and bounced off it)
  EXPECT_LT(b.motion.vy, 0.0);
  for (int i = 0; i < 600 && !b.motion.support; ++i) w.tick();
  ASSERT_TRUE(b.motion.support);
  EXPECT_EQ(b.motion.support->id, 5);
}

TEST(PhysicsLanding, LowestFloorCatchesABuddyAlreadyBelowIt) {
  PhysicsWorld w;
  w.add_surface(0, 0, 1920, 1040);
  Buddy& b = w.add_buddy(300, 1045, 1.0);  // 5 px under the floor line, still in the desktop
  EXPECT_EQ(w.tick()[0], MotionOutcome::landed);
  EXPECT_DOUBLE_EQ(b.motion.y, 1040.0);
}

TEST(PhysicsLanding, BelowTheDesktopGoesToTheNearestFloor) {
  PhysicsWorld w;
  w.right = 2000.0;
  w.add_surface(0, 0, 1000, 1080);
  w.add_surface(1, 1200, 2000, 900);
  Buddy& gap = w.add_buddy(1150, 1000, 1.0);
  Buddy& tie = w.add_buddy(1100, 1000, 1.0);
  int ticks = 0;
  while ((!gap.motion.support || !tie.motion.support) && ticks++ < 600) w.tick();
  ASSERT_TRUE(gap.motion.support);
  EXPECT_EQ(gap.motion.support->id, 1);
  EXPECT_DOUBLE_EQ(gap.motion.x, 1200.0);
  EXPECT_DOUBLE_EQ(gap.motion.y, 900.0);
  ASSERT_TRUE(tie.motion.support);
  EXPECT_EQ(tie.motion.support->id, 0);  // equally far: the first floor
  EXPECT_DOUBLE_EQ(tie.motion.x, 1000.0);
  EXPECT_LT(ticks, 600);
}

TEST(PhysicsLanding, NoFloorAtAllDropsBackInFromTheTop) {
  PhysicsWorld w;
  Buddy& b = w.add_buddy(500, 1085, 1.0);
  b.motion.vy = 600.0;
  w.tick();
  EXPECT_DOUBLE_EQ(b.motion.y, 10.0);
  EXPECT_EQ(b.motion.mode, BuddyMode::fall);
}

TEST(PhysicsRelease, ThrowAndDropBoundary) {
  for (const double units : {60.0, 59.0, 250.0, 300.0}) {
    PhysicsWorld w;
    Buddy& b = w.add_buddy(500, 500, 2.0);
    b.motion.mode = BuddyMode::held;
    b.motion.vx = units * 2.0 * 0.6;
    b.motion.vy = -units * 2.0 * 0.8;
    Xorshift64 probe = b.rng;
    release(b);
    EXPECT_EQ(b.motion.mode, BuddyMode::fall);
    EXPECT_TRUE(b.motion.thrown);
    EXPECT_DOUBLE_EQ(b.motion.air_drag, 0.15);
    EXPECT_NEAR(b.motion.flight_peak, units, 1e-9);
    EXPECT_DOUBLE_EQ(b.motion.spin, std::clamp(b.motion.vx / 2.0 * 2.5, -900.0, 900.0));
    if (units == 60.0 || units == 250.0) {
      EXPECT_EQ(b.rng.s, probe.s) << units;  // a throw with no line draws nothing
      EXPECT_TRUE(b.speech.bubble_text.empty());
    } else if (units == 59.0) {
      const bool says = probe.chance(0.4);
      EXPECT_EQ(!b.speech.bubble_text.empty(), says);
      if (says) {
        EXPECT_TRUE(in_table("drop", b.speech.bubble_text));
      }
    } else {
      const bool says = probe.chance(0.8);
      EXPECT_EQ(!b.speech.bubble_text.empty(), says);
      if (says) {
        EXPECT_TRUE(in_table("throw", b.speech.bubble_text));
      }
    }
  }
}

TEST(PhysicsRelease, AGentleThrowSaysOnlyTheUsersThrowLine) {
  auto lines = std::make_shared<SpeechLines>();
  lines->lines[3] = "not again";  // "Get thrown"
  for (const double units : {60.0, 100.0, 250.0}) {
    PhysicsWorld w;
    Buddy& b = w.add_buddy(500, 500, 2.0);
    b.speech.lines = lines;
    b.motion.mode = BuddyMode::held;
    b.motion.vx = units * 2.0;
    Xorshift64 probe = b.rng;
    release(b);
    EXPECT_EQ(b.speech.bubble_text, "not again") << units;
    EXPECT_EQ(b.rng.s, probe.s) << units;  // no chance drawn for a table line
  }
}

TEST(PhysicsRelease, SpeedIsCappedAtMaxSpeed) {
  PhysicsWorld w;
  WorldSettings s;
  s.max_speed = 100.0;
  w.set_world(s);
  Buddy& b = w.add_buddy(500, 500, 2.0);
  b.motion.mode = BuddyMode::held;
  b.motion.vx = 3000.0;
  b.motion.vy = 4000.0;
  release(b);
  EXPECT_DOUBLE_EQ(b.motion.vx, 120.0);
  EXPECT_DOUBLE_EQ(b.motion.vy, 160.0);
  EXPECT_DOUBLE_EQ(b.motion.flight_peak, 100.0);
}

TEST(PhysicsFlight, NegativeFrictionSpeedsUpThenCalmsAfterFiveSeconds) {
  PhysicsWorld w;
  WorldSettings s;
  s.gravity = 0.0;
  s.friction = -2.0;
  s.max_speed = 1000.0;
  w.set_world(s);
  w.right = 1e9;
  Buddy& b = w.add_buddy(500, 500, 1.0);
  b.motion.vx = 10.0;
  w.tick();
  EXPECT_NEAR(b.motion.vx, 10.0 * std::exp(3.0 / 60.0), 1e-9);
  for (int i = 0; i < 200; ++i) w.tick();
  EXPECT_NEAR(std::hypot(b.motion.vx, b.motion.vy), 1000.0, 1e-6);  // capped
  for (int i = 0; i < 200; ++i) w.tick();  // past 5 s friction counts as 1 with the normal drag
  EXPECT_LT(b.motion.vx, 1000.0 * std::pow(1.0 - 3.0 / 60.0, 90));
}

// The speed cap and the flight peak skip the hypot call when the answer is plain; at their very
// boundaries they must still agree with it to the last bit.
TEST(PhysicsFlight, SpeedCapAndFlightPeakAgreeWithHypotAtTheirBoundaries) {
  const double cap = 300.0;
  const double above = std::nextafter(cap, 1e9), below = std::nextafter(cap, 0.0);
  const double cases[][3] = {
      // vx, vy, flight peak before the step
      {cap, 0.0, cap},      {above, 0.0, cap},    {below, 0.0, above},
      {180.0, 240.0, cap},  {180.0, std::nextafter(240.0, 1e9), below},
      {-180.0, -240.0, below}, {0.0, 0.0, 0.0},   {1e-200, 1e-200, 1e-190},
  };
  for (const auto& c : cases) {
    PhysicsWorld w;
    WorldSettings s;
    s.gravity = 0.0;
    s.friction = 0.0;
    s.max_speed = cap;
    w.set_world(s);
    Buddy& b = w.add_buddy(900, 500, 1.0);
    b.motion.vx = c[0];
    b.motion.vy = c[1];
    b.motion.thrown = true;
    b.motion.flight_peak = c[2];
    const double speed = std::hypot(c[0], c[1]);
    const double k = speed > cap ? cap / speed : 1.0;
    const double vx = speed > cap ? c[0] * k : c[0], vy = speed > cap ? c[1] * k : c[1];
    w.tick();
    EXPECT_EQ(b.motion.vx, vx) << c[0] << ", " << c[1];
    EXPECT_EQ(b.motion.vy, vy) << c[0] << ", " << c[1];
    EXPECT_EQ(b.motion.flight_peak, std::max(c[2], std::hypot(vx, vy))) << c[0] << ", " << c[1];
  }
}

}  // namespace
}  // namespace perchkin
