#include "brain/speech.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

namespace perchkin {
namespace {

Buddy talker(std::uint8_t mode, std::vector<std::string> phrases = {}) {
  Buddy b;
  b.rng = Xorshift64(42);
  auto lines = std::make_shared<SpeechLines>();
  lines->mode = mode;
  lines->phrases = std::move(phrases);
  b.speech.lines = lines;
  return b;
}

bool in_table(std::string_view category, const std::string& text) {
  for (const char* line : line_table(category))
    if (text == line) return true;
  return false;
}

TEST(SpeechLines, BuiltInModeKeepsTheUsersLinesButNeverSaysThem) {
  Buddy b = talker(2, {"my own line"});
  int shown = 0;
  for (int i = 0; i < 500; ++i) {
    b.mind.now += 10.0;
    const auto serial = b.speech.bubble_serial;
    spontaneous_line(b, 12);
    if (b.speech.bubble_serial == serial) continue;
    ++shown;
    EXPECT_NE(b.speech.bubble_text, "my own line");
    EXPECT_TRUE(in_table("idle", b.speech.bubble_text)) << b.speech.bubble_text;
  }
  EXPECT_GT(shown, 250);  // about 60 % of the chances
  EXPECT_LT(shown, 350);
}

TEST(SpeechLines, MixModePicksUserLinesForLongerAndTableLinesForShorter) {
  Buddy b = talker(0, {"mine"});
  int mine = 0, table = 0;
  for (int i = 0; i < 1000; ++i) {
    b.mind.now += 10.0;
    const auto serial = b.speech.bubble_serial;
    spontaneous_line(b, 12);
    if (b.speech.bubble_serial == serial) continue;
    if (b.speech.bubble_text == "mine") {
      ++mine;
      EXPECT_DOUBLE_EQ(b.speech.bubble_until, b.mind.now + kUserLineSeconds);
    } else {
      ++table;
      EXPECT_DOUBLE_EQ(b.speech.bubble_until, b.mind.now + kTableLineSeconds);
    }
    EXPECT_TRUE(b.speech.bubble_replaceable);
  }
  EXPECT_NEAR(mine, 600, 60);
  EXPECT_NEAR(table, 240, 50);  // 0.4 x 0.6 of the chances
}

TEST(SpeechLines, NightLinesOnlyBetweenMidnightAndFive) {
  for (int hour = 0; hour < 24; ++hour) {
    Buddy b = talker(0);
    int night = 0;
    for (int i = 0; i < 300; ++i) {
      b.mind.now += 10.0;
      const auto serial = b.speech.bubble_serial;
      spontaneous_line(b, hour);
      if (b.speech.bubble_serial != serial && in_table("night", b.speech.bubble_text)) ++night;
    }
    if (hour < 5) {
      EXPECT_GT(night, 50) << "hour " << hour;
    } else {
      EXPECT_EQ(night, 0) << "hour " << hour;
    }
  }
}

TEST(SpeechLines, OnlyMyLinesWithNoLinesStaysSilentExceptSayAndTriggers) {
  Buddy b = talker(1);
  for (int i = 0; i < 200; ++i) {
    b.mind.now += 10.0;
    spontaneous_line(b, 2);
    chirp(b, "poke", 1.0);
    chirp(b, "wake", 1.0);
    say_line(b, "beep boop");
  }
  EXPECT_EQ(b.speech.bubble_serial, 0u);

  say(b, "hello", 6.0);
  EXPECT_EQ(b.speech.bubble_text, "hello");
  b.mind.now += 7.0;
  auto lines = std::make_shared<SpeechLines>(*b.speech.lines);
  lines->lines[4] = "ouch, finger";
  b.speech.lines = lines;
  chirp(b, "poked_lots", 0.0);
  EXPECT_EQ(b.speech.bubble_text, "ouch, finger");
  EXPECT_EQ(b.speech.bubble_serial, 2u);
}

TEST(SpeechLines, OnlyMyLinesReplacesTableLinesWithTheUsersOwn) {
  Buddy b = talker(1, {"a", "b"});
  for (int i = 0; i < 50; ++i) {
    b.mind.now += 10.0;
    chirp(b, "bonk", 1.0);
    EXPECT_TRUE(b.speech.bubble_text == "a" || b.speech.bubble_text == "b") << b.speech.bubble_text;
    EXPECT_DOUBLE_EQ(b.speech.bubble_until, b.mind.now + kTableLineSeconds);
  }
}

TEST(SpeechLines, TriggerLinesAreTrimmedAndBlankOnesCountAsEmpty) {
  Buddy b = talker(0);
  auto lines = std::make_shared<SpeechLines>();
  lines->lines[4] = "   \t ";
  lines->lines[1] = "  morning!  ";
  b.speech.lines = lines;

  EXPECT_FALSE(trigger(b, "poke"));
  chirp(b, "poke", 1.0);  // the usual reaction runs
  EXPECT_TRUE(in_table("poke", b.speech.bubble_text)) << b.speech.bubble_text;

  b.mind.now = 5.0;
  EXPECT_TRUE(trigger(b, "wake"));
  EXPECT_EQ(b.speech.bubble_text, "morning!");
  EXPECT_DOUBLE_EQ(b.speech.bubble_until, 5.0 + kUserLineSeconds);
  EXPECT_TRUE(b.speech.bubble_replaceable);
  EXPECT_FALSE(trigger(b, "caught"));  // no slot
}

TEST(SpeechLines, SleepAndDanceOnlyEverSayTheUsersLine) {
  Buddy b = talker(0);
  for (int i = 0; i < 50; ++i) {
    chirp(b, "sleep", 1.0);
    chirp(b, "dance", 1.0);
  }
  EXPECT_EQ(b.speech.bubble_serial, 0u);
}

TEST(SpeechLines, SayBubbleBlocksAutomaticLinesUntilItEnds) {
  Buddy b = talker(0);
  b.mind.now = 100.0;
  say(b, "listen to me", 10.0);
  EXPECT_FALSE(b.speech.bubble_replaceable);
  EXPECT_DOUBLE_EQ(b.speech.bubble_until, 110.0);

  b.mind.now = 105.0;
  chirp(b, "poke", 1.0);
  EXPECT_EQ(b.speech.bubble_text, "listen to me");
  EXPECT_EQ(b.speech.bubble_serial, 1u);

  b.mind.now = 110.0;  // the bubble has ended
  chirp(b, "poke", 1.0);
  EXPECT_TRUE(in_table("poke", b.speech.bubble_text));
  EXPECT_EQ(b.speech.bubble_serial, 2u);

  // A later command bubble replaces even a command bubble.
  say(b, "again", 3.0);
  say(b, "and again", 3.0);
  EXPECT_EQ(b.speech.bubble_text, "and again");
}

TEST(SpeechLines, SayClampsItsDuration) {
  Buddy b = talker(0);
  say(b, "x", 0.2);
  EXPECT_DOUBLE_EQ(b.speech.bubble_until, 1.0);
  say(b, "x", 600.0);
  EXPECT_DOUBLE_EQ(b.speech.bubble_until, 60.0);
  say(b, "x", std::nan(""));
  EXPECT_DOUBLE_EQ(b.speech.bubble_until, 6.0);
}

TEST(SpeechLines, SeveralTableLinesInOneStepLastOneShows) {
  Buddy b = talker(0);
  say_line(b, "one");
  say_line(b, "two");
  say_line(b, "three");
  EXPECT_EQ(b.speech.bubble_text, "three");
  EXPECT_EQ(b.speech.bubble_serial, 3u);
}

TEST(SpeechLines, DelayedLinesComeInDueOrderOnePerStep) {
  Buddy b = talker(0);
  b.mind.now = 10.0;
  say_later(b, "late", 2.0);
  say_later(b, "first", 0.5);
  say_later(b, "second", 0.5);  // same due time keeps its order
  say_later(b, "now", -3.0);    // a negative delay means at once
  say_later(b, "nan", std::nan(""));
  ASSERT_EQ(b.speech.delayed_lines.size(), 5u);

  speak_due_line(b);
  EXPECT_EQ(b.speech.bubble_text, "now");
  speak_due_line(b);
  EXPECT_EQ(b.speech.bubble_text, "nan");
  speak_due_line(b);  // nothing else due yet
  EXPECT_EQ(b.speech.bubble_text, "nan");
  b.mind.now = 10.5;
  speak_due_line(b);
  EXPECT_EQ(b.speech.bubble_text, "first");
  speak_due_line(b);
  EXPECT_EQ(b.speech.bubble_text, "second");
  b.mind.now = 20.0;
  speak_due_line(b);
  EXPECT_EQ(b.speech.bubble_text, "late");
  EXPECT_TRUE(b.speech.delayed_lines.empty());
}

TEST(SpeechLines, DelayedQueueStaysBoundedAndKeepsTheEarliest) {
  Buddy b = talker(0);
  for (int i = 0; i < 1000; ++i) say_later(b, std::to_string(i), 1000.0 - i);
  ASSERT_EQ(b.speech.delayed_lines.size(), kMaxDelayedLines);
  EXPECT_EQ(b.speech.delayed_lines.front().text, "999");
  EXPECT_TRUE(
      std::is_sorted(b.speech.delayed_lines.begin(), b.speech.delayed_lines.end(),
                     [](const DelayedLine& x, const DelayedLine& y) { return x.due < y.due; }));
}

TEST(SpeechLines, UnknownCategoriesUseTheIdleTable) {
  EXPECT_EQ(line_table("no such thing").size(), line_table("idle").size());
  EXPECT_STREQ(line_table("tagged")[2], "i'll get you!");
  EXPECT_EQ(line_table("boom").size(), 4u);
}

}  // namespace
}  // namespace perchkin
