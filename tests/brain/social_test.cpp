#include "brain/social.h"
#include "brain/physics.h"
#include "brain/speech.h"
#include "brain_fixture.h"

#include <gtest/gtest.h>

namespace perchkin {
namespace {

using test::floor_support;

// A crew of n idle, chatty buddies on one floor, `gap` units apart.
Crew social_crew(std::size_t n, double gap, double unit = 4.0) {
  Crew crew;
  crew.seed(777);
  crew.world.w.social = true;
  crew.world.w.chaos = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    (void)crew.add(std::nullopt, false);
    Buddy& b = crew.buddies.back();
    b.unit = unit;
    b.x = 200.0 + static_cast<double>(i) * gap * unit;
    b.y = 1080.0;
    b.support = floor_support();
    b.mode = BuddyMode::idle;
    b.act_time = 100.0;
    b.world.chatty = true;
  }
  return crew;
}

bool anyone_playing(const Crew& crew) {
  for (const Buddy& b : crew.buddies)
    if (b.mode != BuddyMode::idle || b.bubble_serial != 0 || !b.delayed_lines.empty()) return true;
  return false;
}

TEST(SocialTick, SettingOffKeepsTheScheduleButPlaysNothing) {
  Crew crew = social_crew(2, 50);
  crew.world.w.social = false;
  double last = crew.next_social;
  for (double now = 0; now < 200; now += 1.0 / 60.0) {
    social_tick(crew, now);
    if (crew.next_social != last) {
      EXPECT_GE(crew.next_social - now, 8.0 - 1e-9);
      EXPECT_LE(crew.next_social - now, 20.0 + 1e-9);
      last = crew.next_social;
    }
  }
  EXPECT_GT(crew.next_social, 180.0);
  EXPECT_FALSE(anyone_playing(crew));
}

TEST(SocialTick, NeedsTwoBuddiesWithinReach) {
  Crew alone = social_crew(1, 0);
  Crew far = social_crew(2, 300);
  for (double now = 0; now < 300; now += 0.5) {
    social_tick(alone, now);
    social_tick(far, now);
  }
  EXPECT_FALSE(anyone_playing(alone));
  EXPECT_FALSE(anyone_playing(far));
  Crew near = social_crew(2, 100);
  for (double now = 0; now < 300 && !anyone_playing(near); now += 0.5) social_tick(near, now);
  EXPECT_TRUE(anyone_playing(near));
}

TEST(SocialTick, PlayfulnessSetsThePace) {
  Crew crew = social_crew(1, 0);
  crew.world.w.playful = 0.2;
  double lo = 1e9, hi = 0;
  for (int i = 0; i < 2000; ++i) {
    const double now = crew.next_social;
    social_tick(crew, now);
    lo = std::min(lo, crew.next_social - now);
    hi = std::max(hi, crew.next_social - now);
  }
  EXPECT_GE(lo, 40.0);
  EXPECT_LE(hi, 100.0);
  EXPECT_LT(lo, 42.0);
  EXPECT_GT(hi, 98.0);
}

TEST(Reactions, FivePokesWithinFourSeconds) {
  Buddy b = test::standing_buddy(test::seed(3), floor_support(), 500);
  WorldView v = test::view_with(floor_support());
  for (int i = 0; i < 4; ++i) {
    poke(b, v.now);
    EXPECT_EQ(b.mode, BuddyMode::hop) << i;
    test::run_for(b, v, 0.5);
    EXPECT_TRUE(is_grounded(b.mode));
  }
  b.bubble_until = 0;
  poke(b, v.now);
  EXPECT_EQ(b.mode, BuddyMode::act);
  EXPECT_EQ(b.act, Act::angry);
  const auto lots = line_table("poked_lots");
  EXPECT_NE(std::find(lots.begin(), lots.end(), b.bubble_text), lots.end()) << b.bubble_text;
  EXPECT_TRUE(b.poke_times.empty());
  test::run_for(b, v, 3.5);
  poke(b, v.now);  // counting starts again
  EXPECT_EQ(b.mode, BuddyMode::hop);
}

TEST(Reactions, PettingASleeperShowsOneHeartAndKeepsHimAsleep) {
  Buddy b = test::standing_buddy(test::seed(4), floor_support(), 500);
  b.mode = BuddyMode::sleep;
  pet(b, 10.0);
  EXPECT_EQ(b.mode, BuddyMode::sleep);
  ASSERT_EQ(b.events.size(), 1u);
  EXPECT_TRUE(std::holds_alternative<HeartEvent>(b.events[0]));
  pet(b, 10.5);  // not ready yet
  EXPECT_EQ(b.events.size(), 1u);
  b.mode = BuddyMode::idle;
  pet(b, 11.0);
  EXPECT_EQ(b.events.size(), 3u);
  EXPECT_EQ(b.act, Act::love);
}

TEST(Reactions, BurnedAtMostEveryTwoAndAHalfSeconds) {
  Buddy b = test::standing_buddy(test::seed(5), floor_support(), 500);
  burn(b, -1.0, 1.0);
  EXPECT_EQ(b.mode, BuddyMode::fall);
  EXPECT_LT(b.vx, 0.0);
  EXPECT_EQ(b.queued_act, Act::scared);
  EXPECT_EQ(b.hot_until, 5.0);
  b.mode = BuddyMode::idle;
  b.hot_until = 0;
  burn(b, 1.0, 3.4);
  EXPECT_EQ(b.mode, BuddyMode::idle);
  burn(b, 1.0, 3.5);
  EXPECT_EQ(b.mode, BuddyMode::fall);
  EXPECT_GT(b.vx, 0.0);
  Buddy held = test::standing_buddy(test::seed(6), floor_support(), 500);
  held.mode = BuddyMode::held;
  zap(held, 1.0);
  blast(held, 500, -500);
  EXPECT_EQ(held.mode, BuddyMode::held);
}

TEST(Tag, AGameBouncesAtMostThreeTimes) {
  Crew crew = social_crew(2, 10);
  Buddy& a = crew.buddies[0];
  Buddy& b = crew.buddies[1];
  // b was made "it" by a with three bounces; b catches a.
  b.tag_bounces = 3;
  int tag_backs = 0;
  for (int round = 0; round < 6; ++round) {
    Buddy& catcher = round % 2 == 0 ? b : a;
    Buddy& caught = round % 2 == 0 ? a : b;
    if (catcher.tag_bounces == 0) break;
    catcher.caught_partner = caught.id;
    apply_tag_catch(catcher);
    EXPECT_EQ(catcher.tag_bounces, 0);
    const std::size_t sender = round % 2 == 0 ? 1 : 0;
    const bool bounced = std::any_of(crew.buddies[sender].messages.begin(),
                                     crew.buddies[sender].messages.end(),
                                     [](const SocialMessage& m) { return m.kind == SocialMessage::tag_back; });
    deliver_messages(crew, sender);
    EXPECT_EQ(caught.delayed_lines.size(), 1u);
    caught.delayed_lines.clear();
    if (bounced) {
      ++tag_backs;
      EXPECT_EQ(caught.partner, catcher.id);
      EXPECT_EQ(caught.mode, BuddyMode::chase);
    }
  }
  EXPECT_EQ(tag_backs, 2);  // 3 -> 2 -> 1, then the game ends
}

TEST(Messages, ToAGoneBuddyAreDropped) {
  Crew crew = social_crew(2, 10);
  SocialMessage m;
  m.to = 99;
  m.text = "hello?";
  crew.buddies[0].messages.push_back(m);
  deliver_messages(crew, 0);
  EXPECT_TRUE(crew.buddies[0].messages.empty());
  EXPECT_TRUE(crew.buddies[1].delayed_lines.empty());
}

TEST(KnockOver, AFastThrownBuddyKnocksAGroundedOneOnce) {
  Crew crew = social_crew(2, 3);
  Buddy& flyer = crew.buddies[0];
  Buddy& target = crew.buddies[1];
  flyer.mode = BuddyMode::held;
  flyer.support.reset();
  flyer.x = target.x - 2 * flyer.unit;
  flyer.y = target.y - 2 * flyer.unit;
  flyer.vx = 400 * flyer.unit;
  flyer.vy = 100 * flyer.unit;
  release(flyer);
  knock_overs(crew);
  EXPECT_EQ(target.mode, BuddyMode::fall);
  EXPECT_DOUBLE_EQ(target.vx, 0.7 * 400 * 4);
  EXPECT_DOUBLE_EQ(target.vy, -120.0 * 4);
  EXPECT_DOUBLE_EQ(flyer.vx, -0.35 * 400 * 4);
  const double vx = target.vx;
  knock_overs(crew);  // the hit buddy is in the air now: no second knock
  EXPECT_EQ(target.vx, vx);
}

// Only the hand's throw knocks others over: a buddy flung out by "crew add", or let go and then
// burned, zapped, blasted or leaping, flies past its neighbours.
TEST(KnockOver, OnlyABuddyLetGoByTheHandKnocks) {
  for (int launch = 0; launch < 5; ++launch) {
    Crew crew = social_crew(2, 3);
    std::size_t fi = 0;
    if (launch == 0) {
      crew.buddies[0].started = true;
      ASSERT_TRUE(crew.add(std::nullopt, true).ok());
      fi = 2;
    } else {
      Buddy& f = crew.buddies[0];
      f.mode = BuddyMode::held;
      f.support.reset();
      f.vx = 400 * f.unit;
      release(f);
      switch (launch) {
        case 1: burn(f, 1, 100.0); break;
        case 2: zap(f, 100.0); break;
        case 3: blast(f, 400 * f.unit, -100 * f.unit); break;
        default: leap_to(f, f.x + 500, f.y); break;
      }
    }
    Buddy& f = crew.buddies[fi];
    Buddy& target = crew.buddies[1];
    f.mode = BuddyMode::fall;
    f.x = target.x - 2 * f.unit;
    f.y = target.y - 2 * f.unit;
    f.vx = 400 * f.unit;
    f.vy = 100 * f.unit;
    knock_overs(crew);
    EXPECT_EQ(target.mode, BuddyMode::idle) << launch;
  }
}

// A message's times count from the sender's step, even when the target steps after it and
// still holds the previous tick's time.
TEST(Messages, TimesCountFromTheSendersNow) {
  Crew crew = social_crew(2, 10);
  Buddy& sender = crew.buddies[0];
  Buddy& target = crew.buddies[1];
  sender.now = 10.0;
  target.now = 10.0 - kTick;
  SocialMessage line;
  line.to = target.id;
  line.delay = 0.6;
  line.text = "nooo!";
  SocialMessage back;
  back.kind = SocialMessage::tag_back;
  back.to = target.id;
  back.from = sender.id;
  back.bounces = 2;
  sender.messages = {line, back};
  deliver_messages(crew, 0);
  ASSERT_EQ(target.delayed_lines.size(), 1u);
  EXPECT_DOUBLE_EQ(target.delayed_lines[0].due, 10.6);
  EXPECT_DOUBLE_EQ(target.chase_from, 10.8);
  EXPECT_DOUBLE_EQ(target.chase_until, 20.0);
  EXPECT_EQ(target.mode, BuddyMode::chase);
}

}  // namespace
}  // namespace perchkin
