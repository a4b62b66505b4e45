#include "win/window_rules.h"

#include <algorithm>

namespace perchkin {

namespace {

constexpr std::string_view kDesktopClasses[] = {
    "Progman", "WorkerW", "NotifyIconOverflowWindow", "Windows.UI.Core.CoreWindow",
    "TopLevelWindowForOverflowXamlIsland"};
constexpr std::string_view kTaskbarClasses[] = {"Shell_TrayWnd", "Shell_SecondaryTrayWnd"};

template <std::size_t N>
bool listed(const std::string_view (&names)[N], std::string_view name) {
  return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

}  // namespace

WindowRole classify_window(std::string_view class_name, bool tool_window) {
  if (listed(kDesktopClasses, class_name)) return WindowRole::desktop;
  if (listed(kTaskbarClasses, class_name)) return WindowRole::taskbar;
  return tool_window ? WindowRole::tool : WindowRole::normal;
}

bool class_never_fullscreen(std::string_view class_name) {
  // "#32769" is the desktop window itself, which the system reports as the foreground window
  // while no program has it (Wine without a window manager does so all the time).
  return listed(kTaskbarClasses, class_name) || class_name == "Progman" ||
         class_name == "WorkerW" || class_name == "#32769";
}

bool covers_monitor(const ScreenRect& window, const ScreenRect& monitor) {
  return window.left <= monitor.left && window.top <= monitor.top &&
         window.right >= monitor.right && window.bottom >= monitor.bottom;
}

double idle_seconds_from_ticks(std::uint32_t now_tick, std::uint32_t last_input_tick) {
  // Unsigned subtraction keeps the answer right across the 49.7-day wrap of the tick count.
  return static_cast<double>(static_cast<std::uint32_t>(now_tick - last_input_tick)) / 1000.0;
}

bool TypingProbe::probe(std::uint32_t input_tick, std::int64_t x, std::int64_t y,
                        bool mouse_button_down) {
  const bool typed =
      input_tick != last_tick && x == last_x && y == last_y && !mouse_button_down;
  last_tick = input_tick;
  last_x = x;
  last_y = y;
  return typed;
}

bool point_over_window(const ScreenRect& frame, bool minimised, bool known_topmost, double x,
                       double y, const std::vector<WindowAbove>& above) {
  if (minimised || !contains(frame, x, y)) return false;
  if (known_topmost) return true;
  return std::none_of(above.begin(), above.end(), [&](const WindowAbove& w) {
    if (!w.visible || w.mouse_transparent || w.minimised || w.cloaked || w.own) return false;
    return contains(w.frame, x, y);
  });
}

}  // namespace perchkin
