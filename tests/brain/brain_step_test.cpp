#include "brain/brain.h"
#include "brain/speech.h"
#include "brain_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace perchkin {
namespace {

using test::reply_text;
using test::floor_support;
using test::run_for;
using test::standing_buddy;
using test::tick;
using test::view_with;

// Too narrow to wander on (16 units needed), so a buddy there only rests, sits and naps.
Support ledge() { return floor_support(100.0, 110.0, 500.0); }

double pause_after_act(std::uint64_t seed, double energy) {
  const Support s = ledge();
  WorldView v = view_with(s);
  Buddy b = standing_buddy(seed, s, 105.0);
  b.world.w.energy = energy;
  EXPECT_EQ(reply_text(act_command(b, Act::wave, v)), "ok");
  b.mind.act_time = 0.5 / 60.0;  // ends on the next step
  tick(b, v);
  EXPECT_EQ(b.motion.mode, BuddyMode::idle);
  // The first step draws the first chat time, the end of the act draws the pause.
  Xorshift64 mirror(seed);
  mirror.uniform();
  EXPECT_DOUBLE_EQ(b.mind.act_time, (1.0 + 2.0 * mirror.uniform()) / std::max(energy, 0.1));
  return b.mind.act_time;
}

TEST(BrainStep, RestAfterAnActScalesWithEnergy) {
  double lo = 1e9, hi = 0.0;
  for (std::uint64_t seed = 1; seed <= 200; ++seed) {
    const double t = pause_after_act(test::seed(seed), 0.25);
    lo = std::min(lo, t);
    hi = std::max(hi, t);
  }
  EXPECT_GE(lo, 4.0);
  EXPECT_LT(hi, 12.0);
  EXPECT_LT(lo, 4.3);
  EXPECT_GT(hi, 11.7);

  lo = 1e9, hi = 0.0;
  for (std::uint64_t seed = 1; seed <= 200; ++seed) {
    const double t = pause_after_act(test::seed(seed), 0.0);  // treated as 0.1
    lo = std::min(lo, t);
    hi = std::max(hi, t);
  }
  EXPECT_GE(lo, 10.0);
  EXPECT_LT(hi, 30.0);
  EXPECT_GT(hi, 29.0);
}

TEST(BrainStep, SitEndsInARest) {
  const Support s = ledge();
  WorldView v = view_with(s);
  Buddy b = standing_buddy(5, s, 105.0);
  b.world.w.energy = 0.25;
  (void)act_command(b, Act::sit, v);
  run_for(b, v, 44.9);
  EXPECT_EQ(b.motion.mode, BuddyMode::sit);
  run_for(b, v, 0.2);
  EXPECT_EQ(b.motion.mode, BuddyMode::idle);
  EXPECT_GE(b.mind.act_time, 4.0 - 0.2);
}

TEST(BrainStep, SleepyOneNeverNapsButStillDrowsesWhenTheUserIsAway) {
  const Support s = ledge();
  WorldView v = view_with(s);
  Buddy b = standing_buddy(11, s, 105.0);
  b.world.w.sleepy = 1.0;
  v.idle_seconds = 0.0;  // the user is busy for two hours
  for (int i = 0; i < 2 * 3600 * 60; ++i) {
    tick(b, v);
    ASSERT_NE(b.motion.mode, BuddyMode::sleep) << "at " << v.now;
  }
  const double away_from = v.now;
  v.idle_seconds = 500.0;
  while (b.motion.mode != BuddyMode::sleep && v.now < away_from + 400.0) tick(b, v);
  ASSERT_EQ(b.motion.mode, BuddyMode::sleep);
  EXPECT_FALSE(b.mind.nap);
  EXPECT_DOUBLE_EQ(b.mind.wake_at, 0.0);
  EXPECT_NEAR(v.now - away_from, 180.0, 0.05);

  // User activity wakes a drowsing buddy.
  run_for(b, v, 30.0);
  EXPECT_EQ(b.motion.mode, BuddyMode::sleep);
  v.idle_seconds = 0.2;
  tick(b, v);
  EXPECT_EQ(b.motion.mode, BuddyMode::idle);
  EXPECT_NEAR(b.mind.act_time, 0.5 - 1.0 / 60.0, 1e-9);
}

TEST(BrainStep, SleepyBuddiesTakeScheduledNapsAndWakeOnTime) {
  const Support s = ledge();
  WorldView v = view_with(s);
  Buddy b = standing_buddy(12, s, 105.0);
  b.world.w.sleepy = 3.0;
  int naps = 0;
  double nap_end = -1.0;
  for (int i = 0; i < 3600 * 60; ++i) {
    const BuddyMode before = b.motion.mode;
    tick(b, v);
    if (before != BuddyMode::sleep && b.motion.mode == BuddyMode::sleep) {
      ++naps;
      ASSERT_TRUE(b.mind.nap);
      EXPECT_GE(b.mind.wake_at - v.now, std::sqrt(3.0) * 4.0 - 1e-9);
      EXPECT_LT(b.mind.wake_at - v.now, std::sqrt(3.0) * 10.0);
      nap_end = b.mind.wake_at;
    }
    if (before == BuddyMode::sleep && b.motion.mode != BuddyMode::sleep) {
      EXPECT_GE(v.now, nap_end);
      EXPECT_LT(v.now, nap_end + 1.0 / 30.0);
    }
  }
  EXPECT_GT(naps, 20);

  // With naps off nothing of the kind happens.
  Buddy off = standing_buddy(12, s, 105.0);
  off.world.w.sleepy = 3.0;
  off.world.w.naps = false;
  v.idle_seconds = 1e6;
  for (int i = 0; i < 600 * 60; ++i) {
    tick(off, v);
    ASSERT_NE(off.motion.mode, BuddyMode::sleep);
  }
}

TEST(BrainStep, SleepActIgnoresTypingButADrowsingBuddyTypesAlong) {
  const Support s = ledge();
  WorldView v = view_with(s);
  Buddy sleeper = standing_buddy(7, s, 105.0);
  tick(sleeper, v);
  (void)act_command(sleeper, Act::sleep, v);
  for (int i = 0; i < 600; ++i) {
    v.keystrokes += 2;
    tick(sleeper, v);
  }
  EXPECT_EQ(sleeper.motion.mode, BuddyMode::sleep);

  Buddy drowsy = standing_buddy(7, s, 105.0);
  v.idle_seconds = 1e4;
  run_for(drowsy, v, 200.0);
  ASSERT_EQ(drowsy.motion.mode, BuddyMode::sleep);
  ASSERT_FALSE(drowsy.mind.nap);
  v.keystrokes += 1;
  tick(drowsy, v);
  EXPECT_EQ(drowsy.motion.mode, BuddyMode::type);
  EXPECT_DOUBLE_EQ(drowsy.mind.typing_until, v.now + 1.2);
  // Typing stops 0.6 s after the last key press's 1.2 s.
  run_for(drowsy, v, 1.75);
  EXPECT_EQ(drowsy.motion.mode, BuddyMode::type);
  run_for(drowsy, v, 0.1);
  EXPECT_EQ(drowsy.motion.mode, BuddyMode::idle);
}

TEST(BrainStep, TypingInterruptsRestingSittingAndTheSquatButNotActs) {
  const Support s = ledge();
  WorldView v = view_with(s);
  Buddy b = standing_buddy(8, s, 105.0);
  tick(b, v);
  (void)act_command(b, Act::sit, v);
  v.keystrokes += 3;
  tick(b, v);
  EXPECT_EQ(b.motion.mode, BuddyMode::type);

  Buddy dancer = standing_buddy(8, s, 105.0);
  tick(dancer, v);
  (void)act_command(dancer, Act::dance, v);
  v.keystrokes += 3;
  tick(dancer, v);
  EXPECT_EQ(dancer.motion.mode, BuddyMode::act);

  Buddy lander = standing_buddy(8, s, 105.0);
  tick(lander, v);
  on_landed(lander, v);
  EXPECT_EQ(lander.mind.act, Act::squat);
  v.keystrokes += 1;
  tick(lander, v);
  EXPECT_EQ(lander.motion.mode, BuddyMode::type);
  EXPECT_TRUE((lander.mind.act == Act::none));
}

TEST(BrainStep, KeyPressesBeforeABuddyExistedDoNotCount) {
  const Support s = ledge();
  WorldView v = view_with(s);
  v.keystrokes = 123456;
  Buddy b = standing_buddy(8, s, 105.0);
  tick(b, v);
  EXPECT_NE(b.motion.mode, BuddyMode::type);
  EXPECT_DOUBLE_EQ(b.mind.typing_level, 0.0);
  v.keystrokes += 10;
  tick(b, v);
  EXPECT_DOUBLE_EQ(b.mind.typing_level, 10.0);
}

TEST(BrainStep, TypingCheerComesAtMostEveryTwoMinutes) {
  const Support s = ledge();
  WorldView v = view_with(s);
  Buddy b = standing_buddy(8, s, 105.0);
  b.world.chatty = true;
  b.mind.next_chat = 1e9;
  tick(b, v);
  b.mind.next_chat = 1e9;
  v.keystrokes += 60;
  tick(b, v);
  EXPECT_DOUBLE_EQ(b.mind.typing_cheer_at, v.now + 120.0);
  const double first = b.mind.typing_cheer_at;
  v.keystrokes += 60;
  tick(b, v);
  EXPECT_DOUBLE_EQ(b.mind.typing_cheer_at, first);

  // Without the chatty option there is no cheer at all.
  Buddy quiet = standing_buddy(8, s, 105.0);
  tick(quiet, v);
  v.keystrokes += 200;
  tick(quiet, v);
  EXPECT_DOUBLE_EQ(quiet.mind.typing_cheer_at, 0.0);
}

TEST(BrainStep, NightChatterOnlyInTheSmallHours) {
  for (int hour : {2, 5, 13}) {
    const Support s = ledge();
    WorldView v = view_with(s);
    v.local_hour = hour;
    Buddy b = standing_buddy(21, s, 105.0);
    b.world.chatty = true;
    b.world.w.chatter = 10.0;  // a line every 12-30 s
    int night = 0, lines = 0;
    std::uint64_t seen = 0;
    for (int i = 0; i < 3600 * 60; ++i) {
      tick(b, v);
      if (b.speech.bubble_serial == seen) continue;
      seen = b.speech.bubble_serial;
      ++lines;
      for (const char* line : line_table("night")) night += b.speech.bubble_text == line ? 1 : 0;
    }
    EXPECT_GT(lines, 20) << hour;
    if (hour < 5) {
      EXPECT_GT(night, 5);
    } else {
      EXPECT_EQ(night, 0) << hour;
    }
  }
}

TEST(BrainStep, BuiltInModeNeverChattersTheUsersLines) {
  const Support s = ledge();
  WorldView v = view_with(s);
  Buddy b = standing_buddy(22, s, 105.0);
  auto lines = std::make_shared<SpeechLines>();
  lines->phrases = {"only mine"};
  lines->mode = 2;
  b.speech.lines = lines;
  b.world.chatty = true;
  b.world.w.chatter = 10.0;
  std::uint64_t seen = 0;
  int shown = 0;
  for (int i = 0; i < 3600 * 60; ++i) {
    tick(b, v);
    if (b.speech.bubble_serial == seen) continue;
    seen = b.speech.bubble_serial;
    ++shown;
    ASSERT_NE(b.speech.bubble_text, "only mine");
  }
  EXPECT_GT(shown, 20);
}

TEST(BrainStep, CatchingTheCursorEndsTheChaseHappily) {
  const Support s = floor_support();
  WorldView v = view_with(s);
  Buddy b = standing_buddy(30, s, 500.0);
  tick(b, v);
  (void)act_command(b, Act::chase, v);
  v.cursor_x = 500.0 + 9.0 * b.motion.unit;  // inside the 10-unit radius of the centre
  v.cursor_y = s.top - 5.0 * b.motion.unit;
  v.now += 1.0 / 60.0;
  brain_step(b, v);
  EXPECT_DOUBLE_EQ(b.mind.chase_until, 0.0);
  EXPECT_EQ(b.motion.mode, BuddyMode::act);
  EXPECT_EQ(b.mind.act, Act::happy);
  EXPECT_NEAR(b.mind.act_time, 119.0 / 60.0 - 1.0 / 60.0, 1e-9);
  int hearts = 0;
  for (const BuddyEvent& e : b.events) hearts += std::holds_alternative<HeartEvent>(e) ? 1 : 0;
  EXPECT_GE(hearts, 3);
  bool caught_line = false;
  for (const char* line : line_table("caught")) caught_line |= b.speech.bubble_text == line;
  EXPECT_TRUE(caught_line);

  // Just outside the radius nothing happens.
  Buddy far = standing_buddy(30, s, 500.0);
  tick(far, v);
  (void)act_command(far, Act::chase, v);
  v.cursor_x = 500.0 + 10.0 * far.motion.unit;
  tick(far, v);
  EXPECT_GT(far.mind.chase_until, 0.0);
}

TEST(BrainStep, CatchingAPartnerLeavesTheTagToSocialPlay) {
  const Support s = floor_support();
  WorldView v = view_with(s);
  Buddy b = standing_buddy(31, s, 500.0);
  tick(b, v);
  BuddySummary p;
  p.id = 7;
  p.x = 500.0 + 18.0 * b.motion.unit;  // radius for equal units: max(19, 10) units
  p.y = s.top;
  p.unit = b.motion.unit;
  p.standing = true;
  v.buddies = {p};
  b.mind.partner = 7u;
  b.mind.chase_from = v.now + 0.5;  // not yet allowed to catch
  b.mind.chase_until = v.now + 10.0;
  b.motion.mode = BuddyMode::chase;
  tick(b, v);
  EXPECT_FALSE(b.mind.caught_partner);
  v.now = b.mind.chase_from;
  tick(b, v);
  EXPECT_EQ(b.mind.caught_partner, 7u);
  EXPECT_FALSE(b.mind.partner);
  EXPECT_EQ(b.mind.act, Act::happy);
}

TEST(BrainStep, DueDelayedLinesAreSaidOnePerStep) {
  const Support s = ledge();
  WorldView v = view_with(s);
  Buddy b = standing_buddy(32, s, 105.0);
  tick(b, v);
  say_later(b, "one", 0.0);
  say_later(b, "two", 0.0);
  tick(b, v);
  EXPECT_EQ(b.speech.bubble_text, "one");
  tick(b, v);
  EXPECT_EQ(b.speech.bubble_text, "two");
}

TEST(BrainStep, HotBuddiesSmoke) {
  const Support s = ledge();
  WorldView v = view_with(s);
  Buddy b = standing_buddy(33, s, 105.0);
  b.mind.hot_until = 10.0;
  int smoke = 0;
  for (int i = 0; i < 1200; ++i) {
    v.now += 1.0 / 60.0;
    brain_step(b, v);
    for (const BuddyEvent& e : b.events) {
      if (!std::holds_alternative<SmokeEvent>(e)) continue;
      ++smoke;
      EXPECT_LT(v.now, 10.0);
    }
    b.events.clear();
  }
  EXPECT_NEAR(smoke, 600 / 15, 20);
}

}  // namespace
}  // namespace perchkin
