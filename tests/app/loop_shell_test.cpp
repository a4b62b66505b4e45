// Hiding and showing the crew through the frame loop with the fake shell: the H key and the tray,
// the full-screen check, and what going quiet does to the grab window and a buddy in hand.
#include "app/loop_shell.h"

#include "app/app.h"
#include "app_fixture.h"
#include "app/commands.h"

#include <gtest/gtest.h>

namespace perchkin {
namespace {

struct QuietFixture : test::AppFixture {
  FakeShell shell;
  NullRenderer renderer;

  void SetUp() override {
    start(12, 2024);
    app.graphics = true;
    app.platform.shell = &shell;
    app.platform.renderer = &renderer;
    shell.shown[static_cast<int>(ShellWindow::overlay)] = true;
    for (int i = 0; i < 60; ++i) frame_after(0.05);  // the first buddy lands
    ASSERT_TRUE(first().motion.support);
  }
  Buddy& first() { return app.world.crew.buddies.front(); }
  // A quiet frame leaves the frame clock alone, so time moves on from the clock itself.
  void frame_after(double dt) {
    clock.t += dt;
    run_frame(app);
  }
  void key(std::uint32_t id) {
    shell.queued.shell_events.push_back({kShellHotkey, id});
    frame_after(0.02);
  }
  bool overlay_shown() const { return shell.shown[static_cast<int>(ShellWindow::overlay)]; }
  bool grab_shown() const { return shell.shown[static_cast<int>(ShellWindow::grab)]; }
  // Puts the pointer on the first buddy, standing still, so the grab window comes over it.
  void hover_first() {
    Buddy& b = first();
    b.motion.mode = BuddyMode::sit;
    b.mind.act = Act::none;
    b.mind.act_time = 1e9;
    b.mind.walk_target.reset();
    desktop.pointer = {b.motion.x, b.motion.y - 5.0 * b.motion.unit};
    frame_after(0.02);
  }
};

TEST_F(QuietFixture, TheHideKeyHidesTheOverlayAndTheGrabWindowAndShowsThemAgain) {
  hover_first();
  ASSERT_TRUE(grab_shown());
  ASSERT_TRUE(app.ui.hover);
  key(kHotkeyHide);
  EXPECT_TRUE(app.user_hidden);
  EXPECT_TRUE(app.quiet);
  EXPECT_FALSE(overlay_shown());
  EXPECT_FALSE(grab_shown());
  EXPECT_FALSE(app.ui.hover);
  const double clock_then = app.sim_clock;
  frame_after(0.5);
  EXPECT_EQ(app.sim_clock, clock_then);  // the world waits

  key(kHotkeyHide);
  EXPECT_FALSE(app.quiet);
  EXPECT_TRUE(overlay_shown());
  EXPECT_TRUE(app.redraw_wanted || app.sim_clock > clock_then);
}

TEST_F(QuietFixture, AFullScreenProgramKeepsTheCrewQuietThroughTheHideKey) {
  desktop.fullscreen = true;
  frame_after(1.0);
  ASSERT_TRUE(app.quiet);
  EXPECT_FALSE(app.user_hidden);
  EXPECT_FALSE(overlay_shown());

  // Hiding and showing again changes nothing while the full-screen program is in front.
  key(kHotkeyHide);
  EXPECT_TRUE(app.quiet);
  key(kHotkeyHide);
  EXPECT_FALSE(app.user_hidden);
  EXPECT_TRUE(app.quiet);
  EXPECT_FALSE(overlay_shown());

  // It leaves: within a second the crew is back.
  desktop.fullscreen = false;
  frame_after(1.0);
  EXPECT_FALSE(app.quiet);
  EXPECT_TRUE(overlay_shown());

  // Hidden by the user, a full-screen program coming and going keeps it hidden.
  key(kHotkeyHide);
  desktop.fullscreen = true;
  frame_after(1.0);
  desktop.fullscreen = false;
  frame_after(1.0);
  EXPECT_TRUE(app.quiet);
  EXPECT_FALSE(overlay_shown());
}

TEST_F(QuietFixture, TheTrayClickOnAnEmptyCrewBringsABuddy) {
  remove_every_buddy(app);
  frame_after(0.02);
  key(kHotkeyHide);
  ASSERT_TRUE(app.quiet);
  shell.queued.shell_events.push_back({kShellTrayLeft, 0});
  frame_after(0.02);
  EXPECT_FALSE(app.quiet);
  EXPECT_TRUE(overlay_shown());
  EXPECT_EQ(app.world.crew.buddies.size(), 1u);
}

TEST_F(QuietFixture, GoingQuietLetsGoOfTheBuddyInHand) {
  hover_first();
  Buddy& b = first();
  desktop.held.left = true;
  shell.queued.grab.push_back({kGrabLeftDown, 0});
  frame_after(0.02);
  desktop.pointer.y -= 60.0;
  frame_after(0.02);
  desktop.pointer.y -= 60.0;
  frame_after(0.02);
  ASSERT_EQ(b.motion.mode, BuddyMode::held);

  desktop.fullscreen = true;
  frame_after(1.0);
  ASSERT_TRUE(app.quiet);
  EXPECT_EQ(b.motion.mode, BuddyMode::fall);
  EXPECT_EQ(b.motion.vx, 0.0);
  EXPECT_EQ(b.motion.vy, 0.0);
  EXPECT_FALSE(app.ui.press);

  // Back again with the pointer far away and the button up: no fling across the screen.
  desktop.pointer = {1800.0, 100.0};
  desktop.held.left = false;
  desktop.fullscreen = false;
  frame_after(1.0);
  ASSERT_FALSE(app.quiet);
  EXPECT_LT(std::abs(b.motion.vx), 100.0);
}

}  // namespace
}  // namespace perchkin
