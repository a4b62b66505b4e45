#include "win/desktop_win32.h"

#include <dwmapi.h>
#include <shellapi.h>

#include <cstdint>
#include <string>

namespace perchkin {

namespace {

constexpr int kClassNameChars = 256;
// EnumWindows and the z-order walk stop here: no desktop has this many top-level windows, and a
// window list changing under the walk must not keep it going.
constexpr int kMaxWindows = 8192;

ScreenRect to_rect(const RECT& r) {
  return ScreenRect{static_cast<double>(r.left), static_cast<double>(r.top),
                    static_cast<double>(r.right), static_cast<double>(r.bottom)};
}

std::int64_t to_id(HWND h) {
  return static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(h) & 0x7FFFFFFFFFFFFFFFull);
}

HWND from_id(std::int64_t id) {
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(id));
}

// Class names are ASCII in practice; anything else becomes '?' and matches no rule.
std::string class_name(HWND h) {
  wchar_t buffer[kClassNameChars + 1];
  const int n = GetClassNameW(h, buffer, kClassNameChars + 1);
  std::string out;
  for (int i = 0; i < n; ++i)
    out += buffer[i] < 0x80 ? static_cast<char>(buffer[i]) : '?';
  return out;
}

// The visible frame without the invisible resize borders; the window rectangle when DWM cannot
// say. False when neither can be read.
bool frame_of(HWND h, ScreenRect& out) {
  RECT r;
  if (DwmGetWindowAttribute(h, DWMWA_EXTENDED_FRAME_BOUNDS, &r, sizeof r) == S_OK ||
      GetWindowRect(h, &r)) {
    out = to_rect(r);
    return true;
  }
  return false;
}

bool cloaked(HWND h) {
  DWORD value = 0;
  return DwmGetWindowAttribute(h, DWMWA_CLOAKED, &value, sizeof value) == S_OK && value != 0;
}

BOOL CALLBACK collect_window(HWND h, LPARAM param) {
  auto* list = reinterpret_cast<std::vector<HWND>*>(param);
  list->push_back(h);
  return list->size() < static_cast<std::size_t>(kMaxWindows);
}

BOOL CALLBACK collect_monitor(HMONITOR monitor, HDC, LPRECT, LPARAM param) {
  auto* areas = reinterpret_cast<std::vector<ScreenRect>*>(param);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(monitor, &info)) areas->push_back(to_rect(info.rcWork));
  return TRUE;
}

bool key_down(int vk) { return (static_cast<unsigned short>(GetAsyncKeyState(vk)) & 0x8000u) != 0; }

std::uint32_t last_input_tick() {
  LASTINPUTINFO info{};
  info.cbSize = sizeof info;
  return GetLastInputInfo(&info) ? info.dwTime : 0;
}

}  // namespace

bool Win32Desktop::own(HWND window) const { return shell_ != nullptr && shell_->owns(window); }

ScreenRect Win32Desktop::screen() {
  const double x = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const double y = GetSystemMetrics(SM_YVIRTUALSCREEN);
  const double w = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const double h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  return ScreenRect{x, y, x + (w > 0 ? w : 1), y + (h > 0 ? h : 1)};
}

double Win32Desktop::display_scale() {
  const UINT dpi = GetDpiForSystem();
  return dpi > 0 ? static_cast<double>(dpi) / 96.0 : 1.0;
}

std::vector<ScreenRect> Win32Desktop::work_areas() {
  std::vector<ScreenRect> areas;
  EnumDisplayMonitors(nullptr, nullptr, collect_monitor, reinterpret_cast<LPARAM>(&areas));
  return areas;
}

std::vector<DesktopWindow> Win32Desktop::windows() {
  std::vector<HWND> handles;
  EnumWindows(collect_window, reinterpret_cast<LPARAM>(&handles));  // front to back
  std::vector<DesktopWindow> out;
  out.reserve(handles.size());
  for (HWND h : handles) {
    if (own(h)) continue;
    DesktopWindow w;
    w.id = to_id(h);
    w.visible = IsWindowVisible(h) != FALSE;
    w.minimised = IsIconic(h) != FALSE;
    w.frame = ScreenRect{0, 0, 0, 0};
    // Hidden and minimised windows are most of the list and never ledges: spare them the reads.
    if (w.visible && !w.minimised) {
      if (!frame_of(h, w.frame)) continue;
      const auto ex_style = static_cast<DWORD>(GetWindowLongW(h, GWL_EXSTYLE));
      w.role = classify_window(class_name(h), (ex_style & WS_EX_TOOLWINDOW) != 0);
      w.cloaked = cloaked(h);
      w.titled = GetWindowTextLengthW(h) > 0;
    }
    out.push_back(w);
  }
  return out;
}

