// The Win32 desktop's sensing against real windows, run under Wine (with an X display) or on
// Windows.
#include "win/desktop_win32.h"
#include "win/shell_win32.h"
#include "win/surfaces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace perchkin {
namespace {

constexpr wchar_t kClass[] = L"DesktopTestWindow";

HWND make_window(const wchar_t* title, int x, int y, int w, int h, DWORD ex_style = 0) {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    return RegisterClassW(&wc) != 0;
  }();
  EXPECT_TRUE(registered);
  HWND hwnd = CreateWindowExW(ex_style, kClass, title, WS_POPUP | WS_CAPTION, x, y, w, h,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  EXPECT_NE(hwnd, nullptr);
  ShowWindow(hwnd, SW_SHOWNOACTIVATE);
  return hwnd;
}

std::int64_t id_of(HWND h) { return static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(h)); }

void settle() {
  MSG msg;
  for (int i = 0; i < 20; ++i) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(5);
  }
}

struct Win32DesktopTest : ::testing::Test {
  Win32Desktop desktop;
  std::vector<HWND> made;

  HWND window(const wchar_t* title, int x, int y, int w, int h, DWORD ex_style = 0) {
    made.push_back(make_window(title, x, y, w, h, ex_style));
    return made.back();
  }
  std::optional<DesktopWindow> find(HWND h) {
    for (const DesktopWindow& w : desktop.windows())
      if (w.id == id_of(h)) return w;
    return std::nullopt;
  }
  void TearDown() override {
    for (HWND h : made) DestroyWindow(h);
  }
};

TEST_F(Win32DesktopTest, ScreenMonitorsAndScale) {
  const ScreenRect s = desktop.screen();
  EXPECT_GT(s.right - s.left, 0);
  EXPECT_GT(s.bottom - s.top, 0);
  const auto areas = desktop.work_areas();
  ASSERT_FALSE(areas.empty());
  for (const ScreenRect& a : areas) {
    EXPECT_GE(a.left, s.left);
    EXPECT_LE(a.bottom, s.bottom);
  }
  EXPECT_GE(desktop.display_scale(), 1.0);
}

