#include "shapes/shapes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace perchkin {
namespace {

double distance(const PathPoint& a, const PathPoint& b) { return std::hypot(a.x - b.x, a.y - b.y); }

TEST(ShapePoints, RectTakesCornersInAnyOrder) {
  const ShapeResult r = shape_points("rect", {{300, 200}, {100, 50}});
  ASSERT_TRUE(r.ok());
  const PathPoints expected{{300, 200}, {100, 200}, {100, 50}, {300, 50}, {300, 200}};
  EXPECT_EQ((*r), expected);
}

TEST(ShapePoints, FlatEllipseAndHeartKeepTheirPointCounts) {
  const PathPoints flat{{100, 80}, {300, 80}};
  const ShapeResult ellipse = shape_points("ellipse", flat);
  ASSERT_TRUE(ellipse.ok());
  ASSERT_EQ((*ellipse).size(), 49u);
  for (const PathPoint& p : (*ellipse)) EXPECT_DOUBLE_EQ(p.y, 80.0);
  EXPECT_EQ((*ellipse).front(), (PathPoint{300, 80}));
  EXPECT_EQ((*ellipse).back(), (PathPoint{300, 80}));

  const ShapeResult heart = shape_points("heart", flat);
  ASSERT_TRUE(heart.ok());
  ASSERT_EQ((*heart).size(), 65u);
  for (const PathPoint& p : (*heart)) EXPECT_DOUBLE_EQ(p.y, 80.0);
}

TEST(ShapePoints, EllipseGoesClockwiseOnScreenFromTheRight) {
  const ShapeResult r = shape_points("ellipse", {{0, 0}, {200, 100}});
  ASSERT_TRUE(r.ok());
  // A quarter of the way round is the bottom of the box (y grows downwards).
  EXPECT_NEAR((*r)[12].x, 100.0, 1e-9);
  EXPECT_NEAR((*r)[12].y, 100.0, 1e-9);
  EXPECT_NEAR((*r)[24].x, 0.0, 1e-9);
  EXPECT_NEAR((*r)[24].y, 50.0, 1e-9);
}

TEST(ShapePoints, HeartPointsUpAndClosesAtTheNotch) {
  const ShapeResult r = shape_points("heart", {{0, 0}, {200, 150}});
  ASSERT_TRUE(r.ok());
  const double notch_y = 75.0 - 0.4666666666666667 * 75.0;
  EXPECT_NEAR((*r).front().x, 100.0, 1e-9);
  EXPECT_NEAR((*r).front().y, notch_y, 1e-9);
  EXPECT_EQ((*r).back(), (PathPoint{100.0, notch_y}));
  // Half way round is the tip, at the bottom edge of the box.
  EXPECT_NEAR((*r)[32].x, 100.0, 1e-9);
  EXPECT_NEAR((*r)[32].y, 150.0, 1e-9);
  EXPECT_LT(notch_y, 75.0);
}

TEST(ShapePoints, StarStartsAtTheTopAndAlternatesRadii) {
  const ShapeResult r = shape_points("star", {{0, 0}, {200, 200}});
  ASSERT_TRUE(r.ok());
  ASSERT_EQ((*r).size(), 11u);
  EXPECT_NEAR((*r)[0].x, 100.0, 1e-9);
  EXPECT_NEAR((*r)[0].y, 0.0, 1e-9);
  EXPECT_EQ((*r)[10], (*r)[0]);
  const PathPoint centre{100, 100};
  for (std::size_t k = 0; k < 10; ++k) {
    EXPECT_NEAR(distance((*r)[k], centre), k % 2 == 0 ? 100.0 : 42.0, 1e-9) << k;
  }
  // Clockwise on screen: the second vertex lies right of the top one.
  EXPECT_GT((*r)[1].x, 100.0);
  EXPECT_NEAR((*r)[5].y, 142.0, 1e-9);
}

TEST(ShapePoints, ArrowDrawsShaftThenBothBarbsFromTheTip) {
  const ShapeResult long_arrow = shape_points("arrow", {{0, 0}, {500, 0}});
  ASSERT_TRUE(long_arrow.ok());
  ASSERT_EQ((*long_arrow).size(), 5u);
  const PathPoint tip{500, 0};
  EXPECT_EQ((*long_arrow)[0], (PathPoint{0, 0}));
  EXPECT_EQ((*long_arrow)[1], tip);
  EXPECT_EQ((*long_arrow)[3], tip);
  EXPECT_NEAR(distance((*long_arrow)[2], tip), 40.0, 1e-9);
  EXPECT_NEAR(distance((*long_arrow)[4], tip), 40.0, 1e-9);
  EXPECT_NEAR((*long_arrow)[2].x, 500 - 40 * std::cos(0.45), 1e-9);
  EXPECT_NEAR((*long_arrow)[2].y, 40 * std::sin(0.45), 1e-9);
  EXPECT_NEAR((*long_arrow)[4].y, -40 * std::sin(0.45), 1e-9);

  const ShapeResult short_arrow = shape_points("arrow", {{10, 10}, {70, 90}});
  ASSERT_TRUE(short_arrow.ok());
  EXPECT_NEAR(distance((*short_arrow)[2], {70, 90}), 30.0, 1e-9);
  EXPECT_NEAR(distance((*short_arrow)[4], {70, 90}), 30.0, 1e-9);

  EXPECT_EQ(shape_points("arrow", {{10, 10}, {10.5, 10.5}}).error,
            "arrow needs two different points");
}

TEST(ShapePoints, CurveHasOneStepPerSixPixelsOfChord) {
  const PathPoints given{{0, 0}, {60, 0}, {120, 0}};
  const ShapeResult r = shape_points("curve", given);
  ASSERT_TRUE(r.ok());
  ASSERT_EQ((*r).size(), 1u + 10u + 10u);
  EXPECT_EQ((*r)[0], given[0]);
  EXPECT_NEAR((*r)[10].x, 60.0, 1e-9);
  EXPECT_NEAR((*r)[20].x, 120.0, 1e-9);
  // The copied end points make the curve ease out of its first point: 0.5 (60t + 120t² - 60t³).
  EXPECT_NEAR((*r)[5].x, 26.25, 1e-9);
  EXPECT_NEAR((*r)[15].x, 93.75, 1e-9);

  // Steps are clamped to 2..40 per segment.
  EXPECT_EQ(curve_points({{0, 0}, {3, 0}, {6, 0}}).size(), 1u + 2u + 2u);
  EXPECT_EQ(curve_points({{0, 0}, {1000, 0}, {0, 500}}).size(), 1u + 40u + 40u);
}

TEST(ShapePoints, CurveThroughTwoPointsIsTheSegment) {
  const PathPoints two{{5, 6}, {70, 80}};
  EXPECT_EQ(*shape_points("curve", two), two);
}

TEST(ShapePoints, LineKeepsAllPointsUnchanged) {
  PathPoints many;
  for (int i = 0; i < 400; ++i) many.push_back({i * 1.5, -i * 0.25});
  const ShapeResult r = shape_points("line", many);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ((*r), many);
}

TEST(ShapePoints, PointCountAndKindMessages) {
  EXPECT_EQ(shape_points("blob", {{0, 0}, {1, 1}}).error, "unknown kind blob");
  EXPECT_EQ(shape_points("line", {{0, 0}}).error, "line needs at least 2 points");
  EXPECT_EQ(shape_points("curve", {}).error, "curve needs at least 2 points");
  EXPECT_EQ(shape_points("rect", {{0, 0}, {1, 1}, {2, 2}}).error, "rect needs exactly 2 points");
  EXPECT_EQ(shape_points("star", {{0, 0}}).error, "star needs exactly 2 points");
  EXPECT_FALSE(shape_points("heart", {{0, 0}}).ok());
}

}  // namespace
}  // namespace perchkin
