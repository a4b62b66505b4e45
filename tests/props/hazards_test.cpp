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
  const auto id = place_prop(fx, default_placement(kind, x, y), now);
  EXPECT_TRUE(id.has_value());
  return id.value_or(0);
}

const Prop* find_prop(const Effects& fx, std::uint32_t id) {
  for (const Prop& p : fx.props) {
    if (p.id == id) return &p;
  }
  return nullptr;
}

std::size_t count_hits(const std::vector<HazardHit>& hits, HazardHit::Kind kind) {
  std::size_t n = 0;
  for (const HazardHit& h : hits) n += h.kind == kind ? 1 : 0;
  return n;
}

TEST(Placement, DefaultsKindsAndEvents) {
  EXPECT_EQ(parse_prop_kind("bomb"), PropKind::bomb);
  EXPECT_EQ(parse_prop_kind("Bomb"), std::nullopt);
  EXPECT_STREQ(prop_kind_name(PropKind::platform), "platform");

  const PropPlacement fire = default_placement(PropKind::fire, 1, 2);
  EXPECT_EQ(fire.size, 70.0);
  EXPECT_EQ(fire.ttl, 25.0);
  EXPECT_EQ(default_placement(PropKind::cloud, 0, 0).size, 160.0);
  EXPECT_EQ(default_placement(PropKind::bolt, 0, 0).ttl, 1.6);
  EXPECT_EQ(default_placement(PropKind::bomb, 0, 0).ttl, 0.0);
  EXPECT_EQ(default_placement(PropKind::platform, 0, 0).ttl, 30.0);

  const BuddyEvent e = placement_event(fire);
  EXPECT_EQ(e.kind, BuddyEventKind::place);
  ASSERT_NE(placement_of(e), nullptr);
  EXPECT_EQ(placement_of(e)->kind, PropKind::fire);
  EXPECT_EQ(placement_of(BuddyEvent::effect("snow", 0, 0)), nullptr);
}

TEST(Placement, IdsAreUniqueAndBadInputIsTamed) {
  Effects fx = make_effects();
  const std::uint32_t a = place(fx, PropKind::fire, 10, 10);
  const std::uint32_t b = place(fx, PropKind::fire, 10, 10);
  EXPECT_NE(a, b);

  PropPlacement platform = default_placement(PropKind::platform, 500, 300);
  platform.x2 = 200;
  platform.y2 = 310;
  const Prop* ledge = find_prop(fx, *place_prop(fx, platform, 0.0));
  ASSERT_NE(ledge, nullptr);
  EXPECT_EQ(ledge->x, 200.0);  // ends ordered by x
  EXPECT_EQ(ledge->y, 310.0);
  EXPECT_EQ(ledge->x2, 500.0);
  EXPECT_EQ(ledge->y2, 300.0);

  PropPlacement huge = default_placement(PropKind::fire, 0, 0);
  huge.size = 1e300;
  huge.ttl = -5;
  const Prop* big = find_prop(fx, *place_prop(fx, huge, 0.0));
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(big->size, kMaxPropSize);
  EXPECT_EQ(big->ttl, 0.0);

  PropPlacement nan_size = default_placement(PropKind::cloud, 0, 0);
  nan_size.size = std::nan("");
  EXPECT_EQ(find_prop(fx, *place_prop(fx, nan_size, 0.0))->size, 160.0);

  const std::size_t before = fx.props.size();
  EXPECT_FALSE(place_prop(fx, default_placement(PropKind::bomb, std::numeric_limits<double>::infinity(), 0), 0.0));
  PropPlacement open_end = default_placement(PropKind::platform, 0, 0);
  open_end.x2 = std::nan("");
  EXPECT_FALSE(place_prop(fx, open_end, 0.0));
  EXPECT_EQ(fx.props.size(), before);
}

