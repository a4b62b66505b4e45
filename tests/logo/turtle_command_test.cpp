#include "logo/turtle_command.h"

#include <gtest/gtest.h>

#include <string>

#include "logo/samples.h"

namespace perchkin::logo {
namespace {

const PathPoint kAboveBuddy{640, 300};

TurtleDrawingResult command(const json& args) { return turtle_command(args, kAboveBuddy); }

TEST(TurtleCommand, SquareFromTheDefaultStart) {
  const TurtleDrawingResult r = command({{"prog", "repeat 4 [fd 100 rt 90]"}});
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r->reply, "drawing 5 points");
  EXPECT_EQ(r->ink_points, 5u);
  ASSERT_EQ(r->strokes.size(), 1u);
  const TurtleStroke& s = r->strokes[0];
  EXPECT_EQ(s.points.front(), kAboveBuddy);
  EXPECT_EQ(s.color, "red");
  EXPECT_EQ(s.width, 4.0);
  EXPECT_EQ(r->ttl, 10.0);
}

TEST(TurtleCommand, ArgumentsSetStartStyleAndTtl) {
  const TurtleDrawingResult r =
      command({{"prog", "fd 10"}, {"x", 5}, {"color", "#0f0"}, {"width", 100}, {"ttl", 5000}});
  ASSERT_TRUE(r.ok()) << r.error;
  const TurtleStroke& s = r->strokes[0];
  EXPECT_EQ(s.points, (PathPoints{{5, 300}, {15, 300}}));
  EXPECT_EQ(s.color, "#0f0");
  EXPECT_EQ(s.width, 40.0);
  EXPECT_EQ(r->ttl, 600.0);

  // A start far off the desktop is pulled in to the coordinate limit.
  const TurtleDrawingResult far = command({{"prog", "fd 10"}, {"x", -1e12}, {"y", 1e12}});
  ASSERT_TRUE(far.ok());
  EXPECT_EQ(far->strokes[0].points[0], (PathPoint{-20000, 20000}));
}

TEST(TurtleCommand, ArgumentMessagesInOrder) {
  EXPECT_EQ(command({{"prog", "fd 1"}, {"width", "thick"}, {"x", "a"}}).error,
            "width must be a number");
  EXPECT_EQ(command({{"prog", "fd 1"}, {"ttl", "long"}}).error, "ttl must be a number");
  EXPECT_EQ(command({{"prog", "fd 1"}, {"x", "a"}, {"y", "b"}}).error, "x must be a number");
  EXPECT_EQ(command({{"prog", "fd 1"}, {"y", json::array()}}).error, "y must be a number");
  EXPECT_EQ(command({{"x", "a"}}).error, "x must be a number");
  EXPECT_EQ(command(json::object()).error, "prog needs some turtle commands");
  EXPECT_EQ(command({{"prog", 5}}).error, "prog needs some turtle commands");
  EXPECT_EQ(command({{"prog", " \t\n "}}).error, "prog needs some turtle commands");
  EXPECT_EQ(command(json::array()).error, "prog needs some turtle commands");
}

TEST(TurtleCommand, ProgramLengthCountsBytesBeforeTrimming) {
  const std::string at_limit = "fd 1" + std::string(3996, ' ');
  EXPECT_TRUE(command({{"prog", at_limit}}).ok());
  EXPECT_EQ(command({{"prog", at_limit + " "}}).error, "prog is too long");
}

TEST(TurtleCommand, EveryProgramMessageReachesTheCaller) {
  const std::pair<const char*, const char*> cases[] = {
      {"repeat 0 [fd 1]", "that program draws nothing"},
      {"pu fd 100", "that program draws nothing"},
      {"rt 90", "that program draws nothing"},
      {"repeat 7 [repeat 2 [repeat 2 [repeat 2 [repeat 2 [repeat 2 [repeat 2 [fd 1]]]]]]]",
       "repeats are nested too deeply"},
      {"repeat 2001 [fd 1]", "repeat count must be 0 to 2000"},
      {"repeat 3 fd 10", "repeat needs a count and a [ block ]"},
      {"repeat 3", "repeat needs a count and a [ block ]"},
      {"repeat 3 [fd 10", "a repeat block is missing its ]"},
      {"fd 10 ]", "unexpected ]"},
      {"jump 5", "unknown turtle command jump"},
      {"fd", "fd needs 1 value(s)"},
      {"Forward", "Forward needs 1 value(s)"},
      {"goto 10", "goto needs 2 value(s)"},
      {"fd 2 + 3", "unknown turtle command +"},
      {"fd abc", "not a number: abc"},
      {"fd 10/0", "not a number: 10/0"},
      {"repeat 2000 [repeat 2000 [rt 1]]", "program runs too long"},
      {"repeat 2000 [repeat 2000 [fd 1]]", "drawing is too big"},
  };
  for (const auto& [prog, message] : cases) {
    EXPECT_EQ(command({{"prog", prog}}).error, message) << prog;
  }
}

TEST(TurtleCommand, TravelStrokesStayButDoNotCount) {
  const TurtleDrawingResult r = command({{"prog", "pu fd 50 pd fd 50 pu fd 5 pd"}});
  ASSERT_TRUE(r.ok()) << r.error;
  ASSERT_EQ(r->strokes.size(), 3u);
  EXPECT_FALSE(r->strokes[0].pen);
  EXPECT_TRUE(r->strokes[1].pen);
  EXPECT_FALSE(r->strokes[2].pen);
  EXPECT_EQ(r->reply, "drawing 2 points");
}

TEST(TurtleCommand, SampleProgramsAllDraw) {
  const char* replies[] = {"drawing 37 points", "drawing 61 points", "drawing 877 points",
                           "drawing 6 points",  "drawing 19 points", "drawing 73 points"};
  const char* colors[] = {"#FF4D6D", "#4D9DFF", "#4DD599", "#B36BFF", "#FF8A3D", "#FFD23F"};
  for (std::size_t i = 0; i < kSamplePrograms.size(); ++i) {
    const TurtleDrawingResult r = command({{"prog", kSamplePrograms[i]}});
    ASSERT_TRUE(r.ok()) << i << ": " << r.error;
    EXPECT_EQ(r->reply, replies[i]) << i;
    ASSERT_EQ(r->strokes.size(), 1u) << i;
    EXPECT_EQ(r->strokes[0].color, colors[i]) << i;
  }
}

}  // namespace
}  // namespace perchkin::logo
