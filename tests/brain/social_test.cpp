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
    b.motion.unit = unit;
    b.motion.x = 200.0 + static_cast<double>(i) * gap * unit;
    b.motion.y = 1080.0;
    b.motion.support = floor_support();
    b.motion.mode = BuddyMode::idle;
    b.mind.act_time = 100.0;
    b.world.chatty = true;
  }
  return crew;
}

bool anyone_playing(const Crew& crew) {
  for (const Buddy& b : crew.buddies)
    if (b.motion.mode != BuddyMode::idle || b.speech.bubble_serial != 0 ||
        !b.speech.delayed_lines.empty())
      return true;
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
    EXPECT_EQ(b.motion.mode, BuddyMode::hop) << i;
    test::run_for(b, v, 0.5);
    EXPECT_TRUE(is_grounded(b.motion.mode));
  }
  b.speech.bubble_until = 0;
  poke(b, v.now);
  EXPECT_EQ(b.motion.mode, BuddyMode::act);
  EXPECT_EQ(b.mind.act, Act::angry);
  const auto lots = line_table("poked_lots");
  EXPECT_NE(std::find(lots.begin(), lots.end(), b.speech.bubble_text), lots.end())
      << b.speech.bubble_text;
  EXPECT_TRUE(b.mind.poke_times.empty());
  test::run_for(b, v, 3.5);
  poke(b, v.now);  // counting starts again
  EXPECT_EQ(b.motion.mode, BuddyMode::hop);
}

TEST(Reactions, PettingASleeperShowsOneHeartAndKeepsHimAsleep) {
  Buddy b = test::standing_buddy(test::seed(4), floor_support(), 500);
  b.motion.mode = BuddyMode::sleep;
  pet(b, 10.0);
  EXPECT_EQ(b.motion.mode, BuddyMode::sleep);
  ASSERT_EQ(b.events.size(), 1u);
  EXPECT_TRUE(std::holds_alternative<HeartEvent>(b.events[0]));
  pet(b, 10.5);  // not ready yet
  EXPECT_EQ(b.events.size(), 1u);
  b.motion.mode = BuddyMode::idle;
  pet(b, 11.0);
  EXPECT_EQ(b.events.size(), 3u);
  EXPECT_EQ(b.mind.act, Act::love);
}

TEST(Reactions, BurnedAtMostEveryTwoAndAHalfSeconds) {
  Buddy b = test::standing_buddy(test::seed(5), floor_support(), 500);
  burn(b, -1.0, 1.0);
  EXPECT_EQ(b.motion.mode, BuddyMode::fall);
  EXPECT_LT(b.motion.vx, 0.0);
  EXPECT_EQ(b.mind.queued_act, Act::scared);
  EXPECT_EQ(b.mind.hot_until, 5.0);
  b.motion.mode = BuddyMode::idle;
  b.mind.hot_until = 0;
  burn(b, 1.0, 3.4);
  EXPECT_EQ(b.motion.mode, BuddyMode::idle);
  burn(b, 1.0, 3.5);
  EXPECT_EQ(b.motion.mode, BuddyMode::fall);
  EXPECT_GT(b.motion.vx, 0.0);
  Buddy held = test::standing_buddy(test::seed(6), floor_support(), 500);
  held.motion.mode = BuddyMode::held;
  zap(held, 1.0);
  blast(held, 500, -500);
  EXPECT_EQ(held.motion.mode, BuddyMode::held);
}