TEST(PropPass, PropsExpireAfterTheirTtlButNotWithTtlZero) {
  Effects fx = make_effects();
  Crew crew;
  const std::uint32_t fire = place(fx, PropKind::fire, 100, 100, 1.0);     // 25 s
  const std::uint32_t ledge = place(fx, PropKind::platform, 300, 100, 1.0);  // 30 s
  PropPlacement kept = default_placement(PropKind::cloud, 700, 100);
  kept.ttl = 0;
  const std::uint32_t cloud = *place_prop(fx, kept, 1.0);

  prop_pass(fx, crew, {}, 25.99);
  EXPECT_NE(find_prop(fx, fire), nullptr);
  prop_pass(fx, crew, {}, 26.0);
  EXPECT_EQ(find_prop(fx, fire), nullptr);
  EXPECT_NE(find_prop(fx, ledge), nullptr);
  prop_pass(fx, crew, {}, 31.0);
  EXPECT_EQ(find_prop(fx, ledge), nullptr);
  prop_pass(fx, crew, {}, 1e6);
  EXPECT_NE(find_prop(fx, cloud), nullptr);
}

TEST(PropPass, CloudPutsOutTheFiresBelowItWithSteamBeforeTheyBurn) {
  Effects fx = make_effects();
  Crew crew;
  crew.buddies.push_back(make_buddy(0, 500, 800));  // standing in the doused fire
  crew.buddies.push_back(make_buddy(1, 1300, 800));  // standing in the far fire
  const std::uint32_t doused = place(fx, PropKind::fire, 500, 800);
  const std::uint32_t far = place(fx, PropKind::fire, 1300, 800);   // beyond 0.6 S sideways
  const std::uint32_t above = place(fx, PropKind::fire, 560, 500);  // above the cloud
  place(fx, PropKind::cloud, 590, 600);                             // S 160: reach 96 px

  const std::vector<HazardHit> hits = prop_pass(fx, crew, {}, 0.0);
  EXPECT_EQ(find_prop(fx, doused), nullptr);
  EXPECT_NE(find_prop(fx, far), nullptr);
  EXPECT_NE(find_prop(fx, above), nullptr);
  ASSERT_EQ(fx.entries.size(), 1u);
  EXPECT_EQ(fx.entries[0].kind, PropEntry::Kind::steam);
  EXPECT_EQ(fx.entries[0].x, 500.0);
  EXPECT_EQ(fx.entries[0].size, 70.0);

  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].buddy_id, 1u);
  EXPECT_EQ(hits[0].kind, HazardHit::Kind::burn);

  show_prop_entries(fx);
  EXPECT_TRUE(fx.entries.empty());
  EXPECT_EQ(count_color(fx, 0xD9DEE5), 10u);
  for (const Particle& p : fx.particles) {
    EXPECT_EQ(p.kind, ParticleKind::dot);
    EXPECT_LT(p.vy, 0.0f);  // steam rises
  }
}

TEST(PropPass, FireBurnsTouchingBuddiesOnceAndSendsThemAway) {
  Effects fx = make_effects();
  Crew crew;
  // Fire S 70 at (1000, 900): reach |dx| < 31.5 + 4 unit, 816 < y <= 900 + 6 unit.
  crew.buddies.push_back(make_buddy(0, 1020, 900, 4));  // right of the middle
  crew.buddies.push_back(make_buddy(1, 990, 850, 4));   // left, in the flames
  crew.buddies.push_back(make_buddy(2, 1000, 900, 4));
  crew.buddies[2].mode = BuddyMode::held;
  crew.buddies.push_back(make_buddy(3, 1000, 900, 4));
  crew.buddies[3].hazard_ready = 5.0;                   // burned recently
  crew.buddies.push_back(make_buddy(4, 1060, 900, 4));  // 50 from the second fire >= 31.5 + 16
  crew.buddies.push_back(make_buddy(5, 1000, 925, 4));  // 25 below the base, > 6 unit
  crew.buddies.push_back(make_buddy(6, 1000, 810, 4));  // above the flames
  place(fx, PropKind::fire, 1000, 900);
  place(fx, PropKind::fire, 1010, 900);  // overlapping fire: still one burn each

  const std::vector<HazardHit> hits = prop_pass(fx, crew, {}, 1.0);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].buddy_index, 0u);
  EXPECT_EQ(hits[0].away_dir, 1.0);
  EXPECT_EQ(hits[1].buddy_index, 1u);
  EXPECT_EQ(hits[1].away_dir, -1.0);

  // Once the burned buddy's hazard time is reached again, it burns again.
  crew.buddies[3].hazard_ready = 1.0;
  EXPECT_EQ(prop_pass(fx, crew, {}, 1.0).size(), 3u);
}