PointOwner Win32Desktop::window_at(double x, double y) {
  const POINT p{static_cast<LONG>(x), static_cast<LONG>(y)};
  HWND h = WindowFromPoint(p);
  if (h == nullptr) return PointOwner{};
  HWND root = GetAncestor(h, GA_ROOT);
  if (root == nullptr) root = h;
  return PointOwner{own(root), to_id(root)};
}

CursorPos Win32Desktop::cursor() {
  POINT p;
  if (!GetCursorPos(&p)) return CursorPos{};
  return CursorPos{static_cast<double>(p.x), static_cast<double>(p.y)};
}

PointerButtons Win32Desktop::buttons() {
  // GetAsyncKeyState reads the physical buttons; a left-handed mouse swaps what they mean.
  const bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
  const bool first = key_down(VK_LBUTTON), second = key_down(VK_RBUTTON);
  return swapped ? PointerButtons{second, first} : PointerButtons{first, second};
}

double Win32Desktop::idle_seconds() {
  LASTINPUTINFO info{};
  info.cbSize = sizeof info;
  if (!GetLastInputInfo(&info)) return 0.0;
  return idle_seconds_from_ticks(GetTickCount(), info.dwTime);
}

bool Win32Desktop::key_pressed_since_last_probe() {
  const std::uint32_t tick = last_input_tick();
  POINT p{0, 0};
  if (!GetCursorPos(&p)) p = POINT{0, 0};
  const bool button = key_down(VK_LBUTTON) || key_down(VK_RBUTTON);
  return probe_.probe(tick, p.x, p.y, button);
}

bool Win32Desktop::fullscreen_in_front() {
  QUERY_USER_NOTIFICATION_STATE state{};
  if (SHQueryUserNotificationState(&state) == S_OK &&
      (state == QUNS_RUNNING_D3D_FULL_SCREEN || state == QUNS_PRESENTATION_MODE))
    return true;
  HWND front = GetForegroundWindow();
  if (front == nullptr || own(front) || IsZoomed(front)) return false;
  if (class_never_fullscreen(class_name(front))) return false;
  RECT window;
  if (!GetWindowRect(front, &window)) return false;
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(MonitorFromWindow(front, MONITOR_DEFAULTTONEAREST), &info)) return false;
  return covers_monitor(to_rect(window), to_rect(info.rcMonitor));
}


bool Win32Desktop::point_over_window(std::int64_t window, bool known_topmost, double x,
                                     double y) {
  HWND target = from_id(window);
  RECT r;
  if (!IsWindow(target) || !GetWindowRect(target, &r)) return false;
  std::vector<WindowAbove> above;
  if (!known_topmost) {
    HWND h = GetWindow(target, GW_HWNDPREV);
    for (int n = 0; h != nullptr && n < kMaxWindows; ++n, h = GetWindow(h, GW_HWNDPREV)) {
      WindowAbove w;
      w.visible = IsWindowVisible(h) != FALSE;
      w.minimised = IsIconic(h) != FALSE;
      if (!w.visible || w.minimised) continue;
      w.mouse_transparent =
          (static_cast<DWORD>(GetWindowLongW(h, GWL_EXSTYLE)) & WS_EX_TRANSPARENT) != 0;
      w.own = class_name(h).rfind("Perchkin", 0) == 0;
      if (w.mouse_transparent || w.own) continue;
      w.cloaked = cloaked(h);
      if (w.cloaked || !frame_of(h, w.frame)) continue;
      above.push_back(w);
    }
  }
  return perchkin::point_over_window(to_rect(r), IsIconic(target) != FALSE, known_topmost, x, y,
                                     above);
}

}  // namespace perchkin
