#include "win/surfaces.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace perchkin {

namespace {

struct FloorRun {
  double left, right, bottom;
};

std::vector<FloorRun> floor_runs(std::vector<ScreenRect> areas) {
  if (areas.size() >= 2)
    std::sort(areas.begin(), areas.end(), [](const ScreenRect& a, const ScreenRect& b) {
      return std::tie(a.left, a.right, a.bottom) < std::tie(b.left, b.right, b.bottom);
    });
  std::vector<FloorRun> runs;
  for (const ScreenRect& a : areas) {
    auto joined = std::find_if(runs.begin(), runs.end(), [&](const FloorRun& r) {
      return r.bottom == a.bottom && r.right == a.left;
    });
    if (joined != runs.end())
      joined->right = a.right;
    else
      runs.push_back({a.left, a.right, a.bottom});
  }
  return runs;
}

bool is_candidate(const DesktopWindow& w, const ScreenRect& screen, double scale) {
  if (!w.visible || w.minimised) return false;
  const double top = std::trunc(w.frame.top);
  if (top < std::trunc(screen.top + 70.0 * scale) || top > std::trunc(screen.bottom)) return false;
  switch (w.role) {
    case WindowRole::desktop: return false;
    case WindowRole::taskbar: return true;
    case WindowRole::tool: return false;
    case WindowRole::normal: break;
  }
  return w.titled && !w.cloaked && w.frame.right - w.frame.left >= 160.0 &&
         w.frame.bottom - w.frame.top >= 60.0;
}

}  // namespace

std::vector<Support> scan_surfaces(Desktop& desktop, const ScreenRect& screen, double scale,
                                   double unit, bool graphics) {
  std::vector<Support> out;
  if (!graphics) {
    out.push_back(Support{0, screen.left, screen.right, screen.bottom, SurfaceKind::floor, {}});
    return out;
  }
  std::int64_t index = 0;
  for (const FloorRun& r : floor_runs(desktop.work_areas()))
    out.push_back(Support{index++, std::max(r.left, screen.left), std::min(r.right, screen.right),
                          r.bottom, SurfaceKind::floor, {}});
  const std::size_t floors = out.size();
  const double min_width = 40.0 * unit;
  for (const DesktopWindow& w : desktop.windows()) {
    if (!is_candidate(w, screen, scale)) continue;
    Support s{w.id, std::max(w.frame.left, screen.left), std::min(w.frame.right, screen.right),
              w.frame.top, SurfaceKind::window, {}};
    if (w.role == WindowRole::taskbar) {
      // A taskbar along a monitor's bottom is already that monitor's floor line.
      const bool on_floor = std::any_of(out.begin(), out.begin() + static_cast<long>(floors),
                                        [&](const Support& f) {
                                          return std::abs(s.top - f.top) <= 6.0 * scale &&
                                                 f.left < s.right && f.right > s.left;
                                        });
      if (on_floor) continue;
      s.kind = SurfaceKind::taskbar;
    }
    if (s.right - s.left >= min_width) out.push_back(s);
  }
  return out;
}

}  // namespace perchkin
