// The crowd pass: pushing apart, walls, riders, press time and climbing out of a crush.
#include "brain/physics.h"
#include "physics_world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace perchkin {
namespace {

using test::floor_world;
using test::PhysicsWorld;

TEST(PhysicsCrowd, TwoAtOneSpotPushApartSymmetrically) {
  PhysicsWorld w = floor_world();
  const Support floor = w.surfaces[0];
  Buddy& a = w.add_buddy(700, 1000, 2.0, &floor);
  Buddy& b = w.add_buddy(700, 1000, 2.0, &floor);
  w.build();
  collide_crew(w.crew, w.view);
  // reach 36, overlap 36: push = min(36, (60 + 360)/60) = 7
  EXPECT_DOUBLE_EQ(a.motion.x, 696.5);
  EXPECT_DOUBLE_EQ(b.motion.x, 703.5);
  EXPECT_TRUE(a.motion.pressed);
  EXPECT_TRUE(b.motion.pressed);
  EXPECT_DOUBLE_EQ(a.mind.press_time, 1.0 / 60.0);
  for (int i = 0; i < 120; ++i) w.tick();
  EXPECT_NEAR(a.motion.x + b.motion.x, 1400.0, 1e-9);
  EXPECT_NEAR(b.motion.x - a.motion.x, 36.0, 1e-6);
  EXPECT_FALSE(a.motion.pressed);
  EXPECT_EQ(a.mind.press_time, 0.0);
}

TEST(PhysicsCrowd, AgainstAWallTheFreeOneTakesTheWholePush) {
  PhysicsWorld w = floor_world();
  const Support floor = w.surfaces[0];
  Buddy& a = w.add_buddy(0, 1000, 2.0, &floor);
  Buddy& b = w.add_buddy(10, 1000, 2.0, &floor);
  w.build();
  collide_crew(w.crew, w.view);
  // overlap 26: push = min(26, (60 + 260)/60)
  EXPECT_DOUBLE_EQ(a.motion.x, 0.0);
  EXPECT_DOUBLE_EQ(b.motion.x, 10.0 + 320.0 / 60.0);
}

TEST(PhysicsCrowd, RidersAndBuddiesAtOtherHeightsAreLeftAlone) {
  PhysicsWorld w = floor_world();
  const Support floor = w.surfaces[0];
  w.add_buddy(700, 1000, 2.0, &floor);
  w.build();
  const Support back = *find_platform(w.view, buddy_platform_id(0), SurfaceKind::buddy);
  w.add_buddy(702, back.top, 2.0, &back);    // rides buddy 0
  w.add_buddy(1200, 1000, 2.0, &floor);
  w.add_buddy(1201, 983.9, 2.0);             // in the air just over buddy 2's head line
  w.build();
  collide_crew(w.crew, w.view);
  EXPECT_DOUBLE_EQ(w.buddy(0).motion.x, 700.0);
  EXPECT_DOUBLE_EQ(w.buddy(1).motion.x, 702.0);
  EXPECT_DOUBLE_EQ(w.buddy(2).motion.x, 1200.0);
  EXPECT_DOUBLE_EQ(w.buddy(3).motion.x, 1201.0);
}

// A carrier at the screen edge has half its back off the screen; its riders keep their feet on
// the screen when pushed and when the carrier moves, while the carrier itself may stand at x 0.
TEST(PhysicsCrowd, RidersKeepTheirFeetOnTheScreen) {
  PhysicsWorld w = floor_world();
  const Support floor = w.surfaces[0];
  Buddy& carrier = w.add_buddy(12, 1000, 3.0, &floor);
  w.build();
  const Support back = *find_platform(w.view, buddy_platform_id(0), SurfaceKind::buddy);
  ASSERT_LT(back.left, 0.0);
  const Buddy& a = w.add_buddy(2, back.top, 3.0, &back);
  const Buddy& b = w.add_buddy(4, back.top, 3.0, &back);
  for (int i = 0; i < 30; ++i) {
    w.tick();
    ASSERT_TRUE(a.motion.support && a.motion.support->kind == SurfaceKind::buddy) << i;
    EXPECT_GE(a.motion.x, 0.0) << i;
    EXPECT_GE(b.motion.x, 0.0) << i;
  }
  EXPECT_EQ(a.motion.x,
            0.0);  // the push ends at the edge; the other rider took the rest
  EXPECT_GT(b.motion.x, 4.0);

  carrier.motion.x = 0.0;  // the carrier moves to the very edge and carries its riders along
  w.tick();
  EXPECT_EQ(carrier.motion.x, 0.0);
  EXPECT_GE(a.motion.x, 0.0);
  EXPECT_GE(b.motion.x, 0.0);
  EXPECT_TRUE(a.motion.support && b.motion.support);
}

TEST(PhysicsCrowd, CollideOffClearsPressTime) {
  PhysicsWorld w = floor_world();
  const Support floor = w.surfaces[0];
  Buddy& a = w.add_buddy(700, 1000, 2.0, &floor);
  w.add_buddy(700, 1000, 2.0, &floor);
  a.mind.press_time = 0.5;
  WorldSettings s;
  s.collide = false;
  w.set_world(s);
  w.build();
  collide_crew(w.crew, w.view);
  EXPECT_EQ(a.mind.press_time, 0.0);
  EXPECT_DOUBLE_EQ(a.motion.x, 700.0);
}

TEST(PhysicsCrowd, ASqueezedBuddyClimbsOntoTheNearestLedgeAbove) {
  PhysicsWorld w = floor_world();
  w.add_surface(3, 600, 760, 900, SurfaceKind::window);  // centre 680, 100 px up: score 220
  w.add_surface(4, 800, 900, 960, SurfaceKind::window);  // centre 850, 40 px up: score 230
  const Support floor = w.surfaces[0];
  Buddy& a = w.add_buddy(700, 1000, 2.0, &floor);
  w.add_buddy(700, 1000, 2.0);  // airborne: squeezes, but is no ledge
  a.mind.press_time = 0.6;
  a.mind.walk_target = 900.0;
  w.build();
  collide_crew(w.crew, w.view);
  EXPECT_EQ(a.motion.mode, BuddyMode::hop);
  ASSERT_TRUE(a.motion.hop.target);
  EXPECT_EQ(a.motion.hop.target->id, 3);
  EXPECT_DOUBLE_EQ(a.motion.hop.x1, 680.0);
  EXPECT_DOUBLE_EQ(a.motion.hop.height, 44.0);
  EXPECT_EQ(a.motion.facing, -1);
  EXPECT_EQ(a.mind.press_time, 0.0);
  EXPECT_FALSE(a.mind.walk_target);
  MotionOutcome out = MotionOutcome::none;
  for (int i = 0; i < 60 && out != MotionOutcome::hop_landed; ++i) out = w.tick()[0];
  EXPECT_EQ(out, MotionOutcome::hop_landed);
  EXPECT_EQ(a.motion.support->id, 3);
}

TEST(PhysicsCrowd, AStandingNeighbourIsTheNearestLedge) {
  PhysicsWorld w = floor_world();
  w.add_surface(3, 600, 760, 900, SurfaceKind::window);
  const Support floor = w.surfaces[0];
  Buddy& a = w.add_buddy(700, 1000, 2.0, &floor);
  w.add_buddy(705, 1000, 2.0, &floor);
  a.mind.press_time = 0.6;
  w.build();
  collide_crew(w.crew, w.view);
  ASSERT_EQ(a.motion.mode, BuddyMode::hop);
  EXPECT_EQ(a.motion.hop.target->id, buddy_platform_id(1));
}

TEST(PhysicsCrowd, SleepersDoNotClimb) {
  PhysicsWorld w = floor_world();
  w.add_surface(3, 600, 760, 900, SurfaceKind::window);
  const Support floor = w.surfaces[0];
  Buddy& a = w.add_buddy(700, 1000, 2.0, &floor);
  w.add_buddy(700, 1000, 2.0, &floor);
  a.motion.mode = BuddyMode::sleep;
  a.mind.press_time = 0.7;
  w.build();
  collide_crew(w.crew, w.view);
  EXPECT_EQ(a.motion.mode, BuddyMode::sleep);
  EXPECT_GT(a.mind.press_time, 0.7);
}

// The banded pair search must push exactly as the plain scan does, tick after tick, in crowds
// dense enough to stack into towers, with mixed sizes, a narrow desktop and walls.
TEST(PhysicsCrowd, BandedSweepMatchesThePlainScanBitForBit) {
  for (std::uint64_t seed = 1; seed <= 6; ++seed) {
    Xorshift64 rng(seed);
    PhysicsWorld worlds[2];
    worlds[1].sweep = CrowdSweep::plain;
    const double width = 300.0 + 900.0 * rng.uniform();
    const std::size_t n = 150 + rng.pick(250);
    for (PhysicsWorld& w : worlds) {
      w.right = width;
      w.crew.buddies.reserve(n + 2);
      w.add_surface(0, 0, width, 1000);
      w.add_surface(1, 40, width * 0.5, 700, SurfaceKind::window);
    }
    // Seed 4 clings to the ceiling and bounces hard; seed 6 mixes sizes more widely.
    if (seed == 4) {
      WorldSettings up;
      up.gravity = -1.0;
      up.bounce = 3.0;
      for (PhysicsWorld& w : worlds) w.set_world(up, true);
    }
    const std::size_t sizes = seed == 6 ? 12 : 3;
    for (std::size_t i = 0; i < n; ++i) {
      const double unit = 1.0 + static_cast<double>(rng.pick(sizes));
      const double x = 10.0 + rng.uniform() * (width - 20.0);
      const double y = 20.0 + rng.uniform() * 400.0;
      for (PhysicsWorld& w : worlds) w.add_buddy(x, y, unit);
    }
    // On odd seeds, stragglers far above spread the height bands wide.
    for (PhysicsWorld& w : worlds) {
      w.add_buddy(width / 2, seed % 2 ? -5e5 : 500.0, 1.0);
      w.add_buddy(width / 3, seed % 2 ? -2e5 : 300.0, 3.0);
    }
    for (int t = 0; t < 600; ++t) {
      for (PhysicsWorld& w : worlds) w.tick();
      for (std::size_t i = 0; i < n + 2; ++i) {
        const Buddy& a = worlds[0].buddy(i);
        const Buddy& b = worlds[1].buddy(i);
        ASSERT_TRUE(a.motion.x == b.motion.x && a.motion.y == b.motion.y &&
                    a.motion.mode == b.motion.mode && a.mind.press_time == b.mind.press_time &&
                    a.motion.pressed == b.motion.pressed)
            << "seed " << seed << " tick " << t << " buddy " << i;
      }
    }
  }
}

// Ten thousand buddies standing shoulder to shoulder on one floor, two sizes, with a ledge
// above: the pile the benchmark measures, held to the plain scan while it forms.
TEST(PhysicsCrowd, BandedSweepMatchesThePlainScanInATenThousandPile) {
  constexpr std::size_t kCrowd = 10000;
  Xorshift64 rng(21);
  PhysicsWorld worlds[2];
  worlds[1].sweep = CrowdSweep::plain;
  for (PhysicsWorld& w : worlds) {
    w.crew.buddies.reserve(kCrowd);
    w.add_surface(0, 0, 1920, 1000);
    w.add_surface(1, 600, 1300, 900, SurfaceKind::drawn);
  }
  for (std::size_t i = 0; i < kCrowd; ++i) {
    const double unit = 1.0 + static_cast<double>(rng.pick(2));
    const double x = 20.0 + rng.uniform() * 1880.0;
    const double y = 960.0 + rng.uniform() * 40.0;
    for (PhysicsWorld& w : worlds) w.add_buddy(x, y, unit);
  }
  for (int t = 0; t < 12; ++t) {
    for (PhysicsWorld& w : worlds) w.tick();
    for (std::size_t i = 0; i < kCrowd; ++i) {
      const Buddy& a = worlds[0].buddy(i);
      const Buddy& b = worlds[1].buddy(i);
      ASSERT_TRUE(a.motion.x == b.motion.x && a.motion.y == b.motion.y &&
                  a.motion.mode == b.motion.mode && a.mind.press_time == b.mind.press_time &&
                  a.motion.pressed == b.motion.pressed)
          << "tick " << t << " buddy " << i;
    }
  }
}

// Runs both worlds (banded, plain) tick by tick and holds every buddy to the same outcome.
void expect_same_sweeps(PhysicsWorld (&worlds)[2], int ticks) {
  const std::size_t n = worlds[0].crew.buddies.size();
  for (int t = 0; t < ticks; ++t) {
    for (PhysicsWorld& w : worlds) w.tick();
    for (std::size_t i = 0; i < n; ++i) {
      const Buddy& a = worlds[0].buddy(i);
      const Buddy& b = worlds[1].buddy(i);
      ASSERT_TRUE(a.motion.x == b.motion.x && a.motion.y == b.motion.y &&
                  a.motion.mode == b.motion.mode && a.mind.press_time == b.mind.press_time &&
                  a.motion.pressed == b.motion.pressed)
          << "tick " << t << " buddy " << i;
    }
  }
}

// Held and drawing buddies in a crowd take no push; their neighbours take it all. The fast
// sweep gives such a buddy a range of its own position instead of asking each time.
TEST(PhysicsCrowd, BandedSweepMatchesThePlainScanAroundBuddiesThatMayNotMove) {
  Xorshift64 rng(5);
  PhysicsWorld worlds[2];
  worlds[1].sweep = CrowdSweep::plain;
  for (PhysicsWorld& w : worlds) {
    w.right = 500.0;
    w.add_surface(0, 0, 500, 1000);
  }
  for (std::size_t i = 0; i < 300; ++i) {
    const double unit = 1.0 + static_cast<double>(rng.pick(3));
    const double x = 20.0 + rng.uniform() * 460.0;
    const double y = 900.0 + rng.uniform() * 100.0;
    for (PhysicsWorld& w : worlds) {
      Buddy& b = w.add_buddy(x, y, unit);
      if (i % 7 == 3) b.motion.mode = BuddyMode::held;
      if (i % 11 == 5) b.motion.mode = BuddyMode::drawing;
    }
  }
  expect_same_sweeps(worlds, 300);
}

// The fast sweep starts each tick from the last tick's x order and skips the id and rider checks
// for buddies that ride nobody. A crew whose members change between ticks (one leaves, one
// arrives, the crew keeping its size), buddies riding others and an id that appears twice must
// still be pushed as the plain scan pushes them.
TEST(PhysicsCrowd, BandedSweepMatchesThePlainScanAsTheCrewChanges) {
  Xorshift64 rng(33);
  PhysicsWorld worlds[2];
  worlds[1].sweep = CrowdSweep::plain;
  for (PhysicsWorld& w : worlds) {
    w.right = 400.0;
    w.add_surface(0, 0, 400, 1000);
  }
  for (std::size_t i = 0; i < 400; ++i) {
    const double x = 20.0 + rng.uniform() * 360.0;
    const double y = 940.0 + rng.uniform() * 60.0;
    for (PhysicsWorld& w : worlds) w.add_buddy(x, y, 2.0);
  }
  for (int round = 0; round < 6; ++round) {
    expect_same_sweeps(worlds, 20);
    if (testing::Test::HasFatalFailure()) return;
    const std::size_t gone = rng.pick(worlds[0].crew.buddies.size());
    const double x = 20.0 + rng.uniform() * 360.0;
    for (PhysicsWorld& w : worlds) {
      w.crew.buddies.erase(w.crew.buddies.begin() + static_cast<std::ptrdiff_t>(gone));
      Buddy& b = w.add_buddy(x, 900.0, 2.0);
      // From round 2 on, one id twice, its two buddies side by side.
      if (round == 2) {
        const Buddy& first = w.crew.buddies.front();
        b.id = first.id;
        b.motion.x = first.motion.x + 1.0;
        b.motion.y = first.motion.y;
      }
      // On odd rounds, a buddy on the back of a sitting one: close enough to push, were it not
      // riding.
      if (round % 2 == 1) {
        Buddy& carrier = w.crew.buddies[10 + static_cast<std::size_t>(round)];
        Buddy& rider = w.crew.buddies[40 + static_cast<std::size_t>(round)];
        carrier.motion.mode = BuddyMode::sit;
        carrier.motion.support = w.surfaces[0];
        carrier.motion.y = 1000.0;
        rider.motion.x = carrier.motion.x;
        rider.motion.y = carrier.motion.y - 6.0 * carrier.motion.unit;
        rider.motion.mode = BuddyMode::idle;
        rider.motion.support = Support{buddy_platform_id(carrier.id),
                                       carrier.motion.x - 12.0,
                                       carrier.motion.x + 12.0,
                                       rider.motion.y,
                                       SurfaceKind::buddy,
                                       {}};
      }
    }
  }
}

// Ten thousand buddies at the default size thrown into an unleashed world, where bounces keep
// their speed: a crowd mostly in the air, bands crossed at every tick.
TEST(PhysicsCrowd, BandedSweepMatchesThePlainScanInABouncingCrowdAtDefaultSize) {
  Xorshift64 rng(9);
  PhysicsWorld worlds[2];
  worlds[1].sweep = CrowdSweep::plain;
  WorldSettings bouncy;
  bouncy.bounce = 3.0;
  for (PhysicsWorld& w : worlds) {
    w.crew.buddies.reserve(10000);
    w.add_surface(0, 0, 1920, 1080);
    w.add_surface(1, 300, 900, 600, SurfaceKind::window);
    w.set_world(bouncy, true);
  }
  for (std::size_t i = 0; i < 10000; ++i) {
    const double x = 72.0 + rng.uniform() * 1776.0;
    const double y = 90.0 + rng.uniform() * 900.0;
    const double vx = rng.range(-400.0, 400.0);
    for (PhysicsWorld& w : worlds) {
      Buddy& b = w.add_buddy(x, y, 9.0);
      b.motion.vx = vx;
      b.motion.thrown = true;
    }
  }
  expect_same_sweeps(worlds, 8);
}

// The push benchmark replays a traced pass instead of running it: the trace must hold exactly
// the pushes the pass makes, in a pile of mixed sizes and in one of a single size.
TEST(PhysicsCrowd, ATracedPassReplaysToThePassesOwnPositions) {
  for (const std::size_t sizes : {1u, 3u}) {
    Xorshift64 rng(sizes);
    PhysicsWorld w;
    w.right = 600.0;
    w.add_surface(0, 0, 600, 1000);
    for (int i = 0; i < 250; ++i)
      w.add_buddy(20.0 + rng.uniform() * 560.0, 960.0 + rng.uniform() * 40.0,
                  1.0 + static_cast<double>(rng.pick(sizes)));
    for (int t = 0; t < 30; ++t) w.tick();
    w.build();
    const CrowdPushTrace trace = trace_crowd_pushes(w.crew, w.view);
    ASSERT_GT(trace.pairs.size(), 250u);
    EXPECT_EQ(trace.uniform, sizes == 1);
    std::vector<double> replayed;
    replay_crowd_pushes(trace, replayed);
    EXPECT_EQ(replayed, trace.x_after);
    collide_crew(w.crew, w.view);
    std::vector<double> after;
    for (const Buddy& b : w.crew.buddies) after.push_back(b.motion.x);
    std::sort(after.begin(), after.end());
    std::sort(replayed.begin(), replayed.end());
    EXPECT_EQ(after, replayed);
  }
}

}  // namespace
}  // namespace perchkin
