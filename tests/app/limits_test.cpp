// What a flood of commands from one client can pile up: drawing work across the crew and placed
// props are bounded, and clear takes the props away.
#include "app/app.h"
#include "app_fixture.h"
#include "app/commands.h"
#include "brain/pencil.h"
#include "props/hazards.h"

#include <gtest/gtest.h>

namespace perchkin {
namespace {

struct Limits : test::AppFixture {
  void SetUp() override {
    start(12, 4242);
    ticks(120);
  }
};

// 20,001 points: the most one turtle program may draw.
const json kBiggestTurtle = {{"prog", "repeat 1000 [repeat 20 [fd 2 rt 1]]"}, {"id", "all"}};

TEST_F(Limits, ABigDrawingFloodIsRefusedUntilTheCrewHasDrawnSomeOfIt) {
  ASSERT_TRUE(run_command(app, "crew", {{"add", 2}}).ok);
  ticks(120);
  // Each command gives every buddy one program; 19 of them fit under the bound, the 20th not.
  for (int i = 0; i < 6; ++i) {
    const CommandReply r = run_command(app, "turtle", kBiggestTurtle);
    ASSERT_TRUE(r.ok) << r.msg;
    EXPECT_EQ(r.msg, "3 buddies: drawing 20001 points");
  }
  const CommandReply refused = run_command(app, "turtle", kBiggestTurtle);
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.msg, "too much drawing waiting; try again in a moment");
  const std::size_t busy = crew_drawing_points(app.world.crew);
  EXPECT_EQ(busy, 19u * 20001u);
  // The bound is in points: a big program to another buddy is refused, a small line still fits.
  EXPECT_EQ(run_command(app, "turtle", {{"prog", kBiggestTurtle["prog"]}, {"id", 2}}).msg,
            "too much drawing waiting; try again in a moment");
  EXPECT_EQ(run_command(app, "draw", {{"kind", "line"}, {"pts", {{0, 0}, {900, 900}}}, {"id", 2}})
                .msg,
            "drawing line");

  // A program takes about 18 s; once one is done there is room for another.
  ticks(60 * 19);
  EXPECT_LT(crew_drawing_points(app.world.crew), busy);
  const CommandReply again = run_command(app, "turtle", {{"prog", kBiggestTurtle["prog"]}});
  EXPECT_TRUE(again.ok) << again.msg;
}

TEST_F(Limits, OneBigDrawingAlwaysFitsAnIdleCrew) {
  EXPECT_EQ(run_command(app, "turtle", {{"prog", kBiggestTurtle["prog"]}}).msg,
            "drawing 20001 points");
  EXPECT_EQ(crew_drawing_points(app.world.crew), 20001u);
}

TEST_F(Limits, ClearRemovesThePlacedPropsWithTheDrawings) {
  for (int i = 0; i < 3; ++i)
    place_prop(app.world.effects, default_placement(PropKind::cloud, 300.0 + 200 * i, 300),
               app.sim_clock);
  place_prop(app.world.effects, default_placement(PropKind::platform, 600, 700), app.sim_clock);
  ticks(1);
  ASSERT_EQ(app.world.effects.props.size(), 4u);
  EXPECT_EQ(run_command(app, "draw", {{"kind", "clear"}}).msg, "cleared");
  ticks(1);
  EXPECT_TRUE(app.world.effects.props.empty());
  EXPECT_TRUE(app.world.scene.drawings.empty());
}

TEST_F(Limits, ACloudFloodKeepsTheNewestProps) {
  for (std::size_t i = 0; i < 3 * kMaxProps; ++i) {
    PropPlacement cloud = default_placement(PropKind::cloud, static_cast<double>(i % 1900), 200);
    cloud.size = 1;
    cloud.ttl = 0;
    app.world.crew.buddies[0].push_event(cloud);
    if (i % 50 == 49) ticks(1);
  }
  ticks(1);
  ASSERT_EQ(app.world.effects.props.size(), kMaxProps);
  EXPECT_EQ(app.world.effects.props.back().id, 3 * kMaxProps - 1);
}

}  // namespace
}  // namespace perchkin
