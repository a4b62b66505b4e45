// The Desktop on Win32: monitors, other programs' windows through the window manager and DWM,
// the pointer, the user's activity and the full-screen test.
#pragma once

#include "win/desktop.h"
#include "win/shell_win32.h"
#include "win/window_rules.h"

#include <windows.h>


namespace perchkin {

class Win32Desktop final : public Desktop {
 public:
  // The program's own windows, left out of every list and never "in front". The shell may
  // create them later; it must outlive this desktop.
  void set_shell(const Win32Shell* shell) { shell_ = shell; }

  ScreenRect screen() override;
  double display_scale() override;
  std::vector<ScreenRect> work_areas() override;
  std::vector<DesktopWindow> windows() override;
  PointOwner window_at(double x, double y) override;
  CursorPos cursor() override;
  PointerButtons buttons() override;
  double idle_seconds() override;
  bool key_pressed_since_last_probe() override;
  bool fullscreen_in_front() override;
  bool point_over_window(std::int64_t window, bool known_topmost, double x, double y) override;

 private:
  bool own(HWND window) const;

  const Win32Shell* shell_ = nullptr;
  TypingProbe probe_;
};

}  // namespace perchkin
