// What the simulation needs to know about the desktop: the screen and its monitors, the other
// programs' windows, the pointer and the user's activity. It only reads; the program's own
// windows are the Shell's (win/shell.h). One implementation per desktop: fake, X11, Win32.
#pragma once

#include "base/geometry.h"
#include "crowd/buddy.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace perchkin {

struct CursorPos {
  double x = 0.0, y = 0.0;
};

struct PointerButtons {
  bool left = false;
  bool right = false;
};

// How the window manager classes a top-level window.
enum class WindowRole : std::uint8_t {
  normal,
  taskbar,  // a taskbar or dock: a ledge without further tests
  desktop,  // the desktop itself or a shell overlay: never a ledge
  tool,     // tool, utility, menu, splash and notification windows
};

// One top-level window of another program, as the scan needs it. `id` is never negative.
struct DesktopWindow {
  std::int64_t id = 0;
  ScreenRect frame;  // the visible frame, without invisible borders
  WindowRole role = WindowRole::normal;
  bool visible = true;
  bool minimised = false;
  bool cloaked = false;  // hidden by the shell, or on another virtual desktop
  bool titled = true;
};

// What lies at a point of the screen.
struct PointOwner {
  bool own = false;          // one of the program's windows
  std::int64_t window = 0;   // the top-level window there (0: the bare desktop)
};

class Desktop {
 public:
  virtual ~Desktop() = default;
  // The virtual screen (every monitor's bounding box) and the display scale (DPI / 96).
  virtual ScreenRect screen() = 0;
  virtual double display_scale() = 0;
  // Each monitor's work area, in no particular order.
  virtual std::vector<ScreenRect> work_areas() = 0;
  // Other programs' top-level windows, front to back; the program's own are left out.
  virtual std::vector<DesktopWindow> windows() = 0;
  virtual PointOwner window_at(double x, double y) = 0;
  // A failed read counts as (0, 0) and no buttons.
  virtual CursorPos cursor() = 0;
  virtual PointerButtons buttons() = 0;
  virtual double idle_seconds() = 0;
  // Called every 0.05 s while typing along: whether the user pressed a key since the last call.
  // Never says which key.
  virtual bool key_pressed_since_last_probe() = 0;
  // Whether a full-screen program is in front.
  virtual bool fullscreen_in_front() = 0;
  // Reads what the window system sent meanwhile; called while the crew is quiet, when nothing
  // else asks, so that nothing piles up over a long hide.
  virtual void drain_events() {}
  // Whether (x, y) lies on the window `window` (a native handle, as in DesktopWindow::id) and no
  // other visible window stacked above it covers the point; `known_topmost` skips that walk.
  // For the Studio window. Desktops that cannot tell say no.
  virtual bool point_over_window(std::int64_t /*window*/, bool /*known_topmost*/, double /*x*/,
                                 double /*y*/) {
    return false;
  }
};

// The fake desktop: one 1920 x 1080 screen at scale 1 whose work area is the whole screen, no
// windows. Tests set its windows, pointer, activity and hour.
class FakeDesktop final : public Desktop {
 public:
  ScreenRect rect;
  std::vector<ScreenRect> monitors;  // work areas; the whole screen when empty
  std::vector<DesktopWindow> window_list;
  PointOwner owner_at_every_point;
  CursorPos pointer;
  PointerButtons held;
  double idle = 0.0;
  int key_presses = 0;  // handed out one per probe
  bool fullscreen = false;
  double scale = 1.0;
  int drained = 0;

  ScreenRect screen() override { return rect; }
  double display_scale() override { return scale; }
  std::vector<ScreenRect> work_areas() override;
  std::vector<DesktopWindow> windows() override { return window_list; }
  PointOwner window_at(double, double) override { return owner_at_every_point; }
  CursorPos cursor() override { return pointer; }
  PointerButtons buttons() override { return held; }
  double idle_seconds() override { return idle; }
  bool key_pressed_since_last_probe() override;
  bool fullscreen_in_front() override { return fullscreen; }
  void drain_events() override { ++drained; }
};

}  // namespace perchkin
