// Placing props, the prop pass and what props give off each tick.
#include "props_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace perchkin {
namespace {

using test::count_color;
using test::fill;
using test::floor_at;
using test::make_buddy;
using test::make_effects;

std::uint32_t place(Effects& fx, PropKind kind, double x, double y, double now = 0.0) {
  return place_prop(fx, default_placement(kind, x, y), now).value();
}

const Prop* find_prop(const Effects& fx, std::uint32_t id) {
  for (const Prop& p : fx.props) {
    if (p.id == id) return &p;
  }
  return nullptr;
}

TEST(Placement, EndsAreOrderedAndBadInputIsTamed) {
  Effects fx = make_effects();
  PropPlacement platform = default_placement(PropKind::platform, 500, 300);
  platform.x2 = 200;
  platform.y2 = 310;
  const std::uint32_t ledge = *place_prop(fx, platform, 0.0);
  EXPECT_EQ(find_prop(fx, ledge)->x, 200.0);
  EXPECT_EQ(find_prop(fx, ledge)->y, 310.0);
  EXPECT_EQ(find_prop(fx, ledge)->x2, 500.0);

  PropPlacement huge = default_placement(PropKind::fire, 0, 0);
  huge.size = 1e300;
  huge.ttl = -5;
  const Prop* big = find_prop(fx, *place_prop(fx, huge, 0.0));
  EXPECT_EQ(big->size, kMaxPropSize);
  EXPECT_EQ(big->ttl, 0.0);
  EXPECT_NE(big->id, ledge);

  const std::size_t before = fx.props.size();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_FALSE(place_prop(fx, default_placement(PropKind::bomb, inf, 0), 0.0));
  EXPECT_EQ(fx.props.size(), before);
}

TEST(PropPass, PropsExpireAfterTheirTtlButNotWithTtlZero) {
  Effects fx = make_effects();
  Crew crew;
  const std::uint32_t fire = place(fx, PropKind::fire, 100, 100, 1.0);  // 25 s
  const std::uint32_t bomb = place(fx, PropKind::bomb, 100, 100, 1.0);  // 0: until it goes off
  prop_pass(fx, crew, {}, 25.99);
  EXPECT_NE(find_prop(fx, fire), nullptr);
  prop_pass(fx, crew, {}, 26.0);
  EXPECT_EQ(find_prop(fx, fire), nullptr);
  EXPECT_NE(find_prop(fx, bomb), nullptr);
}

TEST(PropPass, CloudPutsOutTheFiresBelowItWithSteamBeforeTheyBurn) {
  Effects fx = make_effects();
  Crew crew;
  crew.buddies = {make_buddy(0, 500, 800), make_buddy(1, 1300, 800)};
  const std::uint32_t doused = place(fx, PropKind::fire, 500, 800);
  const std::uint32_t far = place(fx, PropKind::fire, 1300, 800);   // beyond 0.6 S sideways
  const std::uint32_t above = place(fx, PropKind::fire, 560, 500);  // above the cloud
  place(fx, PropKind::cloud, 590, 600);                             // S 160: reach 96 px

  const std::vector<HazardHit> hits = prop_pass(fx, crew, {}, 0.0);
  EXPECT_EQ(find_prop(fx, doused), nullptr);
  EXPECT_NE(find_prop(fx, far), nullptr);
  EXPECT_NE(find_prop(fx, above), nullptr);
  ASSERT_EQ(hits.size(), 1u);  // only the buddy in the fire that still burns
  EXPECT_EQ(hits[0].buddy_id, 1u);
  ASSERT_EQ(fx.entries.size(), 1u);
  EXPECT_EQ(fx.entries[0].kind, PropEntry::Kind::steam);
  show_prop_entries(fx);
  EXPECT_EQ(count_color(fx, 0xD9DEE5), 10u);
}

TEST(PropPass, FireBurnsTouchingBuddiesOnceAndSendsThemAway) {
  Effects fx = make_effects();
  Crew crew;
  // Fire S 70 at (1000, 900): reach |dx| < 31.5 + 4 unit, 816 < y <= 900 + 6 unit.
  crew.buddies = {make_buddy(0, 1020, 900), make_buddy(1, 990, 850), make_buddy(2, 1000, 900),
                  make_buddy(3, 1000, 900), make_buddy(4, 1060, 900), make_buddy(5, 1000, 925),
                  make_buddy(6, 1000, 810)};
  crew.buddies[2].motion.mode = BuddyMode::held;
  crew.buddies[3].mind.hazard_ready = 5.0;  // burned recently
  place(fx, PropKind::fire, 1000, 900);
  place(fx, PropKind::fire, 1010, 900);  // an overlapping fire still burns each buddy once

  const std::vector<HazardHit> hits = prop_pass(fx, crew, {}, 1.0);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].buddy_index, 0u);
  EXPECT_EQ(hits[0].away_dir, 1.0);
  EXPECT_EQ(hits[1].buddy_index, 1u);
  EXPECT_EQ(hits[1].away_dir, -1.0);
  crew.buddies[3].mind.hazard_ready = 1.0;
  EXPECT_EQ(prop_pass(fx, crew, {}, 1.0).size(), 3u);
}

