// How buddies meet each other: who may stand on whom, who blocks a walker, and the crowd's
// push-apart pass once per tick.
#include "brain/physics.h"

#include "brain/crowd_push.h"
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

using crowd::Mark;
using crowd::PairRule;
using crowd::Range;
using crowd::pair_rule;
using crowd::push_bodies;

int facing_of(const Buddy& b) { return b.motion.facing < 0 ? -1 : 1; }

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
  if (!view.collide || !b.motion.support || !is_grounded(b.motion.mode)) return kInf;
  const Support& s = *b.motion.support;
  const int f = facing_of(b);
  const double reach =
      std::isfinite(horizon)
          ? std::max(horizon, 0.0) + kPushReach * (b.motion.unit + view.max_grounded_unit)
          : kInf;
  const double x0 = f > 0 ? b.motion.x : b.motion.x - reach;
  const double x1 = f > 0 ? b.motion.x + reach : b.motion.x;
  double best = kInf;
  for_each_grounded_near(view, x0, x1, [&](const BuddySummary& o) {
    if (o.id == b.id || !o.standing || (o.x - b.motion.x) * f <= 0.0) return;
    const bool same = (o.support_id == s.id &&
                       view.buddy_support_kind[summary_index(view, o)] == s.kind) ||
                      std::abs(o.support_top - s.top) <= 1.0;
    if (!same) return;
    const double free = (o.x - b.motion.x) * f - kPushReach * (o.unit + b.motion.unit);
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
  e.x = b.motion.x;
  e.y = b.motion.y;
  e.unit = b.motion.unit;
  e.index = index;
  e.id = b.id;
  e.movable = !(b.motion.mode == BuddyMode::hop || b.motion.mode == BuddyMode::held ||
                b.motion.mode == BuddyMode::drawing);
  shift_range(b, view.left, view.right, e.lo, e.hi);
  if (b.motion.support && b.motion.support->kind == SurfaceKind::buddy)
    e.carrier = b.motion.support->id;
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
  const double u = b.motion.unit;
  const Support* best = nullptr;
  double best_score = kInf;
  const double reach = kPlatformReach * u;
  for_each_platform_near(view, b.motion.x - reach, b.motion.x + reach, [&](const Support& p) {
    if (!(p.top < b.motion.y)) return;
    // Scored first: in a pile hundreds of buddies stand near, and asking who rides whom costs
    // a search for each.
    const double score =
        std::abs(0.5 * (p.left + p.right) - b.motion.x) + 2.0 * (b.motion.y - p.top);
    if (score < best_score && may_stand_on(b.id, p.id, p.kind, view)) {
      best_score = score;
      best = &p;
    }
  });
  if (!best) return;
  const double cx = 0.5 * (best->left + best->right);
  if (cx != b.motion.x) b.motion.facing = cx > b.motion.x ? 1 : -1;
  b.mind.press_time = 0.0;
  b.mind.walk_target.reset();
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

// Bands per contact height: thinner bands let fewer neighbours through that stand too far
// above or below, at the price of longer lists to build. Measured in a 10,000-buddy pile: 1
// visits 459k neighbours for 290k pushes, 3 visits 377k; more gains nothing.
constexpr std::int64_t kSlices = 3;

// What the banded sweep reads of a neighbour, in 32 bytes: the scan over a dense crowd touches
// little else, and most neighbours it meets are rejected on these alone.
struct Body {
  double x = 0.0;
  double y = 0.0;
  double head = 0.0;  // y minus the contact height: a body reaches no higher than this
  double unit = 1.0;
};

// The banded sweep's working set, in x order.
struct Sweep {
  std::vector<Body> body;
  std::vector<Range> range;
  std::vector<std::int64_t> carrier;
  std::vector<std::uint32_t> id;
  std::vector<Mark> pressed;
  // Whether the buddy rides another or shares its id: only pairs with such a buddy need the id
  // and rider checks. Few do, so most pairs skip them on one byte.
  std::vector<std::uint8_t> special;
  bool uniform = false;  // every unit equal: reaches and push rates are the same for every pair
  // No position ever gets further from 0 than this: the largest magnitude of a start or a
  // range end. Pushes keep a buddy between its start and its range.
  double extent = 0.0;
};

// The same pairs in the same order as sweep_plain, visiting only neighbours whose bodies may
// overlap vertically. Dense crowds stack into columns where most neighbours within the window
// stand far above or below, and the plain scan spends its time rejecting them.
//
// Buddies are binned into horizontal bands a kSlices-th of 8 x the largest unit tall, so a pair
// can only act when its bands are at most kSlices apart; y never changes during the sweep.
// Each band gets one list, in x order, of the members of the bands that near, so a buddy's
// candidates are the rest of its own band's list after it. The plain scan would stop at the first neighbour past
// the window, pushed positions included; each run of 8 entries keeps a bound on its largest x
// (its largest start, raised by every push), so whole runs that cannot reach the window edge
// are passed over at once.
template <bool kUniform, class OnPush>
void sweep_banded(Sweep& s, double window, double max_unit, OnPush&& on_push) {
  const std::size_t n = s.body.size();
  std::vector<Body>& body = s.body;
  const double band_height = kContactHeight * max_unit / kSlices * (1.0 + 1e-6);
  std::vector<std::int64_t> band(n);
  for (std::size_t p = 0; p < n; ++p)
    band[p] = static_cast<std::int64_t>(std::floor(body[p].y / band_height));
  // Bands by value. They usually span a screen height, so values are offsets from the lowest
  // unless they spread wide.
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
  std::vector<std::uint32_t> count(bands, 0);
  for (std::size_t p = 0; p < n; ++p) {
    const auto at = dense ? band[p] - values.front()
                          : std::lower_bound(values.begin(), values.end(), band[p]) -
                                values.begin();
    band_of[p] = static_cast<std::uint32_t>(at);
    ++count[band_of[p]];
  }
  // Bands lowest[b] to highest[b] lie within kSlices of band b, so their members may touch b's.
  std::vector<std::uint32_t> lowest(bands), highest(bands);
  for (std::size_t b = 0, lo = 0, hi = 0; b < bands; ++b) {
    while (values[b] - values[lo] > kSlices) ++lo;
    while (hi + 1 < bands && values[hi + 1] - values[b] <= kSlices) ++hi;
    lowest[b] = static_cast<std::uint32_t>(lo);
    highest[b] = static_cast<std::uint32_t>(hi);
  }
  std::vector<std::uint32_t> start(bands + 1, 0);
  for (std::size_t b = 0; b < bands; ++b) {
    std::uint32_t size = 0;
    for (std::uint32_t o = lowest[b]; o <= highest[b]; ++o) size += count[o];
    start[b + 1] = start[b] + size;
  }
  // Filled in x order, so every list comes out in x order.
  std::vector<std::uint32_t> list(start[bands]);
  std::vector<std::uint32_t> own_at(n);
  {
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
    for (std::size_t p = 0; p < n; ++p) {
      const std::uint32_t b = band_of[p];
      own_at[p] = fill[b];
      for (std::uint32_t o = lowest[b]; o <= highest[b]; ++o)
        list[fill[o]++] = static_cast<std::uint32_t>(p);
    }
  }

  constexpr std::size_t kRun = 8;
  std::vector<double> run_bound((n + kRun - 1) / kRun);
  for (std::size_t r = 0; r < run_bound.size(); ++r)
    run_bound[r] = body[std::min(n, (r + 1) * kRun) - 1].x;
  double* const run_max = run_bound.data();
  Body* const at = body.data();
  const Range* const range = s.range.data();
  const std::int64_t* const carrier = s.carrier.data();
  const std::uint32_t* const id = s.id.data();
  const std::uint8_t* const special = s.special.data();
  Mark* const pressed = s.pressed.data();
  // Below xi + inside, x - xi < window holds whatever the rounding in either expression: every
  // position lies within the extent, and the margin is far above the rounding of numbers that
  // large. An extent that is not finite leaves no such room, and every entry is checked.
  const double margin = 1e-9 * (3.0 * s.extent + 2.0 * window + 1.0);
  const double inside =
      std::isfinite(margin) ? window - margin : -std::numeric_limits<double>::infinity();
  const PairRule uniform_rule = pair_rule(max_unit, max_unit);
  // Does the plain scan of i's neighbours stop somewhere in [from, to]?
  const auto stops_within = [&](double xi, std::size_t from, std::size_t to) {
    const double below = xi + inside;
    // Partners usually lie a few entries apart: up to three runs, checked without a loop.
    const std::size_t r0 = from / kRun, r1 = to / kRun;
    if (r1 - r0 <= 2 &&
        std::max(std::max(run_max[r0], run_max[std::min(r0 + 1, r1)]), run_max[r1]) < below)
      return false;
    for (std::size_t j = from; j <= to;) {
      const std::size_t r = j / kRun;
      const std::size_t run_end = std::min((r + 1) * kRun - 1, to);
      if (run_max[r] < below) {
        j = run_end + 1;
        continue;
      }
      for (; j <= run_end; ++j)
        if (!(at[j].x - xi < window)) return true;
    }
    return false;
  };
  // Buddy i's scan reads and moves only entries after it, so its own position and press mark
  // stay in registers until the scan ends. For the same reason its run bound is never raised:
  // once i's scan begins, no scan looks at i again.
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t* next = list.data() + own_at[i] + 1;
    const std::uint32_t* const last = list.data() + start[band_of[i] + 1];
    double ax = at[i].x;
    const double ay = at[i].y, ahead = at[i].head, au = at[i].unit;
    const Range ra = range[i];
    bool pa = pressed[i].on;
    const bool special_i = special[i] != 0;
    std::size_t prev = i;
    // The list entry of the last push (at first i's own): when every entry between the two
    // pushes is on the list, each passed the window test against this very position.
    const std::uint32_t* at_prev = next - 1;
    for (; next != last; ++next) {
      const std::uint32_t q = *next;
      Body& b = at[q];
      const double dx = b.x - ax;
      // The plain scan stops at q if not before; a pair that does not touch changes nothing,
      // so only a touching one needs to know whether the scan would have reached it.
      if (!(dx < window)) break;
      const PairRule rule = kUniform ? uniform_rule : pair_rule(au, b.unit);
      const bool near = (std::abs(dx) <= rule.reach) & (ay > b.head) & (b.y > ahead);
      if (!near) continue;
      if (special_i || special[q] != 0) [[unlikely]] {
        if (id[i] == id[q] || carrier[i] == buddy_platform_id(id[q]) ||
            carrier[q] == buddy_platform_id(id[i]))
          continue;
      }
      if (static_cast<std::size_t>(next - at_prev) != q - prev && stops_within(ax, prev + 1, q))
        break;
      prev = q;
      at_prev = next;
      on_push(i, q);
      push_bodies(rule, ax, ra, pa, b.x, range[q], pressed[q]);
      run_max[q / kRun] = std::max(run_max[q / kRun], b.x);
    }
    at[i].x = ax;
    pressed[i].on = pa;
  }
}

using XOrder = std::vector<std::pair<std::int64_t, std::uint32_t>>;

// The order of Crew::by_x: by x, equal x in crew order. Sorting small keys beats moving the
// entries around.
XOrder x_order(const std::vector<Buddy>& all) {
  XOrder order(all.size());
  for (std::size_t i = 0; i < all.size(); ++i)
    order[i] = {total_order_key(all[i].motion.x), static_cast<std::uint32_t>(i)};
  std::sort(order.begin(), order.end());
  return order;
}

// The same order for the packed entries (in crew order), started from last tick's: buddies move
// little between ticks, so an insertion sort finishes it in about linear time. A changed crew
// size, or an order too shuffled for the insertion sort's budget, gets the full sort. `last`
// receives the new order.
XOrder x_order_from(const std::vector<CrowdEntry>& in_crew, std::vector<std::uint32_t>& last) {
  const std::size_t n = in_crew.size();
  XOrder order(n);
  if (last.size() != n) {
    for (std::size_t i = 0; i < n; ++i)
      order[i] = {total_order_key(in_crew[i].x), static_cast<std::uint32_t>(i)};
    std::sort(order.begin(), order.end());
    last.resize(n);
    for (std::size_t k = 0; k < n; ++k) last[k] = order[k].second;
    return order;
  }
  // Any permutation of the crew's indices works as a start; last tick's is one.
  for (std::size_t k = 0; k < n; ++k) order[k] = {total_order_key(in_crew[last[k]].x), last[k]};
  std::size_t budget = 8 * n + 64;
  for (std::size_t i = 1; i < n && budget > 0; ++i) {
    const auto v = order[i];
    std::size_t j = i;
    while (j > 0 && v < order[j - 1] && budget > 0) {
      order[j] = order[j - 1];
      --j;
      --budget;
    }
    order[j] = v;
  }
  if (budget == 0) std::sort(order.begin(), order.end());
  for (std::size_t k = 0; k < n; ++k) last[k] = order[k].second;
  return order;
}

// After the sweep: the moved position, the press mark and time, and the climb out of a crush.
void settle(Buddy& b, bool moved, double x, bool pressed, const WorldView& view) {
  if (moved) b.motion.x = x;
  b.motion.pressed = pressed;
  b.mind.press_time =
      pressed ? b.mind.press_time + kDt : std::max(b.mind.press_time - 2.0 * kDt, 0.0);
  const bool can_climb = b.motion.mode == BuddyMode::idle || b.motion.mode == BuddyMode::walk ||
                         b.motion.mode == BuddyMode::sit;
  if (b.mind.press_time > 0.6 && can_climb && b.motion.support &&
      b.motion.support->kind != SurfaceKind::ceiling)
    climb_out(b, view);
}

// Marks the buddies whose pairs need the id and rider checks: a pair of two buddies that ride
// nobody, in a crew without an id twice, passes them.
void mark_special(Sweep& s, const std::vector<Buddy>& all) {
  const std::size_t n = s.id.size();
  s.special.assign(n, 0);
  // Ids grow along the crew, so a crew in increasing id order has no id twice.
  bool unique = true;
  for (std::size_t i = 1; i < all.size() && unique; ++i) unique = all[i - 1].id < all[i].id;
  if (!unique) {
    std::vector<std::uint32_t> ids(s.id);
    std::sort(ids.begin(), ids.end());
    unique = std::adjacent_find(ids.begin(), ids.end()) == ids.end();
  }
  if (!unique) {
    s.special.assign(n, 1);
    return;
  }
  for (std::size_t k = 0; k < n; ++k) s.special[k] = s.carrier[k] != 0;
}

// The reference: the packed entries in x order and the plain scan.
void collide_plain(std::vector<Buddy>& all, const WorldView& view) {
  const auto order = x_order(all);
  std::vector<CrowdEntry> e(all.size());
  double max_unit = 1.0;
  for (std::size_t k = 0; k < order.size(); ++k) {
    const Buddy& b = all[order[k].second];
    e[k] = crowd_entry(b, order[k].second, view);
    if (std::isfinite(b.motion.unit)) max_unit = std::max(max_unit, b.motion.unit);
  }
  sweep_plain(e, 2.0 * kPushReach * max_unit);
  for (const CrowdEntry& c : e) settle(all[c.index], c.moved, c.x, c.pressed, view);
}

// The banded sweep's working set for the crew, in x order, and each buddy's place in that order
// (`rank`); false when positions are too wild for its arithmetic.
bool make_sweep(const std::vector<Buddy>& all, std::vector<std::uint32_t>& last_order,
                const WorldView& view, Sweep& s, std::vector<std::uint32_t>& rank,
                double& max_unit) {
  const std::size_t n = all.size();
  // Read the large records once, in crew order, then pack them in x order.
  std::vector<CrowdEntry> in_crew(n);
  max_unit = 1.0;
  bool tame = true;
  for (std::size_t i = 0; i < n; ++i) {
    const Buddy& b = all[i];
    in_crew[i] = crowd_entry(b, static_cast<std::uint32_t>(i), view);
    if (std::isfinite(b.motion.unit)) max_unit = std::max(max_unit, b.motion.unit);
    tame = tame && std::abs(b.motion.x) < 1e9 && std::abs(b.motion.y) < 1e9 &&
           b.motion.unit > 0.0 && b.motion.unit <= 1e6;
  }
  if (!tame) return false;
  const XOrder order = x_order_from(in_crew, last_order);
  s.body.resize(n);
  s.range.resize(n);
  s.carrier.resize(n);
  s.id.resize(n);
  s.pressed.assign(n, Mark{});
  rank.resize(n);
  s.uniform = true;
  s.extent = 0.0;
  for (std::size_t k = 0; k < n; ++k) {
    const CrowdEntry& c = in_crew[order[k].second];
    rank[c.index] = static_cast<std::uint32_t>(k);
    s.body[k] = Body{c.x, c.y, c.y - kContactHeight * c.unit, c.unit};
    s.range[k] = c.movable ? Range{c.lo, c.hi} : Range{c.x, c.x};
    s.carrier[k] = c.carrier;
    s.id[k] = c.id;
    s.uniform = s.uniform && c.unit == max_unit;
    for (const double v : {c.x, s.range[k].lo, s.range[k].hi})
      s.extent = std::isnan(v) ? std::numeric_limits<double>::infinity()
                               : std::max(s.extent, std::abs(v));
  }
  mark_special(s, all);
  return true;
}

template <class OnPush>
void run_sweep(Sweep& s, double max_unit, OnPush&& on_push) {
  if (s.uniform)
    sweep_banded<true>(s, 2.0 * kPushReach * max_unit, max_unit, on_push);
  else
    sweep_banded<false>(s, 2.0 * kPushReach * max_unit, max_unit, on_push);
}

// The banded sweep; false, having changed nothing, when positions are too wild for its
// arithmetic.
bool collide_banded(std::vector<Buddy>& all, std::vector<std::uint32_t>& last_order,
                    const WorldView& view) {
  Sweep s;
  std::vector<std::uint32_t> rank;
  double max_unit = 1.0;
  if (!make_sweep(all, last_order, view, s, rank, max_unit)) return false;
  run_sweep(s, max_unit, [](std::size_t, std::size_t) {});
  for (std::size_t i = 0; i < all.size(); ++i) {
    const std::uint32_t k = rank[i];
    settle(all[i], true, s.body[k].x, s.pressed[k].on, view);
  }
  return true;
}

}  // namespace