TEST(PropPass, BombFallsLandsLightsAndExplodesThreeSecondsLater) {
  Effects fx = make_effects();
  Crew crew;  // size 9, scale 1: u = 9, the bomb gains 39 px/s a tick
  crew.buddies.push_back(make_buddy(0, 350, 1000, 4));  // centre 50 px from the bomb
  crew.buddies.push_back(make_buddy(1, 250, 1000, 4));
  crew.buddies.push_back(make_buddy(2, 900, 1000, 4));  // out of reach (4 S = 200)
  crew.buddies.push_back(make_buddy(3, 300, 1000, 4));
  crew.buddies[3].mode = BuddyMode::held;
  const std::vector<Support> surfaces = {floor_at(1000), {77, 600, 900, 500, SurfaceKind::window, {}}};
  const std::uint32_t id = place(fx, PropKind::bomb, 300, 100);

  double t = 0.0;
  const Prop* bomb = find_prop(fx, id);
  prop_pass(fx, crew, surfaces, t);
  EXPECT_NEAR(find_prop(fx, id)->fall_speed, 39.0, 1e-9);
  EXPECT_NEAR(find_prop(fx, id)->y, 100.65, 1e-9);
  while (!(bomb = find_prop(fx, id))->lit()) {
    t += test::kTick;
    ASSERT_TRUE(prop_pass(fx, crew, surfaces, t).empty());
    ASSERT_LT(t, 10.0);
  }
  const double lit_at = t;
  EXPECT_DOUBLE_EQ(bomb->y, 1000.0 - 20.0);  // resting on its body radius 0.4 S
  EXPECT_EQ(bomb->fall_speed, 0.0);
  EXPECT_DOUBLE_EQ(bomb->lit_at, lit_at);

  std::vector<HazardHit> hits;
  while (hits.empty()) {
    t += test::kTick;
    hits = prop_pass(fx, crew, surfaces, t);
    if (hits.empty()) {
      ASSERT_NE(find_prop(fx, id), nullptr);
    }
  }
  EXPECT_GE(t - lit_at, 3.0);
  EXPECT_LT(t - lit_at, 3.0 + test::kTick + 1e-9);
  EXPECT_EQ(find_prop(fx, id), nullptr);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(count_hits(hits, HazardHit::Kind::blast), 2u);
  // d = 50 of R = 200: speed = 4 (150 + 700 * 0.75) = 2700 px/s.
  EXPECT_EQ(hits[0].buddy_id, 0u);
  EXPECT_NEAR(hits[0].vx, 2700.0, 1e-9);
  EXPECT_NEAR(hits[0].vy, -2430.0, 1e-9);
  EXPECT_EQ(hits[1].buddy_id, 1u);
  EXPECT_NEAR(hits[1].vx, -2700.0, 1e-9);
  ASSERT_EQ(fx.entries.size(), 1u);
  EXPECT_EQ(fx.entries[0].kind, PropEntry::Kind::blast);

  show_prop_entries(fx);
  EXPECT_EQ(fx.rings.size(), 2u);
  EXPECT_EQ(count_color(fx, 0x6E6E6E), 12u);
  std::size_t boom = 0;
  for (const Particle& p : fx.particles) boom += p.text == "BOOM!" ? 1 : 0;
  EXPECT_EQ(boom, 1u);
  EXPECT_EQ(fx.particles.size(), 70u + 12u + 1u);
}

