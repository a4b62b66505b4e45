#include "brain/brain.h"
#include "brain/speech.h"
#include "brain_fixture.h"

#include <gtest/gtest.h>

namespace perchkin {
namespace {

using test::reply_text;
using test::floor_support;
using test::standing_buddy;
using test::view_with;

Buddy falling_buddy(std::uint64_t seed) {
  Buddy b = standing_buddy(seed, floor_support(), 500.0);
  b.motion.mode = BuddyMode::fall;
  b.motion.support.reset();
  b.motion.y = 300.0;  // well above the floor
  b.motion.vx = 30.0;
  b.motion.vy = 200.0;
  b.motion.spin = 90.0;
  b.motion.angle = 45.0;
  return b;
}

TEST(BrainLanding, PlainLandingSquats) {
  WorldView v = view_with(floor_support());
  Buddy b = falling_buddy(1);
  b.motion.flight_peak = 800.0;  // not thrown: no reaction however fast
  on_landed(b, v);
  EXPECT_EQ(b.motion.mode, BuddyMode::act);
  EXPECT_EQ(b.mind.act, Act::squat);
  EXPECT_DOUBLE_EQ(b.mind.act_time, 0.2);
  EXPECT_DOUBLE_EQ(b.motion.vx, 0.0);
  EXPECT_DOUBLE_EQ(b.motion.vy, 0.0);
  EXPECT_DOUBLE_EQ(b.motion.angle, 0.0);
  EXPECT_DOUBLE_EQ(b.motion.spin, 0.0);
  EXPECT_DOUBLE_EQ(b.motion.flight_peak, 0.0);
}

TEST(BrainLanding, AnActAskedForInTheAirPlaysOnLanding) {
  WorldView v = view_with(floor_support());
  Buddy b = falling_buddy(2);
  b.motion.thrown = true;
  b.motion.flight_peak = 900.0;
  EXPECT_EQ(reply_text(act_command(b, Act::dance, v)), "queued until he lands");
  on_landed(b, v);
  EXPECT_EQ(b.motion.mode, BuddyMode::act);
  EXPECT_EQ(b.mind.act,
            Act::dance);  // the queued act, not the throw's dizziness
  EXPECT_DOUBLE_EQ(b.mind.act_time, 4.0);
  EXPECT_FALSE(b.mind.queued_act);
  EXPECT_FALSE(b.motion.thrown);
}

TEST(BrainLanding, FastThrowsMakeDizzyAndMediumOnesSometimesHappy) {
  WorldView v = view_with(floor_support());
  Buddy b = falling_buddy(3);
  b.motion.thrown = true;
  b.motion.flight_peak = 451.0;
  on_landed(b, v);
  EXPECT_EQ(b.mind.act, Act::dizzy);
  EXPECT_TRUE(std::holds_alternative<DizzyEvent>(b.events.back()));

  int happy = 0;
  for (std::uint64_t seed = 1; seed <= 200; ++seed) {
    Buddy m = falling_buddy(test::seed(seed));
    m.motion.thrown = true;
    m.motion.flight_peak = 300.0;
    on_landed(m, v);
    if (m.mind.act == Act::happy) {
      ++happy;
      EXPECT_DOUBLE_EQ(m.mind.act_time, 2.0);
      bool again = false;
      for (const char* line : line_table("again")) again |= m.speech.bubble_text == line;
      EXPECT_TRUE(again);
    } else {
      EXPECT_EQ(m.mind.act, Act::squat);
    }
  }
  EXPECT_NEAR(happy, 100, 25);
}

TEST(BrainLanding, AnOpenChaseResumes) {
  WorldView v = view_with(floor_support());
  v.now = 5.0;
  Buddy b = falling_buddy(4);
  b.mind.chase_until = 9.0;
  on_landed(b, v);
  EXPECT_EQ(b.motion.mode, BuddyMode::chase);
  b.mind.chase_until = 4.0;  // over
  b.motion.mode = BuddyMode::fall;
  on_landed(b, v);
  EXPECT_EQ(b.mind.act, Act::squat);
}

TEST(BrainLanding, AQueuedSleepKeepsItsWakeTime) {
  WorldView v = view_with(floor_support());
  v.now = 10.0;
  Buddy b = falling_buddy(5);
  b.mind.nap = true;
  b.mind.wake_at = 14.0;
  b.mind.queued_act = Act::sleep;
  v.now += 1.0 / 60.0;
  brain_step(b, v);  // still in the air: the nap is remembered
  EXPECT_TRUE(b.mind.nap);
  EXPECT_DOUBLE_EQ(b.mind.wake_at, 14.0);
  on_landed(b, v);
  EXPECT_EQ(b.motion.mode, BuddyMode::sleep);
  EXPECT_TRUE(b.mind.nap);
  EXPECT_DOUBLE_EQ(b.mind.wake_at, 14.0);
}

}  // namespace
}  // namespace perchkin
