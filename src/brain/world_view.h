// The read-only view of the desktop the simulation gets each tick, and the look-ups over it.
#pragma once

#include "crowd/buddy.h"
#include "crowd/crew.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <unordered_map>
#include <vector>

namespace perchkin {

inline constexpr std::uint32_t kNoPlatform = std::numeric_limits<std::uint32_t>::max();

// One grounded buddy in the x index: its feet x and its place in WorldView::buddies.
struct BuddyXKey {
  double x = 0.0;
  std::uint32_t summary = 0;
};

struct WorldView {
  double left = 0.0, top = 0.0, right = 1920.0, bottom = 1080.0;
  double cursor_x = 0.0, cursor_y = 0.0;
  double now = 0.0;           // simulation clock
  double idle_seconds = 0.0;  // since the user's last input
  int local_hour = 12;
  std::uint32_t keystrokes = 0;  // counter, only ever grows
  bool graphics = false;
  bool collide = true;  // whether buddies are platforms and push each other this tick

  // Every platform of the tick: the desktop and drawn surfaces first ([0, surface_count)), then
  // one per grounded buddy while `collide` is on, in the order of `grounded_by_x`.
  std::vector<Support> platforms;
  std::size_t surface_count = 0;
  // Desktop and drawn surfaces by id. Buddy platforms are found through `buddies` instead, so a
  // buddy's complemented id can never be mistaken for a drawn platform's id.
  std::unordered_map<std::int64_t, std::uint32_t> surface_by_id;
  // Surface indices sorted by the centre of their extent, with those centres and the largest
  // half width: the surfaces meeting [a, b] have centres within [a - half, b + half].
  std::vector<std::uint32_t> surface_by_x;
  std::vector<double> surface_x_keys;
  double max_half_width = 0.0;

  std::vector<BuddySummary> buddies;          // sorted by id
  std::vector<SurfaceKind> buddy_support_kind;  // parallel to `buddies`
  std::vector<std::uint32_t> buddy_platform;  // parallel to `buddies`: index into platforms
  // Grounded buddies (ceiling ones included) sorted by x, and the largest unit among them.
  std::vector<BuddyXKey> grounded_by_x;
  double max_grounded_unit = 1.0;
  // Feet x of the buddy platforms, parallel to platforms[surface_count, end): a search near x
  // reads one run of platforms instead of a record per grounded buddy.
  std::vector<double> buddy_platform_x;
  // Scratch for rebuilding the x index from last tick's order (crew size it was built for).
  std::vector<std::uint8_t> x_index_marks;
  std::size_t x_index_crew_size = 0;
  // Carrier platform id -> id of a buddy standing on it (the last one in id order).
  std::unordered_map<std::int64_t, std::uint32_t> stands_on;
};

// The summary of buddy `id`, or null.
inline const BuddySummary* find_buddy(const WorldView& view, std::uint32_t id) {
  const std::vector<BuddySummary>& all = view.buddies;
  if (all.empty()) return nullptr;
  // Ids are handed out in order and seldom removed, so an id usually sits at its distance from
  // the first; a search in a large crew costs a cache miss per step.
  const std::uint32_t first = all.front().id;
  if (id >= first && id - first < all.size() && all[id - first].id == id) return &all[id - first];
  const auto it = std::lower_bound(all.begin(), all.end(), id,
                                   [](const BuddySummary& s, std::uint32_t v) { return s.id < v; });
  return it != all.end() && it->id == id ? &*it : nullptr;
}

inline std::size_t summary_index(const WorldView& view, const BuddySummary& s) {
  return static_cast<std::size_t>(&s - view.buddies.data());
}

// The platform with this id and kind in this tick's table, or null.
const Support* find_platform(const WorldView& view, std::int64_t id, SurfaceKind kind);

// Calls fn(const Support&) for every desktop or drawn surface whose [left, right] meets [x0, x1].
template <typename Fn>
void for_each_surface_near(const WorldView& view, double x0, double x1, Fn&& fn) {
  const double lo = x0 - view.max_half_width, hi = x1 + view.max_half_width;
  auto it = std::lower_bound(view.surface_x_keys.begin(), view.surface_x_keys.end(), lo);
  for (; it != view.surface_x_keys.end() && *it <= hi; ++it) {
    const Support& p =
        view.platforms[view.surface_by_x[static_cast<std::size_t>(it - view.surface_x_keys.begin())]];
    if (p.left <= x1 && p.right >= x0) fn(p);
  }
}

// Calls fn(const Support&) for every platform whose [left, right] meets [x0, x1]: surfaces first,
// then buddies by x.
template <typename Fn>
void for_each_platform_near(const WorldView& view, double x0, double x1, Fn&& fn) {
  for_each_surface_near(view, x0, x1, fn);
  const double half = 6.0 * view.max_grounded_unit;
  const std::vector<double>& keys = view.buddy_platform_x;
  auto it = std::lower_bound(keys.begin(), keys.end(), x0 - half);
  const Support* p = view.platforms.data() + view.surface_count + (it - keys.begin());
  for (; it != keys.end() && *it <= x1 + half; ++it, ++p)
    if (p->left <= x1 && p->right >= x0) fn(*p);
}

// Calls fn(const BuddySummary&) for every grounded buddy whose feet x lies in [x0, x1].
template <typename Fn>
void for_each_grounded_near(const WorldView& view, double x0, double x1, Fn&& fn) {
  auto it = std::lower_bound(view.grounded_by_x.begin(), view.grounded_by_x.end(), x0,
                             [](const BuddyXKey& k, double v) { return k.x < v; });
  for (; it != view.grounded_by_x.end() && it->x <= x1; ++it) fn(view.buddies[it->summary]);
}

// The id of a buddy standing on the buddy `carrier_id`, if any.
inline std::optional<std::uint32_t> rider_of(const WorldView& view, std::uint32_t carrier_id) {
  const auto it = view.stands_on.find(buddy_platform_id(carrier_id));
  if (it == view.stands_on.end()) return std::nullopt;
  return it->second;
}

}  // namespace perchkin
