// How buddies meet each other: who may stand on whom, who blocks a walker, and the crowd's
// push-apart pass once per tick.
#include "brain/physics.h"

#include "crowd/body.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace perchkin {

namespace {

constexpr double kDt = kTick;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kClimbHop = 22.0;  // units: a squeezed buddy's hop onto a platform above

int facing_of(const Buddy& b) { return b.facing < 0 ? -1 : 1; }

}  // namespace

bool may_stand_on(std::uint32_t buddy_id, std::int64_t platform_id, SurfaceKind kind,
                  const WorldView& view) {
  if (kind != SurfaceKind::buddy) return true;
  if (platform_id >= 0 || platform_id < -(std::int64_t{1} << 32)) return true;
  const auto carrier = static_cast<std::uint32_t>(~platform_id);
  if (carrier == buddy_id) return false;
  const BuddySummary* c = find_buddy(view, carrier);
  if (!c) return true;
  return !(view.buddy_support_kind[summary_index(view, *c)] == SurfaceKind::buddy &&
           c->support_id == buddy_platform_id(buddy_id));
}

double blocker_distance(const Buddy& b, const WorldView& view, const BuddySummary** blocker,
                        double horizon) {
  if (blocker) *blocker = nullptr;
  if (!view.collide || !b.support || !is_grounded(b.mode)) return kInf;
  const Support& s = *b.support;
  const int f = facing_of(b);
  const double reach = std::isfinite(horizon)
                           ? std::max(horizon, 0.0) + kPushReach * (b.unit + view.max_grounded_unit)
                           : kInf;
  const double x0 = f > 0 ? b.x : b.x - reach;
  const double x1 = f > 0 ? b.x + reach : b.x;
  double best = kInf;
  for_each_grounded_near(view, x0, x1, [&](const BuddySummary& o) {
    if (o.id == b.id || !o.standing || (o.x - b.x) * f <= 0.0) return;
    const bool same = (o.support_id == s.id &&
                       view.buddy_support_kind[summary_index(view, o)] == s.kind) ||
                      std::abs(o.support_top - s.top) <= 1.0;
    if (!same) return;
    const double free = (o.x - b.x) * f - kPushReach * (o.unit + b.unit);
    if (free > 0.0 && free < best) {
      best = free;
      if (blocker) *blocker = &o;
    }
  });
  return best;
}

