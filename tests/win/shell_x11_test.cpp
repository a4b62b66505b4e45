// gtest first: Xlib's None and Bool macros would rename its declarations.
#include <gtest/gtest.h>

#include "win/shell_x11.h"

#include <X11/extensions/shape.h>
#include <X11/keysym.h>

#include <cstdlib>

// Under the sanitizer build: the GL driver and Xlib keep allocations they never free.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libGLX_mesa\nleak:libEGL_mesa\nleak:swrast_dri\nleak:libgallium\nleak:libLLVM\n"
         "leak:libglapi\nleak:libX11\nleak:libxcb\nleak:libdrm\n";
}

namespace perchkin {
namespace {

TEST(ClickTracker, ASecondPressSoonAndCloseIsADoubleClickAndAThirdStartsOver) {
  ClickTracker t;
  EXPECT_FALSE(t.press(1, 1000, 50, 50));
  EXPECT_TRUE(t.press(1, 1300, 52, 49));
  EXPECT_FALSE(t.press(1, 1400, 52, 49)) << "a triple click is a double click and a new press";
  EXPECT_TRUE(t.press(1, 1500, 52, 49));

  ClickTracker slow;
  EXPECT_FALSE(slow.press(1, 1000, 50, 50));
  EXPECT_FALSE(slow.press(1, 1000 + ClickTracker::kDoubleClickMs + 1, 50, 50));
  ClickTracker far;
  EXPECT_FALSE(far.press(1, 1000, 50, 50));
  EXPECT_FALSE(far.press(1, 1100, 50 + ClickTracker::kSlopPixels + 1, 50));
  ClickTracker other_button;
  EXPECT_FALSE(other_button.press(3, 1000, 50, 50));
  EXPECT_FALSE(other_button.press(1, 1100, 50, 50));
}

TEST(KeyCode, LettersDigitsAndTheMenuKeysMapAndOthersAreDropped) {
  EXPECT_EQ(key_code(XK_a), 'A');
  EXPECT_EQ(key_code(XK_Z), 'Z');
  EXPECT_EQ(key_code(XK_7), '7');
  EXPECT_EQ(key_code(XK_Escape), kKeyEscape);
  EXPECT_EQ(key_code(XK_Return), kKeyEnter);
  EXPECT_EQ(key_code(XK_KP_Enter), kKeyEnter);
  EXPECT_EQ(key_code(XK_Up), kKeyUp);
  EXPECT_EQ(key_code(XK_Down), kKeyDown);
  EXPECT_EQ(key_code(XK_Left), kKeyLeft);
  EXPECT_EQ(key_code(XK_Right), kKeyRight);
  EXPECT_EQ(key_code(XK_Tab), kKeyTab);
  EXPECT_EQ(key_code(XK_F5), 0);
  EXPECT_EQ(key_code(XK_Shift_L), 0);
}

class ShellLive : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    auto opened = X11Session::open(nullptr);
    ASSERT_TRUE(opened.ok()) << opened.error;
    session = std::shared_ptr<X11Session>(std::move(*opened));
    shell = make_x11_shell(session);
    ASSERT_TRUE(shell->create_windows({0, 0, 640, 480}, 1.0).ok());
  }
  Window window(ShellWindow w) { return static_cast<Window>(shell->native_window(w)); }

  // Sends a synthetic button event to one of the shell's windows and pumps it.
  EventRecords press(ShellWindow w, unsigned button, bool down, Time time) {
    Display* d = session->display();
    XEvent ev{};
    ev.xbutton.type = down ? ButtonPress : ButtonRelease;
    ev.xbutton.window = window(w);
    ev.xbutton.root = session->root();
    ev.xbutton.button = button;
    ev.xbutton.time = time;
    ev.xbutton.x_root = 5;
    ev.xbutton.y_root = 5;
    ev.xbutton.same_screen = True;
    XSendEvent(d, window(w), False, down ? ButtonPressMask : ButtonReleaseMask, &ev);
    XSync(d, False);
    EventRecords r;
    shell->pump(r);
    return r;
  }

  std::shared_ptr<X11Session> session;
  std::unique_ptr<Shell> shell;
};

