// The program's windows on X11 (see win/shell.h): an override-redirect ARGB overlay that never
// takes the pointer, and three InputOnly windows for the grab, the menu and the selection box.
#pragma once

#include "win/shell.h"
#include "win/session_x11.h"

#include <cstdint>
#include <memory>

namespace perchkin {

std::unique_ptr<Shell> make_x11_shell(std::shared_ptr<X11Session> session);

// Whether a compositing manager runs on the session's screen (it owns _NET_WM_CM_S<n>).
bool compositor_running(const X11Session& session);

// The key code (win/shell.h) of an X keysym; 0 for keys the menu has no use for.
std::int32_t key_code(unsigned long keysym);

// Tells a second press of the same button, soon and close to the first, from a new press.
struct ClickTracker {
  static constexpr unsigned long kDoubleClickMs = 500;
  static constexpr int kSlopPixels = 4;
  unsigned long last_time = 0;
  int last_x = 0, last_y = 0;
  unsigned last_button = 0;
  bool armed = false;  // the last press may start a double click

  // A press at server time `time_ms` and root position (x, y): true when it completes a double
  // click. A third press starts over, as on Windows.
  bool press(unsigned button, unsigned long time_ms, int x, int y);
};

}  // namespace perchkin
