// The Win32 shell's windows and procedures, run under Wine (with an X display) or on Windows.
#include "win/shell_win32.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <string>
#include <vector>

namespace perchkin {
namespace {

struct Win32ShellTest : ::testing::Test {
  Win32Shell shell;

  void SetUp() override { ASSERT_TRUE(shell.create_windows({0, 0, 800, 600}, 1.25).ok()); }

  EventRecords pump() {
    EventRecords records;
    shell.pump(records);
    return records;
  }
  LRESULT send(ShellWindow w, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
    return SendMessageW(shell.hwnd(w), msg, wp, lp);
  }
};

std::vector<std::pair<int, int>> pairs(const std::vector<InputEvent>& events) {
  std::vector<std::pair<int, int>> out;
  for (const InputEvent& e : events) out.emplace_back(e.kind, e.value);
  return out;
}

using Pairs = std::vector<std::pair<int, int>>;

TEST_F(Win32ShellTest, FourWindowsWithTheirClassesTitlesStylesCursorsAndAlphas) {
  struct Expected {
    ShellWindow window;
    const wchar_t* class_name;
    const wchar_t* title;
    DWORD ex_style;
    UINT class_style;
    const wchar_t* cursor;
    BYTE alpha;
    RECT rect;
    bool visible;
  };
  const Expected expected[] = {
      {ShellWindow::overlay, L"PerchkinOverlay", L"Perchkin",
       WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_TOPMOST, 0,
       nullptr, 255, {0, 0, 800, 600}, true},
      {ShellWindow::grab, L"PerchkinGrab", L"Perchkin grab",
       WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, CS_DBLCLKS, IDC_HAND,
       1, {0, 0, 10, 10}, false},
      {ShellWindow::menu, L"PerchkinMenu", L"Perchkin menu",
       WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, CS_DBLCLKS, IDC_ARROW, 1,
       {0, 0, 515, 515}, false},
      {ShellWindow::selection, L"PerchkinSelect", L"Perchkin select",
       WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, 0, IDC_CROSS, 1, {0, 0, 800, 600},
       false},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(e.window));
    HWND h = shell.hwnd(e.window);
    ASSERT_NE(h, nullptr);
    wchar_t text[64];
    ASSERT_GT(GetClassNameW(h, text, 64), 0);
    EXPECT_EQ(std::wstring(text), e.class_name);
    GetWindowTextW(h, text, 64);
    EXPECT_EQ(std::wstring(text), e.title);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE)) & WS_POPUP, DWORD{WS_POPUP});
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(h, GWL_EXSTYLE)) & e.ex_style, e.ex_style);
    EXPECT_EQ(GetParent(h), nullptr);
    EXPECT_EQ(static_cast<UINT>(GetClassLongPtrW(h, GCL_STYLE)), e.class_style);
    const auto cursor = reinterpret_cast<HCURSOR>(GetClassLongPtrW(h, GCLP_HCURSOR));
    EXPECT_EQ(cursor, e.cursor ? LoadCursorW(nullptr, e.cursor) : nullptr);
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(h, nullptr, &alpha, &flags));
    EXPECT_EQ(alpha, e.alpha);
    EXPECT_TRUE(flags & LWA_ALPHA);
    RECT r;
    ASSERT_TRUE(GetWindowRect(h, &r));
    EXPECT_EQ(r.left, e.rect.left);
    EXPECT_EQ(r.top, e.rect.top);
    EXPECT_EQ(r.right, e.rect.right);
    EXPECT_EQ(r.bottom, e.rect.bottom);
    EXPECT_EQ(IsWindowVisible(h) != FALSE, e.visible);
    EXPECT_EQ(shell.native_window(e.window), reinterpret_cast<std::uintptr_t>(h));
    EXPECT_TRUE(shell.owns(h));
  }
}