TEST(PropPass, BombFallsLandsLightsAndExplodesThreeSecondsLater) {
  Effects fx = make_effects();
  Crew crew;  // size 9, scale 1: u = 9, so the bomb gains 39 px/s a tick
  crew.buddies = {make_buddy(0, 350, 1000), make_buddy(1, 250, 1000), make_buddy(2, 900, 1000),
                  make_buddy(3, 300, 1000)};
  crew.buddies[3].motion.mode = BuddyMode::held;
  const std::vector<Support> surfaces = {floor_at(1000)};
  const std::uint32_t id = place(fx, PropKind::bomb, 300, 100);

  double t = 0.0;
  prop_pass(fx, crew, surfaces, t);
  EXPECT_NEAR(find_prop(fx, id)->y, 100.65, 1e-9);
  while (!find_prop(fx, id)->lit()) {
    t += test::kTick;
    ASSERT_TRUE(prop_pass(fx, crew, surfaces, t).empty());
  }
  const double lit_at = t;
  EXPECT_EQ(find_prop(fx, id)->y, 980.0);  // resting on its body radius 0.4 S
  std::vector<HazardHit> hits;
  while (hits.empty() && t < lit_at + 4.0) {
    t += test::kTick;
    hits = prop_pass(fx, crew, surfaces, t);
  }
  EXPECT_NEAR(t - lit_at, 3.0, test::kTick);
  EXPECT_EQ(find_prop(fx, id), nullptr);
  // Two within 4 S = 200 px, d = 50: speed = 4 (150 + 700 * 0.75) = 2700 px/s, away from it.
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].kind, HazardHit::Kind::blast);
  EXPECT_NEAR(hits[0].vx, 2700.0, 1e-9);
  EXPECT_NEAR(hits[0].vy, -2430.0, 1e-9);
  EXPECT_NEAR(hits[1].vx, -2700.0, 1e-9);
  show_prop_entries(fx);
  EXPECT_EQ(fx.rings.size(), 2u);
  EXPECT_EQ(fx.particles.size(), 70u + 12u + 1u);
  EXPECT_EQ(fx.particles.back().text, "BOOM!");
}

TEST(PropPass, BombRestsOnTheFirstLedgeBelowAndIsLostBelowEverything) {
  Effects fx = make_effects();
  Crew crew;
  const std::vector<Support> surfaces = {floor_at(1000),
                                         {77, 600, 900, 500, SurfaceKind::window, {}},
                                         {78, 0, 1920, 200, SurfaceKind::ceiling, {}}};
  const std::uint32_t on_window = place(fx, PropKind::bomb, 700, 100);
  const std::uint32_t below_floor = place(fx, PropKind::bomb, 100, 1060);  // caught by the floor
  const std::uint32_t lost = place(fx, PropKind::bomb, 1950, 100);          // past every ledge
  double t = 0.0;
  for (; t < 2.0; t += test::kTick) prop_pass(fx, crew, surfaces, t);
  EXPECT_EQ(find_prop(fx, on_window)->y, 480.0);
  EXPECT_EQ(find_prop(fx, below_floor)->y, 980.0);
  EXPECT_FALSE(find_prop(fx, lost)->lit());
  for (; t < 20.0; t += test::kTick) prop_pass(fx, crew, surfaces, t);
  EXPECT_TRUE(fx.props.empty());
  EXPECT_EQ(fx.entries.size(), 2u);  // the lost one vanished without a blast
}

TEST(PropPass, BoltStrikesOnceZapsUnderItsTipAndLightsNearGround) {
  Effects fx = make_effects();
  Crew crew;
  // Bolt S 120 at (1000, 200): tip (973.6, 392); zap when |dx| < 60 and 200 < y < 464.
  crew.buddies = {make_buddy(0, 980, 440), make_buddy(1, 1040, 440), make_buddy(2, 975, 440)};
  crew.buddies[2].mind.hazard_ready = 9.0;
  const std::vector<Support> surfaces = {floor_at(440)};  // 48 px below the tip: within 0.8 S
  const std::uint32_t id = place(fx, PropKind::bolt, 1000, 200);

  EXPECT_TRUE(prop_pass(fx, crew, surfaces, 0.3).empty());
  const std::vector<HazardHit> hits = prop_pass(fx, crew, surfaces, 0.35);
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].kind, HazardHit::Kind::zap);
  EXPECT_EQ(hits[0].buddy_id, 0u);
  ASSERT_EQ(fx.entries.size(), 1u);
  EXPECT_NEAR(fx.entries[0].x, 973.6, 1e-9);
  EXPECT_NEAR(fx.entries[0].y, 392.0, 1e-9);
  ASSERT_EQ(fx.props.size(), 2u);
  EXPECT_EQ(fx.props[1].kind, PropKind::fire);
  EXPECT_EQ(fx.props[1].y, 440.0);
  EXPECT_NEAR(fx.props[1].size, 54.0, 1e-9);
  EXPECT_EQ(fx.props[1].ttl, 15.0);

  // No second strike; the new fire burns from the next tick (no reactions are applied here).
  const std::vector<HazardHit> later = prop_pass(fx, crew, surfaces, 0.4);
  ASSERT_EQ(later.size(), 1u);
  EXPECT_EQ(later[0].kind, HazardHit::Kind::burn);
  EXPECT_TRUE(find_prop(fx, id)->struck);

  Effects high = make_effects();  // ground 0.8 S or more below the tip: no fire
  place(high, PropKind::bolt, 1000, 200);
  prop_pass(high, crew, std::vector<Support>{floor_at(1080)}, 1.0);
  EXPECT_EQ(high.props.size(), 1u);
}

