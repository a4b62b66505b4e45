#include "brain/physics.h"
#include "props/prop.h"
#include "scene/draw_command.h"
#include "brain/pencil.h"
#include "crowd/buddy_event.h"
#include "scene/scene.h"

#include <gtest/gtest.h>

#include <cmath>

namespace perchkin {
namespace {

Buddy standing_buddy(double unit = 3.0) {
  Buddy b;
  b.motion.unit = unit;
  b.motion.x = 500;
  b.motion.y = 1080;
  b.motion.mode = BuddyMode::idle;
  b.motion.support = Support{0, 0, 1920, 1080, SurfaceKind::floor, {}};
  return b;
}

WorldView screen_view() {
  WorldView v;
  v.left = 0, v.top = 0, v.right = 1920, v.bottom = 1080;
  return v;
}

Result<DrawPlan> draw(const json& args, const Buddy& b) { return plan_draw(args, b, 1.0); }

// Runs the pencil until the buddy stops drawing, feeding its events to the scene.
int fly(Buddy& b, Scene& scene, double& now, int max_steps = 100000) {
  const WorldView view = screen_view();
  int steps = 0;
  while (b.motion.mode == BuddyMode::drawing && steps < max_steps) {
    pencil_step(b, view);
    now += 1.0 / 60.0;
    for (const auto& e : b.events) scene.apply_event(e, now);
    b.events.clear();
    ++steps;
  }
  return steps;
}

TEST(DrawArguments, ValidationMessages) {
  const Buddy b = standing_buddy();
  EXPECT_EQ(draw({{"kind", "blob"}}, b).error,
            "kind must be one of: line, curve, rect, ellipse, arrow, heart, star, text, fire, "
            "cloud, bolt, bomb, platform, clear");
  EXPECT_EQ(draw({{"kind", "line"}, {"pts", {{1, 2}}}}, b).error,
            "pts must be a list of 2 to 400 [x, y] pairs");
  EXPECT_EQ(draw({{"kind", "line"}, {"pts", "x"}}, b).error,
            "pts must be a list of 2 to 400 [x, y] pairs");
  EXPECT_EQ(draw({{"kind", "line"}, {"pts", {{1, 2}, {3}}}}, b).error, "each point must be [x, y]");
  EXPECT_EQ(draw({{"kind", "line"}, {"pts", {{1, 2}, {"a", 4}}}}, b).error, "x must be a number");
  EXPECT_EQ(draw({{"kind", "line"}, {"pts", {{1, 2}, {3, true}}}}, b).error, "y must be a number");
  EXPECT_EQ(draw({{"kind", "line"}, {"pts", {{1, 2}, {3, 4}}}, {"width", "x"}}, b).error,
            "width must be a number");
  EXPECT_EQ(draw({{"kind", "text"}, {"text", "  "}, {"pts", {{1, 2}}}}, b).error,
            "text needs some text");
  EXPECT_EQ(draw({{"kind", "platform"}, {"pts", {{1, 2}, {3, 4}, {5, 6}}}}, b).error,
            "platform needs 2 points: its two ends");
  EXPECT_EQ(draw({{"kind", "fire"}, {"pts", {{1, 2}}}, {"size", "big"}}, b).error,
            "size must be a number");
  EXPECT_TRUE(draw({{"kind", "clear"}}, b)->clear);
  EXPECT_EQ(draw({{"kind", "clear"}}, b)->reply, "cleared");
}

TEST(DrawArguments, WidthAndTtlClamps) {
  const Buddy b = standing_buddy();
  const json pts = {{0, 0}, {10, 0}};
  auto stroke = [&](json extra) {
    json args = {{"kind", "line"}, {"pts", pts}};
    args.update(extra);
    return draw(args, b)->job->strokes.front();
  };
  EXPECT_EQ(stroke({{"width", 0}}).width, 1.0);
  EXPECT_EQ(stroke({{"width", 100}}).width, 40.0);
  EXPECT_EQ(stroke({{"ttl", 5000}}).ttl, 600.0);
  EXPECT_EQ(stroke({{"ttl", -3}}).ttl, 0.0);
  EXPECT_EQ(
      plan_draw({{"kind", "line"}, {"pts", pts}, {"width", 4}}, b, 1.5)->job->strokes[0].width,
      6.0);
}

TEST(DrawJobs, TwentyWaitAndTheTwentyFirstIsRefused) {
  Buddy b = standing_buddy();
  const json args = {{"kind", "line"}, {"pts", {{0, 0}, {10, 0}}}};
  EXPECT_EQ(queue_job(b, *draw(args, b)->job, kMaxCrewDrawingPoints).error, "");
  EXPECT_EQ(b.motion.mode, BuddyMode::drawing);
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(queue_job(b, *draw(args, b)->job, kMaxCrewDrawingPoints).error, "");
  EXPECT_EQ(queue_job(b, *draw(args, b)->job, kMaxCrewDrawingPoints).error,
            "too many drawings waiting; try again in a moment");
  Buddy held = standing_buddy();
  held.motion.mode = BuddyMode::held;
  EXPECT_EQ(queue_job(held, *draw(args, held)->job, kMaxCrewDrawingPoints).error,
            "he is being held by the mouse right now");
}

TEST(DrawJobs, AJobBiggerThanTheCrewsRoomIsRefusedAndLeavesTheBuddyAsItWas) {
  Buddy b = standing_buddy();
  const json line = {{"kind", "line"}, {"pts", {{0, 0}, {10, 0}}}};
  const DrawJob job = *draw(line, b)->job;
  const std::size_t points = job_points(job);
  EXPECT_EQ(queue_job(b, job, points - 1).error, std::string(kTooMuchDrawing));
  EXPECT_NE(b.motion.mode, BuddyMode::drawing);
  EXPECT_FALSE(b.pencil.job);
  ASSERT_EQ(queue_job(b, job, points).error, "");
  EXPECT_EQ(b.pencil.job->points, points);
  EXPECT_EQ(queue_job(b, job, 0).error, std::string(kTooMuchDrawing));
  EXPECT_TRUE(b.pencil.waiting.empty());
  ASSERT_EQ(queue_job(b, job, points).error, "");
  EXPECT_EQ(b.pencil.waiting.size(), 1u);
}

TEST(DrawJobs, PencilSpeedHasAFloorAndLongDrawingsFinishInAboutEighteenSeconds) {
  Scene scene;
  double now = 0;
  Buddy b = standing_buddy(3.0);
  const json short_line = {{"kind", "line"}, {"pts", {{495, 1000}, {505, 1000}}}};
  ASSERT_EQ(queue_job(b, *draw(short_line, b)->job, kMaxCrewDrawingPoints).error, "");
  EXPECT_EQ(b.pencil.speed, 170.0 * 3.0);
  fly(b, scene, now);
  EXPECT_EQ(b.motion.mode, BuddyMode::fall);
  ASSERT_EQ(scene.order.size(), 1u);
  const Drawing& d = scene.drawings.begin()->second;
  EXPECT_TRUE(d.finished);
  EXPECT_EQ(d.points.front().x, 495.0f);
  EXPECT_EQ(d.points.back().x, 505.0f);

  Buddy long_one = standing_buddy(1.0);
  json pts = json::array();
  for (int i = 0; i < 400; ++i) pts.push_back({(i % 2) ? 1900 : 20, 100 + i});
  ASSERT_EQ(queue_job(long_one, *draw({{"kind", "line"}, {"pts", pts}}, long_one)->job,
                      kMaxCrewDrawingPoints)
                .error,
            "");
  const int steps = fly(long_one, scene, now);
  EXPECT_NEAR(steps / 60.0, 18.0, 0.5);
}

TEST(DrawJobs, GrabbingMidLineKeepsTheDrawnPartAndDropsTheRest) {
  Scene scene;
  double now = 0;
  Buddy b = standing_buddy(1.0);
  const json args = {{"kind", "line"}, {"pts", {{100, 500}, {1800, 500}}}};
  ASSERT_EQ(queue_job(b, *draw(args, b)->job, kMaxCrewDrawingPoints).error, "");
  ASSERT_EQ(queue_job(b, *draw(args, b)->job, kMaxCrewDrawingPoints).error, "");
  fly(b, scene, now, 120);
  ASSERT_EQ(scene.drawings.size(), 1u);
  const Drawing& d = scene.drawings.begin()->second;
  EXPECT_FALSE(d.finished);
  abandon_drawing(b);
  for (const auto& e : b.events) scene.apply_event(e, now);
  b.events.clear();
  EXPECT_TRUE(d.finished);
  EXPECT_LT(d.points.back().x, 1800.0f);
  EXPECT_FALSE(b.pencil.job);
  EXPECT_TRUE(b.pencil.waiting.empty());
}

TEST(DrawingStore, TheFourHundredAndFirstLineEvictsTheOldest) {
  Scene scene;
  std::uint64_t first = 0;
  for (int i = 0; i < 401; ++i) {
    InkEvent begin;
    begin.id = next_drawing_id();
    if (i == 0) first = begin.id;
    begin.colour = "red";
    begin.screen_points = {{1, 2}};
    scene.apply_event(BuddyEvent(begin), 0);
  }
  EXPECT_EQ(scene.order.size(), 400u);
  EXPECT_EQ(scene.drawings.size(), 400u);
  EXPECT_EQ(scene.drawings.count(first), 0u);
  // Unknown ids are ignored.
  InkEvent stray;
  stray.id = first;
  stray.screen_points = {{5, 5}};
  scene.apply_event(BuddyEvent(stray), 0);
  EXPECT_EQ(scene.drawings.count(first), 0u);
}

TEST(DrawingStore, ExpiryAndText) {
  Scene scene;
  EstimatedTextLayout layout;
  scene.layout = &layout;
  InkEvent begin;
  begin.id = next_drawing_id();
  begin.colour = "#0f0";
  begin.ttl = 2;
  scene.apply_event(BuddyEvent(begin), 0);
  EXPECT_EQ(scene.drawings[begin.id].color, rgba(0x00FF00));
  InkEvent end;
  end.id = begin.id;
  end.finish = true;
  scene.apply_event(BuddyEvent(end), 1);
  scene.expire(2.9);
  EXPECT_EQ(scene.drawings.size(), 1u);
  scene.expire(3.0);
  EXPECT_TRUE(scene.drawings.empty());
  EXPECT_TRUE(scene.order.empty());

  Buddy b = standing_buddy(1.0);
  Result<DrawPlan> text =
      draw({{"kind", "text"}, {"text", "hello"}, {"pts", {{100, 100}}}, {"ttl", 1}}, b);
  ASSERT_TRUE(text.ok());
  const Stroke& underline = text->job->strokes.front();
  EXPECT_FALSE(underline.ink);
  EXPECT_EQ(underline.points.front().y, 100 + 1.2 * 28);
  EXPECT_DOUBLE_EQ(underline.points.back().x - underline.points.front().x, 0.55 * 28 * 5);
  EXPECT_DOUBLE_EQ(*underline.fixed_speed, 0.55 * 28 * 5 / 0.35);
  ASSERT_TRUE(underline.start_event);
  scene.apply_event(*underline.start_event, 10);
  ASSERT_EQ(scene.texts.size(), 1u);
  scene.expire(10.36);
  EXPECT_TRUE(scene.texts[0].typed);
  scene.expire(11.35);
  EXPECT_EQ(scene.texts.size(), 1u);
  scene.expire(11.37);
  EXPECT_TRUE(scene.texts.empty());
}

TEST(DrawingStore, ATextFloodKeepsOnlyTheNewestTexts) {
  Scene scene;
  EstimatedTextLayout layout;
  scene.layout = &layout;
  for (std::size_t i = 0; i < 3 * kMaxTexts; ++i) {
    TextEvent t;
    t.text = "flood " + std::to_string(i);
    t.colour = "red";
    t.size = 28;
    t.duration = 0.3;
    t.ttl = 0;  // kept for good
    scene.apply_event(BuddyEvent(t), 0.01 * static_cast<double>(i));
    ASSERT_LE(scene.texts.size(), kMaxTexts);
  }
  scene.expire(100.0);
  ASSERT_EQ(scene.texts.size(), kMaxTexts);
  EXPECT_EQ(scene.texts.front().text, "flood " + std::to_string(2 * kMaxTexts));
  EXPECT_EQ(scene.texts.back().text, "flood " + std::to_string(3 * kMaxTexts - 1));
}

TEST(Platforms, OrderedEndsBecomeADrawnSurface) {
  Buddy b = standing_buddy(1.0);
  Result<DrawPlan> plan = draw({{"kind", "platform"}, {"pts", {{500, 300}, {200, 310}}}}, b);
  ASSERT_TRUE(plan.ok());
  const Stroke& ink = plan->job->strokes[0];
  EXPECT_EQ(ink.points.front().x, 200.0);
  EXPECT_EQ(ink.points.front().y, 310.0);
  EXPECT_EQ(ink.points.back().x, 500.0);
  const PropPlacement* place = std::get_if<PropPlacement>(&*plan->job->end_event);
  ASSERT_NE(place, nullptr);
  EXPECT_EQ(place->kind, PropKind::platform);
  Prop prop;
  prop.kind = PropKind::platform;
  prop.id = 7;
  prop.x = place->x, prop.y = place->y, prop.x2 = place->x2, prop.y2 = place->y2;
  std::vector<Support> surfaces;
  append_platform_surfaces(surfaces, std::span<const Prop>(&prop, 1));
  ASSERT_EQ(surfaces.size(), 1u);
  EXPECT_EQ(surfaces[0].id, -1000007);
  EXPECT_EQ(surfaces[0].left, 200.0);
  EXPECT_EQ(surfaces[0].right, 500.0);
  EXPECT_EQ(surfaces[0].top, 300.0);
  EXPECT_EQ(surfaces[0].kind, SurfaceKind::drawn);
}

TEST(Hazards, SketchIsAClosedLoopOfSeventyTwoSegmentsAndPlacesTheHazard) {
  Buddy b = standing_buddy(1.0);
  for (const char* kind : {"fire", "cloud", "bolt", "bomb"}) {
    Result<DrawPlan> plan = draw({{"kind", kind}, {"pts", {{800, 600}}}, {"ttl", 5}}, b);
    ASSERT_TRUE(plan.ok()) << kind;
    const Stroke& sketch = plan->job->strokes[0];
    EXPECT_EQ(sketch.points.size(), 73u) << kind;
    EXPECT_DOUBLE_EQ(sketch.points.front().x, sketch.points.back().x);
    EXPECT_EQ(sketch.ttl, 0.25);
    const PropPlacement* place = std::get_if<PropPlacement>(&*plan->job->end_event);
    ASSERT_NE(place, nullptr);
    EXPECT_EQ(place->ttl, 5.0);
    EXPECT_EQ(place->x, 800.0);
  }
}

TEST(DrawText, FontSizeStaysBetweenOneAnd200) {
  // Above 200 is cut to 200; at or below zero (which would draw nothing or upside down) is 1.
  const Buddy b = standing_buddy(1.0);
  const auto font_size = [&](const json& size, double scale) {
    Result<DrawPlan> plan = plan_draw(
        {{"kind", "text"}, {"text", "hi"}, {"pts", {{100, 100}}}, {"size", size}}, b, scale);
    EXPECT_TRUE(plan.ok()) << size;
    if (!plan.ok()) return 0.0;
    const TextEvent* text = std::get_if<TextEvent>(&*plan->job->strokes.front().start_event);
    EXPECT_GT(*plan->job->strokes.front().fixed_speed, 0.0);
    return text ? text->size : 0.0;
  };
  EXPECT_EQ(font_size(500, 1.0), 200.0);
  EXPECT_EQ(font_size(200, 1.5), 300.0);
  EXPECT_EQ(font_size(0, 1.0), 1.0);
  EXPECT_EQ(font_size(-40, 2.0), 2.0);
  EXPECT_EQ(font_size(0.5, 1.0), 1.0);
  EXPECT_EQ(font_size(12.5, 1.0), 12.5);
}

}  // namespace
}  // namespace perchkin