void collide_crew(Crew& crew, const WorldView& view, CrowdSweep sweep) {
  auto& all = crew.buddies;
  if (!crew.world.w.collide) {
    for (Buddy& b : all) b.mind.press_time = 0.0;
    return;
  }
  if (sweep == CrowdSweep::banded && collide_banded(all, crew.crowd_order, view)) return;
  collide_plain(all, view);
}

CrowdPushTrace trace_crowd_pushes(const Crew& crew, const WorldView& view) {
  CrowdPushTrace t;
  if (!crew.world.w.collide) return t;
  Sweep s;
  std::vector<std::uint32_t> rank;
  std::vector<std::uint32_t> order = crew.crowd_order;
  double max_unit = 1.0;
  if (!make_sweep(crew.buddies, order, view, s, rank, max_unit)) return t;
  const std::size_t n = s.body.size();
  for (std::size_t k = 0; k < n; ++k) {
    t.x.push_back(s.body[k].x);
    t.lo.push_back(s.range[k].lo);
    t.hi.push_back(s.range[k].hi);
    t.unit.push_back(s.body[k].unit);
  }
  t.uniform = s.uniform;
  t.uniform_unit = max_unit;
  run_sweep(s, max_unit, [&](std::size_t i, std::size_t q) {
    t.pairs.push_back({static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(q)});
  });
  for (const Body& b : s.body) t.x_after.push_back(b.x);
  return t;
}

void replay_crowd_pushes(const CrowdPushTrace& t, std::vector<double>& x) {
  x = t.x;
  if (t.pairs.empty()) return;
  std::vector<Mark> pressed(x.size());
  const PairRule uniform_rule = pair_rule(t.uniform_unit, t.uniform_unit);
  // As the sweep does: a buddy's position stays in a register through its own run of pairs.
  std::uint32_t a = t.pairs.front().first;
  double ax = x[a];
  Range ra{t.lo[a], t.hi[a]};
  bool pa = false;
  for (const auto& [i, q] : t.pairs) {
    if (i != a) {
      x[a] = ax;
      pressed[a].on = pa;
      a = i;
      ax = x[a];
      ra = Range{t.lo[a], t.hi[a]};
      pa = pressed[a].on;
    }
    const PairRule rule = t.uniform ? uniform_rule : pair_rule(t.unit[a], t.unit[q]);
    push_bodies(rule, ax, ra, pa, x[q], Range{t.lo[q], t.hi[q]}, pressed[q]);
  }
  x[a] = ax;
}

}  // namespace perchkin