TEST(Tag, AGameBouncesAtMostThreeTimes) {
  Crew crew = social_crew(2, 10);
  Buddy& a = crew.buddies[0];
  Buddy& b = crew.buddies[1];
  // b was made "it" by a with three bounces; b catches a.
  b.mind.tag_bounces = 3;
  int tag_backs = 0;
  for (int round = 0; round < 6; ++round) {
    Buddy& catcher = round % 2 == 0 ? b : a;
    Buddy& caught = round % 2 == 0 ? a : b;
    if (catcher.mind.tag_bounces == 0) break;
    catcher.mind.caught_partner = caught.id;
    apply_tag_catch(catcher);
    EXPECT_EQ(catcher.mind.tag_bounces, 0);
    const std::size_t sender = round % 2 == 0 ? 1 : 0;
    const bool bounced = std::any_of(crew.buddies[sender].messages.begin(),
                                     crew.buddies[sender].messages.end(),
                                     [](const SocialMessage& m) { return m.kind == SocialMessage::tag_back; });
    deliver_messages(crew, sender);
    EXPECT_EQ(caught.speech.delayed_lines.size(), 1u);
    caught.speech.delayed_lines.clear();
    if (bounced) {
      ++tag_backs;
      EXPECT_EQ(caught.mind.partner, catcher.id);
      EXPECT_EQ(caught.motion.mode, BuddyMode::chase);
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
  EXPECT_TRUE(crew.buddies[1].speech.delayed_lines.empty());
}

TEST(KnockOver, AFastThrownBuddyKnocksAGroundedOneOnce) {
  Crew crew = social_crew(2, 3);
  Buddy& flyer = crew.buddies[0];
  Buddy& target = crew.buddies[1];
  flyer.motion.mode = BuddyMode::held;
  flyer.motion.support.reset();
  flyer.motion.x = target.motion.x - 2 * flyer.motion.unit;
  flyer.motion.y = target.motion.y - 2 * flyer.motion.unit;
  flyer.motion.vx = 400 * flyer.motion.unit;
  flyer.motion.vy = 100 * flyer.motion.unit;
  release(flyer);
  knock_overs(crew);
  EXPECT_EQ(target.motion.mode, BuddyMode::fall);
  EXPECT_DOUBLE_EQ(target.motion.vx, 0.7 * 400 * 4);
  EXPECT_DOUBLE_EQ(target.motion.vy, -120.0 * 4);
  EXPECT_DOUBLE_EQ(flyer.motion.vx, -0.35 * 400 * 4);
  const double vx = target.motion.vx;
  knock_overs(crew);  // the hit buddy is in the air now: no second knock
  EXPECT_EQ(target.motion.vx, vx);
}

// Only the hand's throw knocks others over: a buddy flung out by "crew add", or let go and then
// burned, zapped, blasted or leaping, flies past its neighbours.
TEST(KnockOver, OnlyABuddyLetGoByTheHandKnocks) {
  for (int launch = 0; launch < 5; ++launch) {
    Crew crew = social_crew(2, 3);
    std::size_t fi = 0;
    if (launch == 0) {
      crew.buddies[0].mind.started = true;
      ASSERT_TRUE(crew.add(std::nullopt, true).ok());
      fi = 2;
    } else {
      Buddy& f = crew.buddies[0];
      f.motion.mode = BuddyMode::held;
      f.motion.support.reset();
      f.motion.vx = 400 * f.motion.unit;
      release(f);
      switch (launch) {
        case 1: burn(f, 1, 100.0); break;
        case 2: zap(f, 100.0); break;
        case 3:
          blast(f, 400 * f.motion.unit, -100 * f.motion.unit);
          break;
        default:
          leap_to(f, f.motion.x + 500, f.motion.y);
          break;
      }
    }
    Buddy& f = crew.buddies[fi];
    Buddy& target = crew.buddies[1];
    f.motion.mode = BuddyMode::fall;
    f.motion.x = target.motion.x - 2 * f.motion.unit;
    f.motion.y = target.motion.y - 2 * f.motion.unit;
    f.motion.vx = 400 * f.motion.unit;
    f.motion.vy = 100 * f.motion.unit;
    knock_overs(crew);
    EXPECT_EQ(target.motion.mode, BuddyMode::idle) << launch;
  }
}

// A message's times count from the sender's step, even when the target steps after it and
// still holds the previous tick's time.
TEST(Messages, TimesCountFromTheSendersNow) {
  Crew crew = social_crew(2, 10);
  Buddy& sender = crew.buddies[0];
  Buddy& target = crew.buddies[1];
  sender.mind.now = 10.0;
  target.mind.now = 10.0 - kTick;
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
  ASSERT_EQ(target.speech.delayed_lines.size(), 1u);
  EXPECT_DOUBLE_EQ(target.speech.delayed_lines[0].due, 10.6);
  EXPECT_DOUBLE_EQ(target.mind.chase_from, 10.8);
  EXPECT_DOUBLE_EQ(target.mind.chase_until, 20.0);
  EXPECT_EQ(target.motion.mode, BuddyMode::chase);
}

}  // namespace
}  // namespace perchkin