TEST_F(Win32DesktopTest, WindowsAreListedFrontToBackWithTheirRoles) {
  HWND back = window(L"Back", 100, 300, 400, 300);
  HWND front = window(L"Front", 150, 320, 400, 300);
  SetWindowPos(front, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  HWND tool = window(L"Tool", 600, 300, 300, 200, WS_EX_TOOLWINDOW);
  HWND untitled = window(L"", 600, 550, 300, 200);
  HWND hidden = window(L"Hidden", 600, 800, 300, 200);
  ShowWindow(hidden, SW_HIDE);
  settle();

  const auto list = desktop.windows();
  auto index = [&](HWND h) {
    return std::find_if(list.begin(), list.end(),
                        [&](const DesktopWindow& w) { return w.id == id_of(h); }) -
           list.begin();
  };
  ASSERT_LT(index(front), static_cast<long>(list.size()));
  ASSERT_LT(index(back), static_cast<long>(list.size()));
  EXPECT_LT(index(front), index(back));

  const DesktopWindow f = list[static_cast<std::size_t>(index(front))];
  EXPECT_EQ(f.role, WindowRole::normal);
  EXPECT_TRUE(f.visible);
  EXPECT_FALSE(f.minimised);
  EXPECT_FALSE(f.cloaked);
  EXPECT_TRUE(f.titled);
  EXPECT_NEAR(f.frame.left, 150, 8);  // DWM may leave out invisible borders
  EXPECT_NEAR(f.frame.top, 320, 8);
  EXPECT_NEAR(f.frame.right, 550, 8);

  EXPECT_EQ(find(tool)->role, WindowRole::tool);
  EXPECT_FALSE(find(untitled)->titled);
  EXPECT_FALSE(find(hidden)->visible);
}

TEST_F(Win32DesktopTest, TheProgramsOwnWindowsAreLeftOutAndCountAsOwnAtAPoint) {
  Win32Shell shell;
  ASSERT_TRUE(shell.create_windows(desktop.screen(), 1.0).ok());
  desktop.set_shell(&shell);
  shell.place(ShellWindow::grab, PixelRect{700, 700, 760, 740});
  settle();
  for (const DesktopWindow& w : desktop.windows())
    for (HWND own : shell.handles()) EXPECT_NE(w.id, id_of(own));
  const PointOwner at_grab = desktop.window_at(730, 720);
  EXPECT_TRUE(at_grab.own);
  EXPECT_EQ(at_grab.window, id_of(shell.hwnd(ShellWindow::grab)));
  // The click-through overlay is never what lies at a point.
  EXPECT_NE(desktop.window_at(5, 5).window, id_of(shell.hwnd(ShellWindow::overlay)));
}

TEST_F(Win32DesktopTest, WindowAtFindsTheTopLevelWindowUnderAChild) {
  HWND parent = window(L"Parent", 200, 300, 400, 300);
  HWND child = CreateWindowExW(0, L"STATIC", L"child", WS_CHILD | WS_VISIBLE, 10, 10, 100, 50,
                               parent, nullptr, nullptr, nullptr);
  ASSERT_NE(child, nullptr);
  settle();
  RECT r;
  GetWindowRect(child, &r);
  const PointOwner owner = desktop.window_at(r.left + 5, r.top + 5);
  EXPECT_FALSE(owner.own);
  EXPECT_EQ(owner.window, id_of(parent));
}

TEST_F(Win32DesktopTest, ATitledWindowBecomesALedgeAtItsTop) {
  HWND ledge = window(L"Ledge", 300, 400, 500, 300);
  settle();
  const ScreenRect screen = desktop.screen();
  const auto surfaces = scan_surfaces(desktop, screen, 1.0, 3.0, true);
  ASSERT_FALSE(surfaces.empty());
  EXPECT_EQ(surfaces.front().kind, SurfaceKind::floor);
  auto it = std::find_if(surfaces.begin(), surfaces.end(),
                         [&](const Support& s) { return s.id == id_of(ledge); });
  ASSERT_NE(it, surfaces.end());
  EXPECT_EQ(it->kind, SurfaceKind::window);
  EXPECT_NEAR(it->top, find(ledge)->frame.top, 0.0);
  EXPECT_NEAR(it->left, 300, 8);
}

TEST_F(Win32DesktopTest, PointOverWindowSeesWhatCoversIt) {
  HWND below = window(L"Below", 100, 300, 400, 300);
  HWND above = window(L"Above", 300, 300, 400, 300);
  SetWindowPos(above, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  settle();
  EXPECT_TRUE(desktop.point_over_window(id_of(below), false, 150, 400));
  EXPECT_FALSE(desktop.point_over_window(id_of(below), false, 350, 400));
  EXPECT_TRUE(desktop.point_over_window(id_of(below), true, 350, 400));
  EXPECT_TRUE(desktop.point_over_window(id_of(above), false, 350, 400));
  EXPECT_FALSE(desktop.point_over_window(id_of(below), false, 50, 400));
  EXPECT_FALSE(desktop.point_over_window(0, false, 150, 400));
}

TEST_F(Win32DesktopTest, AWindowCoveringItsMonitorInFrontIsFullScreen) {
  EXPECT_FALSE(desktop.fullscreen_in_front());
  MONITORINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info));
  const RECT m = info.rcMonitor;
  HWND video = CreateWindowExW(0, kClass, L"Video", WS_POPUP | WS_VISIBLE, m.left, m.top,
                               m.right - m.left, m.bottom - m.top, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  made.push_back(video);
  SetForegroundWindow(video);
  settle();
  // A desktop without a window manager (Wine on a bare X server) may refuse the foreground.
  if (GetForegroundWindow() != video) GTEST_SKIP() << "this desktop gives no foreground window";
  EXPECT_TRUE(desktop.fullscreen_in_front());
  SetWindowPos(video, nullptr, m.left, m.top, 300, 200, SWP_NOZORDER);
  settle();
  EXPECT_FALSE(desktop.fullscreen_in_front());
}

TEST_F(Win32DesktopTest, TypingCountsKeysButNotTheMouse) {
  auto key = [](WORD vk) {
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
  };
  desktop.key_pressed_since_last_probe();  // remembers where things stand
  Sleep(20);
  key(VK_F13);
  settle();
  EXPECT_TRUE(desktop.key_pressed_since_last_probe());
  EXPECT_FALSE(desktop.key_pressed_since_last_probe());
  INPUT move{};
  move.type = INPUT_MOUSE;
  move.mi.dx = 7;
  move.mi.dy = 3;
  move.mi.dwFlags = MOUSEEVENTF_MOVE;
  Sleep(20);
  SendInput(1, &move, sizeof(INPUT));
  settle();
  EXPECT_FALSE(desktop.key_pressed_since_last_probe());
  EXPECT_LT(desktop.idle_seconds(), 5.0);
  EXPECT_GE(desktop.idle_seconds(), 0.0);
}

}  // namespace
}  // namespace perchkin
