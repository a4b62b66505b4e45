#include "crowd/crew.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace perchkin {
namespace {

Crew make_crew(std::uint64_t seed = 42) {
  Crew crew;
  crew.rng = Xorshift64(seed);
  return crew;
}

TEST(Xorshift, StepAndUniform) {
  Xorshift64 r(1);
  EXPECT_EQ(r.next(), 1082269761u);
  Xorshift64 a(7), b(7);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(a.uniform(), b.uniform());
  Xorshift64 c(99);
  for (int i = 0; i < 10000; ++i) {
    const double u = c.uniform();
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
    ASSERT_LT(c.pick(10), 10u);
  }
  EXPECT_EQ(group_seed(0), (0xABCDull * 0x9E3779B97F4A7C15ull) | 1);
}

TEST(CrewAdd, ColoursInTableOrderThenRandom) {
  Crew crew = make_crew();
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(crew.add(std::nullopt, !crew.buddies.empty()).ok());
  for (std::size_t i = 0; i < 10; ++i) EXPECT_EQ(crew.buddies[i].color, kBuddyColors[i].name);
  ASSERT_TRUE(crew.add(std::nullopt, true).ok());
  const std::string eleventh = crew.buddies[10].color;
  // The same seed picks the same "random" colour.
  Crew again = make_crew();
  for (int i = 0; i < 11; ++i) ASSERT_TRUE(again.add(std::nullopt, true).ok());
  EXPECT_EQ(again.buddies[10].color, eleventh);
}

TEST(CrewAdd, FirstFreeColourAfterRemoval) {
  Crew crew = make_crew();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(crew.add(std::nullopt, false).ok());
  ASSERT_TRUE(crew.remove(1).ok());  // blue is free again
  ASSERT_TRUE(crew.add(std::nullopt, false).ok());
  EXPECT_EQ(crew.buddies.back().color, "blue");
}

TEST(CrewAdd, UnknownColourAndLimitFailExactly) {
  Crew crew = make_crew();
  crew.max_buddies = 2;
  Status s = crew.add(std::string_view("Orange"), false);
  EXPECT_EQ(s.error,
            "color must be one of: orange, blue, green, purple, pink, yellow, teal, red, white, black");
  EXPECT_TRUE(crew.buddies.empty());
  ASSERT_TRUE(crew.add(std::string_view("teal"), false).ok());
  ASSERT_TRUE(crew.add(std::nullopt, true).ok());
  EXPECT_EQ(crew.add(std::nullopt, true).error, "there can be at most 2 buddies");
  EXPECT_EQ(crew.next_id, 2u);
}

TEST(CrewAdd, FlingFromFirst) {
  Crew crew = make_crew();
  crew.size = 3;
  ASSERT_TRUE(crew.add(std::nullopt, false).ok());
  crew.buddies[0].motion.x = 500;
  crew.buddies[0].motion.y = 1080;
  crew.buddies[0].mind.started = true;
  ASSERT_TRUE(crew.add(std::nullopt, true).ok());
  const Buddy& b = crew.buddies[1];
  EXPECT_EQ(b.motion.unit, 3.0);
  EXPECT_EQ(b.motion.x, 500.0);
  EXPECT_EQ(b.motion.y, 1080.0 - 15.0);
  EXPECT_LT(b.motion.vy, -150.0 * 3 + 1e-9);
  EXPECT_GE(std::abs(b.motion.vx), 60.0 * 3);
  EXPECT_TRUE(b.motion.thrown);
  EXPECT_EQ(b.motion.air_drag, 0.15);
  EXPECT_EQ(b.motion.facing, b.motion.vx >= 0 ? 1 : -1);
  EXPECT_NEAR(b.motion.flight_peak, std::hypot(b.motion.vx, b.motion.vy) / 3.0, 1e-12);
  ASSERT_EQ(crew.buddies[0].events.size(), 1u);
  const auto* sparkle = std::get_if<EffectEvent>(&crew.buddies[0].events[0]);
  ASSERT_NE(sparkle, nullptr);
  EXPECT_EQ(sparkle->kind, EffectKind::sparkle);
  EXPECT_EQ(sparkle->y, 1080.0 - 30.0);
  // Buddies get distinct generators.
  EXPECT_NE(crew.buddies[0].rng.s, crew.buddies[1].rng.s);
}

// Added before the first buddy's first step, when it stands nowhere yet: the fling waits and
// starts from wherever the first buddy has been placed.
TEST(CrewAdd, FlingFromAFirstBuddyNotYetPlaced) {
  Crew crew = make_crew();
  crew.size = 3;
  ASSERT_TRUE(crew.add(std::nullopt, false).ok());
  ASSERT_TRUE(crew.add(std::nullopt, true).ok());
  ASSERT_TRUE(crew.add(std::nullopt, true).ok());
  EXPECT_TRUE(crew.buddies[0].events.empty());
  for (std::size_t i : {1u, 2u}) {
    const Buddy& b = crew.buddies[i];
    EXPECT_TRUE(b.motion.fling_pending);
    EXPECT_TRUE(b.motion.thrown);
    EXPECT_LT(b.motion.vy, 0.0);
  }
  Buddy& first = crew.buddies[0];
  first.mind.started = true;  // its first step dropped it in here
  first.motion.x = 1442;
  first.motion.y = 30;
  crew.place_fling(crew.buddies[1]);
  EXPECT_FALSE(crew.buddies[1].motion.fling_pending);
  EXPECT_EQ(crew.buddies[1].motion.x, 1442.0);
  EXPECT_EQ(crew.buddies[1].motion.y, 30.0 - 15.0);
  ASSERT_EQ(first.events.size(), 1u);
  EXPECT_TRUE(std::holds_alternative<EffectEvent>(first.events[0]));

  // With the first buddy gone meanwhile it drops in like a first buddy.
  crew.buddies.erase(crew.buddies.begin(), crew.buddies.begin() + 2);
  crew.place_fling(crew.buddies[0]);
  EXPECT_FALSE(crew.buddies[0].motion.thrown);
  EXPECT_EQ(crew.buddies[0].motion.x, 0.0);
  EXPECT_EQ(crew.buddies[0].motion.vx, 0.0);
}

TEST(CrewRemove, MessagesIdsAndPartners) {
  Crew crew = make_crew();
  ASSERT_TRUE(crew.add(std::nullopt, false).ok());
  EXPECT_EQ(crew.remove(0).error, "the last buddy stays");
  EXPECT_EQ(crew.buddies.size(), 1u);
  ASSERT_TRUE(crew.add(std::nullopt, true).ok());
  ASSERT_TRUE(crew.remove(1).ok());
  ASSERT_TRUE(crew.add(std::nullopt, true).ok());
  EXPECT_EQ(crew.ids_text(), "0,2");  // ids are never reused
  ASSERT_TRUE(crew.add(std::nullopt, true).ok());
  ASSERT_TRUE(crew.add(std::nullopt, true).ok());
  ASSERT_TRUE(crew.remove(3).ok());
  EXPECT_EQ(crew.remove(99).error, "no buddy with id 99; ids are 0,2,4");
  crew.buddies[0].mind.partner = 4;
  crew.buddies[0].mind.chase_until = 50;
  crew.buddies[0].motion.x = 10;
  crew.buddies[2].motion.x = 300;
  crew.buddies[2].motion.unit = 2;
  ASSERT_TRUE(crew.remove(4).ok());
  EXPECT_FALSE(crew.buddies[0].mind.partner);
  EXPECT_EQ(crew.buddies[0].mind.chase_until, 0.0);
  ASSERT_EQ(crew.removal_marks.size(), 3u);
  EXPECT_EQ(crew.removal_marks[2].x, 300.0);
  EXPECT_EQ(crew.removal_marks[2].radius, 24.0);
  EXPECT_EQ(crew.snapshot.size(), 2u);
}

TEST(CrewTruncate, DropsSupportsOnRemovedBuddies) {
  Crew crew = make_crew();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(crew.add(std::nullopt, false).ok());
  crew.buddies[0].motion.mode = BuddyMode::idle;
  crew.buddies[0].motion.support = Support{buddy_platform_id(2), 0, 10, 5, SurfaceKind::buddy, {}};
  crew.buddies[1].mind.partner = 2;
  crew.truncate(2);
  EXPECT_EQ(crew.buddies.size(), 2u);
  EXPECT_FALSE(crew.buddies[0].motion.support);
  EXPECT_EQ(crew.buddies[0].motion.mode, BuddyMode::fall);
  EXPECT_FALSE(crew.buddies[1].mind.partner);
  crew.truncate(0);
  EXPECT_TRUE(crew.buddies.empty());
}

TEST(CrewResize, ClampsAndPuffsGroundedOnly) {
  Crew crew = make_crew();
  crew.scale = 1.5;
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(crew.add(std::nullopt, false).ok());
  crew.buddies[0].motion.mode = BuddyMode::idle;
  std::vector<std::size_t> all = {0, 1};
  crew.resize(all, 0.2);
  EXPECT_EQ(crew.buddies[0].motion.unit, 2.0);  // round(1 * 1.5)
  crew.resize(all, 50);
  EXPECT_EQ(crew.buddies[0].motion.unit, 18.0);  // size 12
  EXPECT_EQ(crew.buddies[0].events.size(), 2u);
  EXPECT_TRUE(crew.buddies[1].events.empty());
  crew.world.unleashed = true;
  crew.scale = 10;
  crew.resize(all, 1000);
  EXPECT_EQ(crew.buddies[1].motion.unit, 2000.0);
}

TEST(CrewByX, StableWithEqualAndNaNPositions) {
  for (std::size_t n : {5u, 20u, 21u, 200u}) {
    Crew crew = make_crew();
    crew.max_buddies = 1000;
    for (std::size_t i = 0; i < n; ++i) ASSERT_TRUE(crew.add(std::nullopt, false).ok());
    std::vector<std::size_t> idx;
    for (std::size_t i = 0; i < n; ++i) {
      idx.push_back(n - 1 - i);
      crew.buddies[i].motion.x = static_cast<double>(i % 3);
    }
    crew.buddies[1].motion.x = std::numeric_limits<double>::quiet_NaN();
    crew.buddies[2].motion.x = -std::numeric_limits<double>::quiet_NaN();
    crew.buddies[3].motion.x = -0.0;
    const auto sorted = crew.by_x(idx);
    ASSERT_EQ(sorted.size(), n);
    // -NaN first, then -0 before +0 (total order), and NaN last.
    EXPECT_EQ(sorted.front(), 2u) << n;
    EXPECT_EQ(sorted.back(), 1u) << n;
    EXPECT_EQ(sorted[1], 3u) << n;
    for (std::size_t i = 2; i + 1 < n - 1; ++i) {
      const double a = crew.buddies[sorted[i]].motion.x, b = crew.buddies[sorted[i + 1]].motion.x;
      ASSERT_LE(a, b);
      // Equal positions keep the input order, which was descending index.
      if (a == b) {
        ASSERT_GT(sorted[i], sorted[i + 1]);
      }
    }
  }
}

TEST(BuddyStatus, RoundsAndNamesTheAct) {
  Buddy b;
  b.id = 3;
  b.color = "teal";
  b.motion.x = -0.4;
  b.motion.y = 2.5;
  b.motion.mode = BuddyMode::act;
  b.mind.act = Act::dance;
  b.motion.support = Support{kCeilingId, 0, 1, 0, SurfaceKind::ceiling, {}};
  EXPECT_EQ(b.status().dump(),
            R"({"id":3,"mode":"dance","on":"ceiling","tint":"teal","x":0,"y":3})");
  b.motion.support.reset();
  b.motion.mode = BuddyMode::fall;
  b.motion.x = std::numeric_limits<double>::infinity();
  EXPECT_EQ(b.status().dump(),
            R"({"id":3,"mode":"fall","on":"air","tint":"teal","x":null,"y":3})");
}

}  // namespace
}  // namespace perchkin