namespace {

// What the sweep needs of each buddy, packed so that neither the scan over neighbours nor the
// pushes touch the large buddy records; moved positions are written back at the end.
struct CrowdEntry {
  double x = 0.0;
  double y = 0.0;
  double unit = 1.0;
  double lo = 0.0, hi = 0.0;  // where shift_x may move it
  std::int64_t carrier = 0;   // platform id of the buddy it rides, or 0
  std::uint32_t index = 0;
  std::uint32_t id = 0;
  bool movable = true;
  bool pressed = false;
  bool moved = false;
};

std::int64_t total_order_key(double v) {
  const auto bits = std::bit_cast<std::int64_t>(v);
  return bits ^ static_cast<std::int64_t>(static_cast<std::uint64_t>(bits >> 63) >> 1);
}

CrowdEntry crowd_entry(const Buddy& b, std::uint32_t index, const WorldView& view) {
  CrowdEntry e;
  e.x = b.x;
  e.y = b.y;
  e.unit = b.unit;
  e.index = index;
  e.id = b.id;
  e.movable = !(b.mode == BuddyMode::hop || b.mode == BuddyMode::held || b.mode == BuddyMode::drawing);
  shift_range(b, view.left, view.right, e.lo, e.hi);
  if (b.support && b.support->kind == SurfaceKind::buddy) e.carrier = b.support->id;
  return e;
}

double shift_entry(CrowdEntry& e, double dx) {
  if (!e.movable) return 0.0;
  const double moved = shift_within(e.x, dx, e.lo, e.hi);
  e.moved = e.moved || moved != 0.0;
  return moved;
}

// Whether a pair touches at all: within reach, neither riding the other, bodies overlapping
// vertically.
bool pair_touches(const CrowdEntry& a, const CrowdEntry& b) {
  return std::abs(b.x - a.x) <= kPushReach * (a.unit + b.unit) &&
         a.y > b.y - kContactHeight * b.unit && b.y > a.y - kContactHeight * a.unit &&
         a.carrier != buddy_platform_id(b.id) && b.carrier != buddy_platform_id(a.id);
}

// Pushes a touching pair apart and marks a squeezed one as pressed.
void push_pair(CrowdEntry& a, CrowdEntry& b) {
  const double reach = kPushReach * (a.unit + b.unit);
  const double dx = b.x - a.x;
  const double overlap = reach - std::abs(dx);
  if (overlap > 0.2 * reach) a.pressed = b.pressed = true;
  const double push = std::min(overlap, (30.0 * std::min(a.unit, b.unit) + 10.0 * overlap) * kDt);
  if (!(push > 0.0)) return;
  const double dir = b.x >= a.x ? 1.0 : -1.0;
  const double ma = shift_entry(a, -dir * push / 2.0);
  const double mb = shift_entry(b, dir * push / 2.0);
  const double rest = push - (-dir * ma + dir * mb);
  if (rest <= 1e-9) return;
  const double again = shift_entry(a, -dir * rest);
  const double left = rest + dir * again;
  if (left > 1e-9) shift_entry(b, dir * left);
}

// A buddy squeezed too long hops onto the nearest platform above its feet.
void climb_out(Buddy& b, const WorldView& view) {
  const double u = b.unit;
  const Support* best = nullptr;
  double best_score = kInf;
  const double reach = kPlatformReach * u;
  for_each_platform_near(view, b.x - reach, b.x + reach, [&](const Support& p) {
    if (!(p.top < b.y) || !may_stand_on(b.id, p.id, p.kind, view)) return;
    const double score = std::abs(0.5 * (p.left + p.right) - b.x) + 2.0 * (b.y - p.top);
    if (score < best_score) {
      best_score = score;
      best = &p;
    }
  });
  if (!best) return;
  const double cx = 0.5 * (best->left + best->right);
  if (cx != b.x) b.facing = cx > b.x ? 1 : -1;
  b.press_time = 0.0;
  b.walk_target.reset();
  hop(b, cx, best->top, kClimbHop * u, 0.5, 0.0, *best);
}

// Every pair (a, b) with a before b in x order, scanning b while b.x - a.x < window, with the
// positions as the pushes leave them.
void sweep_plain(std::vector<CrowdEntry>& e, double window) {
  for (std::size_t i = 0; i < e.size(); ++i) {
    for (std::size_t j = i + 1; j < e.size(); ++j) {
      if (!(e[j].x - e[i].x < window)) break;
      if (e[i].id != e[j].id && pair_touches(e[i], e[j])) push_pair(e[i], e[j]);
    }
  }
}

// The same pairs in the same order as sweep_plain, visiting only neighbours whose bodies may
// overlap vertically. Dense crowds stack into columns where most neighbours within the window
// stand far above or below, and the plain scan spends its time rejecting them.
//
// Buddies are binned into horizontal bands 8 x the largest unit tall, so a pair can only act
// when the bands are adjacent; y never changes during the sweep. The plain scan would stop at
// the first neighbour past the window, pushed positions included; each run of 8 entries keeps a
// bound on its largest x (its largest start, raised by every push), so whole runs that cannot
// reach the window edge are passed over at once.
void sweep_banded(std::vector<CrowdEntry>& e, double window, double max_unit) {
  const std::size_t n = e.size();
  const double band_height = kContactHeight * max_unit * (1.0 + 1e-6);
  std::vector<double> x0(n);
  std::vector<std::int64_t> band(n);
  for (std::size_t p = 0; p < n; ++p) {
    x0[p] = e[p].x;
    band[p] = static_cast<std::int64_t>(std::floor(e[p].y / band_height));
  }
  // Bands by value, then each band's positions in increasing order (a counting sort). Bands
  // usually span a screen height, so values are offsets from the lowest unless they spread wide.
  const auto [lo_band, hi_band] = std::minmax_element(band.begin(), band.end());
  const bool dense = n > 0 && static_cast<std::uint64_t>(*hi_band - *lo_band) < 4 * n + 64;
  std::vector<std::int64_t> values;
  if (dense) {
    values.resize(static_cast<std::size_t>(*hi_band - *lo_band) + 1);
    for (std::size_t b = 0; b < values.size(); ++b)
      values[b] = *lo_band + static_cast<std::int64_t>(b);
  } else {
    values = band;
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
  }
  const std::size_t bands = values.size();
  std::vector<std::uint32_t> band_of(n);
  std::vector<std::uint32_t> start(bands + 1, 0);
  for (std::size_t p = 0; p < n; ++p) {
    const auto at = dense ? band[p] - values.front()
                          : std::lower_bound(values.begin(), values.end(), band[p]) -
                                values.begin();
    band_of[p] = static_cast<std::uint32_t>(at);
    ++start[band_of[p] + 1];
  }
  for (std::size_t b = 0; b < bands; ++b) start[b + 1] += start[b];
  std::vector<std::uint32_t> members(n);
  std::vector<std::uint32_t> cursor(start.begin(), start.end() - 1);
  for (std::size_t p = 0; p < n; ++p) members[cursor[band_of[p]]++] = static_cast<std::uint32_t>(p);
  // cursor[b]: the first member of band b not yet passed by the outer loop.
  std::copy(start.begin(), start.end() - 1, cursor.begin());

  constexpr std::size_t kRun = 8;
  std::vector<double> run_max((n + kRun - 1) / kRun);
  for (std::size_t r = 0; r < run_max.size(); ++r) run_max[r] = x0[std::min(n, (r + 1) * kRun) - 1];
  // Does the plain scan of i's neighbours stop somewhere in [from, to]?
  const auto stops_within = [&](std::size_t i, std::size_t from, std::size_t to) {
    const double limit = e[i].x + window;
    for (std::size_t j = from; j <= to;) {
      const std::size_t r = j / kRun;
      const std::size_t run_end = std::min((r + 1) * kRun - 1, to);
      // The margin keeps the bound honest against rounding in x - a.x.
      if (run_max[r] + 1e-9 * (std::abs(limit) + std::abs(run_max[r]) + 1.0) < limit) {
        j = run_end + 1;
        continue;
      }
      for (; j <= run_end; ++j)
        if (!(e[j].x - e[i].x < window)) return true;
    }
    return false;
  };
  constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t own = band_of[i];
    // Up to three lists: the band below, its own, the band above, each from the first member
    // after i.
    std::uint32_t head[3], end[3];
    int lists = 0;
    for (std::uint32_t b : {own - 1, own, own + 1}) {
      if (b >= bands || (b != own && values[b] - band[i] != (b < own ? -1 : 1))) continue;
      std::uint32_t c = cursor[b];
      while (c < start[b + 1] && members[c] <= i) ++c;
      cursor[b] = c;
      head[lists] = c;
      end[lists] = start[b + 1];
      ++lists;
    }
    std::size_t prev = i;
    for (;;) {
      std::uint32_t q = kNone;
      int from = -1;
      for (int l = 0; l < lists; ++l) {
        if (head[l] < end[l] && members[head[l]] < q) {
          q = members[head[l]];
          from = l;
        }
      }
      if (from < 0) break;
      ++head[from];
      // The plain scan stops at q if not before; a pair that does not touch changes nothing,
      // so only a touching one needs to know whether the scan would have reached it.
      if (!(e[q].x - e[i].x < window)) break;
      if (e[i].id == e[q].id || !pair_touches(e[i], e[q])) continue;
      if (stops_within(i, prev + 1, q)) break;
      prev = q;
      push_pair(e[i], e[q]);
      run_max[i / kRun] = std::max(run_max[i / kRun], e[i].x);
      run_max[q / kRun] = std::max(run_max[q / kRun], e[q].x);
    }
  }
}

}  // namespace