TEST_F(Win32ShellTest, OverlayLetsClicksThroughAndReportsShellEvents) {
  EXPECT_EQ(send(ShellWindow::overlay, WM_NCHITTEST, 0, MAKELPARAM(10, 10)), HTTRANSPARENT);
  send(ShellWindow::overlay, WM_HOTKEY, 2);
  send(ShellWindow::overlay, WM_APP + 1, 1, WM_MOUSEMOVE);  // ignored
  send(ShellWindow::overlay, WM_APP + 1, 1, WM_RBUTTONUP);
  send(ShellWindow::overlay, WM_APP + 1, 1, WM_LBUTTONUP);
  send(ShellWindow::overlay, WM_HOTKEY, 6);
  EventRecords r = pump();
  ASSERT_EQ(r.shell_events.size(), 4u);
  const std::pair<std::uint32_t, std::uint32_t> want[] = {
      {kShellHotkey, 2}, {kShellTrayRight, 0}, {kShellTrayLeft, 0}, {kShellHotkey, 6}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(r.shell_events[i].kind, want[i].first);
    EXPECT_EQ(r.shell_events[i].code, want[i].second);
  }
  EXPECT_FALSE(r.display_changed);
  EXPECT_FALSE(r.quit);
  // A second pump hands out nothing again.
  EXPECT_TRUE(pump().shell_events.empty());

  send(ShellWindow::overlay, WM_DISPLAYCHANGE, 32, MAKELPARAM(800, 600));
  EXPECT_TRUE(pump().display_changed);
  EXPECT_FALSE(pump().display_changed);
}

TEST_F(Win32ShellTest, ClosingTheOverlayQuitsAndKeepsTheWindow) {
  send(ShellWindow::overlay, WM_CLOSE);
  EventRecords r = pump();
  EXPECT_TRUE(r.quit);
  EXPECT_TRUE(IsWindow(shell.hwnd(ShellWindow::overlay)));
  EXPECT_FALSE(pump().quit);
}

TEST_F(Win32ShellTest, GrabWindowCapturesWhileTheButtonIsDownAndNeverActivates) {
  HWND grab = shell.hwnd(ShellWindow::grab);
  EXPECT_EQ(send(ShellWindow::grab, WM_MOUSEACTIVATE, 0, MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
            MA_NOACTIVATE);
  send(ShellWindow::grab, WM_LBUTTONDOWN, MK_LBUTTON);
  EXPECT_EQ(GetCapture(), grab);
  send(ShellWindow::grab, WM_LBUTTONUP);
  EXPECT_EQ(GetCapture(), nullptr);
  send(ShellWindow::grab, WM_LBUTTONDBLCLK);
  send(ShellWindow::grab, WM_RBUTTONDOWN);
  send(ShellWindow::grab, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)));
  send(ShellWindow::grab, WM_MOUSEWHEEL, MAKEWPARAM(0, 240));
  send(ShellWindow::grab, WM_RBUTTONUP);  // not an event
  EXPECT_EQ(pairs(pump().grab), (Pairs{{kGrabLeftDown, 0},
                                       {kGrabLeftUp, 0},
                                       {kGrabDoubleClick, 0},
                                       {kGrabRightDown, 0},
                                       {kGrabWheel, -120},
                                       {kGrabWheel, 240}}));
}

TEST_F(Win32ShellTest, HidingTheGrabWindowMidDragReleasesTheMouse) {
  shell.place(ShellWindow::grab, PixelRect{100, 200, 150, 240});
  HWND grab = shell.hwnd(ShellWindow::grab);
  EXPECT_TRUE(IsWindowVisible(grab));
  RECT r;
  ASSERT_TRUE(GetWindowRect(grab, &r));
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.bottom, 240);
  EXPECT_TRUE(GetWindowLongW(grab, GWL_EXSTYLE) & WS_EX_TOPMOST);
  send(ShellWindow::grab, WM_LBUTTONDOWN, MK_LBUTTON);
  ASSERT_EQ(GetCapture(), grab);
  shell.show(ShellWindow::grab, false);
  EXPECT_FALSE(IsWindowVisible(grab));
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(Win32ShellTest, SelectionCancelsOnEscapeRightClickLostFocusAndClose) {
  HWND sel = shell.hwnd(ShellWindow::selection);
  send(ShellWindow::selection, WM_LBUTTONDOWN, MK_LBUTTON);
  EXPECT_EQ(GetCapture(), sel);
  send(ShellWindow::selection, WM_LBUTTONUP);
  EXPECT_EQ(GetCapture(), nullptr);
  send(ShellWindow::selection, WM_KEYDOWN, 'A');  // other keys are not a cancel
  send(ShellWindow::selection, WM_KEYDOWN, VK_ESCAPE);
  send(ShellWindow::selection, WM_RBUTTONDOWN);
  send(ShellWindow::selection, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0));
  send(ShellWindow::selection, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0));
  send(ShellWindow::selection, WM_CLOSE);
  EXPECT_TRUE(IsWindow(sel));  // Alt+F4 must not destroy it for good
  EXPECT_EQ(pairs(pump().selection), (Pairs{{kSelectLeftDown, 0},
                                            {kSelectLeftUp, 0},
                                            {kSelectCancel, 0},
                                            {kSelectCancel, 0},
                                            {kSelectCancel, 0},
                                            {kSelectCancel, 0}}));
}

