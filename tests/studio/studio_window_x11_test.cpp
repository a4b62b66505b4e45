// The Studio's X11 window on the test run's Xvfb with openbox: a managed window with the right
// name, class and fixed size; one at most; frames reach the screen; the pointer, the wheel,
// typed text and the close button reach the input record. Driven through xdotool (XTEST) as a
// user would; every wait polls with a deadline.
#include <gtest/gtest.h>

#include "app/x11_desktop.h"
#include "studio/studio_window_x11.h"
#include "win/session_x11.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace perchkin {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using test::xdotool;

class StudioWindowX11 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    auto opened = X11Session::open(nullptr);
    ASSERT_TRUE(opened.ok()) << opened.error;
    session = std::move(*opened);
    d = session->display();
    if (!session->read_long(session->root(), session->atoms().net_supporting_wm_check, XA_WINDOW))
      GTEST_SKIP() << "no window manager on this display";
    ASSERT_EQ(std::system("command -v xdotool >/dev/null"), 0) << "xdotool is needed";
    window = make_x11_studio_window(std::getenv("DISPLAY"));
  }
  void TearDown() override {
    if (window) window->close();
    if (restore_key != 0) {
      KeySym none[2] = {NoSymbol, NoSymbol};
      XChangeKeyboardMapping(d, restore_key, 2, none, 1);
      XSync(d, False);
    }
  }

  std::vector<Window> studio_windows() { return test::client_windows(*session, "PerchkinStudio"); }
  Window wait_window() {
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
      const auto list = studio_windows();
      if (list.size() == 1) {
        XWindowAttributes a{};
        if (XGetWindowAttributes(d, list[0], &a) != 0 && a.map_state == IsViewable)
          return list[0];
      }
      pump();
      std::this_thread::sleep_for(30ms);
    }
    return None;
  }
  void pump() { window->pump(input); }
  // A key code with no symbols on it.
  KeyCode spare_keycode() {
    int lo = 0, hi = 0, per = 0;
    XDisplayKeycodes(d, &lo, &hi);
    KeySym* map = XGetKeyboardMapping(d, static_cast<KeyCode>(lo), hi - lo + 1, &per);
    KeyCode found = 0;
    for (int k = hi; k >= lo && found == 0 && map != nullptr; --k) {
      bool empty = true;
      for (int i = 0; i < per; ++i) empty = empty && map[(k - lo) * per + i] == NoSymbol;
      if (empty) found = static_cast<KeyCode>(k);
    }
    if (map != nullptr) XFree(map);
    return found;
  }
  // Pumps until `test` holds.
  bool until(const std::function<bool()>& test, std::chrono::milliseconds limit = 5s) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
      pump();
      if (test()) return true;
      if (Clock::now() >= deadline) return false;
      std::this_thread::sleep_for(20ms);
    }
  }

  std::unique_ptr<X11Session> session;
  Display* d = nullptr;
  std::unique_ptr<StudioWindow> window;
  StudioInput input;
  KeyCode restore_key = 0;
};

TEST_F(StudioWindowX11, AManagedFixedSizeWindowAndOnlyOne) {
  ASSERT_TRUE(window->open(1.0).ok());
  EXPECT_TRUE(window->is_open());
  const Window w = wait_window();
  ASSERT_NE(w, None);
  EXPECT_EQ(session->read_string(w, session->atoms().net_wm_name, 64), "Perchkin Studio");
  char* name = nullptr;
  ASSERT_NE(XFetchName(d, w, &name), 0);
  EXPECT_STREQ(name, "Perchkin Studio");
  XFree(name);
  XWindowAttributes a{};
  XGetWindowAttributes(d, w, &a);
  EXPECT_EQ(a.width, 920);
  EXPECT_EQ(a.height, 660);
  XSizeHints hints{};
  long supplied = 0;
  ASSERT_NE(XGetWMNormalHints(d, w, &hints, &supplied), 0);
  EXPECT_TRUE((hints.flags & PMinSize) && (hints.flags & PMaxSize));
  EXPECT_EQ(hints.min_width, 920);
  EXPECT_EQ(hints.max_width, 920);
  EXPECT_EQ(hints.min_height, 660);
  EXPECT_EQ(hints.max_height, 660);
  // Managed: the window manager framed it.
  EXPECT_EQ(session->read_longs(w, session->atoms().net_frame_extents, XA_CARDINAL, 4).size(), 4u);

  // Opening again raises the same window.
  ASSERT_TRUE(window->open(1.0).ok());
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(studio_windows().size(), 1u);

  window->close();
  EXPECT_FALSE(window->is_open());
  const auto deadline = Clock::now() + 5s;
  while (!studio_windows().empty() && Clock::now() < deadline) std::this_thread::sleep_for(30ms);
  EXPECT_TRUE(studio_windows().empty());

  // A scale makes it bigger.
  ASSERT_TRUE(window->open(1.5).ok());
  const Window big = wait_window();
  ASSERT_NE(big, None);
  XGetWindowAttributes(d, big, &a);
  EXPECT_EQ(a.width, 1380);
  EXPECT_EQ(a.height, 990);
}

