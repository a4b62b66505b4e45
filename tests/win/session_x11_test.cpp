// gtest first: Xlib's None and Bool macros would rename its declarations.
#include <gtest/gtest.h>

#include "win/session_x11.h"

#include <X11/Xatom.h>

#include <cstdlib>

namespace perchkin {
namespace {

TEST(X11Display, EnvironmentWinsThenTheLocalSocketThenAClearFailure) {
  EXPECT_EQ(*choose_display(":7", true), ":7");
  EXPECT_EQ(*choose_display(":7", false), ":7");
  EXPECT_EQ(*choose_display(nullptr, true), ":0");
  EXPECT_EQ(*choose_display("", true), ":0");
  const auto none = choose_display(nullptr, false);
  ASSERT_FALSE(none.ok());
  EXPECT_NE(none.error.find("DISPLAY"), std::string::npos);
}

TEST(X11Display, XftDpiGivesTheScaleAndNonsenseGivesOne) {
  EXPECT_DOUBLE_EQ(scale_from_xft_dpi("96"), 1.0);
  EXPECT_DOUBLE_EQ(scale_from_xft_dpi("144.0"), 1.5);
  EXPECT_DOUBLE_EQ(scale_from_xft_dpi("192"), 2.0);
  EXPECT_DOUBLE_EQ(scale_from_xft_dpi(nullptr), 1.0);
  EXPECT_DOUBLE_EQ(scale_from_xft_dpi(""), 1.0);
  EXPECT_DOUBLE_EQ(scale_from_xft_dpi("abc"), 1.0);
  EXPECT_DOUBLE_EQ(scale_from_xft_dpi("0"), 1.0);
  EXPECT_DOUBLE_EQ(scale_from_xft_dpi("nan"), 1.0);
  EXPECT_DOUBLE_EQ(scale_from_xft_dpi("1e9"), 1.0);
}

TEST(X11Session, AnUnreachableDisplayIsAFailureNotACrash) {
  const auto s = X11Session::open(":9999");
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.error.find(":9999"), std::string::npos);
}

// The rest needs an X server (the desktop tests run under one Xvfb).
class X11SessionLive : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    auto opened = X11Session::open(nullptr);
    ASSERT_TRUE(opened.ok()) << opened.error;
    session = std::move(*opened);
  }
  std::unique_ptr<X11Session> session;
};

TEST_F(X11SessionLive, ScreenCoversEveryMonitor) {
  const ScreenRect box = session->screen_rect();
  EXPECT_GT(box.right - box.left, 0.0);
  EXPECT_GT(box.bottom - box.top, 0.0);
  for (const ScreenRect& m : session->monitors()) {
    EXPECT_LE(box.left, m.left);
    EXPECT_LE(box.top, m.top);
    EXPECT_GE(box.right, m.right);
    EXPECT_GE(box.bottom, m.bottom);
  }
  EXPECT_GT(session->scale(), 0.0);
}

TEST_F(X11SessionLive, PropertyReadsCheckTypeFormatAndCount) {
  Display* d = session->display();
  const X11Atoms& a = session->atoms();
  ASSERT_NE(a.net_wm_pid, None);
  Window w = XCreateSimpleWindow(d, session->root(), 0, 0, 4, 4, 0, 0, 0);
  // Values above 32 bits would be cut by a reader that took format-32 data as 32-bit ints.
  const long values[3] = {-1, 70000, 3};
  XChangeProperty(d, w, a.net_wm_pid, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(values), 3);
  XSync(d, False);

  EXPECT_EQ(session->read_longs(w, a.net_wm_pid, XA_CARDINAL, 8),
            (std::vector<long>{-1, 70000, 3}));
  EXPECT_TRUE(session->read_longs(w, a.net_wm_pid, XA_CARDINAL, 2).empty()) << "too many items";
  EXPECT_TRUE(session->read_longs(w, a.net_wm_pid, XA_WINDOW, 8).empty()) << "wrong type";
  EXPECT_FALSE(session->read_property(w, a.net_wm_pid, XA_CARDINAL, 8, 64)) << "wrong format";
  EXPECT_FALSE(session->read_long(w, a.net_wm_pid, XA_CARDINAL)) << "one value wanted";
  EXPECT_TRUE(session->read_longs(w, a.net_wm_state, XA_ATOM, 8).empty()) << "missing";

  const char text[] = "perchkin";
  XChangeProperty(d, w, a.net_wm_name, a.utf8_string, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(text), 8);
  XSync(d, False);
  EXPECT_EQ(session->read_string(w, a.net_wm_name, 64).value_or(""), "perchkin");
  EXPECT_FALSE(session->read_string(w, a.net_wm_name, 4)) << "longer than allowed";
  XDestroyWindow(d, w);
}

TEST_F(X11SessionLive, ErrorsOfVanishedWindowsAreCaughtNotFatal) {
  Display* d = session->display();
  Window w = XCreateSimpleWindow(d, session->root(), 0, 0, 4, 4, 0, 0, 0);
  XDestroyWindow(d, w);
  EXPECT_FALSE(session->without_errors([&] { XMapWindow(d, w); }));
  EXPECT_EQ(session->last_error(), BadWindow);
  EXPECT_TRUE(session->read_longs(w, session->atoms().net_wm_pid, XA_CARDINAL, 4).empty());
  EXPECT_TRUE(session->without_errors([&] { XSync(d, False); }));
}

}  // namespace
}  // namespace perchkin