TEST(PropParticles, FireOfSeventyMakesOneFlameEachTickAndASecondOneInSix) {
  Effects fx = make_effects(11);
  place(fx, PropKind::fire, 800, 900);
  const int ticks = 6000;
  int doubles = 0;
  for (int i = 0; i < ticks; ++i) {
    fx.particles.clear();
    emit_prop_particles(fx, i * test::kTick);
    const std::size_t flames = count_color(fx, 0xFFE45C) + count_color(fx, 0xFFB627);
    ASSERT_TRUE(flames == 1 || flames == 2);
    doubles += flames == 2 ? 1 : 0;
  }
  EXPECT_NEAR(doubles / static_cast<double>(ticks), 1.0 / 6.0, 0.02);
}

TEST(PropParticles, CloudRainsFortyDropsASecondFromItsUnderside) {
  Effects fx = make_effects();
  fx.overlay_top = 100.0;
  place(fx, PropKind::cloud, 600, 400);  // overlay y 300
  emit_prop_particles(fx, 0.0);
  EXPECT_EQ(fx.particles.size(), 2u);  // a new cloud starts at once
  for (int i = 1; i < 60; ++i) emit_prop_particles(fx, i * test::kTick);
  EXPECT_TRUE(fx.particles.size() >= 40u && fx.particles.size() <= 42u);
  for (const Particle& p : fx.particles) {
    EXPECT_EQ(p.y, 340.0f);
    EXPECT_NEAR(p.lifetime, (1080.0 - 300.0) / 700.0, 1e-5);
  }
}

TEST(PropParticles, FuseSparksFollowTheBurningFuseAndTheCapHolds) {
  Effects fx = make_effects();
  place(fx, PropKind::bomb, 500, 500);
  fx.props[0].lit_at = 0.0;
  auto spark_y = [&](double now) {
    fx.particles.clear();
    while (fx.particles.empty()) emit_prop_particles(fx, now);
    return fx.particles[0].y;
  };
  EXPECT_NEAR(spark_y(0.0), 500.0f - 20.0f - 11.0f, 1e-3f);          // full fuse
  EXPECT_NEAR(spark_y(2.99), 500.0f - 20.0f - 11.0f * 0.05f, 1e-3f);  // down to 5 %

  fx.particles.clear();
  fill(fx, 899);
  PropPlacement inferno = default_placement(PropKind::fire, 500, 500);
  inferno.size = kMaxPropSize;
  place_prop(fx, inferno, 0.0);
  emit_prop_particles(fx, 0.0);
  EXPECT_EQ(fx.particles.size(), 900u);
}

TEST(World, ALongBusySceneStaysWithinTheCap) {
  Effects fx = make_effects(99);
  Crew crew;
  for (std::uint32_t i = 0; i < 20; ++i) crew.buddies.push_back(make_buddy(i, 100.0 * i, 1000));
  const std::vector<Support> surfaces = {floor_at(1000)};
  double t = 0.0;
  for (int tick = 0; tick < 1800; ++tick, t += test::kTick) {
    if (tick % 120 == 0) {
      for (EffectKind kind : {EffectKind::confetti, EffectKind::fireworks, EffectKind::snow})
        start_effect(fx, kind, 900, 600, t);
      place(fx, PropKind::fire, 50.0 + tick, 1000, t);
      place(fx, PropKind::cloud, 400.0 + tick, 500, t);
      place(fx, PropKind::bolt, 900.0, 300, t);
      place(fx, PropKind::bomb, 1200.0, 100, t);
    }
    prop_pass(fx, crew, surfaces, t);
    step_effects(fx, t);
    ASSERT_LE(fx.particles.size(), kMaxParticles);
  }
  EXPECT_GT(fx.particles.size(), 100u);
}

}  // namespace
}  // namespace perchkin
