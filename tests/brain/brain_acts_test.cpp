#include "brain/brain.h"
#include "brain/speech.h"
#include "brain_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace perchkin {
namespace {

using test::reply_text;
using test::floor_support;
using test::standing_buddy;
using test::view_with;

template <typename Kind>
int count_events(const Buddy& b) {
  int n = 0;
  for (const BuddyEvent& e : b.events) n += std::holds_alternative<Kind>(e) ? 1 : 0;
  return n;
}

TEST(BrainActs, EveryOfferedActRepliesAsTheCommandExpects) {
  const Support floor = floor_support();
  WorldView v = view_with(floor);
  v.now = 50.0;
  const std::pair<std::string_view, std::string_view> expected[] = {
      {"idle", "idle"},   {"sit", "sitting"},       {"sleep", "sleeping"}, {"wave", "ok"},
      {"dance", "ok"},    {"happy", "ok"},          {"jump", "jump"},      {"type", "typing"},
      {"backflip", "backflip"}, {"spin", "ok"},     {"explode", "ok"},     {"dizzy", "ok"},
      {"angry", "ok"},    {"love", "ok"},           {"think", "ok"},       {"scared", "ok"},
      {"celebrate", "ok"}, {"chase", "chasing the cursor"}};
  ASSERT_EQ(std::size(expected), kActNames.size());
  for (std::size_t i = 0; i < kActNames.size(); ++i) {
    EXPECT_EQ(kActNames[i], expected[i].first);
    Buddy b = standing_buddy(3, floor, 500.0);
    const Result<std::string> r = act_command(b, *act_named(expected[i].first), v);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(reply_text(r), expected[i].second) << expected[i].first;
    EXPECT_DOUBLE_EQ(b.mind.last_command, 50.0);
  }
  EXPECT_EQ(act_names_text(),
            "idle, sit, sleep, wave, dance, happy, jump, type, backflip, spin, explode, dizzy, "
            "angry, love, think, scared, celebrate, chase");
  EXPECT_TRUE(is_act_name("celebrate"));
  EXPECT_FALSE(is_act_name("squat"));
}

TEST(BrainActs, ActsSetTheirModesDurationsAndEffects) {
  const Support floor = floor_support();
  WorldView v = view_with(floor);
  v.now = 10.0;

  Buddy b = standing_buddy(3, floor, 500.0);
  b.mind.walk_target = 900.0;
  (void)act_command(b, Act::sit, v);
  EXPECT_EQ(b.motion.mode, BuddyMode::sit);
  EXPECT_DOUBLE_EQ(b.mind.act_time, 45.0);
  EXPECT_FALSE(b.mind.walk_target);

  (void)act_command(b, Act::idle, v);
  EXPECT_EQ(b.motion.mode, BuddyMode::idle);
  EXPECT_DOUBLE_EQ(b.mind.act_time, 10.0);

  b.mind.typing_until = 100.0;
  (void)act_command(b, Act::type, v);
  EXPECT_EQ(b.motion.mode, BuddyMode::type);
  EXPECT_DOUBLE_EQ(b.mind.typing_until, 100.0);  // never shortened
  b.mind.typing_until = 0.0;
  (void)act_command(b, Act::type, v);
  EXPECT_DOUBLE_EQ(b.mind.typing_until, 16.0);

  b.motion.angle = 30.0;
  (void)act_command(b, Act::spin, v);
  EXPECT_EQ(b.motion.mode, BuddyMode::act);
  EXPECT_EQ(b.mind.act, Act::spin);
  EXPECT_DOUBLE_EQ(b.mind.act_time, 1.2);
  EXPECT_DOUBLE_EQ(b.motion.angle, 30.0);  // spin keeps its angle
  (void)act_command(b, Act::think, v);
  EXPECT_DOUBLE_EQ(b.motion.angle, 0.0);
  EXPECT_DOUBLE_EQ(b.mind.act_time, 4.0);

  b.events.clear();
  (void)act_command(b, Act::happy, v);
  EXPECT_EQ(count_events<HeartEvent>(b), 3);
  (void)act_command(b, Act::dizzy, v);
  EXPECT_EQ(count_events<DizzyEvent>(b), 1);
  (void)act_command(b, Act::explode, v);
  ASSERT_EQ(count_events<ExplodeEvent>(b), 1);
  EXPECT_DOUBLE_EQ(std::get<ExplodeEvent>(b.events.back()).duration, 2.6);
  (void)act_command(b, Act::celebrate, v);
  ASSERT_TRUE(std::holds_alternative<EffectEvent>(b.events.back()));
  EXPECT_EQ(std::get<EffectEvent>(b.events.back()).kind, EffectKind::confetti);
}

TEST(BrainActs, ChaseOpensAWindowAndOtherActsCloseIt) {
  const Support floor = floor_support();
  WorldView v = view_with(floor);
  v.now = 20.0;
  Buddy b = standing_buddy(3, floor, 500.0);
  b.mind.partner = 9u;
  b.mind.walk_target = 100.0;
  EXPECT_EQ(reply_text(act_command(b, Act::chase, v)), "chasing the cursor");
  EXPECT_EQ(b.motion.mode, BuddyMode::chase);
  EXPECT_DOUBLE_EQ(b.mind.chase_until, 32.0);
  EXPECT_FALSE(b.mind.partner);
  EXPECT_FALSE(b.mind.walk_target);

  (void)act_command(b, Act::wave, v);
  EXPECT_DOUBLE_EQ(b.mind.chase_until, 0.0);
  EXPECT_EQ(b.motion.mode, BuddyMode::act);
}

TEST(BrainActs, AirborneBuddiesQueueTheAct) {
  const Support floor = floor_support();
  WorldView v = view_with(floor);
  for (BuddyMode m : {BuddyMode::fall, BuddyMode::hop, BuddyMode::held, BuddyMode::slide,
                      BuddyMode::drawing}) {
    Buddy b = standing_buddy(3, floor, 500.0);
    b.motion.mode = m;
    EXPECT_EQ(reply_text(act_command(b, Act::chase, v)), "queued until he lands");
    EXPECT_EQ(reply_text(act_command(b, Act::dance, v)), "queued until he lands");
    EXPECT_EQ(b.mind.queued_act, Act::dance);  // the latest request wins
    EXPECT_EQ(b.motion.mode, m);
  }
}

TEST(BrainActs, SleepActNapsUntilWokenAndSaysTheUsersLineOnce) {
  const Support floor = floor_support();
  WorldView v = view_with(floor);
  Buddy b = standing_buddy(3, floor, 500.0);
  auto lines = std::make_shared<SpeechLines>();
  lines->lines[0] = "zzz";
  b.speech.lines = lines;
  EXPECT_EQ(reply_text(act_command(b, Act::sleep, v)), "sleeping");
  EXPECT_EQ(b.motion.mode, BuddyMode::sleep);
  EXPECT_TRUE(b.mind.nap);
  EXPECT_DOUBLE_EQ(b.mind.wake_at, 0.0);
  EXPECT_EQ(b.speech.bubble_text, "zzz");
  EXPECT_EQ(b.speech.bubble_serial, 1u);
  (void)act_command(b, Act::sleep, v);  // already napping: no second line
  EXPECT_EQ(b.speech.bubble_serial, 1u);

  // Any other act wakes it first.
  EXPECT_EQ(reply_text(act_command(b, Act::wave, v)), "ok");
  EXPECT_EQ(b.motion.mode, BuddyMode::act);
  EXPECT_FALSE(b.mind.nap);
}

TEST(BrainActs, HopActsWithoutSupportOnlyReplyTheirName) {
  const Support floor = floor_support();
  WorldView v = view_with(floor);
  Buddy b = standing_buddy(3, floor, 500.0);
  b.motion.support.reset();
  EXPECT_EQ(reply_text(act_command(b, Act::backflip, v)), "backflip");
  EXPECT_EQ(b.motion.mode, BuddyMode::idle);
  EXPECT_EQ(reply_text(act_command(b, Act::jump, v)), "jump");
  EXPECT_EQ(b.motion.mode, BuddyMode::idle);
}

TEST(BrainActs, WalkToRepliesTheRoundedTargetAndWaitsWhileAirborne) {
  const Support floor = floor_support();
  WorldView v = view_with(floor);
  Buddy b = standing_buddy(3, floor, 500.0);
  b.motion.mode = BuddyMode::sleep;
  b.mind.nap = true;
  b.mind.chase_until = 99.0;
  const Result<std::string> r = walk_to(b, 399.5, v);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(reply_text(r), "walking to x=400");
  EXPECT_EQ(b.motion.mode, BuddyMode::walk);
  EXPECT_EQ(b.motion.facing, -1);
  EXPECT_DOUBLE_EQ(b.mind.chase_until, 0.0);
  EXPECT_FALSE(b.mind.nap);

  Buddy air = standing_buddy(3, floor, 500.0);
  air.motion.mode = BuddyMode::fall;
  EXPECT_EQ(reply_text(walk_to(air, -12.4, v)), "walking to x=-12");
  EXPECT_EQ(air.motion.mode, BuddyMode::fall);
  EXPECT_EQ(air.mind.walk_target, -12.4);

  // Already there: a rest instead of a walk.
  Buddy there = standing_buddy(3, floor, 500.0);
  (void)walk_to(there, 500.4, v);
  EXPECT_EQ(there.motion.mode, BuddyMode::idle);
  EXPECT_FALSE(there.mind.walk_target);
  EXPECT_GE(there.mind.act_time, 1.0);

  EXPECT_FALSE(walk_to(there, std::nan(""), v).ok());
}

TEST(BrainActs, SayShowsACommandBubbleThenTheAct) {
  const Support floor = floor_support();
  WorldView v = view_with(floor);
  v.now = 30.0;
  Buddy b = standing_buddy(3, floor, 500.0);
  b.motion.mode = BuddyMode::sleep;
  const Result<std::string> r = say_command(b, "hello there", 100.0, Act::wave, v);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(reply_text(r), "said");
  EXPECT_EQ(b.speech.bubble_text, "hello there");
  EXPECT_DOUBLE_EQ(b.speech.bubble_until, 90.0);
  EXPECT_FALSE(b.speech.bubble_replaceable);
  EXPECT_EQ(b.motion.mode, BuddyMode::act);
  EXPECT_EQ(b.mind.act, Act::wave);

  (void)say_command(b, "short", 0.0, std::nullopt, v);
  EXPECT_DOUBLE_EQ(b.speech.bubble_until, 31.0);
}

TEST(BrainActs, LeapIsRefusedWhileHeld) {
  const Support floor = floor_support();
  WorldView v = view_with(floor);
  Buddy b = standing_buddy(3, floor, 500.0);
  b.motion.mode = BuddyMode::held;
  const Result<std::string> r = leap_command(b, 100.0, 100.0, v);
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(reply_text(r), "he is being held by the mouse right now");
  EXPECT_EQ(b.motion.mode, BuddyMode::held);
  EXPECT_EQ(reply_text(leap_command(b, std::nan(""), 1.0, v)), "x must be a number");
}

}  // namespace
}  // namespace perchkin
