// The X11 desktop against a real window manager: the test makes its own windows on the Xvfb
// desktop the desktop tests run on (openbox), and drives the keyboard and mouse with xdotool.
// gtest first: Xlib's None and Bool macros would rename its declarations.
#include <gtest/gtest.h>

#include "win/desktop_x11.h"
#include "win/surfaces.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace perchkin {
namespace {

using namespace std::chrono_literals;

class DesktopX11 : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') GTEST_SKIP() << "no X display";
    display = XOpenDisplay(name);
    ASSERT_NE(display, nullptr);
    root = DefaultRootWindow(display);
    auto opened = make_x11_desktop(name, shell);
    ASSERT_TRUE(opened.ok()) << opened.error;
    desktop = std::move(*opened.value);
  }
  void TearDown() override {
    if (display == nullptr) return;
    for (Window w : made) XDestroyWindow(display, w);
    XSync(display, False);
    // The next test's connection may be given the same window ids: wait until the window
    // manager has let go of these, or it takes the new windows for the old ones.
    for (int i = 0; i < 150 && still_managed(); ++i) std::this_thread::sleep_for(20ms);
    XCloseDisplay(display);
  }

  bool still_managed() {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, root, atom("_NET_CLIENT_LIST"), 0, 4096, False, XA_WINDOW,
                           &type, &format, &count, &after, &data) != Success ||
        data == nullptr)
      return false;
    bool found = false;
    const auto* ids = reinterpret_cast<const unsigned long*>(data);
    for (unsigned long i = 0; i < count && !found; ++i)
      found = std::find(made.begin(), made.end(), static_cast<Window>(ids[i])) != made.end();
    XFree(data);
    return found;
  }

  Atom atom(const char* name) { return XInternAtom(display, name, False); }

  // A titled top-level window at a program-specified position; `type` sets the window type.
  Window window(int x, int y, int w, int h, const char* title, const char* type = nullptr) {
    Window win = XCreateSimpleWindow(display, root, x, y, static_cast<unsigned>(w),
                                     static_cast<unsigned>(h), 0, 0, 0xFFFFFF);
    XSizeHints hints{};
    hints.flags = USPosition | USSize;
    hints.x = x;
    hints.y = y;
    hints.width = w;
    hints.height = h;
    XSetWMNormalHints(display, win, &hints);
    if (title != nullptr) XStoreName(display, win, title);
    if (type != nullptr) {
      const Atom t = atom(type);
      XChangeProperty(display, win, atom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(&t), 1);
    }
    XMapWindow(display, win);
    XSync(display, False);
    made.push_back(win);
    return win;
  }

  void client_message(Window w, const char* type, long a0, long a1 = 0, long a2 = 0) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = atom(type);
    e.xclient.format = 32;
    e.xclient.data.l[0] = a0;
    e.xclient.data.l[1] = a1;
    e.xclient.data.l[2] = a2;
    XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XSync(display, False);
  }

  // Polls the desktop until `test` holds for the window (up to 3 s).
  template <typename Test>
  bool wait_for(Window w, Test test) {
    for (int i = 0; i < 150; ++i) {
      for (const DesktopWindow& d : desktop->windows())
        if (d.id == static_cast<std::int64_t>(w) && test(d)) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }
  bool managed(Window w) {
    return wait_for(w, [](const DesktopWindow& d) { return d.visible && !d.minimised; });
  }
  std::vector<Support> ledges() {
    return scan_surfaces(*desktop, desktop->screen(), 1.0, 9.0, true);
  }
  const Support* ledge_of(const std::vector<Support>& list, Window w) {
    for (const Support& s : list)
      if (s.id == static_cast<std::int64_t>(w)) return &s;
    return nullptr;
  }

  FakeShell shell;
  Display* display = nullptr;
  Window root = None;
  std::unique_ptr<Desktop> desktop;
  std::vector<Window> made;
};