TEST(PropPass, BombRestsOnTheFirstLedgeBelowAndIsLostBelowEverything) {
  Effects fx = make_effects();
  Crew crew;
  crew.buddies.push_back(make_buddy(0, 700, 300, 4));  // a buddy is no ledge
  const std::vector<Support> surfaces = {floor_at(1000),
                                         {77, 600, 900, 500, SurfaceKind::window, {}},
                                         {78, 0, 1920, 200, SurfaceKind::ceiling, {}}};
  const std::uint32_t on_window = place(fx, PropKind::bomb, 700, 100);
  const std::uint32_t below_floor = place(fx, PropKind::bomb, 100, 1060);  // caught by the floor
  const std::uint32_t lost = place(fx, PropKind::bomb, 1950, 100);          // past every ledge
  double t = 0.0;
  for (; t < 2.0; t += test::kTick) prop_pass(fx, crew, surfaces, t);
  ASSERT_NE(find_prop(fx, on_window), nullptr);
  EXPECT_EQ(find_prop(fx, on_window)->y, 480.0);
  ASSERT_NE(find_prop(fx, below_floor), nullptr);
  EXPECT_EQ(find_prop(fx, below_floor)->y, 980.0);
  EXPECT_TRUE(find_prop(fx, below_floor)->lit());
  EXPECT_FALSE(find_prop(fx, lost)->lit());
  for (; t < 20.0; t += test::kTick) prop_pass(fx, crew, surfaces, t);
  EXPECT_TRUE(fx.props.empty());
  // The two that landed went off; the lost one just vanished.
  EXPECT_EQ(fx.entries.size(), 2u);
}

TEST(PropPass, BoltStrikesOnceZapsUnderItsTipAndLightsTheGround) {
  Effects fx = make_effects();
  Crew crew;
  // Bolt S 120 at (1000, 200): tip (973.6, 392); zap when |dx| < 60 and 200 < y < 464.
  crew.buddies.push_back(make_buddy(0, 980, 440));
  crew.buddies.push_back(make_buddy(1, 1040, 440));  // 66.4 to the side
  crew.buddies.push_back(make_buddy(2, 975, 440));
  crew.buddies[2].hazard_ready = 9.0;
  const std::vector<Support> surfaces = {floor_at(440)};  // 48 px below the tip: within 0.8 S
  const std::uint32_t id = place(fx, PropKind::bolt, 1000, 200);

  EXPECT_TRUE(prop_pass(fx, crew, surfaces, 0.3).empty());
  EXPECT_TRUE(fx.entries.empty());
  const std::vector<HazardHit> hits = prop_pass(fx, crew, surfaces, 0.35);
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].kind, HazardHit::Kind::zap);
  EXPECT_EQ(hits[0].buddy_id, 0u);
  ASSERT_EQ(fx.entries.size(), 1u);
  EXPECT_EQ(fx.entries[0].kind, PropEntry::Kind::strike);
  EXPECT_NEAR(fx.entries[0].x, 973.6, 1e-9);
  EXPECT_NEAR(fx.entries[0].y, 392.0, 1e-9);

  ASSERT_EQ(fx.props.size(), 2u);
  const Prop& fire = fx.props[1];
  EXPECT_EQ(fire.kind, PropKind::fire);
  EXPECT_NEAR(fire.x, 973.6, 1e-9);
  EXPECT_EQ(fire.y, 440.0);
  EXPECT_NEAR(fire.size, 54.0, 1e-9);
  EXPECT_EQ(fire.ttl, 15.0);
  EXPECT_TRUE(find_prop(fx, id)->struck);

  // No second strike; the new fire burns from the next tick on (this test applies no reactions,
  // so the zapped buddy is still ready to be hurt).
  fx.entries.clear();
  const std::vector<HazardHit> later = prop_pass(fx, crew, surfaces, 0.4);
  EXPECT_EQ(count_hits(later, HazardHit::Kind::zap), 0u);
  EXPECT_EQ(count_hits(later, HazardHit::Kind::burn), 1u);
  EXPECT_TRUE(fx.entries.empty());

  Effects shown = make_effects();
  shown.entries.push_back({PropEntry::Kind::strike, 973.6, 392.0, 120.0});
  show_prop_entries(shown);
  EXPECT_EQ(shown.particles.size(), 16u);
  ASSERT_EQ(shown.rings.size(), 1u);
  EXPECT_EQ(shown.rings[0].color, rgba(0xFFF6A8));
}

