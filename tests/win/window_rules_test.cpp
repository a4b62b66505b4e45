#include "win/window_rules.h"
#include "win/shell.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace perchkin {
namespace {

TEST(WindowRules, ClassNamesDecideBeforeTheToolWindowStyle) {
  for (const char* name : {"Progman", "WorkerW", "NotifyIconOverflowWindow",
                           "Windows.UI.Core.CoreWindow", "TopLevelWindowForOverflowXamlIsland"}) {
    EXPECT_EQ(classify_window(name, false), WindowRole::desktop) << name;
    EXPECT_EQ(classify_window(name, true), WindowRole::desktop) << name;
  }
  // The taskbars carry the tool-window style and must stay taskbars.
  EXPECT_EQ(classify_window("Shell_TrayWnd", true), WindowRole::taskbar);
  EXPECT_EQ(classify_window("Shell_SecondaryTrayWnd", false), WindowRole::taskbar);
  EXPECT_EQ(classify_window("Notepad", true), WindowRole::tool);
  EXPECT_EQ(classify_window("Notepad", false), WindowRole::normal);
  // Exact and case-sensitive: near misses are ordinary windows.
  EXPECT_EQ(classify_window("progman", false), WindowRole::normal);
  EXPECT_EQ(classify_window("Shell_TrayWnd ", false), WindowRole::normal);
  EXPECT_EQ(classify_window("", false), WindowRole::normal);
}

TEST(WindowRules, OnlyTheShellsOwnWindowsAreNeverFullScreen) {
  for (const char* name : {"Shell_TrayWnd", "Shell_SecondaryTrayWnd", "Progman", "WorkerW", "#32769"})
    EXPECT_TRUE(class_never_fullscreen(name)) << name;
  // The overflow and core windows are dropped as ledges but may still be in front full-screen.
  EXPECT_FALSE(class_never_fullscreen("Windows.UI.Core.CoreWindow"));
  EXPECT_FALSE(class_never_fullscreen("MozillaWindowClass"));
}

TEST(WindowRules, FullScreenNeedsEveryEdgeOfTheMonitor) {
  const ScreenRect monitor{1920, 0, 3840, 1080};
  EXPECT_TRUE(covers_monitor({1920, 0, 3840, 1080}, monitor));
  EXPECT_TRUE(covers_monitor({1912, -8, 3848, 1088}, monitor));  // borders beyond the edges
  EXPECT_FALSE(covers_monitor({1920, 0, 3840, 1040}, monitor));  // stops at the taskbar
  EXPECT_FALSE(covers_monitor({1921, 0, 3840, 1080}, monitor));
  EXPECT_FALSE(covers_monitor({0, 0, 1920, 1080}, monitor));  // the other monitor
}

TEST(WindowRules, IdleTimeSurvivesTheTickCountWrapping) {
  EXPECT_DOUBLE_EQ(idle_seconds_from_ticks(5000, 2000), 3.0);
  EXPECT_DOUBLE_EQ(idle_seconds_from_ticks(1000, 0xFFFFFFFFu - 999u), 2.0);
  EXPECT_DOUBLE_EQ(idle_seconds_from_ticks(7, 7), 0.0);
}

TEST(WindowRules, TypingProbeCountsOnlyInputWithAStillMouse) {
  TypingProbe p;
  EXPECT_FALSE(p.probe(0, 0, 0, false));        // nothing happened yet
  EXPECT_FALSE(p.probe(100, 50, 60, false));    // the mouse moved: not a key
  EXPECT_TRUE(p.probe(130, 50, 60, false));     // input, cursor still: a key
  EXPECT_FALSE(p.probe(130, 50, 60, false));    // no new input
  EXPECT_FALSE(p.probe(170, 50, 60, true));     // a held button is the mouse, not typing
  EXPECT_TRUE(p.probe(200, 50, 60, false));
  EXPECT_FALSE(p.probe(230, 51, 60, false));    // a one-pixel nudge is the mouse too
  // A wrapped tick count is still a change.
  p.last_tick = 0xFFFFFFF0u;
  EXPECT_TRUE(p.probe(5, 51, 60, false));
}

TEST(WindowRules, PointOverWindowLooksOnlyAtWindowsThatCanCoverIt) {
  const ScreenRect studio{100, 100, 500, 400};
  WindowAbove cover{{300, 50, 700, 300}};
  EXPECT_TRUE(point_over_window(studio, false, false, 200, 200, {cover}));
  EXPECT_FALSE(point_over_window(studio, false, false, 350, 200, {cover}));
  EXPECT_TRUE(point_over_window(studio, false, false, 350, 350, {cover}));  // below the cover
  // Edges: the right and bottom lines are outside, as window rectangles go.
  EXPECT_TRUE(point_over_window(studio, false, true, 100, 100, {}));
  EXPECT_FALSE(point_over_window(studio, false, true, 500, 200, {}));
  EXPECT_FALSE(point_over_window(studio, false, true, 200, 400, {}));
  // Topmost windows skip the walk; minimised ones are never under the point.
  EXPECT_TRUE(point_over_window(studio, false, true, 350, 200, {cover}));
  EXPECT_FALSE(point_over_window(studio, true, true, 200, 200, {}));
  // Windows that cannot take the point do not cover it.
  for (int which = 0; which < 5; ++which) {
    WindowAbove w = cover;
    w.visible = which != 0;
    w.mouse_transparent = which == 1;
    w.minimised = which == 2;
    w.cloaked = which == 3;
    w.own = which == 4;
    EXPECT_TRUE(point_over_window(studio, false, false, 350, 200, {w})) << which;
  }
}

TEST(WindowRules, HotkeysRegisterRemoveAllFirstWithDistinctIds) {
  ASSERT_EQ(kHotkeyOrder.front().id, 6u);
  EXPECT_EQ(kHotkeyOrder.front().letter, 'R');
  std::set<std::uint32_t> ids;
  std::string letters;
  for (const HotkeyLetter& h : kHotkeyOrder) {
    ids.insert(h.id);
    letters += h.letter;
  }
  EXPECT_EQ(ids.size(), 6u);
  EXPECT_EQ(letters, "RBHSCG");
  EXPECT_EQ(kHotkeyOrder[2].id, static_cast<std::uint32_t>(kHotkeyHide));
}

}  // namespace
}  // namespace perchkin