TEST_F(DesktopX11, AWindowsTopIsALedgeThatFollowsItAndGoesWhenItIsMinimised) {
  const Window w = window(300, 400, 500, 300, "ledge");
  ASSERT_TRUE(managed(w));
  auto list = ledges();
  const Support* s = ledge_of(list, w);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->kind, SurfaceKind::window);
  // The frame's top, title bar included, lies above the client area.
  EXPECT_LE(s->top, 400.0);
  EXPECT_GT(s->top, 340.0);
  EXPECT_GE(s->right - s->left, 500.0);
  EXPECT_EQ(desktop->window_at(s->left + 50, s->top + 2).window, static_cast<std::int64_t>(w));

  const double before = s->top;
  XMoveWindow(display, w, 300, 600);
  XSync(display, False);
  ASSERT_TRUE(wait_for(w, [&](const DesktopWindow& d) { return d.frame.top > before + 150; }));
  list = ledges();
  ASSERT_NE(ledge_of(list, w), nullptr);
  EXPECT_NEAR(ledge_of(list, w)->top, before + 200, 2.0);

  XIconifyWindow(display, w, DefaultScreen(display));
  XSync(display, False);
  ASSERT_TRUE(wait_for(w, [](const DesktopWindow& d) { return d.minimised; }));
  list = ledges();
  EXPECT_EQ(ledge_of(list, w), nullptr);
}

TEST_F(DesktopX11, OtherDesktopsUntitledAndToolWindowsGiveNoLedge) {
  const Window away = window(100, 300, 400, 200, "away");
  const Window untitled = window(600, 300, 400, 200, nullptr);
  const Window tool = window(1100, 300, 400, 200, "tool", "_NET_WM_WINDOW_TYPE_UTILITY");
  ASSERT_TRUE(managed(away));
  ASSERT_TRUE(managed(untitled));
  ASSERT_TRUE(managed(tool));
  client_message(away, "_NET_WM_DESKTOP", 1, 2);
  ASSERT_TRUE(wait_for(away, [](const DesktopWindow& d) { return d.cloaked; }));
  const auto list = ledges();
  EXPECT_EQ(ledge_of(list, away), nullptr);
  EXPECT_EQ(ledge_of(list, untitled), nullptr);
  EXPECT_EQ(ledge_of(list, tool), nullptr);
}

TEST_F(DesktopX11, ADockIsATaskbarAndItsStrutRaisesTheFloor) {
  const Window bar = window(0, 200, 1000, 30, "bar", "_NET_WM_WINDOW_TYPE_DOCK");
  const Window panel = window(0, 0, 400, 40, "panel", "_NET_WM_WINDOW_TYPE_DOCK");
  XWindowAttributes rootattr;
  XGetWindowAttributes(display, root, &rootattr);
  XMoveWindow(display, panel, 0, rootattr.height - 40);
  const long strut[12] = {0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0, rootattr.width - 1};
  XChangeProperty(display, panel, atom("_NET_WM_STRUT_PARTIAL"), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(strut), 12);
  XSync(display, False);
  ASSERT_TRUE(wait_for(bar, [](const DesktopWindow& d) { return d.role == WindowRole::taskbar; }));
  std::vector<Support> list;
  for (int i = 0; i < 150; ++i) {
    list = ledges();
    if (!list.empty() && list.front().top == rootattr.height - 40) break;
    std::this_thread::sleep_for(20ms);
  }
  ASSERT_FALSE(list.empty());
  EXPECT_EQ(list.front().kind, SurfaceKind::floor);
  EXPECT_EQ(list.front().top, rootattr.height - 40);
  const Support* s = ledge_of(list, bar);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->kind, SurfaceKind::taskbar);
  EXPECT_EQ(s->top, 200.0);
  // The bottom panel lies on the floor line: no ledge of its own.
  EXPECT_EQ(ledge_of(list, panel), nullptr);
}