TEST(PropPass, BoltOverFarGroundStartsNoFire) {
  Effects fx = make_effects();
  Crew crew;
  const std::vector<Support> surfaces = {floor_at(1080)};
  place(fx, PropKind::bolt, 1000, 200);
  prop_pass(fx, crew, surfaces, 1.0);
  ASSERT_EQ(fx.props.size(), 1u);
  EXPECT_EQ(fx.props[0].kind, PropKind::bolt);
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
    ASSERT_GE(flames, 1u);
    ASSERT_LE(flames, 2u);
    doubles += flames == 2 ? 1 : 0;
  }
  EXPECT_NEAR(doubles / static_cast<double>(ticks), 1.0 / 6.0, 0.02);
}

TEST(PropParticles, FlamesLeanInAndEmbersRise) {
  Effects fx = make_effects(3);
  place(fx, PropKind::fire, 500, 700);
  std::size_t embers = 0;
  for (int i = 0; i < 600; ++i) {
    fx.particles.clear();
    emit_prop_particles(fx, 0.0);
    for (const Particle& p : fx.particles) {
      if (p.color == rgba(0xFFB347)) {
        ++embers;
        EXPECT_FLOAT_EQ(p.vy, -77.0f);
        continue;
      }
      EXPECT_LT(std::abs(p.x - 500.0f), 0.238f * 70.0f);
      EXPECT_LE(p.vx * (p.x - 500.0f), 0.0f);  // towards the middle
      EXPECT_LE(p.vy, -1.4f * 70.0f);
      EXPECT_TRUE(p.shrink);
    }
  }
  EXPECT_NEAR(static_cast<double>(embers), 40.0, 18.0);  // one tick in 15
}

TEST(PropParticles, CloudRainsFortyDropsASecond) {
  Effects fx = make_effects();
  fx.overlay_top = 100.0;
  place(fx, PropKind::cloud, 600, 400);  // overlay y 300
  emit_prop_particles(fx, 0.0);
  EXPECT_EQ(fx.particles.size(), 2u);  // a new cloud starts at once
  for (int i = 1; i < 60; ++i) emit_prop_particles(fx, i * test::kTick);
  EXPECT_GE(fx.particles.size(), 40u);
  EXPECT_LE(fx.particles.size(), 42u);
  for (const Particle& p : fx.particles) {
    EXPECT_FLOAT_EQ(p.y, 340.0f);
    EXPECT_GE(p.x, 520.0f);
    EXPECT_LT(p.x, 680.0f);
    EXPECT_FLOAT_EQ(p.vy, 700.0f);
    EXPECT_NEAR(p.lifetime, (1080.0 - 300.0) / 700.0, 1e-5);
  }
}

TEST(PropParticles, FuseSparksComeFromAFuseThatBurnsDown) {
  Effects fx = make_effects();
  const std::uint32_t id = place(fx, PropKind::bomb, 500, 500);
  fx.props[0].lit_at = 0.0;
  auto tip_y = [&](double now) {
    for (int i = 0; i < 200; ++i) {
      fx.particles.clear();
      emit_prop_particles(fx, now);
      if (!fx.particles.empty()) return static_cast<double>(fx.particles[0].y);
    }
    return 0.0;
  };
  EXPECT_NEAR(tip_y(0.0), 500.0 - 20.0 - 11.0, 1e-3);         // full fuse
  EXPECT_NEAR(tip_y(2.99), 500.0 - 20.0 - 11.0 * 0.05, 1e-3);  // burnt down to 5 %
  EXPECT_NE(find_prop(fx, id), nullptr);
}

TEST(PropParticles, EmissionRespectsTheCap) {
  Effects fx = make_effects();
  fill(fx, 899);
  PropPlacement inferno = default_placement(PropKind::fire, 500, 500);
  inferno.size = kMaxPropSize;
  place_prop(fx, inferno, 0.0);
  place(fx, PropKind::cloud, 500, 100);
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
      start_effect(fx, "confetti", 900, 600, t);
      start_effect(fx, "fireworks", 900, 600, t);
      start_effect(fx, "snow", 900, 600, t);
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
