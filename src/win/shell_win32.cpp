#include "win/shell_win32.h"

#include "sprites/icon.h"
#include "win/window_rules.h"

#include <shellapi.h>

#include <cmath>
#include <cstring>
#include <cwchar>
#include <string>

namespace perchkin {

namespace {

constexpr UINT kTrayCallback = WM_APP + 1;
constexpr UINT kTrayId = 1;
constexpr wchar_t kTrayTip[] = L"Perchkin: click to show or hide, right-click for menu";

// The record the shell expects from current systems; an older, shorter layout would lose the
// tooltip's full length.
static_assert(sizeof(void*) != 8 || sizeof(NOTIFYICONDATAW) == 976);

struct WindowKind {
  const wchar_t* class_name;
  const wchar_t* title;
  DWORD ex_style;
  UINT class_style;
  const wchar_t* cursor;  // a system cursor, or none
  BYTE alpha;
};

const WindowKind kKinds[4] = {
    {L"PerchkinOverlay", L"Perchkin",
     WS_EX_NOACTIVATE | WS_EX_NOREDIRECTIONBITMAP | WS_EX_LAYERED | WS_EX_TOOLWINDOW |
         WS_EX_TRANSPARENT | WS_EX_TOPMOST,
     0, nullptr, 255},
    {L"PerchkinGrab", L"Perchkin grab",
     WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, CS_DBLCLKS, IDC_HAND,
     1},
    {L"PerchkinMenu", L"Perchkin menu", WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST,
     CS_DBLCLKS, IDC_ARROW, 1},
    {L"PerchkinSelect", L"Perchkin select", WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, 0,
     IDC_CROSS, 1},
};

std::string failure(const char* call, const wchar_t* class_name) {
  std::string name;
  for (const wchar_t* c = class_name; *c != L'\0'; ++c) name += static_cast<char>(*c);
  return std::string(call) + " failed for " + name + " (error " +
         std::to_string(GetLastError()) + ")";
}

template <ShellWindow Which>
LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* shell = reinterpret_cast<Win32Shell*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (shell == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
  return shell->on_message(Which, hwnd, msg, wp, lp);
}

constexpr WNDPROC kProcs[4] = {
    window_proc<ShellWindow::overlay>, window_proc<ShellWindow::grab>,
    window_proc<ShellWindow::menu>, window_proc<ShellWindow::selection>};

std::int32_t wheel_delta(WPARAM wp) { return GET_WHEEL_DELTA_WPARAM(wp); }

// The key code (win/shell.h) of a virtual key; 0 for keys the menu has no use for.
std::int32_t key_code(UINT vk) {
  if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return static_cast<std::int32_t>(vk);
  switch (vk) {
    case VK_BACK: return kKeyBack;
    case VK_TAB: return kKeyTab;
    case VK_RETURN: return kKeyEnter;
    case VK_ESCAPE: return kKeyEscape;
    case VK_SPACE: return kKeySpace;
    case VK_DELETE: return kKeyDelete;
    case VK_LEFT: return kKeyLeft;
    case VK_UP: return kKeyUp;
    case VK_RIGHT: return kKeyRight;
    case VK_DOWN: return kKeyDown;
    case VK_PRIOR: return kKeyPageUp;
    case VK_NEXT: return kKeyPageDown;
    case VK_HOME: return kKeyHome;
    case VK_END: return kKeyEnd;
    default: return 0;
  }
}

// The crab drawn from its sprite, for a build that carries no icon resource.
HICON crab_icon(int side) {
  const std::vector<std::uint32_t> pixels = crab_icon_pixels(side);
  if (pixels.empty()) return nullptr;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = side;
  info.bmiHeader.biHeight = -side;  // top-down rows, as the pixels come
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP color = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (color == nullptr) return nullptr;
  std::memcpy(bits, pixels.data(), pixels.size() * sizeof pixels[0]);
  HBITMAP mask = CreateBitmap(side, side, 1, 1, nullptr);
  HICON icon = nullptr;
  if (mask != nullptr) {
    ICONINFO parts{};
    parts.fIcon = TRUE;
    parts.hbmColor = color;
    parts.hbmMask = mask;
    icon = CreateIconIndirect(&parts);  // copies both bitmaps
    DeleteObject(mask);
  }
  DeleteObject(color);
  return icon;
}

}  // namespace

Win32Shell::~Win32Shell() {
  remove_tray_icon();
  for (std::uint32_t id : hotkeys_held_) UnregisterHotKey(hwnd(ShellWindow::overlay), static_cast<int>(id));
  for (HWND& w : windows_) {
    if (w != nullptr) {
      // No more events: the records this shell fed are going away with it.
      SetWindowLongPtrW(w, GWLP_USERDATA, 0);
      DestroyWindow(w);
    }
    w = nullptr;
  }
  if (tray_icon_ != nullptr) DestroyIcon(tray_icon_);
}

bool Win32Shell::owns(HWND window) const {
  if (window == nullptr) return false;
  for (HWND w : windows_)
    if (w == window) return true;
  return false;
}

Status Win32Shell::create_windows(const ScreenRect& screen, double scale) {
  if (windows_[0] != nullptr) return Status::success();  // created once, for the process
  HINSTANCE instance = GetModuleHandleW(nullptr);
  const int sx = static_cast<int>(screen.left), sy = static_cast<int>(screen.top);
  const int sw = static_cast<int>(screen.right - screen.left);
  const int sh = static_cast<int>(screen.bottom - screen.top);
  const int menu_side = static_cast<int>(std::lround(412.0 * scale));
  const RECT places[4] = {{sx, sy, sx + sw, sy + sh},
                          {0, 0, 10, 10},
                          {0, 0, menu_side, menu_side},
                          {sx, sy, sx + sw, sy + sh}};
  // Creation order: overlay, grab, menu, selection.
  for (int i = 0; i < 4; ++i) {
    const WindowKind& kind = kKinds[i];
    HCURSOR cursor = nullptr;
    if (kind.cursor != nullptr) {
      cursor = LoadCursorW(nullptr, kind.cursor);
      if (cursor == nullptr) return Status::fail(failure("LoadCursorW", kind.class_name));
    }
    WNDCLASSW wc{};
    wc.style = kind.class_style;
    wc.lpfnWndProc = kProcs[i];
    wc.hInstance = instance;
    wc.hCursor = cursor;
    wc.lpszClassName = kind.class_name;
    RegisterClassW(&wc);  // already registered by an earlier shell is fine
    const RECT& r = places[i];
    HWND hwnd = CreateWindowExW(kind.ex_style, kind.class_name, kind.title, WS_POPUP, r.left,
                                r.top, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                                instance, this);
    if (hwnd == nullptr) return Status::fail(failure("CreateWindowExW", kind.class_name));
    windows_[static_cast<std::size_t>(i)] = hwnd;
    if (!SetLayeredWindowAttributes(hwnd, 0, kind.alpha, LWA_ALPHA))
      return Status::fail(failure("SetLayeredWindowAttributes", kind.class_name));
    if (i == 0) ShowWindow(hwnd, SW_SHOWNOACTIVATE);
  }
  taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");
  return Status::success();
}

void Win32Shell::pump(EventRecords& records) {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      pending_.quit = true;
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  records.display_changed = records.display_changed || pending_.display_changed;
  records.quit = records.quit || pending_.quit;
  auto move_all = [](auto& from, auto& to) {
    to.insert(to.end(), from.begin(), from.end());
    from.clear();
  };
  move_all(pending_.shell_events, records.shell_events);
  move_all(pending_.grab, records.grab);
  move_all(pending_.selection, records.selection);
  move_all(pending_.menu, records.menu);
  pending_.display_changed = false;
  pending_.quit = false;
}

void Win32Shell::show(ShellWindow window, bool shown) {
  HWND w = hwnd(window);
  if (w == nullptr) return;
  // A hidden window must not keep the mouse, or the next click anywhere would come to it.
  if (!shown && GetCapture() == w) ReleaseCapture();
  ShowWindow(w, shown ? SW_SHOWNOACTIVATE : SW_HIDE);
}

void Win32Shell::place(ShellWindow window, const PixelRect& rect) {
  HWND w = hwnd(window);
  if (w == nullptr) return;
  SetWindowPos(w, HWND_TOPMOST, rect.left, rect.top, rect.right - rect.left,
               rect.bottom - rect.top, SWP_SHOWWINDOW | SWP_NOACTIVATE);
  if (window == ShellWindow::menu && menu_shaped_) apply_menu_shape();
}

void Win32Shell::set_menu_shape(const MenuShape& shape) {
  menu_shape_ = shape;
  menu_shaped_ = true;
  menu_shape_size_ = SIZE{0, 0};
  apply_menu_shape();
}

void Win32Shell::apply_menu_shape() {
  HWND w = hwnd(ShellWindow::menu);
  RECT r;
  if (w == nullptr || !GetWindowRect(w, &r)) return;
  const SIZE size{r.right - r.left, r.bottom - r.top};
  // The region is in window coordinates and does not follow a resize: set it again then.
  if (size.cx == menu_shape_size_.cx && size.cy == menu_shape_size_.cy) return;
  // GDI leaves a region's right and bottom lines out; one more pixel fills the window.
  const int corner = 2 * std::max(0, static_cast<int>(menu_shape_.corner));
  HRGN region = menu_shape_.ellipse
                    ? CreateEllipticRgn(0, 0, size.cx + 1, size.cy + 1)
                    : CreateRoundRectRgn(0, 0, size.cx + 1, size.cy + 1, corner, corner);
  if (region == nullptr) return;
  if (SetWindowRgn(w, region, TRUE))
    menu_shape_size_ = size;  // the system owns the region now
  else
    DeleteObject(region);
}

void Win32Shell::take_focus(ShellWindow window) {
  HWND w = hwnd(window);
  if (w == nullptr) return;
  // Focus goes back to the user's window, never to one of ours that was just closed.
  HWND before = GetForegroundWindow();
  if (before != nullptr && !owns(before)) focus_return_ = before;
  SetForegroundWindow(w);
  SetFocus(w);
}

void Win32Shell::restore_focus() {
  HWND back = focus_return_;
  focus_return_ = nullptr;
  if (back != nullptr && IsWindow(back)) SetForegroundWindow(back);
}

void Win32Shell::add_tray_icon() {
  tray_wanted_ = true;
  try_tray_add();
}

NOTIFYICONDATAW Win32Shell::tray_data() const {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = hwnd(ShellWindow::overlay);
  data.uID = kTrayId;
  return data;
}

void Win32Shell::try_tray_add() {
  HWND owner = hwnd(ShellWindow::overlay);
  if (owner == nullptr || tray_added_ || !tray_wanted_) return;
  if (!tray_icon_loaded_) {
    tray_icon_loaded_ = true;
    tray_icon_ = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    if (tray_icon_ == nullptr) tray_icon_ = crab_icon(GetSystemMetrics(SM_CXSMICON));
  }
  NOTIFYICONDATAW data = tray_data();
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayCallback;
  data.hIcon = tray_icon_;
  std::wcsncpy(data.szTip, kTrayTip, sizeof data.szTip / sizeof data.szTip[0] - 1);
  // A busy shell may time out an add it then carries out: the icon that answers a modify is
  // there all the same.
  tray_added_ = notify_icon_(NIM_ADD, &data) != FALSE || notify_icon_(NIM_MODIFY, &data) != FALSE;
  // Failures are not reported: until the shell takes the icon the companion runs without it
  // (hotkeys still work), and the timer tries again.
  if (tray_added_) KillTimer(owner, kTrayRetryTimer);
  else SetTimer(owner, kTrayRetryTimer, kTrayRetryMs, nullptr);
}

void Win32Shell::remove_tray_icon() {
  tray_wanted_ = false;
  if (HWND owner = hwnd(ShellWindow::overlay)) KillTimer(owner, kTrayRetryTimer);
  if (!tray_added_) return;
  tray_added_ = false;
  NOTIFYICONDATAW data = tray_data();
  notify_icon_(NIM_DELETE, &data);
}

void Win32Shell::register_hotkeys() {
  HWND owner = hwnd(ShellWindow::overlay);
  if (owner == nullptr || hotkeys_registered_) return;
  hotkeys_registered_ = true;
  for (const HotkeyLetter& key : kHotkeyOrder) {
    // A combination another program holds is skipped; the others still work.
    if (RegisterHotKey(owner, static_cast<int>(key.id),
                       MOD_CONTROL | MOD_ALT | MOD_SHIFT | MOD_NOREPEAT,
                       static_cast<UINT>(key.letter)))
      hotkeys_held_.push_back(key.id);
  }
}

std::uintptr_t Win32Shell::native_window(ShellWindow window) {
  return reinterpret_cast<std::uintptr_t>(hwnd(window));
}

LRESULT Win32Shell::on_message(ShellWindow window, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (window) {
    case ShellWindow::overlay: return overlay_message(hwnd, msg, wp, lp);
    case ShellWindow::grab: return grab_message(hwnd, msg, wp, lp);
    case ShellWindow::menu: return menu_message(hwnd, msg, wp, lp);
    case ShellWindow::selection: return selection_message(hwnd, msg, wp, lp);
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT Win32Shell::overlay_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (taskbar_created_ != 0 && msg == taskbar_created_) {
    // Explorer (re)started and forgot every icon, or is ready for the first one that it
    // refused. Some programs send this message without a restart: dropping the icon first
    // keeps the add from failing on an icon that still exists.
    if (tray_wanted_) {
      if (tray_added_) {
        tray_added_ = false;
        NOTIFYICONDATAW data = tray_data();
        notify_icon_(NIM_DELETE, &data);
      }
      try_tray_add();
    }
    return 0;
  }
  if (msg == WM_TIMER && wp == kTrayRetryTimer) {
    try_tray_add();
    return 0;
  }
  switch (msg) {
    case WM_CLOSE: PostQuitMessage(0); return 0;
    case WM_DISPLAYCHANGE:
    case WM_DPICHANGED: pending_.display_changed = true; return 0;
    case WM_NCHITTEST: return HTTRANSPARENT;
    case WM_HOTKEY:
      pending_.shell_events.push_back({kShellHotkey, static_cast<std::uint32_t>(wp)});
      return 0;
    case kTrayCallback:
      if (LOWORD(lp) == WM_LBUTTONUP) pending_.shell_events.push_back({kShellTrayLeft, 0});
      if (LOWORD(lp) == WM_RBUTTONUP) pending_.shell_events.push_back({kShellTrayRight, 0});
      return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

LRESULT Win32Shell::grab_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;  // clicking a buddy keeps the user's focus
    case WM_LBUTTONDOWN:
      SetCapture(hwnd);
      pending_.grab.push_back({kGrabLeftDown, 0});
      return 0;
    case WM_LBUTTONUP:
      ReleaseCapture();
      pending_.grab.push_back({kGrabLeftUp, 0});
      return 0;
    case WM_LBUTTONDBLCLK: pending_.grab.push_back({kGrabDoubleClick, 0}); return 0;
    case WM_RBUTTONDOWN: pending_.grab.push_back({kGrabRightDown, 0}); return 0;
    case WM_MOUSEWHEEL: pending_.grab.push_back({kGrabWheel, wheel_delta(wp)}); return 0;
    case WM_CLOSE: return 0;  // never destroyed from outside
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

LRESULT Win32Shell::selection_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_LBUTTONDOWN:
      SetCapture(hwnd);
      pending_.selection.push_back({kSelectLeftDown, 0});
      return 0;
    case WM_LBUTTONUP:
      ReleaseCapture();
      pending_.selection.push_back({kSelectLeftUp, 0});
      return 0;
    case WM_RBUTTONDOWN: pending_.selection.push_back({kSelectCancel, 0}); return 0;
    case WM_KEYDOWN:
      if (wp != VK_ESCAPE) break;
      pending_.selection.push_back({kSelectCancel, 0});
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE) break;
      pending_.selection.push_back({kSelectCancel, 0});
      return 0;
    case WM_CLOSE:
      // Alt+F4 would destroy the window for good; take it as the user's cancel instead.
      pending_.selection.push_back({kSelectCancel, 0});
      return 0;
    default: break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT Win32Shell::menu_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: pending_.menu.push_back({kMenuLeftDown, 0}); return 0;
    case WM_RBUTTONDOWN: pending_.menu.push_back({kMenuRightDown, 0}); return 0;
    case WM_RBUTTONUP: pending_.menu.push_back({kMenuRightUp, 0}); return 0;
    case WM_MBUTTONDOWN: pending_.menu.push_back({kMenuMiddleDown, 0}); return 0;
    case WM_MOUSEWHEEL: pending_.menu.push_back({kMenuWheel, wheel_delta(wp)}); return 0;
    case WM_KEYDOWN: {
      const std::int32_t shift = GetKeyState(VK_SHIFT) < 0 ? kMenuKeyShift : 0;
      if (const std::int32_t code = key_code(static_cast<UINT>(wp)); code != 0)
        pending_.menu.push_back({kMenuKey, code | shift});
      return 0;
    }
    case WM_ACTIVATE:
      pending_.menu.push_back({kMenuActivation, LOWORD(wp) == WA_INACTIVE ? 0 : 1});
      // The default handling gives an activated window the keyboard focus; without it keys
      // would arrive as system keys.
      DefWindowProcW(hwnd, msg, wp, lp);
      return 0;
    case WM_CLOSE:
      // Alt+F4 would destroy the window for good; the menu takes it as Escape.
      pending_.menu.push_back({kMenuKey, kKeyEscape});
      return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace perchkin
