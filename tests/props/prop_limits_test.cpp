// The bound on placed props, clearing them, and the prop pass that looks only at what is near
// checked against the pass that looked at every pair.
#include "all_pairs_prop_pass.h"
#include "props_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace perchkin {
namespace {

using test::floor_at;
using test::make_buddy;
using test::make_effects;

TEST(PropCap, PlacingPastTheCapDropsTheOldestFirst) {
  Effects fx = make_effects();
  for (std::size_t i = 0; i < kMaxProps + 50; ++i) {
    PropPlacement cloud = default_placement(PropKind::cloud, 10.0 + i, 100);
    cloud.ttl = 0.0;
    ASSERT_TRUE(place_prop(fx, cloud, 0.0));
  }
  ASSERT_EQ(fx.props.size(), kMaxProps);
  EXPECT_EQ(fx.props.front().id, 50u);
  EXPECT_EQ(fx.props.back().id, kMaxProps + 49);

  // The fire a bolt lights makes room the same way.
  fx.props.back() = Prop{};
  fx.props.back().kind = PropKind::bolt;
  fx.props.back().x = 1000;
  fx.props.back().y = 200;
  fx.props.back().size = 120;
  fx.props.back().id = 9999;
  Crew crew;
  prop_pass(fx, crew, std::vector<Support>{floor_at(440)}, 1.0);
  ASSERT_EQ(fx.props.size(), kMaxProps);
  EXPECT_EQ(fx.props.front().id, 51u);
  EXPECT_EQ(fx.props.back().kind, PropKind::fire);
}

TEST(PropCap, ClearTakesEveryPropAndLaterPlacementsStay) {
  Effects fx = make_effects();
  Crew crew;
  crew.buddies = {make_buddy(0, 500, 1000), make_buddy(1, 900, 1000)};
  crew.buddies[0].push_event(default_placement(PropKind::cloud, 400, 300));
  crew.buddies[0].push_event(ClearEvent{});
  crew.buddies[1].push_event(default_placement(PropKind::fire, 900, 1000));
  place_prop(fx, default_placement(PropKind::platform, 100, 500), 0.0);
  take_buddy_events(fx, crew, 1.0);
  ASSERT_EQ(fx.props.size(), 1u);
  EXPECT_EQ(fx.props[0].kind, PropKind::fire);
}

// Random scenes on a coarse grid, so that buddies and fires often sit exactly on the edge of a
// reach: the pass must decide every one of them as the all-pairs pass did.
struct RandomScene {
  Crew crew;
  std::vector<Support> surfaces;
  Effects fx;
};

RandomScene random_scene(std::uint64_t seed) {
  RandomScene s;
  Xorshift64 r(seed);
  s.fx = make_effects(seed);
  auto grid = [&](double span, double step) { return step * std::floor(r.uniform() * span / step); };
  const int buddies = 1 + static_cast<int>(r.uniform() * 60);
  for (int i = 0; i < buddies; ++i) {
    const double unit = r.chance(0.1) ? 50.0 + grid(400, 50) : 1.0 + grid(8, 1);
    Buddy b = make_buddy(static_cast<std::uint32_t>(i), grid(2000, 5), grid(1100, 5), unit);
    if (r.chance(0.1)) b.motion.mode = BuddyMode::held;
    b.mind.hazard_ready = r.chance(0.2) ? 1e9 : 0.0;
    if (r.chance(0.03)) b.motion.x = std::numeric_limits<double>::quiet_NaN();
    s.crew.buddies.push_back(b);
  }
  s.surfaces.push_back(floor_at(1080));
  for (int i = 0; i < 4; ++i) {
    const double left = grid(1800, 10);
    s.surfaces.push_back({100 + i, left, left + 50 + grid(600, 10), 200 + grid(800, 10),
                          SurfaceKind::window, {}});
  }
  const int props = 1 + static_cast<int>(r.uniform() * 120);
  for (int i = 0; i < props; ++i) {
    const auto kind = static_cast<PropKind>(std::min(4, static_cast<int>(r.uniform() * 5)));
    PropPlacement p = default_placement(kind, grid(2000, 5), grid(1100, 5));
    if (kind == PropKind::platform) {
      p.x2 = grid(2000, 5);
      p.y2 = grid(1100, 5);
    }
    p.size = r.chance(0.05) ? 2000.0 : 10.0 + grid(300, 10);
    p.ttl = r.chance(0.5) ? 0.0 : 0.5 + grid(3, 0.5);
    place_prop(s.fx, p, grid(1, 0.1));
  }
  return s;
}

void expect_same_props(const std::vector<Prop>& a, const std::vector<Prop>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].id, b[i].id);
    EXPECT_EQ(a[i].kind, b[i].kind);
    EXPECT_EQ(a[i].x, b[i].x);
    EXPECT_EQ(a[i].y, b[i].y);
    EXPECT_EQ(a[i].size, b[i].size);
    EXPECT_EQ(a[i].fall_speed, b[i].fall_speed);
    EXPECT_EQ(a[i].lit_at, b[i].lit_at);
    EXPECT_EQ(a[i].struck, b[i].struck);
  }
}

TEST(PropPassByReach, DecidesEverythingAsTheAllPairsPassOnRandomScenes) {
  std::size_t hits_seen = 0, steam_seen = 0;
  for (std::uint64_t seed = 1; seed <= 150; ++seed) {
    RandomScene scene = random_scene(seed);
    Effects reference = scene.fx;
    double t = 0.0;
    for (int tick = 0; tick < 240; ++tick, t += test::kTick) {
      const std::vector<HazardHit> got = prop_pass(scene.fx, scene.crew, scene.surfaces, t);
      const std::vector<HazardHit> want =
          test::all_pairs::all_pairs_prop_pass(reference, scene.crew, scene.surfaces, t);
      ASSERT_EQ(got.size(), want.size()) << "seed " << seed << " tick " << tick;
      for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].buddy_index, want[i].buddy_index);
        EXPECT_EQ(got[i].kind, want[i].kind);
        EXPECT_EQ(got[i].away_dir, want[i].away_dir);
        EXPECT_EQ(got[i].vx, want[i].vx);
        EXPECT_EQ(got[i].vy, want[i].vy);
      }
      ASSERT_EQ(scene.fx.entries.size(), reference.entries.size()) << "seed " << seed;
      for (std::size_t i = 0; i < reference.entries.size(); ++i) {
        EXPECT_EQ(scene.fx.entries[i].kind, reference.entries[i].kind);
        EXPECT_EQ(scene.fx.entries[i].x, reference.entries[i].x);
        EXPECT_EQ(scene.fx.entries[i].y, reference.entries[i].y);
      }
      for (const PropEntry& e : scene.fx.entries) steam_seen += e.kind == PropEntry::Kind::steam;
      hits_seen += got.size();
      scene.fx.entries.clear();
      reference.entries.clear();
      expect_same_props(scene.fx.props, reference.props);
      if (HasFailure()) return;
      // Hurt buddies wait before they can be hurt again, as the world tick would make them.
      for (const HazardHit& hit : got)
        scene.crew.buddies[hit.buddy_index].mind.hazard_ready = t + 0.5;
    }
  }
  // The scenes really exercised the decisions being compared.
  EXPECT_GT(hits_seen, 500u);
  EXPECT_GT(steam_seen, 100u);
}

}  // namespace
}  // namespace perchkin
