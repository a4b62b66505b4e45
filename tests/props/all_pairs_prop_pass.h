// The prop pass as it was before it looked only at nearby props and buddies: every cloud against
// every prop, every hazard against every buddy. Kept to check that the faster pass decides the
// same things.
#pragma once

#include "props/hazards.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <span>
#include <vector>

namespace perchkin::test::all_pairs {

inline constexpr double kBombFuseSeconds = 3.0;
inline constexpr double kBombLostY = 50000.0;
inline constexpr double kBoltStrikeAge = 0.35;
inline constexpr double kBoltFireTtl = 15.0;

// Desktop and drawn ledges only: a bomb does not rest on a buddy's head.
inline bool is_ground(const Support& s) {
  return s.kind != SurfaceKind::buddy && s.kind != SurfaceKind::ceiling &&
         s.kind != SurfaceKind::none;
}

inline bool spans(const Support& s, double x) { return s.left <= x && x <= s.right; }

// The surface a falling body whose bottom moves from b0 to b1 at x lands on this tick, with the
// same crossing rule buddies land by: the lowest floor also catches a body already below it.
inline const Support* landing_surface(std::span<const Support> surfaces, double x, double b0, double b1) {
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
inline const Support* surface_below(std::span<const Support> surfaces, double x, double y) {
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

inline std::vector<Target> gather_targets(const Crew& crew, double now) {
  std::vector<Target> targets;
  targets.reserve(crew.buddies.size());
  for (std::size_t i = 0; i < crew.buddies.size(); ++i) {
    const Buddy& b = crew.buddies[i];
    if (b.motion.mode == BuddyMode::held) continue;
    targets.push_back({b.motion.x, b.motion.y, b.motion.unit, i, b.id, now >= b.mind.hazard_ready});
  }
  return targets;
}

inline HazardHit hit_on(const Target& t, HazardHit::Kind kind) {
  HazardHit hit;
  hit.buddy_index = t.index;
  hit.buddy_id = t.id;
  hit.kind = kind;
  return hit;
}

inline void blast_hits(std::span<const Target> targets, double x, double y, double size,
                std::vector<HazardHit>& hits) {
  const double reach = 4.0 * size;
  for (const Target& t : targets) {
    const double d = std::hypot(t.x - x, t.y - 5.0 * t.unit - y);
    if (!(d < reach)) continue;
    const double speed = t.unit * (150.0 + 700.0 * (1.0 - d / reach));
    HazardHit hit = hit_on(t, HazardHit::Kind::blast);
    hit.vx = d <= 1.0 ? 0.0 : speed * (t.x - x) / d;
    hit.vy = -0.9 * speed;
    hits.push_back(hit);
  }
}

inline void burn_hits(std::span<Target> targets, const Prop& fire, std::vector<HazardHit>& hits) {
  const double s = fire.size;
  for (Target& t : targets) {
    if (!t.ready || std::abs(t.x - fire.x) >= 0.45 * s + 4.0 * t.unit) continue;
    if (!(fire.y - 1.2 * s < t.y && t.y <= fire.y + 6.0 * t.unit)) continue;
    t.ready = false;
    HazardHit hit = hit_on(t, HazardHit::Kind::burn);
    hit.away_dir = t.x >= fire.x ? 1.0 : -1.0;
    hits.push_back(hit);
  }
}

inline void zap_hits(std::span<Target> targets, const Prop& bolt, double tx, double ty,
              std::vector<HazardHit>& hits) {
  const double s = bolt.size;
  for (Target& t : targets) {
    if (!t.ready || std::abs(t.x - tx) >= 0.5 * s) continue;
    if (!(bolt.y < t.y && t.y < ty + 0.6 * s)) continue;
    t.ready = false;
    hits.push_back(hit_on(t, HazardHit::Kind::zap));
  }
}

inline std::vector<HazardHit> all_pairs_prop_pass(Effects& fx, const Crew& crew, std::span<const Support> surfaces,
                                 double now) {
  std::vector<HazardHit> hits;
  std::vector<Prop>& props = fx.props;
  // Gathered only when some hazard reaches for buddies this tick.
  std::optional<std::vector<Target>> gathered;
  auto targets = [&]() -> std::vector<Target>& {
    if (!gathered) gathered = gather_targets(crew, now);
    return *gathered;
  };

  // 1. Expiry.
  std::erase_if(props, [&](const Prop& p) { return p.ttl != 0.0 && now - p.placed_at >= p.ttl; });

  std::vector<char> gone(props.size(), 0);

  // 2. Rain puts out the fires below a cloud.
  for (const Prop& cloud : props) {
    if (cloud.kind != PropKind::cloud) continue;
    for (std::size_t j = 0; j < props.size(); ++j) {
      const Prop& fire = props[j];
      if (fire.kind != PropKind::fire || gone[j]) continue;
      if (std::abs(fire.x - cloud.x) <= 0.6 * cloud.size && fire.y > cloud.y) {
        gone[j] = 1;
        fx.entries.push_back({PropEntry::Kind::steam, fire.x, fire.y, fire.size});
      }
    }
  }

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


}  // namespace perchkin::test::all_pairs
