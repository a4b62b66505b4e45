// The action menu inside the App on the fake desktop: opening from a right-click, choosing with
// the pointer and the keys, what each kind of item does to the crew and the scene, pausing,
// pins saved, and the benchmark's open menu.
#include "app/menu_app.h"

#include "app/app.h"
#include "app/input.h"
#include "app_fixture.h"
#include "props/prop.h"

#include <gtest/gtest.h>

#include <cmath>

namespace perchkin {
namespace {

constexpr std::int32_t kEsc = kKeyEscape, kEnter = kKeyEnter, kRight = kKeyRight;

struct MenuApp : test::AppFixture {
  FakeShell shell;

  void SetUp() override {
    start(14, 4242);
    app.graphics = true;
    app.platform.shell = &shell;
    ticks(3 * 60);  // the first buddy lands on the floor
    ASSERT_TRUE(first().motion.support.has_value());
    hold_still(first(), 600.0);
  }
  Buddy& first() { return app.world.crew.buddies.front(); }
  void hold_still(Buddy& b, double x) {
    b.motion.x = x;
    b.motion.mode = BuddyMode::sit;
    b.mind.act = Act::none;
    b.mind.act_time = 1e9;
    b.mind.walk_target.reset();
  }
  // One tick, with the loop clock moving like a real frame's.
  void tick() {
    clock.t += kTick;
    shell.pump(app.ui.events);
    ticks(1);
  }
  void right_click_first() {
    desktop.pointer = {first().motion.x, first().motion.y - 5.0 * first().motion.unit};
    tick();  // the grab window comes over the buddy
    shell.queued.grab.push_back({kGrabRightDown, 0});
    tick();
  }
  // The pointer to a point of the menu, relative to its anchor, then a left click.
  void click_at(double dx, double dy) {
    desktop.pointer = {app.ui.menu.anchor_x + app.screen.left + dx,
                       app.ui.menu.anchor_y + app.screen.top + dy};
    tick();
    shell.queued.menu.push_back({kMenuLeftDown, 0});
    tick();
  }
  void click_on(int level, int i, int n, double radius) {
    const double a = level < 0 && n == 0 ? menu_section_angle(i) : menu_item_angle(level, i, n);
    click_at(radius * app.ui.menu.scale * std::cos(a), radius * app.ui.menu.scale * std::sin(a));
  }
  void press_key(std::int32_t code) {
    shell.queued.menu.push_back({kMenuKey, code});
    tick();
  }
  bool menu_window_shown() const { return shell.shown[static_cast<int>(ShellWindow::menu)]; }
};

TEST_F(MenuApp, RightClickOpensTheWheelAndDanceMakesItDance) {
  right_click_first();
  ASSERT_TRUE(app.ui.menu.open);
  EXPECT_TRUE(app.ui.menu_open);
  EXPECT_EQ(app.ui.menu.targets, std::vector<std::uint32_t>{first().id});
  EXPECT_FALSE(app.ui.menu.style.panel);
  // The window is centred on the buddy's body and 412 pixels square at scale 1.
  ASSERT_FALSE(shell.placed[static_cast<int>(ShellWindow::menu)].empty());
  const PixelRect r = shell.placed[static_cast<int>(ShellWindow::menu)].back();
  EXPECT_EQ(r.right - r.left, 412);
  EXPECT_EQ(r.bottom - r.top, 412);
  EXPECT_EQ(shell.focus_taken, 1);

  click_on(-1, 0, 0, 90.0);  // the Play section
  ASSERT_EQ(app.ui.menu.level, 0);
  click_on(0, 0, 6, 160.0);  // Dance
  EXPECT_FALSE(app.ui.menu.open);
  EXPECT_FALSE(menu_window_shown());
  EXPECT_EQ(first().status()["mode"], "dance");
}

TEST_F(MenuApp, EscapeBacksOutAndCloses) {
  right_click_first();
  press_key(kRight);
  press_key(kEnter);
  EXPECT_EQ(app.ui.menu.level, 0);
  press_key(kEsc);
  EXPECT_TRUE(app.ui.menu.open);
  EXPECT_EQ(app.ui.menu.level, -1);
  press_key(kEsc);
  EXPECT_FALSE(app.ui.menu.open);
  EXPECT_FALSE(menu_window_shown());
  EXPECT_EQ(shell.focus_restored, 1);
}

TEST_F(MenuApp, ItemsActOnEveryBuddyOfASelection) {
  (void)app.world.crew.add(std::nullopt, false);
  (void)app.world.crew.add(std::nullopt, false);
  ticks(3 * 60);  // everyone lands; acts wait for the ground
  for (std::size_t i = 0; i < 3; ++i) hold_still(app.world.crew.buddies[i], 300.0 + 300.0 * i);
  const std::vector<std::uint32_t> group{app.world.crew.buddies[0].id,
                                         app.world.crew.buddies[2].id};
  app.ui.menu_request = MenuRequest{group.front(), 800.0, 500.0, group};
  tick();
  ASSERT_TRUE(app.ui.menu.open);
  EXPECT_EQ(app.ui.menu.targets, group);
  FrameInput in;
  add_menu_to_frame(app, in);
  EXPECT_EQ(in.menu_targets, group);
  EXPECT_TRUE(in.draw_menu);

  perform_menu_item(app, menu_item(*menu_item_by_label("Party")), group);
  EXPECT_EQ(app.world.crew.buddies[0].status()["mode"], "celebrate");
  EXPECT_NE(app.world.crew.buddies[1].status()["mode"], "celebrate");
  EXPECT_EQ(app.world.crew.buddies[2].status()["mode"], "celebrate");
}

TEST_F(MenuApp, FireIsPlacedWhereTheGuideShowed) {
  Buddy& b = first();
  b.motion.facing = -1;
  app.ui.menu.scale = 1.0;
  const std::uint32_t id = b.id;
  const double x = b.motion.x, y = b.motion.y;
  perform_menu_item(app, menu_item(*menu_item_by_label("Fire")), std::vector<std::uint32_t>{id});
  for (int i = 0; i < 20 * 60 && app.world.effects.props.empty(); ++i) tick();
  ASSERT_EQ(app.world.effects.props.size(), 1u);
  const Prop& fire = app.world.effects.props.front();
  EXPECT_EQ(fire.kind, PropKind::fire);
  EXPECT_NEAR(fire.x, x - 60.0, 1.0);
  EXPECT_NEAR(fire.y, y, 1.0);
}

TEST_F(MenuApp, LedgeBecomesAPlatformAboveTheFeet) {
  app.ui.menu.scale = 1.0;
  const double x = first().motion.x, y = first().motion.y;
  perform_menu_item(app, menu_item(*menu_item_by_label("Ledge")),
                    std::vector<std::uint32_t>{first().id});
  for (int i = 0; i < 20 * 60 && app.world.effects.props.empty(); ++i) tick();
  ASSERT_EQ(app.world.effects.props.size(), 1u);
  const Prop& ledge = app.world.effects.props.front();
  EXPECT_EQ(ledge.kind, PropKind::platform);
  EXPECT_NEAR(ledge.x, x - 100.0, 1.0);
  EXPECT_NEAR(ledge.x2, x + 100.0, 1.0);
  EXPECT_NEAR(ledge.y, y - 110.0, 1.0);
}

TEST_F(MenuApp, CrewGrowsAndShrinks) {
  const std::vector<std::uint32_t> only{first().id};
  const auto item = [](const char* label) { return menu_item(*menu_item_by_label(label)); };
  perform_menu_item(app, item("Remove"), only);
  EXPECT_EQ(app.world.crew.buddies.size(), 1u) << "the last buddy stays";
  perform_menu_item(app, item("Add"), only);
  EXPECT_EQ(app.world.crew.buddies.size(), 2u);
  app.world.crew.max_buddies = 7;
  perform_menu_item(app, item("Add 10"), only);
  EXPECT_EQ(app.world.crew.buddies.size(), 7u) << "adding stops at the limit";
  const std::uint32_t last = app.world.crew.buddies.back().id;
  perform_menu_item(app, item("Remove"), std::vector<std::uint32_t>{last});
  EXPECT_EQ(app.world.crew.buddies.size(), 6u);
  EXPECT_FALSE(app.world.crew.index_of(last));

  const double unit = first().motion.unit;
  perform_menu_item(app, item("Bigger"), only);
  EXPECT_GT(first().motion.unit, unit);
  perform_menu_item(app, item("Smaller"), only);
  EXPECT_EQ(first().motion.unit, unit);

  perform_menu_item(app, item("Remove all"), only);
  EXPECT_TRUE(app.world.crew.buddies.empty());
  // With nobody left the menu hotkey opens the Studio instead of the menu.
  open_menu_at_cursor(app);
  EXPECT_FALSE(app.ui.menu.open);
}

TEST_F(MenuApp, AddIsDisabledAtTheLimitAndRemoveForTheLast) {
  app.world.crew.max_buddies = 1;
  right_click_first();
  EXPECT_FALSE(app.ui.menu.can_add);
  EXPECT_FALSE(app.ui.menu.can_remove);
  press_key(kRight);
  press_key(kRight);
  press_key(kRight);
  press_key(kRight);  // Crew
  press_key(kEnter);
  press_key(kEnter);  // Add, disabled
  EXPECT_TRUE(app.ui.menu.open);
  EXPECT_EQ(app.world.crew.buddies.size(), 1u);
}

TEST_F(MenuApp, HideAllAndQuit) {
  perform_menu_item(app, menu_item(*menu_item_by_label("Hide all")), {});
  EXPECT_TRUE(app.user_hidden);
  EXPECT_TRUE(app.quiet);
  perform_menu_item(app, menu_item(*menu_item_by_label("Quit")), {});
  EXPECT_FALSE(app.running);
}

TEST_F(MenuApp, PinsGoToTheSettings) {
  right_click_first();
  press_key(kRight);
  press_key(kEnter);
  press_key(0x50);  // P on Dance
  EXPECT_EQ(app.settings.pins, std::vector<std::string>{"Dance"});
  EXPECT_TRUE(app.settings_dirty_at.has_value());
}

TEST_F(MenuApp, APausingMenuHoldsTheWorld) {
  app.settings.pause_menu = true;
  Buddy& b = first();
  b.motion.mode = BuddyMode::idle;
  b.mind.act_time = 0.0;
  right_click_first();
  ASSERT_TRUE(app.ui.menu.open);
  app.graphics = false;  // frames without a renderer
  const double world = app.sim_clock, x = first().motion.x;
  const std::uint64_t rng = first().rng.s;
  for (int i = 0; i < 60; ++i) {
    clock.t += kTick;
    run_frame(app);
  }
  EXPECT_DOUBLE_EQ(app.sim_clock, world);
  EXPECT_GT(app.paused_time, 0.9);
  EXPECT_EQ(first().motion.x, x);
  EXPECT_EQ(first().rng.s, rng) << "no brain ran";
  close_menu(app);
  clock.t += kTick;
  run_frame(app);
  EXPECT_GT(app.sim_clock, world);
}

TEST_F(MenuApp, BenchMenuKeepsTheMenuOpen) {
  app.graphics = false;
  app.bench_menu = true;
  app.bench = BenchState{};
  app.bench->targets = {1};
  clock.t += kTick;
  run_frame(app);
  ASSERT_TRUE(app.ui.menu.open);
  close_menu(app);
  clock.t += kTick;
  run_frame(app);
  EXPECT_TRUE(app.ui.menu.open) << "opened again while the benchmark runs";
}

TEST_F(MenuApp, TheMenuClosesWhenItsBuddyLeaves) {
  (void)app.world.crew.add(std::nullopt, false);
  const std::uint32_t second = app.world.crew.buddies[1].id;
  app.ui.menu_request = MenuRequest{second, 800.0, 500.0, {}};
  tick();
  ASSERT_TRUE(app.ui.menu.open);
  ASSERT_TRUE(app.world.crew.remove(second).ok());
  tick();
  EXPECT_FALSE(app.ui.menu.open);
}

}  // namespace
}  // namespace perchkin