TEST_F(Win32ShellTest, MenuRecordsButtonsWheelKeysAndActivation) {
  send(ShellWindow::menu, WM_LBUTTONDOWN);
  send(ShellWindow::menu, WM_LBUTTONDBLCLK);
  send(ShellWindow::menu, WM_RBUTTONDOWN);
  send(ShellWindow::menu, WM_RBUTTONUP);
  send(ShellWindow::menu, WM_MBUTTONDOWN);
  send(ShellWindow::menu, WM_MOUSEWHEEL, MAKEWPARAM(0, 120));
  send(ShellWindow::menu, WM_KEYDOWN, VK_DOWN);
  send(ShellWindow::menu, WM_CLOSE);
  EXPECT_TRUE(IsWindow(shell.hwnd(ShellWindow::menu)));
  // Real activation and deactivation, with the keyboard focus following.
  shell.place(ShellWindow::menu, PixelRect{100, 100, 300, 300});
  shell.take_focus(ShellWindow::menu);
  EXPECT_EQ(GetFocus(), shell.hwnd(ShellWindow::menu));
  HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 400,
                               400, 200, 100, nullptr, nullptr, nullptr, nullptr);
  SetForegroundWindow(other);
  EXPECT_EQ(pairs(pump().menu), (Pairs{{kMenuLeftDown, 0},
                                       {kMenuLeftDown, 0},
                                       {kMenuRightDown, 0},
                                       {kMenuRightUp, 0},
                                       {kMenuMiddleDown, 0},
                                       {kMenuWheel, 120},
                                       {kMenuKey, kKeyDown},
                                       {kMenuKey, kKeyEscape},
                                       {kMenuActivation, 1},
                                       {kMenuActivation, 0}}));
  DestroyWindow(other);
}

TEST_F(Win32ShellTest, MenuShapeFollowsTheWindowSize) {
  HWND menu = shell.hwnd(ShellWindow::menu);
  shell.place(ShellWindow::menu, PixelRect{50, 60, 250, 260});
  shell.set_menu_shape(MenuShape{true, 0});
  RECT box;
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(menu, rgn), ERROR);
  GetRgnBox(rgn, &box);
  EXPECT_EQ(box.right - box.left, 200);
  EXPECT_FALSE(PtInRegion(rgn, 2, 2));    // a corner of the square lets clicks through
  EXPECT_TRUE(PtInRegion(rgn, 100, 100));
  // A bigger panel with rounded corners gets a new shape of its size.
  shell.set_menu_shape(MenuShape{false, 16});
  shell.place(ShellWindow::menu, PixelRect{50, 60, 426, 392});
  ASSERT_NE(GetWindowRgn(menu, rgn), ERROR);
  GetRgnBox(rgn, &box);
  EXPECT_EQ(box.right - box.left, 376);
  EXPECT_EQ(box.bottom - box.top, 332);
  EXPECT_FALSE(PtInRegion(rgn, 1, 1));
  EXPECT_TRUE(PtInRegion(rgn, 20, 2));
  DeleteObject(rgn);
}

TEST_F(Win32ShellTest, HotkeysSkipACombinationAnotherWindowHolds) {
  HWND other = CreateWindowExW(0, L"STATIC", L"holder", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               nullptr, nullptr);
  ASSERT_NE(other, nullptr);
  ASSERT_TRUE(RegisterHotKey(other, 77, MOD_CONTROL | MOD_ALT | MOD_SHIFT | MOD_NOREPEAT, 'H'));
  shell.register_hotkeys();
  EXPECT_EQ(shell.hotkeys_held(), (std::vector<std::uint32_t>{6, 1, 3, 4, 5}));
  UnregisterHotKey(other, 77);
  DestroyWindow(other);
}

