// What the simulation needs from the desktop: the screen, its surfaces, the pointer and the
// user's activity. One implementation per desktop (fake, X11, Win32).
#pragma once

#include "crowd/buddy.h"

#include <memory>
#include <optional>
#include <vector>

namespace perchkin {

struct ScreenRect {
  double left = 0.0, top = 0.0, right = 1920.0, bottom = 1080.0;
};

struct CursorPos {
  double x = 0.0, y = 0.0;
};

class Desktop {
 public:
  virtual ~Desktop() = default;
  virtual bool graphics() const = 0;
  virtual ScreenRect screen() = 0;
  virtual double display_scale() = 0;
  // Floors, taskbars and window ledges; `unit` sets the narrowest usable ledge.
  virtual std::vector<Support> scan_surfaces(const ScreenRect& screen, double unit) = 0;
  // A failed read counts as (0, 0).
  virtual CursorPos cursor() = 0;
  virtual double idle_seconds() = 0;
  virtual int local_hour() = 0;
};

// The fake desktop: one 1920 x 1080 screen at scale 1 with a single floor, no windows.
// Tests may change its cursor, windows, idle time and hour.
class FakeDesktop final : public Desktop {
 public:
  ScreenRect rect;
  CursorPos pointer;
  std::vector<Support> windows;  // extra ledges a test sets
  double idle = 0.0;
  std::optional<int> hour;  // the real local hour when unset

  bool graphics() const override { return false; }
  ScreenRect screen() override { return rect; }
  double display_scale() override { return 1.0; }
  std::vector<Support> scan_surfaces(const ScreenRect& screen, double unit) override;
  CursorPos cursor() override { return pointer; }
  double idle_seconds() override { return idle; }
  int local_hour() override;
};

// The hour of the local wall clock (0-23).
int current_local_hour();

}  // namespace perchkin