TEST_F(ShellLive, TheOverlayIsAnUnmanagedArgbWindowThatTakesNoInput) {
  Display* d = session->display();
  const Window overlay = window(ShellWindow::overlay);
  XWindowAttributes a{};
  ASSERT_TRUE(XGetWindowAttributes(d, overlay, &a));
  EXPECT_EQ(a.depth, 32);
  EXPECT_TRUE(a.override_redirect);
  EXPECT_EQ(a.map_state, IsViewable);
  EXPECT_EQ(a.width, 640);
  EXPECT_EQ(a.height, 480);
  int count = -1, ordering = 0;
  XRectangle* rects = XShapeGetRectangles(d, overlay, ShapeInput, &count, &ordering);
  EXPECT_EQ(count, 0) << "an empty input shape lets every click through";
  if (rects != nullptr) XFree(rects);

  for (ShellWindow w : {ShellWindow::grab, ShellWindow::menu, ShellWindow::selection}) {
    ASSERT_TRUE(XGetWindowAttributes(d, window(w), &a));
    EXPECT_EQ(a.c_class, InputOnly);
    EXPECT_TRUE(a.override_redirect);
    EXPECT_EQ(a.map_state, IsUnmapped) << "input windows start hidden";
  }
}

TEST_F(ShellLive, GrabWindowReportsPressesDoubleClicksAndTheWheel) {
  shell->place(ShellWindow::grab, {10, 10, 40, 40});
  std::vector<InputEvent> got;
  Time t = 5000;
  for (auto [button, down] : {std::pair{1u, true}, {1u, false}, {1u, true}, {1u, false},
                              {3u, true}, {4u, true}, {5u, true}}) {
    const EventRecords r = press(ShellWindow::grab, button, down, t += 100);
    got.insert(got.end(), r.grab.begin(), r.grab.end());
  }
  ASSERT_EQ(got.size(), 7u);
  EXPECT_EQ(got[0].kind, kGrabLeftDown);
  EXPECT_EQ(got[1].kind, kGrabLeftUp);
  EXPECT_EQ(got[2].kind, kGrabDoubleClick);
  EXPECT_EQ(got[3].kind, kGrabLeftUp);
  EXPECT_EQ(got[4].kind, kGrabRightDown);
  EXPECT_EQ(got[5].kind, kGrabWheel);
  EXPECT_EQ(got[5].value, 120);
  EXPECT_EQ(got[6].value, -120);
}

TEST_F(ShellLive, SelectionAndMenuWindowsReportTheirOwnKinds) {
  EXPECT_EQ(press(ShellWindow::selection, 1, true, 100).selection.at(0).kind, kSelectLeftDown);
  EXPECT_EQ(press(ShellWindow::selection, 1, false, 200).selection.at(0).kind, kSelectLeftUp);
  EXPECT_EQ(press(ShellWindow::selection, 3, true, 300).selection.at(0).kind, kSelectCancel);
  EXPECT_EQ(press(ShellWindow::menu, 2, true, 400).menu.at(0).kind, kMenuMiddleDown);
  EXPECT_EQ(press(ShellWindow::menu, 3, false, 500).menu.at(0).kind, kMenuRightUp);
  const EventRecords wheel = press(ShellWindow::menu, 5, true, 600);
  ASSERT_EQ(wheel.menu.size(), 1u);
  EXPECT_EQ(wheel.menu[0].kind, kMenuWheel);
  EXPECT_EQ(wheel.menu[0].value, -120);
  EXPECT_TRUE(press(ShellWindow::grab, 1, true, 700).menu.empty());
}

TEST_F(ShellLive, TheMenuTakesAnEllipticalInputShapeOfItsSize) {
  Display* d = session->display();
  shell->place(ShellWindow::menu, {100, 100, 200, 180});
  shell->set_menu_shape({true, 0});
  XSync(d, False);
  int count = 0, ordering = 0;
  XRectangle* rects = XShapeGetRectangles(d, window(ShellWindow::menu), ShapeInput, &count, &ordering);
  ASSERT_GT(count, 0);
  int widest = 0, top = 1000, bottom = 0;
  for (int i = 0; i < count; ++i) {
    widest = std::max(widest, int(rects[i].width));
    top = std::min(top, int(rects[i].y));
    bottom = std::max(bottom, rects[i].y + int(rects[i].height));
  }
  XFree(rects);
  EXPECT_EQ(widest, 100);
  EXPECT_GE(top, 0);
  EXPECT_LE(bottom, 80);
}

}  // namespace
}  // namespace perchkin
