// The whole world tick on the headless desktop, driven directly (no sleeping).
#include "app/app.h"
#include "app_fixture.h"
#include "app/commands.h"
#include "brain/physics.h"
#include "win/wm_rules.h"

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
    for (const Buddy& b : app.world.crew.buddies) {
      modes.insert(std::string(b.motion.mode == BuddyMode::act ? act_name(b.mind.act)
                                                               : mode_name(b.motion.mode)));
      if (b.mind.now < b.speech.bubble_until) lines.insert(b.speech.bubble_text);
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
  for (const Buddy& b : app.world.crew.buddies)
    if (b.motion.support && (b.motion.support->kind == SurfaceKind::drawn ||
                             b.motion.support->kind == SurfaceKind::buddy))
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
    for (const Buddy& b : app.world.crew.buddies) {
      ASSERT_TRUE(std::isfinite(b.motion.x) && std::isfinite(b.motion.y)) << b.id;
    }
    ASSERT_LE(app.world.effects.particles.size(), 900u);
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
  EXPECT_EQ(app.world.crew.buddies.size(), 1u);
}

// The fake desktop's windows, with what covers a point worked out from them as a window
// manager would: the frontmost window there.
class StackedDesktop final : public Desktop {
 public:
  FakeDesktop fake;
  ScreenRect screen() override { return fake.screen(); }
  double display_scale() override { return 1.0; }
  std::vector<ScreenRect> work_areas() override { return fake.work_areas(); }
  std::vector<DesktopWindow> windows() override { return fake.window_list; }
  PointOwner window_at(double x, double y) override {
    return cover_at(fake.window_list, {}, x, y);
  }
  CursorPos cursor() override { return {}; }
  PointerButtons buttons() override { return {}; }
  double idle_seconds() override { return 0.0; }
  bool key_pressed_since_last_probe() override { return false; }
  bool fullscreen_in_front() override { return false; }
};

struct Ledges : ::testing::Test {
  StackedDesktop desktop;
  VirtualClock clock;
  App app;
  DesktopWindow window;

  void SetUp() override {
    init_app(app, desktop, clock, 10, 99);
    app.graphics = true;
    window.id = 77;
    window.frame = {600.0, 500.0, 1200.0, 900.0};
    desktop.fake.window_list = {window};
    Buddy& b = app.world.crew.buddies.front();
    b.motion.x = 900.0;
    b.motion.y = 400.0;
    start_falling(b);
    wait(3.0);
    ASSERT_TRUE(b.motion.support);
    ASSERT_EQ(b.motion.support->kind, SurfaceKind::window);
    // A napper stays put, so every move is the window's.
    b.motion.mode = BuddyMode::sleep;
    b.mind.nap = true;
    b.mind.wake_at = app.sim_clock + 1000.0;
  }
  void wait(double seconds) {
    for (int i = 0; i < static_cast<int>(std::lround(seconds * 60)); ++i) {
      app.sim_clock += kTick;
      world_tick(app);
    }
  }
  void move_window(double dx, double dy) {
    window.frame = {window.frame.left + dx, window.frame.top + dy, window.frame.right + dx,
                    window.frame.bottom + dy};
    desktop.fake.window_list = {window};
  }
};

TEST_F(Ledges, AMovedWindowCarriesItsNapperAndACoveredOneDropsIt) {
  Buddy& b = app.world.crew.buddies.front();
  const double along = b.motion.x - window.frame.left;
  for (int move = 0; move < 3; ++move) {
    move_window(100.0, 120.0);
    wait(1.05);
    ASSERT_EQ(b.motion.mode, BuddyMode::sleep) << "move " << move;
    EXPECT_EQ(b.motion.y, window.frame.top);
    EXPECT_DOUBLE_EQ(b.motion.x - window.frame.left, along);
  }
  move_window(-250.0, -300.0);
  wait(1.05);
  EXPECT_EQ(b.motion.mode, BuddyMode::sleep);
  EXPECT_DOUBLE_EQ(b.motion.x - window.frame.left, along);

  // Another window in front, over the ledge where the buddy lies: it falls and naps below.
  DesktopWindow front;
  front.id = 91;
  front.frame = {window.frame.left + 200.0, window.frame.top - 50.0, window.frame.left + 500.0,
                 window.frame.top + 100.0};
  desktop.fake.window_list = {front, window};
  wait(1.05);
  EXPECT_NE(b.motion.y, window.frame.top);
  wait(4.0);
  ASSERT_TRUE(b.motion.support);
  EXPECT_NE(b.motion.support->id, window.id);
  EXPECT_EQ(b.motion.mode, BuddyMode::sleep);
}

// A fresh companion's buddy lands, then 29 more are added at once: the newcomers fly out of it
// without knocking it over, and the crowd they form keeps every buddy's feet on the screen.
struct CrewOfThirty : test::AppFixture, ::testing::WithParamInterface<std::uint64_t> {
  void tick() { ticks(1); }
};

TEST_P(CrewOfThirty, LeavesTheFirstStandingAndStaysOnTheScreen) {
  start(14, GetParam());
  ticks(4 * 60);
  ASSERT_TRUE(app.world.crew.buddies.front().motion.support);
  ASSERT_EQ(app.world.crew.buddies.front().motion.support->kind, SurfaceKind::floor);
  ASSERT_TRUE(run_command(app, "crew", {{"add", 29}}).ok);
  for (int i = 0; i < 60; ++i) {
    tick();
    const Buddy& first = app.world.crew.buddies.front();
    ASSERT_TRUE(is_grounded(first.motion.mode) && first.motion.y == 1080.0)
        << "tick " << i << ": " << mode_name(first.motion.mode) << " at y " << first.motion.y;
  }
  ticks(11 * 60);
  for (const Buddy& b : app.world.crew.buddies) {
    EXPECT_TRUE(b.motion.x >= app.world.view.left && b.motion.x <= app.world.view.right)
        << "buddy " << b.id << " at x " << b.motion.x << " standing on "
        << (b.motion.support ? static_cast<int>(b.motion.support->kind) : -1);
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, CrewOfThirty, ::testing::Range<std::uint64_t>(1, 13));

// Buddies asked for before the first buddy's first step fly out of it once it has dropped in,
// not out of the top-left corner where it stood before it was placed.
TEST_F(World, BuddiesAddedBeforeTheFirstStepFlyOutOfTheFirstBuddy) {
  ASSERT_FALSE(app.world.crew.buddies.front().mind.started);
  ASSERT_TRUE(command("crew", {{"add", 3}}).ok);
  tick();
  const Buddy& first = app.world.crew.buddies.front();
  ASSERT_GT(first.motion.x, 100.0);
  for (std::size_t i = 1; i < app.world.crew.buddies.size(); ++i) {
    const Buddy& b = app.world.crew.buddies[i];
    // One step of a fling (and of the crowd's push) away from it: within a few units.
    EXPECT_LT(std::abs(b.motion.x - first.motion.x), 10.0 * first.motion.unit)
        << b.id << " at x " << b.motion.x;
    EXPECT_LT(std::abs(b.motion.y - first.motion.y), 10.0 * first.motion.unit)
        << b.id << " at y " << b.motion.y;
    EXPECT_TRUE(b.motion.thrown);
  }
}

}  // namespace
}  // namespace perchkin
