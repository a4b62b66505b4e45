// Screen effects, particle motion, the particle cap, timed bursts, snow and buddy-event visuals.
#include "props_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace perchkin {
namespace {

using test::count_color;
using test::count_kind;
using test::fill;
using test::make_buddy;
using test::make_effects;

// Runs whole scene ticks from `from` until `to` (exclusive) and returns the time reached.
double run(Effects& fx, double from, double to) {
  double t = from;
  for (; t < to; t += test::kTick) step_effects(fx, t);
  return t;
}

TEST(ParticleCap, ConfettiFillsOnlyTheRoomLeft) {
  Effects fx = make_effects();
  fill(fx, 850);
  start_effect(fx, "confetti", 500, 500, 0.0);
  EXPECT_EQ(fx.particles.size(), 900u);

  Effects empty = make_effects();
  start_effect(empty, "confetti", 500, 500, 0.0);
  EXPECT_EQ(empty.particles.size(), 120u);

  // Nothing at all once full, whatever is started.
  start_effect(fx, "hearts", 500, 500, 0.0);
  add_puff(fx, 1, 1, 10, 1, rgba(0xFFFFFF));
  add_dust(fx, 1, 1, 4);
  EXPECT_EQ(fx.particles.size(), 900u);
}

TEST(ParticleCap, RocketEndingNearTheCapStartsOnlyTwentySparks) {
  Effects fx = make_effects();
  fill(fx, 879);
  Particle shell = make_particle(ParticleKind::rect, rgba(0xFFE9A8), 300, 200, 0, 0, 0.01);
  shell.burst = rgba(0x4D9DFF);
  fx.particles.push_back(shell);  // 880 alive

  step_particles(fx);
  // The shell still held its place while its sparks started, then went.
  EXPECT_EQ(fx.particles.size(), 899u);
  EXPECT_EQ(count_kind(fx, ParticleKind::dot), 879u + 20u);
  EXPECT_EQ(count_kind(fx, ParticleKind::rect), 0u);
}

TEST(ParticleCap, RocketEndingBurstsIntoThirtySixSparksAtItsPosition) {
  Effects fx = make_effects();
  Particle shell = make_particle(ParticleKind::rect, rgba(0xFFE9A8), 300, 200, 0, 0, 0.01);
  shell.burst = rgba(0x4D9DFF);
  fx.particles.push_back(shell);
  step_particles(fx);
  ASSERT_EQ(fx.particles.size(), 36u);
  std::size_t coloured = 0;
  for (const Particle& p : fx.particles) {
    EXPECT_EQ(p.kind, ParticleKind::dot);
    EXPECT_FLOAT_EQ(p.x, 300.0f);
    EXPECT_FLOAT_EQ(p.y, 200.0f);
    EXPECT_TRUE(p.shrink);
    EXPECT_TRUE(p.color == rgba(0x4D9DFF) || p.color == rgba(0xFFFFFF));
    if (p.color == rgba(0x4D9DFF)) ++coloured;
  }
  EXPECT_GT(coloured, 12u);  // about two thirds take the shell's colour
}

TEST(ParticleMotion, DragTakesItsShareEachTickAndZeroDragKeepsSpeed) {
  Effects fx = make_effects();
  Particle dragged = make_particle(ParticleKind::rect, rgba(0xFFFFFF), 0, 0, 120, -60, 10);
  dragged.drag = 2.2f;
  Particle free = make_particle(ParticleKind::rect, rgba(0xFFFFFF), 0, 0, 120, -60, 10);
  fx.particles = {dragged, free};
  step_particles(fx);
  const float keep = 1.0f - 2.2f / 60.0f;
  EXPECT_FLOAT_EQ(fx.particles[0].vx, 120.0f * keep);
  EXPECT_FLOAT_EQ(fx.particles[0].vy, -60.0f * keep);
  EXPECT_FLOAT_EQ(fx.particles[1].vx, 120.0f);
  EXPECT_FLOAT_EQ(fx.particles[1].x, 2.0f);
  EXPECT_FLOAT_EQ(fx.particles[1].y, -1.0f);
}

TEST(ParticleMotion, GravityActsBeforeTheMoveAndDragNeverReverses) {
  Effects fx = make_effects();
  Particle falling = make_particle(ParticleKind::rect, rgba(0xFFFFFF), 0, 0, 0, 0, 10);
  falling.ay = 600.0f;
  Particle braked = make_particle(ParticleKind::rect, rgba(0xFFFFFF), 0, 0, 100, 0, 10);
  braked.drag = 200.0f;  // more than 60: stops dead instead of flying backwards
  fx.particles = {falling, braked};
  step_particles(fx);
  EXPECT_FLOAT_EQ(fx.particles[0].vy, 10.0f);
  EXPECT_FLOAT_EQ(fx.particles[0].y, 10.0f / 60.0f);
  EXPECT_FLOAT_EQ(fx.particles[1].vx, 0.0f);
  EXPECT_FLOAT_EQ(fx.particles[1].x, 0.0f);
}

TEST(ParticleMotion, ParticlesGoWhenTheirAgeReachesTheirLifetimeInOrder) {
  Effects fx = make_effects();
  fx.particles = {make_particle(ParticleKind::dot, rgba(1), 0, 0, 0, 0, 0.5),
                  make_particle(ParticleKind::dot, rgba(2), 0, 0, 0, 0, 0.1),
                  make_particle(ParticleKind::dot, rgba(3), 0, 0, 0, 0, 1.0)};
  for (int i = 0; i < 5; ++i) step_particles(fx);
  EXPECT_EQ(fx.particles.size(), 3u);
  for (int i = 0; i < 2; ++i) step_particles(fx);  // past 0.1 s
  ASSERT_EQ(fx.particles.size(), 2u);
  EXPECT_EQ(fx.particles[0].color, rgba(1));
  EXPECT_EQ(fx.particles[1].color, rgba(3));
  for (int i = 0; i < 30; ++i) step_particles(fx);  // past 0.6 s
  ASSERT_EQ(fx.particles.size(), 1u);
  EXPECT_EQ(fx.particles[0].color, rgba(3));
}

TEST(Rings, GrowAndExpire) {
  Effects fx = make_effects();
  fx.rings.push_back({10, 10, 0, 300, rgba(0xFFF6A8), 3, 0, 0.35f});
  step_rings(fx);
  EXPECT_FLOAT_EQ(fx.rings[0].radius, 5.0f);
  for (int i = 0; i < 19; ++i) step_rings(fx);
  EXPECT_EQ(fx.rings.size(), 1u);  // 20 ticks, 0.333 s
  step_rings(fx);
  step_rings(fx);  // past 0.35 s
  EXPECT_TRUE(fx.rings.empty());
}

TEST(Effects, UnknownNamesAndNonFinitePointsChangeNothing) {
  Effects fx = make_effects(7);
  const std::uint64_t state = fx.rng.s;
  start_effect(fx, "explosion", 100, 100, 0.0);
  start_effect(fx, "", 100, 100, 0.0);
  start_effect(fx, "Confetti", 100, 100, 0.0);
  start_effect(fx, "confetti", std::nan(""), 100, 0.0);
  start_effect(fx, "snow", 100, std::numeric_limits<double>::infinity(), 0.0);
  EXPECT_TRUE(fx.particles.empty());
  EXPECT_TRUE(fx.bursts.empty());
  EXPECT_EQ(fx.snow_until, 0.0);
  EXPECT_EQ(fx.rng.s, state);
}

TEST(Effects, FarOffPointsSaturateInsteadOfOverflowing) {
  Effects fx = make_effects();
  start_effect(fx, "confetti", 1e300, -1e300, 0.0);
  start_effect(fx, "fireworks", -1e300, 0, 0.0);
  ASSERT_EQ(fx.particles.size(), 120u);
  EXPECT_FLOAT_EQ(fx.particles[0].x, 3.0e38f);
  EXPECT_FLOAT_EQ(fx.particles[0].y, -3.0e38f);
  for (const TimedBurst& b : fx.bursts) EXPECT_EQ(b.x, 40.0);
  for (int i = 0; i < 5; ++i) step_particles(fx);
}

TEST(Effects, ConfettiFliesUpInAFanWithThePalette) {
  Effects fx = make_effects();
  fx.scale = 1.5;
  start_effect(fx, "confetti", 400, 300, 0.0);
  for (const Particle& p : fx.particles) {
    EXPECT_EQ(p.kind, ParticleKind::rect);
    EXPECT_LT(p.vy, 0.0f);  // upward, within 36° of the horizon at most
    const double angle = std::atan2(static_cast<double>(p.vy), static_cast<double>(p.vx));
    EXPECT_GE(angle, -2.5132741928100586 - 1e-6);
    EXPECT_LE(angle, -0.6283185307179586 + 1e-6);
    const double speed = std::hypot(static_cast<double>(p.vx), static_cast<double>(p.vy));
    EXPECT_GE(speed, 500.0 * 1.5 - 1e-3);
    EXPECT_LE(speed, 1300.0 * 1.5 + 1e-3);
    EXPECT_FLOAT_EQ(p.height, 0.6f * p.width);
    EXPECT_FLOAT_EQ(p.ay, 1050.0f);
  }
  std::size_t palette = 0;
  for (std::uint32_t c : {0xFF4D6Du, 0xFFD23Fu, 0x4DD599u, 0x4D9DFFu, 0xB36BFFu, 0xFF8A3Du, 0xD77757u}) {
    EXPECT_GT(count_color(fx, c), 0u) << std::hex << c;
    palette += count_color(fx, c);
  }
  EXPECT_EQ(palette, 120u);
}

TEST(Effects, HeartsFloatUp) {
  Effects fx = make_effects();
  start_effect(fx, "hearts", 400, 300, 0.0);
  ASSERT_EQ(fx.particles.size(), 14u);
  for (const Particle& p : fx.particles) {
    EXPECT_EQ(p.kind, ParticleKind::heart);
    EXPECT_LT(p.vy, 0.0f);
    EXPECT_FLOAT_EQ(p.ay, -30.0f);
  }
}

TEST(Effects, SnowStartedTwiceFallsUntilEightSecondsAfterTheSecond) {
  Effects fx = make_effects();
  start_effect(fx, "snow", 0, 0, 1.0);
  EXPECT_DOUBLE_EQ(fx.snow_until, 9.0);
  start_effect(fx, "snow", 0, 0, 4.0);
  EXPECT_DOUBLE_EQ(fx.snow_until, 12.0);

  // Flakes keep coming after the first start's 8 s have passed, and stop at the second's.
  std::size_t flakes = 0;
  for (double t = 10.0; t < 11.0; t += test::kTick) {
    const std::size_t before = fx.particles.size();
    step_snow(fx, t);
    flakes += fx.particles.size() - before;
  }
  EXPECT_GT(flakes, 15u);  // about one tick in two
  EXPECT_LT(flakes, 45u);
  for (const Particle& p : fx.particles) {
    EXPECT_EQ(p.kind, ParticleKind::dot);
    ASSERT_TRUE(p.outline.has_value());
    EXPECT_EQ(*p.outline, rgba(0xB9D7F2));
    EXPECT_FLOAT_EQ(p.y, -10.0f);
    EXPECT_GE(p.x, 0.0f);
    EXPECT_LT(p.x, 1920.0f);
  }
  fx.particles.clear();
  for (double t = 12.0; t < 14.0; t += test::kTick) step_snow(fx, t);
  EXPECT_TRUE(fx.particles.empty());
}

TEST(Effects, FireworksNearTheLeftEdgeStayInsideTheMargin) {
  for (std::uint64_t seed = 1; seed < 40; ++seed) {
    Effects fx = make_effects(seed);
    start_effect(fx, "fireworks", 10, 500, 2.0);
    ASSERT_EQ(fx.bursts.size(), 5u);
    const double starts[] = {2.0, 2.35, 2.7, 3.05, 3.4};
    for (std::size_t i = 0; i < 5; ++i) {
      EXPECT_EQ(fx.bursts[i].kind, TimedBurst::Kind::rocket);
      EXPECT_DOUBLE_EQ(fx.bursts[i].start, starts[i]);
      EXPECT_GE(fx.bursts[i].x, 40.0);
      EXPECT_LE(fx.bursts[i].x, 1880.0);
    }
  }
  // An overlay too narrow for both margins does not break the clamp.
  Effects narrow = make_effects();
  narrow.width = 50.0;
  start_effect(narrow, "fireworks", 25, 10, 0.0);
  for (const TimedBurst& b : narrow.bursts) EXPECT_EQ(b.x, 40.0);
}

TEST(Effects, RocketsRiseFromTheBottomAndBurstInTheUpperHalf) {
  for (std::uint64_t seed = 1; seed < 20; ++seed) {
    Effects fx = make_effects(seed);
    fx.bursts.push_back({0.0, TimedBurst::Kind::rocket, 900, 0});
    start_due_bursts(fx, 0.0);
    ASSERT_EQ(fx.particles.size(), 1u);
    const Particle rocket = fx.particles[0];
    EXPECT_FLOAT_EQ(rocket.y, 1080.0f);
    ASSERT_TRUE(rocket.burst.has_value());
    EXPECT_LT(rocket.vy, 0.0f);
    EXPECT_GT(rocket.ay, 0.0f);  // slows as it climbs
    float last_y = rocket.y;
    while (fx.particles.size() == 1 && fx.particles[0].burst) {
      last_y = fx.particles[0].y;
      step_particles(fx);
    }
    ASSERT_EQ(fx.particles.size(), 36u);
    // The climb of 0.9-1.15 screen heights, braked to 55 %, ends 50-63 % of the height up.
    EXPECT_LT(last_y, 0.52f * 1080.0f);
    EXPECT_GT(last_y, 0.35f * 1080.0f);
  }
}

TEST(Effects, SparkleTwinklesStartOneAfterAnother) {
  Effects fx = make_effects();
  start_effect(fx, "sparkle", 500, 400, 10.0);
  ASSERT_EQ(fx.bursts.size(), 18u);
  for (std::size_t k = 0; k < 18; ++k) {
    EXPECT_NEAR(fx.bursts[k].start, 10.0 + 0.04 * static_cast<double>(k), 1e-12);
    EXPECT_GE(fx.bursts[k].x, 430.0);
    EXPECT_LT(fx.bursts[k].x, 570.0);
    EXPECT_GE(fx.bursts[k].y, 340.0);
    EXPECT_LT(fx.bursts[k].y, 440.0);
  }
  start_due_bursts(fx, 10.1);  // k = 0, 1, 2
  EXPECT_EQ(count_kind(fx, ParticleKind::sparkle), 3u);
  ASSERT_EQ(fx.bursts.size(), 15u);
  EXPECT_NEAR(fx.bursts.front().start, 10.12, 1e-12);
  run(fx, 10.1, 11.0);
  EXPECT_TRUE(fx.bursts.empty());
}

TEST(Effects, TimedBurstsAreBounded) {
  Effects fx = make_effects();
  for (int i = 0; i < 1000; ++i) start_effect(fx, "sparkle", 100, 100, 0.0);
  EXPECT_EQ(fx.bursts.size(), kMaxTimedBursts);
}

TEST(BuddyEvents, EachKindShowsItsVisualAtTheBuddy) {
  Effects fx = make_effects();
  fx.overlay_left = -1920.0;  // a monitor left of the primary one
  fx.overlay_top = 0.0;
  Crew crew;
  Buddy b = make_buddy(3, -1000, 800, 4);
  b.events.push_back(BuddyEvent::at(BuddyEventKind::heart, b.x, b.y));
  b.events.push_back(BuddyEvent::symbol("!", b.x, b.y));
  b.events.push_back(BuddyEvent::symbol("?", b.x, b.y));
  b.events.push_back(BuddyEvent::at(BuddyEventKind::smoke, b.x, b.y));
  b.events.push_back(BuddyEvent::at(BuddyEventKind::dizzy, b.x, b.y));
  b.events.push_back(BuddyEvent::at(BuddyEventKind::dust, b.x, b.y));
  crew.buddies.push_back(b);

  const RenderRequests requests = take_buddy_events(fx, crew, 0.0);
  EXPECT_TRUE(requests.squash_kicks.empty());
  EXPECT_TRUE(requests.bursts.empty());
  EXPECT_EQ(crew.buddies[0].events.size(), 6u);  // the world tick clears them

  ASSERT_EQ(fx.particles.size(), 1u + 2u + 1u + 5u + 2u);
  const Particle& heart = fx.particles[0];
  EXPECT_EQ(heart.kind, ParticleKind::heart);
  EXPECT_GE(heart.x, 920.0f - 24.0f);  // overlay x 920, within 6 units
  EXPECT_LE(heart.x, 920.0f + 24.0f);
  EXPECT_FLOAT_EQ(heart.y, 760.0f);
  EXPECT_FLOAT_EQ(heart.vy, -88.0f);

  EXPECT_EQ(fx.particles[1].text, "!");
  EXPECT_EQ(fx.particles[1].style, TextStyle::symbol);
  EXPECT_EQ(fx.particles[1].color, rgba(0xE8443A));
  EXPECT_EQ(fx.particles[2].color, rgba(0x5B6BD6));

  EXPECT_EQ(fx.particles[3].kind, ParticleKind::dot);  // smoke puff
  EXPECT_EQ(fx.particles[3].color, rgba(0x5E5E5E));
  EXPECT_FLOAT_EQ(fx.particles[3].grow, 0.8f);

  for (std::size_t i = 4; i < 9; ++i) {
    EXPECT_EQ(fx.particles[i].kind, ParticleKind::sparkle);
    EXPECT_LT(fx.particles[i].vy, 0.0f);  // dizzy stars fan upward
  }
  EXPECT_EQ(count_color(fx, 0xC9C1B8), 2u);
}

TEST(BuddyEvents, ImpactPuffsScaleWithStrengthAndKickTheSquashOnLanding) {
  Effects fx = make_effects();
  Crew crew;
  Buddy b = make_buddy(9, 500, 900, 3);
  b.events.push_back(BuddyEvent::puff(500, 900, 0.55, false));
  b.events.push_back(BuddyEvent::puff(500, 900, 1.0, true));
  b.events.push_back(BuddyEvent::puff(500, 900, 1e12, true));  // clamped, not a flood
  crew.buddies.push_back(b);
  const RenderRequests requests = take_buddy_events(fx, crew, 0.0);
  EXPECT_EQ(fx.particles.size(), 8u + 13u + 13u);
  ASSERT_EQ(requests.squash_kicks.size(), 1u);
  EXPECT_EQ(requests.squash_kicks[0].buddy_id, 9u);
  EXPECT_DOUBLE_EQ(requests.squash_kicks[0].dv, 9.0 * 0.55 + 2.0);
  for (const Particle& p : fx.particles) {
    EXPECT_TRUE(p.shrink);
    EXPECT_LT(p.y, 900.0f);  // lifted by its own height
  }
}

TEST(BuddyEvents, ExplosionNamedEffectsAndPlacement) {
  Effects fx = make_effects();
  fx.overlay_left = 100.0;
  fx.overlay_top = 50.0;
  Crew crew;
  Buddy b = make_buddy(4, 600, 700, 2);
  BuddyEvent boom = BuddyEvent::at(BuddyEventKind::explode, b.x, b.y);
  boom.value = 2.6;
  b.events.push_back(boom);
  b.events.push_back(BuddyEvent::effect("hearts", 1100, 450));
  b.events.push_back(BuddyEvent::effect("lasers", 1100, 450));
  b.events.push_back(placement_event(default_placement(PropKind::bomb, 800, 200)));
  b.events.push_back(BuddyEvent::at(BuddyEventKind::clear, 0, 0));
  b.events.push_back(BuddyEvent::at(BuddyEventKind::place, 0, 0));  // no data: ignored
  crew.buddies.push_back(b);

  const RenderRequests requests = take_buddy_events(fx, crew, 3.0);
  ASSERT_EQ(requests.bursts.size(), 1u);
  EXPECT_EQ(requests.bursts[0].buddy_id, 4u);
  EXPECT_DOUBLE_EQ(requests.bursts[0].duration, 2.6);
  EXPECT_EQ(fx.bursts.size(), 18u);  // the sparkle over the exploding buddy
  EXPECT_EQ(count_kind(fx, ParticleKind::heart), 14u);
  for (const Particle& p : fx.particles) EXPECT_FLOAT_EQ(p.x, 1000.0f);  // overlay pixels
  ASSERT_EQ(fx.props.size(), 1u);
  EXPECT_EQ(fx.props[0].kind, PropKind::bomb);
  EXPECT_DOUBLE_EQ(fx.props[0].placed_at, 3.0);

  RenderRequests unused;
  EXPECT_FALSE(take_buddy_event(fx, b, BuddyEvent::at(BuddyEventKind::ink, 0, 0), 3.0, unused));
  EXPECT_TRUE(take_buddy_event(fx, b, BuddyEvent::at(BuddyEventKind::heart, 0, 0), 3.0, unused));
}

TEST(Marks, TrailPuffsShareABudgetAndSleepMarksFloat) {
  Effects fx = make_effects();
  std::vector<TrailPuff> puffs(1000, TrailPuff{300, 300, 2});
  add_trail_puffs(fx, puffs, 0);
  EXPECT_TRUE(fx.particles.empty());

  // However many buddies move, about six trail particles start per tick.
  std::size_t total = 0;
  for (int tick = 0; tick < 100; ++tick) {
    fx.particles.clear();
    add_trail_puffs(fx, puffs, 1);
    total += fx.particles.size();
  }
  EXPECT_GT(total, 450u);
  EXPECT_LT(total, 750u);
  EXPECT_EQ(count_kind(fx, ParticleKind::sparkle), fx.particles.size());

  fx.particles.clear();
  for (int tick = 0; tick < 20; ++tick) add_trail_puffs(fx, puffs, 2);
  EXPECT_EQ(count_kind(fx, ParticleKind::heart), fx.particles.size());

  fx.particles.clear();
  const SleepMark marks[] = {{100, 200, 3}, {150, 250, 3}};
  add_sleep_marks(fx, marks);
  ASSERT_EQ(fx.particles.size(), 2u);
  for (const Particle& p : fx.particles) {
    EXPECT_TRUE(p.text == "Z" || p.text == "z");
    EXPECT_EQ(p.style, TextStyle::label);
    EXPECT_FLOAT_EQ(p.vx, 18.0f);
    EXPECT_FLOAT_EQ(p.vy, -42.0f);
  }
}

TEST(Determinism, SameSeedSameScene) {
  auto play = [](std::uint64_t seed) {
    Effects fx = make_effects(seed);
    start_effect(fx, "confetti", 900, 700, 0.0);
    start_effect(fx, "fireworks", 900, 700, 0.0);
    start_effect(fx, "snow", 900, 700, 0.0);
    start_effect(fx, "sparkle", 900, 700, 0.0);
    run(fx, 0.0, 3.0);
    return fx;
  };
  const Effects a = play(5), b = play(5), c = play(6);
  ASSERT_EQ(a.particles.size(), b.particles.size());
  for (std::size_t i = 0; i < a.particles.size(); ++i) {
    EXPECT_EQ(a.particles[i].x, b.particles[i].x);
    EXPECT_EQ(a.particles[i].y, b.particles[i].y);
  }
  EXPECT_EQ(a.rng.s, b.rng.s);
  EXPECT_NE(a.rng.s, c.rng.s);
}

}  // namespace
}  // namespace perchkin
