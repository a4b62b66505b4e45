// The whole world tick on the headless desktop, driven directly (no sleeping).
#include "app/app.h"
#include "app_fixture.h"
#include "app/commands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace perchkin {
namespace {

struct World : test::AppFixture {
  void SetUp() override { start(14, 4242); }
  void tick() { ticks(1); }
  CommandReply command(const char* name, json args) { return run_command(app, name, args); }
};

TEST_F(World, SocialPlayHappensInACrewOfTwenty) {
  ASSERT_TRUE(command("crew", {{"add", 19}}).ok);
  std::set<std::string> modes;
  std::set<std::string> lines;
  for (int i = 0; i < 120 * 60; ++i) {
    tick();
    for (const Buddy& b : app.crew.buddies) {
      modes.insert(b.mode == BuddyMode::act ? b.act : mode_name(b.mode));
      if (b.now < b.bubble_until) lines.insert(b.bubble_text);
    }
  }
  EXPECT_TRUE(modes.count("wave") || modes.count("dance") || modes.count("chase"));
  const bool chat = lines.count("hi!") || lines.count("race you!") ||
                    lines.count("nice weather on this screen") || lines.count("spooky") ||
                    lines.count("i'm the original") || lines.count("every frame") ||
                    lines.count("what are we building?") || lines.count("shhh, look busy") ||
                    lines.count("i drew a fire earlier");
  const int games = int(chat) + int(lines.count("dance off!") > 0) +
                    int(lines.count("high five!") > 0) + int(lines.count("tag! you're it!") > 0);
  EXPECT_GE(games, 2) << "modes seen: " << modes.size();
}

TEST_F(World, ScenarioOverThePortPath) {
  ASSERT_TRUE(command("crew", {{"add", 9}}).ok);
  for (int i = 0; i < 4 * 60; ++i) tick();
  EXPECT_EQ(command("draw", {{"kind", "platform"}, {"pts", {{600, 700}, {1000, 700}}}}).msg,
            "drawing platform");
  for (int i = 0; i < 6 * 60; ++i) tick();
  EXPECT_EQ(command("leap", {{"x", 800}, {"y", 690}, {"id", "all"}}).msg,
            "10 buddies: leaping to 800,690");
  for (int i = 0; i < 4 * 60; ++i) tick();
  std::size_t on_platform = 0;
  for (const Buddy& b : app.crew.buddies)
    if (b.support && (b.support->kind == SurfaceKind::drawn || b.support->kind == SurfaceKind::buddy))
      ++on_platform;
  EXPECT_GE(on_platform, 3u);
  EXPECT_EQ(command("draw", {{"kind", "bomb"}, {"pts", {{900, 600}}}}).msg, "drawing bomb");
  EXPECT_EQ(command("draw", {{"kind", "fire"}, {"pts", {{300, 1080}}}, {"id", 3}}).msg,
            "drawing fire");
  EXPECT_EQ(command("draw", {{"kind", "cloud"}, {"pts", {{300, 900}}}, {"id", 4}}).msg,
            "drawing cloud");
  EXPECT_EQ(command("turtle", {{"prog", "repeat 5 [fd 80 rt 144]"}, {"id", 5}}).msg,
            "drawing 6 points");
  EXPECT_EQ(command("fx", {{"kind", "fireworks"}}).msg, "fireworks");
  for (int i = 0; i < 20 * 60; ++i) {
    tick();
    for (const Buddy& b : app.crew.buddies) {
      ASSERT_TRUE(std::isfinite(b.x) && std::isfinite(b.y)) << b.id;
    }
    ASSERT_LE(app.effects.particles.size(), 900u);
  }
  EXPECT_EQ(command("crew", {{"remove", "all"}}).msg, "1 buddies, ids 0");
  auto status = parse_json(command("status", json::object()).msg);
  ASSERT_TRUE(status);
  EXPECT_EQ((*status)["buddies"].size(), 1u);
}

TEST_F(World, RemovingEveryBuddyLeavesCommandsAnsweringPolitely) {
  remove_every_buddy(app);
  tick();
  EXPECT_EQ(command("say", {{"text", "hi"}}).msg, "there are no buddies right now; add one with crew");
  // "all" of an empty crew is nobody: the command succeeds for none of them, unlike the
  // default target, which names one buddy that is missing.
  const CommandReply none = command("act", {{"action", "dance"}, {"id", "all"}});
  EXPECT_TRUE(none.ok);
  EXPECT_EQ(none.msg, "0 buddies: ");
  EXPECT_TRUE(command("crew", {{"add", 1}}).ok);
  tick();
  EXPECT_EQ(app.crew.buddies.size(), 1u);
}

}  // namespace
}  // namespace perchkin
