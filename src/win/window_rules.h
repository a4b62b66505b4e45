// Decisions about the desktop's windows that need no window system, shared by the desktops:
// how a window class is classed, the full-screen rectangle rule, idle time from input ticks,
// the typing probe, whether a point is over a window, and the hotkeys' letters.
#pragma once

#include "win/desktop.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace perchkin {

// By class name (exact, case-sensitive): the desktop and shell overlays are `desktop`, the
// taskbars `taskbar`; any other window with the tool-window style is `tool`.
WindowRole classify_window(std::string_view class_name, bool tool_window);

// The taskbars and the desktop fill their monitor without being full-screen programs.
bool class_never_fullscreen(std::string_view class_name);

// A window covering its whole monitor (edges included) is a full-screen program.
bool covers_monitor(const ScreenRect& window, const ScreenRect& monitor);

// Seconds since the last input, from millisecond tick counts that wrap at 2^32.
double idle_seconds_from_ticks(std::uint32_t now_tick, std::uint32_t last_input_tick);

// Counts a keystroke when some input happened (the last-input tick moved) while the cursor stood
// still and no mouse button was down. It never learns which key.
struct TypingProbe {
  std::uint32_t last_tick = 0;
  std::int64_t last_x = 0, last_y = 0;

  bool probe(std::uint32_t input_tick, std::int64_t x, std::int64_t y, bool mouse_button_down);
};

// A window stacked above the one asked about, as the point-over-window test sees it.
struct WindowAbove {
  ScreenRect frame;  // extended frame bounds, else the window rectangle
  bool visible = true;
  bool mouse_transparent = false;
  bool minimised = false;
  bool cloaked = false;
  bool own = false;  // one of the program's windows (class name starting with "Perchkin")
};

// Whether (x, y) lies on a window whose rectangle is `frame` and none of the windows above it
// (nearest first) covers the point. A topmost window is only tested against its own rectangle.
bool point_over_window(const ScreenRect& frame, bool minimised, bool known_topmost, double x,
                       double y, const std::vector<WindowAbove>& above);

// The global hotkeys (Ctrl+Alt+Shift with a letter), in the order they are registered.
struct HotkeyLetter {
  std::uint32_t id;
  char letter;
};
inline constexpr std::array<HotkeyLetter, 6> kHotkeyOrder{{
    {6, 'R'}, {1, 'B'}, {2, 'H'}, {3, 'S'}, {4, 'C'}, {5, 'G'}}};

}  // namespace perchkin