// Ctrl+Alt+Shift+H typed through SendInput arrives as the hide hotkey.
TEST_F(Win32ShellTest, TypedHotkeyReachesTheShell) {
  shell.register_hotkeys();
  ASSERT_EQ(shell.hotkeys_held().size(), 6u);
  std::vector<INPUT> keys;
  for (WORD vk : {WORD{VK_CONTROL}, WORD{VK_MENU}, WORD{VK_SHIFT}, WORD{'H'}}) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    keys.push_back(in);
  }
  for (WORD vk : {WORD{'H'}, WORD{VK_SHIFT}, WORD{VK_MENU}, WORD{VK_CONTROL}}) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = KEYEVENTF_KEYUP;
    keys.push_back(in);
  }
  ASSERT_EQ(SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT)), keys.size());
  std::vector<ShellEvent> events;
  for (int i = 0; i < 200 && events.empty(); ++i) {
    EventRecords r = pump();
    events = r.shell_events;
    if (events.empty()) Sleep(10);
  }
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, kShellHotkey);
  EXPECT_EQ(events[0].code, static_cast<std::uint32_t>(kHotkeyHide));
}

TEST_F(Win32ShellTest, TrayIconComesBackWhenTheTaskbarIsCreatedAgain) {
  shell.add_tray_icon();
  ASSERT_TRUE(shell.tray_added());
  const UINT taskbar_created = RegisterWindowMessageW(L"TaskbarCreated");
  send(ShellWindow::overlay, taskbar_created);
  EXPECT_TRUE(shell.tray_added());
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = shell.hwnd(ShellWindow::overlay);
  data.uID = 1;
  data.uFlags = NIF_TIP;
  wcscpy(data.szTip, L"still there");
  EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &data));  // the icon exists
  shell.remove_tray_icon();
  EXPECT_FALSE(shell.tray_added());
  EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &data));
}

// A shell that is not ready for icons yet: it refuses the first adds, as Explorer does for a
// program started from the Run key before it is up.
int g_adds_refused = 0;
bool g_icon_shown = false;
BOOL WINAPI late_shell(DWORD message, PNOTIFYICONDATAW) {
  switch (message) {
    case NIM_ADD:
      if (g_adds_refused > 0) {
        --g_adds_refused;
        return FALSE;
      }
      g_icon_shown = true;
      return TRUE;
    case NIM_MODIFY: return g_icon_shown ? TRUE : FALSE;
    case NIM_DELETE: {
      const bool had = g_icon_shown;
      g_icon_shown = false;
      return had ? TRUE : FALSE;
    }
    default: return FALSE;
  }
}

TEST_F(Win32ShellTest, TrayIconIsAddedOnceTheShellTakesIt) {
  g_adds_refused = 2;
  g_icon_shown = false;
  shell.use_notify_icon(late_shell);
  shell.add_tray_icon();
  EXPECT_FALSE(shell.tray_added());
  send(ShellWindow::overlay, WM_TIMER, Win32Shell::kTrayRetryTimer);
  EXPECT_FALSE(shell.tray_added());
  // Explorer coming up says so: the add is tried at once.
  send(ShellWindow::overlay, RegisterWindowMessageW(L"TaskbarCreated"));
  EXPECT_TRUE(shell.tray_added());
  EXPECT_TRUE(g_icon_shown);
  shell.remove_tray_icon();
  EXPECT_FALSE(g_icon_shown);
  // Once removed it stays removed.
  send(ShellWindow::overlay, WM_TIMER, Win32Shell::kTrayRetryTimer);
  EXPECT_FALSE(g_icon_shown);
}

TEST_F(Win32ShellTest, FocusGoesBackToTheUsersWindow) {
  HWND user = CreateWindowExW(0, L"STATIC", L"user window", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              100, 100, 300, 200, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(user, nullptr);
  SetForegroundWindow(user);
  ASSERT_EQ(GetForegroundWindow(), user);
  shell.place(ShellWindow::selection, PixelRect{0, 0, 800, 600});
  shell.take_focus(ShellWindow::selection);
  EXPECT_EQ(GetForegroundWindow(), shell.hwnd(ShellWindow::selection));
  EXPECT_EQ(GetFocus(), shell.hwnd(ShellWindow::selection));
  // Taking the focus again from our own window keeps the user's window as the way back.
  shell.take_focus(ShellWindow::selection);
  shell.show(ShellWindow::selection, false);
  shell.restore_focus();
  EXPECT_EQ(GetForegroundWindow(), user);
  DestroyWindow(user);
}

}  // namespace
}  // namespace perchkin
