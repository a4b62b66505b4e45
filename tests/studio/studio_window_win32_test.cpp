// The Studio's Win32 window, run under Wine (with an X display) or on Windows: its class, title,
// styles and client size; one window at most; the messages a user causes reaching the input
// record; a Direct2D frame; closing.
#include "studio/studio_window_win32.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace perchkin {
namespace {

int studio_windows() {
  int n = 0;
  EnumWindows(
      [](HWND h, LPARAM count) -> BOOL {
        wchar_t name[64] = {};
        GetClassNameW(h, name, 64);
        if (std::wstring(name) == L"PerchkinStudio") ++*reinterpret_cast<int*>(count);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&n));
  return n;
}

struct StudioWindowWin32 : ::testing::Test {
  std::unique_ptr<StudioWindow> window = make_win32_studio_window();
  StudioInput input;
  HWND hwnd = nullptr;

  void SetUp() override {
    ASSERT_TRUE(window->open(1.0).ok());
    hwnd = static_cast<HWND>(studio_window_handle(*window));
    ASSERT_NE(hwnd, nullptr);
    window->pump(input);
    input.consume();
  }
  void TearDown() override { window->close(); }
  void post(UINT msg, WPARAM wp = 0, LPARAM lp = 0) { PostMessageW(hwnd, msg, wp, lp); }
};

TEST_F(StudioWindowWin32, ClassTitleStylesAndSize) {
  wchar_t text[64] = {};
  GetClassNameW(hwnd, text, 64);
  EXPECT_EQ(std::wstring(text), L"PerchkinStudio");
  GetWindowTextW(hwnd, text, 64);
  EXPECT_EQ(std::wstring(text), L"Perchkin Studio");
  const auto style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX), DWORD(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX));
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_POPUP), 0u) << "fixed size, no maximise";
  EXPECT_TRUE(IsWindowVisible(hwnd));
  RECT client{};
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right - client.left, 920);
  EXPECT_EQ(client.bottom - client.top, 660);

  ASSERT_TRUE(window->open(1.0).ok());
  EXPECT_EQ(studio_window_handle(*window), hwnd) << "opening again raises the same window";
  EXPECT_EQ(studio_windows(), 1);

  window->close();
  EXPECT_FALSE(window->is_open());
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(studio_windows(), 0);
  // A scale whose window still fits the 1280 x 800 test display: a larger window would be cut
  // to the screen by the system, not by us.
  ASSERT_TRUE(window->open(1.1).ok());
  hwnd = static_cast<HWND>(studio_window_handle(*window));
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, 1012);
  EXPECT_EQ(client.bottom, 726);
}

TEST_F(StudioWindowWin32, MessagesFillTheInputRecord) {
  post(WM_MOUSEMOVE, 0, MAKELPARAM(30, 40));
  post(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(31, 41));
  window->pump(input);
  EXPECT_EQ(input.x, 31.0f);
  EXPECT_EQ(input.y, 41.0f);
  EXPECT_TRUE(input.pressed && input.held);
  EXPECT_EQ(GetCapture(), hwnd) << "the button held keeps the pointer";
  input.consume();
  post(WM_LBUTTONUP, 0, MAKELPARAM(500, 41));
  window->pump(input);
  EXPECT_TRUE(input.released);
  EXPECT_FALSE(input.held);
  EXPECT_NE(GetCapture(), hwnd);
  input.consume();

  post(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-240)), 0);
  for (const wchar_t unit : {L'a', wchar_t(0xD83D), wchar_t(0xDE00), wchar_t(0xDE00), wchar_t(8), wchar_t(13)})
    post(WM_CHAR, unit, 0);
  window->pump(input);
  EXPECT_FLOAT_EQ(input.wheel, -2.0f);
  EXPECT_EQ(input.typed, (std::vector<char32_t>{U'a', U'😀', kStudioBackspace, kStudioEnter}));
  EXPECT_TRUE(input.needs_redraw);
  input.consume();

  post(WM_CLOSE);
  window->pump(input);
  EXPECT_TRUE(input.close_requested);
  EXPECT_TRUE(window->is_open()) << "closing is the program's decision";
  EXPECT_TRUE(IsWindow(hwnd));
}

TEST_F(StudioWindowWin32, AFrameIsDrawnWithDirect2D) {
  bool drawn = false;
  const Status s = window->present([&](Canvas& c) {
    c.fill_rect({0, 0, 920, 660}, canvas_rgb(0x204080));
    auto text = c.layout_text("Perchkin Studio", TextFormat{}, 400, 40);
    EXPECT_NE(text, nullptr);
    if (text) c.draw_text(*text, {20, 20}, canvas_rgb(0xFFFFFF));
    drawn = true;
  });
  EXPECT_TRUE(s.ok()) << s.error;
  EXPECT_TRUE(drawn);
}

}  // namespace
}  // namespace perchkin
