// Placed hazards and platforms: the prop record, the placement request the pencil sends, and what
// the prop pass reports to the world tick.
#pragma once

#include "base/tick.h"
#include "crowd/buddy.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace perchkin {

// "fire", "cloud", "bolt", "bomb", "platform".
const char* prop_kind_name(PropKind kind);
std::optional<PropKind> parse_prop_kind(std::string_view name);

// Sizes are bounded so a hand-made size cannot make one fire spawn billions of flames per tick.
inline constexpr double kMinPropSize = 1.0;
inline constexpr double kMaxPropSize = 10000.0;

// Props kept at once. Placing one more drops the oldest, so a flood of placements cannot slow
// every tick and frame without end; a crew's worth of hazards still fits.
inline constexpr std::size_t kMaxProps = 400;

// A placement with the kind's default size and ttl (fire 70 px / 25 s, cloud 160 / 12,
// bolt 120 / 1.6, bomb 50 / 0, platform 30 s), at one point (both ends for a platform).
PropPlacement default_placement(PropKind kind, double x, double y);

// A placed hazard or platform. Positions are desktop pixels.
struct Prop {
  PropKind kind = PropKind::fire;
  std::uint32_t id = 0;
  double x = 0.0, y = 0.0;
  double x2 = 0.0, y2 = 0.0;  // a platform's right end (x <= x2)
  double size = 0.0;
  double ttl = 0.0;  // 0 = no expiry
  double placed_at = 0.0;
  // bomb
  double fall_speed = 0.0;
  double lit_at = -1.0;  // negative while not lit
  // bolt
  bool struck = false;
  // cloud: drops are due while this is at or below 0
  double rain_timer = -kTick;

  bool lit() const { return lit_at >= 0.0; }
};

// What the prop pass records for the scene to show at a point (desktop pixels).
struct PropEntry {
  enum class Kind : std::uint8_t { strike, blast, steam };
  Kind kind = Kind::strike;
  double x = 0.0, y = 0.0;
  double size = 0.0;
};

// A buddy a hazard hit this tick; the world tick applies the reaction (burn, zap or blast).
struct HazardHit {
  enum class Kind : std::uint8_t { burn, zap, blast };
  std::size_t buddy_index = 0;  // into Crew::buddies as it was during the pass
  std::uint32_t buddy_id = 0;
  Kind kind = Kind::burn;
  double away_dir = 0.0;  // burn: +1 flee right, -1 flee left
  double vx = 0.0;        // blast: launch velocity, px/s
  double vy = 0.0;
};

}  // namespace perchkin