TEST_F(StudioWindowX11, FramesReachTheScreen) {
  ASSERT_TRUE(window->open(1.0).ok());
  const Window w = wait_window();
  ASSERT_NE(w, None);
  ASSERT_TRUE(until([&] { return input.needs_redraw; }));
  ASSERT_TRUE(window->present([](Canvas& c) {
    c.fill_rect({0, 0, 920, 660}, canvas_rgb(0x204080));
    c.fill_rect({100, 100, 200, 150}, canvas_rgb(0xF0C020));
  }).ok());
  // The frame is on the window as soon as the server has handled it.
  std::this_thread::sleep_for(100ms);
  XImage* image = XGetImage(d, w, 0, 0, 920, 660, AllPlanes, ZPixmap);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(XGetPixel(image, 10, 10) & 0xFFFFFF, 0x204080u);
  EXPECT_EQ(XGetPixel(image, 150, 120) & 0xFFFFFF, 0xF0C020u);
  XDestroyImage(image);
}

TEST_F(StudioWindowX11, PointerWheelTextAndCloseReachTheInput) {
  // A key of its own for é, before the window reads the keyboard map: xdotool would otherwise
  // map it onto a spare key only for the moment of the press.
  const KeyCode spare = spare_keycode();
  ASSERT_NE(spare, 0);
  KeySym eacute[2] = {XK_eacute, XK_Eacute};
  XChangeKeyboardMapping(d, spare, 2, eacute, 1);
  XSync(d, False);
  restore_key = spare;
  ASSERT_TRUE(window->open(1.0).ok());
  const Window w = wait_window();
  ASSERT_NE(w, None);
  const std::string id = std::to_string(w);
  ASSERT_TRUE(xdotool({"windowactivate", "--sync", id}));
  ASSERT_TRUE(xdotool({"mousemove", "--window", id, "--sync", "300", "200"}));
  ASSERT_TRUE(until([&] { return input.x == 300.0f && input.y == 200.0f; }))
      << input.x << "," << input.y;
  EXPECT_TRUE(window->pointer_over());
  input.consume();

  ASSERT_TRUE(xdotool({"click", "1"}));
  ASSERT_TRUE(until([&] { return input.pressed && input.released; }));
  EXPECT_FALSE(input.held);
  input.consume();

  ASSERT_TRUE(xdotool({"click", "4"}));
  ASSERT_TRUE(xdotool({"click", "5"}));
  ASSERT_TRUE(xdotool({"click", "5"}));
  ASSERT_TRUE(until([&] { return input.wheel == -1.0f; })) << input.wheel;
  input.consume();

  ASSERT_TRUE(xdotool({"type", "--window", id, "hé!"}));
  ASSERT_TRUE(xdotool({"key", "--window", id, "BackSpace", "Return", "Escape"}));
  const std::vector<char32_t> want{U'h', U'é', U'!', kStudioBackspace, kStudioEnter, kStudioEscape};
  EXPECT_TRUE(until([&] { return input.typed.size() >= want.size(); }));
  EXPECT_EQ(input.typed, want);
  EXPECT_EQ(input.keys, std::vector<StudioKey>{StudioKey::enter});
  input.consume();

  // The keys that walk and work the controls, Shift turning Tab back.
  ASSERT_TRUE(xdotool({"key", "--window", id, "Tab", "shift+Tab", "Left", "space"}));
  const std::vector<StudioKey> keys{StudioKey::tab, StudioKey::back_tab, StudioKey::left,
                                    StudioKey::space};
  EXPECT_TRUE(until([&] { return input.keys.size() >= keys.size(); }));
  EXPECT_EQ(input.keys, keys);
  input.consume();

  // The pointer leaving the window leaves the record too.
  ASSERT_TRUE(xdotool({"mousemove", "--sync", "0", "0"}));
  ASSERT_TRUE(until([&] { return input.x < 0.0f; }));
  EXPECT_FALSE(window->pointer_over());

  // The window manager's close button sends WM_DELETE_WINDOW.
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = session->atoms().wm_protocols;
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(session->atoms().wm_delete_window);
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, w, False, NoEventMask, &e);
  XFlush(d);
  ASSERT_TRUE(until([&] { return input.close_requested; }));
  EXPECT_TRUE(window->is_open()) << "closing is the program's decision";
}

TEST(StudioKeysym, PlainKeysGiveTheirCharacters) {
  EXPECT_EQ(studio_keysym_char(XK_a), U'a');
  EXPECT_EQ(studio_keysym_char(XK_eacute), U'é');
  EXPECT_EQ(studio_keysym_char(0x010020AC), U'€');
  EXPECT_EQ(studio_keysym_char(XK_BackSpace), kStudioBackspace);
  EXPECT_EQ(studio_keysym_char(XK_KP_Enter), kStudioEnter);
  EXPECT_EQ(studio_keysym_char(XK_Escape), kStudioEscape);
  EXPECT_EQ(studio_keysym_char(XK_Left), 0u);
  EXPECT_EQ(studio_keysym_char(XK_Shift_L), 0u);
  EXPECT_EQ(studio_keysym_char(0x0100D800), 0u) << "a surrogate half is no character";
}

}  // namespace
}  // namespace perchkin
