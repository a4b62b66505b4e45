// The window manager's properties, as recorded from openbox sessions, turned into desktop facts.
#include "win/wm_rules.h"

#include "win/surfaces.h"

#include <gtest/gtest.h>

namespace perchkin {
namespace {

WmClient client(std::int64_t id, ScreenRect r) {
  WmClient c;
  c.id = id;
  c.client = r;
  c.frame_extents = {1, 1, 22, 4};  // openbox's default theme: title bar on top
  c.titled = true;
  c.desktop = 0;
  return c;
}

TEST(WmRules, FrameExtentsGrowTheClientUnlessAbsurd) {
  WmClient c = client(1, {100, 200, 500, 400});
  const ScreenRect f = frame_rect(c);
  EXPECT_EQ(f.left, 99);
  EXPECT_EQ(f.top, 178);
  EXPECT_EQ(f.right, 501);
  EXPECT_EQ(f.bottom, 404);
  for (std::vector<long> bad : {std::vector<long>{1, 1, -22, 4}, std::vector<long>{1, 1, 5000, 4},
                                std::vector<long>{1, 1, 22}}) {
    c.frame_extents = bad;
    EXPECT_EQ(frame_rect(c).top, 200);
  }
}

TEST(WmRules, StatesTypesAndDesktopsBecomeDesktopWindows) {
  WmClient c = client(7, {100, 200, 500, 400});
  DesktopWindow w = desktop_window(c, 0);
  EXPECT_EQ(w.role, WindowRole::normal);
  EXPECT_TRUE(w.visible && !w.minimised && !w.cloaked && w.titled);

  c.desktop = 1;  // on another desktop the window manager unmaps it
  c.mapped = false;
  w = desktop_window(c, 0);
  EXPECT_TRUE(w.cloaked);
  c.desktop = 0xFFFFFFFFL;  // sticky: shown on every desktop
  c.mapped = true;
  EXPECT_FALSE(desktop_window(c, 0).cloaked);
  c.desktop.reset();
  EXPECT_FALSE(desktop_window(c, 3).cloaked);

  c.desktop = 0;
  c.hidden = true;
  c.mapped = false;
  EXPECT_TRUE(desktop_window(c, 0).minimised);

  c.hidden = false;
  c.type = WmType::dock;
  EXPECT_EQ(desktop_window(c, 0).role, WindowRole::taskbar);
  c.type = WmType::desktop;
  EXPECT_EQ(desktop_window(c, 0).role, WindowRole::desktop);
  c.type = WmType::tool;
  EXPECT_EQ(desktop_window(c, 0).role, WindowRole::tool);
}

TEST(WmRules, StrutsShrinkOnlyTheMonitorsTheyTouch) {
  const std::vector<ScreenRect> monitors = {{0, 0, 1920, 1080}, {1920, 0, 3200, 1024}};
  // A 30 px bottom panel along the first monitor only (root is 3200 x 1080).
  std::vector<std::vector<long>> struts = {{0, 0, 0, 30, 0, 0, 0, 0, 0, 0, 0, 1919}};
  auto areas = work_areas(monitors, struts, 3200, 1080);
  ASSERT_EQ(areas.size(), 2u);
  EXPECT_EQ(areas[0].bottom, 1050);
  EXPECT_EQ(areas[1].bottom, 1024);
  // A top panel over both, given as a plain strut.
  struts = {{0, 0, 40, 0}};
  areas = work_areas(monitors, struts, 3200, 1080);
  EXPECT_EQ(areas[0].top, 40);
  EXPECT_EQ(areas[1].top, 40);
  // Nonsense struts are ignored; a strut that would swallow a monitor leaves it whole.
  struts = {{0, 0, -5, 0}, {0, 0, 0, 2000}};
  areas = work_areas(monitors, struts, 3200, 1080);
  EXPECT_EQ(areas[0].top, 0);
  EXPECT_EQ(areas[0].bottom, 1080);
}

TEST(WmRules, TheTopmostShownWindowCoversAPoint) {
  std::vector<DesktopWindow> list(3);
  list[0].id = 30;  // front: minimised
  list[0].frame = {0, 0, 1000, 1000};
  list[0].minimised = true;
  list[1].id = 20;
  list[1].frame = {400, 300, 800, 600};
  list[2].id = 10;
  list[2].frame = {100, 100, 900, 900};
  const std::vector<ScreenRect> own = {{450, 350, 470, 370}};
  EXPECT_EQ(cover_at(list, own, 500, 400).window, 20);
  EXPECT_EQ(cover_at(list, own, 200, 200).window, 10);
  EXPECT_EQ(cover_at(list, own, 950, 950).window, 0);
  EXPECT_TRUE(cover_at(list, own, 460, 360).own);
  // The right and bottom edges lie outside.
  EXPECT_EQ(cover_at(list, own, 800, 400).window, 10);
  list[1].cloaked = true;
  EXPECT_EQ(cover_at(list, own, 500, 400).window, 10);
}

TEST(WmRules, FullScreenIsTheActiveWindowSayingSoOrCoveringItsMonitor) {
  const std::vector<ScreenRect> monitors = {{0, 0, 1920, 1080}, {1920, 0, 3840, 1080}};
  EXPECT_FALSE(fullscreen_decision(nullptr, false, monitors));
  WmClient c = client(5, {1920, 0, 3840, 1080});
  c.frame_extents.clear();
  EXPECT_TRUE(fullscreen_decision(&c, false, monitors));
  EXPECT_FALSE(fullscreen_decision(&c, true, monitors));
  c.maximised = true;
  EXPECT_FALSE(fullscreen_decision(&c, false, monitors));
  c.fullscreen = true;
  EXPECT_TRUE(fullscreen_decision(&c, false, monitors));
  c = client(5, {10, 30, 900, 700});
  EXPECT_FALSE(fullscreen_decision(&c, false, monitors));
  c.fullscreen = true;
  c.type = WmType::desktop;
  EXPECT_FALSE(fullscreen_decision(&c, false, monitors));
}

// A recorded openbox desktop: a bottom panel (dock), an xterm, a small dialog, a sticky tool
// window and a window on desktop 2, through the whole surface scan.
struct RecordedDesktop final : Desktop {
  std::vector<WmClient> stacking;  // front to back
  ScreenRect screen() override { return {0, 0, 1280, 720}; }
  double display_scale() override { return 1.0; }
  std::vector<ScreenRect> work_areas() override {
    const ScreenRect m[1] = {{0, 0, 1280, 720}};
    const std::vector<long> struts[1] = {{0, 0, 0, 28, 0, 0, 0, 0, 0, 0, 0, 1279}};
    return perchkin::work_areas(m, struts, 1280, 720);
  }
  std::vector<DesktopWindow> windows() override {
    std::vector<DesktopWindow> out;
    for (const WmClient& c : stacking) out.push_back(desktop_window(c, 0));
    return out;
  }
  PointOwner window_at(double x, double y) override {
    const auto list = windows();
    return cover_at(list, {}, x, y);
  }
  CursorPos cursor() override { return {}; }
  PointerButtons buttons() override { return {}; }
  double idle_seconds() override { return 0.0; }
  bool key_pressed_since_last_probe() override { return false; }
  bool fullscreen_in_front() override { return false; }
};

TEST(WmRules, RecordedStackingBecomesLedges) {
  RecordedDesktop d;
  WmClient panel = client(0x600001, {0, 692, 1280, 720});
  panel.type = WmType::dock;
  panel.frame_extents.clear();
  WmClient top_panel = client(0x600002, {0, 0, 1280, 24});
  top_panel.type = WmType::dock;
  top_panel.frame_extents.clear();
  WmClient xterm = client(0x800001, {200, 300, 700, 600});
  WmClient small = client(0x800002, {900, 400, 1049, 500});  // 150 px frame: too narrow
  WmClient tool = client(0x800003, {900, 200, 1200, 400});
  tool.type = WmType::tool;
  WmClient elsewhere = client(0x800004, {100, 150, 600, 300});
  elsewhere.desktop = 2;
  WmClient untitled = client(0x800005, {300, 100, 800, 200});
  untitled.titled = false;
  d.stacking = {panel, top_panel, small, tool, elsewhere, untitled, xterm};

  const auto ledges = scan_surfaces(d, d.screen(), 1.0, 9.0, true);
  ASSERT_EQ(ledges.size(), 2u);
  EXPECT_EQ(ledges[0].kind, SurfaceKind::floor);
  EXPECT_EQ(ledges[0].top, 692);  // the panel's strut; the panel itself is that line
  EXPECT_EQ(ledges[1].kind, SurfaceKind::window);
  EXPECT_EQ(ledges[1].id, 0x800001);
  EXPECT_EQ(ledges[1].top, 278);  // the title bar's top
  EXPECT_EQ(ledges[1].left, 199);

  // Moved down the screen, the top panel counts: it is a taskbar ledge.
  d.stacking[1].client = {0, 100, 1280, 124};
  const auto moved = scan_surfaces(d, d.screen(), 1.0, 9.0, true);
  ASSERT_EQ(moved.size(), 3u);
  EXPECT_EQ(moved[1].kind, SurfaceKind::taskbar);
  EXPECT_EQ(moved[1].id, 0x600002);

  // Just under the xterm's top edge lies the xterm; further left, the bare desktop.
  EXPECT_EQ(d.window_at(300, 280).window, 0x800001);
  EXPECT_EQ(d.window_at(150, 280).window, 0);

  // A GTK window with a header bar, as recorded under a window manager that announces
  // _GTK_FRAME_EXTENTS: no frame of the window manager's, a shadow drawn inside the window.
  WmClient csd = client(0x800006, {700, 300, 1152, 653});
  csd.frame_extents = {0, 0, 0, 0};
  csd.gtk_frame_extents = {26, 26, 23, 29};
  d.stacking = {panel, csd};
  const auto shadowed = scan_surfaces(d, d.screen(), 1.0, 9.0, true);
  ASSERT_EQ(shadowed.size(), 2u);
  EXPECT_EQ(shadowed[1].top, 323);  // the header bar's top, not the shadow's
  EXPECT_EQ(shadowed[1].left, 726);
  EXPECT_EQ(shadowed[1].right, 1126);
  // The shadow covers nothing; the header bar does.
  EXPECT_EQ(d.window_at(710, 310).window, 0);
  EXPECT_EQ(d.window_at(730, 325).window, 0x800006);
}

}  // namespace
}  // namespace perchkin
