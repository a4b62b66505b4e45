// Screen effects, particle motion, the particle cap, timed bursts, snow and buddy-event visuals.
#include "props_fixture.h"

#include <gtest/gtest.h>

#include <limits>

namespace perchkin {
namespace {

using test::count_color;
using test::count_kind;
using test::fill;
using test::make_buddy;
using test::make_effects;

Particle shell_at(double x, double y) {
  Particle shell = make_particle(ParticleKind::rect, rgba(0xFFE9A8), x, y, 0, 0, 0.01);
  shell.burst = rgba(0x4D9DFF);
  return shell;
}

TEST(ParticleCap, SpawnsStopAtNineHundred) {
  Effects fx = make_effects();
  fill(fx, 850);
  start_effect(fx, EffectKind::confetti, 500, 500, 0.0);
  EXPECT_EQ(fx.particles.size(), 900u);  // 50 of 120
  start_effect(fx, EffectKind::hearts, 500, 500, 0.0);
  add_puff(fx, 1, 1, 10, 1, rgba(0xFFFFFF));
  EXPECT_EQ(fx.particles.size(), 900u);
}

TEST(ParticleCap, RocketEndingNearTheCapStartsOnlyTwentySparks) {
  Effects fx = make_effects();
  fill(fx, 879);
  fx.particles.push_back(shell_at(300, 200));  // 880 alive
  step_particles(fx);
  // The shell held its place while its sparks started, then went.
  EXPECT_EQ(fx.particles.size(), 899u);
  EXPECT_EQ(count_kind(fx, ParticleKind::dot), 879u + 20u);

  Effects free = make_effects();
  free.particles.push_back(shell_at(300, 200));
  step_particles(free);
  ASSERT_EQ(free.particles.size(), 36u);
  for (const Particle& p : free.particles) {
    EXPECT_EQ(p.x, 300.0f);
    EXPECT_TRUE(p.color == rgba(0x4D9DFF) || p.color == rgba(0xFFFFFF));
  }
  EXPECT_GT(count_color(free, 0x4D9DFF), 12u);  // about two thirds in the shell's colour
}

TEST(ParticleMotion, DragGravityAndExpiry) {
  Effects fx = make_effects();
  Particle dragged = make_particle(ParticleKind::rect, rgba(1), 0, 0, 120, -60, 10);
  dragged.drag = 2.2f;
  Particle falling = make_particle(ParticleKind::rect, rgba(2), 0, 0, 120, 0, 10);
  falling.ay = 600.0f;
  Particle braked = make_particle(ParticleKind::rect, rgba(3), 0, 0, 100, 0, 10);
  braked.drag = 200.0f;  // stops dead rather than flying backwards
  Particle brief = make_particle(ParticleKind::rect, rgba(4), 0, 0, 0, 0, 0.02);
  fx.particles = {dragged, falling, brief, braked};
  step_particles(fx);
  const float keep = 1.0f - 2.2f / 60.0f;
  EXPECT_FLOAT_EQ(fx.particles[0].vx, 120.0f * keep);
  EXPECT_FLOAT_EQ(fx.particles[0].vy, -60.0f * keep);
  EXPECT_FLOAT_EQ(fx.particles[1].vx, 120.0f);  // no drag keeps all of it
  EXPECT_FLOAT_EQ(fx.particles[1].vy, 10.0f);   // gravity acts before the move
  EXPECT_FLOAT_EQ(fx.particles[1].y, 10.0f / 60.0f);
  step_particles(fx);
  ASSERT_EQ(fx.particles.size(), 3u);  // the 0.02 s one went; the order holds
  EXPECT_EQ(fx.particles[2].color, rgba(3));
  EXPECT_EQ(fx.particles[2].vx, 0.0f);

  fx.rings.push_back({10, 10, 0, 300, rgba(0xFFF6A8), 3, 0, 0.35f});
  for (int i = 0; i < 20; ++i) step_rings(fx);
  EXPECT_NEAR(fx.rings[0].radius, 100.0f, 1e-3f);
  step_rings(fx);
  step_rings(fx);
  EXPECT_TRUE(fx.rings.empty());
}

TEST(Effects, UnknownNamesAndUnusablePointsAreHarmless) {
  Effects fx = make_effects(7);
  const std::uint64_t state = fx.rng.s;
  for (const char* name : {"explosion", "", "Confetti"}) EXPECT_FALSE(parse_effect(name)) << name;
  start_effect(fx, EffectKind::snow, 100, std::numeric_limits<double>::infinity(), 0.0);
  EXPECT_TRUE(fx.particles.empty());
  EXPECT_TRUE(fx.bursts.empty());
  EXPECT_EQ(fx.snow_until, 0.0);
  EXPECT_EQ(fx.rng.s, state);

  // A far-off point saturates the f32 fields instead of overflowing them.
  start_effect(fx, EffectKind::confetti, 1e300, -1e300, 0.0);
  EXPECT_EQ(fx.particles[0].x, 3.0e38f);
  // A flood of requests cannot grow the waiting list without end.
  for (int i = 0; i < 1000; ++i) start_effect(fx, EffectKind::sparkle, 100, 100, 0.0);
  EXPECT_EQ(fx.bursts.size(), kMaxTimedBursts);
}

TEST(Effects, SnowStartedTwiceFallsUntilEightSecondsAfterTheSecond) {
  Effects fx = make_effects();
  start_effect(fx, EffectKind::snow, 0, 0, 1.0);
  start_effect(fx, EffectKind::snow, 0, 0, 4.0);
  EXPECT_DOUBLE_EQ(fx.snow_until, 12.0);
  for (double t = 10.0; t < 11.0; t += test::kTick) step_snow(fx, t);
  EXPECT_GT(fx.particles.size(), 15u);  // about one tick in two
  EXPECT_LT(fx.particles.size(), 45u);
  for (const Particle& p : fx.particles) {
    EXPECT_EQ(p.y, -10.0f);
    EXPECT_TRUE(p.x >= 0.0f && p.x < 1920.0f);
  }
  fx.particles.clear();
  for (double t = 12.0; t < 14.0; t += test::kTick) step_snow(fx, t);
  EXPECT_TRUE(fx.particles.empty());
}

TEST(Effects, FireworksNearTheLeftEdgeStayInsideTheMargin) {
  for (std::uint64_t seed = 1; seed < 40; ++seed) {
    Effects fx = make_effects(seed);
    start_effect(fx, EffectKind::fireworks, 10, 500, 2.0);
    ASSERT_EQ(fx.bursts.size(), 5u);
    EXPECT_DOUBLE_EQ(fx.bursts[4].start, 3.4);
    for (const TimedBurst& b : fx.bursts) EXPECT_TRUE(b.x >= 40.0 && b.x <= 1880.0);
  }
  Effects narrow = make_effects();  // no room between the margins: no broken clamp
  narrow.width = 50.0;
  start_effect(narrow, EffectKind::fireworks, 25, 10, 0.0);
  for (const TimedBurst& b : narrow.bursts) EXPECT_EQ(b.x, 40.0);
}

TEST(Effects, RocketsRiseFromTheBottomAndBurstAroundMidHeight) {
  for (std::uint64_t seed = 1; seed < 20; ++seed) {
    Effects fx = make_effects(seed);
    fx.bursts.push_back({0.0, TimedBurst::Kind::rocket, 900, 0});
    start_due_bursts(fx, 0.0);
    ASSERT_EQ(fx.particles.size(), 1u);
    EXPECT_EQ(fx.particles[0].y, 1080.0f);
    float last_y = 0.0f;
    while (fx.particles.size() == 1) {
      last_y = fx.particles[0].y;
      step_particles(fx);
    }
    ASSERT_EQ(fx.particles.size(), 36u);
    // A climb of 0.9-1.15 heights braked to 55 % ends 50-63 % of the way up.
    EXPECT_LT(last_y, 0.52f * 1080.0f);
    EXPECT_GT(last_y, 0.35f * 1080.0f);
  }
}

TEST(Effects, SparkleTwinklesStartOneAfterAnother) {
  Effects fx = make_effects();
  start_effect(fx, EffectKind::sparkle, 500, 400, 10.0);
  ASSERT_EQ(fx.bursts.size(), 18u);
  start_due_bursts(fx, 10.1);  // those due at 10.0, 10.04 and 10.08
  EXPECT_EQ(count_kind(fx, ParticleKind::sparkle), 3u);
  ASSERT_EQ(fx.bursts.size(), 15u);
  EXPECT_NEAR(fx.bursts.front().start, 10.12, 1e-12);
  for (double t = 10.1; t < 11.0; t += test::kTick) step_effects(fx, t);
  EXPECT_TRUE(fx.bursts.empty());
}

TEST(BuddyEvents, EachKindShowsAtTheBuddyInOverlayPixels) {
  Effects fx = make_effects();
  fx.overlay_left = -1920.0;  // a monitor left of the primary one
  Crew crew;
  Buddy b = make_buddy(3, -1000, 800, 4);
  b.events = {
      HeartEvent{}, SymbolEvent{"!"}, SmokeEvent{}, DizzyEvent{}, DustEvent{b.motion.x, b.motion.y},
      ClearEvent{}};
  crew.buddies.push_back(b);
  take_buddy_events(fx, crew, 0.0);
  EXPECT_EQ(crew.buddies[0].events.size(), 6u);  // the world tick clears them
  ASSERT_EQ(fx.particles.size(), 1u + 1u + 1u + 5u + 2u);
  EXPECT_NEAR(fx.particles[0].x, 920.0f, 24.0f);
  EXPECT_EQ(fx.particles[0].y, 760.0f);
  EXPECT_EQ(fx.particles[1].color, rgba(0xE8443A));
  EXPECT_EQ(fx.particles[2].color, rgba(0x5E5E5E));
  for (std::size_t i = 3; i < 8; ++i) EXPECT_LT(fx.particles[i].vy, 0.0f);  // stars fan upward
  EXPECT_EQ(count_color(fx, 0xC9C1B8), 2u);
}

TEST(BuddyEvents, PuffsKicksExplosionsEffectsAndPlacement) {
  Effects fx = make_effects();
  fx.overlay_left = 100.0;
  Crew crew;
  Buddy b = make_buddy(9, 600, 700, 3);
  b.events = {PuffEvent{500, 900, 0.55, false}, PuffEvent{500, 900, 1e12, true},
              ExplodeEvent{2.6}, default_placement(PropKind::bomb, 800, 200)};
  crew.buddies.push_back(b);
  const RenderRequests requests = take_buddy_events(fx, crew, 3.0);
  EXPECT_EQ(fx.particles.size(), 8u + 13u);  // a stray strength is clamped, not a flood
  ASSERT_EQ(requests.squash_kicks.size(), 1u);  // landings only
  EXPECT_DOUBLE_EQ(requests.squash_kicks[0].dv, 9.0 * 0.55 + 2.0);
  ASSERT_EQ(requests.bursts.size(), 1u);
  EXPECT_DOUBLE_EQ(requests.bursts[0].duration, 2.6);
  EXPECT_EQ(fx.bursts.size(), 18u);
  ASSERT_EQ(fx.props.size(), 1u);
  EXPECT_EQ(fx.props[0].placed_at, 3.0);

  fx.particles.clear();
  RenderRequests unused;
  EXPECT_TRUE(take_buddy_event(fx, b, EffectEvent{EffectKind::hearts, 1100, 450}, 3.0, unused));
  EXPECT_FALSE(take_buddy_event(fx, b, InkEvent{}, 3.0, unused));
  ASSERT_EQ(count_kind(fx, ParticleKind::heart), 14u);
  EXPECT_EQ(fx.particles[0].x, 1000.0f);
}

TEST(Marks, TrailPuffsShareABudgetAndSleepMarksFloat) {
  Effects fx = make_effects();
  const std::vector<TrailPuff> puffs(1000, TrailPuff{300, 300, 2});
  add_trail_puffs(fx, puffs, 0);
  EXPECT_TRUE(fx.particles.empty());
  // However many buddies move, about six trail particles start per tick.
  std::size_t total = 0;
  for (int tick = 0; tick < 100; ++tick) {
    fx.particles.clear();
    add_trail_puffs(fx, puffs, tick % 2 == 0 ? 1 : 2);
    total += fx.particles.size();
    EXPECT_EQ(count_kind(fx, tick % 2 == 0 ? ParticleKind::sparkle : ParticleKind::heart),
              fx.particles.size());
  }
  EXPECT_GT(total, 450u);
  EXPECT_LT(total, 750u);

  fx.particles.clear();
  const SleepMark marks[] = {{100, 200, 3}};
  add_sleep_marks(fx, marks);
  ASSERT_EQ(fx.particles.size(), 1u);
  EXPECT_TRUE(fx.particles[0].text == "Z" || fx.particles[0].text == "z");
  EXPECT_EQ(fx.particles[0].vy, -42.0f);
}

}  // namespace
}  // namespace perchkin
