#include "win/wm_rules.h"

#include <algorithm>
#include <cmath>

namespace perchkin {

namespace {

constexpr long kAbsurdExtent = 1000;
constexpr long kAllDesktops = 0xFFFFFFFFL;

double overlap_area(const ScreenRect& a, const ScreenRect& b) {
  const double w = std::min(a.right, b.right) - std::max(a.left, b.left);
  const double h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
  return w > 0.0 && h > 0.0 ? w * h : 0.0;
}

bool spans(double start, double end, double lo, double hi) {
  // A strut's range is inclusive; a zero range means the whole edge.
  if (start == 0.0 && end == 0.0) return true;
  return start < hi && end >= lo;
}

bool sane_extents(const std::vector<long>& e) {
  return e.size() == 4 && std::all_of(e.begin(), e.end(), [](long v) {
           return v >= 0 && v <= kAbsurdExtent;
         });
}

}  // namespace

ScreenRect frame_rect(const WmClient& c) {
  ScreenRect r = c.client;
  if (const std::vector<long>& g = c.gtk_frame_extents; sane_extents(g)) {
    const auto d = [&](std::size_t i) { return static_cast<double>(g[i]); };
    const ScreenRect inner{r.left + d(0), r.top + d(2), r.right - d(1), r.bottom - d(3)};
    if (inner.right > inner.left && inner.bottom > inner.top) r = inner;
  }
  if (!sane_extents(c.frame_extents)) return r;
  r.left -= static_cast<double>(c.frame_extents[0]);
  r.right += static_cast<double>(c.frame_extents[1]);
  r.top -= static_cast<double>(c.frame_extents[2]);
  r.bottom += static_cast<double>(c.frame_extents[3]);
  return r;
}

DesktopWindow desktop_window(const WmClient& c, std::optional<long> current_desktop) {
  DesktopWindow w;
  w.id = c.id < 0 ? 0 : c.id;
  w.frame = frame_rect(c);
  switch (c.type) {
    case WmType::normal: w.role = WindowRole::normal; break;
    case WmType::dock: w.role = WindowRole::taskbar; break;
    case WmType::desktop: w.role = WindowRole::desktop; break;
    case WmType::tool: w.role = WindowRole::tool; break;
  }
  w.minimised = c.hidden;
  w.visible = c.mapped || c.hidden;
  const bool everywhere = !c.desktop || *c.desktop == kAllDesktops || *c.desktop == -1;
  w.cloaked = !everywhere && current_desktop && *c.desktop != *current_desktop;
  // A window manager unmaps the windows of other desktops; they are cloaked, not invisible.
  if (w.cloaked) w.visible = true;
  w.titled = c.titled;
  return w;
}

std::vector<ScreenRect> work_areas(std::span<const ScreenRect> monitors,
                                   std::span<const std::vector<long>> struts, double root_width,
                                   double root_height) {
  std::vector<ScreenRect> out;
  for (const ScreenRect& m : monitors) {
    ScreenRect a = m;
    for (const std::vector<long>& raw : struts) {
      if (raw.size() != 12 && raw.size() != 4) continue;
      long v[12] = {};
      std::copy(raw.begin(), raw.end(), v);
      bool bad = false;
      for (long x : raw) bad = bad || x < 0;
      if (bad) continue;
      const auto d = [&](int i) { return static_cast<double>(v[i]); };
      const bool partial = raw.size() == 12;
      if (v[0] > 0 && (!partial || spans(d(4), d(5), m.top, m.bottom)))
        a.left = std::max(a.left, d(0));
      if (v[1] > 0 && (!partial || spans(d(6), d(7), m.top, m.bottom)))
        a.right = std::min(a.right, root_width - d(1));
      if (v[2] > 0 && (!partial || spans(d(8), d(9), m.left, m.right)))
        a.top = std::max(a.top, d(2));
      if (v[3] > 0 && (!partial || spans(d(10), d(11), m.left, m.right)))
        a.bottom = std::min(a.bottom, root_height - d(3));
    }
    // A strut from another monitor's edge may reach past this one entirely.
    if (a.right - a.left < 1.0 || a.bottom - a.top < 1.0) a = m;
    out.push_back(a);
  }
  return out;
}

PointOwner cover_at(std::span<const DesktopWindow> front_to_back,
                    std::span<const ScreenRect> own, double x, double y) {
  for (const ScreenRect& r : own)
    if (contains(r, x, y)) return PointOwner{true, 0};
  for (const DesktopWindow& w : front_to_back) {
    if (!w.visible || w.minimised || w.cloaked) continue;
    if (contains(w.frame, x, y)) return PointOwner{false, w.id};
  }
  return PointOwner{};
}

bool covers_a_monitor(const ScreenRect& r, std::span<const ScreenRect> monitors) {
  return std::any_of(monitors.begin(), monitors.end(), [&](const ScreenRect& m) {
    return r.left <= m.left && r.top <= m.top && r.right >= m.right && r.bottom >= m.bottom;
  });
}

bool fullscreen_decision(const WmClient* active, bool active_is_own,
                         std::span<const ScreenRect> monitors) {
  if (!active || active_is_own) return false;
  if (active->type == WmType::dock || active->type == WmType::desktop) return false;
  if (active->hidden || !active->mapped) return false;
  if (active->fullscreen) return true;
  if (active->maximised) return false;
  const ScreenRect f = frame_rect(*active);
  const ScreenRect* best = nullptr;
  double best_area = 0.0;
  for (const ScreenRect& m : monitors) {
    const double area = overlap_area(f, m);
    if (area > best_area) {
      best_area = area;
      best = &m;
    }
  }
  if (!best) return false;
  return f.left <= best->left && f.top <= best->top && f.right >= best->right &&
         f.bottom >= best->bottom;
}

}  // namespace perchkin
