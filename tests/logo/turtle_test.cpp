#include "logo/turtle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace perchkin::logo {
namespace {

std::string parse_error(std::string_view prog) { return parse(tokenize(prog)).error; }

RunResult run_from(std::string_view prog, PathPoint start = {0, 0}) {
  const ParseResult parsed = parse(tokenize(prog));
  EXPECT_TRUE(parsed.ok()) << prog << ": " << parsed.error;
  const std::vector<TurtleStatement> none;
  return run(parsed.ok() ? *parsed : none, start_turtle(start, "red", 4));
}

PathPoint end_of(std::string_view prog, PathPoint start = {0, 0}) {
  const RunResult r = run_from(prog, start);
  EXPECT_TRUE(r.ok()) << prog << ": " << r.error;
  if (!r.ok() || (*r).empty()) return {};
  return (*r).back().points.back();
}

std::string nested_repeats(int depth) {
  std::string prog;
  for (int i = 0; i < depth; ++i) prog += "repeat 2 [";
  prog += "fd 1";
  for (int i = 0; i < depth; ++i) prog += "]";
  return prog;
}

TEST(Parse, BracketsStandAloneAndNamesIgnoreCase) {
  const std::vector<std::string> expected{"repeat", "4", "[", "fd", "10", "rt", "90", "]"};
  EXPECT_EQ(tokenize("repeat 4[fd 10,rt 90]"), expected);
  const ParseResult r = parse(tokenize("REPEAT 3 [FD :i*10 Rt 120]"));
  ASSERT_TRUE(r.ok()) << r.error;
  ASSERT_EQ((*r).size(), 1u);
  ASSERT_EQ((*r)[0].body.size(), 2u);
  EXPECT_EQ((*r)[0].body[0].op, TurtleOp::forward);
  EXPECT_EQ((*r)[0].body[0].values, std::vector<std::string>{":i*10"});
}

TEST(Parse, SixNestedRepeatsPassAndSevenDoNot) {
  EXPECT_TRUE(parse(tokenize(nested_repeats(6))).ok());
  EXPECT_EQ(parse_error(nested_repeats(7)), "repeats are nested too deeply");
  // Deeper text is refused at the seventh level, not recursed into.
  EXPECT_EQ(parse_error(nested_repeats(1000)), "repeats are nested too deeply");
}

TEST(Run, MovesFollowTheHeadingWithYDown) {
  const PathPoint start{500, 400};
  EXPECT_EQ(end_of("fd 100", start), (PathPoint{600, 400}));
  const PathPoint up = end_of("lt 90 fd 100", start);
  EXPECT_NEAR(up.x, 500, 1e-9);
  EXPECT_NEAR(up.y, 300, 1e-9);
  const PathPoint back = end_of("rt 90 bk 50", start);
  EXPECT_NEAR(back.x, 500, 1e-9);
  EXPECT_NEAR(back.y, 350, 1e-9);
  EXPECT_EQ(end_of("goto 10 -20", start), (PathPoint{10, -20}));
  const PathPoint set = end_of("rt 45 seth 180 fd 10", start);
  EXPECT_NEAR(set.x, 490, 1e-9);
  EXPECT_NEAR(set.y, 400, 1e-9);
}

TEST(Run, SquareIsOneClosedInkStroke) {
  const RunResult r = run_from("repeat 4 [fd 100 rt 90]", {10, 10});
  ASSERT_TRUE(r.ok());
  ASSERT_EQ((*r).size(), 1u);
  const TurtleStroke& s = (*r)[0];
  EXPECT_TRUE(s.pen);
  ASSERT_EQ(s.points.size(), 5u);
  EXPECT_NEAR(s.points[2].x, 110, 1e-9);
  EXPECT_NEAR(s.points[2].y, 110, 1e-9);
  EXPECT_NEAR(s.points[4].x, 10, 1e-9);
  EXPECT_NEAR(s.points[4].y, 10, 1e-9);
}

TEST(Run, CounterIsTheInnermostRoundFromOne) {
  const RunResult r = run_from("repeat 3 [fd :i*10 rt 120]");
  ASSERT_TRUE(r.ok());
  const PathPoints& p = (*r)[0].points;
  ASSERT_EQ(p.size(), 4u);
  EXPECT_NEAR(std::hypot(p[1].x - p[0].x, p[1].y - p[0].y), 10, 1e-9);
  EXPECT_NEAR(std::hypot(p[2].x - p[1].x, p[2].y - p[1].y), 20, 1e-9);
  EXPECT_NEAR(std::hypot(p[3].x - p[2].x, p[3].y - p[2].y), 30, 1e-9);

  // Outside any repeat the counter is 0; inside nested ones it is the inner round.
  EXPECT_EQ(end_of("fd :i", {7, 8}), (PathPoint{7, 8}));
  EXPECT_EQ(end_of("repeat 5 [repeat 2 [goto :i 0]]"), (PathPoint{2, 0}));
  EXPECT_EQ(end_of("repeat 3 [repeat 2 [fd 1] goto :i 0]"), (PathPoint{3, 0}));
}

TEST(Run, RepeatCountsAndValues) {
  EXPECT_EQ(run_from("repeat 2001 [fd 1]").error, "repeat count must be 0 to 2000");
  EXPECT_EQ(run_from("repeat -5 [fd 1]").error, "repeat count must be 0 to 2000");
  EXPECT_EQ((*run_from("repeat 2.7 [fd 1]"))[0].points.size(), 3u);
  EXPECT_EQ((*run_from("repeat -0.5 [fd 1]"))[0].points.size(), 1u);
  EXPECT_EQ((*run_from("repeat 0 [fd 1]"))[0].points.size(), 1u);
  EXPECT_EQ(run_from("repeat 2000 []").error, "");
  EXPECT_EQ(run_from("repeat abc [fd 1]").error, "not a number: abc");
  EXPECT_EQ(run_from("repeat 3 [fd 10/(2-:i)]").error, "not a number: 10/(2-:i)");
  EXPECT_EQ(end_of("fd (2+3)*4"), (PathPoint{20, 0}));
}

TEST(Run, PenChangesSplitStrokesOnlyAfterMovement) {
  const RunResult r = run_from("pu fd 50 pd fd 50");
  ASSERT_TRUE(r.ok());
  ASSERT_EQ((*r).size(), 2u);
  EXPECT_FALSE((*r)[0].pen);
  EXPECT_EQ((*r)[0].points, (PathPoints{{0, 0}, {50, 0}}));
  EXPECT_TRUE((*r)[1].pen);
  EXPECT_EQ((*r)[1].points, (PathPoints{{50, 0}, {100, 0}}));

  // Before the first move a change rewrites the first stroke in place.
  const RunResult in_place = run_from("color blue width 100 fd 10 width 0 color #0f0 fd 5");
  ASSERT_TRUE(in_place.ok());
  ASSERT_EQ((*in_place).size(), 2u);
  EXPECT_EQ((*in_place)[0].color, "blue");
  EXPECT_EQ((*in_place)[0].width, 40.0);
  EXPECT_EQ((*in_place)[0].points.size(), 2u);
  // "width 0" starts a stroke after the move; "color" then rewrites that still-empty stroke.
  EXPECT_EQ((*in_place)[1].color, "#0f0");
  EXPECT_EQ((*in_place)[1].width, 1.0);
  EXPECT_EQ((*in_place)[1].points, (PathPoints{{10, 0}, {15, 0}}));
}

TEST(Run, ColorTokenIsKeptAsWrittenUpTo24Characters) {
  const RunResult r = run_from("color " + std::string(30, 'Q') + " fd 1");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ((*r)[0].color, std::string(24, 'Q'));
}

TEST(Run, CircleIsA74PointPolygonToTheLeft) {
  const RunResult r = run_from("circle 50", {100, 100});
  ASSERT_TRUE(r.ok());
  const PathPoints& p = (*r)[0].points;
  ASSERT_EQ(p.size(), 74u);
  EXPECT_NEAR(p.back().x, 100, 1e-9);
  EXPECT_NEAR(p.back().y, 100, 1e-9);
  double top = 100;
  for (const PathPoint& q : p) {
    EXPECT_LE(q.y, 100 + 1e-9);  // heading east, left is up the screen
    top = std::min(top, q.y);
  }
  EXPECT_NEAR(top, 0, 0.1);
  // The turtle ends heading where it began.
  EXPECT_NEAR(end_of("circle 50 fd 10", {100, 100}).x, 110, 1e-9);
}

TEST(Run, ArcTurnsLeftForPositiveAngles) {
  const RunResult left = run_from("arc 90 50");
  ASSERT_TRUE(left.ok());
  EXPECT_EQ((*left)[0].points.size(), 1u + 19u);
  EXPECT_NEAR((*left)[0].points.back().x, 50, 1e-9);
  EXPECT_NEAR((*left)[0].points.back().y, -50, 1e-9);
  const PathPoint right = end_of("arc -90 -50");
  EXPECT_NEAR(right.x, 50, 1e-9);
  EXPECT_NEAR(right.y, 50, 1e-9);
  EXPECT_EQ((*run_from("arc 0 10"))[0].points.size(), 3u);
  EXPECT_EQ((*run_from("arc 100000 10"))[0].points.size(), 361u);
}

TEST(Run, CoordinatesAreClampedAndStayNumbers) {
  EXPECT_EQ(end_of("fd 99999"), (PathPoint{20000, 0}));
  EXPECT_EQ(end_of("goto -50000 50000"), (PathPoint{-20000, 20000}));
  EXPECT_EQ(start_turtle({1e300, -1e300}, "red", 4).strokes[0].points[0],
            (PathPoint{20000, -20000}));

  // Headings that would overflow and chords that would be infinite must not produce NaN.
  const std::string huge(308, '9');
  for (const std::string& prog :
       {"rt " + huge + " rt " + huge + " fd 10", "arc 360 " + huge, "arc 0 " + huge,
        "seth " + huge + " lt " + huge + " circle " + huge}) {
    const RunResult r = run_from(prog);
    ASSERT_TRUE(r.ok()) << r.error;
    for (const TurtleStroke& s : (*r)) {
      for (const PathPoint& q : s.points) {
        EXPECT_TRUE(std::isfinite(q.x) && std::isfinite(q.y)) << prog.substr(0, 10);
        EXPECT_LE(std::abs(q.x), 20000);
        EXPECT_LE(std::abs(q.y), 20000);
      }
    }
  }
}

TEST(Run, StatementLimit) {
  // Turning adds no points, so the statement limit ends this long before it finishes.
  EXPECT_EQ(run_from("repeat 2000 [repeat 2000 [rt 1]]").error, "program runs too long");
  // 1 + 24 * 2000 + 1 + 1998 = 50000 statements exactly.
  EXPECT_TRUE(run_from("repeat 24 [repeat 1999 [rt 1]] repeat 1998 [rt 1]").ok());
  EXPECT_EQ(run_from("repeat 24 [repeat 1999 [rt 1]] repeat 1999 [rt 1]").error,
            "program runs too long");
  // Nested empty repeats still count each repeat run.
  EXPECT_EQ(run_from("repeat 2000 [repeat 2000 [repeat 2000 []]]").error, "program runs too long");
}

TEST(Run, LongCounterNumbersNeverExhaustTheWork) {
  // Every round reads every 20-digit number afresh. The program stays within the limits on text,
  // statements and points, so the work done on long numbers must not stop it, however many fit.
  const auto program = [](int numbers) {
    std::string value = "0*(1";
    for (int i = 0; i < numbers; ++i) value += "+1234567890123456789:i";
    return "repeat 2000 [rt " + value + ")] fd 1";
  };
  EXPECT_TRUE(run_from(program(60)).ok());
  std::string longest = program(180);
  ASSERT_LE(longest.size(), kMaxProgramBytes);
  EXPECT_TRUE(run_from(longest).ok());
}

TEST(Run, NumbersBeyondADoubleStillMove) {
  // 1/99…9 is 0, not a failure, so the turtle stays put; the numeral alone is not finite.
  const std::string nines(400, '9');
  const RunResult moved = run_from("fd 1/" + nines + " fd 5", {10, 10});
  ASSERT_TRUE(moved.ok()) << moved.error;
  EXPECT_EQ((*moved)[0].points.size(), 3u);
  EXPECT_EQ((*moved)[0].points[1].x, 10.0);
  EXPECT_EQ((*moved)[0].points[2].x, 15.0);
  EXPECT_EQ(run_from("fd " + nines).error, "not a number: " + nines);
}

TEST(Run, PointLimit) {
  // Moving reaches 20000 points well before 50000 statements.
  EXPECT_EQ(run_from("repeat 2000 [repeat 2000 [fd 1]]").error, "drawing is too big");
  const RunResult exactly = run_from("repeat 10 [repeat 2000 [fd 1]]");
  ASSERT_TRUE(exactly.ok());
  EXPECT_EQ((*exactly)[0].points.size(), 20001u);
  EXPECT_EQ(run_from("repeat 10 [repeat 2000 [fd 1]] fd 1").error, "drawing is too big");
  EXPECT_EQ(run_from("repeat 300 [circle 10]").error, "drawing is too big");
}

}  // namespace
}  // namespace perchkin::logo