TEST_F(DesktopX11, TheFrontWindowCoversAPointAndFullScreenIsSeen) {
  const Window back = window(200, 300, 600, 400, "back");
  ASSERT_TRUE(managed(back));
  const Window front = window(400, 350, 600, 400, "front");
  ASSERT_TRUE(managed(front));
  client_message(front, "_NET_ACTIVE_WINDOW", 2, CurrentTime);
  bool covered = false;
  for (int i = 0; i < 150 && !covered; ++i) {
    (void)desktop->windows();
    covered = desktop->window_at(500, 450).window == static_cast<std::int64_t>(front);
    if (!covered) std::this_thread::sleep_for(20ms);
  }
  EXPECT_TRUE(covered);
  EXPECT_EQ(desktop->window_at(250, 450).window, static_cast<std::int64_t>(back));
  EXPECT_FALSE(desktop->fullscreen_in_front());

  client_message(front, "_NET_WM_STATE", 1, static_cast<long>(atom("_NET_WM_STATE_FULLSCREEN")));
  bool full = false;
  for (int i = 0; i < 150 && !full; ++i) {
    full = desktop->fullscreen_in_front();
    if (!full) std::this_thread::sleep_for(20ms);
  }
  EXPECT_TRUE(full);
  client_message(front, "_NET_WM_STATE", 0, static_cast<long>(atom("_NET_WM_STATE_FULLSCREEN")));
  for (int i = 0; i < 150 && full; ++i) {
    full = desktop->fullscreen_in_front();
    if (full) std::this_thread::sleep_for(20ms);
  }
  EXPECT_FALSE(full);
}

TEST_F(DesktopX11, KeyPressesCountAndMouseMovesDoNot) {
  ASSERT_EQ(std::system("command -v xdotool >/dev/null"), 0) << "xdotool is needed";
  (void)desktop->key_pressed_since_last_probe();
  EXPECT_EQ(std::system("xdotool mousemove 100 100 mousemove 300 200 click 1"), 0);
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(desktop->key_pressed_since_last_probe());
  const CursorPos c = desktop->cursor();
  EXPECT_EQ(c.x, 300.0);
  EXPECT_EQ(c.y, 200.0);

  EXPECT_EQ(std::system("xdotool key shift"), 0);
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(desktop->key_pressed_since_last_probe());
  EXPECT_FALSE(desktop->key_pressed_since_last_probe());
  // Input just happened: idle time is small.
  EXPECT_LT(desktop->idle_seconds(), 5.0);
}

}  // namespace
}  // namespace perchkin

namespace perchkin {
namespace {

// Not a check (timings vary with the machine): what sensing costs per tick with 50 windows,
// one surface scan and cover test a second, the key probe twenty times a second.
TEST_F(DesktopX11, SensingCostWithFiftyWindows) {
  for (int i = 0; i < 50; ++i)
    window(40 + 30 * (i % 10), 100 + 60 * (i / 10), 300, 200, "crowd");
  ASSERT_TRUE(managed(made.back()));
  std::this_thread::sleep_for(200ms);  // let the window manager settle, then read it all once
  (void)scan_surfaces(*desktop, desktop->screen(), 1.0, 9.0, true);
  constexpr int kTicks = 600;
  double ms = 0.0;
  for (int tick = 0; tick < kTicks; ++tick) {
    // Ticks are apart in time, so nothing read in one is reused by the next.
    std::this_thread::sleep_for(5ms);
    const auto start = std::chrono::steady_clock::now();
    (void)desktop->cursor();
    (void)desktop->buttons();
    (void)desktop->idle_seconds();
    if (tick % 3 == 0) (void)desktop->key_pressed_since_last_probe();
    if (tick % 60 == 0) {
      (void)scan_surfaces(*desktop, desktop->screen(), 1.0, 9.0, true);
      for (int b = 0; b < 10; ++b) (void)desktop->window_at(100.0 + 50 * b, 300.0);
    }
    ms += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count();
  }
  std::printf("sensing with 50 windows: %.4f ms per tick\n", ms / kTicks);
  RecordProperty("ms_per_tick", std::to_string(ms / kTicks));
}

}  // namespace
}  // namespace perchkin
