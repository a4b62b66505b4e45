// Placing props, the prop pass (expiry, rain on fires, bombs, burning, lightning) and the
// particles props give off each tick.
#include "base/tick.h"
#include "props/hazards.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <utility>

namespace perchkin {

namespace {

constexpr double kBombFuseSeconds = 3.0;
constexpr double kBombLostY = 50000.0;
constexpr double kBoltStrikeAge = 0.35;
constexpr double kBoltFireTtl = 15.0;
constexpr double kRainInterval = 0.025;  // 40 drops a second
constexpr int kMaxDropsPerTick = 4;
constexpr std::array<std::uint32_t, 2> kFlameColors = {0xFFE45C, 0xFFB627};
constexpr std::array<std::uint32_t, 2> kFuseColors = {0xFFD23F, 0xFF7A1A};

struct KindInfo {
  const char* name;
  double size;
  double ttl;
};
constexpr std::array<KindInfo, 5> kKinds = {{
    {"fire", 70.0, 25.0},
    {"cloud", 160.0, 12.0},
    {"bolt", 120.0, 1.6},
    {"bomb", 50.0, 0.0},
    {"platform", 0.0, 30.0},
}};

const KindInfo& info(PropKind kind) { return kKinds[static_cast<std::size_t>(kind)]; }

float f32(double v) { return to_f32(v); }

// Desktop and drawn ledges only: a bomb does not rest on a buddy's head.
bool is_ground(const Support& s) {
  return s.kind != SurfaceKind::buddy && s.kind != SurfaceKind::ceiling &&
         s.kind != SurfaceKind::none;
}

bool spans(const Support& s, double x) { return s.left <= x && x <= s.right; }

// The surface a falling body whose bottom moves from b0 to b1 at x lands on this tick, with the
// same crossing rule buddies land by: the lowest floor also catches a body already below it.
const Support* landing_surface(std::span<const Support> surfaces, double x, double b0, double b1) {
  double lowest_floor = -std::numeric_limits<double>::infinity();
  for (const Support& s : surfaces) {
    if (s.kind == SurfaceKind::floor && spans(s, x)) lowest_floor = std::max(lowest_floor, s.top);
  }
  const Support* best = nullptr;
  for (const Support& s : surfaces) {
    if (!is_ground(s) || !spans(s, x)) continue;
    const bool crossed = b0 <= s.top || (s.kind == SurfaceKind::floor && s.top == lowest_floor);
    if (crossed && b1 >= s.top && (best == nullptr || s.top < best->top)) best = &s;
  }
  return best;
}

// The highest surface at x whose top is at or below y.
const Support* surface_below(std::span<const Support> surfaces, double x, double y) {
  const Support* best = nullptr;
  for (const Support& s : surfaces) {
    if (!is_ground(s) || !spans(s, x) || s.top < y) continue;
    if (best == nullptr || s.top < best->top) best = &s;
  }
  return best;
}

// A buddy hazards may touch, copied out of its large record once per pass so that each hazard
// scans a small array. Held buddies are never hurt nor thrown and are left out.
struct Target {
  double x = 0.0, y = 0.0, unit = 1.0;
  std::size_t index = 0;
  std::uint32_t id = 0;
  bool ready = false;  // burn and zap: its hazard time has come and nothing hurt it this pass
};

// Any window around a reach is widened by this much, so rounding in the range search never
// leaves out a buddy or fire the exact test would take in.
double search_margin(double reach) { return 1.0 + 1e-9 * std::abs(reach); }

// The pass's buddies, with an order by x so that each hazard looks only at the buddies within
// its reach across. Buddies whose x or unit is not a number cannot be placed in that order and
// are looked at by every hazard, as before.
class Targets {
 public:
  Targets(const Crew& crew, double now) {
    all_.reserve(crew.buddies.size());
    for (std::size_t i = 0; i < crew.buddies.size(); ++i) {
      const Buddy& b = crew.buddies[i];
      if (b.motion.mode == BuddyMode::held) continue;
      all_.push_back({b.motion.x, b.motion.y, b.motion.unit, i, b.id, now >= b.mind.hazard_ready});
    }
    for (std::size_t k = 0; k < all_.size(); ++k) {
      const Target& t = all_[k];
      if (std::isfinite(t.x) && std::isfinite(t.unit)) {
        by_x_.push_back(k);
        max_unit_ = std::max(max_unit_, t.unit);
      } else {
        everywhere_.push_back(k);
      }
    }
    std::sort(by_x_.begin(), by_x_.end(),
              [&](std::size_t a, std::size_t b) { return all_[a].x < all_[b].x; });
  }

