// The pointer and the sensing inside the world tick, on the fake desktop with a fake shell.
#include "app/input.h"

#include "app/app.h"
#include "app/menu_app.h"
#include "app_fixture.h"
#include "brain/physics.h"

#include <gtest/gtest.h>

#include <cmath>

namespace perchkin {
namespace {

struct Input : test::AppFixture {
  FakeShell shell;

  void SetUp() override {
    start(14, 777);
    app.graphics = true;
    app.platform.shell = &shell;
    ticks(3 * 60);  // the first buddy lands on the floor
    ASSERT_TRUE(first().motion.support.has_value());
  }
  Buddy& first() { return app.world.crew.buddies.front(); }
  // Keeps a buddy standing still where it is, so the pointer can find it.
  void settle(Buddy& b, double x) {
    b.motion.x = x;
    b.motion.mode = BuddyMode::sit;
    b.mind.act = Act::none;
    b.mind.act_time = 1e9;
    b.mind.walk_target.reset();
  }
  void point_at(const Buddy& b) {
    desktop.pointer = {b.motion.x, b.motion.y - 5.0 * b.motion.unit};
  }
  void press() {
    desktop.held.left = true;
    shell.queued.grab.push_back({kGrabLeftDown, 0});
    pump_tick();
  }
  void lift() {
    desktop.held.left = false;
    shell.queued.grab.push_back({kGrabLeftUp, 0});
    pump_tick();
  }
  void pump_tick() {
    shell.pump(app.ui.events);
    ticks(1);
  }
  void wait(double seconds) {
    for (int i = 0; i < static_cast<int>(std::lround(seconds * 60)); ++i) pump_tick();
  }
};

TEST_F(Input, GrabWindowFollowsTheTopmostBuddyUnderTheCursor) {
  Buddy& b = first();
  settle(b, 400.0);
  point_at(b);
  pump_tick();
  ASSERT_EQ(app.ui.hover, b.id);
  ASSERT_TRUE(shell.shown[static_cast<int>(ShellWindow::grab)]);
  const PixelRect r = shell.placed[static_cast<int>(ShellWindow::grab)].back();
  // 16 x 10 units plus a 3 px margin on every side.
  EXPECT_EQ(r.right - r.left, 16 * 9 + 6);
  EXPECT_EQ(r.bottom - r.top, 10 * 9 + 6);
  EXPECT_EQ(r.left, static_cast<int>(std::lround(b.motion.x)) - 72 - 3);
  const std::size_t moves = shell.placed[static_cast<int>(ShellWindow::grab)].size();
  pump_tick();  // unchanged: no window call
  EXPECT_EQ(shell.placed[static_cast<int>(ShellWindow::grab)].size(), moves);

  desktop.pointer = {b.motion.x + 200.0, b.motion.y - 5.0 * b.motion.unit};
  pump_tick();
  EXPECT_FALSE(app.ui.hover);
  EXPECT_FALSE(shell.shown[static_cast<int>(ShellWindow::grab)]);

  // Over the Studio nothing is hovered.
  point_at(b);
  app.ui.cursor_over_studio = true;
  pump_tick();
  EXPECT_FALSE(app.ui.hover);
}

TEST_F(Input, AQuickClickPokesAndALongPressDoesNothing) {
  Buddy& b = first();
  settle(b, 500.0);
  point_at(b);
  pump_tick();
  press();
  wait(0.3);
  lift();
  EXPECT_EQ(b.mind.poke_times.size(), 1u);
  EXPECT_EQ(b.motion.mode, BuddyMode::hop);
  EXPECT_FALSE(app.ui.press);

  wait(1.0);
  settle(b, 500.0);
  b.mind.poke_times.clear();
  point_at(b);
  pump_tick();
  press();
  wait(0.7);
  lift();
  EXPECT_TRUE(b.mind.poke_times.empty());
  EXPECT_NE(b.motion.mode, BuddyMode::hop);
}

TEST_F(Input, ReleaseIsNeverMissedWhenTheButtonUpMessageIs) {
  Buddy& b = first();
  settle(b, 500.0);
  point_at(b);
  pump_tick();
  press();
  desktop.held.left = false;  // no button-up event arrives
  pump_tick();
  EXPECT_FALSE(app.ui.press);
  EXPECT_EQ(b.mind.poke_times.size(), 1u);
}

TEST_F(Input, CarryStartsOnlyPastFivePixels) {
  Buddy& b = first();
  settle(b, 600.0);
  point_at(b);
  pump_tick();
  press();
  desktop.pointer.x += 4.0;
  pump_tick();
  EXPECT_FALSE(app.ui.dragging);
  EXPECT_NE(b.motion.mode, BuddyMode::held);
  desktop.pointer.x += 2.0;
  pump_tick();
  EXPECT_TRUE(app.ui.dragging);
  EXPECT_EQ(b.motion.mode, BuddyMode::held);
  // Carried along with the cursor, kept inside the screen.
  desktop.pointer = {-500.0, -500.0};
  pump_tick();
  EXPECT_EQ(b.motion.x, 0.0);
  EXPECT_EQ(b.motion.y, 10.0 * b.motion.unit);
}

TEST_F(Input, AFlickIsCappedAtMaxSpeedTimesUnit) {
  Buddy& b = first();
  settle(b, 900.0);
  point_at(b);
  pump_tick();
  press();
  for (int i = 0; i < 4; ++i) {
    desktop.pointer.y -= 150.0;  // 9,000 px/s upwards
    pump_tick();
  }
  ASSERT_EQ(b.motion.mode, BuddyMode::held);
  EXPECT_NEAR(b.motion.vy, -9000.0, 1.0);
  lift();
  EXPECT_EQ(b.motion.mode, BuddyMode::fall);
  EXPECT_TRUE(b.motion.thrown);
  // One flight step after the release, gravity has only just begun to slow it.
  EXPECT_NEAR(b.motion.vy, -900.0 * 9.0, 60.0);
  EXPECT_NEAR(b.motion.flight_peak, 900.0, 1e-6);
  EXPECT_FALSE(app.ui.dragging);
  EXPECT_FALSE(app.ui.holding);
}

TEST_F(Input, MovesThatArriveWithTheReleaseStillThrow) {
  Buddy& b = first();
  settle(b, 700.0);
  point_at(b);
  pump_tick();
  press();
  desktop.pointer.y -= 10.0;
  pump_tick();
  ASSERT_EQ(b.motion.mode, BuddyMode::held);
  const double start_x = b.motion.x;
  // A slow frame: the flick and the button's release come in together.
  desktop.pointer.x += 120.0;
  desktop.pointer.y -= 120.0;
  lift();
  EXPECT_EQ(b.motion.mode, BuddyMode::fall);
  EXPECT_TRUE(b.motion.thrown);
  EXPECT_GT(b.motion.x, start_x + 100.0);
  EXPECT_GT(b.motion.vx, 1000.0);
}

TEST_F(Input, TheFifthPokeWithinFourSecondsAngers) {
  Buddy& b = first();
  settle(b, 700.0);
  for (int poke = 1; poke <= 6; ++poke) {
    point_at(b);
    pump_tick();
    press();
    lift();
    if (poke == 5) {
      EXPECT_EQ(b.mind.act, Act::angry);
      EXPECT_TRUE(b.mind.poke_times.empty());
    } else {
      EXPECT_EQ(b.motion.mode, BuddyMode::hop) << poke;
      EXPECT_EQ(b.mind.poke_times.size(), static_cast<std::size_t>(poke == 6 ? 1 : poke));
    }
    wait(0.5);
    settle(b, 700.0);
  }
}

TEST_F(Input, WheelResizesOneStepWithinTheLimits) {
  Buddy& b = first();
  settle(b, 800.0);
  point_at(b);
  pump_tick();
  shell.queued.grab.push_back({kGrabWheel, 120});
  pump_tick();
  EXPECT_EQ(b.motion.unit, 10.0);
  shell.queued.grab.push_back({kGrabWheel, -1});
  shell.queued.grab.push_back({kGrabWheel, -480});
  pump_tick();
  EXPECT_EQ(b.motion.unit, 8.0);

  const std::size_t index[1] = {0};
  app.world.crew.resize(index, 12.0);
  point_at(b);
  pump_tick();
  shell.queued.grab.push_back({kGrabWheel, 120});
  pump_tick();
  EXPECT_EQ(b.motion.unit, 12.0);

  app.unleashed = true;
  apply_settings(app);
  point_at(b);
  pump_tick();
  shell.queued.grab.push_back({kGrabWheel, 120});
  pump_tick();
  EXPECT_EQ(b.motion.unit, 13.0);
}

TEST_F(Input, DoubleClickBackflipsAndRightClickAsksForTheMenu) {
  Buddy& b = first();
  settle(b, 900.0);
  point_at(b);
  pump_tick();
  shell.queued.grab.push_back({kGrabDoubleClick, 0});
  pump_tick();
  EXPECT_EQ(b.mind.last_active, app.sim_clock);
  EXPECT_TRUE(b.motion.mode == BuddyMode::hop || b.mind.act == Act::backflip);

  wait(2.0);
  settle(b, 900.0);
  point_at(b);
  pump_tick();
  shell.queued.grab.push_back({kGrabRightDown, 0});
  pump_tick();
  // The tick's menu handling takes the request at once: the menu opens for this buddy.
  ASSERT_TRUE(app.ui.menu.open);
  EXPECT_EQ(app.ui.menu.targets, std::vector<std::uint32_t>{b.id});
  close_menu(app);
  // Events aimed at no buddy do nothing.
  desktop.pointer = {10.0, 10.0};
  pump_tick();
  shell.queued.grab.push_back({kGrabRightDown, 0});
  pump_tick();
  EXPECT_FALSE(app.ui.menu_request);
  EXPECT_FALSE(app.ui.menu.open);
}

TEST_F(Input, StrokingPetsOncePerSecond) {
  Buddy& b = first();
  settle(b, 1000.0);
  double t = 0.0;
  int loves = 0;
  for (int i = 0; i < 120; ++i) {
    desktop.pointer = {b.motion.x + ((i % 2) ? 40.0 : -40.0), b.motion.y - 5.0 * b.motion.unit};
    pump_tick();
    if (b.mind.act == Act::love && b.mind.pet_ready > t) {
      ++loves;
      t = b.mind.pet_ready;
    }
  }
  EXPECT_EQ(loves, 2);
  // Holding still lets the meter drain.
  desktop.pointer.x = b.motion.x;
  wait(2.0);
  EXPECT_LT(app.ui.pet_meter, 1.0);
}

TEST_F(Input, SelectionOverEmptyDesktopWaitsAndEscapeCancels) {
  desktop.pointer = {100.0, 100.0};
  pump_tick();
  start_selection(app);
  EXPECT_TRUE(app.ui.selection.active());
  EXPECT_EQ(shell.focus_taken, 1);
  EXPECT_TRUE(shell.shown[static_cast<int>(ShellWindow::selection)]);
  desktop.held.left = true;
  shell.queued.selection.push_back({kSelectLeftDown, 0});
  pump_tick();
  EXPECT_EQ(app.ui.selection.stage, SelectionBox::Stage::dragging);
  desktop.pointer = {300.0, 300.0};
  desktop.held.left = false;
  shell.queued.selection.push_back({kSelectLeftUp, 0});
  pump_tick();
  EXPECT_EQ(app.ui.selection.stage, SelectionBox::Stage::waiting);
  EXPECT_FALSE(app.ui.menu_request);

  shell.queued.selection.push_back({kSelectCancel, 0});
  pump_tick();
  EXPECT_FALSE(app.ui.selection.active());
  EXPECT_EQ(shell.focus_restored, 1);
  EXPECT_FALSE(shell.shown[static_cast<int>(ShellWindow::selection)]);
}

TEST_F(Input, SelectionCatchesBuddiesAndGivesUpAfterFifteenSeconds) {
  ASSERT_TRUE(app.world.crew.add(std::nullopt, false).ok());
  ASSERT_TRUE(app.world.crew.add(std::nullopt, false).ok());
  ticks(3 * 60);
  settle(app.world.crew.buddies[0], 400.0);
  settle(app.world.crew.buddies[1], 500.0);
  settle(app.world.crew.buddies[2], 1500.0);
  const double floor = app.world.crew.buddies[0].motion.y;
  desktop.pointer = {300.0, floor - 200.0};
  pump_tick();
  start_selection(app);
  desktop.held.left = true;
  shell.queued.selection.push_back({kSelectLeftDown, 0});
  pump_tick();
  desktop.pointer = {560.0, floor - 20.0};  // only the box's corner reaches the second buddy
  pump_tick();
  desktop.held.left = false;  // the button-up message is lost
  pump_tick();
  EXPECT_FALSE(app.ui.selection.active());
  ASSERT_TRUE(app.ui.menu.open);
  EXPECT_EQ(app.ui.menu.targets, (std::vector<std::uint32_t>{app.world.crew.buddies[0].id,
                                                             app.world.crew.buddies[1].id}));
  EXPECT_EQ(shell.focus_restored, 0);

  start_selection(app);
  wait(15.1);
  EXPECT_FALSE(app.ui.selection.active());
  EXPECT_EQ(shell.focus_restored, 1);
}

TEST_F(Input, TypingProbeCountsKeysOnlyWhenTypingAlong) {
  desktop.key_presses = 5;
  wait(1.0);
  EXPECT_EQ(app.world.view.keystrokes, 0u);  // type_along is off
  app.settings.type_along = true;
  for (int i = 0; i < 30; ++i) {  // the pointer wanders and a button is held: not typing
    desktop.pointer = {100.0 + 13.0 * i, 200.0};
    desktop.held.right = i % 2 == 0;
    pump_tick();
  }
  EXPECT_EQ(app.world.view.keystrokes, 5u);
  EXPECT_EQ(desktop.key_presses, 0);
  // Twenty probes a second, at most one key each.
  desktop.key_presses = 100;
  wait(1.0);
  EXPECT_EQ(app.world.view.keystrokes, 25u);
  EXPECT_EQ(app.world.view.idle_seconds, desktop.idle);
  desktop.idle = 42.0;
  pump_tick();
  EXPECT_EQ(app.world.view.idle_seconds, 42.0);
}

TEST_F(Input, ACoveredWindowLedgeDropsItsNapperWhoSleepsAgainBelow) {
  DesktopWindow w;
  w.id = 77;
  w.frame = {600.0, 500.0, 1200.0, 900.0};
  desktop.window_list = {w};
  desktop.owner_at_every_point = {false, 77};
  Buddy& b = first();
  b.motion.x = 900.0;
  b.motion.y = 400.0;
  start_falling(b);
  wait(3.0);
  ASSERT_TRUE(b.motion.support);
  ASSERT_EQ(b.motion.support->kind, SurfaceKind::window);
  ASSERT_EQ(b.motion.y, 500.0);
  b.motion.mode = BuddyMode::sleep;
  b.mind.nap = true;
  b.mind.wake_at = app.sim_clock + 1000.0;
  wait(1.5);
  ASSERT_EQ(b.motion.mode, BuddyMode::sleep);  // its own window: stays

  desktop.owner_at_every_point = {false, 91};  // another window now lies over the ledge
  wait(1.05);
  EXPECT_NE(b.motion.y, 500.0);
  desktop.owner_at_every_point = {false, 0};
  wait(3.0);
  ASSERT_TRUE(b.motion.support);
  EXPECT_EQ(b.motion.support->kind, SurfaceKind::floor);
  EXPECT_EQ(b.motion.mode, BuddyMode::sleep);
}

}  // namespace
}  // namespace perchkin
