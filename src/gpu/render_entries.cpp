// The render entries' tick: everything the renderer needs to remember between ticks.
#include "base/tick.h"
#include "gpu/render_entries.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <span>

#include "gpu/instances.h"
#include "gpu/raster_cpu.h"
#include "sprites/frames.h"

namespace perchkin {

namespace {

constexpr double kSleepMarkPeriod = 1.8;
constexpr double kBurstLead = 0.2;     // the burst ends this long before the act
constexpr double kHomeFlight = 0.7;    // the last stretch, when pixels fly home
constexpr double kHomeDuration = 0.6;  // how long the homing ease takes
constexpr double kLongestBurst = 60.0;

template <typename Entries>
auto* find_in(Entries& entries, std::uint32_t id, std::size_t hint) {
  if (hint < entries.size() && entries[hint].id == id) return &entries[hint];
  auto it = std::lower_bound(entries.begin(), entries.end(), id,
                             [](const RenderEntry& e, std::uint32_t v) { return e.id < v; });
  return (it != entries.end() && it->id == id) ? &*it : nullptr;
}

// Squash the spring pulls towards in this mode.
double squash_target(const Buddy& b) {
  const double t = b.mind.clock;
  switch (b.motion.mode) {
    case BuddyMode::idle:
    case BuddyMode::drawing:
      return 1.0 + 0.02 * std::sin(3.0 * t);  // breathing
    case BuddyMode::sleep:
      return 1.0 + 0.04 * std::sin(2.0 * t);
    case BuddyMode::act:
      return b.mind.act == Act::squat ? 0.85 : 1.0;
    case BuddyMode::fall: {
      const double stretch = std::abs(b.motion.vy) / (b.motion.unit * 900.0);
      return 1.0 + (std::isfinite(stretch) ? std::min(stretch, 0.25) : 0.25);
    }
    case BuddyMode::held: return 1.1;
    default: return 1.0;
  }
}

bool by_buddy(const BurstStart& a, const BurstStart& b) { return a.buddy_id < b.buddy_id; }

bool airborne(BuddyMode m) { return m == BuddyMode::fall || m == BuddyMode::hop; }

Burst start_burst(const Buddy& b, double duration, double now, const EntryTickInput& in,
                  Xorshift64& rng) {
  Burst burst;
  const double u = b.motion.unit;
  const double x = b.motion.x - in.overlay_left;
  const double y = b.motion.y - in.overlay_top;
  burst.unit = u;
  burst.floor = y;
  burst.ends = now + std::clamp(std::isfinite(duration) ? duration : 0.0, 0.0, kLongestBurst) - kBurstLead;

  // The pixels take the buddy's drawn colours, pattern included.
  BuddyInstance look;
  const BuddyColours c = buddy_colours(b, in.look);
  look.tint = c.tint;
  look.tint2 = c.tint2;
  look.eye = c.eye;
  look.pattern = c.pattern;

  const FrameCells cells = frame_cells(frame_for(b), b.motion.facing == -1);
  for (int row = 0; row < kFrameRows; ++row) {
    for (int col = 0; col < kFrameColumns; ++col) {
      const std::uint8_t code = cells[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
      if (code == kCellClear) continue;
      LoosePixel p;
      p.column = col;
      p.row = row;
      p.x = x - 8.0 * u + col * u;
      p.y = y - 10.0 * u + row * u;
      const double dx = p.x - x;
      const double dy = p.y - (y - 5.0 * u);
      const double d = std::max(std::hypot(dx, dy), 1.0);
      const double r = rng.uniform();
      p.vx = dx / d * (60.0 + 100.0 * r) * u;
      p.vy = dy / d * (60.0 + 100.0 * r) * u - (40.0 + 70.0 * r) * u;
      const Float3 f = cell_colour(look, code, col, row);
      p.color = {f.r, f.g, f.b, 1.0f};
      burst.pixels.push_back(p);
    }
  }
  return burst;
}

// Falls and bounces until the last 0.7 s, then eases every pixel back to its cell.
void step_burst(Burst& burst, const Buddy& b, double now, const EntryTickInput& in) {
  const double u = burst.unit;
  const double left = burst.ends - now;
  if (left > kHomeFlight) {
    const double rest = burst.floor - u;
    for (LoosePixel& p : burst.pixels) {
      p.vy += 300.0 * u * kTick;
      p.x += p.vx * kTick;
      p.y += p.vy * kTick;
      if (p.vy > 0.0 && p.y > rest) {
        p.y = rest;
        p.vx *= 0.7;
        p.vy *= -0.45;
      }
    }
    return;
  }
  const double p01 = std::clamp((kHomeFlight - left) / kHomeDuration, 0.0, 1.0);
  const double e = 1.0 - (1.0 - p01) * (1.0 - p01) * (1.0 - p01);
  for (LoosePixel& p : burst.pixels) {
    p.x += (home_x(b, p, in.overlay_left) - p.x) * e;
    p.y += (home_y(b, p, in.overlay_top) - p.y) * e;
  }
}

void tick_entry(RenderEntry& e, const Buddy& b, std::span<const BurstStart> bursts,
                const EntryTickInput& in, Xorshift64& rng, EntryTickOutput& out) {
  const double now = in.now;
  const double u = b.motion.unit;
  // 1. positions
  e.prev_x = e.x;
  e.prev_y = e.y;
  e.x = b.motion.x;
  e.y = b.motion.y;
  // 2. trail
  if (in.look.trail != 0 && std::abs(e.x - e.prev_x) + std::abs(e.y - e.prev_y) > 0.4 * u)
    out.trail_puffs.push_back(
        {b.motion.x - in.overlay_left, b.motion.y - 2.0 * u - in.overlay_top, u});
  // 3. squash target and the take-off stretch (landing kicks are already in v)
  const double target = squash_target(b);
  if (airborne(b.motion.mode) && !airborne(e.prev_mode) && e.prev_mode != BuddyMode::held &&
      b.motion.vy <= 0.0)
    e.squash_v += 4.0;
  // 4. spring
  e.squash_v += (-13.0 * e.squash_v + 340.0 * (target - e.squash)) * kTick;
  e.squash = std::clamp(e.squash + e.squash_v * kTick, 0.5, 1.6);
  // A bad kick or a non-finite speed would otherwise leave the spring NaN for good.
  if (!std::isfinite(e.squash) || !std::isfinite(e.squash_v)) {
    e.squash = 1.0;
    e.squash_v = 0.0;
  }
  // 5. sleep marks
  if (b.motion.mode == BuddyMode::sleep && now >= e.next_sleep_mark) {
    e.next_sleep_mark = now + kSleepMarkPeriod;
    out.sleep_marks.push_back(
        {b.motion.x + 6.0 * u - in.overlay_left, b.motion.y - 10.0 * u - in.overlay_top, u});
  }
  // 6. bursts started by this tick's explosions
  const auto starts = std::equal_range(bursts.begin(), bursts.end(), BurstStart{b.id, 0.0}, by_buddy);
  if (starts.first != starts.second)
    e.burst = start_burst(b, std::prev(starts.second)->duration, now, in, rng);
  // 7. the burst moves, or is over and the buddy re-forms
  if (e.burst) {
    const bool exploding = b.motion.mode == BuddyMode::act && b.mind.act == Act::explode;
    if (!exploding || now >= e.burst->ends) {
      e.burst.reset();
      e.squash_v -= 6.0;
    } else {
      step_burst(*e.burst, b, now, in);
    }
  }
  // 8. remembered for the next tick's take-off test
  e.prev_mode = b.motion.mode;
}

}  // namespace

const RenderEntry* find_entry(const RenderEntries& re, std::uint32_t id, std::size_t hint) {
  return find_in(re.entries, id, hint);
}

RenderEntry* find_entry(RenderEntries& re, std::uint32_t id, std::size_t hint) {
  return find_in(re.entries, id, hint);
}

void sync_entries(RenderEntries& re, const Crew& crew) {
  const auto& buddies = crew.buddies;
  bool same = re.entries.size() == buddies.size();
  for (std::size_t i = 0; same && i < buddies.size(); ++i) same = re.entries[i].id == buddies[i].id;
  if (same) return;

  std::vector<RenderEntry> next;
  next.reserve(buddies.size());
  for (std::size_t i = 0; i < buddies.size(); ++i) {
    const Buddy& b = buddies[i];
    if (const RenderEntry* old = find_entry(re, b.id, i)) {
      next.push_back(*old);
      continue;
    }
    RenderEntry e;
    e.id = b.id;
    e.prev_x = e.x = b.motion.x;
    e.prev_y = e.y = b.motion.y;
    e.prev_mode = b.motion.mode;
    next.push_back(std::move(e));
  }
  std::sort(next.begin(), next.end(),
            [](const RenderEntry& a, const RenderEntry& b) { return a.id < b.id; });
  // Ids are unique in a crew; a duplicate would make lookups ambiguous, so keep the first.
  next.erase(std::unique(next.begin(), next.end(),
                         [](const RenderEntry& a, const RenderEntry& b) { return a.id == b.id; }),
             next.end());
  re.entries = std::move(next);
}

EntryTickOutput update_render_entries(RenderEntries& re, const Crew& crew,
                                      const RenderRequests& requests, const EntryTickInput& in) {
  sync_entries(re, crew);
  EntryTickOutput out;
  // Landing kicks go straight into the spring's velocity; looked up per kick, not per buddy, so
  // a crowd landing at once stays linear.
  for (const SquashKick& k : requests.squash_kicks)
    if (RenderEntry* e = find_entry(re, k.buddy_id); e && std::isfinite(k.dv)) e->squash_v -= k.dv;
  std::vector<BurstStart> bursts = requests.bursts;
  std::stable_sort(bursts.begin(), bursts.end(), by_buddy);
  for (std::size_t i = 0; i < crew.buddies.size(); ++i) {
    const Buddy& b = crew.buddies[i];
    if (RenderEntry* e = find_entry(re, b.id, i)) tick_entry(*e, b, bursts, in, re.rng, out);
  }
  return out;
}

double home_x(const Buddy& b, const LoosePixel& p, double overlay_left) {
  return b.motion.x - overlay_left - 8.0 * b.motion.unit + p.column * b.motion.unit;
}

double home_y(const Buddy& b, const LoosePixel& p, double overlay_top) {
  return b.motion.y - overlay_top - 10.0 * b.motion.unit + p.row * b.motion.unit;
}

}  // namespace perchkin