  double max_unit() const { return max_unit_; }
  Target& operator[](std::size_t k) { return all_[k]; }

  // The targets whose x may lie within `reach` of x, in crew order; the caller applies the exact
  // test. The list is reused from call to call.
  const std::vector<std::size_t>& near(double x, double reach) {
    const double lo = x - reach - search_margin(reach), hi = x + reach + search_margin(reach);
    found_.clear();
    auto it = std::lower_bound(by_x_.begin(), by_x_.end(), lo,
                               [&](std::size_t k, double v) { return all_[k].x < v; });
    for (; it != by_x_.end() && all_[*it].x <= hi; ++it) found_.push_back(*it);
    found_.insert(found_.end(), everywhere_.begin(), everywhere_.end());
    std::sort(found_.begin(), found_.end());
    return found_;
  }

 private:
  std::vector<Target> all_;  // crew order
  std::vector<std::size_t> by_x_;
  std::vector<std::size_t> everywhere_;
  std::vector<std::size_t> found_;
  double max_unit_ = 0.0;
};

HazardHit hit_on(const Target& t, HazardHit::Kind kind) {
  HazardHit hit;
  hit.buddy_index = t.index;
  hit.buddy_id = t.id;
  hit.kind = kind;
  return hit;
}

void blast_hits(Targets& targets, double x, double y, double size, std::vector<HazardHit>& hits) {
  const double reach = 4.0 * size;
  for (std::size_t k : targets.near(x, reach)) {
    const Target& t = targets[k];
    const double d = std::hypot(t.x - x, t.y - 5.0 * t.unit - y);
    if (!(d < reach)) continue;
    const double speed = t.unit * (150.0 + 700.0 * (1.0 - d / reach));
    HazardHit hit = hit_on(t, HazardHit::Kind::blast);
    hit.vx = d <= 1.0 ? 0.0 : speed * (t.x - x) / d;
    hit.vy = -0.9 * speed;
    hits.push_back(hit);
  }
}

void burn_hits(Targets& targets, const Prop& fire, std::vector<HazardHit>& hits) {
  const double s = fire.size;
  for (std::size_t k : targets.near(fire.x, 0.45 * s + 4.0 * targets.max_unit())) {
    Target& t = targets[k];
    if (!t.ready || std::abs(t.x - fire.x) >= 0.45 * s + 4.0 * t.unit) continue;
    if (!(fire.y - 1.2 * s < t.y && t.y <= fire.y + 6.0 * t.unit)) continue;
    t.ready = false;
    HazardHit hit = hit_on(t, HazardHit::Kind::burn);
    hit.away_dir = t.x >= fire.x ? 1.0 : -1.0;
    hits.push_back(hit);
  }
}

void zap_hits(Targets& targets, const Prop& bolt, double tx, double ty,
              std::vector<HazardHit>& hits) {
  const double s = bolt.size;
  for (std::size_t k : targets.near(tx, 0.5 * s)) {
    Target& t = targets[k];
    if (!t.ready || std::abs(t.x - tx) >= 0.5 * s) continue;
    if (!(bolt.y < t.y && t.y < ty + 0.6 * s)) continue;
    t.ready = false;
    hits.push_back(hit_on(t, HazardHit::Kind::zap));
  }
}

// Rain: each cloud puts out the fires below it within 0.6 of its size across, in prop order,
// with a steam entry for each. The fires are ordered by x and a fire that is out is skipped over
// for good, so a cloud looks only at the fires still burning within its reach across.
void rain_on_fires(Effects& fx, std::vector<char>& gone) {
  const std::vector<Prop>& props = fx.props;
  std::vector<std::size_t> fires;
  // place_prop keeps every x finite; one that is not could never be in reach anyway.
  for (std::size_t j = 0; j < props.size(); ++j)
    if (props[j].kind == PropKind::fire && std::isfinite(props[j].x)) fires.push_back(j);
  if (fires.empty()) return;
  std::sort(fires.begin(), fires.end(),
            [&](std::size_t a, std::size_t b) { return props[a].x < props[b].x; });
  // next[i]: the first fire at or after position i that still burns (fires.size() for none).
  std::vector<std::size_t> next(fires.size() + 1);
  for (std::size_t i = 0; i < next.size(); ++i) next[i] = i;
  auto burning_from = [&](std::size_t i) {
    std::size_t root = i;
    while (next[root] != root) root = next[root];
    while (next[i] != root) i = std::exchange(next[i], root);
    return root;
  };
  std::vector<std::size_t> doused;  // positions in `fires`
  for (const Prop& cloud : props) {
    if (cloud.kind != PropKind::cloud) continue;
    const double reach = 0.6 * cloud.size;
    const double lo = cloud.x - reach - search_margin(reach);
    const double hi = cloud.x + reach + search_margin(reach);
    auto first = std::lower_bound(fires.begin(), fires.end(), lo,
                                  [&](std::size_t j, double v) { return props[j].x < v; });
    doused.clear();
    for (std::size_t i = burning_from(static_cast<std::size_t>(first - fires.begin()));
         i < fires.size() && props[fires[i]].x <= hi; i = burning_from(i + 1)) {
      const Prop& fire = props[fires[i]];
      if (std::abs(fire.x - cloud.x) <= reach && fire.y > cloud.y) doused.push_back(i);
    }
    std::sort(doused.begin(), doused.end(),
              [&](std::size_t a, std::size_t b) { return fires[a] < fires[b]; });
    for (std::size_t i : doused) {
      const Prop& fire = props[fires[i]];
      gone[fires[i]] = 1;
      next[i] = i + 1;
      fx.entries.push_back({PropEntry::Kind::steam, fire.x, fire.y, fire.size});
    }
  }
}

void emit_flames(Effects& fx, double x, double y, double size) {
  Xorshift64& r = fx.rng;
  const double flames = size / 60.0;
  const double whole = std::floor(flames);
  double count = whole + (r.chance(flames - whole) ? 1.0 : 0.0);
  for (; count > 0.0 && fx.particles.size() < kMaxParticles; count -= 1.0) {
    // The sum of two uniforms keeps most flames near the middle.
    const double n = 0.119 * ((2.0 * r.uniform() - 1.0) + (2.0 * r.uniform() - 1.0));
    const double py = y - 0.12 * r.uniform() * size;
    const Rgba colour = rgba(kFlameColors[std::min<std::size_t>(
        static_cast<std::size_t>(std::floor(1.5 * r.uniform())), kFlameColors.size() - 1)]);
    const double vy = -(1.4 + r.uniform()) * size;
    Particle p = make_particle(ParticleKind::rect, colour, x + n * size, py, -0.6 * n * size, vy,
                               0.35 + 0.4 * r.uniform());
    p.width = p.height =
        f32((1.0 - std::min(1.5 * std::abs(n), 0.8)) * (0.12 + 0.12 * r.uniform()) * size);
    p.sway = f32(0.35 * size);
    p.phase = random_phase(fx);
    p.shrink = true;
    spawn(fx, std::move(p));
  }
  if (r.chance(1.0 / 15.0)) {
    Particle p = make_particle(ParticleKind::rect, rgba(0xFFB347),
                               x + (0.6 * r.uniform() - 0.3) * size, y - 0.5 * size, 0.0,
                               -1.1 * size, 1.3);
    p.width = p.height = f32(3.0 * fx.scale);
    p.sway = f32(0.8 * size);
    p.phase = random_phase(fx);
    p.shrink = true;
    spawn(fx, std::move(p));
  }
}

void emit_rain(Effects& fx, Prop& cloud, double x, double y) {
  const double s = fx.scale;
  cloud.rain_timer -= kTick;
  for (int i = 0; i < kMaxDropsPerTick && cloud.rain_timer <= 0.0; ++i) {
    cloud.rain_timer += kRainInterval;
    const double dx = (fx.rng.uniform() - 0.5) * cloud.size;
    const double life = std::clamp((fx.height - y) / (700.0 * s), 0.2, 2.5);
    Particle p = make_particle(ParticleKind::rect, rgba(0x5DA9F5), x + dx, y + 0.25 * cloud.size,
                               0.0, 700.0 * s, life);
    p.width = f32(2.0 * s);
    p.height = f32(11.0 * s);
    p.phase = random_phase(fx);
    spawn(fx, std::move(p));
  }
}

void emit_fuse_spark(Effects& fx, const Prop& bomb, double x, double y, double now) {
  Xorshift64& r = fx.rng;
  if (!r.chance(0.4166666865348816)) return;
  const double s = fx.scale, size = bomb.size;
  const double f = bomb.lit() ? std::max(1.0 - (now - bomb.lit_at) / kBombFuseSeconds, 0.05) : 1.0;
  const Rgba colour = rgba(kFuseColors[r.pick(kFuseColors.size())]);
  const double vx = (160.0 * r.uniform() - 80.0) * s;
  const double vy = (100.0 * r.uniform() - 90.0) * s;
  Particle p = make_particle(ParticleKind::rect, colour, x + 0.3 * size * f,
                             y - 0.4 * size - 0.22 * size * f, vx, vy, 0.3);
  p.ay = f32(300.0 * s);
  p.width = p.height = f32(2.0 * s);
  p.phase = random_phase(fx);
  spawn(fx, std::move(p));
}

}  // namespace

const char* prop_kind_name(PropKind kind) { return info(kind).name; }

std::optional<PropKind> parse_prop_kind(std::string_view name) {
  for (std::size_t i = 0; i < kKinds.size(); ++i) {
    if (name == kKinds[i].name) return static_cast<PropKind>(i);
  }
  return std::nullopt;
}

PropPlacement default_placement(PropKind kind, double x, double y) {
  PropPlacement p;
  p.kind = kind;
  p.x = p.x2 = x;
  p.y = p.y2 = y;
  p.size = info(kind).size;
  p.ttl = info(kind).ttl;
  return p;
}

std::optional<std::uint32_t> place_prop(Effects& fx, const PropPlacement& placement, double now) {
  if (!std::isfinite(placement.x) || !std::isfinite(placement.y)) return std::nullopt;
  Prop p;
  p.kind = placement.kind;
  p.x = p.x2 = placement.x;
  p.y = p.y2 = placement.y;
  if (placement.kind == PropKind::platform) {
    if (!std::isfinite(placement.x2) || !std::isfinite(placement.y2)) return std::nullopt;
    p.x2 = placement.x2;
    p.y2 = placement.y2;
    if (p.x2 < p.x) {
      std::swap(p.x, p.x2);
      std::swap(p.y, p.y2);
    }
  } else {
    p.size = std::isfinite(placement.size)
                 ? std::clamp(placement.size, kMinPropSize, kMaxPropSize)
                 : info(placement.kind).size;
  }
  p.ttl = std::isfinite(placement.ttl) && placement.ttl > 0.0 ? placement.ttl : 0.0;
  p.placed_at = now;
  p.id = fx.next_prop_id++;
  // The list is in placement order: the oldest props are at its front.
  if (fx.props.size() >= kMaxProps)
    fx.props.erase(fx.props.begin(),
                   fx.props.begin() + static_cast<std::ptrdiff_t>(fx.props.size() - kMaxProps + 1));
  fx.props.push_back(p);
  return p.id;
}

std::vector<HazardHit> prop_pass(Effects& fx, const Crew& crew, std::span<const Support> surfaces,
                                 double now) {
  std::vector<HazardHit> hits;
  std::vector<Prop>& props = fx.props;
  // Gathered only when some hazard reaches for buddies this tick.
  std::optional<Targets> gathered;
  auto targets = [&]() -> Targets& {
    if (!gathered) gathered.emplace(crew, now);
    return *gathered;
  };

  // 1. Expiry.
  std::erase_if(props, [&](const Prop& p) { return p.ttl != 0.0 && now - p.placed_at >= p.ttl; });

  std::vector<char> gone(props.size(), 0);

  // 2. Rain puts out the fires below a cloud.
  rain_on_fires(fx, gone);

  // 3. Bombs fall, land and light, and go off three seconds later.
  const double unit = crew.unit_for(crew.size);
  for (std::size_t i = 0; i < props.size(); ++i) {
    Prop& bomb = props[i];
    if (bomb.kind != PropKind::bomb) continue;
    const double radius = 0.4 * bomb.size;
    if (!bomb.lit()) {
      bomb.fall_speed += 260.0 * unit / 60.0;
      const double next_y = bomb.y + bomb.fall_speed / 60.0;
      if (const Support* ground =
              landing_surface(surfaces, bomb.x, bomb.y + radius, next_y + radius)) {
        bomb.y = ground->top - radius;
        bomb.fall_speed = 0.0;
        bomb.lit_at = now;
      } else {
        bomb.y = next_y;
        if (bomb.y >= kBombLostY) gone[i] = 1;
      }
    } else if (now - bomb.lit_at >= kBombFuseSeconds) {
      fx.entries.push_back({PropEntry::Kind::blast, bomb.x, bomb.y, bomb.size});
      blast_hits(targets(), bomb.x, bomb.y, bomb.size, hits);
      gone[i] = 1;
    }
  }

  // 4. Fires burn the buddies standing in them.
  for (std::size_t i = 0; i < props.size(); ++i) {
    if (props[i].kind == PropKind::fire && !gone[i]) burn_hits(targets(), props[i], hits);
  }

  // 5. Bolts strike once, zap the buddies under the tip and light the ground they hit.
  std::vector<PropPlacement> new_fires;
  for (Prop& bolt : props) {
    if (bolt.kind != PropKind::bolt || bolt.struck || now - bolt.placed_at < kBoltStrikeAge) continue;
    bolt.struck = true;
    const double tx = bolt.x - 0.22 * bolt.size, ty = bolt.y + 1.6 * bolt.size;
    fx.entries.push_back({PropEntry::Kind::strike, tx, ty, bolt.size});
    zap_hits(targets(), bolt, tx, ty, hits);
    const Support* ground = surface_below(surfaces, tx, ty);
    if (ground != nullptr && ground->top - ty < 0.8 * bolt.size) {
      PropPlacement fire = default_placement(PropKind::fire, tx, ground->top);
      fire.size = 0.45 * bolt.size;
      fire.ttl = kBoltFireTtl;
      new_fires.push_back(fire);
    }
  }

  std::size_t kept = 0;
  for (std::size_t j = 0; j < props.size(); ++j) {
    if (gone[j]) continue;
    if (kept != j) props[kept] = props[j];
    ++kept;
  }
  props.resize(kept);
  for (const PropPlacement& fire : new_fires) place_prop(fx, fire, now);
  return hits;
}

void emit_prop_particles(Effects& fx, double now) {
  for (Prop& p : fx.props) {
    const double x = p.x - fx.overlay_left, y = p.y - fx.overlay_top;
    switch (p.kind) {
      case PropKind::fire:
        emit_flames(fx, x, y, p.size);
        break;
      case PropKind::cloud:
        emit_rain(fx, p, x, y);
        break;
      case PropKind::bomb:
        emit_fuse_spark(fx, p, x, y, now);
        break;
      case PropKind::bolt:
      case PropKind::platform:
        break;
    }
  }
}

}  // namespace perchkin