void collide_crew(Crew& crew, const WorldView& view, CrowdSweep sweep) {
  auto& all = crew.buddies;
  if (!crew.world.w.collide) {
    for (Buddy& b : all) b.press_time = 0.0;
    return;
  }
  // The order of Crew::by_x: by x, equal x in crew order. Sorting small keys and packing the
  // entries afterwards beats moving the entries around.
  std::vector<std::pair<std::int64_t, std::uint32_t>> order(all.size());
  for (std::size_t i = 0; i < all.size(); ++i)
    order[i] = {total_order_key(all[i].x), static_cast<std::uint32_t>(i)};
  std::sort(order.begin(), order.end());
  std::vector<CrowdEntry> e(all.size());
  double max_unit = 1.0;
  bool tame = true;  // positions the banded sweep's arithmetic is exact enough for
  for (std::size_t k = 0; k < order.size(); ++k) {
    const Buddy& b = all[order[k].second];
    e[k] = crowd_entry(b, order[k].second, view);
    if (std::isfinite(b.unit)) max_unit = std::max(max_unit, b.unit);
    tame = tame && std::abs(e[k].x) < 1e9 && std::abs(e[k].y) < 1e9 && e[k].unit > 0.0 &&
           e[k].unit <= 1e6;
  }
  const double window = 2.0 * kPushReach * max_unit;
  if (sweep == CrowdSweep::banded && tame)
    sweep_banded(e, window, max_unit);
  else
    sweep_plain(e, window);
  for (const CrowdEntry& c : e) {
    Buddy& b = all[c.index];
    if (c.moved) b.x = c.x;
    b.pressed = c.pressed;
    b.press_time = c.pressed ? b.press_time + kDt : std::max(b.press_time - 2.0 * kDt, 0.0);
    const bool can_climb = b.mode == BuddyMode::idle || b.mode == BuddyMode::walk ||
                           b.mode == BuddyMode::sit;
    if (b.press_time > 0.6 && can_climb && b.support && b.support->kind != SurfaceKind::ceiling)
      climb_out(b, view);
  }
}

}  // namespace perchkin
