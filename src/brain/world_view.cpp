#include "brain/physics.h"
#include "brain/world_view.h"

#include <algorithm>
#include <cmath>

namespace perchkin {

namespace {

bool usable(const Support& s) {
  return std::isfinite(s.left) && std::isfinite(s.right) && std::isfinite(s.top) && s.left <= s.right;
}

// How high a buddy's back stands above its feet, in units, when another stands on it.
double back_height(BuddyMode m) {
  return m == BuddyMode::sit || m == BuddyMode::sleep || m == BuddyMode::type ? 6.0 : 8.0;
}

// The x index of grounded buddies. Buddies move little between ticks, so last tick's order,
// refreshed, is nearly sorted and an insertion sort finishes it in about linear time; when the
// crew changed, or the order is badly shuffled, a full sort is cheaper.
void rebuild_x_index(WorldView& view, std::size_t grounded_count) {
  std::vector<BuddyXKey>& g = view.grounded_by_x;
  std::vector<std::uint8_t>& mark = view.x_index_marks;
  const std::size_t n = view.buddies.size();
  const auto less = [](const BuddyXKey& a, const BuddyXKey& b) {
    return a.x < b.x || (a.x == b.x && a.summary < b.summary);
  };
  const bool reuse = view.x_index_crew_size == n;
  view.x_index_crew_size = n;
  std::size_t kept = 0;
  if (reuse) {
    for (const BuddyXKey& k : g) {
      if (k.summary >= n || mark[k.summary] != 1) continue;
      mark[k.summary] = 2;
      g[kept++] = {view.buddies[k.summary].x, k.summary};
    }
  }
  g.resize(kept);
  g.reserve(grounded_count);
  for (std::size_t k = 0; k < n; ++k)
    if (mark[k] == 1) g.push_back({view.buddies[k].x, static_cast<std::uint32_t>(k)});
  if (reuse) {
    std::size_t budget = 8 * g.size() + 64;
    for (std::size_t i = 1; i < g.size() && budget > 0; ++i) {
      const BuddyXKey v = g[i];
      std::size_t j = i;
      while (j > 0 && less(v, g[j - 1]) && budget > 0) {
        g[j] = g[j - 1];
        --j;
        --budget;
      }
      g[j] = v;
    }
    if (budget > 0) return;
  }
  std::sort(g.begin(), g.end(), less);
}

}  // namespace

const Support* find_platform(const WorldView& view, std::int64_t id, SurfaceKind kind) {
  if (kind == SurfaceKind::buddy) {
    // Buddy platforms carry the complement of a 32-bit id: -1 down to -2^32.
    if (id >= 0 || id < -(std::int64_t{1} << 32)) return nullptr;
    const BuddySummary* s = find_buddy(view, static_cast<std::uint32_t>(~id));
    if (!s) return nullptr;
    const std::uint32_t pi = view.buddy_platform[summary_index(view, *s)];
    return pi == kNoPlatform ? nullptr : &view.platforms[pi];
  }
  const auto it = view.surface_by_id.find(id);
  if (it == view.surface_by_id.end()) return nullptr;
  const Support& p = view.platforms[it->second];
  return p.kind == kind ? &p : nullptr;
}

void build_world_view(WorldView& view, const Crew& crew, std::span<const Support> surfaces,
                      double left, double top, double right, double bottom, double cursor_x,
                      double cursor_y) {
  view.left = left;
  view.top = top;
  view.right = right;
  view.bottom = bottom;
  view.cursor_x = cursor_x;
  view.cursor_y = cursor_y;
  view.collide = crew.world.w.collide;

  // Desktop and drawn surfaces, with their id and x indices.
  view.platforms.clear();
  view.surface_by_id.clear();
  view.max_half_width = 0.0;
  for (const Support& s : surfaces) {
    if (!usable(s)) continue;
    const auto index = static_cast<std::uint32_t>(view.platforms.size());
    if (!view.surface_by_id.emplace(s.id, index).second) continue;  // the first of an id wins
    view.platforms.push_back(s);
    view.max_half_width = std::max(view.max_half_width, 0.5 * (s.right - s.left));
  }
  view.surface_count = view.platforms.size();
  view.surface_by_x.resize(view.surface_count);
  for (std::size_t i = 0; i < view.surface_count; ++i) view.surface_by_x[i] = static_cast<std::uint32_t>(i);
  const auto centre = [&](std::uint32_t i) {
    return 0.5 * (view.platforms[i].left + view.platforms[i].right);
  };
  std::stable_sort(view.surface_by_x.begin(), view.surface_by_x.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return centre(a) < centre(b); });
  view.surface_x_keys.resize(view.surface_count);
  for (std::size_t i = 0; i < view.surface_count; ++i) view.surface_x_keys[i] = centre(view.surface_by_x[i]);

  // Per-buddy summaries in id order. The crew keeps insertion order and ids only grow, so the
  // sort is almost always skipped.
  const std::size_t n = crew.buddies.size();
  view.buddies.resize(n);
  view.buddy_support_kind.resize(n);
  std::vector<std::uint32_t> order;
  bool sorted = true;
  for (std::size_t i = 1; i < n && sorted; ++i) sorted = crew.buddies[i - 1].id < crew.buddies[i].id;
  if (!sorted) {
    order.reserve(n);
    for (std::size_t i = 0; i < n; ++i) order.push_back(static_cast<std::uint32_t>(i));
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      return crew.buddies[a].id < crew.buddies[b].id;
    });
  }
  for (std::size_t k = 0; k < n; ++k) {
    const Buddy& b = crew.buddies[sorted ? k : order[k]];
    view.buddies[k] = summarize(b);
    view.buddy_support_kind[k] = b.motion.support ? b.motion.support->kind : SurfaceKind::none;
  }

  // Grounded buddies: their platforms while collide is on, and who rides whom.
  view.buddy_platform.assign(n, kNoPlatform);
  view.stands_on.clear();
  view.max_grounded_unit = 1.0;
  std::vector<std::uint8_t>& grounded = view.x_index_marks;  // 1 grounded, 2 already indexed
  grounded.assign(n, 0);
  std::size_t grounded_count = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const BuddySummary& s = view.buddies[k];
    if (view.buddy_support_kind[k] == SurfaceKind::buddy) view.stands_on[s.support_id] = s.id;
    if (!is_grounded(s.mode) || !std::isfinite(s.x) || !std::isfinite(s.y)) continue;
    grounded[k] = 1;
    ++grounded_count;
    view.max_grounded_unit = std::max(view.max_grounded_unit, s.unit);
  }
  rebuild_x_index(view, grounded_count);
  // Their platforms, in x order.
  view.buddy_platform_x.clear();
  if (!view.collide) return;
  for (const BuddyXKey& key : view.grounded_by_x) {
    const std::uint32_t k = key.summary;
    if (view.buddy_support_kind[k] == SurfaceKind::ceiling) continue;
    const BuddySummary& s = view.buddies[k];
    view.buddy_platform[k] = static_cast<std::uint32_t>(view.platforms.size());
    Support p;
    p.id = buddy_platform_id(s.id);
    p.left = s.x - 6.0 * s.unit;
    p.right = s.x + 6.0 * s.unit;
    p.top = s.y - back_height(s.mode) * s.unit;
    p.kind = SurfaceKind::buddy;
    view.platforms.push_back(p);
    view.buddy_platform_x.push_back(s.x);
  }
}

}  // namespace perchkin
